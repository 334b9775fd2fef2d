#include "TickCount.h"

UInt32 TickCount()
{
    using namespace std::chrono;
    auto since = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<UInt32>(static_cast<UInt64>(since) * kTicksPerSecond / 1000000u);
}

UInt32 MillisecondsToTicks(UInt32 milliseconds)
{
    return static_cast<UInt32>((static_cast<UInt64>(milliseconds) * kTicksPerSecond + 999) / 1000);
}
