// Calendar days and weeks in German legal time, for the checks and forecasts that count the
// driver's week the way the dashboard shows it (Monday 00:00 local time).
#pragma once

#include <cstdint>

namespace ddd {

// The instant as seconds since 1970-01-01 00:00 on the German local clock.
std::int64_t localClockSeconds(std::int64_t utcSeconds);

// Days since 1970-01-01 of the German local date of the instant.
std::int64_t localDayNumber(std::int64_t utcSeconds);

// The UTC instant of 00:00 German time on the local date `localDay` (days since 1970-01-01).
std::int64_t localMidnight(std::int64_t localDay);

// The local date of the Monday of the week (Monday first) holding the local date `localDay`.
std::int64_t mondayOfWeek(std::int64_t localDay);

}  // namespace ddd
