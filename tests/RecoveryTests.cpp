// The recovery handlers on real files in real temporary folders, with a recording window.

#include "RecordingForm.h"
#include "TestFiles.h"
#include "framework/Handle.h"
#include "framework/SysUtils.h"
#include "recovery/FileOps.h"

#include <gtest/gtest.h>

using namespace Testing;
using Framework::THandle;
using TalvoRec::AppDir;
using TalvoRec::RunAfterClose;

namespace {

const std::string BrokenExe = "MZ broken build of the main application";

class Recovery : public testing::Test {
protected:
    void SetUp() override
    {
        AppDir = Folder.Path();
        RunAfterClose = false;
    }

    std::wstring Exe() const { return Folder.Path() + TalvoRec::MainExeName; }
    std::wstring Backup() const { return Folder.Path() + TalvoRec::BackupName; }

    // Runs the recovery button; returns the error text the framework would show, if any.
    std::wstring ClickRecover()
    {
        try {
            Window.BitBtn1Click(&Window);
        } catch (const Framework::Exception& error) {
            return error.Message();
        }
        return {};
    }

    std::vector<std::wstring> RestoredCalls() const
    {
        return {std::wstring(L"confirm: ") + TalvoRec::ConfirmText, L"cursor: hourglass",
                std::wstring(L"message: ") + TalvoRec::DoneText, L"cursor: default", L"close"};
    }

    // The calls of a restore that failed: the cursor is put back, no done message, no close.
    std::vector<std::wstring> FailedCalls() const
    {
        return {std::wstring(L"confirm: ") + TalvoRec::ConfirmText, L"cursor: hourglass", L"cursor: default"};
    }

    void ExpectFailedRestore(const std::wstring& error, const std::vector<std::wstring>& namesBefore,
                             const std::vector<std::wstring>& calls)
    {
        EXPECT_EQ(error.rfind(std::wstring(TalvoRec::RestoreFailedText) + L"\r\n", 0), 0u) << "error text";
        EXPECT_GT(error.size(), std::wstring(TalvoRec::RestoreFailedText).size() + 2) << "system message missing";
        EXPECT_EQ(Window.Calls, calls);
        EXPECT_FALSE(RunAfterClose);
        EXPECT_EQ(ListDir(Folder.Path()), namesBefore) << "a temporary file was left behind";
    }

