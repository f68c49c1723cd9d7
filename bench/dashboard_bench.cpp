// The dashboard in a real web view (needs a display, e.g. xvfb-run -a): from openPath of a
// download to the rendered and laid-out shift table, for the bundled demo download and a generated
// driver of a whole year; the analysis runs on the bridge's worker as in the window. The page's own
// part (render and layout of an analysed year) is timed inside the page as well, apart from the
// analysis and the machine's other work on the worker.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/bridge_text.h"
#include "bench/dashboard_window.h"
#include "tools/generator/card_generator.h"

namespace {

namespace fs = std::filesystem;
using namespace ddd;

bench::DashboardWindow* dashboard = nullptr;  // made in main, once GTK runs

// Opens the file and waits until the shift table of the new document is in the page and laid
// out; the shift count, or nothing when the table did not appear.
std::string openAndWait(const std::string& file) {
    const std::string open = "DATA=null;document.getElementById('tableArea').innerHTML='';openPath(" + app::jsonQuote(file) + ");''";
    // Reading a layout figure makes the engine lay the page out before it answers.
    const std::string rendered = "window.DATA && document.querySelector('#tableArea tr.shift') && document.body.offsetHeight ? "
                                 "String(DATA.shifts.length) : ''";
    std::string rows;
    test::evaluateNow(dashboard->view, open);
    test::spinUntil([&] { return !(rows = test::evaluateNow(dashboard->view, rendered)).empty(); }, 60);
    return rows;
}

void openAndRender(benchmark::State& state, const std::string& file) {
    std::string rows;
    for (auto _ : state) {
        if ((rows = openAndWait(file)).empty()) {
            state.SkipWithError("the shift table did not appear");
            return;
        }
    }
    state.counters["shifts"] = std::stod(rows);
}

void BM_OpenDemoToShiftTable(benchmark::State& state) { openAndRender(state, DDD_DEMO_PATH); }

// A generated driver of a whole year, written into a temporary folder for the benchmark's run.
struct YearFile {
    fs::path folder;
    YearFile() {
        std::string pattern = (fs::temp_directory_path() / "ddd_dashboard_bench_XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        const auto bytes = gen::writeCardDownload(gen::randomCard(17, 365, gen::Generation::Both));
        std::ofstream(file(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ~YearFile() { fs::remove_all(folder); }
    std::string file() const { return (folder / "driver.ddd").string(); }
};

void BM_OpenYearToShiftTable(benchmark::State& state) { openAndRender(state, YearFile().file()); }

// The page's share: the analysed year rendered again from its document and laid out.
void BM_RenderYearInPage(benchmark::State& state) {
    const YearFile year;
    if (openAndWait(year.file()).empty()) {
        state.SkipWithError("the shift table did not appear");
        return;
    }
    for (auto _ : state) {
        const std::string ms = test::evaluateNow(dashboard->view, "(function(){var t=performance.now();applyResult(DATA);document.body.offsetHeight;"
                                                                  "return String(performance.now()-t);})()");
        state.SetIterationTime(std::stod(ms) / 1000);
    }
}

BENCHMARK(BM_OpenDemoToShiftTable)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_OpenYearToShiftTable)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_RenderYearInPage)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "dashboard_bench: no display (run under xvfb-run -a)\n");
        return 1;
    }
    bench::DashboardWindow window("document.readyState === 'complete' && window.DATA === null ? 'y' : ''");
    dashboard = &window;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
