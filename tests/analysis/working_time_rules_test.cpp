// Working time under the road-transport working-time rules: the weekly cap, breaks, and the
// daily cap with night work on the German legal-time calendar.
#include <gtest/gtest.h>

#include "analysis/working_time_rules.h"
#include "tests/analysis/rule_test_support.h"

namespace ddd {
namespace {

using namespace test;

TEST(WeeklyWorkingTime, SixtyHoursAWeek) {
    const std::string code = "eu.2002_15.weekly_working_time.over_60h";
    const auto week = [&](const std::string& saturday) {
        return timeline(kMonday - 11 * h,
                        "rest 11:00 " + repeated("work 5:00 drive 5:00 rest 14:00", 5) + saturday + " rest 24:00");
    };
    const auto over = [&](std::int64_t value) {
        return std::vector<Finding>{{code, 0, value, 216000, kMonday, kMonday + 7 * kDay, kMonday + 7 * kDay}};
    };
    expectFindings("eu.2002_15.weekly_working_time", {
        {"exactly 60 h of work and driving", week("work 10:00 rest 14:00"), {}},
        {"60 h 1 min", week("work 10:01 rest 13:59"), over(216060)},
        {"60 h and one second", lengthened(week("work 10:00 rest 14:00"), 16, 1), over(216001)},
        {"availability does not count", week("work 10:00 avail 4:00 rest 10:00"), {}},
    });
}

TEST(WorkingTimeBreaks, SixHoursAtMostAndBreaksOfThirtyOrFortyFiveMinutes) {
    const std::int64_t t = kMonday + 6 * h;
    const std::string six = "eu.2002_15.breaks.six_hours_consecutive";
    const std::string total = "eu.2002_15.breaks.total_insufficient";
    const auto afterRest = [&](const std::string& blocks) { return timeline(t - 11 * h, "rest 11:00 " + blocks); };
    expectFindings("eu.2002_15.working_time_breaks", {
        {"exactly 6 h, then 30 min", "work 6:00 break 0:30 work 3:00 rest 11:00", {}},
        {"exactly 6 h of work without a break", "work 6:00 rest 11:00", {}},
        {"6 h 1 min without a break", "drive 3:00 work 3:01 break 0:30 work 1:00 rest 11:00",
         {{six, 0, 21660, 21600, t, t + 361 * m, t + 360 * m}}},
        {"15 min is a break", "work 6:00 break 0:15 work 2:00 break 0:15 work 0:30 rest 11:00", {}},
        {"two 10-minute breaks within 7 h count for nothing",
         "work 3:00 break 0:10 work 2:00 break 0:10 work 2:00 rest 11:00",
         {{six, 0, 25200, 21600, t, t + 440 * m, t + 380 * m}, {total, 0, 0, 1800, t, t + 440 * m, t + 440 * m}}},
        {"9 h 30 with 30 and 10 min of breaks needs 45",
         "work 4:00 break 0:30 work 3:00 break 0:10 work 2:30 rest 11:00",
         {{total, 0, 1800, 2700, t, t + 610 * m, t + 610 * m}}},
        {"exactly 9 h with 30 min", "work 4:30 break 0:30 work 4:30 rest 11:00", {}},
        {"9 h 1 min with 30 min", "work 4:30 break 0:30 work 4:31 rest 11:00",
         {{total, 0, 1800, 2700, t, t + 571 * m, t + 571 * m}}},
        {"availability is neither work nor a break", "work 4:00 avail 1:00 work 2:01 break 0:30 work 1:00 rest 11:00",
         {{six, 0, 21660, 21600, t, t + 421 * m, t + 420 * m}}},
        {"an unknown stretch ends the run and the period is not judged",
         "work 4:00 unknown 0:10 work 4:00 break 0:10 work 0:30 rest 11:00", {}},
    }, afterRest);
    expectFindings("eu.2002_15.working_time_breaks", {
        {"6 h and one second", lengthened(afterRest("work 6:00 break 0:30 work 1:00 rest 11:00"), 1, 1),
         {{six, 0, 21601, 21600, t, t + 21601, t + 21600}}},
    });
}

TEST(NightWork, NightWindowOnTheGermanLegalTimeCalendar) {
    struct Case { const char* name; std::int64_t from; std::int64_t to; std::int64_t night; };
    const Case cases[] = {
        {"winter 22:00 to 23:00 UTC is 23:00 local", gen::utcTime(2024, 1, 15, "22:00"), gen::utcTime(2024, 1, 15, "23:00"), 0},
        {"summer 22:00 to 23:00 UTC is 00:00 local", gen::utcTime(2024, 7, 15, "22:00"), gen::utcTime(2024, 7, 15, "23:00"),
         h},
        {"winter 04:00 to 06:00 UTC", gen::utcTime(2024, 1, 15, "04:00"), gen::utcTime(2024, 1, 15, "06:00"), 2 * h},
        {"the morning summer time begins", gen::utcTime(2024, 3, 31, "04:00"), gen::utcTime(2024, 3, 31, "06:00"), h},
        {"across the change to summer time", gen::utcTime(2024, 3, 31, "00:00"), gen::utcTime(2024, 3, 31, "03:00"), 3 * h},
        {"the morning summer time ends", gen::utcTime(2024, 10, 27, "04:00"), gen::utcTime(2024, 10, 27, "07:00"), 2 * h},
        {"across the change back", gen::utcTime(2024, 10, 26, "23:00"), gen::utcTime(2024, 10, 27, "03:00"), 4 * h},
        {"two nights", gen::utcTime(2024, 1, 15, "20:00"), gen::utcTime(2024, 1, 17, "08:00"), 14 * h},
        {"nothing", gen::utcTime(2024, 1, 15, "04:00"), gen::utcTime(2024, 1, 15, "04:00"), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(nightWorkingSeconds(c.from, c.to, RuleOptions{}), c.night) << c.name;
}

TEST(NightWork, TenHoursADayWithNightWork) {
    const std::string code = "eu.2002_15.night_work.daily_cap";
    // Work starting at `start` after an 11 h rest; local time is UTC+1 in March.
    const auto from = [](std::int64_t start, const char* blocks) {
        return timeline(start - 11 * h, std::string("rest 11:00 ") + blocks);
    };
    const std::int64_t early = kMonday + 5 * h + 59 * m;
    expectFindings("eu.2002_15.night_work", {
        {"10 h 1 min with one minute before 07:00 local", from(early, "work 5:00 break 0:30 drive 5:01 rest 11:00"),
         {{code, 0, 36060, 36000, early, early + 631 * m, early + 631 * m}}},
        {"exactly 10 h with night work", from(early, "work 5:00 break 0:30 drive 5:00 rest 11:00"), {}},
        {"10 h 1 min all in daytime", from(kMonday + 6 * h, "work 5:00 break 0:30 drive 5:01 rest 11:00"), {}},
        {"availability at night is no night work", from(kMonday + 5 * h, "avail 1:00 work 5:00 break 0:30 drive 5:01 rest 11:00"), {}},
    });
}

}  // namespace
}  // namespace ddd
