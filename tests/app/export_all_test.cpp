#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/dashboard_bridge.h"
#include "app/export_all.h"
#include "tests/app/bridge_test_host.h"
#include "tests/app/driver_cards.h"
#include "tests/support/temp_folder.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;
using test::driverCard;
using test::readFile;

TEST(ExportFolderName, KeepsWhatEveryFileSystemTakes) {
    struct Case {
        const char* name;
        std::string driver;
        std::string card;
        std::uint32_t nation;
        std::string expected;
    };
    const Case cases[] = {
        {"name, card and country", "Anna Berg", "DF0001", 13, "Anna Berg DF0001 Deutschland _D_"},
        {"slash and colon", "AC/DC: Live", "", 0, "AC_DC_ Live"},
        {"trailing dot and blanks", "Max Jr. .", "", 0, "Max Jr"},
        {"nothing known", "", "", 0, "unbekannt"},
        {"only dots", "..", "", 0, "unbekannt"},
        {"card alone", "", "DF0001", 0, "DF0001"},
        {"country alone", "", "", 1, "Österreich _A_"},
        {"UTF-8 kept", "Jürgen Åström", "", 0, "Jürgen Åström"},
        {"control bytes and quotes", "a\tb\"c*d?", "", 0, "a_b_c_d_"},
    };
    for (const Case& c : cases) EXPECT_EQ(exportFolderName(c.driver, c.card, c.nation), c.expected) << c.name;
}

class ExportAll : public testing::Test {
protected:
    void SetUp() override {
        env.set("XDG_CONFIG_HOME", (folder.path() / "config").c_str());
        fs::create_directories(source);
        writeCard("north/anna.ddd", driverCard("Anna", "DF00000000000100", {{2024, 1, 10}, {2024, 1, 11}, {2024, 2, 5}}));
        writeCard("south/deep/bert.ddd", driverCard("Bert", "DF00000000000200", {{2024, 3, 4}}));
    }
    void writeCard(const std::string& relative, const gen::CardDescription& card) {
        folder.write("source/" + relative, gen::writeCardDownload(card));
    }
    std::shared_ptr<BatchRenderState> batchOf(ExportAllRun run) {
        auto batch = std::make_shared<BatchRenderState>();
        batch->run = std::move(run);
        batch->callId = "9";
        batch->view = &view;
        batch->host = &host;
        return batch;
    }
    // Every file below the target, relative to it.
    std::set<std::string> written() const {
        std::set<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(target)) {
            if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), target).string());
        }
        return files;
    }

    test::TempFolder folder;
    test::Environment env;
    test::RecordingWebView view;
    test::ScriptedHost host;
    fs::path source = folder.path() / "source";
    fs::path target = folder.path() / "target";
};

