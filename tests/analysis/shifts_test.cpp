// Shifts cut from the timeline at the rests that serve as daily rest, their totals, day and night
// minutes, vehicles and the rest after each.
#include <gtest/gtest.h>

#include "analysis/shifts.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;

const std::int64_t S = kMonday;

using Windows = std::vector<std::pair<std::int64_t, std::int64_t>>;

Windows windowsOf(const std::vector<CoreShift>& shifts) {
    Windows out;
    for (const auto& s : shifts) out.push_back({s.start, s.end});
    return out;
}

TEST(Shifts, EndAtTheRestThatServesAsDailyRest) {
    const Timeline seven = timeline(S, "drive 4:00 rest 7:00 drive 4:00 rest 10:00");
    struct Case { const char* name; Timeline timeline; Windows expected; };
    const Case cases[] = {
        {"a rest of exactly 7 h never ends a shift", seven, {{S, S + 15 * h}}},
        {"a rest of 7 h and one second can", lengthened(seven, 1, 1), {{S, S + 4 * h}, {S + 11 * h + 1, S + 15 * h + 1}}},
        {"a rest starting between 15 h and 17 h beats a shorter earlier one", timeline(S, "drive 6:00 rest 7:30 drive 2:30 rest 9:00 drive 1:00"),
         {{S, S + 16 * h}, {S + 25 * h, S + 26 * h}}},
        {"the last 9 h rest within 15 h beats later rests", timeline(S, "drive 5:00 rest 9:00 drive 1:00 rest 8:00 drive 1:00"),
         {{S, S + 5 * h}, {S + 14 * h, S + 15 * h}, {S + 23 * h, S + 24 * h}}},
        {"without a 9 h rest, the last long rest within 15 h", timeline(S, "drive 3:00 rest 7:30 drive 2:00 rest 8:00 drive 1:00"),
         {{S, S + 12 * h + 30 * m}, {S + 20 * h + 30 * m, S + 21 * h + 30 * m}}},
        {"beyond 17 h the first long rest ends the shift", timeline(S, repeated("drive 4:00 rest 5:00", 3) + "drive 4:00 rest 8:00 drive 1:00"),
         {{S, S + 31 * h}, {S + 39 * h, S + 40 * h}}},
        {"with no rest longer than 7 h everything is one shift", timeline(S, "rest 2:00 drive 4:00 rest 6:00 drive 4:00 rest 6:00 work 4:00 rest 3:00"),
         {{S + 2 * h, S + 26 * h}}},
        {"unknown and card-absent time separate blocks like rest", timeline(S, "drive 4:00 unknown+absent 10:00 drive 4:00 unknown 8:00 work 1:00"),
         {{S, S + 4 * h}, {S + 14 * h, S + 18 * h}, {S + 26 * h, S + 27 * h}}},
        {"no work at all gives no shift", timeline(S, "rest 24:00 unknown+absent 24:00"), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(windowsOf(buildShifts(c.timeline, {}, {})), c.expected) << c.name;
    const Timeline t = timeline(S, "rest 5:00 drive 2:00 break 0:45 work 1:00 avail 0:30 unknown 0:15 drive 1:00 rest 11:00");
    EXPECT_EQ(buildShifts(t, {}, {}), (std::vector<CoreShift>{{S + 5 * h, S + 10 * h + 30 * m, 3 * h, h, 30 * m, 45 * m, 15 * m, 6, 0}}));
}

TEST(Shifts, FerryAndOutOfScopePeriods) {
    // 08:00-16:00 driving, 16:00-21:00 rest, 21:00-21:30 work, 21:30-03:30 rest, 03:30-05:30 driving.
    const Timeline crossing = timeline(S + 8 * h, "drive 8:00 rest 5:00 work 0:30 rest 6:00 drive 2:00");
    const std::int64_t ferry = S + 20 * h + 40 * m, end = S + 29 * h + 30 * m;
    const Windows one = {{S + 8 * h, end}}, two = {{S + 8 * h, S + 16 * h}, {S + 27 * h + 30 * m, end}};
    struct Case { const char* name; std::vector<TimedCode> conditions, places; Windows expected; std::vector<int> outOfScope; };
    const Case cases[] = {
        {"without a crossing the short rests keep one shift", {}, {}, one, {0}},
        {"work on a ferry interrupts the rest", {{ferry, 3}}, {}, two, {0, 0}},
        {"work beginning a new working day is no interruption", {{ferry, 3}}, {{S + 21 * h, 0}}, one, {0}},
        {"work more than an hour after the crossing began is none", {{S + 19 * h, 3}}, {}, one, {0}},
        {"work overlapping an out-of-scope period forms no block", {{S + 10 * h, 1}, {S + 12 * h, 2}}, {}, {{S + 21 * h, end}}, {0}},
        {"an out-of-scope period inside a shift flags it", {{S + 17 * h, 1}, {S + 18 * h, 2}}, {}, one, {1}},
        {"an out-of-scope begin still open lasts to the end of the data", {{S + 21 * h, 1}}, {}, {{S + 8 * h, S + 16 * h}}, {0}},
    };
    for (const auto& c : cases) {
        const auto shifts = buildShifts(crossing, c.conditions, c.places);
        std::vector<int> flags;
        for (const auto& s : shifts) flags.push_back(s.outOfScope);
        EXPECT_EQ(windowsOf(shifts), c.expected) << c.name;
        EXPECT_EQ(flags, c.outOfScope) << c.name;
    }
}

TEST(Shifts, CountedStretchesLeaveOutWholeDaysWithoutCard) {
    struct Case { const char* name; Timeline in, out; };
    const Case cases[] = {
        {"a whole UTC day of card-absent unknown", {{S, S + kDay, kUnknownActivity, 1}, {S + kDay, S + kDay + h, 3, 0}}, {{S + kDay, S + kDay + h, 3, 0}}},
        {"a whole day of card-absent rest", {{S, S + kDay, 0, 1}}, {}},
        {"a whole day of card-absent driving counts", {{S, S + kDay, 3, 1}}, {{S, S + kDay, 3, 1}}},
        {"a part of a day counts", {{S + h, S + kDay, kUnknownActivity, 1}}, {{S + h, S + kDay, kUnknownActivity, 1}}},
        {"overlaps are clipped away", {{S, S + 2 * h, 0, 0}, {S + h, S + 3 * h, 3, 0}, {S + h, S + 2 * h, 2, 0}}, {{S, S + 2 * h, 0, 0}, {S + 2 * h, S + 3 * h, 3, 0}}},
    };
    for (const auto& c : cases) EXPECT_EQ(countedStretches(c.in), c.out) << c.name;
}

std::vector<ShiftDetail> detailsOf(const Timeline& t, const std::vector<CardVehicleRecord>& vehicles = {}) {
    return buildShiftDetails(buildShifts(t, {}, {}), t, vehicles);
}

TEST(ShiftDetails, MinutesStopsActsAndRests) {
    // Driving 05:00-07:00 and 21:30-22:30 UTC, work 07:00-21:30.
    const auto night = detailsOf(timeline(S, "rest 5:00 drive 2:00 work 14:30 drive 1:00 rest 12:00"));
    ASSERT_EQ(night.size(), 1u);
    EXPECT_EQ(std::tie(night[0].drive, night[0].work, night[0].breakTime), std::tuple(DayNightMinutes{90, 90, 180}, DayNightMinutes{870, 0, 870}, DayNightMinutes{}));
    // Two driving stretches in a row (a crew change) are one act; break and unknown in a row one
    // stop. The 3 h break is the first part of a split rest as the rest after it is short.
    const auto split = detailsOf(timeline(S, "rest 6:00 drive 2:00 drive 2:00 break 3:00 unknown 0:30 work 3:30 rest 9:00 drive 1:00"));
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(std::tuple(split[0].acts, split[0].stops, split[0].rest, split[0].restSplit, split[0].weekly), std::tuple(4, 1, 540, 180, false));
    EXPECT_EQ(split[0].restCompensated, 540) << "1440 minus the 11 h shift is 780, more than the rest";

    struct Case { const char* name; std::string blocks; std::size_t shift; std::int64_t rest, compensated; bool weekly; };
    const Case cases[] = {
        {"daily rest counted within 24 h of the shift start", "work 2:00 avail 2:59 drive 4:00 rest 20:00 drive 1:00", 0, 1200, 1440 - 539, false},
        {"a 45 h rest counts whole", "drive 9:00 rest 45:00 drive 1:00", 0, 2700, 2700, true},
        {"the last shift has no rest after it", "drive 9:00 rest 45:00", 0, 0, 0, false},
        // Only a candidate at first: weekly once a later shift ends 4.8 days after the period start.
        {"a 30 h rest after the second day becomes weekly as the week runs on",
         "drive 9:00 rest 15:00 drive 9:00 rest 30:00 " + repeated("drive 9:00 rest 15:00", 4) + "drive 1:00", 1, 1800, 1800, true},
        {"a 30 h rest after five days is weekly", repeated("drive 9:00 work 3:00 rest 12:00", 5) + "drive 9:00 rest 30:00 drive 9:00 rest 12:00 drive 1:00", 5, 1800, 1800, true},
    };
    for (const auto& c : cases) {
        const auto details = detailsOf(timeline(S, c.blocks));
        ASSERT_GT(details.size(), c.shift) << c.name;
        EXPECT_EQ(std::tuple(details[c.shift].rest, details[c.shift].restCompensated, details[c.shift].weekly), std::tuple(c.rest, c.compensated, c.weekly)) << c.name;
        for (std::size_t i = 0; i < c.shift && c.weekly; ++i) EXPECT_FALSE(details[i].weekly) << c.name << " shift " << i;
    }
}

TEST(ShiftDetails, VehiclesAndDistance) {
    // Shift 1 06:00-14:00 (8 h driving), shift 2 next day 01:00-03:00 (2 h driving).
    const std::vector<CardVehicleRecord> vehicles{
        {1000, 1280, S + 5 * h, S + 10 * h, {13, "B-AB 1"}, 0, false, ""},
        // One use across both shifts: 6 h of driving, 4 h in the first shift and 2 h in the second.
        {5000, 5600, S + 10 * h, S + 27 * h, {13, "B-CD 2"}, 0, false, ""},
        {7000, 6000, S + 11 * h, S + 12 * h, {13, "B-AB 1"}, 0, false, ""},
        // Still in use when the card was downloaded: neither end odometer nor last use written.
        {9000, 0xFFFFFF, S + 26 * h, 0xFFFFFFFF, {13, "B-EF 3"}, 0, false, ""},
    };
    const auto details = detailsOf(timeline(S, "rest 6:00 drive 4:00 drive 4:00 rest 11:00 drive 2:00 rest 10:00"), vehicles);
    ASSERT_EQ(details.size(), 2u);
    EXPECT_EQ(std::tie(details[0].vehicle, details[0].distance), std::tuple("B-AB 1, B-CD 2", 280 + 400)) << "an odometer running backwards adds nothing";
    EXPECT_EQ(std::tie(details[1].vehicle, details[1].distance), std::tuple("B-CD 2, B-EF 3", 200));
}

}  // namespace
}  // namespace ddd
