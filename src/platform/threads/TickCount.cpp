#include "TickCount.h"

#include <algorithm>

namespace {
ManualClock* gManualClock = nullptr;
int gLastFollowerId = 0;

SInt64 SteadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

UInt32 TickCount()
{
    using namespace std::chrono;
    if (gManualClock)
        return static_cast<UInt32>(static_cast<UInt64>(gManualClock->Milliseconds()) * kTicksPerSecond / 1000u);
    auto since = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<UInt32>(static_cast<UInt64>(since) * kTicksPerSecond / 1000000u);
}

SInt64 ClockMilliseconds()
{
    return gManualClock ? gManualClock->Milliseconds() : SteadyMilliseconds();
}

UInt32 MillisecondsToTicks(UInt32 milliseconds)
{
    return static_cast<UInt32>((static_cast<UInt64>(milliseconds) * kTicksPerSecond + 999) / 1000);
}

ManualClock::ManualClock()
    : mNow(ClockMilliseconds())
    , mOuter(gManualClock)
{
    gManualClock = this;
}

ManualClock::~ManualClock()
{
    // Clocks end in the reverse order of their making.
    gManualClock = mOuter;
}

ManualClock* ManualClock::Current()
{
    return gManualClock;
}

void ManualClock::Advance(SInt64 milliseconds)
{
    mNow += std::max<SInt64>(0, milliseconds);
    // A follower may end others (or itself) while it hears: each id is looked up
    // again before it is told.
    std::vector<int> ids;
    for (const auto& follower : mFollowers)
        ids.push_back(follower.first);
    for (int id : ids) {
        auto it = std::find_if(mFollowers.begin(), mFollowers.end(), [id](const auto& f) { return f.first == id; });
        if (it != mFollowers.end()) {
            const auto moved = it->second;
            moved(milliseconds);
        }
    }
}

int ManualClock::Follow(std::function<void(SInt64)> moved)
{
    mFollowers.emplace_back(++gLastFollowerId, std::move(moved));
    return gLastFollowerId;
}

void ManualClock::Unfollow(int id)
{
    for (ManualClock* clock = gManualClock; clock; clock = clock->mOuter)
        std::erase_if(clock->mFollowers, [id](const auto& f) { return f.first == id; });
}
