#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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
        // One driver's downloads in two folders: January and February here, March there.
        card = folder.writeCard("tree/a/card.ddd", test::driverCard("Anna", "DF00000000000100", {{2024, 1, 10}, {2024, 2, 5}, {2024, 2, 6}}));
        folder.writeCard("tree/b/later.ddd", test::driverCard("Anna", "DF00000000000100", {{2024, 3, 1}}));
    }
    std::string card;
};

TEST_F(DashboardBridge, AnalyzeTellsCardDownloadsFromEverythingElse) {
    const std::vector<std::uint8_t> vuBytes = gen::writeVuDownload(gen::VuDescription{});
    const std::string vu = folder.write("vu/unit.ddd", vuBytes).string();
    // A vehicle unit's download that breaks off inside its second block is still one.
    const std::string cutVu = folder.write("vu-cut/unit.ddd", std::vector<std::uint8_t>(vuBytes.begin(), vuBytes.end() - 7)).string();
    const std::string secondGenerationOnly = folder.writeCard("g2/karte.ddd", gen::randomCard(11, 20, gen::Generation::Gen2));
    const std::string neither = R"({"ok":false,"unrecognised":true,"error":"Keine Fahrerkarten- oder Fahrzeugdatei: )";
    const std::string vehicle = R"({"ok":true,"vehicle":true,"vin":"WDB9634031L123456")";
    struct Case { std::string currentBefore, argument, answerStart, currentAfter, vehicleAfter; };
    const Case cases[] = {
        {"", card, R"({"ok":true)", card, ""},
        {card, secondGenerationOnly, R"({"ok":true)", secondGenerationOnly, ""},
        {card, vu, vehicle, card, vu},
        {card, folder.file("nowhere/x.ddd"), R"({"ok":false,"error":"Datei kann nicht geöffnet werden: )", card, vu},
        {vu, cutVu, vehicle, vu, cutVu},
        {vu, vu, vehicle, "", vu},  // named by the file dialog before it was known to be a vehicle's
        {card, folder.writeText("leer/leer.ddd", "").string(), neither + "die Datei ist leer.\"}", card, vu},
        {card, folder.writeText("pdf/bericht.ddd", "%PDF-1.7\n1 0 obj\n<<>>\nendobj\n").string(), neither + "der Inhalt hat weder", card, vu},
        {card, "", R"({"ok":true)", card, vu},  // an empty path analyses the current file again
    };
    for (const Case& c : cases) {
        state.currentFile = c.currentBefore;
        const std::string answer = analyze(c.argument);
        EXPECT_TRUE(answer.starts_with(c.answerStart)) << c.argument << ": " << answer.substr(0, 200);
        EXPECT_EQ(state.currentFile, c.currentAfter) << c.argument;
        EXPECT_EQ(state.currentVehicleFile, c.vehicleAfter) << c.argument;
    }
    EXPECT_TRUE(host.finderLaunches.empty());
}

