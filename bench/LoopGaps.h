#pragma once

// The longest time the event loop went without coming round, and the longest a
// key press waited for a shown window to take it, for benchmarks that run the
// program's work from its own event loop as a window would.

#include <QCoreApplication>
#include <QEventLoop>
#include <QInputDevice>
#include <QKeyEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <QtGlobal>
#include <qpa/qwindowsysteminterface.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

inline double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// ORVEX_BENCH_GAPS prints each long gap and each long key wait on the monotonic
// clock, to be found in a profile recorded with it (perf record -k CLOCK_MONOTONIC).
inline bool PrintLongWaits()
{
    static const bool print = qEnvironmentVariableIsSet("ORVEX_BENCH_GAPS");
    return print;
}

// Notes every iteration of the event loop (nested ones too: a window handles its
// events there as well) and keeps the longest time between two.
class GapMeter {
public:
    GapMeter()
    {
        mTimer.setInterval(0);
        QObject::connect(&mTimer, &QTimer::timeout, [this] { Note(); });
    }
    void Start()
    {
        mLongest = 0;
        mLast = mLastBusy = Now();
        mTimer.start();
    }
    // When the loop last came round after work of its own (a pause over 5 ms
    // between two iterations: a paint, a task's slice, a deferred call).
    double LastBusy() const { return mLastBusy; }

    // The meter of the step running in RunInEventLoop, null between steps.
    static GapMeter*& Current()
    {
        static GapMeter* current = nullptr;
        return current;
    }
    double Stop()
    {
        Note();
        mTimer.stop();
        return mLongest;
    }

private:
    void Note()
    {
        const double now = Now();
        if (now - mLast > 0.08 && PrintLongWaits())
            std::fprintf(stderr, "gap from %.6f to %.6f: %.0f ms\n", mLast, now, (now - mLast) * 1000);
        mLongest = std::max(mLongest, now - mLast);
        if (now - mLast > 0.005)
            mLastBusy = now;
        mLast = now;
    }

    QTimer mTimer;
    double mLast = 0;
    double mLastBusy = 0;
    double mLongest = 0;
};

// Key presses sent as a keyboard sends them, through the window system's queue
// from a thread of their own every 25 ms, to a shown window; each is timed until
// the window takes it. The longest wait is how long the user's input was held,
// which a window that repaints while it holds the input hides from GapMeter.
class InputMeter : public QObject {
public:
    explicit InputMeter(QWindow* window)
        : mWindow(window)
    {
        window->installEventFilter(this);
    }
    ~InputMeter() override { Stop(); }
    void Start()
    {
        mLongest = 0;
        mRunning = true;
        // Made here: the first key would make it on the sender's thread, a child of
        // the application in another thread.
        QInputDevice::primaryKeyboard();
        mSender = std::thread([this] {
            using Async = QWindowSystemInterface::AsynchronousDelivery;
            while (mRunning) {
                {
                    std::lock_guard<std::mutex> lock(mMutex);
                    mSent.push_back(Now());
                }
                QWindowSystemInterface::handleKeyEvent<Async>(mWindow, QEvent::KeyPress, kProbeKey, Qt::NoModifier);
                QWindowSystemInterface::handleKeyEvent<Async>(mWindow, QEvent::KeyRelease, kProbeKey, Qt::NoModifier);
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            }
        });
    }
    double Stop()
    {
        if (!mSender.joinable())
            return mLongest;
        // The keys sent last are taken now.
        StopSending();
        QCoreApplication::processEvents();
        return CountWaitingUntilNow();
    }
    // No more keys are sent, and those not taken yet count as waiting until now:
    // a window answered by a dialog (which the window's keys cannot reach) is
    // counted until the dialog shows.
    double Settle()
    {
        if (!mSender.joinable())
            return mLongest;
        StopSending();
        return CountWaitingUntilNow();
    }

    // The meter of the step running in RunInEventLoop, null between steps.
    static InputMeter*& Current()
    {
        static InputMeter* current = nullptr;
        return current;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == kProbeKey) {
            std::lock_guard<std::mutex> lock(mMutex);
            if (!mSent.empty()) {
                const double now = Now();
                if (now - mSent.front() > 0.08 && PrintLongWaits())
                    std::fprintf(stderr, "key sent at %.6f taken at %.6f: %.0f ms\n", mSent.front(), now,
                        (now - mSent.front()) * 1000);
                mLongest = std::max(mLongest, now - mSent.front());
                mSent.pop_front();
            }
        }
        return false;
    }

private:
    void StopSending()
    {
        mRunning = false;
        mSender.join();
    }
    double CountWaitingUntilNow()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        for (double sent : mSent)
            mLongest = std::max(mLongest, Now() - sent);
        mSent.clear();
        return mLongest;
    }

    // A key no window of the program answers.
    static constexpr Qt::Key kProbeKey = Qt::Key_F35;
    QPointer<QWindow> mWindow;
    std::thread mSender;
    std::atomic<bool> mRunning = false;
    std::mutex mMutex;
    std::deque<double> mSent;
    double mLongest = 0;
};

// The shown window RunInEventLoop sends its key presses to (none: no input is sent).
inline QPointer<QWindow>& InputWindow()
{
    static QPointer<QWindow> window;
    return window;
}

// Runs the event loop until `done`, or `patience` milliseconds at most (false
// then); `first` runs from the loop as it starts, as a click or a key would.
inline bool RunLoopUntil(const std::function<bool()>& done, const std::function<void()>& first = {},
    int patience = 600000)
{
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(0, [&] {
        if (first)
            first();
        poll.start();
    });
    QTimer::singleShot(patience, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Done, for RunInEventLoop, once `shown` holds and the loop has since come
// round for `quiet` seconds without work of its own (GapMeter::LastBusy): what
// the step left for the loop (repaints, deferred calls, timers) is measured
// however late it comes, while the loop is still busy with it. A loop never
// quiet ends the step after ten seconds, which its time then shows.
inline std::function<bool()> ShownAndQuiet(const std::function<bool()>& shown, double quiet = 1.0)
{
    return [shown, quiet, since = 0.0]() mutable {
        const GapMeter* meter = GapMeter::Current();
        if (!meter)
            return false;
        if (since == 0)
            since = Now();
        return shown() && (Now() - meter->LastBusy() >= quiet || Now() - since >= 10);
    };
}

// Starts `step` from the event loop and runs the loop until `done`; answers the
// seconds it took and the longest gap meanwhile.
struct LoopRun {
    double seconds = 0;
    double longestGap = 0;
    double longestInputWait = 0; // with an InputWindow()
};
inline LoopRun RunInEventLoop(const std::function<void()>& step, const std::function<bool()>& done)
{
    GapMeter meter;
    std::unique_ptr<InputMeter> input;
    if (InputWindow())
        input = std::make_unique<InputMeter>(InputWindow());
    InputMeter::Current() = input.get();
    GapMeter::Current() = &meter;
    double start = 0;
    RunLoopUntil(done, [&] {
        meter.Start();
        if (input)
            input->Start();
        start = Now();
        step();
    });
    LoopRun run;
    run.seconds = Now() - start;
    if (PrintLongWaits())
        std::fprintf(stderr, "step from %.6f to %.6f\n", start, start + run.seconds);
    run.longestGap = meter.Stop();
    if (input)
        run.longestInputWait = input->Stop();
    InputMeter::Current() = nullptr;
    GapMeter::Current() = nullptr;
    return run;
}
