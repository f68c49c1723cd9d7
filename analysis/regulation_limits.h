// Durations of Regulation (EC) No 561/2006 that several rule checks and builders share, in
// seconds, named once.
#pragma once

#include <cstdint>

namespace ddd {

inline constexpr std::int64_t kDay = 86400;
inline constexpr std::int64_t kWeek = 7 * kDay;

// Art. 4(g): a regular daily rest lasts at least 11 h, a reduced one at least 9 h; a split daily
// rest is a first part of at least 3 h followed by a second of at least 9 h.
inline constexpr std::int64_t kRegularDailyRest = 39600;
inline constexpr std::int64_t kReducedDailyRest = 32400;
inline constexpr std::int64_t kSplitRestFirstPart = 10800;
inline constexpr std::int64_t kSplitRestSecondPart = 32400;

// Art. 4(h): a regular weekly rest lasts at least 45 h, a reduced one at least 24 h.
inline constexpr std::int64_t kRegularWeeklyRest = 162000;
inline constexpr std::int64_t kReducedWeeklyRest = 86400;

// Art. 7: a break of 45 min, or one of at least 15 min followed by one of at least 30 min.
inline constexpr std::int64_t kFullBreak = 2700;
inline constexpr std::int64_t kBreakFirstPart = 900;
inline constexpr std::int64_t kBreakSecondPart = 1800;

}  // namespace ddd
