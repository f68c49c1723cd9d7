// The reference evaluation: every check at its limits and levels, the mended faults, and the
// order and figures of the findings against a minute-by-minute count on generated histories.
#include <gtest/gtest.h>

#include <map>

#include "analysis/reference_rules.h"
#include "analysis/timeline.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;
using gen::utcTime;

struct Ref {
    std::int64_t when, value, limit;
    std::uint32_t level;
    bool operator==(const Ref&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Ref& f) {
    return out << "{when " << f.when << ", value " << f.value << ", limit " << f.limit << ", level " << f.level << "}";
}

std::vector<Ref> only(std::uint32_t code, const std::vector<ReferenceViolation>& all) {
    std::vector<Ref> out;
    for (const auto& v : all) {
        if (v.code == code) out.push_back({v.when, v.value, v.limit, v.level});
    }
    return out;
}

// The findings of a timeline cut into shifts as the analysis cuts it.
std::vector<ReferenceViolation> evaluated(const Timeline& t) { return evaluateReferenceRules(buildShifts(t, {}, {}), t); }

// The same for the card download written from a generated history.
std::vector<ReferenceViolation> evaluated(const gen::Timeline& history) {
    const DriverCardFile file = downloadOf(history);
    const DriverCardFile* files[] = {&file};
    return evaluated(buildTimeline(mergeDownloads(files)));
}

const std::int64_t S = utcTime(2024, 1, 9, "06:00");  // a Tuesday in winter time

struct Case { const char* name; std::uint32_t code; Timeline timeline; std::vector<Ref> expected; };

void expectRefs(const std::vector<Case>& cases) {
    for (const auto& c : cases) EXPECT_EQ(only(c.code, evaluated(c.timeline)), c.expected) << c.name;
}

TEST(Reference, DrivingAndNightWorkingTimeOfAShift) {
    const Timeline ten = timeline(S, "drive 4:00 break 0:45 drive 4:00 break 0:45 drive 2:00 rest 11:00");
    const std::int64_t last = S + 9 * h + 30 * m;
    const auto longer = [&](std::int64_t seconds) { return lengthened(ten, 4, seconds); };
    // Work from 03:40 UTC: 04:40 German winter time, 4 h 20 min before 09:00; 05:40 in summer.
    const std::int64_t winter = utcTime(2024, 1, 9, "03:40"), end = winter + 11 * h + 31 * m;
    const char* night = "work 4:20 break 0:45 drive 4:00 break 0:45 drive 1:41 rest 11:00";
    const auto nightLonger = [&](std::int64_t seconds) { return lengthened(timeline(winter, night), 4, seconds); };
    const std::int64_t autumn = utcTime(2024, 10, 26, "23:00");
    expectRefs({
        {"exactly 10 h", kRefShiftDriving, ten, {}},
        {"10 h 59 s", kRefShiftDriving, longer(59), {}},
        {"10 h 1 min", kRefShiftDriving, longer(60), {{last, 601, 600, 3}}},
        {"11 h: an excess of a tenth", kRefShiftDriving, longer(60 * m), {{last, 660, 600, 3}}},
        {"11 h 1 min", kRefShiftDriving, longer(61 * m), {{last, 661, 600, 4}}},
        {"12 h 1 min", kRefShiftDriving, longer(121 * m), {{last, 721, 600, 5}}},
        {"15 h 1 min", kRefShiftDriving, longer(301 * m), {{last, 901, 600, 6}}},
        {"4 h 20 of night work and 10 h 1 min", kRefNightWorkingTime, timeline(winter, night), {{end, 601, 600, 1}}},
        {"10 h of working time", kRefNightWorkingTime, nightLonger(-60), {}},
        {"4 h 19 of night work", kRefNightWorkingTime, timeline(winter + m, night), {}},
        {"summer time holds only 3 h 20 of night", kRefNightWorkingTime, timeline(utcTime(2024, 6, 11, "03:40"), night), {}},
        {"10 h 59 min of working time", kRefNightWorkingTime, nightLonger(58 * m), {{end + 58 * m, 659, 600, 1}}},
        {"11 h of working time", kRefNightWorkingTime, nightLonger(59 * m), {{end + 59 * m, 660, 600, 4}}},
        // Night hours as lived: 01:00-02:00 and 03:00-06:01 on the night the clock springs forward.
        {"spring change: 4 h 01 of night", kRefNightWorkingTime,
         timeline(utcTime(2024, 3, 30, "23:00"), "drive 3:01 break 2:59 work 2:00 break 0:45 drive 4:00 break 0:45 drive 1:00 rest 11:00"), {}},
        // 01:00-03:00 summer time, then 02:00-04:20 winter time on the night the clock falls back.
        {"autumn change: 4 h 20 of night", kRefNightWorkingTime,
         timeline(autumn, "work 4:20 break 4:40 drive 4:00 break 0:45 drive 1:41 rest 11:00"), {{autumn + 15 * h + 26 * m, 601, 600, 1}}},
    });
}

TEST(Reference, BreaksFromDrivingAndFromWork) {
    const auto at = [](const char* blocks) { return timeline(S, blocks); };
    const std::int64_t second = S + 4 * h;  // the second block of work
    expectRefs({
        {"4 h 30 min", kRefDrivingWithoutBreak, at("drive 4:30 rest 11:00"), {}},
        {"4 h 31 min", kRefDrivingWithoutBreak, at("drive 4:31 rest 11:00"), {{S, 271, 270, 3}}},
        {"a 45-minute break ends the sequence", kRefDrivingWithoutBreak, at("drive 3:00 break 0:45 drive 3:00 rest 11:00"), {}},
        {"a 44-minute break does not", kRefDrivingWithoutBreak, at("drive 3:00 break 0:44 drive 3:00 rest 11:00"), {{S + 3 * h + 44 * m, 360, 270, 5}}},
        {"15 then 30 minutes end it", kRefDrivingWithoutBreak, at("drive 2:00 break 0:15 drive 2:00 break 0:30 drive 2:00 rest 11:00"), {}},
        {"30 then 15 minutes do not", kRefDrivingWithoutBreak, at("drive 2:00 break 0:30 drive 2:00 break 0:15 drive 2:00 rest 11:00"),
         {{S + 4 * h + 45 * m, 360, 270, 5}}},
        {"14 then 30 minutes do not", kRefDrivingWithoutBreak, at("drive 2:00 break 0:14 drive 2:00 break 0:30 drive 0:31 rest 11:00"),
         {{S + 4 * h + 44 * m, 271, 270, 3}}},
        {"unknown activity is no break", kRefDrivingWithoutBreak, at("drive 3:00 unknown 0:45 drive 3:00 rest 11:00"), {{S + 3 * h + 45 * m, 360, 270, 5}}},
        {"work interrupts a break", kRefDrivingWithoutBreak, at("drive 3:00 break 0:30 work 0:05 break 0:15 drive 2:00 rest 11:00"),
         {{S + 3 * h + 50 * m, 300, 270, 4}}},
        {"one finding per sequence, dated by its last driving", kRefDrivingWithoutBreak, at("drive 4:40 break 0:45 drive 2:00 work 0:30 drive 2:40 rest 11:00"),
         {{S, 280, 270, 3}, {S + 7 * h + 55 * m, 280, 270, 3}}},
        {"6 h of work", kRefWorkWithoutBreak, at("work 2:00 drive 4:00 rest 11:00"), {}},
        {"6 h 1 min of work", kRefWorkWithoutBreak, at("work 2:00 drive 4:01 rest 11:00"), {{S + 2 * h, 361, 360, 1}}},
        {"a 15-minute break splits the block", kRefWorkWithoutBreak, at("work 3:00 break 0:15 work 3:01 rest 11:00"), {}},
        {"each long block is a finding", kRefWorkWithoutBreak, at("work 6:01 break 0:30 work 6:30 rest 11:00"), {{S, 361, 360, 1}, {S + 6 * h + 31 * m, 390, 360, 1}}},
        {"6 h of work need 30 min", kRefBreakUnder30, at("work 4:00 break 0:29 work 2:01 rest 11:00"), {{second + 29 * m, 29, 30, 1}}},
        {"30 min are enough", kRefBreakUnder30, at("work 4:00 break 0:30 work 2:01 rest 11:00"), {}},
        {"9 h of work need 30 min", kRefBreakUnder45, at("work 5:00 break 0:44 work 4:00 rest 11:00"), {}},
        {"9 h 1 min need 45 min", kRefBreakUnder45, at("work 5:00 break 0:44 work 4:01 rest 11:00"), {{second + h + 44 * m, 44, 45, 1}}},
        {"a shortfall of 13 min of 45 is minor", kRefBreakUnder45, at("work 5:00 break 0:32 work 4:01 rest 11:00"), {{second + h + 32 * m, 32, 45, 1}}},
        {"a shortfall of 14 min is level 4", kRefBreakUnder45, at("work 5:00 break 0:31 work 4:01 rest 11:00"), {{second + h + 31 * m, 31, 45, 4}}},
        {"a shortfall of 23 min is level 5", kRefBreakUnder45, at("work 5:00 break 0:22 work 4:01 rest 11:00"), {{second + h + 22 * m, 22, 45, 5}}},
        {"three blocks are not judged", kRefBreakUnder45, at("work 4:00 break 0:20 work 3:00 break 0:20 work 3:00 rest 11:00"), {}},
        {"nor a second block of over 6 h", kRefBreakUnder45, at("work 3:00 break 0:20 work 6:01 rest 11:00"), {}},
    });
    // Mended: a break across midnight UTC is two stretches in the timeline; it still counts whole.
    const std::int64_t evening = utcTime(2024, 1, 9, "18:00");
    EXPECT_EQ(only(kRefWorkWithoutBreak, evaluated(gen::Timeline(evening).add("work 5:50 break 0:20 work 3:00 rest 11:00"))), std::vector<Ref>{})
        << "a 20-minute break in two 10-minute pieces splits the 8 h 50 of work";
    const auto fifty = evaluated(gen::Timeline(evening).add("work 5:20 break 0:50 work 4:01 rest 11:00"));
    EXPECT_EQ(only(kRefBreakUnder45, fifty), std::vector<Ref>{}) << "the break is 50 min, not the 40 before midnight";
    EXPECT_EQ(only(kRefBreakUnder30, fifty), std::vector<Ref>{});
}

// Weeks of working time, one stretch per week starting Monday 08:00 UTC.
Timeline workingWeeks(std::int64_t firstMonday, const std::vector<std::int64_t>& seconds) {
    Timeline t;
    std::int64_t cursor = firstMonday;
    for (std::size_t w = 0; w < seconds.size(); ++w) {
        const std::int64_t start = firstMonday + static_cast<std::int64_t>(w) * 7 * kDay + 8 * h;
        t.push_back({cursor, start, 0, 0});
        t.push_back({start, start + seconds[w], 2, 0});
        cursor = start + seconds[w];
    }
    return t;
}

TEST(Reference, WeeklyWorkingTimeAndItsTwelveWeekAverage) {
    const std::int64_t monday = utcDay(2024, 1, 8), start = monday + 8 * h, last = monday + 11 * 7 * kDay + 8 * h;
    const auto weeks = [&](std::size_t n, std::int64_t each, std::int64_t extraInFirst = 0) {
        std::vector<std::int64_t> s(n, each);
        s.front() += extraInFirst;
        return workingWeeks(monday, s);
    };
    // Work starting Sunday 23:30 UTC lies in the next local week (Monday 01:30 summer time).
    const std::int64_t sunday = utcTime(2024, 6, 9, "23:30");
    const Timeline twoWeeks = {{sunday - 40 * h, sunday - 10 * h, 2, 0}, {sunday - 10 * h, sunday, 0, 0}, {sunday, sunday + 31 * h, 2, 0}};
    const Timeline sameWeek = {{sunday - 40 * h, sunday - 10 * h, 2, 0}, {sunday - 10 * h, sunday - 3 * h, 0, 0}, {sunday - 3 * h, sunday + 28 * h, 2, 0}};
    const std::vector<Case> cases = {
        {"60 h", kRefWeeklyWorkingTime, weeks(1, 60 * h), {}},
        {"60 h and 30 s round to the even minute", kRefWeeklyWorkingTime, weeks(1, 60 * h + 30), {}},
        {"60 h and 31 s round up", kRefWeeklyWorkingTime, weeks(1, 60 * h + 31), {{start, 3601, 3600, 0}}},
        {"60 h 1 min and 30 s round to the even minute", kRefWeeklyWorkingTime, weeks(1, 60 * h + 90), {{start, 3602, 3600, 0}}},
        {"61 h 30 min is level 1", kRefWeeklyWorkingTime, weeks(1, 61 * h + 30 * m), {{start, 3690, 3600, 1}}},
        {"30 h and 31 h in two local weeks", kRefWeeklyWorkingTime, twoWeeks, {}},
        {"a stretch belongs wholly to the week of its start", kRefWeeklyWorkingTime, sameWeek, {{sunday - 3 * h, 3660, 3600, 0}}},
        {"twelve weeks of 48 h", kRefAverageWeeklyWorkingTime, weeks(12, 48 * h), {}},
        {"6 min more round up", kRefAverageWeeklyWorkingTime, weeks(12, 48 * h, 6 * m), {{last, 2881, 2880, 0}}},
        {"twelve weeks of 50 h", kRefAverageWeeklyWorkingTime, weeks(12, 50 * h), {{last, 3000, 2880, 1}}},
    };
    for (const auto& c : cases) EXPECT_EQ(only(c.code, evaluateReferenceRules({}, c.timeline)), c.expected) << c.name;
}

// Shifts of the given spans back to back with the rests, each with the given availability and
// break time.
std::vector<CoreShift> shiftsWithRests(const std::vector<std::int64_t>& spans, const std::vector<std::int64_t>& rests,
                                       std::int64_t standby = 0, std::int64_t breakTime = 0) {
    std::vector<CoreShift> out;
    std::int64_t start = S;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        out.push_back(CoreShift{start, start + spans[i], 0, 0, standby, breakTime, 0, 0, 0});
        if (i < rests.size()) start = out.back().end + rests[i];
    }
    return out;
}

