/* Helpers shared by the tests: bounded, message-pumping waits, the recorder
   target, and counts of this process's kernel handles and threads. */
#ifndef TARROWICK_TEST_SUPPORT_H
#define TARROWICK_TEST_SUPPORT_H

#include <windows.h>
#include <string>
#include <vector>

/* Pumps this thread's messages until Handle is signalled or Timeout ms pass;
   TRUE when it was signalled.  Handle NULL just pumps for Timeout ms. */
BOOL PumpUntilSignalled(HANDLE Handle, DWORD Timeout);

/* Pumps messages until the text of control Id of Window contains Expected. */
BOOL PumpUntilText(HWND Window, int Id, const std::string &Expected, DWORD Timeout);

/* Text of a window or control, whatever its length. */
std::string WindowText(HWND Window);

/* Folder of the running test program, with a trailing backslash. */
std::string TestFolder(void);

/* The stand-in target.  StartRecorder points the recorder at a new log and a
   new semaphore, released once per opening; ReadRecorderLog reads the log. */
struct Recorder {
    std::string Program;   /* recorder.exe's full path */
    std::string Log;       /* its log, one line per opening */
    HANDLE Opened;         /* semaphore released at each opening */
};
Recorder StartRecorder(const char *Tag);
void StopRecorder(Recorder *Target);
std::vector<std::string> ReadRecorderLog(const Recorder &Target);

/* Kernel handles open in this process, counted by probing handle values,
   which works under Wine, where GetProcessHandleCount reports 0. */
unsigned CountHandles(void);
/* Threads of this process. */
unsigned CountThreads(void);

/* Bytes in use on the C runtime's heap, where malloc, calloc and new take
   their blocks, as the runtime's own walk finds them; and on Heap, walked
   by the system.  Blocks, not pages: a leak of one record shows. */
size_t CrtHeapBytes(void);
size_t HeapBytes(HANDLE Heap);

/* The real program: its path; started as a user starts it, returning its
   main window once visible (NULL on failure), from Exe in the working
   folder Folder when given; and a request to its time
   picker, whose messages carry a pointer into the program's memory. */
std::string ProgramPath(void);
HWND LaunchProgram(PROCESS_INFORMATION *Program, const char *Exe = NULL, const char *Folder = NULL);
LRESULT PickerRequestIn(HANDLE Process, HWND Picker, UINT Message, WPARAM First, SYSTEMTIME *Time);

/* A visible dialog of Process other than Except (with Caption unless NULL), within Timeout ms. */
HWND WaitForDialog(DWORD Process, HWND Except, const char *Caption, DWORD Timeout);

/* TRUE under Wine, which cannot wake a computer: every run's first arming
   brings the wake warning there. */
BOOL RunningUnderWine(void);

/* Waits up to Timeout ms for a visible box of Process other than Except with
   Caption, answers it with OK and waits for it to close; returns its text,
   "" when none came.  *Owner (if given) gets the window that owns it. */
std::string AnswerBox(DWORD Process, HWND Except, const char *Caption, DWORD Timeout, HWND *Owner = NULL);

/* Answers with OK each box that comes up on this thread, any dialog but
   Except, as it comes up, after handing it to Seen (if given); until
   StopAnsweringBoxes.  A box on a test's own thread that nobody answers
   would hold the test for good. */
typedef void (*BoxSeenCall)(HWND Box);
void AnswerBoxesOnThisThread(HWND Except, BoxSeenCall Seen);
void StopAnsweringBoxes(void);

/* Presses button Id of the real program's window Main, for the first arming
   of its run, and answers the wake warning that comes up; returns the
   warning's text, or "" when none came within Timeout ms. */
std::string PressAndAnswerWakeWarning(HWND Main, DWORD Process, int Id, DWORD Timeout);

/* Points an import slot of this program at Replacement; returns what it held. */
void *PatchImport(void **Slot, void *Replacement);

/* This program's import slot for Function of Dll, found in its import table,
   so that the same test works whatever the compiler calls the slot (it
   decorates 32-bit names, not 64-bit ones); NULL when nothing imports it. */
void **ImportSlot(const char *Dll, const char *Function);

/* The status line's text for Due, on the whole second, DaysOn days later. */
std::string StatusFor(SYSTEMTIME Due, unsigned DaysOn);

/* Calendar helpers. */
SYSTEMTIME MakeTime(WORD Year, WORD Month, WORD Day, WORD Hour, WORD Minute, WORD Second, WORD Ms = 0);
ULONGLONG FileTimeOf(const SYSTEMTIME &Time);
SYSTEMTIME LocalNowPlus(int Seconds);

#endif
