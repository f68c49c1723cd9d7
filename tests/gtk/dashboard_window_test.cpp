// The dashboard as its user meets it: the real page with the real bridge in a web view under
// xvfb-run, downloads made by the generators in temporary folders, dialogs answered by the test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "analysis/local_time.h"
#include "analysis/pipeline.h"
#include "app/bridge_text.h"
#include "app/settings.h"
#include "app/window_page.h"
#include "core/primitives.h"
#include "report/csv_export.h"
#include "report/driver_report.h"
#include "report/month_restriction.h"
#include "tests/card/card_rig.h"
#include "tests/gtk/gtk_test_support.h"
#include "tests/support/temp_folder.h"
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

// A crew's week in summer time: night tours over midnight, availability beside driving, and an
// hour with the card out in the middle of one tour.
gen::CardDescription crewWeek() {
    gen::CardDescription card;
    card.identity.cardNumber = "DF00000000007700";
    gen::Timeline t(gen::utcTime(2024, 5, 6, "00:00"));
    for (int day = 0; day < 5; ++day) {
        t.restUntil(gen::utcTime(2024, 5, 6 + day, "18:00"));
        t.add("work 0:20 drive+crew 4:30 avail+crew 4:30");
        if (day == 2) t.add("gap 1:00");
        t.add("drive+crew 4:00 break 0:45 work 0:15");
    }
    t.restUntil(gen::utcTime(2024, 5, 12, "12:00"));
    card.days = t.days();
    return card;
}

std::string grouped(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) out += (i > 0 && (digits.size() - i) % 3 == 0 ? "." : "") + digits.substr(i, 1);
    return out;
}

class DashboardWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gtkStarted) << "no display: run under xvfb-run";
        ::setenv("HOME", home.path().c_str(), 1);  // settings and year folders go to a home of the test's own
        ::unsetenv("XDG_CONFIG_HOME");
        host.setWebView(&view);
        view.setSize(1240, 840, SizeHint::None);
        dashboardPage().bind(view, state, host);
        view.setHtml(dashboardPage().html);
        ASSERT_EQ(stage(), "drop");
    }
    void TearDown() override {
        shutdownShellState(state);
        host.setWebView(nullptr);
    }

    std::string eval(const std::string& script) { return test::evaluateNow(view, script); }
    std::string await(const std::string& script, double seconds = 20) { return test::awaitScript(view, script, seconds); }
    // The stage the loaded page rests on: "app" once a download is shown.
    std::string stage() {
        return await("(function(){if(document.readyState!=='complete')return '';var s=document.getElementById('drop').dataset.stage;"
                     "return !document.getElementById('app').hidden ? 'app' : s === 'loading' ? '' : s;})()", 60);
    }
    // Opens the file as an open-document event does.
    std::string open(const fs::path& file) {
        view.eval("openPath(" + js(file.string()) + ")");
        return stage();
    }
    std::string text(const std::string& selector) {
        return eval("(function(){var e=document.querySelector(" + js(selector) + ");return e?e.textContent:'<none>';})()");
    }
    // Each text (or other property) of the elements, joined by " | ".
    std::string texts(const std::string& selector, const std::string& of = "e.textContent") {
        return eval("Array.from(document.querySelectorAll(" + js(selector) + ")).map(function(e){return " + of + ";}).join(' | ')");
    }
    std::string count(const std::string& selector) { return eval("String(document.querySelectorAll(" + js(selector) + ").length)"); }
    // Rows of the table that hold data (not the "no entries" line).
    std::string dataRows(const std::string& rowSelector) {
        return eval("String(Array.from(document.querySelectorAll(" + js(rowSelector) + ")).filter(function(r){return !r.querySelector('td.empty');}).length)");
    }
    void selectMonth(const std::string& value) {
        view.eval("var s=document.getElementById('month');s.value=" + js(value) + ";s.dispatchEvent(new Event('change'));");
    }
    void click(const std::string& id) { view.eval("document.getElementById(" + js(id) + ").click()"); }
    // The toast once it shows a text that starts with the prefix.
    std::string toastStartingWith(const std::string& prefix, double seconds = 60) {
        return await("(function(){var t=document.getElementById('toast');return t.classList.contains('show') && t.textContent.indexOf(" +
                         js(prefix) + ")===0 ? t.textContent : '';})()", seconds);
    }
    void shot(const std::string& name) { EXPECT_TRUE(test::snapshotPng(view, "dashboard_" + name)) << name; }

    // The window is made with the fixture, so GTK has to be started before it; the page asks
    // for card readers as it boots, so the private smart-card service is named before that.
    const bool gtkStarted = test::startGtk();
    const fs::path smartCardFolder = emu::privateServiceFolder();
    test::TempFolder home, files;
    DddWebView view;
    test::DialogFreeHost host;
    ShellState state;
};

