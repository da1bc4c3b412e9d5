/* The real tarrowick.exe, started as its own process and driven from here
   with window messages, as a user's clicks and keys would drive it.  The
   target is the recorder, which logs and signals each opening. */
#include "../resources/resource.h"
#include "../window/window.h"
#include "support.h"

#include <algorithm>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

class RunningProgram : public ::testing::Test {
protected:
    Recorder Target;
    PROCESS_INFORMATION Program = {};
    HWND Main = NULL;
    SYSTEMTIME Started, Shown;

    void SetUp() override
    {
        Target = StartRecorder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        GetLocalTime(&Started);
        Main = LaunchProgram(&Program);
        GetLocalTime(&Shown);
        ASSERT_TRUE(Main != NULL) << "no window came up";
    }

    void TearDown() override
    {
        if (Program.hProcess) {
            if (WaitForSingleObject(Program.hProcess, 0) == WAIT_TIMEOUT) {
                PostMessageA(Main, WM_CLOSE, 0, 0);
                if (WaitForSingleObject(Program.hProcess, 5000) != WAIT_OBJECT_0)
                    TerminateProcess(Program.hProcess, 99);
            }
            CloseHandle(Program.hProcess);
            CloseHandle(Program.hThread);
        }
        StopRecorder(&Target);
    }

    HWND Control(int Id) { return GetDlgItem(Main, Id); }

    /* Every request is bounded: a program that stops answering fails the test. */
    LRESULT Send(HWND Window, UINT Message, WPARAM First, LPARAM Second)
    {
        DWORD_PTR result = 0;

        EXPECT_TRUE(SendMessageTimeoutA(Window, Message, First, Second, SMTO_NORMAL, 10000, &result))
            << "no answer to message " << Message;
        return (LRESULT)result;
    }

    std::string Text(int Id)
    {
        char text[4096] = "";

        Send(Control(Id), WM_GETTEXT, sizeof text, (LPARAM)text);
        return text;
    }

    /* The run's first arming, by button Id: under Wine, which cannot wake the
       computer, the wake warning comes up then, and only then. */
    void FirstArming(int Id)
    {
        std::string warning = PressAndAnswerWakeWarning(Main, Program.dwProcessId, Id, RunningUnderWine() ? 10000 : 2000);

        if (RunningUnderWine()) {
            EXPECT_NE(std::string::npos, warning.find("This computer will not wake up from sleep for the alarm"))
                << "no wake warning: " << warning;
        }
    }

    void SetText(int Id, const std::string &Text) { Send(Control(Id), WM_SETTEXT, 0, (LPARAM)Text.c_str()); }
    void Click(int Id) { Send(Control(Id), BM_CLICK, 0, 0); }

    LRESULT PickerRequest(UINT Message, WPARAM First, SYSTEMTIME *Time)
    {
        return PickerRequestIn(Program.hProcess, Control(IDC_TIME), Message, First, Time);
    }

    void Pick(SYSTEMTIME Time) { ASSERT_TRUE(PickerRequest(DTM_SETSYSTEMTIME, GDT_VALID, &Time)); }

    BOOL WaitForText(int Id, const std::string &Expected, DWORD Timeout)
    {
        DWORD start = GetTickCount();

        while (Text(Id) != Expected) {
            if (GetTickCount() - start > Timeout)
                return FALSE;
            PumpUntilSignalled(NULL, 50);
        }
        return TRUE;
    }

    void ExpectSettingsEnabled(BOOL Enabled)
    {
        EXPECT_EQ(Enabled, IsWindowEnabled(Control(IDC_TIME)));
        EXPECT_EQ(Enabled, IsWindowEnabled(Control(IDC_TARGET)));
        EXPECT_EQ(Enabled, IsWindowEnabled(Control(IDC_BROWSE)));
        EXPECT_TRUE(IsWindowEnabled(Control(IDC_TEST)));
    }

    /* Opening times from the recorder's log, in ms since 1601 (UTC). */
    std::vector<ULONGLONG> Openings()
    {
        std::vector<ULONGLONG> times;

        for (const std::string &line : ReadRecorderLog(Target))
            times.push_back(strtoull(line.c_str(), NULL, 10));
        return times;
    }
};

static ULONGLONG UtcMs(const SYSTEMTIME &Local)
{
    SYSTEMTIME utc;

    TzSpecificLocalTimeToSystemTime(NULL, &Local, &utc);
    return FileTimeOf(utc) / 10000;
}

struct Expected {
    int Id;
    const char *Class;
    const char *Text;  /* NULL: not compared */
    DWORD Style;
    RECT Place;        /* left, top, right, bottom in dialog units */
};

/* In the window's order, which is where Windows' accessibility takes the
   name of a control with no text of its own: each field's label just
   before it, so that a screen reader reads "Alarm time:" for the picker
   and "File / URL ..." for the target field. */
