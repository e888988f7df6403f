// Start-up time of Talvorecmax.exe against its floor, the same window written straight on Win32
// (RawWindow.exe), and for reference against two minimal windows: one plain window, and the same
// with the program's manifest, COM apartment and common controls. Each time is from just before
// CreateProcessW until the process shows its window and waits for input. In every turn the program
// and its floor start once each, in turns that alternate which goes first; every fourth turn the
// two minimal windows start after them as well, in alternating order too. A ratio is the median of
// the ratios within a turn, so that a slow drift of the machine falls on both sides; a start's own
// noise under Wine is about a tenth either way, which is why there are so many turns.
//
// Usage: StartupBench [turns [other build of Talvorecmax.exe]]. The programs are found beside this
// one (Talvorecmax.exe one folder up). Given another build, the program is timed in turns against
// it instead, with no reference windows: what the hardening costs, against the build without it.
// Prints Markdown table rows.

#include "BenchCaptions.h"
#include "Measure.h"
#include "Startup.h"
#include "recovery/TalvoRec.h"
#include "tests/Processes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Every fourth turn starts the reference windows too.
constexpr int ReferenceEvery = 4;

struct TContender {
    std::wstring Exe;
    const wchar_t* Caption;
    std::vector<double> Times;
    std::vector<double> ProgramTimes;  // the program's start in the same turns
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int turns = argc > 1 ? std::max(_wtoi(argv[1]), ReferenceEvery) : 300;
    const bool againstBuild = argc > 2;
    const std::wstring folder = Testing::TestBinaryDir();
    const std::wstring program = folder + L"..\\Talvorecmax.exe";
    TContender floor{againstBuild ? argv[2] : folder + L"RawWindow.exe", TalvoRec::WindowCaption, {}, {}};
    TContender declared{folder + L"MinimalWindowDeclared.exe", Bench::MinimalWindowCaption, {}, {}};
    TContender minimal{folder + L"MinimalWindow.exe", Bench::MinimalWindowCaption, {}, {}};
    try {
        // One untimed start each puts the files and Wine's libraries in the cache.
        Bench::TimeStart(program, TalvoRec::WindowCaption);
        for (const TContender* contender : {&floor, &declared, &minimal})
            Bench::TimeStart(contender->Exe, contender->Caption);
        const auto start = [](TContender& Contender, double Program) {
            Contender.Times.push_back(Bench::TimeStart(Contender.Exe, Contender.Caption));
            Contender.ProgramTimes.push_back(Program);
        };
        for (int turn = 0; turn < turns; ++turn) {
            double programTime = 0, floorTime = 0;
            for (const bool programNow : {turn % 2 == 0, turn % 2 != 0}) {
                if (programNow)
                    programTime = Bench::TimeStart(program, TalvoRec::WindowCaption);
                else
                    floorTime = Bench::TimeStart(floor.Exe, floor.Caption);
            }
            floor.Times.push_back(floorTime);
            floor.ProgramTimes.push_back(programTime);
            if (!againstBuild && turn % ReferenceEvery == 0) {
                const bool declaredFirst = turn / ReferenceEvery % 2 == 0;
                start(declaredFirst ? declared : minimal, programTime);
                start(declaredFirst ? minimal : declared, programTime);
            }
        }
        const auto row = [&](const char* Measure, const TContender& Floor, const char* FloorName, bool Goal) {
            const Bench::TSpread ratio = Bench::Spread(Bench::PairedRatios(Floor.ProgramTimes, Floor.Times));
            std::printf("| %s (%zu turns) | %s | %s (%s) | %s | %s | %s |\n", Measure, Floor.Times.size(),
                        Bench::Show(Bench::Spread(Floor.ProgramTimes), "%.0f", 1000, " ms").c_str(),
                        Bench::Show(Bench::Spread(Floor.Times), "%.0f", 1000, " ms").c_str(), FloorName,
                        Bench::Show(ratio, "%.2f").c_str(), Goal ? "≤ 1.10" : "–",
                        Goal ? (ratio.Median <= 1.10 ? "yes" : "**no**") : "–");
        };
        if (againstBuild) {
            row("Hardening: Start-up to a window ready for input", floor, "without hardening", false);
            return 0;
        }
        row("Start-up to a window ready for input", floor, "the same window in plain Win32", true);
        row("Start-up, against a minimal window with the same manifest, COM apartment and common controls", declared,
            "minimal window, declared", false);
        row("Start-up, against a minimal window", minimal, "minimal window", false);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "StartupBench: %s\n", error.what());
        return 1;
    }
    return 0;
}
