#include "ThreadTestSupport.h"

#include "ErrorHook.h"
#include "ExceptionCode.h"
#include "TickCount.h"
#include "UMainThread.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

using Log = std::vector<std::string>;

TEST_F(ThreadsTest, TwoYieldingThreadsRunInExactRoundRobinOrder)
{
    Log log;
    for (const char* name : {"a", "b"}) {
        StartThread([&log, name] {
            for (int i = 0; i < 3; ++i) {
                log.push_back(name + std::to_string(i));
                LThread::Yield();
            }
        });
    }
    EXPECT_TRUE(log.empty()) << "Resume must not switch to the thread";
    EXPECT_EQ(LThread::RunRound(), 2);
    EXPECT_EQ(log, (Log{"a0", "b0"}));
    LThread::RunRound();
    EXPECT_EQ(log, (Log{"a0", "b0", "a1", "b1"}));
    RunUntilNoThreads();
    EXPECT_EQ(log, (Log{"a0", "b0", "a1", "b1", "a2", "b2"}));
}

TEST_F(ThreadsTest, ThreadThatNeverYieldsGivesControlBackWhenItEnds)
{
    long sum = 0;
    StartThread([&sum] {
        for (int i = 1; i <= 100000; ++i)
            sum += i;
    });
    EXPECT_EQ(LThread::RunRound(), 1);
    EXPECT_EQ(sum, 5000050000L);
    EXPECT_EQ(LThread::CountThreads(), 0u) << "a finished thread is deleted";
}

TEST_F(ThreadsTest, ThreadIsCreatedSuspendedAndKnowsItIsCurrent)
{
    bool sawItself = false;
    bool mainWasCurrent = true;
    auto* thread = new LFunctionThread([&] {
        sawItself = LThread::GetCurrentThread() != nullptr && LThread::GetCurrentThread()->IsCurrent();
        mainWasCurrent = LThread::InMainThread();
    });
    ThreadID id = thread->GetID();
    EXPECT_EQ(thread->GetState(), threadState_Suspended);
    EXPECT_EQ(LThread::RunRound(), 0) << "a suspended thread is not run";
    thread->Resume();
    EXPECT_EQ(thread->GetState(), threadState_Ready);
    EXPECT_EQ(LThread::FromID(id), thread);
    LThread::RunRound();
    EXPECT_TRUE(sawItself);
    EXPECT_FALSE(mainWasCurrent);
    EXPECT_TRUE(LThread::InMainThread());
    EXPECT_EQ(LThread::FromID(id), nullptr);
}

TEST_F(ThreadsTest, YieldToATargetRunsItNext)
{
    Log log;
    LThread* c = nullptr;
    StartThread([&] {
        log.push_back("a");
        LThread::Yield(c);
        log.push_back("a again");
    });
    StartThread([&] { log.push_back("b"); });
    c = StartThread([&] { log.push_back("c"); });
    RunUntilNoThreads();
    // A round resumes each ready thread once; a's target jumps the queue.
    EXPECT_EQ(log, (Log{"a", "c", "b", "a again"}));
}

TEST_F(ThreadsTest, SleepSuspendsOnlyTheSleepingThread)
{
    using namespace std::chrono;
    int otherTurns = 0;
    bool woke = false;
    steady_clock::duration slept{};
    StartThread([&] {
        auto start = steady_clock::now();
        LThread::Sleep(60);
        slept = steady_clock::now() - start;
        woke = true;
    });
    StartThread([&] {
        while (!woke) {
            ++otherTurns;
            LThread::Yield();
        }
    });
    RunUntilNoThreads();
    EXPECT_GE(slept, milliseconds(60));
    EXPECT_GT(otherTurns, 1) << "the other thread must run while one sleeps";
}

TEST_F(ThreadsTest, MainThreadSleepRunsTheThreads)
{
    int turns = 0;
    StartThread([&] {
        for (int i = 0; i < 5; ++i) {
            ++turns;
            LThread::Yield();
        }
    });
    UInt32 before = TickCount();
    LThread::Sleep(50);
    EXPECT_EQ(turns, 5);
    EXPECT_GE(TickCount() - before, 2u);
}

