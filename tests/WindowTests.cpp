// The real Talvorecmax.exe in a temporary install folder, driven with the keyboard.

#include "ProgramTest.h"
#include "framework/Controls.h"
#include "framework/Handle.h"
#include "framework/style/StyledBox.h"
#include "recovery/Replace.h"
#include "recovery/TalvoRec.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>

using namespace Testing;

namespace {

TEST_F(Program, RecoveryWithYesRestoresClosesAndStartsTheRestoredApplication)
{
    // Whatever it is started with, the program shows the same window and does the same.
    struct TArguments {
        const char* Name;
        std::wstring Line;
    };
    const TArguments arguments[] = {
        {"no arguments", L""},
        {"a request for help", L"/?"},
        {"a path", L"\"" + Backup() + L"\""},
        {"a long string", std::wstring(10000, L'x')},
    };
    std::wstring firstTexts;
    for (const TArguments& started : arguments) {
        SCOPED_TRACE(started.Name);
        const bool first = started.Line.empty();
        InstallUpdateGoneWrong();
        DeleteFileW(Marker().c_str());
        TProgram program(Folder.Path(), TALVORECMAX_EXE, started.Line);
        const HWND window = program.WaitForWindow(WindowCaption);
        ASSERT_TRUE(window);
        if (first)
            firstTexts = AllTexts(window);
        EXPECT_EQ(AllTexts(window), firstTexts);
        PressKeys(window, {VK_RETURN});  // the focused recovery button
        const HWND confirm = program.WaitForWindow(ConfirmCaption);
        ASSERT_TRUE(confirm) << "no confirmation box";
        EXPECT_NE(AllTexts(confirm).find(L"直前のバージョンに戻しますか？"), std::wstring::npos);
        EXPECT_EQ(ReadBytes(Exe()), BrokenExe) << "changed before the answer";
        if (first)
            Screenshot("confirmation", confirm);

        PressKeys(confirm, {'Y'});
        const HWND done = program.WaitForWindow(PlainCaption);
        ASSERT_TRUE(done) << "no done box";
        EXPECT_NE(AllTexts(done).find(L"完了しました。タルボソフトを起動します。"), std::wstring::npos);
        EXPECT_EQ(ReadBytes(Exe()), ReadBytes(Backup()));
        if (first)
            Screenshot("done", done);

        PressKeys(done, {VK_RETURN});
        EXPECT_EQ(program.WaitForExit(), 0u);
        ASSERT_TRUE(WaitForFile(Marker())) << "the restored application was not started";
        // Started once, by its quoted path alone: nothing of our own command line is passed on.
        EXPECT_EQ(Starts(), L"\"" + Exe() + L"\"\n");
        // The next row replaces the executable, which cannot be done while it runs.
        EXPECT_TRUE(WaitUntil(30000, [&] { return !MainApplicationRunning(); }));
    }
}

TEST_F(Program, ARestoredApplicationThatCannotStartIsReportedAndTheProgramStillEnds)
{
    InstallUpdateGoneWrong();
    TProgram program(Folder.Path());
    const HWND confirm = OpenConfirmation(program);
    ASSERT_TRUE(confirm);
    PressKeys(confirm, {'Y'});
    const HWND done = program.WaitForWindow(PlainCaption);
    ASSERT_TRUE(done);
    EXPECT_EQ(ReadBytes(Exe()), ReadBytes(Backup()));
    // Something removes the restored application before the window closes: it cannot start.
    ASSERT_TRUE(DeleteFileW(Exe().c_str()));
    PressKeys(done, {VK_RETURN});

    // The done box goes, the close query's start fails and the standard error box says so; once it
    // is dismissed the close goes on.
    ASSERT_TRUE(WaitUntil(30000, [&] { return !IsWindow(done); }));
    const HWND error = program.WaitForWindow(PlainCaption);
    ASSERT_TRUE(error) << "no error box";
    EXPECT_NE(AllTexts(error).find(L"Talvomax_64.exe を起動できませんでした。"), std::wstring::npos);
    Screenshot("start-failed", error);
    PressKeys(error, {VK_RETURN});
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_FALSE(Exists(Marker()));
}

TEST_F(Program, CancelByEscChangesNothingAndALaterCloseStartsNothing)
{
    InstallUpdateGoneWrong();
    TProgram program(Folder.Path());
    const HWND confirm = OpenConfirmation(program, true);
    ASSERT_TRUE(confirm);
    const HWND window = program.WaitForWindow(WindowCaption);
    PressKeys(confirm, {VK_ESCAPE});
    EXPECT_TRUE(program.WaitForWindowGone(ConfirmCaption));
    EXPECT_EQ(ReadBytes(Exe()), BrokenExe);

    // Esc on the window does nothing; the window stays.
    PressKeys(window, {VK_ESCAPE});
    PressKeys(window, {'X'}, true);
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_FALSE(MainApplicationRunning());
    EXPECT_FALSE(Exists(Marker()));
    EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
}

// The confirmation-style box of the program whose text holds Text, waited for.
HWND WaitForBox(const TProgram& Program, const std::wstring& Text)
{
    HWND box = nullptr;
    WaitUntil(30000, [&] {
        box = Program.WaitForWindow(ConfirmCaption, 0);
        return box && AllTexts(box).find(Text) != std::wstring::npos;
    });
    return box;
}

TEST_F(Program, TheEndOfTheSessionIsAllowedAndClosesTheWindowOnceTheRecoveryIsDoneOrCancelled)
{
    // When the session ends. A shutdown that goes ahead and one that another program cancelled
    // alike: the window closes, after the recovery under way has finished or been cancelled.
    enum class TWhen { Idle, ConfirmationOpen, WaitingForTheFolder, RunningQuestionOpen };
    struct TCase {
        const char* Name;
        TWhen When;
        WPARAM Ending;
        bool Restores;  // the recovery under way ends with the backup in place, and starts it
        std::string Build = TALVORECMAX_EXE;
        UINT Meanwhile = 0;  // sent while the restore waits, before the session ends
    };
    const TCase cases[] = {
        {"idle, session ends", TWhen::Idle, TRUE, false},
        {"idle, end cancelled", TWhen::Idle, FALSE, false},
        // The question answers Cancel.
        {"confirmation open, end cancelled", TWhen::ConfirmationOpen, FALSE, false},
        {"confirmation open in the system's task dialog", TWhen::ConfirmationOpen, TRUE, false,
         TALVORECMAX_NOSTYLE_EXE},
        {"the question to end a running copy open", TWhen::RunningQuestionOpen, TRUE, false},
        {"the question open in the system's task dialog", TWhen::RunningQuestionOpen, FALSE, false,
         TALVORECMAX_NOSTYLE_EXE},
        // The restore goes on once the folder is let go of, and what it restored is started.
        {"waiting for the folder", TWhen::WaitingForTheFolder, TRUE, true},
        // Another program's close waits for the restore below the end of the session, which must
        // not leave the start to it: Windows may end the process first.
        {"a close waiting already", TWhen::WaitingForTheFolder, TRUE, true, TALVORECMAX_EXE, WM_CLOSE},
        // A screen reader presses the recovery button: no second recovery, and the first goes on.
        {"the recovery button clicked by a message", TWhen::WaitingForTheFolder, FALSE, true, TALVORECMAX_EXE,
         BM_CLICK},
    };
    const std::wstring hung = TestBinaryDir() + L"HoldFile.exe";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        DeleteFileW(Marker().c_str());
        std::unique_ptr<TChildProcess> running;
        Framework::THandle otherRun;
        if (c.When == TWhen::Idle) {
            // A stand-in for the main application that would leave its marker if it were started.
            Require(CopyFileW((TestBinaryDir() + L"MarkerApp.exe").c_str(), Exe().c_str(), FALSE),
                    "installing the application");
        } else {
            InstallUpdateGoneWrong();
        }
        if (c.When == TWhen::RunningQuestionOpen) {
            Require(CopyFileW(hung.c_str(), Exe().c_str(), FALSE), "installing a hung application");
            running = std::make_unique<TChildProcess>(Exe());
        }
        if (c.When == TWhen::WaitingForTheFolder) {
            otherRun.Reset(CreateFileW(TalvoRec::FolderLockName(Exe()).c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW,
                                       FILE_FLAG_DELETE_ON_CLOSE, nullptr));
            ASSERT_TRUE(otherRun);
        }
        const std::string exeBefore = ReadBytes(Exe());
        TProgram program(Folder.Path(), c.Build);
        if (c.Build == TALVORECMAX_NOSTYLE_EXE) {
            const HWND missingStyle = program.WaitForWindow(L"エラー");
            ASSERT_TRUE(missingStyle);
            PressKeys(missingStyle, {VK_RETURN});
        }
        const HWND window = program.WaitForWindow(WindowCaption);
        ASSERT_TRUE(window);
        switch (c.When) {
        case TWhen::Idle:
            break;
        case TWhen::ConfirmationOpen:
            ASSERT_TRUE(OpenConfirmation(program));
            break;
        case TWhen::WaitingForTheFolder:
            ASSERT_TRUE(StartRestore(program));
            ASSERT_TRUE(program.WaitForWindowGone(ConfirmCaption));
            break;
        case TWhen::RunningQuestionOpen:
            ASSERT_TRUE(StartRestore(program));
            ASSERT_TRUE(WaitForBox(program, TalvoRec::RunningText));
            break;
        }

        if (c.Meanwhile == BM_CLICK) {
            EXPECT_TRUE(SendMessageTimeoutW(ChildWindows(window)[2], BM_CLICK, 0, 0, SMTO_NORMAL, 30000, nullptr) &&
                        !program.WaitForWindow(ConfirmCaption, 0))
                << "a second recovery was started";
        } else if (c.Meanwhile) {
            ASSERT_TRUE(SendNotifyMessageW(window, c.Meanwhile, 0, 0));
        }
        DWORD_PTR answer = 0;
        ASSERT_TRUE(
            SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 30000, &answer));
        EXPECT_EQ(answer, 1u) << "the end of the session must be allowed";
        EXPECT_TRUE(IsWindowVisible(window)) << "the question alone closes nothing";
        // As Windows sends it: nobody answers before the program has done with it.
        ASSERT_TRUE(SendNotifyMessageW(window, WM_ENDSESSION, c.Ending, ENDSESSION_CLOSEAPP));
        if (c.When == TWhen::WaitingForTheFolder) {
            // Answered only once the end of the session has been taken in, and is being waited out.
            EXPECT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, nullptr))
                << "the window does not answer while the end of the session waits for the restore";
            EXPECT_TRUE(IsWindow(window)) << "closed in the middle of the restore";
            EXPECT_EQ(ReadBytes(Exe()), exeBefore);
            otherRun.Reset();
        }

        EXPECT_EQ(program.WaitForExit(), 0u);
        if (c.Restores) {
            EXPECT_EQ(ReadBytes(Exe()), ReadBytes(Backup()));
            EXPECT_TRUE(WaitForFile(Marker())) << "the restored application was not started";
            EXPECT_TRUE(WaitUntil(30000, [&] { return !MainApplicationRunning(); }));
            EXPECT_EQ(Starts(), L"\"" + Exe() + L"\"\n") << "not started once";
        } else {
            EXPECT_EQ(ReadBytes(Exe()), exeBefore);
            // Anything it started is still running, or has left its marker.
            if (running) {
                EXPECT_FALSE(running->WaitForExit(0)) << "ended although the question was not answered";
            } else {
                EXPECT_FALSE(MainApplicationRunning());
            }
            EXPECT_FALSE(Exists(Marker()));
        }
    }
}

