#include "ThreadTestSupport.h"

#include "ExceptionCode.h"
#include "LMutexSemaphore.h"
#include "LSemaphore.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using Log = std::vector<std::string>;
using namespace std::chrono;

TEST_F(ThreadsTest, CountingSemaphoreLetsExactlyNThreadsPastInArrivalOrder)
{
    LSemaphore slots(2);
    LEventSemaphore gate;
    std::vector<int> entered;
    int inside = 0;
    int mostInside = 0;
    for (int i = 0; i < 5; ++i) {
        StartThread([&, i] {
            ASSERT_EQ(slots.Wait(), noErr);
            entered.push_back(i);
            mostInside = std::max(mostInside, ++inside);
            gate.Wait();
            --inside;
            slots.Signal();
        });
    }
    for (int r = 0; r < 5; ++r)
        LThread::RunRound();
    EXPECT_EQ(entered, (std::vector<int>{0, 1}));
    EXPECT_EQ(slots.CountWaiting(), 3u);

    gate.Signal();
    RunUntilNoThreads();
    EXPECT_EQ(entered, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(mostInside, 2);
    EXPECT_EQ(slots.GetCount(), 2);
}

TEST_F(ThreadsTest, SignalGoesToTheLongestWaiterNotToALaterCaller)
{
    LSemaphore semaphore(0);
    Log log;
    StartThread([&] {
        semaphore.Wait();
        log.push_back("waiter");
    });
    LThread::RunRound();
    semaphore.Signal();
    // The count is the waiter's now, although it has not run yet.
    EXPECT_FALSE(semaphore.TryWait());
    EXPECT_EQ(semaphore.GetCount(), 0);
    LThread::RunRound();
    EXPECT_EQ(log, (Log{"waiter"}));
}

TEST_F(ThreadsTest, TryWaitTakesOnlyWhatIsThere)
{
    LSemaphore semaphore(1);
    EXPECT_TRUE(semaphore.TryWait());
    EXPECT_FALSE(semaphore.TryWait());
    EXPECT_EQ(semaphore.Wait(semaphore_NoWait), errSemaphoreTimedOut);
    semaphore.Signal();
    semaphore.Signal();
    EXPECT_EQ(semaphore.GetCount(), 2);
    EXPECT_EQ(semaphore.Wait(semaphore_NoWait), noErr);
    EXPECT_EQ(semaphore.GetCount(), 1);
}

TEST_F(ThreadsTest, WaitWithTimeOutReturns28021AndLeavesTheQueue)
{
    LSemaphore semaphore(0);
    OSStatus result = noErr;
    steady_clock::duration waited{};
    StartThread([&] {
        auto start = steady_clock::now();
        result = semaphore.Wait(40);
        waited = steady_clock::now() - start;
    });
    RunUntilNoThreads();
    EXPECT_EQ(result, errSemaphoreTimedOut);
    EXPECT_GE(waited, milliseconds(40));
    EXPECT_EQ(semaphore.CountWaiting(), 0u);
    semaphore.Signal();
    EXPECT_EQ(semaphore.GetCount(), 1) << "a signal after the time-out is not lost to the gone waiter";
}

TEST_F(ThreadsTest, MainThreadWaitRunsTheThreadsUntilItIsServed)
{
    LSemaphore semaphore(0);
    int turns = 0;
    StartThread([&] {
        for (int i = 0; i < 3; ++i) {
            ++turns;
            LThread::Yield();
        }
        semaphore.Signal();
    });
    EXPECT_EQ(semaphore.Wait(), noErr);
    EXPECT_EQ(turns, 3);

    auto start = steady_clock::now();
    EXPECT_EQ(semaphore.Wait(30), errSemaphoreTimedOut);
    EXPECT_GE(steady_clock::now() - start, milliseconds(30));
}

TEST_F(ThreadsTest, WakeEndsAWaitWithTimeOutCode)
{
    LSemaphore semaphore(0);
    OSStatus result = noErr;
    auto* thread = StartThread([&] { result = semaphore.Wait(); });
    LThread::RunRound();
    EXPECT_EQ(thread->GetState(), threadState_Blocked);
    thread->Wake();
    RunUntilNoThreads();
    EXPECT_EQ(result, errSemaphoreTimedOut);
    EXPECT_EQ(semaphore.CountWaiting(), 0u);
}

TEST_F(ThreadsTest, DestroyedSemaphoreEndsItsWaitsWith28020)
{
    auto semaphore = std::make_unique<LSemaphore>(0);
    std::vector<OSStatus> results;
    for (int i = 0; i < 2; ++i)
        StartThread([&] { results.push_back(semaphore->Wait()); });
    LThread::RunRound();
    semaphore.reset();
    RunUntilNoThreads();
    EXPECT_EQ(results, (std::vector<OSStatus>{errSemaphoreDestroyed, errSemaphoreDestroyed}));
}

TEST_F(ThreadsTest, EventSemaphorePostsToAllAndStaysPostedUntilReset)
{
    LEventSemaphore event;
    int through = 0;
    for (int i = 0; i < 3; ++i)
        StartThread([&] {
            event.Wait();
            ++through;
        });
    LThread::RunRound();
    EXPECT_EQ(through, 0);
    event.Signal();
    LThread::RunRound();
    EXPECT_EQ(through, 3);
    EXPECT_EQ(event.Wait(semaphore_NoWait), noErr) << "a posted event lets every wait pass";
    EXPECT_TRUE(event.Reset());
    EXPECT_FALSE(event.Reset()) << "resetting again is harmless";
    EXPECT_EQ(event.Wait(10), errSemaphoreTimedOut);
}

TEST_F(ThreadsTest, MutexIsReentrantForItsOwnerAndRefusesOthers)
{
    LMutexSemaphore mutex;
    Log log;
    StartThread([&] {
        mutex.Wait();
        mutex.Wait();
        EXPECT_EQ(mutex.GetNesting(), 2);
        log.push_back("a holds");
        LThread::Yield();
        mutex.Signal();
        log.push_back("a still holds");
        mutex.Signal();  // hands it to b and yields
        log.push_back("a released");
    });
    StartThread([&] {
        EXPECT_THROW(mutex.Signal(), ExceptionCode);
        mutex.Wait();
        EXPECT_TRUE(mutex.IsOwnedByCurrent());
        log.push_back("b holds");
        mutex.Signal();
    });
    RunUntilNoThreads();
    EXPECT_EQ(log, (Log{"a holds", "a still holds", "b holds", "a released"}));
    EXPECT_FALSE(mutex.IsLocked());
    try {
        mutex.Signal();
        ADD_FAILURE() << "releasing a free mutex must throw";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), errSemaphoreNotOwner);
    }
}

TEST_F(ThreadsTest, MainThreadOwnsAMutexLikeAThread)
{
    LMutexSemaphore mutex;
    ASSERT_EQ(mutex.Wait(), noErr);
    bool got = false;
    StartThread([&] {
        EXPECT_FALSE(mutex.TryWait());
        mutex.Wait();
        got = true;
        mutex.Signal();
    });
    LThread::RunRound();
    EXPECT_FALSE(got);
    mutex.Signal();
    RunUntilNoThreads();
    EXPECT_TRUE(got);
}
