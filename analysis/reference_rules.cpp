// The reference evaluation. Values are whole minutes (seconds divided by 60, truncated) unless a
// check says otherwise; levels 4 and above are critical.
#include "analysis/regulation_limits.h"
#include "analysis/reference_rules.h"

#include <algorithm>
#include <map>
#include <optional>
#include <span>

#include "analysis/local_time.h"
#include "analysis/working_time_rules.h"

namespace ddd {
namespace {

using Stretches = std::span<const ActivitySegment>;

constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kWeekDays = 7;

// Daily driving: 10 h on an extended day (Reg. 561/2006 Art. 6(1)); a finding from 10 h 1 min.
constexpr std::int64_t kShiftDrivingFrom = 36060;
constexpr std::int64_t kShiftDrivingLimitMinutes = 600;
// Night work: working time of 10 h at most in a day with night work (Dir. 2002/15/EC Art. 7),
// where night work means more than 4 h 20 min between 01:00 and 09:00 local time.
constexpr std::int64_t kNightWorkingTimeFrom = 36060;
constexpr std::int64_t kNightWorkingTimeLimitMinutes = 600;
constexpr RuleOptions kNightWindow{0, 60, 9 * 60};
constexpr std::int64_t kNightWorkFrom = 15600;
// Driving without break: 4 h 30 min, ended by a break of 45 min or by 15 min followed by 30 min
// (Reg. 561/2006 Art. 7).
constexpr std::int64_t kDrivingWithoutBreakFrom = 16201;
constexpr std::int64_t kDrivingWithoutBreakLimitMinutes = 270;
// Working time: no more than 6 h without a break; breaks of 30 min above 6 h and 45 min above
// 9 h of working time, in parts of at least 15 min (Dir. 2002/15/EC Art. 5).
constexpr std::int64_t kWorkBlockBreak = 900;
constexpr std::int64_t kWorkBlockFrom = 21660;
constexpr std::int64_t kWorkBlockLimitMinutes = 360;
constexpr std::int64_t kBreakRequiredAbove = 21659;
constexpr std::int64_t kLongBreakFrom = 32460;
// Weekly working time: 60 h at most, 48 h on average (Dir. 2002/15/EC Art. 4(a)), averaged here
// over the week and the eleven weeks before it.
constexpr std::int64_t kWeeklyWorkingTimeFromMinutes = 3601;
constexpr std::int64_t kWeeklyWorkingTimeLimitMinutes = 3600;
constexpr std::int64_t kAverageWeeks = 12;
constexpr std::int64_t kAverageLimitMinutes = 2880;
// Daily work period: 13 h, or 15 h while reduced daily rests remain (a daily rest of 11 h, or 9 h
// reduced, within 24 h: Reg. 561/2006 Art. 8(2), 8(4)); only a shift holding 2 h 10 min of
// breaks is judged.
constexpr std::int64_t kShiftSpanLimitMinutes = 900;
constexpr std::int64_t kShiftSpanLimitNoReducedMinutes = 780;
constexpr std::int64_t kShiftSpanBreakFrom = 7800;
// Daily rest: 9 h reduced, 11 h regular, at most three reduced rests between two weekly rests;
// a regular rest may be split into 3 h and 9 h (Reg. 561/2006 Art. 4(g), 8(4)).
constexpr std::int64_t kReducedDailyRestMinutes = 540;
constexpr std::int64_t kRegularDailyRestMinutes = 660;
constexpr int kReducedRestsAllowed = 3;
// Weekly rest: 45 h regular, 24 h reduced, beginning no later than six 24-hour periods after the
// end of the previous one (Reg. 561/2006 Art. 8(6)).
constexpr std::int64_t kReducedWeeklyRestLimitMinutes = 2700;
constexpr std::int64_t kWeeklyRestLateFrom = 518401;
constexpr std::int64_t kWeeklyRestLateLimitMinutes = 8640;
// Multi-manning: a daily rest of 9 h within 30 h, so 21 h of duty (Reg. 561/2006 Art. 8(5)); the
// card's crew status or an hour of availability marks a crew shift. A crew's 9 h rest is its
// regular one, not a reduced rest.
constexpr std::int64_t kCrewShiftFrom = 75660;
constexpr std::int64_t kCrewShiftLimitMinutes = 1260;
constexpr std::int64_t kCrewAvailabilityFrom = 3600;

bool isWorking(std::uint8_t type) { return type == 2 || type == 3; }

// Stretches of a timeline in time order without overlap, whose starts and ends both ascend.
Stretches startingIn(const Timeline& t, std::int64_t from, std::int64_t to) {
    const auto first = std::partition_point(t.begin(), t.end(), [&](const ActivitySegment& s) { return s.start < from; });
    const auto last = std::partition_point(first, t.end(), [&](const ActivitySegment& s) { return s.start < to; });
    return {first, last};
}

Stretches overlapping(const Timeline& t, std::int64_t from, std::int64_t to) {
    const auto first = std::partition_point(t.begin(), t.end(), [&](const ActivitySegment& s) { return s.end <= from; });
    const auto last = std::partition_point(first, t.end(), [&](const ActivitySegment& s) { return s.start < to; });
    return {first, last};
}

// Whether the card records crew operation within each shift.
std::vector<bool> crewShifts(const std::vector<CoreShift>& shifts, std::span<const CrewStretch> crew) {
    std::vector<bool> out;
    for (const auto& shift : shifts) {
        const auto it = std::partition_point(crew.begin(), crew.end(), [&](const CrewStretch& c) { return c.end <= shift.start; });
        out.push_back(it != crew.end() && it->start < shift.end);
    }
    return out;
}

class Evaluation {
public:
    Evaluation(const std::vector<CoreShift>& shifts, const Timeline& timeline, std::span<const CrewStretch> crew)
        : shifts_(shifts), timeline_(timeline), crew_(crewShifts(shifts, crew)) {}

