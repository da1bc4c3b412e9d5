/* Tarrowick's benchmark: each measure in a file of its own, the table in
   bench.cpp.  Shared here: the clock, the spread of a series, and starting
   and stopping the real program. */
#ifndef TARROWICK_BENCH_H
#define TARROWICK_BENCH_H

#include <windows.h>
#include <string>
#include <vector>

/* Now in UTC 100 ns units, to the resolution of the precise clock. */
ULONGLONG PreciseNow(void);

struct Spread {
    double Median, P99, Max;
};
Spread SpreadOf(std::vector<double> Values);

/* The real program, started from a copy in a folder of this run's own, so
   that its Linux process can be told apart from any other (idle.cpp). */
struct Running {
    PROCESS_INFORMATION Process;
    HWND Main;
    std::string Folder;  /* the copy's folder; its name is in the process's command line */
};
Running StartTarrowick(void);
void Stop(Running *Program);

/* latency.cpp: due moment to the engine's call to the shell, over Firings
   alarms, beside a bare timer and thread. */
void MeasureLatency(unsigned Firings, Spread *Engine, Spread *Bare);

/* idle.cpp: CPU time in ms and thread wake-ups (-1: not measurable) of the
   real program armed and idle for Seconds; false when it was not armed. */
bool MeasureIdle(DWORD Seconds, double *CpuMs, double *WakeUps);

/* memory.cpp: private commit and resident memory. */
struct Memory {
    double PrivateKiB, WorkingSetKiB;
};
void MeasureMemory(unsigned Firings, Memory *Rest, Memory *First, Memory *Fired, Memory *FiredTwice,
                   Memory *Minimal);

/* startup.cpp: process creation to the first visible window; the file's
   size and the DLLs it imports. */
double StartUpMs(const std::string &Exe);
double FileKiB(const std::string &Path);
std::string ImportsOf(const std::string &Exe);

#endif
