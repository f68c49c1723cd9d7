// A download taken while the card is in use holds its newest day only up to the moment of
// downloading: nothing may be invented after it.
#include <gtest/gtest.h>

#include <algorithm>

#include "analysis/pipeline.h"
#include "tests/analysis/generated_histories.h"

namespace ddd {
namespace {

using gen::dayFromText;
using gen::utcDay;
using gen::utcTime;

// Two normal days, then a morning on which the card is downloaded remotely while driving, in a
// vehicle used from 06:00 to 11:00 that day.
gen::CardDescription remoteDownloadWhileDriving(std::int64_t downloadedAt) {
    gen::CardDescription card;
    card.days = {
        dayFromText(utcDay(2024, 5, 6), "00:00 rest 06:00 work 06:30 drive 10:30 break 11:15 drive 15:00 rest"),
        dayFromText(utcDay(2024, 5, 7), "00:00 rest 06:00 work 06:30 drive 10:30 break 11:15 drive 15:00 rest"),
        dayFromText(utcDay(2024, 5, 8), "00:00 rest 06:00 work 06:30 drive"),
    };
    card.vehicles.resize(1);
    card.vehicles[0] = {100300, 100500, utcTime(2024, 5, 8, "06:00"), utcTime(2024, 5, 8, "11:00"), {13, "B-XY 2"}, 0, ""};
    card.currentUsage = gen::CurrentUsage{card.vehicles[0].firstUse, card.vehicles[0].registration};
    card.lastCardDownload = downloadedAt;
    return card;
}

std::int64_t drivingOn(const AnalysisResult& result, std::int64_t day) {
    std::int64_t seconds = 0;
    for (const auto& s : result.activities) {
        if (s.type != kActivityDriving) continue;
        seconds += std::max<std::int64_t>(0, std::min(s.end, day + 86400) - std::max(s.start, day));
    }
    return seconds;
}

bool hasCode(const AnalysisResult& result, const std::string& prefix) {
    return std::any_of(result.legalViolations.begin(), result.legalViolations.end(),
                       [&](const LegalViolation& v) { return v.code.starts_with(prefix); });
}

AnalysisResult analyzeAll(const std::vector<gen::CardDescription>& downloads) {
    std::vector<DriverCardFile> decoded;
    for (const auto& d : downloads) decoded.push_back(test::decodeWritten(d));
    std::vector<const DriverCardFile*> cards;
    for (const auto& d : decoded) cards.push_back(&d);
    return analyze(cards);
}

// Nothing is invented after the latest instant the download proves: the download itself when the
// card's own record of it lies after the day's last change, else that change while the card was
// still in use. A card withdrawn before (its last change has the card out) holds the whole day.
TEST(DownloadInstant, TheNewestDayEndsAtTheLatestProvenInstant) {
    const std::int64_t lastChange = utcTime(2024, 5, 8, "06:30");
    const std::int64_t withdrawal = utcTime(2024, 5, 8, "11:00");
    const std::int64_t midnight = utcDay(2024, 5, 9);
    enum InVehicle { No, OpenVehicleRecord, SessionWithoutRecord };
    struct Case { const char* name; std::int64_t instant; bool withdrawn; InVehicle inVehicle; std::int64_t expectedEnd; };
    const Case cases[] = {
        {"download during the day after the last change", utcTime(2024, 5, 8, "10:00"), false, No, utcTime(2024, 5, 8, "10:00")},
        {"inserted, no download record", 0, false, No, lastChange},
        {"inserted, download record before the last change", utcTime(2024, 5, 8, "06:10"), false, No, lastChange},
        {"inserted, download record of the day before", utcTime(2024, 5, 7, "20:00"), false, No, lastChange},
        {"download record on a later day", utcTime(2024, 5, 9, "08:00"), false, No, midnight},
        {"withdrawn", 0, true, No, midnight},
        {"withdrawn, vehicle record still open", 0, true, OpenVehicleRecord, withdrawal},
        {"withdrawn, session without a vehicle record", 0, true, SessionWithoutRecord, withdrawal},
    };
    for (const auto& c : cases) {
        gen::CardDescription card = remoteDownloadWhileDriving(c.instant);
        if (c.withdrawn) card.days.back().changes.push_back({660, gen::kDriving, false, false, true});
        if (c.inVehicle == OpenVehicleRecord) gen::leaveInVehicle(card, c.instant);
        if (c.inVehicle == SessionWithoutRecord) card.vehicles.clear();
        const AnalysisResult result = analyzeAll({card});
        ASSERT_TRUE(result.ok) << c.name;
        EXPECT_EQ(result.activities.back().end, c.expectedEnd) << c.name;
        EXPECT_EQ(result.dataEnd, c.expectedEnd == midnight ? 0 : c.expectedEnd) << c.name;
        EXPECT_EQ(hasCode(result, "eu.561.breaks"), c.expectedEnd == midnight && !c.withdrawn) << c.name;
        for (const auto& shift : result.shifts) EXPECT_LT(shift.detail.distance, 1000) << c.name;
    }
}

TEST(DownloadInstant, ALaterCompleteDownloadWinsTheDay) {
    auto early = remoteDownloadWhileDriving(utcTime(2024, 5, 8, "10:00"));
    auto later = remoteDownloadWhileDriving(utcTime(2024, 5, 10, "07:00"));
    later.days[2] = dayFromText(utcDay(2024, 5, 8), "00:00 rest 06:00 work 06:30 drive 10:30 break 11:15 drive 14:00 rest");
    later.days.push_back(dayFromText(utcDay(2024, 5, 9), "00:00 rest"));
    gen::leaveInVehicle(early, utcTime(2024, 5, 8, "10:00"));
    for (const auto& order : {std::vector{early, later}, std::vector{later, early}}) {
        const AnalysisResult result = analyzeAll(order);
        ASSERT_TRUE(result.ok);
        ASSERT_EQ(result.vehicles.size(), 1u) << "the use closed later stands for the open one";
        EXPECT_EQ(result.vehicles[0].odometerEnd, 100500u);
        EXPECT_EQ(result.activities.back().end, utcDay(2024, 5, 10));
        EXPECT_EQ(drivingOn(result, utcDay(2024, 5, 8)), 4 * 3600 + 2 * 3600 + 45 * 60);
        EXPECT_FALSE(hasCode(result, "eu.561.daily_driving"));
    }
}

TEST(DownloadInstant, TheSameDayInAnUnfinishedAndAFinishedCopyAgreesUpToTheDownload) {
    auto early = remoteDownloadWhileDriving(utcTime(2024, 5, 8, "10:00"));
    auto later = remoteDownloadWhileDriving(utcTime(2024, 5, 9, "12:00"));
    later.days[2] = dayFromText(utcDay(2024, 5, 8), "00:00 rest 06:00 work 06:30 drive 09:00 break 09:45 drive 13:00 rest");
    MergedCardView view;
    const DriverCardFile a = test::decodeWritten(early);
    const DriverCardFile b = test::decodeWritten(later);
    const DriverCardFile* cards[] = {&a, &b};
    view = mergeDownloads(cards);
    ASSERT_EQ(view.dayConflicts.size(), 1u);
    for (const auto& segment : view.chosenDaysTimeline) {
        if (segment.start >= utcTime(2024, 5, 8, "10:00") && segment.end <= utcDay(2024, 5, 9)) {
            EXPECT_NE(segment.reason, SegmentReason::ConflictingDownloads)
                << "after the early download only the finished copy speaks: " << formatDateTime(segment.start);
        }
    }
}

}  // namespace
}  // namespace ddd
