#include <gtest/gtest.h>

#include "analysis/shifts.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;

const std::int64_t kMonday = utcDay(2024, 3, 4);
constexpr std::int64_t h = kHour;

struct Window { std::int64_t start; std::int64_t end; bool operator==(const Window&) const = default; };

std::vector<Window> windowsOf(const std::vector<CoreShift>& shifts) {
    std::vector<Window> out;
    for (const auto& s : shifts) out.push_back({s.start, s.end});
    return out;
}

TEST(Shifts, EndAtTheRestThatServesAsDailyRest) {
    const std::int64_t S = kMonday;
    struct Case { const char* name; Timeline timeline; std::vector<Window> expected; };
    const Case cases[] = {
        {"a rest of exactly 7 h never ends a shift", timeline(S, "drive 4:00 rest 7:00 drive 4:00 rest 10:00"),
         {{S, S + 15 * h}}},
        {"a rest of 7 h and one second can",
         lengthened(timeline(S, "drive 4:00 rest 7:00 drive 4:00 rest 10:00"), 1, 1),
         {{S, S + 4 * h}, {S + 11 * h + 1, S + 15 * h + 1}}},
        {"a rest starting between 15 h and 17 h beats a shorter earlier one",
         timeline(S, "drive 6:00 rest 7:30 drive 2:30 rest 9:00 drive 1:00"),
         {{S, S + 16 * h}, {S + 25 * h, S + 26 * h}}},
        {"the last 9 h rest within 15 h beats later rests",
         timeline(S, "drive 5:00 rest 9:00 drive 1:00 rest 8:00 drive 1:00"),
         {{S, S + 5 * h}, {S + 14 * h, S + 15 * h}, {S + 23 * h, S + 24 * h}}},
        {"without a 9 h rest, the last long rest within 15 h",
         timeline(S, "drive 3:00 rest 7:30 drive 2:00 rest 8:00 drive 1:00"),
         {{S, S + 12 * h + 1800}, {S + 20 * h + 1800, S + 21 * h + 1800}}},
        {"beyond 17 h the first long rest ends the shift",
         timeline(S, "drive 4:00 rest 5:00 drive 4:00 rest 5:00 drive 4:00 rest 5:00 drive 4:00 rest 8:00 drive 1:00"),
         {{S, S + 31 * h}, {S + 39 * h, S + 40 * h}}},
        {"with no rest longer than 7 h everything is one shift",
         timeline(S, "rest 2:00 drive 4:00 rest 6:00 drive 4:00 rest 6:00 work 4:00 rest 3:00"),
         {{S + 2 * h, S + 26 * h}}},
        {"unknown and card-absent time separate blocks like rest",
         timeline(S, "drive 4:00 unknown+absent 10:00 drive 4:00 unknown 8:00 work 1:00"),
         {{S, S + 4 * h}, {S + 14 * h, S + 18 * h}, {S + 26 * h, S + 27 * h}}},
        {"no work at all gives no shift", timeline(S, "rest 24:00 unknown+absent 24:00"), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(windowsOf(buildShifts(c.timeline, {}, {})), c.expected) << c.name;
    EXPECT_TRUE(buildShifts({}, {}, {}).empty());
}

TEST(Shifts, FerryAndOutOfScopePeriods) {
    const std::int64_t S = kMonday;
    // 08:00-16:00 driving, 16:00-21:00 rest, 21:00-21:30 work, 21:30-03:30 rest, 03:30-05:30 driving.
    const Timeline crossing = timeline(S + 8 * h, "drive 8:00 rest 5:00 work 0:30 rest 6:00 drive 2:00");
    const std::int64_t ferry = S + 20 * h + 40 * 60;
    struct Case {
        const char* name;
        std::vector<TimedCode> conditions;
        std::vector<TimedCode> places;
        std::vector<Window> expected;
        std::vector<int> outOfScope;
    };
    const Case cases[] = {
        {"without a crossing the short rests keep one shift", {}, {}, {{S + 8 * h, S + 29 * h + 1800}}, {0}},
        {"work on a ferry interrupts the rest", {{ferry, 3}}, {},
         {{S + 8 * h, S + 16 * h}, {S + 27 * h + 1800, S + 29 * h + 1800}}, {0, 0}},
        {"a crossing instant is taken to the minute", {{ferry + 59, 3}}, {}, {{S + 8 * h, S + 16 * h}, {S + 27 * h + 1800, S + 29 * h + 1800}}, {0, 0}},
        {"work beginning a new working day is no interruption", {{ferry, 3}}, {{S + 21 * h, 0}},
         {{S + 8 * h, S + 29 * h + 1800}}, {0}},
        {"work more than an hour after the crossing began is no interruption", {{S + 19 * h, 3}}, {},
         {{S + 8 * h, S + 29 * h + 1800}}, {0}},
        {"work overlapping an out-of-scope period forms no block", {{S + 10 * h, 1}, {S + 12 * h, 2}}, {},
         {{S + 21 * h, S + 29 * h + 1800}}, {0}},
        {"an out-of-scope period inside a shift flags it", {{S + 17 * h, 1}, {S + 18 * h, 2}}, {},
         {{S + 8 * h, S + 29 * h + 1800}}, {1}},
        {"an out-of-scope begin still open lasts to the end of the data", {{S + 21 * h, 1}}, {},
         {{S + 8 * h, S + 16 * h}}, {0}},
        {"an out-of-scope end without begin is ignored", {{S + 12 * h, 2}}, {}, {{S + 8 * h, S + 29 * h + 1800}}, {0}},
    };
    for (const auto& c : cases) {
        const auto shifts = buildShifts(crossing, c.conditions, c.places);
        EXPECT_EQ(windowsOf(shifts), c.expected) << c.name;
        std::vector<int> flags;
        for (const auto& s : shifts) flags.push_back(s.outOfScope);
        EXPECT_EQ(flags, c.outOfScope) << c.name;
    }
}

TEST(Shifts, TotalsPerActivity) {
    const Timeline t = timeline(kMonday, "rest 5:00 drive 2:00 break 0:45 work 1:00 avail 0:30 unknown 0:15 drive 1:00 rest 11:00");
    const auto shifts = buildShifts(t, {}, {});
    ASSERT_EQ(shifts.size(), 1u);
    const CoreShift expected{kMonday + 5 * h, kMonday + 10 * h + 1800, 3 * h, h, 1800, 2700, 900, 6, 0};
    EXPECT_EQ(shifts[0], expected);
}

TEST(CountedStretches, LeaveOutWholeDaysWithoutCard) {
    const std::int64_t d = kMonday;
    struct Case { const char* name; Timeline in; Timeline out; };
    const Case cases[] = {
        {"a whole UTC day of card-absent unknown is left out",
         {{d, d + kDay, kUnknownActivity, 1}, {d + kDay, d + kDay + h, 3, 0}}, {{d + kDay, d + kDay + h, 3, 0}}},
        {"a whole day of card-absent rest is left out", {{d, d + kDay, 0, 1}}, {}},
        {"a whole day of card-absent driving counts", {{d, d + kDay, 3, 1}}, {{d, d + kDay, 3, 1}}},
        {"a part of a day counts", {{d + h, d + kDay, kUnknownActivity, 1}}, {{d + h, d + kDay, kUnknownActivity, 1}}},
        {"a day not aligned to midnight counts", {{d + h, d + kDay + h, 0, 1}}, {{d + h, d + kDay + h, 0, 1}}},
        {"overlaps are clipped away", {{d, d + 2 * h, 0, 0}, {d + h, d + 3 * h, 3, 0}, {d + h, d + 2 * h, 2, 0}},
         {{d, d + 2 * h, 0, 0}, {d + 2 * h, d + 3 * h, 3, 0}}},
    };
    for (const auto& c : cases) EXPECT_EQ(countedStretches(c.in), c.out) << c.name;
}

TEST(ShiftDetails, DayAndNightMinutes) {
    // Driving 05:00-07:00 and 21:30-22:30 (UTC), work 07:00-21:30.
    const Timeline t = timeline(kMonday, "rest 5:00 drive 2:00 work 14:30 drive 1:00 rest 12:00");
    const auto shifts = buildShifts(t, {}, {});
    const auto details = buildShiftDetails(shifts, t, {});
    ASSERT_EQ(details.size(), 1u);
    EXPECT_EQ(details[0].drive, (DayNightMinutes{90, 90, 180}));
    EXPECT_EQ(details[0].work, (DayNightMinutes{870, 0, 870}));
    EXPECT_EQ(details[0].breakTime, (DayNightMinutes{}));
}

TEST(ShiftDetails, StopsActsAndSplitRest) {
    // Two driving stretches in a row (a crew change) count as one act; break and unknown in a row
    // as one stop. The 3 h break is the first part of a split rest as the rest after is short.
    const Timeline t =
        timeline(kMonday, "rest 6:00 drive 2:00 drive 2:00 break 3:00 unknown 0:30 work 3:30 rest 9:00 drive 1:00");
    const auto shifts = buildShifts(t, {}, {});
    const auto details = buildShiftDetails(shifts, t, {});
    ASSERT_EQ(details.size(), 2u);
    EXPECT_EQ(shifts[0].pieces, 5);
    EXPECT_EQ(details[0].acts, 4);
    EXPECT_EQ(details[0].stops, 1);
    EXPECT_EQ(details[0].rest, 540);
    EXPECT_EQ(details[0].restCompensated, 540) << "1440 minus the 11 h shift is 780, more than the rest";
    EXPECT_EQ(details[0].restSplit, 180);
    EXPECT_FALSE(details[0].weekly);
}

TEST(ShiftDetails, CompensatedRest) {
    struct Case { const char* name; std::string blocks; std::size_t shift; std::int64_t rest, compensated; bool weekly; };
    const Case cases[] = {
        {"daily rest counted within 24 h of the shift start", "work 2:00 avail 2:59 drive 4:00 rest 20:00 drive 1:00", 0,
         1200, 1440 - 539, false},
        {"3 h of availability: within 30 h", "work 2:00 avail 3:00 drive 4:00 rest 20:00 drive 1:00", 0, 1200, 1200, false},
        {"a 45 h rest counts whole", "drive 9:00 rest 45:00 drive 1:00", 0, 2700, 2700, true},
        {"the last shift has no rest after it", "drive 9:00 rest 45:00", 0, 0, 0, false},
        // Only a candidate at first: weekly once a later shift ends 4.8 days after the period start.
        {"a 30 h rest after the second day becomes weekly as the week runs on",
         "drive 9:00 rest 15:00 drive 9:00 rest 30:00 drive 9:00 rest 15:00 drive 9:00 rest 15:00 drive 9:00 rest 15:00 "
         "drive 9:00 rest 15:00 drive 1:00", 1, 1800, 1800, true},
    };
    for (const auto& c : cases) {
        const Timeline t = timeline(kMonday, c.blocks);
        const auto details = buildShiftDetails(buildShifts(t, {}, {}), t, {});
        ASSERT_GT(details.size(), c.shift) << c.name;
        EXPECT_EQ(details[c.shift].rest, c.rest) << c.name;
        EXPECT_EQ(details[c.shift].restCompensated, c.compensated) << c.name;
        EXPECT_EQ(details[c.shift].weekly, c.weekly) << c.name;
    }
}

TEST(ShiftDetails, ShortWeeklyRestLateInTheWeek) {
    // Five working days with 12 h rests, then a 30 h rest: weekly, as it begins after 4.8 days.
    std::string blocks;
    for (int i = 0; i < 5; ++i) blocks += "drive 9:00 work 3:00 rest 12:00 ";
    blocks += "drive 9:00 rest 30:00 drive 9:00 rest 12:00 drive 1:00";
    const Timeline t = timeline(kMonday, blocks);
    const auto details = buildShiftDetails(buildShifts(t, {}, {}), t, {});
    ASSERT_EQ(details.size(), 8u);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(details[i].weekly) << i;
    EXPECT_TRUE(details[5].weekly);
    EXPECT_EQ(details[5].restCompensated, 1800);
    EXPECT_EQ(details.back().rest, 0);
    EXPECT_FALSE(details.back().weekly) << "the rest after the last shift is not known yet";
}

TEST(ShiftDetails, VehiclesAndDistance) {
    // Shift 1 06:00-14:00 (8 h driving), shift 2 next day 01:00-03:00 (2 h driving).
    const Timeline t = timeline(kMonday, "rest 6:00 drive 4:00 drive 4:00 rest 11:00 drive 2:00 rest 10:00");
    const std::int64_t d = kMonday;
    const std::vector<CardVehicleRecord> vehicles{
        {1000, 1280, d + 5 * h, d + 10 * h, {13, "B-AB 1"}, 0, false, ""},
        // One use across both shifts: 6 h of driving, 4 h in the first shift and 2 h in the second.
        {5000, 5600, d + 10 * h, d + 27 * h, {13, "B-CD 2"}, 0, false, ""},
        {7000, 6000, d + 11 * h, d + 12 * h, {13, "B-AB 1"}, 0, false, ""},
        // Still in use when the card was downloaded: neither end odometer nor last use written.
        {9000, 0xFFFFFF, d + 26 * h, 0xFFFFFFFF, {13, "B-EF 3"}, 0, false, ""},
    };
    const auto details = buildShiftDetails(buildShifts(t, {}, {}), t, vehicles);
    ASSERT_EQ(details.size(), 2u);
    EXPECT_EQ(details[0].vehicle, "B-AB 1, B-CD 2");
    EXPECT_EQ(details[0].distance, 280 + 400) << "an odometer running backwards adds nothing";
    EXPECT_EQ(details[1].vehicle, "B-CD 2, B-EF 3");
    EXPECT_EQ(details[1].distance, 200);
}

}  // namespace
}  // namespace ddd
