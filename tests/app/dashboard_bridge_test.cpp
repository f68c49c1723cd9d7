#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "app/bridge_text.h"
#include "app/dashboard_bridge.h"
#include "app/settings.h"
#include "tests/app/bridge_test_host.h"
#include "tests/support/temp_folder.h"
#include "tests/card/card_rig.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;
using test::contains;
using test::driverCard;
using test::readFile;

std::string request(const std::string& argument) { return "[" + jsonQuote(argument) + "]"; }

std::size_t lineCount(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

class DashboardBridge : public testing::Test {
protected:
    void SetUp() override {
        env.set("HOME", (folder.path() / "home").c_str());
        env.set("XDG_CONFIG_HOME", (folder.path() / "config").c_str());
        // One driver's downloads in two folders: January and February here, March there.
        card = folder.write("tree/a/card.ddd", gen::writeCardDownload(
                                                   driverCard("Anna", "DF00000000000100", {{2024, 1, 10}, {2024, 2, 5}, {2024, 2, 6}})))
                   .string();
        folder.write("tree/b/later.ddd", gen::writeCardDownload(driverCard("Anna", "DF00000000000100", {{2024, 3, 1}})));
        bindDashboard(view, state, host);
    }
    void TearDown() override { shutdownShellState(state); }

    std::string path(const std::string& relative) const { return (folder.path() / relative).string(); }

    test::TempFolder folder;
    test::Environment env;
    test::RecordingWebView view;
    test::ScriptedHost host;
    ShellState state;
    std::string card;
};

TEST_F(DashboardBridge, StartupAndOpenedFilesBecomeTheCurrentFile) {
    state.startupFile = "/daten/start.ddd";
    EXPECT_EQ(view.call("tachoStartupFile"), "\"/daten/start.ddd\"");
    EXPECT_EQ(view.call("tachoStartupFile"), "null");
    EXPECT_EQ(state.currentFile, "/daten/start.ddd");

    host.fileAnswer = "";
    EXPECT_EQ(view.call("tachoOpenFile"), "null");
    host.fileAnswer = "C:\\Daten\\karte.ddd";
    EXPECT_EQ(view.call("tachoOpenFile"), "\"C:/Daten/karte.ddd\"");
    EXPECT_EQ(state.currentFile, "C:/Daten/karte.ddd");
}

TEST_F(DashboardBridge, AnalyzeTellsCardDownloadsFromEverythingElse) {
    const std::vector<std::uint8_t> vuBytes = gen::writeVuDownload(gen::VuDescription{});
    const std::string vu = folder.write("vu/unit.ddd", vuBytes).string();
    // A vehicle unit's download that breaks off inside its second block is still one.
    const std::string cutVu = folder.write("vu-cut/unit.ddd", std::vector<std::uint8_t>(vuBytes.begin(), vuBytes.end() - 7)).string();
    const std::string pdf = folder.writeText("pdf/bericht.ddd", "%PDF-1.7\n1 0 obj\n<<>>\nendobj\n").string();
    const std::string empty = folder.writeText("leer/leer.ddd", "").string();
    const std::string neither = R"({"ok":false,"unrecognised":true,"error":"Keine Fahrerkarten- oder Fahrzeugdatei: )";
    const std::string secondGenerationOnly = folder.write("g2/karte.ddd", gen::writeCardDownload(gen::randomCard(
                                                              11, 20, gen::Generation::Gen2))).string();
    const std::string noFinder = "-";
    struct Case {
        const char* name;
        std::string currentBefore;
        std::string argument;
        std::string answerStart;
        std::string currentAfter;
        std::string finderFolder;
    };
    const Case cases[] = {
        {"card download", "", card, R"({"ok":true)", card, noFinder},
        {"second-generation card download", card, secondGenerationOnly, R"({"ok":true)", secondGenerationOnly, noFinder},
        {"vehicle-unit download", card, vu, R"({"ok":false,"vu":true,"error":"Fahrzeugdatei (VU) erkannt)", card, path("vu")},
        {"unreadable path", card, path("nowhere/x.ddd"), R"({"ok":false,"error":"Datei kann nicht geöffnet werden: )", card, noFinder},
        {"vehicle-unit download cut short", card, cutVu, R"({"ok":false,"vu":true,)", card, path("vu-cut")},
        {"empty file", card, empty, neither + "die Datei ist leer.\"}", card, noFinder},
        {"renamed PDF", card, pdf, neither + "der Inhalt hat weder", card, noFinder},
        {"empty path analyses the current file again", card, "", R"({"ok":true)", card, noFinder},
        {"empty path without a current file", "", "", R"({"ok":false,"error":)", "", noFinder},
    };
    for (const Case& c : cases) {
        state.currentFile = c.currentBefore;
        host.finderLaunches.clear();
        const auto answer = view.callAsync("tachoAnalyze", request(c.argument));
        ASSERT_TRUE(answer) << c.name;
        EXPECT_EQ(answer->result.rfind(c.answerStart, 0), 0u) << c.name << ": " << answer->result.substr(0, 200);
        EXPECT_EQ(state.currentFile, c.currentAfter) << c.name;
        EXPECT_EQ(host.finderLaunches, c.finderFolder == noFinder ? std::vector<std::string>{} : std::vector<std::string>{c.finderFolder}) << c.name;
    }
}

