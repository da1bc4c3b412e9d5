/* The smallest dialog program of the same toolchain: the baseline that the
   benchmark holds Tarrowick's start-up time and memory against. */
#include <windows.h>
#include <commctrl.h>

static INT_PTR CALLBACK MinimalDialogProc(HWND Window, UINT Message, WPARAM, LPARAM)
{
    if (Message == WM_CLOSE) {
        DestroyWindow(Window);
        PostQuitMessage(0);
    }
    return Message == WM_INITDIALOG;
}

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int Show)
{
    INITCOMMONCONTROLSEX classes = { sizeof classes, ICC_WIN95_CLASSES | ICC_DATE_CLASSES };
    HWND window;
    MSG message = {};

    InitCommonControlsEx(&classes);
    window = CreateDialogParamA(Instance, MAKEINTRESOURCEA(1), NULL, MinimalDialogProc, 0);
    ShowWindow(window, Show);
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    return (int)message.wParam;
}