TEST_F(Program, EscOnTheWindowDoesNothingAndTabAndTheArrowsGoRoundTheButtonsSkippingTheTexts)
{
    TProgram program(Folder.Path());
    const HWND window = program.WaitForWindow(WindowCaption);
    ASSERT_TRUE(window);
    const auto children = ChildWindows(window);
    ASSERT_EQ(children.size(), 4u);
    const HWND recover = children[2], close = children[3];
    EXPECT_EQ(FocusOf(window), recover);

    // Left and Up go back, Right and Down on, round the two buttons as in Windows' own boxes.
    const std::pair<WORD, HWND> keys[] = {{VK_TAB, close},  {VK_TAB, recover},  {VK_RIGHT, close}, {VK_RIGHT, recover},
                                          {VK_LEFT, close}, {VK_LEFT, recover}, {VK_DOWN, close},  {VK_UP, recover}};
    for (const auto& [key, focused] : keys) {
        PressKeys(window, {key});
        EXPECT_TRUE(WaitUntil(10000, [&] { return FocusOf(window) == focused; })) << "key " << key;
    }

    PressKeys(window, {VK_ESCAPE});
    // A key pressed after Esc is handled after it: once "x" has closed the window, Esc had its turn.
    PressKeys(window, {'X'});
    EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST_F(Program, WithoutABackupItSaysSoAndEndsWhicheverWayTheBoxIsDismissed)
{
    WriteBytes(Exe(), BrokenExe);
    struct TDismissal {
        const char* Name;
        WORD Key;
        bool Alt;
    };
    for (const TDismissal& dismiss : {TDismissal{"Enter", VK_RETURN, false}, TDismissal{"Esc", VK_ESCAPE, false},
                                      TDismissal{"title-bar close", VK_F4, true}}) {
        SCOPED_TRACE(dismiss.Name);
        TProgram program(Folder.Path());
        const HWND message = PressRecover(program, PlainCaption);
        ASSERT_TRUE(message);
        // The caption, the text and one OK button.
        EXPECT_EQ(AllTexts(message), PlainCaption + L"\n" + TalvoRec::NoBackupText + L"\nOK");
        if (dismiss.Key == VK_RETURN)
            Screenshot("no-backup", message);

        PressKeys(message, {dismiss.Key}, dismiss.Alt);
        EXPECT_EQ(program.WaitForExit(), 0u);
        EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
        EXPECT_EQ(ListDir(Folder.Path()), (std::vector<std::wstring>{L"Talvomax_64.exe", L"Talvorecmax.exe"}));
    }
}

// The real program verifies a signed backup, with the verifier loaded from the system folder only
// then: one byte of code changed, it is refused as damaged; whole, it is restored and starts.
TEST_F(Program, ASignedBackupIsRefusedWithOneByteChangedAndRestoredWhole)
{
    const TSignedProgram signedProgram = SignedProgram();
    std::string changed = signedProgram.Bytes;
    changed[signedProgram.Code] ^= 0x5A;
    WriteBytes(Exe(), BrokenExe);
    WriteBytes(Backup(), changed);
    {
        TProgram program(Folder.Path());
        const HWND message = PressRecover(program, PlainCaption);
        ASSERT_TRUE(message);
        EXPECT_EQ(AllTexts(message), PlainCaption + L"\n" + TalvoRec::DamagedText + L"\nOK");
        Screenshot("signed-damaged", message);
        PressKeys(message, {VK_RETURN});
        EXPECT_EQ(program.WaitForExit(), 0u);
        EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
    }

    WriteBytes(Backup(), signedProgram.Bytes);
    TProgram program(Folder.Path());
    ASSERT_TRUE(StartRestore(program)) << "the whole signed backup was not offered";
    const HWND done = program.WaitForWindow(PlainCaption);
    ASSERT_TRUE(done);
    EXPECT_EQ(ReadBytes(Exe()), signedProgram.Bytes);
    PressKeys(done, {VK_RETURN});
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_TRUE(WaitForFile(Marker())) << "the restored signed program did not start";
}

// Whether a file in Folder beside the install's own holds the whole Backup with its last-write
// time: a restore's copy, ready to be moved.
bool HoldsAWholeCopy(const std::wstring& Folder, const std::wstring& Backup);

TEST_F(Program, AFailedRestoreShowsTheErrorAndKeepsTheWindowOpen)
{
    InstallUpdateGoneWrong();
    Framework::THandle holder = HoldOpen(Exe());  // for good, by a program that never lets go
    TProgram program(Folder.Path());
    const HWND confirm = OpenConfirmation(program);
    ASSERT_TRUE(confirm);
    const HWND window = program.WaitForWindow(WindowCaption);
    PressKeys(confirm, {VK_RETURN});
    const ULONGLONG answered = GetTickCount64();
    // The lock is waited out for a few seconds, then reported. Meanwhile the window answers whoever
    // asks whether it responds.
    ASSERT_TRUE(WaitUntil(30000, [&] { return HoldsAWholeCopy(Folder.Path(), Backup()); })) << "no whole copy was made";
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, nullptr) && !IsHungAppWindow(window))
        << "no answer within a second while the restore waits";
    const HWND error = program.WaitForWindow(PlainCaption, 15000);
    ASSERT_TRUE(error) << "no error box";
    std::cout << "error box " << GetTickCount64() - answered << " ms after the answer\n";
    EXPECT_NE(AllTexts(error).find(L"Talvomax_64.exe を直前のバージョンに戻せませんでした。"), std::wstring::npos);
    EXPECT_EQ(AllTexts(error).find(L"完了しました"), std::wstring::npos);
    Screenshot("restore-failed", error);

    PressKeys(error, {VK_RETURN});
    EXPECT_TRUE(program.WaitForWindowGone(PlainCaption));
    // The program answers a message once the error box is done with, and the window is still there.
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, nullptr) && IsWindowVisible(window))
        << "the window should stay open";
    holder.Reset();
    EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
    EXPECT_EQ(ListDir(Folder.Path()),
              (std::vector<std::wstring>{L"Talvomax_64.bak", L"Talvomax_64.exe", L"Talvorecmax.exe"}));
    PressKeys(window, {'X'}, true);
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_FALSE(Exists(Marker()));
}

