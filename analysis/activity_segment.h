// One stretch of constant activity on a driver's continuous timeline: the unit that shifts,
// coverage gaps and the rule checks read.
#pragma once

#include <cstdint>
#include <vector>

namespace ddd {

// Activity type of a stretch whose activity is not known (card out without manual entry, no data).
inline constexpr std::uint8_t kUnknownActivity = 255;

struct ActivitySegment {
    std::int64_t start = 0;  // UTC seconds, inclusive
    std::int64_t end = 0;    // UTC seconds, exclusive
    std::uint8_t type = 0;   // 0 break/rest, 1 availability, 2 work, 3 driving, 255 unknown
    std::uint8_t cardAbsent = 0;

    bool operator==(const ActivitySegment&) const = default;
};

using Timeline = std::vector<ActivitySegment>;

// Activity type a change word stands for: a card that was out with the driving status clear
// means the activity is unknown.
inline std::uint8_t activityTypeOfWord(std::uint16_t word) {
    if ((word & 0x6000) == 0x2000) return kUnknownActivity;
    return static_cast<std::uint8_t>((word >> 11) & 0x3);
}

}  // namespace ddd
