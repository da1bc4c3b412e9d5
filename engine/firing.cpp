#include "alarm.h"
#include "moment.h"
#include "wake.h"
#include "fallback.h"
#include "alarmsound.h"
#include "../resources/resource.h"

#include <commctrl.h>
#include <shellapi.h>
#include <stdio.h>

/* The picker's value, through the window thread when called on a worker.
   FALSE when the window came up without its picker. */
static BOOL ReadAlarmTime(SYSTEMTIME *Picked)
{
    HWND picker = GetDlgItem(MainWindow, IDC_TIME);

    return picker && SendMessageA(picker, DTM_GETSYSTEMTIME, 0, (LPARAM)Picked) == GDT_VALID;
}

/* The UTC moment of the picked time's next occurrence; *Due gets the local
   time the clocks will show then. */
static BOOL NextAlarmUtc(SYSTEMTIME *Due, FILETIME *DueUtc)
{
    SYSTEMTIME picked, lastFired;
    FILETIME nowUtc, firedUtc;

    if (!ReadAlarmTime(&picked))
        return FALSE;
    GetSystemTimeAsFileTime(&nowUtc);
    BOOL fired = LastFiring(&firedUtc);
    if (fired)
        UtcToLocal(&firedUtc, &lastFired);
    /* Only a firing of this time of day keeps its date from ringing again: a
       Test alarm that rang at 06:30 says nothing of 21:00 picked since.  (A
       skipped time fires at another reading, but the clocks never show it
       twice.) */
    fired = fired && lastFired.wHour == picked.wHour && lastFired.wMinute == picked.wMinute
         && lastFired.wSecond == picked.wSecond;
    return NextAlarmMoment(NULL, &picked, &nowUtc, fired ? &lastFired : NULL, Due, DueUtc);
}

void ApplyAlarmStatus(DWORD Epoch, const char *Text)
{
    /* On the window thread, as Deactivate is: a text checked here as current
       cannot be overtaken by a Deactivate before it is shown. */
    if (IsCurrentArming(Epoch))
        SetDlgItemTextA(MainWindow, IDC_STATUS, Text);
}

ShellExecuteCall ShellOpen;

/* Ready before any firing: looked up on the thread that arms, so the
   firing itself does no loading before it opens the target. */
static void FindShell(void)
{
    HMODULE shell32;

    if (!ShellOpen && (shell32 = LoadSystemLibrary("shell32.dll")))
        ShellOpen = (ShellExecuteCall)(void *)GetProcAddress(shell32, "ShellExecuteA");
}

/* Arms the picked time after the claim that gave Epoch, and reports. */
static void ArmPickedTime(DWORD Epoch)
{
    SYSTEMTIME due;
    FILETIME dueUtc;
    AlarmArming arming = {};
    AlarmRecord *record = NULL;
    char text[128];

    arming.Epoch = Epoch;
    FindShell();
    /* A change of clock while the moment was worked out: work it out again. */
    for (int attempt = 0; attempt < 10; attempt++) {
        arming.Clock = ClockChangesNow();
        BOOL known = NextAlarmUtc(&due, &dueUtc);
        record = ArmAlarm(known ? &dueUtc : NULL, &arming);
        if (record || !arming.ClockMoved)
            break;
    }
    if (record) {
        FormatAlarmStatus(text, sizeof text, &due);
    } else if (arming.Current) {
        snprintf(text, sizeof text, "%s", "I was unable to set the alarm.");
        MessageBoxA(MainWindow, text, "Error", MB_ICONERROR);
    } else {
        return;  /* cancelled meanwhile: by Deactivate, close, or a newer arming */
    }
    SendMessageA(MainWindow, WM_ALARMSTATUS, Epoch, (LPARAM)text);
    if (record)
        WarnIfNoWake(arming.WakeError);
}

void SetAlarm(void)
{
    DWORD epoch;

    ClaimAlarm(NULL, &epoch, NULL);
    ArmPickedTime(epoch);
}

void FollowTimeChange(void)
{
    SYSTEMTIME due;
    FILETIME dueUtc;
    DWORD epoch;
    char text[128];

    /* Counted first: a firing that has claimed its alarm and not yet armed
       the next one then works its moment out under the new clock. */
    CountClockChange();
    if (!AlarmsArmed() || !NextAlarmUtc(&due, &dueUtc) || !MoveAlarms(&dueUtc, &epoch))
        return;
    FormatAlarmStatus(text, sizeof text, &due);
    ApplyAlarmStatus(epoch, text);
}

/* Has the shell open Target; its result, where 32 or less is a failure.  An
   empty target is not handed to the shell, which may open some folder for
   it and so report success with nothing to hear. */
static INT_PTR OpenTarget(const char *Target)
{
    if (!*Target)
        return 0;
    FindShell();
    if (!ShellOpen)
        return SE_ERR_DLLNOTFOUND;
    return (INT_PTR)ShellOpen(NULL, NULL, Target, NULL, NULL, SW_SHOWNORMAL);
}

/* A firing that came too late to wake anyone: says so instead of ringing. */
static void ReportMissedAlarm(const FILETIME *DueUtc, const FILETIME *Woke)
{
    SYSTEMTIME due, woke;
    char text[512];

    UtcToLocal(DueUtc, &due);
    UtcToLocal(Woke, &woke);
    FormatMissedAlarm(text, sizeof text, &due, &woke);
    MessageBoxA(MainWindow, text, MISSED_CAPTION, MB_ICONWARNING);
}

void RunAlarm(const AlarmRecord *Firing)
{
    char target[1024] = "";
    DWORD epoch;
    FILETIME due = {}, now;

    /* Read before re-arming; a longer text is cut at 1023 characters. */
    GetWindowTextA(GetDlgItem(MainWindow, IDC_TARGET), target, sizeof target);
    if (!ClaimAlarm(Firing, &epoch, &due))
        return;  /* cancelled before it could fire: neither opened nor re-armed */
    GetSystemTimeAsFileTime(&now);
    if (Firing && FileTimeValue(&now) > FileTimeValue(&due) + ALARM_LATE_LIMIT) {
        /* Slept through, or the clock was moved past it: a song at whatever
           hour the lid is next opened would wake nobody and startle many. */
        ArmPickedTime(epoch);
        ReportMissedAlarm(&due, &now);
        return;
    }
    /* The target first: arming the next day starts a thread, which would
       hold the song back by a millisecond or two. */
    INT_PTR opened = OpenTarget(target);
    /* 32 or less is a failure.  An alarm that opens nothing must still wake
       the sleeper: Tarrowick's own sound, now, and the reason once armed. */
    if (opened <= 32)
        StartAlarmSound();
    /* The window thread keeps the computer awake to hear it: a request
       belongs to its thread, and this worker ends in a moment. */
    if (Firing)
        PostMessageA(MainWindow, WM_ALARMRANG, 0, 0);
    ArmPickedTime(epoch);
    if (opened <= 32)
        ReportOpenFailure(target, opened);
}
