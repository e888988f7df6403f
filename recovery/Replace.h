#pragma once
// Putting the backup's copy in place of the executable without ever leaving half a file: the copy
// is written beside the executable, flushed, and moved over it in one step.

#include "framework/Handle.h"

#include <windows.h>

#include <functional>
#include <string>

namespace TalvoRec {

// Restores into one folder take turns on this lock: the file "<Target>.~talvorec.lock", held open
// with no sharing. Every spelling of the folder (8.3 names, other drive letters, shares) reaches the
// same file; only those who may write the folder can create it; when its holder ends, however it
// ends, the system closes it and removes it. A file of that name that somebody else left there is
// held as it is and never removed. Only while a file of that name is there (held, or being
// deleted) is it waited for.
class TFolderLock {
public:
    // Waits up to TimeoutMs for the lock.
    TFolderLock(std::wstring Target, DWORD TimeoutMs);
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    // ERROR_SUCCESS while it is held; ERROR_TIMEOUT when somebody else held it all the time;
    // otherwise what kept us from it, found out at once: a folder we may not write, a read-only
    // volume.
    DWORD Error() const { return Error_; }
    const std::wstring& Target() const { return Target_; }

private:
    std::wstring Target_;
    Framework::THandle File_;
    DWORD Error_ = ERROR_SUCCESS;
};

// The lock file of restores into Target.
std::wstring FolderLockName(const std::wstring& Target);

// Puts a byte copy of the open Backup in place of the lock's target in one step: copied beside it
// with the backup's file times, flushed to disk, then moved over it. BeforeMove runs once the copy
// is ready, just before the move; when it returns false, nothing is moved and ERROR_CANCELLED is
// returned, and when it throws, nothing is moved either; the copy is removed both ways. On failure
// the target is left exactly as it was and no copy remains. A folder in the target's place is
// refused, never removed. Copies left behind by a run that was killed are removed first: only the
// lock's holder can know that no other run is still writing one.
// Returns ERROR_SUCCESS or the Win32 error code taken at the point of failure.
DWORD ReplaceFromBackup(const TFolderLock& Lock, HANDLE Backup, const std::function<bool()>& BeforeMove = {});

}  // namespace TalvoRec
