// Where the start-up time goes: the phase builds of the program and of its floor, the same window
// in plain Win32, each record when they pass the marks between the steps of their start-up
// (framework/StartupPhases.h). The two start in turns; each step's time is the median over the
// starts of the time from the mark before. Steps that only one of the two takes show "–" for the
// other. The last step is the system's and the benchmark's: from the last mark until the process
// idles waiting for input and its window is found, as the start-up benchmark waits for it.
//
// Usage: StartupPhasesBench [starts]. Prints a Markdown table.

#include "Measure.h"
#include "Startup.h"
#include "StartupPhases.h"
#include "recovery/TalvoRec.h"
#include "tests/Processes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr char ReadyStep[] = "idle, and the window found by the benchmark";

LONGLONG Counter()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

double Seconds(LONGLONG Ticks)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(Ticks) / static_cast<double>(frequency.QuadPart);
}

// The steps of one program, in the order it takes them, with their times over the starts.
struct TSteps {
    std::vector<std::string> Order;
    std::map<std::string, std::vector<double>> Times;
    std::vector<double> Totals;
};

// Starts Exe once and adds the times of its steps to Steps.
void MeasureOnce(const std::wstring& Exe, Bench::TPhaseBlock& Block, TSteps& Steps)
{
    std::memset(&Block, 0, sizeof Block);
    const LONGLONG start = Counter();
    LONGLONG ready = 0;
    Bench::TPhaseBlock marks{};
    Bench::TimeStart(Exe, TalvoRec::WindowCaption, [&] {
        ready = Counter();
        marks = Block;
    });
    if (marks.Count == 0)
        throw std::runtime_error("a phase build recorded no marks");
    LONGLONG before = start;
    std::map<std::string, int> seen;
    const auto add = [&](std::string Name, LONGLONG At) {
        // A mark passed again, as one after each control, is a step of its own each time.
        if (const int times = ++seen[Name]; times > 1)
            Name += " (" + std::to_string(times) + ")";
        if (std::find(Steps.Order.begin(), Steps.Order.end(), Name) == Steps.Order.end())
            Steps.Order.push_back(Name);
        Steps.Times[Name].push_back(Seconds(At - before));
        before = At;
    };
    for (LONG i = 0; i < marks.Count && i < Bench::MaxPhases; ++i)
        add(marks.Marks[i].Name, marks.Marks[i].Counter);
    add(ReadyStep, ready);
    Steps.Totals.push_back(Seconds(ready - start));
}

// The steps of both, each in its own order: one's own steps come after the step they follow.
std::vector<std::string> MergedOrder(const std::vector<std::string>& First, const std::vector<std::string>& Second)
{
    std::vector<std::string> order = First;
    auto at = order.begin();
    for (const std::string& step : Second) {
        const auto found = std::find(order.begin(), order.end(), step);
        if (found != order.end())
            at = found + 1;
        else
            at = order.insert(at, step) + 1;
    }
    return order;
}

std::string Cell(const TSteps& Steps, const std::string& Step)
{
    const auto found = Steps.Times.find(Step);
    if (found == Steps.Times.end())
        return "–";
    return Bench::Show(Bench::Spread(found->second), "%.1f", 1000, " ms");
}

}  // namespace

int main(int argc, char** argv)
{
    const int starts = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::wstring folder = Testing::TestBinaryDir();
    const std::wstring program = folder + L"TalvorecmaxPhases.exe";
    const std::wstring floor = folder + L"RawWindowPhases.exe";
    try {
        const std::wstring name = L"Local\\TalvoStartupPhases." + std::to_wstring(GetCurrentProcessId());
        const Framework::THandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                            sizeof(Bench::TPhaseBlock), name.c_str()));
        Bench::Check(static_cast<bool>(mapping), "CreateFileMappingW");
        auto* block = static_cast<Bench::TPhaseBlock*>(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
        Bench::Check(block != nullptr, "MapViewOfFile");
        // The programs started from here find the block by this name.
        Bench::Check(SetEnvironmentVariableW(Bench::PhaseBlockVariable, name.c_str()), "SetEnvironmentVariableW");

        TSteps programSteps, floorSteps, untimed;
        MeasureOnce(program, *block, untimed);
        MeasureOnce(floor, *block, untimed);
        for (int start = 0; start < starts; ++start) {
            MeasureOnce(start % 2 ? floor : program, *block, start % 2 ? floorSteps : programSteps);
            MeasureOnce(start % 2 ? program : floor, *block, start % 2 ? programSteps : floorSteps);
        }
        UnmapViewOfFile(block);

        std::printf(
            "| Step of start-up, ended by (median of %d starts) | Talvorecmax | The same window in plain Win32 |\n"
            "|---|---|---|\n",
            starts);
        for (const std::string& step : MergedOrder(programSteps.Order, floorSteps.Order))
            std::printf("| %s | %s | %s |\n", step.c_str(), Cell(programSteps, step).c_str(),
                        Cell(floorSteps, step).c_str());
        std::printf("| **Whole start-up** | %s | %s |\n",
                    Bench::Show(Bench::Spread(programSteps.Totals), "%.0f", 1000, " ms").c_str(),
                    Bench::Show(Bench::Spread(floorSteps.Totals), "%.0f", 1000, " ms").c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "StartupPhasesBench: %s\n", error.what());
        return 1;
    }
    return 0;
}
