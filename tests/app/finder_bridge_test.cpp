#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/finder_bridge.h"
#include "core/primitives.h"
#include "tests/app/bridge_test_host.h"
#include "tests/support/temp_folder.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd::app {
namespace {

using test::RecordingWebView;
using test::ScriptedHost;

std::string searchAt(const std::string& plate, std::int64_t instant) {
    const CivilTime civil = toCivilTime(instant);
    return "[{\"plate\":\"" + plate + "\",\"name\":\"\",\"vin\":\"\",\"y\":" + std::to_string(civil.year) + ",\"mo\":" +
           std::to_string(civil.month) + ",\"d\":" + std::to_string(civil.day) + ",\"hStart\":" + std::to_string(civil.minuteOfDay / 60) +
           ",\"hEnd\":-1}]";
}

// Cards of the matches that cover the searched instant.
std::set<std::string> exactCards(const std::string& answer) {
    static const std::regex exact(R"re("card":"([^"]*)","file":"[^"]*","timeExact":true)re");
    std::set<std::string> cards;
    for (std::sregex_iterator it(answer.begin(), answer.end(), exact), end; it != end; ++it) cards.insert((*it)[1]);
    return cards;
}

class FinderBridge : public ::testing::Test {
protected:
    void SetUp() override { bindFinder(view, runtime, host); }
    void TearDown() override { stopFinderScan(runtime); }

    RecordingWebView view;
    ScriptedHost host;
    FinderRuntime runtime;
    test::TempFolder folder;
};

TEST_F(FinderBridge, AnEmptyFinderAnswersZerosAndNoMatches) {
    EXPECT_EQ(view.call("tf_stats"),
              R"({"files":0,"sessions":0,"drivers":0,"vehicles":0,"earliest":0,"latest":0,"skipped":{"count":0,"files":[]}})");
    EXPECT_EQ(view.call("tf_options"), R"({"drivers":[],"vehicles":[]})");
    EXPECT_EQ(view.call("tf_query", R"([{"plate":"M AB 1"}])"), R"({"count":0,"shown":0,"matches":[],"activity":null})");
}

// The start-up scan of a fleet whose true answer is known: progress at most once per whole
// percent and rising, then the completion script; afterwards a plate and an instant give exactly
// the drivers the fleet put into that vehicle then.
TEST_F(FinderBridge, StartUpScanReportsProgressAndThenAnswersByPlateAndInstant) {
    const gen::Fleet fleet = gen::makeFleet(5, gen::FleetPlan{.drivers = 8, .vehicles = 5, .days = 8, .cardDownloadsPerDriver = 3,
                                                               .vuDownloadsPerVehicle = 3, .coDriverShare = 0.4, .speedMinutes = 5});
    folder.writeFleet(fleet);
    startFinderScan(view, runtime, folder.path().string());
    ASSERT_TRUE(view.runTasksUntil([&] { return runtime.folders.size() == 1; }));
    view.runAllTasks();

    const std::vector<std::string> scripts = view.scripts();
    ASSERT_GE(scripts.size(), 2u);
    static const std::regex progress(R"(window\.__finderProgress&&__finderProgress\((\d+),(\d+),''\))");
    std::set<long> percents;
    long lastDone = -1;
    for (std::size_t i = 0; i + 1 < scripts.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(scripts[i], m, progress)) << scripts[i];
        const long done = std::stol(m[1]);
        const long total = std::stol(m[2]);
        EXPECT_EQ(total, 8 * 3 + 5 * 3);
        EXPECT_GT(done, lastDone);
        lastDone = done;
        EXPECT_TRUE(percents.insert(done * 100 / total).second) << "two messages for one percent";
    }
    EXPECT_EQ(lastDone, 8 * 3 + 5 * 3);
    EXPECT_EQ(scripts.back(), "window.__finderProgress&&__finderProgress(1,1,'');"
                              "(async function(){try{applyStats(await TachoFinder.stats());await loadOptions();}catch(e){}})();");
    EXPECT_EQ(runtime.folders, std::vector<std::string>{folder.path().string()});
    EXPECT_NE(view.call("tf_stats").find("\"files\":39,"), std::string::npos) << view.call("tf_stats");

    int checked = 0;
    for (const gen::FleetStay& stay : fleet.stays) {
        const std::int64_t instant = stay.start + 3600;
        const gen::FleetVehicle& vehicle = fleet.vehicles[static_cast<std::size_t>(stay.vehicle)];
        const std::string request = searchAt(vehicle.plate, instant);
        const std::int64_t hourStart = instant - instant % 3600;  // German time is a whole number of hours off UTC
        std::set<std::string> expected;
        for (const gen::FleetStay& other : fleet.stays) {
            if (other.vehicle == stay.vehicle && other.start <= hourStart && hourStart < other.end) {
                expected.insert(fleet.drivers[static_cast<std::size_t>(other.driver)].cardNumber.substr(0, 14));
            }
        }
        EXPECT_EQ(exactCards(view.call("tf_query", request)), expected) << request;
        ++checked;
    }
    EXPECT_GT(checked, 20);
}

TEST_F(FinderBridge, ClosingDuringTheScanStopsItAndAppliesNothing) {
    folder.writeFleet(gen::makeFleet(9, gen::FleetPlan{.drivers = 30, .vehicles = 20, .days = 20, .cardDownloadsPerDriver = 4,
                                                         .vuDownloadsPerVehicle = 4, .speedMinutes = 600}));
    startFinderScan(view, runtime, folder.path().string());
    ASSERT_TRUE(view.runTasksUntil([&] { return !view.scripts().empty(); }));
    const auto closing = std::chrono::steady_clock::now();
    stopFinderScan(runtime);
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::milliseconds(500));
    view.runAllTasks();
    for (const std::string& script : view.scripts()) EXPECT_EQ(script.find("applyStats"), std::string::npos) << script;
    EXPECT_TRUE(runtime.folders.empty());
    EXPECT_TRUE(runtime.index.sessions.empty());
}

