#pragma once

#include "MacTypes.h"

#include <chrono>

// The platform's tick: 1/60 second, counted from a monotonic clock, so that
// changes of the wall-clock time never make a slice or a delay jump. It wraps
// after about 828 days; callers compare tick differences unsigned.
inline constexpr UInt32 kTicksPerSecond = 60;

UInt32 TickCount();

// Milliseconds to ticks, rounded up so that a positive delay is never zero ticks.
UInt32 MillisecondsToTicks(UInt32 milliseconds);
