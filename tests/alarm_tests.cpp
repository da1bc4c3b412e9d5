/* The alarm engine on real timers, threads and the real main window, driven
   in this process.  The test thread is the window thread: it pumps messages
   while it waits, as the program's message loop would. */
#include "../engine/alarm.h"
#include "../engine/moment.h"
#include "../engine/wake.h"
#include "../engine/fallback.h"
#include "../engine/alarmsound.h"
#include "../engine/volume.h"
#include "../window/window.h"
#include "../resources/resource.h"
#include "support.h"

#include <algorithm>
#include <commctrl.h>
#include <objbase.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>
#include <shellapi.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

/* Tarrowick's own sound as the engine asks for it, counted: the calls
   come from the window thread and from firing workers. */
static LONG Plays, Stops;
static DWORD PlayFlags;
static BOOL PlayedWave;

static BOOL WINAPI RecordedPlaySound(LPCSTR Sound, HMODULE, DWORD Flags)
{
    if (!Sound) {
        InterlockedIncrement(&Stops);
        return TRUE;
    }
    PlayFlags = Flags;
    PlayedWave = !memcmp(Sound, "RIFF", 4) && !memcmp(Sound + 8, "WAVE", 4);
    InterlockedIncrement(&Plays);
    return TRUE;
}

/* What the boxes raised on this thread said as they came up (each is
   answered): the last one's text, every caption in order, and what was
   going on then. */
static std::string BoxText, BoxCaption;
static std::vector<std::string> BoxesSeen;
static HWND BoxOwner;
static LONG SoundAtBox;      /* plays less stops when the last box came up */
static int OtherBoxesAtBox;  /* other boxes of this process visible then */

static BOOL CALLBACK CountOtherBox(HWND Window, LPARAM Param)
{
    DWORD process = 0;
    char name[32];

    GetWindowThreadProcessId(Window, &process);
    GetClassNameA(Window, name, sizeof name);
    if (process == GetCurrentProcessId() && !strcmp(name, "#32770") && Window != MainWindow
        && IsWindowVisible(Window))
        ++*(int *)Param;
    return TRUE;
}

static void KeepBox(HWND Box)
{
    BoxCaption = WindowText(Box);
    BoxesSeen.push_back(BoxCaption);
    BoxOwner = GetWindow(Box, GW_OWNER);
    BoxText = WindowText(GetDlgItem(Box, 0xFFFF));
    SoundAtBox = Plays - Stops;
    printf("answered a box: %s: %s\n", BoxCaption.c_str(), BoxText.c_str());
    OtherBoxesAtBox = 0;
    EnumWindows(CountOtherBox, (LPARAM)&OtherBoxesAtBox);
    OtherBoxesAtBox -= IsWindowVisible(Box) ? 1 : 0;
}

class AlarmEngine : public ::testing::Test {
protected:
    Recorder Target;

    void SetUp() override
    {
        INITCOMMONCONTROLSEX classes = { sizeof classes, ICC_WIN95_CLASSES | ICC_DATE_CLASSES };

        ASSERT_TRUE(InitCommonControlsEx(&classes));
        /* Taken as shown: the wake warning has a test of its own. */
        WakeWarned = 1;
        SoundPlayer = RecordedPlaySound;
        Plays = Stops = 0;
        BoxCaption = BoxText = "";
        BoxesSeen.clear();
        AlarmActive = 0;
        AppInstance = GetModuleHandleA(NULL);
        MainWindow = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
        ASSERT_TRUE(MainWindow != NULL);
        /* A box on this thread that nobody answers would hold the test
           for good: each is answered, and what it said is kept. */
        AnswerBoxesOnThisThread(MainWindow, KeepBox);
        Target = StartRecorder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        SetDlgItemTextA(MainWindow, IDC_TARGET, Target.Program.c_str());
    }

    void TearDown() override
    {
        StopAnsweringBoxes();
        CancelAlarms();
        EXPECT_TRUE(ReapAlarms(5000));
        DestroyWindow(MainWindow);
        MainWindow = NULL;
        StopRecorder(&Target);
        AwakeMs = 10 * 60 * 1000;
        TargetAttributes = GetFileAttributesA;
    }

    void Pick(const SYSTEMTIME &Time)
    {
        ASSERT_TRUE(SendDlgItemMessageA(MainWindow, IDC_TIME, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&Time));
    }

    std::string Status() { return WindowText(GetDlgItem(MainWindow, IDC_STATUS)); }

    /* Exactly one opening within Timeout ms, and no second within a short bound after it. */
    void ExpectOneOpening(DWORD Timeout)
    {
        ASSERT_TRUE(PumpUntilSignalled(Target.Opened, Timeout)) << "the target was not opened";
        EXPECT_FALSE(PumpUntilSignalled(Target.Opened, 1500)) << "the target was opened twice";
    }
    void ExpectNoOpening(DWORD Timeout)
    {
        EXPECT_FALSE(PumpUntilSignalled(Target.Opened, Timeout)) << "the target was opened";
    }
};

static AlarmRecord *ListedAlarm(unsigned *Count)
{
    AlarmRecord *first;

    EnterCriticalSection(&AlarmLock);
    first = AlarmListHead;
    *Count = 0;
    for (AlarmRecord *record = AlarmListHead; record; record = record->NextAlarm)
        ++*Count;
    LeaveCriticalSection(&AlarmLock);
    return first;
}