// The CSV set covers the driver's downloads found in the folder of the card file and below it,
// however the path is spelled; the month argument narrows it to one month only in its exact form.
TEST_F(DashboardBridge, CsvExportOfTheMonthAndTheDriversFiles) {
    fs::create_symlink(card, path("tree/alias.ddd"));
    struct Case {
        const char* name;
        std::string currentFile;
        std::string month;
        std::size_t shiftLines;  // header included
    };
    const Case cases[] = {
        {"one month", card, "02.2024", 3},
        {"month without leading zero means all", card, "2.2024", 4},
        {"all", card, "__all__", 4},
        {"empty means all", card, "", 4},
        {"dot segments", path("tree/b/../alias.ddd"), "", 5},
        {"symbolic link", path("tree/alias.ddd"), "03.2024", 2},
    };
    for (const Case& c : cases) {
        test::TempFolder target;
        state.currentFile = c.currentFile;
        host.folderAnswer = target.path().string();
        const std::string stem = fs::path(c.currentFile).stem().string();
        EXPECT_EQ(view.call("tachoExportCsv", request(c.month)), jsonQuote(target.path().string() + "/" + stem)) << c.name;
        const std::string shifts = readFile((target.path() / (stem + "_schichten.csv")).string());
        EXPECT_EQ(lineCount(shifts), c.shiftLines) << c.name << "\n" << shifts;
    }
    host.folderAnswer = "";
    EXPECT_EQ(view.call("tachoExportCsv", request("")), "null") << "cancelled";
    host.folderAnswer = path("no/such/folder");
    EXPECT_EQ(view.call("tachoExportCsv", request("")).rfind(R"({"ok":false,"error":)", 0), 0u) << "failed, told apart from cancelled";
    state.currentFile.clear();
    host.folderAnswer = path("tree");
    EXPECT_EQ(view.call("tachoExportCsv", request("")), "null") << "no current file";
}

TEST_F(DashboardBridge, YearFolderBelowTheHomeFolder) {
    EXPECT_EQ(view.call("tachoYearFolder", request("2024")), jsonQuote(path("home") + "/Downloads/Tacho Berichte 2024"));
    EXPECT_TRUE(fs::is_directory(path("home/Downloads/Tacho Berichte 2024")));
    folder.write("blocked/Downloads", {});
    env.set("HOME", path("blocked").c_str());
    EXPECT_EQ(view.call("tachoYearFolder", request("2024")), "null");
}

TEST_F(DashboardBridge, SyncCountsCopiedAndSkippedDownloads) {
    folder.write("archive/card.ddd", {1});
    struct Case {
        const char* name;
        std::deque<std::string> folders;
        std::string answer;
    };
    const Case cases[] = {
        {"cancelled", {""}, R"({"ok":false,"copied":0,"skipped":0})"},
        {"no target", {path("tree"), ""}, R"({"ok":false,"copied":0,"skipped":0})"},
        {"one new, one known", {path("tree"), path("archive")}, R"({"ok":true,"copied":1,"skipped":1,"failed":0,"error":""})"},
    };
    for (const Case& c : cases) {
        host.folderAnswers = c.folders;
        EXPECT_EQ(view.call("tachoSync"), c.answer) << c.name;
    }
}

TEST_F(DashboardBridge, SettingFlagsOnlyFromTrueAndOne) {
    const std::pair<const char*, bool Settings::*> setters[] = {{"tachoSetAskEachTime", &Settings::askEachTime},
                                                                {"tachoSetIncludeManifest", &Settings::includeManifest},
                                                                {"tachoSetShowCoverageGaps", &Settings::showCoverageGaps}};
    const std::pair<const char*, bool> values[] = {{"true", true}, {"1", true}, {"yes", false}, {"TRUE", false}, {"0", false}};
    for (const auto& [setter, flag] : setters) {
        for (const auto& [value, expected] : values) {
            Settings opposite;
            opposite.*flag = !expected;
            ASSERT_TRUE(saveSettings(opposite));
            const std::string answer = view.call(setter, request(value));
            EXPECT_EQ(loadSettings().*flag, expected) << setter << " " << value;
            EXPECT_EQ(answer, settingsJson(loadSettings())) << setter << " " << value;
        }
    }
}

