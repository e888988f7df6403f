// Start-up time of Talvorecmax.exe against its floor, the same window written straight on Win32
// (RawWindow.exe), and against two minimal windows for reference: one plain window, and the same
// with the program's manifest, COM apartment and common controls. Each time is from just before
// CreateProcessW until the process shows its window and waits for input. In every turn each of the
// four starts once, in an order that rotates, so none always follows another's clean-up; a ratio is
// the median of the ratios within a turn, so that a slow drift of the machine falls on both sides.
//
// Usage: StartupBench [turns]. The programs are found beside this one (Talvorecmax.exe one folder
// up). Prints Markdown table rows.

#include "BenchCaptions.h"
#include "Measure.h"
#include "Startup.h"
#include "recovery/TalvoRec.h"
#include "tests/Processes.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct TContender {
    std::wstring Exe;
    const wchar_t* Caption;
    std::vector<double> Times;
};

}  // namespace

int main(int argc, char** argv)
{
    const int turns = argc > 1 ? std::atoi(argv[1]) : 40;
    const std::wstring folder = Testing::TestBinaryDir();
    TContender contenders[] = {
        {folder + L"..\\Talvorecmax.exe", TalvoRec::WindowCaption, {}},
        {folder + L"RawWindow.exe", TalvoRec::WindowCaption, {}},
        {folder + L"MinimalWindowDeclared.exe", Bench::MinimalWindowCaption, {}},
        {folder + L"MinimalWindow.exe", Bench::MinimalWindowCaption, {}},
    };
    constexpr int count = static_cast<int>(std::size(contenders));
    try {
        // One untimed start each puts the files and Wine's libraries in the cache.
        for (const TContender& contender : contenders)
            Bench::TimeStart(contender.Exe, contender.Caption);
        for (int turn = 0; turn < turns; ++turn)
            for (int i = 0; i < count; ++i) {
                TContender& contender = contenders[(turn + i) % count];
                contender.Times.push_back(Bench::TimeStart(contender.Exe, contender.Caption));
            }
        const Bench::TSpread program = Bench::Spread(contenders[0].Times);
        const auto row = [&](const char* Measure, const TContender& Floor, const char* FloorName, bool Goal) {
            const Bench::TSpread floor = Bench::Spread(Floor.Times);
            const Bench::TSpread ratio = Bench::Spread(Bench::PairedRatios(contenders[0].Times, Floor.Times));
            std::printf("| %s (%d turns) | %s | %s (%s) | %s | %s | %s |\n", Measure, turns,
                        Bench::Show(program, "%.0f", 1000, " ms").c_str(),
                        Bench::Show(floor, "%.0f", 1000, " ms").c_str(), FloorName, Bench::Show(ratio, "%.2f").c_str(),
                        Goal ? "≤ 1.10" : "–", Goal ? (ratio.Median <= 1.10 ? "yes" : "**no**") : "–");
        };
        row("Start-up to a window ready for input", contenders[1], "the same window in plain Win32", true);
        row("Start-up, against a minimal window with the same manifest, COM apartment and common controls",
            contenders[2], "minimal window, declared", false);
        row("Start-up, against a minimal window", contenders[3], "minimal window", false);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "StartupBench: %s\n", error.what());
        return 1;
    }
    return 0;
}