static HANDLE CopyHandle(HANDLE Handle)
{
    HANDLE copy = NULL;

    DuplicateHandle(GetCurrentProcess(), Handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return copy;
}

/* Arms an alarm at Due in place of all others, as the user's commands do. */
static AlarmRecord *ArmAt(const FILETIME &Due)
{
    AlarmArming arming = {};

    ClaimAlarm(NULL, &arming.Epoch, NULL);
    arming.Clock = ClockChangesNow();
    return ArmAlarm(&Due, &arming);
}

static FILETIME UtcNowPlus(int Seconds)
{
    FILETIME now;
    ULARGE_INTEGER value;

    GetSystemTimeAsFileTime(&now);
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    value.QuadPart += (LONGLONG)Seconds * 10000000;
    now.dwLowDateTime = value.LowPart;
    now.dwHighDateTime = value.HighPart;
    return now;
}

TEST_F(AlarmEngine, FiresOnceAtItsTimeAndReArmsForTomorrow)
{
    /* The picker's date is days old, as after a window left open for days. */
    SYSTEMTIME due = LocalNowPlus(3), picked = due;
    SYSTEMTIME tomorrow = due;
    unsigned count;

    due.wMilliseconds = 0;
    picked.wDay = 1;
    picked.wMonth = due.wMonth == 1 ? 12 : due.wMonth - 1;
    picked.wYear = due.wMonth == 1 ? due.wYear - 1 : due.wYear;
    Pick(picked);
    tomorrow.wMilliseconds = 0;
    AddAlarmDays(&tomorrow, 1);

    SetAlarm();
    EXPECT_EQ(StatusFor(due, 0), Status());
    AlarmRecord *first = ListedAlarm(&count);
    EXPECT_EQ(1u, count);

    ExpectOneOpening(10000);
    ULONGLONG opened = 0;
    std::vector<std::string> log = ReadRecorderLog(Target);
    ASSERT_EQ(1u, log.size());
    sscanf(log[0].c_str(), "%llu", &opened);
    /* Never early; the system clock is UTC, so compare in UTC. */
    FILETIME dueUtc;
    SYSTEMTIME utc;
    TzSpecificLocalTimeToSystemTime(NULL, &due, &utc);
    SystemTimeToFileTime(&utc, &dueUtc);
    ULONGLONG dueMs = (((ULONGLONG)dueUtc.dwHighDateTime << 32) | dueUtc.dwLowDateTime) / 10000;
    EXPECT_GE(opened + 50, dueMs) << "opened early";
    EXPECT_LT(opened, dueMs + 1000) << "opened " << (LONGLONG)(opened - dueMs) << " ms late";

    EXPECT_TRUE(PumpUntilText(MainWindow, IDC_STATUS, StatusFor(tomorrow, 0), 2000)) << Status();
    AlarmRecord *next = ListedAlarm(&count);
    EXPECT_EQ(1u, count);
    EXPECT_NE(first, next);
    /* The firing is remembered, so that its date never rings again; a Test
       is no firing, and switching the alarm on anew forgets it. */
    FILETIME fired;
    ASSERT_TRUE(LastFiring(&fired));
    EXPECT_EQ(dueMs, FileTimeValue(&fired) / 10000);
    RunAlarm(NULL);
    ExpectOneOpening(10000);
    ASSERT_TRUE(LastFiring(&fired));
    EXPECT_EQ(dueMs, FileTimeValue(&fired) / 10000);
    AlarmActive = 0;
    RunCommand(IDC_TOGGLE);
    EXPECT_FALSE(LastFiring(&fired)) << "Activate did not forget the last firing";
}

/* A box of this process's, raised on a worker thread, answered from here. */
static std::string AnswerBoxOf(const char *Caption, DWORD Timeout, HWND *Owner = NULL)
{
    return AnswerBox(GetCurrentProcessId(), MainWindow, Caption, Timeout, Owner);
}

TEST_F(AlarmEngine, LateFiringRingsUpToTenMinutesAndIsReportedAfter)
{
    SYSTEMTIME picked = LocalNowPlus(3600);
    HWND owner = NULL;
    unsigned count;

    /* Nine minutes late, as after a slow resume from hibernation: it rings. */
    Pick(picked);
    ASSERT_TRUE(ArmAt(UtcNowPlus(-9 * 60)) != NULL);
    ExpectOneOpening(5000);
    EXPECT_EQ("", AnswerBoxOf(MISSED_CAPTION, 0));

    /* Eleven minutes late: slept through.  Not opened; reported; re-armed. */
    SetDlgItemTextA(MainWindow, IDC_STATUS, "");
    SYSTEMTIME due = LocalNowPlus(-11 * 60);
    ASSERT_TRUE(ArmAt(UtcNowPlus(-11 * 60)) != NULL);
    std::string text = AnswerBoxOf(MISSED_CAPTION, 5000, &owner);
    EXPECT_EQ(MainWindow, owner);
    char expected[64];
    snprintf(expected, sizeof expected, "The alarm set for %u-%u-%u %u:%2u:", due.wYear, due.wMonth, due.wDay,
             due.wHour, due.wMinute);
    EXPECT_EQ(0u, text.find(expected)) << text;
    EXPECT_NE(std::string::npos, text.find("Wake timers may be switched off")) << text;
    ExpectNoOpening(1500);
    EXPECT_TRUE(PumpUntilText(MainWindow, IDC_STATUS, StatusFor(picked, 0), 2000)) << Status();
    ListedAlarm(&count);
    EXPECT_EQ(1u, count) << "the next occurrence must be armed";
}

static ShellExecuteCall RealShellOpen;
static int ArmedWhenOpened = -1;  /* whether an alarm was armed as the target opened */

static HINSTANCE WINAPI OpenNoting(HWND Owner, LPCSTR Verb, LPCSTR File, LPCSTR Parameters, LPCSTR Folder, INT Show)
{
    ArmedWhenOpened = AlarmsArmed();
    return RealShellOpen(Owner, Verb, File, Parameters, Folder, Show);
}

TEST_F(AlarmEngine, DueInThePastFiresAtOnceOpeningBeforeArmingTheNext)
{
    FILETIME past = UtcNowPlus(-3);

    Pick(LocalNowPlus(3600));
    ASSERT_TRUE(ArmAt(past) != NULL);
    RealShellOpen = ShellOpen ? ShellOpen : ShellExecuteA;  /* not yet looked up when this runs first */
    ShellOpen = OpenNoting;
    ExpectOneOpening(5000);
    ShellOpen = RealShellOpen;
    /* The song first: the next day's arming would hold it back. */
    EXPECT_EQ(0, ArmedWhenOpened) << "the next alarm was armed before the target opened";
    EXPECT_TRUE(AlarmsArmed());
}

TEST_F(AlarmEngine, CancelStopsTheWorkerAndItsTimer)
{
    FILETIME soon = UtcNowPlus(2);
    AlarmRecord *record = ArmAt(soon);
    unsigned count;

    ASSERT_TRUE(record != NULL);
    HANDLE worker = CopyHandle(record->Worker), timer = CopyHandle(record->Timer);
    CancelAlarms();
    EXPECT_EQ(NULL, ListedAlarm(&count));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker, 2000)) << "the worker did not end";
    /* A cancelled timer never signals, so it cannot wake the computer either. */
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(timer, 3500));
    ExpectNoOpening(200);
    EXPECT_EQ(std::string(), Status());
    CloseHandle(worker);
    CloseHandle(timer);
}

