/* Firing latency: from an alarm's due moment to the engine's call to the
   shell, in this process with the real window; the floor beside it is a bare
   waitable timer armed the same way and a bare thread waiting on it. */
#include "bench.h"
#include "../engine/alarm.h"
#include "../engine/wake.h"
#include "../window/window.h"
#include "../resources/resource.h"
#include "../tests/support.h"

#include <commctrl.h>

static FILETIME AsFileTime(ULONGLONG Value)
{
    FILETIME moment = { (DWORD)Value, (DWORD)(Value >> 32) };
    return moment;
}

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

void MeasureLatency(unsigned Firings, Spread *Engine, Spread *Bare)
{
    INITCOMMONCONTROLSEX classes = { sizeof classes, ICC_WIN95_CLASSES | ICC_DATE_CLASSES };
    std::vector<double> engine, bare;
    SYSTEMTIME later = LocalNowPlus(12 * 3600);

    InitCommonControlsEx(&classes);
    WakeWarned = 1;  /* no box to answer in this process */
    AppInstance = GetModuleHandleA(NULL);
    MainWindow = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
    SendDlgItemMessageA(MainWindow, IDC_TIME, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&later);
    /* A target to hand to the shell: an empty one is not handed to it. */
    SetDlgItemTextA(MainWindow, IDC_TARGET, "song.mp3");
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
