// Forecasts at the end of the last shift: each entry at its limits, the local week boundaries,
// clamping, and a minute-by-minute re-computation on generated histories.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "analysis/forecasts.h"
#include "analysis/timeline.h"
#include "tests/analysis/generated_histories.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;

constexpr std::int64_t h = kHour;
constexpr std::int64_t m = 60;

// The forecast values by their limit; a missing entry reads -1.
std::map<std::int64_t, std::int64_t> valuesOf(const std::vector<Forecast>& forecasts) {
    std::map<std::int64_t, std::int64_t> out;
    for (const auto& f : forecasts) out[f.max] = f.value;
    return out;
}

std::int64_t valueOf(const std::vector<Forecast>& forecasts, std::int64_t max) {
    const auto values = valuesOf(forecasts);
    const auto it = values.find(max);
    return it == values.end() ? -1 : it->second;
}

// One shift from the start of `lastShiftStart` to the end of the timeline.
std::vector<Forecast> atEndOfData(const Timeline& t, std::int64_t lastShiftStart, std::uint8_t outOfScope = 0) {
    CoreShift shift;
    shift.start = lastShiftStart;
    shift.end = t.back().end;
    shift.outOfScope = outOfScope;
    return computeForecasts(t, {shift}, 0);
}

const std::int64_t kTuesday = utcDay(2024, 1, 9);  // a winter week, far from a week boundary

TEST(Forecasts, ListHoldsTheEntriesInOrderAtTheEndOfTheLastShift) {
    const Timeline t = timeline(kTuesday, "rest 8:00 drive 2:00 rest 12:00 drive 1:00 work 0:30");
    const std::int64_t lastStart = kTuesday + 22 * h;
    const auto eight = atEndOfData(t, lastStart);
    const std::vector<std::int64_t> limits8 = {16200, 21600, 36000, 54000, 201600, 216000, 324000, 518400};
    std::vector<std::int64_t> got;
    for (const auto& f : eight) {
        got.push_back(f.max);
        EXPECT_EQ(f.when, t.back().end);
    }
    EXPECT_EQ(got, limits8) << "without an out-of-scope shift";

    const auto nine = atEndOfData(t, lastStart, 1);
    got.clear();
    for (const auto& f : nine) got.push_back(f.max);
    std::vector<std::int64_t> limits9 = limits8;
    limits9.insert(limits9.begin() + 4, 75600);
    EXPECT_EQ(got, limits9) << "a shift carrying the flag adds the 21 h entry";
    EXPECT_EQ(valueOf(nine, 75600), valueOf(nine, 54000));

    EXPECT_TRUE(computeForecasts(t, {}, 0).empty()) << "no shifts";
    EXPECT_TRUE(computeForecasts({}, {CoreShift{lastStart, lastStart + h}}, 0).empty()) << "no segments";
}

TEST(Forecasts, TheShiftUsedIsTheLastAndAGivenInstantIsKept) {
    const Timeline t = timeline(kTuesday, "drive 3:00 rest 11:00 drive 1:00 rest 11:00 drive 2:00 rest 2:00");
    std::vector<CoreShift> shifts = {{kTuesday, kTuesday + 3 * h}, {kTuesday + 14 * h, kTuesday + 15 * h},
                                     {kTuesday + 26 * h, kTuesday + 28 * h}};
    struct Case { const char* name; std::int64_t at; std::int64_t when, shiftDriving, shiftLength; };
    const Case cases[] = {
        {"an instant below 1 is the end of the last shift", 0, kTuesday + 28 * h, 2 * h, 2 * h},
        {"a negative instant too", -5, kTuesday + 28 * h, 2 * h, 2 * h},
        {"an instant 1 is kept", 1, 1, 0, 0},
        {"a later instant counts the rest into the shift length", kTuesday + 29 * h, kTuesday + 29 * h, 2 * h, 3 * h},
        {"an instant inside the shift cuts its driving", kTuesday + 27 * h, kTuesday + 27 * h, 1 * h, 1 * h},
    };
    for (const auto& c : cases) {
        const auto f = computeForecasts(t, shifts, c.at);
        ASSERT_FALSE(f.empty()) << c.name;
        EXPECT_EQ(f.front().when, c.when) << c.name;
        EXPECT_EQ(valueOf(f, 36000), c.shiftDriving) << c.name;
        EXPECT_EQ(valueOf(f, 54000), c.shiftLength) << c.name;
    }
}

