// One driver's downloads merged into chosen days, laid out as a timeline, its gaps, the source
// of each day, and the newest day of a download taken while the card was in use.
#include <gtest/gtest.h>

#include <algorithm>

#include "analysis/coverage.h"
#include "analysis/pipeline.h"
#include "analysis/provenance.h"
#include "analysis/timeline.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;
using gen::dayFromText;
using gen::utcTime;

const std::int64_t d = kMonday;

TEST(Merge, DayKeyRoundsToTheNearestUtcMidnight) {
    const std::pair<std::int64_t, std::int64_t> cases[] = {{d, d}, {d - 2 * h, d}, {d + 43199, d}, {d + 43200, d + kDay}, {-2 * h, 0}, {-kDay + h, -kDay}};
    for (const auto& [date, key] : cases) EXPECT_EQ(dayKey(date), key) << date;
}

TEST(Merge, MostCompleteRecordWinsEachDayAndConflictsNameTheirHolders) {
    struct Case { const char* name; std::vector<DailyActivityRecord> older, newer; std::string expected; };
    const Case cases[] = {
        {"older complete beats newer cut off at download", {record(d, "00:00 rest 06:00 drive 10:00 break 10:45 drive 14:00 rest")},
         {record(d, "00:00 rest 06:00 drive 10:00 break"), record(d + kDay, "00:00 rest")}, "00:00 rest 06:00 drive 10:00 break 10:45 drive 14:00 rest"},
        {"equal counts: the download with the later latest day wins", {record(d, "00:00 rest 06:00 drive 10:00 rest")},
         {record(d, "00:00 rest 06:00 work 10:00 rest"), record(d + kDay, "00:00 rest")}, "00:00 rest 06:00 work 10:00 rest"},
    };
    for (const auto& c : cases) {
        const std::vector<DriverCardFile> files{download(c.older), download(c.newer, Parts::Both, identity("DF00000000001101"))};
        const MergedCardView view = mergeDownloads(pointers(files));
        ASSERT_EQ(view.dayConflicts.size(), 1u) << c.name;
        EXPECT_EQ(view.days.front().record.changes, words(c.expected)) << c.name;
        EXPECT_EQ(view.dayConflicts.front().day, d) << c.name;
        std::vector<std::size_t> holders;
        for (const auto& v : view.dayConflicts.front().variants) holders.push_back(v.holders.size());
        std::sort(holders.begin(), holders.end());
        EXPECT_EQ(holders, (std::vector<std::size_t>{1, 2})) << c.name << ": both parts of the second download hold its variant";
    }
    const std::vector<DailyActivityRecord> same{record(d, "00:00 rest 06:00 drive 10:00 rest")};
    const std::vector<DriverCardFile> files{download(same), download(same, Parts::Both)};
    const MergedCardView view = mergeDownloads(Cards{nullptr, &files[0], nullptr, &files[1]});
    EXPECT_TRUE(view.dayConflicts.empty());
    EXPECT_EQ(view.downloadsMerged, 2u) << "null entries are ignored";
}

TEST(Merge, ChosenDaysTimelineMarksDisagreementMissingDaysAndDisorder) {
    const std::vector<DriverCardFile> disagree{download({record(d, "00:00 rest 10:00 drive 11:00 rest")}), download({record(d, "00:00 rest 10:00 work 11:00 rest")})};
    EXPECT_EQ(mergeDownloads(pointers(disagree)).chosenDaysTimeline,
              (std::vector<ChosenDaySegment>{{d, d + 10 * h, 0, 0, 0, SegmentReason::Resolved, 0, words("00:00 rest")[0]},
                                             {d + 10 * h, d + 11 * h, kUnknownActivity, 0, 1, SegmentReason::ConflictingDownloads, 0, 0},
                                             {d + 11 * h, d + kDay, 0, 0, 0, SegmentReason::Resolved, 0, words("11:00 rest")[0]}}));

    const std::vector<DriverCardFile> gaps{download({record(d, "00:00 rest"), record(d + 3 * kDay, "00:00 unknown 08:00 drive+absent 09:00 work"),
                                                     DailyActivityRecord{d + 4 * kDay, 1, true, 0, {}}})};
    std::vector<std::tuple<std::int64_t, std::int64_t, int, int, SegmentReason>> got;
    for (const auto& s : mergeDownloads(pointers(gaps)).chosenDaysTimeline) got.emplace_back(s.start, s.end, s.type, s.cardAbsent, s.reason);
    using R = SegmentReason;
    EXPECT_EQ(got, (decltype(got){{d, d + kDay, 0, 0, R::Resolved}, {d + kDay, d + 2 * kDay, 255, 0, R::MissingDay}, {d + 2 * kDay, d + 3 * kDay, 255, 0, R::MissingDay},
                                  {d + 3 * kDay, d + 3 * kDay + 8 * h, 255, 1, R::Resolved}, {d + 3 * kDay + 8 * h, d + 3 * kDay + 9 * h, 3, 1, R::Resolved},
                                  {d + 3 * kDay + 9 * h, d + 4 * kDay, 2, 0, R::Resolved}, {d + 4 * kDay, d + 5 * kDay, 255, 0, R::NoData}}));

    const std::vector<DriverCardFile> disorder{download({record(d, "00:00 rest 10:00 drive 08:00 work 12:00 rest")})};
    const MergedCardView view = mergeDownloads(pointers(disorder));
    for (const auto& s : view.chosenDaysTimeline) EXPECT_EQ(s.unordered, 1);
    ASSERT_EQ(view.warnings.size(), 1u);
    EXPECT_NE(view.warnings[0].find("not in time order"), std::string::npos);
}