    TTempDir Folder;
    TRecordingTalvoRecF Window;
};

TEST_F(Recovery, YesReplacesTheExecutableByteForByteAndKeepsTheBackup)
{
    // Larger than one copy chunk and not a multiple of it.
    const std::string backup = SampleExecutable(3 * 1024 * 1024 + 12345, 1);
    WriteBytes(Exe(), BrokenExe);
    WriteBytes(Backup(), backup);

    EXPECT_EQ(ClickRecover(), L"");

    EXPECT_EQ(ReadBytes(Exe()), backup);
    EXPECT_EQ(ReadBytes(Backup()), backup);
    EXPECT_EQ(Window.Calls, RestoredCalls());
    EXPECT_TRUE(RunAfterClose);
    EXPECT_EQ(ListDir(Folder.Path()), (std::vector<std::wstring>{L"Talvomax_64.bak", L"Talvomax_64.exe"}));
}

TEST_F(Recovery, RunningTheRecoveryAgainGivesTheSameResult)
{
    const std::string backup = SampleExecutable(70000, 2);
    WriteBytes(Exe(), BrokenExe);
    WriteBytes(Backup(), backup);
    EXPECT_EQ(ClickRecover(), L"");
    EXPECT_EQ(ClickRecover(), L"");
    EXPECT_EQ(ReadBytes(Exe()), backup);
    EXPECT_EQ(ReadBytes(Backup()), backup);
}

TEST_F(Recovery, CancelChangesNothingAndKeepsTheWindowOpen)
{
    WriteBytes(Exe(), BrokenExe);
    WriteBytes(Backup(), SampleExecutable(1000, 7));
    Window.Answer = false;

    EXPECT_EQ(ClickRecover(), L"");

    EXPECT_EQ(Window.Calls, std::vector<std::wstring>{std::wstring(L"confirm: ") + TalvoRec::ConfirmText});
    EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
    EXPECT_FALSE(RunAfterClose);
}

TEST_F(Recovery, WithoutABackupFileItSaysSoAndCloses)
{
    struct TCase {
        const char* Name;
        void (*Prepare)(const std::wstring& backup);
    };
    const TCase cases[] = {
        {"no backup", [](const std::wstring&) {}},
        {"backup is a folder", [](const std::wstring& backup) { MakeDir(backup); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir folder;
        AppDir = folder.Path();
        TRecordingTalvoRecF window;
        WriteBytes(folder.Path() + TalvoRec::MainExeName, BrokenExe);
        c.Prepare(folder.Path() + TalvoRec::BackupName);
        const auto namesBefore = ListDir(folder.Path());

        window.BitBtn1Click(&window);

        EXPECT_EQ(window.Calls,
                  (std::vector<std::wstring>{std::wstring(L"message: ") + TalvoRec::NoBackupText, L"close"}));
        EXPECT_EQ(ReadBytes(folder.Path() + TalvoRec::MainExeName), BrokenExe);
        EXPECT_EQ(ListDir(folder.Path()), namesBefore);
        EXPECT_FALSE(RunAfterClose);
    }
}

TEST_F(Recovery, AMissingOrReadOnlyExecutableIsStillRestored)
{
    struct TCase {
        const char* Name;
        void (*Prepare)(const std::wstring& exe);
    };
    const TCase cases[] = {
        {"executable missing", [](const std::wstring&) {}},
        {"executable read-only",
         [](const std::wstring& exe) {
             WriteBytes(exe, BrokenExe);
             ASSERT_TRUE(SetFileAttributesW(exe.c_str(), FILE_ATTRIBUTE_READONLY));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir folder;
        AppDir = folder.Path();
        TRecordingTalvoRecF window;
        const std::string backup = SampleExecutable(5000, 3);
        WriteBytes(folder.Path() + TalvoRec::BackupName, backup);
        c.Prepare(folder.Path() + TalvoRec::MainExeName);

        window.BitBtn1Click(&window);

        EXPECT_EQ(ReadBytes(folder.Path() + TalvoRec::MainExeName), backup);
        EXPECT_EQ(window.Calls, RestoredCalls());
        EXPECT_TRUE(RunAfterClose);
    }
}

TEST_F(Recovery, AnExecutableHeldWithoutDeleteSharingIsReportedAndKept)
{
    WriteBytes(Exe(), BrokenExe);
    WriteBytes(Backup(), SampleExecutable(10000, 4));
    const auto namesBefore = ListDir(Folder.Path());
    THandle holder(CreateFileW(Exe().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    const std::wstring error = ClickRecover();
    holder.Reset();

    ExpectFailedRestore(error, namesBefore, FailedCalls());
    EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
}

TEST_F(Recovery, ABackupThatCannotBeReadIsReportedAndNothingChanges)
{
    WriteBytes(Exe(), BrokenExe);
    const std::string backup = SampleExecutable(10000, 5);
    WriteBytes(Backup(), backup);
    const auto namesBefore = ListDir(Folder.Path());
    THandle holder(CreateFileW(Backup().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    const std::wstring error = ClickRecover();
    holder.Reset();

    // Found out while checking the backup, before the question is asked.
    ExpectFailedRestore(error, namesBefore, {});
    EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
    EXPECT_EQ(ReadBytes(Backup()), backup);
}

TEST_F(Recovery, AFolderInPlaceOfTheExecutableIsReportedAndKept)
{
    MakeDir(Exe());
    WriteBytes(Exe() + L"\\inside.txt", "keep me");
    WriteBytes(Backup(), SampleExecutable(1000, 6));
    const auto namesBefore = ListDir(Folder.Path());

    const std::wstring error = ClickRecover();

    ExpectFailedRestore(error, namesBefore, FailedCalls());
    EXPECT_EQ(ReadBytes(Exe() + L"\\inside.txt"), "keep me");
}

TEST(FileExists, CountsFilesButNotFoldersOrMissingNames)
{
    TTempDir folder;
    WriteBytes(folder.Path() + L"file", "x");
    WriteBytes(folder.Path() + L"empty", "");
    MakeDir(folder.Path() + L"folder");
    EXPECT_TRUE(TalvoRec::FileExists(folder.Path() + L"file"));
    EXPECT_TRUE(TalvoRec::FileExists(folder.Path() + L"empty"));
    EXPECT_FALSE(TalvoRec::FileExists(folder.Path() + L"folder"));
    EXPECT_FALSE(TalvoRec::FileExists(folder.Path() + L"missing"));
    EXPECT_FALSE(TalvoRec::FileExists(folder.Path() + L"missing\\file"));
}

TEST(FormCreate, WorksInTheProgramsOwnFolderAndClearsTheRestoredFlag)
{
    // The tests are built into TEST_BINARY_DIR, which Wine shows on drive Z:.
    std::string expected = std::string("Z:") + TEST_BINARY_DIR + "/";
    for (auto& c : expected)
        if (c == '/')
            c = '\\';
    TRecordingTalvoRecF window;
    RunAfterClose = true;

    window.FormCreate(&window);

    EXPECT_EQ(_wcsicmp(AppDir.c_str(), std::wstring(expected.begin(), expected.end()).c_str()), 0)
        << std::string(AppDir.begin(), AppDir.end());
    EXPECT_FALSE(RunAfterClose);
    EXPECT_TRUE(window.Calls.empty());
}

TEST(ResolveAppDir, OwnFolderOrTheInstalledFolderUnderADebugger)
{
    const std::wstring longFolder = L"C:\\" + std::wstring(300, L'a') + L"\\";
    struct TCase {
        std::wstring ExePath;
        bool UnderDebugger;
        WORD Architecture;
        std::wstring Expected;
    };
    const TCase cases[] = {
        {L"C:\\Program Files\\Talvo\\Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_AMD64, L"C:\\Program Files\\Talvo\\"},
        {L"D:\\x y\\z\\Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_INTEL, L"D:\\x y\\z\\"},
        // Longer than MAX_PATH: the whole folder, not a truncated parent.
        {longFolder + L"Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_AMD64, longFolder},
        {L"C:Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_AMD64, L"C:\\"},
        {L"D:\\work\\Talvorecmax.exe", true, PROCESSOR_ARCHITECTURE_AMD64, L"C:\\Program Files(X86)\\qel\\Talvo\\"},
        {L"D:\\work\\Talvorecmax.exe", true, PROCESSOR_ARCHITECTURE_INTEL, L"C:\\Program Files\\qel\\Talvo\\"},
        {L"D:\\work\\Talvorecmax.exe", true, PROCESSOR_ARCHITECTURE_ARM64, L"C:\\Program Files\\qel\\Talvo\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TalvoRec::ResolveAppDir(c.ExePath, c.UnderDebugger, c.Architecture), c.Expected);
}

}  // namespace
