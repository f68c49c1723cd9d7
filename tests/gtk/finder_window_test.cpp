// The driver finder as its user meets it: the real page with the real bridge over a generated
// fleet.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>

#include "app/bridge_text.h"
#include "app/finder_bridge.h"
#include "app/finder_page.h"
#include "app/gtk/finder_standby.h"
#include "app/gtk/finder_window.h"
#include "core/primitives.h"
#include "finder/archive_index.h"
#include "tests/gtk/gtk_test_support.h"
#include "tests/support/temp_folder.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;
using test::commandOutput;

std::string js(const std::string& text) { return jsonQuote(text); }

// A name that shows right only when every text of the index reaches the page and the report escaped.
const std::string kOddName = "<b>Kröger & \"Söhne\"</b>";

// A generated fleet scanned at start-up with the page open, then searched as a user would: by
// plate and instant, by name; hits highlighted, texts escaped, files revealed, the report saved,
// the form's own checks and its typed dates and hours.
TEST(FinderWindow, ScanSearchRevealAndReport) {
    ASSERT_TRUE(test::startGtk()) << "no display: run under xvfb-run";
    test::TempFolder folder;
    gen::Fleet fleet = gen::makeFleet(17, gen::FleetPlan{.drivers = 7, .vehicles = 4, .days = 45, .cardDownloadsPerDriver = 2,
                                                          .vuDownloadsPerVehicle = 2, .coDriverShare = 0.3, .speedMinutes = 5});
    // Every text of the first driver's downloads names him so: card downloads and vehicle-unit stays.
    const std::string oddCard = fleet.drivers[0].cardNumber;
    for (auto& c : fleet.cards) c.identity.surname = c.identity.cardNumber == oddCard ? gen::Text(kOddName) : c.identity.surname;
    for (auto& vu : fleet.vehicleUnits) {
        for (auto& day : vu.days) {
            for (auto& stay : day.stays) stay.surname = stay.cardNumber == oddCard ? gen::Text(kOddName) : stay.surname;
        }
    }
    folder.writeFleet(fleet);
    DddWebView view;
    test::DialogFreeHost host;
    FinderRuntime runtime;
    test::TempFolder data;
    data.writeText("archive.sqlite", std::string(9000, 'x'));
    openKeptIndex(runtime, data.file("archive.sqlite"));
    host.setWebView(&view);
    bindFinder(view, runtime, host);
    view.setSize(1240, 840, SizeHint::None);
    view.setHtml(std::string(finderPageHtml()));
    const auto eval = [&](const std::string& script) { return test::evaluateNow(view, script); };
    const auto await = [&](const std::string& script, double seconds = 20) { return test::awaitScript(view, script, seconds); };
    ASSERT_EQ(await("document.readyState === 'complete' && document.getElementById('searchBtn') ? 'ready' : ''"), "ready");
    EXPECT_EQ(await("document.getElementById('toast').textContent"), "Noch keine Daten — bitte Ordner scannen.");
    EXPECT_TRUE(test::contains(eval("document.getElementById('indexNotice').textContent"), "Der Archiv-Index war beschädigt; er wurde als archive.sqlite.beiseite-"));

    startFinderScan(view, runtime, folder.path().string());
    const std::string files = std::to_string(fleet.cards.size() + fleet.vehicleUnits.size());
    ASSERT_EQ(await("document.getElementById('statFiles').textContent === " + js(files) + " ? 'scanned' : ''"), "scanned");
    EXPECT_EQ(eval("document.getElementById('statDrivers').textContent"), "7");

    // Plate and instant: a stay in the middle of the fleet, searched an hour after it began.
    const gen::FleetStay& stay = fleet.stays[fleet.stays.size() / 2];
    const std::int64_t instant = stay.start + 3600;
    const CivilTime civil = toCivilTime(instant);
    char date[16];
    std::snprintf(date, sizeof date, "%02u.%02u.%04d", civil.day, civil.month, civil.year);
    view.eval("document.getElementById('plate').value=" + js(fleet.vehicles[static_cast<std::size_t>(stay.vehicle)].plate) +
              ";document.getElementById('date').value=" + js(date) + ";document.getElementById('hStart').value=" +
              js(std::to_string(civil.minuteOfDay / 60)) + ";document.getElementById('searchBtn').click();");
    ASSERT_EQ(await("document.getElementById('results').hidden ? '' : 'shown'"), "shown");
    EXPECT_EQ(eval("Array.from(new Set(Array.from(document.querySelectorAll('#rows tr.hit')).map(r=>r.cells[6].textContent))).sort().join(',')"),
              test::cardsInVehicleAtHour(fleet, stay.vehicle, instant));
    EXPECT_EQ(eval("document.querySelector('#rows tr').classList.contains('hit') ? 'first' : ''"), "first") << "covering sessions come first";
    EXPECT_EQ(eval("!document.getElementById('answer').hidden && document.getElementById('answerWho').textContent === "
                   "document.querySelector('#rows tr.hit td').textContent ? 'same' : ''"),
              "same");

    // By name: the driver whose name is markup appears as text, never as markup.
    view.eval("document.getElementById('resetBtn').click();document.getElementById('name').value='Kröger';"
              "document.getElementById('searchBtn').click();");
    ASSERT_EQ(await("document.querySelectorAll('#rows tr').length > 0 && document.getElementById('count').textContent.indexOf('Treffer') > 0 ? 'rows' : ''"),
              "rows");
    EXPECT_EQ(eval("document.querySelectorAll('#rows b, #answer b').length === 0 ? 'no markup' : ''"), "no markup");
    EXPECT_EQ(eval("Array.from(document.querySelectorAll('#rows td.p')).every(td => td.textContent.indexOf(" + js(kOddName) + ") >= 0) ? 'all' : ''"),
              "all");
    view.eval("document.querySelector('#rows .file').click();");
    ASSERT_TRUE(test::spinUntil([&] { return !host.revealed.empty(); }));
    EXPECT_TRUE(fs::exists(host.revealed[0])) << host.revealed[0];

    // The report of the last search, a PDF on one A4 page where the save dialog says.
    host.saveAnswer = (folder.path() / "bericht.pdf").string();
    view.eval("document.getElementById('reportBtn').click();");
    ASSERT_EQ(await("(function(){var t=document.getElementById('toast').textContent;return t.indexOf('Bericht')===0?t:'';})()", 60),
              "Bericht gespeichert.");
    EXPECT_TRUE(std::regex_search(commandOutput("pdfinfo '" + host.saveAnswer + "'"), std::regex("Page size:\\s+595 x 842 pts")));
    std::string text = commandOutput("pdftotext '" + host.saveAnswer + "' -");
    std::replace(text.begin(), text.end(), '\n', ' ');  // the table fits the page: long names wrap
    EXPECT_NE(text.find("Fahrerermittlung"), std::string::npos) << text;
    EXPECT_NE(text.find(kOddName), std::string::npos) << text;

    view.eval("document.getElementById('resetBtn').click();document.getElementById('plate').value='X';document.getElementById('hStart').value='22';"
              "document.getElementById('hEnd').value='06';document.getElementById('searchBtn').click();");
    EXPECT_EQ(await("document.getElementById('toast').textContent.indexOf('Bis-Uhrzeit') === 0 && document.getElementById('results').hidden ? 'refused' : ''"),
              "refused");

    // Typing into the date and hour fields, as keystrokes arrive one by one.
    view.eval(R"JS(window.typeInto = function(id, keys) { var el = document.getElementById(id); el.value = '';
      for (var k of keys) { var at = el.selectionStart; el.value = el.value.slice(0, at) + k + el.value.slice(el.selectionEnd);
        el.setSelectionRange(at + 1, at + 1); el.dispatchEvent(new InputEvent('input', {inputType: 'insertText', data: k})); }
      return el.value; };)JS");
    const char* typed[][3] = {
        {"date", "31022025", "28.02.2025"}, {"date", "01011999", "01.01.2000"}, {"date", "15062040", "15.06.2035"},
        {"date", "2a9b", "29."}, {"hStart", "30", "24"}, {"hStart", "123", "23"}, {"hEnd", "x5", "5"},
    };
    for (const auto& [field, keys, value] : typed) {
        EXPECT_EQ(eval(std::string("typeInto('") + field + "','" + keys + "')"), value) << field << " " << keys;
    }

    // A long answer: the table holds the rows near the view and tells its full count; scrolled to
    // its end it shows the last trip, whose file opens, and for print it holds every row.
    view.eval("document.getElementById('resetBtn').click();document.getElementById('name').value='e';document.getElementById('searchBtn').click();");
    const std::string shown = await("document.getElementById('results').hidden ? '' : String(document.getElementById('count').textContent.match(/\\d+ Treffer/) ? "
                                    "document.getElementById('count').textContent.replace(/\\D.*$/, '') : '')");
    ASSERT_GT(std::stoi(shown), 150);
    const std::string rows = std::to_string(std::stoi(shown) + 1);
    EXPECT_EQ(eval("document.querySelector('#tableWrap table').getAttribute('aria-rowcount')"), rows);
    EXPECT_EQ(eval("document.querySelectorAll('#rows tr[aria-rowindex]').length < 100 ? 'in part' : 'whole'"), "in part");
    host.revealed.clear();
    EXPECT_EQ(eval("window.scrollTo(0,document.body.scrollHeight);window.dispatchEvent(new Event('scroll'));"
                   "var r=document.querySelector('#rows tr:last-child');r.querySelector('.file').click();r.getAttribute('aria-rowindex')"), rows);
    ASSERT_TRUE(test::spinUntil([&] { return !host.revealed.empty(); }));
    EXPECT_TRUE(fs::exists(host.revealed[0])) << host.revealed[0];
    EXPECT_EQ(eval("window.dispatchEvent(new Event('beforeprint'));String(document.querySelectorAll('#rows tr').length + 1)"), rows);
    host.setWebView(nullptr);
}

