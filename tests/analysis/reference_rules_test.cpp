// The reference evaluation: every check at its limits, the levels, the order of the findings,
// the mended faults, and a minute-by-minute re-computation on generated histories.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "analysis/reference_rules.h"
#include "analysis/timeline.h"
#include "tests/analysis/generated_histories.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;
using gen::utcTime;

constexpr std::int64_t h = kHour;
constexpr std::int64_t m = 60;

struct Finding {
    std::int64_t when, value, limit;
    std::uint32_t level;
    bool operator==(const Finding&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Finding& f) {
    return out << "{when " << f.when << ", value " << f.value << ", limit " << f.limit << ", level " << f.level << "}";
}

std::vector<Finding> only(std::uint32_t code, const std::vector<ReferenceViolation>& all) {
    std::vector<Finding> out;
    for (const auto& v : all) {
        if (v.code == code) out.push_back({v.when, v.value, v.limit, v.level});
    }
    return out;
}

// Findings of one code on a timeline cut into shifts as the analysis cuts it.
std::vector<Finding> findings(std::uint32_t code, const Timeline& t) {
    return only(code, evaluateReferenceRules(buildShifts(t, {}, {}), t));
}

// The timeline and shifts of a generated card download, as the analysis builds them.
struct Generated { Timeline timeline; std::vector<CoreShift> shifts; };

Generated generated(const gen::Timeline& history) {
    gen::CardDescription card;
    card.days = history.days();
    card.lastCardDownload = history.now();
    const DriverCardFile file = decodeWritten(withLargeActivityArea(card));
    const std::vector<const DriverCardFile*> cards = {&file};
    Generated g;
    g.timeline = buildTimeline(mergeDownloads(cards));
    g.shifts = buildShifts(g.timeline, {}, {});
    return g;
}

const std::int64_t S = utcTime(2024, 1, 9, "06:00");  // a Tuesday in winter time

// A named case: blocks laid out from S and the findings of one code they must give.
struct BlocksCase { const char* name; const char* blocks; std::vector<Finding> expected; };

void expectFindings(std::uint32_t code, const std::vector<BlocksCase>& cases) {
    for (const auto& c : cases) EXPECT_EQ(findings(code, timeline(S, c.blocks)), c.expected) << c.name;
}

TEST(ReferenceShiftDriving, FromTenHoursAndOneMinute) {
    const Timeline ten = timeline(S, "drive 4:00 break 0:45 drive 4:00 break 0:45 drive 2:00 rest 11:00");
    const std::int64_t lastDrive = S + 9 * h + 30 * m;
    struct Case { const char* name; Timeline timeline; std::vector<Finding> expected; };
    const Case cases[] = {
        {"exactly 10 h", ten, {}},
        {"10 h 59 s", lengthened(ten, 4, 59), {}},
        {"10 h 1 min", lengthened(ten, 4, 60), {{lastDrive, 601, 600, 3}}},
        {"11 h: an excess of a tenth", lengthened(ten, 4, 60 * m), {{lastDrive, 660, 600, 3}}},
        {"11 h 1 min", lengthened(ten, 4, 61 * m), {{lastDrive, 661, 600, 4}}},
        {"12 h", lengthened(ten, 4, 120 * m), {{lastDrive, 720, 600, 4}}},
        {"12 h 1 min", lengthened(ten, 4, 121 * m), {{lastDrive, 721, 600, 5}}},
        {"15 h", lengthened(ten, 4, 300 * m), {{lastDrive, 900, 600, 5}}},
        {"15 h 1 min", lengthened(ten, 4, 301 * m), {{lastDrive, 901, 600, 6}}},
    };
    for (const auto& c : cases) EXPECT_EQ(findings(kRefShiftDriving, c.timeline), c.expected) << c.name;
}

TEST(ReferenceNightWorkingTime, TenHoursWithFourHoursTwentyBetweenOneAndNineLocal) {
    // Work from 03:40 UTC: 04:40 German winter time, 4 h 20 min before 09:00; 05:40 in summer.
    const std::int64_t winter = utcTime(2024, 1, 9, "03:40");
    const std::int64_t summer = utcTime(2024, 6, 11, "03:40");
    const char* night = "work 4:20 break 0:45 drive 4:00 break 0:45 drive 1:41 rest 11:00";
    const std::int64_t winterEnd = winter + 11 * h + 31 * m;
    struct Case { const char* name; Timeline timeline; std::vector<Finding> expected; };
    const Case cases[] = {
        {"4 h 20 of night work and 10 h 1 min of working time", timeline(winter, night), {{winterEnd, 601, 600, 1}}},
        {"10 h of working time", lengthened(timeline(winter, night), 4, -60), {}},
        {"4 h 19 of night work", timeline(winter + m, night), {}},
        {"the same hours in summer time hold only 3 h 20 of night", timeline(summer, night), {}},
        {"10 h 59 min of working time", lengthened(timeline(winter, night), 4, 58 * m), {{winterEnd + 58 * m, 659, 600, 1}}},
        {"11 h of working time", lengthened(timeline(winter, night), 4, 59 * m), {{winterEnd + 59 * m, 660, 600, 4}}},
        {"13 h of working time", lengthened(timeline(winter, night), 4, 179 * m), {{winterEnd + 179 * m, 780, 600, 5}}},
        // Night hours as lived: 01:00-02:00 and 03:00-06:01 on the night the clock springs forward.
        {"spring change: 4 h 01 of night",
         timeline(utcTime(2024, 3, 30, "23:00"), "drive 3:01 break 2:59 work 2:00 break 0:45 drive 4:00 break 0:45 drive 1:00 rest 11:00"), {}},
        // 01:00-03:00 summer time, then 02:00-04:20 winter time on the night the clock falls back.
        {"autumn change: 4 h 20 of night",
         timeline(utcTime(2024, 10, 26, "23:00"), "work 4:20 break 4:40 drive 4:00 break 0:45 drive 1:41 rest 11:00"),
         {{utcTime(2024, 10, 26, "23:00") + 15 * h + 26 * m, 601, 600, 1}}},
    };
    for (const auto& c : cases) EXPECT_EQ(findings(kRefNightWorkingTime, c.timeline), c.expected) << c.name;
}

TEST(ReferenceDrivingWithoutBreak, BreaksOf45MinutesOr15Then30) {
    expectFindings(kRefDrivingWithoutBreak, {
        {"4 h 30 min", "drive 4:30 rest 11:00", {}},
        {"4 h 31 min", "drive 4:31 rest 11:00", {{S, 271, 270, 3}}},
        {"5 h", "drive 5:00 rest 11:00", {{S, 300, 270, 4}}},
        {"6 h", "drive 6:00 rest 11:00", {{S, 360, 270, 5}}},
        {"a 45-minute break ends the sequence", "drive 3:00 break 0:45 drive 3:00 rest 11:00", {}},
        {"a 44-minute break does not", "drive 3:00 break 0:44 drive 3:00 rest 11:00", {{S + 3 * h + 44 * m, 360, 270, 5}}},
        {"15 then 30 minutes end it", "drive 2:00 break 0:15 drive 2:00 break 0:30 drive 2:00 rest 11:00", {}},
        {"30 then 15 minutes do not", "drive 2:00 break 0:30 drive 2:00 break 0:15 drive 2:00 rest 11:00",
         {{S + 4 * h + 45 * m, 360, 270, 5}}},
        {"14 then 30 minutes do not", "drive 2:00 break 0:14 drive 2:00 break 0:30 drive 0:31 rest 11:00",
         {{S + 4 * h + 44 * m, 271, 270, 3}}},
        {"45 minutes of availability end it", "drive 3:00 avail 0:45 drive 3:00 rest 11:00", {}},
        {"unknown activity is no break", "drive 3:00 unknown 0:45 drive 3:00 rest 11:00", {{S + 3 * h + 45 * m, 360, 270, 5}}},
        {"work interrupts a break", "drive 3:00 break 0:30 work 0:05 break 0:15 drive 2:00 rest 11:00",
         {{S + 3 * h + 50 * m, 300, 270, 4}}},
        {"one finding per sequence, dated by its last driving",
         "drive 4:40 break 0:45 drive 2:00 work 0:30 drive 2:40 rest 11:00",
         {{S, 280, 270, 3}, {S + 7 * h + 55 * m, 280, 270, 3}}},
    });
}

TEST(ReferenceWorkingTimeBreaks, SixHoursOfWorkWithoutABreak) {
    expectFindings(kRefWorkWithoutBreak, {
        {"6 h", "work 2:00 drive 4:00 rest 11:00", {}},
        {"6 h 1 min", "work 2:00 drive 4:01 rest 11:00", {{S + 2 * h, 361, 360, 1}}},
        {"a 15-minute break splits the block", "work 3:00 break 0:15 work 3:01 rest 11:00", {}},
        {"a 14-minute break does not and is not counted", "work 3:00 break 0:14 work 3:01 rest 11:00",
         {{S + 3 * h + 14 * m, 361, 360, 1}}},
        {"15 minutes of availability split it", "work 3:00 avail 0:15 work 3:01 rest 11:00", {}},
        {"each long block is a finding", "work 6:01 break 0:30 work 6:30 rest 11:00",
         {{S, 361, 360, 1}, {S + 6 * h + 31 * m, 390, 360, 1}}},
    });
}

TEST(ReferenceWorkingTimeBreaks, BreakBetweenTheTwoBlocksOfAShift) {
    struct Case { const char* name; const char* blocks; std::uint32_t code; std::vector<Finding> expected; };
    const std::int64_t second = S + 4 * h;  // start of the second block after a break of `gap` minutes
    const Case cases[] = {
        {"6 h of work need 30 min", "work 4:00 break 0:29 work 2:01 rest 11:00", kRefBreakUnder30,
         {{second + 29 * m, 29, 30, 1}}},
        {"30 min are enough", "work 4:00 break 0:30 work 2:01 rest 11:00", kRefBreakUnder30, {}},
        {"exactly 6 h of work need no break", "work 4:00 break 0:20 work 2:00 rest 11:00", kRefBreakUnder30, {}},
        {"9 h of work need 30 min", "work 5:00 break 0:44 work 4:00 rest 11:00", kRefBreakUnder45, {}},
        {"9 h 1 min need 45 min", "work 5:00 break 0:44 work 4:01 rest 11:00", kRefBreakUnder45,
         {{second + h + 44 * m, 44, 45, 1}}},
        {"a shortfall of 13 min of 45 is minor", "work 5:00 break 0:32 work 4:01 rest 11:00", kRefBreakUnder45,
         {{second + h + 32 * m, 32, 45, 1}}},
        {"a shortfall of 14 min of 45 is level 4", "work 5:00 break 0:31 work 4:01 rest 11:00", kRefBreakUnder45,
         {{second + h + 31 * m, 31, 45, 4}}},
        {"a shortfall of 22 min of 45 is level 4", "work 5:00 break 0:23 work 4:01 rest 11:00", kRefBreakUnder45,
         {{second + h + 23 * m, 23, 45, 4}}},
        {"a shortfall of 23 min of 45 is level 5", "work 5:00 break 0:22 work 4:01 rest 11:00", kRefBreakUnder45,
         {{second + h + 22 * m, 22, 45, 5}}},
        {"three blocks are not judged", "work 4:00 break 0:20 work 3:00 break 0:20 work 3:00 rest 11:00",
         kRefBreakUnder45, {}},
        {"nor a second block of over 6 h", "work 3:00 break 0:20 work 6:01 rest 11:00", kRefBreakUnder45, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(findings(c.code, timeline(S, c.blocks)), c.expected) << c.name;
}

// Mended: a break across midnight UTC is two stretches in the timeline; it still counts whole.
TEST(ReferenceWorkingTimeBreaks, ABreakAcrossMidnightCountsWhole) {
    const std::int64_t evening = utcTime(2024, 1, 9, "18:00");
    // 18:00-23:50 work, 23:50-00:10 break (20 min, split at midnight), 00:10-03:10 work.
    const Generated shortBreak = generated(gen::Timeline(evening).add("work 5:50 break 0:20 work 3:00 rest 11:00"));
    ASSERT_EQ(shortBreak.timeline.size() > 4, true);
    EXPECT_EQ(only(kRefWorkWithoutBreak, evaluateReferenceRules(shortBreak.shifts, shortBreak.timeline)),
              std::vector<Finding>{})
        << "a 20-minute break in two 10-minute pieces splits the 8 h 50 of work";
    // 18:00-23:20 work, 23:20-00:10 break (50 min: 40 before midnight, 10 after), 00:10-04:11 work.
    const Generated longBreak = generated(gen::Timeline(evening).add("work 5:20 break 0:50 work 4:01 rest 11:00"));
    const auto all = evaluateReferenceRules(longBreak.shifts, longBreak.timeline);
    EXPECT_EQ(only(kRefBreakUnder45, all), std::vector<Finding>{}) << "the break is 50 min, not the 40 before midnight";
    EXPECT_EQ(only(kRefBreakUnder30, all), std::vector<Finding>{});
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

TEST(ReferenceWeeklyWorkingTime, SixtyHoursInALocalWeek) {
    const std::int64_t monday = utcDay(2024, 1, 8);
    const std::int64_t start = monday + 8 * h;
    struct Case { const char* name; std::int64_t seconds; std::vector<Finding> expected; };
    const Case cases[] = {
        {"60 h", 60 * h, {}},
        {"60 h and 30 s round to the even minute", 60 * h + 30, {}},
        {"60 h and 31 s round up", 60 * h + 31, {{start, 3601, 3600, 0}}},
        {"60 h 1 min and 30 s round to the even minute", 60 * h + 90, {{start, 3602, 3600, 0}}},
        {"61 h 29 min is level 0", 61 * h + 29 * m, {{start, 3689, 3600, 0}}},
        {"61 h 30 min is level 1", 61 * h + 30 * m, {{start, 3690, 3600, 1}}},
        {"the level stops at 5", 80 * h, {{start, 4800, 3600, 5}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(only(kRefWeeklyWorkingTime, evaluateReferenceRules({}, workingWeeks(monday, {c.seconds}))), c.expected)
            << c.name;
    }
    // Work starting Sunday 23:30 UTC lies in the next local week (Monday 01:30 summer, 00:30 winter).
    const std::int64_t sundaySummer = utcTime(2024, 6, 9, "23:30");
    const Timeline t = {{sundaySummer - 40 * h, sundaySummer - 10 * h, 2, 0},
                        {sundaySummer - 10 * h, sundaySummer, 0, 0},
                        {sundaySummer, sundaySummer + 31 * h, 2, 0}};
    EXPECT_EQ(only(kRefWeeklyWorkingTime, evaluateReferenceRules({}, t)), std::vector<Finding>{})
        << "30 h and 31 h in two weeks";
    const Timeline sameWeek = {{sundaySummer - 40 * h, sundaySummer - 10 * h, 2, 0},
                               {sundaySummer - 10 * h, sundaySummer - 3 * h, 0, 0},
                               {sundaySummer - 3 * h, sundaySummer + 28 * h, 2, 0}};
    EXPECT_EQ(only(kRefWeeklyWorkingTime, evaluateReferenceRules({}, sameWeek)),
              (std::vector<Finding>{{sundaySummer - 3 * h, 3660, 3600, 0}}))
        << "a stretch belongs wholly to the week of its start";
}

TEST(ReferenceWeeklyWorkingTime, AverageOfFortyEightHoursOverTwelveWeeks) {
    const std::int64_t monday = utcDay(2024, 1, 8);
    const std::int64_t lastStart = monday + 11 * 7 * kDay + 8 * h;
    auto weeks = [](std::size_t n, std::int64_t each, std::int64_t extraInFirst) {
        std::vector<std::int64_t> s(n, each);
        s.front() += extraInFirst;
        return s;
    };
    struct Case { const char* name; std::vector<std::int64_t> weeks; std::vector<Finding> expected; };
    const Case cases[] = {
        {"twelve weeks of 48 h", weeks(12, 48 * h, 0), {}},
        {"5 min more round down", weeks(12, 48 * h, 5 * m), {}},
        {"6 min more round up", weeks(12, 48 * h, 6 * m), {{lastStart, 2881, 2880, 0}}},
        {"thirteen weeks of 45 h average 45 h", weeks(13, 45 * h, 0), {}},
        {"twelve weeks of 50 h", weeks(12, 50 * h, 0), {{lastStart, 3000, 2880, 1}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(only(kRefAverageWeeklyWorkingTime, evaluateReferenceRules({}, workingWeeks(monday, c.weeks))),
                  c.expected)
            << c.name;
    }
}

// Shifts [start, end) with the given seconds of availability and break, back to back with rests.
std::vector<CoreShift> shiftsWithRests(std::int64_t start, const std::vector<std::int64_t>& spans,
                                       const std::vector<std::int64_t>& rests, std::int64_t standby = 0,
                                       std::int64_t breakTime = 0) {
    std::vector<CoreShift> out;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        CoreShift s;
        s.start = start;
        s.end = start + spans[i];
        s.standby = standby;
        s.breakTime = breakTime;
        out.push_back(s);
        if (i < rests.size()) start = s.end + rests[i];
    }
    return out;
}

// Value, limit and level of each finding of one code on shifts alone.
using Figures = std::vector<std::tuple<std::int64_t, std::int64_t, std::uint32_t>>;

Figures figures(std::uint32_t code, const std::vector<CoreShift>& shifts) {
    Figures out;
    for (const auto& f : only(code, evaluateReferenceRules(shifts, {}))) out.emplace_back(f.value, f.limit, f.level);
    return out;
}

TEST(ReferenceDailyRest, RestBetweenShiftsAndTheCountOfReducedRests) {
    const std::int64_t r9 = 9 * h;
    struct Case { const char* name; std::vector<std::int64_t> rests; Figures expected; };
    const Case cases[] = {
        {"9 h", {r9}, {}},
        {"8 h 59 min", {r9 - m}, {{539, 540, 3}}},
        {"8 h", {8 * h}, {{480, 540, 3}}},
        {"7 h 59 min", {8 * h - m}, {{479, 540, 4}}},
        {"7 h", {7 * h}, {{420, 540, 4}}},
        {"6 h 59 min", {7 * h - m}, {{419, 540, 5}}},
        {"after three reduced rests 11 h are due", {r9, r9, r9, 11 * h - m}, {{659, 660, 3}}},
        {"and 11 h are enough", {r9, r9, r9, 11 * h}, {}},
        {"after three reduced rests 10 h is level 3", {r9, r9, r9, 10 * h}, {{600, 660, 3}}},
        {"after three reduced rests 9 h 59 min is level 4", {r9, r9, r9, 10 * h - m}, {{599, 660, 4}}},
        {"a rest of 11 h does not count as reduced", {r9, 11 * h, r9, r9}, {}},
        {"a rest of 24 h resets the count", {r9, r9, r9, 24 * h, r9}, {}},
        {"a rest of 23 h 59 min does not", {r9, r9, r9, 24 * h - m, r9}, {{540, 660, 4}}},
    };
    for (const auto& c : cases) {
        const auto shifts = shiftsWithRests(S, std::vector<std::int64_t>(c.rests.size() + 1, 8 * h), c.rests);
        EXPECT_EQ(figures(kRefDailyRestTooShort, shifts), c.expected) << c.name;
    }
}

TEST(ReferenceShiftTooLong, FifteenHoursOrThirteenAfterThreeReducedRests) {
    const std::int64_t breaks = 2 * h + 10 * m;
    const std::vector<std::int64_t> r11 = {11 * h}, reduced = {9 * h, 9 * h, 9 * h, 11 * h};
    struct Case {
        const char* name;
        std::vector<std::int64_t> spans;
        std::vector<std::int64_t> rests;
        std::int64_t breakTime;
        std::uint8_t outOfScope;
        Figures expected;
    };
    const Case cases[] = {
        {"15 h", {15 * h, h}, r11, breaks, 0, {}},
        {"15 h 1 min", {15 * h + m, h}, r11, breaks, 0, {{901, 900, 3}}},
        {"with 2 h 9 min of breaks it is not judged", {15 * h + m, h}, r11, breaks - m, 0, {}},
        {"an out-of-scope shift is not judged", {15 * h + m, h}, r11, breaks, 1, {}},
        {"the last shift is not judged", {h, 16 * h}, r11, breaks, 0, {}},
        {"16 h is level 3", {16 * h, h}, r11, breaks, 0, {{960, 900, 3}}},
        {"16 h 1 min is level 4", {16 * h + m, h}, r11, breaks, 0, {{961, 900, 4}}},
        {"17 h 1 min is level 5", {17 * h + m, h}, r11, breaks, 0, {{1021, 900, 5}}},
        {"after three reduced rests 13 h 1 min", {h, h, h, 13 * h + m, h}, reduced, breaks, 0, {{781, 780, 3}}},
        {"and 15 h 30 min is still level 4", {h, h, h, 15 * h + 30 * m, h}, reduced, breaks, 0, {{930, 780, 4}}},
    };
    for (const auto& c : cases) {
        auto shifts = shiftsWithRests(S, c.spans, c.rests, 0, c.breakTime);
        for (auto& s : shifts) s.outOfScope = c.outOfScope;
        EXPECT_EQ(figures(kRefShiftTooLong, shifts), c.expected) << c.name;
    }
    // Dated by the start of the stretch that ends the shift.
    const Timeline t = timeline(S, "drive 4:00 break 1:05 drive 4:00 break 1:05 drive 4:00 work 0:51 rest 11:00 drive 1:00");
    EXPECT_EQ(findings(kRefShiftTooLong, t), (std::vector<Finding>{{S + 14 * h + 10 * m, 901, 900, 3}}));
}

TEST(ReferenceWeeklyRest, StartedMoreThan144HoursAfterThePreviousOne) {
    struct Case {
        const char* name;
        std::int64_t between;
        std::vector<std::pair<std::int64_t, std::uint32_t>> expected;  // value and level
    };
    const Case cases[] = {
        {"144 h apart", 144 * h, {}},
        {"144 h and 1 s apart", 144 * h + 1, {{8640, 3}}},
        {"147 h apart", 147 * h, {{8820, 3}}},
        {"147 h 1 min apart", 147 * h + m, {{8821, 4}}},
        {"155 h 41 min apart", 155 * h + 41 * m, {{9341, 5}}},
    };
    for (const auto& c : cases) {
        const auto shifts = shiftsWithRests(S, {h, c.between, h}, {24 * h, 24 * h});
        std::vector<Finding> expected;
        for (const auto& [value, level] : c.expected) expected.push_back({shifts[1].end, value, 8640, level});
        EXPECT_EQ(only(kRefWeeklyRestLate, evaluateReferenceRules(shifts, {})), expected) << c.name;
    }
}

TEST(ReferenceWeeklyRest, SecondConsecutiveWeekWithOnlyAReducedRest) {
    const std::int64_t monday = utcDay(2024, 1, 8) - h;  // Monday 00:00 German winter time
    struct Case {
        const char* name;
        std::int64_t firstRest, secondRest;
        std::int64_t secondWeekOffset;  // of the second rest's start from the first's
        std::vector<std::pair<std::int64_t, std::uint32_t>> expected;
    };
    const Case cases[] = {
        {"two reduced rests in consecutive weeks", 30 * h, 30 * h, 7 * kDay, {{1800, 5}}},
        {"35 h 1 min is level 4", 30 * h, 35 * h + m, 7 * kDay, {{2101, 4}}},
        {"42 h is level 3", 30 * h, 42 * h, 7 * kDay, {{2520, 3}}},
        {"a regular rest in the first week", 45 * h, 30 * h, 7 * kDay, {}},
        {"a regular rest in the second week", 30 * h, 45 * h, 7 * kDay, {}},
        {"weeks not consecutive", 30 * h, 30 * h, 14 * kDay, {}},
    };
    for (const auto& c : cases) {
        const std::int64_t firstRestStart = monday + 5 * kDay + 8 * h;  // Saturday 08:00 local
        const std::int64_t secondRestStart = firstRestStart + c.secondWeekOffset;
        std::vector<CoreShift> shifts = {{firstRestStart - 8 * h, firstRestStart},
                                         {firstRestStart + c.firstRest, secondRestStart},
                                         {secondRestStart + c.secondRest, secondRestStart + c.secondRest + h}};
        std::vector<Finding> expected;  // without a timeline, dated by the rest's end
        for (const auto& [value, level] : c.expected) expected.push_back({secondRestStart + c.secondRest, value, 2700, level});
        EXPECT_EQ(only(kRefConsecutiveReducedWeeklyRest, evaluateReferenceRules(shifts, {})), expected) << c.name;
    }
}

TEST(ReferenceWeeklyRest, AReducedWeeklyRestIsDatedByTheCardBeingInserted) {
    const std::int64_t monday = utcDay(2024, 1, 8) - h;
    const std::int64_t r1 = monday + 5 * kDay + 8 * h, r2 = r1 + 7 * kDay;
    const std::vector<CoreShift> shifts = {{r1 - 8 * h, r1}, {r1 + 30 * h, r2}, {r2 + 30 * h, r2 + 31 * h}};
    auto rest = [&](std::vector<ActivitySegment> inRest) {
        Timeline t = {{r1 - 8 * h, r1, 3, 0}, {r1, r1 + 30 * h, 0, 0}, {r1 + 30 * h, r2, 3, 0}};
        t.insert(t.end(), inRest.begin(), inRest.end());
        t.push_back({r2 + 30 * h, r2 + 31 * h, 3, 0});
        return only(kRefConsecutiveReducedWeeklyRest, evaluateReferenceRules(shifts, t)).at(0).when;
    };
    EXPECT_EQ(rest({{r2, r2 + 20 * h, 255, 1}, {r2 + 20 * h, r2 + 30 * h, 0, 0}}), r2 + 20 * h)
        << "card inserted for the last 10 h";
    EXPECT_EQ(rest({{r2, r2 + 10 * h, 0, 0}, {r2 + 10 * h, r2 + 30 * h, 255, 1}}), r2 + 30 * h) << "card out at the end";
    EXPECT_EQ(rest({{r2, r2 + 30 * h, 0, 0}}), r2 + 30 * h) << "card inserted throughout";
}

// Mended: the count of reduced rests is written with the finding (4 for the fourth), against 3.
TEST(ReferenceReducedRestCount, TheFourthReducedRestBetweenWeeklyRestsCarriesItsCount) {
    const std::int64_t monday = utcTime(2024, 1, 8, "06:00");
    gen::Timeline history(monday);
    history.add("drive 4:00 break 0:45 drive 4:00");
    for (int day = 0; day < 5; ++day) history.add("rest 9:30 drive 4:00 break 0:45 drive 4:00");
    history.add("rest 48:00 drive 2:00 rest 12:00");
    const Generated g = generated(history);
    ASSERT_EQ(g.shifts.size(), 7u);
    const auto got = only(kRefReducedDailyRestCount, evaluateReferenceRules(g.shifts, g.timeline));
    EXPECT_EQ(got, (std::vector<Finding>{{g.shifts[3].end, 4, 3, 1}, {g.shifts[4].end, 5, 3, 1}}));
}

TEST(ReferenceReducedRestCount, CountedBetweenWeeklyRests) {
    const std::int64_t r = 9 * h, w = 45 * h;
    struct Case { const char* name; std::vector<std::int64_t> rests; std::vector<std::int64_t> counts; };
    const Case cases[] = {
        {"three reduced rests, and the unknown rest after the last shift is not counted", {r, r, r}, {}},
        {"four", {r, r, r, r}, {4}},
        {"four reduced rests of 10 h 59 min", {11 * h - m, 11 * h - m, 11 * h - m, 11 * h - m}, {4}},
        {"rests of 11 h are regular", {r, 11 * h, r, r, 11 * h}, {}},
        {"a weekly rest starts the count anew", {r, r, r, w, r, r, r, r}, {4}},
        {"the longest rest of 24 h or more in a week counts as weekly", {r, r, r, 30 * h, r, r, r}, {}},
    };
    for (const auto& c : cases) {
        const auto shifts = shiftsWithRests(S, std::vector<std::int64_t>(c.rests.size() + 1, 8 * h), c.rests);
        std::vector<std::int64_t> counts;
        for (const auto& f : only(kRefReducedDailyRestCount, evaluateReferenceRules(shifts, {}))) counts.push_back(f.value);
        EXPECT_EQ(counts, c.counts) << c.name;
    }
}

// Mended: a regular daily rest taken in two parts, 3 h in the shift and 9 h after it, is no
// reduced rest and no rest too short.
TEST(ReferenceDailyRest, ASplitRestOfThreeAndNineHoursIsRegular) {
    const std::int64_t monday = utcTime(2024, 1, 8, "06:00");
    struct Case { const char* name; const char* shift; std::size_t reducedFindings, shortRestFindings; };
    const Case cases[] = {
        {"3 h uninterrupted in the shift", "drive 4:00 rest 3:00 drive 4:00", 0, 0},
        {"2 h 59 min are no first part", "drive 4:00 rest 2:59 drive 4:00", 2, 2},
        {"3 h broken by work are none", "drive 4:00 rest 1:30 work 0:01 rest 1:30 drive 4:00", 2, 2},
    };
    for (const auto& c : cases) {
        gen::Timeline history(monday);
        history.add(c.shift);
        for (int day = 0; day < 5; ++day) history.add("rest 9:00").add(c.shift);
        history.add("rest 12:00");
        const Generated g = generated(history);
        ASSERT_EQ(g.shifts.size(), 6u) << c.name;
        const auto all = evaluateReferenceRules(g.shifts, g.timeline);
        EXPECT_EQ(only(kRefReducedDailyRestCount, all).size(), c.reducedFindings) << c.name;
        EXPECT_EQ(only(kRefDailyRestTooShort, all).size(), c.shortRestFindings) << c.name;
    }
}

TEST(ReferenceCrewShift, OverTwentyOneHoursWithAvailability) {
    struct Case { const char* name; std::int64_t span, standby; std::vector<std::int64_t> values; };
    const Case cases[] = {
        {"21 h", 21 * h, 10 * h, {}},
        {"21 h 1 min", 21 * h + m, 10 * h, {1261}},
        {"with 59 min of availability", 21 * h + m, h - m, {}},
        {"with exactly 1 h of availability", 22 * h, h, {1320}},
    };
    for (const auto& c : cases) {
        const auto shifts = shiftsWithRests(S, {c.span}, {}, c.standby);
        std::vector<Finding> expected;
        for (const auto value : c.values) expected.push_back({shifts[0].end, value, 1260, 3});
        EXPECT_EQ(only(kRefCrewShiftTooLong, evaluateReferenceRules(shifts, {})), expected) << c.name;
    }
}

// A crew tour of 21 h with 9 h of rest within 30 h is legal; a single driver's is not.
TEST(ReferenceCrewShift, ACrewRestsNineHoursWithinThirtyHours) {
    struct Case { const char* name; bool crew; std::int64_t rest; std::map<std::uint32_t, std::size_t> counts; };
    const Case cases[] = {
        {"crew, 9 h rests", true, 9 * h, {}},
        {"single driver, 9 h rests", false, 9 * h, {{kRefShiftTooLong, 5}, {kRefDailyRestTooShort, 2}, {kRefReducedDailyRestCount, 2}}},
        {"crew, 8 h 59 min rests", true, 9 * h - m, {{kRefDailyRestTooShort, 5}, {kRefReducedDailyRestCount, 2}}},
    };
    for (const auto& c : cases) {
        const auto shifts = shiftsWithRests(S, std::vector<std::int64_t>(6, 21 * h), std::vector<std::int64_t>(5, c.rest), 0, 3 * h);
        const std::vector<CrewStretch> crew = {{S, shifts.back().end}};
        std::map<std::uint32_t, std::size_t> counts;
        for (const auto& v : evaluateReferenceRules(shifts, {}, c.crew ? crew : std::vector<CrewStretch>{})) ++counts[v.code];
        EXPECT_EQ(counts, c.counts) << c.name;
    }
}

// The rank of each code in the order the checks run.
int checkRank(std::uint32_t code) {
    static const std::map<std::uint32_t, int> ranks = {
        {200801, 0}, {201701, 1}, {200807, 2}, {200809, 3}, {200810, 3}, {200811, 3}, {200804, 4}, {200805, 5},
        {200812, 6}, {200818, 6}, {200816, 7}, {200815, 8}, {200814, 9}, {200813, 10}};
    return ranks.at(code);
}

TEST(ReferenceOrder, FindingsComeCheckByCheckNotShiftByShift) {
    const Timeline t = timeline(S, "drive 5:00 break 0:45 drive 5:01 rest 8:00 drive 5:00 break 0:45 drive 5:01 rest 11:00");
    std::vector<std::uint32_t> codes;
    for (const auto& v : evaluateReferenceRules(buildShifts(t, {}, {}), t)) codes.push_back(v.code);
    // The second shift starts at 01:46 German time and holds night work.
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{200801, 200801, 201701, 200807, 200807, 200807, 200807, 200818}));
}

TEST(ReferenceRuleText, EveryCodeHasItsOwnText) {
    const std::uint32_t codes[] = {200801, 201701, 200807, 200809, 200810, 200811, 200804,
                                   200805, 200812, 200818, 200816, 200815, 200814, 200813};
    std::set<std::string_view> texts;
    for (const auto code : codes) {
        const std::string_view text = referenceRuleText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_NE(text, referenceRuleText(0)) << code;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), std::size(codes));
    EXPECT_EQ(referenceRuleText(999999), referenceRuleText(0));
}

// ---- Generated histories: order, and a minute-by-minute re-computation ----------------------

// Monday of the German local week of `t`, as a local date number, by walking back day by day.
std::int64_t oracleLocalMonday(std::int64_t t) {
    CivilTime c = toCivilTime(t);
    std::int64_t day = daysFromCivil(c.year, c.month, c.day);
    while (((day % 7) + 10) % 7 != 0) --day;
    return day;
}

TEST(ReferenceGeneratedHistories, OrderAndFiguresAgreeWithAMinuteByMinuteCount) {
    int shiftDrivingFindings = 0, weeklyFindings = 0;
    for (int seed = 1; seed <= 16; ++seed) {
        gen::CardDescription card = gen::randomCard(static_cast<std::uint64_t>(seed), 120, gen::Generation::Gen1);
        const DriverCardFile file = decodeWritten(withLargeActivityArea(card));
        const std::vector<const DriverCardFile*> cards = {&file};
        const Timeline t = buildTimeline(mergeDownloads(cards));
        const std::vector<CoreShift> shifts = buildShifts(t, {}, {});
        const auto all = evaluateReferenceRules(shifts, t);
        for (std::size_t i = 1; i < all.size(); ++i) {
            ASSERT_LE(checkRank(all[i - 1].code), checkRank(all[i].code)) << "seed " << seed << " finding " << i;
        }

        // Driving minutes of every shift window, minute by minute.
        std::vector<Finding> expectedDriving;
        for (const auto& s : shifts) {
            std::int64_t minutes = 0, lastStart = s.start;
            for (std::int64_t x = s.start; x < s.end; x += 60) {
                const auto it = std::find_if(t.begin(), t.end(), [&](const ActivitySegment& a) { return a.start <= x && x < a.end; });
                if (it == t.end() || it->type != 3) continue;
                ++minutes;
                lastStart = it->start;
            }
            if (minutes < 601) continue;
            const std::int64_t excess = minutes - 600;
            expectedDriving.push_back({lastStart, minutes, 600, excess <= 60 ? 3u : excess <= 120 ? 4u : excess <= 300 ? 5u : 6u});
        }
        EXPECT_EQ(only(kRefShiftDriving, all), expectedDriving) << "seed " << seed;
        shiftDrivingFindings += static_cast<int>(expectedDriving.size());

        // Working minutes per local week, each stretch in the week of its start.
        std::map<std::int64_t, std::pair<std::int64_t, std::int64_t>> weeks;  // minutes, latest start
        for (const auto& a : t) {
            if (a.type != 2 && a.type != 3) continue;
            auto& w = weeks[oracleLocalMonday(a.start)];
            for (std::int64_t x = a.start; x < a.end; x += 60) ++w.first;
            w.second = std::max(w.second, a.start);
        }
        std::vector<Finding> expectedWeekly, expectedAverage;
        for (const auto& [monday, w] : weeks) {
            if (w.first > 3600) expectedWeekly.push_back({w.second, w.first, 3600, static_cast<std::uint32_t>(std::min<std::int64_t>(5, (w.first - 3600) * 40 / 3600))});
            std::int64_t sum = 0;
            for (const auto& [other, o] : weeks) sum += other <= monday && other > monday - 84 ? o.first : 0;
            const std::int64_t average = (2 * sum + 12) / 24;
            if (average > 2880) expectedAverage.push_back({w.second, average, 2880, static_cast<std::uint32_t>(std::min<std::int64_t>(5, (average - 2880) * 40 / 2880))});
        }
        EXPECT_EQ(only(kRefWeeklyWorkingTime, all), expectedWeekly) << "seed " << seed;
        EXPECT_EQ(only(kRefAverageWeeklyWorkingTime, all), expectedAverage) << "seed " << seed;
        weeklyFindings += static_cast<int>(expectedWeekly.size());
    }
    EXPECT_GT(shiftDrivingFindings, 0) << "the histories must exercise the check";
    EXPECT_GT(weeklyFindings, 0) << "the histories must exercise the check";
}

}  // namespace
}  // namespace ddd
