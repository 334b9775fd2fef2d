#pragma once

#include "UEvents.h"

#include <functional>
#include <memory>

class QTimer;

// Timers may be dropped from inside their own timeout; this stops and disconnects
// them at once and lets Qt delete them when the signal has returned.
struct QTimerDeleter {
    void operator()(QTimer* timer) const;
};
using TimerPtr = std::unique_ptr<QTimer, QTimerDeleter>;

// Something that wants time from the event loop: idlers get it while the loop is
// idle (no mouse button held), repeaters on every pass. The interval forms run on
// their own event-loop timer instead, every `seconds`. A code escaping SpendTime
// goes to the error report; it never ends the loop.
class LPeriodical {
public:
    LPeriodical();
    LPeriodical(const LPeriodical&) = delete;
    LPeriodical& operator=(const LPeriodical&) = delete;
    virtual ~LPeriodical();

    virtual void StartIdling();
    virtual void StartIdling(double seconds);
    virtual void StopIdling();
    bool IsIdling() const;

    virtual void StartRepeating();
    virtual void StartRepeating(double seconds);
    virtual void StopRepeating();
    bool IsRepeating() const;

    virtual void SpendTime(const EventRecord& event) = 0;

    // One pass over all idlers or repeaters; the loop's own driver calls these,
    // and so may a nested waiting loop.
    static void DevoteTimeToIdlers(const EventRecord& event);
    static void DevoteTimeToRepeaters(const EventRecord& event);
    // Milliseconds between passes of the loop's driver.
    static constexpr int kPassInterval = 16; // one tick
    // Whether the driver's timer runs: only while something idles or repeats, so
    // an idle program is not woken every tick.
    static bool IsDriverRunning();

private:
    void CallSpendTime(const EventRecord& event);
    TimerPtr MakeTimer(double seconds);

    TimerPtr mIdleTimer;
    TimerPtr mRepeatTimer;
};

// An event-loop timer: the callback runs after `firstDelay` seconds and then every
// `interval` seconds (0: once). Removing it, or destroying the object, stops it.
class LEventLoopTimer {
public:
    LEventLoopTimer() = default;
    LEventLoopTimer(const LEventLoopTimer&) = delete;
    LEventLoopTimer& operator=(const LEventLoopTimer&) = delete;
    ~LEventLoopTimer();

    void Install(double firstDelay, double interval, std::function<void()> callback);
    void Remove();
    bool IsInstalled() const;
    // Changes when it fires next (seconds from now), keeping the interval.
    void SetNextFireTime(double seconds);

private:
    TimerPtr mFirst;
    TimerPtr mRepeat;
    std::function<void()> mCallback;
    double mInterval = 0;
};

// A task fired by an event-loop timer.
class LTimerTask {
public:
    virtual ~LTimerTask() = default;

    void InstallTimer(double firstDelay, double interval = 0);
    void RemoveTimer() { mTimer.Remove(); }
    bool IsTimerInstalled() const { return mTimer.IsInstalled(); }
    void SetNextFireTime(double seconds) { mTimer.SetNextFireTime(seconds); }

    virtual void ExecuteTask() = 0;

private:
    LEventLoopTimer mTimer;
};
