// Invariants of the merge, the timeline, the shifts and the coverage gaps, and the strict checks
// against the independent minute-by-minute re-computation, on seeded random histories: the
// generator's plausible driver histories, and harsher ones that break every limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "analysis/coverage.h"
#include "analysis/rule_context.h"
#include "analysis/shifts.h"
#include "analysis/timeline.h"
#include "tests/analysis/rule_oracle.h"

namespace ddd {
namespace {

using namespace test;

constexpr int kHistories = 24;

struct Analysis {
    MergedCardView view;
    Timeline timeline;
    std::vector<CoreShift> shifts;
    std::vector<ShiftDetail> details;
    std::vector<CoverageGap> gaps;
};

Analysis analyse(const Cards& cards) {
    Analysis a;
    a.view = mergeDownloads(cards);
    a.timeline = buildTimeline(a.view);
    a.shifts = buildShifts(a.timeline, specificConditionCodes(a.view), placeCodes(a.view));
    a.details = buildShiftDetails(a.shifts, a.timeline, a.view.vehiclesUsed);
    a.gaps = findCoverageGaps(a.timeline);
    return a;
}

gen::CardDescription plausibleHistory(int seed) {
    const gen::Generation generation = seed % 3 == 0 ? gen::Generation::Both : gen::Generation::Gen1;
    return withLargeActivityArea(gen::randomCard(static_cast<std::uint64_t>(seed), 100, generation));
}

// Random blocks with long driving, short breaks, short and long rests, crew driving and the
// card now and then left out without entries: every check has something to find.
gen::CardDescription harshHistory(std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    const auto between = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<std::uint64_t>(hi - lo + 1)); };
    gen::Timeline t(gen::utcDay(2024, 1, 1) + static_cast<std::int64_t>(seed % 7) * kDay);
    const std::int64_t end = t.now() + 42 * kDay;
    // Each block: the share of picks, its activity, its length range and how rarely it is crew work.
    const struct { int upTo, activity, shortest, longest, crewOneIn; } kinds[] = {
        {30, gen::kDriving, 30, 330, 10}, {50, gen::kRest, 5, 50, 0},     {65, gen::kWork, 10, 150, 0},
        {73, gen::kAvailability, 10, 90, 3}, {90, gen::kRest, 420, 800, 0}, {94, gen::kRest, 1380, 3000, 0}};
    while (t.now() < end) {
        const int pick = between(1, 100);
        const auto kind = std::find_if(std::begin(kinds), std::end(kinds), [&](const auto& k) { return pick <= k.upTo; });
        if (kind == std::end(kinds)) {
            t.absent(between(20, 600));
            continue;
        }
        const int minutes = between(kind->shortest, kind->longest);
        t.add(kind->activity, minutes, kind->crewOneIn > 0 && between(1, kind->crewOneIn) == 1);
    }
    gen::CardDescription card;
    card.days = t.days();
    card.lastCardDownload = t.now();  // a history filled to midnight is then known to midnight
    return withLargeActivityArea(card);
}

void expectSameHistory(const Analysis& a, const Analysis& b, bool sameChosenDays, const std::string& name) {
    ASSERT_EQ(a.view.days.size(), b.view.days.size()) << name;
    for (std::size_t i = 0; i < a.view.days.size(); ++i) {
        ASSERT_EQ(a.view.days[i].day, b.view.days[i].day) << name;
        ASSERT_TRUE(sameRecord(a.view.days[i].record, b.view.days[i].record)) << name << " day " << i;
    }
    EXPECT_EQ(std::tie(a.timeline, a.shifts, a.details, a.gaps), std::tie(b.timeline, b.shifts, b.details, b.gaps)) << name;
    if (sameChosenDays) {
        EXPECT_EQ(a.view.chosenDaysTimeline, b.view.chosenDaysTimeline) << name;
    }
}

const ActivitySegment& stretchAt(const Timeline& t, std::int64_t instant) {
    return *std::partition_point(t.begin(), t.end(), [&](const ActivitySegment& s) { return s.end <= instant; });
}

