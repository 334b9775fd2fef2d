#include "ThreadTestSupport.h"

#include "ExceptionCode.h"
#include "WorkerPool.h"

#include <atomic>
#include <thread>
#include <vector>

TEST_F(ThreadsTest, JobRunsOnAnotherOsThreadWhileTheOtherThreadsRun)
{
    std::atomic<bool> release{false};
    std::thread::id jobThread;
    int result = 0;
    int otherTurns = 0;
    StartThread([&] {
        result = WorkerPool::Run([&] {
            jobThread = std::this_thread::get_id();
            // The job can only end once the other thread has run meanwhile.
            while (!release)
                std::this_thread::yield();
            return 42;
        });
    });
    StartThread([&] {
        while (otherTurns < 5) {
            ++otherTurns;
            LThread::Yield();
        }
        release = true;
    });
    ASSERT_TRUE(RunUntilNoThreads(5000));
    EXPECT_EQ(result, 42);
    EXPECT_NE(jobThread, std::this_thread::get_id());
    EXPECT_EQ(otherTurns, 5);
}

TEST_F(ThreadsTest, JobExceptionIsRethrownOnTheWaitingThread)
{
    OSStatus caught = noErr;
    bool onGuiThread = false;
    std::thread::id gui = std::this_thread::get_id();
    StartThread([&] {
        try {
            WorkerPool::Run([] { ThrowOSErr_(ioErr); });
        } catch (const ExceptionCode& e) {
            caught = e.Code();
            onGuiThread = std::this_thread::get_id() == gui;
        }
    });
    ASSERT_TRUE(RunUntilNoThreads(5000));
    EXPECT_EQ(caught, ioErr);
    EXPECT_TRUE(onGuiThread);
}

TEST_F(ThreadsTest, MainThreadWaitsForAJobByRunningRounds)
{
    int turns = 0;
    StartThread([&] {
        for (int i = 0; i < 3; ++i) {
            ++turns;
            LThread::Yield();
        }
    });
    std::string text = WorkerPool::Run([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return std::string("done");
    });
    EXPECT_EQ(text, "done");
    EXPECT_EQ(turns, 3);
}

TEST_F(ThreadsTest, DeletingAThreadWaitsOutItsRunningJobAndAsksItToStop)
{
    std::atomic<bool> started{false};
    std::atomic<bool> sawCancel{false};
    int destroyed = 0;
    LThread* thread = StartThread([&] {
        DestructionProbe probe(destroyed);
        char buffer[4096] = {};
        WorkerPool::Run([&] {
            started = true;
            while (!WorkerPool::CancelRequested())
                buffer[0] = buffer[0] + 1;  // works on the waiting thread's stack
            sawCancel = true;
        });
    });
    LThread::RunRound();
    while (!started)
        std::this_thread::yield();
    thread->DeleteThread();
    EXPECT_TRUE(sawCancel) << "the job must have ended before the stack went away";
    EXPECT_EQ(destroyed, 1);
}

TEST_F(ThreadsTest, ManyJobsUseSeveralWorkers)
{
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    int done = 0;
    for (int i = 0; i < 8; ++i)
        StartThread([&] {
            WorkerPool::Run([&] {
                int now = ++running;
                int seen = most.load();
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                --running;
            });
            ++done;
        });
    ASSERT_TRUE(RunUntilNoThreads(5000));
    EXPECT_EQ(done, 8);
    EXPECT_GE(most.load(), 2) << "jobs of different threads run at the same time";
}

TEST_F(ThreadsTest, JobThatHandsOnASubJobRunsItInline)
{
    std::thread::id outer;
    std::thread::id inner;
    WorkerPool::Run([&] {
        outer = std::this_thread::get_id();
        WorkerPool::Run([&] { inner = std::this_thread::get_id(); });
    });
    EXPECT_EQ(outer, inner);
    EXPECT_NE(outer, std::this_thread::get_id());
}

TEST_F(ThreadsTest, RunEachRunsEveryIndexOnceAcrossWorkers)
{
    constexpr std::size_t kCount = 40;
    std::vector<std::atomic<int>> runs(kCount);
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    bool returned = false;
    StartThread([&] {
        WorkerPool::RunEach(kCount, [&](std::size_t i) {
            int now = ++running;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ++runs[i];
            --running;
        });
        returned = true;
    });
    ASSERT_TRUE(RunUntilNoThreads(10000));
    EXPECT_TRUE(returned);
    for (std::size_t i = 0; i < kCount; ++i)
        EXPECT_EQ(runs[i].load(), 1) << "index " << i;
    EXPECT_GE(most.load(), 2) << "indexes of one batch run at the same time";
}

TEST_F(ThreadsTest, RunEachFinishesTheBatchThenRethrowsTheLowestFailure)
{
    std::atomic<int> done{0};
    OSStatus caught = noErr;
    StartThread([&] {
        try {
            WorkerPool::RunEach(10, [&](std::size_t i) {
                if (i == 7)
                    ThrowOSErr_(eofErr);
                if (i == 3)
                    ThrowOSErr_(ioErr);
                ++done;
            });
        } catch (const ExceptionCode& e) {
            caught = e.Code();
        }
    });
    ASSERT_TRUE(RunUntilNoThreads(5000));
    EXPECT_EQ(done.load(), 8);
    EXPECT_EQ(caught, ioErr);
}

