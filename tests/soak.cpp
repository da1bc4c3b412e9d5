/* Soak: thousands of presses on the real window and engine in this process,
   interleaved with alarms falling due, Test pressed while a firing is under
   way, Test pressed on targets that cannot be opened, then real tarrowick.exe
   processes closed while a firing is under way.
   Prints its figures and exits non-zero on any fault.

   soak.exe          the short form, run with the tests
   soak.exe --long   the long form, ten times as many of everything */
#include "../engine/alarm.h"
#include "../engine/wake.h"
#include "../engine/fallback.h"
#include "../engine/alarmsound.h"
#include "../engine/volume.h"
#include "../window/window.h"
#include "../resources/resource.h"
#include "support.h"

#include <commctrl.h>
#include <objbase.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <string.h>

static unsigned Checks, Faults;

#define CHECK(condition, ...) do {                                    \
        Checks++;                                                     \
        if (!(condition)) {                                           \
            Faults++;                                                 \
            printf("FAULT at line %d: ", __LINE__);                   \
            printf(__VA_ARGS__);                                      \
            printf("\n");                                             \
        }                                                             \
    } while (0)

static Recorder Target;
static unsigned Openings;      /* openings seen so far */

static unsigned PressArmings;  /* Activate and Test presses, each of which arms an alarm */

static void Press(int Id)
{
    SendDlgItemMessageA(MainWindow, Id, BM_CLICK, 0, 0);
    PressArmings += Id == IDC_TEST || (Id == IDC_TOGGLE && AlarmActive);
}

static void Pick(const SYSTEMTIME &Time)
{
    SendDlgItemMessageA(MainWindow, IDC_TIME, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&Time);
}

/* Counts openings: the first within First ms, each further one within
   Quiet ms of the one before. */
static unsigned CountOpenings(DWORD First, DWORD Quiet)
{
    unsigned seen = 0;

    while (PumpUntilSignalled(Target.Opened, seen ? Quiet : First))
        seen++;
    Openings += seen;
    return seen;
}

/* Committed private memory, summed over the address space: Wine reports
   no PrivateUsage. */
static size_t PrivateBytes(void)
{
    MEMORY_BASIC_INFORMATION region;
    size_t total = 0;
    const char *at = NULL;

    while (VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        at = (const char *)region.BaseAddress + region.RegionSize;
        if (!at)
            break;
    }
    return total;
}

/* Pumps until the local clock reaches the whole second of Due. */
static void PumpUntil(SYSTEMTIME Due)
{
    SYSTEMTIME now;

    Due.wMilliseconds = 0;
    GetLocalTime(&now);
    if (FileTimeOf(Due) > FileTimeOf(now))
        PumpUntilSignalled(NULL, (DWORD)((FileTimeOf(Due) - FileTimeOf(now)) / 10000));
}

static void ActivateDeactivate(unsigned Cycles, unsigned *DueFired)
{
    for (unsigned i = 0; i < Cycles; i++) {
        bool due = i % 250 == 125;

        Pick(LocalNowPlus(due ? 1 + i % 2 : 3600));
        Press(IDC_TOGGLE);
        CHECK(AlarmActive && AlarmsArmed(), "cycle %u: Activate armed nothing", i);
        if (due) {
            CHECK(CountOpenings(6000, 1500) == 1, "cycle %u: the due alarm did not open the target once", i);
            ++*DueFired;
        }
        Press(IDC_TOGGLE);
        CHECK(!AlarmActive && !AlarmsArmed(), "cycle %u: an alarm stayed armed after Deactivate", i);
        CHECK(WindowText(GetDlgItem(MainWindow, IDC_STATUS)).empty(), "cycle %u: a status line after Deactivate", i);
    }
}

static void TestPresses(unsigned Presses)
{
    Pick(LocalNowPlus(3600));
    for (unsigned i = 0; i < Presses; i++)
        Press(IDC_TEST);
    CHECK(AlarmsArmed(), "Test armed nothing");
    unsigned seen = CountOpenings(30000, 5000);
    CHECK(seen == Presses, "%u Test presses opened the target %u times", Presses, seen);
    Press(IDC_TOGGLE);
    Press(IDC_TOGGLE);
    CHECK(!AlarmsArmed(), "an alarm stayed armed after Deactivate");
}

/* Tarrowick's own sound, counted instead of played. */
static LONG SoundStarts, SoundStops;

