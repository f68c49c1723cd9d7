// Time left at the end of the data, measured with the same rest periods and week calendar as the
// strict rule checks, so that the panel and the findings agree on what a day and a week are.
#include "analysis/remaining_times.h"

#include <algorithm>

#include "analysis/regulation_limits.h"
#include "analysis/rule_catalogue.h"

namespace ddd {
namespace {

constexpr std::uint8_t kRest = 0;
constexpr std::uint8_t kWork = 2;
constexpr std::uint8_t kDriving = 3;

// Art. 8(2) and 8(5): the next daily rest ends within 24 h of the previous rest, within 30 h for
// a crew; Art. 8(6): a weekly rest starts at the latest six 24-hour periods after the last one.
constexpr std::int64_t kDailyRestWindow = kDay;
constexpr std::int64_t kCrewRestWindow = 30 * 3600;
constexpr std::int64_t kWeeklyRestDue = 6 * kDay;

std::int64_t limitOf(ViolationCode code) { return violationCodeInfo(code).limit; }

bool isWeeklyRest(const RestPeriod& r) { return r.kind == kReducedWeeklyRestKind || r.kind == kRegularWeeklyRestKind; }

template <class Counted>
std::int64_t timeIn(const Timeline& timeline, std::int64_t from, Counted counted) {
    std::int64_t total = 0;
    for (const auto& s : timeline) {
        if (counted(s.type) && s.end > from) total += s.end - std::max(s.start, from);
    }
    return total;
}

// Art. 7: driving since the last break of 45 min, or of 30 min after an earlier one of 15 min.
// Only rest breaks; availability, work, unknown time and holes end a break without being one.
std::int64_t drivingSinceBreak(const Timeline& timeline) {
    std::int64_t driving = 0;
    std::int64_t breakLength = 0;
    std::int64_t previousEnd = 0;
    bool firstPartTaken = false;
    bool firstPartBeforeBreak = false;
    for (const auto& s : timeline) {
        const bool continues = s.start == previousEnd;
        previousEnd = s.end;
        if (s.type != kRest) {
            breakLength = 0;
            if (s.type == kDriving) driving += s.end - s.start;
            continue;
        }
        if (!continues || breakLength == 0) {
            firstPartBeforeBreak = firstPartTaken;
            breakLength = 0;
        }
        breakLength += s.end - s.start;
        if (breakLength >= kFullBreak || (firstPartBeforeBreak && breakLength >= kBreakSecondPart)) {
            driving = 0;
            firstPartTaken = false;
        } else if (breakLength >= kBreakFirstPart) {
            firstPartTaken = true;
        }
    }
    return driving;
}

// The timeline up to the end of its last stretch of known activity.
Timeline knownUpToEnd(const Timeline& timeline) {
    const auto last = std::find_if(timeline.rbegin(), timeline.rend(),
                                   [](const ActivitySegment& s) { return s.type != kUnknownActivity && s.end > s.start; });
    if (last == timeline.rend()) return {};
    const std::int64_t asOf = last->end;
    Timeline cut;
    for (const auto& s : timeline) {
        if (s.start >= asOf) break;
        cut.push_back(s);
        cut.back().end = std::min(s.end, asOf);
    }
    return cut;
}

}  // namespace

std::optional<RemainingTimes> remainingTimes(const Timeline& timeline, const RuleOptions& options,
                                             std::span<const CrewStretch> crew) {
    const Timeline known = knownUpToEnd(timeline);
    if (known.empty()) return std::nullopt;
    const RuleContext context = buildRuleContext(known, options, crew);
    const auto isDriving = [](std::uint8_t t) { return t == kDriving; };
    const auto isWorking = [](std::uint8_t t) { return t == kWork || t == kDriving; };

    RemainingTimes r;
    r.asOf = known.back().end;
    const auto& rests = context.restPeriods;
    const std::int64_t todayStart = rests.empty() ? known.front().start : rests.back().end;

    const std::int64_t maxDaily = limitOf(ViolationCode::DailyDriving);
    const std::int64_t todayWeek = weekStartOf(todayStart, options);
    int extensionsBefore = 0;
    for (const DailyWorkPeriod& p : context.dailyWorkPeriods) {
        if (p.start < todayStart && p.weekStart == todayWeek && p.driving > maxDaily) ++extensionsBefore;
    }
    const std::int64_t drivenToday = timeIn(known, todayStart, isDriving);
    const bool extendedToday = drivenToday > maxDaily;
    const bool extensionAvailable = extendedToday || extensionsBefore < kDrivingExtensionsAllowed;
    r.dailyDriving = {drivenToday, extensionAvailable ? limitOf(ViolationCode::DailyDrivingExtended) : maxDaily};
    r.extensionsLeft = std::max(0, kDrivingExtensionsAllowed - extensionsBefore - (extendedToday ? 1 : 0));

    r.drivingSinceBreak = {drivingSinceBreak(known), limitOf(ViolationCode::DrivingWithoutBreak)};
    const std::int64_t week = weekStartOf(r.asOf, options);
    r.weeklyDriving = {timeIn(known, week, isDriving), limitOf(ViolationCode::WeeklyDriving)};
    r.fortnightDriving = {timeIn(known, week - kWeek, isDriving), limitOf(ViolationCode::FortnightDriving)};
    r.weeklyWorkingTime = {timeIn(known, week, isWorking), limitOf(ViolationCode::WeeklyWorkingTimeOver60h)};

    const auto lastWeekly = std::find_if(rests.rbegin(), rests.rend(), isWeeklyRest);
    const auto reduced = std::count_if(rests.rbegin(), lastWeekly, [](const RestPeriod& p) {
        return p.kind == kReducedDailyRestKind && !p.split;
    });
    r.reducedDailyRestsLeft = std::max(0, kReducedDailyRestsAllowed - static_cast<int>(reduced));
    if (lastWeekly != rests.rend()) r.weeklyRestLatestStart = lastWeekly->end + kWeeklyRestDue;
    if (!rests.empty()) {
        const auto& periods = context.dailyWorkPeriods;
        const bool crewToday = !periods.empty() && periods.back().start == todayStart && periods.back().multiManning;
        const std::int64_t needed = crewToday || r.reducedDailyRestsLeft > 0 ? kReducedDailyRest : kRegularDailyRest;
        r.dailyRestLatestStart = todayStart + (crewToday ? kCrewRestWindow : kDailyRestWindow) - needed;
    }
    return r;
}

}  // namespace ddd
