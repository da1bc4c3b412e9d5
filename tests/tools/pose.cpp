/* Poses the running Tarrowick window for the README's picture, as a user
   would leave it after setting an alarm: a time picked, a target typed, the
   alarm on.  The wake warning, which Wine always brings, is answered, and
   so are the warnings that follow it. */
#include "../../resources/resource.h"
#include "../support.h"

#include <commctrl.h>
#include <stdio.h>

int main(void)
{
    DWORD process = 0;
    HWND main = NULL;
    SYSTEMTIME picked = MakeTime(2027, 1, 20, 6, 30, 0);
    const char *song = "C:\\Users\\Me\\Music\\Morning.mp3";

    for (DWORD start = GetTickCount(); !main && GetTickCount() - start < 30000;) {
        main = FindWindowA(NULL, "Tarrowick");
        if (!main)
            Sleep(100);
    }
    if (!main) {
        fprintf(stderr, "pose: no Tarrowick window\n");
        return 1;
    }
    GetWindowThreadProcessId(main, &process);
    HANDLE program = OpenProcess(PROCESS_ALL_ACCESS, FALSE, process);
    SendMessageTimeoutA(GetDlgItem(main, IDC_TARGET), WM_SETTEXT, 0, (LPARAM)song, SMTO_NORMAL, 10000, NULL);
    PickerRequestIn(program, GetDlgItem(main, IDC_TIME), DTM_SETSYSTEMTIME, GDT_VALID, &picked);
    PressAndAnswerWakeWarning(main, process, IDC_TOGGLE, 10000);
    /* Where Wine has no sound card, the sound warning follows; the song is
       an example, not on this disk: both are answered too. */
    AnswerBox(process, main, "Tarrowick: the alarm may not be heard", 3000);
    AnswerBox(process, main, "Tarrowick: the alarm's target is missing", 10000);
    CloseHandle(program);
    return 0;
}