// Value, limit and level of each finding of one code on shifts alone.
using Figures = std::vector<std::tuple<std::int64_t, std::int64_t, std::uint32_t>>;

Figures figures(std::uint32_t code, const std::vector<CoreShift>& shifts, const std::vector<CrewStretch>& crew = {}) {
    Figures out;
    for (const auto& f : only(code, evaluateReferenceRules(shifts, {}, crew))) out.emplace_back(f.value, f.limit, f.level);
    return out;
}

TEST(Reference, DailyRestsAndShiftLengths) {
    const std::int64_t r9 = 9 * h, breaks = 2 * h + 10 * m;
    const auto rested = [](std::vector<std::int64_t> rests) { return shiftsWithRests(std::vector<std::int64_t>(rests.size() + 1, 8 * h), rests); };
    const auto spans = [&](std::vector<std::int64_t> s, std::int64_t breakTime = 2 * h + 10 * m) {
        const std::vector<std::int64_t> rests = s.size() == 2 ? std::vector<std::int64_t>{11 * h} : std::vector<std::int64_t>{r9, r9, r9, 11 * h};
        return shiftsWithRests(s, rests, 0, breakTime);
    };
    auto outOfScope = spans({15 * h + m, h});
    outOfScope[0].outOfScope = 1;
    struct Row { const char* name; std::uint32_t code; std::vector<CoreShift> shifts; Figures expected; };
    const Row rows[] = {
        {"9 h", kRefDailyRestTooShort, rested({r9}), {}},
        {"8 h 59 min", kRefDailyRestTooShort, rested({r9 - m}), {{539, 540, 3}}},
        {"7 h 59 min", kRefDailyRestTooShort, rested({8 * h - m}), {{479, 540, 4}}},
        {"6 h 59 min", kRefDailyRestTooShort, rested({7 * h - m}), {{419, 540, 5}}},
        {"after three reduced rests 11 h are due", kRefDailyRestTooShort, rested({r9, r9, r9, 11 * h - m}), {{659, 660, 3}}},
        {"and 11 h are enough", kRefDailyRestTooShort, rested({r9, r9, r9, 11 * h}), {}},
        {"after three reduced rests 9 h 59 min is level 4", kRefDailyRestTooShort, rested({r9, r9, r9, 10 * h - m}), {{599, 660, 4}}},
        {"a rest of 24 h resets the count", kRefDailyRestTooShort, rested({r9, r9, r9, 24 * h, r9}), {}},
        {"a rest of 23 h 59 min does not", kRefDailyRestTooShort, rested({r9, r9, r9, 24 * h - m, r9}), {{540, 660, 4}}},
        {"15 h", kRefShiftTooLong, spans({15 * h, h}), {}},
        {"15 h 1 min", kRefShiftTooLong, spans({15 * h + m, h}), {{901, 900, 3}}},
        {"with 2 h 9 min of breaks it is not judged", kRefShiftTooLong, spans({15 * h + m, h}, breaks - m), {}},
        {"an out-of-scope shift is not judged", kRefShiftTooLong, outOfScope, {}},
        {"the last shift is not judged", kRefShiftTooLong, spans({h, 16 * h}), {}},
        {"16 h 1 min is level 4", kRefShiftTooLong, spans({16 * h + m, h}), {{961, 900, 4}}},
        {"after three reduced rests 13 h 1 min", kRefShiftTooLong, spans({h, h, h, 13 * h + m, h}), {{781, 780, 3}}},
        {"a crew shift of 21 h", kRefCrewShiftTooLong, shiftsWithRests({21 * h}, {}, 10 * h), {}},
        {"a crew shift of 21 h 1 min", kRefCrewShiftTooLong, shiftsWithRests({21 * h + m}, {}, 10 * h), {{1261, 1260, 3}}},
        {"with exactly 1 h of availability", kRefCrewShiftTooLong, shiftsWithRests({22 * h}, {}, h), {{1320, 1260, 3}}},
    };
    for (const auto& r : rows) EXPECT_EQ(figures(r.code, r.shifts), r.expected) << r.name;
    // Dated by the start of the stretch that ends the shift.
    const Timeline t = timeline(S, "drive 4:00 break 1:05 drive 4:00 break 1:05 drive 4:00 work 0:51 rest 11:00 drive 1:00");
    EXPECT_EQ(only(kRefShiftTooLong, evaluated(t)), (std::vector<Ref>{{S + 14 * h + 10 * m, 901, 900, 3}}));
}