TEST_F(AlarmEngine, CancelOnEmptyListDoesNothing)
{
    unsigned count;

    CancelAlarms();
    CancelAlarms();
    EXPECT_EQ(NULL, ListedAlarm(&count));
    EXPECT_FALSE(AlarmsArmed());
}

/* A second record armed by hand beside the first, as two armings without a
   cancel in between would leave them. */
static AlarmRecord *AppendSecondAlarm(const FILETIME &Due)
{
    AlarmRecord *record = (AlarmRecord *)calloc(1, sizeof *record);
    LARGE_INTEGER due;

    record->StopEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    record->ReadyEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    record->Timer = CreateWaitableTimerA(NULL, TRUE, NULL);
    record->Due = Due;
    record->Worker = CreateThread(NULL, 0, AlarmWorker, record, 0, NULL);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(record->ReadyEvent, 1000));
    due.LowPart = Due.dwLowDateTime;
    due.HighPart = (LONG)Due.dwHighDateTime;
    EnterCriticalSection(&AlarmLock);
    SetWaitableTimer(record->Timer, &due, 0, NULL, NULL, TRUE);
    AppendAlarm(record);
    LeaveCriticalSection(&AlarmLock);
    return record;
}

TEST_F(AlarmEngine, TwoAlarmsDueTogetherOpenTheTargetOnce)
{
    FILETIME due = UtcNowPlus(2);
    unsigned count;

    Pick(LocalNowPlus(3600));
    ASSERT_TRUE(ArmAt(due) != NULL);
    AppendSecondAlarm(due);
    ListedAlarm(&count);
    ASSERT_EQ(2u, count);

    ExpectOneOpening(8000);
    ExpectNoOpening(1000);
    ListedAlarm(&count);
    EXPECT_EQ(1u, count) << "the firing must leave exactly one alarm";
}

TEST_F(AlarmEngine, FiringCancelledFirstNeitherOpensNorArms)
{
    FILETIME later = UtcNowPlus(3600);
    AlarmRecord *record = ArmAt(later);
    unsigned count;

    ASSERT_TRUE(record != NULL);
    SetDlgItemTextA(MainWindow, IDC_STATUS, "before");
    CancelAlarms();
    /* As if its timer had fallen due just as Deactivate cancelled it.  Only
       the record's address is used, so this is safe even once it is freed. */
    RunAlarm(record);
    EXPECT_EQ(NULL, ListedAlarm(&count));
    EXPECT_EQ("before", Status());
    ExpectNoOpening(1500);
}

TEST_F(AlarmEngine, CancelBetweenClaimAndArmingArmsNothing)
{
    FILETIME later = UtcNowPlus(3600);
    AlarmRecord *record = ArmAt(later);
    AlarmArming arming = {};

    /* A firing claims its alarm, opens the target, and then Deactivate
       cancels before the next day's alarm is armed. */
    ASSERT_TRUE(ClaimAlarm(record, &arming.Epoch, NULL));
    arming.Clock = ClockChangesNow();
    CancelAlarms();
    EXPECT_EQ(NULL, ArmAlarm(&later, &arming));
    EXPECT_FALSE(arming.Current);
    EXPECT_FALSE(AlarmsArmed());
    /* A change of clock in between: the moment is to be worked out again. */
    ASSERT_TRUE(ClaimAlarm(NULL, &arming.Epoch, NULL));
    CountClockChange();
    EXPECT_EQ(NULL, ArmAlarm(&later, &arming));
    EXPECT_TRUE(arming.Current);
    EXPECT_TRUE(arming.ClockMoved);
    EXPECT_FALSE(AlarmsArmed());
    /* With neither in between the same arming goes ahead. */
    arming.Clock = ClockChangesNow();
    EXPECT_TRUE(ArmAlarm(&later, &arming) != NULL);
    EXPECT_TRUE(arming.Current);
    EXPECT_FALSE(arming.ClockMoved);
}

TEST_F(AlarmEngine, TestPressOpensOnceAndArmsTheNextOccurrence)
{
    SYSTEMTIME picked = LocalNowPlus(-60);
    SYSTEMTIME tomorrow = picked;
    unsigned count;

    tomorrow.wMilliseconds = 0;
    AddAlarmDays(&tomorrow, 1);
    Pick(picked);
    RunAlarm(NULL);
    RunAlarm(NULL);
    EXPECT_EQ(StatusFor(tomorrow, 0), Status());
    ListedAlarm(&count);
    EXPECT_EQ(1u, count) << "each test press replaces the alarm";
    ASSERT_TRUE(PumpUntilSignalled(Target.Opened, 10000));
    ASSERT_TRUE(PumpUntilSignalled(Target.Opened, 10000));
    ExpectNoOpening(1000);
}

