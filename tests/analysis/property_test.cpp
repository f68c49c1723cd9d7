// Invariants of the merge, the timeline, the shifts and the coverage gaps, checked on many
// generated random driver histories.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "analysis/coverage.h"
#include "analysis/rule_context.h"
#include "analysis/shifts.h"
#include "analysis/timeline.h"
#include "tests/analysis/generated_histories.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;

constexpr int kHistories = 24;
constexpr int kHistoryDays = 100;

struct Analysis {
    MergedCardView view;
    Timeline timeline;
    std::vector<CoreShift> shifts;
    std::vector<ShiftDetail> details;
    std::vector<CoverageGap> gaps;
};

Analysis analyse(std::vector<const DriverCardFile*> cards) {
    Analysis a;
    a.view = mergeDownloads(cards);
    a.timeline = buildTimeline(a.view);
    a.shifts = buildShifts(a.timeline, specificConditionCodes(a.view), placeCodes(a.view));
    a.details = buildShiftDetails(a.shifts, a.timeline, a.view.vehiclesUsed);
    a.gaps = findCoverageGaps(a.timeline);
    return a;
}

gen::CardDescription history(int seed) {
    const gen::Generation generation = seed % 3 == 0 ? gen::Generation::Both : gen::Generation::Gen1;
    return withLargeActivityArea(gen::randomCard(static_cast<std::uint64_t>(seed), kHistoryDays, generation));
}

void expectSameHistory(const Analysis& a, const Analysis& b, bool sameChosenDaysTimeline, const std::string& name) {
    ASSERT_EQ(a.view.days.size(), b.view.days.size()) << name;
    for (std::size_t i = 0; i < a.view.days.size(); ++i) {
        ASSERT_EQ(a.view.days[i].day, b.view.days[i].day) << name;
        ASSERT_TRUE(sameRecord(a.view.days[i].record, b.view.days[i].record)) << name << " day " << i;
    }
    EXPECT_EQ(a.timeline, b.timeline) << name;
    EXPECT_EQ(a.shifts, b.shifts) << name;
    EXPECT_EQ(a.details, b.details) << name;
    EXPECT_EQ(a.gaps, b.gaps) << name;
    if (sameChosenDaysTimeline) {
        EXPECT_EQ(a.view.chosenDaysTimeline, b.view.chosenDaysTimeline) << name;
    }
}

std::uint8_t expectedType(const gen::ActivityChange& c) {
    if (c.cardAbsent && !c.crew) return kUnknownActivity;
    return static_cast<std::uint8_t>(c.activity);
}

const ActivitySegment& stretchAt(const Timeline& t, std::int64_t instant) {
    return *std::partition_point(t.begin(), t.end(), [&](const ActivitySegment& s) { return s.end <= instant; });
}

TEST(GeneratedHistories, TimelineCoversTheHistoryWithoutOverlapOrHole) {
    for (int seed = 1; seed <= kHistories; ++seed) {
        const gen::CardDescription card = history(seed);
        const DriverCardFile file = decodeWritten(card);
        const Analysis a = analyse({&file});
        ASSERT_FALSE(a.timeline.empty()) << seed;
        EXPECT_EQ(a.timeline.front().start, a.view.days.front().day) << seed;
        EXPECT_EQ(a.timeline.back().end, a.view.days.back().day + kDay) << seed;
        for (std::size_t i = 0; i < a.timeline.size(); ++i) {
            ASSERT_LT(a.timeline[i].start, a.timeline[i].end) << seed;
            if (i > 0) {
                ASSERT_EQ(a.timeline[i - 1].end, a.timeline[i].start) << seed << " stretch " << i;
            }
        }
        const auto& chosen = a.view.chosenDaysTimeline;
        for (std::size_t i = 1; i < chosen.size(); ++i) ASSERT_EQ(chosen[i - 1].end, chosen[i].start) << seed;
        EXPECT_TRUE(a.view.warnings.empty()) << seed;
    }
}

