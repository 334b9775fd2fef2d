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
    const void* me = ThreadScheduler::CurrentKey();
    if (mOwner == me) {
        ++mNesting;
        return noErr;
    }
    if (!mOwner && mWaiters.empty()) {
        mOwner = me;
        mNesting = 1;
        return noErr;
    }
    // Ownership is handed over in ReleaseOwnership before the wait ends.
    return BlockCurrent(milliseconds);
}

bool LMutexSemaphore::TryWait()
{
    ThreadScheduler::CheckOnOwningThread();
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
    mOwner = nullptr;
    if (mWaiters.empty())
        return false;
    ThreadWait* next = mWaiters.front();
    mOwner = ThreadScheduler::KeyOf(*next);
    mNesting = 1;
    GrantFirst();
    return true;
}

void LMutexSemaphore::ReleaseFully()
{
    mOwner = nullptr;
    mNesting = 0;
    if (!mWaiters.empty()) {
        ThreadWait* next = mWaiters.front();
        mOwner = ThreadScheduler::KeyOf(*next);
        mNesting = 1;
        GrantFirst();
    }
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
