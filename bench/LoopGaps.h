#pragma once

// The longest time the event loop went without coming round, for benchmarks that
// run the program's work from its own event loop as a window would.

#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

inline double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
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
        mLast = Now();
        mTimer.start();
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
        // ORVEX_BENCH_GAPS prints each long gap on the monotonic clock, to be found
        // in a profile recorded with it (perf record -k CLOCK_MONOTONIC).
        static const bool printGaps = qEnvironmentVariableIsSet("ORVEX_BENCH_GAPS");
        if (now - mLast > 0.08 && printGaps)
            std::fprintf(stderr, "gap from %.6f to %.6f: %.0f ms\n", mLast, now, (now - mLast) * 1000);
        mLongest = std::max(mLongest, now - mLast);
        mLast = now;
    }

    QTimer mTimer;
    double mLast = 0;
    double mLongest = 0;
};

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

// Starts `step` from the event loop and runs the loop until `done`; answers the
// seconds it took and the longest gap meanwhile.
struct LoopRun {
    double seconds = 0;
    double longestGap = 0;
};
inline LoopRun RunInEventLoop(const std::function<void()>& step, const std::function<bool()>& done)
{
    GapMeter meter;
    double start = 0;
    RunLoopUntil(done, [&] {
        meter.Start();
        start = Now();
        step();
    });
    LoopRun run;
    run.seconds = Now() - start;
    run.longestGap = meter.Stop();
    return run;
}
