#include <gtest/gtest.h>

#include <algorithm>

#include "analysis/merge.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;

const std::int64_t kMonday = utcDay(2024, 3, 4);

TEST(DayKey, RoundsToTheNearestUtcMidnight) {
    struct Case { const char* name; std::int64_t date; std::int64_t key; };
    const Case cases[] = {
        {"midnight keeps its day", kMonday, kMonday},
        {"22:00 (local midnight east of UTC) is the next day", kMonday - 2 * kHour, kMonday},
        {"11:59:59 keeps its day", kMonday + 43199, kMonday},
        {"12:00:00 rounds up", kMonday + 43200, kMonday + kDay},
        {"before 1970 rounds the same way", -2 * kHour, 0},
        {"before 1970, morning", -kDay + 3600, -kDay},
    };
    for (const auto& c : cases) EXPECT_EQ(dayKey(c.date), c.key) << c.name;
}

TEST(Merge, MostCompleteRecordWinsEachDay) {
    const std::int64_t d = kMonday;
    struct Case {
        const char* name;
        std::vector<DailyActivityRecord> older;
        std::vector<DailyActivityRecord> newer;
        std::string expected;
    };
    const Case cases[] = {
        {"older complete beats newer cut off at download",
         {record(d, "00:00 rest 06:00 drive 10:00 break 10:45 drive 14:00 rest")},
         {record(d, "00:00 rest 06:00 drive 10:00 break"), record(d + kDay, "00:00 rest")},
         "00:00 rest 06:00 drive 10:00 break 10:45 drive 14:00 rest"},
        {"equal counts: the download with the later latest day wins", {record(d, "00:00 rest 06:00 drive 10:00 rest")},
         {record(d, "00:00 rest 06:00 work 10:00 rest"), record(d + kDay, "00:00 rest")},
         "00:00 rest 06:00 work 10:00 rest"},
    };
    for (const auto& c : cases) {
        const std::vector<DriverCardFile> files{download(c.older), download(c.newer)};
        const MergedCardView view = mergeDownloads(pointers(files));
        ASSERT_FALSE(view.days.empty()) << c.name;
        EXPECT_EQ(view.days.front().record.changes, words(c.expected)) << c.name;
        ASSERT_EQ(view.dayConflicts.size(), 1u) << c.name;
        EXPECT_EQ(view.dayConflicts.front().day, d) << c.name;
        EXPECT_EQ(view.dayConflicts.front().variants.size(), 2u) << c.name;
    }
}

TEST(Merge, SecondGenerationDownloadContributesBothParts) {
    const std::vector<DailyActivityRecord> days{record(kMonday, "00:00 rest 06:00 drive 10:00 rest")};
    const std::vector<DriverCardFile> files{download(days, Parts::Gen1), download(days, Parts::Both)};
    const MergedCardView view = mergeDownloads(pointers(files));
    ASSERT_EQ(view.days.size(), 1u);
    EXPECT_TRUE(view.dayConflicts.empty());
    EXPECT_EQ(view.downloadsMerged, 2u);
}

TEST(Merge, ConflictListsTheIdentitiesHoldingEachVariant) {
    const std::vector<DriverCardFile> files{
        download({record(kMonday, "00:00 rest 06:00 drive 10:00 rest")}, Parts::Both),
        download({record(kMonday, "00:00 rest 06:00 work 10:00 rest")}, Parts::Gen1, identity("DF00000000001101")),
    };
    const MergedCardView view = mergeDownloads(pointers(files));
    ASSERT_EQ(view.dayConflicts.size(), 1u);
    std::vector<std::size_t> holderCounts;
    for (const auto& v : view.dayConflicts.front().variants) holderCounts.push_back(v.holders.size());
    std::sort(holderCounts.begin(), holderCounts.end());
    EXPECT_EQ(holderCounts, (std::vector<std::size_t>{1, 2}));
}