    std::vector<ReferenceViolation> run() {
        for (const auto& s : shifts_) shiftDriving(s);
        for (const auto& s : shifts_) nightWorkingTime(s);
        for (const auto& s : shifts_) drivingWithoutBreak(s);
        for (const auto& s : shifts_) workWithoutBreak(s);
        weeklyWorkingTime();
        shiftsAndDailyRests();
        weeklyRests();
        reducedDailyRestCount();
        for (std::size_t i = 0; i < shifts_.size(); ++i) crewShift(i);
        return std::move(out_);
    }

private:
    void add(std::uint32_t code, std::int64_t when, std::int64_t value, std::int64_t limit, std::uint32_t level) {
        out_.push_back({code, when, value, limit, level});
    }

    void shiftDriving(const CoreShift& shift) {
        if (shift.drive < kShiftDrivingFrom) return;
        const std::int64_t value = shift.drive / kMinute;
        const std::int64_t excess = value - kShiftDrivingLimitMinutes;  // level by excess / limit: 0.1, 0.2, 0.5
        const std::uint32_t level = excess <= 60 ? 3 : excess <= 120 ? 4 : excess <= 300 ? 5 : 6;
        std::int64_t when = shift.start;
        for (const auto& s : startingIn(timeline_, shift.start, shift.end)) {
            if (s.type == 3) when = s.start;
        }
        add(kRefShiftDriving, when, value, kShiftDrivingLimitMinutes, level);
    }

    // Working time of the shift inside the night windows 01:00-09:00 as the local clock showed
    // them: the hour skipped in spring holds no work, the hour repeated in autumn counts twice.
    std::int64_t nightSeconds(const CoreShift& shift) const {
        std::int64_t night = 0;
        for (const auto& s : overlapping(timeline_, shift.start, shift.end)) {
            if (!isWorking(s.type)) continue;
            const std::int64_t from = std::max(s.start, shift.start);
            const std::int64_t to = std::min(s.end, shift.end);
            if (to > from) night += nightWorkingSeconds(from, to, kNightWindow);
        }
        return night;
    }

    void nightWorkingTime(const CoreShift& shift) {
        const std::int64_t working = shift.drive + shift.work;
        if (working < kNightWorkingTimeFrom || nightSeconds(shift) < kNightWorkFrom) return;
        const std::uint32_t level = working < 39600 ? 1 : working < 46800 ? 4 : 5;
        add(kRefNightWorkingTime, shift.end, working / kMinute, kNightWorkingTimeLimitMinutes, level);
    }

