// The strict checks against the independent minute-by-minute re-computation, on seeded random
// histories: the generator's plausible driver histories, and harsher ones that break every limit.
#include <gtest/gtest.h>

#include <random>

#include "tests/analysis/rule_oracle.h"

namespace ddd {
namespace {

using namespace test;

constexpr int kHistories = 24;

// Random blocks with long driving, short breaks, short and long rests, crew driving and the
// card now and then left out without entries: every check has something to find.
gen::CardDescription harshHistory(std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    const auto between = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<std::uint64_t>(hi - lo + 1)); };
    gen::Timeline t(gen::utcDay(2024, 1, 1) + static_cast<std::int64_t>(seed % 7) * 86400);
    const std::int64_t end = t.now() + 42 * 86400;
    while (t.now() < end) {
        const int pick = between(1, 100);
        if (pick <= 30) {
            t.add(gen::kDriving, between(30, 330), between(1, 10) == 1);
        } else if (pick <= 50) {
            t.add(gen::kRest, between(5, 50));
        } else if (pick <= 65) {
            t.add(gen::kWork, between(10, 150));
        } else if (pick <= 73) {
            t.add(gen::kAvailability, between(10, 90), between(1, 3) == 1);
        } else if (pick <= 90) {
            t.add(gen::kRest, between(420, 800));
        } else if (pick <= 94) {
            t.add(gen::kRest, between(1380, 3000));
        } else {
            t.absent(between(20, 600));
        }
    }
    gen::CardDescription card;
    card.days = t.days();
    card.lastCardDownload = t.now();  // a history filled to midnight is then known to midnight
    return withLargeActivityArea(card);
}

gen::CardDescription plausibleHistory(int seed) {
    const auto generation = seed % 3 == 0 ? gen::Generation::Both : gen::Generation::Gen1;
    return withLargeActivityArea(gen::randomCard(static_cast<std::uint64_t>(seed), 100, generation));
}

RuleEvaluation engineOn(const gen::CardDescription& card) {
    const DriverCardFile file = decodeWritten(card);
    const DriverCardFile* files[] = {&file};
    return evaluateMergedView(mergeDownloads(files), RuleOptions{});
}

std::vector<Finding> withoutClass(std::vector<Finding> findings) {
    for (auto& f : findings) f.severity = 0;
    return findings;
}

struct Tally { std::size_t findings = 0; std::size_t restWindows = 0; };

void compare(const gen::CardDescription& card, const std::string& name, Tally& tally) {
    const oracle::Minutes minutes = oracle::minutesOf(card);
    const RuleEvaluation engine = engineOn(card);
    const auto& found = engine.violations;
    const struct {
        const char* rule;
        std::vector<Finding> expected;
    } figures[] = {
        {"eu.561.daily_driving", oracle::dailyDriving(minutes)},
        {"eu.561.breaks", oracle::drivingWithoutBreak(minutes)},
        {"eu.561.weekly_driving", oracle::weeklyDriving(minutes)},
        {"eu.561.fortnight_driving", oracle::fortnightDriving(minutes)},
        {"eu.2002_15.weekly_working_time", oracle::weeklyWorkingTime(minutes)},
    };
    for (const auto& f : figures) {
        std::vector<Finding> expected = f.expected;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const Finding& a, const Finding& b) { return a.when != b.when ? a.when < b.when : a.code < b.code; });
        EXPECT_EQ(withoutClass(findingsOf(found, f.rule)), expected) << name << " " << f.rule;
        tally.findings += expected.size();
    }

    std::vector<std::pair<std::int64_t, std::int64_t>> blocks;
    for (const auto& b : engine.context.restBlocks) blocks.push_back({b.start, b.end});
    EXPECT_EQ(blocks, oracle::restRuns(minutes)) << name << " rest lengths";

    for (const auto& v : found) {
        if (v.rule != "eu.561.daily_rest") continue;
        EXPECT_EQ(v.value, oracle::longestRest(minutes, v.start, v.end)) << name << " " << v.code << " at " << v.when;
        ++tally.restWindows;
    }
}

TEST(RuleOracle, PlausibleGeneratedHistories) {
    Tally tally;
    for (int seed = 1; seed <= kHistories; ++seed) compare(plausibleHistory(seed), "plausible seed " + std::to_string(seed), tally);
    EXPECT_GT(tally.findings, 10u) << "the histories must give the checks something to find";
}

TEST(RuleOracle, HarshGeneratedHistories) {
    Tally tally;
    for (int seed = 1; seed <= kHistories; ++seed) compare(harshHistory(static_cast<std::uint64_t>(seed)), "harsh seed " + std::to_string(seed), tally);
    EXPECT_GT(tally.findings, 100u);
    EXPECT_GT(tally.restWindows, 10u);
}

}  // namespace
}  // namespace ddd
