#include <gtest/gtest.h>

#include "analysis/rule_context.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;

const std::int64_t kMonday = utcDay(2024, 3, 4);
constexpr std::int64_t h = kHour;
const RuleOptions kUtc{};

TEST(RuleContext, RestBlocksAreMaximalRunsOfRest) {
    const std::int64_t t = kMonday;
    struct Case { const char* name; Timeline timeline; std::vector<RestBlock> expected; };
    const Case cases[] = {
        {"touching rest segments form one block",
         {{t, t + h, 0, 0}, {t + h, t + 3 * h, 0, 1}, {t + 3 * h, t + 4 * h, 3, 0}}, {{t, t + 3 * h}}},
        {"a one-second hole keeps them apart", {{t, t + h, 0, 0}, {t + h + 1, t + 2 * h, 0, 0}}, {{t, t + h}, {t + h + 1, t + 2 * h}}},
        {"any other activity keeps them apart",
         {{t, t + h, 0, 0}, {t + h, t + h + 60, 1, 0}, {t + h + 60, t + 2 * h, 0, 0}},
         {{t, t + h}, {t + h + 60, t + 2 * h}}},
        {"zero-length rest is skipped", {{t, t, 0, 0}}, {}},
        {"empty timeline", {}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(buildRuleContext(c.timeline, kUtc).restBlocks, c.expected) << c.name;
}

TEST(RuleContext, RestPeriodsAreClassified) {
    struct Case {
        const char* name;
        std::string blocks;
        std::int64_t extraSecondsOnStretch;  // added to stretch 1 (negative shortens it)
        std::vector<std::uint32_t> kinds;
        std::vector<int> split;
    };
    const Case cases[] = {
        {"3 h then 9 h within 24 h is a split daily rest", "drive 1:00 rest 3:00 drive 11:00 rest 9:00 drive 1:00", 0,
         {kRegularDailyRestKind}, {1}},
        {"9 h starting 24 h and 1 s after the first part is a reduced daily rest",
         "drive 1:00 rest 3:00 drive 21:00 rest 9:00 drive 1:00", 1, {kReducedDailyRestKind}, {0}},
        {"a break under 3 h is no first part", "drive 1:00 rest 2:59 drive 11:00 rest 9:00 drive 1:00", 0,
         {kReducedDailyRestKind}, {0}},
        {"11 h is a regular daily rest", "drive 1:00 rest 11:00 drive 1:00", 0, {kRegularDailyRestKind}, {0}},
        {"24 h less one second is a daily rest", "drive 1:00 rest 24:00 drive 1:00", -1, {kRegularDailyRestKind}, {0}},
        {"exactly 24 h is a reduced weekly rest", "drive 1:00 rest 24:00 drive 1:00", 0, {kReducedWeeklyRestKind}, {0}},
        {"45 h is a regular weekly rest", "drive 1:00 rest 45:00 drive 1:00", 0, {kRegularWeeklyRestKind}, {0}},
        {"under 9 h is no rest period", "drive 1:00 rest 9:00 drive 1:00", -1, {}, {}},
    };
    for (const auto& c : cases) {
        const Timeline t = lengthened(timeline(kMonday, c.blocks), 1, c.extraSecondsOnStretch);
        const RuleContext context = buildRuleContext(t, kUtc);
        std::vector<std::uint32_t> kinds;
        std::vector<int> split;
        for (const auto& p : context.restPeriods) {
            kinds.push_back(p.kind);
            split.push_back(p.split);
            EXPECT_EQ(p.firstPartEnd, p.split ? t[1].end : 0) << c.name;
        }
        EXPECT_EQ(kinds, c.kinds) << c.name;
        EXPECT_EQ(split, c.split) << c.name;
    }
}

TEST(RuleContext, DailyWorkPeriods) {
    const std::int64_t t = kMonday;
    {
        const Timeline begins = timeline(t, "rest 11:00 drive 4:00 work 1:00 rest 11:00 drive 2:00");
        const auto periods = buildRuleContext(begins, kUtc).dailyWorkPeriods;
        ASSERT_EQ(periods.size(), 2u);
        EXPECT_EQ(periods[0], (DailyWorkPeriod{t + 11 * h, t + 16 * h, 4 * h, t, 0, 0, 0}))
            << "after a first rest of 11 h the period starts at its end and is not open";
        EXPECT_EQ(periods[1], (DailyWorkPeriod{t + 27 * h, t + 29 * h, 2 * h, t, 0, 0, 1})) << "the last one is open";
    }
    {
        Timeline gappy = timeline(t, "drive 2:00 unknown 1:00 drive 1:00 rest 11:00 drive 2:00 work 1:00 rest 11:00");
        gappy[5].start += 60;  // a hole of a minute before the work
        const auto periods = buildRuleContext(gappy, kUtc).dailyWorkPeriods;
        ASSERT_EQ(periods.size(), 2u);
        EXPECT_EQ(periods[0], (DailyWorkPeriod{t, t + 4 * h, 3 * h, t, 1, 0, 1})) << "begins with the data";
        EXPECT_EQ(periods[1], (DailyWorkPeriod{t + 15 * h, t + 18 * h, 2 * h, t, 0, 1, 0}));
    }
}

TEST(WeekStart, MondayMidnightOfTheShiftedCalendar) {
    struct Case { const char* name; std::int64_t t; std::int64_t offset; std::int64_t expected; };
    const Case cases[] = {
        {"Monday 00:00 is its own week start", kMonday, 0, kMonday},
        {"Sunday 23:59:59 belongs to the week before", kMonday - 1, 0, kMonday - 7 * kDay},
        {"Thursday 1 January 1970", 0, 0, -3 * kDay},
        {"before 1970 floors", -1, 0, -3 * kDay},
        {"an offset of one hour moves the boundary", kMonday - 1800, 3600, kMonday - 3600},
    };
    for (const auto& c : cases) EXPECT_EQ(weekStartOf(c.t, RuleOptions{c.offset, 0, 420}), c.expected) << c.name;
}

TEST(IsCovered, KnownDataWithoutHoles) {
    const std::int64_t t = kMonday;
    const Timeline known = timeline(t, "rest 8:00 drive 4:00 work 4:00");
    Timeline holed = known;
    holed[1].start += 1;
    Timeline unknown = known;
    unknown[1].type = kUnknownActivity;
    struct Case { const char* name; const Timeline* timeline; std::int64_t from; std::int64_t to; bool covered; };
    const Case cases[] = {
        {"the whole timeline", &known, t, t + 16 * h, true},
        {"a window inside", &known, t + h, t + 9 * h, true},
        {"starts before the data", &known, t - 1, t + h, false},
        {"ends after the data", &known, t + h, t + 16 * h + 1, false},
        {"a one-second hole", &holed, t, t + 16 * h, false},
        {"a window before the hole", &holed, t, t + 8 * h, true},
        {"an unknown segment", &unknown, t + 7 * h, t + 9 * h, false},
        {"a window that only touches the unknown segment", &unknown, t, t + 8 * h, true},
        {"empty timeline", nullptr, t, t + h, false},
    };
    const Timeline empty;
    for (const auto& c : cases) EXPECT_EQ(isCovered(c.timeline ? *c.timeline : empty, c.from, c.to), c.covered) << c.name;
}

}  // namespace
}  // namespace ddd
