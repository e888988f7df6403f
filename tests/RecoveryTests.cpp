// The recovery handlers on real files in real temporary folders, with a recording window.

#include "RecordingForm.h"
#include "TestFiles.h"
#include "framework/Handle.h"
#include "framework/SysUtils.h"
#include "recovery/Files.h"
#include "recovery/Image.h"
#include "recovery/Processes.h"
#include "recovery/Replace.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <functional>
#include <memory>

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
        return {L"cursor: hourglass",
                L"cursor: default",
                std::wstring(L"confirm: ") + TalvoRec::ConfirmText,
                L"cursor: hourglass",
                std::wstring(L"message: ") + TalvoRec::DoneText,
                L"cursor: default",
                L"close"};
    }

    // The calls of a restore that failed: the cursor is put back, no done message, no close.
    std::vector<std::wstring> FailedCalls() const
    {
        return {L"cursor: hourglass", L"cursor: default", std::wstring(L"confirm: ") + TalvoRec::ConfirmText,
                L"cursor: hourglass", L"cursor: default"};
    }

    void ExpectFailedRestore(const std::wstring& error, const std::vector<std::wstring>& namesBefore,
                             const std::vector<std::wstring>& calls,
                             const std::wstring& text = TalvoRec::RestoreFailedText)
    {
        EXPECT_TRUE(error.starts_with(text + L"\r\n")) << "error text: " << Utf8(error);
        EXPECT_GT(error.size(), text.size() + 2) << "system message missing";
        EXPECT_EQ(Window.Calls, calls);
        EXPECT_FALSE(RunAfterClose);
        EXPECT_EQ(ListDir(Folder.Path()), namesBefore) << "a temporary file was left behind";
    }

    TTempDir Folder;
    TRecordingTalvoRecF Window;
};

// Creation and last-write time of a file.
std::pair<ULONGLONG, ULONGLONG> FileTimes(const std::wstring& file)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));
    const auto value = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return {value(data.ftCreationTime), value(data.ftLastWriteTime)};
}

