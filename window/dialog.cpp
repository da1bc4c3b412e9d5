#include "window.h"
#include "../engine/alarm.h"
#include "../engine/alarmsound.h"
#include "../resources/resource.h"

HWND MainWindow;
HINSTANCE AppInstance;

static void PaintMainWindow(HWND Window)
{
    PAINTSTRUCT paint;

    BeginPaint(Window, &paint);
    EndPaint(Window, &paint);
}

/* Puts Control just before Next in the window order. */
static void PlaceBefore(HWND Control, HWND Next)
{
    HWND previous;

    if (!Control || !Next)
        return;
    previous = GetWindow(Next, GW_HWNDPREV);
    SetWindowPos(Control, previous ? previous : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

/* Windows' accessibility names a control with no text of its own, the time
   picker or the target field, after the label just before it in the window
   order.  The template lists both labels after the controls they name, so
   a screen reader would read "edit, blank": each label is moved to just
   before its control.  Labels are no tab stops, so the tab order stays the
   template's. */
static void PutLabelsBeforeFields(HWND Window)
{
    HWND timeLabel = GetDlgItem(Window, IDC_TIME_LABEL);
    /* The target's label has no id: it follows the time's label in the template. */
    HWND targetLabel = timeLabel ? GetWindow(timeLabel, GW_HWNDNEXT) : NULL;

    PlaceBefore(timeLabel, GetDlgItem(Window, IDC_TIME));
    PlaceBefore(targetLabel, GetDlgItem(Window, IDC_TARGET));
}

/* MainWindow is not stored yet: CreateDialogParamA has not returned. */
static void InitMainWindow(HWND Window)
{
    SetClassLongPtrA(Window, GCLP_HICON, (LONG_PTR)LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_MAIN)));
    PutLabelsBeforeFields(Window);
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
        InitMainWindow(Window);
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
