// The recorder of the phase builds: each mark takes the performance counter and writes it to the
// block the phase benchmark named in the environment. A process started without one records
// nothing. The first mark is the first of this executable's code to run, before the C++ runtime
// and every other static initialiser: what comes before it is the system's loading of the process.

#include "StartupPhases.h"

#include "framework/StartupPhases.h"

#include <cstring>
#include <iterator>

namespace {

// Opened at the first mark and kept for the life of the process: the benchmark reads the block
// before it ends it. Marks are made on the window's thread only.
Bench::TPhaseBlock* Block()
{
    static bool opened = false;
    static Bench::TPhaseBlock* block = nullptr;
    if (opened)
        return block;
    opened = true;
    wchar_t name[128];
    const DWORD length = GetEnvironmentVariableW(Bench::PhaseBlockVariable, name, static_cast<DWORD>(std::size(name)));
    if (length == 0 || length >= std::size(name))
        return nullptr;
    if (const HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name))
        block = static_cast<Bench::TPhaseBlock*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    return block;
}

__attribute__((constructor(101))) void MarkRuntimeStart()
{
    Framework::MarkStartupPhase("process made, DLLs loaded");
}

}  // namespace

namespace Framework {

void MarkStartupPhase(const char* Name) noexcept
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    Bench::TPhaseBlock* const block = Block();
    if (!block || block->Count >= Bench::MaxPhases)
        return;
    Bench::TPhaseMark& mark = block->Marks[block->Count];
    strncpy(mark.Name, Name, sizeof mark.Name - 1);
    mark.Counter = counter.QuadPart;
    ++block->Count;
}

}  // namespace Framework
