/* The main window: entry point, dialog procedure and commands. */
#ifndef TARROWICK_WINDOW_H
#define TARROWICK_WINDOW_H

#include <windows.h>

extern HINSTANCE AppInstance;  /* the program's instance; written once by WinMain, before the window */
extern BYTE AlarmActive;       /* what the toggle button last did: 1 on, 0 off (window thread) */

INT_PTR CALLBACK MainDialogProc(HWND Window, UINT Message, WPARAM First, LPARAM Second);

/* Carries out the command of a control of the main window (window thread). */
void RunCommand(WORD Id);

#endif
