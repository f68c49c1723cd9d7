// The dashboard as its user meets it: the real page with the real bridge in a web view under
// xvfb-run, downloads made by the generators in temporary folders, dialogs answered by the test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
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
#include "finder/archive_index.h"
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

// Scripts and the values the page must give for them.
using PageChecks = std::vector<std::pair<std::string, std::string>>;

class DashboardWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gtkStarted) << "no display: run under xvfb-run";
        ::setenv("HOME", home.path().c_str(), 1);  // settings and year folders go to a home of the test's own
        ::unsetenv("XDG_CONFIG_HOME");
        host.setWebView(&view);
        view.setSize(1240, 840, SizeHint::None);
        // The checks' words: an element's text, whether it holds a part, how many match, rows with
        // data (of the full tables, as printed: a long table holds only the rows near the view).
        view.init("window.__t=function(s){var e=document.querySelector(s);return e?e.textContent:'<none>';};"
                  "window.__has=function(s,p){return __t(s).indexOf(p)>=0?'has':__t(s);};"
                  "window.__n=function(s){return String(document.querySelectorAll(s).length);};"
                  "window.__rows=function(s){window.dispatchEvent(new Event('beforeprint'));"
                  "return String(Array.from(document.querySelectorAll(s)).filter(function(r){"
                  "return !r.querySelector('td.empty');}).length);};"
                  "window.__all=function(s,f){return Array.from(document.querySelectorAll(s)).map(f).join(' | ');};");
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
    void expectPage(const PageChecks& checks, const std::string& context = "") {
        for (const auto& [script, value] : checks) EXPECT_EQ(eval(script), value) << context << ": " << script;
    }
    // The stage the loaded page rests on: "app" once a download is shown.
    std::string stage() {
        return await("(function(){if(document.readyState!=='complete')return '';var s=document.getElementById('drop').dataset.stage;"
                     "return !document.getElementById('app').hidden ? 'app' : !document.getElementById('vehicle').hidden ? 'vehicle' : "
                     "s === 'loading' ? '' : s;})()", 60);
    }
    // Opens the file as an open-document event does.
    std::string open(const fs::path& file) {
        view.eval("openPath(" + js(file.string()) + ")");
        return stage();
    }
    std::string shownDriver(double seconds) { return await("document.getElementById('app').hidden ? '' : __t('#driverName')", seconds); }
    void selectMonth(const std::string& value) {
        view.eval("var s=document.getElementById('month');s.value=" + js(value) + ";s.dispatchEvent(new Event('change'));");
    }
    void click(const std::string& id) { view.eval("document.getElementById(" + js(id) + ").click()"); }
    // The toast once it shows a text that starts with the prefix.
    std::string toastStartingWith(const std::string& prefix, double seconds = 60) {
        return await("(function(){var t=document.getElementById('toast');return t.classList.contains('show') && t.textContent.indexOf(" +
                         js(prefix) + ")===0 ? t.textContent : '';})()", seconds);
    }

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
    const AnalysisResult native = analyzeDriverOfFile(DDD_DEMO_PATH);
    ASSERT_TRUE(native.ok);
    host.fileAnswer = DDD_DEMO_PATH;
    click("openBtn");
    EXPECT_EQ(shownDriver(60), native.driver);
    expectPage({{"__t('#cardNo')", native.card}, {"__t('#avatar')", "MM"}, {"__t('#kpiShifts')", grouped(native.shifts.size())},
                {"__t('#kpiViolations')", grouped(native.violations.size())}, {"__t('#kpiActivities')", grouped(native.activities.size())},
                {"__t('#verdictText')", native.violations.empty() ? "Keine Verstöße" : std::to_string(native.violations.size()) + " Verstöße"}});

    for (const auto& [select, key] : std::map<std::string, std::string>{{"__all__", ""}, {"02.2024", "2024/02"}, {"03.2024", "2024/03"}}) {
        const AnalysisResult cut = restrictToMonth(native, key);
        const auto strict = std::to_string(std::count_if(native.legalViolations.begin(), native.legalViolations.end(),
                                                         [&](const LegalViolation& v) { return key.empty() || monthKeyOf(v.when) == key; }));
        selectMonth(select);
        expectPage({{"selectTab('shifts');__rows('#tableArea tr.shift')", std::to_string(cut.shifts.size())},
                    {"__t('#badge-shifts')", grouped(cut.shifts.size())},
                    {"selectTab('violations');document.getElementById('modeRef').click();__rows('#tableArea tbody tr')", std::to_string(cut.violations.size())},
                    {"__t('#badge-violations')", std::to_string(cut.violations.size())},
                    {"__rows('#gapSection tbody tr')", std::to_string(cut.coverageGaps.size())},
                    {"document.getElementById('modeStrict').click();__rows('#tableArea tbody tr')", strict}, {"__t('#badge-violations')", strict},
                    {"selectTab('activities');__rows('#tableArea tbody tr')", std::to_string(cut.activities.size())}},
                   select);
    }

    // The long table of every activity holds the rows near the view; scrolled to its end it shows
    // the last one, and the printed copy holds them all.
    const std::string last = std::to_string(native.activities.size() + 1) + " " + formatDateTime(native.activities.back().start);
    const std::string lastRow = "r[r.length-1].getAttribute('aria-rowindex')+' '+r[r.length-1].cells[0].textContent+' '+r[r.length-1].cells[1].textContent";
    selectMonth("__all__");
    expectPage({{"selectTab('activities');document.querySelector('#tableArea table').getAttribute('aria-rowcount')", std::to_string(native.activities.size() + 1)},
                {"__n('#tableArea tbody tr[aria-rowindex]') < DATA.activities.length / 2 ? 'in part' : 'whole'", "in part"},
                {"var c=document.getElementById('content');c.scrollTop=c.scrollHeight;c.dispatchEvent(new Event('scroll'));"
                 "var r=document.querySelectorAll('#tableArea tbody tr');" + lastRow, last},
                {"var d=document.createElement('div');d.innerHTML=tabReportHtml('activities');var r=d.querySelectorAll('tbody tr');"
                 "r[r.length-1].setAttribute('aria-rowindex',r.length+1);" + lastRow, last}});
}

