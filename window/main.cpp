#include "window.h"
#include "../engine/alarm.h"
#include "../resources/resource.h"

#include <commctrl.h>
#include <objbase.h>
#include <stdio.h>

static void LoadCommonControls(void)
{
    static const char message[] =
        "I cannot load common controls needed.  Install Internet Explorer 4 or greater.";
    INITCOMMONCONTROLSEX classes = { sizeof classes, ICC_WIN95_CLASSES | ICC_DATE_CLASSES };

    /* Start-up goes on: the window still comes up, lacking the time picker. */
    if (!InitCommonControlsEx(&classes)) {
        fputs(message, stderr);
        MessageBoxA(NULL, message, "Error", MB_ICONERROR);
    }
}

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE Previous, LPSTR CommandLine, int Show)
{
    MSG message = {};

    (void)Previous;
    (void)CommandLine;
    /* For the shell's handlers that Test reaches on this thread, and the file dialog. */
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    LoadCommonControls();
    AppInstance = Instance;
    MainWindow = CreateDialogParamA(Instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
    if (!MainWindow) {
        /* Without a window nothing could ever end the message loop. */
        MessageBoxA(NULL, "I was unable to create the main window.", "Error", MB_ICONERROR);
        return 1;
    }
    ShowWindow(MainWindow, Show);
    UpdateWindow(MainWindow);

    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (!IsDialogMessageA(MainWindow, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return (int)message.wParam;
}