TEST(Merge, BadInputIsReportedNotDropped) {
    struct Case { const char* name; std::vector<DriverCardFile> files; std::size_t days; std::string warning; };
    std::vector<Case> cases;
    cases.push_back({"minute past the end of the day", {download({record(d, "00:00 rest 08:00 drive 25:00 rest")})}, 1, "minute 1500"});
    cases.push_back({"two different drivers", {download({record(d, "00:00 rest")}), download({record(d + kDay, "00:00 rest")}, Parts::Gen1, identity("DF00000000009900"))},
                     2, "2 different drivers"});
    cases.push_back({"a renewed card of the same driver", {download({record(d, "00:00 rest")}), download({record(d + kDay, "00:00 rest")}, Parts::Gen1, identity("DF00000000001101", "Neu"))},
                     2, ""});
    cases.push_back({"empty list", {}, 0, ""});
    for (const auto& c : cases) {
        const MergedCardView view = mergeDownloads(pointers(c.files));
        EXPECT_EQ(view.days.size(), c.days) << c.name;
        ASSERT_EQ(view.warnings.size(), c.warning.empty() ? 0u : 1u) << c.name;
        if (!c.warning.empty()) {
            EXPECT_NE(view.warnings[0].find(c.warning), std::string::npos) << c.name << ": " << view.warnings[0];
        }
    }
    EXPECT_EQ(mergeDownloads(pointers(cases[2].files)).identification->surname.text, "Neu") << "identification of the newest download";
}

TEST(Merge, CyclicRecordsAreUnitedWithoutDuplicates) {
    DriverCardFile a = download({record(d, "00:00 rest")}, Parts::Both);
    DriverCardFile b = download({record(d + kDay, "00:00 rest")});
    CardVehicleRecord use{1000, 1200, d + 6 * h, d + 16 * h, {13, "B-XY 123"}, 0, false, ""};
    CardVehicleRecord withVin = use, later = use;
    withVin.vin = "WDB9634031L123456";
    withVin.hasVuDataBlockCounter = true;
    later.firstUse += kDay;
    later.lastUse += kDay;
    a.gen1->vehiclesUsed = VehiclesUsed{{use}, 0, {}};
    a.gen2->vehiclesUsed = VehiclesUsed{{withVin}, 0, {}};
    b.gen1->vehiclesUsed = VehiclesUsed{{later, use}, 0, {}};
    const EventFaultRecord event{0x05, d, d + 60, {13, "B-XY 123"}};
    a.gen1->events = std::vector<EventFaultRecord>{event};
    b.gen1->events = std::vector<EventFaultRecord>{event};
    b.gen1->faults = std::vector<EventFaultRecord>{{0x31, d - 60, d, {}}};
    a.gen1->specificConditions = std::vector<SpecificConditionRecord>{{d + 60, 3}, {d, 1}};
    b.gen1->specificConditions = std::vector<SpecificConditionRecord>{{d, 1}};
    const BorderCrossingRecord out{13, 40, {d + 9 * h}, 1100}, back{40, 13, {d + kDay + 9 * h}, 1400};
    a.gen2->borderCrossings = std::vector<BorderCrossingRecord>{out};
    b.gen2 = a.gen2;
    b.gen2->borderCrossings = std::vector<BorderCrossingRecord>{back, out};
    const MergedCardView view = mergeDownloads(Cards{&b, &a});
    EXPECT_EQ(view.borderCrossings, (std::vector<BorderCrossingRecord>{out, back})) << "each crossing once, in time order";
    ASSERT_EQ(view.vehiclesUsed.size(), 2u);
    EXPECT_EQ(view.vehiclesUsed[0].vin, "WDB9634031L123456") << "the richer copy of one use is kept";
    EXPECT_EQ(view.vehiclesUsed[1].firstUse, later.firstUse);
    ASSERT_EQ(view.events.size(), 2u);
    EXPECT_EQ(view.events[0].type, 0x31) << "events and faults in time order";
    ASSERT_EQ(view.specificConditions.size(), 2u);
    EXPECT_EQ(view.specificConditions[0].conditionType, 1);
}

