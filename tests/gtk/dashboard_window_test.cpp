// The dashboard as its user meets it: the real page with the real bridge in a web view under
// xvfb-run, downloads made by the generators in temporary folders, dialogs answered by the test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "analysis/pipeline.h"
#include "app/bridge_text.h"
#include "app/settings.h"
#include "app/window_page.h"
#include "core/primitives.h"
#include "report/month_restriction.h"
#include "tests/support/temp_folder.h"
#include "tests/card/card_rig.h"
#include "tests/gtk/gtk_test_support.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;

std::string js(const std::string& text) { return jsonQuote(text); }

// A driver with two shifts on 17 January 2024 (German time: 02:00–07:00 and 18:00–21:30).
gen::CardDescription twoShiftsOnOneDay() {
    gen::CardDescription card;
    card.identity.cardNumber = "DF00000000003300";
    gen::Timeline t(gen::utcTime(2024, 1, 15, "06:00"));
    t.add("work 0:15 drive 4:00 break 0:45 drive 3:00 work 0:30").restUntil(gen::utcTime(2024, 1, 17, "01:00"));
    t.add("drive 2:30 break 0:45 drive 1:45").restUntil(gen::utcTime(2024, 1, 17, "17:00"));
    t.add("work 0:30 drive 3:00").restUntil(gen::utcTime(2024, 1, 18, "07:00"));
    card.days = t.days();
    return card;
}

class DashboardWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gtkStarted) << "no display: run under xvfb-run";
        // Settings and year folders go to a home of the test's own.
        ::setenv("HOME", home.path().c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        host.setWebView(&view);
        view.setSize(1240, 840, SizeHint::None);
        const WindowPage page = dashboardPage();
        page.bind(view, state, host);
        view.setHtml(page.html);
        ASSERT_EQ(test::awaitScript(view, "document.readyState === 'complete' && document.getElementById('drop').dataset.stage === 'drop' ? 'ready' : ''"),
                  "ready");
    }
    void TearDown() override {
        shutdownShellState(state);
        host.setWebView(nullptr);
    }

    // Opens the file as an open-document event does; the stage the page ends on, or "app".
    std::string open(const fs::path& file) {
        view.eval("openPath(" + js(file.string()) + ")");
        return test::awaitScript(view, "(function(){var s=document.getElementById('drop').dataset.stage;"
                                       "return !document.getElementById('app').hidden ? 'app' : s === 'loading' ? '' : s;})()", 60);
    }
    std::string text(const std::string& selector) {
        return test::evaluateNow(view, "(function(){var e=document.querySelector(" + js(selector) + ");return e?e.textContent:'<none>';})()");
    }
    std::string count(const std::string& selector) {
        return test::evaluateNow(view, "String(document.querySelectorAll(" + js(selector) + ").length)");
    }
    // Rows that hold data (not the "no entries" line).
    std::string dataRows(const std::string& rowSelector) {
        return test::evaluateNow(view, "String(Array.from(document.querySelectorAll(" + js(rowSelector) +
                                           ")).filter(function(r){return !r.querySelector('td.empty');}).length)");
    }
    std::string tableRows(const std::string& rowSelector) { return dataRows("#tableArea " + rowSelector); }
    void click(const std::string& id) { view.eval("document.getElementById(" + js(id) + ").click()"); }
    // The toast once it shows a text that starts with the prefix.
    std::string toastStartingWith(const std::string& prefix, double seconds = 60) {
        return test::awaitScript(view, "(function(){var t=document.getElementById('toast');return t.classList.contains('show') && t.textContent.indexOf(" +
                                           js(prefix) + ")===0 ? t.textContent : '';})()", seconds);
    }
    void shot(const std::string& name) {
        test::spinUntil([] { return false; }, 0.3);
        EXPECT_TRUE(test::snapshotPng(view, test::artifactFolder() / ("dashboard_" + name + ".png"))) << name;
    }

    // The window is made with the fixture, so GTK has to be started before it; the page asks
    // for card readers as it boots, so the private smart-card service is named before that.
    const bool gtkStarted = test::startGtk();
    const fs::path smartCardFolder = emu::privateServiceFolder();
    test::TempFolder home;
    test::TempFolder files;
    DddWebView view;
    test::DialogFreeHost host;
    ShellState state;
};