TEST(Reference, ReducedRestsAreCountedBetweenWeeklyRests) {
    const std::int64_t r = 9 * h, w = 45 * h;
    struct Row { const char* name; std::vector<std::int64_t> rests; Figures counts; };
    const Row rows[] = {
        {"three, and the unknown rest after the last shift is not counted", {r, r, r}, {}},
        {"four", {r, r, r, r}, {{4, 3, 1}}},
        {"a weekly rest starts the count anew", {r, r, r, w, r, r, r, r}, {{4, 3, 1}}},
        {"the longest rest of 24 h or more in a week counts as weekly", {r, r, r, 30 * h, r, r, r}, {}},
    };
    for (const auto& c : rows) {
        EXPECT_EQ(figures(kRefReducedDailyRestCount, shiftsWithRests(std::vector<std::int64_t>(c.rests.size() + 1, 8 * h), c.rests)), c.counts) << c.name;
    }
    // Mended: the count is written with the finding (4 for the fourth, 5 for the fifth), against 3.
    gen::Timeline history(utcTime(2024, 1, 8, "06:00"));
    history.add("drive 4:00 break 0:45 drive 4:00");
    for (int day = 0; day < 5; ++day) history.add("rest 9:30 drive 4:00 break 0:45 drive 4:00");
    const auto counted = only(kRefReducedDailyRestCount, evaluated(history.add("rest 48:00 drive 2:00 rest 12:00")));
    ASSERT_EQ(counted.size(), 2u);
    EXPECT_EQ(std::pair(counted[0].value, counted[1].value), std::pair(std::int64_t{4}, std::int64_t{5}));
    // Mended: a regular daily rest in two parts, 3 h in the shift and 9 h after it, is no reduced
    // rest and no rest too short.
    struct Split { const char* shift; std::size_t findings; };
    for (const auto& c : {Split{"drive 4:00 rest 3:00 drive 4:00", 0}, Split{"drive 4:00 rest 2:59 drive 4:00", 2},
                          Split{"drive 4:00 rest 1:30 work 0:01 rest 1:30 drive 4:00", 2}}) {
        gen::Timeline split(utcTime(2024, 1, 8, "06:00"));
        split.add(c.shift);
        for (int day = 0; day < 5; ++day) split.add("rest 9:00").add(c.shift);
        const auto all = evaluated(split.add("rest 12:00"));
        EXPECT_EQ(only(kRefReducedDailyRestCount, all).size(), c.findings) << c.shift;
        EXPECT_EQ(only(kRefDailyRestTooShort, all).size(), c.findings) << c.shift;
    }
}