// The demo download, opened through the file dialog, month by month and view by view, against
// the native analysis of the same file.
TEST_F(DashboardWindow, DemoDownloadAsTheUserSeesIt) {
    shot("drop_stage");
    EXPECT_EQ(test::loadedPageFaces(view), "400,500,600,700");

    const AnalysisResult native = analyzeDriverOfFile(DDD_DEMO_PATH);
    ASSERT_TRUE(native.ok);
    host.fileAnswer = DDD_DEMO_PATH;
    click("openBtn");
    EXPECT_EQ(await("document.getElementById('app').hidden ? '' : document.getElementById('driverName').textContent", 60), native.driver);
    EXPECT_EQ(state.currentFile, DDD_DEMO_PATH);
    EXPECT_EQ(text("#cardNo"), native.card);
    EXPECT_EQ(text("#avatar"), "MM");
    EXPECT_EQ(text("#kpiShifts"), grouped(native.shifts.size()));
    EXPECT_EQ(text("#kpiViolations"), grouped(native.violations.size()));
    EXPECT_EQ(text("#kpiActivities"), grouped(native.activities.size()));
    EXPECT_EQ(text("#verdictText"), native.violations.empty() ? "Keine Verstöße" : std::to_string(native.violations.size()) + " Verstöße");

    for (const auto& [select, key] : std::map<std::string, std::string>{{"__all__", ""}, {"02.2024", "2024/02"}, {"03.2024", "2024/03"}}) {
        const AnalysisResult cut = restrictToMonth(native, key);
        const auto strict = std::to_string(std::count_if(native.legalViolations.begin(), native.legalViolations.end(),
                                                         [&](const LegalViolation& v) { return key.empty() || monthKeyOf(v.when) == key; }));
        selectMonth(select);
        view.eval("selectTab('shifts')");
        EXPECT_EQ(dataRows("#tableArea tr.shift"), std::to_string(cut.shifts.size())) << select;
        EXPECT_EQ(text("#badge-shifts"), grouped(cut.shifts.size())) << select;
        view.eval("selectTab('violations');document.getElementById('modeRef').click();");
        EXPECT_EQ(dataRows("#tableArea tbody tr"), std::to_string(cut.violations.size())) << select;
        EXPECT_EQ(text("#badge-violations"), std::to_string(cut.violations.size())) << select;
        EXPECT_EQ(dataRows("#gapSection tbody tr"), std::to_string(cut.coverageGaps.size())) << select;
        click("modeStrict");
        EXPECT_EQ(dataRows("#tableArea tbody tr"), strict) << select;
        EXPECT_EQ(text("#badge-violations"), strict) << select;
        view.eval("selectTab('activities')");
        EXPECT_EQ(dataRows("#tableArea tbody tr"), std::to_string(cut.activities.size())) << select;
    }
    view.eval("document.getElementById('modeRef').click();selectTab('violations');document.getElementById('tableCard').scrollIntoView()");
    shot("violations");

    // The gap preference, switched in the settings sheet, hides the section at once and is stored.
    click("settingsBtn");
    ASSERT_EQ(await("document.getElementById('settingsOvl').hidden ? '' : 'open'"), "open");
    EXPECT_EQ(await("document.getElementById('swGaps').checked ? 'on' : ''"), "on");
    click("swGaps");
    EXPECT_EQ(await("document.getElementById('gapSection').hidden ? 'hidden' : ''"), "hidden");
    EXPECT_TRUE(test::spinUntil([] { return !loadSettings().showCoverageGaps; }));
    view.eval("document.dispatchEvent(new KeyboardEvent('keydown',{key:'Escape'}))");
    EXPECT_EQ(await("document.getElementById('settingsOvl').hidden ? 'closed' : ''"), "closed");
    click("settingsBtn");
    click("swGaps");
    EXPECT_EQ(await("document.getElementById('gapSection').hidden ? '' : 'shown'"), "shown");
    EXPECT_TRUE(test::spinUntil([] { return loadSettings().showCoverageGaps; }));
    click("settingsClose");

    view.eval("document.getElementById('content').scrollTop=0;document.getElementById('themeBtn').click()");
    EXPECT_EQ(await("document.documentElement.dataset.theme || ''"), "dark");
    shot("dark");
    click("themeBtn");
    view.setSize(1024, 700, SizeHint::None);
    view.eval("selectTab('shifts')");
    EXPECT_EQ(eval("document.documentElement.scrollWidth <= window.innerWidth ? 'fits' : 'wider'"), "fits");
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
    gen::CardDescription withoutCertificate = gen::randomCard(24, 12, gen::Generation::Gen1);
    withoutCertificate.inject = {gen::Fault::omitEf(0xC108, gen::Generation::Gen1)};
    gen::CardDescription idle = gen::randomCard(25, 1, gen::Generation::Gen1);
    idle.days.clear();
    gen::CardDescription stillInVehicle = twoShiftsOnOneDay();
    gen::VehicleUse current;
    current.firstUse = gen::utcTime(2024, 1, 17, "17:00");
    current.registration = {13, "B-XY 2"};
    stillInVehicle.vehicles = {current};
    gen::leaveInVehicle(stillInVehicle, gen::utcTime(2024, 1, 17, "17:05"));
    const fs::path vu = files.write("vu/unit.ddd", gen::writeVuDownload(gen::VuDescription{}));
    const auto card = [&](const std::string& name, const gen::CardDescription& c) { return files.write(name + "/karte.ddd", gen::writeCardDownload(c)); };

    struct Case {
        fs::path file;
        std::string stage;
        std::function<void()> check;
    };
    const Case cases[] = {
        {card("refused", damaged), "error", [&] {
             EXPECT_EQ(text("#stageTitle"), "Analyse fehlgeschlagen");
             EXPECT_NE(text("#stageText").find("Vehicles_Used"), std::string::npos) << text("#stageText");
         }},
        {vu, "info", [&] {
             EXPECT_EQ(text("#stageTitle"), "Fahrzeugdatei");
             EXPECT_EQ(text("#stageText"), "Fahrzeugdatei (VU) erkannt — in der Fahrerermittlung geöffnet.");
             EXPECT_EQ(host.finderLaunches, std::vector<std::string>{vu.parent_path().string()});
         }},
        {card("hostile", hostile), "app", [&] {
             EXPECT_EQ(text("#driverName"), "Erika <img src=x onerror=__pwned=1>");
             EXPECT_EQ(count("img"), "0");
             view.eval("selectTab('shifts');window.__berichtName='';");
             EXPECT_EQ(eval("reportFileName()"), "Erika _img src=x onerror=__pwned=1_ Verlauf Arbeitsschichten");
         }},
        {card("zertifikat", withoutCertificate), "app", [&] {
             EXPECT_EQ(text("#auth .chip .s"), "Nicht prüfbar");
             EXPECT_EQ(eval("(function(){var a=document.getElementById('authAlert');return a.hidden?'hidden':a.className;})()"), "alert warn");
             EXPECT_NE(text("#authAlert li li").find("fehlt im Download"), std::string::npos) << text("#authAlert");
             EXPECT_NE(text("#authAlert details").find("CA_Certificate (0xC108, first generation): missing"), std::string::npos);
         }},
        {card("leer", idle), "app", [&] {
             EXPECT_EQ(text("#verdictText"), "Keine Daten");
             EXPECT_EQ(eval("document.getElementById('verdict').classList.contains('good')?'green':'plain'"), "plain");
         }},
        {card("zwei", twoShiftsOnOneDay()), "app", [&] {
             EXPECT_EQ(text("#tlCaption"), "Verlauf: Januar 2024");
             EXPECT_EQ(count(".tl-row[data-day='17.01'] .seg.drive"), "3") << "each driving stretch of both shifts";
             EXPECT_EQ(count(".tl-row[data-day='17.01'] .seg.work"), "1");
             EXPECT_EQ(text(".tl-row[data-day='17.01'] .t"), "07:15");
             EXPECT_EQ(text("#dataEndText"), "");
         }},
        {card("steckt", stillInVehicle), "app", [&] {
             EXPECT_EQ(text("#dataEndText"), "Karte steckte beim Auslesen noch – Daten enden 08:00");
             EXPECT_EQ(eval("grouped('')"), "") << "an odometer not written yet shows empty";
         }},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(open(c.file), c.stage) << c.file;
        c.check();
    }
    // The markup of the hostile name never ran, however long the page had.
    EXPECT_EQ(eval("typeof window.__pwned"), "undefined");

    // The signature of each source download, in words, against the native check of the same file.
    const char* words[] = {"Signatur gültig", "Signatur ungültig", "Ohne Vertrauensanker", "Nicht signiert"};
    for (const fs::path& file : {card("signatur", unsignedCard), files.path() / "hostile/karte.ddd"}) {
        const AnalysisResult native = analyzeDriverOfFile(file.string());
        ASSERT_TRUE(native.ok && native.authenticity.size() == 1 && native.authenticity[0].check) << file;
        const Authenticity status = native.authenticity[0].check->status;
        ASSERT_EQ(open(file), "app") << file;
        EXPECT_EQ(text("#auth .chip .s"), words[static_cast<int>(status)]) << file;
        EXPECT_EQ(eval("document.getElementById('authAlert').hidden ? 'calm' : 'warning'"), status == Authenticity::Invalid ? "warning" : "calm");
        if (status == Authenticity::Invalid) {
            EXPECT_NE(text("#authAlert").find(native.authenticity[0].check->problems.front().substr(0, 20)), std::string::npos);
        }
    }
}

