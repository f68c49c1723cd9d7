// The dashboard in a real web view (needs a display, e.g. xvfb-run -a): from openPath of a
// download to the rendered shift table, for the bundled demo download and a generated driver of
// a whole year; the analysis runs on the bridge's worker as in the window.
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

// Opens the file and waits until the shift table of the new document is in the page.
void openAndRender(benchmark::State& state, const std::string& file) {
    const std::string open = "DATA=null;document.getElementById('tableArea').innerHTML='';openPath(" + app::jsonQuote(file) + ");''";
    const std::string rendered = "window.DATA && document.querySelector('#tableArea tr.shift') ? String(document.querySelectorAll('#tableArea tr.shift').length) : ''";
    std::string rows;
    for (auto _ : state) {
        test::evaluateNow(dashboard->view, open);
        if (!test::spinUntil([&] { return !(rows = test::evaluateNow(dashboard->view, rendered)).empty(); }, 60)) {
            state.SkipWithError("the shift table did not appear");
            return;
        }
    }
    state.counters["shift_rows"] = std::stod(rows);
}

void BM_OpenDemoToShiftTable(benchmark::State& state) { openAndRender(state, DDD_DEMO_PATH); }

void BM_OpenYearToShiftTable(benchmark::State& state) {
    std::string pattern = (fs::temp_directory_path() / "ddd_dashboard_bench_XXXXXX").string();
    const fs::path folder = ::mkdtemp(pattern.data());
    const auto bytes = gen::writeCardDownload(gen::randomCard(17, 365, gen::Generation::Both));
    std::ofstream(folder / "driver.ddd", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    openAndRender(state, (folder / "driver.ddd").string());
    fs::remove_all(folder);
}

BENCHMARK(BM_OpenDemoToShiftTable)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_OpenYearToShiftTable)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

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
