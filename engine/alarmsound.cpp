#include "alarmsound.h"
#include "alarm.h"
#include "wake.h"

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

PlaySoundCall SoundPlayer;

/* The image PlaySoundA reads for as long as it plays: never freed, and made
   while the program starts, before any thread can fire an alarm.  (A
   one-time initialisation call would shut Windows XP out: it has none.) */
static BYTE AlarmWave[ALARM_WAVE_BYTES];
static const BOOL AlarmWaveMade = MakeAlarmWave(AlarmWave, sizeof AlarmWave) != 0;

/* PlaySoundA from winmm, which is no KnownDLL: loaded from the system folder. */
static void FindSoundPlayer(void)
{
    HMODULE winmm;

    if (!SoundPlayer && (winmm = LoadSystemLibrary("winmm.dll")))
        SoundPlayer = (PlaySoundCall)(void *)GetProcAddress(winmm, "PlaySoundA");
}

void StartAlarmSound(void)
{
    FindSoundPlayer();
    if (SoundPlayer && AlarmWaveMade)
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