void SetFileTimes(const std::wstring& file, ULONGLONG created, ULONGLONG written)
{
    THandle handle(CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const FILETIME c{static_cast<DWORD>(created), static_cast<DWORD>(created >> 32)};
    const FILETIME w{static_cast<DWORD>(written), static_cast<DWORD>(written >> 32)};
    Require(SetFileTime(handle.Get(), &c, nullptr, &w), "setting the backup's times");
}

TEST_F(Recovery, YesReplacesTheExecutableByteForByteWithTheBackupsTimesAndKeepsTheBackup)
{
    // Larger than one copy chunk and not a multiple of it.
    const std::string backup = SampleExecutable(3 * 1024 * 1024 + 12345, 1);
    WriteBytes(Exe(), BrokenExe);
    WriteBytes(Backup(), backup);
    // Times of an old build, a year before anything the test writes now.
    constexpr ULONGLONG created = 133000000000000000ull, written = 133000000000000000ull + 36000000000ull;
    SetFileTimes(Backup(), created, written);

    EXPECT_EQ(ClickRecover(), L"");

    EXPECT_EQ(ReadBytes(Exe()), backup);
    EXPECT_EQ(FileTimes(Exe()).second, written) << "last-write time";
    EXPECT_EQ(ReadBytes(Backup()), backup);
    EXPECT_EQ(Window.Calls, RestoredCalls());
    EXPECT_TRUE(RunAfterClose);
    EXPECT_EQ(ListDir(Folder.Path()), (std::vector<std::wstring>{L"Talvomax_64.bak", L"Talvomax_64.exe"}));
}

TEST_F(Recovery, TheRestoredFileKeepsTheBackupsCreationTime)
{
    WriteBytes(Exe(), BrokenExe);
    WriteBytes(Backup(), SampleExecutable(1000, 11));
    constexpr ULONGLONG created = 133000000000000000ull;
    SetFileTimes(Backup(), created, created + 36000000000ull);
    if (FileTimes(Backup()).first != created)
        GTEST_SKIP() << "this file system keeps no creation time that can be set";

    EXPECT_EQ(ClickRecover(), L"");

    EXPECT_EQ(FileTimes(Exe()).first, created);
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

    EXPECT_EQ(Window.Calls, (std::vector<std::wstring>{L"cursor: hourglass", L"cursor: default",
                                                       std::wstring(L"confirm: ") + TalvoRec::ConfirmText}));
    EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
    EXPECT_FALSE(RunAfterClose);
}

TEST_F(Recovery, WithoutABackupFileItSaysSoAndCloses)
{
    struct TCase {
        const char* Name;
        void (*Prepare)(const std::wstring& backup);
        // Where the program was started from, as the system reports it; relative to the current
        // folder when it has no drive or server.
        const wchar_t* StartedFrom;
    };
    const TCase cases[] = {
        {"no backup", [](const std::wstring&) {}, nullptr},
        {"backup is a folder", [](const std::wstring& backup) { MakeDir(backup); }, nullptr},
        // Files that only the current folder leads to are not the program's.
        {"no absolute folder", [](const std::wstring& backup) { WriteBytes(backup, SampleExecutable(1000, 8)); },
         L"UNC\\srv\\share\\"},
    };
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir root;
        std::wstring folder = root.Path();
        if (c.StartedFrom) {
            for (const std::wstring part : {L"UNC\\", L"srv\\", L"share\\"})
                MakeDir(folder += part);
            SetCurrentDirectoryW(root.Path().c_str());
        }
        AppDir = c.StartedFrom ? TalvoRec::ResolveAppDir(std::wstring(c.StartedFrom) + L"Talvorecmax.exe", false, 0)
                               : folder;
        TRecordingTalvoRecF window;
        WriteBytes(folder + TalvoRec::MainExeName, BrokenExe);
        c.Prepare(folder + TalvoRec::BackupName);
        const auto namesBefore = ListDir(folder);

        window.BitBtn1Click(&window);
        SetCurrentDirectoryW(current);

        EXPECT_EQ(window.Calls,
                  (std::vector<std::wstring>{L"cursor: hourglass", L"cursor: default",
                                             std::wstring(L"message: ") + TalvoRec::NoBackupText, L"close"}));
        EXPECT_EQ(ReadBytes(folder + TalvoRec::MainExeName), BrokenExe);
        EXPECT_EQ(ListDir(folder), namesBefore);
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
             Require(SetFileAttributesW(exe.c_str(), FILE_ATTRIBUTE_READONLY), "making the executable read-only");
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
    WriteBytes(Backup(), SampleExecutable(10000, 4));
    // A read-only one is made writable for the move, and read-only again when the move fails.
    for (const bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only" : "writable");
        SetFileAttributesW(Exe().c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteBytes(Exe(), BrokenExe);
        if (readOnly)
            Require(SetFileAttributesW(Exe().c_str(), FILE_ATTRIBUTE_READONLY), "making the executable read-only");
        const auto namesBefore = ListDir(Folder.Path());
        Window.Calls.clear();
        THandle holder = HoldOpen(Exe());

        const std::wstring error = ClickRecover();
        holder.Reset();

        ExpectFailedRestore(error, namesBefore, FailedCalls());
        EXPECT_EQ(ReadBytes(Exe()), BrokenExe);
        EXPECT_EQ((GetFileAttributesW(Exe().c_str()) & FILE_ATTRIBUTE_READONLY) != 0, readOnly);
    }
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

    // Found out while checking the backup, before the question is asked, with the hourglass up
    // while the lock is waited out.
    ExpectFailedRestore(error, namesBefore, {L"cursor: hourglass", L"cursor: default"}, TalvoRec::BackupUnreadableText);
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

TEST_F(Recovery, ACloseWhileTheDoneMessageIsUpStartsTheRestoredApplication)
{
    // End task or the end of the session closes the window from inside the done box.
    WriteBytes(Exe(), BrokenExe);
    ASSERT_TRUE(CopyFileW((TestBinaryDir() + L"MarkerApp.exe").c_str(), Backup().c_str(), FALSE));
    std::wstring closeError = L"not closed";
    Window.WhileShowingMessage = [&](const std::wstring&) {
        bool canClose = true;
        closeError.clear();
        try {
            Window.FormCloseQuery(&Window, canClose);
        } catch (const Framework::Exception& error) {
            closeError = error.Message();
        }
    };

    EXPECT_EQ(ClickRecover(), L"");

    EXPECT_EQ(closeError, L"");
    EXPECT_TRUE(WaitForFile(Exe() + L".started")) << "the promised start did not happen";
}

TEST_F(Recovery, TheBackupCannotBeChangedOrRemovedWhileTheQuestionIsUp)
{
    const std::string backup = SampleExecutable(100000, 9);
    const std::string rewritten = "20 bytes of new text";
    WriteBytes(Exe(), BrokenExe);
    WriteBytes(Backup(), backup);
    Window.WhileConfirming = [&](const std::wstring&) {
        THandle writer(CreateFileW(Backup().c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, TRUNCATE_EXISTING,
                                   0, nullptr));
        EXPECT_FALSE(writer) << "the backup could be rewritten";
        if (writer) {
            DWORD written = 0;
            WriteFile(writer.Get(), rewritten.data(), static_cast<DWORD>(rewritten.size()), &written, nullptr);
        }
        EXPECT_FALSE(DeleteFileW(Backup().c_str())) << "the backup could be deleted";
    };

    ClickRecover();

    EXPECT_NE(ReadBytes(Exe()), rewritten);
    EXPECT_EQ(ReadBytes(Exe()), backup);
}

// A window that says when its thread paints. The restore dispatches paint messages only while it
// waits, so a paint on the restore's thread means that the restore is waiting.
class TPaintWatch {
public:
    TPaintWatch() : Painted_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    HANDLE Painted() const { return Painted_.Get(); }

    // Runs Work on a thread of its own that has a window waiting to be painted; the thread's handle.
    THandle Run(std::function<void()> Work)
    {
        Work_ = std::move(Work);
        return THandle(CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr));
    }

private:
    static DWORD WINAPI ThreadMain(void* Param)
    {
        auto* self = static_cast<TPaintWatch*>(Param);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = [](HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) -> LRESULT {
            if (Msg != WM_PAINT)
                return DefWindowProcW(Window, Msg, WParam, LParam);
            Framework::TPaintDC paint(Window);
            SetEvent(reinterpret_cast<HANDLE>(GetWindowLongPtrW(Window, GWLP_USERDATA)));
            return 0;
        };
        windowClass.lpszClassName = L"TalvoTestPaintWatch";
        RegisterClassW(&windowClass);
        const HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0,
                                            0, 16, 16, nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self->Painted_.Get()));
        self->Work_();
        DestroyWindow(window);
        return 0;
    }

    THandle Painted_;
    std::function<void()> Work_;
};