// What each kind of opened file leads to, from the drop zone.
TEST_F(DashboardWindow, EachKindOfDownloadEndsOnItsStage) {
    // A first-generation card of a few random days, changed as the case needs, in a folder of its own.
    const auto card = [&](const std::string& name, std::uint64_t seed, const std::function<void(gen::CardDescription&)>& change) {
        gen::CardDescription c = gen::randomCard(seed, 12, gen::Generation::Gen1);
        change(c);
        return files.write(name + "/karte.ddd", gen::writeCardDownload(c));
    };
    const auto stillInVehicle = [](gen::CardDescription& c) {
        c = twoShiftsOnOneDay();
        gen::VehicleUse current;
        current.firstUse = gen::utcTime(2024, 1, 17, "17:00");
        current.registration = {13, "B-XY 2"};
        c.vehicles = {current};
        gen::leaveInVehicle(c, gen::utcTime(2024, 1, 17, "17:05"));
    };
    const std::vector<std::uint8_t> vuBytes = gen::writeVuDownload(gen::VuDescription{});
    const fs::path vu = files.write("vu/unit.ddd", vuBytes);
    const std::string day = ".tl-row[data-day=\"17.01\"]";

    const std::tuple<fs::path, std::string, PageChecks> cases[] = {
        {card("refused", 21, [](auto& c) { c.inject = {gen::Fault::resizeEf(0x0505, gen::Generation::Gen1, 100)}; }), "error", {{"__t('#stageTitle')", "Analyse fehlgeschlagen"}, {"__has('#stageText','Vehicles_Used')", "has"}}},
        {vu, "vehicle", {{"__t('#vehPlate')", "M AB 123"}, {"__t('#topTitle')", "Fahrzeug"}}},
        {files.write("vu-cut/unit.ddd", std::vector<std::uint8_t>(vuBytes.begin(), vuBytes.begin() + 40)), "error", {{"__t('#stageTitle')", "Datei nicht erkannt"}}},
        {card("hostile", 22, [](auto& c) { c.identity.firstNames = "Erika", c.identity.surname = "<img src=x onerror=__pwned=1>"; }), "app",
         {{"__t('#driverName')", "Erika <img src=x onerror=__pwned=1>"}, {"__n('img')", "0"},
          {"selectTab('shifts');window.__berichtName='';reportFileName()", "Erika _img src=x onerror=__pwned=1_ Verlauf Arbeitsschichten"}}},
        {card("zertifikat", 24, [](auto& c) { c.inject = {gen::Fault::omitEf(0xC108, gen::Generation::Gen1)}; }), "app",
         {{"__t('#auth .chip .s')", "Nicht prüfbar"}, {"document.getElementById('authAlert').hidden?'hidden':document.getElementById('authAlert').className", "alert warn"},
          {"__has('#authAlert li li','fehlt im Download')", "has"}, {"__has('#authAlert details','CA_Certificate (0xC108, first generation): missing')", "has"}}},
        {card("leer", 25, [](auto& c) { c.days.clear(); }), "app", {{"__t('#verdictText')", "Keine Daten"}, {"document.getElementById('verdict').classList.contains('good')?'green':'plain'", "plain"}}},
        {card("zwei", 0, [](auto& c) { c = twoShiftsOnOneDay(); }), "app",
         {{"__t('#tlCaption')", "Verlauf: Januar 2024"}, {"__n('" + day + " .seg.drive')", "3"}, {"__n('" + day + " .seg.work')", "1"},
          {"__t('" + day + " .t')", "07:15"}, {"__t('#dataEndText')", ""}}},
        {card("steckt", 0, stillInVehicle), "app",
         {{"__t('#dataEndText')", "Karte steckte beim Auslesen noch – Daten enden 08:00"}, {"grouped('')", ""}}},  // an odometer not yet written
    };
    for (const auto& [file, stage, checks] : cases) {
        EXPECT_EQ(open(file), stage) << file;
        expectPage(checks, file);
    }
    EXPECT_TRUE(host.finderLaunches.empty());
    EXPECT_EQ(eval("typeof window.__pwned"), "undefined") << "the markup of the hostile name never ran";

    // The signature of each source download, in words, against the native check of the same file.
    const char* words[] = {"Signatur gültig", "Signatur ungültig", "Ohne Vertrauensanker", "Nicht signiert"};
    for (const fs::path& file : {card("signatur", 23, [](auto& c) { c.withoutSignatures = true; }), files.path() / "hostile/karte.ddd"}) {
        const AnalysisResult native = analyzeDriverOfFile(file.string());
        ASSERT_TRUE(native.ok && native.authenticity.size() == 1 && native.authenticity[0].check) << file;
        const Authenticity status = native.authenticity[0].check->status;
        ASSERT_EQ(open(file), "app") << file;
        const bool invalid = status == Authenticity::Invalid;
        expectPage({{"__t('#auth .chip .s')", words[static_cast<int>(status)]}, {"document.getElementById('authAlert').hidden ? 'calm' : 'warning'", invalid ? "warning" : "calm"},
                    {"__has('#authAlert'," + js(invalid ? native.authenticity[0].check->problems.front().substr(0, 20) : "") + ")", "has"}}, file);
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
    click("revealLink");
    EXPECT_TRUE(test::spinUntil([&] { return host.revealed == std::vector<std::string>{host.saveAnswer}; }));

    fs::create_directories(files.path() / "archiv");
    host.folderAnswers = {(files.path() / "karten").string(), (files.path() / "archiv").string()};
    click("syncBtn");
    EXPECT_EQ(toastStartingWith("DDD-Sync: "), "DDD-Sync: 1 kopiert, 0 übersprungen");
    click("yearBtn");
    EXPECT_EQ(toastStartingWith("2 Monats-PDFs", 120), "2 Monats-PDFs gespeichert: Tacho Berichte 2024");

    // Every driver below a folder: the demo driver (twice, in the cards and the archive) and one
    // refused download.
    gen::CardDescription damaged = gen::randomCard(31, 20, gen::Generation::Gen1);
    damaged.inject = {gen::Fault::resizeEf(0x0505, gen::Generation::Gen1, 100)};
    files.write("karten/defekt.ddd", gen::writeCardDownload(damaged));
    host.folderAnswers = {files.path().string(), files.file("ziel")};
    fs::create_directories(files.file("ziel"));
    click("exportAllBtn");
    EXPECT_EQ(eval("document.getElementById('exportAllBtn').disabled ? 'busy' : ''"), "busy");
    const std::string result = toastStartingWith("1 Fahrer", 180);
    EXPECT_TRUE(std::regex_match(result, std::regex("1 Fahrer · 2 PDFs · 2 CSV exportiert · 1 abgelehnt.+"))) << result;
    EXPECT_EQ(eval("__t('#exportAllText')"), "Alle Fahrer exportieren");
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
    EXPECT_EQ(await("document.getElementById('readBtn').hidden ? '' : document.getElementById('readerSel').value"), emu::VirtualReaderService::readerName());
    click("readBtn");
    EXPECT_EQ(eval("document.getElementById('drop').dataset.stage"), "loading");
    EXPECT_EQ(shownDriver(120), "Karla Leserin");
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
        EXPECT_EQ(eval("__t('#tlCaption')"), c.newest) << c.file;
        for (const std::string& month : c.months) {
            selectMonth(month);
            std::map<std::string, std::int64_t> driving;
            const std::string expected = expectedBars(native, month, driving);
            EXPECT_GT(std::count(expected.begin(), expected.end(), '\n'), 20) << month;
            EXPECT_EQ(eval("Array.from(document.querySelectorAll('#timeline .seg')).map(function(e){return e.closest('.tl-row').dataset.day+"
                           "' '+e.dataset.from+'-'+e.dataset.to+' '+e.className.replace(/^seg /,'');}).sort().join('\\n')"),
                      expected)
                << month;
            for (const auto& [day, minutes] : driving) EXPECT_EQ(eval("__t(\".tl-row[data-day='" + day + "'] .t\")"), formatDurationMinutes(minutes)) << day;
        }
    }
}

