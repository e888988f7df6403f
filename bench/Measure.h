#pragma once
// Timing and medians shared by the benchmark programs.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace Bench {

// Seconds since an arbitrary fixed point, from the performance counter.
inline double Now()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

// Ends the benchmark with what failed and the error the system gave for it.
inline void Check(bool Ok, const char* What)
{
    if (!Ok)
        throw std::runtime_error(std::string(What) + " failed, error " + std::to_string(GetLastError()));
}

inline double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    const size_t middle = Values.size() / 2;
    return Values.size() % 2 ? Values[middle] : (Values[middle - 1] + Values[middle]) / 2;
}

// The least, the median and the most of a set of runs: a row shows all three.
struct TSpread {
    double Min = 0, Median = 0, Max = 0;
};

inline TSpread Spread(const std::vector<double>& Values)
{
    if (Values.empty())
        return {};
    const auto [least, most] = std::minmax_element(Values.begin(), Values.end());
    return {*least, Bench::Median(Values), *most};
}

// "median (least–most)" and the unit, each number printed by Format, e.g. "187 ms (140–398)".
inline std::string Show(const TSpread& Spread, const char* Format, double Scale = 1, const char* Unit = "")
{
    char median[32], least[32], most[32];
    std::snprintf(median, sizeof median, Format, Spread.Median * Scale);
    std::snprintf(least, sizeof least, Format, Spread.Min * Scale);
    std::snprintf(most, sizeof most, Format, Spread.Max * Scale);
    return std::string(median) + Unit + " (" + least + "–" + most + ")";
}

// Each of Program's runs divided by Floor's run of the same turn: a slow drift of the machine falls
// on both sides of a ratio alike.
inline std::vector<double> PairedRatios(const std::vector<double>& Program, const std::vector<double>& Floor)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < Program.size() && i < Floor.size(); ++i)
        ratios.push_back(Program[i] / Floor[i]);
    return ratios;
}

}  // namespace Bench
