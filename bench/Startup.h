#pragma once
// Timing one start of a program: from just before CreateProcessW until the process shows its window
// and waits for input. Shared by the start-up benchmarks.

#include "Measure.h"
#include "framework/Handle.h"
#include "tests/Processes.h"

#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace Bench {

// Seconds from start until the window with Caption is visible and the process idles waiting for
// input. Ready runs then, before the process is ended.
inline double TimeStart(const std::wstring& Exe, const wchar_t* Caption, const std::function<void()>& Ready = {})
{
    constexpr DWORD timeout = 30000;
    const double start = Now();
    const Testing::TStarted started = Testing::StartProcess(Exe);
    const Framework::THandle& process = started.Process;
    const ULONGLONG deadline = GetTickCount64() + timeout;
    bool ready = WaitForInputIdle(process.Get(), timeout) == 0;
    while (ready && !Testing::FindProcessWindow(started.ProcessId, Caption)) {
        if (GetTickCount64() > deadline)
            ready = false;
        Sleep(1);
    }
    const double elapsed = Now() - start;
    if (ready && Ready)
        Ready();
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), timeout);
    if (!ready)
        throw std::runtime_error("the window did not appear within the time-out");
    return elapsed;
}

}  // namespace Bench
