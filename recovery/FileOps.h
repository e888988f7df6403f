#pragma once
// The file and process operations behind the recovery. Each returns ERROR_SUCCESS or the
// Win32 error code taken at the point of failure; the caller decides what the user sees.

#include "framework/Handle.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace TalvoRec {

// True when Name exists and is not a folder. A link counts when its target can be opened for
// reading or is only held by another process.
bool FileExists(const std::wstring& Name);

// Opens the backup for reading with read sharing only, so that nobody can change or remove it
// while it is held: what is checked is what gets copied. A brief lock is waited out; OnWait runs
// once, before the first wait.
DWORD OpenBackup(const std::wstring& Name, Framework::THandle& File, const std::function<void()>& OnWait = {});

enum class TImageCheck {
    Executable,  // a whole 64-bit x64 program
    NotAnImage,  // no "MZ", or no "PE\0\0" where it points
    Damaged,     // the signatures, but cut short, a DLL, or for another processor
};

// Whether the open file holds a whole x64 program: PE32+ for AMD64, an executable image and not a
// DLL, with every header and every section's data inside the file. Data after the last section
// (signatures, installer payloads) is allowed.
DWORD CheckExecutableImage(HANDLE File, TImageCheck& Result);

// Puts a byte copy of the open Backup in place of Target in one step: copied beside Target with
// the backup's file times, flushed to disk, then moved over it. On failure Target is left exactly
// as it was and no copy remains. A folder in Target's place is refused, never removed. Restores
// into one folder take turns; copies left behind by a run that was killed are removed first.
DWORD ReplaceFromBackup(HANDLE Backup, const std::wstring& Target);

// The processes whose image is exactly Program (compared without regard to case), opened so
// that they can be ended and waited for.
std::vector<Framework::THandle> FindRunningProcesses(const std::wstring& Program);

// Ends the processes and waits up to TimeoutMs in all for them to be gone; one that cannot be
// ended is left, and whatever it still holds is reported by the restore.
void EndProcesses(const std::vector<Framework::THandle>& Processes, DWORD TimeoutMs);

// Starts Program with no arguments and does not wait for it.
DWORD StartProgram(const std::wstring& Program);

// Program's path as the file calls take it: paths too long for the plain form get the "\\?\"
// prefix, which lifts the 260-character limit.
std::wstring ExtendedPath(const std::wstring& Path);

// The name of the lock that restores into Folder take turns on.
std::wstring RestoreLockName(const std::wstring& Folder);

}  // namespace TalvoRec
