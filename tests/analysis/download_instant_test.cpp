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

// Two normal days, then a morning on which the card is downloaded remotely while driving.
gen::CardDescription remoteDownloadWhileDriving(std::int64_t downloadedAt) {
    gen::CardDescription card;
    card.days = {
        dayFromText(utcDay(2024, 5, 6), "00:00 rest 06:00 work 06:30 drive 10:30 break 11:15 drive 15:00 rest"),
        dayFromText(utcDay(2024, 5, 7), "00:00 rest 06:00 work 06:30 drive 10:30 break 11:15 drive 15:00 rest"),
        dayFromText(utcDay(2024, 5, 8), "00:00 rest 06:00 work 06:30 drive"),
    };
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

// The newest day ends at a download instant that falls on it after its last change; any other
// instant (none, before the last change, on another day) leaves the last activity to midnight.
TEST(DownloadInstant, NothingIsInventedAfterADownloadDuringTheDay) {
    const std::int64_t midnight = utcDay(2024, 5, 9);
    struct Case { const char* name; std::int64_t instant, end, driving; };
    const Case cases[] = {
        {"downloaded at 10:00", utcTime(2024, 5, 8, "10:00"), utcTime(2024, 5, 8, "10:00"), 3 * 3600 + 30 * 60},
        {"no known instant", 0, midnight, (24 - 6) * 3600 - 30 * 60},
        {"an instant before the last change", utcTime(2024, 5, 8, "06:10"), midnight, (24 - 6) * 3600 - 30 * 60},
        {"an instant on the next day", utcTime(2024, 5, 9, "08:00"), midnight, (24 - 6) * 3600 - 30 * 60},
    };
    for (const Case& c : cases) {
        const AnalysisResult result = analyzeAll({remoteDownloadWhileDriving(c.instant)});
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.activities.back().end, c.end) << c.name;
        EXPECT_EQ(result.shifts.back().core.end, c.end) << c.name;
        EXPECT_EQ(drivingOn(result, utcDay(2024, 5, 8)), c.driving) << c.name;
    }
    const AnalysisResult cut = analyzeAll({remoteDownloadWhileDriving(utcTime(2024, 5, 8, "10:00"))});
    EXPECT_FALSE(hasCode(cut, "eu.561.daily_driving")) << "no daily driving beyond the download";
    EXPECT_FALSE(hasCode(cut, "eu.561.breaks")) << "3:30 of driving needs no break yet";
}

TEST(DownloadInstant, ALaterCompleteDownloadWinsTheDay) {
    auto early = remoteDownloadWhileDriving(utcTime(2024, 5, 8, "10:00"));
    auto later = remoteDownloadWhileDriving(utcTime(2024, 5, 10, "07:00"));
    later.days[2] = dayFromText(utcDay(2024, 5, 8), "00:00 rest 06:00 work 06:30 drive 10:30 break 11:15 drive 14:00 rest");
    later.days.push_back(dayFromText(utcDay(2024, 5, 9), "00:00 rest"));
    for (const auto& order : {std::vector{early, later}, std::vector{later, early}}) {
        const AnalysisResult result = analyzeAll(order);
        ASSERT_TRUE(result.ok);
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