// A finder kept in standby: hidden, it says it is ready once its page shows the kept index; handed
// the request it shows its window and scans the handed folder into the index. Without a request,
// the end of its socket ends its run.
TEST(FinderWindow, StandbyShowsTheKeptIndexThenScansTheHandedFolder) {
    ASSERT_TRUE(test::startGtk()) << "no display: run under xvfb-run";
    test::TempFolder kept, handed, data;
    const gen::FleetPlan plan{.drivers = 2, .vehicles = 1, .days = 5, .speedMinutes = 1};
    const gen::Fleet first = gen::makeFleet(3, plan), second = gen::makeFleet(4, plan);
    kept.writeFleet(first);
    handed.writeFleet(second);
    const std::string index = data.file("archive.sqlite");
    finder::ArchiveIndex(index).rescan({kept.path().string()}, nullptr);
    const std::size_t firstFiles = first.cards.size() + first.vehicleUnits.size();
    int ends[2], quiet[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, quiet), 0);
    std::string said;
    const auto hear = [&](const std::string& line) {
        return test::spinUntil([&] { return readAvailable(ends[0], said) && test::contains(said, line + "\n"); });
    };
    {
        DddWebView view(nullptr, nullptr, false);
        test::DialogFreeHost host;
        host.setWebView(&view);
        FinderRuntime runtime;
        openKeptIndex(runtime, index);
        StandbyFinder standby(ends[1], view, runtime);
        startFinderPage(view, runtime, host);
        ASSERT_TRUE(hear(kStandbyReady));
        EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(view.window())));
        EXPECT_EQ(test::evaluateNow(view, "document.getElementById('statFiles').textContent"), std::to_string(firstFiles));

        ASSERT_TRUE(sendLine(ends[0], std::string(kStandbyRequest) + "\t\t" + handed.path().string()));
        ASSERT_TRUE(hear(kStandbyShown));
        EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(view.window())));
        const std::string files = std::to_string(firstFiles + second.cards.size() + second.vehicleUnits.size());
        EXPECT_EQ(test::awaitScript(view, "document.getElementById('statFiles').textContent === " + js(files) + " ? 'scanned' : ''"), "scanned");
        host.setWebView(nullptr);
    }
    ::close(ends[0]);

    DddWebView idle(nullptr, nullptr, false);
    FinderRuntime runtime;
    StandbyFinder standby(quiet[1], idle, runtime);
    ::close(quiet[0]);
    idle.run();  // returns once the standby has heard the end
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(idle.window())));
}

