#pragma once

#include "LMutexSemaphore.h"

// The error manager's mutex: releasing it never switches threads, so that a
// report made from a task does not hand the processor away in the middle of
// the task's operation. Everything else is the framework's mutex.
class CMutexSemaphore : public LMutexSemaphore {
public:
    void Signal() override;
};
