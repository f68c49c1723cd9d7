// What a driver may still do at the end of the recorded data: the time left to each driving-
// and working-time limit and the latest starts of the next daily and weekly rests.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "analysis/activity_segment.h"
#include "analysis/rule_context.h"

namespace ddd {

// A limit and how much of it is used; what is left is never below 0.
struct LimitUse {
    std::int64_t used = 0;   // seconds
    std::int64_t limit = 0;  // seconds
    std::int64_t left() const { return used < limit ? limit - used : 0; }

    bool operator==(const LimitUse&) const = default;
};

struct RemainingTimes {
    std::int64_t asOf = 0;               // end of the last stretch whose activity is known (UTC)
    LimitUse dailyDriving;               // since the last daily or weekly rest: 9 h, or 10 h with an extension
    LimitUse drivingSinceBreak;          // 4 h 30 min until a break is due
    LimitUse weeklyDriving;              // 56 h in the week of asOf
    LimitUse fortnightDriving;           // 90 h in that week and the one before
    LimitUse weeklyWorkingTime;          // 60 h of work and driving in the week of asOf
    std::optional<std::int64_t> dailyRestLatestStart;   // absent without a rest period in the data
    std::optional<std::int64_t> weeklyRestLatestStart;  // absent without a weekly rest in the data
    int reducedDailyRestsLeft = 0;       // of 3 between two weekly rests
    int extensionsLeft = 0;              // 10-hour days left of 2 in the week of today's work

    bool operator==(const RemainingTimes&) const = default;
};

inline constexpr int kReducedDailyRestsAllowed = 3;
inline constexpr int kDrivingExtensionsAllowed = 2;

// Measured on a timeline in time order, with the calendar of the strict evaluation and its crew
// stretches (a crew needs its daily rest within 30 h instead of 24 h). Unknown stretches count
// neither as rest nor as a break. Absent when no stretch with a known activity exists.
std::optional<RemainingTimes> remainingTimes(const Timeline& timeline, const RuleOptions& options,
                                             std::span<const CrewStretch> crew = {});

}  // namespace ddd
