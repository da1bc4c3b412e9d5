#include "window.h"
#include "../engine/alarm.h"
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
    KeepAwake(FALSE);
    DestroyWindow(MainWindow);
    PostQuitMessage(0);
}

INT_PTR CALLBACK MainDialogProc(HWND Window, UINT Message, WPARAM First, LPARAM Second)
{
    (void)Second;
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
    case WM_TIMER:
        if (First == IDT_AWAKE)
            KeepAwake(FALSE);
        return FALSE;
    case WM_COMMAND:
        RunCommand(LOWORD(First));
        return FALSE;
    }
    return FALSE;
}
