/* The main window: entry point, dialog procedure and commands. */
#ifndef TARROWICK_WINDOW_H
#define TARROWICK_WINDOW_H

#include <windows.h>

extern HINSTANCE AppInstance;  /* the program's instance; written once by WinMain, before the window */
extern BYTE AlarmActive;       /* what the toggle button last did: 1 on, 0 off (window thread) */

INT_PTR CALLBACK MainDialogProc(HWND Window, UINT Message, WPARAM First, LPARAM Second);

/* How long a ringing alarm keeps the computer awake, and its own sound
   playing, in ms: 10 minutes, as long as a late firing would still ring.
   Read by the window thread when it sets the timers below; tests shorten it. */
extern DWORD AwakeMs;

/* Window timers: the end of KeepAwake(TRUE), the end of Tarrowick's own
   sound, and the next try at showing the Activate warning. */
#define IDT_AWAKE 1
#define IDT_SOUND 2
#define IDT_TARGETWARNING 3

/* TRUE: keeps the system and the display on for AwakeMs, so a computer woken
   for the alarm does not sleep again as it rings; FALSE: lets it sleep (window thread). */
void KeepAwake(BOOL On);

/* Stops everything a ringing alarm holds: the keep-awake request and
   Tarrowick's own sound (window thread; Deactivate and closing). */
void StopRinging(void);

/* Carries out the command of a control of the main window (window thread). */
void RunCommand(WORD Id);

/* The look-up of the target checked at Activate has ended: Serial names
   that Activate, Missing says what it found (window thread). */
void TargetChecked(DWORD Serial, BOOL Missing);

/* Shows the Activate warning if one is due and no other box of the main
   window is up; else tries again shortly (window thread). */
void ShowTargetWarning(void);

/* How the Activate check looks a path up: GetFileAttributesA; set before
   the window, read by the look-up threads (tests point it elsewhere). */
typedef DWORD (WINAPI *AttributesCall)(LPCSTR);
extern AttributesCall TargetAttributes;

/* Posted by the look-up thread: first parameter the serial, second Missing. */
#define WM_TARGETCHECKED (WM_APP + 4)

#endif