TEST(Forecasts, DrivingAndWorkingSinceTheLastBreak) {
    const std::int64_t S = kTuesday + 6 * h;
    struct Case { const char* name; Timeline timeline; std::int64_t driving, working; };
    const Timeline b45 = timeline(S, "drive 2:00 break 0:45 drive 2:00");
    const Timeline w15 = timeline(S, "work 2:00 break 0:15 drive 1:00");
    const Case cases[] = {
        {"a 50-minute break ends the driving", timeline(S, "drive 2:00 break 0:50 drive 2:00"), 2 * h, 2 * h},
        {"a 30-minute break does not", timeline(S, "drive 2:00 break 0:30 drive 2:00"), 4 * h, 2 * h},
        {"a break of exactly 45 min ends it", b45, 2 * h, 2 * h},
        {"a break one second short of 45 min does not", lengthened(b45, 1, -1), 4 * h, 2 * h},
        {"50 minutes of availability are a break", timeline(S, "drive 2:00 avail 0:50 drive 2:00"), 2 * h, 2 * h},
        {"50 minutes of unknown activity are a break", timeline(S, "drive 2:00 unknown 0:50 drive 2:00"), 2 * h, 2 * h},
        {"break parts separated by work do not add up", timeline(S, "drive 2:00 break 0:30 work 0:01 break 0:30 drive 1:00"),
         3 * h, 1 * h},
        {"consecutive break stretches add up", timeline(S, "drive 2:00 break 0:30 avail 0:15 drive 1:00"), 1 * h, 1 * h},
        {"work does not add to driving", timeline(S, "drive 1:00 work 2:00 drive 1:00"), 2 * h, 4 * h},
        {"a break of exactly 15 min ends the working time", w15, 1 * h, 1 * h},
        {"a break one second short of 15 min does not", lengthened(w15, 1, -1), 1 * h, 3 * h},
        {"clamped to 4 h 30 min and 6 h", timeline(S, "drive 7:00"), 16200, 21600},
    };
    for (const auto& c : cases) {
        const auto f = atEndOfData(c.timeline, S);
        EXPECT_EQ(valueOf(f, 16200), c.driving) << c.name;
        EXPECT_EQ(valueOf(f, 21600), c.working) << c.name;
    }
}

TEST(Forecasts, ShiftDrivingAndLengthAreClampedToTheirLimits) {
    const std::int64_t S = kTuesday + 5 * h;
    struct Case { const char* name; Timeline timeline; std::int64_t shiftDriving, shiftLength; };
    const Case cases[] = {
        {"10 h of driving is shown in full", timeline(S, "drive 5:00 break 1:00 drive 5:00"), 10 * h, 11 * h},
        {"11 h of driving is shown as 10 h", timeline(S, "drive 5:00 break 1:00 drive 6:00"), 10 * h, 12 * h},
        {"a shift of 16 h is shown as 15 h", timeline(S, "drive 4:00 break 8:00 drive 4:00"), 8 * h, 15 * h},
        {"driving before the shift start is not counted", timeline(S - 2 * h, "drive 2:00 drive 1:00"), 1 * h, 1 * h},
    };
    for (const auto& c : cases) {
        const auto f = atEndOfData(c.timeline, S);
        EXPECT_EQ(valueOf(f, 36000), c.shiftDriving) << c.name;
        EXPECT_EQ(valueOf(f, 54000), c.shiftLength) << c.name;
    }
    const Timeline t = timeline(S, "drive 2:00");
    const auto before = computeForecasts(t, {CoreShift{S, S + 2 * h}}, S - h);
    for (const auto& f : before) EXPECT_EQ(f.value, 0) << f.max << ": an instant before all data gives no negative value";
}

// Driving from 1 h before to 1 h after the fortnight's start, from 1 h before the week's start to
// `after` past it, and work for the last `work` seconds before `at`.
Timeline drivingAround(std::int64_t fortnightStart, std::int64_t weekStart, std::int64_t after, std::int64_t work,
                       std::int64_t at) {
    Timeline t;
    std::int64_t cursor = fortnightStart - 3 * h;
    auto add = [&](std::int64_t end, std::uint8_t type) {
        if (end > cursor) t.push_back({cursor, end, type, 0});
        cursor = std::max(cursor, end);
    };
    add(fortnightStart - h, 0);
    add(fortnightStart + h, 3);
    add(weekStart - h, 0);
    add(weekStart + after, 3);
    add(at - work, 0);
    add(at, 2);
    return t;
}

