/* Tarrowick's benchmark: prints one table of figures, each measured in this
   run beside its baseline where one exists.  Run by scripts/bench.sh.

   bench.exe [seconds]   seconds of idle waiting to measure (default 60) */
#include "../engine/alarm.h"
#include "../engine/wake.h"
#include "../engine/moment.h"
#include "../window/window.h"
#include "../resources/resource.h"
#include "../tests/support.h"

#include <algorithm>
#include <commctrl.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

static ULONGLONG PreciseNow(void)
{
    FILETIME now;

    GetSystemTimePreciseAsFileTime(&now);
    return ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
}

static FILETIME AsFileTime(ULONGLONG Value)
{
    FILETIME moment = { (DWORD)Value, (DWORD)(Value >> 32) };
    return moment;
}

struct Spread {
    double Median, P99, Max;
};

static Spread SpreadOf(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    size_t n = Values.size();
    return { Values[n / 2], Values[std::min(n - 1, (size_t)(n * 0.99))], Values[n - 1] };
}

/* ---- 1. Firing latency: due moment to the shell being asked to open the target. */

static HANDLE ShellAsked;          /* set when the engine asks the shell */
static ULONGLONG ShellAskedAt;     /* when, in UTC 100 ns units */

static HINSTANCE WINAPI TimedShellExecute(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT)
{
    ShellAskedAt = PreciseNow();
    SetEvent(ShellAsked);
    return (HINSTANCE)33;
}

/* The engine's call goes through this pointer; pointing it here times the
   call itself and spares a hundred programs being started. */
static void TimeShellRequests(void)
{
    ShellAsked = CreateEventA(NULL, FALSE, FALSE, NULL);
    ShellOpen = TimedShellExecute;
}

static HANDLE BareTimer;
static ULONGLONG BareWokeAt;

static DWORD WINAPI BareWaiter(LPVOID)
{
    WaitForSingleObject(BareTimer, INFINITE);
    BareWokeAt = PreciseNow();
    return 0;
}

/* The floor: a bare timer, armed like the engine's, and a bare thread waiting on it. */
static double BareLatency(void)
{
    ULONGLONG due = PreciseNow() + 300000;  /* 30 ms on */
    FILETIME moment = AsFileTime(due);
    LARGE_INTEGER when;
    HANDLE waiter;

    when.LowPart = moment.dwLowDateTime;
    when.HighPart = (LONG)moment.dwHighDateTime;
    SetWaitableTimer(BareTimer, &when, 0, NULL, NULL, TRUE);
    waiter = CreateThread(NULL, 0, BareWaiter, NULL, 0, NULL);
    WaitForSingleObject(waiter, 5000);
    CloseHandle(waiter);
    return (double)(BareWokeAt - due) / 10000.0;
}

static double EngineLatency(void)
{
    ULONGLONG due = PreciseNow() + 300000;
    FILETIME moment = AsFileTime(due);
    AlarmArming arming = {};

    ClaimAlarm(NULL, &arming.Epoch, NULL);
    arming.Clock = ClockChangesNow();
    ArmAlarm(&moment, &arming);
    /* The firing reads the window through this thread, so pump meanwhile. */
    if (!PumpUntilSignalled(ShellAsked, 5000))
        return 5000.0;
    return (double)(ShellAskedAt - due) / 10000.0;
}

static void MeasureLatency(unsigned Firings, Spread *Engine, Spread *Bare)
{
    INITCOMMONCONTROLSEX classes = { sizeof classes, ICC_WIN95_CLASSES | ICC_DATE_CLASSES };
    std::vector<double> engine, bare;
    SYSTEMTIME later = LocalNowPlus(12 * 3600);

    InitCommonControlsEx(&classes);
    WakeWarned = 1;  /* no box to answer in this process */
    AppInstance = GetModuleHandleA(NULL);
    MainWindow = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
    SendDlgItemMessageA(MainWindow, IDC_TIME, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&later);
    BareTimer = CreateWaitableTimerA(NULL, TRUE, NULL);
    TimeShellRequests();
    EngineLatency();  /* the first firing loads what firing needs */
    for (unsigned i = 0; i < Firings; i++) {
        engine.push_back(EngineLatency());
        bare.push_back(BareLatency());
    }
    CancelAlarms();
    ReapAlarms(5000);
    DestroyWindow(MainWindow);
    *Engine = SpreadOf(engine);
    *Bare = SpreadOf(bare);
}

