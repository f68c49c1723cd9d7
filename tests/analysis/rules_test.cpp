// The strict checks of driving, breaks, rests and working time: every limit exactly and just
// beyond, the windows the data does not cover, the rule context they share, the codes and
// classes, and the order of the findings.
#include <gtest/gtest.h>

#include <tuple>

#include "analysis/rule_context.h"
#include "analysis/working_time_rules.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;
using gen::utcTime;

const std::string kDaily = "eu.561.daily_driving", kExtended = "eu.561.daily_driving.extended";

// After an 11 h rest ending Monday 00:00, one day each: 30 min of work, the driving, rest to the
// next midnight; an 11 h rest closes the last day.
Timeline drivingDays(const std::vector<int>& drivingMinutes) {
    std::string blocks = "rest 11:00 ";
    for (int d : drivingMinutes) blocks += "work 0:30 " + (d > 0 ? "drive " + hm(d) + " " : "") + "rest " + hm(24 * 60 - 30 - d) + " ";
    return timeline(kMonday - 11 * h, blocks + "rest 11:00");
}

// The daily work period of day `day` of drivingDays.
Finding onDay(const std::string& code, std::int32_t severity, int day, int drivingMinutes) {
    const std::int64_t start = kMonday + day * kDay, end = start + 30 * m + drivingMinutes * m;
    return {code, severity, drivingMinutes * m, code == kExtended ? 36000 : 32400, start, end, end};
}

TEST(DailyDriving, NineHoursExtendableToTenTwiceAWeekWithCompleteData) {
    const std::int64_t t = kMonday;
    expectFindings(kDaily, {
        {"exactly 9 h uses no extension", drivingDays({540, 570, 570, 570}), {onDay(kDaily, 1, 3, 570)}},
        {"9 h 1 min on the third day", drivingDays({570, 570, 541}), {onDay(kDaily, 1, 2, 541)}},
        {"exactly 10 h on both extension days", drivingDays({600, 600}), {}},
        {"10 h 1 min on an extension day", drivingDays({601}), {onDay(kExtended, 1, 0, 601)}},
        {"9 h limit: 10 h is SI", drivingDays({570, 570, 600}), {onDay(kDaily, 2, 2, 600)}},
        {"10 h limit: 11 h is SI", drivingDays({660}), {onDay(kExtended, 2, 0, 660)}},
        {"a new week brings new extensions", drivingDays({570, 570, 570, 0, 0, 0, 0, 570, 570}), {onDay(kDaily, 1, 2, 570)}},
        {"begins with the data", timeline(t, "drive 10:30 rest 11:00"), {}},
        {"holds an unknown stretch", timeline(t, "rest 11:00 drive 5:30 unknown 0:10 drive 5:00 rest 11:00"), {}},
        {"holds a hole", withHole(timeline(t, "rest 11:00 drive 5:30 drive 5:00 rest 11:00"), 1, 60), {}},
    });
}

TEST(Breaks, FortyFiveMinutesAfterFourAndAHalfHoursOfDriving) {
    const std::int64_t t = kMonday + 6 * h;
    const std::string code = "eu.561.breaks.driving_without_break";
    const auto at = [&](const char* blocks) { return timeline(t, blocks); };
    const auto over = [&](std::int32_t severity, std::int64_t value, std::int64_t end, std::int64_t when) {
        return std::vector<Finding>{{code, severity, value, 16200, t, t + end, t + when}};
    };
    const Timeline contiguous = at("drive 4:30 drive 1:00 break 0:45");
    expectFindings("eu.561.breaks", {
        {"16201 s", lengthened(at("drive 4:30 break 0:45"), 0, 1), over(1, 16201, 16201, 16200)},
        {"contiguous driving stretches", contiguous, over(2, 19800, 330 * m, 270 * m)},
        {"a one-second hole ends the sequence", withHole(contiguous, 0, 1), {}},
    });
}

// An 11 h rest ending Monday 00:00, then each day driving and rest to the next midnight.
Timeline weeksOfDriving(const std::vector<int>& drivingMinutes) {
    std::string blocks = "rest 11:00 ";
    for (int d : drivingMinutes) blocks += (d > 0 ? "drive " + hm(d) + " " : "") + (d < 1440 ? "rest " + hm(1440 - d) + " " : "");
    return timeline(kMonday - 11 * h, blocks);
}

