// Daily and weekly rests: the limits exactly and just beyond, split and reduced rests and their
// count, windows the data does not cover, and the two cases in which the plain algorithm would
// blame a driver who complied: a crew tour, and a download taken during the weekly rest.
#include <gtest/gtest.h>

#include "tests/analysis/rule_test_support.h"

namespace ddd {
namespace {

using namespace test;

constexpr const char* kDailyRest = "eu.561.daily_rest";  // and the reduced-rest count
constexpr const char* kWeeklyRestStart = "eu.561.weekly_rest_start";
constexpr const char* kWeeklyRestLength = "eu.561.weekly_rest_length";
const std::string kReducedTooShort = "eu.561.daily_rest.reduced_too_short";

// A 45 h weekly rest ending Monday 00:00, then the blocks.
Timeline afterWeeklyRest(const std::string& blocks) { return timeline(kMonday - 45 * h, "rest 45:00 " + blocks); }

TEST(DailyRest, RegularReducedAndSplitRests) {
    const std::int64_t t = kMonday;
    const std::string regular = "eu.561.daily_rest.regular_required_too_short";
    const std::string split = "eu.561.daily_rest.split_second_part_short";
    const std::string count = "eu.561.daily_rest.reduced_count_exceeded";
    expectFindings(kDailyRest, {
        {"exactly 11 h", "work 13:00 rest 11:00 work 13:00 rest 45:00", {}},
        {"10 h 59 is a reduced rest", "work 13:00 rest 10:59 work 13:00 rest 45:00", {}},
        {"9 h 1 min after 14 h 59 of work is a reduced rest", "work 14:59 rest 9:01 work 13:00 rest 45:00", {}},
        {"8 h 59 is too short, MI", "work 13:00 rest 8:59 work 2:01 rest 45:00",
         {{kReducedTooShort, 1, 32340, 32400, t, t + kDay, t + kDay}}},
        {"7 h 59 is SI", "work 13:00 rest 7:59 work 3:01 rest 45:00",
         {{kReducedTooShort, 2, 28740, 32400, t, t + kDay, t + kDay}}},
        {"6 h 59 is VSI", "work 13:00 rest 6:59 work 4:01 rest 45:00",
         {{kReducedTooShort, 3, 25140, 32400, t, t + kDay, t + kDay}}},
        {"9 h late in the window counts only in part", "work 16:00 rest 9:00 work 13:00 rest 45:00",
         {{kReducedTooShort, 1, 8 * h, 32400, t, t + kDay, t + kDay}}},
        {"3 h then 9 h is a split rest", "work 5:00 rest 3:00 work 7:00 rest 9:00 work 13:00 rest 45:00", {}},
        {"3 h then 8 h: the second part is short, MI", "work 5:00 rest 3:00 work 7:00 rest 8:00 work 1:00 rest 45:00",
         {{split, 1, 8 * h, 32400, t, t + kDay, t + kDay}}},
        {"three reduced rests between weekly rests", repeated("work 14:00 rest 10:00", 3) + "work 13:00 rest 45:00", {}},
        {"the fourth reduced rest: the count and the 11 h rest it needed",
         repeated("work 14:00 rest 10:00", 4) + "work 13:00 rest 45:00",
         {{count, 0, 4, 3, t, t + 96 * h, t + 96 * h}, {regular, 1, 36000, 39600, t + 72 * h, t + 96 * h, t + 96 * h}}},
        {"8 h 30 after three reduced rests: 11 h were required, SI",
         repeated("work 14:00 rest 10:00", 3) + "work 15:30 rest 8:30 work 13:00 rest 45:00",
         {{regular, 2, 30600, 39600, t + 72 * h, t + 96 * h, t + 96 * h}}},
        {"a stretch without data restarts the count",
         repeated("work 14:00 rest 10:00", 3) + "work 7:00 unknown 0:30 work 6:30 rest 10:00 " +
             repeated("work 14:00 rest 10:00", 2) + "work 13:00 rest 45:00", {}},
        {"a window beyond the end of the data", "work 13:00 rest 8:00", {}},
        {"a window holding an unknown stretch", "work 13:00 rest 7:00 unknown 1:00 work 3:00 rest 45:00", {}},
    }, afterWeeklyRest);
}

// Six days after a weekly rest that ends Monday 00:00: the next weekly rest begins exactly 144 h
// later, after `extra` more work.
Timeline weeklyRestAfter(const std::string& extra) {
    return afterWeeklyRest(repeated("work 13:00 rest 11:00", 5) + "work 13:00 rest 9:00 work 2:00 " + extra +
                           " rest 45:00 work 1:00");
}

TEST(WeeklyRest, BeginsWithinSixDaysOfThePrevious) {
    const std::int64_t t = kMonday;
    const std::string late = "eu.561.weekly_rest.start_late";
    const auto finding = [&](std::int32_t severity, std::int64_t excess, std::int64_t from = kMonday) {
        return std::vector<Finding>{{late, severity, 518400 + excess, 518400, from, from + 518400 + excess, from + 518400}};
    };
    expectFindings(kWeeklyRestStart, {
        {"exactly 144 h", weeklyRestAfter(""), {}},
        {"one second late is MI", lengthened(weeklyRestAfter(""), 13, 1), finding(1, 1)},
        {"one minute late is MI", weeklyRestAfter("work 0:01"), finding(1, 60)},
        {"3 h late is SI", weeklyRestAfter("work 3:00"), finding(2, 3 * h)},
        {"12 h late is VSI", weeklyRestAfter("work 12:00"), finding(3, 12 * h)},
        {"a gap holding an unknown stretch", afterWeeklyRest(repeated("work 13:00 rest 11:00", 5) +
                                                             "work 13:00 unknown 1:00 work 12:00 rest 45:00"), {}},
        {"before the first weekly rest, from the end of the first rest",
         timeline(t, repeated("work 13:00 rest 11:00", 7) + "work 1:00"), finding(1, h, t + 24 * h)},
        {"the data ends in a rest that began in time",
         timeline(t, repeated("work 13:00 rest 11:00", 6) + "work 13:00 rest 20:00"), {}},
        {"the data ends in a rest that began 144 h after the first rest",
         timeline(t, repeated("work 13:00 rest 11:00", 6) + "work 24:00 rest 20:00"), {}},
        {"the data ends in a rest that began one minute late",
         timeline(t, repeated("work 13:00 rest 11:00", 6) + "work 24:01 rest 20:00"), finding(1, m, t + 24 * h)},
        {"the data ends in a rest that began in time after a weekly rest",
         afterWeeklyRest(repeated("work 13:00 rest 11:00", 5) + "work 13:00 rest 20:00"), {}},
        {"the data ends in a rest that began 13 h late, VSI",
         afterWeeklyRest(repeated("work 13:00 rest 11:00", 6) + "work 13:00 rest 20:00"), finding(3, 13 * h)},
        {"the data ends in work more than 144 h after the weekly rest",
         afterWeeklyRest(repeated("work 13:00 rest 11:00", 6) + "work 1:00"), finding(1, h)},
    });
}

// An 11 h rest ending Monday 00:00, then two weeks: four days of work and an 11 h rest, a day of
// work followed by the weekly rest of the week, and work up to the next Monday.
Timeline twoWeeks(int firstRestHours, int secondRestHours) {
    std::string blocks = "rest 11:00 ";
    for (int rest : {firstRestHours, secondRestHours}) {
        blocks += repeated("work 13:00 rest 11:00", 4) + "work 13:00 rest " + hm(rest * 60) + " work " +
                  hm((168 - 96 - 13 - rest) * 60) + " ";
    }
    return timeline(kMonday - 11 * h, blocks + "rest 11:00");
}

TEST(WeeklyRest, TwoReducedWeeklyRestsInConsecutiveWeeks) {
    const std::string code = "eu.561.weekly_rest.second_reduced_in_pair";
    const std::int64_t secondStart = kMonday + 7 * kDay + 109 * h;
    const Timeline both = twoWeeks(30, 30);
    expectFindings(kWeeklyRestLength, {
        {"30 h and 30 h: VSI on the second", twoWeeks(30, 30),
         {{code, 3, 30 * h, 162000, secondStart, secondStart + 30 * h, secondStart + 30 * h}}},
        {"30 h and 43 h: MI", twoWeeks(30, 43),
         {{code, 1, 43 * h, 162000, secondStart, secondStart + 43 * h, secondStart + 43 * h}}},
        {"30 h and 36 h: SI", twoWeeks(30, 36),
         {{code, 2, 36 * h, 162000, secondStart, secondStart + 36 * h, secondStart + 36 * h}}},
        {"45 h then 30 h", twoWeeks(45, 30), {}},
        {"30 h then 45 h", twoWeeks(30, 45), {}},
        {"the data begins after the first Monday", Timeline(both.begin() + 2, both.end()), {}},
    });
}

TEST(WeeklyRest, ReducedWeeklyRestWithCompensationIsNotAssessed) {
    // A 24 h weekly rest followed by a 45 h one and an 11 h rest extended by the 21 h owed: the
    // compensation is not judged, and one reduced weekly rest in a pair is allowed.
    const Timeline t = timeline(kMonday - 11 * h, "rest 11:00 " + repeated("work 13:00 rest 11:00", 4) +
                                                     "work 13:00 rest 24:00 work 11:00 " +
                                                     repeated("work 13:00 rest 11:00", 4) +
                                                     "work 13:00 rest 45:00 work 13:00 rest 32:00 work 2:00");
    EXPECT_TRUE(findingsOf(strictFindings(t), kWeeklyRestLength).empty());
}

// A crew's day of 21 h: driving and availability, 45 min of break, 30 min of work at each end.
std::string crewDuty(bool crew) {
    const std::string c = crew ? "+crew" : "";
    return "work 0:30 drive" + c + " 4:30 avail" + c + " 4:30 drive" + c + " 4:30 break 0:45 drive" + c + " 4:00 avail" +
           c + " 1:45 work 0:30 ";
}

// Three crew days of 21 h, each followed by `restHours` of rest, between two weekly rests, as a
// generated card download.
gen::Timeline crewTour(bool crew, const std::string& dailyRest) {
    gen::Timeline tour(utcDay(2024, 3, 3));
    tour.add("rest 45:00 " + crewDuty(crew) + dailyRest + " " + crewDuty(crew) + dailyRest + " " + crewDuty(crew) +
             "rest 45:00");
    return tour;
}

TEST(DailyRest, CrewsNeedNineHoursWithinThirtyHours) {
    const std::int64_t first = utcDay(2024, 3, 3) + 45 * h;  // end of the first weekly rest
    const auto solo = [&](std::int64_t restEnd) {
        return Finding{kReducedTooShort, 3, 3 * h, 32400, restEnd, restEnd + kDay, restEnd + kDay};
    };
    struct Case { const char* name; gen::Timeline tour; std::vector<Finding> expected; };
    const Case cases[] = {
        {"21 h of crew duty, then 9 h of rest", crewTour(true, "rest 9:00"), {}},
        {"the same tour driven alone: 3 h of rest in each 24 h", crewTour(false, "rest 9:00"),
         {solo(first), solo(first + 30 * h), solo(first + 60 * h)}},
        {"a crew resting 8 h: too short within 30 h, MI", crewTour(true, "rest 8:00"),
         {{kReducedTooShort, 1, 8 * h, 32400, first, first + 30 * h, first + 30 * h}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(findingsOf(strictFindingsOfDownload(c.tour), kDailyRest), c.expected) << c.name;
    }
}

TEST(DailyRest, CrewRestsAreNotCountedAsReduced) {
    // Three solo reduced rests, then a crew tour with 9 h rests: no count finding.
    gen::Timeline history(utcDay(2024, 3, 3));
    history.add("rest 45:00 " + repeated("work 14:00 rest 10:00", 3) + crewDuty(true) + "rest 9:00 " + crewDuty(true) +
                "rest 9:00 " + crewDuty(true) + "rest 45:00");
    EXPECT_EQ(findingsOf(strictFindingsOfDownload(history), kDailyRest), std::vector<Finding>{});
}

// The weekly rest ended Tuesday 06:00; six days of work later the driver begins the next weekly
// rest and the card is downloaded on Monday while he rests.
TEST(WeeklyRest, DownloadDuringTheWeeklyRest) {
    const std::int64_t previousEnd = utcDay(2024, 3, 5) + 6 * h;
    const std::string late = "eu.561.weekly_rest.start_late";
    struct Case {
        const char* name;
        std::string lastBlocks;  // from Sunday 06:00 to Tuesday 00:00
        std::vector<Finding> expected;
    };
    const Case cases[] = {
        {"the rest began Monday 02:00, in time", "work 13:00 rest 5:00 work 2:00 rest 22:00", {}},
        {"the rest began Monday 07:00, an hour late", "work 13:00 rest 5:00 work 7:00 rest 17:00",
         {{late, 1, 145 * h, 518400, previousEnd, previousEnd + 145 * h, previousEnd + 144 * h}}},
    };
    for (const auto& c : cases) {
        gen::Timeline history(utcDay(2024, 3, 3));
        history.add("rest 54:00 " + repeated("work 13:00 rest 11:00", 5) + c.lastBlocks);
        EXPECT_EQ(findingsOf(strictFindingsOfDownload(history), kWeeklyRestStart), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace ddd