TEST_F(ThreadsTest, RunEachFromTheMainThreadAndWithNothingToDo)
{
    std::vector<int> squares(6);
    WorkerPool::RunEach(squares.size(), [&](std::size_t i) { squares[i] = int(i * i); });
    EXPECT_EQ(squares, (std::vector<int> { 0, 1, 4, 9, 16, 25 }));
    bool called = false;
    WorkerPool::RunEach(0, [&](std::size_t) { called = true; });
    EXPECT_FALSE(called);
}

// The caller holds the other threads off until the batch is done, and takes every
// index itself when the workers are all busy.
TEST_F(ThreadsTest, RunEachHoldingRunsEveryIndexWithoutYieldingEvenWithBusyWorkers)
{
    for (const bool busyWorkers : { false, true }) {
        SCOPED_TRACE(busyWorkers ? "every worker busy" : "idle workers");
        std::atomic<bool> release{false};
        std::atomic<unsigned> occupied{0};
        if (busyWorkers) {
            for (unsigned i = 0; i < WorkerPool::ThreadCount(); ++i) {
                WorkerPool::Start([&] {
                    ++occupied;
                    while (!release)
                        std::this_thread::yield();
                });
            }
            while (occupied < WorkerPool::ThreadCount())
                std::this_thread::yield();
        }
        std::vector<std::atomic<int>> runs(30);
        int otherTurns = 0;
        int turnsWhileHeld = -1;
        OSStatus caught = noErr;
        StartThread([&] {
            const int before = otherTurns;
            try {
                WorkerPool::RunEachHolding(runs.size(), [&](std::size_t i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    ++runs[i];
                    if (i == 20 || i == 9)
                        ThrowOSErr_(i == 9 ? ioErr : eofErr);
                });
            } catch (const ExceptionCode& e) {
                caught = e.Code();
            }
            turnsWhileHeld = otherTurns - before;
        });
        StartThread([&] {
            for (; otherTurns < 50; ++otherTurns)
                LThread::Yield();
        });
        ASSERT_TRUE(RunUntilNoThreads(10000));
        release = true;
        for (std::size_t i = 0; i < runs.size(); ++i)
            EXPECT_EQ(runs[i].load(), 1) << "index " << i;
        EXPECT_EQ(caught, ioErr) << "the lowest failing index's error";
        EXPECT_EQ(turnsWhileHeld, 0) << "no other thread ran while the batch was held";
    }
}

TEST_F(ThreadsTest, DeletingAThreadStopsEveryLaneOfItsBatch)
{
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    int destroyed = 0;
    LThread* thread = StartThread([&] {
        DestructionProbe probe(destroyed);
        WorkerPool::RunEach(1000, [&](std::size_t) {
            ++started;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ++finished;
        });
    });
    LThread::RunRound();
    while (started < 2)
        std::this_thread::yield();
    thread->DeleteThread();
    const int atDeletion = finished.load();
    EXPECT_EQ(started.load(), atDeletion) << "no index is still running once the thread is gone";
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(finished.load(), atDeletion) << "no lane goes on after the thread is gone";
    EXPECT_LT(atDeletion, 1000);
    EXPECT_EQ(destroyed, 1);
}

namespace {
// A thread whose deletion may finish once a job that still works on its stack ends.
class LingeringThread : public LFunctionThread {
public:
    using LFunctionThread::LFunctionThread;

protected:
    bool MayFinishDeletionLater() const override { return true; }
};
} // namespace

TEST_F(ThreadsTest, DeletingAThreadWhoseJobDoesNotStopReturnsAndTheThreadGoesWhenTheJobEnds)
{
    for (const bool batch : {false, true}) {
        SCOPED_TRACE(batch ? "RunEach" : "Run");
        std::atomic<bool> started {false};
        std::atomic<bool> release {false};
        int destroyed = 0;
        auto* thread = new LingeringThread([&] {
            DestructionProbe probe(destroyed);
            char buffer[64] = {};
            // Deaf to CancelRequested, as a library call that does not return is.
            auto stuck = [&] {
                started = true;
                while (!release) {
                    buffer[0] = char(buffer[0] + 1); // on the deleted thread's stack
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            };
            if (batch)
                WorkerPool::RunEach(3, [&](std::size_t i) {
                    if (i == 1)
                        stuck();
                });
            else
                WorkerPool::Run(stuck);
        });
        thread->Resume();
        LThread::RunRound();
        while (!started)
            std::this_thread::yield();
        // A regression fails instead of hanging.
        std::thread watchdog([&] {
            for (int waited = 0; !release && waited < 10000; waited += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            release = true;
        });
        const auto before = std::chrono::steady_clock::now();
        thread->DeleteThread();
        const auto took = std::chrono::steady_clock::now() - before;
        EXPECT_LT(took, std::chrono::seconds(3)) << "the deletion waited for the stuck job";
        EXPECT_EQ(destroyed, 0) << "the stack went while the job still used it";
        EXPECT_EQ(LThread::CountThreads(), 0u);
        release = true;
        watchdog.join();
        EXPECT_TRUE(LThread::RunUntil([&] { return destroyed == 1; }, 5000)) << "the thread never went";
    }
}
