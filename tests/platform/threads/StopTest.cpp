#include "ThreadTestSupport.h"

#include "ExceptionCode.h"
#include "LMutexSemaphore.h"
#include "LSemaphore.h"

#include <memory>
#include <stdexcept>

TEST_F(ThreadsTest, DeletingABlockedThreadUnwindsItsStackAndLeavesTheQueue)
{
    LSemaphore semaphore(0);
    int destroyed = 0;
    bool passedWait = false;
    LThread* blocked = StartThread([&] {
        DestructionProbe probe(destroyed);
        semaphore.Wait();
        passedWait = true;
    });
    LThread::RunRound();
    ASSERT_EQ(blocked->GetState(), threadState_Blocked);
    ASSERT_EQ(semaphore.CountWaiting(), 1u);

    blocked->DeleteThread();
    EXPECT_EQ(destroyed, 1) << "the object on the deleted thread's stack was not destroyed";
    EXPECT_FALSE(passedWait);
    EXPECT_EQ(semaphore.CountWaiting(), 0u);
    EXPECT_EQ(LThread::CountThreads(), 0u);

    // The semaphore still serves the others.
    bool served = false;
    StartThread([&] {
        semaphore.Wait();
        served = true;
    });
    LThread::RunRound();
    semaphore.Signal();
    LThread::RunRound();
    EXPECT_TRUE(served);
}

TEST_F(ThreadsTest, SleepingSuspendedAndUnstartedThreadsCanBeDeleted)
{
    int destroyed = 0;
    bool ranOn = false;
    LThread* sleeper = StartThread([&] {
        DestructionProbe probe(destroyed);
        LThread::Sleep(60000);
        ranOn = true;
    });
    LThread* suspended = StartThread([&] {
        DestructionProbe probe(destroyed);
        LThread::GetCurrentThread()->Suspend();
        ranOn = true;
    });
    LThread::RunRound();
    EXPECT_EQ(suspended->GetState(), threadState_Suspended);
    sleeper->DeleteThread();
    suspended->DeleteThread();
    EXPECT_EQ(destroyed, 2);

    bool unstartedRan = false;
    auto* unstarted = new LFunctionThread([&] { unstartedRan = true; });
    unstarted->DeleteThread();
    LThread::RunRound();
    EXPECT_FALSE(unstartedRan);
    EXPECT_FALSE(ranOn);
}

TEST_F(ThreadsTest, DeletingACompletedThreadIsHarmless)
{
    auto* kept = StartThread([] {}, /*deleteWhenDone*/ false);
    LThread::RunRound();
    EXPECT_TRUE(kept->IsCompleted());
    EXPECT_EQ(LThread::CountThreads(), 0u);
    kept->Suspend();
    kept->Resume();
    kept->Wake();
    kept->DeleteThread();
}

TEST_F(ThreadsTest, ThreadDeletingItselfNeverReturns)
{
    int destroyed = 0;
    bool returned = false;
    StartThread([&] {
        DestructionProbe probe(destroyed);
        LThread::GetCurrentThread()->DeleteThread();
        returned = true;
    });
    LThread::RunRound();
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(returned);
    EXPECT_EQ(LThread::CountThreads(), 0u);
}

TEST_F(ThreadsTest, UnwindingPassesThroughTheCatchAllHelperAndCatchCode)
{
    LSemaphore semaphore(0);
    int destroyed = 0;
    bool swallowed = false;
    LThread* inHelper = StartThread([&] {
        try {
            DestructionProbe probe(destroyed);
            semaphore.Wait();
        } CatchAllButUnwind_ {
            swallowed = true;
        }
    });
    LThread* inCatchCode = StartThread([&] {
        OSStatus code = CatchCode([&] {
            DestructionProbe probe(destroyed);
            semaphore.Wait();
        });
        swallowed = swallowed || code != noErr;
    });
    LThread::RunRound();
    inHelper->DeleteThread();
    inCatchCode->DeleteThread();
    EXPECT_EQ(destroyed, 2);
    EXPECT_FALSE(swallowed);

    // And the helper still catches everything else.
    bool caught = false;
    StartThread([&] {
        try {
            throw std::runtime_error("ordinary");
        } CatchAllButUnwind_ {
            caught = true;
        }
    });
    LThread::RunRound();
    EXPECT_TRUE(caught);
}