// Whether a file in Folder beside the install's own holds the whole Backup with its last-write
// time: a restore's copy, ready to be moved.
bool HoldsAWholeCopy(const std::wstring& Folder, const std::wstring& Backup)
{
    WIN32_FILE_ATTRIBUTE_DATA backup{};
    if (!GetFileAttributesExW(Backup.c_str(), GetFileExInfoStandard, &backup))
        return false;
    for (const std::wstring& name : ListDir(Folder)) {
        WIN32_FILE_ATTRIBUTE_DATA copy{};
        if (name.find(L".~talvorec-") != std::wstring::npos &&
            GetFileAttributesExW((Folder + name).c_str(), GetFileExInfoStandard, &copy) &&
            copy.nFileSizeLow == backup.nFileSizeLow &&
            CompareFileTime(&copy.ftLastWriteTime, &backup.ftLastWriteTime) == 0)
            return true;
    }
    return false;
}

TEST_F(Program, AnExecutableHeldForAMomentIsRestoredOnceItIsLetGo)
{
    InstallUpdateGoneWrong();
    Framework::THandle scanner = HoldOpen(Exe());  // a scanner looking at the file
    TProgram program(Folder.Path());
    ASSERT_TRUE(StartRestore(program));
    // The copy is given the backup's times last, just before it is moved over the executable: from
    // then on the restore is waiting for the scanner, which lets go.
    ASSERT_TRUE(WaitUntil(30000, [&] { return HoldsAWholeCopy(Folder.Path(), Backup()); })) << "no whole copy was made";
    scanner.Reset();
    const ULONGLONG released = GetTickCount64();

    const HWND done = program.WaitForWindow(PlainCaption);
    ASSERT_TRUE(done);
    std::cout << "done box " << GetTickCount64() - released << " ms after the lock went\n";
    EXPECT_NE(AllTexts(done).find(TalvoRec::DoneText), std::wstring::npos) << "not the done box";
    EXPECT_EQ(ReadBytes(Exe()), ReadBytes(Backup()));
    PressKeys(done, {VK_RETURN});
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_TRUE(WaitForFile(Marker()));
}

