#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/bridge_text.h"
#include "app/finder_bridge.h"
#include "app/finder_page.h"
#include "app/gtk/finder_window.h"
#include "app/gtk/gtk_shell_host.h"
#include "core/primitives.h"
#include "tests/support/temp_folder.h"
#include "tests/gtk/gtk_test_support.h"
#include "tests/gtk/x11_windows.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd::app {
namespace {

using test::commandOutput;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Every text of the driver's downloads names them so: card downloads and vehicle-unit stays.
void renameDriver(gen::Fleet& fleet, std::size_t driver, const std::string& surname) {
    const std::string card = fleet.drivers[driver].cardNumber;
    fleet.drivers[driver].surname = surname;
    for (auto& c : fleet.cards) {
        if (c.identity.cardNumber == card) c.identity.surname = surname;
    }
    for (auto& vu : fleet.vehicleUnits) {
        for (auto& day : vu.days) {
            for (auto& stay : day.stays) {
                if (stay.cardNumber == card) stay.surname = surname;
            }
        }
    }
}

// A name that shows right only when every text of the index reaches the page and the report escaped.
const std::string kOddName = "<b>Kröger & \"Söhne\"</b>";

// The fleet with its first driver under the odd name, written into the folder.
gen::Fleet writeFleetWithOddName(const test::TempFolder& folder, std::uint64_t seed, const gen::FleetPlan& plan) {
    gen::Fleet fleet = gen::makeFleet(seed, plan);
    renameDriver(fleet, 0, kOddName);
    folder.writeFleet(fleet);
    return fleet;
}

// The finder page in the view with the bridge bound, ready for input.
void loadFinderPage(DddWebView& view, FinderRuntime& runtime, test::DialogFreeHost& host) {
    host.setWebView(&view);
    bindFinder(view, runtime, host);
    view.setHtml(std::string(finderPageHtml()));
    ASSERT_EQ(test::awaitScript(view, "document.readyState === 'complete' && document.getElementById('searchBtn') ? 'ready' : ''"), "ready");
}

std::string js(const std::string& text) { return jsonQuote(text); }


class FinderWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::startGtk()) << "no display: run under xvfb-run"; }
};

