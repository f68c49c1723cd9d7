#include <gtest/gtest.h>

#include "analysis/timeline.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;

const std::int64_t kDay0 = utcDay(2024, 3, 4);

Timeline timelineOf(const std::vector<DriverCardFile>& files) { return buildTimeline(mergeDownloads(pointers(files))); }

struct LayoutCase { const char* name; std::vector<std::vector<DailyActivityRecord>> downloads; Timeline expected; };

TEST(Timeline, LaysOutTheChosenDays) {
    const std::int64_t d = kDay0;
    const std::int64_t h = kHour;
    const LayoutCase cases[] = {
        {"one rest change at midnight covers the whole day", {{record(d, "00:00 rest")}}, {{d, d + kDay, 0, 0}}},
        {"each change is a stretch up to the next or to midnight", {{record(d, "00:00 rest 06:00 drive 10:00 break")}},
         {{d, d + 6 * h, 0, 0}, {d + 6 * h, d + 10 * h, 3, 0}, {d + 10 * h, d + kDay, 0, 0}}},
        {"a missing day is card absent, split at midnight",
         {{record(d, "00:00 rest"), record(d + 2 * kDay, "00:00 rest")}},
         {{d, d + kDay, 0, 0}, {d + kDay, d + 2 * kDay, kUnknownActivity, 1}, {d + 2 * kDay, d + 3 * kDay, 0, 0}}},
        {"a manually entered card-absent rest carries into the missing day",
         {{record(d, "00:00 rest 18:00 rest+absent"), record(d + 2 * kDay, "00:00 rest")}}, {{d, d + 18 * h, 0, 0},
          {d + 18 * h, d + kDay, 0, 1}, {d + kDay, d + 2 * kDay, 0, 1}, {d + 2 * kDay, d + 3 * kDay, 0, 0}}},
        {"the complete copy of a day wins over one cut off at download",
         {{record(d, "00:00 rest 06:00 drive 10:00 rest")}, {record(d, "00:00 rest 06:00 drive")}},
         {{d, d + 6 * h, 0, 0}, {d + 6 * h, d + 10 * h, 3, 0}, {d + 10 * h, d + kDay, 0, 0}}},
        {"of two changes at one minute the later one stands",
         {{record(d, "00:00 rest 08:00 work 08:00 drive 09:00 rest")}},
         {{d, d + 8 * h, 0, 0}, {d + 8 * h, d + 9 * h, 3, 0}, {d + 9 * h, d + kDay, 0, 0}}},
        {"changes out of time order are laid out by their minute",
         {{record(d, "00:00 rest 10:00 drive 08:00 work 12:00 rest")}},
         {{d, d + 8 * h, 0, 0}, {d + 8 * h, d + 10 * h, 2, 0}, {d + 10 * h, d + 12 * h, 3, 0}, {d + 12 * h, d + kDay, 0, 0}}},
        {"a change past the end of the day is ignored", {{record(d, "00:00 rest 20:00 drive 25:00 rest")}},
         {{d, d + 20 * h, 0, 0}, {d + 20 * h, d + kDay, 3, 0}}},
        {"a day without a change at midnight starts card absent", {{record(d, "06:00 drive 07:00 rest")}},
         {{d, d + 6 * h, kUnknownActivity, 1}, {d + 6 * h, d + 7 * h, 3, 0}, {d + 7 * h, d + kDay, 0, 0}}},
        {"a trailing day without changes is card absent",
         {{record(d, "00:00 rest"), DailyActivityRecord{d + kDay, 2, true, 0, {}}}},
         {{d, d + kDay, 0, 0}, {d + kDay, d + 2 * kDay, kUnknownActivity, 1}}},
        {"card out without entry is unknown and card absent", {{record(d, "00:00 unknown 07:00 work")}},
         {{d, d + 7 * h, kUnknownActivity, 1}, {d + 7 * h, d + kDay, 2, 0}}},
    };
    for (const auto& c : cases) {
        std::vector<DriverCardFile> files;
        for (const auto& days : c.downloads) files.push_back(download(days));
        EXPECT_EQ(timelineOf(files), c.expected) << c.name;
    }
}

TEST(Timeline, NothingToLayOut) {
    EXPECT_TRUE(timelineOf({}).empty());
    EXPECT_TRUE(timelineOf({download({DailyActivityRecord{kDay0, 1, true, 0, {}}})}).empty());
}

}  // namespace
}  // namespace ddd