// Minute by minute, the timeline shows what the generator wrote: the last change at or before
// each minute of each recorded day.
TEST(GeneratedHistories, TimelineAgreesWithTheWrittenChanges) {
    for (int seed = 1; seed <= kHistories; ++seed) {
        const gen::CardDescription card = history(seed);
        const DriverCardFile file = decodeWritten(card);
        const Timeline t = analyse({&file}).timeline;
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
                mismatches += (s.type != expectedType(c) || (s.cardAbsent != 0) != c.cardAbsent) ? 1 : 0;
            }
        }
        EXPECT_EQ(mismatches, 0) << seed;
    }
}

TEST(GeneratedHistories, ShiftTotalsAddUp) {
    for (int seed = 1; seed <= kHistories; ++seed) {
        const DriverCardFile file = decodeWritten(history(seed));
        const Analysis a = analyse({&file});
        ASSERT_FALSE(a.shifts.empty()) << seed;
        ASSERT_EQ(a.details.size(), a.shifts.size()) << seed;
        std::int64_t drivingInShifts = 0;
        for (std::size_t i = 0; i < a.shifts.size(); ++i) {
            const CoreShift& s = a.shifts[i];
            const ShiftDetail& d = a.details[i];
            ASSERT_LT(s.start, s.end) << seed;
            EXPECT_EQ(s.drive + s.work + s.standby + s.breakTime + s.unknown, s.end - s.start) << seed << " shift " << i;
            if (i > 0) {
                EXPECT_GT(s.start - a.shifts[i - 1].end, 25200) << seed << " shift " << i;
            }
            const std::pair<const DayNightMinutes*, std::int64_t> parts[] = {
                {&d.drive, s.drive}, {&d.work, s.work}, {&d.standby, s.standby}, {&d.breakTime, s.breakTime},
                {&d.unknown, s.unknown}};
            for (const auto& [minutes, seconds] : parts) {
                EXPECT_EQ(minutes->day + minutes->night, minutes->total) << seed;
                EXPECT_EQ(minutes->total, seconds / 60) << seed;
                EXPECT_GE(minutes->day, 0) << seed;
                EXPECT_GE(minutes->night, 0) << seed;
            }
            EXPECT_GE(d.rest, 0) << seed;
            EXPECT_GE(d.restCompensated, 0) << seed;
            EXPECT_LE(d.restCompensated, d.rest) << seed;
            EXPECT_LE(d.acts, s.pieces) << seed;
            drivingInShifts += s.drive;
        }
        std::int64_t driving = 0;
        for (const auto& s : a.timeline) driving += s.type == 3 ? s.end - s.start : 0;
        EXPECT_EQ(drivingInShifts, driving) << seed << ": every minute of driving belongs to a shift";
    }
}

// Night minutes of a shift computed independently, minute by minute.
TEST(GeneratedHistories, NightMinutesCrossCheck) {
    for (int seed = 1; seed <= 6; ++seed) {
        const DriverCardFile file = decodeWritten(history(seed));
        const Analysis a = analyse({&file});
        for (std::size_t i = 0; i < a.shifts.size(); ++i) {
            std::int64_t nightDriving = 0;
            for (std::int64_t t = a.shifts[i].start; t < a.shifts[i].end; t += 60) {
                const std::int64_t secondOfDay = ((t % kDay) + kDay) % kDay;
                const bool night = secondOfDay < 6 * kHour || secondOfDay >= 22 * kHour;
                if (night && stretchAt(a.timeline, t).type == 3) ++nightDriving;
            }
            EXPECT_LE(std::abs(a.details[i].drive.night - nightDriving), 1) << seed << " shift " << i;
        }
    }
}

TEST(GeneratedHistories, CoverageGapsMatchTheTimeNotAssessable) {
    for (int seed = 1; seed <= kHistories; ++seed) {
        const DriverCardFile file = decodeWritten(history(seed));
        const Analysis a = analyse({&file});
        std::int64_t notAssessable = 0;
        for (const auto& s : a.timeline) {
            if (s.cardAbsent || s.type == kUnknownActivity) notAssessable += s.end - s.start;
        }
        std::int64_t inGaps = 0;
        for (std::size_t i = 0; i < a.gaps.size(); ++i) {
            ASSERT_LT(a.gaps[i].begin, a.gaps[i].end) << seed;
            if (i > 0) {
                EXPECT_LE(a.gaps[i - 1].end, a.gaps[i].begin) << seed;
            }
            inGaps += a.gaps[i].end - a.gaps[i].begin;
        }
        EXPECT_EQ(inGaps, notAssessable) << seed;
    }
}