// The tool bar's exports and the side bar's export of every driver, each told in a toast.
TEST_F(DashboardWindow, ExportsTellWhatTheyWrote) {
    ASSERT_EQ(open(files.write("karten/demo.ddd", gen::writeCardDownload(gen::demoCard()))), "app");
    host.folderAnswer = (files.path() / "csv").string();
    fs::create_directories(host.folderAnswer);
    click("csvBtn");
    EXPECT_EQ(toastStartingWith("CSV"), "CSV (alle Monate) gespeichert: demo_*.csv in " + host.folderAnswer);

    // The month report of March, saved through the save dialog under the month's name.
    selectMonth("03.2024");
    view.eval("selectTab('shifts')");
    host.saveAnswer = (files.path() / "bericht.pdf").string();
    click("reportBtn");
    EXPECT_EQ(toastStartingWith("Bericht gespeichert: "), "Bericht gespeichert: bericht.pdfIm Dateimanager zeigen");
    EXPECT_EQ(host.suggestedNames, std::vector<std::string>{"Max Mustermann 03.2024 Arbeitsschichten"});
    EXPECT_EQ(await("document.body.classList.contains('printing') || document.getElementById('printReport').innerHTML ? '' : 'clean'"), "clean");
    click("revealLink");
    EXPECT_TRUE(test::spinUntil([&] { return host.revealed == std::vector<std::string>{host.saveAnswer}; }));

    fs::create_directories(files.path() / "archiv");
    host.folderAnswers = {(files.path() / "karten").string(), (files.path() / "archiv").string()};
    click("syncBtn");
    EXPECT_EQ(toastStartingWith("DDD-Sync: "), "DDD-Sync: 1 kopiert, 0 übersprungen");
    click("yearBtn");
    EXPECT_EQ(toastStartingWith("2 Monats-PDFs", 120), "2 Monats-PDFs gespeichert: Tacho Berichte 2024");

    for (int i = 0; i < 2; ++i) {
        gen::CardDescription card = gen::randomCard(static_cast<std::uint64_t>(11 + i), 40, gen::Generation::Gen1);
        card.identity.surname = i == 0 ? "Adler" : "Berger";
        card.identity.cardNumber = "DF0000000000" + std::to_string(4100 + i);
        files.write("quelle/" + card.identity.surname.utf8 + "/karte.ddd", gen::writeCardDownload(card));
    }
    gen::CardDescription damaged = gen::randomCard(31, 20, gen::Generation::Gen1);
    damaged.identity.cardNumber = "DF00000000009900";
    damaged.inject = {gen::Fault::resizeEf(0x0505, gen::Generation::Gen1, 100)};
    files.write("quelle/defekt/karte.ddd", gen::writeCardDownload(damaged));
    fs::create_directories(files.path() / "ziel");
    host.folderAnswers = {(files.path() / "quelle").string(), (files.path() / "ziel").string()};
    EXPECT_EQ(eval("typeof window.__exportAllProgress"), "function") << "the bridge reports progress to it";
    click("exportAllBtn");
    EXPECT_EQ(eval("document.getElementById('exportAllBtn').disabled ? 'busy' : ''"), "busy");
    const std::string result = toastStartingWith("2 Fahrer", 180);
    EXPECT_TRUE(std::regex_match(result, std::regex("2 Fahrer · (\\d+) PDFs · (\\d+) CSV exportiert · 1 abgelehnt.+"))) << result;
    EXPECT_EQ(text("#exportAllText"), "Alle Fahrer exportieren");
}

