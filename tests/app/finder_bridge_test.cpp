#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/finder_bridge.h"
#include "finder/finder_query.h"
#include "core/primitives.h"
#include "tests/app/bridge_test_host.h"

namespace ddd::app {
namespace {

const gen::FleetPlan kSmallFleet{.drivers = 2, .vehicles = 1, .days = 3, .cardDownloadsPerDriver = 1, .vuDownloadsPerVehicle = 1, .speedMinutes = 5};

std::string searchAt(const std::string& plate, std::int64_t instant) {
    const CivilTime civil = toCivilTime(instant);
    return "[{\"plate\":\"" + plate + "\",\"name\":\"\",\"vin\":\"\",\"y\":" + std::to_string(civil.year) + ",\"mo\":" + std::to_string(civil.month) +
           ",\"d\":" + std::to_string(civil.day) + ",\"hStart\":" + std::to_string(civil.minuteOfDay / 60) + ",\"hEnd\":-1}]";
}

// Cards of the matches that cover the searched instant, joined by commas in order.
std::string exactCards(const std::string& answer) {
    static const std::regex exact(R"re("card":"([^"]*)","file":"[^"]*","sources":\[[^\]]*\],"timeExact":true)re");
    std::set<std::string> cards;
    for (std::sregex_iterator it(answer.begin(), answer.end(), exact), end; it != end; ++it) cards.insert((*it)[1]);
    std::string joined;
    for (const std::string& card : cards) joined += (joined.empty() ? "" : ",") + card;
    return joined;
}

bool hasFiles(const std::string& stats, int files) { return test::contains(stats, "\"files\":" + std::to_string(files) + ","); }

class FinderBridge : public ::testing::Test {
protected:
    void SetUp() override {
        openKeptIndex(runtime, data.file("archive.sqlite"));
        bindFinder(view, runtime, host);
    }
    void TearDown() override { stopFinderScan(runtime); }

    test::RecordingWebView view;
    test::ScriptedHost host;
    FinderRuntime runtime;
    test::TempFolder folder, data;
};

// Before any scan: no matches. The start-up scan of a fleet whose true answer is known:
// progress at most once per whole percent and rising, then the completion script; afterwards a
// plate and an instant give exactly the drivers the fleet put into that vehicle then.
TEST_F(FinderBridge, StartUpScanReportsProgressAndThenAnswersByPlateAndInstant) {
    EXPECT_EQ(view.call("tf_query", R"([{"plate":"M AB 1"}])"), R"({"count":0,"shown":0,"matches":[],"activity":null})");
    startFinderScan(view, runtime, "");
    EXPECT_TRUE(!runtime.scanThread.joinable() && view.scripts().empty()) << "a start-up scan of nothing does nothing";

    const gen::Fleet fleet = gen::makeFleet(5, gen::FleetPlan{.drivers = 8, .vehicles = 5, .days = 8, .cardDownloadsPerDriver = 3,
                                                               .vuDownloadsPerVehicle = 3, .coDriverShare = 0.4, .speedMinutes = 5});
    folder.writeFleet(fleet);
    startFinderScan(view, runtime, folder.path().string());
    ASSERT_TRUE(view.runTasksUntil([&] { return !view.scripts().empty() && test::contains(view.scripts().back(), "applyStats"); }));
    const std::vector<std::string> scripts = view.scripts();
    ASSERT_GE(scripts.size(), 2u);
    static const std::regex progress(R"(window\.__finderProgress&&__finderProgress\((\d+),39,''\))");
    long lastPercent = -1;
    for (std::size_t i = 0; i + 1 < scripts.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(scripts[i], m, progress)) << scripts[i];
        EXPECT_GT(std::stol(m[1]) * 100 / 39, lastPercent) << "rising, one message a percent";
        lastPercent = std::stol(m[1]) * 100 / 39;
    }
    EXPECT_EQ(lastPercent, 100);
    EXPECT_EQ(scripts.back(), "window.__finderProgress&&__finderProgress(1,1,'');"
                              "(async function(){try{applyStats(await TachoFinder.stats());await loadOptions();}catch(e){}})();");
    EXPECT_TRUE(hasFiles(view.call("tf_stats"), 39));

    for (const gen::FleetStay& stay : fleet.stays) {
        const std::string request = searchAt(fleet.vehicles[static_cast<std::size_t>(stay.vehicle)].plate, stay.start + 3600);
        EXPECT_EQ(exactCards(view.call("tf_query", request)), test::cardsInVehicleAtHour(fleet, stay.vehicle, stay.start + 3600)) << request;
    }
    EXPECT_GT(fleet.stays.size(), 20u);

    // The next window answers from the kept index at once, before any scan.
    FinderRuntime next;
    openKeptIndex(next, data.file("archive.sqlite"));
    const std::string nextStats = finderStatsJson(next);
    EXPECT_EQ(std::tuple(nextStats, next.folders), std::tuple(view.call("tf_stats"), runtime.folders));
    const std::string request = searchAt(fleet.vehicles[0].plate, fleet.stays.back().start);
    EXPECT_EQ(finder::queryJson(next.index, request.substr(1, request.size() - 2)), view.call("tf_query", request));
}

TEST_F(FinderBridge, ClosingDuringTheScanStopsItAndAppliesNothing) {
    folder.writeFleet(gen::makeFleet(9, gen::FleetPlan{.drivers = 30, .vehicles = 20, .days = 20, .cardDownloadsPerDriver = 4,
                                                         .vuDownloadsPerVehicle = 4, .speedMinutes = 600}));
    startFinderScan(view, runtime, folder.path().string());
    ASSERT_TRUE(view.runTasksUntil([&] { return !view.scripts().empty(); }));
    stopFinderScan(runtime);
    view.runTasksUntil();
    for (const std::string& script : view.scripts()) EXPECT_FALSE(test::contains(script, "applyStats")) << script;
    EXPECT_TRUE(runtime.index.sessions.empty());
}

// Each scan asks for a folder and rebuilds from all recorded ones; a folder scanned by hand while
// the start-up scan still runs takes that scan's folder along, and the worker's older index is
// not adopted over it.
TEST_F(FinderBridge, ScanAsksForAFolderAndRebuildsFromAllRecordedFolders) {
    std::uint64_t seed = 1;
    for (const char* part : {"north", "south", "start"}) folder.writeFleet(gen::makeFleet(seed++, kSmallFleet), std::string(part) + "/");
    const std::string north = folder.file("north"), south = folder.file("south"), start = folder.file("start");
    EXPECT_EQ(view.call("tf_scan"), view.call("tf_stats")) << "cancelled";
    host.folderAnswer = north;
    EXPECT_TRUE(hasFiles(view.call("tf_scan"), 3));
    host.folderAnswer = south;
    EXPECT_TRUE(hasFiles(view.call("tf_scan"), 6));
    EXPECT_EQ(runtime.folders, (std::vector<std::string>{north, south}));
    std::filesystem::remove_all(south);
    EXPECT_TRUE(hasFiles(view.call("tf_rescan"), 3));
    host.folderAnswer = folder.path().string();
    EXPECT_TRUE(hasFiles(view.call("tf_scan"), 6));
    EXPECT_EQ(runtime.folders, std::vector<std::string>{folder.path().string()});

    runtime.folders.clear();
    host.folderAnswer = north;
    startFinderScan(view, runtime, start);
    EXPECT_TRUE(hasFiles(view.call("tf_scan"), 6));
    view.runTasksUntil();
    EXPECT_EQ(runtime.folders, (std::vector<std::string>{start, north}));
    EXPECT_TRUE(hasFiles(view.call("tf_stats"), 6)) << view.call("tf_stats");
}

// The report asks for a path and hands the escaped report to the renderer, which settles the
// call; cancelled, the call is answered at once.
TEST_F(FinderBridge, Report) {
    view.async.at("tf_report")("7", R"([{"plate":"X"}])");
    ASSERT_EQ(view.resolved.size(), 1u);
    EXPECT_EQ((std::tuple{view.resolved[0].id, view.resolved[0].status, view.resolved[0].result}), (std::tuple{"7", 0, "false"}));

    host.saveAnswer = "/tmp/bericht.pdf";
    view.async.at("tf_report")("8", R"([{"plate":"M <AB> & 1","name":"","vin":"","y":0,"mo":0,"d":0,"hStart":-1,"hEnd":-1}])");
    ASSERT_EQ(host.renders.size(), 1u);
    EXPECT_EQ(view.resolved.size(), 1u) << "the renderer settles the call";
    EXPECT_EQ(host.renders[0].callId + " " + host.renders[0].path, "8 /tmp/bericht.pdf");
    EXPECT_TRUE(test::contains(host.renders[0].html, "Kennzeichen <b>M &lt;AB&gt; &amp; 1</b>"));
}

}  // namespace
}  // namespace ddd::app
