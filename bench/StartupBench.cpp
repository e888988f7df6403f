// Start-up time of Talvorecmax.exe against the minimal window program: from just before
// CreateProcessW until the process shows its window and waits for input. The two programs are
// started in turns, so noise from the machine falls on both alike.
//
// Usage: StartupBench [runs]. Both programs are found beside this one (Talvorecmax.exe one
// folder up). Prints one Markdown table row.

#include "BenchCaptions.h"
#include "Measure.h"
#include "framework/Handle.h"
#include "recovery/TalvoRec.h"
#include "tests/Processes.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

using Framework::THandle;

namespace {

constexpr DWORD Timeout = 30000;

// Seconds from start until the window is visible and the process idles waiting for input.
double TimeStart(const std::wstring& Exe, const wchar_t* Caption)
{
    const double start = Bench::Now();
    const Testing::TStarted started = Testing::StartProcess(Exe);
    const THandle& process = started.Process;
    const ULONGLONG deadline = GetTickCount64() + Timeout;
    bool ready = WaitForInputIdle(process.Get(), Timeout) == 0;
    while (ready && !Testing::FindProcessWindow(started.ProcessId, Caption)) {
        if (GetTickCount64() > deadline)
            ready = false;
        Sleep(1);
    }
    const double elapsed = Bench::Now() - start;
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), Timeout);
    if (!ready)
        throw std::runtime_error("the window did not appear within the time-out");
    return elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 15;
    const std::wstring folder = Testing::TestBinaryDir();
    const std::wstring program = folder + L"..\\Talvorecmax.exe";
    const std::wstring floor = folder + L"MinimalWindow.exe";
    const std::wstring declared = folder + L"MinimalWindowDeclared.exe";
    try {
        // One untimed start each puts the files and Wine's libraries in the cache.
        TimeStart(program, TalvoRec::WindowCaption);
        TimeStart(floor, Bench::MinimalWindowCaption);
        TimeStart(declared, Bench::MinimalWindowCaption);
        std::vector<double> programTimes, floorTimes, declaredTimes;
        for (int run = 0; run < runs; ++run) {
            // Rotate which goes first, so none always follows another's clean-up.
            for (int turn = 0; turn < 3; ++turn) {
                switch ((run + turn) % 3) {
                case 0:
                    programTimes.push_back(TimeStart(program, TalvoRec::WindowCaption));
                    break;
                case 1:
                    floorTimes.push_back(TimeStart(floor, Bench::MinimalWindowCaption));
                    break;
                case 2:
                    declaredTimes.push_back(TimeStart(declared, Bench::MinimalWindowCaption));
                    break;
                }
            }
        }
        const double programMs = Bench::Median(programTimes) * 1000;
        const double floorMs = Bench::Median(floorTimes) * 1000;
        const double declaredMs = Bench::Median(declaredTimes) * 1000;
        const double ratio = programMs / floorMs;
        std::printf("| Start-up to a window ready for input (median of %d) | %.0f ms | %.0f ms (minimal window) "
                    "| %.2f | ≤ 1.10 | %s |\n",
                    runs, programMs, floorMs, ratio, ratio <= 1.10 ? "yes" : "**no**");
        std::printf("| Start-up, against a minimal window with the same manifest, COM apartment and common "
                    "controls | %.0f ms | %.0f ms | %.2f | – | – |\n",
                    programMs, declaredMs, programMs / declaredMs);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "StartupBench: %s\n", error.what());
        return 1;
    }
    return 0;
}