// Minute by minute, the timeline shows what the generator wrote, without overlap or hole; the
// coverage gaps hold exactly the time that cannot be assessed; the shifts add up and hold every
// minute of driving; night driving is counted here minute by minute.
TEST(GeneratedHistories, TimelineShiftsAndGapsAgreeWithTheWrittenChanges) {
    for (int seed = 1; seed <= kHistories; ++seed) {
        const gen::CardDescription card = plausibleHistory(seed);
        const DriverCardFile file = decodeWritten(card);
        const Analysis a = analyse({&file});
        const Timeline& t = a.timeline;
        ASSERT_FALSE(t.empty()) << seed;
        EXPECT_TRUE(a.view.warnings.empty()) << seed;
        EXPECT_EQ(std::pair(t.front().start, t.back().end), std::pair(a.view.days.front().day, a.view.days.back().day + kDay)) << seed;
        std::int64_t notAssessable = 0, inGaps = 0, driving = 0, drivingInShifts = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            ASSERT_LT(t[i].start, t[i].end) << seed;
            if (i > 0) {
                ASSERT_EQ(t[i - 1].end, t[i].start) << seed << " stretch " << i;
            }
            notAssessable += t[i].cardAbsent || t[i].type == kUnknownActivity ? t[i].end - t[i].start : 0;
            driving += t[i].type == 3 ? t[i].end - t[i].start : 0;
        }
        const auto& chosen = a.view.chosenDaysTimeline;
        for (std::size_t i = 1; i < chosen.size(); ++i) ASSERT_EQ(chosen[i - 1].end, chosen[i].start) << seed;
        int mismatches = 0;
        for (const gen::Day& day : card.days) {
            std::size_t next = 0;
            for (int minute = 0; minute < 1440; ++minute) {
                while (next < day.changes.size() && day.changes[next].minute <= minute) ++next;
                const ActivitySegment& s = stretchAt(t, day.date + minute * 60);
                if (next == 0) {
                    mismatches += s.cardAbsent ? 0 : 1;
                    continue;
                }
                const gen::ActivityChange& c = day.changes[next - 1];
                const int type = c.cardAbsent && !c.crew ? kUnknownActivity : c.activity;
                mismatches += s.type != type || (s.cardAbsent != 0) != c.cardAbsent;
            }
        }
        EXPECT_EQ(mismatches, 0) << seed;
        for (std::size_t i = 0; i < a.gaps.size(); ++i) {
            ASSERT_LT(a.gaps[i].begin, a.gaps[i].end) << seed;
            if (i > 0) {
                EXPECT_LE(a.gaps[i - 1].end, a.gaps[i].begin) << seed;
            }
            inGaps += a.gaps[i].end - a.gaps[i].begin;
        }
        EXPECT_EQ(inGaps, notAssessable) << seed;

        ASSERT_FALSE(a.shifts.empty()) << seed;
        ASSERT_EQ(a.details.size(), a.shifts.size()) << seed;
        for (std::size_t i = 0; i < a.shifts.size(); ++i) {
            const CoreShift& s = a.shifts[i];
            const ShiftDetail& d = a.details[i];
            EXPECT_EQ(s.drive + s.work + s.standby + s.breakTime + s.unknown, s.end - s.start) << seed << " shift " << i;
            if (i > 0) {
                EXPECT_GT(s.start - a.shifts[i - 1].end, 7 * h) << seed << " shift " << i;
            }
            const std::pair<const DayNightMinutes*, std::int64_t> parts[] = {{&d.drive, s.drive}, {&d.work, s.work}, {&d.standby, s.standby}, {&d.breakTime, s.breakTime}, {&d.unknown, s.unknown}};
            for (const auto& [minutes, seconds] : parts) {
                EXPECT_TRUE(minutes->day + minutes->night == minutes->total && minutes->total == seconds / 60 && minutes->day >= 0 && minutes->night >= 0) << seed;
            }
            EXPECT_TRUE(d.rest >= d.restCompensated && d.restCompensated >= 0 && d.acts <= s.pieces) << seed << " shift " << i;
            drivingInShifts += s.drive;
        }
        EXPECT_EQ(drivingInShifts, driving) << seed << ": every minute of driving belongs to a shift";
    }
}

