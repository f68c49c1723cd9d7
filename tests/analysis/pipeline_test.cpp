// The analysis entries over real folder trees of generated downloads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "analysis/pipeline.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"

namespace ddd {
namespace {

namespace fs = std::filesystem;
using gen::Generation;

using test::TempFolder;

gen::CardDescription driverCard(const std::string& cardNumber, std::uint64_t seed, int days = 20) {
    auto card = gen::randomCard(seed, days, Generation::Gen1);
    card.identity.cardNumber = cardNumber;
    card.identity.issuingNation = 13;
    return card;
}

std::vector<std::uint8_t> download(const gen::CardDescription& card) { return gen::writeCardDownload(card); }

TEST(Pipeline, GroupsTheDownloadsOfTheOpenedFilesDriver) {
    TempFolder tree;
    const auto march = driverCard("DF00001234567800", 1);
    const auto opened = tree.write("archive/max.ddd", download(march));
    tree.write("archive/2024/02/max-older.DDD", download(driverCard("DF00001234567800", 2)));
    tree.write("archive/2024/04/max-renewed.Ddd", download(driverCard("DF00001234567801", 3)));
    tree.write("archive/other/anna.ddd", download(driverCard("DF00009999999900", 4)));
    tree.write("archive/other/max.ddd.bak", download(march));
    tree.write("archive/other/not-a-card.ddd", std::vector<std::uint8_t>(300, 0x76));
    tree.write("archive/other/empty.ddd", {});
    tree.write("outside-the-folder-tree.ddd", download(driverCard("DF00001234567800", 5)));

    const AnalysisResult result = analyzeDriverOfFile(opened.string());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.filesMerged, 3u) << "the opened file, the older download and the renewed card";
    EXPECT_EQ(result.card, "DF00001234567801") << "identification of the newest download";

    const CardFolder folder = loadCardFolder(tree.path().string());
    EXPECT_EQ(folder.counters.dddFiles, 7u);
    ASSERT_EQ(folder.groups.size(), 2u);
    EXPECT_LT(folder.groups[0].key, folder.groups[1].key);
    std::size_t held = 0;
    for (const auto& group : folder.groups) held += group.cards.size();
    EXPECT_EQ(held, 5u);
}

TEST(Pipeline, OpeningAnyDownloadOfADriverGivesTheSameAnalysis) {
    TempFolder tree;
    const auto a = tree.write("a.ddd", download(driverCard("DF00001234567800", 10)));
    const auto b = tree.write("b.ddd", download(driverCard("DF00001234567800", 11)));
    const AnalysisResult fromA = analyzeDriverOfFile(a.string());
    const AnalysisResult fromB = analyzeDriverOfFile(b.string());
    ASSERT_TRUE(fromA.ok && fromB.ok);
    EXPECT_EQ(fromA.filesMerged, 2u);
    EXPECT_EQ(fromA.activities, fromB.activities);
    EXPECT_EQ(fromA.legalViolations, fromB.legalViolations);

    const AnalysisResult viaList = analyzeFiles({b.string(), a.string()});
    EXPECT_EQ(viaList.activities, fromA.activities) << "the merge does not depend on the order";
}

TEST(Pipeline, RefusesWhenTheOpenedDownloadIsDamaged) {
    TempFolder tree;
    auto damaged = driverCard("DF00001234567800", 20);
    damaged.inject = {gen::Fault::resizeEf(0x0505, Generation::Gen1, 100)};
    const auto opened = tree.write("good.ddd", download(driverCard("DF00001234567800", 21)));
    const auto damagedCopy = tree.write("damaged.ddd", download(damaged));
    auto otherDamaged = driverCard("DF00005555555500", 22);
    otherDamaged.inject = {gen::Fault::resizeEf(0x0520, Generation::Gen1, 100)};
    const auto other = tree.write("other.ddd", download(otherDamaged));
    tree.write("third.ddd", download(driverCard("DF00005555555500", 23)));

    EXPECT_TRUE(analyzeDriverOfFile(opened.string()).ok) << "the damaged copy beside it is set aside";
    const AnalysisResult refused = analyzeDriverOfFile(damagedCopy.string());
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error,
              "card download has unparsed or corrupt data; the report would be incomplete \xE2\x80\x94 "
              "Vehicles_Used: EF Vehicles_Used: size 100 does not fit 2 + N*31 (offset 0)");
    EXPECT_TRUE(refused.shifts.empty() && refused.activities.empty()) << "no partial result";

