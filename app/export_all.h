// Export-all: monthly reports for every driver of a folder tree of card downloads, filed as
// <target>/<driver>/<year>/<month>.pdf, .csv and _Quellen.txt. The scan and the CSV and manifest
// files are written on a worker; the PDFs are rendered on the main thread, two at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_result.h"
#include "analysis/pipeline.h"
#include "analysis/provenance.h"
#include "app/settings.h"
#include "app/shell_host.h"
#include "app/webview.h"

namespace ddd::app {

struct DriverExport {
    AnalysisResult result;
    std::string folderName;
    std::vector<std::string> months;  // "YYYY/MM" of the months holding a shift, ascending
    report::ProvenanceModel provenance;
};

struct PdfJob {
    std::size_t driver = 0;  // index into the DriverExport list
    std::string monthKey;
    std::string path;
};

// A driver left out because the analysis refused his downloads.
struct RefusedDriver {
    std::string name;    // driver name, else card number, else the first file's name
    std::string reason;  // the analysis error
};

struct ExportAllRun {
    bool ok = false;
    std::string error;  // German, when the folder scan failed
    FolderScanCounters counters;
    std::vector<DriverExport> drivers;
    std::vector<RefusedDriver> refused;
    std::vector<PdfJob> jobs;
    long csvWritten = 0;
    long csvFailures = 0;
    long manifestFailures = 0;
    std::string writeError;            // the first failed write's path and reason, German
    std::vector<SkippedFile> skipped;  // what the folder walk left out
    std::int64_t createdAt = 0;
    bool showCoverageGaps = true;
};

// The driver's folder: name, card number and country, reduced to bytes every file system takes.
std::string exportFolderName(const std::string& driver, const std::string& card, std::uint32_t nation);

// Scans `source`, analyses every driver found and writes each month's CSV (and manifest, when the
// settings ask for it) below `target`; the PDFs are left as jobs. Every file is written under a
// temporary name and renamed, so an interrupted run leaves no half-written file. Never throws.
ExportAllRun writeExportAll(const std::string& source, const std::string& target, const Settings& settings,
                            std::int64_t now);

// PDFs rendered at once: one for each of the renderer's warm views, so that the two processor
// cores a machine has at least both work, and the next report is built while one prints.
inline constexpr std::size_t kPdfsInFlight = 2;

// Lives on the main thread while the PDFs of a run are rendered, kPdfsInFlight jobs at a time.
struct BatchRenderState {
    ExportAllRun run;
    std::size_t nextJob = 0;
    std::size_t rendering = 0;  // jobs started and not yet finished
    long pdfWritten = 0;
    long pdfFailed = 0;
    std::string callId;
    WebView* view = nullptr;
    ShellHost* host = nullptr;
};

// Reports progress to the page and starts renders until kPdfsInFlight are running; after the last
// job the call is answered with the counts.
void renderNextBatch(std::shared_ptr<BatchRenderState> state);

// The answer of a finished run (also when the scan failed).
std::string exportAllAnswer(const BatchRenderState& state);

// tachoExportAll: asks for the source and the target folder and runs the export on
// state.exportAllThread; a cancelled dialog answers null.
void startExportAll(WebView& view, ShellState& state, ShellHost& host, const std::string& callId);

}  // namespace ddd::app
