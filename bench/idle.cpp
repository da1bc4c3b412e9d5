/* Cost while waiting: CPU time and thread wake-ups of the real program with
   its alarm on for an hour ahead.  Under Wine another process's CPU time is
   read from Linux's own accounts, through the Z: drive; on Windows,
   GetProcessTimes. */
#include "bench.h"
#include "../resources/resource.h"
#include "../tests/support.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

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

/* The whole CPU time of Process in ms, as Windows accounts it. */
static double WindowsCpuMs(HANDLE Process)
{
    FILETIME created, ended, kernel, user;
    ULARGE_INTEGER k, u;

    GetProcessTimes(Process, &created, &ended, &kernel, &user);
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (double)(k.QuadPart + u.QuadPart) / 10000.0;
}

bool MeasureIdle(DWORD Seconds, double *CpuMs, double *WakeUps)
{
    Running program = StartTarrowick();
    SYSTEMTIME later = LocalNowPlus(3600);
    double cpu0, switches0, cpu1, switches1;
    char status[128] = "";

    std::string target = TestFolder() + "minimal.exe";
    DWORD_PTR answer;

    /* A target that is there, so that Activate has nothing to warn of. */
    SendMessageTimeoutA(GetDlgItem(program.Main, IDC_TARGET), WM_SETTEXT, 0, (LPARAM)target.c_str(), SMTO_NORMAL,
                        10000, &answer);
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
    std::string pid = LinuxProcessTagged(program.Folder);
    if (!pid.empty() && LinuxCpu(pid, &cpu0, &switches0)) {
        Sleep(Seconds * 1000);
        LinuxCpu(pid, &cpu1, &switches1);
        *CpuMs = (cpu1 - cpu0) / 1e6;
        *WakeUps = switches1 - switches0;
    } else {
        cpu0 = WindowsCpuMs(program.Process.hProcess);
        Sleep(Seconds * 1000);
        *CpuMs = WindowsCpuMs(program.Process.hProcess) - cpu0;
        *WakeUps = -1;
    }
    Stop(&program);
    return true;
}