TEST_F(Program, ARunningApplicationIsEndedOnlyWithConsentAndOnlyFromThisFolder)
{
    InstallUpdateGoneWrong();
    // Stand-ins for a hung application: one from this folder, one of the same name elsewhere.
    const std::wstring hung = TestBinaryDir() + L"HoldFile.exe";
    TTempDir elsewhere;
    ASSERT_TRUE(CopyFileW(hung.c_str(), Exe().c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(hung.c_str(), (elsewhere.Path() + L"Talvomax_64.exe").c_str(), FALSE));
    const std::string running = ReadBytes(Exe());
    TChildProcess here(Exe()), there(elsewhere.Path() + L"Talvomax_64.exe");

    // Cancel, the question's default, by Enter pressed at once (in the system's task dialog too,
    // without the style) and by Esc: nothing changes and both keep running.
    // A key typed ahead, while the restore waits for the folder, is no answer: Esc answers then.
    struct TCancel {
        const char* Name;
        std::string Build;
        WORD Key;
        WORD TypedAhead = 0;
    };
    for (const TCancel& cancel :
         {TCancel{"Enter, no style", TALVORECMAX_NOSTYLE_EXE, VK_RETURN}, TCancel{"Enter", TALVORECMAX_EXE, VK_RETURN},
          TCancel{"Esc", TALVORECMAX_EXE, VK_ESCAPE}, TCancel{"Y typed ahead", TALVORECMAX_EXE, VK_ESCAPE, 'Y'}}) {
        SCOPED_TRACE(cancel.Name);
        Framework::THandle otherRun(cancel.TypedAhead
                                        ? CreateFileW(TalvoRec::FolderLockName(Exe()).c_str(), GENERIC_READ, 0, nullptr,
                                                      CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr)
                                        : nullptr);
        TProgram program(Folder.Path(), cancel.Build);
        if (cancel.Build == TALVORECMAX_NOSTYLE_EXE) {
            const HWND missingStyle = program.WaitForWindow(L"エラー");
            ASSERT_TRUE(missingStyle);
            PressKeys(missingStyle, {VK_RETURN});
        }
        ASSERT_TRUE(otherRun || !cancel.TypedAhead);
        const HWND confirm = OpenConfirmation(program);
        ASSERT_TRUE(confirm);
        cancel.TypedAhead ? PressKeys(confirm, {'Y', cancel.TypedAhead}) : PressKeys(confirm, {'Y'});
        otherRun.Reset();
        const HWND question = WaitForBox(program, TalvoRec::RunningText);
        ASSERT_TRUE(question) << "the running application was not named";
        PressKeys(question, {cancel.Key});
        EXPECT_TRUE(program.WaitForWindowGone(ConfirmCaption));
        EXPECT_FALSE(here.WaitForExit(0)) << "ended without consent";
        EXPECT_EQ(ReadBytes(Exe()), running);
        const HWND window = program.WaitForWindow(WindowCaption, 0);
        ASSERT_TRUE(window) << "the window should stay open";
        // Keys typed before the work has ended are dropped; a close is not.
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(program.WaitForExit(), 0u);
    }

    // Yes, by Y although キャンセル has the focus: the one from this folder is ended and the
    // restored application starts.
    TProgram program(Folder.Path());
    ASSERT_TRUE(StartRestore(program));
    const HWND question = WaitForBox(program, TalvoRec::RunningText);
    ASSERT_TRUE(question);
    EXPECT_EQ(FocusOf(question), GetDlgItem(question, IDCANCEL));
    // What a screen reader reads: the dialog's caption, then the question in its text.
    EXPECT_EQ(AccessibleName(question), ConfirmCaption);
    EXPECT_EQ(AccessibleName(GetWindow(question, GW_CHILD)), TalvoRec::RunningText);
    Screenshot("running", question);
    PressKeys(question, {'Y'});
    const HWND done = program.WaitForWindow(PlainCaption);
    ASSERT_TRUE(done);
    EXPECT_TRUE(here.WaitForExit(10000)) << "the running application was not ended";
    EXPECT_FALSE(there.WaitForExit(0)) << "a program of the same name elsewhere was ended";
    EXPECT_EQ(ReadBytes(Exe()), ReadBytes(Backup()));
    PressKeys(done, {VK_RETURN});
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_TRUE(WaitForFile(Marker())) << "the restored application was not started";
}

TEST_F(Program, ACopyRunningThroughAnotherDriveLetterForTheFolderIsAskedAbout)
{
    InstallUpdateGoneWrong();
    const TSecondDrive drive(Folder.Path());
    if (drive.Path().empty())
        GTEST_SKIP() << "no second drive letter can be made for a folder here";
    ASSERT_TRUE(CopyFileW((TestBinaryDir() + L"HoldFile.exe").c_str(), Exe().c_str(), FALSE));
    const std::string running = ReadBytes(Exe());
    const TChildProcess copy(Exe());
    TProgram program(drive.Path());

    ASSERT_TRUE(StartRestore(program));
    const HWND question = WaitForBox(program, TalvoRec::RunningText);
    ASSERT_TRUE(question) << "the copy running through the folder's other name was not found";
    PressKeys(question, {VK_ESCAPE});
    EXPECT_TRUE(program.WaitForWindowGone(ConfirmCaption));
    EXPECT_FALSE(copy.WaitForExit(0));
    EXPECT_EQ(ReadBytes(Exe()), running);
}

TEST_F(Program, AFolderHeldByAnotherRestoreForGoodIsReportedAndTheWindowPaintsWhileItWaits)
{
    InstallUpdateGoneWrong();
    const std::wstring lockName = TalvoRec::FolderLockName(Exe());
    const Framework::THandle otherRun(
        CreateFileW(lockName.c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(otherRun);
    TProgram program(Folder.Path());
    const HWND window = program.WaitForWindow(WindowCaption);
    ASSERT_TRUE(window);
    ASSERT_TRUE(StartRestore(program));
    ASSERT_TRUE(program.WaitForWindowGone(ConfirmCaption));
    const ULONGLONG answered = GetTickCount64();
    EXPECT_FALSE(IsHungAppWindow(window)) << "the window does not respond while the restore waits";

    // Told to paint again while the restore waits, the window does so before the wait is over.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    HWND error = nullptr;
    ASSERT_TRUE(WaitUntil(60000, [&] {
        error = program.WaitForWindow(PlainCaption, 0);
        return error || !GetUpdateRect(window, nullptr, FALSE);
    }));
    EXPECT_FALSE(error) << "the window was not painted while the restore waited";
    Screenshot("waiting-for-the-folder", window);

    error = program.WaitForWindow(PlainCaption, 60000);
    ASSERT_TRUE(error) << "no error box";
    std::cout << "error box " << GetTickCount64() - answered << " ms after the answer\n";
    EXPECT_NE(AllTexts(error).find(
                  L"Talvomax_64.exe の回復を別のプログラムが実行中です。しばらくしてからもう一度実行して下さい。"),
              std::wstring::npos);
    Screenshot("restore-busy", error);
    PressKeys(error, {VK_RETURN});
    EXPECT_TRUE(program.WaitForWindowGone(PlainCaption));
    EXPECT_EQ(program.WaitForExit(500), static_cast<DWORD>(STILL_ACTIVE)) << "the window should stay open";
    EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
    EXPECT_EQ(ListDir(Folder.Path()),
              (std::vector<std::wstring>{L"Talvomax_64.bak", L"Talvomax_64.exe", L"Talvomax_64.exe.~talvorec.lock",
                                         L"Talvorecmax.exe"}));
    PressKeys(window, {'X'}, true);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

}  // namespace

namespace {

// Sets the screen density that programs started from now on see, and puts the default back.
class TScreenDpi {
public:
    explicit TScreenDpi(DWORD Dpi)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &Dpi, sizeof Dpi);
    }
    ~TScreenDpi() { RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels"); }
    TScreenDpi(const TScreenDpi&) = delete;
    TScreenDpi& operator=(const TScreenDpi&) = delete;
};

// Links the fonts (a REG_MULTI_SZ list of "file,face") to Tahoma, the window's font, for programs
// started from now on, and puts the prefix's own link back.
class TFontLink {
public:
    explicit TFontLink(const std::wstring& Fonts)
    {
        DWORD size = 0;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, Key, L"Tahoma", RRF_RT_ANY, &SavedType_, nullptr, &size) ==
            ERROR_SUCCESS) {
            Saved_.resize(size);
            RegGetValueW(HKEY_LOCAL_MACHINE, Key, L"Tahoma", RRF_RT_ANY, &SavedType_, Saved_.data(), &size);
            Saved_.resize(size);
        }
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, Key, L"Tahoma", REG_MULTI_SZ, Fonts.c_str(),
                        static_cast<DWORD>((Fonts.size() + 1) * sizeof(wchar_t)));
    }
    ~TFontLink()
    {
        if (Saved_.empty())
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, Key, L"Tahoma");
        else
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, Key, L"Tahoma", SavedType_, Saved_.data(),
                            static_cast<DWORD>(Saved_.size()));
    }
    TFontLink(const TFontLink&) = delete;
    TFontLink& operator=(const TFontLink&) = delete;

