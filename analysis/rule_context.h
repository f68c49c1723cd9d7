// The segmentation of a timeline that the strict rule checks share: rest blocks, classified rest
// periods and daily work periods, with the calendar and coverage helpers they use.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/regulation_limits.h"
#include "analysis/activity_segment.h"

namespace ddd {

// Calendar and night window of the strict evaluation.
struct RuleOptions {
    std::int64_t utcOffset = 0;    // added to an instant before days and weeks are taken
    std::uint32_t nightStart = 0;  // minutes after midnight
    std::uint32_t nightEnd = 420;  // exclusive
};

// A stretch of driving or availability that the card records as crew operation (driving status
// set while the card is inserted): the sign of multi-manning.
struct CrewStretch {
    std::int64_t start = 0;
    std::int64_t end = 0;

    bool operator==(const CrewStretch&) const = default;
};

// A maximal run of rest segments.
struct RestBlock {
    std::int64_t start = 0;
    std::int64_t end = 0;

    bool operator==(const RestBlock&) const = default;
};

enum RestKind : std::uint32_t {
    kReducedDailyRestKind = 0,
    kRegularDailyRestKind = 1,  // also a split daily rest
    kReducedWeeklyRestKind = 2,
    kRegularWeeklyRestKind = 3,
};

struct RestPeriod {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::uint32_t kind = 0;
    std::uint8_t split = 0;
    std::int64_t firstPartEnd = 0;  // 0 when not split

    bool operator==(const RestPeriod&) const = default;
};

// The time between two rest periods (or the start or end of the data).
struct DailyWorkPeriod {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t driving = 0;
    std::int64_t weekStart = 0;
    std::uint8_t hasUnknown = 0;
    std::uint8_t hasGap = 0;
    std::uint8_t open = 0;  // begins at the start or ends at the end of the data
    std::uint8_t multiManning = 0;  // some of its driving or availability is crew operation

    bool operator==(const DailyWorkPeriod&) const = default;
};

struct RuleContext {
    std::vector<RestBlock> restBlocks;
    std::vector<RestPeriod> restPeriods;
    std::vector<DailyWorkPeriod> dailyWorkPeriods;
};

// Built from a timeline in time order and the crew stretches of the same history, in time order.
RuleContext buildRuleContext(const Timeline& timeline, const RuleOptions& options,
                             std::span<const CrewStretch> crew = {});

// Monday 00:00 of the week of `t`, in the calendar shifted by the options' UTC offset.
std::int64_t weekStartOf(std::int64_t t, const RuleOptions& options);

// True when the timeline (in time order) is present and known for the whole of [from, to):
// no hole and no unknown segment.
bool isCovered(const Timeline& timeline, std::int64_t from, std::int64_t to);

}  // namespace ddd
