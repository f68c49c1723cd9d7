// Export-all of a fleet's folder tree: 20 drivers with a year of downloads each, every month
// filed as CSV, manifest and a PDF rendered by the real WebKitGTK renderer, two at a time, as
// the dashboard runs it. Needs a display: xvfb-run -a build/default/bench/export_all_bench
#include <benchmark/benchmark.h>

#include <gtk/gtk.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/export_all.h"
#include "app/gtk/pdf_renderer.h"
#include "bench/process_tree.h"
#include "tools/generator/card_generator.h"

namespace {

namespace fs = std::filesystem;
using namespace ddd;

constexpr int kDrivers = 20;
constexpr int kDays = 365;

// A private source tree of generated downloads and an empty target beside it, removed at the end.
class Fleet {
public:
    Fleet() {
        std::string pattern = (fs::temp_directory_path() / "ddd_export_all_bench_XXXXXX").string();
        root_ = mkdtemp(pattern.data());
        for (int driver = 0; driver < kDrivers; ++driver) {
            gen::CardDescription card = gen::randomCard(100 + static_cast<std::uint64_t>(driver), kDays, gen::Generation::Gen1);
            // The driver is told apart by the first 14 characters of the card number.
            card.identity.cardNumber = "DF" + std::to_string(100000000000 + driver) + "01";
            const auto bytes = gen::writeCardDownload(card);
            const fs::path file = source() / ("fahrer" + std::to_string(driver)) / "karte.ddd";
            fs::create_directories(file.parent_path());
            std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
    }
    ~Fleet() { fs::remove_all(root_); }
    fs::path source() const { return root_ / "quelle"; }
    fs::path target() const { return root_ / "ziel"; }

private:
    fs::path root_;
};

// The dashboard's host as far as export-all uses it: the real PDF renderer and no page.
class RendererHost : public app::ShellHost {
public:
    std::string chooseDddFile() override { return {}; }
    std::string chooseFolder(const std::string&, const std::string&) override { return {}; }
    std::string chooseSavePath(const std::string&) override { return {}; }
    void revealInFinder(const std::string&) override {}
    void launchFinder(const std::string&) override {}
    void renderReportPdfAsync(const std::string&, const std::string&, const std::string&) override {}
    // The tree is sampled every second (see the benchmark), not as each PDF is written: reading
    // its maps takes 15 to 40 ms on the main thread, a fifth of a month's render.
    void renderPdfAsync(const std::string& html, const std::string& outPath, std::function<void(bool)> done) override {
        app::renderPdfAsync(html, outPath, std::move(done));
    }
    void evaluateScript(const std::string&, std::function<void(std::string)> done) override { done(""); }

    double peakPssMb = 0;
};

// Takes the final answer; the batch runs on this thread, so nothing is ever dispatched.
class AnswerView : public app::WebView {
public:
    void bind(const std::string&, SyncFunction) override {}
    void bindAsync(const std::string&, AsyncFunction) override {}
    void resolve(const std::string&, int, const std::string& result) override { answer = result; }
    void init(const std::string&) override {}
    void eval(const std::string&) override {}
    void setHtml(const std::string&) override {}
    void setTitle(const std::string&) override {}
    void setSize(int, int, app::SizeHint) override {}
    void dispatch(std::function<void()> task) override { task(); }
    void run() override {}
    void terminate() override {}

    std::string answer;
};

gboolean samplePss(gpointer host) {
    auto* sampled = static_cast<RendererHost*>(host);
    sampled->peakPssMb = std::max(sampled->peakPssMb, bench::treePssMb());
    return G_SOURCE_CONTINUE;
}

void BM_ExportAllTwentyDriversOneYear(benchmark::State& state) {
    if (!gtk_init_check(nullptr, nullptr)) {
        state.SkipWithError(app::kNoDisplayMessage);
        return;
    }
    Fleet fleet;
    RendererHost host;
    long pdfs = 0;
    double renderSeconds = 0, renderCpuSeconds = 0;
    const double cpuBefore = bench::treeCpuSeconds();
    for (auto _ : state) {
        AnswerView view;
        auto batch = std::make_shared<app::BatchRenderState>();
        batch->run = app::writeExportAll(fleet.source().string(), fleet.target().string(), app::Settings{}, 1735689600);
        batch->view = &view;
        batch->host = &host;
        const guint sampler = g_timeout_add_seconds(1, samplePss, &host);
        const auto renderStart = std::chrono::steady_clock::now();
        const double renderCpuStart = bench::treeCpuSeconds();
        app::renderNextBatch(batch);
        while (view.answer.empty()) g_main_context_iteration(nullptr, TRUE);
        renderSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - renderStart).count();
        renderCpuSeconds += bench::treeCpuSeconds() - renderCpuStart;
        samplePss(&host);
        g_source_remove(sampler);
        if (batch->pdfFailed > 0 || batch->run.drivers.size() != kDrivers) state.SkipWithError(view.answer.c_str());
        pdfs += batch->pdfWritten;
        state.counters["months"] = static_cast<double>(batch->run.jobs.size());
    }
    state.counters["pdf_per_s"] = benchmark::Counter(static_cast<double>(pdfs), benchmark::Counter::kIsRate);
    state.counters["tree_cpu_ms_per_pdf"] = (bench::treeCpuSeconds() - cpuBefore) * 1000 / static_cast<double>(std::max(pdfs, 1L));
    // The PDFs alone, once the folder is analysed and the CSV files are written.
    state.counters["render_pdf_per_s"] = static_cast<double>(pdfs) / std::max(renderSeconds, 1e-9);
    state.counters["render_cpu_ms_per_pdf"] = renderCpuSeconds * 1000 / static_cast<double>(std::max(pdfs, 1L));
    state.counters["peak_tree_pss_MB"] = host.peakPssMb;
}

}  // namespace

BENCHMARK(BM_ExportAllTwentyDriversOneYear)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
