#pragma once

// Inside the thread layer: the scheduler's state and the wait records that the
// semaphores and the worker pool block on. Code above the layer uses LThread,
// the semaphores and WorkerPool instead.

#include "LThread.h"

#include <chrono>
#include <deque>
#include <optional>
#include <vector>

using ThreadClock = std::chrono::steady_clock;

class WaitQueue;

// One blocked context: a thread, or the main thread (thread null). It lives on
// the waiting context's stack for the duration of the wait.
struct ThreadWait {
    LThread* thread = nullptr;
    WaitQueue* queue = nullptr;      // the queue it is linked into, if any
    WaitQueue* grantedBy = nullptr;  // set when a queue ended the wait by granting it
    std::optional<ThreadClock::time_point> deadline;
    OSStatus timeoutResult = errSemaphoreTimedOut;  // result when the deadline passes or it is woken
    OSStatus result = noErr;
    bool done = false;
};

// Something threads wait on (a semaphore, a worker job).
class WaitQueue {
public:
    virtual ~WaitQueue()
    {
        for (ThreadWait* wait : mGranted)
            wait->grantedBy = nullptr;
    }

    // A grant stays on record until its thread takes it (or dies), so that a
    // deleted thread's grant can be given back, and never to a queue that is gone.
    void NoteGrant(ThreadWait* wait)
    {
        wait->grantedBy = this;
        mGranted.push_back(wait);
    }
    void ForgetGrant(ThreadWait* wait)
    {
        std::erase(mGranted, wait);
        wait->grantedBy = nullptr;
    }

    // Unlinks a wait that ends without being granted (time-out, wake, deletion).
    virtual void RemoveWait(ThreadWait* wait) = 0;
    // The thread of a granted wait is deleted before it took the grant: give it back.
    virtual void ReturnGrant(ThreadWait* /*wait*/) {}
    // The waiting thread is being deleted: unlink it, and make sure nothing
    // touches its stack afterwards. With `mayDefer`, whatever still works on the
    // stack gets a short while to stop; false when it did not (a worker's job
    // stuck in a call that does not return): the stack must then stay until
    // StackReleased answers true.
    virtual bool ReleaseForDeletion(ThreadWait* wait, bool /*mayDefer*/)
    {
        RemoveWait(wait);
        return true;
    }
    virtual bool StackReleased() { return true; }

private:
    std::vector<ThreadWait*> mGranted;
};

class ThreadScheduler {
public:
    // Blocks the current context until the wait is ended by Complete, its
    // deadline passes or it is woken; returns its result. Threads switch out;
    // the main thread and anchored threads run rounds meanwhile.
    static OSStatus Block(ThreadWait& wait);
    // Ends a wait with a result: unlinks it from its queue and makes its thread
    // ready (or suspended, when a suspension is pending). Nothing when it has ended.
    static void Complete(ThreadWait& wait, OSStatus result);
    // The same, recording that `grantor` handed the wait what it waited for.
    static void Grant(ThreadWait& wait, WaitQueue* grantor);

    // The current context: the running thread, or null for the main thread.
    static LThread* Current();
    // An identity for the current context that is never null (mutex owners).
    static const void* CurrentKey();
    static const void* KeyOf(const ThreadWait& wait);
    // True when the current context must run rounds in place instead of
    // switching out (the main thread, or an anchored thread).
    static bool CurrentRunsRounds();
    // True when the current thread's stack is being unwound: it cannot block.
    static bool CurrentIsUnwinding();

    // Throws 'asrt' when called off the GUI thread.
    static void CheckOnOwningThread();
    static bool IsOnOwningThread();

private:
    friend class LThread;
    friend class UMainThread;
    friend class StEventCallback;

    static void SwitchTo(LThread* thread);
    static void SwitchOut(LThread* self);
    static void AfterSwitchBack(LThread* thread);
    static void FinishCompleted(LThread* thread);
    // Unwinds the thread's stack and takes it out of everything; false when its
    // deletion was deferred instead (see LThread::MayFinishDeletionLater): the
    // thread is then parked, and deleted by a later round once its stack is free.
    static bool Destroy(LThread* thread, bool mayDefer);
    static void FinishParked();
    static void MakeRunnable(LThread* thread);
    static void RemoveFromReady(LThread* thread);
    static bool IsAnchored(const LThread* thread);
    static void WakeDueWaits();
    static void IdleUntil(std::optional<ThreadClock::time_point> limit);
    static void SaveExceptionState(LThread* context);
    static void LoadExceptionState(LThread* context);
    static void Register(LThread* thread);
    static void Unregister(LThread* thread);
};