TEST(Forecasts, WeeksBeginOnMondayAtMidnightGermanTime) {
    using gen::utcTime;
    struct Case { const char* name; std::int64_t at, weekStart, fortnightStart; };
    const Case cases[] = {
        {"Monday 00:30 in summer time", utcTime(2024, 6, 9, "22:30"), utcTime(2024, 6, 9, "22:00"),
         utcTime(2024, 6, 2, "22:00")},
        {"Monday 00:30 in winter time", utcTime(2024, 1, 14, "23:30"), utcTime(2024, 1, 14, "23:00"),
         utcTime(2024, 1, 7, "23:00")},
        {"exactly Monday 00:00 local", utcTime(2024, 6, 9, "22:00"), utcTime(2024, 6, 9, "22:00"),
         utcTime(2024, 6, 2, "22:00")},
        {"Sunday 23:59 local belongs to the week before", utcTime(2024, 6, 9, "21:59"), utcTime(2024, 6, 2, "22:00"),
         utcTime(2024, 5, 26, "22:00")},
        {"a Sunday evening in summer whose week began in winter time", utcTime(2024, 3, 31, "20:00"),
         utcTime(2024, 3, 24, "23:00"), utcTime(2024, 3, 17, "23:00")},
        {"the week after the return to winter time, its previous week in summer time", utcTime(2024, 10, 29, "10:00"),
         utcTime(2024, 10, 27, "23:00"), utcTime(2024, 10, 20, "22:00")},
        {"New Year on a Wednesday", utcTime(2025, 1, 1, "12:00"), utcTime(2024, 12, 29, "23:00"),
         utcTime(2024, 12, 22, "23:00")},
    };
    for (const auto& c : cases) {
        const std::int64_t after = std::min(h, (c.at - c.weekStart) / 2);
        const std::int64_t work = (c.at - c.weekStart) / 4;
        const Timeline t = drivingAround(c.fortnightStart, c.weekStart, after, work, c.at);
        const auto f = computeForecasts(t, {CoreShift{c.weekStart - h, c.at}}, 0);
        EXPECT_EQ(valueOf(f, 201600), after) << c.name << ": driving of the current week";
        EXPECT_EQ(valueOf(f, 216000), after + work) << c.name << ": working time of the current week";
        EXPECT_EQ(valueOf(f, 324000), 2 * h + after) << c.name << ": driving of the two weeks";
    }
}

TEST(Forecasts, TimeSinceTheLastWeeklyRest) {
    const std::int64_t S = kTuesday;
    const Timeline exactly24 = timeline(S, "drive 2:00 rest 24:00 drive 3:00");
    struct Case { const char* name; Timeline timeline; std::int64_t expected; };
    const Case cases[] = {
        {"no rest of 24 h counts from the start of the data", timeline(S, "drive 2:00 rest 23:59 drive 3:00"),
         25 * h + 59 * m + 3 * h},
        {"a rest of exactly 24 h counts from its end", exactly24, 3 * h},
        {"a rest one second short of 24 h does not", lengthened(exactly24, 1, -1), 29 * h - 1},
        {"rest stretches split at midnight form one rest", timeline(S, "drive 2:00 rest 22:00 rest 2:00 drive 3:00"), 3 * h},
        {"unknown activity breaks the rest", timeline(S, "drive 2:00 rest 20:00 unknown 4:00 rest 20:00 drive 3:00"),
         49 * h},
        {"the last long rest counts, not the longest", timeline(S, "rest 48:00 drive 2:00 rest 24:00 drive 3:00 rest 11:00 drive 1:00"),
         15 * h},
        {"a rest of 24 h right up to the instant counts", timeline(S, "drive 2:00 rest 25:00"), 0},
        {"clamped to 144 h", timeline(S, "drive 100:00 rest 11:00 drive 100:00"), 518400},
    };
    for (const auto& c : cases) EXPECT_EQ(valueOf(atEndOfData(c.timeline, S), 518400), c.expected) << c.name;
}

TEST(Forecasts, StretchesOutOfOrderOrOverlappingAreCountedOnce) {
    const std::int64_t S = kTuesday + 6 * h;
    const Timeline clean = timeline(S, "drive 2:00 break 0:20 drive 1:00 work 1:00");
    Timeline shuffled = clean;
    std::reverse(shuffled.begin(), shuffled.end());
    Timeline overlapping = clean;
    overlapping.push_back({S + h, S + 2 * h, 3, 0});          // inside the first driving stretch
    overlapping.push_back({S + 3 * h, S + 3 * h, 3, 0});      // empty
    const CoreShift shift{S, clean.back().end};
    const auto expected = computeForecasts(clean, {shift}, 0);
    EXPECT_EQ(valuesOf(expected)[16200], 3 * h) << "a 20-minute break does not end the driving";
    for (const auto& [name, t] : {std::pair{"reversed", shuffled}, std::pair{"overlapping", overlapping}}) {
        const auto got = computeForecasts(t, {shift}, 0);
        ASSERT_EQ(got.size(), expected.size()) << name;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].value, expected[i].value) << name << " entry " << got[i].max;
        }
    }
}

// ---- Independent minute-by-minute re-computation ------------------------------------------

