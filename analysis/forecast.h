// How much of each driving- and working-time limit is used at the end of the last shift.
#pragma once

#include <cstdint>

namespace ddd {

struct Forecast {
    std::int64_t max = 0;    // the limit in seconds; identifies the entry
    std::int64_t value = 0;  // amount used, clamped to 0..max
    std::int64_t when = 0;   // reference instant (UTC seconds)
};

}  // namespace ddd
