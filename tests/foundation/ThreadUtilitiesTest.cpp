#include "ThreadUtilities.h"

#include "CMutexSemaphore.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "LSemaphore.h"
#include "LThread.h"
#include "RawDecoder.h"
#include "TestDNG.h"
#include "TestSupport.h"
#include "TickCount.h"
#include "WorkerPool.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

void PostKey(QObject* receiver, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QCoreApplication::postEvent(receiver, new QKeyEvent(QEvent::KeyPress, key, modifiers));
}

// A widget that records the keys it receives.
class KeyRecorder : public QWidget {
public:
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
};

void AllowCancelCheck()
{
    gLastCancelCheckTicks = TickCount() - 31;
}

void RunEventLoopFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

OSStatus CancelCode()
{
    return CatchCode([] { CheckUserCancel(); });
}

} // namespace

TEST(CheckUserCancelTest, EscapeOrControlPeriodWaitingInTheQueueCancels)
{
    KeyRecorder widget;
    PostKey(&widget, Qt::Key_Escape);
    AllowCancelCheck();
    EXPECT_EQ(CancelCode(), kMsgUserCancelled);

    PostKey(&widget, Qt::Key_Period, Qt::ControlModifier);
    AllowCancelCheck();
    EXPECT_EQ(CancelCode(), kMsgUserCancelled);
    EXPECT_TRUE(widget.keys.empty()) << "the cancel keys a look finds go no further";

    PostKey(&widget, Qt::Key_Period);
    AllowCancelCheck();
    EXPECT_EQ(CancelCode(), noErr) << "a period without Ctrl is no cancel key";
    QCoreApplication::processEvents();
}

TEST(CheckUserCancelTest, TheCancelKeysAlsoEndARawDecodeRunningElsewhere)
{
    const QString dng = WriteTestDNG(TestTempDir() + QStringLiteral("/cancel.dng"), 64, 64);
    std::atomic<bool> started { false }, checked { false };
    OSStatus decodeStatus = noErr;
    // The decode of a task, on a worker: its own callback never says cancel.
    std::thread worker([&] {
        decodeStatus = CatchCode([&] {
            RawDecoder::Decode(dng, RawDecoder::Options(), false, [&] {
                started = true;
                while (!checked)
                    std::this_thread::yield();
                return false;
            });
        });
    });
    while (!started)
        std::this_thread::yield();
    KeyRecorder widget;
    PostKey(&widget, Qt::Key_Escape);
    AllowCancelCheck();
    EXPECT_EQ(CancelCode(), kMsgUserCancelled);
    checked = true;
    worker.join();
    EXPECT_EQ(decodeStatus, userCanceledErr);

    // Without the cancel keys the check leaves a decode alone.
    EXPECT_EQ(RawDecoder::Decode(dng, RawDecoder::Options(), false).isNull(), false);
    AllowCancelCheck();
    EXPECT_EQ(CancelCode(), noErr);
    EXPECT_FALSE(RawDecoder::IsCancelRequested());
}

TEST(CheckUserCancelTest, LooksAtTheQueueAtMostOnceEvery31Ticks)
{
    KeyRecorder widget;
    AllowCancelCheck();
    EXPECT_EQ(CancelCode(), noErr);
    PostKey(&widget, Qt::Key_Escape);
    EXPECT_EQ(CancelCode(), noErr) << "a second call within 30 ticks must not look";
    gLastCancelCheckTicks = TickCount() - 30;
    EXPECT_EQ(CancelCode(), noErr) << "30 ticks are not more than 30";
    gLastCancelCheckTicks = TickCount() - 31;
    EXPECT_EQ(CancelCode(), kMsgUserCancelled);
}

TEST(CheckUserCancelTest, OtherInputWaitingIsDeliveredInOrder)
{
    KeyRecorder widget;
    PostKey(&widget, Qt::Key_A);
    PostKey(&widget, Qt::Key_Escape);
    PostKey(&widget, Qt::Key_B);
    AllowCancelCheck();
    EXPECT_EQ(CancelCode(), kMsgUserCancelled);
    // The same events, once each and in order, the cancel key kept for the loop.
    EXPECT_EQ(widget.keys, (std::vector<int>{Qt::Key_A, Qt::Key_B}));
    QCoreApplication::processEvents();
    EXPECT_EQ(widget.keys, (std::vector<int>{Qt::Key_A, Qt::Key_B}));
}