// The dashboard's side, with stand-ins for the finder that log how they were started and the
// folder they were handed: a standby that died, or died holding the request, leaves the request to
// a finder started the ordinary way; once one that showed its window has ended, the next is made
// ready.
TEST(FinderWindow, DashboardFallsBackWhenTheStandbyDies) {
    ASSERT_TRUE(test::startGtk()) << "no display: run under xvfb-run";
    test::TempFolder data;
    data.writeText("Orvendel/archive.sqlite", "");
    const std::string dataHome = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    const char* cases[][3] = {
        {"died at start", "exit 1", "--finder --standby\n--finder --scan /akte\n"},
        {"died holding the request", "echo ready >&0; read -r r || exit 0; echo \"${r##*\t}\" >> \"$0.log\"", "--finder --standby\n/akte\n--finder --scan /akte\n"},
        {"shown, then closed", "echo ready >&0; read -r r || exit 0; echo \"${r##*\t}\" >> \"$0.log\"; echo shown >&0", "--finder --standby\n/akte\n--finder --standby\n"},
    };
    int n = 0;
    for (const auto& [name, standby, expected] : cases) {
        const std::filesystem::path finder = data.writeText("finder" + std::to_string(++n), std::string("#!/bin/sh\necho \"$*\" >> \"$0.log\"\n[ \"$2\" = --standby ] || exit 0\n") + standby + "\n");
        std::filesystem::permissions(finder, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
        const std::string log = finder.string() + ".log";
        GtkShellHost host(finder.string());
        host.prepareFinderStandby();
        ASSERT_TRUE(test::spinUntil([&] { return n == 1 ? test::contains(test::readFile(log), "--standby") : host.finderStandbyReady(); })) << name;
        host.launchFinder("/akte");
        const std::string want = expected;
        const auto lines = std::count(want.begin(), want.end(), '\n');
        EXPECT_TRUE(test::spinUntil([&] { const std::string text = test::readFile(log); return std::count(text.begin(), text.end(), '\n') >= lines; })) << name;
        EXPECT_EQ(test::readFile(log), want) << name;
    }
    if (dataHome.empty()) ::unsetenv("XDG_DATA_HOME");
    else ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
}

}  // namespace
}  // namespace ddd::app