TEST_F(DashboardBridge, BerichtFolderChosenOrKept) {
    host.folderAnswer = "";
    EXPECT_EQ(view.call("tachoChooseBerichtFolder"), R"({"berichtFolder":"","askEachTime":true,"includeManifest":true,"showCoverageGaps":true})");
    host.folderAnswer = "/daten\\berichte";
    EXPECT_EQ(view.call("tachoChooseBerichtFolder"), R"({"berichtFolder":"/daten/berichte","askEachTime":true,"includeManifest":true,"showCoverageGaps":true})");
    host.folderAnswer = "";
    EXPECT_EQ(view.call("tachoChooseBerichtFolder"), view.call("tachoGetSettings")) << "cancelled keeps the folder";
}

TEST_F(DashboardBridge, PrintSavesTheReportAndItsManifest) {
    state.currentFile = card;
    const std::string berichte = path("berichte");
    folder.write("berichte/Max.pdf", {1});
    folder.write("berichte/Max (2).pdf", {1});
    struct Case {
        const char* name;
        Settings settings;
        std::string saveAnswer;
        std::string arguments;
        std::string answer;
    };
    const Case cases[] = {
        {"ask mode, cancelled", {}, "", R"(["Max","02.2024"])", "null"},
        {"ask mode", {}, path("chosen.PDF"), R"(["Max","02.2024"])",
         R"({"ok":true,"path":")" + path("chosen.PDF") + R"(","auto":false,"manifest":")" + path("chosen Quellen.txt") + R"("})"},
        {"automatic mode takes the next free name", {berichte, false, true, true}, "", R"(["Max","02.2024"])",
         R"({"ok":true,"path":")" + berichte + R"(/Max (3).pdf","auto":true,"manifest":")" + berichte + R"(/Max (3) Quellen.txt"})"},
        {"no manifest wanted", {berichte, false, false, true}, "", R"(["",""])",
         R"({"ok":true,"path":")" + berichte + R"(/Bericht.pdf","auto":true,"manifest":""})"},
        {"render fails", {berichte, false, true, true}, "", R"(["\u0001never"])",
         R"({"ok":false,"path":")" + berichte + R"(/\\x01never.pdf","auto":true,"manifest":""})"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(saveSettings(c.settings));
        host.saveAnswer = c.saveAnswer;
        const auto answer = view.callAsync("tachoPrint", c.arguments);
        ASSERT_TRUE(answer) << c.name;
        EXPECT_EQ(answer->result, c.answer) << c.name;
    }
    EXPECT_EQ(readFile(berichte + "/Max (3).pdf"), host.scriptValue);
    const std::string manifest = readFile(berichte + "/Max (3) Quellen.txt");
    EXPECT_TRUE(contains(manifest, "Februar 2024") && contains(manifest, "card.ddd") && !contains(manifest, "later.ddd")) << manifest;
    EXPECT_TRUE(contains(readFile(path("chosen Quellen.txt")), "Februar 2024"));
}

TEST_F(DashboardBridge, SavePdfRendersTheExtractedReportToTheSlashPath) {
    const auto empty = view.callAsync("tachoSavePdf", request(""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->result, "false");
    EXPECT_EQ(empty->status, 0);

    view.async.at("tachoSavePdf")("5", request("C:\\Berichte\\Max.pdf"));
    ASSERT_EQ(host.renders.size(), 1u);
    EXPECT_EQ(host.renders[0].callId, "5");
    EXPECT_EQ(host.renders[0].path, "C:/Berichte/Max.pdf");
    EXPECT_EQ(host.renders[0].html, host.scriptValue);
    EXPECT_EQ(host.log, std::vector<std::string>{std::string("script ") + kReportExtractionScript});
}

// A card read through the real smart-card service: the read card becomes the current file and
// its folder replaces the previous card's, which is removed.
TEST_F(DashboardBridge, CardReadReplacesTheCardFolder) {
    env.set("TMPDIR", std::getenv("TMPDIR"));  // the reader's temporary directory is set for this test only
    test::PrivateTempDir temp;
    test::CardStack stack(test::imageOf(driverCard("Anna", "DF00000000000100", {{2024, 1, 10}})));
    const std::string reader = request(emu::VirtualReaderService::readerName());
    EXPECT_EQ(view.call("tachoListReaders").rfind("[" + jsonQuote(emu::VirtualReaderService::readerName()) + ",", 0), 0u);

    std::vector<std::string> folders;
    for (int read = 0; read < 2; ++read) {
        const auto answer = view.callAsync("tachoReadCard", reader);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->result.rfind(R"({"ok":true)", 0), 0u) << answer->result.substr(0, 200);
        EXPECT_EQ(state.currentFile, state.cardTempDir + "/card.ddd");
        EXPECT_TRUE(fs::is_regular_file(state.currentFile));
        folders.push_back(state.cardTempDir);
    }
    EXPECT_NE(folders[0], folders[1]);
    EXPECT_FALSE(fs::exists(folders[0]));

    const auto failed = view.callAsync("tachoReadCard", request("Kein Leser"));
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->result.rfind(R"({"ok":false,"error":")", 0), 0u) << failed->result;
    EXPECT_EQ(state.cardTempDir, folders[1]) << "a failed read keeps the card";
}

}  // namespace
}  // namespace ddd::app
