// The finder window as its user meets it, in a real web view (run under xvfb-run): an answer of
// 1,000 hits rendered and laid out by the page; the start-up scan of a generated tree of 10,000
// downloads with the page open (first progress on the page, whole scan, bridge calls answered
// meanwhile), the next start over the index it kept (and over FINDER_BENCH_KEPT's) with where its
// time goes, and searches of a million sessions timed
// from the page's call to its rendered answer.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/finder_bridge.h"
#include "bench/million_sessions.h"
#include "app/finder_page.h"
#include "app/gtk/finder_window.h"
#include "app/gtk/gtk_shell_host.h"
#include "tests/gtk/main_loop.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

namespace fs = std::filesystem;
using namespace ddd;

fs::path writeTree() {
    std::string pattern = (fs::temp_directory_path() / "finder_window_bench_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    const gen::Fleet fleet = gen::makeFleet(23, gen::FleetPlan{.drivers = 400, .vehicles = 300, .days = 30, .cardDownloadsPerDriver = 10,
                                                                .vuDownloadsPerVehicle = 20, .speedMinutes = 60});
    for (const gen::FleetFile& f : gen::fleetFiles(fleet)) {
        const fs::path target = fs::path(pattern) / f.relativePath;
        fs::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary).write(reinterpret_cast<const char*>(f.bytes.data()), static_cast<std::streamsize>(f.bytes.size()));
    }
    return pattern;
}

// Records on the page: when the first progress call came, and how long each stats call took
// that the page made every 20 ms while the scan ran.
constexpr const char* kScanProbe = R"JS(
window.__probe = {first: 0, calls: [], running: true};
(function(){
  var page = window.__finderProgress;
  window.__finderProgress = function(d, t, f) { if (!__probe.first) __probe.first = performance.now(); page(d, t, f); };
  function poll() {
    if (!__probe.running) return;
    var sent = performance.now();
    TachoFinder.stats().then(function() { __probe.calls.push(performance.now() - sent); setTimeout(poll, 20); });
  }
  poll();
})();
window.__probe.start = performance.now();
'')JS";

// Sends the query the way the search button does and reports milliseconds to the rendered rows.
constexpr const char* kTimedSearch = R"JS(
(async function(q){
  var runs = [];
  for (var i = 0; i < 5; ++i) {
    var sent = performance.now();
    var a = await TachoFinder.query(q);
    var answered = performance.now();
    renderAnswer(a, q);
    document.body.offsetHeight;
    runs.push([answered - sent, performance.now() - sent, a.count]);
  }
  window.__searchResult = JSON.stringify(runs);
})(%s); '')JS";

// Renders an answer of 1,000 trips the way the search does, 21 times, and reports the median and
// the slowest milliseconds to the laid-out table.
constexpr const char* kThousandHits = R"JS(
(function(){
  var matches = [];
  for (var i = 0; i < 1000; ++i) {
    var file = '/archiv/fahrer' + (i % 97) + '/karte_' + i + '.ddd';
    matches.push({driver: 'Fahrer ' + (i % 97), slot: i % 2, source: i % 3 ? 'C' : 'CV', role: i % 2 ? 'Beifahrer' : 'Fahrer',
                  plate: 'M-VD ' + (1000 + i % 300), vin: 'WDB9066351S' + (100000 + i), start: 1710000000 + i * 3600, end: 1710007200 + i * 3600,
                  km: i * 7, card: 'DF0000000' + (1000000 + i), file: file,
                  sources: i % 3 ? [{source: 'C', file: file}] : [{source: 'C', file: file}, {source: 'V', file: '/archiv/fz/' + i + '.ddd'}],
                  timeExact: i < 3});
  }
  var q = {plate: '', name: 'Fahrer', vin: '', y: 0, mo: 0, d: 0, hStart: -1, hEnd: -1};
  var runs = [];
  for (var r = 0; r < 21; ++r) {
    var t = performance.now();
    renderAnswer({count: 1000, shown: 1000, matches: matches, activity: null}, q);
    document.body.offsetHeight;
    runs.push(performance.now() - t);
  }
  runs.sort(function (a, b) { return a - b; });
  return 'median ' + runs[10].toFixed(1) + ', slowest ' + runs[20].toFixed(1);
})())JS";

// Where the time of a start goes, as the page sees it (milliseconds since the epoch): its
// navigation began, its first script ran, the document was parsed, its fonts were ready, the
// counters showed the kept index, and the frame after that was painted.
constexpr const char* kStartMarks = R"JS(
(function(){
  function now() { return performance.timeOrigin + performance.now(); }
  window.__marks = {navigation: performance.timeOrigin, script: now()};
  document.addEventListener('DOMContentLoaded', function () {
    __marks.parsed = now();
    document.fonts.ready.then(function () { __marks.fonts = now(); });
    var counter = document.getElementById('statFiles');
    new MutationObserver(function (changes, observer) {
      if (counter.textContent === '0') return;
      __marks.counters = now();
      observer.disconnect();
      requestAnimationFrame(function () { requestAnimationFrame(function () { __marks.painted = now(); }); });
    }).observe(counter, {childList: true, characterData: true, subtree: true});
  });
})();)JS";

double epochMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// A new window over the index kept in `keptFile`, timed from the window's creation until the page
// has painted its counters, with the steps between.
void timedStart(app::GtkShellHost& host, app::DddWebView& previous, const std::string& keptFile) {
    const double start = epochMs();
    app::DddWebView next;
    const double window = epochMs();
    host.setWebView(&next);
    next.init(kStartMarks);
    app::FinderRuntime kept;
    app::openKeptIndex(kept, keptFile);
    app::startFinderPage(next, kept, host);
    const double loading = epochMs();
    test::awaitScript(next, "window.__marks && __marks.painted ? 'y' : ''", 60);
    const double ready = epochMs();
    const auto mark = [&](const char* name) {
        return std::atof(test::evaluateNow(next, std::string("String(__marks.") + name + ")").c_str()) - start;
    };
    std::printf("window ready with the kept index of %lld files: %.0f ms from the window's creation (window %.0f,"
                " page load started %.0f, navigation %.0f, first script %.0f, parsed %.0f, fonts %.0f, counters %.0f, painted %.0f;"
                " seen here %.0f)\n",
                static_cast<long long>(app::currentIndex(kept).filesIndexed), mark("painted"), window - start,
                loading - start, mark("navigation"), mark("script"), mark("parsed"), mark("fonts"), mark("counters"), mark("painted"),
                ready - start);
    std::fflush(stdout);
    host.setWebView(&previous);
}

}  // namespace

int main() {
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "finder_window_bench: no display (run under xvfb-run)\n");
        return 1;
    }
    app::GtkShellHost host("/proc/self/exe");
    {
        app::DddWebView view;
        view.setSize(1240, 840, app::SizeHint::None);
        view.setHtml(std::string(app::finderPageHtml()));
        test::awaitScript(view, "document.readyState === 'complete' && document.getElementById('searchBtn') ? 'y' : ''", 30);
        std::printf("1,000 hits rendered and laid out by the page: ms %s\n", test::evaluateNow(view, kThousandHits).c_str());
        std::fflush(stdout);
    }

    const fs::path tree = writeTree();
    finder::DriverIndex warm;
    auto t0 = std::chrono::steady_clock::now();
    warm.scanDirectory(tree.string(), nullptr);
    const double warmMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("tree: %lld files, %zu sessions; scan without a window (warm cache): %.0f ms\n", static_cast<long long>(warm.filesIndexed),
                warm.sessions.size(), warmMs);

    {
        app::DddWebView view;
        host.setWebView(&view);
        app::FinderRuntime runtime;
        const std::string keptFile = (tree / "archive.sqlite").string();
        app::openKeptIndex(runtime, keptFile);
        view.setSize(1240, 840, app::SizeHint::None);
        app::bindFinder(view, runtime, host);
        view.setHtml(std::string(app::finderPageHtml()));
        test::awaitScript(view, "document.readyState === 'complete' && document.getElementById('searchBtn') ? 'y' : ''", 30);
        test::evaluateNow(view, kScanProbe);
        const auto scanStart = std::chrono::steady_clock::now();
        app::startFinderScan(view, runtime, tree.string());
        test::spinUntil([&] { return runtime.index.filesIndexed > 0; }, 300);
        const double scanMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - scanStart).count();
        const std::string probe = test::evaluateNow(view, "__probe.running=false;var c=__probe.calls.slice().sort(function(a,b){return a-b;});"
                                                 "JSON.stringify({first:__probe.first-__probe.start,calls:c.length,"
                                                 "median:c[Math.floor(c.length/2)],max:c[c.length-1]})");
        std::printf("start-up scan with the window open: %.0f ms until the index was adopted; page probe %s\n", scanMs, probe.c_str());

        // The next start: a new window over the index the scan kept, timed until the page shows
        // its counters.
        for (int run = 0; run < 3; ++run) timedStart(host, view, keptFile);
        // FINDER_BENCH_KEPT names the kept index of a larger archive (the archive benchmark's).
        if (const char* larger = std::getenv("FINDER_BENCH_KEPT")) {
            for (int run = 0; run < 3; ++run) timedStart(host, view, larger);
        }

        runtime.index = bench::millionSessions();
        struct Search {
            const char* name;
            const char* query;
        };
        const Search searches[] = {
            {"plate at an hour", R"({"plate":"M-VD 1500","name":"","vin":"","y":2024,"mo":3,"d":12,"hStart":14,"hEnd":-1})"},
            {"name on a day", R"({"plate":"","name":"fahrer1234","vin":"","y":2024,"mo":3,"d":12,"hStart":-1,"hEnd":-1})"},
            {"everyone in one hour", R"({"plate":"","name":"","vin":"","y":2024,"mo":3,"d":12,"hStart":14,"hEnd":-1})"},
            {"a name, no date (500 of many)", R"({"plate":"","name":"fahrer12","vin":"","y":0,"mo":0,"d":0,"hStart":-1,"hEnd":-1})"},
        };
        for (const Search& s : searches) {
            char script[2048];
            std::snprintf(script, sizeof script, kTimedSearch, s.query);
            test::evaluateNow(view, "window.__searchResult='';");
            test::evaluateNow(view, script);
            std::printf("search at 1,000,000 sessions, %s: [answered ms, rendered ms, count] x5 = %s\n", s.name,
                        test::awaitScript(view, "window.__searchResult", 120).c_str());
        }
        stopFinderScan(runtime);
        host.setWebView(nullptr);
    }
    std::error_code ignored;
    fs::remove_all(tree, ignored);
    return 0;
}
