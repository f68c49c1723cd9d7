// Working-time checks. Working time is work and driving; availability is neither working time
// nor a break.
#include "analysis/regulation_limits.h"
#include "analysis/working_time_rules.h"

#include <algorithm>
#include <map>

#include "analysis/local_time.h"

namespace ddd {
namespace {

constexpr std::uint8_t kRest = 0;

// Directive 2002/15/EC Art. 5(1): breaks may be divided into parts of at least 15 min.
constexpr std::int64_t kShortestBreak = 900;
// Art. 5(1): 45 min of breaks when working time exceeds 9 h.
constexpr std::int64_t kMinBreaksLongDay = 2700;
constexpr std::int64_t kLongWorkingDay = 9 * 3600;

std::int64_t limitOf(ViolationCode code) { return violationCodeInfo(code).limit; }

bool isWorkingTime(std::uint8_t type) { return type == 2 || type == 3; }

bool isAssessable(const DailyWorkPeriod& p) { return !p.hasUnknown && !p.hasGap && !p.open; }

template <class Visit>
void forEachClipped(const Timeline& timeline, std::int64_t from, std::int64_t to, Visit visit) {
    const auto first = std::partition_point(timeline.begin(), timeline.end(),
                                            [&](const ActivitySegment& s) { return s.end <= from; });
    for (auto it = first; it != timeline.end() && it->start < to; ++it) {
        const std::int64_t a = std::max(it->start, from);
        const std::int64_t b = std::min(it->end, to);
        if (a < b) visit(*it, a, b);
    }
}

// Seconds the German legal time is ahead of UTC at `t`.
std::int64_t legalTimeOffset(std::int64_t t) { return localClockSeconds(t) - t; }

// The first instant in (a, b] whose offset differs from the offset at `a`; the offset changes at
// most once in a stretch shorter than half a year.
std::int64_t nextOffsetChange(std::int64_t a, std::int64_t b) {
    const std::int64_t offset = legalTimeOffset(a);
    if (legalTimeOffset(b - 1) == offset) return b;
    std::int64_t lo = a;      // offset as at a
    std::int64_t hi = b - 1;  // offset changed
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        (legalTimeOffset(mid) == offset ? lo : hi) = mid;
    }
    return hi;
}

std::int64_t floorToDay(std::int64_t t) { return t - ((t % kDay) + kDay) % kDay; }

// Consecutive working time without a break of at least 15 min.
class ConsecutiveWorkWalk {
public:
    explicit ConsecutiveWorkWalk(std::vector<LegalViolation>& findings) : findings_(findings) {}

    void add(const ActivitySegment& s) {
        if (seenAny_ && s.start > previousEnd_) finalise(previousEnd_);
        const std::int64_t length = s.end - s.start;
        if (isWorkingTime(s.type)) {
            work(s.start, length);
            breakRun_ = 0;
        } else if (s.type == kUnknownActivity) {
            finalise(s.start);
            breakRun_ = 0;
        } else if (s.type == kRest) {
            const bool continues = seenAny_ && s.start == previousEnd_;
            breakRun_ = length + (continues ? breakRun_ : 0);
            if (breakRun_ >= kShortestBreak) finalise(s.end - breakRun_);
        } else {
            breakRun_ = 0;
        }
        previousEnd_ = s.end;
        seenAny_ = true;
    }

    void finish() {
        if (seenAny_) finalise(previousEnd_);
    }

private:
    void work(std::int64_t start, std::int64_t length) {
        const std::int64_t limit = limitOf(ViolationCode::SixHoursWorkWithoutBreak);
        if (work_ == 0) stretchStart_ = start;
        const std::int64_t before = work_;
        work_ += length;
        if (before <= limit && work_ > limit) reachedAt_ = start - before + limit;
    }

    void finalise(std::int64_t at) {
        if (work_ > limitOf(ViolationCode::SixHoursWorkWithoutBreak)) {
            findings_.push_back(
                makeLegalViolation(ViolationCode::SixHoursWorkWithoutBreak, work_, stretchStart_, at, reachedAt_));
        }
        work_ = 0;
    }

