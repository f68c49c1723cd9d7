#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "app/settings.h"
#include "tests/app/bridge_test_host.h"
#include "tests/card/card_rig.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;
using test::contains;
using test::readFile;

std::string request(const std::string& argument) { return "[" + jsonQuote(argument) + "]"; }

class DashboardBridge : public test::DashboardBridgeTest {
protected:
    void SetUp() override {
        test::DashboardBridgeTest::SetUp();
        env.set("HOME", folder.file("home").c_str());
        // One driver's downloads in two folders: January and February here, March there.
        card = folder.writeCard("tree/a/card.ddd", test::driverCard("Anna", "DF00000000000100", {{2024, 1, 10}, {2024, 2, 5}, {2024, 2, 6}}));
        folder.writeCard("tree/b/later.ddd", test::driverCard("Anna", "DF00000000000100", {{2024, 3, 1}}));
    }
    std::string card;
};

TEST_F(DashboardBridge, StartupAndOpenedFilesBecomeTheCurrentFile) {
    state.startupFile = "/daten/start.ddd";
    EXPECT_EQ(view.call("tachoStartupFile"), "\"/daten/start.ddd\"");
    EXPECT_EQ(view.call("tachoStartupFile"), "null");
    EXPECT_EQ(state.currentFile, "/daten/start.ddd");
    EXPECT_EQ(view.call("tachoOpenFile"), "null") << "cancelled";
    host.fileAnswer = "C:\\Daten\\karte.ddd";
    EXPECT_EQ(view.call("tachoOpenFile"), "\"C:/Daten/karte.ddd\"");
    EXPECT_EQ(state.currentFile, "C:/Daten/karte.ddd");
}

TEST_F(DashboardBridge, AnalyzeTellsCardDownloadsFromEverythingElse) {
    const std::vector<std::uint8_t> vuBytes = gen::writeVuDownload(gen::VuDescription{});
    const std::string vu = folder.write("vu/unit.ddd", vuBytes).string();
    // A vehicle unit's download that breaks off inside its second block is still one.
    const std::string cutVu = folder.write("vu-cut/unit.ddd", std::vector<std::uint8_t>(vuBytes.begin(), vuBytes.end() - 7)).string();
    const std::string secondGenerationOnly = folder.writeCard("g2/karte.ddd", gen::randomCard(11, 20, gen::Generation::Gen2));
    const std::string neither = R"({"ok":false,"unrecognised":true,"error":"Keine Fahrerkarten- oder Fahrzeugdatei: )";
    struct Case {
        std::string currentBefore, argument, answerStart, currentAfter, finderFolder;
    };
    const Case cases[] = {
        {"", card, R"({"ok":true)", card, ""},
        {card, secondGenerationOnly, R"({"ok":true)", secondGenerationOnly, ""},
        {card, vu, R"({"ok":false,"vu":true,"error":"Fahrzeugdatei (VU) erkannt)", card, folder.file("vu")},
        {card, folder.file("nowhere/x.ddd"), R"({"ok":false,"error":"Datei kann nicht geöffnet werden: )", card, ""},
        {card, cutVu, R"({"ok":false,"vu":true,)", card, folder.file("vu-cut")},
        {card, folder.writeText("leer/leer.ddd", "").string(), neither + "die Datei ist leer.\"}", card, ""},
        {card, folder.writeText("pdf/bericht.ddd", "%PDF-1.7\n1 0 obj\n<<>>\nendobj\n").string(), neither + "der Inhalt hat weder", card, ""},
        {card, "", R"({"ok":true)", card, ""},  // an empty path analyses the current file again
        {"", "", R"({"ok":false,"error":)", "", ""},
    };
    for (const Case& c : cases) {
        state.currentFile = c.currentBefore;
        host.finderLaunches.clear();
        const std::string answer = analyze(c.argument);
        EXPECT_TRUE(answer.starts_with(c.answerStart)) << c.argument << ": " << answer.substr(0, 200);
        EXPECT_EQ(state.currentFile, c.currentAfter) << c.argument;
        EXPECT_EQ(host.finderLaunches, c.finderFolder.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.finderFolder}) << c.argument;
    }
}