TEST_F(AlarmEngine, TimeChangeReArmsWithoutOpening)
{
    SYSTEMTIME picked = LocalNowPlus(3600);
    unsigned count;

    picked.wMilliseconds = 0;
    Pick(picked);
    SendMessageA(MainWindow, WM_TIMECHANGE, 0, 0);
    EXPECT_FALSE(AlarmsArmed()) << "nothing armed, nothing to follow";

    SetAlarm();
    AlarmRecord *before = ListedAlarm(&count);
    SetDlgItemTextA(MainWindow, IDC_STATUS, "");
    SendMessageA(MainWindow, WM_TIMECHANGE, 0, 0);
    AlarmRecord *after = ListedAlarm(&count);
    EXPECT_EQ(1u, count);
    EXPECT_EQ(before, after) << "the armed alarm is moved, not replaced";
    EXPECT_EQ(StatusFor(picked, 0), Status());
    ExpectNoOpening(1000);
}

TEST_F(AlarmEngine, WindowWithoutPickerFailsToArm)
{
    FILETIME later = UtcNowPlus(3600);

    ASSERT_TRUE(ArmAt(later) != NULL);
    DestroyWindow(GetDlgItem(MainWindow, IDC_TIME));
    SetAlarm();

    EXPECT_EQ("Error", BoxCaption);
    EXPECT_EQ("I was unable to set the alarm.", BoxText);
    EXPECT_EQ("I was unable to set the alarm.", Status());
    EXPECT_FALSE(AlarmsArmed());
}

/* A shell that opens everything at once, starting nothing. */
static HINSTANCE WINAPI OpenedAtOnce(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT)
{
    return (HINSTANCE)42;
}

TEST_F(AlarmEngine, ThousandsOfArmingsLeaveNoHandlesThreadsOrHeapBlocks)
{
    FILETIME later = UtcNowPlus(3600), past = UtcNowPlus(-10);
    ShellExecuteCall shell = ShellOpen;
    unsigned count;

    ShellOpen = OpenedAtOnce;
    Pick(LocalNowPlus(7200));
    /* Warm up whatever the first arming and firing load. */
    ASSERT_TRUE(ArmAt(later) != NULL);
    CancelAlarms();
    ASSERT_TRUE(ReapAlarms(5000));
    unsigned handles = CountHandles(), threads = CountThreads();
    size_t heap = CrtHeapBytes();

    for (int i = 0; i < 3000; i++) {
        ASSERT_TRUE(ArmAt(later) != NULL);
        if (i % 2)
            CancelAlarms();
    }
    /* Firings: each re-arms through the picker, which needs this thread to pump. */
    for (int i = 0; i < 300; i++) {
        AlarmRecord *record = ArmAt(past);
        ASSERT_TRUE(record != NULL);
        HANDLE worker = CopyHandle(record->Worker);
        ASSERT_TRUE(PumpUntilSignalled(worker, 5000)) << "firing " << i << " did not end";
        CloseHandle(worker);
        ASSERT_NE(record, ListedAlarm(&count)) << "firing " << i << " did not re-arm";
        ASSERT_EQ(1u, count);
    }
    CancelAlarms();
    ASSERT_TRUE(ReapAlarms(10000));
    ShellOpen = shell;
    EXPECT_EQ(0, Plays) << "an opened target rang Tarrowick's own sound";
    long grown = (long)(CrtHeapBytes() - heap);
    printf("handles %u -> %u, threads %u -> %u, C runtime heap %+ld bytes over 3300 armings\n", handles,
           CountHandles(), threads, CountThreads(), grown);
    EXPECT_LE(CountHandles(), handles + 4);
    EXPECT_LE(CountThreads(), threads + 1);
    /* Every record freed, and nothing else kept: well under a byte an arming. */
    EXPECT_LE(grown, 1024) << "the C runtime's heap grew by " << grown << " bytes";
}

/* Calls of the engine's that go through an import slot, recorded. */
static BOOL ResumeSeen = -1;            /* the resume flag of the last SetWaitableTimer */
static std::vector<EXECUTION_STATE> AwakeCalls;  /* SetThreadExecutionState on this thread */
static DWORD WindowThread;

static void *RealSetWaitableTimer, *RealExecutionState;  /* what the slots held */

static BOOL WINAPI RecordedSetWaitableTimer(HANDLE Timer, const LARGE_INTEGER *Due, LONG Period,
                                            PTIMERAPCROUTINE Routine, LPVOID Argument, BOOL Resume)
{
    ResumeSeen = Resume;
    return ((decltype(&SetWaitableTimer))RealSetWaitableTimer)(Timer, Due, Period, Routine, Argument, Resume);
}

static EXECUTION_STATE WINAPI RecordedExecutionState(EXECUTION_STATE Flags)
{
    EXPECT_EQ(WindowThread, GetCurrentThreadId()) << "the request belongs to the window thread";
    AwakeCalls.push_back(Flags);
    return ((decltype(&SetThreadExecutionState))RealExecutionState)(Flags);
}

static void **SetWaitableTimerSlot = ImportSlot("kernel32.dll", "SetWaitableTimer");
static void **ExecutionStateSlot = ImportSlot("kernel32.dll", "SetThreadExecutionState");