static const Expected Controls[] = {
    { IDC_TIME_LABEL, "Static", "Alarm time:", 0x50020000, { 6, 6, 66, 17 } },
    { IDC_TIME, "SysDateTimePick32", NULL, 0x50010029, { 6, 17, 70, 27 } },
    { -1, "Static", NULL, 0x50020000, { 6, 31, 205, 41 } },
    { IDC_TARGET, "Edit", "", 0x50810080, { 6, 43, 138, 55 } },
    { IDC_BROWSE, "Button", "Browse...", 0x50010000, { 141, 43, 180, 57 } },
    { IDC_TOGGLE, "Button", "Activate Alarm", 0x50010000, { 15, 57, 74, 71 } },
    { IDC_TEST, "Button", "Test Alarm", 0x50010000, { 76, 57, 135, 71 } },
    { IDC_STATUS, "Static", "", 0x50020000, { 74, 17, 199, 28 } },
    { -1, "Static", NULL, 0x50020000, { 2, 74, 216, 85 } },
};

static INT_PTR CALLBACK QuietDialog(HWND, UINT Message, WPARAM, LPARAM)
{
    return Message == WM_INITDIALOG;
}

/* The program's window made again in this process from its own template; not shown. */
static HWND CopyOfMainWindow(void)
{
    INITCOMMONCONTROLSEX classes = { sizeof classes, ICC_WIN95_CLASSES | ICC_DATE_CLASSES };
    HMODULE program = LoadLibraryExA(ProgramPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);

    InitCommonControlsEx(&classes);
    return program ? CreateDialogParamA(program, MAKEINTRESOURCEA(IDD_MAIN), NULL, QuietDialog, 0) : NULL;
}

