// The countries a driver was in on each calendar day and the working time spent in each: the
// account a company keeps for posting and cabotage, derived from the card's border crossings
// and, on days without them, from the places where daily work periods began and ended.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/activity_segment.h"
#include "core/card_efs.h"

namespace ddd {

struct CountryTime {
    std::uint8_t country = 0;
    std::int64_t driving = 0;  // seconds
    std::int64_t work = 0;
    std::int64_t availability = 0;

    std::int64_t workingTime() const { return driving + work + availability; }
    bool operator==(const CountryTime&) const = default;
};

struct CountryDay {
    std::int64_t day = 0;  // 00:00 German time of the calendar day, as a UTC instant
    std::vector<CountryTime> countries;  // in the order the driver was in them that day
    // No border crossing that day: the countries come from the places entered at the begin
    // and end of the daily work period.
    bool fromPlaces = false;
};

// Every calendar day (German time) on which the timeline holds a known activity, with the
// countries the driver was in. A crossing counts from its instant on; before the first
// crossing of a day the country left applies. Days with no crossing take the country of the
// latest place entered, or, when none was entered that day, of the latest record of either kind.
// Empty when neither crossings nor places are given.
std::vector<CountryDay> buildCountryDays(const Timeline& timeline, const std::vector<BorderCrossingRecord>& crossings,
                                         const std::vector<PlaceRecord>& places);

}  // namespace ddd
