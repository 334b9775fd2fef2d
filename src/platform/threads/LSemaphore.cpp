#include "LSemaphore.h"

#include "ExceptionCode.h"

#include <algorithm>

LSemaphore::LSemaphore(SInt32 initialCount) : mCount(std::max<SInt32>(initialCount, 0)) {}

LSemaphore::~LSemaphore()
{
    while (!mWaiters.empty())
        ThreadScheduler::Complete(*mWaiters.front(), errSemaphoreDestroyed);
}

OSStatus LSemaphore::Wait(SInt32 milliseconds)
{
    return TryWait() ? OSStatus(noErr) : BlockCurrent(milliseconds);
}

void LSemaphore::Signal()
{
    ThreadScheduler::CheckOnOwningThread();
    if (!mWaiters.empty())
        GrantFirst();
    else
        ++mCount;
}

bool LSemaphore::TryWait()
{
    ThreadScheduler::CheckOnOwningThread();
    if (mCount > 0 && mWaiters.empty()) {
        --mCount;
        return true;
    }
    return false;
}

OSStatus LSemaphore::BlockCurrent(SInt32 milliseconds)
{
    if (milliseconds == semaphore_NoWait)
        return errSemaphoreTimedOut;
    ThreadWait wait;
    wait.thread = ThreadScheduler::Current();
    wait.timeoutResult = errSemaphoreTimedOut;
    if (milliseconds > 0)
        wait.deadline = ThreadClock::now() + std::chrono::milliseconds(milliseconds);
    wait.queue = this;
    mWaiters.push_back(&wait);
    return ThreadScheduler::Block(wait);
}

void LSemaphore::GrantFirst()
{
    ThreadScheduler::Grant(*mWaiters.front(), this);
}

void LSemaphore::RemoveWait(ThreadWait* wait)
{
    auto found = std::find(mWaiters.begin(), mWaiters.end(), wait);
    if (found != mWaiters.end())
        mWaiters.erase(found);
}

void LSemaphore::ReturnGrant(ThreadWait*)
{
    // The thread died before it took its count: pass it on.
    Signal();
}

// --- LEventSemaphore --------------------------------------------------------------

LEventSemaphore::LEventSemaphore(bool posted) : LSemaphore(0), mPosted(posted) {}

OSStatus LEventSemaphore::Wait(SInt32 milliseconds)
{
    ThreadScheduler::CheckOnOwningThread();
    if (mPosted)
        return noErr;
    return BlockCurrent(milliseconds);
}

void LEventSemaphore::Signal()
{
    ThreadScheduler::CheckOnOwningThread();
    mPosted = true;
    while (!mWaiters.empty())
        GrantFirst();
}

bool LEventSemaphore::Reset()
{
    ThreadScheduler::CheckOnOwningThread();
    bool wasPosted = mPosted;
    mPosted = false;
    return wasPosted;
}