    std::vector<LegalViolation>& findings_;
    std::int64_t work_ = 0;
    std::int64_t stretchStart_ = 0;
    std::int64_t reachedAt_ = 0;
    bool seenAny_ = false;
    std::int64_t previousEnd_ = 0;
    std::int64_t breakRun_ = 0;
};

// Working time of a daily work period and the total of its breaks of at least 15 min.
struct PeriodBreaks {
    std::int64_t working = 0;
    std::int64_t breaks = 0;
};

PeriodBreaks measureBreaks(const Timeline& timeline, const DailyWorkPeriod& p) {
    PeriodBreaks m;
    std::int64_t run = 0;
    std::int64_t runEnd = 0;  // where the open run ends; meaningful while run > 0
    const auto closeRun = [&] {
        if (run >= kShortestBreak) m.breaks += run;
        run = 0;
    };
    forEachClipped(timeline, p.start, p.end, [&](const ActivitySegment& s, std::int64_t a, std::int64_t b) {
        if (s.type != kRest) {
            if (isWorkingTime(s.type)) m.working += b - a;
            closeRun();
            return;
        }
        if (run > 0 && runEnd != a) closeRun();
        run += b - a;
        runEnd = b;
    });
    closeRun();
    return m;
}

}  // namespace

std::int64_t nightWorkingSeconds(std::int64_t from, std::int64_t to, const RuleOptions& options) {
    const std::int64_t nightStart = std::int64_t{options.nightStart} * 60;
    const std::int64_t nightEnd = std::int64_t{options.nightEnd} * 60;
    std::int64_t night = 0;
    for (std::int64_t a = from; a < to;) {
        const std::int64_t b = nextOffsetChange(a, std::min(to, a + 30 * kDay));
        const std::int64_t o = legalTimeOffset(a);
        for (std::int64_t d = floorToDay(a + o); d < b + o; d += kDay) {
            night += std::max<std::int64_t>(0, std::min(d + nightEnd, b + o) - std::max(d + nightStart, a + o));
        }
        a = b;
    }
    return night;
}

void checkWeeklyWorkingTime(const RuleCheckInput& input, std::vector<LegalViolation>& findings) {
    std::map<std::int64_t, std::int64_t> weeks;
    for (const auto& s : input.timeline) {
        if (!isWorkingTime(s.type) || s.start >= s.end) continue;
        for (std::int64_t t = s.start; t < s.end;) {
            const std::int64_t week = weekStartOf(t, input.options);
            const std::int64_t e = std::min(week + kWeek, s.end);
            weeks[week] += e - t;
            t = e;
        }
    }
    for (const auto& [week, total] : weeks) {
        if (total <= limitOf(ViolationCode::WeeklyWorkingTimeOver60h)) continue;
        findings.push_back(
            makeLegalViolation(ViolationCode::WeeklyWorkingTimeOver60h, total, week, week + kWeek, week + kWeek));
    }
}

void checkWorkingTimeBreaks(const RuleCheckInput& input, std::vector<LegalViolation>& findings) {
    ConsecutiveWorkWalk walk(findings);
    for (const auto& s : input.timeline) {
        if (s.end > s.start) walk.add(s);
    }
    walk.finish();

    if (input.timeline.empty()) return;
    for (const auto& p : input.context.dailyWorkPeriods) {
        if (!isAssessable(p)) continue;
        const PeriodBreaks m = measureBreaks(input.timeline, p);
        if (m.working <= limitOf(ViolationCode::SixHoursWorkWithoutBreak)) continue;
        const std::int64_t required =
            m.working > kLongWorkingDay ? kMinBreaksLongDay : limitOf(ViolationCode::WorkingTimeBreaksInsufficient);
        if (m.breaks >= required) continue;
        LegalViolation v =
            makeLegalViolation(ViolationCode::WorkingTimeBreaksInsufficient, m.breaks, p.start, p.end, p.end);
        v.limit = required;
        findings.push_back(std::move(v));
    }
}

void checkNightWork(const RuleCheckInput& input, std::vector<LegalViolation>& findings) {
    for (const auto& p : input.context.dailyWorkPeriods) {
        if (!isAssessable(p)) continue;
        std::int64_t working = 0;
        std::int64_t night = 0;
        forEachClipped(input.timeline, p.start, p.end, [&](const ActivitySegment& s, std::int64_t a, std::int64_t b) {
            if (!isWorkingTime(s.type)) return;
            working += b - a;
            night += nightWorkingSeconds(a, b, input.options);
        });
        if (night > 0 && working > limitOf(ViolationCode::NightWorkDailyCap)) {
            findings.push_back(makeLegalViolation(ViolationCode::NightWorkDailyCap, working, p.start, p.end, p.end));
        }
    }
}

}  // namespace ddd
