#pragma once

#include "LSemaphore.h"

// A mutual-exclusion semaphore: one owner at a time, re-entrant for its owner
// (a count of nested acquisitions). The release of the last nesting hands it
// to the first waiter and yields, so the new owner runs soon; a subclass that
// must not switch threads there overrides Signal with ReleaseOwnership alone.
// A thread deleted while it owns the mutex releases it.
class LMutexSemaphore : public LSemaphore {
public:
    LMutexSemaphore();
    ~LMutexSemaphore() override;

    OSStatus Wait(SInt32 milliseconds = semaphore_WaitForever) override;
    // Releases one nesting; throws errSemaphoreNotOwner when the current
    // context does not own it.
    void Signal() override;
    bool TryWait() override;

    bool IsOwnedByCurrent() const;
    bool IsLocked() const { return mOwner != nullptr; }
    SInt32 GetNesting() const { return mNesting; }

    // Releases every mutex that the context with this identity owns.
    static void ReleaseAllHeldBy(const void* ownerKey);

protected:
    // Releases one nesting without yielding; true when the mutex went to a waiter.
    bool ReleaseOwnership();

    void ReturnGrant(ThreadWait* wait) override;

private:
    bool TakeIfFreeOrOwned();
    void ReleaseFully();
    bool HandToFirstWaiter();

    const void* mOwner = nullptr;
    SInt32 mNesting = 0;
};