    void drivingWithoutBreak(const CoreShift& shift) {
        std::int64_t driving = 0, breakSum = 0, lastDriving = shift.start;
        bool firstPart = false;
        auto test = [&] {
            if (driving < kDrivingWithoutBreakFrom) return;
            const std::uint32_t level = driving < 18000 ? 3 : driving < 21600 ? 4 : 5;
            add(kRefDrivingWithoutBreak, lastDriving, driving / kMinute, kDrivingWithoutBreakLimitMinutes, level);
        };
        for (const auto& s : startingIn(timeline_, shift.start, shift.end)) {
            const std::int64_t length = s.end - s.start;
            if (s.type != 0 && s.type != 1) {
                breakSum = 0;
                if (s.type == 3) {
                    driving += length;
                    lastDriving = s.start;
                }
                continue;
            }
            breakSum += length;
            if (breakSum >= kFullBreak || (firstPart && breakSum >= kBreakSecondPart)) {
                test();
                driving = breakSum = 0;
                firstPart = false;
            } else if (breakSum >= kBreakFirstPart) {
                firstPart = true;
            }
        }
        test();
    }

    struct WorkBlock {
        std::int64_t start = 0;
        std::int64_t end = 0;
        std::int64_t duration = 0;
        std::int64_t lastWorkStart = 0;
    };

    // Work blocks of the shift, separated by breaks of at least 15 min. A break is the whole run of
    // non-working stretches, so a break that the timeline splits at midnight counts whole and
    // its second piece starts no block.
    std::vector<WorkBlock> workBlocks(const CoreShift& shift) const {
        const Stretches stretches = overlapping(timeline_, shift.start, shift.end);
        std::vector<WorkBlock> blocks;
        bool open = false;
        std::optional<std::int64_t> previousEnd;
        auto holeBefore = [&](const ActivitySegment& s) {
            return previousEnd ? std::max<std::int64_t>(s.start - *previousEnd, 0) : 0;
        };
        for (std::size_t i = 0; i < stretches.size();) {
            const ActivitySegment& s = stretches[i];
            if (isWorking(s.type)) {
                if (open) {
                    WorkBlock& b = blocks.back();
                    b.duration += s.end - s.start + holeBefore(s);
                    b.end = s.end;
                    b.lastWorkStart = s.start;
                } else {
                    blocks.push_back({s.start, s.end, s.end - s.start, s.start});
                    open = true;
                }
                previousEnd = s.end;
                ++i;
                continue;
            }
            std::int64_t breakLength = 0, holes = 0;
            for (; i < stretches.size() && !isWorking(stretches[i].type); ++i) {
                breakLength += stretches[i].end - stretches[i].start;
                holes += holeBefore(stretches[i]);
                previousEnd = stretches[i].end;
            }
            if (breakLength >= kWorkBlockBreak) {
                open = false;
            } else if (open) {
                blocks.back().duration += holes;
            }
        }
        return blocks;
    }

    void workWithoutBreak(const CoreShift& shift) {
        const std::vector<WorkBlock> blocks = workBlocks(shift);
        for (const auto& b : blocks) {
            if (b.duration >= kWorkBlockFrom) add(kRefWorkWithoutBreak, b.lastWorkStart, b.duration / kMinute, kWorkBlockLimitMinutes, 1);
        }
        const std::int64_t working = shift.drive + shift.work;
        if (blocks.size() != 2 || working <= kBreakRequiredAbove || blocks[1].duration >= kWorkBlockFrom) return;
        const std::int64_t gap = blocks[1].start - blocks[0].end;
        const std::int64_t required = working < kLongBreakFrom ? 30 : 45;
        const std::int64_t value = gap / kMinute;
        if (gap < -59 || value >= required) return;
        const std::int64_t shortfall = required - value;  // level by shortfall / required: 0.3, 0.5
        const std::uint32_t level = 10 * shortfall <= 3 * required ? 1 : 2 * shortfall <= required ? 4 : 5;
        add(required == 30 ? kRefBreakUnder30 : kRefBreakUnder45, blocks[1].lastWorkStart, value, required, level);
    }

