// The analysis entries over real folder trees of generated downloads.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "analysis/pipeline.h"
#include "tests/support/temp_folder.h"

namespace ddd {
namespace {

namespace fs = std::filesystem;
using gen::Generation;
using test::TempFolder;

std::vector<std::uint8_t> driverCard(const std::string& cardNumber, std::uint64_t seed, std::vector<gen::Fault> faults = {}) {
    auto card = gen::randomCard(seed, 20, Generation::Gen1);
    card.identity.cardNumber = cardNumber;
    card.identity.issuingNation = 13;
    card.inject = std::move(faults);
    return gen::writeCardDownload(card);
}

TEST(Pipeline, GroupsTheDownloadsOfTheOpenedFilesDriver) {
    TempFolder tree;
    const auto march = driverCard("DF00001234567800", 1);
    const auto opened = tree.write("archive/max.ddd", march);
    const auto other = tree.write("archive/2024/02/max-older.DDD", driverCard("DF00001234567800", 2));
    const auto renewed = tree.write("archive/2024/04/max-renewed.Ddd", driverCard("DF00001234567801", 3));
    tree.write("archive/other/anna.ddd", driverCard("DF00009999999900", 4));
    tree.write("archive/other/max.ddd.bak", march);
    tree.write("archive/other/not-a-card.ddd", std::vector<std::uint8_t>(300, 0x76));
    tree.write("archive/other/empty.ddd", {});
    tree.write("outside-the-folder-tree.ddd", driverCard("DF00001234567800", 5));

    const auto openHandles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
    const auto handlesBefore = openHandles();
    const AnalysisResult result = analyzeDriverOfFile(opened.string());
    EXPECT_EQ(openHandles(), handlesBefore) << "every file the walk opened is closed again";
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.filesMerged, 3u) << "the opened file, the older download and the renewed card";
    EXPECT_EQ(result.card, "DF00001234567801") << "identification of the newest download";
    const AnalysisResult listed = analyzeFiles({renewed.string(), other.string(), opened.string()});
    EXPECT_TRUE(listed.activities == result.activities && listed.legalViolations == result.legalViolations) << "the group's files listed in any order";

    const CardFolder folder = loadCardFolder(tree.path().string());
    EXPECT_EQ(folder.counters.dddFiles, 7u);
    ASSERT_EQ(folder.groups.size(), 2u);
    EXPECT_LT(folder.groups[0].key, folder.groups[1].key);
    EXPECT_EQ(folder.groups[0].cards.size() + folder.groups[1].cards.size(), 5u);
}

TEST(Pipeline, RefusesWhenTheOpenedDownloadIsDamaged) {
    TempFolder tree;
    const auto opened = tree.write("good.ddd", driverCard("DF00001234567800", 21));
    const auto damaged = tree.write("damaged.ddd", driverCard("DF00001234567800", 20, {gen::Fault::resizeEf(0x0505, Generation::Gen1, 100)}));
    const auto other = tree.write("other.ddd", driverCard("DF00005555555500", 22, {gen::Fault::resizeEf(0x0520, Generation::Gen1, 100)}));
    const auto third = tree.write("third.ddd", driverCard("DF00005555555500", 23));

    // A second name of the opened file, met first by the walk, is another copy, not the opened one.
    const auto secondName = tree.path() / "another-name-of-damaged.ddd";
    fs::create_hard_link(damaged, secondName);
    EXPECT_TRUE(analyzeDriverOfFile(opened.string()).ok) << "the damaged copies beside it are set aside";
    const AnalysisResult refused = analyzeDriverOfFile(damaged.string());
    EXPECT_FALSE(refused.ok);
    ASSERT_EQ(refused.skippedFiles.size(), 1u);
    EXPECT_EQ(refused.skippedFiles[0].path, secondName.string());
    EXPECT_EQ(refused.error, "card download has unparsed or corrupt data; the report would be incomplete \xE2\x80\x94 "
                             "Vehicles_Used: EF Vehicles_Used: size 100 does not fit 2 + N*31 (offset 0)");
    EXPECT_TRUE(refused.shifts.empty() && refused.activities.empty()) << "no partial result";
    const AnalysisResult clean = analyzeDriverOfFile(third.string());
    EXPECT_TRUE(clean.ok && clean.filesMerged == 1u) << "a download without identification is no part of any driver's group";
    EXPECT_FALSE(analyzeDriverOfFile(other.string()).ok) << "opened alone, its own damage refuses it";

    for (const auto& [damagedFiles, suffix] : {std::pair{6, "(offset 0)"}, {7, "(offset 0); (+1 more)"}}) {
        std::vector<std::vector<std::uint8_t>> buffers;
        std::vector<DriverCardFile> decoded;
        for (int i = 0; i < damagedFiles; ++i) {
            buffers.push_back(driverCard("DF00001234567800", 30 + static_cast<std::uint64_t>(i), {gen::Fault::resizeEf(0x0506, Generation::Gen1, 12)}));
        }
        for (const auto& bytes : buffers) decoded.push_back(decodeCardFile(bytes).value());
        std::vector<const DriverCardFile*> cards;
        for (const auto& d : decoded) cards.push_back(&d);
        const AnalysisResult result = analyze(cards);
        ASSERT_FALSE(result.ok);
        EXPECT_TRUE(result.error.ends_with(suffix)) << result.error;
        std::size_t listed = 0;
        for (auto at = result.error.find("(offset"); at != std::string::npos; at = result.error.find("(offset", at + 1)) ++listed;
        EXPECT_EQ(listed, static_cast<std::size_t>(std::min(damagedFiles, 6)));
    }
}

TEST(Pipeline, FilesThatCannotBeAnalysedAndWalksThatCannotEnter) {
    TempFolder tree;
    const auto vu = tree.write("vehicle.ddd", std::vector<std::uint8_t>{0x76, 0x01, 0x00, 0x00});
    const std::string missing = (tree.path() / "missing.ddd").string();
    EXPECT_EQ(analyzeFiles({vu.string(), missing}).error, "no readable card files (cannot read file: " + missing + ": existiert nicht)");
    EXPECT_EQ(analyze({}).error, "no card files");
    EXPECT_TRUE(analyzeDriverOfFile(missing).error.starts_with("no readable card files (cannot read file: "));

    const auto opened = tree.write("max.ddd", driverCard("DF00001234567800", 40));
    tree.write("b/max2.ddd", driverCard("DF00001234567800", 41));
    const auto locked = tree.write("c/locked.ddd", driverCard("DF00001234567800", 42));
    fs::create_directories(tree.path() / "a");
    fs::create_directory_symlink(tree.path(), tree.path() / "a" / "loop");
    tree.write("sealed/hidden.ddd", driverCard("DF00001234567800", 43));
    fs::permissions(locked, fs::perms::none);
    fs::permissions(tree.path() / "sealed", fs::perms::none);
    const AnalysisResult result = analyzeDriverOfFile(opened.string());
    fs::permissions(tree.path() / "sealed", fs::perms::owner_all);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.filesMerged, geteuid() == 0 ? 4u : 2u) << "the unreadable file and folder are passed over unless read by root";

    const std::vector<std::uint8_t> empty = gen::writeCardDownload(gen::CardDescription{});
    const auto decoded = decodeCardFile(empty);
    const DriverCardFile* cards[] = {&decoded.value()};
    const AnalysisResult none = analyze(cards);
    EXPECT_TRUE(none.ok && none.shifts.empty() && none.forecasts.empty());
    EXPECT_EQ(none.driver, "Erika Muster");
}

}  // namespace
}  // namespace ddd