// A reader plugged in while the window is open shows up when the window gains the focus; the
// card in it is read and shown.
TEST_F(DashboardWindow, CardReadFromTheVirtualReader) {
    EXPECT_EQ(eval("document.getElementById('readBtn').hidden && document.getElementById('readerSel').hidden ? 'hidden' : ''"), "hidden");
    gen::CardDescription card = gen::randomCard(41, 14, gen::Generation::Gen1);
    card.identity.firstNames = "Karla";
    card.identity.surname = "Leserin";
    test::PrivateTempDir temporary;
    test::CardStack stack(test::imageOf(card));
    view.eval("window.dispatchEvent(new Event('focus'))");
    EXPECT_EQ(await("document.getElementById('readBtn').hidden ? '' : document.getElementById('readerSel').value"),
              emu::VirtualReaderService::readerName());
    click("readBtn");
    EXPECT_EQ(eval("document.getElementById('drop').dataset.stage"), "loading");
    EXPECT_EQ(await("document.getElementById('app').hidden ? '' : document.getElementById('driverName').textContent", 120), "Karla Leserin");
    EXPECT_EQ(fs::path(state.currentFile).filename(), "card.ddd");
}

// The chart's bars of a month ("MM.YYYY") as the timeline has them, one "DD.MM from-to class" a
// line: each stretch at its local begin and end, cut at local midnight, a rest inside a shift a
// break, card-absent time marked; and each day's driving.
std::string expectedBars(const AnalysisResult& r, const std::string& month, std::map<std::string, std::int64_t>& driving) {
    std::vector<std::string> bars;
    for (const ActivitySegment& s : r.activities) {
        const char* names[] = {"rest", "avail", "work", "drive"};
        std::string cls = s.type < 4 ? names[s.type] : "unk";
        const auto inShift = [&](const ShiftRecord& x) { return s.start >= x.core.start && s.start < x.core.end; };
        if (s.type == 0 && std::any_of(r.shifts.begin(), r.shifts.end(), inShift)) cls = "pause";
        if (s.cardAbsent) cls += " out";
        const std::int64_t from = localClockSeconds(s.start) / 60, to = localClockSeconds(s.end) / 60;
        for (std::int64_t day = from / 1440 * 1440; day < to; day += 1440) {
            const std::chrono::year_month_day d{std::chrono::sys_days{std::chrono::days{day / 1440}}};
            char date[24];
            std::snprintf(date, sizeof date, "%02u.%02u.%04d", unsigned{d.day()}, unsigned{d.month()}, int{d.year()});
            const std::int64_t a = std::max(from, day) - day, b = std::min(to, day + 1440) - day;
            if (std::string(date).substr(3) != month || b <= a) continue;
            bars.push_back(std::string(date, 5) + " " + std::to_string(a) + "-" + std::to_string(b) + " " + cls);
            if (s.type == 3) driving[std::string(date, 5)] += b - a;
        }
    }
    std::sort(bars.begin(), bars.end());
    std::string joined;
    for (const std::string& bar : bars) joined += (joined.empty() ? "" : "\n") + bar;
    return joined;
}