TEST(ChosenDaysTimeline, DisagreementBecomesUnknownWithItsReason) {
    const std::vector<DriverCardFile> files{
        download({record(kMonday, "00:00 rest 10:00 drive 11:00 rest")}),
        download({record(kMonday, "00:00 rest 10:00 work 11:00 rest")}),
    };
    const MergedCardView view = mergeDownloads(pointers(files));
    const std::vector<ChosenDaySegment> expected{
        {kMonday, kMonday + 10 * kHour, 0, 0, 0, SegmentReason::Resolved, 0, words("00:00 rest")[0]},
        {kMonday + 10 * kHour, kMonday + 11 * kHour, kUnknownActivity, 0, 1, SegmentReason::ConflictingDownloads, 0, 0},
        {kMonday + 11 * kHour, kMonday + kDay, 0, 0, 0, SegmentReason::Resolved, 0, words("11:00 rest")[0]},
    };
    EXPECT_EQ(view.chosenDaysTimeline, expected);
}

TEST(ChosenDaysTimeline, MissingDaysAndMissingMinutes) {
    const std::int64_t first = utcDay(2024, 5, 1);
    const std::vector<DriverCardFile> files{download({
        record(first, "00:00 rest"),
        record(first + 3 * kDay, "00:00 unknown 08:00 drive+absent 09:00 work"),
        DailyActivityRecord{first + 4 * kDay, 1, true, 0, {}},
    })};
    const MergedCardView view = mergeDownloads(pointers(files));
    const auto& t = view.chosenDaysTimeline;
    ASSERT_EQ(t.size(), 7u);
    for (int i : {1, 2}) {
        EXPECT_EQ(t[i].start, first + i * kDay);
        EXPECT_EQ(t[i].end, first + (i + 1) * kDay);
        EXPECT_EQ(t[i].reason, SegmentReason::MissingDay);
        EXPECT_EQ(t[i].type, kUnknownActivity);
        EXPECT_EQ(t[i].cardAbsent, 0);
    }
    EXPECT_EQ(t[3].type, kUnknownActivity) << "card out with no activity entered";
    EXPECT_EQ(t[3].cardAbsent, 1);
    EXPECT_EQ(t[3].reason, SegmentReason::Resolved);
    EXPECT_EQ(t[4].type, 3) << "manually entered driving";
    EXPECT_EQ(t[4].cardAbsent, 1);
    EXPECT_EQ(t[6].reason, SegmentReason::NoData) << "a record without change words";
    EXPECT_EQ(t[6].end - t[6].start, kDay);
}

TEST(ChosenDaysTimeline, OutOfOrderWordsAreMarkedAndReported) {
    DailyActivityRecord r = record(kMonday, "00:00 rest 10:00 drive 08:00 work 12:00 rest");
    const std::vector<DriverCardFile> files{download({r})};
    const MergedCardView view = mergeDownloads(pointers(files));
    ASSERT_FALSE(view.chosenDaysTimeline.empty());
    for (const auto& s : view.chosenDaysTimeline) EXPECT_EQ(s.unordered, 1);
    ASSERT_EQ(view.warnings.size(), 1u);
    EXPECT_NE(view.warnings[0].find("not in time order"), std::string::npos);
}

TEST(Merge, BadInputIsReportedNotDropped) {
    struct Case { const char* name; std::vector<DriverCardFile> files; std::size_t days; std::string warning; };
    std::vector<Case> cases;
    cases.push_back({"minute past the end of the day",
                     {download({record(kMonday, "00:00 rest 08:00 drive 25:00 rest")})},
                     1,
                     "minute 1500"});
    cases.push_back({"two different drivers",
                     {download({record(kMonday, "00:00 rest")}),
                      download({record(kMonday + kDay, "00:00 rest")}, Parts::Gen1, identity("DF00000000009900"))},
                     2,
                     "2 different drivers"});
    cases.push_back({"empty list", {}, 0, ""});
    for (const auto& c : cases) {
        const MergedCardView view = mergeDownloads(pointers(c.files));
        EXPECT_EQ(view.days.size(), c.days) << c.name;
        if (c.warning.empty()) {
            EXPECT_TRUE(view.warnings.empty()) << c.name;
        } else {
            ASSERT_EQ(view.warnings.size(), 1u) << c.name;
            EXPECT_NE(view.warnings[0].find(c.warning), std::string::npos) << c.name << ": " << view.warnings[0];
        }
    }
}

