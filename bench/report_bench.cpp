// Reports: the driver report rendered to PDF (one month and a whole year, warm, in one process;
// needs a display, e.g. xvfb-run -a), the CSV set of a two-year driver, and the vehicle report of
// a unit's 90 days. tree_cpu_ms is the processor time per report of the process and its web
// processes, which the machine's load does not inflate.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "analysis/pipeline.h"
#include "app/gtk/pdf_renderer.h"
#include "bench/process_tree.h"
#include "core/primitives.h"
#include "report/csv_export.h"
#include "report/driver_report.h"
#include "report/vehicle_report.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

namespace fs = std::filesystem;

// A private folder with one generated download of `days` days, removed at the end.
class Workspace {
public:
    explicit Workspace(int days) {
        std::string pattern = (fs::temp_directory_path() / "ddd_report_bench_XXXXXX").string();
        folder_ = mkdtemp(pattern.data());
        const auto bytes = ddd::gen::writeCardDownload(ddd::gen::randomCard(17, days, ddd::gen::Generation::Gen2));
        std::ofstream(card(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
    }
    ~Workspace() { fs::remove_all(folder_); }
    std::string card() const { return (folder_ / "driver.ddd").string(); }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }

private:
    fs::path folder_;
};

std::string firstMonth(const ddd::AnalysisResult& result) {
    const ddd::CivilTime c = ddd::toCivilTime(result.shifts.front().core.start);
    return ddd::formatMonthKey(c.year, c.month);
}

void renderReport(benchmark::State& state, bool oneMonth) {
    Workspace workspace(365);
    const ddd::AnalysisResult result = ddd::analyzeFiles({workspace.card()});
    const ddd::report::ReportOptions options{oneMonth ? firstMonth(result) : "", 1711929600, true};
    const std::string html = ddd::report::buildReportHtml(result, options);
    std::string error;
    if (!ddd::app::renderHtmlToPdf(html, workspace.path("warm.pdf"), error, 30)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const double cpuBefore = ddd::bench::treeCpuSeconds();
    for (auto _ : state) {
        if (!ddd::app::renderHtmlToPdf(html, workspace.path("report.pdf"), error, 30)) state.SkipWithError(error.c_str());
    }
    state.counters["html_kB"] = static_cast<double>(html.size()) / 1024;
    state.counters["tree_cpu_ms"] = (ddd::bench::treeCpuSeconds() - cpuBefore) * 1000 / static_cast<double>(state.iterations());
}

void BM_PdfOneMonth(benchmark::State& state) { renderReport(state, true); }
void BM_PdfWholeYear(benchmark::State& state) { renderReport(state, false); }

void BM_CsvSetTwoYears(benchmark::State& state) {
    Workspace workspace(730);
    for (auto _ : state) {
        const auto result = ddd::report::exportCsv({workspace.card()}, "", workspace.path("csv"));
        if (!result.ok) state.SkipWithError(result.error.c_str());
    }
}

// The set without the analysis: table building and writing alone.
void BM_CsvTablesTwoYears(benchmark::State& state) {
    Workspace workspace(730);
    const ddd::AnalysisResult result = ddd::analyzeFiles({workspace.card()});
    for (auto _ : state) benchmark::DoNotOptimize(ddd::report::buildCsvTables(result));
}

// The vehicle report as the dashboard saves it: the unit's download opened, its report built and
// rendered. 90 days of a crew with ten minutes of driving without a card each morning, every
// other section as the generator fills it.
void BM_VehiclePdf90Days(benchmark::State& state) {
    Workspace workspace(1);
    ddd::gen::VuDescription vu = ddd::gen::fullVuDescription(ddd::gen::VuLayout::Gen2);
    ddd::gen::VuDay day = vu.days.front();
    day.changeWords.insert(day.changeWords.begin() + 2, static_cast<std::uint16_t>(0x2000 | 3u << 11 | 350));
    vu.days.clear();
    for (int d = 0; d < 90; ++d) {
        day.date = ddd::gen::utcDay(2024, 1, 1) + d * 86400;
        for (auto& stay : day.stays) stay.insertion += 86400, stay.withdrawal += 86400;
        vu.days.push_back(day);
    }
    const auto bytes = ddd::gen::writeVuDownload(vu);
    const std::string unit = workspace.path("unit.ddd");
    std::ofstream(unit, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const std::int64_t now = ddd::gen::utcDay(2024, 4, 1);
    std::string error;
    if (!ddd::report::vehiclePdf(unit, workspace.path("warm.pdf"), error, ddd::app::renderHtmlToPdf, now)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        if (!ddd::report::vehiclePdf(unit, workspace.path("vehicle.pdf"), error, ddd::app::renderHtmlToPdf, now)) state.SkipWithError(error.c_str());
    }
    state.counters["html_kB"] = static_cast<double>(ddd::report::vehicleReportHtml(unit, now).size()) / 1024;
}

}  // namespace

BENCHMARK(BM_VehiclePdf90Days)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PdfOneMonth)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PdfWholeYear)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_CsvSetTwoYears)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvTablesTwoYears)->Unit(benchmark::kMillisecond);
