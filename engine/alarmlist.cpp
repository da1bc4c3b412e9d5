#include "alarm.h"

#include <objbase.h>
#include <stdio.h>
#include <stdlib.h>

CRITICAL_SECTION AlarmLock;
AlarmRecord *AlarmListHead;
AlarmRecord *AlarmListTail;
AlarmRecord *RetiredAlarms;
DWORD AlarmCancels;
DWORD AlarmClockChanges;
FILETIME LastFiredDue;

/* Ready before WinMain or any test runs, so no start-up call can be forgotten. */
static const BOOL AlarmLockReady = (InitializeCriticalSection(&AlarmLock), TRUE);

static void CloseAlarmHandles(AlarmRecord *Record)
{
    HANDLE *handles[] = { &Record->Worker, &Record->Timer, &Record->StopEvent, &Record->ReadyEvent };
    unsigned i;

    for (i = 0; i < sizeof handles / sizeof handles[0]; i++) {
        if (*handles[i])
            CloseHandle(*handles[i]);
        *handles[i] = NULL;
    }
}

/* Closes a record's handles and frees it: its worker has returned, or never ran. */
static void FreeAlarm(AlarmRecord *Record)
{
    CloseAlarmHandles(Record);
    free(Record);
}

/* Hands a record whose worker has been told to stop to ReapAlarms.  The record
   outlives its worker, so a worker never finds its record freed, and its
   address cannot be reused while the worker might still compare against it. */
static void RetireAlarm(AlarmRecord *Record)
{
    Record->PrevAlarm = NULL;
    Record->NextAlarm = RetiredAlarms;
    RetiredAlarms = Record;
}

/* A record with its events, timer (not yet armed) and a waiting worker that
   has taken its handles or had a second to do so; not yet in any list. */
static AlarmRecord *NewAlarm(const FILETIME *DueUtc)
{
    AlarmRecord *record = (AlarmRecord *)calloc(1, sizeof *record);

    if (!record)
        return NULL;
    record->Due = *DueUtc;
    record->StopEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    record->ReadyEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    record->Timer = CreateWaitableTimerA(NULL, TRUE, NULL);
    if (record->StopEvent && record->ReadyEvent && record->Timer)
        record->Worker = CreateThread(NULL, 0, AlarmWorker, record, 0, NULL);
    if (!record->Worker) {
        FreeAlarm(record);
        return NULL;
    }
    /* A worker slow to start is accepted: its timer is armed later, under the
       lock, and its record lives until the worker has returned. */
    if (WaitForSingleObject(record->ReadyEvent, 1000) == WAIT_FAILED) {
        SetEvent(record->StopEvent);
        EnterCriticalSection(&AlarmLock);
        RetireAlarm(record);
        LeaveCriticalSection(&AlarmLock);
        return NULL;
    }
    return record;
}

AlarmRecord *AppendAlarm(AlarmRecord *Record)
{
    Record->NextAlarm = NULL;
    Record->PrevAlarm = AlarmListTail;
    if (AlarmListTail)
        AlarmListTail->NextAlarm = Record;
    else
        AlarmListHead = Record;
    AlarmListTail = Record;
    return Record;
}

static void CancelAlarmsLocked(void)
{
    AlarmRecord *record = AlarmListHead;

    while (record) {
        AlarmRecord *next = record->NextAlarm;

        /* The worker cancels its own timer when it wakes on this. */
        if (record->Worker)
            SetEvent(record->StopEvent);
        if (next)
            next->PrevAlarm = record->PrevAlarm;
        else
            AlarmListTail = record->PrevAlarm;
        if (record->PrevAlarm)
            record->PrevAlarm->NextAlarm = next;
        else
            AlarmListHead = next;
        RetireAlarm(record);
        record = next;
    }
    AlarmCancels++;
}

