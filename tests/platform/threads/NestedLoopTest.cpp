#include "ThreadTestSupport.h"

#include "LSemaphore.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

// A thread that opens a nested event loop (as a modal dialog does) cannot give
// control back while that loop runs; rounds for the other threads run from
// inside its loop, and it is never resumed twice.

TEST_F(ThreadsTest, ThreadInsideItsOwnEventLoopRunsRoundsForTheOthers)
{
    int otherTurns = 0;
    bool loopEnded = false;
    int dialogStateChecks = 0;
    QEventLoop* dialogLoop = nullptr;
    LThread* dialogThread = StartThread([&] {
        QEventLoop loop;
        dialogLoop = &loop;
        QTimer yieldTimer;
        // The thread-yield timer, firing inside the nested loop.
        QObject::connect(&yieldTimer, &QTimer::timeout, [&] {
            EXPECT_EQ(LThread::GetCurrentThread()->GetState(), threadState_Running);
            ++dialogStateChecks;
            LThread::Yield();
        });
        yieldTimer.start(1);
        loop.exec();
        dialogLoop = nullptr;
        loopEnded = true;
    });
    StartThread([&] {
        while (otherTurns < 5) {
            ++otherTurns;
            LThread::Yield();
        }
        ASSERT_NE(dialogLoop, nullptr);
        dialogLoop->quit();  // the "dialog" is closed from another thread
    });
    ASSERT_TRUE(RunUntilNoThreads(5000));
    EXPECT_TRUE(loopEnded);
    EXPECT_GE(otherTurns, 5);
    EXPECT_GT(dialogStateChecks, 0);
    (void)dialogThread;
}

TEST_F(ThreadsTest, WaitInsideANestedLoopRunsRoundsUntilServed)
{
    LSemaphore semaphore(0);
    bool signalled = false;
    OSStatus result = -1;
    StartThread([&] {
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            // A dialog's button handler that waits: it must not give control
            // back from inside the loop's dispatch.
            result = semaphore.Wait(2000);
            loop.quit();
        });
        loop.exec();
    });
    StartThread([&] {
        LThread::Yield();
        LThread::Yield();
        signalled = true;
        semaphore.Signal();
    });
    ASSERT_TRUE(RunUntilNoThreads(5000));
    EXPECT_TRUE(signalled);
    EXPECT_EQ(result, noErr);
}

TEST_F(ThreadsTest, MainThreadTimerRoundsRunWhileAModalLoopRunsOnTheMainThread)
{
    int turns = 0;
    StartThread([&] {
        while (turns < 3) {
            ++turns;
            LThread::Yield();
        }
    });
    QEventLoop modal;
    QTimer yieldTimer;
    QObject::connect(&yieldTimer, &QTimer::timeout, [&] {
        StEventCallback callback;
        LThread::Yield();
        if (LThread::CountThreads() == 0)
            modal.quit();
    });
    yieldTimer.start(1);
    QTimer::singleShot(5000, &modal, &QEventLoop::quit);
    modal.exec();
    EXPECT_EQ(turns, 3);
}

TEST_F(ThreadsTest, YieldInsideAnEventDispatchedByTheThreadRunsTheRoundInPlace)
{
    // The thread lets Qt dispatch a pending callback without a loop of its own;
    // the callback yields. Giving control back from inside that dispatch would
    // leave it open while the main thread goes on, so the round runs in place
    // and the main thread's round returns only after the callback has ended.
    bool insideCallback = false;
    QObject context;
    StartThread([&] {
        QTimer::singleShot(0, &context, [&] {
            insideCallback = true;
            LThread::Yield();
            insideCallback = false;
        });
        QCoreApplication::processEvents();
    });
    StartThread([] { LThread::Yield(); });
    LThread::RunRound();
    EXPECT_FALSE(insideCallback) << "the thread gave control back from inside an event dispatch";
    RunUntilNoThreads();
    EXPECT_FALSE(insideCallback);
}
