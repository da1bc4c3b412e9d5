#include "window.h"
#include "../engine/alarm.h"
#include "../engine/fallback.h"
#include "../resources/resource.h"

HWND MainWindow;
HINSTANCE AppInstance;

static void PaintMainWindow(HWND Window)
{
    PAINTSTRUCT paint;

    BeginPaint(Window, &paint);
    EndPaint(Window, &paint);
}

static void CloseMainWindow(void)
{
    CancelAlarms();
    StopRinging();
    DestroyWindow(MainWindow);
    PostQuitMessage(0);
}

static void TimerRanOut(UINT_PTR Id)
{
    switch (Id) {
    case IDT_AWAKE:
        KeepAwake(FALSE);
        break;
    case IDT_SOUND:
        KillTimer(MainWindow, IDT_SOUND);
        StopAlarmSound();
        break;
    case IDT_TARGETWARNING:
        ShowTargetWarning();
        break;
    }
}

INT_PTR CALLBACK MainDialogProc(HWND Window, UINT Message, WPARAM First, LPARAM Second)
{
    switch (Message) {
    case WM_INITDIALOG:
        /* MainWindow is not stored yet: CreateDialogParamA has not returned. */
        SetClassLongPtrA(Window, GCLP_HICON, (LONG_PTR)LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_MAIN)));
        return TRUE;
    case WM_PAINT:
        PaintMainWindow(Window);
        return FALSE;
    case WM_CLOSE:
        CloseMainWindow();
        return FALSE;
    case WM_TIMECHANGE:
        FollowTimeChange();
        return FALSE;
    case WM_ALARMSTATUS:
        ApplyAlarmStatus((DWORD)First, (const char *)Second);
        return FALSE;
    case WM_ALARMRANG:
        KeepAwake(TRUE);
        return FALSE;
    case WM_ALARMSOUND:
        SetTimer(MainWindow, IDT_SOUND, AwakeMs, NULL);
        return FALSE;
    case WM_TARGETCHECKED:
        TargetChecked((DWORD)First, (BOOL)Second);
        return FALSE;
    case WM_TIMER:
        TimerRanOut(First);
        return FALSE;
    case WM_COMMAND:
        RunCommand(LOWORD(First));
        return FALSE;
    }
    return FALSE;
}