// A generated fleet scanned at start-up with the page open, then searched as a user would: by
// plate and instant, by name; hits highlighted, texts escaped, files revealed.
TEST_F(FinderWindow, ScanSearchHighlightAndReport) {
    test::TempFolder folder;
    const gen::Fleet fleet = writeFleetWithOddName(folder, 17, gen::FleetPlan{.drivers = 7, .vehicles = 4, .days = 9, .cardDownloadsPerDriver = 2,
                                                                         .vuDownloadsPerVehicle = 2, .coDriverShare = 0.3, .speedMinutes = 5});
    DddWebView view;
    test::DialogFreeHost host;
    FinderRuntime runtime;
    view.setTitle(kFinderTitle);
    view.setSize(1240, 840, SizeHint::None);
    loadFinderPage(view, runtime, host);
    EXPECT_EQ(test::evaluateNow(view, "document.title"), "Fahrerermittlung — VELMORANT DDD");
    // The page's own faces, embedded in it, not a fallback of the system.
    EXPECT_EQ(test::loadedPageFaces(view), "400,500,600,700");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('toast').textContent"), "Noch keine Daten — bitte Ordner scannen.");

    // Every progress call the page receives, as done/total.
    view.eval("window.__seen=[];(function(){var page=window.__finderProgress;window.__finderProgress=function(d,t,f){__seen.push(d+'/'+t);page(d,t,f);};})();");
    startFinderScan(view, runtime, folder.path().string());
    const std::string files = std::to_string(fleet.cards.size() + fleet.vehicleUnits.size());
    ASSERT_EQ(test::awaitScript(view, "document.getElementById('statFiles').textContent === " + js(files) + " ? 'scanned' : ''"), "scanned");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('progress').hidden ? 'hidden' : ''"), "hidden");
    const std::string seen = test::evaluateNow(view, "__seen.join(' ')");
    EXPECT_EQ(seen.substr(0, 2 + files.size()), "0/" + files) << seen;
    EXPECT_NE(seen.find(files + "/" + files + " 1/1"), std::string::npos) << seen;
    EXPECT_EQ(test::evaluateNow(view, "document.getElementById('statDrivers').textContent"), "7");

    // Plate and instant: a stay in the middle of the fleet, searched an hour after it began.
    const gen::FleetStay& stay = fleet.stays[fleet.stays.size() / 2];
    const std::int64_t instant = stay.start + 3600;
    const CivilTime civil = toCivilTime(instant);
    char date[16];
    std::snprintf(date, sizeof date, "%02u.%02u.%04d", civil.day, civil.month, civil.year);
    const std::int64_t hourStart = instant - instant % 3600;
    std::set<std::string> expectedCards;
    for (const gen::FleetStay& other : fleet.stays) {
        if (other.vehicle == stay.vehicle && other.start <= hourStart && hourStart < other.end) {
            expectedCards.insert(fleet.drivers[static_cast<std::size_t>(other.driver)].cardNumber.substr(0, 14));
        }
    }
    const std::string plate = fleet.vehicles[static_cast<std::size_t>(stay.vehicle)].plate;
    view.eval("document.getElementById('plate').value=" + js(plate) + ";document.getElementById('date').value=" + js(date) +
              ";document.getElementById('hStart').value=" + js(std::to_string(civil.minuteOfDay / 60)) +
              ";document.getElementById('searchBtn').click();");
    ASSERT_EQ(test::awaitScript(view, "document.getElementById('results').hidden ? '' : 'shown'"), "shown");
    const std::string hitCards = test::evaluateNow(
        view, "Array.from(new Set(Array.from(document.querySelectorAll('#rows tr.hit')).map(r=>r.cells[6].textContent))).sort().join(',')");
    std::string expected;
    for (const std::string& card : expectedCards) expected += (expected.empty() ? "" : ",") + card;
    EXPECT_EQ(hitCards, expected);
    EXPECT_EQ(test::evaluateNow(view, "document.querySelector('#rows tr').classList.contains('hit') ? 'first' : ''"), "first")
        << "covering sessions come first";
    EXPECT_EQ(test::evaluateNow(view, "document.getElementById('answer').hidden ? '' : 'answer'"), "answer");
    EXPECT_EQ(test::evaluateNow(view, "document.getElementById('answerWho').textContent === document.querySelector('#rows tr.hit td').textContent ? 'same' : ''"),
              "same");
    test::snapshotPng(view, test::artifactFolder() / "finder_plate_and_instant.png");

    // By name: the driver whose name is markup appears as text, never as markup.
    view.eval("document.getElementById('resetBtn').click();document.getElementById('name').value='Kröger';"
              "document.getElementById('searchBtn').click();");
    ASSERT_EQ(test::awaitScript(view, "document.querySelectorAll('#rows tr').length > 0 && document.getElementById('count').textContent.indexOf('Treffer') > 0 ? 'rows' : ''"),
              "rows");
    EXPECT_EQ(test::evaluateNow(view, "document.querySelectorAll('#rows b, #answer b').length === 0 ? 'no markup' : ''"), "no markup");
    EXPECT_EQ(test::evaluateNow(view, "Array.from(document.querySelectorAll('#rows td.p')).every(td => td.textContent.indexOf(" + js(kOddName) +
                                          ") >= 0) ? 'all' : ''"),
              "all");
    EXPECT_EQ(test::evaluateNow(view, "document.getElementById('answer').hidden ? 'no answer' : ''"), "no answer") << "no instant searched";
    test::snapshotPng(view, test::artifactFolder() / "finder_by_name.png");
    view.eval("document.getElementById('themeBtn').click();");
    EXPECT_EQ(test::awaitScript(view, "document.documentElement.dataset.theme || ''"), "dark");
    test::snapshotPng(view, test::artifactFolder() / "finder_by_name_dark.png");
    view.eval("document.getElementById('themeBtn').click();");

    // Clicking a file name reveals that file.
    view.eval("document.querySelector('#rows .file').click();");
    ASSERT_TRUE(test::spinUntil([&] { return !host.revealed.empty(); }));
    EXPECT_TRUE(fs::exists(host.revealed[0])) << host.revealed[0];

    // The search form's own checks.
    struct Case {
        const char* name;
        const char* fill;
        const char* toast;
    };
    const Case cases[] = {
        {"nothing to search", "", "Bitte mindestens ein Suchkriterium eingeben."},
        {"hours over midnight", "document.getElementById('plate').value='X';document.getElementById('hStart').value='22';document.getElementById('hEnd').value='06';",
         "Bis-Uhrzeit muss nach der Von-Uhrzeit liegen — Zeiträume über Mitternacht bitte in zwei Suchen aufteilen."},
    };
    for (const Case& c : cases) {
        view.eval(std::string("document.getElementById('resetBtn').click();document.getElementById('toast').textContent='';") + c.fill +
                  "document.getElementById('searchBtn').click();");
        EXPECT_EQ(test::awaitScript(view, "document.getElementById('toast').textContent"), c.toast) << c.name;
        EXPECT_EQ(test::evaluateNow(view, "document.getElementById('results').hidden ? 'hidden' : ''"), "hidden") << c.name;
    }
    host.setWebView(nullptr);
}