TEST_F(RunningProgram, StartsWithEveryControlInPlace)
{
    HWND child = GetWindow(Main, GW_CHILD);
    RECT unit = { 0, 0, 4, 8 };

    EXPECT_EQ("Tarrowick", WindowText(Main));
    EXPECT_EQ(0x00040000u, GetWindowLongA(Main, GWL_EXSTYLE) & 0x00040000u);
    /* Dialog units as the window's font makes them, from a hidden copy here:
       MapDialogRect does not reach into another process. */
    HWND copy = CopyOfMainWindow();
    ASSERT_TRUE(copy != NULL);
    ASSERT_TRUE(MapDialogRect(copy, &unit));
    DestroyWindow(copy);
    for (const Expected &control : Controls) {
        char name[64];
        RECT place;

        ASSERT_TRUE(child != NULL) << "control " << control.Id << " is missing";
        GetClassNameA(child, name, sizeof name);
        EXPECT_STRCASEEQ(control.Class, name);
        EXPECT_EQ(control.Id, GetDlgCtrlID(child));
        /* The dialog manager trades an edit field's flat border for a sunken edge. */
        DWORD style = (DWORD)GetWindowLongA(child, GWL_STYLE);
        if (control.Id == IDC_TARGET && (GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE))
            style |= WS_BORDER;
        EXPECT_EQ(control.Style, style) << name << " " << control.Id;
        if (control.Text) {
            EXPECT_EQ(control.Text, WindowText(child));
        } else if (control.Id == -1 && control.Place.top == 31) {
            EXPECT_EQ(0u, WindowText(child).find("File / URL (")) << WindowText(child);
        }
        GetWindowRect(child, &place);
        MapWindowPoints(NULL, Main, (POINT *)&place, 2);
        EXPECT_NEAR(control.Place.left * unit.right / 4, place.left, 1) << control.Id;
        EXPECT_NEAR(control.Place.top * unit.bottom / 8, place.top, 1) << control.Id;
        EXPECT_NEAR(control.Place.right * unit.right / 4, place.right, 2) << control.Id;
        EXPECT_NEAR(control.Place.bottom * unit.bottom / 8, place.bottom, 2) << control.Id;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_TRUE(child == NULL) << "more controls than expected";

    GUITHREADINFO focus = {};
    focus.cbSize = sizeof focus;
    ASSERT_TRUE(GetGUIThreadInfo(Program.dwThreadId, &focus));
    EXPECT_EQ(Control(IDC_TIME), focus.hwndFocus);

    /* The picker shows the time of day at which the window came up. */
    SYSTEMTIME picked = {};
    ASSERT_EQ(GDT_VALID, PickerRequest(DTM_GETSYSTEMTIME, 0, &picked));
    ULONGLONG seconds = picked.wHour * 3600 + picked.wMinute * 60 + picked.wSecond;
    EXPECT_GE(seconds + 1, Started.wHour * 3600 + Started.wMinute * 60 + Started.wSecond);
    EXPECT_LE(seconds, Shown.wHour * 3600u + Shown.wMinute * 60 + Shown.wSecond);
    EXPECT_TRUE(Text(IDC_STATUS).empty());
    ExpectSettingsEnabled(TRUE);
}

/* Tab, or Shift+Tab, on the focused control, as the program's message loop
   hands it to the dialog manager, which reads Shift from the keyboard
   state; returns the control that has the focus then. */
static HWND PressTab(HWND Dialog, BOOL Shift)
{
    BYTE keys[256];
    MSG tab = {};

    GetKeyboardState(keys);
    keys[VK_SHIFT] = Shift ? 0x80 : 0;
    SetKeyboardState(keys);
    tab.hwnd = GetFocus();
    tab.message = WM_KEYDOWN;
    tab.wParam = VK_TAB;
    tab.lParam = 0x000F0001;  /* the tab key's scan code, pressed once */
    IsDialogMessageA(Dialog, &tab);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    return GetFocus();
}

/* The labels moved before their fields for a screen reader are no tab
   stops: Tab and Shift+Tab visit exactly the five controls of the
   template's tab order, one way and the other, from the picker round to it. */
TEST(MainWindow, TabAndShiftTabVisitTheFiveTabStopsInTheTemplatesOrder)
{
    INITCOMMONCONTROLSEX classes = { sizeof classes, ICC_WIN95_CLASSES | ICC_DATE_CLASSES };
    HMODULE program = LoadLibraryExA(ProgramPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);

    ASSERT_TRUE(program != NULL);
    InitCommonControlsEx(&classes);
    HWND dialog = CreateDialogParamA(program, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
    ASSERT_TRUE(dialog != NULL);
    ShowWindow(dialog, SW_SHOWNORMAL);
    EXPECT_EQ(GetDlgItem(dialog, IDC_TIME_LABEL), GetWindow(dialog, GW_CHILD)) << "the label is not first";
    const int forward[] = { IDC_TARGET, IDC_BROWSE, IDC_TOGGLE, IDC_TEST, IDC_TIME };
    const int backward[] = { IDC_TEST, IDC_TOGGLE, IDC_BROWSE, IDC_TARGET, IDC_TIME };

    SetFocus(GetDlgItem(dialog, IDC_TIME));
    ASSERT_EQ(GetDlgItem(dialog, IDC_TIME), GetFocus());
    for (int id : forward)
        EXPECT_EQ(id, GetDlgCtrlID(PressTab(dialog, FALSE))) << "Tab";
    for (int id : backward)
        EXPECT_EQ(id, GetDlgCtrlID(PressTab(dialog, TRUE))) << "Shift+Tab";
    DestroyWindow(dialog);
    FreeLibrary(program);
}

TEST_F(RunningProgram, EscapeDoesNotCloseAndCloseExitsWithZero)
{
    DWORD code = 1;

    PostMessageA(Control(IDC_TIME), WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(Control(IDC_TIME), WM_KEYUP, VK_ESCAPE, 0);
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(Program.hProcess, 1000)) << "Escape closed the window";
    EXPECT_TRUE(IsWindowVisible(Main));

    PostMessageA(Main, WM_CLOSE, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(Program.hProcess, 10000));
    GetExitCodeProcess(Program.hProcess, &code);
    EXPECT_EQ(0u, code);
}

TEST_F(RunningProgram, TestWhileOffOpensOnceAndArmsTheNextOccurrence)
{
    SYSTEMTIME picked = LocalNowPlus(-60);

    SetText(IDC_TARGET, Target.Program);
    Pick(picked);
    FirstArming(IDC_TEST);
    ASSERT_TRUE(PumpUntilSignalled(Target.Opened, 10000)) << "the target was not opened";
    EXPECT_EQ(StatusFor(picked, 1), Text(IDC_STATUS));
    EXPECT_EQ("Activate Alarm", Text(IDC_TOGGLE));
    ExpectSettingsEnabled(TRUE);
    EXPECT_FALSE(PumpUntilSignalled(Target.Opened, 1500)) << "opened twice";
}

TEST_F(RunningProgram, ActivatedAlarmFiresOnceAtItsTime)
{
    SYSTEMTIME due = LocalNowPlus(4);

    SetText(IDC_TARGET, Target.Program);
    Pick(due);
    FirstArming(IDC_TOGGLE);
    EXPECT_EQ(StatusFor(due, 0), Text(IDC_STATUS));
    EXPECT_EQ("Deactivate Alarm", Text(IDC_TOGGLE));
    ExpectSettingsEnabled(FALSE);

    ASSERT_TRUE(PumpUntilSignalled(Target.Opened, 15000)) << "the alarm did not go off";
    EXPECT_FALSE(PumpUntilSignalled(Target.Opened, 1500)) << "the alarm went off twice";
    std::vector<ULONGLONG> openings = Openings();
    ASSERT_EQ(1u, openings.size());
    due.wMilliseconds = 0;
    EXPECT_GE(openings[0] + 50, UtcMs(due)) << "went off early";
    EXPECT_LT(openings[0], UtcMs(due) + 1000) << "went off " << (LONGLONG)(openings[0] - UtcMs(due)) << " ms late";
    EXPECT_TRUE(WaitForText(IDC_STATUS, StatusFor(due, 1), 5000)) << Text(IDC_STATUS);
    EXPECT_EQ("Deactivate Alarm", Text(IDC_TOGGLE));
}

TEST_F(RunningProgram, DeactivatedAlarmNeverFires)
{
    SetText(IDC_TARGET, Target.Program);
    /* Far enough ahead that answering the wake warning cannot outlast it. */
    Pick(LocalNowPlus(6));
    FirstArming(IDC_TOGGLE);
    Click(IDC_TOGGLE);
    EXPECT_EQ("", Text(IDC_STATUS));
    EXPECT_EQ("Activate Alarm", Text(IDC_TOGGLE));
    ExpectSettingsEnabled(TRUE);
    EXPECT_FALSE(PumpUntilSignalled(Target.Opened, 8000)) << "a deactivated alarm went off";
}

TEST_F(RunningProgram, ActivateReplacesTheAlarmThatTestArmed)
{
    /* The Test's alarm is due after the activated one, so that if Activate
       did not replace it, it would still go off, a few seconds later. */
    SYSTEMTIME tested = LocalNowPlus(10);

    SetText(IDC_TARGET, Target.Program);
    Pick(tested);
    FirstArming(IDC_TEST);
    ASSERT_TRUE(PumpUntilSignalled(Target.Opened, 10000));
    SYSTEMTIME activated = LocalNowPlus(4);
    Pick(activated);
    Click(IDC_TOGGLE);
    EXPECT_EQ(StatusFor(activated, 0), Text(IDC_STATUS));

    ASSERT_TRUE(PumpUntilSignalled(Target.Opened, 15000)) << "the activated alarm did not go off";
    tested.wMilliseconds = 0;
    SYSTEMTIME now = LocalNowPlus(0);
    DWORD untilTested = (DWORD)((FileTimeOf(tested) - std::min(FileTimeOf(tested), FileTimeOf(now))) / 10000);
    EXPECT_FALSE(PumpUntilSignalled(Target.Opened, untilTested + 1500)) << "the alarm that Test armed went off too";
    std::vector<ULONGLONG> openings = Openings();
    ASSERT_EQ(2u, openings.size());
    activated.wMilliseconds = 0;
    EXPECT_GE(openings[1] + 50, UtcMs(activated)) << "went off early";
    EXPECT_LT(openings[1], UtcMs(activated) + 1000) << "went off late";
}

TEST_F(RunningProgram, ClosingWhileOnExitsWithZeroAndOpensNothing)
{
    DWORD code = 1;

    SetText(IDC_TARGET, Target.Program);
    Pick(LocalNowPlus(6));
    FirstArming(IDC_TOGGLE);
    PostMessageA(Main, WM_CLOSE, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(Program.hProcess, 10000));
    GetExitCodeProcess(Program.hProcess, &code);
    EXPECT_EQ(0u, code);
    EXPECT_FALSE(PumpUntilSignalled(Target.Opened, 8000)) << "the target opened after the window closed";
}

/* The file name field of the open dialog: a combo box's edit, or a plain edit. */
static HWND FileNameField(HWND Dialog)
{
    HWND combo = GetDlgItem(Dialog, 0x47C);

    if (combo)
        return FindWindowExA(combo, NULL, "Edit", NULL) ? FindWindowExA(combo, NULL, "Edit", NULL) : combo;
    return GetDlgItem(Dialog, 0x480);
}

TEST_F(RunningProgram, BrowseFillsTheFullPathAndCancelKeepsTheField)
{
    std::string chosen = Target.Program;

    PostMessageA(Control(IDC_BROWSE), BM_CLICK, 0, 0);
    HWND dialog = WaitForDialog(Program.dwProcessId, Main, NULL, 10000);
    ASSERT_TRUE(dialog != NULL) << "no file dialog came up";
    ASSERT_TRUE(FileNameField(dialog) != NULL);
    Send(FileNameField(dialog), WM_SETTEXT, 0, (LPARAM)chosen.c_str());
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    WaitForText(IDC_TARGET, chosen, 10000);
    EXPECT_STRCASEEQ(chosen.c_str(), Text(IDC_TARGET).c_str());

    SetText(IDC_TARGET, "kept as it was");
    PostMessageA(Control(IDC_BROWSE), BM_CLICK, 0, 0);
    dialog = WaitForDialog(Program.dwProcessId, Main, NULL, 10000);
    ASSERT_TRUE(dialog != NULL);
    Send(FileNameField(dialog), WM_SETTEXT, 0, (LPARAM)chosen.c_str());
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    DWORD start = GetTickCount();
    while (IsWindow(dialog) && GetTickCount() - start < 10000)
        PumpUntilSignalled(NULL, 50);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ("kept as it was", Text(IDC_TARGET));
}

TEST_F(RunningProgram, BrowseGivesANameThatOpensWhenItHasCharactersOutsideTheCodePage)
{
    /* "alarm clock" in Cyrillic, which the Western code pages lack. */
    std::wstring name = L"\u0431\u0443\u0434\u0438\u043b\u044c\u043d\u0438\u043a.exe";
    WCHAR folder[MAX_PATH], recorder[MAX_PATH];
    BOOL lost = FALSE;

    MultiByteToWideChar(CP_ACP, 0, TestFolder().c_str(), -1, folder, MAX_PATH);
    MultiByteToWideChar(CP_ACP, 0, Target.Program.c_str(), -1, recorder, MAX_PATH);
    std::wstring chosen = std::wstring(folder) + name;
    char ansi[MAX_PATH * 4];
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, chosen.c_str(), -1, ansi, sizeof ansi, NULL, &lost);
    if (!lost || GetACP() == CP_UTF8)
        GTEST_SKIP() << "this system's code page " << GetACP() << " has those characters";
    ASSERT_TRUE(CopyFileW(recorder, chosen.c_str(), FALSE));

    PostMessageA(Control(IDC_BROWSE), BM_CLICK, 0, 0);
    HWND dialog = WaitForDialog(Program.dwProcessId, Main, NULL, 10000);
    ASSERT_TRUE(dialog != NULL) << "no file dialog came up";
    DWORD_PTR result;
    ASSERT_TRUE(SendMessageTimeoutW(FileNameField(dialog), WM_SETTEXT, 0, (LPARAM)chosen.c_str(), SMTO_NORMAL,
                                    10000, &result));
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    for (DWORD start = GetTickCount(); Text(IDC_TARGET).empty() && GetTickCount() - start < 10000;)
        PumpUntilSignalled(NULL, 50);
    std::string field = Text(IDC_TARGET);
    /* The ANSI name would be "?????????.exe", which names no file. */
    EXPECT_EQ(std::string::npos, field.find('?')) << field;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(field.c_str())) << field;
    Pick(LocalNowPlus(3600));
    FirstArming(IDC_TEST);
    EXPECT_TRUE(PumpUntilSignalled(Target.Opened, 10000)) << "the short name did not open: " << field;
    DeleteFileW(chosen.c_str());
}

