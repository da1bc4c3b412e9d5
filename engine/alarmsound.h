/* Tarrowick's own alarm sound, made in memory and played in a loop when the
   alarm's target cannot be opened.  The sound's image is a pure function,
   so it can be measured in a test. */
#ifndef TARROWICK_ALARMSOUND_H
#define TARROWICK_ALARMSOUND_H

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

/* winmm's PlaySoundA, loaded from the system folder when first needed; any
   thread, set once (tests point it elsewhere to see the calls). */
typedef BOOL (WINAPI *PlaySoundCall)(LPCSTR, HMODULE, DWORD);
extern PlaySoundCall SoundPlayer;

/* Starts Tarrowick's own sound, looping, and asks the window thread to stop
   it after AwakeMs; any thread.  StopAlarmSound stops it; any thread. */
void StartAlarmSound(void);
void StopAlarmSound(void);

/* The main window's request to start the sound's time limit (posted). */
#define WM_ALARMSOUND (WM_APP + 3)

#endif
