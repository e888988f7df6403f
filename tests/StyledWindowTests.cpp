// The program in its style: the window and message boxes in the theme's colours, as dialogs to
// screen readers and with the arrow keys, and the builds whose style is missing or cannot be read.

#include "ProgramTest.h"
#include "framework/Application.h"
#include "framework/style/Style.h"

using namespace Testing;

namespace {

const Framework::TStyle& Theme()
{
    static const Framework::TStyle theme = Framework::ParseStyle(ReadBytes(WinePath(THEME_FILE)));
    return theme;
}

POINT OnScreen(HWND Window, POINT ClientPoint)
{
    ClientToScreen(Window, &ClientPoint);
    return ClientPoint;
}

// Boxes go to the middle of the work area of the monitor that holds the window.
void ExpectCentredOnTheMonitorOf(HWND Box, HWND Window)
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(Window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        ADD_FAILURE() << "no monitor for the window";
        return;
    }
    const RECT& work = monitor.rcWork;
    RECT box;
    GetWindowRect(Box, &box);
    EXPECT_EQ(box.left, work.left + (work.right - work.left - (box.right - box.left)) / 2);
    EXPECT_EQ(box.top, work.top + (work.bottom - work.top - (box.bottom - box.top)) / 2);
}

UINT ButtonType(HWND Button)
{
    return static_cast<UINT>(GetWindowLongW(Button, GWL_STYLE)) & BS_TYPEMASK;
}

