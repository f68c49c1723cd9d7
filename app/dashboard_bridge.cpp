#include "app/dashboard_bridge.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <exception>
#include <optional>
#include <filesystem>
#include <thread>
#include <vector>

#include "analysis/pipeline.h"
#include "app/archive_sync.h"
#include "app/bridge_text.h"
#include "app/export_all.h"
#include "app/settings.h"
#include "app/window_page.h"
#include "card/card_read_reply.h"
#include "core/atomic_file.h"
#include "core/card_file.h"
#include "core/json_writer.h"
#include "core/primitives.h"
#include "core/vu_download.h"
#include "finder/archive_index.h"
#include "finder/fleet_cache.h"
#include "report/analysis_json.h"
#include "report/csv_export.h"
#include "report/fleet_export.h"
#include "report/provenance_text.h"
#include "report/vehicle_csv.h"
#include "report/vehicle_json.h"
#include "report/vehicle_report.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxNumberedName = 1000;
// The fleet overview is shown again after this many drivers and vehicles were computed.
constexpr long kFleetEntriesPerNotice = 25;

// What an opened path holds. A download that decodes and carries a driver application (of either
// generation) is a card download; one in which at least one vehicle-unit block reads whole is a
// vehicle unit's download, even when it stops after that block. What cannot be read at all is
// said to be so, and any other file opens nothing.
struct OpenedFile {
    enum class Kind { CardDownload, VehicleUnit, Unreadable, Neither } kind = Kind::Unreadable;
    std::string reason;  // German, for a file that is unreadable or neither
};

OpenedFile classifyOpenedFile(const std::string& path) {
    const auto bytes = readWholeFile(path);
    if (!bytes) return {OpenedFile::Kind::Unreadable, bytes.reason()};
    if (bytes->empty()) return {OpenedFile::Kind::Neither, "die Datei ist leer."};
    const auto card = decodeCardFile(*bytes);
    if (card && (card.value().gen1.has_value() || card.value().gen2.has_value())) return {OpenedFile::Kind::CardDownload, {}};
    const VuDownload vu = decodeVuDownload(*bytes);
    if (vu.wholeBlocks > 0) return {OpenedFile::Kind::VehicleUnit, {}};
    if (card) return {OpenedFile::Kind::Neither, "die Kartendatei enthält keine Fahreranwendung (etwa eine Unternehmens- oder Werkstattkarte)."};
    return {OpenedFile::Kind::Neither, "der Inhalt hat weder den Aufbau einer Fahrerkarten- noch den einer Fahrzeugdatei (Karte: " +
                                           card.error().message + " bei Byte " + std::to_string(card.error().offset) +
                                           "; Fahrzeuggerät: " + vu.stopReason + " bei Byte " + std::to_string(vu.stoppedAt) + ")."};
}

std::string errorAnswer(const std::string& message) { return "{\"ok\":false,\"error\":" + jsonQuote(message) + "}"; }

std::int64_t nowUtc() { return static_cast<std::int64_t>(std::time(nullptr)); }

struct VehicleDocument {
    bool opened = false;
    std::string json;
};

VehicleDocument vehicleDocument(const std::string& path) {
    try {
        const OpenedVehicle vehicle = openVehicle(path, nowUtc());
        return {vehicle.error.empty(), report::toVehicleJson(vehicle)};
    } catch (const std::exception& error) {
        return {false, "{\"ok\":false,\"vehicle\":true,\"error\":" +
                           jsonQuote(std::string("Fahrzeugdatei konnte nicht ausgewertet werden: ") + error.what()) + "}"};
    } catch (...) {
        return {false, "{\"ok\":false,\"vehicle\":true,\"error\":\"Fahrzeugdatei konnte nicht ausgewertet werden.\"}"};
    }
}

