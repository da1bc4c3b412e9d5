#include "alarm.h"
#include "moment.h"
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

/* The UTC moment of the picked time's next occurrence; *Due gets it in local time. */
static BOOL NextAlarmUtc(SYSTEMTIME *Due, FILETIME *DueUtc)
{
    SYSTEMTIME picked, now;
    FILETIME nowUtc;

    if (!ReadAlarmTime(&picked))
        return FALSE;
    GetLocalTime(&now);
    GetSystemTimeAsFileTime(&nowUtc);
    NextAlarmMoment(&picked, &now, Due);
    return AlarmMomentToUtc(NULL, Due, &nowUtc, DueUtc);
}

/* Arms the picked time after the claim that gave Epoch, and reports. */
static void ArmPickedTime(DWORD Epoch)
{
    SYSTEMTIME due;
    FILETIME dueUtc;
    BOOL current;
    char text[128];
    BOOL known = NextAlarmUtc(&due, &dueUtc);

    if (ArmAlarm(known ? &dueUtc : NULL, Epoch, &current)) {
        FormatAlarmStatus(text, sizeof text, &due);
    } else if (current) {
        snprintf(text, sizeof text, "%s", "I was unable to set the alarm.");
        MessageBoxA(MainWindow, text, "Error", MB_ICONERROR);
    } else {
        return;  /* cancelled meanwhile: by Deactivate, close, or a newer arming */
    }
    SendDlgItemMessageA(MainWindow, IDC_STATUS, WM_SETTEXT, 0, (LPARAM)text);
}

void SetAlarm(void)
{
    DWORD epoch;

    ClaimAlarm(NULL, &epoch);
    ArmPickedTime(epoch);
}

static void OpenTarget(const char *Target)
{
    /* A computer woken for the alarm would sleep again after a couple of idle
       minutes with its display off; ask once for both to stay on. */
    SetThreadExecutionState(ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
    ShellExecuteA(NULL, NULL, Target, NULL, NULL, SW_SHOWNORMAL);
}

void RunAlarm(const AlarmRecord *Firing)
{
    char target[1024] = "";
    DWORD epoch;

    /* Read before re-arming; a longer text is cut at 1023 characters. */
    GetWindowTextA(GetDlgItem(MainWindow, IDC_TARGET), target, sizeof target);
    if (!ClaimAlarm(Firing, &epoch))
        return;  /* cancelled before it could fire: neither opened nor re-armed */
    /* The target first: arming the next day starts a thread, which would
       hold the song back by a millisecond or two. */
    OpenTarget(target);
    ArmPickedTime(epoch);
}
