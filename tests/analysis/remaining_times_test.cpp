// The time left at the end of the data, from generated downloads run through the whole analysis,
// against a minute-by-minute re-computation that shares no code with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "analysis/pipeline.h"
#include "tests/analysis/generated_histories.h"
#include "tests/analysis/rule_oracle.h"

namespace ddd::test {
namespace {

using oracle::kMinute;
using oracle::kUnknown;
constexpr std::int64_t kHour = 3600;

std::int64_t minutesOf(const oracle::Minutes& m, std::int64_t from, std::int64_t to, bool working) {
    std::int64_t total = 0;
    for (std::int64_t t = std::max(from, m.start); t < to; t += kMinute) {
        const int a = m.activity[m.index(t)];
        if (a == 3 || (working && a == 2)) total += kMinute;
    }
    return total;
}

// The limits counted minute by minute: rests of 9 h or more end a day (24 h or more a week), a
// break of 45 min, or of 30 min after a separate one of 15 min, ends a driving sequence.
RemainingTimes recount(const oracle::Minutes& m) {
    std::size_t known = m.activity.size();
    while (known > 0 && m.activity[known - 1] == kUnknown) --known;
    RemainingTimes r;
    r.asOf = m.instant(known);

    struct Rest { std::int64_t start, end; bool weekly, reduced; };
    std::vector<Rest> rests;
    std::int64_t pendingFirstPart = -1;
    for (const auto& [start, end] : oracle::restRuns(m)) {
        const std::int64_t length = end - start;
        if (length < 9 * kHour) {
            if (length >= 3 * kHour) pendingFirstPart = start;
            continue;
        }
        const bool split = pendingFirstPart >= 0 && start - pendingFirstPart <= 24 * kHour;
        rests.push_back({start, end, length >= 24 * kHour, length < 11 * kHour && !split});
        pendingFirstPart = -1;
    }
    const std::int64_t todayStart = rests.empty() ? m.start : rests.back().end;
    const std::int64_t drivenToday = minutesOf(m, todayStart, r.asOf, false);
    int extensionsBefore = 0;
    std::int64_t periodStart = m.start;
    for (const Rest& rest : rests) {
        if (rest.start > periodStart && periodStart < todayStart && oracle::mondayOf(periodStart) == oracle::mondayOf(todayStart) &&
            minutesOf(m, periodStart, rest.start, false) > 9 * kHour) {
            ++extensionsBefore;
        }
        periodStart = rest.end;
    }
    const bool extended = drivenToday > 9 * kHour;
    r.dailyDriving = {drivenToday, extended || extensionsBefore < 2 ? 10 * kHour : 9 * kHour};
    r.extensionsLeft = std::max(0, 2 - extensionsBefore - (extended ? 1 : 0));

    std::int64_t driven = 0;
    int run = 0;
    bool firstPart = false, firstPartBeforeRun = false;
    for (std::size_t i = 0; i < known; ++i) {
        const int a = m.activity[i];
        if (a != 0) {
            run = 0;
            driven += a == 3 ? kMinute : 0;
            continue;
        }
        if (run++ == 0) firstPartBeforeRun = firstPart;
        if (run >= 45 || (firstPartBeforeRun && run >= 30)) {
            driven = 0;
            firstPart = false;
        } else if (run >= 15) {
            firstPart = true;
        }
    }
    r.drivingSinceBreak = {driven, 270 * kMinute};

    const std::int64_t week = oracle::mondayOf(r.asOf);
    r.weeklyDriving = {minutesOf(m, week, r.asOf, false), 56 * kHour};
    r.fortnightDriving = {minutesOf(m, week - 7 * 24 * kHour, r.asOf, false), 90 * kHour};
    r.weeklyWorkingTime = {minutesOf(m, week, r.asOf, true), 60 * kHour};

    int reduced = 0;
    for (auto it = rests.rbegin(); it != rests.rend() && !it->weekly; ++it) reduced += it->reduced ? 1 : 0;
    r.reducedDailyRestsLeft = std::max(0, 3 - reduced);
    const auto lastWeekly = std::find_if(rests.rbegin(), rests.rend(), [](const Rest& rest) { return rest.weekly; });
    if (lastWeekly != rests.rend()) r.weeklyRestLatestStart = lastWeekly->end + 144 * kHour;
    if (!rests.empty()) r.dailyRestLatestStart = todayStart + 24 * kHour - (r.reducedDailyRestsLeft > 0 ? 9 : 11) * kHour;
    return r;
}

std::string hm(std::int64_t seconds) { return std::to_string(seconds / 3600) + ":" + std::to_string(seconds / 60 % 60); }

// Monday 4 March 2024, 00:00 UTC.
const std::int64_t kMonday = gen::utcTime(2024, 3, 4, "00:00");

struct Case {
    const char* name;
    std::function<void(gen::Timeline&)> history;  // from Monday 00:00
    std::function<void(const RemainingTimes&)> check;
};

TEST(RemainingTimes, AtTheLimitsAsARecountHasThem) {
    const auto day = [](gen::Timeline& t, int d, const std::string& blocks) {
        t.restUntil(kMonday + d * 24 * kHour + 6 * kHour).add(blocks);
    };
    const std::vector<Case> cases = {
        {"8:59 driven today, one extension left",
         [&](gen::Timeline& t) { day(t, 0, "drive 4:30 break 0:45 drive 5:00"); day(t, 1, "drive 4:29 break 0:45 drive 4:30 break 0:30"); },
         [](const RemainingTimes& r) {
             EXPECT_EQ(hm(r.dailyDriving.left()), "1:1");
             EXPECT_EQ(r.extensionsLeft, 1);
         }},
        {"both extensions used: 9 h is the day's limit",
         [&](gen::Timeline& t) {
             day(t, 0, "drive 4:30 break 0:45 drive 5:00");
             day(t, 1, "drive 4:30 break 0:45 drive 5:00");
             day(t, 2, "drive 4:30 break 0:45 drive 4:29 break 0:20");
         },
         [](const RemainingTimes& r) {
             EXPECT_EQ(r.dailyDriving.limit, 9 * kHour);
             EXPECT_EQ(hm(r.dailyDriving.left()), "0:1");
             EXPECT_EQ(r.extensionsLeft, 0);
         }},
        {"4:29 since a break too short to count",
         [&](gen::Timeline& t) { day(t, 0, "drive 4:00 break 0:44 drive 0:29 work 0:10"); },
         [](const RemainingTimes& r) { EXPECT_EQ(hm(r.drivingSinceBreak.left()), "0:1"); }},
        {"15 min then 30 min make a break; the second part does not start a new split",
         [&](gen::Timeline& t) { day(t, 0, "drive 2:00 break 0:15 drive 2:00 break 0:40 drive 1:00 break 0:30 drive 0:10"); },
         [](const RemainingTimes& r) { EXPECT_EQ(hm(r.drivingSinceBreak.used), "1:10"); }},
        {"unknown time is no break",
         [&](gen::Timeline& t) { day(t, 0, "drive 3:00"); t.absent(50); t.add("drive 1:00 break 0:05"); },
         [](const RemainingTimes& r) { EXPECT_EQ(hm(r.drivingSinceBreak.used), "4:0"); }},
        {"56 h in the week",
         [&](gen::Timeline& t) {
             for (int d = 0; d < 6; ++d) day(t, d, "drive 4:20 break 0:45 drive 5:00");
             t.add("rest 1:00");
         },
         [](const RemainingTimes& r) {
             EXPECT_EQ(r.weeklyDriving.left(), 0);
             EXPECT_EQ(hm(r.fortnightDriving.used), "56:0");
         }},
        {"three reduced rests after a weekly rest: the next daily rest must be regular",
         [&](gen::Timeline& t) {
             t.add("rest 30:00");
             for (int d = 0; d < 4; ++d) t.add("work 1:00 drive 4:00 break 0:45 drive 4:00 work 0:15 rest 10:00");
             t.add("drive 1:00 break 0:10");
         },
         [](const RemainingTimes& r) {
             EXPECT_EQ(r.reducedDailyRestsLeft, 0);
             ASSERT_TRUE(r.dailyRestLatestStart && r.weeklyRestLatestStart);
             EXPECT_EQ(*r.weeklyRestLatestStart, kMonday + (30 + 144) * kHour);
         }},
        {"no rest in the data: no latest start to name",
         [](gen::Timeline& t) { t.add("drive 3:00 break 0:45 drive 3:00"); },
         [](const RemainingTimes& r) { EXPECT_FALSE(r.dailyRestLatestStart || r.weeklyRestLatestStart); }},
    };
    for (const Case& c : cases) {
        gen::Timeline t(kMonday);
        c.history(t);
        gen::CardDescription card;
        card.days = t.days();
        const DriverCardFile file = decodeWritten(withLargeActivityArea(card));
        const DriverCardFile* files[] = {&file};
        const AnalysisResult result = analyze(files);
        ASSERT_TRUE(result.ok && result.remaining) << c.name << ": " << result.error;
        EXPECT_EQ(*result.remaining, recount(oracle::minutesOf(card))) << c.name;
        c.check(*result.remaining);
    }
}

}  // namespace
}  // namespace ddd::test