// The candidates of the opened file's driver from the kept archive index, when it is current for
// the file's folder; otherwise the analysis walks the folder tree.
std::optional<DownloadWalk> keptDriverCandidates(const std::string& path) {
    const std::string file = finder::defaultArchiveIndexPath();
    std::error_code missing;
    if (!fs::exists(file, missing)) return std::nullopt;
    try {
        const finder::ArchiveIndex index(file);
        return index.kept() ? index.driverCandidates(path) : std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

std::string analysisDocument(const std::string& path) {
    try {
        if (auto candidates = keptDriverCandidates(path)) return toAnalysisJson(analyzeDriverOfFile(path, *candidates));
        return analyzeOpenedFile(path);
    } catch (const std::exception& error) {
        return "{\"ok\":false,\"error\":" + jsonQuote(std::string("Analyse fehlgeschlagen: ") + error.what()) + "}";
    } catch (...) {
        return "{\"ok\":false,\"error\":\"Analyse fehlgeschlagen.\"}";
    }
}

// The current card file and the other downloads of its driver in its folder tree; the file
// alone when they cannot be found.
std::vector<std::string> csvFileSet(const std::string& currentFile) {
    try {
        if (auto group = driverGroupOfFile(currentFile)) return group->paths;
    } catch (...) {
    }
    return {currentFile};
}

// The settings as stored afterwards; a save that failed adds "saveError" with the reason, since
// the switch the user just moved would otherwise silently spring back on the next start.
std::string settingsAfterSaving(const Settings& settings) {
    int systemError = 0;
    std::string json = settingsJson(loadSettings());
    if (saveSettings(settings, &systemError)) return settingsJson(loadSettings());
    json.pop_back();
    return json + ",\"saveError\":" +
           jsonQuote("Einstellungen konnten nicht gespeichert werden: " +
                     (systemError ? systemErrorText(systemError) : std::string("ungültiger Ordnername"))) +
           "}";
}

std::string settingsAfter(void (*change)(Settings&, bool), bool value) {
    Settings settings = loadSettings();
    change(settings, value);
    return settingsAfterSaving(settings);
}

bool flagArg(const std::string& request) {
    const std::string value = firstStringArg(request);
    return value == "1" || value == "true";
}

// folder/name.pdf, or the first of "name (2).pdf", "name (3).pdf", ... that does not exist yet.
std::string freeReportPath(const std::string& folder, const std::string& name) {
    std::error_code ignored;
    fs::path path = fs::path(folder) / (name + ".pdf");
    for (int n = 2; fs::exists(path, ignored) && n < kMaxNumberedName; ++n) {
        path = fs::path(folder) / (name + " (" + std::to_string(n) + ").pdf");
    }
    return path.string();
}

// "Max 03.2024.pdf" gets "Max 03.2024 Quellen.txt" beside it.
std::string manifestPathOf(const std::string& pdfPath) {
    std::string stem = pdfPath;
    if (stem.size() >= 4) {
        std::string ending = stem.substr(stem.size() - 4);
        for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ending == ".pdf") stem.resize(stem.size() - 4);
    }
    return stem + " Quellen.txt";
}

struct PrintJob {
    std::string callId;
    std::string path;
    bool automatic = false;
    std::string cardFile;
    std::string monthKey;
    bool includeManifest = false;
};

std::string printAnswer(const PrintJob& job, bool ok) {
    std::string manifest;
    if (ok && job.includeManifest && !job.cardFile.empty()) {
        const std::string text = report::provenanceTextOfFile(job.cardFile, job.monthKey, nowUtc());
        const std::string path = manifestPathOf(job.path);
        if (!text.empty() && writeFileAtomically(path, text)) manifest = path;
    }
    return std::string("{\"ok\":") + (ok ? "true" : "false") + ",\"path\":" + pathForPage(job.path) +
           ",\"auto\":" + (job.automatic ? "true" : "false") + ",\"manifest\":" + pathForPage(manifest) + "}";
}

// Where a report named `name` goes: asked for through the save dialog, or without a dialog the
// next free name in the report folder. Empty path: the dialog was cancelled.
void chooseReportPath(ShellHost& host, const Settings& settings, const std::string& name, PrintJob& job) {
    job.automatic = !settings.berichtFolder.empty() && !settings.askEachTime;
    if (job.automatic) {
        std::error_code ignored;
        fs::create_directories(settings.berichtFolder, ignored);
        job.path = freeReportPath(settings.berichtFolder, name);
    } else {
        job.path = host.chooseSavePath(name);
    }
}

void print(WebView& view, ShellState& state, ShellHost& host, const std::string& callId, const std::string& request) {
    std::string name = firstStringArg(request);
    if (name.empty()) name = "Bericht";
    PrintJob job;
    job.callId = callId;
    job.monthKey = monthKeyFromArg(secondStringArg(request));
    job.cardFile = state.currentFile;
    const Settings settings = loadSettings();
    job.includeManifest = settings.includeManifest;
    chooseReportPath(host, settings, name, job);
    if (job.path.empty()) {
        view.resolve(callId, 0, "null");
        return;
    }
    host.evaluateScript(kReportExtractionScript, [&view, &host, job](const std::string& html) {
        host.renderPdfAsync(html, job.path, [&view, job](bool ok) { view.resolve(job.callId, 0, printAnswer(job, ok)); });
    });
}

// Renders a report built on a worker, or answers why it could not be built.
void renderReport(WebView& view, ShellHost& host, const PrintJob& job, const std::string& html, const std::string& error) {
    if (!error.empty()) {
        std::string answer = printAnswer(job, false);
        answer.pop_back();
        view.resolve(job.callId, 0, answer + ",\"error\":" + jsonQuote(error) + "}");
        return;
    }
    host.renderPdfAsync(html, job.path, [&view, job](bool ok) { view.resolve(job.callId, 0, printAnswer(job, ok)); });
}

// The vehicle report of the vehicle view, saved like the driver's report but without a manifest.
// The vehicle is opened and the report built on a worker; only the rendering needs the main thread.
void vehicleReport(WebView& view, ShellState& state, ShellHost& host, const std::string& callId, const std::string& request) {
    std::string name = firstStringArg(request);
    if (name.empty()) name = "Fahrzeugbericht";
    PrintJob job;
    job.callId = callId;
    if (state.currentVehicleFile.empty()) {
        view.resolve(callId, 0, "{\"ok\":false,\"path\":\"\",\"auto\":false,\"manifest\":\"\",\"error\":\"Keine Fahrzeugdatei geöffnet.\"}");
        return;
    }
    chooseReportPath(host, loadSettings(), name, job);
    if (job.path.empty()) {
        view.resolve(callId, 0, "null");
        return;
    }
    if (state.vehicleReportThread.joinable()) state.vehicleReportThread.join();
    state.vehicleReportThread = std::thread([&view, &host, job, file = state.currentVehicleFile] {
        std::string html, error;
        try {
            const std::int64_t now = nowUtc();
            const OpenedVehicle vehicle = openVehicle(file, now);
            if (vehicle.error.empty()) html = report::buildVehicleReportHtml(vehicle, now);
            else error = vehicle.error;
        } catch (const std::exception& e) {
            error = std::string("Bericht konnte nicht erstellt werden: ") + e.what();
        }
        view.dispatch([&view, &host, job, html = std::move(html), error = std::move(error)] { renderReport(view, host, job, html, error); });
    });
}

// The file is read and classified on the worker too: the window keeps answering whatever the
// path holds. The path becomes the current card file only once it proved to be a card download,
// the current vehicle file once it opened as a vehicle.
void analyse(WebView& view, ShellState& state, const std::string& callId, const std::string& request) {
    const std::string requested = normalizeSlashes(pathFromPage(firstStringArg(request)));
    if (state.analysisThread.joinable()) state.analysisThread.join();
    state.analysisThread = std::thread([&view, &state, callId, requested, current = state.currentFile] {
        const OpenedFile opened = requested.empty() ? OpenedFile{OpenedFile::Kind::CardDownload, {}} : classifyOpenedFile(requested);
        std::string document;
        bool vehicleOpened = false;
        if (opened.kind == OpenedFile::Kind::CardDownload) document = analysisDocument(requested.empty() ? current : requested);
        if (opened.kind == OpenedFile::Kind::VehicleUnit) {
            VehicleDocument vehicle = vehicleDocument(requested);
            vehicleOpened = vehicle.opened;
            document = std::move(vehicle.json);
        }
        view.dispatch([&view, &state, callId, requested, opened, vehicleOpened, document = std::move(document)] {
            switch (opened.kind) {
            case OpenedFile::Kind::Unreadable:
                view.resolve(callId, 0,
                             errorAnswer("Datei kann nicht geöffnet werden: " + visibleText(requested) + " " + opened.reason));
                return;
            case OpenedFile::Kind::Neither:
                view.resolve(callId, 0, "{\"ok\":false,\"unrecognised\":true,\"error\":" +
                                            jsonQuote("Keine Fahrerkarten- oder Fahrzeugdatei: " + opened.reason) + "}");
                return;
            case OpenedFile::Kind::VehicleUnit:
                // The dialog and the start-up file name the path before it is known to be a vehicle's.
                if (state.currentFile == requested) state.currentFile.clear();
                if (vehicleOpened) state.currentVehicleFile = requested;
                view.resolve(callId, 0, document);
                return;
            case OpenedFile::Kind::CardDownload:
                if (!requested.empty()) state.currentFile = requested;
                view.resolve(callId, 0, document);
                return;
            }
        });
    });
}

// The card read's folder replaces the previous one only on the main thread, so the page's next
// export or report already works on the card just read.
void readCard(WebView& view, ShellState& state, const std::string& callId, const std::string& request) {
    if (state.cardReadThread.joinable()) state.cardReadThread.join();
    state.cardReadThread = std::thread([&view, &state, callId, reader = firstStringArg(request)] {
        CardReadReply reply = readCardAndAnalyze(reader);
        view.dispatch([&view, &state, callId, reply = std::move(reply)] {
            if (!reply.savedFile.empty()) {
                const std::string folder = reply.tempFolder.string();
                if (!state.cardTempDir.empty() && state.cardTempDir != folder) {
                    std::error_code ignored;
                    fs::remove_all(state.cardTempDir, ignored);
                }
                state.cardTempDir = folder;
                state.currentFile = reply.savedFile.string();
            }
            view.resolve(callId, 0, reply.json);
        });
    });
}

// The base path of a written CSV set, or an error object saying why nothing was written.
std::string csvAnswer(const report::CsvExportResult& written, const std::string& folder, const std::string& basePath,
                      const std::string& emptyText) {
    if (written.ok && written.written > 0) return pathForPage(basePath);
    if (written.ok) return errorAnswer(emptyText);
    if (written.systemError != 0) {
        return errorAnswer("CSV-Export fehlgeschlagen: " + systemErrorText(written.systemError) + " (" + visibleText(folder) + ")");
    }
    return errorAnswer("CSV-Export fehlgeschlagen: " + visibleText(written.error));
}

// The base path of the written set; null when there is no card or the dialog was cancelled; an
// error object saying why when nothing could be written.
std::string exportCsv(ShellState& state, ShellHost& host, const std::string& request) {
    if (state.currentFile.empty()) return "null";
    const std::string monthKey = monthKeyFromArg(firstStringArg(request));
    const std::string folder = host.chooseFolder("CSV-Export — Zielordner wählen", "Hier speichern");
    if (folder.empty()) return "null";
    const std::string basePath = folder + "/" + fs::path(cardBasePath(state.currentFile)).filename().string();
    return csvAnswer(report::exportCsv(csvFileSet(state.currentFile), monthKey, basePath), folder, basePath,
                     "CSV-Export: keine Einträge im gewählten Zeitraum.");
}

// The vehicle's CSV set, named after its download, in a folder the user chooses; answered like
// the driver's set.
std::string exportVehicleCsv(ShellState& state, ShellHost& host) {
    if (state.currentVehicleFile.empty()) return "null";
    const std::string folder = host.chooseFolder("CSV-Export — Zielordner wählen", "Hier speichern");
    if (folder.empty()) return "null";
    const std::string basePath = folder + "/" + fs::path(cardBasePath(state.currentVehicleFile)).filename().string();
    return csvAnswer(report::exportVehicleCsv(state.currentVehicleFile, basePath, nowUtc()), folder, basePath,
                     "CSV-Export: keine Einträge für dieses Fahrzeug.");
}

// Computes on a worker what the overview lacks; the page hears of every few entries stored and of
// the end, and asks for the overview again. One at a time: a later request finds it running.
void completeFleet(WebView& view, ShellState& state, finder::KeptFleet kept) {
    if (state.fleetCompleting || state.closing) return;
    if (state.fleetCompletionThread.joinable()) state.fleetCompletionThread.join();
    state.fleetCompleting = true;
    state.fleetCompletionThread = std::thread([&view, &state, kept = std::move(kept)] {
        const auto tellPage = [&view] { view.dispatch([&view] { view.eval("window.__fleetRefreshed&&window.__fleetRefreshed()"); }); };
        long stored = 0;
        try {
            stored = finder::FleetCache(kept.file).complete(kept.archive, &state.closing, [&](long count) {
                if (count % kFleetEntriesPerNotice == 0) tellPage();
            });
        } catch (const std::exception& error) {
            diagLog(std::string("fleet overview: ") + error.what());
        }
        if (stored % kFleetEntriesPerNotice != 0) tellPage();
        state.fleetCompleting = false;
    });
}

// The overview of the kept archive index as it stands; with "1" what it lacks is then computed.
void fleet(WebView& view, ShellState& state, const std::string& callId, const std::string& request) {
    const bool complete = firstStringArg(request) == "1";
    if (state.fleetThread.joinable()) state.fleetThread.join();
    state.fleetThread = std::thread([&view, &state, callId, complete] {
        std::string answer;
        std::optional<finder::KeptFleet> kept;
        try {
            const std::int64_t now = nowUtc();
            kept = finder::openKeptFleet(finder::defaultArchiveIndexPath(), now);
            answer = report::fleetJson(kept->overview, kept->notice, now);
        } catch (const std::exception& error) {
            answer = errorAnswer(std::string("Flottenübersicht nicht verfügbar: ") + error.what());
        }
        if (!complete || !kept || kept->overview.pending == 0) kept.reset();
        view.dispatch([&view, &state, callId, answer = std::move(answer), kept = std::move(kept)]() mutable {
            view.resolve(callId, 0, answer);
            if (kept) completeFleet(view, state, std::move(*kept));
        });
    });
}

std::string fleetOrError(finder::KeptFleet& kept) {
    try {
        kept = finder::openKeptFleet(finder::defaultArchiveIndexPath(), nowUtc());
        return {};
    } catch (const std::exception& error) {
        return std::string("Flottenübersicht nicht verfügbar: ") + error.what();
    }
}

// The overview's CSV pair in a folder the user chooses, answered like the driver's set.
std::string exportFleetCsv(ShellHost& host) {
    const std::string folder = host.chooseFolder("CSV-Export — Zielordner wählen", "Hier speichern");
    if (folder.empty()) return "null";
    finder::KeptFleet kept;
    if (const std::string error = fleetOrError(kept); !error.empty()) return errorAnswer(error);
    const std::string basePath = folder + "/Flotte " + formatDate(nowUtc());
    return csvAnswer(report::writeFleetCsv(kept.overview, basePath), folder, basePath, "CSV-Export: keine Fahrer und Fahrzeuge im Archiv-Index.");
}

// The overview's report, saved like the vehicle's; the overview is read on a worker.
void fleetReport(WebView& view, ShellState& state, ShellHost& host, const std::string& callId, const std::string& request) {
    std::string name = firstStringArg(request);
    if (name.empty()) name = "Flotte";
    PrintJob job;
    job.callId = callId;
    chooseReportPath(host, loadSettings(), name, job);
    if (job.path.empty()) {
        view.resolve(callId, 0, "null");
        return;
    }
    if (state.vehicleReportThread.joinable()) state.vehicleReportThread.join();
    state.vehicleReportThread = std::thread([&view, &host, job] {
        finder::KeptFleet kept;
        const std::string error = fleetOrError(kept);
        const std::string html = error.empty() ? report::fleetReportHtml(kept.overview, nowUtc()) : std::string();
        view.dispatch([&view, &host, job, html, error] { renderReport(view, host, job, html, error); });
    });
}

std::string yearFolder(const std::string& request) {
    const std::string folder = homeDirectory() + "/Downloads/Tacho Berichte " + firstStringArg(request);
    std::error_code error;
    fs::create_directories(folder, error);
    return fs::is_directory(folder, error) ? jsonQuote(folder) : "null";
}

// The counts always tell what was done; "failed" and "error" tell what went wrong, so a run that
// stopped half way (a full archive disk) is not shown as cancelled.
std::string sync(ShellHost& host) {
    const std::string source = host.chooseFolder("DDD-Sync — Quellordner mit den .ddd-Dateien wählen", "Quellordner");
    if (source.empty()) return "{\"ok\":false,\"copied\":0,\"skipped\":0}";
    const std::string target = host.chooseFolder("DDD-Sync — Zielordner (Archiv) wählen", "Zielordner");
    if (target.empty()) return "{\"ok\":false,\"copied\":0,\"skipped\":0}";
    const SyncResult result = syncDddArchive(source, target);
    char answer[128];
    std::snprintf(answer, sizeof answer, "{\"ok\":%s,\"copied\":%lld,\"skipped\":%lld,\"failed\":%lld,\"error\":",
                  result.ok ? "true" : "false", static_cast<long long>(result.copied),
                  static_cast<long long>(result.skipped), static_cast<long long>(result.failed));
    return answer + jsonQuote(result.error) + "}";
}

std::string chooseBerichtFolder(ShellHost& host) {
    const std::string chosen = host.chooseFolder("Standard-Ordner für Berichte wählen", "Ordner wählen");
    if (chosen.empty()) return settingsJson(loadSettings());
    Settings settings = loadSettings();
    settings.berichtFolder = normalizeSlashes(chosen);
    return settingsAfterSaving(settings);
}

}  // namespace

