#pragma once
// Waiting out brief locks. A virus scanner looking at a fresh file, or an application that is just
// closing, holds a file for a moment; the recovery retries its file calls through that much. The
// calls run on the recovery's own thread (see Worker.h), so a pause is a plain sleep.

#include <windows.h>

#include <algorithm>

namespace TalvoRec {

// How long a lock is waited out in all, and the pauses between tries (they double).
inline constexpr DWORD RetryBudgetMs = 3000;
inline constexpr DWORD FirstRetryPauseMs = 10;
inline constexpr DWORD LongestRetryPauseMs = 250;

// The answers Windows gives while somebody else holds the file.
inline bool IsBriefLock(DWORD Error)
{
    return Error == ERROR_SHARING_VIOLATION || Error == ERROR_LOCK_VIOLATION || Error == ERROR_ACCESS_DENIED;
}

inline DWORD LastErrorUnless(BOOL Succeeded)
{
    return Succeeded ? ERROR_SUCCESS : GetLastError();
}

// Runs Attempt (which returns a Win32 error code) until it succeeds or fails for a reason other
// than a lock, for BudgetMs in all.
template <class TAttempt>
DWORD RetryWhileLocked(TAttempt Attempt, DWORD BudgetMs = RetryBudgetMs)
{
    const ULONGLONG deadline = GetTickCount64() + BudgetMs;
    DWORD pause = FirstRetryPauseMs;
    for (;;) {
        const DWORD error = Attempt();
        const ULONGLONG now = GetTickCount64();
        if (!IsBriefLock(error) || now >= deadline)
            return error;
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, deadline - now)));
        pause = std::min(pause * 2, LongestRetryPauseMs);
    }
}

}  // namespace TalvoRec
