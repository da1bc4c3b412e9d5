/* A DLL planted beside the program and in its working folder under the name
   of a DLL that the program or the system loads.  If it is ever loaded, it
   leaves a marker file beside itself: "<its path>.loaded". */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE Self, DWORD Reason, LPVOID Reserved)
{
    char path[MAX_PATH + 8];
    DWORD length;
    HANDLE marker;

    (void)Reserved;
    if (Reason != DLL_PROCESS_ATTACH)
        return TRUE;
    length = GetModuleFileNameA(Self, path, MAX_PATH);
    lstrcpyA(path + length, ".loaded");
    marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    return TRUE;
}