TEST_F(DashboardWindow, ChartDrawsEachStretchWhereTheTimelineHasIt) {
    struct Case {
        fs::path file;
        std::string newest;               // what "Alle Monate" shows
        std::vector<std::string> months;  // compared bar by bar
    };
    const Case cases[] = {
        {DDD_DEMO_PATH, "Verlauf: März 2024", {"02.2024", "03.2024"}},
        {files.write("crew/karte.ddd", gen::writeCardDownload(crewWeek())), "Verlauf: Mai 2024", {"05.2024"}},
    };
    for (const Case& c : cases) {
        const AnalysisResult native = analyzeDriverOfFile(c.file.string());
        ASSERT_EQ(open(c.file), "app") << c.file;
        EXPECT_EQ(text("#tlCaption"), c.newest) << c.file;
        for (const std::string& month : c.months) {
            selectMonth(month);
            std::map<std::string, std::int64_t> driving;
            const std::string expected = expectedBars(native, month, driving);
            EXPECT_GT(std::count(expected.begin(), expected.end(), '\n'), 20) << month;
            EXPECT_EQ(eval("Array.from(document.querySelectorAll('#timeline .seg')).map(function(e){return e.closest('.tl-row').dataset.day+"
                           "' '+e.dataset.from+'-'+e.dataset.to+' '+e.className.replace(/^seg /,'');}).sort().join('\\n')"),
                      expected)
                << month;
            for (const auto& [day, minutes] : driving) EXPECT_EQ(text(".tl-row[data-day='" + day + "'] .t"), formatDurationMinutes(minutes)) << day;
        }
    }
    view.eval("document.getElementById('timelineCard').scrollIntoView()");
    shot("crew_chart");
}

