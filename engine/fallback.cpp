#include "fallback.h"
#include "alarm.h"
#include "wake.h"

#include <shellapi.h>
#include <stdio.h>
#include <string.h>

/* Little-endian fields of the WAV header. */
static BYTE *PutWord(BYTE *At, WORD Value)
{
    At[0] = (BYTE)Value;
    At[1] = (BYTE)(Value >> 8);
    return At + 2;
}

static BYTE *PutDword(BYTE *At, DWORD Value)
{
    return PutWord(PutWord(At, (WORD)Value), (WORD)(Value >> 16));
}

static BYTE *PutTag(BYTE *At, const char *Tag)
{
    memcpy(At, Tag, 4);
    return At + 4;
}

/* The level of the alarm's tone at sample I of the second, from -1 to 1:
   0 between beeps.  The tone is a tenth of the sample rate, 2205 Hz, so one
   period is ten samples, read from a table: no maths library needed. */
static double AlarmLevel(unsigned I)
{
    static const double period[10] = { 0, 0.587785, 0.951057, 0.951057, 0.587785,
                                       0, -0.587785, -0.951057, -0.951057, -0.587785 };
    const unsigned beep = ALARM_WAVE_RATE / 10, gap = ALARM_WAVE_RATE / 20, fade = ALARM_WAVE_RATE / 200;
    const double peak = 0.7;  /* about -3 dB below full scale */
    unsigned inBeep = I % (beep + gap);

    if (I >= 4 * (beep + gap) || inBeep >= beep)
        return 0;
    double envelope = inBeep < fade ? (double)inBeep / fade
                    : beep - inBeep < fade ? (double)(beep - inBeep) / fade : 1.0;
    return peak * envelope * period[I % 10];
}

size_t MakeAlarmWave(BYTE *Wave, size_t Size)
{
    const DWORD data = ALARM_WAVE_BYTES - ALARM_WAVE_HEADER;
    BYTE *at = Wave;

    if (Size < ALARM_WAVE_BYTES)
        return 0;
    at = PutDword(PutTag(at, "RIFF"), ALARM_WAVE_BYTES - 8);
    at = PutDword(PutTag(PutTag(at, "WAVE"), "fmt "), 16);
    at = PutWord(PutWord(at, 1), 1);  /* PCM, mono */
    at = PutDword(PutDword(at, ALARM_WAVE_RATE), ALARM_WAVE_RATE * 2);
    at = PutWord(PutWord(at, 2), 16);  /* two bytes a sample, 16 bits */
    at = PutDword(PutTag(at, "data"), data);
    for (unsigned i = 0; i < data / 2; i++) {
        double level = AlarmLevel(i) * 32767;
        at = PutWord(at, (WORD)(short)(level < 0 ? level - 0.5 : level + 0.5));
    }
    return ALARM_WAVE_BYTES;
}

TargetKind ClassifyTarget(const char *Target, char *Path, size_t Size)
{
    size_t start = 0, end = strlen(Target);

    while (start < end && (Target[start] == ' ' || Target[start] == '\t'))
        start++;
    while (end > start && (Target[end - 1] == ' ' || Target[end - 1] == '\t'))
        end--;
    /* The shell drops a pair of quotes around the whole target. */
    if (end - start >= 2 && Target[start] == '"' && Target[end - 1] == '"') {
        start++;
        end--;
    }
    if (start == end)
        return TARGET_EMPTY;
    const char *t = Target + start;
    BOOL drive = end - start >= 3 && ((t[0] | 0x20) >= 'a' && (t[0] | 0x20) <= 'z') && t[1] == ':'
              && (t[2] == '\\' || t[2] == '/');
    BOOL share = end - start >= 3 && (t[0] == '\\' || t[0] == '/') && t[1] == t[0];
    if (!drive && !share)
        return TARGET_OTHER;
    snprintf(Path, Size, "%.*s", (int)(end - start), t);
    return TARGET_PATH;
}

BOOL IsMissingTarget(DWORD Attributes, DWORD Error)
{
    if (Attributes != INVALID_FILE_ATTRIBUTES)
        return FALSE;
    switch (Error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:       /* a drive with no disk in it */
    case ERROR_BAD_NETPATH:     /* a server that is not there */
    case ERROR_BAD_NET_NAME:    /* a share that is not there */
        return TRUE;
    }
    /* Access denied and the like: it is there, and its player may read it. */
    return FALSE;
}

void ShortenTarget(char *Text, size_t Size, const char *Target)
{
    const size_t limit = 120, head = 50;
    size_t length = strlen(Target);

    if (length <= limit)
        snprintf(Text, Size, "%s", Target);
    else
        snprintf(Text, Size, "%.*s...%s", (int)head, Target, Target + length - (limit - head - 3));
}