std::string grouped(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += '.';
        out += digits[i];
    }
    return out;
}

// The demo download, month by month and view by view, against the native analysis of the same file.
TEST_F(DashboardWindow, DemoDownloadAsTheUserSeesIt) {
    shot("drop_stage");
    view.eval("Promise.all(Array.from(document.fonts).filter(function(f){return f.family.replace(/\"/g,'')==='PJS';}).map(function(f){return f.load();}))"
              ".then(function(faces){window.__fonts=faces.filter(function(f){return f.status==='loaded';}).map(function(f){return f.weight;}).sort().join(',');},"
              "function(e){window.__fonts='failed '+e;})");
    EXPECT_EQ(test::awaitScript(view, "window.__fonts || ''"), "400,500,600,700");

    const AnalysisResult native = analyzeDriverOfFile(DDD_DEMO_PATH);
    ASSERT_TRUE(native.ok);
    ASSERT_EQ(open(DDD_DEMO_PATH), "app");
    EXPECT_EQ(text("#driverName"), native.driver);
    EXPECT_EQ(text("#cardNo"), native.card);
    EXPECT_EQ(text("#avatar"), "MM");
    EXPECT_EQ(text("#kpiShifts"), grouped(native.shifts.size()));
    EXPECT_EQ(text("#kpiViolations"), grouped(native.violations.size()));
    EXPECT_EQ(text("#kpiActivities"), grouped(native.activities.size()));
    EXPECT_EQ(text("#verdictText"), native.violations.empty() ? "Keine Verstöße" : std::to_string(native.violations.size()) + " Verstöße");
    shot("shifts");

    struct Month {
        std::string select;  // the page's value
        std::string key;     // the native month key
    };
    const Month months[] = {{"__all__", ""}, {"02.2024", "2024/02"}, {"03.2024", "2024/03"}};
    for (const Month& m : months) {
        const AnalysisResult cut = restrictToMonth(native, m.key);
        std::size_t strict = 0;
        for (const LegalViolation& v : native.legalViolations) {
            const CivilTime c = toCivilTime(v.when);
            char key[16];
            std::snprintf(key, sizeof key, "%04d/%02u", c.year, c.month);
            strict += m.key.empty() || m.key == key ? 1 : 0;
        }
        view.eval("var s=document.getElementById('month');s.value=" + js(m.select) + ";s.dispatchEvent(new Event('change'));"
                  "selectTab('shifts');");
        EXPECT_EQ(tableRows("tr.shift"), std::to_string(cut.shifts.size())) << m.select;
        EXPECT_EQ(text("#badge-shifts"), grouped(cut.shifts.size())) << m.select;
        view.eval("selectTab('violations');document.getElementById('modeRef').click();");
        EXPECT_EQ(tableRows("tbody tr"), std::to_string(cut.violations.size())) << m.select;
        EXPECT_EQ(text("#badge-violations"), std::to_string(cut.violations.size())) << m.select;
        EXPECT_EQ(dataRows("#gapSection tbody tr"), std::to_string(cut.coverageGaps.size())) << m.select;
        click("modeStrict");
        EXPECT_EQ(tableRows("tbody tr"), std::to_string(strict)) << m.select;
        EXPECT_EQ(text("#badge-violations"), std::to_string(strict)) << m.select;
        view.eval("selectTab('activities')");
        EXPECT_EQ(tableRows("tbody tr"), std::to_string(cut.activities.size())) << m.select;
    }
    view.eval("document.getElementById('modeRef').click();selectTab('violations');document.getElementById('tableCard').scrollIntoView()");
    shot("violations");
    view.eval("document.getElementById('timelineCard').scrollIntoView()");
    shot("timeline");

    // The gap preference, switched in the settings sheet, hides the section at once and is stored.
    click("settingsBtn");
    ASSERT_EQ(test::awaitScript(view, "document.getElementById('settingsOvl').hidden ? '' : 'open'"), "open");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('swGaps').checked ? 'on' : ''"), "on");
    shot("settings");
    click("swGaps");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('gapSection').hidden ? 'hidden' : ''"), "hidden");
    EXPECT_TRUE(test::spinUntil([] { return !loadSettings().showCoverageGaps; }));
    view.eval("document.dispatchEvent(new KeyboardEvent('keydown',{key:'Escape'}))");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('settingsOvl').hidden ? 'closed' : ''"), "closed");
    click("settingsBtn");
    click("swGaps");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('gapSection').hidden ? '' : 'shown'"), "shown");
    EXPECT_TRUE(test::spinUntil([] { return loadSettings().showCoverageGaps; }));
    click("settingsClose");

    view.eval("document.getElementById('content').scrollTop=0;document.getElementById('themeBtn').click()");
    EXPECT_EQ(test::awaitScript(view, "document.documentElement.dataset.theme || ''"), "dark");
    shot("dark");
    view.eval("document.getElementById('themeBtn').click()");
    view.setSize(1024, 700, SizeHint::None);
    view.eval("selectTab('shifts')");
    shot("1024x700");
    EXPECT_EQ(test::evaluateNow(view, "document.documentElement.scrollWidth <= window.innerWidth ? 'fits' : 'wider'"), "fits");
}