TEST(Reference, WeeklyRestLate) {
    struct Late { std::int64_t between, value; std::uint32_t level; };
    for (const auto& c : {Late{144 * h, 0, 0}, Late{144 * h + 1, 8640, 3}, Late{147 * h, 8820, 3}, Late{147 * h + m, 8821, 4}, Late{155 * h + 41 * m, 9341, 5}}) {
        const auto shifts = shiftsWithRests({h, c.between, h}, {24 * h, 24 * h});
        EXPECT_EQ(only(kRefWeeklyRestLate, evaluateReferenceRules(shifts, {})),
                  (c.value ? std::vector<Ref>{{shifts[1].end, c.value, 8640, c.level}} : std::vector<Ref>{})) << c.between;
    }
}

// Monday of the German local week of `t`, as a local date number, by walking back day by day.
std::int64_t localMonday(std::int64_t t) {
    const CivilTime c = toCivilTime(t);
    std::int64_t day = daysFromCivil(c.year, c.month, c.day);
    while (((day % 7) + 10) % 7 != 0) --day;
    return day;
}

// Findings come check by check in a fixed order, not shift by shift; driving per shift and
// working time per local week are counted here minute by minute.
TEST(Reference, OrderAndFiguresAgreeWithAMinuteByMinuteCountOnGeneratedHistories) {
    const std::map<std::uint32_t, int> rank = {{200801, 0}, {201701, 1}, {200807, 2}, {200809, 3}, {200810, 3}, {200811, 3}, {200804, 4},
                                               {200805, 5}, {200812, 6}, {200818, 6}, {200816, 7}, {200815, 8}, {200814, 9}, {200813, 10}};
    const Timeline two = timeline(S, "drive 5:00 break 0:45 drive 5:01 rest 8:00 drive 5:00 break 0:45 drive 5:01 rest 11:00");
    std::vector<std::uint32_t> codes;
    for (const auto& v : evaluated(two)) codes.push_back(v.code);
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{200801, 200801, 201701, 200807, 200807, 200807, 200807, 200818}));
    int shiftFindings = 0, weeklyFindings = 0;
    for (int seed = 1; seed <= 16; ++seed) {
        const DriverCardFile file = decodeWritten(withLargeActivityArea(gen::randomCard(static_cast<std::uint64_t>(seed), 120, gen::Generation::Gen1)));
        const std::vector<const DriverCardFile*> cards = {&file};
        const Timeline t = buildTimeline(mergeDownloads(cards));
        const std::vector<CoreShift> shifts = buildShifts(t, {}, {});
        const auto all = evaluateReferenceRules(shifts, t);
        for (std::size_t i = 1; i < all.size(); ++i) ASSERT_LE(rank.at(all[i - 1].code), rank.at(all[i].code)) << "seed " << seed << " finding " << i;

        std::vector<Ref> driving;
        for (const auto& s : shifts) {
            std::int64_t minutes = 0, lastStart = s.start;
            for (std::int64_t x = s.start; x < s.end; x += 60) {
                const auto it = std::find_if(t.begin(), t.end(), [&](const ActivitySegment& a) { return a.start <= x && x < a.end; });
                if (it == t.end() || it->type != 3) continue;
                ++minutes;
                lastStart = it->start;
            }
            const std::int64_t excess = minutes - 600;
            if (excess > 0) driving.push_back({lastStart, minutes, 600, excess <= 60 ? 3u : excess <= 120 ? 4u : excess <= 300 ? 5u : 6u});
        }
        EXPECT_EQ(only(kRefShiftDriving, all), driving) << "seed " << seed;
        shiftFindings += static_cast<int>(driving.size());

        std::map<std::int64_t, std::pair<std::int64_t, std::int64_t>> weeks;  // minutes and latest start of each local week
        for (const auto& a : t) {
            if (a.type != 2 && a.type != 3) continue;
            auto& w = weeks[localMonday(a.start)];
            w.first += (a.end - a.start + 59) / 60;
            w.second = std::max(w.second, a.start);
        }
        std::vector<Ref> weekly, average;
        const auto level = [](std::int64_t value, std::int64_t limit) { return static_cast<std::uint32_t>(std::min<std::int64_t>(5, (value - limit) * 40 / limit)); };
        for (const auto& [monday, w] : weeks) {
            if (w.first > 3600) weekly.push_back({w.second, w.first, 3600, level(w.first, 3600)});
            std::int64_t sum = 0;
            for (const auto& [other, o] : weeks) sum += other <= monday && other > monday - 84 ? o.first : 0;
            const std::int64_t mean = (2 * sum + 12) / 24;
            if (mean > 2880) average.push_back({w.second, mean, 2880, level(mean, 2880)});
        }
        EXPECT_EQ(only(kRefWeeklyWorkingTime, all), weekly) << "seed " << seed;
        EXPECT_EQ(only(kRefAverageWeeklyWorkingTime, all), average) << "seed " << seed;
        weeklyFindings += static_cast<int>(weekly.size());
    }
    EXPECT_GT(shiftFindings, 0) << "the histories must exercise the check";
    EXPECT_GT(weeklyFindings, 0) << "the histories must exercise the check";
}

}  // namespace
}  // namespace ddd