TEST(CheckUserCancelTest, KeyArrivingBetweenLooksOfABusyLoopCancelsAndAnIdleOneDoesNot)
{
    KeyRecorder widget;
    // A task yields to the event loop between its looks: the key arrives then,
    // reaches its widget, and the next look still finds it.
    AllowCancelCheck();
    EXPECT_EQ(CancelCode(), noErr);
    PostKey(&widget, Qt::Key_Escape);
    RunEventLoopFor(20);
    EXPECT_EQ(widget.keys, (std::vector<int>{Qt::Key_Escape}));
    AllowCancelCheck();
    EXPECT_EQ(CancelCode(), kMsgUserCancelled);
    AllowCancelCheck();
    EXPECT_EQ(CancelCode(), noErr) << "one key cancels once";

    // Escape while nothing looked for a while (closing a dialog, say) is no cancel
    // of the loop that starts afterwards.
    gLastCancelCheckTicks = TickCount() - 120;
    PostKey(&widget, Qt::Key_Escape);
    RunEventLoopFor(20);
    AllowCancelCheck();
    EXPECT_EQ(CancelCode(), noErr);
}

TEST(ThreadYieldTimerTest, TimerRunsTheTaskThreadsOnlyWhileYieldingIsAllowed)
{
    int turns = 0;
    bool stop = false;
    auto* thread = new LFunctionThread([&] {
        while (!stop) {
            ++turns;
            LThread::Yield();
        }
    });
    thread->Resume();

    gAllowTimerYield = false;
    InstallThreadYieldTimer(0.01);
    RunEventLoopFor(60);
    EXPECT_EQ(turns, 0) << "the timer must not yield while a menu is tracked";

    gAllowTimerYield = true;
    RunEventLoopFor(60);
    EXPECT_GT(turns, 1);

    // Rounds go on inside a nested (modal) loop as well.
    int before = turns;
    QEventLoop modal;
    QTimer::singleShot(60, &modal, &QEventLoop::quit);
    modal.exec();
    EXPECT_GT(turns, before);

    stop = true;
    LThread::RunUntil([] { return LThread::CountThreads() == 0; }, 2000);
    RemoveThreadYieldTimer();
    EXPECT_EQ(LThread::CountThreads(), 0u);
}

TEST(ThreadYieldTimerTest, TaskThreadMayOpenItsOwnModalLoopUnderTheTimer)
{
    int otherTurns = 0;
    bool dialogClosed = false;
    QEventLoop* dialog = nullptr;
    auto* dialogThread = new LFunctionThread([&] {
        QEventLoop loop;
        dialog = &loop;
        loop.exec();  // the timer keeps firing in here, and must run rounds in place
        dialog = nullptr;
        dialogClosed = true;
    });
    auto* other = new LFunctionThread([&] {
        while (otherTurns < 5) {
            ++otherTurns;
            YieldToOtherThreads();
        }
        dialog->quit();
    });
    dialogThread->Resume();
    other->Resume();
    InstallThreadYieldTimer(0.005);
    QEventLoop main;
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (LThread::CountThreads() == 0)
            main.quit();
    });
    done.start(5);
    QTimer::singleShot(5000, &main, &QEventLoop::quit);
    main.exec();
    RemoveThreadYieldTimer();
    EXPECT_TRUE(dialogClosed);
    EXPECT_EQ(otherTurns, 5);
    EXPECT_EQ(LThread::CountThreads(), 0u);
}