TEST_F(AlarmEngine, ArmsWithTheResumeFlagAndWarnsOncePerRunWhenItCannotWake)
{
    SYSTEMTIME picked = LocalNowPlus(3600);

    Pick(picked);
    ASSERT_TRUE(SetWaitableTimerSlot != NULL);
    RealSetWaitableTimer = PatchImport(SetWaitableTimerSlot, (void *)RecordedSetWaitableTimer);
    WakeWarned = 0;
    BoxCaption = BoxText = "";
    RunAlarm(NULL);
    PatchImport(SetWaitableTimerSlot, RealSetWaitableTimer);
    EXPECT_EQ(TRUE, ResumeSeen) << "the timer must ask to wake the computer";
    EXPECT_EQ(StatusFor(picked, 0), Status());
    EXPECT_TRUE(AlarmsArmed()) << "the alarm stays armed";
    if (RunningUnderWine()) {
        /* Wine ignores the resume flag: error 722, which the box names. */
        EXPECT_EQ(WAKE_CAPTION, BoxCaption);
        EXPECT_EQ(MainWindow, BoxOwner);
        EXPECT_EQ(0u, BoxText.find("This computer will not wake up from sleep for the alarm: the system "
                                   "does not let timers wake it (system error 722).")) << BoxText;
        EXPECT_NE(std::string::npos, BoxText.find("leave the computer on, or allow wake timers")) << BoxText;
    }
    /* Once per run: the next arming says nothing. */
    BoxCaption = "";
    RunAlarm(NULL);
    EXPECT_EQ("", BoxCaption);
    ASSERT_TRUE(PumpUntilSignalled(Target.Opened, 10000));
    ASSERT_TRUE(PumpUntilSignalled(Target.Opened, 10000));
}

TEST_F(AlarmEngine, RingingKeepsTheComputerAwakeOnTheWindowThreadUntilReleased)
{
    const EXECUTION_STATE hold = ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED;

    Pick(LocalNowPlus(3600));
    WindowThread = GetCurrentThreadId();
    AwakeCalls.clear();
    ASSERT_TRUE(ExecutionStateSlot != NULL);
    RealExecutionState = PatchImport(ExecutionStateSlot, (void *)RecordedExecutionState);
    /* A Test press rings but is no timer firing: it holds nothing. */
    RunAlarm(NULL);
    ASSERT_TRUE(PumpUntilSignalled(Target.Opened, 10000));
    PumpUntilSignalled(NULL, 200);
    EXPECT_TRUE(AwakeCalls.empty());
    /* A timer firing asks the window thread to hold the system and display on... */
    ASSERT_TRUE(ArmAt(UtcNowPlus(-1)) != NULL);
    ExpectOneOpening(5000);
    ASSERT_EQ(1u, AwakeCalls.size());
    EXPECT_EQ(hold, AwakeCalls[0]);
    /* ...until its window timer runs out, */
    SendMessageA(MainWindow, WM_TIMER, IDT_AWAKE, 0);
    ASSERT_EQ(2u, AwakeCalls.size());
    EXPECT_EQ((EXECUTION_STATE)ES_CONTINUOUS, AwakeCalls[1]);
    /* or Deactivate or close comes first. */
    ASSERT_TRUE(ArmAt(UtcNowPlus(-1)) != NULL);
    ExpectOneOpening(5000);
    AlarmActive = 1;
    RunCommand(IDC_TOGGLE);
    ASSERT_EQ(4u, AwakeCalls.size());
    EXPECT_EQ(hold, AwakeCalls[2]);
    EXPECT_EQ((EXECUTION_STATE)ES_CONTINUOUS, AwakeCalls[3]);
    PatchImport(ExecutionStateSlot, RealExecutionState);
}

/* The window thread's answer to one request of a firing worker, with an
   action of the test's run just before it: a forced interleaving. */
static WNDPROC Original;
static UINT Intercepted;
static void (*Meanwhile)(void);
static unsigned Interceptions;

static LRESULT CALLBACK Interleave(HWND Window, UINT Message, WPARAM First, LPARAM Second)
{
    if (Message == Intercepted && InSendMessage()) {
        if (!Interceptions++ && Meanwhile)
            Meanwhile();
    }
    return CallWindowProcA(Original, Window, Message, First, Second);
}

static void InterleaveAt(HWND Window, UINT Message, void (*Action)(void))
{
    Intercepted = Message;
    Meanwhile = Action;
    Interceptions = 0;
    Original = (WNDPROC)SetWindowLongPtrA(Window, GWLP_WNDPROC, (LONG_PTR)Interleave);
}

static void ClockChanged(void) { SendMessageA(MainWindow, WM_TIMECHANGE, 0, 0); }
static void Deactivate(void) { AlarmActive = 1; RunCommand(IDC_TOGGLE); }

TEST_F(AlarmEngine, TimeChangeInTheFiringsOwnMomentLetsItRingOnce)
{
    Pick(LocalNowPlus(3600));
    /* The worker is awake but has not claimed its alarm: it is reading the target. */
    InterleaveAt(GetDlgItem(MainWindow, IDC_TARGET), WM_GETTEXT, ClockChanged);
    ASSERT_TRUE(ArmAt(UtcNowPlus(-1)) != NULL);
    ExpectOneOpening(5000);
    EXPECT_EQ(1u, Interceptions) << "the change did not come in the firing's moment";
    EXPECT_TRUE(AlarmsArmed());
}

TEST_F(AlarmEngine, TimeChangeWhileAFiringReArmsWorksTheMomentOutAgain)
{
    SYSTEMTIME picked = LocalNowPlus(3600);

    Pick(picked);
    /* Claimed and opened; the next day's moment is being worked out. */
    InterleaveAt(GetDlgItem(MainWindow, IDC_TIME), DTM_GETSYSTEMTIME, ClockChanged);
    ASSERT_TRUE(ArmAt(UtcNowPlus(-1)) != NULL);
    ExpectOneOpening(5000);
    EXPECT_TRUE(PumpUntilText(MainWindow, IDC_STATUS, StatusFor(picked, 0), 2000)) << Status();
    EXPECT_EQ(2u, Interceptions) << "the moment was not worked out again under the new clock";
    EXPECT_TRUE(AlarmsArmed());
}