TEST(Timeline, LaysOutTheChosenDays) {
    struct Case { const char* name; std::vector<std::vector<DailyActivityRecord>> downloads; Timeline expected; };
    const Case cases[] = {
        {"one rest change at midnight covers the whole day", {{record(d, "00:00 rest")}}, {{d, d + kDay, 0, 0}}},
        {"a missing day is card absent", {{record(d, "00:00 rest"), record(d + 2 * kDay, "00:00 rest")}},
         {{d, d + kDay, 0, 0}, {d + kDay, d + 2 * kDay, kUnknownActivity, 1}, {d + 2 * kDay, d + 3 * kDay, 0, 0}}},
        {"a manually entered card-absent rest carries into the missing day", {{record(d, "00:00 rest 18:00 rest+absent"), record(d + 2 * kDay, "00:00 rest")}},
         {{d, d + 18 * h, 0, 0}, {d + 18 * h, d + kDay, 0, 1}, {d + kDay, d + 2 * kDay, 0, 1}, {d + 2 * kDay, d + 3 * kDay, 0, 0}}},
        {"of two changes at one minute the later one stands", {{record(d, "00:00 rest 08:00 work 08:00 drive 09:00 rest")}},
         {{d, d + 8 * h, 0, 0}, {d + 8 * h, d + 9 * h, 3, 0}, {d + 9 * h, d + kDay, 0, 0}}},
        {"changes out of time order are laid out by their minute", {{record(d, "00:00 rest 10:00 drive 08:00 work 12:00 rest")}},
         {{d, d + 8 * h, 0, 0}, {d + 8 * h, d + 10 * h, 2, 0}, {d + 10 * h, d + 12 * h, 3, 0}, {d + 12 * h, d + kDay, 0, 0}}},
        {"a change past the end of the day is ignored", {{record(d, "00:00 rest 20:00 drive 25:00 rest")}}, {{d, d + 20 * h, 0, 0}, {d + 20 * h, d + kDay, 3, 0}}},
        {"a day without a change at midnight starts card absent", {{record(d, "06:00 drive 07:00 rest")}},
         {{d, d + 6 * h, kUnknownActivity, 1}, {d + 6 * h, d + 7 * h, 3, 0}, {d + 7 * h, d + kDay, 0, 0}}},
        {"a trailing day without changes is card absent", {{record(d, "00:00 rest"), DailyActivityRecord{d + kDay, 2, true, 0, {}}}},
         {{d, d + kDay, 0, 0}, {d + kDay, d + 2 * kDay, kUnknownActivity, 1}}},
        {"nothing to lay out", {{DailyActivityRecord{d, 1, true, 0, {}}}}, {}},
    };
    for (const auto& c : cases) {
        std::vector<DriverCardFile> files;
        for (const auto& days : c.downloads) files.push_back(download(days));
        EXPECT_EQ(buildTimeline(mergeDownloads(pointers(files))), c.expected) << c.name;
    }
}

TEST(Timeline, CoverageGapsJoinRunsOfOneCause) {
    struct Case { const char* name; Timeline activities; std::vector<CoverageGap> expected; };
    const Case cases[] = {
        {"unknown with the card inserted has its own cause", timeline(d, "drive 1:00 unknown 2:00 unknown+absent 1:00"), {{d + h, d + 3 * h, 1}, {d + 3 * h, d + 4 * h, 0}}},
        {"overlapping stretches extend the gap to the later end",
         {{d, d + 3 * h, kUnknownActivity, 1}, {d + h, d + 2 * h, kUnknownActivity, 1}, {d + 2 * h, d + 5 * h, 0, 1}}, {{d, d + 5 * h, 0}}},
        {"zero-length stretches are ignored", {{d, d, kUnknownActivity, 1}}, {}},
        {"unsorted input is ordered first", {{d + h, d + 2 * h, kUnknownActivity, 1}, {d, d + h, kUnknownActivity, 1}}, {{d, d + 2 * h, 0}}},
    };
    for (const auto& c : cases) EXPECT_EQ(findCoverageGaps(c.activities), c.expected) << c.name;
}