TEST(ThreadYieldTimerTest, FinishedWorkerJobResumesItsThreadWithoutWaitingForTheTimer)
{
    bool done = false;
    auto* thread = new LFunctionThread([&] {
        WorkerPool::Run([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
        done = true;
    });
    thread->Resume();
    InstallThreadYieldTimer(30.0);  // fires at once, then not again within this test
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done)
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    loop.exec();
    RemoveThreadYieldTimer();
    EXPECT_TRUE(done);
    LThread::RunUntil([] { return LThread::CountThreads() == 0; }, 2000);
}

// A task thread still ready after its round runs again as soon as the event
// loop has had its turn, not at the yield timer's next tick; and the loop does
// get its turn between the rounds.
TEST(ThreadYieldTimerTest, AThreadStillReadyRunsAgainAfterOneTurnOfTheEventLoop)
{
    int turns = 0;
    int loopTurns = 0;
    std::vector<int> loopTurnsAtRound;
    auto* thread = new LFunctionThread([&] {
        while (turns < 20) {
            ++turns;
            loopTurnsAtRound.push_back(loopTurns);
            LThread::Yield();
        }
    });
    thread->Resume();
    QTimer loopTurn;
    QObject::connect(&loopTurn, &QTimer::timeout, [&] { ++loopTurns; });
    loopTurn.start(0);
    InstallThreadYieldTimer(30.0); // fires at once, then not again within this test
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (turns == 20)
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    loop.exec();
    RemoveThreadYieldTimer();
    EXPECT_EQ(turns, 20);
    for (size_t round = 1; round < loopTurnsAtRound.size(); ++round)
        EXPECT_GT(loopTurnsAtRound[round], loopTurnsAtRound[round - 1]) << "round " << round;
    LThread::RunUntil([] { return LThread::CountThreads() == 0; }, 2000);
}

// Rounds about as long as the yield timer's interval, each leaving the window
// work to do (a repaint): the timer falls due while the window works, and still
// the window's events come between any two rounds, however the timer and the
// next round's request fall together.
TEST(ThreadYieldTimerTest, TheTimerNeverRunsARoundRightAfterAnother)
{
    const auto busyFor = [](int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end) {
        }
    };
    int turns = 0;
    int loopTurns = 0;
    std::vector<int> loopTurnsAtRound;
    auto* thread = new LFunctionThread([&] {
        while (turns < 30) {
            ++turns;
            loopTurnsAtRound.push_back(loopTurns);
            busyFor(8);
            QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { busyFor(5); }, Qt::QueuedConnection);
            LThread::Yield();
        }
    });
    thread->Resume();
    QTimer loopTurn;
    QObject::connect(&loopTurn, &QTimer::timeout, [&] { ++loopTurns; });
    loopTurn.start(0);
    InstallThreadYieldTimer(0.010);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (turns == 30)
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    RemoveThreadYieldTimer();
    EXPECT_EQ(turns, 30);
    int together = 0;
    for (size_t round = 1; round < loopTurnsAtRound.size(); ++round)
        together += loopTurnsAtRound[round] == loopTurnsAtRound[round - 1] ? 1 : 0;
    EXPECT_EQ(together, 0) << "rounds run one right after another";
    LThread::RunUntil([] { return LThread::CountThreads() == 0; }, 2000);
}

// Long work on the GUI thread keeps the window live: its timers run between
// steps and while the threads work; the task threads wait until it is done.
TEST(WindowLiveTest, TimersButNotTasksRunWhileTheWorkGoesOn)
{
    int taskTurns = 0;
    bool stop = false;
    auto* thread = new LFunctionThread([&] {
        while (!stop) {
            ++taskTurns;
            LThread::Yield();
        }
    });
    thread->Resume();
    InstallThreadYieldTimer(0.001);
    int timerTurns = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++timerTurns; });
    timer.start(0);
    std::vector<std::atomic<int>> done(6);
    {
        StWindowLive live;
        const int tasksBefore = taskTurns;
        std::this_thread::sleep_for(std::chrono::milliseconds(StWindowLive::kEventsMilliseconds + 5));
        live.HandleEventsIfDue();
        EXPECT_GT(timerTurns, 0) << "a step's events";
        const int timerBefore = timerTurns;
        live.RunOnThreads(done.size(), [&](size_t index) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            ++done[index];
        });
        EXPECT_GT(timerTurns, timerBefore) << "events while the threads work";
        EXPECT_EQ(taskTurns, tasksBefore) << "the tasks wait";
        for (const auto& each : done)
            EXPECT_EQ(each, 1);
        // A job's failure reaches the caller once all have run.
        std::atomic<int> ran = 0;
        EXPECT_EQ(CatchCode([&] {
            live.RunOnThreads(3, [&](size_t index) {
                ++ran;
                if (index > 0)
                    ThrowOSErr_(OSStatus(-206 - OSStatus(index)));
            });
        }), -207);
        EXPECT_EQ(ran, 3);
    }
    RunEventLoopFor(30);
    EXPECT_GT(taskTurns, 0) << "afterwards";
    stop = true;
    LThread::RunUntil([] { return LThread::CountThreads() == 0; }, 2000);
    RemoveThreadYieldTimer();
}

