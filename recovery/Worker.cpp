#include "Worker.h"

#include "framework/SysUtils.h"

#include <optional>
#include <utility>

namespace TalvoRec {

namespace {

// The longest the window's thread goes without looking at its queue: Windows counts a thread that
// has not done so for 5 seconds as not responding, even while nothing is queued but held input.
constexpr DWORD QueuePollMs = 250;

Framework::THandle NewEvent(bool ManualReset)
{
    Framework::THandle event(CreateEventW(nullptr, ManualReset, FALSE, nullptr));
    if (!event)
        Framework::RaiseOSError(GetLastError(), L"CreateEventW");
    return event;
}

// Waits until one of the two objects is signalled; the index of the one that was. Meanwhile the
// calling thread's windows paint and answer what is sent to them (a session end, another program
// asking whether we respond); clicks and keys stay queued until the wait is over. A request to
// end the message loop is kept for it.
DWORD WaitPainting(const HANDLE (&Objects)[2])
{
    std::optional<int> quit;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE)) {
            if (message.message == WM_QUIT)
                quit = static_cast<int>(message.wParam);
            else
                DispatchMessageW(&message);
        }
        const DWORD result = MsgWaitForMultipleObjects(2, Objects, FALSE, QueuePollMs, QS_PAINT | QS_SENDMESSAGE);
        if (result == WAIT_FAILED || result < WAIT_OBJECT_0 + 2) {
            const DWORD error = GetLastError();
            if (quit)
                PostQuitMessage(*quit);
            if (result == WAIT_FAILED)
                Framework::RaiseOSError(error, L"MsgWaitForMultipleObjects");
            return result - WAIT_OBJECT_0;
        }
    }
}

// Keys and clicks that arrived while the window waited were meant for what was on screen then: a
// key typed ahead because nothing seemed to happen must not answer the question that opens next,
// nor an Alt+F4 close it. Client and non-client alike, and touch and pen, whose messages would
// otherwise become clicks later; what was sent, not typed, is not input. PeekMessageW hands out a
// request to end the message loop whatever the range: it is kept.
void DropHeldInput()
{
    // WM_TOUCH up to WM_POINTERHWHEEL, which Windows 8 added and our headers name from then on.
    constexpr UINT lastPointerMessage = 0x024F;
    constexpr std::pair<UINT, UINT> inputRanges[] = {{WM_KEYFIRST, WM_KEYLAST},
                                                     {WM_MOUSEFIRST, WM_MOUSELAST},
                                                     {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
                                                     {WM_TOUCH, lastPointerMessage}};
    std::optional<int> quit;
    MSG message;
    for (const auto& [first, last] : inputRanges)
        while (PeekMessageW(&message, nullptr, first, last, PM_REMOVE))
            if (message.message == WM_QUIT)
                quit = static_cast<int>(message.wParam);
    if (quit)
        PostQuitMessage(*quit);
}

}  // namespace

TWorker::TWorker(std::function<void(TWorker&)> Work)
    : Work_(std::move(Work)), RequestMade_(NewEvent(false)), Answered_(NewEvent(false)), Finishing_(NewEvent(true)),
      Done_(NewEvent(true))
{
    // The thread is never waited for itself, only for its work: Done_.
    const Framework::THandle thread(CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr));
    if (!thread)
        Framework::RaiseOSError(GetLastError(), L"CreateThread");
}

TWorker::~TWorker()
{
    // Its work refers to the caller's objects: they must outlive it. Should the wait have failed,
    // the work's requests are answered no, so that it ends, and it is waited for as Wait waits,
    // the window answering meanwhile; blind only when waiting so fails again.
    if (WaitForSingleObject(Done_.Get(), 0) == WAIT_OBJECT_0)
        return;
    try {
        Finish();
    } catch (...) {
        WaitForSingleObject(Done_.Get(), INFINITE);
    }
}

DWORD WINAPI TWorker::ThreadMain(void* Param)
{
    auto* self = static_cast<TWorker*>(Param);
    try {
        self->Work_(*self);
    } catch (...) {
        self->Error_ = std::current_exception();
    }
    // The work is over: the window's thread goes on now, not once the system has ended this thread
    // (a third of a millisecond under Wine, the whole restore waiting). Nothing here touches the
    // object after this; it may be gone.
    SetEvent(self->Done_.Get());
    return 0;
}

void TWorker::WaitForThread()
{
    const HANDLE objects[] = {Done_.Get(), RequestMade_.Get()};
    for (;;) {
        const DWORD signalled = WaitPainting(objects);
        DropHeldInput();
        if (signalled == 0)
            return;
        RunRequest();
    }
}

void TWorker::RunRequest()
{
    bool answer = false;
    std::exception_ptr error;
    if (!Finished_) {
        const std::function<bool()> request = *Request_;
        try {
            answer = request();
        } catch (...) {
            error = std::current_exception();
        }
    }
    Answer_ = answer;
    RequestError_ = error;
    SetEvent(Answered_.Get());
}

void TWorker::Wait()
{
    WaitForThread();
    if (Error_ && !Finished_)
        std::rethrow_exception(Error_);
}

void TWorker::Finish()
{
    Finished_ = true;
    SetEvent(Finishing_.Get());
    WaitForThread();
}

bool TWorker::OnWindowThread(const std::function<bool()>& Request)
{
    if (WaitForSingleObject(Finishing_.Get(), 0) == WAIT_OBJECT_0)
        return false;
    Request_ = &Request;
    SetEvent(RequestMade_.Get());
    const HANDLE objects[] = {Answered_.Get(), Finishing_.Get()};
    if (WaitForMultipleObjects(2, objects, FALSE, INFINITE) != WAIT_OBJECT_0)
        return false;
    if (RequestError_)
        std::rethrow_exception(RequestError_);
    return Answer_;
}

}  // namespace TalvoRec
