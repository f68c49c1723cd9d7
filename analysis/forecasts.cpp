// Forecasts: the amounts used of each limit, measured on the timeline up to the reference instant.
#include "analysis/forecasts.h"

#include <algorithm>
#include <limits>

#include "analysis/local_time.h"

namespace ddd {
namespace {

// A driving sequence ends with a break of 45 min (Reg. 561/2006 Art. 7), a run of working time
// with one of 15 min (Dir. 2002/15/EC Art. 5): the runs must exceed these by a second's less.
constexpr std::int64_t kDrivingBreakRunBelow = 2699;
constexpr std::int64_t kWorkingBreakRunBelow = 899;
// A rest of 24 h or more is at least a reduced weekly rest (Reg. 561/2006 Art. 8(6)).
constexpr std::int64_t kWeeklyRest = 86400;

bool isDriving(std::uint8_t type) { return type == 3; }
bool isWorking(std::uint8_t type) { return type == 2 || type == 3; }

// The timeline in start order without overlap, cut off at `at`. Overlapping stretches (from
// input that is not a clean timeline) are trimmed so that no time is counted twice.
Timeline stretchesUpTo(const Timeline& timeline, std::int64_t at) {
    Timeline out = timeline;
    std::stable_sort(out.begin(), out.end(), [](const ActivitySegment& a, const ActivitySegment& b) { return a.start < b.start; });
    // Trimmed in place: the stretches kept never outnumber those read.
    std::size_t kept = 0;
    std::int64_t mark = std::numeric_limits<std::int64_t>::min();
    for (std::size_t i = 0; i < out.size(); ++i) {
        ActivitySegment s = out[i];
        s.start = std::max(s.start, mark);
        if (s.end <= s.start) continue;
        mark = s.end;
        if (s.start >= at) break;
        s.end = std::min(s.end, at);
        out[kept++] = s;
    }
    out.resize(kept);
    return out;
}

// Time of a run of activity since the last break long enough to end it: time spent in the
// counted types adds to the run, any other time adds to the break, and a break that has exceeded
// `breakRunBelow` clears the run.
template <class Counted>
std::int64_t sinceBreak(const Timeline& stretches, Counted counted, std::int64_t breakRunBelow) {
    std::int64_t run = 0;
    std::int64_t breakRun = 0;
    for (const auto& s : stretches) {
        const std::int64_t length = s.end - s.start;
        if (isWorking(s.type)) {
            breakRun = 0;
            if (counted(s.type)) run += length;
        } else {
            breakRun += length;
            if (breakRun > breakRunBelow) run = 0;
        }
    }
    return run;
}

template <class Counted>
std::int64_t timeFrom(const Timeline& stretches, Counted counted, std::int64_t from) {
    std::int64_t total = 0;
    for (const auto& s : stretches) {
        if (!counted(s.type) || s.end <= from) continue;
        total += s.end - std::max(s.start, from);
    }
    return total;
}

// The end of the last run of touching rest stretches that lasted 24 h or more; the start of the
// data when there is none.
std::int64_t lastWeeklyRestEnd(const Timeline& stretches, std::int64_t dataStart) {
    std::int64_t lastEnd = dataStart;
    bool inRun = false;
    std::int64_t runStart = 0, runEnd = 0;
    for (const auto& s : stretches) {
        if (s.type != 0) continue;
        if (inRun && s.start <= runEnd) {
            runEnd = std::max(runEnd, s.end);
            continue;
        }
        if (inRun && runEnd - runStart >= kWeeklyRest) lastEnd = runEnd;
        inRun = true;
        runStart = s.start;
        runEnd = s.end;
    }
    if (inRun && runEnd - runStart >= kWeeklyRest) lastEnd = runEnd;
    return lastEnd;
}

}  // namespace

std::vector<Forecast> computeForecasts(const Timeline& timeline, const std::vector<CoreShift>& shifts,
                                       std::int64_t at) {
    if (shifts.empty() || timeline.empty()) return {};
    const CoreShift& last = shifts.back();
    if (at < 1) at = last.end;
    const Timeline stretches = stretchesUpTo(timeline, at);
    const std::int64_t dataStart = std::min_element(timeline.begin(), timeline.end(), [](const auto& a, const auto& b) {
                                       return a.start < b.start;
                                   })->start;

    const std::int64_t monday = mondayOfWeek(localDayNumber(at));
    const std::int64_t weekStart = localMidnight(monday);
    const std::int64_t fortnightStart = localMidnight(monday - 7);
    const std::int64_t shiftLength = at - last.start;

    std::vector<Forecast> out;
    auto add = [&](std::int64_t max, std::int64_t value) { out.push_back({max, std::clamp<std::int64_t>(value, 0, max), at}); };
    add(kForecastDrivingSinceBreak, sinceBreak(stretches, isDriving, kDrivingBreakRunBelow));
    add(kForecastWorkingSinceBreak, sinceBreak(stretches, isWorking, kWorkingBreakRunBelow));
    add(kForecastShiftDriving, timeFrom(stretches, isDriving, last.start));
    add(kForecastShiftLength, shiftLength);
    if (std::any_of(shifts.begin(), shifts.end(), [](const CoreShift& s) { return s.outOfScope != 0; })) {
        add(kForecastCrewShiftLength, shiftLength);
    }
    add(kForecastWeeklyDriving, timeFrom(stretches, isDriving, weekStart));
    add(kForecastWeeklyWorkingTime, timeFrom(stretches, isWorking, weekStart));
    add(kForecastFortnightDriving, timeFrom(stretches, isDriving, fortnightStart));
    add(kForecastSinceWeeklyRest, at - lastWeeklyRestEnd(stretches, dataStart));
    return out;
}

}  // namespace ddd