TEST(DeferredQuitTimerTest, AsksTheApplicationToQuitOnceAfterTheDelay)
{
    int quits = 0;
    SetDeferredQuitHandler([&] { ++quits; });
    QElapsedTimer clock;
    clock.start();
    InstallDeferredQuitTimer(0.02);
    RunEventLoopFor(10);
    // Not before the delay (only telling when the loop really came back early: a
    // loaded machine may run it late).
    if (clock.elapsed() < 18)
        EXPECT_EQ(quits, 0);
    RunEventLoopFor(80);
    EXPECT_EQ(quits, 1);
    RunEventLoopFor(50);
    EXPECT_EQ(quits, 1) << "once";
    SetDeferredQuitHandler(nullptr);
}

TEST(YieldToOtherThreadsTest, MainThreadYieldRunsOneRound)
{
    std::vector<int> order;
    for (int i = 0; i < 2; ++i) {
        auto* thread = new LFunctionThread([&order, i] {
            order.push_back(i);
            YieldToOtherThreads();
            order.push_back(i + 10);
        });
        thread->Resume();
    }
    YieldToOtherThreads();
    EXPECT_EQ(order, (std::vector<int>{0, 1}));
    YieldToOtherThreads();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 10, 11}));
    EXPECT_EQ(LThread::CountThreads(), 0u);
}

TEST(SemaphoreLockTest, ErrorManagerMutexReleasesWithoutSwitchingThreads)
{
    for (bool yieldingRelease : {true, false}) {
        std::unique_ptr<LMutexSemaphore> mutex =
            yieldingRelease ? std::make_unique<LMutexSemaphore>() : std::make_unique<CMutexSemaphore>();
        std::vector<std::string> log;
        auto* holder = new LFunctionThread([&] {
            {
                StSemaphoreLock lock(*mutex);
                LThread::Yield();
            }
            log.push_back("released");
        });
        auto* waiter = new LFunctionThread([&] {
            StSemaphoreLock lock(*mutex);
            log.push_back("acquired");
        });
        holder->Resume();
        waiter->Resume();
        LThread::RunUntil([] { return LThread::CountThreads() == 0; }, 2000);
        if (yieldingRelease)
            EXPECT_EQ(log, (std::vector<std::string>{"acquired", "released"}));
        else
            EXPECT_EQ(log, (std::vector<std::string>{"released", "acquired"}));
        EXPECT_FALSE(mutex->IsLocked());
    }
}

TEST(SemaphoreLockTest, EndlessLockWaitsAgainWhenWokenAndTimedLockThrows)
{
    CMutexSemaphore mutex;
    mutex.Wait();  // the main thread holds it
    bool locked = false;
    auto* thread = new LFunctionThread([&] {
        StSemaphoreLock lock(mutex);
        locked = true;
    });
    thread->Resume();
    LThread::RunRound();
    thread->Wake();  // the wait ends early; the lock waits again
    LThread::RunRound();
    EXPECT_FALSE(locked);
    mutex.Signal();
    LThread::RunUntil([] { return LThread::CountThreads() == 0; }, 2000);
    EXPECT_TRUE(locked);

    LSemaphore empty(0);
    OSStatus code = CatchCode([&] { StSemaphoreLock lock(empty, 10); });
    EXPECT_EQ(code, errSemaphoreTimedOut);
}