const char *OpenFailureReason(const char *Target, INT_PTR Result)
{
    if (!*Target)
        return "The File / URL field is empty.";
    switch (Result) {
    case ERROR_FILE_NOT_FOUND:
        return "There is no such file.";
    case ERROR_PATH_NOT_FOUND:
        return "There is no such folder or drive.";
    case SE_ERR_ACCESSDENIED:
        return "Access to it is denied.";
    case ERROR_BAD_FORMAT:
        return "It is not a program that this computer can run.";
    case SE_ERR_NOASSOC:
        return "No program is set up to open this kind of file.";
    case SE_ERR_ASSOCINCOMPLETE:
        return "The program set up for this kind of file is not installed completely.";
    case SE_ERR_SHARE:
        return "Another program holds it open.";
    case SE_ERR_DDEBUSY:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDETIMEOUT:
        return "The program for it did not answer.";
    case SE_ERR_DLLNOTFOUND:
        return "A part of Windows needed to open it could not be loaded.";
    case 0:
    case SE_ERR_OOM:
        return "The computer ran out of memory.";
    }
    return "Windows could not open it.";
}

void FormatOpenFailure(char *Text, size_t Size, const char *Target, INT_PTR Result)
{
    char shown[128];

    ShortenTarget(shown, sizeof shown, Target);
    snprintf(Text, Size,
             "The alarm went off, but Tarrowick could not open its target:\n\n%s\n\n%s\n\n"
             "Tarrowick is ringing its own alarm sound instead; close this box to stop it. "
             "The alarm is set again for its next time.",
             *Target ? shown : "(nothing)", OpenFailureReason(Target, Result));
}

void FormatTargetWarning(char *Text, size_t Size, const char *Target, TargetKind Kind)
{
    char shown[128];

    ShortenTarget(shown, sizeof shown, Target);
    if (Kind == TARGET_EMPTY)
        snprintf(Text, Size,
                 "The File / URL field is empty, so the alarm has nothing to open.\n\n"
                 "The alarm is set, and at its time Tarrowick will ring its own alarm sound. "
                 "To wake to a song or a web page, switch the alarm off, fill in the field and "
                 "switch it on again.");
    else
        snprintf(Text, Size,
                 "The alarm's target does not exist:\n\n%s\n\n"
                 "The alarm is set. If the file is still missing at the alarm's time, Tarrowick "
                 "will ring its own alarm sound instead. To wake to your song, choose a file "
                 "that exists, and make sure its disk or network share will be there then.",
                 shown);
}

PlaySoundCall SoundPlayer;

/* The image PlaySoundA reads for as long as it plays: made once, never freed. */
static BYTE AlarmWave[ALARM_WAVE_BYTES];
static INIT_ONCE AlarmWaveMade = INIT_ONCE_STATIC_INIT;
static LONG AlarmSoundBoxes;  /* open-failure boxes up; any thread, interlocked */

static BOOL CALLBACK MakeAlarmWaveOnce(INIT_ONCE *, void *, void **)
{
    return MakeAlarmWave(AlarmWave, sizeof AlarmWave) != 0;
}

/* PlaySoundA from winmm, which is no KnownDLL: loaded from the system folder. */
static void FindSoundPlayer(void)
{
    HMODULE winmm;

    if (!SoundPlayer && (winmm = LoadSystemLibrary("winmm.dll")))
        SoundPlayer = (PlaySoundCall)(void *)GetProcAddress(winmm, "PlaySoundA");
}

void StartAlarmSound(void)
{
    InitOnceExecuteOnce(&AlarmWaveMade, MakeAlarmWaveOnce, NULL, NULL);
    FindSoundPlayer();
    if (SoundPlayer)
        SoundPlayer((LPCSTR)AlarmWave, NULL, SND_MEMORY | SND_ASYNC | SND_LOOP);
    /* A window timer belongs to the window's thread. */
    PostMessageA(MainWindow, WM_ALARMSOUND, 0, 0);
}

void StopAlarmSound(void)
{
    /* Never loads winmm: if it is not loaded, nothing plays. */
    if (SoundPlayer)
        SoundPlayer(NULL, NULL, 0);
}

void ReportOpenFailure(const char *Target, INT_PTR Result)
{
    char text[1024];

    FormatOpenFailure(text, sizeof text, Target, Result);
    InterlockedIncrement(&AlarmSoundBoxes);
    MessageBoxA(MainWindow, text, OPEN_FAILED_CAPTION, MB_ICONWARNING);
    if (InterlockedDecrement(&AlarmSoundBoxes) == 0)
        StopAlarmSound();
}