TEST_F(AlarmEngine, DeactivateJustAfterAFiringArmsLeavesNoStatus)
{
    Pick(LocalNowPlus(3600));
    SetDlgItemTextA(MainWindow, IDC_STATUS, "");
    /* The next day is armed; its status text is on its way to the window. */
    InterleaveAt(MainWindow, WM_ALARMSTATUS, Deactivate);
    ASSERT_TRUE(ArmAt(UtcNowPlus(-1)) != NULL);
    ExpectOneOpening(5000);
    EXPECT_EQ(1u, Interceptions) << "the Deactivate did not come in the firing's moment";
    EXPECT_FALSE(AlarmsArmed());
    EXPECT_EQ("", Status()) << "the status line claims an alarm that is not armed";
}

/* Pumps this thread's messages until Condition holds or Timeout ms pass. */
template <typename Check> static bool PumpUntilTrue(Check Condition, DWORD Timeout)
{
    for (DWORD start = GetTickCount(); !Condition(); PumpUntilSignalled(NULL, 20))
        if (GetTickCount() - start > Timeout)
            return false;
    return true;
}

/* A firing whose target cannot be opened: its box, up on the worker's
   thread, found within Timeout ms; the sound must be playing then. */
static HWND FailedFiringBox(DWORD Timeout)
{
    if (!ArmAt(UtcNowPlus(-1)))
        return NULL;
    HWND box = WaitForDialog(GetCurrentProcessId(), MainWindow, OPEN_FAILED_CAPTION, Timeout);
    EXPECT_EQ(1, Plays - Stops) << "no sound of its own while the box is up";
    return box;
}

