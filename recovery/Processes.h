#pragma once
// The main application as a process: finding the copies that run from our folder, ending them with
// the user's consent, and starting the restored one.

#include "framework/Handle.h"

#include <windows.h>

#include <string>
#include <vector>

namespace TalvoRec {

// The running copies of a program.
struct TRunningCopies {
    std::vector<Framework::THandle> Processes;  // each opened so that it can be ended and waited for
    DWORD OpenError = ERROR_SUCCESS;            // why a copy could not be opened so, if one could not
    // A process of the program's name was seen whose image could not even be asked for (another
    // user's, a protected one): it is never ended, but it may be a copy that holds the program.
    bool Unidentified = false;
    bool Any() const { return !Processes.empty() || OpenError != ERROR_SUCCESS; }
};

// The processes that run from the file Program names, compared as files, not as names: a copy
// started through another spelling of the folder is found. Only processes of Program's file name,
// long or short (8.3), are looked at.
TRunningCopies FindRunningProcesses(const std::wstring& Program);

// Ends the copies and waits up to TimeoutMs in all for them to be gone. ERROR_SUCCESS once they
// are; otherwise why not: the copies' OpenError (then none is ended), the error of ending one, or
// WAIT_TIMEOUT for one still there.
DWORD EndProcesses(const TRunningCopies& Copies, DWORD TimeoutMs);

// The path Program is started by: its own, or from MAX_PATH characters on its short (8.3) form.
// Empty when that is MAX_PATH or more too (a volume that keeps no short names, a folder whose names
// are short already): started by its "\\?\" path, the program would see that as its own, which some
// runtimes refuse, and Windows 7 is reported to refuse the start.
std::wstring StartPathOf(const std::wstring& Program);

// Starts the program at Path, as StartPathOf gives it, with no arguments and does not wait for it.
// Returns ERROR_SUCCESS or the error.
DWORD StartProgram(const std::wstring& Path);

}  // namespace TalvoRec