// The CSV set covers the driver's downloads found in the folder of the card file and below it,
// however the path is spelled; the month argument narrows it to one month only in its exact form.
TEST_F(DashboardBridge, CsvExportOfTheMonthAndTheDriversFiles) {
    fs::create_symlink(card, folder.file("tree/alias.ddd"));
    const std::tuple<std::string, std::string, std::size_t> cases[] = {  // current file, month, shift lines with the header
        {card, "02.2024", 3}, {card, "2.2024", 4}, {card, "__all__", 4}, {card, "", 4},
        {folder.file("tree/b/../alias.ddd"), "", 5}, {folder.file("tree/alias.ddd"), "03.2024", 2},
    };
    for (const auto& [currentFile, month, shiftLines] : cases) {
        test::TempFolder target;
        state.currentFile = currentFile;
        host.folderAnswer = target.path().string();
        const std::string stem = target.file(fs::path(currentFile).stem().string());
        EXPECT_EQ(view.call("tachoExportCsv", request(month)), jsonQuote(stem)) << currentFile << " " << month;
        const std::string shifts = readFile(stem + "_schichten.csv");
        EXPECT_EQ(std::count(shifts.begin(), shifts.end(), '\n'), static_cast<long>(shiftLines)) << currentFile << " " << month << "\n" << shifts;
    }
    host.folderAnswer = "";
    EXPECT_EQ(view.call("tachoExportCsv", request("")), "null") << "cancelled";
    host.folderAnswer = folder.file("no/such/folder");
    EXPECT_TRUE(view.call("tachoExportCsv", request("")).starts_with(R"({"ok":false,"error":)")) << "failed, told apart from cancelled";
    state.currentFile.clear();
    host.folderAnswer = folder.file("tree");
    EXPECT_EQ(view.call("tachoExportCsv", request("")), "null") << "no current file";
}

TEST_F(DashboardBridge, YearFolderAndSync) {
    EXPECT_EQ(view.call("tachoYearFolder", request("2024")), jsonQuote(folder.file("home/Downloads/Tacho Berichte 2024")));
    EXPECT_TRUE(fs::is_directory(folder.file("home/Downloads/Tacho Berichte 2024")));
    folder.write("blocked/Downloads", {});
    env.set("HOME", folder.file("blocked").c_str());
    EXPECT_EQ(view.call("tachoYearFolder", request("2024")), "null");

    folder.write("archive/card.ddd", {1});
    const std::pair<std::deque<std::string>, std::string> syncs[] = {
        {{""}, R"({"ok":false,"copied":0,"skipped":0})"},
        {{folder.file("tree"), ""}, R"({"ok":false,"copied":0,"skipped":0})"},
        {{folder.file("tree"), folder.file("archive")}, R"({"ok":true,"copied":1,"skipped":1,"failed":0,"error":""})"},
    };
    for (const auto& [folders, answer] : syncs) {
        host.folderAnswers = folders;
        EXPECT_EQ(view.call("tachoSync"), answer);
    }
}

// Each flag is set only by "true" and "1"; a cancelled folder dialog keeps the folder.
TEST_F(DashboardBridge, Settings) {
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
    ASSERT_TRUE(saveSettings({}));
    EXPECT_EQ(view.call("tachoChooseBerichtFolder"), R"({"berichtFolder":"","askEachTime":true,"includeManifest":true,"showCoverageGaps":true})");
    host.folderAnswer = "/daten\\berichte";
    EXPECT_EQ(view.call("tachoChooseBerichtFolder"), R"({"berichtFolder":"/daten/berichte","askEachTime":true,"includeManifest":true,"showCoverageGaps":true})");
    host.folderAnswer = "";
    EXPECT_EQ(view.call("tachoChooseBerichtFolder"), view.call("tachoGetSettings")) << "cancelled keeps the folder";
    EXPECT_TRUE(contains(view.call("tachoGetSettings"), "/daten/berichte"));
}

