#pragma once
// Putting the backup's copy in place of the executable without ever leaving half a file: the copy
// is written beside the executable, flushed, and moved over it in one step.

#include <windows.h>

#include <string>

namespace TalvoRec {

// Puts a byte copy of the open Backup in place of Target in one step: copied beside Target with
// the backup's file times, flushed to disk, then moved over it. On failure Target is left exactly
// as it was and no copy remains. A folder in Target's place is refused, never removed. Restores
// into one folder take turns; copies left behind by a run that was killed are removed first.
// Returns ERROR_SUCCESS or the Win32 error code taken at the point of failure.
DWORD ReplaceFromBackup(HANDLE Backup, const std::wstring& Target);

// The name of the lock that restores into Folder take turns on.
std::wstring RestoreLockName(const std::wstring& Folder);

}  // namespace TalvoRec