// A second-version card month by month: the Länder view and the chart's marks against the native
// analysis of the same file.
TEST_F(DashboardWindow, CountriesOfASecondVersionCard) {
    auto card = gen::randomCard(31, 40, gen::Generation::Both);
    gen::addSecondVersionRecords(card, 90, 60);
    const fs::path file = files.write("v2/karte.ddd", gen::writeCardDownload(card));
    const AnalysisResult native = analyzeDriverOfFile(file.string());
    ASSERT_TRUE(native.ok && !native.countryDays.empty());
    ASSERT_EQ(open(file), "app");
    std::set<std::string> months;
    for (const auto& shift : native.shifts) months.insert(monthKeyOf(shift.core.start));
    for (const std::string& key : months) {
        const AnalysisResult cut = restrictToMonth(native, key);
        std::map<std::uint8_t, int> days;
        for (const auto& d : cut.countryDays) {
            for (const auto& c : d.countries) ++days[c.country];
        }
        std::vector<std::pair<int, std::uint8_t>> order;  // most days first, as the page lists them
        for (const auto& [country, n] : days) order.push_back({-n, country});
        std::sort(order.begin(), order.end());
        std::string summary;
        for (const auto& [n, country] : order) summary += (summary.empty() ? "" : " | ") + nationName(country) + " " + std::to_string(-n);
        selectMonth(key.substr(5) + "." + key.substr(0, 4));
        expectPage({{"selectTab('countries');__rows('#tableArea table.crossings tbody tr')", std::to_string(cut.borderCrossings.size())},
                    {"__all('#tableArea table.country-days tbody tr',function(r){return r.cells[0].textContent+' '+r.cells[1].textContent;})", summary},
                    {"__has('#tableArea table.crossings tbody td:nth-child(4)','52°')", "has"},
                    {"__n('#timeline .mark.cross')", std::to_string(cut.borderCrossings.size())},
                    {"__n('#timeline .mark.load')", std::to_string(cut.loadOperations.size())}},
                   key);
    }
}