// What each kind of opened file leads to, from the drop zone.
TEST_F(DashboardWindow, EachKindOfDownloadEndsOnItsStage) {
    gen::CardDescription damaged = gen::randomCard(21, 20, gen::Generation::Gen1);
    damaged.inject = {gen::Fault::resizeEf(0x0505, gen::Generation::Gen1, 100)};
    gen::CardDescription hostile = gen::randomCard(22, 12, gen::Generation::Gen1);
    hostile.identity.firstNames = "Erika";
    hostile.identity.surname = "<img src=x onerror=__pwned=1>";
    gen::CardDescription unsignedCard = gen::randomCard(23, 12, gen::Generation::Gen1);
    unsignedCard.withoutSignatures = true;
    const gen::Fleet fleet = gen::makeFleet(5, gen::FleetPlan{.drivers = 1, .vehicles = 1, .days = 2, .cardDownloadsPerDriver = 1,
                                                               .vuDownloadsPerVehicle = 1, .speedMinutes = 5});
    std::string vuFile;
    for (const gen::FleetFile& f : gen::fleetFiles(fleet)) {
        if (f.relativePath.rfind("vehicles/", 0) == 0) vuFile = files.write("vu/" + fs::path(f.relativePath).filename().string(), f.bytes).string();
    }

    struct Case {
        std::string name;
        fs::path file;
        std::string stage;
        std::function<void()> check;
    };
    const std::vector<Case> cases = {
        {"refused download", files.write("refused/karte.ddd", gen::writeCardDownload(damaged)), "error",
         [&] {
             EXPECT_EQ(text("#stageTitle"), "Analyse fehlgeschlagen");
             EXPECT_NE(text("#stageText").find("Vehicles_Used"), std::string::npos) << text("#stageText");
         }},
        {"vehicle unit", vuFile, "info",
         [&] {
             EXPECT_EQ(text("#stageTitle"), "Fahrzeugdatei");
             EXPECT_EQ(text("#stageText"), "Fahrzeugdatei (VU) erkannt — in der Fahrerermittlung geöffnet.");
             EXPECT_EQ(host.finderFolders, std::vector<std::string>{fs::path(vuFile).parent_path().string()});
         }},
        {"hostile driver name", files.write("hostile/karte.ddd", gen::writeCardDownload(hostile)), "app",
         [&] {
             EXPECT_EQ(text("#driverName"), "Erika <img src=x onerror=__pwned=1>");
             EXPECT_EQ(count("img"), "0");
             test::spinUntil([] { return false; }, 0.3);
             EXPECT_EQ(test::evaluateNow(view, "typeof window.__pwned"), "undefined");
             view.eval("selectTab('shifts');window.__berichtName='';");
             EXPECT_EQ(test::evaluateNow(view, "reportFileName()"), "Erika _img src=x onerror=__pwned=1_ Verlauf Arbeitsschichten");
         }},
        {"two shifts on one day", files.write("zwei/karte.ddd", gen::writeCardDownload(twoShiftsOnOneDay())), "app",
         [&] {
             EXPECT_EQ(text("#tlCaption"), "Verlauf: Januar 2024");
             EXPECT_EQ(count(".tl-row[data-day='17.01'] .seg.drive"), "2") << "one driving bar per shift";
             EXPECT_EQ(count(".tl-row[data-day='17.01'] .seg.work"), "1");
             EXPECT_EQ(text(".tl-row[data-day='17.01'] .t"), "07:15");
             shot("two_shifts");
         }},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(open(c.file), c.stage) << c.name;
        c.check();
    }

    // The signature of each source download, in words, against the native check of the same file.
    const char* words[] = {"Signatur gültig", "Signatur ungültig", "Ohne Vertrauensanker", "Nicht signiert"};
    for (const fs::path& file : {files.write("signatur/ohne.ddd", gen::writeCardDownload(unsignedCard)), files.path() / "hostile/karte.ddd"}) {
        const AnalysisResult native = analyzeDriverOfFile(file.string());
        ASSERT_TRUE(native.ok && native.authenticity.size() == 1 && native.authenticity[0].check) << file;
        const Authenticity status = native.authenticity[0].check->status;
        ASSERT_EQ(open(file), "app") << file;
        EXPECT_EQ(text("#auth .chip .s"), words[static_cast<int>(status)]) << file;
        EXPECT_EQ(test::evaluateNow(view, "document.getElementById('authAlert').hidden ? 'calm' : 'warning'"),
                  status == Authenticity::Invalid ? "warning" : "calm")
            << file;
        if (status == Authenticity::Invalid) {
            EXPECT_NE(text("#authAlert").find(native.authenticity[0].check->problems.front().substr(0, 20)), std::string::npos);
            shot("authenticity_warning");
        }
    }
}

