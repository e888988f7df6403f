#pragma once
// Timing and medians shared by the benchmark programs.

#include <windows.h>

#include <algorithm>
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

}  // namespace Bench