TEST_F(ThreadsTest, SuspendedThreadsAreSkippedUntilResumed)
{
    int turns = 0;
    bool pauseSelf = false;
    bool stop = false;
    auto* thread = StartThread([&] {
        while (!stop) {
            ++turns;
            if (pauseSelf) {
                pauseSelf = false;
                LThread::GetCurrentThread()->Suspend();
            }
            LThread::Yield();
        }
    });
    LThread::RunRound();
    EXPECT_EQ(turns, 1);

    thread->Suspend();  // from the main thread: a ready thread leaves the rounds
    EXPECT_TRUE(thread->IsSuspended());
    LThread::RunRound();
    EXPECT_EQ(turns, 1);
    thread->Resume();
    LThread::RunRound();
    EXPECT_EQ(turns, 2);

    pauseSelf = true;  // the thread suspends itself, as a paused task does
    LThread::RunRound();
    EXPECT_EQ(turns, 3);
    EXPECT_EQ(thread->GetState(), threadState_Suspended);
    LThread::RunRound();
    EXPECT_EQ(turns, 3);
    thread->Resume();
    stop = true;
    LThread::RunRound();
    LThread::RunRound();
    EXPECT_EQ(LThread::CountThreads(), 0u);
}

TEST_F(ThreadsTest, ExceptionEscapingAThreadIsReportedAndTheProgramGoesOn)
{
    std::vector<OSStatus> reported;
    SetErrorReportHook([&](OSStatus code) { reported.push_back(code); });
    StartThread([] { ThrowOSErr_(fnfErr); });
    StartThread([] { throw std::runtime_error("not a code"); });
    bool ranAfter = false;
    StartThread([&] { ranAfter = true; });
    RunUntilNoThreads();
    SetErrorReportHook(nullptr);
    EXPECT_EQ(reported, (std::vector<OSStatus>{fnfErr, paramErr}));
    EXPECT_TRUE(ranAfter);
}

TEST_F(ThreadsTest, UMainThreadStandsForTheMainThread)
{
    {
        UMainThread mainThread;
        EXPECT_EQ(LThread::GetCurrentThread(), &mainThread);
        EXPECT_TRUE(mainThread.IsCurrent());
        EXPECT_THROW(UMainThread(), ExceptionCode);
        EXPECT_THROW(mainThread.DeleteThread(), ExceptionCode);
        LThread* seen = nullptr;
        StartThread([&] { seen = LThread::GetCurrentThread(); });
        LThread::RunRound();
        EXPECT_NE(seen, nullptr);
        EXPECT_NE(seen, &mainThread);
    }
    EXPECT_EQ(LThread::GetCurrentThread(), nullptr);
}

TEST(TickCountTest, CountsSixtiethsOfASecond)
{
    UInt32 start = TickCount();
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
    UInt32 elapsed = TickCount() - start;
    EXPECT_GE(elapsed, 5u);
    EXPECT_LE(elapsed, 60u);
    EXPECT_EQ(MillisecondsToTicks(0), 0u);
    EXPECT_EQ(MillisecondsToTicks(1), 1u);
    EXPECT_EQ(MillisecondsToTicks(1000), 60u);
}

TEST_F(ThreadsTest, ThreadsMaySwitchInsideCatchBlocks)
{
    // Each thread yields while handling its own exception and then rethrows it:
    // the rethrow must find its own exception, not the other thread's.
    std::vector<OSStatus> rethrown;
    std::vector<int> pending;
    for (OSStatus code : {1, 2}) {
        StartThread([&rethrown, &pending, code] {
            try {
                try {
                    ThrowOSErr_(code);
                } catch (const ExceptionCode&) {
                    LThread::Yield();
                    throw;
                }
            } catch (const ExceptionCode& e) {
                rethrown.push_back(e.Code());
            }
            pending.push_back(std::uncaught_exceptions());
        });
    }
    RunUntilNoThreads();
    EXPECT_EQ(rethrown, (std::vector<OSStatus>{1, 2}));
    EXPECT_EQ(pending, (std::vector<int>{0, 0}));

    // The main thread's own handling is untouched by the threads' switches.
    try {
        ThrowOSErr_(3);
    } catch (const ExceptionCode&) {
        StartThread([] {
            try {
                ThrowOSErr_(4);
            } catch (const ExceptionCode&) {
                LThread::Yield();
            }
        });
        LThread::RunRound();
        try {
            throw;
        } catch (const ExceptionCode& e) {
            EXPECT_EQ(e.Code(), 3);
        }
    }
    RunUntilNoThreads();
}
