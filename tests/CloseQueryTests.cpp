// Starting the main application on close.

#include "RecordingForm.h"
#include "TestFiles.h"
#include "framework/SysUtils.h"
#include "recovery/Files.h"

#include <gtest/gtest.h>

using namespace Testing;
using TalvoRec::AppDir;
using TalvoRec::RunAfterClose;

namespace {

std::wstring MarkerApp()
{
    return TestBinaryDir() + L"MarkerApp.exe";
}

void InstallMarkerApp(const std::wstring& as)
{
    Require(CopyFileW(MarkerApp().c_str(), as.c_str(), FALSE), "installing the marker program");
}

// Runs the close query; returns the error text the framework would show, if any.
std::wstring QueryClose(TRecordingTalvoRecF& window, bool& canClose)
{
    try {
        window.FormCloseQuery(&window, canClose);
    } catch (const Framework::Exception& error) {
        return error.Message();
    }
    return {};
}

TEST(CloseQuery, StartsTheMainApplicationOnlyAfterARecovery)
{
    TTempDir folder;
    const std::wstring exe = folder.Path() + TalvoRec::MainExeName;
    AppDir = folder.Path();
    TRecordingTalvoRecF window;
    bool canClose = true;

    // With no executable in the folder, any attempt to start one would fail and be reported.
    RunAfterClose = false;
    EXPECT_EQ(QueryClose(window, canClose), L"") << "a start was attempted without a recovery";

    // The end of the session starts it before it returns, even when its close does nothing (this
    // window's, like a close already under way); the close query after it starts it no more.
    InstallMarkerApp(exe);
    RunAfterClose = true;
    Framework::TMessage ending{WM_ENDSESSION, TRUE, 0, 0};
    window.WMEndSession(ending);
    ASSERT_TRUE(WaitForFile(exe + L".started"));
    EXPECT_EQ(QueryClose(window, canClose), L"");

    // One start only, with no arguments: the command line is the quoted path alone.
    const std::string marker = ReadBytes(exe + L".started");
    const std::wstring line(reinterpret_cast<const wchar_t*>(marker.data()), marker.size() / sizeof(wchar_t));
    EXPECT_EQ(line, L"\"" + exe + L"\"\n");
    EXPECT_EQ(window.Calls, std::vector<std::wstring>{L"close"});
}

TEST(CloseQuery, StartsTheRealApplicationWhenItsPathHasBlanks)
{
    // "...\x y z\Talvomax_64.exe" unquoted would let Windows start "...\x.exe" or "...\x y.exe".
    TTempDir root;
    const std::wstring outer = root.Path() + L"x y z\\";
    const std::wstring inner = outer + L"a b\\";
    MakeDir(outer);
    MakeDir(inner);
    const std::wstring planted[] = {root.Path() + L"x.exe", root.Path() + L"x y.exe", outer + L"a.exe"};
    for (const auto& plant : planted)
        InstallMarkerApp(plant);
    InstallMarkerApp(inner + TalvoRec::MainExeName);
    AppDir = inner;
    RunAfterClose = true;
    TRecordingTalvoRecF window;
    bool canClose = true;

    EXPECT_EQ(QueryClose(window, canClose), L"");

    EXPECT_TRUE(WaitForFile(inner + TalvoRec::MainExeName + L".started")) << "the real application was not started";
    for (const auto& plant : planted)
        EXPECT_FALSE(Exists(plant + L".started")) << "a planted program was started";
}

// Wine 8 starts a program whose long path is longer than MAX_PATH by a path from a buffer on its
// stack that it never fills (GetLongPathNameW's answer does not fit it): the start works only when
// that buffer happens to begin with a zero, whatever this thread ran before. Cleared first, the
// outcome no longer hangs on that. On Windows it changes nothing.
[[gnu::noinline]] void ClearStackBelow()
{
    volatile char below[64 * 1024];
    for (size_t at = 0; at < sizeof below; ++at)
        below[at] = 0;
}

TEST(CloseQuery, RestoresAndStartsInAnInstallFolderLongerThanMaxPath)
{
    TTempDir root;
    std::wstring folder = root.Path();
    while (folder.size() < 300) {
        folder += std::wstring(60, L'd') + L"\\";
        ASSERT_TRUE(CreateDirectoryW(TalvoRec::ExtendedPath(folder).c_str(), nullptr)) << GetLastError();
    }
    const std::wstring exe = folder + TalvoRec::MainExeName;
    WriteBytes(TalvoRec::ExtendedPath(exe), "MZ broken build");
    ASSERT_TRUE(CopyFileW(MarkerApp().c_str(), TalvoRec::ExtendedPath(folder + TalvoRec::BackupName).c_str(), FALSE));
    AppDir = folder;
    TRecordingTalvoRecF window;

    std::wstring error;
    try {
        window.BitBtn1Click(&window);
    } catch (const Framework::Exception& e) {
        error = e.Message();
    }
    EXPECT_EQ(error, L"");
    ASSERT_TRUE(RunAfterClose);
    bool canClose = true;
    ClearStackBelow();
    EXPECT_EQ(QueryClose(window, canClose), L"");

    // Started by its short path, the application names its marker after that.
    EXPECT_TRUE(WaitUntil(30000, [&] {
        for (const auto& name : ListDir(TalvoRec::ExtendedPath(folder)))
            if (name.ends_with(L".started"))
                return true;
        return false;
    })) << "the restored application was not started";
}

TEST(CloseQuery, AFailedStartIsReportedAndTheCloseGoesOn)
{
    TTempDir folder;
    AppDir = folder.Path();
    RunAfterClose = true;
    TRecordingTalvoRecF window;
    bool canClose = true;

    const std::wstring error = QueryClose(window, canClose);

    EXPECT_EQ(error.rfind(std::wstring(TalvoRec::StartFailedText) + L"\r\n", 0), 0u);
    EXPECT_GT(error.size(), std::wstring(TalvoRec::StartFailedText).size() + 2) << "system message missing";
    // Closing the window anyway is the form's business: it reports the error and closes.
    EXPECT_TRUE(window.Calls.empty());
}

TEST(CloseButton, Closes)
{
    TRecordingTalvoRecF window;
    window.BitBtn2Click(&window);
    EXPECT_EQ(window.Calls, std::vector<std::wstring>{L"close"});
}

}  // namespace