TEST(WeeklyDriving, FiftySixHoursAWeekAndNinetyInTwo) {
    const std::string week = "eu.561.weekly_driving.limit", fortnight = "eu.561.fortnight_driving.limit";
    const std::vector<int> six(6, 480), fifty{600, 600, 600, 600, 600, 0, 0};
    const auto days = [](std::vector<int> first, const std::vector<int>& then) {
        first.insert(first.end(), then.begin(), then.end());
        return weeksOfDriving(first);
    };
    const auto over = [&](std::int32_t severity, std::int64_t value) {
        return std::vector<Finding>{{week, severity, value, 201600, kMonday, kMonday + 7 * kDay, kMonday + 6 * kDay + 8 * h}};
    };
    expectFindings("eu.561.weekly_driving", {
        {"exactly 56 h", days(six, {480}), {}},
        {"56 h 1 min is MI", days(six, {481}), over(1, 201660)},
        {"56 h and one second is MI", lengthened(days(six, {480}), 13, 1), over(1, 201601)},
    });
    // Driving passes 90 h where it first goes beyond it, not where it reaches it.
    expectFindings("eu.561.fortnight_driving", {
        {"exactly 90 h", days(fifty, {600, 600, 600, 600, 0, 0, 0}), {}},
        {"90 h 1 min is MI", days(fifty, {600, 600, 600, 601, 0, 0, 0}),
         {{fortnight, 1, 324060, 324000, kMonday, kMonday + 14 * kDay, kMonday + 10 * kDay + 10 * h}}},
    });
}

// A 45 h weekly rest ending Monday 00:00, then the blocks.
Timeline afterWeeklyRest(const std::string& blocks) { return timeline(kMonday - 45 * h, "rest 45:00 " + blocks); }

TEST(DailyRest, RegularReducedAndSplitRests) {
    const std::int64_t t = kMonday;
    const std::string reduced = "eu.561.daily_rest.reduced_too_short", regular = "eu.561.daily_rest.regular_required_too_short",
                      split = "eu.561.daily_rest.split_second_part_short", count = "eu.561.daily_rest.reduced_count_exceeded";
    const auto in = [&](const std::string& code, std::int32_t severity, std::int64_t value, std::int64_t from = 0) {
        return Finding{code, severity, value, code == regular ? 39600 : 32400, t + from, t + from + kDay, t + from + kDay};
    };
    const std::string three = repeated("work 14:00 rest 10:00", 3);
    const auto lay = afterWeeklyRest;
    expectFindings("eu.561.daily_rest", {
        {"exactly 11 h", lay("work 13:00 rest 11:00 work 13:00 rest 45:00"), {}},
        {"8 h 59 is too short, MI", lay("work 13:00 rest 8:59 work 2:01 rest 45:00"), {in(reduced, 1, 32340)}},
        {"6 h 59 is VSI", lay("work 13:00 rest 6:59 work 4:01 rest 45:00"), {in(reduced, 3, 25140)}},
        {"9 h late in the window counts only in part", lay("work 16:00 rest 9:00 work 13:00 rest 45:00"), {in(reduced, 1, 8 * h)}},
        {"3 h then 9 h is a split rest", lay("work 5:00 rest 3:00 work 7:00 rest 9:00 work 13:00 rest 45:00"), {}},
        {"3 h then 8 h: the second part is short", lay("work 5:00 rest 3:00 work 7:00 rest 8:00 work 1:00 rest 45:00"), {in(split, 1, 8 * h)}},
        {"the fourth reduced rest: the count and the 11 h rest it needed", lay(three + "work 14:00 rest 10:00 work 13:00 rest 45:00"),
         {{count, 0, 4, 3, t, t + 96 * h, t + 96 * h}, in(regular, 1, 36000, 72 * h)}},
        {"8 h 30 after three reduced rests is SI", lay(three + "work 15:30 rest 8:30 work 13:00 rest 45:00"), {in(regular, 2, 30600, 72 * h)}},
        {"a stretch without data restarts the count",
         lay(three + "work 7:00 unknown 0:30 work 6:30 rest 10:00 " + repeated("work 14:00 rest 10:00", 2) + "work 13:00 rest 45:00"), {}},
        {"a window beyond the end of the data", lay("work 13:00 rest 8:00"), {}},
    });
}