private:
    static constexpr wchar_t Key[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink";
    DWORD SavedType_ = REG_NONE;
    std::vector<BYTE> Saved_;
};

// The recovery window's explanation as LayoutProbe.exe measured it, in client pixels.
struct TExplanation {
    long Needed;        // height of the text wrapped in the box's own font and width
    long ClientHeight;  // of the box
    long Top, Bottom;   // of the box, frame included
    long ButtonTop;
};

// Runs LayoutProbe.exe with the output file and Arguments; what it wrote.
std::string RunLayoutProbe(const std::wstring& Arguments = L"")
{
    TTempDir folder;
    const std::wstring output = folder.Path() + L"measured";
    const TStarted started = StartProcess(TestBinaryDir() + L"LayoutProbe.exe", L"\"" + output + L"\" " + Arguments);
    WaitForSingleObject(started.Process.Get(), 60000);
    return Exists(output) ? ReadBytes(output) : std::string();
}

TExplanation MeasureExplanation()
{
    TExplanation text{};
    if (sscanf(RunLayoutProbe().c_str(), "%ld %ld %ld %ld %ld", &text.Needed, &text.ClientHeight, &text.Top,
               &text.Bottom, &text.ButtonTop) != 5)
        throw std::runtime_error("LayoutProbe.exe measured nothing");
    return text;
}