TEST(Provenance, EachDayNamesTheFilesItCameFrom) {
    std::vector<DriverCardFile> files{download({record(d, "00:00 rest 06:00 drive 10:00 rest")}, Parts::Both),
                                      download({record(d, "00:00 rest 06:00 drive"), record(d + kDay, "00:00 rest 06:00 drive")}),
                                      download({record(d + kDay, "00:00 rest 06:00 drive")})};
    files[0].gen1->lastCardDownload = 0xFFFFFFFFll;
    files[0].gen2->lastCardDownload = 0;
    files[1].gen1->lastCardDownload = d + 2 * kDay + h;
    const auto model = report::buildProvenance({"/data/a.ddd", "C:\\data\\b.DDD", "c.ddd", "missing.ddd"}, Cards{&files[0], &files[1], &files[2], nullptr},
                                               "DF00000000001100", "Erika Muster", 13);
    ASSERT_EQ(model.files.size(), 4u);
    EXPECT_EQ(std::tie(model.files[0].name, model.files[1].name), std::tie("a.ddd", "b.DDD"));
    EXPECT_FALSE(model.files[0].downloadTime) << "0 and 0xFFFFFFFF are no download time";
    EXPECT_EQ(model.files[1].downloadTime, d + 2 * kDay + h);
    EXPECT_EQ(std::tuple(model.files[1].earliestDate, model.files[1].latestDate, model.files[1].distinctDates, model.files[1].latestChange),
              std::tuple(d, d + kDay, 2u, std::optional<std::int64_t>(d + kDay + 6 * h)));
    EXPECT_EQ(model.files[3].distinctDates, 0u);
    ASSERT_EQ(model.days.size(), 2u);
    EXPECT_EQ(std::pair(model.days[0].sources, model.days[0].conflict), std::pair(std::vector<std::size_t>{0}, true)) << "the complete older file";
    EXPECT_EQ(std::pair(model.days[1].sources, model.days[1].conflict), std::pair(std::vector<std::size_t>{1, 2}, false)) << "identical copies";
    EXPECT_EQ(std::tie(model.card, model.nation), std::tuple("DF00000000001100", 13u));
    EXPECT_EQ(report::buildProvenance({"x.ddd"}, Cards{&files[2], &files[2]}, "", "", 0).files.size(), 1u) << "as many entries as both lists hold";
}

// Two normal days, then a morning on which the card is downloaded remotely while driving, in a
// vehicle used from 06:00 to 11:00 that day.
gen::CardDescription downloadedWhileDriving(std::int64_t downloadedAt) {
    gen::CardDescription card;
    for (unsigned day : {6u, 7u}) card.days.push_back(dayFromText(gen::utcDay(2024, 5, day), "00:00 rest 06:00 work 06:30 drive 10:30 break 11:15 drive 15:00 rest"));
    card.days.push_back(dayFromText(gen::utcDay(2024, 5, 8), "00:00 rest 06:00 work 06:30 drive"));
    card.vehicles = {{100300, 100500, utcTime(2024, 5, 8, "06:00"), utcTime(2024, 5, 8, "11:00"), {13, "B-XY 2"}, 0, ""}};
    card.currentUsage = gen::CurrentUsage{card.vehicles[0].firstUse, card.vehicles[0].registration};
    card.lastCardDownload = downloadedAt;
    return card;
}

AnalysisResult analyzeAll(const std::vector<gen::CardDescription>& downloads) {
    std::vector<DriverCardFile> decoded;
    for (const auto& c : downloads) decoded.push_back(decodeWritten(c));
    return analyze(pointers(decoded));
}

bool hasCode(const AnalysisResult& result, const std::string& prefix) {
    return std::any_of(result.legalViolations.begin(), result.legalViolations.end(), [&](const LegalViolation& v) { return v.code.starts_with(prefix); });
}