/* A target of exactly 1023 characters that names the recorder: its folder,
   then ".\" repeated until the length is right, then its file name. */
static std::string PathOf1023Characters(const std::string &Folder)
{
    std::string padding;
    size_t free = 1023 - Folder.size() - strlen("recorder.exe");

    if (free % 2)
        padding = ".\\\\";  /* a doubled separator counts once */
    while (padding.size() < free)
        padding += ".\\";
    return Folder + padding + "recorder.exe";
}

TEST_F(RunningProgram, LongTargetOpensAsItsFirst1023Characters)
{
    std::string path = PathOf1023Characters(TestFolder());
    std::string target = path + std::string(500, 'x');

    ASSERT_EQ(1023u, path.size());
    SetText(IDC_TARGET, target);
    ASSERT_EQ(target, Text(IDC_TARGET));
    Pick(LocalNowPlus(3600));
    FirstArming(IDC_TEST);
    /* The whole text names no file; only its first 1023 characters do. */
    ASSERT_TRUE(PumpUntilSignalled(Target.Opened, 10000)) << "the target was not opened as its first 1023 characters";
    EXPECT_FALSE(PumpUntilSignalled(Target.Opened, 1000));
    EXPECT_EQ(target, Text(IDC_TARGET));
}

/* Registers a web address scheme whose handler is the recorder. */
static void RegisterTestScheme(const std::string &Recorder)
{
    HKEY key;
    std::string command = "\"" + Recorder + "\" %1";

    RegCreateKeyExA(HKEY_CLASSES_ROOT, "x-tarrowick-test", 0, NULL, 0, KEY_WRITE, NULL, &key, NULL);
    RegSetValueExA(key, "URL Protocol", 0, REG_SZ, (const BYTE *)"", 1);
    RegCloseKey(key);
    RegCreateKeyExA(HKEY_CLASSES_ROOT, "x-tarrowick-test\\shell\\open\\command", 0, NULL, 0, KEY_WRITE, NULL, &key, NULL);
    RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)command.c_str(), (DWORD)command.size() + 1);
    RegCloseKey(key);
}

