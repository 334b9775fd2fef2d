#pragma once

#include "MacTypes.h"

#include <chrono>
#include <functional>
#include <vector>

// The platform's tick: 1/60 second, counted from a monotonic clock, so that
// changes of the wall-clock time never make a slice or a delay jump. It wraps
// after about 828 days; callers compare tick differences unsigned.
inline constexpr UInt32 kTicksPerSecond = 60;

UInt32 TickCount();

// Milliseconds of the same clock that TickCount counts.
SInt64 ClockMilliseconds();

// Milliseconds to ticks, rounded up so that a positive delay is never zero ticks.
UInt32 MillisecondsToTicks(UInt32 milliseconds);

// A clock that stands still until it is moved on: while one exists, TickCount and
// ClockMilliseconds read it, and what runs on the platform's clock (movies played
// under it) follows each Advance. Tests step through timed behaviour with it
// instead of waiting in real time. The newest one counts; it starts at the time
// of the clock it replaces.
class ManualClock {
public:
    ManualClock();
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    static ManualClock* Current();

    SInt64 Milliseconds() const { return mNow; }
    // Moves on by `milliseconds`, then tells each follower how far.
    void Advance(SInt64 milliseconds);
    // `moved` hears every advance until Unfollow with the answered id (which may
    // come after the clock has gone).
    int Follow(std::function<void(SInt64 milliseconds)> moved);
    static void Unfollow(int id);

private:
    SInt64 mNow = 0;
    ManualClock* mOuter = nullptr;
    std::vector<std::pair<int, std::function<void(SInt64)>>> mFollowers;
};