// The report of the last search, saved as a PDF where the save dialog says.
TEST_F(FinderWindow, ReportOfTheLastSearchIsAOnePagePdf) {
    test::TempFolder folder;
    writeFleetWithOddName(folder, 4, gen::FleetPlan{.drivers = 3, .vehicles = 2, .days = 4, .cardDownloadsPerDriver = 1,
                                                    .vuDownloadsPerVehicle = 1, .speedMinutes = 5});
    DddWebView view;
    test::DialogFreeHost host;
    FinderRuntime runtime;
    runtime.folders.push_back(folder.path().string());
    rebuildIndex(runtime);
    loadFinderPage(view, runtime, host);
    view.eval("document.getElementById('name').value='Kröger';document.getElementById('searchBtn').click();");
    ASSERT_EQ(test::awaitScript(view, "document.querySelectorAll('#rows tr').length > 0 ? 'rows' : ''"), "rows");

    host.saveAnswer = (folder.path() / "bericht.pdf").string();
    view.eval("document.getElementById('reportBtn').click();");
    ASSERT_EQ(test::awaitScript(view, "(function(){var t=document.getElementById('toast').textContent;return t.indexOf('Bericht')===0?t:'';})()", 60),
              "Bericht gespeichert.");
    EXPECT_EQ(host.suggestedNames, std::vector<std::string>{"fahrerermittlung.pdf"});
    ASSERT_TRUE(fs::exists(host.saveAnswer));
    EXPECT_TRUE(std::regex_search(commandOutput("pdfinfo '" + host.saveAnswer + "'"), std::regex("Pages:\\s+1\\n")));
    const std::string text = commandOutput("pdftotext '" + host.saveAnswer + "' -");
    EXPECT_NE(text.find("Fahrerermittlung"), std::string::npos) << text;
    EXPECT_NE(text.find(kOddName), std::string::npos) << text;
    host.setWebView(nullptr);
}

// Typing into the date and hour fields, as keystrokes arrive one by one.
TEST_F(FinderWindow, DateAndHourFieldsFormatWhatIsTyped) {
    DddWebView view;
    FinderRuntime runtime;
    test::DialogFreeHost host;
    loadFinderPage(view, runtime, host);
    view.eval(R"JS(window.typeInto = function(id, keys) {
      var el = document.getElementById(id);
      el.value = '';
      for (var k of keys) {
        var at = el.selectionStart;
        el.value = el.value.slice(0, at) + k + el.value.slice(el.selectionEnd);
        el.setSelectionRange(at + 1, at + 1);
        el.dispatchEvent(new InputEvent('input', {inputType: 'insertText', data: k}));
      }
      return el.value;
    };)JS");
    struct Case {
        const char* field;
        const char* keys;
        const char* value;
    };
    const Case cases[] = {
        {"date", "31022025", "28.02.2025"}, {"date", "01011999", "01.01.2000"}, {"date", "15062040", "15.06.2035"},
        {"date", "3113", "31.12."},          {"date", "0", "0"},                 {"date", "2a9b", "29."},
        {"hStart", "7", "7"},                {"hStart", "30", "24"},             {"hStart", "123", "23"},
        {"hEnd", "x5", "5"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(test::evaluateNow(view, std::string("typeInto('") + c.field + "','" + c.keys + "')"), c.value) << c.field << " " << c.keys;
    }
}

// The dashboard's way into the finder: a second process of the executable, on a folder.
TEST(FinderProcess, TheDashboardStartsTheFinderOnAFolder) {
    test::TempFolder tree;
    tree.writeFleet(gen::makeFleet(3, gen::FleetPlan{.drivers = 2, .vehicles = 1, .days = 2, .cardDownloadsPerDriver = 1,
                                                       .vuDownloadsPerVehicle = 1, .speedMinutes = 5}));
    test::X11Windows desktop;
    ASSERT_TRUE(desktop.open());
    ASSERT_EQ(desktop.find(kFinderTitle), 0u);
    GtkShellHost host(DDD_APP_PATH);
    host.launchFinder(tree.path().string());
    unsigned long window = 0;
    const auto started = Clock::now();
    while (!window && Clock::now() - started < std::chrono::seconds(30)) {
        window = desktop.find(kFinderTitle);
        if (!window) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_NE(window, 0u) << "no finder window appeared";
    desktop.close(window);
    const auto closed = Clock::now();
    while (desktop.find(kFinderTitle) && Clock::now() - closed < std::chrono::seconds(10)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(desktop.find(kFinderTitle), 0u) << "the finder window stayed after it was closed";
}

}  // namespace
}  // namespace ddd::app