    struct Week {
        std::int64_t seconds = 0;
        std::int64_t latest = 0;
    };

    // Each working stretch belongs wholly to the local week (Monday first) of its start.
    std::map<std::int64_t, Week> workingWeeks() const {
        std::map<std::int64_t, Week> weeks;
        for (const auto& s : timeline_) {
            if (!isWorking(s.type) || s.end <= s.start) continue;
            Week& w = weeks[mondayOfWeek(localDayNumber(s.start))];
            w.seconds += s.end - s.start;
            w.latest = std::max(w.latest, s.start);
        }
        return weeks;
    }

    void weeklyWorkingTime() {
        const std::map<std::int64_t, Week> weeks = workingWeeks();
        for (const auto& [monday, week] : weeks) {
            // Whole minutes, half a minute rounded to the even minute.
            const std::int64_t whole = week.seconds / kMinute, part = week.seconds % kMinute;
            const std::int64_t minutes = whole + (part > 30 || (part == 30 && whole % 2 == 1) ? 1 : 0);
            if (minutes < kWeeklyWorkingTimeFromMinutes) continue;
            // level: integer part of (minutes / 3600 - 1) * 40
            const auto level = static_cast<std::uint32_t>(std::min<std::int64_t>(5, (minutes - 3600) / 90));
            add(kRefWeeklyWorkingTime, week.latest, minutes, kWeeklyWorkingTimeLimitMinutes, level);
        }
        for (const auto& [monday, week] : weeks) {
            std::int64_t seconds = 0;
            for (auto it = weeks.lower_bound(monday - (kAverageWeeks - 1) * kWeekDays); it != weeks.end() && it->first <= monday; ++it) {
                seconds += it->second.seconds;
            }
            // Minutes per week, rounded half away from zero.
            const std::int64_t divisor = kAverageWeeks * kMinute;
            const std::int64_t average = (seconds + divisor / 2) / divisor;
            if (average <= kAverageLimitMinutes) continue;
            // level: integer part of (average / 2880 - 1) * 40
            const auto level = static_cast<std::uint32_t>(std::min<std::int64_t>(5, (average - 2880) / 72));
            add(kRefAverageWeeklyWorkingTime, week.latest, average, kAverageLimitMinutes, level);
        }
    }

    std::int64_t restAfter(std::size_t i) const { return shifts_[i + 1].start - shifts_[i].end; }

    // The rest after shift i completes a split regular daily rest: at least 9 h, after a shift that
    // holds an uninterrupted rest of at least 3 h.
    bool completesSplitRest(std::size_t i) const {
        if (restAfter(i) < kSplitRestSecondPart) return false;
        const CoreShift& shift = shifts_[i];
        std::int64_t run = 0, runEnd = 0;
        for (const auto& s : overlapping(timeline_, shift.start, shift.end)) {
            if (s.type != 0) {
                run = 0;
                continue;
            }
            const std::int64_t from = std::max(s.start, shift.start);
            const std::int64_t to = std::min(s.end, shift.end);
            run = run > 0 && runEnd == from ? run + (to - from) : to - from;
            runEnd = to;
            if (run >= kSplitRestFirstPart) return true;
        }
        return false;
    }

    bool isReducedDailyRest(std::size_t i) const {
        if (crew_[i]) return restAfter(i) < kSplitRestSecondPart;
        return restAfter(i) < kRegularDailyRest && !completesSplitRest(i);
    }

    std::int64_t startOfStretchEndingAt(std::int64_t t) const {
        const auto it = std::partition_point(timeline_.begin(), timeline_.end(),
                                             [&](const ActivitySegment& s) { return s.end < t; });
        return it != timeline_.end() && it->end == t ? it->start : t;
    }

