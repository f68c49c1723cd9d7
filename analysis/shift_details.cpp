// The detail block of each shift: day and night minutes per activity, stops, vehicles,
// distance and the rest that follows the shift.
#include <algorithm>
#include <optional>

#include "analysis/regulation_limits.h"
#include "analysis/shifts.h"

namespace ddd {
namespace {

// The daily window of the detail view, 06:00 to 22:00 UTC.
constexpr std::int64_t kDayWindowStart = 6 * 3600;
constexpr std::int64_t kDayWindowEnd = 22 * 3600;

// A rest of 24 h or more counts as weekly once this much of the weekly period has passed.
constexpr std::int64_t kWeeklyRestEarliestStart = 414721;
// Daily rest must be taken within 24 h of the previous rest's end (Art. 8(2)), within 30 h for
// multi-manning (Art. 8(5)); 3 h of availability in a shift is taken as the sign of a crew.
constexpr std::int64_t kReferencePeriodMinutes = 1440;
constexpr std::int64_t kMultiManningReferencePeriodMinutes = 1800;
constexpr std::int64_t kMultiManningAvailability = 10800;
// Regular daily rest, Art. 4(g): 11 h.
constexpr std::int64_t kRegularDailyRestMinutes = 660;
// Above this many minutes a compensated rest is a weekly rest (24 h or more).
constexpr std::int64_t kWeeklyRestMinutes = 1439;

std::int64_t floorDay(std::int64_t t) {
    std::int64_t r = t % kDay;
    if (r < 0) r += kDay;
    return t - r;
}

std::int64_t dayPartSeconds(std::int64_t start, std::int64_t end) {
    std::int64_t seconds = 0;
    for (std::int64_t day = floorDay(start); day < end; day += kDay) {
        const std::int64_t from = std::max(start, day + kDayWindowStart);
        const std::int64_t to = std::min(end, day + kDayWindowEnd);
        if (to > from) seconds += to - from;
    }
    return seconds;
}

bool isStopType(std::uint8_t type) { return type == 0 || type > 3; }

DayNightMinutes& minutesOf(ShiftDetail& detail, std::uint8_t type) {
    switch (type) {
        case 3: return detail.drive;
        case 2: return detail.work;
        case 1: return detail.standby;
        case 0: return detail.breakTime;
        default: return detail.unknown;
    }
}

// Driving seconds in any window of the timeline, by prefix sums.
class DrivingClock {
public:
    explicit DrivingClock(const Timeline& timeline) : timeline_(timeline), before_(timeline.size() + 1, 0) {
        for (std::size_t i = 0; i < timeline.size(); ++i) {
            const auto& s = timeline[i];
            before_[i + 1] = before_[i] + (s.type == 3 && s.end > s.start ? s.end - s.start : 0);
        }
    }

    std::int64_t seconds(std::int64_t from, std::int64_t to) const { return upTo(to) - upTo(from); }

private:
    std::int64_t upTo(std::int64_t t) const {
        const auto it = std::partition_point(timeline_.begin(), timeline_.end(),
                                             [&](const ActivitySegment& s) { return s.end <= t; });
        const std::size_t i = static_cast<std::size_t>(it - timeline_.begin());
        std::int64_t total = before_[i];
        if (it != timeline_.end() && it->type == 3 && it->start < t) total += t - it->start;
        return total;
    }