TEST_F(FinderBridge, AStartUpScanOfNothingDoesNothing) {
    startFinderScan(view, runtime, "");
    EXPECT_FALSE(runtime.scanThread.joinable());
    EXPECT_TRUE(view.scripts().empty());
}

TEST(FinderFolders, ChosenFoldersJoinTheList) {
    struct Case {
        const char* name;
        std::vector<std::string> before;
        const char* chosen;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {"first folder", {}, "/data/a", {"/data/a"}},
        {"a second folder beside", {"/data/a"}, "/data/b", {"/data/a", "/data/b"}},
        {"a parent replaces what lies inside it", {"/data/a/x", "/other", "/data/a/y"}, "/data/a", {"/other", "/data/a"}},
        {"a folder inside a recorded one", {"/data"}, "/data/a/x", {"/data"}},
        {"the same folder again", {"/data/a"}, "/data/a", {"/data/a"}},
        {"the same folder spelled otherwise", {"/data/a"}, "/data/./x/../a/", {"/data/a"}},
        {"a name that only starts alike", {"/data/a"}, "/data/ab", {"/data/a", "/data/ab"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> folders = c.before;
        recordFolder(folders, c.chosen);
        EXPECT_EQ(folders, c.after) << c.name;
    }
}

TEST_F(FinderBridge, ScanAsksForAFolderAndRebuildsFromAllRecordedFolders) {
    const gen::FleetPlan small{.drivers = 2, .vehicles = 1, .days = 3, .cardDownloadsPerDriver = 1, .vuDownloadsPerVehicle = 1, .speedMinutes = 5};
    folder.writeFleet(gen::makeFleet(1, small), "north/");
    folder.writeFleet(gen::makeFleet(2, small), "south/");
    const std::string north = (folder.path() / "north").string();
    const std::string south = (folder.path() / "south").string();

    host.folderAnswer = "";
    EXPECT_EQ(view.call("tf_scan"), view.call("tf_stats")) << "cancelled";
    EXPECT_TRUE(runtime.folders.empty());

    host.folderAnswer = north;
    EXPECT_NE(view.call("tf_scan").find("\"files\":3,"), std::string::npos);
    host.folderAnswer = south;
    EXPECT_NE(view.call("tf_scan").find("\"files\":6,"), std::string::npos);
    EXPECT_EQ(runtime.folders, (std::vector<std::string>{north, south}));

    std::filesystem::remove_all(folder.path() / "south");
    EXPECT_NE(view.call("tf_rescan").find("\"files\":3,"), std::string::npos);
    host.folderAnswer = folder.path().string();
    EXPECT_NE(view.call("tf_scan").find("\"files\":3,"), std::string::npos);
    EXPECT_EQ(runtime.folders, std::vector<std::string>{folder.path().string()});
}

// A folder scanned by hand while the start-up scan still runs stays in the index it adopts.
TEST_F(FinderBridge, AFolderScannedDuringTheStartUpScanIsKept) {
    const gen::FleetPlan small{.drivers = 2, .vehicles = 1, .days = 3, .cardDownloadsPerDriver = 1, .vuDownloadsPerVehicle = 1, .speedMinutes = 5};
    folder.writeFleet(gen::makeFleet(1, small), "start/");
    folder.writeFleet(gen::makeFleet(2, small), "hand/");
    const std::string start = (folder.path() / "start").string();
    host.folderAnswer = (folder.path() / "hand").string();
    startFinderScan(view, runtime, start);
    EXPECT_NE(view.call("tf_scan").find("\"files\":3,"), std::string::npos);
    ASSERT_TRUE(view.runTasksUntil([&] { return runtime.folders.size() == 2; }));
    EXPECT_EQ(runtime.folders, (std::vector<std::string>{host.folderAnswer, start}));
    EXPECT_NE(view.call("tf_stats").find("\"files\":6,"), std::string::npos) << view.call("tf_stats");
}

TEST_F(FinderBridge, ReportAsksForAPathAndHandsTheReportToTheRenderer) {
    host.saveAnswer = "";
    view.async.at("tf_report")("7", R"([{"plate":"X"}])");
    ASSERT_EQ(view.resolved.size(), 1u);
    EXPECT_EQ(view.resolved[0].id, "7");
    EXPECT_EQ(view.resolved[0].status, 0);
    EXPECT_EQ(view.resolved[0].result, "false");
    EXPECT_TRUE(host.renders.empty());
    EXPECT_EQ(host.suggestedNames, std::vector<std::string>{"fahrerermittlung.pdf"});

    host.saveAnswer = "/tmp/bericht.pdf";
    view.async.at("tf_report")("8", R"([{"plate":"M <AB> & 1","name":"","vin":"","y":0,"mo":0,"d":0,"hStart":-1,"hEnd":-1}])");
    ASSERT_EQ(host.renders.size(), 1u);
    EXPECT_EQ(view.resolved.size(), 1u) << "the renderer settles the call";
    EXPECT_EQ(host.renders[0].callId, "8");
    EXPECT_EQ(host.renders[0].path, "/tmp/bericht.pdf");
    EXPECT_NE(host.renders[0].html.find("Kennzeichen <b>M &lt;AB&gt; &amp; 1</b>"), std::string::npos);
    EXPECT_NE(host.renders[0].html.find("Keine Übereinstimmung"), std::string::npos);
}

TEST_F(FinderBridge, RevealShowsTheFileAndAnswersNull) {
    EXPECT_EQ(view.call("tf_reveal", R"(["/daten/fahrer\\karte.ddd"])"), "null");
    EXPECT_EQ(view.call("tf_reveal", R"([""])"), "null");
    EXPECT_EQ(host.revealed, std::vector<std::string>{"/daten/fahrer\\karte.ddd"});
}

}  // namespace
}  // namespace ddd::app