// The time left as the analysis has it; findings, forecasts and codes in words; vehicles grouped.
TEST_F(DashboardWindow, TimeLeftFindingsAndCodesInWords) {
    const AnalysisResult native = analyzeDriverOfFile(DDD_DEMO_PATH);
    ASSERT_TRUE(native.ok && native.remaining);
    ASSERT_EQ(open(DDD_DEMO_PATH), "app");
    const RemainingTimes& r = *native.remaining;
    EXPECT_EQ(text("#remaining [data-key=dailyDriving] .v"), formatDurationSeconds(r.dailyDriving.left()) + " h");
    EXPECT_EQ(text("#remaining [data-key=weeklyWorkingTime] .v"), formatDurationSeconds(r.weeklyWorkingTime.left()) + " h");
    EXPECT_EQ(text("#remaining [data-key=extensionsLeft] .v"), std::to_string(r.extensionsLeft) + " von 2");
    EXPECT_EQ(text("#remainingAsOf"), "Stand: " + formatDateTime(r.asOf) + " (Ende der Daten)");

    view.eval("selectTab('forecasts')");
    EXPECT_EQ(texts("#tableArea tbody td.p").rfind("Lenkzeit seit der letzten Pause | Arbeitszeit seit der letzten Pause", 0), 0u);
    view.eval("selectTab('violations');document.getElementById('modeStrict').click()");
    ASSERT_FALSE(native.legalViolations.empty());
    std::string codes;
    for (const LegalViolation& v : native.legalViolations) codes += (codes.empty() ? "" : " | ") + v.code;
    EXPECT_EQ(texts("#tableArea tbody td:first-child", "e.title"), codes) << "the code behind each rule text";
    EXPECT_EQ(eval("Array.from(document.querySelectorAll('#tableArea tbody tr')).every(function(r){return !/eu\\./.test(r.cells[0].textContent)&&"
                   "/^(VO \\(EG\\) 561\\/2006|RL 2002\\/15\\/EG) Art\\. \\d/.test(r.cells[1].textContent);})?'words':'raw'"),
              "words");
    EXPECT_EQ(text("#badge-violations"), std::to_string(native.legalViolations.size()));

    for (const auto& [tab, column] : std::map<std::string, int>{{"countries", 2}, {"events", 1}, {"controls", 2}, {"specials", 2}}) {
        view.eval("selectTab('" + tab + "')");
        EXPECT_EQ(eval("Array.from(document.querySelectorAll('#tableArea tbody td:nth-child(" + std::to_string(column) +
                       "):not(.empty)')).every(function(e){return !/^(Typ |\\d|—)/.test(e.textContent);})?'named':'raw'"),
                  "named")
            << tab;
    }
    view.eval("selectTab('countries')");
    EXPECT_NE(texts("#tableArea tbody td:nth-child(2)").find("Beginn | Ende"), std::string::npos) << "type 0 begins a day, type 1 ends it";
    view.eval("selectTab('vehicles');document.getElementById('vehGrouped').click()");
    std::set<std::pair<std::uint32_t, std::string>> plates;
    for (const auto& v : native.vehicles) plates.insert({v.registration.nation, v.registration.number});
    EXPECT_EQ(text("#badge-vehicles"), std::to_string(plates.size()));
    view.eval("selectTab('shifts');document.getElementById('tableCard').scrollIntoView()");
    EXPECT_EQ(eval("(function(){var t=document.querySelector('#tableArea table');return t.scrollWidth<=t.parentNode.clientWidth?'fits':'cut';})()"), "fits");
    shot("shift_table");
}

