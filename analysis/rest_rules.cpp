// Daily and weekly rest checks. A finding needs a window that the data covers completely and
// without unknown stretches; where the data is incomplete the checks stay silent.
#include "analysis/regulation_limits.h"
#include "analysis/rest_rules.h"

#include <algorithm>
#include <map>
#include <optional>

namespace ddd {
namespace {


// Art. 8(2): a new daily rest within each 24 h after the end of the previous daily or weekly rest.
constexpr std::int64_t kDailyRestWindow = 24 * 3600;
// Art. 8(5): in multi-manning, a daily rest of at least 9 h within 30 h of the end of the
// previous daily or weekly rest.
constexpr std::int64_t kMultiManningWindow = 30 * 3600;

std::int64_t limitOf(ViolationCode code) { return violationCodeInfo(code).limit; }

bool isWeekly(const RestPeriod& r) { return r.kind == kReducedWeeklyRestKind || r.kind == kRegularWeeklyRestKind; }

// The rest blocks inside a window, each clipped to it.
struct WindowRest {
    std::int64_t longest = 0;
    std::optional<std::int64_t> second;  // the longest block after the first one of at least 3 h
};

WindowRest measureWindow(const std::vector<RestBlock>& blocks, std::int64_t from, std::int64_t to) {
    WindowRest rest;
    bool firstPartSeen = false;
    const auto first =
        std::partition_point(blocks.begin(), blocks.end(), [&](const RestBlock& b) { return b.end <= from; });
    for (auto it = first; it != blocks.end() && it->start < to; ++it) {
        const std::int64_t clipped = std::min(it->end, to) - std::max(it->start, from);
        if (clipped <= 0) continue;
        rest.longest = std::max(rest.longest, clipped);
        if (firstPartSeen) {
            rest.second = std::max(rest.second.value_or(0), clipped);
        } else if (clipped >= kSplitRestFirstPart) {
            firstPartSeen = true;
        }
    }
    return rest;
}

// The card records crew operation in the daily work period that begins where the rest ends.
bool crewTourFollows(const RuleContext& context, std::int64_t restEnd) {
    const auto& periods = context.dailyWorkPeriods;
    const auto it = std::partition_point(periods.begin(), periods.end(),
                                         [&](const DailyWorkPeriod& p) { return p.start < restEnd; });
    return it != periods.end() && it->start == restEnd && it->multiManning;
}

class DailyRestWalk {
public:
    DailyRestWalk(const RuleCheckInput& input, std::vector<LegalViolation>& findings)
        : timeline_(input.timeline), blocks_(input.context.restBlocks), findings_(findings) {}

    void step(const RestPeriod& rest, const RestPeriod* next, bool crewTour) {
        if (isWeekly(rest)) {
            reducedCount_ = 0;
            lastWeeklyEnd_ = rest.end;
            weeklyEndKnown_ = true;
        }
        if (crewTour) {
            checkCrewWindow(rest);
        } else {
            checkWindow(rest, next);
        }
        if (next && !isCovered(timeline_, rest.end, next->start)) {
            reducedCount_ = 0;
            weeklyEndKnown_ = false;
        }
    }

private:
    void checkWindow(const RestPeriod& rest, const RestPeriod* next) {
        const std::int64_t reducedRest = limitOf(ViolationCode::ReducedDailyRestTooShort);
        const std::int64_t regularRest = limitOf(ViolationCode::RegularDailyRestTooShort);
        const std::int64_t maxReduced = limitOf(ViolationCode::ReducedDailyRestCountExceeded);
        const std::int64_t from = rest.end;
        const std::int64_t to = rest.end + kDailyRestWindow;
        const WindowRest measured = measureWindow(blocks_, from, to);
        const bool covered = isCovered(timeline_, from, to);
        const bool splitCompletes = next && next->split && std::min(next->end, to) - next->start >= reducedRest;
        // The count as this step found it: a rest counted as the third reduced one just now is
        // still within the allowance.
        const std::int64_t countBefore = reducedCount_;
        if (measured.longest < regularRest && !splitCompletes) {
            if (reducedCount_ < maxReduced && measured.longest >= reducedRest) {
                if (covered) ++reducedCount_;
            } else if (covered) {
                findings_.push_back(shortRestFinding(measured, from, to));
            }
        }
        if (next && next->kind == kReducedDailyRestKind && !next->split && measured.longest < regularRest &&
            countBefore >= maxReduced && weeklyEndKnown_ && covered) {
            ++reducedCount_;
            findings_.push_back(makeLegalViolation(ViolationCode::ReducedDailyRestCountExceeded, reducedCount_,
                                                   lastWeeklyEnd_, next->end, next->end));
        }
    }

    LegalViolation shortRestFinding(const WindowRest& measured, std::int64_t from, std::int64_t to) const {
        const std::int64_t reducedRest = limitOf(ViolationCode::ReducedDailyRestTooShort);
        if (measured.second && *measured.second == measured.longest && measured.longest < reducedRest) {
            return makeLegalViolation(ViolationCode::SplitRestSecondPartShort, measured.longest, from, to, to);
        }
        if (reducedCount_ < limitOf(ViolationCode::ReducedDailyRestCountExceeded)) {
            return makeLegalViolation(ViolationCode::ReducedDailyRestTooShort, measured.longest, from, to, to);
        }
        return makeLegalViolation(ViolationCode::RegularDailyRestTooShort, measured.longest, from, to, to);
    }

