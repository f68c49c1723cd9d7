#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/export_all.h"
#include "tests/app/bridge_test_host.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;
using test::contains;
using test::driverCard;
using test::readFile;

TEST(ExportFolderName, KeepsWhatEveryFileSystemTakes) {
    const std::tuple<std::string, std::string, std::uint32_t, std::string> cases[] = {  // driver, card, nation, folder
        {"AC/DC: Live", "", 0, "AC_DC_ Live"}, {"Max Jr. .", "", 0, "Max Jr"}, {"..", "", 0, "unbekannt"}, {"", "DF0001", 0, "DF0001"},
        {"", "", 1, "Österreich _A_"}, {"Jürgen Åström", "", 0, "Jürgen Åström"}, {"a\tb\"c*d?", "", 0, "a_b_c_d_"},
    };
    for (const auto& [driver, card, nation, expected] : cases) EXPECT_EQ(exportFolderName(driver, card, nation), expected) << driver;
}

// Three drivers below the source: Anna in January and February, another Anna (her own card, a
// file of the same name) in January, Bert in March.
class ExportAll : public test::DashboardBridgeTest {
protected:
    void SetUp() override {
        test::DashboardBridgeTest::SetUp();
        folder.writeCard("source/north/anna.ddd", driverCard("Anna", "DF00000000000100", {{2024, 1, 10}, {2024, 1, 11}, {2024, 2, 5}}));
        folder.writeCard("source/west/anna.ddd", driverCard("Anna", "DF00000000000400", {{2024, 1, 20}}));
        folder.writeCard("source/south/deep/bert.ddd", driverCard("Bert", "DF00000000000200", {{2024, 3, 4}}));
    }
    // Every file below the target, relative to it.
    std::set<std::string> written() const {
        std::set<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(target)) {
            if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), target).string());
        }
        return files;
    }

    const fs::path source = folder.path() / "source", target = folder.path() / "target";
    const std::string anna = "Anna DF00000000000100 Deutschland _D_/2024/", otherAnna = "Anna DF00000000000400 Deutschland _D_/2024/", bert = "Bert DF00000000000200 Deutschland _D_/2024/";
};

// Three months, each a PDF, a CSV and a manifest in the driver's year folder, the PDFs rendered
// one after another with the progress before each; a failing PDF is counted and the run goes on.
TEST_F(ExportAll, FilesEveryMonthOfEveryDriver) {
    fs::create_directories(target / anna);
    std::ofstream(target / anna / "01.csv") << "stale";
    host.failingPathPart = "/2024/02.pdf";
    auto batch = std::make_shared<BatchRenderState>();
    batch->run = writeExportAll(source.string(), target.string(), Settings{}, 1709251200);
    batch->callId = "9";
    batch->view = &view;
    batch->host = &host;
    ASSERT_TRUE(batch->run.ok) << batch->run.error;
    renderNextBatch(batch);

    ASSERT_EQ(view.resolved.size(), 1u);
    EXPECT_EQ(view.resolved[0].result,
              R"({"ok":true,"drivers":3,"months":4,"pdf":3,"pdfFail":1,"csv":4,"error":"","refused":[],)"
              R"("csvFail":0,"manifestFail":0,"writeError":"","skipped":{"count":0,"files":[]}})");
    EXPECT_EQ(written(), (std::set<std::string>{anna + "01.csv", anna + "01.pdf", anna + "01_Quellen.txt", anna + "02.csv",
                                                anna + "02_Quellen.txt", otherAnna + "01.csv", otherAnna + "01.pdf", otherAnna + "01_Quellen.txt",
                                                bert + "03.csv", bert + "03.pdf", bert + "03_Quellen.txt"}));
    const std::string january = readFile((target / (anna + "01.csv")).string());
    EXPECT_TRUE(january.starts_with("\xEF\xBB\xBF" "Datum;Beginn;Ende")) << "the stale file is replaced";
    EXPECT_TRUE(contains(january, "10.01.2024") && contains(january, "11.01.2024") && !contains(january, "05.02.2024") &&
                !contains(january, "20.01.2024"));
    EXPECT_TRUE(contains(readFile((target / (otherAnna + "01.csv")).string()), "20.01.2024"));
    EXPECT_TRUE(contains(readFile((target / (anna + "02_Quellen.txt")).string()), "anna.ddd"));
    EXPECT_TRUE(contains(readFile((target / (bert + "03.pdf")).string()), "Bert"));
    const std::string progress = "script window.__exportAllProgress&&__exportAllProgress(";
    EXPECT_EQ(host.log, (std::vector<std::string>{progress + "0,4)", "pdf " + (target / (anna + "01.pdf")).string(),
                                                  progress + "1,4)", "pdf " + (target / (anna + "02.pdf")).string(),
                                                  progress + "2,4)", "pdf " + (target / (bert + "03.pdf")).string(),
                                                  progress + "3,4)", "pdf " + (target / (otherAnna + "01.pdf")).string()}));
}

// Through the bridge: both folders asked for in turn, a cancelled dialog answers null and writes
// nothing; a driver whose only download the analysis refuses is named with the reason while the
// others are still exported, and a damaged copy beside intact ones is set aside and named.
TEST_F(ExportAll, ThroughTheBridge) {
    host.folderAnswers = {source.string(), ""};
    const auto cancelled = view.callAsync("tachoExportAll");
    EXPECT_TRUE(cancelled && cancelled->result == "null" && !state.exportAllThread.joinable() && !fs::exists(target));

    gen::CardDescription broken = driverCard("Carl", "DF00000000000300", {{2024, 4, 2}});
    broken.inject.push_back(gen::Fault::minuteOutOfRange(0));
    folder.writeCard("source/carl.ddd", broken);
    gen::CardDescription damagedAnna = driverCard("Anna", "DF00000000000100", {{2024, 1, 12}});
    damagedAnna.inject.push_back(gen::Fault::minuteOutOfRange(0));
    folder.writeCard("source/old/anna.ddd", damagedAnna);
    host.folderAnswers = {source.string(), target.string()};
    const auto answer = view.callAsync("tachoExportAll");
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->result.starts_with(R"({"ok":true,"drivers":3,"months":4,"pdf":4,"pdfFail":0,"csv":4,"error":"","refused":[{"name":"Carl","reason":")"))
        << answer->result;
    EXPECT_FALSE(fs::exists(target / "Carl DF00000000000300 Deutschland _D_"));
    EXPECT_TRUE(contains(answer->result, R"(old/anna.ddd","reason":"beschädigte Kopie, nicht verwendet: )")) << answer->result;
}

}  // namespace
}  // namespace ddd::app
