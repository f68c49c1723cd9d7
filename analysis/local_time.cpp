#include "analysis/regulation_limits.h"
#include "analysis/local_time.h"

#include "core/primitives.h"

namespace ddd {
namespace {


std::int64_t floorMod(std::int64_t a, std::int64_t b) {
    const std::int64_t r = a % b;
    return r < 0 ? r + b : r;
}

}  // namespace

std::int64_t localClockSeconds(std::int64_t utcSeconds) {
    const CivilTime civil = toCivilTime(utcSeconds);
    return daysFromCivil(civil.year, civil.month, civil.day) * kDay + civil.minuteOfDay * std::int64_t{60} +
           floorMod(utcSeconds, 60);
}

std::int64_t localDayNumber(std::int64_t utcSeconds) {
    const CivilTime civil = toCivilTime(utcSeconds);
    return daysFromCivil(civil.year, civil.month, civil.day);
}

// German time is UTC+1 or UTC+2 and changes at 01:00 UTC, never at local midnight, so exactly one
// of the two candidates shows 00:00 of the date.
std::int64_t localMidnight(std::int64_t localDay) {
    const std::int64_t summer = localDay * kDay - 7200;
    return localClockSeconds(summer) == localDay * kDay ? summer : localDay * kDay - 3600;
}

std::int64_t mondayOfWeek(std::int64_t localDay) {
    // 1970-01-01 was a Thursday: day 0 is weekday 3 counted from Monday.
    return localDay - floorMod(localDay + 3, 7);
}

}  // namespace ddd
