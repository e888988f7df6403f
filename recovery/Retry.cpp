#include "Retry.h"

namespace TalvoRec {

namespace {

// The longest the thread goes without looking at its queue: Windows counts a window whose thread
// has not done so for 5 seconds as not responding.
constexpr DWORD QueuePollMs = 250;

}  // namespace

bool WaitPainting(HANDLE Object, DWORD TimeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
    const DWORD count = Object ? 1 : 0;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT))
            DispatchMessageW(&message);
        const ULONGLONG now = GetTickCount64();
        const DWORD slice = now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, QueuePollMs));
        const DWORD result = MsgWaitForMultipleObjects(count, &Object, FALSE, slice, QS_PAINT);
        if (count > 0 && result == WAIT_OBJECT_0)
            return true;
        if (result == WAIT_FAILED || (result == WAIT_TIMEOUT && GetTickCount64() >= deadline))
            return false;
    }
}

}  // namespace TalvoRec