/* A copy of the recorder at a path with spaces and a character of the ANSI
   code page beyond ASCII ("\xE9", e acute in the Western code pages). */
static std::string AwkwardRecorderPath(const Recorder &Target)
{
    std::string folder = TestFolder() + "dir with spaces \xE9";
    std::string copy = folder + "\\rec \xE9.exe";

    CreateDirectoryA(folder.c_str(), NULL);
    CopyFileA(Target.Program.c_str(), copy.c_str(), FALSE);
    return copy;
}

struct BadTarget {
    const char *What;
    std::string Text;
    bool Opens;          /* the recorder runs; else Tarrowick rings its own sound */
    const char *Reason;  /* what the box says, for one that does not open */
};

TEST_F(RunningProgram, BadTargetsHaveClearOutcomes)
{
    std::string path = PathOf1023Characters(TestFolder());
    std::string awkward = AwkwardRecorderPath(Target);
    /* Minute and second of one digit each, so the status shows their padding. */
    SYSTEMTIME now = LocalNowPlus(0), picked = now;
    picked.wHour = 6;
    picked.wMinute = 5;
    picked.wSecond = 3;
    picked.wMilliseconds = 0;
    unsigned days = FileTimeOf(picked) <= FileTimeOf(now) ? 1 : 0;
    std::string unknown = TestFolder() + "song.tarrowick-unknown";
    const BadTarget cases[] = {
        { "empty", "", false, "The File / URL field is empty." },
        { "one character", "x", false, "There is no such file." },
        { "1023 characters", path, true, NULL },
        { "1024 characters", path + "x", true, NULL },
        { "30,000 characters", path + std::string(30000 - 1023, 'x'), true, NULL },
        { "spaces and non-ASCII", awkward, true, NULL },
        { "quoted path", "\"" + awkward + "\"", true, NULL },
        { "missing file", TestFolder() + "no such song.mp3", false, "There is no such file." },
        { "unknown kind", unknown, false, "No program is set up to open this kind of file." },
        { "web address", "x-tarrowick-test://example.com/radio?station=1", true, NULL },
    };

    ASSERT_NE(0xFFFFFFFFu, GetFileAttributesA(awkward.c_str()));
    CloseHandle(CreateFileA(unknown.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    RegisterTestScheme(Target.Program);
    Pick(picked);
    SetText(IDC_TARGET, Target.Program);
    FirstArming(IDC_TEST);
    ASSERT_TRUE(PumpUntilSignalled(Target.Opened, 10000));
    for (const BadTarget &bad : cases) {
        SetText(IDC_TARGET, bad.Text);
        EXPECT_EQ(bad.Text.size(), (size_t)Send(Control(IDC_TARGET), WM_GETTEXTLENGTH, 0, 0)) << bad.What;
        SetText(IDC_STATUS, "");
        /* Posted: a box that does come up holds the window thread until answered. */
        PostMessageA(Control(IDC_TEST), BM_CLICK, 0, 0);
        HWND owner = NULL;
        std::string box = AnswerBox(Program.dwProcessId, Main, NULL, bad.Opens ? 1500 : 10000, &owner);
        EXPECT_EQ(bad.Opens, (bool)PumpUntilSignalled(Target.Opened, bad.Opens ? 10000 : 500)) << bad.What;
        if (bad.Opens) {
            EXPECT_EQ("", box) << bad.What << ": a box came up";
        } else {
            /* It says what and why, and the alarm rings Tarrowick's own sound. */
            EXPECT_EQ(Main, owner) << bad.What;
            EXPECT_NE(std::string::npos, box.find(bad.Reason)) << bad.What << ": " << box;
            EXPECT_NE(std::string::npos, box.find(bad.Text.empty() ? "(nothing)" : bad.Text)) << box;
        }
        /* Whatever the shell made of it, the alarm is armed and the program answers. */
        EXPECT_TRUE(WaitForText(IDC_STATUS, StatusFor(picked, days), 5000)) << bad.What;
        EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(Program.hProcess, 0)) << bad.What;
    }
    EXPECT_FALSE(PumpUntilSignalled(Target.Opened, 1500)) << "a late opening";
    DeleteFileA(unknown.c_str());
}

TEST_F(RunningProgram, ActivateWithAMissingFileWarnsAfterTheWakeWarningAndStaysArmed)
{
    std::string missing = TestFolder() + "Music\\moved away.mp3";
    SYSTEMTIME due = LocalNowPlus(3600);
    HWND owner = NULL;

    SetText(IDC_TARGET, missing);
    Pick(due);
    PostMessageA(Control(IDC_TOGGLE), BM_CLICK, 0, 0);
    if (RunningUnderWine()) {
        /* The wake warning first; the target's warning only once it is answered. */
        ASSERT_TRUE(WaitForDialog(Program.dwProcessId, Main, "Tarrowick will not wake this computer", 10000));
        EXPECT_EQ(NULL, WaitForDialog(Program.dwProcessId, Main, "Tarrowick: the alarm's target is missing", 1000))
            << "two boxes at once";
        AnswerBox(Program.dwProcessId, Main, "Tarrowick will not wake this computer", 1000);
    }
    std::string text = AnswerBox(Program.dwProcessId, Main, "Tarrowick: the alarm's target is missing", 10000, &owner);
    EXPECT_EQ(Main, owner);
    EXPECT_NE(std::string::npos, text.find("does not exist:\n\n" + missing + "\n")) << text;
    EXPECT_EQ(StatusFor(due, 0), Text(IDC_STATUS)) << "the alarm is still set";
    EXPECT_EQ("Deactivate Alarm", Text(IDC_TOGGLE));
}

/* Under a moved clock: tests/moved_clock_test.sh starts Wine with every
   clock of its processes, the server's timers included, set to just before
   a change of daylight saving time in Europe/Berlin, and names the file that
   holds the offset.  Expected texts are written out, not formatted here. */
class MovedClock : public RunningProgram {
protected:
    void SetUp() override
    {
        if (!getenv("MOVED_CLOCK_FILE"))
            GTEST_SKIP() << "run by moved_clock_test.sh";
        RunningProgram::SetUp();
    }

    /* Asserts that the local clock reads Date at Hour:Minute, and returns the seconds past it. */
    void ExpectClockNear(WORD Year, WORD Month, WORD Day, WORD Hour, WORD Minute)
    {
        SYSTEMTIME utc, now;

        /* Read as the program reads it: under a moved clock in summer time,
           Wine's GetLocalTime gives the winter offset. */
        GetSystemTime(&utc);
        SystemTimeToTzSpecificLocalTime(NULL, &utc, &now);
        ASSERT_TRUE(now.wYear == Year && now.wMonth == Month && now.wDay == Day && now.wHour == Hour
                    && now.wMinute == Minute)
            << "the clock is not moved: " << now.wYear << "-" << now.wMonth << "-" << now.wDay << " "
            << now.wHour << ":" << now.wMinute;
    }

    /* The opening comes at DueUtc, not before and less than a second after. */
    void ExpectOpeningAt(const SYSTEMTIME &DueUtc, DWORD Timeout)
    {
        ASSERT_TRUE(PumpUntilSignalled(Target.Opened, Timeout)) << "the alarm did not ring";
        EXPECT_FALSE(PumpUntilSignalled(Target.Opened, 1500)) << "it rang twice";
        std::vector<ULONGLONG> openings = Openings();
        ASSERT_EQ(1u, openings.size());
        ULONGLONG due = FileTimeOf(DueUtc) / 10000;
        printf("rang %lld ms after %u:%02u:%02u UTC\n", (LONGLONG)(openings[0] - due), DueUtc.wHour, DueUtc.wMinute,
               DueUtc.wSecond);
        EXPECT_GE(openings[0] + 50, due) << "rang early";
        EXPECT_LT(openings[0], due + 1000) << "rang " << (LONGLONG)(openings[0] - due) << " ms late";
    }

    /* Activates Picked, which must read Status, ring at RingsUtc and then read Next. */
    void ExpectRingsAcrossTheChange(const SYSTEMTIME &Picked, const char *Status, const SYSTEMTIME &RingsUtc,
                                    const char *Next)
    {
        SetText(IDC_TARGET, Target.Program);
        Pick(Picked);
        FirstArming(IDC_TOGGLE);
        EXPECT_EQ(Status, Text(IDC_STATUS));
        ExpectOpeningAt(RingsUtc, 90000);
        EXPECT_TRUE(WaitForText(IDC_STATUS, Next, 5000)) << Text(IDC_STATUS);
    }

    /* Moves the clock of every Wine process on to the UTC moment Utc. */
    void MoveClockTo(const SYSTEMTIME &Utc)
    {
        SYSTEMTIME now;

        GetSystemTime(&now);
        MoveClockOn((int)(((LONGLONG)FileTimeOf(Utc) - (LONGLONG)FileTimeOf(now)) / 10000000));
        /* The library reads the offset again every fifth of a second. */
        PumpUntilSignalled(NULL, 500);
    }

    /* Adds Seconds to the moved clock of every Wine process. */
    void MoveClockOn(int Seconds)
    {
        std::string path = std::string("Z:") + getenv("MOVED_CLOCK_FILE");
        for (char &c : path)
            if (c == '/')
                c = '\\';
        double offset = 0;
        FILE *file = fopen(path.c_str(), "r");
        ASSERT_TRUE(file != NULL) << path;
        ASSERT_EQ(1, fscanf(file, "%lf", &offset));
        fclose(file);
        file = fopen(path.c_str(), "w");
        fprintf(file, "%.0f\n", offset + Seconds);
        fclose(file);
    }
};

TEST_F(MovedClock, SkippedTimeRingsAsTheClocksJumpOverIt)
{
    /* 28 March 2027, 01:59 CET: at 02:00 the clocks go to 03:00. */
    ExpectClockNear(2027, 3, 28, 1, 59);
    /* The next day rings at the picked time again. */
    ExpectRingsAcrossTheChange(MakeTime(2027, 3, 28, 2, 0, 0), "Alarm set for 2027-3-28 3: 0: 0",
                               MakeTime(2027, 3, 28, 1, 0, 0), "Alarm set for 2027-3-29 2: 0: 0");
}

TEST_F(MovedClock, RepeatedTimeLaterInTheSecondPassRingsThatDay)
{
    /* 31 October 2027, 02:58 CET, the second pass of the repeated hour. */
    ExpectClockNear(2027, 10, 31, 2, 58);
    ExpectRingsAcrossTheChange(MakeTime(2027, 10, 31, 2, 59, 30), "Alarm set for 2027-10-31 2:59:30",
                               MakeTime(2027, 10, 31, 1, 59, 30), "Alarm set for 2027-11-1 2:59:30");
}

TEST_F(MovedClock, RangInTheFirstPassRingsNoMoreThatNightWhateverTheClockSays)
{
    /* 31 October 2027, 02:14 CEST: at 03:00 CEST the clocks go back to 02:00 CET. */
    ExpectClockNear(2027, 10, 31, 2, 14);
    ExpectRingsAcrossTheChange(MakeTime(2027, 10, 31, 2, 15, 0), "Alarm set for 2027-10-31 2:15: 0",
                               MakeTime(2027, 10, 31, 0, 15, 0), "Alarm set for 2027-11-1 2:15: 0");
    /* On to 02:14:30 CET, in the second pass, and a time sync or a resume
       says the clock changed: 02:15 shows again in 30 s, and must not ring. */
    MoveClockTo(MakeTime(2027, 10, 31, 1, 14, 30));
    ExpectClockNear(2027, 10, 31, 2, 14);
    Send(Main, WM_TIMECHANGE, 0, 0);
    EXPECT_EQ("Alarm set for 2027-11-1 2:15: 0", Text(IDC_STATUS));
    EXPECT_FALSE(PumpUntilSignalled(Target.Opened, 45000)) << "it rang a second time that night";
}

TEST_F(MovedClock, SetInTheFirstPassForATimeEarlierInItRingsAtItsSecondShowing)
{
    /* 31 October 2027, 02:59 CEST, late in the first pass of the repeated hour. */
    ExpectClockNear(2027, 10, 31, 2, 59);
    ExpectRingsAcrossTheChange(MakeTime(2027, 10, 31, 2, 0, 10), "Alarm set for 2027-10-31 2: 0:10",
                               MakeTime(2027, 10, 31, 1, 0, 10), "Alarm set for 2027-11-1 2: 0:10");
}

TEST_F(MovedClock, AlarmSleptThroughIsReportedNotPlayed)
{
    SYSTEMTIME due = LocalNowPlus(20);
    char expected[64];

    SetText(IDC_TARGET, Target.Program);
    Pick(due);
    FirstArming(IDC_TOGGLE);
    due.wMilliseconds = 0;
    ASSERT_EQ(StatusFor(due, 0), Text(IDC_STATUS));
    /* Twenty minutes pass in an instant, as for a computer that slept through it. */
    MoveClockOn(20 * 60);
    HWND owner = NULL;
    std::string text = AnswerBox(Program.dwProcessId, Main, "Tarrowick: alarm missed", 60000, &owner);
    ASSERT_FALSE(text.empty()) << "no missed-alarm box; status " << Text(IDC_STATUS);
    EXPECT_EQ(Main, owner);
    snprintf(expected, sizeof expected, "The alarm set for %u-%u-%u %u:%2u:%2u was missed", due.wYear, due.wMonth,
             due.wDay, due.wHour, due.wMinute, due.wSecond);
    EXPECT_EQ(0u, text.find(expected)) << text;
    EXPECT_FALSE(PumpUntilSignalled(Target.Opened, 3000)) << "a missed alarm was played";
    EXPECT_EQ(StatusFor(due, 1), Text(IDC_STATUS)) << "the next day is not armed";
}

/* A copy of the program run from a folder that holds DLLs of ours named as
   DLLs it or the system loads, as a downloads folder may; its working folder
   holds them too.  Wine is told to prefer such native DLLs for this program,
   as Windows' own search does for every DLL outside KnownDLLs.  None may be
   loaded while the window starts, arms, fires a Test, rings its own sound
   and opens Browse. */
/* Takes the overrides away and ends the copy, however the test ends. */
struct PlantedRun {
    const char *Overrides;
    PROCESS_INFORMATION Copy;
    ~PlantedRun()
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, Overrides);
        if (Copy.hProcess) {
            if (WaitForSingleObject(Copy.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(Copy.hProcess, 99);
            CloseHandle(Copy.hProcess);
            CloseHandle(Copy.hThread);
        }
    }
};

TEST_F(RunningProgram, DllsBesideTheProgramOrInItsWorkingFolderAreNeverLoaded)
{
    const char *names[] = { "comctl32", "powrprof", "uxtheme", "winmm" };
    const char *overrides = "Software\\Wine\\AppDefaults\\tarrowick.exe\\DllOverrides";
    std::string folder = TestFolder() + "planted\\", work = folder + "work\\", exe = folder + "tarrowick.exe";
    PlantedRun run = { overrides, {} };
    PROCESS_INFORMATION &copy = run.Copy;
    HKEY key;

    CreateDirectoryA(folder.c_str(), NULL);
    CreateDirectoryA(work.c_str(), NULL);
    ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), exe.c_str(), FALSE));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, overrides, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL));
    for (const char *name : names) {
        for (const std::string &where : { folder, work }) {
            std::string dll = where + name + ".dll";
            ASSERT_TRUE(CopyFileA((TestFolder() + "planted.dll").c_str(), dll.c_str(), FALSE));
            DeleteFileA((dll + ".loaded").c_str());
        }
        RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)"native,builtin", 15);
    }
    RegCloseKey(key);

    HWND main = LaunchProgram(&copy, exe.c_str(), work.c_str());
    ASSERT_TRUE(main != NULL) << "no window: comctl32.dll from the program's folder was loaded? "
                              << (GetFileAttributesA((folder + "comctl32.dll.loaded").c_str()) != INVALID_FILE_ATTRIBUTES);
    char name[64] = "";
    GetClassNameA(GetDlgItem(main, IDC_TIME), name, sizeof name);
    EXPECT_STREQ("SysDateTimePick32", name) << "the window has no time picker";
    SendMessageTimeoutA(GetDlgItem(main, IDC_TARGET), WM_SETTEXT, 0, (LPARAM)Target.Program.c_str(), SMTO_NORMAL, 10000, NULL);
    PressAndAnswerWakeWarning(main, copy.dwProcessId, IDC_TEST, RunningUnderWine() ? 10000 : 2000);
    EXPECT_TRUE(PumpUntilSignalled(Target.Opened, 10000)) << "the Test did not open the target";
    /* A Test that opens nothing rings Tarrowick's own sound, through winmm. */
    SendMessageTimeoutA(GetDlgItem(main, IDC_TARGET), WM_SETTEXT, 0, (LPARAM)"", SMTO_NORMAL, 10000, NULL);
    PostMessageA(GetDlgItem(main, IDC_TEST), BM_CLICK, 0, 0);
    EXPECT_NE("", AnswerBox(copy.dwProcessId, main, "Tarrowick could not open the alarm's target", 10000));
    PostMessageA(GetDlgItem(main, IDC_BROWSE), BM_CLICK, 0, 0);
    HWND dialog = WaitForDialog(copy.dwProcessId, main, NULL, 10000);
    EXPECT_TRUE(dialog != NULL) << "no file dialog came up";
    if (dialog)
        PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    for (DWORD start = GetTickCount(); dialog && IsWindow(dialog) && GetTickCount() - start < 10000;)
        PumpUntilSignalled(NULL, 50);
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(copy.hProcess, 10000));

    for (const char *name : names)
        for (const std::string &where : { folder, work })
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((where + name + ".dll.loaded").c_str()))
                << where << name << ".dll was loaded";
}
