/* Memory: private commit and resident memory of the real program at rest,
   after its first Test press, and after N and 2N presses, beside a minimal
   dialog program built by the same toolchain. */
#include "bench.h"
#include "../engine/fallback.h"
#include "../resources/resource.h"
#include "../tests/support.h"

#include <psapi.h>

static Memory MemoryOf(HANDLE Process)
{
    PROCESS_MEMORY_COUNTERS counters = {};

    /* PagefileUsage is the process's private commit; Wine fills it, not PrivateUsage. */
    GetProcessMemoryInfo(Process, &counters, sizeof counters);
    return { counters.PagefileUsage / 1024.0, counters.WorkingSetSize / 1024.0 };
}

void MeasureMemory(unsigned Firings, Memory *Rest, Memory *First, Memory *Fired, Memory *FiredTwice,
                   Memory *Minimal)
{
    Running program = StartTarrowick();
    PROCESS_INFORMATION minimal = {};
    STARTUPINFOA startup = {};
    std::string minimalExe = TestFolder() + "minimal.exe";

    startup.cb = sizeof startup;
    /* Firings by Test presses with an empty target: the whole firing path,
       its own sound and the box that says why included, and no program
       started.  Each box is answered as it comes up. */
    Sleep(1000);
    *Rest = MemoryOf(program.Process.hProcess);
    /* The first firing loads the shell's libraries and the sound's, once. */
    PressAndAnswerWakeWarning(program.Main, program.Process.dwProcessId, IDC_TEST, RunningUnderWine() ? 10000 : 500);
    AnswerBox(program.Process.dwProcessId, program.Main, OPEN_FAILED_CAPTION, 10000);
    Sleep(1000);
    *First = MemoryOf(program.Process.hProcess);
    for (unsigned round = 0; round < 2; round++) {
        /* N presses in all by the first reading, 2N by the second. */
        for (unsigned i = round ? 0 : 1; i < Firings; i++) {
            PostMessageA(GetDlgItem(program.Main, IDC_TEST), BM_CLICK, 0, 0);
            AnswerBox(program.Process.dwProcessId, program.Main, OPEN_FAILED_CAPTION, 10000);
        }
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