// Two drivers, one in January and February and one in March: three months, each a PDF, a CSV
// and a manifest in the driver's year folder, the PDFs rendered one after another with the
// progress before each; a failing PDF is counted and the run goes on.
TEST_F(ExportAll, FilesEveryMonthOfEveryDriver) {
    fs::create_directories(target / "Anna DF00000000000100 Deutschland _D_" / "2024");
    std::ofstream(target / "Anna DF00000000000100 Deutschland _D_" / "2024" / "01.csv") << "stale";
    host.failingPathPart = "/2024/02.pdf";

    auto batch = batchOf(writeExportAll(source.string(), target.string(), Settings{}, 1709251200));
    ASSERT_TRUE(batch->run.ok) << batch->run.error;
    renderNextBatch(batch);

    ASSERT_EQ(view.resolved.size(), 1u);
    EXPECT_EQ(view.resolved[0].result,
              R"({"ok":true,"drivers":2,"months":3,"pdf":2,"pdfFail":1,"csv":3,"error":"","refused":[],)"
              R"("csvFail":0,"manifestFail":0,"writeError":"","skipped":{"count":0,"files":[]}})");
    const std::string anna = "Anna DF00000000000100 Deutschland _D_/2024/";
    const std::string bert = "Bert DF00000000000200 Deutschland _D_/2024/";
    EXPECT_EQ(written(), (std::set<std::string>{anna + "01.csv", anna + "01.pdf", anna + "01_Quellen.txt", anna + "02.csv",
                                                anna + "02_Quellen.txt", bert + "03.csv", bert + "03.pdf", bert + "03_Quellen.txt"}));
    const std::string january = readFile((target / (anna + "01.csv")).string());
    EXPECT_EQ(january.rfind("\xEF\xBB\xBF" "Datum;Beginn;Ende", 0), 0u) << "the stale file is replaced";
    EXPECT_TRUE(test::contains(january, "10.01.2024") && test::contains(january, "11.01.2024") && !test::contains(january, "05.02.2024"));
    EXPECT_TRUE(test::contains(readFile((target / (anna + "02_Quellen.txt")).string()), "anna.ddd"));
    EXPECT_TRUE(test::contains(readFile((target / (bert + "03.pdf")).string()), "Bert"));

    const std::string progress = "script window.__exportAllProgress&&__exportAllProgress(";
    EXPECT_EQ(host.log, (std::vector<std::string>{progress + "0,3)", "pdf " + (target / (anna + "01.pdf")).string(),
                                                  progress + "1,3)", "pdf " + (target / (anna + "02.pdf")).string(),
                                                  progress + "2,3)", "pdf " + (target / (bert + "03.pdf")).string()}));
}

TEST_F(ExportAll, WithoutTheManifestSettingNoManifestIsWritten) {
    Settings settings;
    settings.includeManifest = false;
    const ExportAllRun run = writeExportAll(source.string(), target.string(), settings, 1709251200);
    EXPECT_EQ(run.csvWritten, 3);
    for (const std::string& file : written()) EXPECT_EQ(file.find("Quellen"), std::string::npos) << file;
}

// Through the bridge: both folders asked for in turn; a driver whose only download the analysis
// refuses is named with the reason, while a damaged copy beside intact ones is set aside and named.
TEST_F(ExportAll, RefusedDriverIsReportedAndTheOthersExported) {
    gen::CardDescription broken = driverCard("Carl", "DF00000000000300", {{2024, 4, 2}});
    broken.inject.push_back(gen::Fault::minuteOutOfRange(0));
    writeCard("carl.ddd", broken);
    gen::CardDescription damagedAnna = driverCard("Anna", "DF00000000000100", {{2024, 1, 12}});
    damagedAnna.inject.push_back(gen::Fault::minuteOutOfRange(0));
    writeCard("old/anna.ddd", damagedAnna);
    ShellState state;
    bindDashboard(view, state, host);
    host.folderAnswers = {source.string(), target.string()};

    const auto answer = view.callAsync("tachoExportAll");
    shutdownShellState(state);
    ASSERT_TRUE(answer);
    EXPECT_EQ(host.folderMessages,
              (std::vector<std::string>{"Fahrer-Ordner wählen (wird rekursiv durchsucht)", "Zielordner für die Jahres-Ordner wählen"}));
    EXPECT_EQ(answer->result.rfind(R"({"ok":true,"drivers":2,"months":3,"pdf":3,"pdfFail":0,"csv":3,"error":"","refused":[{"name":"Carl","reason":")", 0), 0u)
        << answer->result;
    EXPECT_FALSE(fs::exists(target / "Carl DF00000000000300 Deutschland _D_"));
    EXPECT_NE(answer->result.find(R"(old/anna.ddd","reason":"beschädigte Kopie, nicht verwendet: )"), std::string::npos);
}

TEST_F(ExportAll, CancelledDialogAnswersNullAndWritesNothing) {
    for (const std::deque<std::string>& answers : {std::deque<std::string>{""}, std::deque<std::string>{source.string(), ""}}) {
        ShellState state;
        bindDashboard(view, state, host);
        host.folderAnswers = answers;
        const auto answer = view.callAsync("tachoExportAll");
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->result, "null");
        EXPECT_FALSE(state.exportAllThread.joinable());
    }
    EXPECT_FALSE(fs::exists(target));
}

}  // namespace
}  // namespace ddd::app