// A styled message box as LayoutProbe.exe laid it out.
struct TMeasuredBox {
    SIZE Outer{}, WorkArea{};
    std::vector<Framework::TBoxLine> Lines;
};

// Kind is the probe's: P a plain box, Q the confirmation, W the confirmation that ends a program.
std::vector<TMeasuredBox> MeasureBoxes(const std::vector<std::pair<wchar_t, std::wstring>>& Texts)
{
    TTempDir folder;
    std::wstring records;
    for (const auto& [kind, text] : Texts)
        records += kind + text + L'\0';
    const std::wstring input = folder.Path() + L"texts";
    WriteBytes(input, std::string(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(wchar_t)));
    const std::string bytes = RunLayoutProbe(L"\"" + input + L"\"");
    std::wistringstream report(
        std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t)));
    std::vector<TMeasuredBox> boxes;
    for (std::wstring word; report >> word;) {
        if (word == L"box") {
            TMeasuredBox& box = boxes.emplace_back();
            report >> box.Outer.cx >> box.Outer.cy >> box.WorkArea.cx >> box.WorkArea.cy;
        } else if (!boxes.empty()) {
            Framework::TBoxLine line{L"", std::stoi(word), false};
            report >> line.EndsParagraph;
            report.get();
            std::getline(report, line.Text);
            boxes.back().Lines.push_back(line);
        }
    }
    if (boxes.size() != Texts.size())
        throw std::runtime_error("LayoutProbe.exe did not measure every box");
    return boxes;
}

