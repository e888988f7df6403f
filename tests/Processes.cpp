#include "Processes.h"

#include "framework/SysUtils.h"

#include <stdexcept>

namespace Testing {

std::wstring TestBinaryDir()
{
    const std::wstring exe = Framework::ExeName();
    return exe.substr(0, exe.find_last_of(L'\\') + 1);
}

TStarted StartProcess(const std::wstring& Program, const std::wstring& Arguments, const std::wstring& Folder)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Right after another process was killed, Wine now and then fails to make the next one with
    // ERROR_INTERNAL_ERROR; a second try goes through.
    constexpr int attempts = 5;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        std::wstring commandLine = L"\"" + Program + L"\"" + (Arguments.empty() ? L"" : L" " + Arguments);
        if (CreateProcessW(Program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           Folder.empty() ? nullptr : Folder.c_str(), &startup, &process)) {
            Framework::THandle thread(process.hThread);
            return {Framework::THandle(process.hProcess), process.dwProcessId};
        }
        error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR)
            break;
        Sleep(100);
    }
    throw std::runtime_error("cannot start a program, error " + std::to_string(error));
}

TChildProcess::TChildProcess(const std::wstring& Program, const std::wstring& Arguments)
    : Started_(StartProcess(Program, Arguments))
{
}

TChildProcess::~TChildProcess()
{
    TerminateProcess(Started_.Process.Get(), 0);
    WaitForSingleObject(Started_.Process.Get(), 10000);
}

bool TChildProcess::WaitForExit(DWORD TimeoutMs) const
{
    return WaitForSingleObject(Started_.Process.Get(), TimeoutMs) == WAIT_OBJECT_0;
}

std::wstring WindowText(HWND Window)
{
    constexpr UINT waitMs = 5000;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(Window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, waitMs, &length) || length == 0)
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(Window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             waitMs, &copied))
        return {};
    text.resize(copied);
    return text;
}

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

}  // namespace

HWND FindProcessWindow(DWORD ProcessId, const std::wstring& Caption)
{
    TFindWindow find{ProcessId, &Caption, nullptr};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

}  // namespace Testing