static BOOL WINAPI CountedPlaySound(LPCSTR Sound, HMODULE, DWORD)
{
    InterlockedIncrement(Sound ? &SoundStarts : &SoundStops);
    return TRUE;
}

/* The boxes answered as they came up. */
static unsigned BoxesAnswered;

static void CountBox(HWND)
{
    BoxesAnswered++;
}

/* Test pressed with targets that cannot be opened, empty and missing in
   turn: each press starts Tarrowick's own sound, shows why in a box, and
   stops the sound once the box is answered; nothing is opened. */
static void UnopenedPresses(unsigned Presses)
{
    std::string missing = TestFolder() + "no such song.mp3";

    SoundPlayer = CountedPlaySound;
    SoundStarts = SoundStops = 0;
    BoxesAnswered = 0;
    Pick(LocalNowPlus(3600));
    AnswerBoxesOnThisThread(MainWindow, CountBox);
    for (unsigned i = 0; i < Presses; i++) {
        SetDlgItemTextA(MainWindow, IDC_TARGET, i % 2 ? missing.c_str() : "");
        Press(IDC_TEST);
        CHECK(SoundStarts == (LONG)i + 1 && SoundStops == (LONG)i + 1,
              "press %u: the sound started %ld and stopped %ld times", i, SoundStarts, SoundStops);
    }
    StopAnsweringBoxes();
    CHECK(BoxesAnswered == Presses, "%u presses on a target that cannot be opened showed %u boxes", Presses,
          BoxesAnswered);
    CHECK(CountOpenings(500, 500) == 0, "a target that cannot be opened opened the recorder");
    SetDlgItemTextA(MainWindow, IDC_TARGET, Target.Program.c_str());
    Press(IDC_TOGGLE);
    Press(IDC_TOGGLE);
}

/* Milliseconds from the whole second of Due to now, by the local clock. */
static LONGLONG MsAfter(SYSTEMTIME Due)
{
    SYSTEMTIME now;

    Due.wMilliseconds = 0;
    GetLocalTime(&now);
    return ((LONGLONG)FileTimeOf(now) - (LONGLONG)FileTimeOf(Due)) / 10000;
}

/* A press counts as coinciding with a firing when it lands this close after the due moment. */
#define COINCIDENCE_MS 100

static unsigned Coincided;  /* presses and closes that did land within COINCIDENCE_MS */

/* Activates an alarm a second ahead and presses Id in the moment it falls
   due, counting whether the press did land then; returns the due time. */
static SYSTEMTIME PressAsItFalls(int Id)
{
    SYSTEMTIME due = LocalNowPlus(1);

    Pick(due);
    Press(IDC_TOGGLE);
    PumpUntil(due);
    LONGLONG after = MsAfter(due);
    Press(Id);
    Coincided += after >= 0 && after <= COINCIDENCE_MS;
    return due;
}

/* Test pressed at the very moment an alarm falls due.  Which of the two
   claims the alarm first is a race: the target opens once (Test first) or
   twice (the firing first), never more.  The rules decide the rest: one
   alarm armed afterwards, for the next day, and the status line says so. */
static void TestDuringFiring(unsigned Rounds, unsigned *TestFirst)
{
    for (unsigned i = 0; i < Rounds; i++) {
        SYSTEMTIME due = PressAsItFalls(IDC_TEST);
        unsigned seen = CountOpenings(8000, 1500);
        CHECK(seen == 1 || seen == 2, "round %u: Test during a firing opened the target %u times", i, seen);
        *TestFirst += seen == 1;
        CHECK(WindowText(GetDlgItem(MainWindow, IDC_STATUS)) == StatusFor(due, 1),
              "round %u: the status line reads \"%s\"", i, WindowText(GetDlgItem(MainWindow, IDC_STATUS)).c_str());
        CHECK(AlarmsArmed(), "round %u: nothing armed after Test", i);
        Press(IDC_TOGGLE);
        CHECK(!AlarmsArmed(), "round %u: an alarm stayed armed after Deactivate", i);
    }
}

/* Deactivate at the moment an alarm falls due: whether the target opens is
   a race, but afterwards nothing is armed and the status line is empty,
   whichever way it went. */
