#include "window.h"
#include "../engine/alarm.h"
#include "../engine/wake.h"
#include "../engine/fallback.h"
#include "../engine/alarmsound.h"
#include "../engine/volume.h"
#include "../resources/resource.h"

#include <commdlg.h>
#include <stdio.h>
#include <stdlib.h>

BYTE AlarmActive;
DWORD AwakeMs = 10 * 60 * 1000;
AttributesCall TargetAttributes = GetFileAttributesA;

/* The Activate check, all on the window thread: the target as it was when
   the alarm was switched on, the serial of that check (counting every
   Activate and Deactivate, so a late answer to an earlier one is dropped),
   and whether its warning waits to be shown. */
static char CheckedTarget[1024];
static DWORD TargetCheck;
static BOOL TargetWarningDue;
static TargetKind CheckedKind;

typedef BOOL (WINAPI *OpenFileCall)(OPENFILENAMEW *);

/* The ANSI form of a chosen file's name, as the rest of the program and the
   shell take it; where the name has characters outside the system's code
   page, its short (8.3) name.  FALSE when it has neither. */
static BOOL AnsiFileName(const WCHAR *Chosen, char *Name, int Size)
{
    WCHAR shortName[MAX_PATH];
    /* A UTF-8 code page loses nothing, and takes neither the flag nor the check. */
    BOOL utf8 = GetACP() == CP_UTF8, lost = FALSE;
    DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;

    /* No best fit: an "a" for an "ä" would name another file, or none. */
    if (WideCharToMultiByte(CP_ACP, flags, Chosen, -1, Name, Size, NULL, utf8 ? NULL : &lost) && !lost)
        return TRUE;
    DWORD length = GetShortPathNameW(Chosen, shortName, MAX_PATH);
    if (!length || length >= MAX_PATH)
        return FALSE;
    lost = FALSE;
    return WideCharToMultiByte(CP_ACP, flags, shortName, -1, Name, Size, NULL, utf8 ? NULL : &lost) && !lost;
}

static void BrowseForTarget(void)
{
    WCHAR file[260] = L"";
    char name[MAX_PATH * 4];
    OPENFILENAMEW request = {};
    static HMODULE comdlg32;  /* kept loaded: the window thread's alone */

    if (!comdlg32)
        comdlg32 = LoadSystemLibrary("comdlg32.dll");
    /* The wide call: the ANSI one turns characters outside the code page
       into "?", a name that opens nothing. */
    OpenFileCall open = comdlg32 ? (OpenFileCall)(void *)GetProcAddress(comdlg32, "GetOpenFileNameW") : NULL;

    request.lStructSize = sizeof request;
    request.hwndOwner = MainWindow;
    request.lpstrFile = file;
    request.nMaxFile = sizeof file / sizeof file[0] - 1;
    if (!open || !open(&request))
        return;
    if (AnsiFileName(file, name, sizeof name))
        SetDlgItemTextA(MainWindow, IDC_TARGET, name);
    else
        MessageBoxA(MainWindow, "This file's name has characters that Tarrowick cannot hand to the "
                    "program that plays it, and the disk keeps no short name for it.\n\n"
                    "Make a copy of the file under a plainer name (letters A to Z, digits, spaces) "
                    "and choose that copy.", "Tarrowick cannot use this file's name", MB_ICONWARNING);
}

static void EnableAlarmSettings(BOOL Enable)
{
    EnableWindow(GetDlgItem(MainWindow, IDC_TIME), Enable);
    EnableWindow(GetDlgItem(MainWindow, IDC_TARGET), Enable);
    EnableWindow(GetDlgItem(MainWindow, IDC_BROWSE), Enable);
}

void KeepAwake(BOOL On)
{
    /* ES_CONTINUOUS holds the request until this thread replaces it; a
       request without it only resets the idle count once. */
    if (On) {
        SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
        SetTimer(MainWindow, IDT_AWAKE, AwakeMs, NULL);
    } else {
        KillTimer(MainWindow, IDT_AWAKE);
        SetThreadExecutionState(ES_CONTINUOUS);
    }
}

