/* The main window: entry point, dialog procedure and commands. */
#ifndef TARROWICK_WINDOW_H
#define TARROWICK_WINDOW_H

#include <windows.h>

extern HINSTANCE AppInstance;  /* the program's instance; written once by WinMain, before the window */
extern BYTE AlarmActive;       /* what the toggle button last did: 1 on, 0 off (window thread) */

INT_PTR CALLBACK MainDialogProc(HWND Window, UINT Message, WPARAM First, LPARAM Second);

/* The window timer that ends KeepAwake(TRUE), and how long that lasts in ms:
   as long as a late firing would still ring. */
#define IDT_AWAKE 1
#define AWAKE_MS (10 * 60 * 1000)

/* TRUE: keeps the system and the display on for AWAKE_MS, so a computer woken
   for the alarm does not sleep again as it rings; FALSE: lets it sleep (window thread). */
void KeepAwake(BOOL On);

/* Carries out the command of a control of the main window (window thread). */
void RunCommand(WORD Id);

#endif
