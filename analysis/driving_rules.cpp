// Driving-time and break checks. The limits themselves live in the violation catalogue; what is
// named here are the further thresholds the checks measure with.
#include "analysis/regulation_limits.h"
#include "analysis/driving_rules.h"

#include <algorithm>
#include <map>

namespace ddd {
namespace {

constexpr std::int64_t kFortnight = 2 * kWeek;
constexpr std::uint8_t kRest = 0;
constexpr std::uint8_t kDriving = 3;

// Art. 6(1): at most twice a week the daily driving may reach 10 h instead of 9 h.
constexpr int kExtensionsPerWeek = 2;

std::int64_t limitOf(ViolationCode code) { return violationCodeInfo(code).limit; }

// Driving seconds per week, a segment crossing Monday 00:00 split between both weeks.
std::map<std::int64_t, std::int64_t> weeklyDriving(const Timeline& timeline, const RuleOptions& options) {
    std::map<std::int64_t, std::int64_t> weeks;
    for (const auto& s : timeline) {
        if (s.type != kDriving || s.start >= s.end) continue;
        for (std::int64_t t = s.start; t < s.end;) {
            const std::int64_t week = weekStartOf(t, options);
            const std::int64_t e = std::min(week + kWeek, s.end);
            weeks[week] += e - t;
            t = e;
        }
    }
    return weeks;
}

// The instant at which driving inside [from, to) passes `limit`; `to` when it never does.
std::int64_t instantDrivingPasses(const Timeline& timeline, std::int64_t from, std::int64_t to, std::int64_t limit) {
    std::int64_t sum = 0;
    const auto first = std::partition_point(timeline.begin(), timeline.end(),
                                            [&](const ActivitySegment& s) { return s.end <= from; });
    for (auto it = first; it != timeline.end() && it->start < to; ++it) {
        const ActivitySegment& s = *it;
        if (s.type != kDriving) continue;
        const std::int64_t a = std::max(s.start, from);
        const std::int64_t b = std::min(s.end, to);
        if (a >= b) continue;
        if (sum + (b - a) > limit) return a - sum + limit;
        sum += b - a;
    }
    return to;
}

// The driving sequence since the last qualifying break, and the break under way.
class BreakWalk {
public:
    explicit BreakWalk(std::vector<LegalViolation>& findings) : findings_(findings) {}

    void add(const ActivitySegment& s) {
        if (seenAny_ && s.start > previousEnd_) finalise(previousEnd_);
        const std::int64_t length = s.end - s.start;
        if (s.type == kUnknownActivity) {
            finalise(s.start);
            breakLength_ = 0;
        } else if (s.type == kDriving) {
            drive(s.start, length);
            breakLength_ = 0;
        } else if (s.type == kRest) {
            rest(s.start, length);
        } else {
            breakLength_ = 0;
        }
        previousEnd_ = s.end;
        seenAny_ = true;
    }

    void finish() {
        if (seenAny_) finalise(previousEnd_);
    }

private:
    void drive(std::int64_t start, std::int64_t length) {
        if (!active_) {
            active_ = true;
            driveStart_ = start;
        }
        const std::int64_t before = driving_;
        driving_ += length;
        const std::int64_t limit = limitOf(ViolationCode::DrivingWithoutBreak);
        if (before <= limit && driving_ > limit) reachedAt_ = start - before + limit;
    }

    void rest(std::int64_t start, std::int64_t length) {
        if (!seenAny_ || start != previousEnd_ || breakLength_ == 0) {
            firstPartBeforeBreak_ = firstPartTaken_;
            breakStart_ = start;
            breakLength_ = 0;
        }
        breakLength_ += length;
        const bool qualifies =
            breakLength_ >= kFullBreak || (firstPartBeforeBreak_ && breakLength_ >= kBreakSecondPart);
        if (qualifies) {
            finalise(breakStart_);
        } else if (breakLength_ >= kBreakFirstPart) {
            firstPartTaken_ = true;
        }
    }