static BOOL IsListed(const AlarmRecord *Record)
{
    const AlarmRecord *record;

    for (record = AlarmListHead; record; record = record->NextAlarm)
        if (record == Record)
            return TRUE;
    return FALSE;
}

BOOL ClaimAlarm(const AlarmRecord *Firing, DWORD *Epoch, FILETIME *Due)
{
    BOOL claimed;

    /* Checking that the firing alarm is still armed and cancelling every
       alarm are one step: of two alarms due together only one goes on. */
    EnterCriticalSection(&AlarmLock);
    claimed = !Firing || IsListed(Firing);
    if (claimed) {
        if (Firing) {
            LastFiredDue = Firing->Due;  /* still listed, so not yet retired */
            if (Due)
                *Due = Firing->Due;
        }
        CancelAlarmsLocked();
        *Epoch = AlarmCancels;
    }
    LeaveCriticalSection(&AlarmLock);
    ReapAlarms(0);
    return claimed;
}

BOOL LastFiring(FILETIME *Due)
{
    EnterCriticalSection(&AlarmLock);
    *Due = LastFiredDue;
    LeaveCriticalSection(&AlarmLock);
    return Due->dwLowDateTime || Due->dwHighDateTime;
}

void ForgetFirings(void)
{
    EnterCriticalSection(&AlarmLock);
    LastFiredDue.dwLowDateTime = LastFiredDue.dwHighDateTime = 0;
    LeaveCriticalSection(&AlarmLock);
}

DWORD ClockChangesNow(void)
{
    DWORD changes;

    EnterCriticalSection(&AlarmLock);
    changes = AlarmClockChanges;
    LeaveCriticalSection(&AlarmLock);
    return changes;
}

static LARGE_INTEGER TimerDue(const FILETIME *DueUtc)
{
    LARGE_INTEGER due;

    /* Positive: an absolute UTC moment in 100 ns units. */
    due.LowPart = DueUtc->dwLowDateTime;
    due.HighPart = (LONG)DueUtc->dwHighDateTime;
    return due;
}

AlarmRecord *ArmAlarm(const FILETIME *DueUtc, AlarmArming *Arming)
{
    AlarmRecord *fresh = DueUtc ? NewAlarm(DueUtc) : NULL;
    LARGE_INTEGER due = {};
    BOOL armed = FALSE;

    if (DueUtc)
        due = TimerDue(DueUtc);
    /* The timer is armed only once its record is listed, so a timer that
       falls due always finds its record there, and only while nothing was
       cancelled since the claim: after a Deactivate nothing is armed anew.
       A moment worked out before a change of clock is worked out again. */
    EnterCriticalSection(&AlarmLock);
    Arming->Current = AlarmCancels == Arming->Epoch;
    Arming->ClockMoved = Arming->Current && AlarmClockChanges != Arming->Clock;
    if (fresh && Arming->Current && !Arming->ClockMoved) {
        /* Success with ERROR_TIMER_RESUME_IGNORED: armed, but it will not wake the computer. */
        SetLastError(0);
        armed = SetWaitableTimer(fresh->Timer, &due, 0, NULL, NULL, TRUE);
        Arming->WakeError = GetLastError();
    }
    if (armed) {
        AppendAlarm(fresh);
    } else if (fresh) {
        SetEvent(fresh->StopEvent);
        RetireAlarm(fresh);
        fresh = NULL;
    }
    LeaveCriticalSection(&AlarmLock);
    return fresh;
}

BOOL MoveAlarms(const FILETIME *DueUtc, DWORD *Epoch)
{
    LARGE_INTEGER due = TimerDue(DueUtc);
    BOOL moved = FALSE;

    EnterCriticalSection(&AlarmLock);
    for (AlarmRecord *record = AlarmListHead; record; record = record->NextAlarm) {
        /* A timer already signalled is firing: its worker is awake and will
           claim it, and its re-arm follows the new clock.  The zero time-out
           only reads the timer's state; it never blocks under the lock. */
        if (WaitForSingleObject(record->Timer, 0) == WAIT_OBJECT_0)
            continue;
        SetLastError(0);
        if (SetWaitableTimer(record->Timer, &due, 0, NULL, NULL, TRUE)) {
            record->Due = *DueUtc;
            moved = TRUE;
        }
    }
    *Epoch = AlarmCancels;
    LeaveCriticalSection(&AlarmLock);
    return moved;
}

