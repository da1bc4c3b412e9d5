#include "support.h"
#include "../engine/moment.h"
#include "../engine/wake.h"

#include <tlhelp32.h>
#include <malloc.h>
#include <stdio.h>
#include <string.h>

BOOL PumpUntilSignalled(HANDLE Handle, DWORD Timeout)
{
    DWORD start = GetTickCount();

    for (;;) {
        DWORD spent = GetTickCount() - start;
        DWORD left = spent < Timeout ? Timeout - spent : 0;
        DWORD result = Handle ? MsgWaitForMultipleObjects(1, &Handle, FALSE, left, QS_ALLINPUT)
                              : MsgWaitForMultipleObjects(0, NULL, FALSE, left, QS_ALLINPUT);
        MSG message;

        if (Handle && result == WAIT_OBJECT_0)
            return TRUE;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (result == WAIT_TIMEOUT || result == WAIT_FAILED || left == 0)
            return Handle && WaitForSingleObject(Handle, 0) == WAIT_OBJECT_0;
    }
}

std::string WindowText(HWND Window)
{
    std::string text(GetWindowTextLengthA(Window) + 1, '\0');

    text.resize(GetWindowTextA(Window, &text[0], (int)text.size()));
    return text;
}

BOOL PumpUntilText(HWND Window, int Id, const std::string &Expected, DWORD Timeout)
{
    DWORD start = GetTickCount();

    while (WindowText(GetDlgItem(Window, Id)).find(Expected) == std::string::npos) {
        if (GetTickCount() - start >= Timeout)
            return FALSE;
        PumpUntilSignalled(NULL, 20);
    }
    return TRUE;
}

std::string TestFolder(void)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string folder(path, length);

    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

Recorder StartRecorder(const char *Tag)
{
    Recorder target;
    char name[128];

    snprintf(name, sizeof name, "TarrowickRecorder-%lu-%s", GetCurrentProcessId(), Tag);
    target.Program = TestFolder() + "recorder.exe";
    target.Log = TestFolder() + name + ".log";
    target.Opened = CreateSemaphoreA(NULL, 0, 100000, name);
    DeleteFileA(target.Log.c_str());
    SetEnvironmentVariableA("RECORDER_LOG", target.Log.c_str());
    SetEnvironmentVariableA("RECORDER_SEMAPHORE", name);
    return target;
}

void StopRecorder(Recorder *Target)
{
    if (Target->Opened)
        CloseHandle(Target->Opened);
    Target->Opened = NULL;
    DeleteFileA(Target->Log.c_str());
}

std::vector<std::string> ReadRecorderLog(const Recorder &Target)
{
    std::vector<std::string> lines;
    FILE *log = fopen(Target.Log.c_str(), "rb");
    std::string line;
    int c;

    if (!log)
        return lines;
    while ((c = fgetc(log)) != EOF) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += (char)c;
        }
    }
    fclose(log);
    return lines;
}

unsigned CountHandles(void)
{
    unsigned count = 0;
    DWORD flags;
    ULONG_PTR value;

    /* Handle values are multiples of 4, handed out lowest first. */
    for (value = 4; value < 0x20000; value += 4)
        if (GetHandleInformation((HANDLE)value, &flags))
            count++;
    return count;
}

unsigned CountThreads(void)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry;
    unsigned count = 0;

    entry.dwSize = sizeof entry;
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            count++;
    CloseHandle(snapshot);
    return count;
}

size_t CrtHeapBytes(void)
{
    _HEAPINFO entry = {};
    size_t total = 0;

    while (_heapwalk(&entry) == _HEAPOK)
        if (entry._useflag == _USEDENTRY)
            total += entry._size;
    return total;
}

