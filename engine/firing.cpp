#include "alarm.h"
#include "moment.h"
#include "../resources/resource.h"

#include <commctrl.h>
#include <shellapi.h>
#include <objbase.h>
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

BOOL SetAlarm(const AlarmRecord *Firing)
{
    SYSTEMTIME due;
    FILETIME dueUtc;
    BOOL claimed;
    char text[128];
    BOOL known = NextAlarmUtc(&due, &dueUtc);

    if (ArmAlarm(known ? &dueUtc : NULL, Firing, &claimed)) {
        FormatAlarmStatus(text, sizeof text, &due);
    } else if (claimed) {
        snprintf(text, sizeof text, "%s", "I was unable to set the alarm.");
        MessageBoxA(MainWindow, text, "Error", MB_ICONERROR);
    } else {
        return FALSE;
    }
    SendDlgItemMessageA(MainWindow, IDC_STATUS, WM_SETTEXT, 0, (LPARAM)text);
    return TRUE;
}

static void OpenTarget(const char *Target)
{
    /* Some handlers the shell may hand the target to are COM objects. */
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    /* A computer woken for the alarm would sleep again after a couple of idle
       minutes with its display off; ask once for both to stay on. */
    SetThreadExecutionState(ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
    ShellExecuteA(NULL, NULL, Target, NULL, NULL, SW_SHOWNORMAL);
    if (SUCCEEDED(com))
        CoUninitialize();
}

void RunAlarm(const AlarmRecord *Firing)
{
    char target[1024] = "";

    /* Read before re-arming; a longer text is cut at 1023 characters. */
    GetWindowTextA(GetDlgItem(MainWindow, IDC_TARGET), target, sizeof target);
    if (!SetAlarm(Firing))
        return;  /* cancelled before it could fire: neither re-armed nor opened */
    OpenTarget(target);
}