TEST_F(Recovery, RestoresIntoOneFolderTakeTurnsAndNeverRemoveAnotherRunsCopy)
{
    const std::string backup = SampleExecutable(100000, 10);
    WriteBytes(Exe(), BrokenExe);
    WriteBytes(Backup(), backup);
    // Another run holds the folder, which it reached through its 8.3 name; its copy is half written.
    wchar_t shortFolder[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(Folder.Path().c_str(), shortFolder, MAX_PATH), 0u);
    THandle otherRun(CreateFileW(TalvoRec::FolderLockName(shortFolder + std::wstring(TalvoRec::MainExeName)).c_str(),
                                 GENERIC_READ, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(otherRun);
    const std::wstring inFlight = Exe() + L".~talvorec-0000ABCD.tmp";
    WriteBytes(inFlight, "half a copy");

    TPaintWatch watch;
    std::wstring error = L"not run";
    const THandle thread = watch.Run([&] { error = ClickRecover(); });
    ASSERT_TRUE(thread);
    const HANDLE waitingOrDone[] = {watch.Painted(), thread.Get()};
    ASSERT_EQ(WaitForMultipleObjects(2, waitingOrDone, FALSE, 60000), WAIT_OBJECT_0)
        << "it did not wait for the folder, or did not paint while it waited";
    EXPECT_EQ(ReadBytes(inFlight), "half a copy") << "the other run's copy was removed";
    EXPECT_EQ(ReadBytes(Exe()), BrokenExe);

    // The other run moves its copy away and lets go.
    DeleteFileW(inFlight.c_str());
    otherRun.Reset();
    ASSERT_EQ(WaitForSingleObject(thread.Get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(error, L"");
    EXPECT_EQ(ReadBytes(Exe()), backup);
}

// A program that others may look at but not end, as a protected one is; or, as one of another
// user is to an administrator without the debug privilege, not even look at.
class TUnendableProcess {
public:
    explicit TUnendableProcess(const std::wstring& Program, bool MayBeLookedAt = true,
                               const std::wstring& Arguments = L"")
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        // Everyone: SYNCHRONIZE, and PROCESS_QUERY_LIMITED_INFORMATION if it may be looked at.
        Require(ConvertStringSecurityDescriptorToSecurityDescriptorW(MayBeLookedAt ? L"D:(A;;0x101000;;;WD)"
                                                                                   : L"D:(A;;0x100000;;;WD)",
                                                                     SDDL_REVISION_1, &descriptor, nullptr),
                "making a security descriptor");
        Framework::TLocalMemory owned(descriptor);
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::wstring commandLine = L"\"" + Program + L"\" " + Arguments;
        Require(CreateProcessW(Program.c_str(), commandLine.data(), &attributes, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process),
                "starting a program that cannot be ended");
        Process_.Reset(process.hProcess);  // the creator's handle may do anything
        THandle thread(process.hThread);
    }
    ~TUnendableProcess()
    {
        TerminateProcess(Process_.Get(), 0);
        WaitForSingleObject(Process_.Get(), 10000);
    }
    TUnendableProcess(const TUnendableProcess&) = delete;
    TUnendableProcess& operator=(const TUnendableProcess&) = delete;
    bool Running() const { return WaitForSingleObject(Process_.Get(), 0) == WAIT_TIMEOUT; }

private:
    THandle Process_;
};

TEST_F(Recovery, ACopyThatCannotBeEndedIsReportedAndOneElsewhereIsLeftAlone)
{
    const std::wstring hung = TestBinaryDir() + L"HoldFile.exe";
    const std::string backup = SampleExecutable(10000, 14);
    WriteBytes(Exe(), BrokenExe);
    WriteBytes(Backup(), backup);
    {
        SCOPED_TRACE("a program of the same name from another folder");
        TTempDir elsewhere;
        ASSERT_TRUE(CopyFileW(hung.c_str(), (elsewhere.Path() + TalvoRec::MainExeName).c_str(), FALSE));
        const TUnendableProcess other(elsewhere.Path() + TalvoRec::MainExeName);
        EXPECT_EQ(ClickRecover(), L"");
        EXPECT_EQ(Window.Calls, RestoredCalls());
        EXPECT_EQ(ReadBytes(Exe()), backup);
        EXPECT_TRUE(other.Running());
    }
    {
        SCOPED_TRACE("a copy from this folder");
        Window.Calls.clear();
        RunAfterClose = false;
        ASSERT_TRUE(CopyFileW(hung.c_str(), Exe().c_str(), FALSE));
        const TUnendableProcess copy(Exe());
        const auto namesBefore = ListDir(Folder.Path());
        ExpectFailedRestore(ClickRecover(), namesBefore,
                            {L"cursor: hourglass", L"cursor: default",
                             std::wstring(L"confirm: ") + TalvoRec::ConfirmText, L"cursor: hourglass",
                             L"confirm: " + TalvoRec::RunningText, L"cursor: default"},
                            TalvoRec::EndFailedText);
        EXPECT_EQ(ReadBytes(Exe()), ReadBytes(hung));
        EXPECT_TRUE(copy.Running());
    }
    {
        SCOPED_TRACE("a copy from this folder that may not even be looked at, holding the executable");
        Window.Calls.clear();
        const TUnendableProcess copy(Exe(), false, L"\"" + Exe() + L"\"");
        ASSERT_TRUE(WaitForFile(Exe() + L".held"));
        DeleteFileW((Exe() + L".held").c_str());
        const auto namesBefore = ListDir(Folder.Path());
        EXPECT_EQ(ClickRecover(), TalvoRec::InUseText) << "not told what holds it";
        EXPECT_EQ(Window.Calls, FailedCalls()) << "asked about a process it cannot identify";
        EXPECT_EQ(ListDir(Folder.Path()), namesBefore);
        EXPECT_EQ(ReadBytes(Exe()), ReadBytes(hung));
        EXPECT_TRUE(copy.Running());
    }
}

TEST_F(Recovery, ACopyStartedWhileTheBackupIsCopiedIsAskedAboutAndEndedBeforeTheMove)
{
    const std::string backup = SampleExecutable(10000, 15);
    WriteBytes(Backup(), backup);
    ASSERT_TRUE(CopyFileW((TestBinaryDir() + L"HoldFile.exe").c_str(), Exe().c_str(), FALSE));
    const TChildProcess first(Exe());
    std::unique_ptr<TChildProcess> second;
    // The user takes a while to answer; meanwhile the application is started again.
    Window.WhileConfirming = [&](const std::wstring& text) {
        if (text == TalvoRec::RunningText && !second)
            second = std::make_unique<TChildProcess>(Exe());
    };

    EXPECT_EQ(ClickRecover(), L"");

    const std::wstring running = L"confirm: " + TalvoRec::RunningText;
    EXPECT_EQ(Window.Calls,
              (std::vector<std::wstring>{L"cursor: hourglass", L"cursor: default",
                                         std::wstring(L"confirm: ") + TalvoRec::ConfirmText, L"cursor: hourglass",
                                         running, running, std::wstring(L"message: ") + TalvoRec::DoneText,
                                         L"cursor: default", L"close"}));
    EXPECT_TRUE(first.WaitForExit(10000));
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->WaitForExit(10000)) << "the copy started later was not ended";
    EXPECT_EQ(ReadBytes(Exe()), backup);
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
    const std::wstring expected = WinePath(std::string(TEST_BINARY_DIR) + "/");
    TRecordingTalvoRecF window;
    RunAfterClose = true;

    window.FormCreate(&window);

    EXPECT_EQ(_wcsicmp(AppDir.c_str(), expected.c_str()), 0) << Utf8(AppDir);
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
        {L"C:\\Program Files\\Talvo\\Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_AMD64,
         L"C:\\Program Files\\Talvo\\"},
        {L"D:\\x y\\z\\Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_INTEL, L"D:\\x y\\z\\"},
        // Longer than MAX_PATH: the whole folder, not a truncated parent.
        {longFolder + L"Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_AMD64, longFolder},
        {L"\\\\srv\\share\\x y\\Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_AMD64, L"\\\\srv\\share\\x y\\"},
        {L"\\\\?\\C:\\x\\Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_AMD64, L"\\\\?\\C:\\x\\"},
        // Without a drive or a server the names would be relative to the current folder: none.
        {L"C:Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_AMD64, L""},
        {L"UNC\\srv\\share\\Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_AMD64, L""},
        {L"\\\\srv\\Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_AMD64, L""},
        {L"\\x\\Talvorecmax.exe", false, PROCESSOR_ARCHITECTURE_AMD64, L""},
        {L"D:\\work\\Talvorecmax.exe", true, PROCESSOR_ARCHITECTURE_AMD64, L"C:\\Program Files(X86)\\qel\\Talvo\\"},
        {L"D:\\work\\Talvorecmax.exe", true, PROCESSOR_ARCHITECTURE_INTEL, L"C:\\Program Files\\qel\\Talvo\\"},
        {L"D:\\work\\Talvorecmax.exe", true, PROCESSOR_ARCHITECTURE_ARM64, L"C:\\Program Files\\qel\\Talvo\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TalvoRec::ResolveAppDir(c.ExePath, c.UnderDebugger, c.Architecture), c.Expected);
}

}  // namespace