TEST(GeneratedHistories, MergingWithItselfInAnyOrderOrFromPartialDownloadsGivesTheWholeHistory) {
    std::mt19937 shuffle(7);
    for (int seed = 1; seed <= kHistories; ++seed) {
        const gen::CardDescription card = plausibleHistory(seed);
        const std::string name = "seed " + std::to_string(seed);
        const DriverCardFile whole = decodeWritten(card);
        const Analysis once = analyse({&whole});
        expectSameHistory(once, analyse({&whole, &whole}), true, "with itself, " + name);

        const std::vector<DriverCardFile> parts = overlappingDownloads(card, 28, 11);
        Cards cards = pointers(parts);
        expectSameHistory(once, analyse(cards), true, "in order, " + name);
        std::shuffle(cards.begin(), cards.end(), shuffle);
        cards.push_back(cards.front());
        const Analysis shuffled = analyse(cards);
        expectSameHistory(once, shuffled, true, "shuffled, a download twice, " + name);
        EXPECT_TRUE(shuffled.view.dayConflicts.empty()) << name;

        // Downloads taken in the middle of a working day hold that day unfinished; the complete
        // copy of the later download wins, and only the chosen-days timeline marks the disagreement.
        const std::vector<DriverCardFile> cut = overlappingDownloads(card, 28, 14, true);
        const Analysis fromCut = analyse(pointers(cut));
        expectSameHistory(once, fromCut, false, "cut days, " + name);
        EXPECT_FALSE(fromCut.view.dayConflicts.empty()) << name;
    }
}

std::vector<Finding> withoutClass(std::vector<Finding> findings) {
    for (auto& f : findings) f.severity = 0;
    return findings;
}

// The strict checks and their rule context against the re-computation; returns the findings
// compared and the rest windows checked.
std::pair<std::size_t, std::size_t> compareWithOracle(const gen::CardDescription& card, const std::string& name) {
    const oracle::Minutes minutes = oracle::minutesOf(card);
    const DriverCardFile file = decodeWritten(card);
    const RuleEvaluation engine = evaluateMergedView(mergeDownloads(Cards{&file}), RuleOptions{});
    const auto& found = engine.violations;
    const std::pair<const char*, std::vector<Finding>> figures[] = {
        {"eu.561.daily_driving", oracle::dailyDriving(minutes)},          {"eu.561.breaks", oracle::drivingWithoutBreak(minutes)},
        {"eu.561.weekly_driving", oracle::weeklyDriving(minutes)},        {"eu.561.fortnight_driving", oracle::fortnightDriving(minutes)},
        {"eu.2002_15.weekly_working_time", oracle::weeklyWorkingTime(minutes)},
    };
    std::size_t findings = 0, restWindows = 0;
    for (const auto& [rule, unsorted] : figures) {
        std::vector<Finding> expected = unsorted;
        std::stable_sort(expected.begin(), expected.end(), [](const Finding& a, const Finding& b) { return a.when != b.when ? a.when < b.when : a.code < b.code; });
        EXPECT_EQ(withoutClass(findingsOf(found, rule)), expected) << name << " " << rule;
        findings += expected.size();
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> blocks;
    for (const auto& b : engine.context.restBlocks) blocks.push_back({b.start, b.end});
    EXPECT_EQ(blocks, oracle::restRuns(minutes)) << name << " rest lengths";
    for (const auto& v : found) {
        if (v.rule != "eu.561.daily_rest") continue;
        EXPECT_EQ(v.value, oracle::longestRest(minutes, v.start, v.end)) << name << " " << v.code << " at " << v.when;
        ++restWindows;
    }
    const RuleContext& context = engine.context;
    const Timeline t = toActivitySegments(mergeDownloads(Cards{&file}).chosenDaysTimeline);
    std::int64_t previousEnd = t.front().start;
    std::size_t r = 0;
    for (const auto& p : context.dailyWorkPeriods) {
        EXPECT_TRUE(p.start < p.end && p.start >= previousEnd && p.driving <= p.end - p.start) << name;
        while (r < context.restPeriods.size() && context.restPeriods[r].end <= p.start) ++r;
        if (r < context.restPeriods.size()) {
            EXPECT_LE(p.end, context.restPeriods[r].start) << name;
        }
        previousEnd = p.end;
    }
    return {findings, restWindows};
}

TEST(RuleOracle, GeneratedHistories) {
    std::pair<std::size_t, std::size_t> plausible{}, harsh{};
    for (int seed = 1; seed <= kHistories; ++seed) {
        const auto p = compareWithOracle(plausibleHistory(seed), "plausible seed " + std::to_string(seed));
        const auto s = compareWithOracle(harshHistory(static_cast<std::uint64_t>(seed)), "harsh seed " + std::to_string(seed));
        plausible = {plausible.first + p.first, plausible.second + p.second};
        harsh = {harsh.first + s.first, harsh.second + s.second};
    }
    EXPECT_GT(plausible.first, 10u) << "the histories must give the checks something to find";
    EXPECT_GT(harsh.first, 100u);
    EXPECT_GT(harsh.second, 10u);
}

}  // namespace
}  // namespace ddd
