#pragma once
// Starting programs and finding their windows: shared by the tests that drive the real program
// and by the start-up benchmark. No test framework here, so the benchmark can use it too.

#include "framework/Handle.h"

#include <windows.h>

#include <string>

namespace Testing {

struct TStarted {
    Framework::THandle Process;
    DWORD ProcessId = 0;
};

// Folder of the running test or benchmark executable (and of the programs built beside it).
std::wstring TestBinaryDir();

// Starts Program by its full path with a quoted command line and Arguments, in Folder (the
// current folder when empty), and does not wait for it. Throws std::runtime_error when it cannot.
TStarted StartProcess(const std::wstring& Program, const std::wstring& Arguments = L"",
                      const std::wstring& Folder = L"");

// A process started for the length of a test, ended when the object goes.
class TChildProcess {
public:
    explicit TChildProcess(const std::wstring& Program, const std::wstring& Arguments = L"");
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;
    // Waits up to TimeoutMs for it to end; true once it has.
    bool WaitForExit(DWORD TimeoutMs) const;

private:
    TStarted Started_;
};

// The text of a window, however long, asked without waiting on a hung program for long.
std::wstring WindowText(HWND Window);

// The visible top-level window of the process with exactly this caption; null when there is none.
HWND FindProcessWindow(DWORD ProcessId, const std::wstring& Caption);

}  // namespace Testing