// The vehicle's CSV set and report go where the user says, complete; nothing is written without
// an open vehicle, after a cancelled dialog, into a path that is no folder, or for a download that
// has gone since it was opened.
TEST_F(DashboardBridge, VehicleExportsWriteWholeFilesOrNothing) {
    const std::string vu = folder.write("vu/unit.ddd", gen::writeVuDownload(gen::fullVuDescription(gen::VuLayout::Gen2))).string();
    const std::string notAFolder = folder.writeText("plain", "x").string();
    EXPECT_EQ(view.call("tachoVehicleCsv"), "null") << "no vehicle open";
    ASSERT_TRUE(analyze(vu).starts_with(R"({"ok":true,"vehicle":true)"));
    const std::pair<std::string, std::string> csvCases[] = {
        {"", "null"}, {folder.file("csv"), jsonQuote(folder.file("csv/unit"))}, {notAFolder, R"({"ok":false,"error":"CSV-Export fehlgeschlagen: )"}};
    fs::create_directories(folder.file("csv"));
    for (const auto& [chosen, answer] : csvCases) {
        host.folderAnswer = chosen;
        EXPECT_TRUE(view.call("tachoVehicleCsv").starts_with(answer)) << chosen;
    }
    std::size_t tables = 0;
    for (const auto& file : fs::directory_iterator(folder.file("csv"))) {
        EXPECT_TRUE(readFile(file.path()).starts_with("\xEF\xBB\xBF")) << file.path();
        tables += file.path().filename().string().starts_with("unit_") && file.path().extension() == ".csv";
    }
    EXPECT_GE(tables, 6u);

    const std::string berichte = folder.file("berichte");
    folder.write("berichte/Fahrzeugbericht.pdf", {1});
    const std::tuple<Settings, std::string, std::string, std::string> cases[] = {  // settings, save dialog, name, answer
        {{}, "", "X", "null"},
        {{}, folder.file("wagen.pdf"), "X", R"({"ok":true,"path":")" + folder.file("wagen.pdf") + R"(","auto":false,"manifest":""})"},
        {{berichte, false, true, true}, "", "", R"({"ok":true,"path":")" + berichte + R"(/Fahrzeugbericht (2).pdf","auto":true,"manifest":""})"},
        {{berichte, false, true, true}, "", "\u0001never", R"({"ok":false,"path":")" + berichte + R"(/\\x01never.pdf","auto":true,"manifest":""})"},
    };
    for (const auto& [settings, saveAnswer, name, expected] : cases) {
        ASSERT_TRUE(saveSettings(settings));
        host.saveAnswer = saveAnswer;
        const auto answer = view.callAsync("tachoVehicleReport", request(name));
        EXPECT_EQ(answer ? answer->result : "no answer", expected) << name;
    }
    EXPECT_TRUE(contains(readFile(folder.file("wagen.pdf")), "M AB 123"));
    fs::remove(vu);
    const auto gone = view.callAsync("tachoVehicleReport", request("weg"));
    EXPECT_TRUE(gone && contains(gone->result, R"("ok":false)") && contains(gone->result, R"("error":")")) << (gone ? gone->result : "");
    EXPECT_FALSE(fs::exists(berichte + "/weg.pdf"));
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
        EXPECT_EQ(answer ? answer->result : "no answer", expected) << arguments;
    }
    EXPECT_EQ(readFile(berichte + "/Max (3).pdf"), host.scriptValue);
    const std::string manifest = readFile(berichte + "/Max (3) Quellen.txt");
    EXPECT_TRUE(contains(manifest, "Februar 2024") && contains(manifest, "card.ddd") && !contains(manifest, "later.ddd")) << manifest;
    EXPECT_TRUE(contains(readFile(folder.file("chosen Quellen.txt")), "Februar 2024"));
}

// A card read through the real smart-card service: the read card becomes the current file and
// its folder replaces the previous card's, which is removed; shutting down removes the last.
TEST_F(DashboardBridge, CardReadReplacesTheCardFolder) {
    env.set("TMPDIR", std::getenv("TMPDIR"));  // the reader's temporary directory is set for this test only
    test::PrivateTempDir temp;
    test::CardStack stack(test::imageOf(test::driverCard("Anna", "DF00000000000100", {{2024, 1, 10}})));
    const std::string reader = request(emu::VirtualReaderService::readerName());
    std::vector<std::string> folders;
    for (int read = 0; read < 2; ++read) {
        const auto answer = view.callAsync("tachoReadCard", reader);
        EXPECT_TRUE(answer && answer->result.starts_with(R"({"ok":true)")) << (answer ? answer->result.substr(0, 200) : "");
        EXPECT_EQ(state.currentFile, state.cardTempDir + "/card.ddd");
        EXPECT_TRUE(fs::is_regular_file(state.currentFile));
        folders.push_back(state.cardTempDir);
    }
    EXPECT_TRUE(folders[0] != folders[1] && !fs::exists(folders[0]));
    const auto failed = view.callAsync("tachoReadCard", request("Kein Leser"));
    EXPECT_TRUE(failed && failed->result.starts_with(R"({"ok":false,"error":")"));
    EXPECT_EQ(state.cardTempDir, folders[1]) << "a failed read keeps the card";
    shutdownShellState(state);
    EXPECT_TRUE(state.cardTempDir.empty() && !fs::exists(folders[1]));
}

}  // namespace
}  // namespace ddd::app