DWORD CountClockChange(void)
{
    DWORD changes;

    EnterCriticalSection(&AlarmLock);
    changes = ++AlarmClockChanges;
    LeaveCriticalSection(&AlarmLock);
    return changes;
}

BOOL IsCurrentArming(DWORD Epoch)
{
    BOOL current;

    EnterCriticalSection(&AlarmLock);
    current = AlarmCancels == Epoch;
    LeaveCriticalSection(&AlarmLock);
    return current;
}

void CancelAlarms(void)
{
    EnterCriticalSection(&AlarmLock);
    CancelAlarmsLocked();
    LeaveCriticalSection(&AlarmLock);
    ReapAlarms(0);
}

BOOL AlarmsArmed(void)
{
    BOOL armed;

    EnterCriticalSection(&AlarmLock);
    armed = AlarmListHead != NULL;
    LeaveCriticalSection(&AlarmLock);
    return armed;
}

BOOL ReapAlarms(DWORD Timeout)
{
    DWORD start = GetTickCount();
    AlarmRecord *record, *next, *kept = NULL, *keptTail = NULL;

    /* Waiting is done outside the lock, on records taken out of the list. */
    EnterCriticalSection(&AlarmLock);
    record = RetiredAlarms;
    RetiredAlarms = NULL;
    LeaveCriticalSection(&AlarmLock);

    for (; record; record = next) {
        DWORD spent = GetTickCount() - start;

        next = record->NextAlarm;
        if (WaitForSingleObject(record->Worker, spent < Timeout ? Timeout - spent : 0) == WAIT_OBJECT_0) {
            FreeAlarm(record);
            continue;
        }
        record->NextAlarm = NULL;
        if (keptTail)
            keptTail->NextAlarm = record;
        else
            kept = record;
        keptTail = record;
    }
    if (!kept)
        return TRUE;

    EnterCriticalSection(&AlarmLock);
    keptTail->NextAlarm = RetiredAlarms;
    RetiredAlarms = kept;
    LeaveCriticalSection(&AlarmLock);
    return FALSE;
}

static void ReportWaitFailure(DWORD Error)
{
    char text[256];

    snprintf(text, sizeof text,
             "WaitForMultipleObjects error.  There was an error while trying to set your "
             "computer to wake up from standby or hibernate mode.  Your alarm will continue "
             "to function, but your computer will not wake up.  System Error #%d", (int)Error);
    MessageBoxA(NULL, text, "Error", MB_ICONERROR);
}

DWORD WINAPI AlarmWorker(LPVOID Param)
{
    AlarmRecord *record = (AlarmRecord *)Param;
    HANDLE ready = record->ReadyEvent;
    HANDLE waits[2] = { record->StopEvent, record->Timer };
    HRESULT com;

    /* From here on only these copies and the record's address are used. */
    SetEvent(ready);
    /* Some handlers the shell may hand the target to are COM objects; set
       COM up now rather than at the due moment. */
    com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    switch (WaitForMultipleObjects(2, waits, FALSE, INFINITE)) {
    case WAIT_OBJECT_0 + 1:
        /* Nothing to cancel: the timer is one-shot and RunAlarm arms anew. */
        RunAlarm(record);
        break;
    case WAIT_FAILED:
        ReportWaitFailure(GetLastError());
        CancelWaitableTimer(waits[1]);
        break;
    default:
        /* Stopped: a cancelled alarm must not wake the computer. */
        CancelWaitableTimer(waits[1]);
        break;
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}