    // A crew needs 9 h of rest within 30 h; a 9 h rest there is the normal one, not a reduced
    // rest, so the count stays as it is.
    void checkCrewWindow(const RestPeriod& rest) {
        const std::int64_t from = rest.end;
        const std::int64_t to = rest.end + kMultiManningWindow;
        const WindowRest measured = measureWindow(blocks_, from, to);
        if (measured.longest < limitOf(ViolationCode::ReducedDailyRestTooShort) && isCovered(timeline_, from, to)) {
            findings_.push_back(makeLegalViolation(ViolationCode::ReducedDailyRestTooShort, measured.longest, from, to, to));
        }
    }

    const Timeline& timeline_;
    const std::vector<RestBlock>& blocks_;
    std::vector<LegalViolation>& findings_;
    std::int64_t reducedCount_ = 0;
    bool weeklyEndKnown_ = false;
    std::int64_t lastWeeklyEnd_ = 0;
};

void checkWeeklyRestStart(const RuleCheckInput& input, const std::vector<RestPeriod>& weekly,
                          std::vector<LegalViolation>& findings) {
    const auto& blocks = input.context.restBlocks;
    const Timeline& timeline = input.timeline;
    const std::int64_t firstEnd = blocks.front().end;
    const std::int64_t dataEnd = timeline.back().end;
    // A rest still under way when the data ends began at its block's start; counting the gap to
    // the end of the data instead would make a driver late who is resting.
    const std::optional<std::int64_t> restUnderWay =
        blocks.back().end == dataEnd ? std::optional(blocks.back().start) : std::nullopt;
    const auto gapEnd = [&](std::int64_t from) {
        return restUnderWay && *restUnderWay >= from ? *restUnderWay : dataEnd;
    };
    const ViolationCodeInfo& info = violationCodeInfo(ViolationCode::WeeklyRestStartLate);
    const auto checkGap = [&](std::int64_t from, std::int64_t to) {
        if (to - from <= info.limit || !isCovered(timeline, from, to)) return;
        LegalViolation v = makeLegalViolation(ViolationCode::WeeklyRestStartLate, to - from, from, to, from + info.limit);
        v.severity = infringementClass(info, to - from - info.limit);
        findings.push_back(std::move(v));
    };
    const std::int64_t firstTo = weekly.empty() ? gapEnd(firstEnd) : weekly.front().start;
    if (firstEnd < firstTo) checkGap(firstEnd, firstTo);
    for (std::size_t k = 1; k < weekly.size(); ++k) checkGap(weekly[k - 1].end, weekly[k].start);
    if (!weekly.empty()) checkGap(weekly.back().end, gapEnd(weekly.back().end));
}

void checkReducedWeeklyRestPairs(const RuleCheckInput& input, const std::vector<RestPeriod>& weekly,
                                 std::vector<LegalViolation>& findings) {
    std::map<std::int64_t, RestPeriod> longestOfWeek;
    for (const auto& r : weekly) {
        const auto [it, inserted] = longestOfWeek.try_emplace(weekStartOf(r.start, input.options), r);
        if (!inserted && r.end - r.start > it->second.end - it->second.start) it->second = r;
    }
    const Timeline& timeline = input.timeline;
    for (const auto& [week, first] : longestOfWeek) {
        const auto next = longestOfWeek.find(week + kWeek);
        if (next == longestOfWeek.end()) continue;
        const RestPeriod& second = next->second;
        if (first.kind == kRegularWeeklyRestKind || second.kind == kRegularWeeklyRestKind) continue;
        if (timeline.front().start > week || !isCovered(timeline, week, week + 2 * kWeek)) continue;
        findings.push_back(makeLegalViolation(ViolationCode::SecondReducedWeeklyRestInPair, second.end - second.start,
                                              second.start, second.end, second.end));
    }
}

}  // namespace

void checkDailyRest(const RuleCheckInput& input, std::vector<LegalViolation>& findings) {
    const auto& rests = input.context.restPeriods;
    if (input.timeline.empty() || rests.empty()) return;
    DailyRestWalk walk(input, findings);
    for (std::size_t i = 0; i < rests.size(); ++i) {
        const RestPeriod* next = i + 1 < rests.size() ? &rests[i + 1] : nullptr;
        walk.step(rests[i], next, crewTourFollows(input.context, rests[i].end));
    }
}

void checkWeeklyRest(const RuleCheckInput& input, std::vector<LegalViolation>& findings) {
    if (input.context.restBlocks.empty() || input.timeline.empty()) return;
    std::vector<RestPeriod> weekly;
    for (const auto& r : input.context.restPeriods) {
        if (isWeekly(r)) weekly.push_back(r);
    }
    checkWeeklyRestStart(input, weekly, findings);
    checkReducedWeeklyRestPairs(input, weekly, findings);
}

}  // namespace ddd
