// Core shifts: work blocks separated by rests, cut into shifts at the rest that can serve as the
// daily rest, with per-activity totals of each window.
#include "analysis/regulation_limits.h"
#include "analysis/shifts.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace ddd {
namespace {


// Only a rest longer than 7 h can end a shift: no daily rest (Reg. 561/2006 Art. 4(g), Art. 8)
// is shorter than a 9 h reduced rest, and a 7 h pause is still counted as a break.
constexpr std::int64_t kShiftEndingRest = 25200;
// A 9 h rest must begin within 24 h of the previous rest's end (Art. 8(2)): 15 h after the start
// of the shift; a shift beyond 17 h is only accepted when no earlier rest exists.
constexpr std::int64_t kPreferredRestStart = 54000;
constexpr std::int64_t kLatestRestStart = 61200;
// A regular daily rest taken on a ferry or train may be interrupted by other activities of at
// most 1 h (Reg. 561/2006 Art. 9(1)).
constexpr std::int64_t kFerryInterruption = 3600;
// A place record up to a minute before the crossing marks work that began a new working day.
constexpr std::int64_t kPlaceTolerance = 60;

constexpr std::uint32_t kOutOfScopeBegin = 1;
constexpr std::uint32_t kOutOfScopeEnd = 2;
constexpr std::uint32_t kFerryTrainBegin = 3;

struct Interval {
    std::int64_t start = 0;
    std::int64_t end = 0;
};

bool isWorkType(std::uint8_t type) { return type == 1 || type == 2 || type == 3; }

bool isWorkDayBeginPlace(std::uint32_t entryType) { return entryType == 0 || entryType == 2 || entryType == 4; }

std::int64_t floorToMinute(std::int64_t t) {
    std::int64_t r = t % 60;
    if (r < 0) r += 60;
    return t - r;
}

std::vector<TimedCode> normalisedConditions(const std::vector<TimedCode>& conditions) {
    std::vector<TimedCode> sorted = conditions;
    for (auto& c : sorted) c.instant = floorToMinute(c.instant);
    auto key = [](const TimedCode& c) { return std::pair(c.instant, c.code); };
    std::sort(sorted.begin(), sorted.end(), [&](const TimedCode& a, const TimedCode& b) { return key(a) < key(b); });
    sorted.erase(std::unique(sorted.begin(), sorted.end(),
                             [&](const TimedCode& a, const TimedCode& b) { return key(a) == key(b); }),
                 sorted.end());
    return sorted;
}

// An out-of-scope begin still open at the end of the data lasts to the end of the data: the card
// records the end when it happens, so none has happened yet. An end without a begin is ignored, as
// its begin has been overwritten at an unknown time.
std::vector<Interval> outOfScopePeriods(const std::vector<TimedCode>& conditions, std::int64_t dataEnd) {
    std::vector<Interval> periods;
    bool open = false;
    std::int64_t begin = 0;
    for (const auto& c : conditions) {
        if (c.code == kOutOfScopeBegin && !open) {
            open = true;
            begin = c.instant;
        }
        if (c.code == kOutOfScopeEnd && open) {
            periods.push_back({begin, c.instant});
            open = false;
        }
    }
    if (open && begin < dataEnd) periods.push_back({begin, dataEnd});
    return periods;
}

std::vector<Interval> workIntervals(const Timeline& timeline) {
    std::vector<Interval> intervals;
    for (const auto& s : timeline) {
        if (!isWorkType(s.type) || s.end <= s.start) continue;
        if (!intervals.empty() && intervals.back().end == s.start) {
            intervals.back().end = s.end;
        } else {
            intervals.push_back({s.start, s.end});
        }
    }
    return intervals;
}

std::vector<Interval> ferryInterruptions(const std::vector<TimedCode>& conditions, const std::vector<Interval>& work,
                                         const std::vector<TimedCode>& places) {
    std::vector<Interval> interruptions;
    for (const auto& c : conditions) {
        if (c.code != kFerryTrainBegin) continue;
        const auto it = std::lower_bound(work.begin(), work.end(), c.instant,
                                         [](const Interval& w, std::int64_t t) { return w.start < t; });
        if (it == work.end() || it->start > c.instant + kFerryInterruption) continue;
        if (it->end - it->start > kFerryInterruption) continue;
        const bool newWorkingDay = std::any_of(places.begin(), places.end(), [&](const TimedCode& p) {
            return isWorkDayBeginPlace(p.code) && p.instant >= c.instant - kPlaceTolerance && p.instant <= it->end;
        });
        if (!newWorkingDay) interruptions.push_back(*it);
    }
    return interruptions;
}

// Answers, for stretches visited in time order, whether one overlaps any excluded interval.
class ExclusionTest {
public:
    explicit ExclusionTest(std::vector<Interval> excluded) : excluded_(std::move(excluded)) {
        std::sort(excluded_.begin(), excluded_.end(),
                  [](const Interval& a, const Interval& b) { return a.start < b.start; });
    }

