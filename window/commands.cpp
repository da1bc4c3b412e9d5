#include "window.h"
#include "../engine/alarm.h"
#include "../engine/wake.h"
#include "../resources/resource.h"

#include <commdlg.h>

BYTE AlarmActive;

typedef BOOL (WINAPI *OpenFileCall)(OPENFILENAMEA *);

static void BrowseForTarget(void)
{
    char file[260] = "";
    OPENFILENAMEA request = {};
    static HMODULE comdlg32;  /* kept loaded: the window thread's alone */

    if (!comdlg32)
        comdlg32 = LoadSystemLibrary("comdlg32.dll");
    OpenFileCall open = comdlg32 ? (OpenFileCall)(void *)GetProcAddress(comdlg32, "GetOpenFileNameA") : NULL;

    request.lStructSize = sizeof request;
    request.hwndOwner = MainWindow;
    request.lpstrFile = file;
    request.nMaxFile = sizeof file - 1;
    if (open && open(&request))
        SetDlgItemTextA(MainWindow, IDC_TARGET, file);
}

static void EnableAlarmSettings(BOOL Enable)
{
    EnableWindow(GetDlgItem(MainWindow, IDC_TIME), Enable);
    EnableWindow(GetDlgItem(MainWindow, IDC_TARGET), Enable);
    EnableWindow(GetDlgItem(MainWindow, IDC_BROWSE), Enable);
}

void KeepAwake(BOOL On)
{
    /* ES_CONTINUOUS holds the request until this thread replaces it; a
       request without it only resets the idle count once. */
    if (On) {
        SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
        SetTimer(MainWindow, IDT_AWAKE, AWAKE_MS, NULL);
    } else {
        KillTimer(MainWindow, IDT_AWAKE);
        SetThreadExecutionState(ES_CONTINUOUS);
    }
}

static void ToggleAlarm(void)
{
    AlarmActive = !AlarmActive;
    if (AlarmActive) {
        /* Replaces any alarm a Test armed: while on there is one alarm, at the chosen time. */
        SetAlarm();
        EnableAlarmSettings(FALSE);
        SetDlgItemTextA(MainWindow, IDC_TOGGLE, "Deactivate Alarm");
    } else {
        EnableAlarmSettings(TRUE);
        SetDlgItemTextA(MainWindow, IDC_TOGGLE, "Activate Alarm");
        CancelAlarms();
        KeepAwake(FALSE);
        SetDlgItemTextA(MainWindow, IDC_STATUS, "");
    }
}

void RunCommand(WORD Id)
{
    switch (Id) {
    case IDC_BROWSE:
        BrowseForTarget();
        break;
    case IDC_TOGGLE:
        ToggleAlarm();
        break;
    case IDC_TEST:
        RunAlarm(NULL);
        break;
    }
}
