#include "wake.h"
#include "alarm.h"

#include <stdio.h>
#include <string.h>

/* 722: missing from some SDK headers. */
#ifndef ERROR_TIMER_RESUME_IGNORED
#define ERROR_TIMER_RESUME_IGNORED 722L
#endif

LONG WakeWarned;

WakeRefusal DecideWake(DWORD ArmError, BOOL PlanRead, BOOL OnBattery, DWORD AcValue, DWORD DcValue)
{
    DWORD allow = OnBattery ? DcValue : AcValue;

    if (ArmError == ERROR_TIMER_RESUME_IGNORED || ArmError == ERROR_NOT_SUPPORTED)
        return WAKE_NOT_SUPPORTED;
    /* A plan or setting that cannot be read is taken as allowing. */
    if (!PlanRead)
        return WAKE_ALLOWED;
    if (allow == 0)
        return WAKE_TIMERS_OFF;
    /* "Important wake timers only" means the system's own: an alarm clock's is not one. */
    if (allow == 2)
        return WAKE_IMPORTANT_ONLY;
    return WAKE_ALLOWED;
}

void FormatWakeWarning(char *Text, size_t Size, WakeRefusal Refusal, BOOL OnBattery, DWORD ArmError)
{
    const char *source = OnBattery ? "on battery" : "on mains power";
    char why[200];

    switch (Refusal) {
    case WAKE_NOT_SUPPORTED:
        snprintf(why, sizeof why, "the system does not let timers wake it (system error %lu).",
                 (unsigned long)ArmError);
        break;
    case WAKE_TIMERS_OFF:
        snprintf(why, sizeof why, "the power plan does not allow wake timers %s.", source);
        break;
    default:
        snprintf(why, sizeof why, "the power plan allows only important wake timers %s, "
                 "and an alarm clock's timer is not one of them.", source);
        break;
    }
    snprintf(Text, Size,
             "This computer will not wake up from sleep for the alarm: %s\n\n"
             "The alarm is set, and it will ring if the computer is awake at that time. "
             "To be woken by it, leave the computer on, or allow wake timers in the power "
             "options (Power Options, Change plan settings, Change advanced power settings, "
             "Sleep, Allow wake timers).", why);
}

HMODULE LoadSystemLibrary(const char *Name)
{
    char path[MAX_PATH];
    UINT length;
    HMODULE module = LoadLibraryExA(Name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);

    /* Windows without the flag refuses it with ERROR_INVALID_PARAMETER; the
       full path under the system folder is as safe. */
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    length = GetSystemDirectoryA(path, sizeof path);
    if (!length || length + strlen(Name) + 2 > sizeof path)
        return NULL;
    strcat(path, "\\");
    strcat(path, Name);
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

typedef DWORD (WINAPI *ActiveSchemeCall)(HKEY, GUID **);
typedef DWORD (WINAPI *ReadIndexCall)(HKEY, const GUID *, const GUID *, const GUID *, LPDWORD);

/* The active plan's "Allow wake timers" on mains power and on battery.
   FALSE when powrprof, the plan or the setting is missing. */
static BOOL ReadWakeSetting(DWORD *Ac, DWORD *Dc)
{
    static const GUID sleep = { 0x238C9FA8, 0x0AEE, 0x41ED, { 0xA0, 0xB6, 0x1C, 0x2D, 0x7A, 0x9D, 0x1B, 0x5E } };
    static const GUID allowWake = { 0xBD3B718A, 0x0680, 0x4D9D, { 0x8A, 0xB2, 0xE1, 0xD2, 0xB4, 0xAC, 0x80, 0x6D } };
    HMODULE powrprof = LoadSystemLibrary("powrprof.dll");
    BOOL read = FALSE;
    GUID *scheme = NULL;

    if (!powrprof)
        return FALSE;
    ActiveSchemeCall active = (ActiveSchemeCall)(void *)GetProcAddress(powrprof, "PowerGetActiveScheme");
    ReadIndexCall readAc = (ReadIndexCall)(void *)GetProcAddress(powrprof, "PowerReadACValueIndex");
    ReadIndexCall readDc = (ReadIndexCall)(void *)GetProcAddress(powrprof, "PowerReadDCValueIndex");
    if (active && readAc && readDc && active(NULL, &scheme) == ERROR_SUCCESS && scheme) {
        read = readAc(NULL, scheme, &sleep, &allowWake, Ac) == ERROR_SUCCESS
            && readDc(NULL, scheme, &sleep, &allowWake, Dc) == ERROR_SUCCESS;
        LocalFree(scheme);
    }
    FreeLibrary(powrprof);
    return read;
}

void WarnIfNoWake(DWORD ArmError)
{
    SYSTEM_POWER_STATUS power;
    DWORD ac = 1, dc = 1;
    BOOL onBattery, read;
    char text[512];

    if (WakeWarned)
        return;
    /* 255, unknown, is taken as mains power. */
    onBattery = GetSystemPowerStatus(&power) && power.ACLineStatus == 0;
    read = ReadWakeSetting(&ac, &dc);
    WakeRefusal refusal = DecideWake(ArmError, read, onBattery, ac, dc);
    if (refusal == WAKE_ALLOWED || InterlockedExchange(&WakeWarned, 1))
        return;
    FormatWakeWarning(text, sizeof text, refusal, onBattery, ArmError);
    MessageBoxA(MainWindow, text, WAKE_CAPTION, MB_ICONWARNING);
}