// The tool bar's exports and the side bar's export of every driver, each into real folders.
TEST_F(DashboardWindow, ExportsWriteTheirFiles) {
    const fs::path card = files.write("karten/demo.ddd", gen::writeCardDownload(gen::demoCard()));
    ASSERT_EQ(open(card), "app");

    host.folderAnswer = (files.path() / "csv").string();
    fs::create_directories(host.folderAnswer);
    click("csvBtn");
    EXPECT_EQ(toastStartingWith("CSV"), "CSV (alle Monate) gespeichert: demo_*.csv (neben der Karte)");

    // The month report of March, saved through the save dialog under the month's name.
    view.eval("var s=document.getElementById('month');s.value='03.2024';s.dispatchEvent(new Event('change'));selectTab('shifts');");
    host.saveAnswer = (files.path() / "bericht.pdf").string();
    click("reportBtn");
    EXPECT_EQ(toastStartingWith("Bericht gespeichert: ", 60), "Bericht gespeichert: bericht.pdfIm Finder zeigen");
    EXPECT_EQ(host.suggestedNames, std::vector<std::string>{"Max Mustermann 03.2024 Arbeitsschichten"});
    EXPECT_EQ(test::awaitScript(view, "document.body.classList.contains('printing') || document.getElementById('printReport').innerHTML ? '' : 'clean'"), "clean");
    view.eval("document.getElementById('revealLink').click()");
    EXPECT_TRUE(test::spinUntil([&] { return host.revealed == std::vector<std::string>{host.saveAnswer}; }));

    fs::create_directories(files.path() / "archiv");
    host.folderAnswers = {(files.path() / "karten").string(), (files.path() / "archiv").string()};
    click("syncBtn");
    EXPECT_EQ(toastStartingWith("DDD-Sync: "), "DDD-Sync: 1 kopiert, 0 übersprungen");

    click("yearBtn");
    EXPECT_EQ(toastStartingWith("2 Monats-PDFs", 120), "2 Monats-PDFs gespeichert: Tacho Berichte 2024");
    shot("after_exports");
}

