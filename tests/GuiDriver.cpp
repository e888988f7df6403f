#include "GuiDriver.h"

#include "TestFiles.h"
#include "framework/SysUtils.h"

#include <gtest/gtest.h>

namespace Testing {

namespace {

struct TFindWindow {
    DWORD ProcessId;
    const std::wstring* Caption;
    HWND Found;
};

BOOL CALLBACK MatchWindow(HWND Window, LPARAM Param)
{
    auto* find = reinterpret_cast<TFindWindow*>(Param);
    DWORD processId = 0;
    GetWindowThreadProcessId(Window, &processId);
    if (processId == find->ProcessId && IsWindowVisible(Window) && WindowText(Window) == *find->Caption) {
        find->Found = Window;
        return FALSE;
    }
    return TRUE;
}

HWND FindProgramWindow(DWORD ProcessId, const std::wstring& Caption)
{
    TFindWindow find{ProcessId, &Caption, nullptr};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

template <class Condition>
bool WaitUntil(DWORD TimeoutMs, Condition condition)
{
    const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
    while (!condition()) {
        if (GetTickCount64() > deadline)
            return false;
        Sleep(20);
    }
    return true;
}

INPUT Key(WORD VirtualKey, bool Up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VirtualKey;
    input.ki.dwFlags = Up ? KEYEVENTF_KEYUP : 0;
    return input;
}

}  // namespace

std::wstring WinePath(const std::string& UnixPath)
{
    std::wstring path = L"Z:";
    for (char c : UnixPath)
        path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
    return path;
}

TProgram::TProgram(const std::wstring& InstallDir)
{
    const std::wstring exe = InstallDir + L"Talvorecmax.exe";
    if (!CopyFileW(WinePath(TALVORECMAX_EXE).c_str(), exe.c_str(), FALSE))
        throw std::runtime_error("cannot copy Talvorecmax.exe");
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, InstallDir.c_str(),
                        &startup, &process))
        throw std::runtime_error("cannot start Talvorecmax.exe, error " + std::to_string(GetLastError()));
    Process_.Reset(process.hProcess);
    CloseHandle(process.hThread);
    ProcessId_ = process.dwProcessId;
}

TProgram::~TProgram()
{
    Kill();
}

void TProgram::Kill()
{
    if (WaitForSingleObject(Process_.Get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(Process_.Get(), 99);
        WaitForSingleObject(Process_.Get(), 10000);
    }
}

HWND TProgram::WaitForWindow(const std::wstring& Caption, DWORD TimeoutMs) const
{
    HWND found = nullptr;
    WaitUntil(TimeoutMs, [&] { return (found = FindProgramWindow(ProcessId_, Caption)) != nullptr; });
    return found;
}

bool TProgram::WaitForWindowGone(const std::wstring& Caption, DWORD TimeoutMs) const
{
    return WaitUntil(TimeoutMs, [&] { return FindProgramWindow(ProcessId_, Caption) == nullptr; });
}

DWORD TProgram::WaitForExit(DWORD TimeoutMs) const
{
    if (WaitForSingleObject(Process_.Get(), TimeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(Process_.Get(), &code);
    return code;
}

std::vector<HWND> ChildWindows(HWND Parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(Parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

std::wstring WindowText(HWND Window)
{
    wchar_t text[1024];
    const int length = static_cast<int>(
        SendMessageTimeoutW(Window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                            5000, nullptr) ? wcslen(text) : 0);
    return std::wstring(text, length);
}

std::wstring AllTexts(HWND Window)
{
    std::wstring texts = WindowText(Window);
    for (HWND child : ChildWindows(Window))
        texts += L"\n" + AllTexts(child);
    return texts;
}

HWND FocusOf(HWND Window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(Window, nullptr), &info);
    return info.hwndFocus;
}

void PressKeys(HWND Window, std::initializer_list<WORD> Keys, bool Alt)
{
    SetForegroundWindow(Window);
    WaitUntil(10000, [&] { return GetForegroundWindow() == Window; });
    std::vector<INPUT> inputs;
    if (Alt)
        inputs.push_back(Key(VK_MENU, false));
    for (WORD key : Keys) {
        inputs.push_back(Key(key, false));
        inputs.push_back(Key(key, true));
    }
    if (Alt)
        inputs.push_back(Key(VK_MENU, true));
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void Screenshot(const std::string& Name, HWND Window)
{
    // Wine starts programs of the build machine too: ImageMagick reads the X display. Wine hands
    // a window's pixels to the display a moment after it has painted, so the shot is taken again
    // until the window's corner is no longer the black of the empty screen. The colour file is
    // written last: its arrival says the shot is complete.
    POINT corner{2, 2};
    ClientToScreen(Window, &corner);
    CreateDirectoryW(WinePath(SCREENSHOT_DIR).c_str(), nullptr);
    const std::string image = std::string(SCREENSHOT_DIR) + "/" + Name + ".png";
    const std::string pixel = image + ".pixel";
    const std::string script = "import -window root " + image + ".part.png && mv " + image + ".part.png " + image +
                               " && convert " + image + " -format '%[pixel:p{" + std::to_string(corner.x) + "," +
                               std::to_string(corner.y) + "}]' info: > " + pixel + ".part && mv " + pixel +
                               ".part " + pixel;
    const std::wstring commandLine =
        L"start.exe /unix /bin/bash -c \"" + std::wstring(script.begin(), script.end()) + L"\"";
    const bool shown = WaitUntil(20000, [&] {
        DeleteFileW(WinePath(pixel).c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::wstring line = commandLine;
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &process))
            return false;
        Framework::THandle processHandle(process.hProcess);
        Framework::THandle threadHandle(process.hThread);
        if (!WaitForFile(WinePath(pixel), 10000))
            return false;
        const std::string colour = ReadBytes(WinePath(pixel));
        return colour.find("black") == std::string::npos && colour.find("(0,0,0)") == std::string::npos;
    });
    DeleteFileW(WinePath(pixel).c_str());
    EXPECT_TRUE(shown) << "the window did not show on the display for screenshot " << Name;
}

}  // namespace Testing
