/* When the target cannot be opened: Tarrowick's own alarm sound, made in
   memory, and the words for what went wrong.  The texts, the sound's image
   and the decisions are pure functions, so any case can be tried. */
#ifndef TARROWICK_FALLBACK_H
#define TARROWICK_FALLBACK_H

#include <windows.h>
#include <stddef.h>

/* The alarm sound's image: a WAV file of 16-bit mono PCM, one second long,
   played in a loop.  The header is the canonical 44 bytes. */
#define ALARM_WAVE_RATE 22050
#define ALARM_WAVE_HEADER 44
#define ALARM_WAVE_BYTES (ALARM_WAVE_HEADER + ALARM_WAVE_RATE * 2)

/* Writes the alarm sound's WAV image: four beeps of 100 ms at 2205 Hz, 50 ms
   apart, then a pause to the end of the second; each beep fades in and out
   over 5 ms, so that it rings rather than clicks.  Returns its length, or 0
   when Size is too small. */
size_t MakeAlarmWave(BYTE *Wave, size_t Size);

/* What kind of target the field holds, for the check at Activate. */
enum TargetKind {
    TARGET_EMPTY,  /* nothing, or only blanks or a pair of quotes */
    TARGET_PATH,   /* a full path (C:\... or \\server\...), which can be looked up */
    TARGET_OTHER   /* a web address, or anything else the shell resolves: not checked */
};

/* The kind of Target; for a path, *Path gets it without the quotes the
   shell would drop. */
TargetKind ClassifyTarget(const char *Target, char *Path, size_t Size);

/* TRUE when a look-up of a path that gave Attributes and left Error says
   that it is not there (as opposed to there but not readable). */
BOOL IsMissingTarget(DWORD Attributes, DWORD Error);

/* Target as it fits in a box: a long one keeps its start and its end, where
   the file's name is, with "..." between.  Never past Size. */
void ShortenTarget(char *Text, size_t Size, const char *Target);

/* Why the shell could not open Target, from ShellExecuteA's Result (32 or
   less; an empty target is never handed to the shell). */
const char *OpenFailureReason(const char *Target, INT_PTR Result);

/* The box shown when the alarm could not open Target: what, why, and that
   its own sound rings and the alarm is set again.  Never past Size. */
void FormatOpenFailure(char *Text, size_t Size, const char *Target, INT_PTR Result);
#define OPEN_FAILED_CAPTION "Tarrowick could not open the alarm's target"

/* The warning at Activate for a target that is empty or missing.  Never past Size. */
void FormatTargetWarning(char *Text, size_t Size, const char *Target, TargetKind Kind);
#define TARGET_CAPTION "Tarrowick: the alarm's target is missing"

/* winmm's PlaySoundA, loaded from the system folder when first needed; any
   thread, set once (tests point it elsewhere to see the calls). */
typedef BOOL (WINAPI *PlaySoundCall)(LPCSTR, HMODULE, DWORD);
extern PlaySoundCall SoundPlayer;

/* Starts Tarrowick's own sound, looping, and asks the window thread to stop
   it after AwakeMs; any thread.  StopAlarmSound stops it; any thread. */
void StartAlarmSound(void);
void StopAlarmSound(void);

/* Shows the open-failure box for Target, owned by the main window, on the
   calling thread, and stops the sound once the last such box is closed.
   Call with no lock held. */
void ReportOpenFailure(const char *Target, INT_PTR Result);

/* The main window's request to start the sound's time limit (posted). */
#define WM_ALARMSOUND (WM_APP + 3)

#endif