    void finalise(std::int64_t at) {
        if (active_ && driving_ > limitOf(ViolationCode::DrivingWithoutBreak)) {
            findings_.push_back(
                makeLegalViolation(ViolationCode::DrivingWithoutBreak, driving_, driveStart_, at, reachedAt_));
        }
        driveStart_ = 0;
        driving_ = 0;
        reachedAt_ = 0;
        firstPartTaken_ = false;
        active_ = false;
    }

    std::vector<LegalViolation>& findings_;
    std::int64_t driveStart_ = 0;
    std::int64_t driving_ = 0;
    std::int64_t reachedAt_ = 0;
    bool firstPartTaken_ = false;
    bool active_ = false;
    bool seenAny_ = false;
    std::int64_t previousEnd_ = 0;
    std::int64_t breakStart_ = 0;
    std::int64_t breakLength_ = 0;
    bool firstPartBeforeBreak_ = false;
};

}  // namespace

void checkDailyDriving(const RuleCheckInput& input, std::vector<LegalViolation>& findings) {
    std::vector<DailyWorkPeriod> periods;
    for (const auto& p : input.context.dailyWorkPeriods) {
        if (!p.hasUnknown && !p.hasGap && !p.open) periods.push_back(p);
    }
    std::stable_sort(periods.begin(), periods.end(), [](const DailyWorkPeriod& a, const DailyWorkPeriod& b) {
        return a.start != b.start ? a.start < b.start : a.end < b.end;
    });
    const std::int64_t dailyLimit = limitOf(ViolationCode::DailyDriving);
    const std::int64_t extendedLimit = limitOf(ViolationCode::DailyDrivingExtended);
    std::map<std::int64_t, int> extensionsUsed;
    for (const auto& p : periods) {
        if (p.end < p.start || p.driving < 0 || p.driving > p.end - p.start || p.driving <= dailyLimit) continue;
        int& used = extensionsUsed[p.weekStart];
        if (used >= kExtensionsPerWeek) {
            findings.push_back(makeLegalViolation(ViolationCode::DailyDriving, p.driving, p.start, p.end, p.end));
            continue;
        }
        ++used;  // an extension is used up also by a day that exceeds even 10 h
        if (p.driving > extendedLimit) {
            findings.push_back(
                makeLegalViolation(ViolationCode::DailyDrivingExtended, p.driving, p.start, p.end, p.end));
        }
    }
}

void checkBreaks(const RuleCheckInput& input, std::vector<LegalViolation>& findings) {
    BreakWalk walk(findings);
    for (const auto& s : input.timeline) {
        if (s.end > s.start) walk.add(s);
    }
    walk.finish();
}

void checkWeeklyDriving(const RuleCheckInput& input, std::vector<LegalViolation>& findings) {
    const std::int64_t limit = limitOf(ViolationCode::WeeklyDriving);
    for (const auto& [week, total] : weeklyDriving(input.timeline, input.options)) {
        if (total <= limit) continue;
        const std::int64_t when = instantDrivingPasses(input.timeline, week, week + kWeek, limit);
        findings.push_back(makeLegalViolation(ViolationCode::WeeklyDriving, total, week, week + kWeek, when));
    }
}

void checkFortnightDriving(const RuleCheckInput& input, std::vector<LegalViolation>& findings) {
    const std::int64_t limit = limitOf(ViolationCode::FortnightDriving);
    const auto weeks = weeklyDriving(input.timeline, input.options);
    for (const auto& [week, total] : weeks) {
        const auto next = weeks.find(week + kWeek);
        const std::int64_t fortnight = total + (next != weeks.end() ? next->second : 0);
        if (fortnight <= limit) continue;
        const std::int64_t when = instantDrivingPasses(input.timeline, week, week + kFortnight, limit);
        findings.push_back(
            makeLegalViolation(ViolationCode::FortnightDriving, fortnight, week, week + kFortnight, when));
    }
}

}  // namespace ddd