TEST(Merge, RenewedCardOfTheSameDriverIsNoWarning) {
    const std::vector<DriverCardFile> files{
        download({record(kMonday, "00:00 rest")}, Parts::Gen1, identity("DF00000000001100")),
        download({record(kMonday + kDay, "00:00 rest")}, Parts::Gen1, identity("DF00000000001101", 13, "Neu")),
    };
    const MergedCardView view = mergeDownloads(pointers(files));
    EXPECT_TRUE(view.warnings.empty());
    ASSERT_TRUE(view.identification);
    EXPECT_EQ(view.identification->surname.text, "Neu") << "identification of the newest download";
}

TEST(Merge, NullEntriesAreIgnored) {
    const DriverCardFile file = download({record(kMonday, "00:00 rest")});
    const std::vector<const DriverCardFile*> cards{nullptr, &file, nullptr};
    const MergedCardView view = mergeDownloads(cards);
    EXPECT_EQ(view.downloadsMerged, 1u);
    EXPECT_EQ(view.days.size(), 1u);
}

TEST(Merge, CyclicRecordsAreUnitedWithoutDuplicates) {
    DriverCardFile a = download({record(kMonday, "00:00 rest")}, Parts::Both);
    DriverCardFile b = download({record(kMonday + kDay, "00:00 rest")});
    CardVehicleRecord use{1000, 1200, kMonday + 6 * kHour, kMonday + 16 * kHour, {13, "B-XY 123"}, 0, false, ""};
    CardVehicleRecord useWithVin = use;
    useWithVin.vin = "WDB9634031L123456";
    useWithVin.hasVuDataBlockCounter = true;
    CardVehicleRecord later = use;
    later.firstUse += kDay;
    later.lastUse += kDay;
    a.gen1->vehiclesUsed = VehiclesUsed{{use}, 0, {}};
    a.gen2->vehiclesUsed = VehiclesUsed{{useWithVin}, 0, {}};
    b.gen1->vehiclesUsed = VehiclesUsed{{later, use}, 0, {}};
    const EventFaultRecord event{0x05, kMonday, kMonday + 60, {13, "B-XY 123"}};
    a.gen1->events = std::vector<EventFaultRecord>{event};
    b.gen1->faults = std::vector<EventFaultRecord>{{0x31, kMonday - 60, kMonday, {}}};
    b.gen1->events = std::vector<EventFaultRecord>{event};
    a.gen1->specificConditions = std::vector<SpecificConditionRecord>{{kMonday + 60, 3}, {kMonday, 1}};
    b.gen1->specificConditions = std::vector<SpecificConditionRecord>{{kMonday, 1}};
    const std::vector<const DriverCardFile*> cards{&b, &a};
    const MergedCardView view = mergeDownloads(cards);

    ASSERT_EQ(view.vehiclesUsed.size(), 2u);
    EXPECT_EQ(view.vehiclesUsed[0].vin, "WDB9634031L123456") << "the richer copy of one use is kept";
    EXPECT_EQ(view.vehiclesUsed[1].firstUse, later.firstUse);
    ASSERT_EQ(view.events.size(), 2u);
    EXPECT_EQ(view.events[0].type, 0x31) << "events and faults in time order";
    ASSERT_EQ(view.specificConditions.size(), 2u);
    EXPECT_EQ(view.specificConditions[0].conditionType, 1);
}

}  // namespace
}  // namespace ddd
