#include "app/export_all.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <system_error>
#include <thread>

#include "app/bridge_text.h"
#include "core/atomic_file.h"
#include "core/folder_walk.h"
#include "core/json_writer.h"
#include "core/primitives.h"
#include "report/csv_export.h"
#include "report/driver_report.h"
#include "report/month_restriction.h"
#include "report/provenance_text.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;

// The month's CSV is its shift table: one file per month is what a monthly filing holds, and
// every exported month has at least one shift.
constexpr const char* kMonthCsvTable = "schichten";

bool keptInFolderName(unsigned char c) {
    if (c >= 0x80) return true;  // part of a multi-byte UTF-8 character
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '-' || c == '.' ||
           c == '_';
}

std::vector<std::string> monthsWithShifts(const AnalysisResult& result) {
    std::vector<std::string> months;
    for (const ShiftRecord& shift : result.shifts) months.push_back(monthKeyOf(shift.core.start));
    std::sort(months.begin(), months.end());
    months.erase(std::unique(months.begin(), months.end()), months.end());
    return months;
}

std::string refusedDriverName(const CardGroup& group) {
    for (const auto& card : group.cards) {
        const CardApplicationData* application = card ? chosenApplication(*card) : nullptr;
        if (!application || !application->identification) continue;
        std::string name = driverNameOf(*application->identification);
        if (name.empty()) name = cardNumberText(application->identification->cardNumber);
        if (!name.empty()) return name;
    }
    return group.paths.empty() ? std::string() : fs::path(group.paths.front()).filename().string();
}

std::string scanFailure(const char* message) {
    if (message == nullptr || *message == '\0') return "Ordner-Scan fehlgeschlagen.";
    return std::string("Ordner-Scan fehlgeschlagen: ") + message;
}

// Groups become drivers, their damaged copies set aside and named among the skipped files; a
// group whose analysis refuses is named in the refused list.
void analyseDrivers(CardFolder& folder, ExportAllRun& run) {
    for (CardGroup& group : folder.groups) {
        setAsideDamagedCopies(group, std::nullopt);
        run.skipped.insert(run.skipped.end(), group.skipped.begin(), group.skipped.end());
        std::vector<const DriverCardFile*> cards;
        for (const auto& card : group.cards) cards.push_back(card.get());
        AnalysisResult result = analyze(cards);
        if (!result.ok) {
            run.refused.push_back({refusedDriverName(group), result.error});
            continue;
        }
        DriverExport driver;
        driver.months = monthsWithShifts(result);
        driver.provenance = report::buildProvenance(group.paths, cards, result.card, result.driver, result.nation);
        driver.folderName = exportFolderName(result.driver, result.card, result.nation);
        driver.result = std::move(result);
        run.drivers.push_back(std::move(driver));
    }
}

void noteWriteFailure(ExportAllRun& run, long& failures, const std::string& path, int error) {
    ++failures;
    if (run.writeError.empty()) run.writeError = visibleText(path) + ": " + systemErrorText(error);
}

void writeMonthFiles(const fs::path& target, const Settings& settings, ExportAllRun& run) {
    int error = 0;
    for (std::size_t index = 0; index < run.drivers.size(); ++index) {
        const DriverExport& driver = run.drivers[index];
        for (const std::string& month : driver.months) {
            const fs::path folder = target / driver.folderName / month.substr(0, 4);
            const std::string stem = (folder / month.substr(5, 2)).string();
            std::error_code ignored;
            fs::create_directories(folder, ignored);

            for (const auto& [name, content] : report::buildCsvTables(restrictToMonth(driver.result, month))) {
                if (name != kMonthCsvTable) continue;
                if (writeFileAtomically(stem + ".csv", content, &error)) ++run.csvWritten;
                else noteWriteFailure(run, run.csvFailures, stem + ".csv", error);
            }
            if (settings.includeManifest) {
                const std::string manifest = report::renderProvenanceText(driver.provenance, month, run.createdAt);
                if (!manifest.empty() && !writeFileAtomically(stem + "_Quellen.txt", manifest, &error)) {
                    noteWriteFailure(run, run.manifestFailures, stem + "_Quellen.txt", error);
                }
            }
            run.jobs.push_back({index, month, stem + ".pdf"});
        }
    }
}

std::string progressScript(std::size_t done, std::size_t total) {
    return "window.__exportAllProgress&&__exportAllProgress(" + std::to_string(done) + "," + std::to_string(total) + ")";
}

}  // namespace