    void shiftsAndDailyRests() {
        int reduced = 0;
        for (std::size_t i = 0; i + 1 < shifts_.size(); ++i) {
            const CoreShift& shift = shifts_[i];
            // A crew's rest is due within 30 h: its span is judged by the crew check alone, and
            // its 9 h rest is the regular one.
            const bool reducedLeft = crew_[i] || reduced < kReducedRestsAllowed;
            const std::int64_t span = (shift.end - shift.start) / kMinute;
            const std::int64_t spanLimit = reducedLeft ? kShiftSpanLimitMinutes : kShiftSpanLimitNoReducedMinutes;
            if (!crew_[i] && span > spanLimit && shift.outOfScope == 0 && shift.breakTime >= kShiftSpanBreakFrom) {
                const std::int64_t excess = span - spanLimit;
                const std::uint32_t level = excess <= 60 ? 3 : excess < (reducedLeft ? 121 : 151) ? 4 : 5;
                add(kRefShiftTooLong, startOfStretchEndingAt(shift.end), span, spanLimit, level);
            }
            const std::int64_t restSeconds = restAfter(i);
            const bool split = completesSplitRest(i);
            const std::int64_t rest = restSeconds / kMinute;
            const std::int64_t restLimit = reducedLeft ? kReducedDailyRestMinutes : kRegularDailyRestMinutes;
            if (rest < restLimit && !split) {
                const std::uint32_t level = rest > (reducedLeft ? 479 : 599) ? 3 : rest > (reducedLeft ? 419 : 509) ? 4 : 5;
                add(kRefDailyRestTooShort, shift.end, rest, restLimit, level);
            }
            if (restSeconds >= kReducedWeeklyRest) {
                reduced = 0;
            } else if (isReducedDailyRest(i)) {
                ++reduced;
            }
        }
    }

    struct Rest {
        std::size_t shift = 0;  // the shift before the rest
        std::int64_t start = 0;
        std::int64_t end = 0;
        std::int64_t length() const { return end - start; }
    };

    // Rests between shifts long enough to be weekly rests, grouped by the local week of their start.
    void collectWeeklyRests() {
        followedByWeeklyRest_.assign(shifts_.size(), false);
        for (std::size_t i = 0; i + 1 < shifts_.size(); ++i) {
            if (restAfter(i) < kReducedWeeklyRest) continue;
            const Rest rest{i, shifts_[i].end, shifts_[i + 1].start};
            longRests_.push_back(rest);
            restsByWeek_[mondayOfWeek(localDayNumber(rest.start))].push_back(rest);
            if (rest.length() >= kRegularWeeklyRest) followedByWeeklyRest_[i] = true;
        }
        for (const auto& [monday, rests] : restsByWeek_) {
            const auto longest = std::max_element(rests.begin(), rests.end(),
                                                  [](const Rest& a, const Rest& b) { return a.length() < b.length(); });
            followedByWeeklyRest_[longest->shift] = true;
        }
    }

    // The instant a reduced weekly rest is dated by: the start of the trailing stretches with the
    // card inserted, when they begin inside the rest; else the rest's end.
    std::int64_t reducedWeeklyRestWhen(const Rest& rest) const {
        const Stretches stretches = overlapping(timeline_, rest.start, rest.end);
        if (stretches.empty() || stretches.back().cardAbsent) return rest.end;
        std::size_t first = stretches.size() - 1;
        while (first > 0 && !stretches[first - 1].cardAbsent) --first;
        return stretches[first].start > rest.start ? stretches[first].start : rest.end;
    }

    void weeklyRests() {
        collectWeeklyRests();
        auto holdsRegular = [](const std::vector<Rest>& rests) {
            return std::any_of(rests.begin(), rests.end(), [](const Rest& r) { return r.length() >= kRegularWeeklyRest; });
        };
        for (auto it = restsByWeek_.begin(); it != restsByWeek_.end(); ++it) {
            if (it == restsByWeek_.begin()) continue;
            const auto previous = std::prev(it);
            if (previous->first != it->first - kWeekDays || holdsRegular(it->second) || holdsRegular(previous->second)) continue;
            const Rest& rest = it->second.back();
            const std::int64_t length = rest.length();
            const std::uint32_t level = length >= 151200 ? 3 : length > 125999 ? 4 : 5;
            add(kRefConsecutiveReducedWeeklyRest, reducedWeeklyRestWhen(rest), length / kMinute,
                kReducedWeeklyRestLimitMinutes, level);
        }
        for (std::size_t k = 1; k < longRests_.size(); ++k) {
            const std::int64_t gap = longRests_[k].start - longRests_[k - 1].end;
            if (gap < kWeeklyRestLateFrom) continue;
            const std::uint32_t level = gap < 529260 ? 3 : gap < 560460 ? 4 : 5;
            add(kRefWeeklyRestLate, longRests_[k].start, gap / kMinute, kWeeklyRestLateLimitMinutes, level);
        }
    }

