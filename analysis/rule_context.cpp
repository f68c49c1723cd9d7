// Rest blocks, rest periods and daily work periods: the common ground of the daily driving, rest
// and working-time checks.
#include "analysis/regulation_limits.h"
#include "analysis/rule_context.h"
#include "core/primitives.h"

#include <algorithm>
#include <optional>

namespace ddd {
namespace {

// Art. 8(2): both parts of a split rest lie within 24 h.
constexpr std::int64_t kSplitRestSpan = 86400;

std::vector<RestBlock> restBlocks(const Timeline& timeline) {
    std::vector<RestBlock> blocks;
    for (const auto& s : timeline) {
        if (s.end <= s.start || s.type != 0) continue;
        if (!blocks.empty() && blocks.back().end == s.start) {
            blocks.back().end = s.end;
        } else {
            blocks.push_back({s.start, s.end});
        }
    }
    return blocks;
}

std::vector<RestPeriod> restPeriods(const std::vector<RestBlock>& blocks) {
    std::vector<RestPeriod> periods;
    std::optional<RestBlock> firstPart;
    for (const auto& b : blocks) {
        const std::int64_t d = b.end - b.start;
        if (d < kReducedDailyRest) {
            if (d >= kSplitRestFirstPart) firstPart = b;
            continue;
        }
        RestPeriod p{b.start, b.end, 0, 0, 0};
        if (d >= kRegularWeeklyRest) {
            p.kind = kRegularWeeklyRestKind;
        } else if (d >= kReducedWeeklyRest) {
            p.kind = kReducedWeeklyRestKind;
        } else {
            const bool split = firstPart && b.start <= firstPart->start + kSplitRestSpan;
            p.split = split ? 1 : 0;
            p.kind = split || d >= kRegularDailyRest ? kRegularDailyRestKind : kReducedDailyRestKind;
            p.firstPartEnd = split ? firstPart->end : 0;
        }
        periods.push_back(p);
        firstPart.reset();
    }
    return periods;
}

void measure(DailyWorkPeriod& p, const Timeline& timeline, std::size_t& first) {
    while (first < timeline.size() && timeline[first].end <= p.start) ++first;
    std::int64_t furthest = p.start;
    for (std::size_t k = first; k < timeline.size() && timeline[k].start < p.end; ++k) {
        const auto& s = timeline[k];
        if (s.end <= s.start || s.end <= p.start) continue;
        if (s.type == 3) p.driving += std::min(s.end, p.end) - std::max(s.start, p.start);
        if (s.type == kUnknownActivity) p.hasUnknown = 1;
        if (s.start > furthest) p.hasGap = 1;
        furthest = std::max(furthest, s.end);
    }
    if (furthest < p.end) p.hasGap = 1;
}

bool overlapsCrew(const DailyWorkPeriod& p, std::span<const CrewStretch> crew) {
    const auto it = std::partition_point(crew.begin(), crew.end(), [&](const CrewStretch& c) { return c.end <= p.start; });
    for (auto c = it; c != crew.end() && c->start < p.end; ++c) {
        if (c->end > c->start && c->end > p.start) return true;
    }
    return false;
}

std::vector<DailyWorkPeriod> dailyWorkPeriods(const Timeline& timeline, const std::vector<RestPeriod>& rests,
                                              const RuleOptions& options, std::span<const CrewStretch> crew) {
    std::vector<DailyWorkPeriod> periods;
    if (timeline.empty()) return periods;
    std::int64_t cursor = timeline.front().start;
    for (std::size_t i = 0; i < rests.size(); ++i) {
        if (rests[i].start > cursor) {
            periods.push_back(DailyWorkPeriod{cursor, rests[i].start, 0, 0, 0, 0, static_cast<std::uint8_t>(i == 0), 0});
        }
        cursor = rests[i].end;
    }
    if (cursor < timeline.back().end) periods.push_back(DailyWorkPeriod{cursor, timeline.back().end, 0, 0, 0, 0, 1, 0});
    std::size_t first = 0;
    for (auto& p : periods) {
        p.weekStart = weekStartOf(p.start, options);
        measure(p, timeline, first);
        p.multiManning = overlapsCrew(p, crew) ? 1 : 0;
    }
    return periods;
}

}  // namespace

RuleContext buildRuleContext(const Timeline& timeline, const RuleOptions& options, std::span<const CrewStretch> crew) {
    RuleContext context;
    context.restBlocks = restBlocks(timeline);
    context.restPeriods = restPeriods(context.restBlocks);
    context.dailyWorkPeriods = dailyWorkPeriods(timeline, context.restPeriods, options, crew);
    return context;
}

std::int64_t weekStartOf(std::int64_t t, const RuleOptions& options) {
    const std::int64_t day = floorDiv(t + options.utcOffset, kDay);
    const std::int64_t weekday = ((day + 3) % 7 + 7) % 7;
    return (day - weekday) * kDay - options.utcOffset;
}

bool isCovered(const Timeline& timeline, std::int64_t from, std::int64_t to) {
    if (timeline.empty() || timeline.front().start > from || timeline.back().end < to) return false;
    const auto firstOverlap = std::partition_point(timeline.begin(), timeline.end(),
                                                   [&](const ActivitySegment& s) { return s.end <= from; });
    std::int64_t mark = from;
    for (auto it = firstOverlap; it != timeline.end() && it->start < to; ++it) {
        if (it->end <= it->start || it->end <= from) continue;
        if (it->start > mark || it->type == kUnknownActivity) return false;
        mark = std::max(mark, std::min(it->end, to));
    }
    return mark >= to;
}

}  // namespace ddd
