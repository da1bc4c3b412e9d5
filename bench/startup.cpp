/* Start-up: process creation to its first visible window.  Size: the
   stripped release program and the DLLs it imports, read from the file. */
#include "bench.h"

#include <algorithm>

static BOOL CALLBACK FindShown(HWND Window, LPARAM Param)
{
    DWORD *process = (DWORD *)Param, owner = 0;

    GetWindowThreadProcessId(Window, &owner);
    if (owner == *process && IsWindowVisible(Window)) {
        *process = 0;
        return FALSE;
    }
    return TRUE;
}

double StartUpMs(const std::string &Exe)
{
    STARTUPINFOA startup = {};
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER frequency, start, now;

    startup.cb = sizeof startup;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(Exe.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return -1;
    for (DWORD pending = process.dwProcessId; pending; Sleep(1)) {
        pending = process.dwProcessId;
        EnumWindows(FindShown, (LPARAM)&pending);
        QueryPerformanceCounter(&now);
        if (now.QuadPart - start.QuadPart > frequency.QuadPart * 20)
            break;
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return (now.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

std::string ImportsOf(const std::string &Exe)
{
    HMODULE image = LoadLibraryExA(Exe.c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
    std::string names;

    if (!image)
        return "(unreadable)";
    const BYTE *base = (const BYTE *)image;
    const IMAGE_NT_HEADERS *headers = (const IMAGE_NT_HEADERS *)(base + ((const IMAGE_DOS_HEADER *)base)->e_lfanew);
    DWORD rva = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (const IMAGE_IMPORT_DESCRIPTOR *entry = (const IMAGE_IMPORT_DESCRIPTOR *)(base + rva); entry->Name; entry++) {
        std::string name = (const char *)(base + entry->Name);
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        names += (names.empty() ? "" : " ") + name;
    }
    FreeLibrary(image);
    return names;
}

double FileKiB(const std::string &Path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;

    return GetFileAttributesExA(Path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow / 1024.0 : -1;
}
