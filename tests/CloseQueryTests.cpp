// Starting the main application on close, and the end of the Windows session.

#include "RecordingForm.h"
#include "TestFiles.h"
#include "framework/SysUtils.h"

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
    ASSERT_TRUE(CopyFileW(MarkerApp().c_str(), as.c_str(), FALSE)) << "error " << GetLastError();
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
    InstallMarkerApp(exe);
    AppDir = folder.Path();
    TRecordingTalvoRecF window;

    RunAfterClose = false;
    bool canClose = true;
    EXPECT_EQ(QueryClose(window, canClose), L"");
    EXPECT_TRUE(canClose);

    RunAfterClose = true;
    EXPECT_EQ(QueryClose(window, canClose), L"");
    EXPECT_TRUE(canClose);

    ASSERT_TRUE(WaitForFile(exe + L".started"));
    // One start only, with no arguments: the command line is the quoted path alone.
    const std::string marker = ReadBytes(exe + L".started");
    const std::wstring line(reinterpret_cast<const wchar_t*>(marker.data()), marker.size() / sizeof(wchar_t));
    EXPECT_EQ(line, L"\"" + exe + L"\"\n");
    EXPECT_TRUE(window.Calls.empty());
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
    EXPECT_TRUE(canClose);
}

TEST(EndSession, QueryAllowsTheEndAndEndSessionClosesTheWindow)
{
    TRecordingTalvoRecF window;
    Framework::TMessage query{WM_QUERYENDSESSION, 0, 0, 0};
    window.WMQueryEndSession(query);
    EXPECT_EQ(query.Result, 1);
    EXPECT_TRUE(window.Calls.empty());

    // A cancelled shutdown (wParam FALSE) closes the window too.
    for (WPARAM ending : {WPARAM(TRUE), WPARAM(FALSE)}) {
        TRecordingTalvoRecF w;
        Framework::TMessage end{WM_ENDSESSION, ending, 0, 0};
        w.WMEndSession(end);
        EXPECT_EQ(w.Calls, std::vector<std::wstring>{L"close"});
        EXPECT_EQ(end.Result, 0);
    }
}

TEST(CloseButton, Closes)
{
    TRecordingTalvoRecF window;
    window.BitBtn2Click(&window);
    EXPECT_EQ(window.Calls, std::vector<std::wstring>{L"close"});
}

}  // namespace