size_t HeapBytes(HANDLE Heap)
{
    PROCESS_HEAP_ENTRY entry = {};
    size_t total = 0;

    /* Other threads' blocks stay put while it is walked. */
    HeapLock(Heap);
    while (HeapWalk(Heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
            total += entry.cbData;
    HeapUnlock(Heap);
    return total;
}

SYSTEMTIME MakeTime(WORD Year, WORD Month, WORD Day, WORD Hour, WORD Minute, WORD Second, WORD Ms)
{
    SYSTEMTIME time = {};
    FILETIME moment;

    time.wYear = Year;
    time.wMonth = Month;
    time.wDay = Day;
    time.wHour = Hour;
    time.wMinute = Minute;
    time.wSecond = Second;
    time.wMilliseconds = Ms;
    /* A round trip fills in the day of the week. */
    SystemTimeToFileTime(&time, &moment);
    FileTimeToSystemTime(&moment, &time);
    return time;
}

ULONGLONG FileTimeOf(const SYSTEMTIME &Time)
{
    FILETIME moment;
    ULARGE_INTEGER value;

    SystemTimeToFileTime(&Time, &moment);
    value.LowPart = moment.dwLowDateTime;
    value.HighPart = moment.dwHighDateTime;
    return value.QuadPart;
}

SYSTEMTIME LocalNowPlus(int Seconds)
{
    SYSTEMTIME now;
    FILETIME moment;
    ULARGE_INTEGER value;

    GetLocalTime(&now);
    SystemTimeToFileTime(&now, &moment);
    value.LowPart = moment.dwLowDateTime;
    value.HighPart = moment.dwHighDateTime;
    value.QuadPart += (LONGLONG)Seconds * 10000000;
    moment.dwLowDateTime = value.LowPart;
    moment.dwHighDateTime = value.HighPart;
    FileTimeToSystemTime(&moment, &now);
    return now;
}

struct Found {
    DWORD Process;        /* process whose window is wanted */
    HWND Except;          /* a window not to return */
    const char *Caption;  /* caption wanted, or NULL for any */
    HWND Window;          /* result */
};

static BOOL CALLBACK MatchWindow(HWND Window, LPARAM Param)
{
    Found *found = (Found *)Param;
    DWORD process = 0;
    char name[32];

    GetWindowThreadProcessId(Window, &process);
    GetClassNameA(Window, name, sizeof name);
    if (process != found->Process || Window == found->Except || strcmp(name, "#32770") || !IsWindowVisible(Window))
        return TRUE;
    if (found->Caption && WindowText(Window) != found->Caption)
        return TRUE;
    found->Window = Window;
    return FALSE;
}

/* A visible dialog of Process, other than Except, waited for up to Timeout ms. */
HWND WaitForDialog(DWORD Process, HWND Except, const char *Caption, DWORD Timeout)
{
    DWORD start = GetTickCount();
    Found found = { Process, Except, Caption, NULL };

    for (;;) {
        EnumWindows(MatchWindow, (LPARAM)&found);
        if (found.Window || GetTickCount() - start > Timeout)
            return found.Window;
        PumpUntilSignalled(NULL, 50);
    }
}

std::string ProgramPath(void)
{
    return TestFolder() + "..\\tarrowick.exe";
}

HWND LaunchProgram(PROCESS_INFORMATION *Program, const char *Exe, const char *Folder)
{
    STARTUPINFOA startup = {};
    std::string exe = Exe ? Exe : ProgramPath();

    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    SetLastError(0xdeadbeef);
    if (!CreateProcessA(exe.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, Folder, &startup, Program)) {
        printf("could not start %s: error %lu\n", exe.c_str(), GetLastError());
        return NULL;
    }
    /* No WaitForInputIdle: under Wine each call leaves a handle open in the caller. */
    return WaitForDialog(Program->dwProcessId, NULL, "Tarrowick", 10000);
}

LRESULT PickerRequestIn(HANDLE Process, HWND Picker, UINT Message, WPARAM First, SYSTEMTIME *Time)
{
    void *remote = VirtualAllocEx(Process, NULL, sizeof *Time, MEM_COMMIT, PAGE_READWRITE);
    DWORD_PTR result = 0;

    WriteProcessMemory(Process, remote, Time, sizeof *Time, NULL);
    SendMessageTimeoutA(Picker, Message, First, (LPARAM)remote, SMTO_NORMAL, 10000, &result);
    ReadProcessMemory(Process, remote, Time, sizeof *Time, NULL);
    VirtualFreeEx(Process, remote, 0, MEM_RELEASE);
    return (LRESULT)result;
}

std::string StatusFor(SYSTEMTIME Due, unsigned DaysOn)
{
    /* Written out here, not by the program's own formatting: minute and
       second right-aligned in two places with a space. */
    auto padded = [](unsigned Value) { return (Value < 10 ? " " : "") + std::to_string(Value); };

    Due.wMilliseconds = 0;
    AddAlarmDays(&Due, DaysOn);
    return "Alarm set for " + std::to_string(Due.wYear) + "-" + std::to_string(Due.wMonth) + "-"
         + std::to_string(Due.wDay) + " " + std::to_string(Due.wHour) + ":" + padded(Due.wMinute) + ":"
         + padded(Due.wSecond);
}

BOOL RunningUnderWine(void)
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL;
}

std::string AnswerBox(DWORD Process, HWND Except, const char *Caption, DWORD Timeout, HWND *Owner)
{
    HWND box = WaitForDialog(Process, Except, Caption, Timeout);
    std::string text;

    if (!box)
        return text;
    text = WindowText(GetDlgItem(box, 0xFFFF));
    if (Owner)
        *Owner = GetWindow(box, GW_OWNER);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    for (DWORD start = GetTickCount(); IsWindow(box) && GetTickCount() - start < 10000;)
        PumpUntilSignalled(NULL, 20);
    return text;
}

/* The hook that answers this thread's boxes, and what it was given. */
static HHOOK BoxHook;
static HWND BoxHookExcept;
static BoxSeenCall BoxHookSeen;

static LRESULT CALLBACK AnswerBoxAsItComes(int Code, WPARAM First, LPARAM Second)
{
    HWND box = (HWND)First;
    char name[32];

    if (Code == HCBT_ACTIVATE && box != BoxHookExcept && GetClassNameA(box, name, sizeof name)
        && !strcmp(name, "#32770")) {
        if (BoxHookSeen)
            BoxHookSeen(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(BoxHook, Code, First, Second);
}

void AnswerBoxesOnThisThread(HWND Except, BoxSeenCall Seen)
{
    BoxHookExcept = Except;
    BoxHookSeen = Seen;
    BoxHook = SetWindowsHookExA(WH_CBT, AnswerBoxAsItComes, NULL, GetCurrentThreadId());
}

void StopAnsweringBoxes(void)
{
    UnhookWindowsHookEx(BoxHook);
    BoxHook = NULL;
}

std::string PressAndAnswerWakeWarning(HWND Main, DWORD Process, int Id, DWORD Timeout)
{
    PostMessageA(GetDlgItem(Main, Id), BM_CLICK, 0, 0);
    return AnswerBox(Process, Main, WAKE_CAPTION, Timeout);
}

void *PatchImport(void **Slot, void *Replacement)
{
    DWORD old;
    void *held = *Slot;

    VirtualProtect(Slot, sizeof *Slot, PAGE_READWRITE, &old);
    *Slot = Replacement;
    VirtualProtect(Slot, sizeof *Slot, old, &old);
    return held;
}

void **ImportSlot(const char *Dll, const char *Function)
{
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *headers = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    DWORD rva = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;

    for (IMAGE_IMPORT_DESCRIPTOR *entry = (IMAGE_IMPORT_DESCRIPTOR *)(base + rva); rva && entry->Name; entry++) {
        if (lstrcmpiA((const char *)(base + entry->Name), Dll))
            continue;
        /* The names and the slots run side by side, one pointer wide each. */
        IMAGE_THUNK_DATA *name = (IMAGE_THUNK_DATA *)(base + entry->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slot = (IMAGE_THUNK_DATA *)(base + entry->FirstThunk);
        for (; name->u1.AddressOfData; name++, slot++) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal))
                continue;
            if (!strcmp((const char *)((IMAGE_IMPORT_BY_NAME *)(base + name->u1.AddressOfData))->Name, Function))
                return (void **)&slot->u1.Function;
        }
    }
    return NULL;
}