// Nothing is invented after the latest instant the download proves: the download itself when the
// card's own record of it lies after the day's last change, else that change while the card was
// still in use. A card withdrawn before (its last change has the card out) holds the whole day.
TEST(DownloadInstant, TheNewestDayEndsAtTheLatestProvenInstant) {
    const std::int64_t lastChange = utcTime(2024, 5, 8, "06:30"), withdrawal = utcTime(2024, 5, 8, "11:00"), midnight = gen::utcDay(2024, 5, 9);
    enum InVehicle { No, OpenVehicleRecord, SessionWithoutRecord };
    struct Case { const char* name; std::int64_t instant; bool withdrawn; InVehicle inVehicle; std::int64_t end; };
    const Case cases[] = {
        {"download during the day after the last change", utcTime(2024, 5, 8, "10:00"), false, No, utcTime(2024, 5, 8, "10:00")},
        {"inserted, no download record", 0, false, No, lastChange},
        {"inserted, download record before the last change", utcTime(2024, 5, 8, "06:10"), false, No, lastChange},
        {"download record on a later day", utcTime(2024, 5, 9, "08:00"), false, No, midnight},
        {"withdrawn", 0, true, No, midnight},
        {"withdrawn, vehicle record still open", 0, true, OpenVehicleRecord, withdrawal},
        {"withdrawn, session without a vehicle record", 0, true, SessionWithoutRecord, withdrawal},
    };
    for (const auto& c : cases) {
        gen::CardDescription card = downloadedWhileDriving(c.instant);
        if (c.withdrawn) card.days.back().changes.push_back({660, gen::kDriving, false, false, true});
        if (c.inVehicle == OpenVehicleRecord) gen::leaveInVehicle(card, c.instant);
        if (c.inVehicle == SessionWithoutRecord) card.vehicles.clear();
        const AnalysisResult result = analyzeAll({card});
        ASSERT_TRUE(result.ok) << c.name;
        EXPECT_EQ(result.activities.back().end, c.end) << c.name;
        EXPECT_EQ(result.dataEnd, c.end == midnight ? 0 : c.end) << c.name;
        EXPECT_EQ(hasCode(result, "eu.561.breaks"), c.end == midnight && !c.withdrawn) << c.name;
        for (const auto& shift : result.shifts) EXPECT_LT(shift.detail.distance, 1000) << c.name;
    }
}

TEST(DownloadInstant, AFinishedCopyOfTheDayWinsAndAgreesUpToTheDownload) {
    auto early = downloadedWhileDriving(utcTime(2024, 5, 8, "10:00"));
    auto later = downloadedWhileDriving(utcTime(2024, 5, 10, "07:00"));
    later.days[2] = dayFromText(gen::utcDay(2024, 5, 8), "00:00 rest 06:00 work 06:30 drive 10:30 break 11:15 drive 14:00 rest");
    later.days.push_back(dayFromText(gen::utcDay(2024, 5, 9), "00:00 rest"));
    gen::leaveInVehicle(early, utcTime(2024, 5, 8, "10:00"));
    for (const auto& order : {std::vector{early, later}, std::vector{later, early}}) {
        const AnalysisResult result = analyzeAll(order);
        ASSERT_TRUE(result.ok);
        ASSERT_EQ(result.vehicles.size(), 1u) << "the use closed later stands for the open one";
        EXPECT_EQ(result.vehicles[0].odometerEnd, 100500u);
        EXPECT_EQ(result.activities.back().end, gen::utcDay(2024, 5, 10));
        std::int64_t driving = 0;
        for (const auto& s : result.activities) driving += s.type == kActivityDriving && s.start < gen::utcDay(2024, 5, 9) && s.end > gen::utcDay(2024, 5, 8) ? s.end - s.start : 0;
        EXPECT_EQ(driving, 6 * h + 45 * m);
        EXPECT_FALSE(hasCode(result, "eu.561.daily_driving"));
    }
    later.days[2] = dayFromText(gen::utcDay(2024, 5, 8), "00:00 rest 06:00 work 06:30 drive 09:00 break 09:45 drive 13:00 rest");
    const DriverCardFile a = decodeWritten(early), b = decodeWritten(later);
    const MergedCardView view = mergeDownloads(Cards{&a, &b});
    ASSERT_EQ(view.dayConflicts.size(), 1u);
    for (const auto& s : view.chosenDaysTimeline) {
        if (s.start >= utcTime(2024, 5, 8, "10:00") && s.end <= gen::utcDay(2024, 5, 9)) {
            EXPECT_NE(s.reason, SegmentReason::ConflictingDownloads) << "after the early download only the finished copy speaks: " << formatDateTime(s.start);
        }
    }
}

}  // namespace
}  // namespace ddd