void StopRinging(void)
{
    KeepAwake(FALSE);
    KillTimer(MainWindow, IDT_SOUND);
    StopAlarmSound();
}

/* One look-up of the target's path, on a thread of its own: a network share
   that does not answer can hold it for many seconds, and the window must
   not wait for it.  It owns its record and frees it. */
struct TargetLookUp {
    DWORD Serial;          /* the Activate it answers */
    char Path[1024];       /* the path, without quotes */
};

static DWORD WINAPI LookUpTarget(LPVOID Param)
{
    TargetLookUp *look = (TargetLookUp *)Param;

    SetLastError(0);
    DWORD attributes = TargetAttributes(look->Path);
    BOOL missing = IsMissingTarget(attributes, GetLastError());
    PostMessageA(MainWindow, WM_TARGETCHECKED, look->Serial, missing);
    free(look);
    return 0;
}

/* At Activate, after the arming and its boxes: is there anything to open? */
static void CheckTarget(void)
{
    char path[1024];
    TargetLookUp *look;

    GetDlgItemTextA(MainWindow, IDC_TARGET, CheckedTarget, sizeof CheckedTarget);
    CheckedKind = ClassifyTarget(CheckedTarget, path, sizeof path);
    if (CheckedKind == TARGET_EMPTY)
        TargetChecked(TargetCheck, TRUE);
    if (CheckedKind != TARGET_PATH || !(look = (TargetLookUp *)malloc(sizeof *look)))
        return;
    look->Serial = TargetCheck;
    snprintf(look->Path, sizeof look->Path, "%s", path);
    HANDLE thread = CreateThread(NULL, 0, LookUpTarget, look, 0, NULL);
    if (thread)
        CloseHandle(thread);
    else
        free(look);
}

void TargetChecked(DWORD Serial, BOOL Missing)
{
    if (Serial != TargetCheck || !AlarmActive || !Missing)
        return;
    TargetWarningDue = TRUE;
    ShowTargetWarning();
}

void ShowTargetWarning(void)
{
    char text[1024];

    if (!TargetWarningDue) {
        KillTimer(MainWindow, IDT_TARGETWARNING);
        return;
    }
    /* A box of this window is up (the wake warning, a Test's): the main
       window is disabled until it closes.  Boxes come one after the other. */
    if (!IsWindowEnabled(MainWindow)) {
        SetTimer(MainWindow, IDT_TARGETWARNING, 250, NULL);
        return;
    }
    KillTimer(MainWindow, IDT_TARGETWARNING);
    TargetWarningDue = FALSE;
    FormatTargetWarning(text, sizeof text, CheckedTarget, CheckedKind);
    MessageBoxA(MainWindow, text, TARGET_CAPTION, MB_ICONWARNING);
}

static void ToggleAlarm(void)
{
    AlarmActive = !AlarmActive;
    TargetCheck++;
    TargetWarningDue = FALSE;
    /* Switched off, or on anew: the user has asked anew, whatever rang tonight. */
    ForgetFirings();
    if (AlarmActive) {
        /* Replaces any alarm a Test armed: while on there is one alarm, at the chosen time. */
        SetAlarm();
        EnableAlarmSettings(FALSE);
        SetDlgItemTextA(MainWindow, IDC_TOGGLE, "Deactivate Alarm");
        WarnIfSilent();
        CheckTarget();
    } else {
        EnableAlarmSettings(TRUE);
        SetDlgItemTextA(MainWindow, IDC_TOGGLE, "Activate Alarm");
        CancelAlarms();
        StopRinging();
        SetDlgItemTextA(MainWindow, IDC_STATUS, "");
    }
}

void RunCommand(WORD Id)
{
    switch (Id) {
    case IDC_BROWSE:
        BrowseForTarget();
        break;
    case IDC_TOGGLE:
        ToggleAlarm();
        break;
    case IDC_TEST:
        RunAlarm(NULL);
        WarnIfSilent();
        break;
    }
}