    bool overlaps(std::int64_t start, std::int64_t end) {
        while (next_ < excluded_.size() && excluded_[next_].start < end) {
            maxEnd_ = std::max(maxEnd_, excluded_[next_].end);
            seen_ = true;
            ++next_;
        }
        return seen_ && maxEnd_ > start;
    }

private:
    std::vector<Interval> excluded_;
    std::size_t next_ = 0;
    std::int64_t maxEnd_ = 0;
    bool seen_ = false;
};

std::vector<Interval> workBlocks(const Timeline& timeline, std::vector<Interval> excluded) {
    ExclusionTest exclusion(std::move(excluded));
    std::vector<Interval> blocks;
    bool open = false;
    for (const auto& s : timeline) {
        if (s.end <= s.start) continue;
        const bool work = isWorkType(s.type) && !exclusion.overlaps(s.start, s.end);
        if (!work) {
            open = false;
        } else if (open && blocks.back().end == s.start) {
            blocks.back().end = s.end;
        } else {
            blocks.push_back({s.start, s.end});
            open = true;
        }
    }
    return blocks;
}

std::vector<Interval> shiftWindows(const std::vector<Interval>& blocks) {
    std::vector<Interval> windows;
    std::size_t i = 0;
    while (i < blocks.size()) {
        const std::int64_t shiftStart = blocks[i].start;
        std::optional<std::size_t> lastNineHoursEarly, firstInLateWindow, lastEarly, firstAny;
        for (std::size_t j = i; j + 1 < blocks.size(); ++j) {
            const std::int64_t restStart = blocks[j].end;
            const std::int64_t restLength = blocks[j + 1].start - restStart;
            if (restStart > shiftStart + kLatestRestStart && firstAny) break;
            if (restLength <= kShiftEndingRest) continue;
            if (!firstAny) firstAny = j;
            if (restStart <= shiftStart + kPreferredRestStart) {
                lastEarly = j;
                if (restLength >= kReducedDailyRest) lastNineHoursEarly = j;
            } else if (restStart <= shiftStart + kLatestRestStart && !firstInLateWindow) {
                firstInLateWindow = j;
            }
        }
        const std::optional<std::size_t> chosen =
            lastNineHoursEarly ? lastNineHoursEarly
                               : (firstInLateWindow ? firstInLateWindow : (lastEarly ? lastEarly : firstAny));
        if (!chosen) {
            windows.push_back({shiftStart, blocks.back().end});
            break;
        }
        windows.push_back({shiftStart, blocks[*chosen].end});
        i = *chosen + 1;
    }
    return windows;
}

void addSeconds(CoreShift& shift, std::uint8_t type, std::int64_t seconds) {
    switch (type) {
        case 3: shift.drive += seconds; break;
        case 2: shift.work += seconds; break;
        case 1: shift.standby += seconds; break;
        case 0: shift.breakTime += seconds; break;
        default: shift.unknown += seconds; break;
    }
}

}  // namespace

std::vector<TimedCode> specificConditionCodes(const MergedCardView& view) {
    std::vector<TimedCode> codes;
    for (const auto& c : view.specificConditions) codes.push_back({c.entryTime, c.conditionType});
    return codes;
}

std::vector<TimedCode> placeCodes(const MergedCardView& view) {
    std::vector<TimedCode> codes;
    for (const auto& p : view.places) codes.push_back({p.entryTime, p.entryType});
    return codes;
}

Timeline countedStretches(const Timeline& timeline) {
    Timeline counted;
    counted.reserve(timeline.size());
    std::optional<std::int64_t> latestEnd;
    for (ActivitySegment s : timeline) {
        const bool wholeDay = s.start % kDay == 0 && s.end == s.start + kDay;
        if (s.cardAbsent && (s.type == 0 || s.type == kUnknownActivity) && wholeDay) continue;
        if (latestEnd) s.start = std::max(s.start, *latestEnd);
        if (s.end <= s.start) continue;
        latestEnd = s.end;
        counted.push_back(s);
    }
    return counted;
}

std::vector<CoreShift> buildShifts(const Timeline& timeline, const std::vector<TimedCode>& specificConditions,
                                   const std::vector<TimedCode>& places) {
    if (timeline.empty()) return {};
    const std::vector<TimedCode> conditions = normalisedConditions(specificConditions);
    const std::vector<Interval> outOfScope = outOfScopePeriods(conditions, timeline.back().end);
    std::vector<Interval> excluded = ferryInterruptions(conditions, workIntervals(timeline), places);
    excluded.insert(excluded.end(), outOfScope.begin(), outOfScope.end());
    const std::vector<Interval> windows = shiftWindows(workBlocks(timeline, std::move(excluded)));

    const Timeline counted = countedStretches(timeline);
    std::vector<CoreShift> shifts;
    shifts.reserve(windows.size());
    std::size_t first = 0;
    for (const Interval& w : windows) {
        CoreShift shift;
        shift.start = w.start;
        shift.end = w.end;
        while (first < counted.size() && counted[first].end <= w.start) ++first;
        for (std::size_t k = first; k < counted.size() && counted[k].start < w.end; ++k) {
            const std::int64_t seconds = std::min(counted[k].end, w.end) - std::max(counted[k].start, w.start);
            if (seconds <= 0) continue;
            addSeconds(shift, counted[k].type, seconds);
            ++shift.pieces;
        }
        shift.outOfScope = std::any_of(outOfScope.begin(), outOfScope.end(), [&](const Interval& p) {
            return p.start < w.end && w.start < p.end;
        });
        shifts.push_back(shift);
    }
    return shifts;
}

std::vector<ShiftRecord> joinShifts(const std::vector<CoreShift>& coreShifts, const std::vector<ShiftDetail>& details) {
    std::vector<ShiftRecord> records;
    records.reserve(coreShifts.size());
    for (std::size_t i = 0; i < coreShifts.size(); ++i) {
        records.push_back({coreShifts[i], i < details.size() ? details[i] : ShiftDetail{}});
    }
    return records;
}

}  // namespace ddd
