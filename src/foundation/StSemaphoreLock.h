#pragma once

#include "ExceptionCode.h"
#include "LSemaphore.h"
#include "ThreadErrors.h"

// Holds a semaphore for a scope. An endless wait that ends early (woken without the
// semaphore) is retried; any other failure is thrown as its code.
class StSemaphoreLock {
public:
    explicit StSemaphoreLock(LSemaphore& semaphore, SInt32 milliseconds = semaphore_WaitForever)
        : mSemaphore(semaphore)
    {
        OSStatus err;
        do {
            err = mSemaphore.Wait(milliseconds);
        } while (err == errSemaphoreTimedOut && milliseconds == semaphore_WaitForever);
        ThrowIfOSErr_(err);
    }
    ~StSemaphoreLock() { mSemaphore.Signal(); }
    StSemaphoreLock(const StSemaphoreLock&) = delete;
    StSemaphoreLock& operator=(const StSemaphoreLock&) = delete;

private:
    LSemaphore& mSemaphore;
};