// The activity of every minute from `from` to `to`; 254 where the timeline holds nothing.
std::vector<std::uint8_t> minutes(const Timeline& t, std::int64_t from, std::int64_t to) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>((to - from) / 60), 254);
    for (const auto& s : t) {
        for (std::int64_t x = std::max(s.start, from); x < std::min(s.end, to); x += 60) {
            out[static_cast<std::size_t>((x - from) / 60)] = s.type;
        }
    }
    return out;
}

// Monday 00:00 German time at or before `at`, found by walking back minute by minute.
std::int64_t oracleWeekStart(std::int64_t at) {
    for (std::int64_t t = at - at % 60;; t -= 60) {
        const CivilTime c = toCivilTime(t);
        const std::int64_t weekday = ((daysFromCivil(c.year, c.month, c.day) % 7) + 10) % 7;  // Monday 0
        if (weekday == 0 && c.minuteOfDay == 0) return t;
    }
}

std::map<std::int64_t, std::int64_t> oracle(const Timeline& t, std::int64_t lastShiftStart, std::int64_t at) {
    const std::int64_t first = t.front().start;
    const std::vector<std::uint8_t> minute = minutes(t, first, at);
    auto instant = [&](std::size_t i) { return first + static_cast<std::int64_t>(i) * 60; };
    auto working = [](std::uint8_t a) { return a == 2 || a == 3; };
    std::int64_t driving = 0, work = 0, breakRun = 0, restRun = 0, lastRestEnd = first;
    std::int64_t shiftDriving = 0, weekDriving = 0, weekWork = 0, fortnightDriving = 0;
    const std::int64_t weekStart = oracleWeekStart(at);
    const std::int64_t fortnightStart = oracleWeekStart(weekStart - 1);
    for (std::size_t i = 0; i < minute.size(); ++i) {
        const std::uint8_t a = minute[i];
        if (working(a)) {
            breakRun = 0;
            driving += a == 3;
            ++work;
        } else {
            ++breakRun;
            if (breakRun >= 45) driving = 0;
            if (breakRun >= 15) work = 0;
        }
        restRun = a == 0 ? restRun + 1 : 0;
        if (restRun >= 1440 && (i + 1 == minute.size() || minute[i + 1] != 0)) lastRestEnd = instant(i + 1);
        const std::int64_t x = instant(i);
        shiftDriving += a == 3 && x >= lastShiftStart;
        weekDriving += a == 3 && x >= weekStart;
        weekWork += working(a) && x >= weekStart;
        fortnightDriving += a == 3 && x >= fortnightStart;
    }
    auto clamp = [](std::int64_t v, std::int64_t max) { return std::clamp<std::int64_t>(v, 0, max); };
    return {{16200, clamp(driving * 60, 16200)},       {21600, clamp(work * 60, 21600)},
            {36000, clamp(shiftDriving * 60, 36000)},  {54000, clamp(at - lastShiftStart, 54000)},
            {201600, clamp(weekDriving * 60, 201600)}, {216000, clamp(weekWork * 60, 216000)},
            {324000, clamp(fortnightDriving * 60, 324000)}, {518400, clamp(at - lastRestEnd, 518400)}};
}

TEST(Forecasts, AgreeWithAMinuteByMinuteCountOnGeneratedHistories) {
    int compared = 0;
    for (int seed = 1; seed <= 12; ++seed) {
        const DriverCardFile file = decodeWritten(withLargeActivityArea(gen::randomCard(static_cast<std::uint64_t>(seed), 60, gen::Generation::Gen1)));
        const std::vector<const DriverCardFile*> cards = {&file};
        const MergedCardView view = mergeDownloads(cards);
        const Timeline t = buildTimeline(view);
        const std::vector<CoreShift> all = buildShifts(t, {}, {});
        ASSERT_GT(all.size(), 10u) << seed;
        // The history as it stood at the end of each of several shifts: one shift, then many.
        std::mt19937 pick(static_cast<unsigned>(seed));
        for (std::size_t n : {std::size_t{1}, std::size_t{2}, all.size() / 3, all.size() / 2, all.size() - 1, all.size(),
                              std::size_t{1} + pick() % all.size()}) {
            const std::vector<CoreShift> shifts(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
            const std::int64_t at = shifts.back().end;
            const auto got = valuesOf(computeForecasts(t, shifts, 0));
            const auto expected = oracle(t, shifts.back().start, at);
            for (const auto& [max, value] : expected) {
                EXPECT_EQ(got.at(max), value) << "seed " << seed << ", " << n << " shifts, entry " << max;
            }
            ++compared;
        }
    }
    EXPECT_EQ(compared, 12 * 7);
}

}  // namespace
}  // namespace ddd