    const Timeline& timeline_;
    std::vector<std::int64_t> before_;
};

// The distance of a vehicle use is shared among the shifts it overlaps in proportion to their
// driving inside the use (by time when the use holds no driving), so that no kilometre of a use
// that spans several shifts is counted twice.
std::int64_t shiftDistance(const CoreShift& shift, const std::vector<CardVehicleRecord>& vehicles,
                           const DrivingClock& clock) {
    std::int64_t distance = 0;
    for (const auto& v : vehicles) {
        if (!(v.firstUse < shift.end && v.lastUse > shift.start)) continue;
        if (isEmptyOdometer(v.odometerEnd) || v.odometerEnd <= v.odometerBegin) continue;
        const std::int64_t km = static_cast<std::int64_t>(v.odometerEnd) - v.odometerBegin;
        const std::int64_t from = std::max(v.firstUse, shift.start);
        const std::int64_t to = std::min(v.lastUse, shift.end);
        std::int64_t part = clock.seconds(from, to);
        std::int64_t whole = clock.seconds(v.firstUse, v.lastUse);
        if (whole == 0) {
            part = to - from;
            whole = v.lastUse - v.firstUse;
        }
        distance += (km * part + whole / 2) / whole;
    }
    return distance;
}

std::string vehicleText(const CoreShift& shift, const std::vector<CardVehicleRecord>& vehicles) {
    std::vector<std::string> seen;
    std::string text;
    for (const auto& v : vehicles) {
        if (!(v.firstUse < shift.end && v.lastUse > shift.start) || v.registration.number.empty()) continue;
        if (std::find(seen.begin(), seen.end(), v.registration.number) != seen.end()) continue;
        if (!text.empty()) text += ", ";
        text += v.registration.number;
        seen.push_back(v.registration.number);
    }
    return text;
}

// Which shifts are followed by a weekly rest. A rest of 45 h always is; one of 24 h to 45 h only
// late enough in the weekly period, or once a later shift shows that the period has run on. A
// candidate still pending at the end of the data stays a daily rest: the week is not over.
std::vector<bool> weeklyRests(const std::vector<CoreShift>& shifts) {
    std::vector<bool> weekly(shifts.size(), false);
    if (shifts.empty()) return weekly;
    std::int64_t periodStart = shifts.front().start;
    std::optional<std::size_t> pending;
    for (std::size_t i = 0; i < shifts.size(); ++i) {
        if (pending && shifts[i].end >= periodStart + kWeeklyRestEarliestStart) {
            weekly[*pending] = true;
            periodStart = shifts[*pending + 1].start;
            pending.reset();
        }
        if (i + 1 == shifts.size()) break;
        const std::int64_t rest = shifts[i + 1].start - shifts[i].end;
        const bool lateEnough = shifts[i].end >= periodStart + kWeeklyRestEarliestStart;
        if (rest >= kRegularWeeklyRest || (rest >= kReducedWeeklyRest && lateEnough)) {
            weekly[i] = true;
            periodStart = shifts[i + 1].start;
            pending.reset();
        } else if (rest >= kReducedWeeklyRest) {
            pending = i;
        }
    }
    return weekly;
}

}  // namespace

std::vector<ShiftDetail> buildShiftDetails(const std::vector<CoreShift>& coreShifts, const Timeline& timeline,
                                           const std::vector<CardVehicleRecord>& vehicles) {
    const Timeline counted = countedStretches(timeline);
    const DrivingClock clock(timeline);
    const std::vector<bool> weekly = weeklyRests(coreShifts);
    std::vector<ShiftDetail> details;
    details.reserve(coreShifts.size());
    std::size_t first = 0;
    for (std::size_t i = 0; i < coreShifts.size(); ++i) {
        const CoreShift& shift = coreShifts[i];
        ShiftDetail detail;
        struct Seconds {
            std::int64_t day = 0;
            std::int64_t total = 0;
        };
        Seconds seconds[5];
        std::optional<std::uint8_t> previousType;
        std::int64_t pieces = 0, continuedDriving = 0, breakRun = 0, longestBreak = 0, breakRunEnd = 0;
        while (first < counted.size() && counted[first].end <= shift.start) ++first;
        for (std::size_t k = first; k < counted.size() && counted[k].start < shift.end; ++k) {
            const std::int64_t from = std::max(counted[k].start, shift.start);
            const std::int64_t to = std::min(counted[k].end, shift.end);
            if (to <= from) continue;
            const std::uint8_t type = counted[k].type;
            Seconds& s = seconds[type <= 3 ? type : 4];
            s.day += dayPartSeconds(from, to);
            s.total += to - from;
            ++pieces;
            if (isStopType(type) && !(previousType && isStopType(*previousType))) ++detail.stops;
            if (type == 3 && previousType == 3) ++continuedDriving;
            if (type == 0) {
                breakRun = breakRun > 0 && breakRunEnd == from ? breakRun + (to - from) : to - from;
                breakRunEnd = to;
                longestBreak = std::max(longestBreak, breakRun);
            } else {
                breakRun = 0;
            }
            previousType = type;
        }
        for (std::uint8_t type = 0; type <= 4; ++type) {
            DayNightMinutes& m = minutesOf(detail, type == 4 ? kUnknownActivity : type);
            m.total = seconds[type].total / 60;
            m.day = seconds[type].day / 60;
            m.night = m.total - m.day;
        }
        detail.acts = pieces - continuedDriving;
        detail.vehicle = vehicleText(shift, vehicles);
        detail.distance = shiftDistance(shift, vehicles, clock);

        const bool last = i + 1 == coreShifts.size();
        const std::int64_t restSeconds = last ? 0 : coreShifts[i + 1].start - shift.end;
        detail.rest = restSeconds / 60;
        if (restSeconds >= kRegularWeeklyRest || weekly[i]) {
            detail.restCompensated = detail.rest;
        } else {
            const std::int64_t period =
                shift.standby >= kMultiManningAvailability ? kMultiManningReferencePeriodMinutes : kReferencePeriodMinutes;
            const std::int64_t lengthMinutes = (shift.end - shift.start) / 60;
            detail.restCompensated = std::min(std::max(period - lengthMinutes, std::int64_t{0}), detail.rest);
        }
        if (detail.restCompensated < kRegularDailyRestMinutes && longestBreak >= kSplitRestFirstPart) {
            detail.restSplit = longestBreak / 60;
        }
        detail.weekly = !last && detail.restCompensated > kWeeklyRestMinutes;
        details.push_back(std::move(detail));
    }
    return details;
}

}  // namespace ddd