static void DeactivateDuringFiring(unsigned Rounds)
{
    for (unsigned i = 0; i < Rounds; i++) {
        PressAsItFalls(IDC_TOGGLE);
        unsigned seen = CountOpenings(1500, 1500);
        CHECK(seen <= 1, "round %u: Deactivate during a firing opened the target %u times", i, seen);
        CHECK(!AlarmsArmed(), "round %u: an alarm stayed armed after Deactivate", i);
        CHECK(WindowText(GetDlgItem(MainWindow, IDC_STATUS)).empty(),
              "round %u: the status line claims \"%s\" with nothing armed", i,
              WindowText(GetDlgItem(MainWindow, IDC_STATUS)).c_str());
    }
}

static unsigned Stranded;  /* targets that Wine left starting when their program closed */

/* Ends the targets that the closed program Process started and that are
   still running long after their opening would have been counted.  Under
   Wine a program that ends while its worker is inside CreateProcess leaves
   the new process waiting for good before its first line; it would hold the
   test runner's output, which every Wine process inherits as its standard
   error, and the runner with it until the test's time-out. */
static void EndStrandedTargets(DWORD Process)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;

    entry.dwSize = sizeof entry;
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID != Process || lstrcmpiA(entry.szExeFile, "recorder.exe"))
            continue;
        HANDLE target = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (target && WaitForSingleObject(target, 0) == WAIT_TIMEOUT) {
            TerminateProcess(target, 99);
            CHECK(WaitForSingleObject(target, 5000) == WAIT_OBJECT_0, "a stranded target did not end");
            Stranded++;
        }
        if (target)
            CloseHandle(target);
    }
    CloseHandle(snapshot);
}

/* The real program, closed at the moment its alarm falls due. */
static void CloseDuringFiring(unsigned Sessions, unsigned *Closed)
{
    for (unsigned i = 0; i < Sessions; i++) {
        PROCESS_INFORMATION program = {};
        HWND main = LaunchProgram(&program);
        /* Room for the wake warning, which each new program brings under Wine. */
        SYSTEMTIME due = LocalNowPlus(3);
        DWORD code = 99;

        CHECK(main != NULL, "session %u: no window", i);
        if (!main)
            continue;
        DWORD_PTR answer;
        SendMessageTimeoutA(GetDlgItem(main, IDC_TARGET), WM_SETTEXT, 0, (LPARAM)Target.Program.c_str(),
                            SMTO_NORMAL, 10000, &answer);
        PickerRequestIn(program.hProcess, GetDlgItem(main, IDC_TIME), DTM_SETSYSTEMTIME, GDT_VALID, &due);
        PressAndAnswerWakeWarning(main, program.dwProcessId, IDC_TOGGLE, RunningUnderWine() ? 10000 : 500);
        PumpUntil(due);
        LONGLONG after = MsAfter(due);
        PostMessageA(main, WM_CLOSE, 0, 0);
        Coincided += after >= 0 && after <= COINCIDENCE_MS;
        CHECK(WaitForSingleObject(program.hProcess, 10000) == WAIT_OBJECT_0, "session %u: did not exit", i);
        GetExitCodeProcess(program.hProcess, &code);
        CHECK(code == 0, "session %u: exit code %lu", i, code);
        unsigned seen = CountOpenings(1500, 1500);
        CHECK(seen <= 1, "session %u: closing during a firing opened the target %u times", i, seen);
        EndStrandedTargets(program.dwProcessId);
        if (WaitForSingleObject(program.hProcess, 0) != WAIT_OBJECT_0)
            TerminateProcess(program.hProcess, 99);
        CloseHandle(program.hProcess);
        CloseHandle(program.hThread);
        ++*Closed;
    }
}