    const AnalysisResult clean = analyzeDriverOfFile((tree.path() / "third.ddd").string());
    EXPECT_TRUE(clean.ok) << "a download without identification is no part of any driver's group";
    EXPECT_EQ(clean.filesMerged, 1u);
    EXPECT_FALSE(analyzeDriverOfFile(other.string()).ok) << "opened alone, its own damage refuses it";
}

TEST(Pipeline, RefusalListsAtMostSixMessages) {
    struct Case { int damagedFiles; std::string suffix; };
    const Case cases[] = {{6, "(offset 0)"}, {7, "(offset 0); (+1 more)"}, {8, "(offset 0); (+2 more)"}};
    for (const auto& c : cases) {
        std::vector<std::unique_ptr<DriverCardFile>> owned;
        std::vector<std::vector<std::uint8_t>> buffers;
        std::vector<const DriverCardFile*> cards;
        for (int i = 0; i < c.damagedFiles; ++i) {
            auto card = driverCard("DF00001234567800", 30 + i, 3);
            card.inject = {gen::Fault::resizeEf(0x0506, Generation::Gen1, 12)};
            buffers.push_back(download(card));
            owned.push_back(std::make_unique<DriverCardFile>(decodeCardFile(buffers.back()).value()));
            cards.push_back(owned.back().get());
        }
        const AnalysisResult result = analyze(cards);
        ASSERT_FALSE(result.ok);
        EXPECT_TRUE(result.error.ends_with(c.suffix)) << result.error;
        std::size_t listed = 0;
        for (std::size_t at = result.error.find("(offset"); at != std::string::npos;
             at = result.error.find("(offset", at + 1)) {
            ++listed;
        }
        EXPECT_EQ(listed, static_cast<std::size_t>(std::min(c.damagedFiles, 6)));
    }
}

TEST(Pipeline, FilesThatCannotBeAnalysed) {
    TempFolder tree;
    const auto vu = tree.write("vehicle.ddd", std::vector<std::uint8_t>{0x76, 0x01, 0x00, 0x00});
    EXPECT_EQ(analyzeFiles({vu.string(), (tree.path() / "missing.ddd").string()}).error,
              "no readable card files (cannot read file: " + (tree.path() / "missing.ddd").string() + ": existiert nicht)");
    EXPECT_EQ(analyze({}).error, "no card files");
    const AnalysisResult missing = analyzeDriverOfFile((tree.path() / "missing.ddd").string());
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.error.starts_with("no readable card files (cannot read file: ")) << missing.error;
}

TEST(Pipeline, UnreadableFilesAndLoopsDoNotStopTheWalk) {
    TempFolder tree;
    const auto opened = tree.write("max.ddd", download(driverCard("DF00001234567800", 40)));
    tree.write("b/max2.ddd", download(driverCard("DF00001234567800", 41)));
    const auto locked = tree.write("c/locked.ddd", download(driverCard("DF00001234567800", 42)));
    fs::create_directories(tree.path() / "a");
    fs::create_directory_symlink(tree.path(), tree.path() / "a" / "loop");
    fs::create_directories(tree.path() / "sealed");
    tree.write("sealed/hidden.ddd", download(driverCard("DF00001234567800", 43)));
    fs::permissions(locked, fs::perms::none);
    fs::permissions(tree.path() / "sealed", fs::perms::none);

    const AnalysisResult result = analyzeDriverOfFile(opened.string());
    ASSERT_TRUE(result.ok) << result.error;
    if (geteuid() == 0) {
        EXPECT_EQ(result.filesMerged, 4u) << "root reads everything";
    } else {
        EXPECT_EQ(result.filesMerged, 2u) << "the unreadable file and folder are passed over";
    }
    fs::permissions(tree.path() / "sealed", fs::perms::owner_all);
}

TEST(Pipeline, DriverWithoutShifts) {
    gen::CardDescription card;
    auto bytes = download(card);
    auto decoded = decodeCardFile(bytes);
    ASSERT_TRUE(decoded.ok());
    const DriverCardFile* cards[] = {&decoded.value()};
    const AnalysisResult result = analyze(cards);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.shifts.empty());
    EXPECT_TRUE(result.forecasts.empty());
    EXPECT_EQ(result.driver, "Erika Muster");
}

}  // namespace
}  // namespace ddd