TEST_F(AlarmEngine, UnopenableTargetRingsItsOwnSoundUntilTheBoxIsAnswered)
{
    std::string unknown = TestFolder() + "morning.tarrowick-unknown";
    const struct { const char *What; std::string Target; const char *Reason; } cases[] = {
        { "missing file", TestFolder() + "no such song.mp3", "There is no such file." },
        { "empty", "", "The File / URL field is empty." },
        { "unknown kind", unknown, "No program is set up to open this kind of file." },
    };
    SYSTEMTIME picked = LocalNowPlus(3600);
    HWND owner = NULL;

    CloseHandle(CreateFileA(unknown.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    Pick(picked);
    for (const auto &c : cases) {
        SetDlgItemTextA(MainWindow, IDC_TARGET, c.Target.c_str());
        /* A Test press: the box comes up on this thread, after the arming. */
        Plays = Stops = 0;
        BoxCaption = "";
        RunAlarm(NULL);
        EXPECT_EQ(OPEN_FAILED_CAPTION, BoxCaption) << c.What;
        EXPECT_EQ(MainWindow, BoxOwner) << c.What;
        EXPECT_NE(std::string::npos, BoxText.find(c.Reason)) << c.What << ": " << BoxText;
        EXPECT_NE(std::string::npos, BoxText.find(c.Target.empty() ? "(nothing)" : c.Target)) << BoxText;
        EXPECT_EQ(1, SoundAtBox) << c.What << ": the sound did not ring as the box came up";
        EXPECT_EQ(1, Stops) << c.What << ": answering the box did not stop the sound";
        EXPECT_EQ((DWORD)(SND_MEMORY | SND_ASYNC | SND_LOOP), PlayFlags) << c.What;
        EXPECT_TRUE(PlayedWave) << c.What;
        EXPECT_EQ(StatusFor(picked, 0), Status()) << c.What << ": the alarm was not set again";
        /* A firing: the box comes up on the worker's thread. */
        Plays = Stops = 0;
        ASSERT_TRUE(FailedFiringBox(5000) != NULL) << c.What;
        std::string text = AnswerBoxOf(OPEN_FAILED_CAPTION, 1000, &owner);
        EXPECT_EQ(MainWindow, owner);
        EXPECT_NE(std::string::npos, text.find(c.Reason)) << c.What << ": " << text;
        EXPECT_TRUE(PumpUntilTrue([] { return Stops == 1; }, 5000)) << c.What << ": the sound rings on";
        EXPECT_TRUE(AlarmsArmed()) << c.What;
    }
    /* A target that opens rings nothing of Tarrowick's own and shows no box. */
    SetDlgItemTextA(MainWindow, IDC_TARGET, Target.Program.c_str());
    Plays = 0;
    BoxCaption = "";
    RunAlarm(NULL);
    ExpectOneOpening(10000);
    ASSERT_TRUE(ArmAt(UtcNowPlus(-1)) != NULL);
    ExpectOneOpening(5000);
    EXPECT_EQ(0, Plays);
    EXPECT_EQ("", BoxCaption);
    EXPECT_EQ(NULL, WaitForDialog(GetCurrentProcessId(), MainWindow, NULL, 0));
    DeleteFileA(unknown.c_str());
}

TEST_F(AlarmEngine, OwnSoundStopsByItselfOnDeactivateAndOnClose)
{
    Pick(LocalNowPlus(3600));
    SetDlgItemTextA(MainWindow, IDC_TARGET, "");
    /* By itself, after the time the computer is kept awake for, shortened here. */
    AwakeMs = 300;
    HWND box = FailedFiringBox(5000);
    ASSERT_TRUE(box != NULL);
    EXPECT_TRUE(PumpUntilTrue([] { return Stops == 1; }, 3000)) << "the sound did not stop by itself";
    EXPECT_TRUE(IsWindow(box)) << "the box goes on saying why";
    AnswerBoxOf(OPEN_FAILED_CAPTION, 1000);
    PumpUntilTrue([] { return Stops == 2; }, 5000);
    /* On Deactivate, with the box still up. */
    AwakeMs = 10 * 60 * 1000;
    Plays = Stops = 0;
    ASSERT_TRUE(FailedFiringBox(5000) != NULL);
    AlarmActive = 1;
    RunCommand(IDC_TOGGLE);
    EXPECT_EQ(1, Stops) << "Deactivate did not stop the sound";
    AnswerBoxOf(OPEN_FAILED_CAPTION, 1000);
    PumpUntilTrue([] { return Stops == 2; }, 5000);
    /* On closing the window. */
    Plays = Stops = 0;
    box = FailedFiringBox(5000);
    ASSERT_TRUE(box != NULL);
    SendMessageA(MainWindow, WM_CLOSE, 0, 0);
    EXPECT_LE(1, Stops) << "closing did not stop the sound";
    if (IsWindow(box))
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(PumpUntilTrue([&] { return !IsWindow(box); }, 5000));
}

/* A look-up of the target's path that hangs, as on a network share that
   does not answer, until LookUpRelease is set. */
static HANDLE LookUpRelease;
static LONG LookUps;

static DWORD WINAPI StuckAttributes(LPCSTR Path)
{
    if (!strstr(Path, "nohost"))
        return GetFileAttributesA(Path);
    InterlockedIncrement(&LookUps);
    WaitForSingleObject(LookUpRelease, 30000);
    SetLastError(ERROR_BAD_NETPATH);
    return INVALID_FILE_ATTRIBUTES;
}

static bool BoxSeen(const char *Caption)
{
    return std::find(BoxesSeen.begin(), BoxesSeen.end(), Caption) != BoxesSeen.end();
}

TEST_F(AlarmEngine, ActivateWarnsOfAMissingTargetWithoutWaitingForItsLookUp)
{
    const char *share = "\\\\nohost\\music\\wake up.mp3";
    SYSTEMTIME picked = LocalNowPlus(3600);

    LookUpRelease = CreateEventA(NULL, TRUE, FALSE, NULL);
    TargetAttributes = StuckAttributes;
    LookUps = 0;
    WakeWarned = 0;  /* under Wine the wake warning is due too: the two come one after the other */
    Pick(picked);
    SetDlgItemTextA(MainWindow, IDC_TARGET, share);
    DWORD start = GetTickCount();
    RunCommand(IDC_TOGGLE);
    EXPECT_LT(GetTickCount() - start, 3000u) << "Activate waited for the look-up";
    EXPECT_TRUE(PumpUntilTrue([] { return LookUps == 1; }, 2000)) << "no look-up";
    EXPECT_EQ(StatusFor(picked, 0), Status());
    EXPECT_TRUE(AlarmsArmed());
    PumpUntilSignalled(NULL, 300);
    EXPECT_FALSE(BoxSeen(TARGET_CAPTION)) << "a warning before the look-up ended";
    /* The look-up ends while another box of the window is up, which the
       main window's being disabled shows: the warning waits for it. */
    EnableWindow(MainWindow, FALSE);
    SetEvent(LookUpRelease);
    PumpUntilSignalled(NULL, 800);
    EXPECT_FALSE(BoxSeen(TARGET_CAPTION)) << "the warning came on top of another box";
    EnableWindow(MainWindow, TRUE);
    EXPECT_TRUE(PumpUntilTrue([] { return BoxSeen(TARGET_CAPTION); }, 3000)) << "no warning";
    EXPECT_NE(std::string::npos, BoxText.find(std::string("does not exist:\n\n") + share)) << BoxText;
    EXPECT_EQ(MainWindow, BoxOwner);
    EXPECT_EQ(0, OtherBoxesAtBox);
    if (RunningUnderWine()) {
        ASSERT_EQ(2u, BoxesSeen.size());
        EXPECT_EQ(WAKE_CAPTION, BoxesSeen[0]);
    }
    EXPECT_TRUE(AlarmsArmed()) << "the alarm is still set";
    EXPECT_EQ("Deactivate Alarm", WindowText(GetDlgItem(MainWindow, IDC_TOGGLE)));

    /* An answer that comes after Deactivate is dropped, also when the
       alarm is on again by then, for a target that is there. */
    BoxesSeen.clear();
    RunCommand(IDC_TOGGLE);
    ResetEvent(LookUpRelease);
    RunCommand(IDC_TOGGLE);
    EXPECT_TRUE(PumpUntilTrue([] { return LookUps == 2; }, 2000));
    RunCommand(IDC_TOGGLE);
    SetDlgItemTextA(MainWindow, IDC_TARGET, Target.Program.c_str());
    RunCommand(IDC_TOGGLE);
    SetEvent(LookUpRelease);
    PumpUntilSignalled(NULL, 800);
    EXPECT_TRUE(BoxesSeen.empty()) << "a warning for a target no longer set: " << BoxesSeen[0];
    RunCommand(IDC_TOGGLE);
    /* An empty field needs no look-up; a file that is there, no warning. */
    TargetAttributes = GetFileAttributesA;
    SetDlgItemTextA(MainWindow, IDC_TARGET, "");
    RunCommand(IDC_TOGGLE);
    EXPECT_TRUE(PumpUntilTrue([] { return BoxSeen(TARGET_CAPTION); }, 1000));
    EXPECT_EQ(0u, BoxText.find("The File / URL field is empty")) << BoxText;
    RunCommand(IDC_TOGGLE);
    BoxesSeen.clear();
    SetDlgItemTextA(MainWindow, IDC_TARGET, ("\"" + Target.Program + "\"").c_str());
    RunCommand(IDC_TOGGLE);
    PumpUntilSignalled(NULL, 1000);
    EXPECT_TRUE(BoxesSeen.empty()) << BoxesSeen[0];
    CloseHandle(LookUpRelease);
}

/* The computer's sound output as the tests make it. */
static SoundOutput MadeOutput;
static void ReadMadeOutput(SoundOutput *Output)
{
    *Output = MadeOutput;
}

TEST_F(AlarmEngine, SoundOffIsSaidOnceForEachStateAfterTheWakeWarning)
{
    const SoundOutput muted = { TRUE, TRUE, TRUE, 0.8f }, half = { TRUE, TRUE, FALSE, 0.5f },
                      low = { TRUE, TRUE, FALSE, 0.04f }, unread = { FALSE, FALSE, FALSE, 0 };
    const struct { const char *What; SoundOutput Output; int Command; bool Box; } steps[] = {
        { "muted, at Activate", muted, IDC_TOGGLE, true },
        { "muted again, at Test", muted, IDC_TEST, false },
        { "turned down", low, IDC_TEST, true },
        { "at 50 %", half, IDC_TEST, false },
        { "muted after it was put right", muted, IDC_TEST, true },
        { "could not be read", unread, IDC_TEST, false },
    };

    ReadSoundOutput = ReadMadeOutput;
    SoundWarned = SOUND_ON;
    WakeWarned = 0;
    Pick(LocalNowPlus(3600));
    for (const auto &step : steps) {
        MadeOutput = step.Output;
        bool first = &step == steps;
        BoxesSeen.clear();
        BoxCaption = "";
        RunCommand((WORD)step.Command);
        EXPECT_EQ(step.Box, BoxSeen(SOUND_CAPTION)) << step.What;
        EXPECT_EQ(0u, Status().find("Alarm set for ")) << step.What;
        if (first && RunningUnderWine()) {
            EXPECT_EQ(WAKE_CAPTION, BoxesSeen.empty() ? "" : BoxesSeen[0]) << "not after the wake warning";
        }
        if (step.Box) {
            EXPECT_EQ(MainWindow, BoxOwner) << step.What;
            EXPECT_EQ(0, OtherBoxesAtBox) << step.What;
            /* The last box, after the wake warning and the Test's own. */
            EXPECT_EQ(SOUND_CAPTION, BoxesSeen.empty() ? "" : BoxesSeen.back()) << step.What;
        }
    }
    ReadSoundOutput = ReadCoreAudio;
    SoundWarned = SOUND_ON;
}

/* The default output as Core Audio gives it to a caller of its own, apart
   from the program's reading: the answer of GetDefaultAudioEndpoint, and
   for a device whose volume could be read, *Muted and *Level. */
static HRESULT AskCoreAudio(BOOL *Muted, float *Level, BOOL *VolumeRead)
{
    CLSID enumeratorClass;
    IID enumeratorInterface, volumeInterface;
    IMMDeviceEnumerator *devices = NULL;
    IMMDevice *device = NULL;
    IAudioEndpointVolume *volume = NULL;

    CLSIDFromString(L"{BCDE0395-E52F-467C-8E3D-C4579291692E}", &enumeratorClass);
    IIDFromString(L"{A95664D2-9614-4F35-A746-DE8DB63617E6}", &enumeratorInterface);
    IIDFromString(L"{5CDF2C82-841E-4546-9722-0CF74078229A}", &volumeInterface);
    *VolumeRead = FALSE;
    HRESULT asked = CoCreateInstance(enumeratorClass, NULL, CLSCTX_INPROC_SERVER, enumeratorInterface,
                                     (void **)&devices);
    if (FAILED(asked))
        return asked;
    asked = devices->GetDefaultAudioEndpoint(eRender, eConsole, &device);
    if (SUCCEEDED(asked)) {
        *VolumeRead = SUCCEEDED(device->Activate(volumeInterface, CLSCTX_INPROC_SERVER, NULL, (void **)&volume))
                   && SUCCEEDED(volume->GetMute(Muted)) && SUCCEEDED(volume->GetMasterVolumeLevelScalar(Level));
        if (volume)
            volume->Release();
        device->Release();
    }
    devices->Release();
    return asked;
}

/* Whatever this system has: an output at some volume, none, or a Core
   Audio that cannot be read, the program's reading says the same as Core
   Audio says to a caller of its own. */
TEST_F(AlarmEngine, CoreAudioAsThisSystemGivesIt)
{
    SoundOutput output;
    BOOL muted = FALSE, volumeRead = FALSE;
    float level = 0;
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);

    HRESULT asked = AskCoreAudio(&muted, &level, &volumeRead);
    memset(&output, 0xAB, sizeof output);
    ReadCoreAudio(&output);
    printf("Core Audio: default output 0x%08lx; read %d, device %d, muted %d, level %.2f\n", (unsigned long)asked,
           output.Read, output.Present, output.Read && output.Present ? output.Muted : 0,
           output.Read && output.Present ? output.Level : 0);
    if (SUCCEEDED(asked) && volumeRead) {
        EXPECT_TRUE(output.Read && output.Present) << "an output that is there was not read";
        EXPECT_EQ(muted, output.Muted);
        EXPECT_FLOAT_EQ(level, output.Level);
    } else if (asked == HRESULT_FROM_WIN32(ERROR_NOT_FOUND)) {
        EXPECT_TRUE(output.Read && !output.Present) << "no output at all is an answer";
        EXPECT_EQ(SOUND_NO_OUTPUT, DecideSound(&output));
    } else {
        EXPECT_FALSE(output.Read) << "nothing could be read, yet the reading says something";
        EXPECT_EQ(SOUND_ON, DecideSound(&output));
    }
    /* The state the other tests rely on: one output, and no sound warning. */
    if (getenv("TARROWICK_TEST_SOUND")) {
        EXPECT_TRUE(SUCCEEDED(asked) && volumeRead)
            << "the tests' sound output, ALSA's null device (tests/null-sound.conf), is not there";
        EXPECT_EQ(SOUND_ON, DecideSound(&output)) << "the tests' sound output would bring the sound warning";
    }
    if (SUCCEEDED(com))
        CoUninitialize();
}
