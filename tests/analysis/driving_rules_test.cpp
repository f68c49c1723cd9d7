// Daily, weekly and fortnightly driving and the break after 4 h 30 min: every limit exactly,
// one minute (or one second) over, and the classes.
#include <gtest/gtest.h>

#include "tests/analysis/rule_test_support.h"

namespace ddd {
namespace {

using namespace test;

constexpr const char* kDailyDriving = "eu.561.daily_driving";
constexpr const char* kBreaks = "eu.561.breaks";
constexpr const char* kWeekly = "eu.561.weekly_driving";
constexpr const char* kFortnight = "eu.561.fortnight_driving";

// After an 11 h rest ending Monday 00:00, one day each: 30 min of work, then the driving, then
// rest to the next midnight; an 11 h rest closes the last day.
Timeline drivingDays(const std::vector<int>& drivingMinutes) {
    std::string blocks = "rest 11:00 ";
    for (int d : drivingMinutes) {
        blocks += "work 0:30 " + (d > 0 ? "drive " + hm(d) + " " : std::string()) + "rest " + hm(24 * 60 - 30 - d) + " ";
    }
    return timeline(kMonday - 11 * h, blocks + "rest 11:00");
}

// The daily work period of day `day` of drivingDays.
Finding dayFinding(const char* code, std::int32_t severity, int day, int drivingMinutes) {
    const std::int64_t start = kMonday + day * kDay;
    const std::int64_t end = start + 30 * m + drivingMinutes * m;
    const std::int64_t limit = std::string_view(code).ends_with("extended") ? 36000 : 32400;
    return {code, severity, drivingMinutes * m, limit, start, end, end};
}

TEST(DailyDriving, NineHoursExtendableToTenTwiceAWeek) {
    expectFindings(kDailyDriving, {
        {"four days of 9 h 30: the third and the fourth", drivingDays({570, 570, 570, 570}),
         {dayFinding(kDailyDriving, 1, 2, 570), dayFinding(kDailyDriving, 1, 3, 570)}},
        {"exactly 9 h uses no extension", drivingDays({540, 570, 570, 570}), {dayFinding(kDailyDriving, 1, 3, 570)}},
        {"9 h 1 min on the third day", drivingDays({570, 570, 541}), {dayFinding(kDailyDriving, 1, 2, 541)}},
        {"10 h 30 on the first day: extended, and the extension is used up", drivingDays({630, 570, 570}),
         {dayFinding("eu.561.daily_driving.extended", 1, 0, 630), dayFinding(kDailyDriving, 1, 2, 570)}},
        {"exactly 10 h on both extension days", drivingDays({600, 600}), {}},
        {"10 h 1 min on an extension day", drivingDays({601}), {dayFinding("eu.561.daily_driving.extended", 1, 0, 601)}},
        {"9 h limit: 9 h 59 is MI", drivingDays({570, 570, 599}), {dayFinding(kDailyDriving, 1, 2, 599)}},
        {"9 h limit: 10 h is SI", drivingDays({570, 570, 600}), {dayFinding(kDailyDriving, 2, 2, 600)}},
        {"9 h limit: 11 h is VSI", drivingDays({570, 570, 660}), {dayFinding(kDailyDriving, 3, 2, 660)}},
        {"9 h limit: 13 h 30 is MSI", drivingDays({570, 570, 810}), {dayFinding(kDailyDriving, 4, 2, 810)}},
        {"10 h limit: 11 h is SI", drivingDays({660}), {dayFinding("eu.561.daily_driving.extended", 2, 0, 660)}},
        {"10 h limit: 12 h is VSI", drivingDays({720}), {dayFinding("eu.561.daily_driving.extended", 3, 0, 720)}},
        {"10 h limit: 15 h is MSI", drivingDays({900}), {dayFinding("eu.561.daily_driving.extended", 4, 0, 900)}},
        {"a new week brings new extensions", drivingDays({570, 570, 570, 0, 0, 0, 0, 570, 570}),
         {dayFinding(kDailyDriving, 1, 2, 570)}},
    });
}

TEST(DailyDriving, PeriodsWithoutCompleteDataAreNotChecked) {
    const std::int64_t t = kMonday;
    expectFindings(kDailyDriving, {
        {"begins with the data", timeline(t, "drive 10:30 rest 11:00"), {}},
        {"ends with the data", timeline(t, "rest 11:00 drive 10:30"), {}},
        {"holds an unknown stretch", timeline(t, "rest 11:00 drive 5:30 unknown 0:10 drive 5:00 rest 11:00"), {}},
        {"holds a hole", withHole(timeline(t, "rest 11:00 drive 5:30 drive 5:00 rest 11:00"), 1, 60), {}},
    });
}

TEST(Breaks, FortyFiveMinutesAfterFourAndAHalfHoursOfDriving) {
    const std::int64_t t = kMonday + 6 * h;
    const std::string code = "eu.561.breaks.driving_without_break";
    const auto at = [&](const char* blocks) { return timeline(t, blocks); };
    const Timeline contiguous = at("drive 4:30 drive 1:00 break 0:45");
    expectFindings(kBreaks, {
        {"4 h 30 then a 45 min break", at("drive 4:30 break 0:45 drive 4:30 rest 11:00"), {}},
        {"4 h 31: MI, dated at the 4 h 30 mark", at("drive 4:31 break 0:45"),
         {{code, 1, 16260, 16200, t, t + 271 * m, t + 270 * m}}},
        {"15 min then 30 min qualifies", at("drive 2:00 break 0:15 drive 2:30 break 0:30 drive 4:30 rest 11:00"), {}},
        {"20 min then 30 min qualifies", at("drive 2:00 break 0:20 drive 2:00 break 0:30 drive 4:00 rest 11:00"), {}},
        {"30 min then 15 min does not", at("drive 2:00 break 0:30 drive 2:30 break 0:15 drive 0:30 rest 11:00"),
         {{code, 2, 18000, 16200, t, t + 345 * m, t + 315 * m}}},
        {"14 min is no first part", at("drive 2:00 break 0:14 drive 2:00 break 0:30 drive 1:00 rest 11:00"),
         {{code, 2, 18000, 16200, t, t + 344 * m, t + 314 * m}}},
        {"work and availability are no break", at("drive 3:00 work 0:30 avail 0:30 drive 1:31 break 0:45"),
         {{code, 1, 16260, 16200, t, t + 331 * m, t + 330 * m}}},
        {"an unknown stretch ends the sequence", at("drive 3:00 unknown 0:10 drive 3:00 break 0:45"), {}},
        {"touching rest stretches make one break", at("drive 4:30 break 0:20 break+absent 0:25 drive 4:30 break 0:45"), {}},
        {"4 h 59 is MI", at("drive 4:59 break 0:45"), {{code, 1, 17940, 16200, t, t + 299 * m, t + 270 * m}}},
        {"5 h is SI", at("drive 5:00 break 0:45"), {{code, 2, 18000, 16200, t, t + 300 * m, t + 270 * m}}},
        {"6 h is VSI", at("drive 6:00 break 0:45"), {{code, 3, 21600, 16200, t, t + 360 * m, t + 270 * m}}},
        {"the end of the data ends the sequence", at("drive 5:00"), {{code, 2, 18000, 16200, t, t + 300 * m, t + 270 * m}}},
        {"a break across midnight", at("drive 4:30 break 0:45 drive 4:30 break 0:45 drive 4:30 break 0:45 drive 4:30 rest 9:00"), {}},
        {"16201 s", lengthened(at("drive 4:30 break 0:45"), 0, 1), {{code, 1, 16201, 16200, t, t + 16201, t + 16200}}},
        {"contiguous driving stretches", contiguous, {{code, 2, 19800, 16200, t, t + 330 * m, t + 270 * m}}},
        {"a one-second hole ends the sequence", withHole(contiguous, 0, 1), {}},
    });
}

// An 11 h rest ending Monday 00:00, then each day driving and rest to the next midnight.
Timeline weeksOfDriving(const std::vector<int>& drivingMinutes) {
    std::string blocks = "rest 11:00 ";
    for (int d : drivingMinutes) {
        blocks += (d > 0 ? "drive " + hm(d) + " " : std::string()) + (d < 1440 ? "rest " + hm(1440 - d) + " " : "");
    }
    return timeline(kMonday - 11 * h, blocks);
}

TEST(WeeklyDriving, FiftySixHoursAWeek) {
    const std::string code = "eu.561.weekly_driving.limit";
    const std::int64_t sunday8 = kMonday + 6 * kDay + 8 * h;
    const auto week = [&](std::int32_t severity, std::int64_t value) {
        return std::vector<Finding>{{code, severity, value, 201600, kMonday, kMonday + 7 * kDay, sunday8}};
    };
    expectFindings(kWeekly, {
        {"exactly 56 h", weeksOfDriving({480, 480, 480, 480, 480, 480, 480}), {}},
        {"56 h 1 min is MI", weeksOfDriving({480, 480, 480, 480, 480, 480, 481}), week(1, 201660)},
        {"56 h and one second is MI", lengthened(weeksOfDriving({480, 480, 480, 480, 480, 480, 480}), 13, 1),
         week(1, 201601)},
        {"60 h is SI", weeksOfDriving({480, 480, 480, 480, 480, 480, 720}), week(2, 216000)},
        {"65 h is VSI", weeksOfDriving({480, 480, 480, 480, 480, 480, 1020}), week(3, 234000)},
        {"70 h is MSI", weeksOfDriving({480, 480, 480, 480, 480, 480, 1320}), week(4, 252000)},
        {"driving across Monday 00:00 is split between the weeks",
         timeline(kMonday - 11 * h, "rest 11:00 " + repeated("drive 8:00 rest 16:00", 6) + "rest 15:00 drive 10:00 rest 23:00"),
         {{code, 1, 205200, 201600, kMonday, kMonday + 7 * kDay, kMonday + 6 * kDay + 23 * h}}},
    });
}

TEST(FortnightDriving, NinetyHoursInTwoConsecutiveWeeks) {
    const std::string code = "eu.561.fortnight_driving.limit";
    const std::vector<int> fifty{600, 600, 600, 600, 600, 0, 0};
    const auto weeks = [](std::vector<int> first, const std::vector<int>& second) {
        first.insert(first.end(), second.begin(), second.end());
        return weeksOfDriving(first);
    };
    // Driving passes 90 h where it first goes beyond it, not where it reaches it.
    const std::int64_t thursday10 = kMonday + 10 * kDay + 10 * h;
    expectFindings(kFortnight, {
        {"two weeks of 50 h: the first fortnight is SI, the second week alone is fine", weeks(fifty, fifty),
         {{code, 2, 360000, 324000, kMonday, kMonday + 14 * kDay, kMonday + 11 * kDay}}},
        {"exactly 90 h", weeks(fifty, {600, 600, 600, 600, 0, 0, 0}), {}},
        {"90 h 1 min is MI", weeks(fifty, {600, 600, 600, 601, 0, 0, 0}),
         {{code, 1, 324060, 324000, kMonday, kMonday + 14 * kDay, thursday10}}},
        {"weeks that do not follow each other", weeks(fifty, {0, 0, 0, 0, 0, 0, 0, 600, 600, 600, 600, 600}), {}},
    });
}

}  // namespace
}  // namespace ddd
