#pragma once
// Marks between the steps of start-up, for the benchmark's phase builds (script/bench builds the
// program once more with TALVO_STARTUP_PHASES and bench/StartupPhases.cpp, which records when each
// mark was passed). In the program as it ships a mark is nothing at all.

namespace Framework {

#ifdef TALVO_STARTUP_PHASES
void MarkStartupPhase(const char* Name) noexcept;
#else
inline void MarkStartupPhase(const char*) noexcept
{
}
#endif

}  // namespace Framework