TEST(GeneratedHistories, RuleContextPartitionsTheTimeline) {
    for (int seed = 1; seed <= kHistories; ++seed) {
        const DriverCardFile file = decodeWritten(history(seed));
        const MergedCardView view = mergeDownloads(std::vector<const DriverCardFile*>{&file});
        const Timeline t = toActivitySegments(view.chosenDaysTimeline);
        const RuleContext context = buildRuleContext(t, RuleOptions{});
        std::int64_t rest = 0, inBlocks = 0;
        for (const auto& s : t) rest += s.type == 0 ? s.end - s.start : 0;
        for (const auto& b : context.restBlocks) inBlocks += b.end - b.start;
        EXPECT_EQ(inBlocks, rest) << seed;
        ASSERT_FALSE(context.restPeriods.empty()) << seed;
        std::int64_t previousEnd = t.front().start;
        std::size_t r = 0;
        for (const auto& p : context.dailyWorkPeriods) {
            EXPECT_LT(p.start, p.end) << seed;
            EXPECT_GE(p.start, previousEnd) << seed;
            EXPECT_LE(p.driving, p.end - p.start) << seed;
            while (r < context.restPeriods.size() && context.restPeriods[r].end <= p.start) ++r;
            if (r < context.restPeriods.size()) {
                EXPECT_LE(p.end, context.restPeriods[r].start) << seed;
            }
            previousEnd = p.end;
        }
    }
}

TEST(GeneratedHistories, MergingWithItselfOrInAnyOrderChangesNothing) {
    std::mt19937 shuffle(7);
    for (int seed = 1; seed <= kHistories; ++seed) {
        const gen::CardDescription card = history(seed);
        const DriverCardFile whole = decodeWritten(card);
        const Analysis once = analyse({&whole});
        expectSameHistory(once, analyse({&whole, &whole}), true, "with itself, seed " + std::to_string(seed));

        const std::vector<DriverCardFile> parts = overlappingDownloads(card, 28, 11);
        std::vector<const DriverCardFile*> cards = pointers(parts);
        const Analysis inOrder = analyse(cards);
        std::shuffle(cards.begin(), cards.end(), shuffle);
        expectSameHistory(inOrder, analyse(cards), true, "shuffled, seed " + std::to_string(seed));
        cards.push_back(cards.front());
        expectSameHistory(inOrder, analyse(cards), true, "a download twice, seed " + std::to_string(seed));
    }
}

TEST(GeneratedHistories, OverlappingPartialDownloadsGiveTheWholeHistory) {
    for (int seed = 1; seed <= kHistories; ++seed) {
        const gen::CardDescription card = history(seed);
        const DriverCardFile whole = decodeWritten(card);
        const Analysis reference = analyse({&whole});
        const std::string name = "seed " + std::to_string(seed);

        const std::vector<DriverCardFile> clean = overlappingDownloads(card, 28, 14);
        const Analysis fromParts = analyse(pointers(clean));
        expectSameHistory(reference, fromParts, true, "clean cuts, " + name);
        EXPECT_TRUE(fromParts.view.dayConflicts.empty()) << name;

        // Downloads taken in the middle of a working day hold that day unfinished; the complete
        // copy of the later download wins, and only the chosen-days timeline marks the
        // disagreement.
        const std::vector<DriverCardFile> cut = overlappingDownloads(card, 28, 14, true);
        const Analysis fromCut = analyse(pointers(cut));
        expectSameHistory(reference, fromCut, false, "cut days, " + name);
        EXPECT_FALSE(fromCut.view.dayConflicts.empty()) << name;
    }
}

}  // namespace
}  // namespace ddd