    // The rest after the last shift is not known yet, so the last shift takes no part.
    void reducedDailyRestCount() {
        int count = 0;
        for (std::size_t i = 0; i + 1 < shifts_.size(); ++i) {
            if (followedByWeeklyRest_[i]) {
                count = 0;
                continue;
            }
            if (!isReducedDailyRest(i)) continue;
            ++count;
            if (count > kReducedRestsAllowed) {
                add(kRefReducedDailyRestCount, shifts_[i].end, count, kReducedRestsAllowed, 1);
            }
        }
    }

    void crewShift(std::size_t i) {
        const CoreShift& shift = shifts_[i];
        const std::int64_t span = shift.end - shift.start;
        if (span < kCrewShiftFrom || (shift.standby < kCrewAvailabilityFrom && !crew_[i])) return;
        add(kRefCrewShiftTooLong, shift.end, span / kMinute, kCrewShiftLimitMinutes, 3);
    }

    const std::vector<CoreShift>& shifts_;
    const Timeline& timeline_;
    const std::vector<bool> crew_;
    std::vector<ReferenceViolation> out_;
    std::vector<Rest> longRests_;
    std::map<std::int64_t, std::vector<Rest>> restsByWeek_;
    std::vector<bool> followedByWeeklyRest_;
};

}  // namespace

std::vector<ReferenceViolation> evaluateReferenceRules(const std::vector<CoreShift>& shifts, const Timeline& timeline,
                                                       std::span<const CrewStretch> crew) {
    return Evaluation(shifts, timeline, crew).run();
}

std::string_view referenceRuleText(std::uint32_t code) {
    switch (code) {
        case kRefShiftDriving: return "Lenkzeit der Schicht über 10 Stunden";
        case kRefNightWorkingTime: return "Arbeitszeit über 10 Stunden bei Nachtarbeit";
        case kRefDrivingWithoutBreak: return "Lenkzeit über 4:30 Stunden ohne ausreichende Fahrtunterbrechung";
        case kRefWorkWithoutBreak: return "Mehr als 6 Stunden Arbeit ohne Pause von 15 Minuten";
        case kRefBreakUnder45: return "Pause unter 45 Minuten bei mehr als 9 Stunden Arbeitszeit";
        case kRefBreakUnder30: return "Pause unter 30 Minuten bei mehr als 6 Stunden Arbeitszeit";
        case kRefWeeklyWorkingTime: return "Wöchentliche Arbeitszeit über 60 Stunden";
        case kRefAverageWeeklyWorkingTime: return "Durchschnittliche wöchentliche Arbeitszeit über 48 Stunden";
        case kRefShiftTooLong: return "Schicht zu lang (über 15 bzw. 13 Stunden)";
        case kRefDailyRestTooShort: return "Ruhezeit zwischen zwei Schichten zu kurz (unter 9 bzw. 11 Stunden)";
        case kRefConsecutiveReducedWeeklyRest: return "Zweite Woche in Folge nur mit reduzierter wöchentlicher Ruhezeit";
        case kRefWeeklyRestLate: return "Wöchentliche Ruhezeit mehr als 144 Stunden nach der vorigen begonnen";
        case kRefReducedDailyRestCount: return "Mehr als drei reduzierte tägliche Ruhezeiten zwischen zwei wöchentlichen Ruhezeiten";
        case kRefCrewShiftTooLong: return "Schicht über 21 Stunden im Mehrfahrerbetrieb";
        default: return "Unbekannte Prüfung";
    }
}

}  // namespace ddd