// Label → value of a month report's fields and summary tiles, from its HTML.
std::map<std::string, std::string> reportFigures(const std::string& html) {
    std::map<std::string, std::string> figures;
    const std::regex field("<div class=\"l\">([^<]+)</div><div class=\"v[^\"]*\">([^<]*)</div>");
    const std::regex tile("<div class=\"n num[^\"]*\">([^<]*)</div><div class=\"k\">([^<]+)</div>");
    for (std::sregex_iterator m(html.begin(), html.end(), field), end; m != end; ++m) figures[(*m)[1]] = (*m)[2];
    for (std::sregex_iterator m(html.begin(), html.end(), tile), end; m != end; ++m) figures[(*m)[2]] = (*m)[1];
    return figures;
}

// One figure, one value: a start-up file shown, then the month report the page builds, the
// native driver report and the CSV set give the same period, shift count, findings, driving
// total and activity count.
TEST_F(DashboardWindow, StartupFileAndOneValuePerFigure) {
    const std::string card = files.writeCard("fahrer.ddd", gen::randomCard(23, 100, gen::Generation::Gen1));
    const AnalysisResult result = analyzeFiles({card});
    ASSERT_TRUE(result.ok) << result.error;
    state.startupFile = card;
    view.setHtml(dashboardPage().html);
    ASSERT_EQ(await("document.getElementById('app').hidden ? '' : document.getElementById('driverName').textContent", 60), result.driver);
    EXPECT_TRUE(state.startupFile.empty()) << "consumed once";
    EXPECT_EQ(state.currentFile, card);
    EXPECT_EQ(eval("String(DATA.counts.activities)"), std::to_string(result.activities.size()));

    std::set<std::string> months{""};
    for (const auto& shift : result.shifts) months.insert(monthKeyOf(shift.core.start));
    const std::map<std::string, std::string> csvLabels{{"schichten", "Arbeitsschichten"}, {"verstoesse", "Verstöße"}, {"taetigkeiten", "Tätigkeiten"}};
    for (const std::string& key : months) {
        SCOPED_TRACE(key.empty() ? "all months" : key);
        const std::string selection = key.empty() ? "__all__" : key.substr(5, 2) + "." + key.substr(0, 4);
        const auto onPage = reportFigures(eval("monthReportHtml(" + js(selection) + ")"));
        const auto native = reportFigures(report::buildReportHtml(result, {key, 0, true}));
        for (const char* label : {"Zeitraum", "Arbeitsschichten", "Verstöße", "Lenkzeit gesamt", "Tätigkeiten"}) {
            EXPECT_EQ(onPage.at(label), native.at(label)) << label;
        }
        std::map<std::string, std::size_t> csvRows;  // without the header
        for (const auto& [name, content] : report::buildCsvTables(restrictToMonth(result, key))) {
            for (std::size_t at = content.find("\r\n", content.find("\r\n") + 2); at != std::string::npos; at = content.find("\r\n", at + 2)) ++csvRows[name];
        }
        for (const auto& [name, label] : csvLabels) EXPECT_EQ(std::to_string(csvRows[name]), native.at(label)) << name;
    }
}

}  // namespace
}  // namespace ddd::app