TEST_F(ThreadsTest, SignalGrantedToADeletedThreadGoesToTheNextWaiter)
{
    LSemaphore semaphore(0);
    bool firstRan = false;
    bool secondRan = false;
    LThread* first = StartThread([&] {
        semaphore.Wait();
        firstRan = true;
    });
    StartThread([&] {
        semaphore.Wait();
        secondRan = true;
    });
    LThread::RunRound();
    semaphore.Signal();  // granted to the first, which has not run yet
    first->DeleteThread();
    LThread::RunRound();
    EXPECT_FALSE(firstRan);
    EXPECT_TRUE(secondRan);
}

TEST_F(ThreadsTest, GrantOfASemaphoreThatIsGoneIsNotGivenBack)
{
    auto semaphore = std::make_unique<LSemaphore>(0);
    bool ran = false;
    LThread* waiter = StartThread([&] {
        semaphore->Wait();
        ran = true;
    });
    LThread::RunRound();
    semaphore->Signal();
    semaphore.reset();      // granted, then the semaphore goes away
    waiter->DeleteThread();  // must not hand the grant back to it
    EXPECT_FALSE(ran);
}

TEST_F(ThreadsTest, MutexHeldByADeletedThreadIsReleased)
{
    LMutexSemaphore mutex;
    LThread* holder = StartThread([&] {
        mutex.Wait();
        LThread::Sleep(60000);
    });
    bool got = false;
    StartThread([&] {
        mutex.Wait();
        got = true;
        mutex.Signal();
    });
    LThread::RunRound();
    EXPECT_FALSE(got);
    holder->DeleteThread();
    LThread::RunRound();
    EXPECT_TRUE(got);
    EXPECT_FALSE(mutex.IsLocked());
}

TEST_F(ThreadsTest, ThreadRunningBelowTheCurrentOneIsDeletedWhenItGivesControlBack)
{
    // A thread that runs a round in place (here: a main-thread-style wait inside
    // a thread, via RunUntil) resumes others; they cannot delete it while its
    // stack is live, so the deletion waits until it gives control back.
    int destroyed = 0;
    bool finishedWait = false;
    LThread* outer = nullptr;
    outer = StartThread([&] {
        DestructionProbe probe(destroyed);
        StEventCallback callback;  // as inside a timer: rounds run here
        StartThread([&] { outer->DeleteThread(); });
        LThread::Yield();  // runs the inner thread, which asks for the deletion
        finishedWait = true;
    });
    LThread::RunRound();
    EXPECT_TRUE(finishedWait) << "the deletion must not cut the running thread short";
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(LThread::CountThreads(), 0u);
}

TEST_F(ThreadsTest, ThreadDeletedInsideACatchBlockLeavesNoExceptionBehind)
{
    LSemaphore semaphore(0);
    int destroyed = 0;
    LThread* thread = StartThread([&] {
        try {
            ThrowOSErr_(fnfErr);
        } catch (const ExceptionCode&) {
            DestructionProbe probe(destroyed);
            semaphore.Wait();
        }
    });
    LThread::RunRound();
    thread->DeleteThread();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(std::uncaught_exceptions(), 0);
    EXPECT_EQ(std::current_exception(), nullptr);
}

TEST_F(ThreadsTest, ThreadSuspendedInsideItsOwnEventCallbackIsDeletedOnlyAfterItGivesControlBack)
{
    int destroyed = 0;
    bool resumedAndReturned = false;
    LThread* outer = nullptr;
    outer = StartThread([&] {
        DestructionProbe probe(destroyed);
        {
            StEventCallback callback;  // it cannot give control back here
            StartThread([&] {
                outer->DeleteThread();  // only marks it: its stack is live
                outer->Resume();
            });
            LThread::GetCurrentThread()->Suspend();  // runs rounds in place until resumed
            resumedAndReturned = true;
        }
        LThread::Yield();  // now it gives control back, and is deleted there
        ADD_FAILURE() << "a deleted thread was resumed";
    });
    LThread::RunRound();
    EXPECT_TRUE(resumedAndReturned);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(LThread::CountThreads(), 0u);
}
