#pragma once
// What a phase build of a program (TALVO_STARTUP_PHASES) writes for the phase benchmark: when it
// passed each mark, on the performance counter, in a named shared memory block the benchmark made
// and named in the environment.

#include <windows.h>

namespace Bench {

inline constexpr wchar_t PhaseBlockVariable[] = L"TALVO_STARTUP_PHASES";
inline constexpr int MaxPhases = 40;

struct TPhaseMark {
    char Name[64];
    LONGLONG Counter;
};

struct TPhaseBlock {
    LONG Count;
    TPhaseMark Marks[MaxPhases];
};

}  // namespace Bench