void bindDashboard(WebView& view, ShellState& state, ShellHost& host) {
    view.bind("tachoStartupFile", [&state](const std::string&) { return takeStartupFile(state); });
    view.bind("tachoOpenFile", [&state, &host](const std::string&) {
        const std::string path = normalizeSlashes(host.chooseDddFile());
        if (path.empty()) return std::string("null");
        state.currentFile = path;
        return pathForPage(path);
    });
    view.bind("tachoListReaders", [](const std::string&) { return listReadersJson(); });
    view.bindAsync("tachoReadCard", [&view, &state](const std::string& callId, const std::string& request) {
        readCard(view, state, callId, request);
    });
    view.bindAsync("tachoAnalyze", [&view, &state](const std::string& callId, const std::string& request) {
        analyse(view, state, callId, request);
    });
    view.bind("tachoExportCsv", [&state, &host](const std::string& request) { return exportCsv(state, host, request); });
    view.bind("tachoYearFolder", [](const std::string& request) { return yearFolder(request); });
    view.bindAsync("tachoExportAll", [&view, &state, &host](const std::string& callId, const std::string&) {
        startExportAll(view, state, host, callId);
    });
    view.bind("tachoSync", [&host](const std::string&) { return sync(host); });
    view.bind("tachoOpenFinder", [&host](const std::string& request) {
        host.launchFinder(normalizeSlashes(pathFromPage(firstStringArg(request))));
        return std::string("null");
    });
    view.bindAsync("tachoSavePdf", [&view, &host](const std::string& callId, const std::string& request) {
        const std::string path = normalizeSlashes(firstStringArg(request));
        if (path.empty()) {
            view.resolve(callId, 0, "false");
            return;
        }
        host.evaluateScript(kReportExtractionScript,
                            [&host, callId, path](const std::string& html) { host.renderReportPdfAsync(callId, html, path); });
    });
    view.bindAsync("tachoPrint", [&view, &state, &host](const std::string& callId, const std::string& request) {
        print(view, state, host, callId, request);
    });
    view.bind("tachoVehicleCsv", [&state, &host](const std::string&) { return exportVehicleCsv(state, host); });
    view.bindAsync("tachoVehicleReport", [&view, &state, &host](const std::string& callId, const std::string& request) {
        vehicleReport(view, state, host, callId, request);
    });
    view.bindAsync("tachoFleet", [&view, &state](const std::string& callId, const std::string& request) {
        fleet(view, state, callId, request);
    });
    view.bind("tachoFleetCsv", [&host](const std::string&) { return exportFleetCsv(host); });
    view.bindAsync("tachoFleetReport", [&view, &state, &host](const std::string& callId, const std::string& request) {
        fleetReport(view, state, host, callId, request);
    });
    view.bind("tachoGetSettings", [](const std::string&) { return settingsJson(loadSettings()); });
    view.bind("tachoChooseBerichtFolder", [&host](const std::string&) { return chooseBerichtFolder(host); });
    view.bind("tachoSetAskEachTime", [](const std::string& request) {
        return settingsAfter([](Settings& s, bool v) { s.askEachTime = v; }, flagArg(request));
    });
    view.bind("tachoSetIncludeManifest", [](const std::string& request) {
        return settingsAfter([](Settings& s, bool v) { s.includeManifest = v; }, flagArg(request));
    });
    view.bind("tachoSetShowCoverageGaps", [](const std::string& request) {
        return settingsAfter([](Settings& s, bool v) { s.showCoverageGaps = v; }, flagArg(request));
    });
    view.bind("tachoReveal", [&host](const std::string& request) {
        const std::string path = normalizeSlashes(pathFromPage(firstStringArg(request)));
        if (!path.empty()) host.revealInFinder(path);
        return std::string("null");
    });
    view.init(kPrintOverrideScript);
}

}  // namespace ddd::app