TEST_F(DashboardWindow, ExportAllDriversOfATree) {
    const char* surnames[] = {"Adler", "Berger", "Claus"};
    for (int i = 0; i < 3; ++i) {
        gen::CardDescription card = gen::randomCard(static_cast<std::uint64_t>(11 + i), 40, gen::Generation::Gen1);
        card.identity.surname = surnames[i];
        card.identity.cardNumber = "DF0000000000" + std::to_string(4100 + i);
        files.write("quelle/" + std::string(surnames[i]) + "/karte.ddd", gen::writeCardDownload(card));
    }
    gen::CardDescription damaged = gen::randomCard(31, 20, gen::Generation::Gen1);
    damaged.identity.cardNumber = "DF00000000009900";
    damaged.inject = {gen::Fault::resizeEf(0x0505, gen::Generation::Gen1, 100)};
    files.write("quelle/defekt/karte.ddd", gen::writeCardDownload(damaged));
    const fs::path target = files.path() / "ziel";
    fs::create_directories(target);
    host.folderAnswers = {(files.path() / "quelle").string(), target.string()};

    view.eval("window.__seen=[];(function(){var page=window.__exportAllProgress;window.__exportAllProgress=function(d,t){__seen.push(d+'/'+t+' '+"
              "document.getElementById('exportAllText').textContent);page(d,t);};})();");
    click("exportAllBtn");
    EXPECT_EQ(test::evaluateNow(view, "document.getElementById('exportAllBtn').disabled ? 'busy' : ''"), "busy");
    const std::string result = toastStartingWith("3 Fahrer", 180);
    EXPECT_TRUE(std::regex_match(result, std::regex("3 Fahrer · (\\d+) PDFs · (\\d+) CSV exportiert · 1 abgelehnt.+"))) << result;
    EXPECT_EQ(text("#exportAllText"), "Alle Fahrer exportieren");
    const std::string seen = test::evaluateNow(view, "__seen.join(' | ')");
    EXPECT_EQ(seen.substr(0, 2), "0/") << seen;
    shot("export_all");
}

// A reader plugged in while the window is open shows up when the window gains the focus; the
// card in it is read and shown.
TEST_F(DashboardWindow, CardReadFromTheVirtualReader) {
    EXPECT_EQ(test::evaluateNow(view, "document.getElementById('readBtn').hidden && document.getElementById('readerSel').hidden ? 'hidden' : ''"),
              "hidden");
    gen::CardDescription card = gen::randomCard(41, 14, gen::Generation::Gen1);
    card.identity.firstNames = "Karla";
    card.identity.surname = "Leserin";
    test::PrivateTempDir temporary;
    test::CardStack stack(test::imageOf(card));
    view.eval("window.dispatchEvent(new Event('focus'))");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('readBtn').hidden ? '' : document.getElementById('readerSel').value"),
              emu::VirtualReaderService::readerName());
    click("readBtn");
    EXPECT_EQ(test::evaluateNow(view, "document.getElementById('drop').dataset.stage"), "loading");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('app').hidden ? '' : document.getElementById('driverName').textContent", 120),
              "Karla Leserin");
    EXPECT_EQ(fs::path(state.currentFile).filename(), "card.ddd");
    shot("card_read");
}

}  // namespace
}  // namespace ddd::app