TEST_F(DashboardBridge, PrintSavesTheReportAndItsManifest) {
    state.currentFile = card;
    const std::string berichte = folder.file("berichte");
    folder.write("berichte/Max.pdf", {1});
    folder.write("berichte/Max (2).pdf", {1});
    const std::tuple<Settings, std::string, std::string, std::string> cases[] = {  // settings, save dialog, arguments, answer
        {{}, "", R"(["Max","02.2024"])", "null"},
        {{}, folder.file("chosen.PDF"), R"(["Max","02.2024"])",
         R"({"ok":true,"path":")" + folder.file("chosen.PDF") + R"(","auto":false,"manifest":")" + folder.file("chosen Quellen.txt") + R"("})"},
        {{berichte, false, true, true}, "", R"(["Max","02.2024"])",  // the next free name
         R"({"ok":true,"path":")" + berichte + R"(/Max (3).pdf","auto":true,"manifest":")" + berichte + R"(/Max (3) Quellen.txt"})"},
        {{berichte, false, false, true}, "", R"(["",""])", R"({"ok":true,"path":")" + berichte + R"(/Bericht.pdf","auto":true,"manifest":""})"},
        {{berichte, false, true, true}, "", R"(["\u0001never"])", R"({"ok":false,"path":")" + berichte + R"(/\\x01never.pdf","auto":true,"manifest":""})"},
    };
    for (const auto& [settings, saveAnswer, arguments, expected] : cases) {
        ASSERT_TRUE(saveSettings(settings));
        host.saveAnswer = saveAnswer;
        const auto answer = view.callAsync("tachoPrint", arguments);
        ASSERT_TRUE(answer) << arguments;
        EXPECT_EQ(answer->result, expected);
    }
    EXPECT_EQ(readFile(berichte + "/Max (3).pdf"), host.scriptValue);
    const std::string manifest = readFile(berichte + "/Max (3) Quellen.txt");
    EXPECT_TRUE(contains(manifest, "Februar 2024") && contains(manifest, "card.ddd") && !contains(manifest, "later.ddd")) << manifest;
    EXPECT_TRUE(contains(readFile(folder.file("chosen Quellen.txt")), "Februar 2024"));

    host.log.clear();
    const auto empty = view.callAsync("tachoSavePdf", request(""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 0);
    EXPECT_EQ(empty->result, "false");
    view.async.at("tachoSavePdf")("5", request("C:\\Berichte\\Max.pdf"));
    ASSERT_EQ(host.renders.size(), 1u);
    EXPECT_EQ(host.renders[0].callId + " " + host.renders[0].path, "5 C:/Berichte/Max.pdf");
    EXPECT_EQ(host.renders[0].html, host.scriptValue);
    EXPECT_EQ(host.log, std::vector<std::string>{std::string("script ") + kReportExtractionScript});
}

// A card read through the real smart-card service: the read card becomes the current file and
// its folder replaces the previous card's, which is removed; shutting down removes the last.
TEST_F(DashboardBridge, CardReadReplacesTheCardFolder) {
    env.set("TMPDIR", std::getenv("TMPDIR"));  // the reader's temporary directory is set for this test only
    test::PrivateTempDir temp;
    test::CardStack stack(test::imageOf(test::driverCard("Anna", "DF00000000000100", {{2024, 1, 10}})));
    const std::string reader = request(emu::VirtualReaderService::readerName());
    EXPECT_TRUE(view.call("tachoListReaders").starts_with("[" + jsonQuote(emu::VirtualReaderService::readerName()) + ","));
    std::vector<std::string> folders;
    for (int read = 0; read < 2; ++read) {
        const auto answer = view.callAsync("tachoReadCard", reader);
        ASSERT_TRUE(answer);
        EXPECT_TRUE(answer->result.starts_with(R"({"ok":true)")) << answer->result.substr(0, 200);
        EXPECT_EQ(state.currentFile, state.cardTempDir + "/card.ddd");
        EXPECT_TRUE(fs::is_regular_file(state.currentFile));
        folders.push_back(state.cardTempDir);
    }
    EXPECT_NE(folders[0], folders[1]);
    EXPECT_FALSE(fs::exists(folders[0]));
    const auto failed = view.callAsync("tachoReadCard", request("Kein Leser"));
    ASSERT_TRUE(failed);
    EXPECT_TRUE(failed->result.starts_with(R"({"ok":false,"error":")")) << failed->result;
    EXPECT_EQ(state.cardTempDir, folders[1]) << "a failed read keeps the card";
    shutdownShellState(state);
    EXPECT_TRUE(state.cardTempDir.empty());
    EXPECT_FALSE(fs::exists(folders[1]));
    state.cardTempDir = folders[1];
    shutdownShellState(state);
    EXPECT_TRUE(state.cardTempDir.empty()) << "a folder that is already gone";
}

}  // namespace
}  // namespace ddd::app
