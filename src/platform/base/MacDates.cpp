#include "MacDates.h"

#include <QTimeZone>
#include <algorithm>
#include <ctime>
#include <mutex>

namespace {

UInt32 ClampSeconds(SInt64 seconds)
{
    return static_cast<UInt32>(std::clamp<SInt64>(seconds, 0, 0xFFFFFFFFLL));
}

} // namespace

QDateTime MacSecondsToDateTimeUTC(UInt32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(SInt64(seconds) - kSecondsFrom1904To1970, Qt::UTC);
}

UInt32 DateTimeToMacSecondsUTC(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return 0;
    return ClampSeconds(dateTime.toSecsSinceEpoch() + kSecondsFrom1904To1970);
}

// Local seconds name a wall-clock time: the same date and time of day, read as local.
QDateTime MacSecondsToDateTime(UInt32 seconds)
{
    QDateTime wall = MacSecondsToDateTimeUTC(seconds);
    return QDateTime(wall.date(), wall.time(), Qt::LocalTime);
}

UInt32 DateTimeToMacSeconds(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return 0;
    QDateTime local = dateTime.toLocalTime();
    return DateTimeToMacSecondsUTC(QDateTime(local.date(), local.time(), Qt::UTC));
}

// Items stamp the time on every error, so the zone is read once per run and
// localtime_r (which never re-reads it) turns the clock into wall-clock time.
UInt32 GetDateTimeNow()
{
    static std::once_flag zoneRead;
    std::call_once(zoneRead, [] { tzset(); });
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    if (!localtime_r(&now, &local))
        return DateTimeToMacSeconds(QDateTime::currentDateTime());
    return ClampSeconds(SInt64(now) + local.tm_gmtoff + kSecondsFrom1904To1970);
}
