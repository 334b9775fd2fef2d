#pragma once

#include "LThread.h"

#include <gtest/gtest.h>

#include <functional>

// Starts a thread that runs `body`: created suspended, then resumed.
inline LThread* StartThread(std::function<void()> body, bool deleteWhenDone = true)
{
    auto* thread = new LFunctionThread(std::move(body), LThread::kDefaultStackSize, deleteWhenDone);
    thread->Resume();
    return thread;
}

inline bool RunUntilNoThreads(SInt32 milliseconds = 5000)
{
    return LThread::RunUntil([] { return LThread::CountThreads() == 0; }, milliseconds);
}

// Every test leaves no thread behind, so one test's threads never run in the next.
class ThreadsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(RunUntilNoThreads()) << LThread::CountThreads() << " threads left running";
    }
};

// Counts the destruction of an object on a thread's stack.
struct DestructionProbe {
    explicit DestructionProbe(int& counter) : destroyed(counter) {}
    ~DestructionProbe() { ++destroyed; }
    int& destroyed;
};
