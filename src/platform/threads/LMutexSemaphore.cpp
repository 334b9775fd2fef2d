#include "LMutexSemaphore.h"

#include "ExceptionCode.h"

#include <set>

namespace {
std::set<LMutexSemaphore*>& LiveMutexes()
{
    static std::set<LMutexSemaphore*> mutexes;
    return mutexes;
}
} // namespace

LMutexSemaphore::LMutexSemaphore() : LSemaphore(0)
{
    LiveMutexes().insert(this);
}

LMutexSemaphore::~LMutexSemaphore()
{
    LiveMutexes().erase(this);
}

OSStatus LMutexSemaphore::Wait(SInt32 milliseconds)
{
    ThreadScheduler::CheckOnOwningThread();
    if (TakeIfFreeOrOwned())
        return noErr;
    // Ownership is handed over before the wait ends (HandToFirstWaiter).
    return BlockCurrent(milliseconds);
}

bool LMutexSemaphore::TryWait()
{
    ThreadScheduler::CheckOnOwningThread();
    return TakeIfFreeOrOwned();
}

bool LMutexSemaphore::TakeIfFreeOrOwned()
{
    const void* me = ThreadScheduler::CurrentKey();
    if (mOwner == me) {
        ++mNesting;
        return true;
    }
    if (!mOwner && mWaiters.empty()) {
        mOwner = me;
        mNesting = 1;
        return true;
    }
    return false;
}

void LMutexSemaphore::Signal()
{
    if (ReleaseOwnership())
        LThread::Yield();
}

bool LMutexSemaphore::ReleaseOwnership()
{
    ThreadScheduler::CheckOnOwningThread();
    if (mOwner != ThreadScheduler::CurrentKey())
        ThrowOSErr_(errSemaphoreNotOwner);
    if (--mNesting > 0)
        return false;
    return HandToFirstWaiter();
}

void LMutexSemaphore::ReleaseFully()
{
    HandToFirstWaiter();
}

bool LMutexSemaphore::HandToFirstWaiter()
{
    mOwner = nullptr;
    mNesting = 0;
    if (mWaiters.empty())
        return false;
    mOwner = ThreadScheduler::KeyOf(*mWaiters.front());
    mNesting = 1;
    GrantFirst();
    return true;
}

void LMutexSemaphore::ReturnGrant(ThreadWait* wait)
{
    if (mOwner == ThreadScheduler::KeyOf(*wait))
        ReleaseFully();
}

bool LMutexSemaphore::IsOwnedByCurrent() const
{
    return mOwner != nullptr && mOwner == ThreadScheduler::CurrentKey();
}

void LMutexSemaphore::ReleaseAllHeldBy(const void* ownerKey)
{
    // Copy first: a release may end waits whose threads touch mutexes later.
    std::vector<LMutexSemaphore*> held;
    for (LMutexSemaphore* mutex : LiveMutexes())
        if (mutex->mOwner == ownerKey)
            held.push_back(mutex);
    for (LMutexSemaphore* mutex : held)
        if (LiveMutexes().count(mutex) && mutex->mOwner == ownerKey)
            mutex->ReleaseFully();
}
