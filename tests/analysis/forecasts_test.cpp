// The time left at the end of the data: the forecasts at the end of the last shift and the
// remaining times of the whole analysis, at their limits and against minute-by-minute counts
// that share no code with them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "analysis/forecasts.h"
#include "analysis/pipeline.h"
#include "analysis/timeline.h"
#include "tests/analysis/rule_oracle.h"

namespace ddd {
namespace {

using namespace test;
using gen::utcTime;

// The forecast values by their limit; a missing entry reads -1.
std::int64_t valueOf(const std::vector<Forecast>& forecasts, std::int64_t max) {
    const auto it = std::find_if(forecasts.begin(), forecasts.end(), [&](const Forecast& f) { return f.max == max; });
    return it == forecasts.end() ? -1 : it->value;
}

// One shift from `lastShiftStart` to the end of the timeline.
std::vector<Forecast> atEndOfData(const Timeline& t, std::int64_t lastShiftStart, std::uint8_t outOfScope = 0) {
    return computeForecasts(t, {CoreShift{lastShiftStart, t.back().end, 0, 0, 0, 0, 0, 0, outOfScope}}, 0);
}

const std::int64_t kTuesday = utcDay(2024, 1, 9);  // a winter week, far from a week boundary

TEST(Forecasts, EntriesInOrderAtTheEndOfTheLastShift) {
    const Timeline t = timeline(kTuesday, "drive 3:00 rest 11:00 drive 1:00 rest 11:00 drive 2:00 rest 2:00");
    const std::vector<CoreShift> shifts = {{kTuesday, kTuesday + 3 * h}, {kTuesday + 14 * h, kTuesday + 15 * h}, {kTuesday + 26 * h, kTuesday + 28 * h}};
    std::vector<std::int64_t> limits;
    for (const auto& f : computeForecasts(t, shifts, 0)) limits.push_back(f.max);
    EXPECT_EQ(limits, (std::vector<std::int64_t>{16200, 21600, 36000, 54000, 201600, 216000, 324000, 518400}));
    const auto flagged = atEndOfData(t, kTuesday + 26 * h, 1);
    EXPECT_EQ(flagged.size(), 9u) << "a shift carrying the out-of-scope flag adds the 21 h entry";
    EXPECT_EQ(std::pair(flagged.at(4).max, flagged.at(4).value), std::pair(std::int64_t{75600}, valueOf(flagged, 54000)));
    EXPECT_TRUE(computeForecasts(t, {}, 0).empty() && computeForecasts({}, shifts, 0).empty()) << "no shifts, no segments";
}

TEST(Forecasts, EachEntryAtItsLimits) {
    const std::int64_t S = kTuesday + 6 * h;
    const Timeline b45 = timeline(S, "drive 2:00 break 0:45 drive 2:00"), w15 = timeline(S, "work 2:00 break 0:15 drive 1:00");
    const Timeline rest24 = timeline(S, "drive 2:00 rest 24:00 drive 3:00");
    struct Case { const char* name; Timeline timeline; std::int64_t max, value; };
    const Case cases[] = {
        {"a break of exactly 45 min ends the driving", b45, 16200, 2 * h},
        {"a break one second short of 45 min does not", lengthened(b45, 1, -1), 16200, 4 * h},
        {"a break of exactly 15 min ends the working time", w15, 21600, h},
        {"a break one second short of 15 min does not", lengthened(w15, 1, -1), 21600, 3 * h},
        {"driving before the shift start is not counted", timeline(S - 2 * h, "drive 2:00 drive 1:00"), 36000, h},
        {"a rest of exactly 24 h counts from its end", rest24, 518400, 3 * h},
        {"a rest one second short of 24 h does not", lengthened(rest24, 1, -1), 518400, 29 * h - 1},
        {"the last long rest counts, not the longest", timeline(S, "rest 48:00 drive 2:00 rest 24:00 drive 3:00 rest 11:00 drive 1:00"), 518400, 15 * h},
    };
    for (const auto& c : cases) EXPECT_EQ(valueOf(atEndOfData(c.timeline, S), c.max), c.value) << c.name;
}

// Monday 00:00 German time at or before `at`, found by walking back minute by minute.
std::int64_t localWeekStart(std::int64_t at) {
    for (std::int64_t t = at - at % 60;; t -= 60) {
        const CivilTime c = toCivilTime(t);
        if (((daysFromCivil(c.year, c.month, c.day) % 7) + 10) % 7 == 0 && c.minuteOfDay == 0) return t;
    }
}

std::map<std::int64_t, std::int64_t> recountForecasts(const Timeline& t, std::int64_t lastShiftStart, std::int64_t at) {
    const std::int64_t first = t.front().start;
    std::vector<std::uint8_t> minute(static_cast<std::size_t>((at - first) / 60), 254);  // 254 where the timeline holds nothing
    for (const auto& s : t) {
        for (std::int64_t x = std::max(s.start, first); x < std::min(s.end, at); x += 60) minute[static_cast<std::size_t>((x - first) / 60)] = s.type;
    }
    const auto working = [](std::uint8_t a) { return a == 2 || a == 3; };
    std::int64_t driving = 0, work = 0, breakRun = 0, restRun = 0, lastRestEnd = first, shiftDriving = 0, weekDriving = 0, weekWork = 0, fortnightDriving = 0;
    const std::int64_t weekStart = localWeekStart(at), fortnightStart = localWeekStart(weekStart - 1);
    for (std::size_t i = 0; i < minute.size(); ++i) {
        const std::uint8_t a = minute[i];
        const std::int64_t x = first + static_cast<std::int64_t>(i) * 60;
        breakRun = working(a) ? 0 : breakRun + 1;
        driving = breakRun >= 45 ? 0 : driving + (a == 3);
        work = breakRun >= 15 ? 0 : work + working(a);
        restRun = a == 0 ? restRun + 1 : 0;
        if (restRun >= 1440 && (i + 1 == minute.size() || minute[i + 1] != 0)) lastRestEnd = x + 60;
        shiftDriving += a == 3 && x >= lastShiftStart;
        weekDriving += a == 3 && x >= weekStart;
        weekWork += working(a) && x >= weekStart;
        fortnightDriving += a == 3 && x >= fortnightStart;
    }
    const auto clamp = [](std::int64_t v, std::int64_t max) { return std::clamp<std::int64_t>(v, 0, max); };
    return {{16200, clamp(driving * 60, 16200)}, {21600, clamp(work * 60, 21600)}, {36000, clamp(shiftDriving * 60, 36000)},
            {54000, clamp(at - lastShiftStart, 54000)}, {201600, clamp(weekDriving * 60, 201600)}, {216000, clamp(weekWork * 60, 216000)},
            {324000, clamp(fortnightDriving * 60, 324000)}, {518400, clamp(at - lastRestEnd, 518400)}};
}

TEST(Forecasts, AgreeWithAMinuteByMinuteCountOnGeneratedHistories) {
    int compared = 0;
    for (int seed = 1; seed <= 12; ++seed) {
        const DriverCardFile file = decodeWritten(withLargeActivityArea(gen::randomCard(static_cast<std::uint64_t>(seed), 60, gen::Generation::Gen1)));
        const Timeline t = buildTimeline(mergeDownloads(Cards{&file}));
        const std::vector<CoreShift> all = buildShifts(t, {}, {});
        ASSERT_GT(all.size(), 10u) << seed;
        // The history as it stood at the end of each of several shifts: one shift, then many.
        std::mt19937 pick(static_cast<unsigned>(seed));
        for (std::size_t n : {std::size_t{1}, std::size_t{2}, all.size() / 3, all.size() / 2, all.size() - 1, all.size(), std::size_t{1} + pick() % all.size()}) {
            const std::vector<CoreShift> shifts(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
            std::map<std::int64_t, std::int64_t> got;
            for (const auto& f : computeForecasts(t, shifts, 0)) got[f.max] = f.value;
            EXPECT_EQ(got, recountForecasts(t, shifts.back().start, shifts.back().end)) << "seed " << seed << ", " << n << " shifts";
            ++compared;
        }
    }
    EXPECT_EQ(compared, 12 * 7);
}

std::int64_t drivenIn(const oracle::Minutes& minutes, std::int64_t from, std::int64_t to, bool working) {
    std::int64_t total = 0;
    for (std::int64_t t = std::max(from, minutes.start); t < to; t += 60) {
        const int a = minutes.activity[minutes.index(t)];
        total += a == 3 || (working && a == 2) ? 60 : 0;
    }
    return total;
}

// The remaining times counted minute by minute: rests of 9 h or more end a day (24 h or more a
// week), a break of 45 min, or of 30 min after a separate one of 15 min, ends a driving sequence.
RemainingTimes recountRemaining(const oracle::Minutes& mins) {
    std::size_t known = mins.activity.size();
    while (known > 0 && mins.activity[known - 1] == oracle::kUnknown) --known;
    RemainingTimes r;
    r.asOf = mins.instant(known);
    struct Rest { std::int64_t start, end; bool weekly, reduced; };
    std::vector<Rest> rests;
    std::int64_t firstPart = -1;
    for (const auto& [start, end] : oracle::restRuns(mins)) {
        if (end - start < 9 * h) {
            if (end - start >= 3 * h) firstPart = start;
            continue;
        }
        rests.push_back({start, end, end - start >= 24 * h, end - start < 11 * h && !(firstPart >= 0 && start - firstPart <= 24 * h)});
        firstPart = -1;
    }
    const std::int64_t today = rests.empty() ? mins.start : rests.back().end, drivenToday = drivenIn(mins, today, r.asOf, false);
    int extensions = 0;
    std::int64_t periodStart = mins.start;
    for (const Rest& rest : rests) {
        extensions += rest.start > periodStart && periodStart < today && oracle::mondayOf(periodStart) == oracle::mondayOf(today) &&
                      drivenIn(mins, periodStart, rest.start, false) > 9 * h;
        periodStart = rest.end;
    }
    const bool extended = drivenToday > 9 * h;
    r.dailyDriving = {drivenToday, extended || extensions < 2 ? 10 * h : 9 * h};
    r.extensionsLeft = std::max(0, 2 - extensions - (extended ? 1 : 0));
    std::int64_t driven = 0;
    int run = 0;
    bool split = false, splitBeforeRun = false;
    for (std::size_t i = 0; i < known; ++i) {
        if (mins.activity[i] != 0) {
            run = 0;
            driven += mins.activity[i] == 3 ? 60 : 0;
            continue;
        }
        if (run++ == 0) splitBeforeRun = split;
        if (run >= 45 || (splitBeforeRun && run >= 30)) {
            driven = 0;
            split = false;
        } else if (run >= 15) {
            split = true;
        }
    }
    r.drivingSinceBreak = {driven, 270 * m};
    const std::int64_t week = oracle::mondayOf(r.asOf);
    r.weeklyDriving = {drivenIn(mins, week, r.asOf, false), 56 * h};
    r.fortnightDriving = {drivenIn(mins, week - 7 * kDay, r.asOf, false), 90 * h};
    r.weeklyWorkingTime = {drivenIn(mins, week, r.asOf, true), 60 * h};
    int reduced = 0;
    for (auto it = rests.rbegin(); it != rests.rend() && !it->weekly; ++it) reduced += it->reduced ? 1 : 0;
    r.reducedDailyRestsLeft = std::max(0, 3 - reduced);
    const auto lastWeekly = std::find_if(rests.rbegin(), rests.rend(), [](const Rest& rest) { return rest.weekly; });
    if (lastWeekly != rests.rend()) r.weeklyRestLatestStart = lastWeekly->end + 144 * h;
    if (!rests.empty()) r.dailyRestLatestStart = today + 24 * h - (r.reducedDailyRestsLeft > 0 ? 9 : 11) * h;
    return r;
}

TEST(RemainingTimes, AtTheLimitsAsARecountHasThem) {
    const auto days = [](const std::vector<std::string>& blocks) {
        gen::Timeline t(kMonday);
        for (std::size_t d = 0; d < blocks.size(); ++d) t.restUntil(kMonday + static_cast<std::int64_t>(d) * kDay + 6 * h).add(blocks[d]);
        return t;
    };
    const std::string ten = "drive 4:30 break 0:45 drive 5:00";
    gen::Timeline unknown = days({"drive 3:00"});
    unknown.absent(50).add("drive 1:00 break 0:05");
    const std::pair<const char*, gen::Timeline> cases[] = {
        {"8:59 driven today, one extension left", days({ten, "drive 4:29 break 0:45 drive 4:30 break 0:30"})},
        {"both extensions used: 9 h is the day's limit, 1 min left", days({ten, ten, "drive 4:30 break 0:45 drive 4:29 break 0:20"})},
        {"4:29 since a break too short to count", days({"drive 4:00 break 0:44 drive 0:29 work 0:10"})},
        {"15 min then 30 min make a break; the second part does not start a new split", days({"drive 2:00 break 0:15 drive 2:00 break 0:40 drive 1:00 break 0:30 drive 0:10"})},
        {"unknown time is no break", unknown},
        {"56 h in the week", days(std::vector<std::string>(6, "drive 4:20 break 0:45 drive 5:00")).add("rest 1:00")},
        {"three reduced rests after a weekly rest", gen::Timeline(kMonday).add("rest 30:00 " + repeated("work 1:00 drive 4:00 break 0:45 drive 4:00 work 0:15 rest 10:00", 4) + "drive 1:00 break 0:10")},
        {"no rest in the data", gen::Timeline(kMonday).add("drive 3:00 break 0:45 drive 3:00")},
    };
    for (const auto& [name, history] : cases) {
        gen::CardDescription card;
        card.days = history.days();
        const DriverCardFile file = decodeWritten(withLargeActivityArea(card));
        const AnalysisResult result = analyze(Cards{&file});
        ASSERT_TRUE(result.ok && result.remaining) << name << ": " << result.error;
        EXPECT_EQ(*result.remaining, recountRemaining(oracle::minutesOf(card))) << name;
    }
}

}  // namespace
}  // namespace ddd
