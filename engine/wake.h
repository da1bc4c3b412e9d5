/* Whether the computer will wake for an armed alarm, and loading the
   system's own DLLs. */
#ifndef TARROWICK_WAKE_H
#define TARROWICK_WAKE_H

#include <windows.h>
#include <stddef.h>

/* Not in every SDK's headers for Vista. */
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

/* Why the computer will not wake for a timer, if it will not. */
enum WakeRefusal {
    WAKE_ALLOWED,          /* nothing says it will not */
    WAKE_NOT_SUPPORTED,    /* the system ignored the timer's resume flag */
    WAKE_TIMERS_OFF,       /* the power plan disables wake timers on this power source */
    WAKE_IMPORTANT_ONLY    /* the plan wakes only for the system's own important timers */
};

/* What was read: the last error after SetWaitableTimer succeeded, whether
   the power plan's "Allow wake timers" could be read, the power source, and
   the setting's values on mains power and on battery (0 off, 1 on, 2 only
   important timers).  Pure: any combination can be tried. */
WakeRefusal DecideWake(DWORD ArmError, BOOL PlanRead, BOOL OnBattery, DWORD AcValue, DWORD DcValue);

/* The warning for Refusal; never past Size. */
void FormatWakeWarning(char *Text, size_t Size, WakeRefusal Refusal, BOOL OnBattery, DWORD ArmError);

/* The caption of the wake warning: a warning, not an arming failure. */
#define WAKE_CAPTION "Tarrowick will not wake this computer"

/* 1 once the wake warning has been shown in this run; any thread, interlocked. */
extern LONG WakeWarned;

/* After an arming whose SetWaitableTimer left ArmError: reads the power plan
   and, if the computer will not wake, shows the warning once per run, owned
   by the main window, on the calling thread.  Call with no lock held. */
void WarnIfNoWake(DWORD ArmError);

/* Loads a DLL from the system folder only, never from the program's folder
   or the working folder.  NULL when it cannot be loaded. */
HMODULE LoadSystemLibrary(const char *Name);

#endif
