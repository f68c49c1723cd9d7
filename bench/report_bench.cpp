// Reports: the driver report rendered to PDF (one month and a whole year, warm, in one process;
// needs a display, e.g. xvfb-run -a) and the CSV set of a two-year driver.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "analysis/pipeline.h"
#include "app/gtk/pdf_renderer.h"
#include "core/primitives.h"
#include "report/csv_export.h"
#include "report/driver_report.h"
#include "tools/generator/card_generator.h"

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
    for (auto _ : state) {
        if (!ddd::app::renderHtmlToPdf(html, workspace.path("report.pdf"), error, 30)) state.SkipWithError(error.c_str());
    }
    state.counters["html_kB"] = static_cast<double>(html.size()) / 1024;
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

}  // namespace

BENCHMARK(BM_PdfOneMonth)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PdfWholeYear)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_CsvSetTwoYears)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvTablesTwoYears)->Unit(benchmark::kMillisecond);