/* ---- 2. Cost while waiting.  Under Wine another process's CPU time is read
   from Linux's own accounts, through the Z: drive; on Windows, GetProcessTimes. */

static std::string ReadWholeFile(const std::string &Path)
{
    std::string text;
    char buffer[4096];
    DWORD got;
    HANDLE file = CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);

    if (file == INVALID_HANDLE_VALUE)
        return text;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

/* The Linux process id of the process whose command line holds Tag: the one
   this benchmark started, whatever else runs on the machine. */
static std::string LinuxProcessTagged(const std::string &Tag)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    std::string found;

    if (search == INVALID_HANDLE_VALUE)
        return found;
    do {
        if (entry.cFileName[0] < '0' || entry.cFileName[0] > '9')
            continue;
        if (ReadWholeFile(std::string("Z:\\proc\\") + entry.cFileName + "\\cmdline").find(Tag) != std::string::npos)
            found = entry.cFileName;
    } while (found.empty() && FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

/* CPU time in ns and context switches (wake-ups) of all threads of a Linux process. */
static bool LinuxCpu(const std::string &Pid, double *Nanoseconds, double *Switches)
{
    std::string folder = "Z:\\proc\\" + Pid + "\\task\\";
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);

    *Nanoseconds = *Switches = 0;
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        if (entry.cFileName[0] < '0' || entry.cFileName[0] > '9')
            continue;
        *Nanoseconds += strtod(ReadWholeFile(folder + entry.cFileName + "\\schedstat").c_str(), NULL);
        std::string status = ReadWholeFile(folder + entry.cFileName + "\\status");
        for (const char *key : { "voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:" }) {
            size_t at = status.find(std::string("\n") + key);
            if (at != std::string::npos)
                *Switches += strtod(status.c_str() + at + 1 + strlen(key), NULL);
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return true;
}

struct Running {
    PROCESS_INFORMATION Process;
    HWND Main;
};

static std::string RunTag;  /* a folder name found only in the command line of the program last started */

static Running StartTarrowick(void)
{
    Running program = {};
    char tag[64];

    /* Under Wine the Linux process shows the Windows command line, which
       names the exe: a copy in a folder of this run's own tells it apart. */
    snprintf(tag, sizeof tag, "bench-run-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    RunTag = tag;
    std::string folder = TestFolder() + tag, exe = folder + "\\tarrowick.exe";
    CreateDirectoryA(folder.c_str(), NULL);
    CopyFileA(ProgramPath().c_str(), exe.c_str(), FALSE);
    program.Main = LaunchProgram(&program.Process, exe.c_str());
    return program;
}

static void Stop(Running *Program)
{
    std::string folder = TestFolder() + RunTag;

    PostMessageA(Program->Main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(Program->Process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(Program->Process.hProcess, 1);
    WaitForSingleObject(Program->Process.hProcess, 5000);
    CloseHandle(Program->Process.hProcess);
    CloseHandle(Program->Process.hThread);
    DeleteFileA((folder + "\\tarrowick.exe").c_str());
    RemoveDirectoryA(folder.c_str());
}

static void Click(HWND Main, int Id)
{
    DWORD_PTR result;

    SendMessageTimeoutA(GetDlgItem(Main, Id), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &result);
}

static bool MeasureIdle(DWORD Seconds, double *CpuMs, double *WakeUps)
{
    Running program = StartTarrowick();
    SYSTEMTIME later = LocalNowPlus(3600);
    double cpu0, switches0, cpu1, switches1;
    char status[128] = "";
    DWORD_PTR answer;

    PickerRequestIn(program.Process.hProcess, GetDlgItem(program.Main, IDC_TIME), DTM_SETSYSTEMTIME, GDT_VALID, &later);
    PressAndAnswerWakeWarning(program.Main, program.Process.dwProcessId, IDC_TOGGLE, RunningUnderWine() ? 10000 : 500);
    Sleep(1000);  /* let start-up's last work settle */
    /* An idle program with nothing armed would prove nothing. */
    SendMessageTimeoutA(GetDlgItem(program.Main, IDC_STATUS), WM_GETTEXT, sizeof status, (LPARAM)status,
                        SMTO_NORMAL, 10000, &answer);
    if (strncmp(status, "Alarm set for ", 14)) {
        Stop(&program);
        return false;
    }
    std::string pid = LinuxProcessTagged(RunTag);
    if (!pid.empty() && LinuxCpu(pid, &cpu0, &switches0)) {
        Sleep(Seconds * 1000);
        LinuxCpu(pid, &cpu1, &switches1);
        *CpuMs = (cpu1 - cpu0) / 1e6;
        *WakeUps = switches1 - switches0;
    } else {
        FILETIME created, ended, kernel0, user0, kernel1, user1;
        GetProcessTimes(program.Process.hProcess, &created, &ended, &kernel0, &user0);
        Sleep(Seconds * 1000);
        GetProcessTimes(program.Process.hProcess, &created, &ended, &kernel1, &user1);
        *CpuMs = ((double)(kernel1.dwLowDateTime - kernel0.dwLowDateTime) +
                  (double)(user1.dwLowDateTime - user0.dwLowDateTime)) / 10000.0;
        *WakeUps = -1;
    }
    Stop(&program);
    return true;
}

/* ---- 3. Memory, and 4. start-up, beside the minimal dialog program. */

struct Memory {
    double PrivateKiB, WorkingSetKiB;
};

static Memory MemoryOf(HANDLE Process)
{
    PROCESS_MEMORY_COUNTERS counters = {};

    /* PagefileUsage is the process's private commit; Wine fills it, not PrivateUsage. */
    GetProcessMemoryInfo(Process, &counters, sizeof counters);
    return { counters.PagefileUsage / 1024.0, counters.WorkingSetSize / 1024.0 };
}

static void MeasureMemory(unsigned Firings, Memory *Rest, Memory *First, Memory *Fired, Memory *FiredTwice,
                          Memory *Minimal)
{
    Running program = StartTarrowick();
    PROCESS_INFORMATION minimal = {};
    STARTUPINFOA startup = {};
    std::string minimalExe = TestFolder() + "minimal.exe";

    startup.cb = sizeof startup;
    /* Firings by Test presses with an empty target: the whole firing path,
       with a shell request that fails at once. */
    Sleep(1000);
    *Rest = MemoryOf(program.Process.hProcess);
    /* The first firing loads the shell's libraries, once. */
    PressAndAnswerWakeWarning(program.Main, program.Process.dwProcessId, IDC_TEST, RunningUnderWine() ? 10000 : 500);
    Sleep(1000);
    *First = MemoryOf(program.Process.hProcess);
    for (unsigned round = 0; round < 2; round++) {
        for (unsigned i = 1; i < Firings; i++)
            Click(program.Main, IDC_TEST);
        Sleep(1000);
        *(round ? FiredTwice : Fired) = MemoryOf(program.Process.hProcess);
    }
    Stop(&program);

    CreateProcessA(minimalExe.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &minimal);
    WaitForInputIdle(minimal.hProcess, 10000);
    Sleep(1000);
    *Minimal = MemoryOf(minimal.hProcess);
    TerminateProcess(minimal.hProcess, 0);
    CloseHandle(minimal.hProcess);
    CloseHandle(minimal.hThread);
}

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

/* Milliseconds from process creation to its first visible top-level window. */
static double StartUpMs(const std::string &Exe)
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

/* ---- 5. Size and imports of the release program. */

static std::string ImportsOf(const std::string &Exe)
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

static double FileKiB(const std::string &Path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;

    return GetFileAttributesExA(Path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow / 1024.0 : -1;
}

static const char *Verdict(bool Met)
{
    return Met ? "met" : "**missed**";
}

int main(int argc, char **argv)
{
    DWORD idleSeconds = argc > 1 ? (DWORD)atoi(argv[1]) : 60;
    const unsigned firings = 200, memoryFirings = 500, starts = 10;
    Spread engine, bare;
    double cpuMs = 0, wakeUps = -1;
    Memory rest, first, fired, firedTwice, minimal;
    std::vector<double> ours, theirs;

    MeasureLatency(firings, &engine, &bare);
    MeasureMemory(memoryFirings, &rest, &first, &fired, &firedTwice, &minimal);
    for (unsigned i = 0; i < starts; i++) {
        ours.push_back(StartUpMs(ProgramPath()));
        theirs.push_back(StartUpMs(TestFolder() + "minimal.exe"));
    }
    bool armed = MeasureIdle(idleSeconds, &cpuMs, &wakeUps);
    double start = SpreadOf(ours).Median, minimalStart = SpreadOf(theirs).Median;
    double size = FileKiB(ProgramPath()), minimalSize = FileKiB(TestFolder() + "minimal.exe");

    printf("| Measure | Tarrowick | Baseline | Ratio | Goal |\n");
    printf("|---|---|---|---|---|\n");
    printf("| Firing latency, median (%u timer firings) | %.2f ms | %.2f ms (bare timer and thread) | %+.2f ms | within 2 ms of the floor: %s |\n",
           firings, engine.Median, bare.Median, engine.Median - bare.Median, Verdict(engine.Median - bare.Median <= 2.0));
    printf("| Firing latency, 99th percentile | %.2f ms | %.2f ms | %+.2f ms | |\n", engine.P99, bare.P99, engine.P99 - bare.P99);
    printf("| Firing latency, maximum | %.2f ms | %.2f ms | %+.2f ms | under 20 ms: %s |\n", engine.Max, bare.Max,
           engine.Max - bare.Max, Verdict(engine.Max < 20.0));
    if (!armed) {
        printf("| CPU time and wake-ups while armed and idle | not measured: the alarm was not armed | | | **missed** |\n");
    } else {
        printf("| CPU time while armed and idle, %lu s | %.2f ms | | | under 10 ms: %s |\n", idleSeconds, cpuMs,
               Verdict(cpuMs < 10.0));
        if (wakeUps >= 0)
            printf("| Thread wake-ups while armed and idle, %lu s | %.0f | | | no polling (under one a second): %s |\n",
                   idleSeconds, wakeUps, Verdict(wakeUps < idleSeconds));
        else
            printf("| Thread wake-ups while armed and idle | not measurable here | | | |\n");
    }
    printf("| Private commit at rest | %.0f KiB | %.0f KiB (minimal dialog) | %.2f | within 10 %%: %s |\n",
           rest.PrivateKiB, minimal.PrivateKiB, rest.PrivateKiB / minimal.PrivateKiB,
           Verdict(rest.PrivateKiB <= minimal.PrivateKiB * 1.10));
    printf("| Resident memory at rest | %.0f KiB | %.0f KiB (minimal dialog) | %.2f | within 10 %%: %s |\n",
           rest.WorkingSetKiB, minimal.WorkingSetKiB, rest.WorkingSetKiB / minimal.WorkingSetKiB,
           Verdict(rest.WorkingSetKiB <= minimal.WorkingSetKiB * 1.10));
    printf("| Private commit after the first Test press, which loads the shell | %.0f KiB | %.0f KiB (at rest) | %.2f | |\n",
           first.PrivateKiB, rest.PrivateKiB, first.PrivateKiB / rest.PrivateKiB);
    printf("| Private commit after %u / %u Test presses | %.0f / %.0f KiB | %.0f KiB (after the first) | %.2f / %.2f | no growth from %u to %u: %s |\n",
           memoryFirings, 2 * memoryFirings, fired.PrivateKiB, firedTwice.PrivateKiB, first.PrivateKiB,
           fired.PrivateKiB / first.PrivateKiB, firedTwice.PrivateKiB / first.PrivateKiB, memoryFirings,
           2 * memoryFirings, Verdict(firedTwice.PrivateKiB <= fired.PrivateKiB));
    printf("| Resident memory after %u / %u Test presses | %.0f / %.0f KiB | %.0f KiB (after the first) | %.2f / %.2f | no growth from %u to %u: %s |\n",
           memoryFirings, 2 * memoryFirings, fired.WorkingSetKiB, firedTwice.WorkingSetKiB, first.WorkingSetKiB,
           fired.WorkingSetKiB / first.WorkingSetKiB, firedTwice.WorkingSetKiB / first.WorkingSetKiB, memoryFirings,
           2 * memoryFirings, Verdict(firedTwice.WorkingSetKiB <= fired.WorkingSetKiB));
    printf("| Start-up to visible window, median of %u | %.1f ms | %.1f ms (minimal dialog) | %.2f | within 20 %%: %s |\n",
           starts, start, minimalStart, start / minimalStart, Verdict(start <= minimalStart * 1.20));
    printf("| Size of the stripped exe | %.1f KiB | %.1f KiB (minimal dialog) | %.2f | under 64 KiB: %s |\n",
           size, minimalSize, size / minimalSize, Verdict(size < 64.0));
    printf("| DLLs imported | %s | | | KnownDLLs only |\n", ImportsOf(ProgramPath()).c_str());
    return 0;
}