std::string exportFolderName(const std::string& driver, const std::string& card, std::uint32_t nation) {
    std::string text = driver.empty() ? card : driver + " " + card;
    if (nation != 0) {
        if (!text.empty()) text += ' ';
        text += nationName(nation);
    }
    for (char& c : text) {
        if (!keptInFolderName(static_cast<unsigned char>(c))) c = '_';
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
    return text.empty() ? "unbekannt" : text;
}

ExportAllRun writeExportAll(const std::string& source, const std::string& target, const Settings& settings,
                            std::int64_t now) {
    ExportAllRun run;
    run.createdAt = now;
    run.showCoverageGaps = settings.showCoverageGaps;
    try {
        CardFolder folder = loadCardFolder(source);
        run.counters = folder.counters;
        run.skipped = folder.skipped;
        analyseDrivers(folder, run);
        run.ok = true;
        writeMonthFiles(target, settings, run);
    } catch (const std::exception& error) {
        if (!run.ok) run.error = scanFailure(error.what());
    } catch (...) {
        if (!run.ok) run.error = scanFailure(nullptr);
    }
    return run;
}

std::string exportAllAnswer(const BatchRenderState& state) {
    if (!state.run.ok) return "{\"ok\":false,\"error\":" + jsonQuote(state.run.error) + "}";
    char counts[192];
    std::snprintf(counts, sizeof counts,
                  "{\"ok\":true,\"drivers\":%zu,\"months\":%zu,\"pdf\":%ld,\"pdfFail\":%ld,\"csv\":%ld,\"error\":\"\"",
                  state.run.drivers.size(), state.run.jobs.size(), state.pdfWritten, state.pdfFailed, state.run.csvWritten);
    std::string answer = counts;
    answer += ",\"refused\":[";
    for (std::size_t i = 0; i < state.run.refused.size(); ++i) {
        const RefusedDriver& refused = state.run.refused[i];
        if (i > 0) answer += ',';
        answer += "{\"name\":" + jsonQuote(refused.name) + ",\"reason\":" + jsonQuote(refused.reason) + "}";
    }
    // Failed writes and skipped files come last, so that readers of the earlier answer see it unchanged.
    return answer + "],\"csvFail\":" + std::to_string(state.run.csvFailures) +
           ",\"manifestFail\":" + std::to_string(state.run.manifestFailures) + ",\"writeError\":" +
           jsonQuote(state.run.writeError) + ",\"skipped\":" + skippedFilesJson(state.run.skipped) + "}";
}

void renderNextBatch(std::shared_ptr<BatchRenderState> state) {
    const std::vector<PdfJob>& jobs = state->run.jobs;
    if (state->nextJob >= jobs.size() && state->rendering == 0) {
        state->view->resolve(state->callId, 0, exportAllAnswer(*state));
        return;
    }
    while (state->nextJob < jobs.size() && state->rendering < kPdfsInFlight) {
        state->host->evaluateScript(progressScript(static_cast<std::size_t>(state->pdfWritten + state->pdfFailed), jobs.size()),
                                    [](const std::string&) {});
        const PdfJob& job = jobs[state->nextJob++];
        const report::ReportOptions options{job.monthKey, state->run.createdAt, state->run.showCoverageGaps};
        ++state->rendering;
        state->host->renderPdfAsync(report::buildReportHtml(state->run.drivers[job.driver].result, options), job.path,
                                    [state](bool written) {
                                        ++(written ? state->pdfWritten : state->pdfFailed);
                                        --state->rendering;
                                        renderNextBatch(state);
                                    });
    }
}

void startExportAll(WebView& view, ShellState& state, ShellHost& host, const std::string& callId) {
    const std::string source = host.chooseFolder("Fahrer-Ordner wählen (wird rekursiv durchsucht)", "Ordner wählen");
    if (source.empty()) {
        view.resolve(callId, 0, "null");
        return;
    }
    const std::string target = host.chooseFolder("Zielordner für die Jahres-Ordner wählen", "Hier speichern");
    if (target.empty()) {
        view.resolve(callId, 0, "null");
        return;
    }
    if (state.exportAllThread.joinable()) state.exportAllThread.join();
    try {
        state.exportAllThread = std::thread([&view, &host, callId, source, target] {
            auto batch = std::make_shared<BatchRenderState>();
            batch->run = writeExportAll(source, target, loadSettings(), static_cast<std::int64_t>(std::time(nullptr)));
            batch->callId = callId;
            batch->view = &view;
            batch->host = &host;
            view.dispatch([batch] {
                if (batch->run.ok) renderNextBatch(batch);
                else batch->view->resolve(batch->callId, 0, exportAllAnswer(*batch));
            });
        });
    } catch (const std::system_error&) {
        view.resolve(callId, 0, "{\"ok\":false,\"error\":\"thread constructor failed\"}");
    }
}

}  // namespace ddd::app