TEST_F(Program, TheWindowIsDrawnInTheThemeColours)
{
    SetCursorPos(0, 0);  // away from the buttons, which would show their hot state
    TProgram program(Folder.Path());
    const HWND window = program.WaitForWindow(WindowCaption);
    ASSERT_TRUE(window);
    const auto children = ChildWindows(window);
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(ButtonType(children[2]), static_cast<UINT>(BS_OWNERDRAW));
    EXPECT_EQ(ButtonType(children[3]), static_cast<UINT>(BS_OWNERDRAW));
    Screenshot("window-colours", window);

    // Points at 96 pixels per inch, clear of text and of the rounded corners.
    struct TSample {
        const char* Where;
        POINT At;
        COLORREF Expected;
    };
    const TSample samples[] = {
        {"window background", {10, 10}, Theme().WindowColor},
        {"inside the text box", {96 + 258, 88 + 60}, Theme().TextBoxColor},
        {"text box frame", {96 + 150, 88}, Theme().TextBoxFrame},
        {"focused recovery button", {144 + 2, 200 + 20}, Theme().ButtonColors(Framework::TButtonState::Focused).Face},
        {"close button", {296 + 4, 200 + 20}, Theme().ButtonColors(Framework::TButtonState::Normal).Face},
        {"close button border", {296, 200 + 20}, Theme().ButtonColors(Framework::TButtonState::Normal).Border},
    };
    for (const auto& sample : samples)
        EXPECT_EQ(ScreenshotPixel("window-colours", OnScreen(window, sample.At)), sample.Expected) << sample.Where;

    // With the mouse over it, the close button shows its hot face.
    const POINT closeFace = OnScreen(window, {296 + 4, 200 + 20});
    SetCursorPos(closeFace.x + 40, closeFace.y);
    const COLORREF hot = Theme().ButtonColors(Framework::TButtonState::Hot).Face;
    EXPECT_TRUE(WaitUntil(30000, [&] {
        Screenshot("window-hot", window);
        return ScreenshotPixel("window-hot", closeFace) == hot;
    })) << "no hot state";
    SetCursorPos(0, 0);

    PressKeys(window, {VK_F4}, true);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST_F(Program, TheStyledConfirmationIsModalCentredAndAnswersEscCloseAndAltY)
{
    InstallUpdateGoneWrong();
    const TWinEvents windowStarted(EVENT_SYSTEM_DIALOGSTART), windowEnded(EVENT_SYSTEM_DIALOGEND);
    TProgram program(Folder.Path());
    const HWND window = program.WaitForWindow(WindowCaption);
    ASSERT_TRUE(window);
    // The window too is a dialog to screen readers, announced as it opens.
    EXPECT_EQ(ClassOf(window), L"#32770");
    EXPECT_TRUE(windowStarted.WaitFor(window)) << "the window was not announced";
    EXPECT_EQ(AccessibleName(window), WindowCaption);

    for (const bool byClose : {false, true}) {
        SCOPED_TRACE(byClose ? "title-bar close" : "Esc");
        const TWinEvents started(EVENT_SYSTEM_DIALOGSTART), ended(EVENT_SYSTEM_DIALOGEND);
        PressKeys(window, {'R'});
        const HWND confirm = program.WaitForWindow(ConfirmCaption);
        ASSERT_TRUE(confirm);
        // A dialog to screen readers, announced as it opens; its buttons drawn in the style.
        EXPECT_EQ(ClassOf(confirm), L"#32770");
        ASSERT_TRUE(GetDlgItem(confirm, IDYES));
        EXPECT_EQ(ButtonType(GetDlgItem(confirm, IDYES)), static_cast<UINT>(BS_OWNERDRAW));
        EXPECT_TRUE(started.WaitFor(confirm)) << "the box was not announced";
        EXPECT_EQ(AccessibleName(confirm), ConfirmCaption);
        EXPECT_EQ(GetWindow(confirm, GW_OWNER), window);
        EXPECT_FALSE(IsWindowEnabled(window)) << "the window must wait for the answer";
        EXPECT_EQ(FocusOf(confirm), GetDlgItem(confirm, IDYES));
        EXPECT_NE(AllTexts(confirm).find(L"はい(&Y)\nキャンセル"), std::wstring::npos);
        ExpectCentredOnTheMonitorOf(confirm, window);
        // The arrow keys go round the buttons, as in Windows' own boxes.
        struct TArrow {
            WORD Key;
            int Focused;
        };
        for (const TArrow arrow : {TArrow{VK_RIGHT, IDCANCEL}, TArrow{VK_RIGHT, IDYES}, TArrow{VK_LEFT, IDCANCEL},
                                   TArrow{VK_UP, IDYES}, TArrow{VK_DOWN, IDCANCEL}}) {
            PressKeys(confirm, {arrow.Key});
            EXPECT_TRUE(WaitUntil(10000, [&] { return FocusOf(confirm) == GetDlgItem(confirm, arrow.Focused); }))
                << "key " << arrow.Key;
        }
        if (byClose)
            PressKeys(confirm, {VK_F4}, true);
        else
            PressKeys(confirm, {VK_ESCAPE});
        EXPECT_TRUE(program.WaitForWindowGone(ConfirmCaption));
        EXPECT_TRUE(ended.WaitFor(confirm)) << "the end of the box was not announced";
        EXPECT_TRUE(IsWindowEnabled(window));
        EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
    }

    PressKeys(window, {'R'});
    const HWND confirm = program.WaitForWindow(ConfirmCaption);
    ASSERT_TRUE(confirm);
    PressKeys(confirm, {'Y'}, true);
    const HWND done = program.WaitForWindow(PlainCaption);
    ASSERT_TRUE(done);
    EXPECT_EQ(ClassOf(done), L"#32770");
    EXPECT_EQ(ReadBytes(Exe()), ReadBytes(Backup()));
    ExpectCentredOnTheMonitorOf(done, window);
    PressKeys(done, {VK_ESCAPE});  // the one OK button is also the cancel button
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_TRUE(windowEnded.WaitFor(window)) << "the end of the window was not announced";
    EXPECT_TRUE(WaitForFile(Marker()));
}

TEST_F(Program, TheStyledConfirmationKeepsTheFocusedButtonWhenTheUserSwitchesAwayAndBack)
{
    InstallUpdateGoneWrong();
    TProgram program(Folder.Path());
    const HWND confirm = OpenConfirmation(program);
    ASSERT_TRUE(confirm);
    const HWND window = program.WaitForWindow(WindowCaption);
    const HWND cancel = GetDlgItem(confirm, IDCANCEL);
    PressKeys(confirm, {VK_TAB});
    ASSERT_TRUE(WaitUntil(10000, [&] { return FocusOf(confirm) == cancel; }));

    {
        TOtherWindow other;
        ASSERT_TRUE(other.Activate(other.Handle())) << "could not switch away";
        ASSERT_TRUE(other.Activate(confirm)) << "could not switch back";
        EXPECT_TRUE(WaitUntil(10000, [&] {
            other.Pump();
            return FocusOf(confirm) == cancel;
        })) << "the focus did not come back to キャンセル";
    }
    PressKeys(confirm, {VK_RETURN});
    EXPECT_TRUE(program.WaitForWindowGone(ConfirmCaption));

    // Cancel: nothing changed and the window is still there to be closed.
    PressKeys(window, {'X'}, true);
    EXPECT_EQ(program.WaitForExit(), 0u) << "still running: Enter answered Yes and the done box is up";
    EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
    EXPECT_FALSE(Exists(Marker()));
}

TEST_F(Program, WithoutItsStyleItSaysSoAndRecoversInTheStandardLook)
{
    InstallUpdateGoneWrong();
    TProgram program(Folder.Path(), TALVORECMAX_NOSTYLE_EXE);
    const HWND error = program.WaitForWindow(L"エラー");
    ASSERT_TRUE(error) << "no missing-style box";
    EXPECT_NE(AllTexts(error).find(L"スタイル 'Amethyst Kamri' が見つかりません"), std::wstring::npos);
    EXPECT_NE(AllTexts(error).find(L"閉じる(&C)"), std::wstring::npos);
    EXPECT_FALSE(program.WaitForWindow(WindowCaption, 0)) << "the box comes before the window";
    Screenshot("missing-style", error);
    PressKeys(error, {VK_RETURN});

    const HWND window = program.WaitForWindow(WindowCaption);
    ASSERT_TRUE(window);
    const auto children = ChildWindows(window);
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(ButtonType(children[2]), static_cast<UINT>(BS_PUSHBUTTON));
    Screenshot("window-standard", window);
    PressKeys(window, {'R'});
    const HWND confirm = program.WaitForWindow(ConfirmCaption);
    ASSERT_TRUE(confirm);
    ASSERT_TRUE(GetDlgItem(confirm, IDYES));
    EXPECT_NE(ButtonType(GetDlgItem(confirm, IDYES)), static_cast<UINT>(BS_OWNERDRAW))
        << "the system's task dialog without a style";
    PressKeys(confirm, {'Y'});
    const HWND done = program.WaitForWindow(PlainCaption);
    ASSERT_TRUE(done);
    EXPECT_EQ(ReadBytes(Exe()), ReadBytes(Backup()));
    PressKeys(done, {VK_RETURN});
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_TRUE(WaitForFile(Marker()));
}

TEST_F(Program, WithAStyleItCannotReadItEndsWithTheFatalReportAndNoWindow)
{
    InstallUpdateGoneWrong();
    TProgram program(Folder.Path(), TALVORECMAX_BADSTYLE_EXE);
    const HWND report = program.WaitForWindow(PlainCaption);
    ASSERT_TRUE(report) << "no fatal-error report";
    EXPECT_NE(AllTexts(report).find(L"予期しないエラーが発生したため、プログラムを終了します。"), std::wstring::npos);
    EXPECT_NE(AllTexts(report).find(L"スタイル 'AMETHYSTKAMRI' を読み込めません\r\nline 2: bad colour \"#F2EDF\""),
              std::wstring::npos);
    EXPECT_FALSE(program.WaitForWindow(WindowCaption, 0));
    Screenshot("unreadable-style", report);
    PressKeys(report, {VK_RETURN});
    const DWORD exitCode = program.WaitForExit();
    EXPECT_NE(exitCode, 0u);
    EXPECT_NE(exitCode, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(exitCode, static_cast<DWORD>(Framework::FatalExitCode));
    EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
}

}  // namespace