// A crew's day of 21 h: driving and availability, 45 min of break, 30 min of work at each end.
std::string crewDuty(bool crew) {
    const std::string c = crew ? "+crew" : "";
    return "work 0:30 drive" + c + " 4:30 avail" + c + " 4:30 drive" + c + " 4:30 break 0:45 drive" + c + " 4:00 avail" + c + " 1:45 work 0:30 ";
}

// Three days of 21 h between two weekly rests, as a generated card download; `before` is worked
// before the first of them.
gen::Timeline crewTour(bool crew, const std::string& dailyRest, const std::string& before = "") {
    gen::Timeline tour(utcDay(2024, 3, 3));
    tour.add("rest 45:00 " + before + crewDuty(crew) + dailyRest + " " + crewDuty(crew) + dailyRest + " " + crewDuty(crew) + "rest 45:00");
    return tour;
}

// The plain algorithm would blame a crew resting 9 h within 30 h; a crew's rests are not counted
// as reduced either.
TEST(DailyRest, CrewsNeedNineHoursWithinThirtyHours) {
    const std::string code = "eu.561.daily_rest.reduced_too_short";
    const std::int64_t first = utcDay(2024, 3, 3) + 45 * h;  // end of the first weekly rest
    const auto solo = [&](std::int64_t end) { return Finding{code, 3, 3 * h, 32400, end, end + kDay, end + kDay}; };
    struct Case { const char* name; gen::Timeline tour; std::vector<Finding> expected; };
    const Case cases[] = {
        {"21 h of crew duty, then 9 h of rest", crewTour(true, "rest 9:00"), {}},
        {"the same tour driven alone", crewTour(false, "rest 9:00"), {solo(first), solo(first + 30 * h), solo(first + 60 * h)}},
        {"a crew resting 8 h", crewTour(true, "rest 8:00"), {{code, 1, 8 * h, 32400, first, first + 30 * h, first + 30 * h}}},
        {"three solo reduced rests before", crewTour(true, "rest 9:00", repeated("work 14:00 rest 10:00", 3)), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(findingsOf(strictFindingsOfDownload(c.tour), "eu.561.daily_rest"), c.expected) << c.name;
}

// Six days after a weekly rest that ends Monday 00:00: the next one begins exactly 144 h later,
// after `extra` more work.
Timeline weeklyRestAfter(const std::string& extra) {
    return afterWeeklyRest(repeated("work 13:00 rest 11:00", 5) + "work 13:00 rest 9:00 work 2:00 " + extra + " rest 45:00 work 1:00");
}

TEST(WeeklyRest, BeginsWithinSixDaysOfThePrevious) {
    const std::int64_t t = kMonday;
    const auto late = [&](std::int32_t severity, std::int64_t excess, std::int64_t from = kMonday) {
        return std::vector<Finding>{{"eu.561.weekly_rest.start_late", severity, 518400 + excess, 518400, from, from + 518400 + excess, from + 518400}};
    };
    const std::string six = repeated("work 13:00 rest 11:00", 6);
    expectFindings("eu.561.weekly_rest_start", {
        {"exactly 144 h", weeklyRestAfter(""), {}},
        {"one second late is MI", lengthened(weeklyRestAfter(""), 13, 1), late(1, 1)},
        {"before the first weekly rest, from the end of the first rest", timeline(t, six + "work 13:00 rest 11:00 work 1:00"), late(1, h, t + 24 * h)},
        {"the data ends in a rest that began in time", timeline(t, six + "work 13:00 rest 20:00"), {}},
        {"the data ends in a rest that began one minute late", timeline(t, six + "work 24:01 rest 20:00"), late(1, m, t + 24 * h)},
        {"a rest that began 13 h late, VSI", afterWeeklyRest(six + "work 13:00 rest 20:00"), late(3, 13 * h)},
        {"work more than 144 h after the weekly rest", afterWeeklyRest(six + "work 1:00"), late(1, h)},
    });
    // The weekly rest ended Tuesday 06:00; the card is downloaded on Monday while the next one runs.
    const std::int64_t previousEnd = utcDay(2024, 3, 5) + 6 * h;
    for (const auto& [last, expected] : {std::pair<const char*, std::vector<Finding>>{"work 13:00 rest 5:00 work 2:00 rest 22:00", {}},
                                         {"work 13:00 rest 5:00 work 7:00 rest 17:00", late(1, h, previousEnd)}}) {
        gen::Timeline history(utcDay(2024, 3, 3));
        history.add("rest 54:00 " + repeated("work 13:00 rest 11:00", 5) + last);
        EXPECT_EQ(findingsOf(strictFindingsOfDownload(history), "eu.561.weekly_rest_start"), expected) << last;
    }
}

// An 11 h rest ending Monday 00:00, then two weeks of four days of work with 11 h rests, a day of
// work followed by the week's weekly rest, and work up to the next Monday.
Timeline twoWeeks(int firstRestHours, int secondRestHours) {
    std::string blocks = "rest 11:00 ";
    for (int rest : {firstRestHours, secondRestHours}) {
        blocks += repeated("work 13:00 rest 11:00", 4) + "work 13:00 rest " + hm(rest * 60) + " work " + hm((168 - 96 - 13 - rest) * 60) + " ";
    }
    return timeline(kMonday - 11 * h, blocks + "rest 11:00");
}

TEST(WeeklyRest, TwoReducedWeeklyRestsInConsecutiveWeeks) {
    const std::int64_t start = kMonday + 7 * kDay + 109 * h;
    const Timeline both = twoWeeks(30, 30);
    // A 24 h weekly rest, then a 45 h one and an 11 h rest extended by the 21 h owed: the
    // compensation is not judged, and one reduced weekly rest in a pair is allowed.
    const Timeline compensated = timeline(kMonday - 11 * h, "rest 11:00 " + repeated("work 13:00 rest 11:00", 4) + "work 13:00 rest 24:00 work 11:00 " +
                                                                repeated("work 13:00 rest 11:00", 4) + "work 13:00 rest 45:00 work 13:00 rest 32:00 work 2:00");
    expectFindings("eu.561.weekly_rest_length", {
        {"30 h and 30 h: VSI on the second", both,
         {{"eu.561.weekly_rest.second_reduced_in_pair", 3, 30 * h, 162000, start, start + 30 * h, start + 30 * h}}},
        {"30 h then 45 h", twoWeeks(30, 45), {}},
        {"the data begins after the first Monday", Timeline(both.begin() + 2, both.end()), {}},
        {"a compensated reduced rest", compensated, {}},
    });
}

TEST(WorkingTime, SixtyHoursAWeekAndBreaksOfThirtyOrFortyFiveMinutes) {
    const auto week = [](const std::string& saturday) {
        return timeline(kMonday - 11 * h, "rest 11:00 " + repeated("work 5:00 drive 5:00 rest 14:00", 5) + saturday + " rest 24:00");
    };
    const auto over = [](std::int64_t value) {
        return std::vector<Finding>{{"eu.2002_15.weekly_working_time.over_60h", 0, value, 216000, kMonday, kMonday + 7 * kDay, kMonday + 7 * kDay}};
    };
    expectFindings("eu.2002_15.weekly_working_time", {
        {"exactly 60 h of work and driving", week("work 10:00 rest 14:00"), {}},
        {"60 h 1 min", week("work 10:01 rest 13:59"), over(216060)},
        {"60 h and one second", lengthened(week("work 10:00 rest 14:00"), 16, 1), over(216001)},
    });
    const std::int64_t t = kMonday + 6 * h;
    const std::string six = "eu.2002_15.breaks.six_hours_consecutive", total = "eu.2002_15.breaks.total_insufficient";
    const auto at = [&](const std::string& blocks) { return timeline(t - 11 * h, "rest 11:00 " + blocks); };
    const auto f = [&](const std::string& code, std::int64_t value, std::int64_t limit, std::int64_t end, std::int64_t when) {
        return Finding{code, 0, value, limit, t, t + end, t + when};
    };
    expectFindings("eu.2002_15.working_time_breaks", {
        {"exactly 6 h of work without a break", at("work 6:00 rest 11:00"), {}},
        {"6 h 1 min without a break", at("drive 3:00 work 3:01 break 0:30 work 1:00 rest 11:00"), {f(six, 21660, 21600, 361 * m, 360 * m)}},
        {"6 h and one second", lengthened(at("work 6:00 break 0:30 work 1:00 rest 11:00"), 1, 1), {f(six, 21601, 21600, 21601, 21600)}},
        {"two 10-minute breaks within 7 h count for nothing", at("work 3:00 break 0:10 work 2:00 break 0:10 work 2:00 rest 11:00"),
         {f(six, 25200, 21600, 440 * m, 380 * m), f(total, 0, 1800, 440 * m, 440 * m)}},
        {"9 h 30 with 30 and 10 min of breaks needs 45", at("work 4:00 break 0:30 work 3:00 break 0:10 work 2:30 rest 11:00"),
         {f(total, 1800, 2700, 610 * m, 610 * m)}},
        {"exactly 9 h with 30 min", at("work 4:30 break 0:30 work 4:30 rest 11:00"), {}},
        {"9 h 1 min with 30 min", at("work 4:30 break 0:30 work 4:31 rest 11:00"), {f(total, 1800, 2700, 571 * m, 571 * m)}},
        {"an unknown stretch ends the run and the period is not judged", at("work 4:00 unknown 0:10 work 4:00 break 0:10 work 0:30 rest 11:00"), {}},
    });
}

TEST(NightWork, TenHoursADayWithNightWorkOnTheGermanLegalTimeCalendar) {
    const std::string code = "eu.2002_15.night_work.daily_cap";
    const auto from = [](std::int64_t start, const char* blocks) { return timeline(start - 11 * h, std::string("rest 11:00 ") + blocks); };
    const std::int64_t early = kMonday + 5 * h + 59 * m;  // 06:59 local
    expectFindings("eu.2002_15.night_work", {
        {"10 h 1 min with one minute of night", from(early, "work 5:00 break 0:30 drive 5:01 rest 11:00"), {{code, 0, 36060, 36000, early, early + 631 * m, early + 631 * m}}},
        {"exactly 10 h with night work", from(early, "work 5:00 break 0:30 drive 5:00 rest 11:00"), {}},
        {"10 h 1 min all in daytime", from(kMonday + 6 * h, "work 5:00 break 0:30 drive 5:01 rest 11:00"), {}},
        {"availability at night is no night work", from(kMonday + 5 * h, "avail 1:00 work 5:00 break 0:30 drive 5:01 rest 11:00"), {}},
    });
}

TEST(RuleContext, RestPeriodsAreClassified) {
    const std::int64_t t = kMonday;
    struct Case { const char* name; const char* blocks; std::int64_t extraOnRest; std::vector<std::uint32_t> kinds; std::vector<int> split; };
    const Case cases[] = {
        {"3 h then 9 h within 24 h is a split daily rest", "drive 1:00 rest 3:00 drive 11:00 rest 9:00 drive 1:00", 0, {kRegularDailyRestKind}, {1}},
        {"9 h starting 24 h and 1 s after the first part", "drive 1:00 rest 3:00 drive 21:00 rest 9:00 drive 1:00", 1, {kReducedDailyRestKind}, {0}},
        {"a break under 3 h is no first part", "drive 1:00 rest 2:59 drive 11:00 rest 9:00 drive 1:00", 0, {kReducedDailyRestKind}, {0}},
        {"11 h is a regular daily rest", "drive 1:00 rest 11:00 drive 1:00", 0, {kRegularDailyRestKind}, {0}},
        {"24 h less one second is a daily rest", "drive 1:00 rest 24:00 drive 1:00", -1, {kRegularDailyRestKind}, {0}},
        {"exactly 24 h is a reduced weekly rest", "drive 1:00 rest 24:00 drive 1:00", 0, {kReducedWeeklyRestKind}, {0}},
        {"45 h is a regular weekly rest", "drive 1:00 rest 45:00 drive 1:00", 0, {kRegularWeeklyRestKind}, {0}},
        {"under 9 h is no rest period", "drive 1:00 rest 9:00 drive 1:00", -1, {}, {}},
    };
    for (const auto& c : cases) {
        const Timeline line = lengthened(timeline(t, c.blocks), 1, c.extraOnRest);
        std::vector<std::uint32_t> kinds;
        std::vector<int> split;
        for (const auto& p : buildRuleContext(line, {}).restPeriods) {
            kinds.push_back(p.kind);
            split.push_back(p.split);
            EXPECT_EQ(p.firstPartEnd, p.split ? line[1].end : 0) << c.name;
        }
        EXPECT_EQ(std::tie(kinds, split), std::tie(c.kinds, c.split)) << c.name;
    }
}

// The classes of each code at their bounds, and the flags a finding takes from its code.
TEST(ViolationCodes, ClassesAndFlags) {
    using C = ViolationCode;
    struct Case { C code; RuleId rule; std::int32_t limitIsMinimum, countValued; std::vector<std::pair<std::int64_t, std::string>> classes; };
    const Case cases[] = {
        {C::DailyDriving, RuleId::DailyDriving, 0, 0, {{32401, "MI"}, {35999, "MI"}, {36000, "SI"}, {39600, "VSI"}, {48599, "VSI"}, {48600, "MSI"}}},
        {C::DailyDrivingExtended, RuleId::DailyDriving, 0, 0, {{36001, "MI"}, {39600, "SI"}, {43200, "VSI"}, {54000, "MSI"}}},
        {C::DrivingWithoutBreak, RuleId::Breaks, 0, 0, {{16201, "MI"}, {18000, "SI"}, {21599, "SI"}, {21600, "VSI"}, {99999, "VSI"}}},
        {C::WeeklyDriving, RuleId::WeeklyDriving, 0, 0, {{201601, "MI"}, {216000, "SI"}, {234000, "VSI"}, {252000, "MSI"}}},
        {C::FortnightDriving, RuleId::FortnightDriving, 0, 0, {{324001, "MI"}, {360000, "SI"}, {378000, "VSI"}, {405000, "MSI"}}},
        {C::ReducedDailyRestTooShort, RuleId::DailyRest, 1, 0, {{32399, "MI"}, {28800, "MI"}, {28799, "SI"}, {25200, "SI"}, {25199, "VSI"}}},
        {C::RegularDailyRestTooShort, RuleId::DailyRest, 1, 0, {{36000, "MI"}, {35999, "SI"}, {30600, "SI"}, {30599, "VSI"}}},
        {C::SplitRestSecondPartShort, RuleId::DailyRest, 1, 0, {{28800, "MI"}, {25200, "SI"}, {0, "VSI"}}},
        {C::ReducedDailyRestCountExceeded, RuleId::DailyRestReducedCount, 0, 1, {{4, "UNCLASSIFIED"}}},
        {C::WeeklyRestStartLate, RuleId::WeeklyRestStart, 0, 0, {{1, "MI"}, {10799, "MI"}, {10800, "SI"}, {43200, "VSI"}}},
        {C::SecondReducedWeeklyRestInPair, RuleId::WeeklyRestLength, 1, 0, {{151200, "MI"}, {151199, "SI"}, {129600, "SI"}, {108000, "VSI"}}},
        {C::WeeklyWorkingTimeOver60h, RuleId::WeeklyWorkingTime, 0, 0, {{300000, "UNCLASSIFIED"}}},
        {C::SixHoursWorkWithoutBreak, RuleId::WorkingTimeBreaks, 0, 0, {{99999, "UNCLASSIFIED"}}},
        {C::WorkingTimeBreaksInsufficient, RuleId::WorkingTimeBreaks, 1, 0, {{0, "UNCLASSIFIED"}}},
        {C::NightWorkDailyCap, RuleId::NightWork, 0, 0, {{40000, "UNCLASSIFIED"}}},
    };
    ASSERT_EQ(violationCodes().size(), std::size(cases));
    for (const auto& c : cases) {
        const ViolationCodeInfo& info = violationCodeInfo(c.code);
        for (const auto& [measure, expected] : c.classes) EXPECT_EQ(severityText(infringementClass(info, measure)), expected) << info.code << " at " << measure;
        const LegalViolation v = makeLegalViolation(c.code, 1, 2, 3, 4);
        EXPECT_EQ(std::tie(v.code, v.rule, v.limit), std::tie(info.code, ruleInfo(c.rule).rule, info.limit));
        EXPECT_EQ(std::tuple(v.limitIsMinimum, v.countValued, v.value, v.start, v.end, v.when), std::tuple(c.limitIsMinimum, c.countValued, 1, 2, 3, 4)) << v.code;
    }
}

}  // namespace
}  // namespace ddd
