/* Tarrowick's benchmark: prints one table of figures, each measured in this
   run beside its baseline where one exists.  Run by scripts/bench.sh, once
   for each architecture the machine runs.  Each measure is in a file of its
   own: latency.cpp, idle.cpp, memory.cpp, startup.cpp.

   bench.exe [seconds [presses]]   seconds of idle waiting to measure (default
                                   60); Test presses for the memory rows, N
                                   and 2N (default 1500) */
#include "bench.h"
#include "../tests/support.h"

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>

ULONGLONG PreciseNow(void)
{
    FILETIME now;

    GetSystemTimePreciseAsFileTime(&now);
    return ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
}

Spread SpreadOf(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    size_t n = Values.size();
    return { Values[n / 2], Values[std::min(n - 1, (size_t)(n * 0.99))], Values[n - 1] };
}

Running StartTarrowick(void)
{
    Running program = {};
    char tag[64];

    /* Under Wine the Linux process shows the Windows command line, which
       names the exe: a copy in a folder of this run's own tells it apart. */
    snprintf(tag, sizeof tag, "bench-run-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    program.Folder = tag;
    std::string folder = TestFolder() + tag, exe = folder + "\\tarrowick.exe";
    CreateDirectoryA(folder.c_str(), NULL);
    CopyFileA(ProgramPath().c_str(), exe.c_str(), FALSE);
    program.Main = LaunchProgram(&program.Process, exe.c_str());
    return program;
}

void Stop(Running *Program)
{
    std::string folder = TestFolder() + Program->Folder;

    PostMessageA(Program->Main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(Program->Process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(Program->Process.hProcess, 1);
    WaitForSingleObject(Program->Process.hProcess, 5000);
    CloseHandle(Program->Process.hProcess);
    CloseHandle(Program->Process.hThread);
    DeleteFileA((folder + "\\tarrowick.exe").c_str());
    RemoveDirectoryA(folder.c_str());
}

static const char *Verdict(bool Met)
{
    return Met ? "met" : "**missed**";
}

static void PrintLatency(unsigned Firings, const Spread &Engine, const Spread &Bare)
{
    printf("| Firing latency, median (%u timer firings) | %.2f ms | %.2f ms (bare timer and thread) | %+.2f ms | within 2 ms of the floor: %s |\n",
           Firings, Engine.Median, Bare.Median, Engine.Median - Bare.Median, Verdict(Engine.Median - Bare.Median <= 2.0));
    printf("| Firing latency, 99th percentile | %.2f ms | %.2f ms | %+.2f ms | |\n", Engine.P99, Bare.P99, Engine.P99 - Bare.P99);
    printf("| Firing latency, maximum | %.2f ms | %.2f ms | %+.2f ms | under 20 ms: %s |\n", Engine.Max, Bare.Max,
           Engine.Max - Bare.Max, Verdict(Engine.Max < 20.0));
}

static void PrintIdle(bool Armed, DWORD Seconds, double CpuMs, double WakeUps)
{
    if (!Armed) {
        printf("| CPU time and wake-ups while armed and idle | not measured: the alarm was not armed | | | **missed** |\n");
        return;
    }
    printf("| CPU time while armed and idle, %lu s | %.2f ms | | | under 10 ms: %s |\n", Seconds, CpuMs,
           Verdict(CpuMs < 10.0));
    if (WakeUps >= 0)
        printf("| Thread wake-ups while armed and idle, %lu s | %.0f | | | no polling (under one a second): %s |\n",
               Seconds, WakeUps, Verdict(WakeUps < Seconds));
    else
        printf("| Thread wake-ups while armed and idle | not measurable here | | | |\n");
}

/* One memory figure after N and 2N Test presses, against the one after the first. */
static void PrintGrowth(const char *What, unsigned Presses, double Fired, double FiredTwice, double First)
{
    printf("| %s after %u / %u Test presses | %.0f / %.0f KiB | %.0f KiB (after the first) | %.2f / %.2f | no growth from %u to %u: %s |\n",
           What, Presses, 2 * Presses, Fired, FiredTwice, First, Fired / First, FiredTwice / First, Presses,
           2 * Presses, Verdict(FiredTwice <= Fired));
}

static void PrintMemory(unsigned Presses, const Memory &Rest, const Memory &First, const Memory &Fired,
                        const Memory &FiredTwice, const Memory &Minimal)
{
    printf("| Private commit at rest | %.0f KiB | %.0f KiB (minimal dialog) | %.2f | within 10 %%: %s |\n",
           Rest.PrivateKiB, Minimal.PrivateKiB, Rest.PrivateKiB / Minimal.PrivateKiB,
           Verdict(Rest.PrivateKiB <= Minimal.PrivateKiB * 1.10));
    printf("| Resident memory at rest | %.0f KiB | %.0f KiB (minimal dialog) | %.2f | within 10 %%: %s |\n",
           Rest.WorkingSetKiB, Minimal.WorkingSetKiB, Rest.WorkingSetKiB / Minimal.WorkingSetKiB,
           Verdict(Rest.WorkingSetKiB <= Minimal.WorkingSetKiB * 1.10));
    printf("| Private commit after the first Test press, which loads the shell | %.0f KiB | %.0f KiB (at rest) | %.2f | |\n",
           First.PrivateKiB, Rest.PrivateKiB, First.PrivateKiB / Rest.PrivateKiB);
    PrintGrowth("Private commit", Presses, Fired.PrivateKiB, FiredTwice.PrivateKiB, First.PrivateKiB);
    PrintGrowth("Resident memory", Presses, Fired.WorkingSetKiB, FiredTwice.WorkingSetKiB, First.WorkingSetKiB);
}

int main(int argc, char **argv)
{
    DWORD idleSeconds = argc > 1 ? (DWORD)atoi(argv[1]) : 60;
    const unsigned firings = 200, starts = 10;
    const unsigned memoryFirings = argc > 2 ? (unsigned)atoi(argv[2]) : 1500;
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
    PrintLatency(firings, engine, bare);
    PrintIdle(armed, idleSeconds, cpuMs, wakeUps);
    PrintMemory(memoryFirings, rest, first, fired, firedTwice, minimal);
    printf("| Start-up to visible window, median of %u | %.1f ms | %.1f ms (minimal dialog) | %.2f | within 20 %%: %s |\n",
           starts, start, minimalStart, start / minimalStart, Verdict(start <= minimalStart * 1.20));
    printf("| Size of the stripped exe | %.1f KiB | %.1f KiB (minimal dialog) | %.2f | under 64 KiB: %s |\n",
           size, minimalSize, size / minimalSize, Verdict(size < 64.0));
    printf("| DLLs imported | %s | | | KnownDLLs only |\n", ImportsOf(ProgramPath()).c_str());
    return 0;
}
