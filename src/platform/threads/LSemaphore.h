#pragma once

#include "LThread.h"
#include "ThreadScheduler.h"

#include <deque>

// A counting semaphore of the cooperative threads. Waiters are served first
// come, first served: a signal goes to the longest waiter, never to a later
// caller that happens to run first. A wait from the main thread runs rounds
// until it is served.
class LSemaphore : protected WaitQueue {
public:
    explicit LSemaphore(SInt32 initialCount = 0);
    // Waiters still queued end with errSemaphoreDestroyed.
    ~LSemaphore() override;

    LSemaphore(const LSemaphore&) = delete;
    LSemaphore& operator=(const LSemaphore&) = delete;

    // Takes one count, waiting up to `milliseconds` (semaphore_WaitForever: no
    // limit, semaphore_NoWait: not at all). noErr, errSemaphoreTimedOut (also
    // when the waiting thread is woken) or errSemaphoreDestroyed.
    virtual OSStatus Wait(SInt32 milliseconds = semaphore_WaitForever);
    // Hands one count to the first waiter, or keeps it. Never yields.
    virtual void Signal();
    // Takes one count when there is one, without waiting.
    virtual bool TryWait();

    SInt32 GetCount() const { return mCount; }
    std::size_t CountWaiting() const { return mWaiters.size(); }

protected:
    // Queues the current context at the end and blocks it.
    OSStatus BlockCurrent(SInt32 milliseconds);
    void GrantFirst();

    void RemoveWait(ThreadWait* wait) override;
    void ReturnGrant(ThreadWait* wait) override;

    std::deque<ThreadWait*> mWaiters;
    SInt32 mCount;
};

// A manual-reset event: once posted, every wait passes until it is reset.
class LEventSemaphore : public LSemaphore {
public:
    explicit LEventSemaphore(bool posted = false);

    OSStatus Wait(SInt32 milliseconds = semaphore_WaitForever) override;
    // Posts the event: every waiter goes on, and later waits pass.
    void Signal() override;
    bool TryWait() override { return mPosted; }
    // Clears the event. Resetting one that is not posted is harmless; the
    // answer says whether it was posted.
    bool Reset();

    bool IsPosted() const { return mPosted; }

protected:
    void ReturnGrant(ThreadWait*) override {}

private:
    bool mPosted;
};
