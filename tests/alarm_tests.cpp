/* The alarm engine on real timers, threads and the real main window, driven
   in this process.  The test thread is the window thread: it pumps messages
   while it waits, as the program's message loop would. */
#include "../engine/alarm.h"
#include "../engine/moment.h"
#include "../window/window.h"
#include "../resources/resource.h"
#include "support.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <stdio.h>

class AlarmEngine : public ::testing::Test {
protected:
    Recorder Target;

    void SetUp() override
    {
        INITCOMMONCONTROLSEX classes = { sizeof classes, ICC_WIN95_CLASSES | ICC_DATE_CLASSES };

        ASSERT_TRUE(InitCommonControlsEx(&classes));
        AppInstance = GetModuleHandleA(NULL);
        MainWindow = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
        ASSERT_TRUE(MainWindow != NULL);
        Target = StartRecorder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        SetDlgItemTextA(MainWindow, IDC_TARGET, Target.Program.c_str());
    }

    void TearDown() override
    {
        CancelAlarms();
        EXPECT_TRUE(ReapAlarms(5000));
        DestroyWindow(MainWindow);
        MainWindow = NULL;
        StopRecorder(&Target);
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
    DWORD epoch;

    ClaimAlarm(NULL, &epoch);
    return ArmAlarm(&Due, epoch, NULL);
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
    EXPECT_GE(opened + 50, (((ULONGLONG)dueUtc.dwHighDateTime << 32) | dueUtc.dwLowDateTime) / 10000);

    EXPECT_TRUE(PumpUntilText(MainWindow, IDC_STATUS, StatusFor(tomorrow, 0), 2000)) << Status();
    AlarmRecord *next = ListedAlarm(&count);
    EXPECT_EQ(1u, count);
    EXPECT_NE(first, next);
}

TEST_F(AlarmEngine, DueInThePastFiresAtOnce)
{
    FILETIME past = UtcNowPlus(-3600);

    Pick(LocalNowPlus(3600));
    ASSERT_TRUE(ArmAt(past) != NULL);
    ExpectOneOpening(5000);
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
    DWORD epoch;
    BOOL current = TRUE;

    /* A firing claims its alarm, opens the target, and then Deactivate
       cancels before the next day's alarm is armed. */
    ASSERT_TRUE(ClaimAlarm(record, &epoch));
    CancelAlarms();
    EXPECT_EQ(NULL, ArmAlarm(&later, epoch, &current));
    EXPECT_FALSE(current);
    EXPECT_FALSE(AlarmsArmed());
    /* Without a cancel in between the same arming goes ahead. */
    ASSERT_TRUE(ClaimAlarm(NULL, &epoch));
    EXPECT_TRUE(ArmAlarm(&later, epoch, &current) != NULL);
    EXPECT_TRUE(current);
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
    EXPECT_NE(before, after);
    EXPECT_EQ(StatusFor(picked, 0), Status());
    ExpectNoOpening(1000);
}

/* Answers the error box raised on this thread, keeping its text. */
static std::string BoxText, BoxCaption;
static HHOOK BoxHook;

static LRESULT CALLBACK AnswerBox(int Code, WPARAM First, LPARAM Second)
{
    if (Code == HCBT_ACTIVATE) {
        HWND box = (HWND)First;
        char name[32];

        GetClassNameA(box, name, sizeof name);
        if (!strcmp(name, "#32770") && box != MainWindow) {
            BoxCaption = WindowText(box);
            BoxText = WindowText(GetDlgItem(box, 0xFFFF));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(BoxHook, Code, First, Second);
}

TEST_F(AlarmEngine, WindowWithoutPickerFailsToArm)
{
    FILETIME later = UtcNowPlus(3600);

    ASSERT_TRUE(ArmAt(later) != NULL);
    DestroyWindow(GetDlgItem(MainWindow, IDC_TIME));
    BoxHook = SetWindowsHookExA(WH_CBT, AnswerBox, NULL, GetCurrentThreadId());
    SetAlarm();
    UnhookWindowsHookEx(BoxHook);

    EXPECT_EQ("Error", BoxCaption);
    EXPECT_EQ("I was unable to set the alarm.", BoxText);
    EXPECT_EQ("I was unable to set the alarm.", Status());
    EXPECT_FALSE(AlarmsArmed());
}

TEST_F(AlarmEngine, ThousandsOfArmingsLeaveNoHandlesOrThreads)
{
    FILETIME later = UtcNowPlus(3600), past = UtcNowPlus(-10);
    unsigned count;

    SetDlgItemTextA(MainWindow, IDC_TARGET, "");
    Pick(LocalNowPlus(7200));
    /* Warm up whatever the first arming and firing load. */
    ASSERT_TRUE(ArmAt(later) != NULL);
    CancelAlarms();
    ASSERT_TRUE(ReapAlarms(5000));
    unsigned handles = CountHandles(), threads = CountThreads();

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
    printf("handles %u -> %u, threads %u -> %u\n", handles, CountHandles(), threads, CountThreads());
    EXPECT_LE(CountHandles(), handles + 4);
    EXPECT_LE(CountThreads(), threads + 1);
}
