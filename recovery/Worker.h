#pragma once
// The recovery's long work (reading and checking the backup, waiting for the folder, the copy, the
// flush and the move) runs on a thread of its own. A large executable on a slow disk or a network
// share takes many seconds to copy; a window whose thread does not look at its queue for 5 seconds
// is marked as not responding, and Windows offers to end the program in the middle of the restore.
// The window's thread waits for the work instead, painting and answering the messages sent to it,
// and shows the work's questions. Keys and clicks are held back while it waits, so nothing can be
// clicked mid-restore, and dropped when the wait ends: they were typed at a window that seemed
// stuck, not at the question that opens next.

#include "framework/Handle.h"

#include <windows.h>

#include <exception>
#include <functional>

namespace TalvoRec {

class TWorker {
public:
    // Starts Work on a thread of its own.
    explicit TWorker(std::function<void(TWorker&)> Work);
    // Waits for the work as Finish does, should Wait not have.
    ~TWorker();
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;

    // On the window's thread: waits until the work is done, the thread's windows painting and
    // answering sent messages meanwhile, and runs the requests the work makes; the keys and clicks
    // that came meanwhile are dropped before each request and before it returns. Raises what the
    // work raised, unless Finish has been called meanwhile: whoever finished the work took it over.
    void Wait();

    // On the window's thread, from inside a wait (a close of the window, the end of the session):
    // every request of the work, the one being answered included, answers false from now on, and
    // the work is waited for as by Wait. What it raises is dropped.
    void Finish();
    bool Finished() const { return Finished_; }

    // On the work's thread: runs Request on the window's thread and returns its answer, or raises
    // what it raised; false once Finish has been called, whether or not Request ran. Request must
    // not refer to the work's own locals: the work may have gone on without its answer.
    bool OnWindowThread(const std::function<bool()>& Request);

private:
    static DWORD WINAPI ThreadMain(void* Param);
    void WaitForThread();
    void RunRequest();

    std::function<void(TWorker&)> Work_;
    std::exception_ptr Error_;
    // A request of the work and its answer; the window's thread copies the request before it runs
    // it, since the work may drop it on Finish.
    const std::function<bool()>* Request_ = nullptr;
    bool Answer_ = false;
    std::exception_ptr RequestError_;
    Framework::THandle RequestMade_;  // auto-reset: the work has made a request
    Framework::THandle Answered_;     // auto-reset: the window's thread has answered it
    Framework::THandle Finishing_;    // manual-reset: set by Finish
    bool Finished_ = false;           // read and written on the window's thread only
    Framework::THandle Done_;         // manual-reset: set by the work's thread once the work is over
};

}  // namespace TalvoRec
