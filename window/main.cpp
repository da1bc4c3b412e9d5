#include "window.h"
#include "../engine/alarm.h"
#include "../engine/wake.h"
#include "../resources/resource.h"

#include <commctrl.h>
#include <objbase.h>
#include <stdio.h>

typedef BOOL (WINAPI *InitControlsCall)(const INITCOMMONCONTROLSEX *);

static void LoadCommonControls(void)
{
    static const char message[] =
        "I cannot load common controls needed.  Install Internet Explorer 4 or greater.";
    INITCOMMONCONTROLSEX classes = { sizeof classes, ICC_WIN95_CLASSES | ICC_DATE_CLASSES };
    /* comctl32 is no KnownDLL: imported, it would be looked for in the
       program's own folder first, which is often the downloads folder. */
    HMODULE comctl32 = LoadSystemLibrary("comctl32.dll");
    InitControlsCall init = comctl32 ? (InitControlsCall)(void *)GetProcAddress(comctl32, "InitCommonControlsEx") : NULL;

    /* Start-up goes on: the window still comes up, lacking the time picker. */
    if (!init || !init(&classes)) {
        fputs(message, stderr);
        MessageBoxA(NULL, message, "Error", MB_ICONERROR);
    }
}

typedef BOOL (WINAPI *DefaultDirectoriesCall)(DWORD);
typedef BOOL (WINAPI *DllDirectoryCall)(LPCSTR);

/* DLLs that the system's own DLLs load later (the theme, the shell's and
   the file dialog's helpers) come from the system folder only, never from
   the program's folder or the working folder. */
static void SearchSystemFolderOnly(void)
{
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    DefaultDirectoriesCall directories = (DefaultDirectoriesCall)(void *)GetProcAddress(kernel32, "SetDefaultDllDirectories");
    DllDirectoryCall directory = (DllDirectoryCall)(void *)GetProcAddress(kernel32, "SetDllDirectoryA");

    /* Windows without it (before the 2011 loader update) still drops the
       working folder from the search with an empty DLL directory. */
    if (!directories || !directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        if (directory)
            directory("");
    }
}

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE Previous, LPSTR CommandLine, int Show)
{
    MSG message = {};

    (void)Previous;
    (void)CommandLine;
    SearchSystemFolderOnly();
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