// The time left as the analysis has it; findings, forecasts and codes in words; vehicles grouped.
TEST_F(DashboardWindow, TimeLeftFindingsAndCodesInWords) {
    const AnalysisResult native = analyzeDriverOfFile(DDD_DEMO_PATH);
    ASSERT_TRUE(native.ok && native.remaining && !native.legalViolations.empty());
    ASSERT_EQ(open(DDD_DEMO_PATH), "app");
    const RemainingTimes& r = *native.remaining;
    std::string codes;
    for (const LegalViolation& v : native.legalViolations) codes += (codes.empty() ? "" : " | ") + v.code;
    std::set<std::pair<std::uint32_t, std::string>> plates;
    for (const auto& v : native.vehicles) plates.insert({v.registration.nation, v.registration.number});
    const std::string named = "(e){return !/^(Typ |\\d|—)/.test(e.textContent);})?'named':'raw'";
    expectPage({
        {"__t('#remaining [data-key=dailyDriving] .v')", formatDurationSeconds(r.dailyDriving.left()) + " h"},
        {"__t('#remaining [data-key=weeklyWorkingTime] .v')", formatDurationSeconds(r.weeklyWorkingTime.left()) + " h"},
        {"__t('#remaining [data-key=extensionsLeft] .v')", std::to_string(r.extensionsLeft) + " von 2"},
        {"__t('#remainingAsOf')", "Stand: " + formatDateTime(r.asOf) + " (Ende der Daten)"},
        {"selectTab('forecasts');__all('#tableArea tbody td.p',function(e){return e.textContent;}).indexOf('Lenkzeit seit der letzten Pause | "
         "Arbeitszeit seit der letzten Pause')===0?'first':''", "first"},
        {"selectTab('violations');document.getElementById('modeStrict').click();__all('#tableArea tbody td:first-child',function(e){return e.title;})", codes},
        {"Array.from(document.querySelectorAll('#tableArea tbody tr')).every(function(r){return !/eu\\./.test(r.cells[0].textContent)&&"
         "/^(VO \\(EG\\) 561\\/2006|RL 2002\\/15\\/EG) Art\\. \\d/.test(r.cells[1].textContent);})?'words':'raw'", "words"},
        {"__t('#badge-violations')", std::to_string(native.legalViolations.size())},
        {"selectTab('countries');Array.from(document.querySelectorAll('#tableArea tbody td:nth-child(2):not(.empty)')).every(function" + named, "named"},
        // Type 0 begins a day in a country, type 1 ends it.
        {"selectTab('countries');__all('#tableArea tbody td:nth-child(2)',function(e){return e.textContent;}).indexOf('Beginn | Ende')>=0?'both':''", "both"},
        {"selectTab('vehicles');document.getElementById('vehGrouped').click();__t('#badge-vehicles')", std::to_string(plates.size())},
    });
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

// A vehicle unit's download as the fleet manager meets it: a generated unit with every section
// filled, whose driver slot drove ten minutes before a card went in, and the download of one of its
// drivers beside it; then a unit that recorded nothing, every section saying so.
TEST_F(DashboardWindow, VehicleViewFilledAndEmpty) {
    gen::VuDescription full = gen::fullVuDescription(gen::VuLayout::Gen2);
    auto& words = full.days[0].changeWords;  // driving without card in the driver slot from 05:50 UTC
    words.insert(words.begin() + 2, static_cast<std::uint16_t>(0x2000 | 3u << 11 | 350));
    full.companyLocks[1].companyName = "<img src=x onerror=__pwned=2>";  // unit data is untrusted
    const fs::path unit = files.write("flotte/unit.ddd", gen::writeVuDownload(full));
    files.writeCard("flotte/weiss.ddd", test::driverCard("Weiß", "DF00000000001100", {{2024, 3, 1}}));
    ASSERT_EQ(open(unit), "vehicle");
    const std::string cells = "(e){return Array.from(e.cells).map(function(c){return c.textContent;}).join(' ');}";
    expectPage({{"__t('#vehPlate')", "M AB 123"},
                {"__all('#vehNoCardTable tbody tr:first-child',function" + cells + ").slice(0,30)", "01.03.2024 Fahrer 06:50 07:00 "},
                {"__all('#vehChart .seg.nocard',function(e){return e.closest('.vc-row').dataset.day+' '+e.dataset.from+'-'+e.dataset.to;})", "01.03.2024 410-420"},
                {"__n('#vehEventsTable tr.vgroup')", "4"}, {"__n('#vehEventsTable tr.vgroup.crit')", "2"},
                {"document.querySelector('#vehEventsTable .vtoggle').click();__n('#vehEventsTable tr.vrec:not([hidden])')", "1"},
                {"__rows('#vehTimeTable tbody tr')", "1"}, {"__rows('#vehCalibrationTable tbody tr')", "2"},
                {"document.getElementById('vehCalibrationAlert').hidden?'':'shown'", "shown"},
                {"__rows('#vehLockTable tbody tr')", "2"}, {"__has('#vehLockTable','<img src=x')", "has"}, {"__n('img')", "0"},
                {"__rows('#vehControlTable tbody tr')", "1"},
                {"__rows('#vehDriverTable tbody tr')", "2"}, {"__n('#vehDriverTable .vlink')", "1"}});

    click("vehFinderBtn");
    EXPECT_TRUE(test::spinUntil([&] { return host.finderLaunches == std::vector<std::string>{unit.parent_path().string()}; }));
    host.folderAnswer = files.file("csv");
    fs::create_directories(host.folderAnswer);
    click("vehCsvBtn");
    EXPECT_EQ(toastStartingWith("CSV"), "CSV gespeichert: unit_*.csv in " + host.folderAnswer);
    host.saveAnswer = files.file("fahrzeug.pdf");
    click("vehReportBtn");
    EXPECT_EQ(toastStartingWith("Bericht gespeichert: "), "Bericht gespeichert: fahrzeug.pdfIm Dateimanager zeigen");
    EXPECT_EQ(host.suggestedNames, std::vector<std::string>{"Fahrzeugbericht M AB 123"});

    view.eval("document.querySelector('#vehDriverTable .vlink').click()");
    EXPECT_EQ(stage(), "app");
    EXPECT_EQ(eval("__t('#driverName')"), "Weiß");

    ASSERT_EQ(open(files.write("leer/unit.ddd", gen::writeVuDownload(gen::VuDescription{}))), "vehicle");
    EXPECT_EQ(eval("__all('#vehicle td.empty',function(e){return e.textContent;})"),
              "Keine Fahrt ohne Karte aufgezeichnet | Keine Ereignisse oder Störungen aufgezeichnet | Keine Zeiteinstellungen aufgezeichnet | "
              "Keine Kalibrierungen aufgezeichnet | Keine Unternehmenssperren aufgezeichnet | Keine Kontrollen aufgezeichnet | Keine Fahrer aufgezeichnet");
}

// The fleet overview over a kept index of a card overdue for download, one in time and a unit due
// for calibration tomorrow, once the background has computed the unit: the counts, a sort, the CSV,
// the report and a click that opens the driver.
TEST_F(DashboardWindow, FleetOverviewCountsSortsAndOpensADriver) {
    ::unsetenv("XDG_DATA_HOME");  // the kept index goes below the test's home
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr)), day = 86400;
    for (const auto& [name, number, age] : {std::tuple{"Früh", "DF00000000000100", 29}, std::tuple{"Spät", "DF00000000000200", 2}}) {
        gen::CardDescription card;
        card.identity.cardNumber = number;
        card.identity.expiryDate = now + 900 * day;
        card.identity.surname = name;
        card.identity.firstNames = "Test";
        card.lastCardDownload = now - age * day;
        card.withoutSignatures = true;  // not an invalid signature, which would be shown red as well
        files.writeCard(std::string("archiv/") + name + ".ddd", card);
    }
    gen::VuDescription unit;
    unit.vuTime = now - day;
    VuCalibration calibration;
    calibration.newTime = now - 300 * day;
    calibration.nextCalibration = (now / day + 1) * day;
    unit.calibrations = {calibration};
    files.write("archiv/unit.ddd", gen::writeVuDownload(unit));
    finder::ArchiveIndex(finder::defaultArchiveIndexPath()).rescan({files.file("archiv")}, nullptr);

    click("fleetBtn");
    const std::string first = "__t('#fleet-drivers tbody tr:first-child td')";
    EXPECT_EQ(await("window.FLEET&&FLEET.pending===0?__t('#fleetRed')+'/'+__t('#fleetAmber'):''", 60), "1/1");
    expectPage({{"__t('#fleetDrivers')+'/'+__t('#fleetVehicles')", "2/1"}, {first, "Test Früh"},
                {"__n('#fleet-drivers td.red')+'/'+__n('#fleet-vehicles td.amber')", "1/1"},
                {"document.querySelector('#fleet-drivers th[data-col=\"0\"]').click();" + first, "Test Spät"},
                {"document.getElementById('fleetSearch').value='früh';document.getElementById('fleetSearch').dispatchEvent(new Event('input'));"
                 "__rows('#fleet-drivers tbody tr')", "1"}});
    host.folderAnswer = files.file("csv");
    fs::create_directories(host.folderAnswer);
    click("fleetCsvBtn");
    EXPECT_EQ(toastStartingWith("CSV").find("CSV gespeichert: Flotte "), 0u);
    host.saveAnswer = files.file("flotte.pdf");
    click("fleetReportBtn");
    EXPECT_EQ(toastStartingWith("Bericht gespeichert: "), "Bericht gespeichert: flotte.pdfIm Dateimanager zeigen");
    view.eval("document.querySelector('#fleet-drivers tbody tr').click()");
    EXPECT_EQ(shownDriver(60), "Test Früh");
    EXPECT_EQ(eval("String(document.getElementById('fleet').hidden)"), "true");
}

}  // namespace
}  // namespace ddd::app
