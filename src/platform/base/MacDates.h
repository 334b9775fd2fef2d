#pragma once

#include "MacTypes.h"

#include <QDateTime>

// Dates as the stored formats keep them: unsigned seconds since 1904-01-01 00:00.
// The platform counted them in local time; the UTC forms exist for formats that
// say so explicitly.
inline constexpr SInt64 kSecondsFrom1904To1970 = 2082844800;

QDateTime MacSecondsToDateTime(UInt32 seconds); // local time
UInt32 DateTimeToMacSeconds(const QDateTime& dateTime); // as local time; clamped to the UInt32 range

QDateTime MacSecondsToDateTimeUTC(UInt32 seconds);
UInt32 DateTimeToMacSecondsUTC(const QDateTime& dateTime);

// Now, in local seconds since 1904.
UInt32 GetDateTimeNow();