int main(int argc, char **argv)
{
    bool longForm = argc > 1 && !strcmp(argv[1], "--long");
    unsigned scale = longForm ? 10 : 1, dueFired = 0, closed = 0, testFirst = 0;
    INITCOMMONCONTROLSEX classes = { sizeof classes, ICC_WIN95_CLASSES | ICC_DATE_CLASSES };
    DWORD start = GetTickCount();

    setvbuf(stdout, NULL, _IONBF, 0);
    InitCommonControlsEx(&classes);
    /* As WinMain: Core Audio and the shell want COM on the window thread. */
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    WakeWarned = 1;  /* no box to answer in this process */
    /* Nor the sound warning, whatever this system's output: taken as given
       already, so the presses read Core Audio each time and say nothing. */
    SoundOutput sound;
    ReadSoundOutput(&sound);
    SoundWarned = DecideSound(&sound);
    AppInstance = GetModuleHandleA(NULL);
    MainWindow = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
    Target = StartRecorder("soak");
    SetDlgItemTextA(MainWindow, IDC_TARGET, Target.Program.c_str());

    /* Warm up what the first arming and opening load, then take the baseline. */
    TestPresses(1);
    ReapAlarms(5000);
    unsigned handles = CountHandles(), threads = CountThreads();
    size_t memory = PrivateBytes(), crtHeap = CrtHeapBytes(), processHeap = HeapBytes(GetProcessHeap());
    PressArmings = 0;

    ActivateDeactivate(1000 * scale, &dueFired);
    TestPresses(30 * scale);
    UnopenedPresses(10 * scale);
    TestDuringFiring(3 * scale, &testFirst);
    DeactivateDuringFiring(3 * scale);
    CloseDuringFiring(3 * scale, &closed);

    CHECK(!PumpUntilSignalled(Target.Opened, 1500), "a late, unexpected opening");
    unsigned logged = (unsigned)ReadRecorderLog(Target).size();
    CHECK(logged == Openings, "the recorder logged %u openings, %u were counted", logged, Openings);
    SendMessageA(MainWindow, WM_CLOSE, 0, 0);
    CHECK(!AlarmsArmed(), "an alarm stayed armed after the window closed");
    CHECK(ReapAlarms(10000), "a worker did not end");

    unsigned handlesAfter = CountHandles(), threadsAfter = CountThreads();
    size_t memoryAfter = PrivateBytes(), crtHeapAfter = CrtHeapBytes();
    size_t processHeapAfter = HeapBytes(GetProcessHeap());
    unsigned armings = PressArmings + dueFired;
    long crtGrowth = (long)(crtHeapAfter - crtHeap), processGrowth = (long)(processHeapAfter - processHeap);
    /* Well under one record an arming: what the program holds on the heap
       it allocates from, every record, buffer and string of its own.
       Committed pages would hide a leak of a kilobyte an arming. */
    CHECK(crtGrowth <= 8 * 1024, "the C runtime's heap grew by %ld bytes over %u armings", crtGrowth, armings);
    CHECK(handlesAfter <= handles + 8, "handles grew from %u to %u", handles, handlesAfter);
    CHECK(threadsAfter <= threads + 1, "threads grew from %u to %u", threads, threadsAfter);
    CHECK(memoryAfter <= memory + 1024 * 1024, "private memory grew from %zu to %zu", memory, memoryAfter);

    printf("\nsoak (%s form), %.1f s\n", longForm ? "long" : "short", (GetTickCount() - start) / 1000.0);
    printf("  Activate/Deactivate pairs   %u (of which due and fired: %u)\n", 1000 * scale, dueFired);
    printf("  Test presses                %u, and %u during a firing (Test claimed first in %u)\n",
           30 * scale + 1, 3 * scale, testFirst);
    printf("  Test presses, nothing opened %u, each with its own sound and box\n", 10 * scale);
    printf("  Deactivates during a firing %u\n", 3 * scale);
    printf("  programs closed in a firing %u, every exit code checked (targets Wine left starting: %u)\n",
           closed, Stranded);
    printf("  presses and closes that landed within %d ms after the due moment: %u of %u\n",
           COINCIDENCE_MS, Coincided, 9 * scale);
    if (sound.Read && sound.Present)
        printf("  sound output                %s, at %d %%\n", sound.Muted ? "muted" : "on",
               (int)(sound.Level * 100 + 0.5f));
    else
        printf("  sound output                %s\n", sound.Read ? "none" : "could not be read");
    printf("  target openings             %u counted, %u logged\n", Openings, logged);
    printf("  kernel handles              %u -> %u\n", handles, handlesAfter);
    printf("  threads                     %u -> %u\n", threads, threadsAfter);
    printf("  private bytes               %zu -> %zu\n", memory, memoryAfter);
    printf("  C runtime heap, bytes in use %zu -> %zu: %+ld, %+.1f an arming over %u armings\n", crtHeap,
           crtHeapAfter, crtGrowth, (double)crtGrowth / armings, armings);
    printf("  process heap, bytes in use  %zu -> %zu: %+ld (Wine's own, not the program's)\n", processHeap,
           processHeapAfter, processGrowth);
    printf("%u passed, %u failed\n", Checks - Faults, Faults);
    StopRecorder(&Target);
    return Faults ? 1 : 0;
}
