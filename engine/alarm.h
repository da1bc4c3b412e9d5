/* The alarm engine: armed alarms, their wake timers and workers, and firing. */
#ifndef TARROWICK_ALARM_H
#define TARROWICK_ALARM_H

#include <windows.h>

/* One alarm: a wake-capable timer and the worker thread that waits on it.
   Links are guarded by AlarmLock; the handles are set by the arming thread
   before the record is shared and closed only by ReapAlarms, once the worker
   has returned.  A worker reads its record only before it signals ready. */
struct AlarmRecord {
    AlarmRecord *NextAlarm;  /* next in the AlarmList (or in RetiredAlarms), NULL for the last; any thread, under AlarmLock */
    AlarmRecord *PrevAlarm;  /* previous in the AlarmList, NULL for the first; any thread, under AlarmLock */
    HANDLE Worker;           /* the worker thread, NULL until created; waited on and closed by ReapAlarms */
    HANDLE Timer;            /* manual-reset waitable timer with the resume flag; armed under AlarmLock, cancelled by the worker */
    HANDLE StopEvent;        /* auto-reset; set by whoever cancels, waited on by the worker */
    HANDLE ReadyEvent;       /* auto-reset; set by the worker once it has its copies, waited on by the arming thread */
    FILETIME Due;            /* due moment in UTC, to tell a late firing; set before sharing, then AlarmLock */
};

/* Guards AlarmListHead, AlarmListTail, RetiredAlarms, AlarmCancels,
   AlarmClockChanges, LastFiredDue and the records' Due.  Never held while
   sending a window message, showing a box or waiting: a firing worker sends
   messages to the window thread, which may itself be waiting for this lock. */
extern CRITICAL_SECTION AlarmLock;
extern AlarmRecord *AlarmListHead;  /* armed alarms, in the order of arming (AlarmLock) */
extern AlarmRecord *AlarmListTail;  /* last armed alarm (AlarmLock) */
extern AlarmRecord *RetiredAlarms;  /* cancelled records whose worker may still run (AlarmLock) */

/* The main window; written once by WinMain (or a test) before any alarm is
   armed, read by the engine on the window thread and on firing workers. */
extern HWND MainWindow;

/* Counts the cancellings of all alarms (AlarmLock); an arming goes ahead
   only if no cancelling came between it and its claim. */
extern DWORD AlarmCancels;

/* Counts the changes of clock or zone (AlarmLock); an arming goes ahead
   only if none came since it worked out its due moment. */
extern DWORD AlarmClockChanges;

/* The due moment (UTC) of the alarm's last firing, rung or reported as
   missed, so that no date rings twice; zero when none since the alarm was
   switched on (AlarmLock). */
extern FILETIME LastFiredDue;

/* Cancels every armed alarm before a new one is armed, and gives in *Epoch
   the count of cancellings to hand to ArmAlarm.  Firing is the record whose
   timer fell due, or NULL for the user's own commands; a firing whose record
   was cancelled first loses its claim: nothing is done and FALSE returned.
   A firing's claim is its firing: its due moment becomes LastFiredDue, and
   *Due (if given) gets it. */
BOOL ClaimAlarm(const AlarmRecord *Firing, DWORD *Epoch, FILETIME *Due);

/* TRUE and *Due = LastFiredDue when the alarm has fired since it was
   switched on; ForgetFirings forgets, for an alarm switched off or on anew. */
BOOL LastFiring(FILETIME *Due);
void ForgetFirings(void);

/* One arming's view of what happened around it. */
struct AlarmArming {
    DWORD Epoch;      /* in: AlarmCancels as the claim left it */
    DWORD Clock;      /* in: AlarmClockChanges when the due moment was worked out */
    BOOL Current;     /* out: no cancelling came since the claim */
    BOOL ClockMoved;  /* out: the clock changed since: work the moment out again */
    DWORD WakeError;  /* out: the last error that a successful SetWaitableTimer left */
};

/* AlarmClockChanges, for an arming about to work out its due moment. */
DWORD ClockChangesNow(void);

/* Arms one alarm at *DueUtc unless alarms were cancelled since the claim,
   or the clock changed since the moment was worked out.  Returns the new
   record, in the list, or NULL when nothing was armed. */
AlarmRecord *ArmAlarm(const FILETIME *DueUtc, AlarmArming *Arming);

/* Moves every armed alarm whose timer has not yet fallen due to *DueUtc,
   giving in *Epoch the count of cancellings; TRUE when one was moved. */
BOOL MoveAlarms(const FILETIME *DueUtc, DWORD *Epoch);

/* Counts a change of clock or zone, so an arming under way works again. */
DWORD CountClockChange(void);

/* TRUE when no cancelling came since the claim that gave Epoch. */
BOOL IsCurrentArming(DWORD Epoch);

/* Links Record at the tail of the AlarmList; the caller holds AlarmLock. */
AlarmRecord *AppendAlarm(AlarmRecord *Record);

/* Stops and removes every armed alarm.  Does not wait for the workers. */
void CancelAlarms(void);

/* TRUE when at least one alarm is armed. */
BOOL AlarmsArmed(void);

/* Closes and frees the retired records whose workers have returned, waiting
   up to Timeout ms for them.  TRUE when none is left. */
BOOL ReapAlarms(DWORD Timeout);

/* The worker thread of one alarm; Param is its record. */
DWORD WINAPI AlarmWorker(LPVOID Param);

/* Arms the picked time of day for its next occurrence in place of every
   armed alarm and shows the outcome on the status line. */
void SetAlarm(void);

/* Fires the alarm: has the shell open the target, then arms the picked time
   anew.  Firing is the record whose timer fell due, or NULL for a test.  A
   firing more than ALARM_LATE_LIMIT late is reported instead of opened. */
void RunAlarm(const AlarmRecord *Firing);

/* The clock or the zone changed (window thread): armed alarms move to the
   picked time under the new clock; one already falling due goes ahead. */
void FollowTimeChange(void);

/* Messages from the engine to the main window.  WM_ALARMSTATUS (sent):
   first parameter the epoch of the arming, second its status text, which
   ApplyAlarmStatus shows only if that arming is still the current one.
   WM_ALARMRANG (posted): a firing opened its target. */
#define WM_ALARMSTATUS (WM_APP + 1)
#define WM_ALARMRANG   (WM_APP + 2)

/* Shows Text on the status line if no cancelling came since Epoch (window thread). */
void ApplyAlarmStatus(DWORD Epoch, const char *Text);

/* The shell's ShellExecuteA, loaded from the system folder at the first
   arming (shell32 and comdlg32 import comctl32, which is no KnownDLL, so
   neither is imported); any thread, set once before a firing can need it. */
typedef HINSTANCE (WINAPI *ShellExecuteCall)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
extern ShellExecuteCall ShellOpen;

/* The caption of the missed-alarm box. */
#define MISSED_CAPTION "Tarrowick: alarm missed"

#endif