LOGFONTW FontOf(HWND Control)
{
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

TEST(Layout, TheWindowAsDesignedScaledOnceToTheScreenDensity)
{
    // Our own coordinates must not be scaled for us while we measure the program's window.
    SetProcessDPIAware();
    struct TControlCase {
        const wchar_t* Text;
        RECT Bounds;  // at 96 pixels per inch; the label's size is its text's
        int FontHeight;
        bool Bold;
    };
    const TControlCase controls[] = {
        {L"タルボ支援システムの回復", {48, 24, 0, 0}, 27, true},
        // Its height follows the machine's fonts: see the next test.
        {L"プログラムのアップデート中に何らかのエラーでプログラムが起動しなくなった場合、直前のバージョンに戻します。",
         {96, 88, 96 + 263, 0},
         16,
         true},
        {L"回復を実行(&R)", {144, 200, 144 + 123, 200 + 41}, 13, true},
        {L"閉じる(&X)", {296, 200, 296 + 89, 200 + 41}, 13, true},
    };
    for (const int dpi : {96, 144}) {
        SCOPED_TRACE(testing::Message() << dpi << " dpi");
        const auto scale = [dpi](int value) { return MulDiv(value, dpi, 96); };
        TScreenDpi density(dpi);
        TTempDir folder;
        TProgram program(folder.Path());
        const HWND window = program.WaitForWindow(WindowCaption);
        ASSERT_TRUE(window);

        RECT client;
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, scale(469));
        EXPECT_EQ(client.bottom, scale(299));
        if (dpi == 144) {
            EXPECT_EQ(client.right, 704);
            EXPECT_EQ(client.bottom, 449);
        }

        const LONG style = GetWindowLongW(window, GWL_STYLE);
        const LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
        EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
        EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
        EXPECT_EQ(exStyle & (WS_EX_TOOLWINDOW | WS_EX_APPWINDOW), WS_EX_TOOLWINDOW | WS_EX_APPWINDOW);
        EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr) << "needs its own task-bar button";

        RECT frame, workArea;
        GetWindowRect(window, &frame);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
        EXPECT_EQ(frame.left, std::max(0L, (workArea.right - workArea.left - (frame.right - frame.left)) / 2));
        EXPECT_EQ(frame.top, std::max(0L, (workArea.bottom - workArea.top - (frame.bottom - frame.top)) / 2));

        const auto children = ChildWindows(window);
        ASSERT_EQ(children.size(), std::size(controls));
        for (size_t i = 0; i < children.size(); ++i) {
            const auto& expected = controls[i];
            SCOPED_TRACE(testing::Message() << "control " << i + 1);
            EXPECT_EQ(WindowText(children[i]), expected.Text);
            const RECT bounds = Framework::BoundsInParent(children[i]);
            EXPECT_EQ(bounds.left, scale(expected.Bounds.left));
            EXPECT_EQ(bounds.top, scale(expected.Bounds.top));
            if (expected.Bounds.right) {
                EXPECT_EQ(bounds.right, scale(expected.Bounds.right));
            }
            if (expected.Bounds.bottom) {
                EXPECT_EQ(bounds.bottom, scale(expected.Bounds.bottom));
            }
        }
        // The label takes its text's size: one line of the title, far narrower than the window.
        const RECT label = Framework::BoundsInParent(children[0]);
        EXPECT_GT(label.bottom - label.top, scale(27));
        EXPECT_LT(label.bottom - label.top, scale(27) * 2);
        EXPECT_GT(label.right - label.left, scale(27) * 6);
        // Only the buttons take the focus, and the first of them has it.
        EXPECT_FALSE(GetWindowLongW(children[1], GWL_STYLE) & WS_TABSTOP);
        EXPECT_TRUE(GetWindowLongW(children[1], GWL_STYLE) & WS_BORDER);
        EXPECT_FALSE(GetWindowLongW(children[1], GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
        EXPECT_TRUE(GetWindowLongW(children[2], GWL_STYLE) & WS_TABSTOP);
        EXPECT_TRUE(GetWindowLongW(children[3], GWL_STYLE) & WS_TABSTOP);
        EXPECT_EQ(FocusOf(window), children[2]);

        Screenshot(dpi == 96 ? "window" : "window-144dpi", window);
        PressKeys(window, {VK_F4}, true);
        EXPECT_EQ(program.WaitForExit(), 0u);
    }
}

TEST(Layout, TheExplanationGrowsJustEnoughToShowEveryLineAndStopsAboveTheButtons)
{
    using namespace std::string_literals;
    SetProcessDPIAware();
    struct TLink {
        const char* Name;
        std::wstring Fonts;
        bool MustGrow;  // these fonts need more lines than the designed box holds
    };
    const TLink links[] = {
        {"ipa", L"ipagp.ttf,IPAPGothic\0NotoSansCJK-Regular.ttc,Noto Sans CJK JP\0"s, false},
        {"noto", L"NotoSansCJK-Regular.ttc,Noto Sans CJK JP\0"s, true},
    };
    for (const int dpi : {96, 144}) {
        for (const TLink& link : links) {
            SCOPED_TRACE(testing::Message() << link.Name << " link, " << dpi << " dpi");
            const auto scale = [dpi](long value) { return static_cast<long>(MulDiv(value, dpi, 96)); };
            TScreenDpi density(dpi);
            TFontLink fonts(link.Fonts);
            const TExplanation text = MeasureExplanation();
            const long height = text.Bottom - text.Top, frame = height - text.ClientHeight;
            std::printf("%s link, %d dpi: the text needs %ld px, the box's client area is %ld px\n", link.Name, dpi,
                        text.Needed, text.ClientHeight);

            EXPECT_EQ(text.Top, scale(88));
            EXPECT_EQ(height, std::max(scale(65), std::min(text.Needed + frame, text.ButtonTop - scale(8) - text.Top)));
            EXPECT_GE(text.ClientHeight, text.Needed) << "lines cut off";
            EXPECT_LE(text.Bottom, text.ButtonTop - scale(8)) << "too close to the buttons";
            if (link.MustGrow) {
                EXPECT_GT(height, scale(65));
            }

            // The program itself lays out the same box.
            TTempDir folder;
            TProgram program(folder.Path());
            const HWND window = program.WaitForWindow(WindowCaption);
            ASSERT_TRUE(window);
            const RECT box = Framework::BoundsInParent(ChildWindows(window).at(1));
            EXPECT_EQ(box.top, text.Top);
            EXPECT_EQ(box.bottom, text.Bottom);
            Screenshot("window-" + std::string(link.Name) + "-" + std::to_string(dpi) + "dpi", window);
            PressKeys(window, {VK_F4}, true);
            EXPECT_EQ(program.WaitForExit(), 0u);
        }
    }
}

TEST(Layout, EveryBoxTextBreaksWhereJapaneseMayWithoutOrphansOrSplitWordsAndFitsTheScreenAtEveryDensity)
{
    using Framework::SystemErrorMessage;
    // Every text the program shows in a box, and those of the boxes in the making; the errors with
    // a system message after them, as this machine words it and as Windows does.
    const std::vector<std::pair<wchar_t, std::wstring>> texts = {
        {L'P', TalvoRec::NoBackupText},
        {L'Q', TalvoRec::ConfirmText},
        {L'P', TalvoRec::DoneText},
        {L'P', TalvoRec::DoneStartYourselfText},
        {L'P', TalvoRec::NotExecutableText},
        {L'P', TalvoRec::DamagedText},
        {L'P', TalvoRec::BlockedText},
        {L'P', TalvoRec::BackupUnreadableText + L"\r\n" + SystemErrorMessage(ERROR_SHARING_VIOLATION)},
        {L'P', TalvoRec::BackupUnreadableText +
                   L"\r\nThe process cannot access the file because it is being used by another process."},
        {L'W', TalvoRec::RunningText},
        {L'P', TalvoRec::RestoreFailedText + L"\r\n" + SystemErrorMessage(ERROR_DISK_FULL)},
        {L'P', TalvoRec::RestoreFailedText + L"\r\nディスクに十分な空き領域がありません。"},
        {L'P', TalvoRec::StartFailedText + L"\r\n" + SystemErrorMessage(ERROR_FILE_NOT_FOUND)},
        {L'P', L"Talvomax_64.exe の回復を別のプログラムが実行中です。しばらくしてからもう一度実行して下さい。"},
        {L'P', L"Talvomax_64.exe を終了できませんでした。\r\n" + SystemErrorMessage(ERROR_ACCESS_DENIED)},
        {L'P', L"Talvomax_64.exe を終了できませんでした。\r\nアクセスが拒否されました。"},
        {L'P', TalvoRec::InUseText},
        {L'P', TalvoRec::FolderNotWritableText(L"C:\\Program Files\\qel\\Talvo\\") + L"\r\n" +
                   SystemErrorMessage(ERROR_ACCESS_DENIED)},
        {L'P', TalvoRec::FolderNotWritableText(L"D:\\タルボ\\Talvo\\") + L"\r\nメディアは書き込み禁止になっています。"},
        // Brackets, file names and small kana where lines break: every rule at work.
        {L'P',
         L"「Talvomax_64.bak」（直前のバージョン）から「Talvomax_64.exe」（アップデートに失敗したもの）を作り直し、"
         L"『タルボソフト』をもう一度起動します。ショートカットやキャッシュ、ファイルのロックはそのままです。"},
    };
    constexpr std::wstring_view noLineStart = L"、。，．！？ー」』）…ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ";
    constexpr std::wstring_view noLineEnd = L"「『（";
    // A file name, or a katakana word such as インストール.
    const auto wordKind = [](wchar_t c) {
        return c > L' ' && c < 0x7F ? 1 : (c >= L'ァ' && c <= L'ヺ') || c == L'ー' ? 2 : 0;
    };
    for (const int dpi : {96, 120, 144, 168, 192}) {
        TScreenDpi density(dpi);
        const std::vector<TMeasuredBox> boxes = MeasureBoxes(texts);
        for (size_t i = 0; i < texts.size(); ++i) {
            SCOPED_TRACE(testing::Message() << dpi << " dpi, text " << i + 1 << ": " << texts[i].second);
            const TMeasuredBox& box = boxes[i];
            std::printf("%d dpi, text %zu: box %ld x %ld, lines", dpi, i + 1, box.Outer.cx, box.Outer.cy);
            std::wstring drawn;
            for (size_t n = 0; n < box.Lines.size(); ++n) {
                const Framework::TBoxLine& line = box.Lines[n];
                std::printf(" %d", line.Width);
                drawn += line.Text + (line.EndsParagraph && n + 1 < box.Lines.size() ? L"\r\n" : L"");
                const size_t end = line.Text.find_last_not_of(L' ');
                if (end == std::wstring::npos)
                    continue;
                SCOPED_TRACE(testing::Message() << "line " << n + 1 << ": " << line.Text);
                EXPECT_EQ(noLineStart.find(line.Text.front()), std::wstring_view::npos) << "a forbidden line start";
                EXPECT_EQ(noLineEnd.find(line.Text[end]), std::wstring_view::npos) << "a forbidden line end";
                if (n == 0 || box.Lines[n - 1].EndsParagraph)
                    continue;
                const Framework::TBoxLine& above = box.Lines[n - 1];
                const int kind = wordKind(above.Text.back());
                EXPECT_FALSE(kind && kind == wordKind(line.Text.front())) << "a word split";
                if (line.EndsParagraph) {
                    EXPECT_GE(4 * line.Width, above.Width) << "a last line under a quarter of the one above";
                }
            }
            std::printf("\n");
            EXPECT_EQ(drawn, texts[i].second) << "the lines are not the text";
            EXPECT_LE(box.Outer.cx, box.WorkArea.cx) << "wider than the work area";
            EXPECT_LE(box.Outer.cy, box.WorkArea.cy) << "taller than the work area";
        }
    }
}

}  // namespace

namespace {

TEST(Layout, ControlFontsAreTahomaInTheirDesignedHeights)
{
    // Fonts belong to the process that made them, so this window is made here.
    TalvoRec::TTalvoRecF form;
    form.CreateHandle();
    const int dpi = GetDeviceCaps(Framework::TWindowDC(nullptr).Get(), LOGPIXELSY);
    const std::pair<HWND, int> controls[] = {{form.Label1.Handle(), 27},
                                             {form.StaticText1.Handle(), 16},
                                             {form.BitBtn1.Handle(), 13},
                                             {form.BitBtn2.Handle(), 13}};
    for (const auto& [control, height] : controls) {
        const LOGFONTW font = FontOf(control);
        EXPECT_EQ(font.lfHeight, -MulDiv(height, dpi, 96));
        EXPECT_EQ(font.lfWeight, FW_BOLD);
        EXPECT_STREQ(font.lfFaceName, L"Tahoma");
    }
    EXPECT_EQ(form.Label1.TextColor(), RGB(0, 0, 128));
    EXPECT_EQ(form.BitBtn1.TextColor(), GetSysColor(COLOR_WINDOWTEXT));
}

}  // namespace
