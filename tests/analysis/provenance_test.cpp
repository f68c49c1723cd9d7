#include <gtest/gtest.h>

#include "analysis/provenance.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

using namespace test;

const std::int64_t kMonday = utcDay(2024, 3, 4);

TEST(Provenance, IdenticalDownloadsAreBothSourcesOfEveryDay) {
    const std::vector<DailyActivityRecord> days{record(kMonday, "00:00 rest 06:00 drive"), record(kMonday + kDay, "00:00 rest")};
    std::vector<DriverCardFile> files{download(days), download(days)};
    files[0].gen1->lastCardDownload.reset();
    files[1].gen1->lastCardDownload = kMonday + kDay + 3600;
    const auto model = report::buildProvenance({"/data/a.ddd", "C:\\data\\b.DDD"}, pointers(files), "DF00000000001100",
                                               "Erika Muster", 13);
    ASSERT_EQ(model.files.size(), 2u);
    EXPECT_EQ(model.files[0].name, "a.ddd");
    EXPECT_EQ(model.files[1].name, "b.DDD");
    EXPECT_FALSE(model.files[0].downloadTime);
    EXPECT_EQ(model.files[1].downloadTime, kMonday + kDay + 3600);
    EXPECT_EQ(model.files[0].earliestDate, kMonday);
    EXPECT_EQ(model.files[0].latestDate, kMonday + kDay);
    EXPECT_EQ(model.files[0].distinctDates, 2u);
    EXPECT_EQ(model.files[0].latestChange, kMonday + kDay) << "the newest change of the newest day";
    ASSERT_EQ(model.days.size(), 2u);
    for (const auto& day : model.days) {
        EXPECT_EQ(day.sources, (std::vector<std::size_t>{0, 1}));
        EXPECT_FALSE(day.conflict);
    }
    EXPECT_EQ(model.card, "DF00000000001100");
    EXPECT_EQ(model.nation, 13u);
}

TEST(Provenance, TheCompleteOlderFileIsTheSourceOfAConflictDay) {
    std::vector<DriverCardFile> files{
        download({record(kMonday, "00:00 rest 06:00 drive 10:00 rest")}, Parts::Both),
        download({record(kMonday, "00:00 rest 06:00 drive"), record(kMonday + kDay, "00:00 rest")}),
    };
    files[0].gen1->lastCardDownload = 0xFFFFFFFFll;
    files[0].gen2->lastCardDownload = 0;
    const auto model = report::buildProvenance({"old.ddd", "new.ddd"}, pointers(files), "", "", 0);
    ASSERT_EQ(model.days.size(), 2u);
    EXPECT_EQ(model.days[0].sources, (std::vector<std::size_t>{0}));
    EXPECT_TRUE(model.days[0].conflict);
    EXPECT_EQ(model.days[1].sources, (std::vector<std::size_t>{1}));
    EXPECT_FALSE(model.days[1].conflict);
    EXPECT_FALSE(model.files[0].downloadTime) << "0 and 0xFFFFFFFF are no download time";
}

TEST(Provenance, UnevenListsAndNullCards) {
    const DriverCardFile file = download({record(kMonday, "00:00 rest")});
    const std::vector<const DriverCardFile*> cards{nullptr, &file, &file};
    const auto model = report::buildProvenance({"missing.ddd", "x.ddd"}, cards, "", "", 0);
    ASSERT_EQ(model.files.size(), 2u) << "only as many entries as both lists hold";
    EXPECT_EQ(model.files[0].distinctDates, 0u);
    ASSERT_EQ(model.days.size(), 1u);
    EXPECT_EQ(model.days[0].sources, (std::vector<std::size_t>{1}));
}

}  // namespace
}  // namespace ddd
