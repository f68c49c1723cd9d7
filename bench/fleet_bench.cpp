// The dashboard's fleet overview in a real web view (needs a display, e.g. xvfb-run -a): from
// showing the view to both tables painted, over a kept index of a generated fleet of 300 drivers
// and 300 vehicles whose background facts are already computed, as on a dispatcher's morning.
// Reports the index file's size, the time the background takes to compute every driver and
// vehicle once, and the process's peak memory.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "bench/dashboard_window.h"
#include "finder/fleet_cache.h"
#include "report/fleet_export.h"
#include "tests/support/temp_folder.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

using namespace ddd;

bench::DashboardWindow* dashboard = nullptr;
std::string indexFile;
double backgroundSeconds = 0;  // computing every driver's and vehicle's facts once, before the runs

void BM_FleetFirstPaint(benchmark::State& state) {
    const std::string reset = "closeFleet();FLEET=null;document.getElementById('fleet').innerHTML='';''";
    const std::string painted =
        "FLEET && document.querySelectorAll('#fleet-drivers tbody tr').length === FLEET.drivers.length && "
        "document.querySelectorAll('#fleet-vehicles tbody tr').length === FLEET.vehicles.length ? FLEET.drivers.length + '/' + FLEET.vehicles.length : ''";
    std::string rows;
    for (auto _ : state) {
        state.PauseTiming();
        test::evaluateNow(dashboard->view, reset);
        state.ResumeTiming();
        test::evaluateNow(dashboard->view, "showFleet();''");
        if (!test::spinUntil([&] { return !(rows = test::evaluateNow(dashboard->view, painted)).empty(); }, 60)) {
            state.SkipWithError("the overview did not appear");
            return;
        }
    }
    state.counters["drivers"] = std::stod(rows.substr(0, rows.find('/')));
    state.counters["vehicles"] = std::stod(rows.substr(rows.find('/') + 1));
    state.counters["index_MB"] = static_cast<double>(std::filesystem::file_size(indexFile)) / 1e6;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024;
}

// The native part of it: the overview read from the index and its cache, and its document.
void BM_FleetDocument(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) bytes = report::fleetJson(finder::openKeptFleet(indexFile, 0).overview, "", 0).size();
    state.counters["document_kB"] = static_cast<double>(bytes) / 1e3;
    state.counters["background_s"] = backgroundSeconds;
}

BENCHMARK(BM_FleetDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_FleetFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "fleet_bench: no display (run under xvfb-run -a)\n");
        return 1;
    }
    test::TempFolder home, archive;
    ::setenv("HOME", home.path().c_str(), 1);
    ::unsetenv("XDG_DATA_HOME");
    archive.writeFleet(gen::makeFleet(7, gen::FleetPlan{.drivers = 300, .vehicles = 300, .days = 28, .cardDownloadsPerDriver = 2,
                                                         .vuDownloadsPerVehicle = 2, .speedMinutes = 5}));
    indexFile = finder::defaultArchiveIndexPath();
    finder::ArchiveIndex(indexFile).rescan({archive.path().string()}, nullptr);
    const finder::KeptFleet kept = finder::openKeptFleet(indexFile, 0);
    const auto start = std::chrono::steady_clock::now();
    finder::FleetCache(indexFile).complete(kept.archive);
    backgroundSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bench::DashboardWindow window("document.readyState === 'complete' && window.showFleet ? 'y' : ''");
    dashboard = &window;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
