#pragma once
// The main application as a process: finding the copies that run from our folder, ending them with
// the user's consent, and starting the restored one.

#include "framework/Handle.h"

#include <windows.h>

#include <string>
#include <vector>

namespace TalvoRec {

// The processes whose image is exactly Program (compared without regard to case), opened so
// that they can be ended and waited for.
std::vector<Framework::THandle> FindRunningProcesses(const std::wstring& Program);

// Ends the processes and waits up to TimeoutMs in all for them to be gone; one that cannot be
// ended is left, and whatever it still holds is reported by the restore.
void EndProcesses(const std::vector<Framework::THandle>& Processes, DWORD TimeoutMs);

// Starts Program with no arguments and does not wait for it. Returns ERROR_SUCCESS or the error.
DWORD StartProgram(const std::wstring& Program);

}  // namespace TalvoRec
