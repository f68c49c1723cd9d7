#include "app/finder_runtime.h"

#include <filesystem>
#include <memory>
#include <utility>

#include "app/bridge_text.h"
#include "app/shell_host.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProgressDone = "window.__finderProgress&&__finderProgress(1,1,'');";
// After the page has hidden its bar it reads the new counters and pick-lists.
constexpr const char* kRefreshPage =
    "(async function(){try{applyStats(await TachoFinder.stats());await loadOptions();}catch(e){}})();";

std::string progressScript(long done, long total) {
    return "window.__finderProgress&&__finderProgress(" + std::to_string(done) + "," + std::to_string(total) + ",'')";
}

// The worker's progress callback: false once the window is closing or a rescan by hand takes
// over, otherwise the page hears of every whole percent that changed.
bool reportProgress(WebView& view, FinderRuntime& runtime, long done, long total) {
    if (runtime.workerStop) return false;
    const int percent = total >= 1 ? static_cast<int>(static_cast<long long>(done) * 100 / total) : 100;
    if (percent == runtime.lastPercent) return true;
    runtime.lastPercent = percent;
    view.dispatch([&view, script = progressScript(done, total)] { view.eval(script); });
    return true;
}

// On the main thread, when the worker's scan has finished.
void adoptScan(WebView& view, FinderRuntime& runtime, finder::DriverIndex& fresh, const std::string& notice, int rescansByHand) {
    if (runtime.stopRequested || rescansByHand != runtime.rescansByHand) return;
    currentIndex(runtime);
    runtime.index = std::move(fresh);
    runtime.notice = notice;
    view.eval(std::string(kProgressDone) + kRefreshPage);
}

void joinWorker(FinderRuntime& runtime) {
    if (!runtime.scanThread.joinable()) return;
    runtime.workerStop = true;
    runtime.scanThread.join();
    runtime.workerStop = runtime.stopRequested.load();
}

}  // namespace

FinderRuntime::FinderRuntime() : archive(std::make_unique<finder::ArchiveIndex>("")) {}

FinderRuntime::~FinderRuntime() { stopFinderScan(*this); }

void openKeptIndex(FinderRuntime& runtime, const std::string& file, std::function<void()> read) {
    joinWorker(runtime);
    currentIndex(runtime);
    runtime.keptRead = std::async(std::launch::async, [file, read = std::move(read)] {
        KeptIndex kept{std::make_unique<finder::ArchiveIndex>(file), {}, {}};
        try {
            kept.folders = kept.archive->folders();
            kept.index = kept.archive->driverIndex();
        } catch (...) {
            // The finder starts empty; the first rescan reads the file again and sets a damaged
            // one aside.
            kept.folders = {};
        }
        if (read) read();
        return kept;
    });
}

const finder::DriverIndex& currentIndex(FinderRuntime& runtime) {
    if (!runtime.keptRead.valid()) return runtime.index;
    KeptIndex kept = runtime.keptRead.get();
    runtime.archive = std::move(kept.archive);
    runtime.index = std::move(kept.index);
    runtime.folders = std::move(kept.folders);
    runtime.notice = runtime.archive->notice();
    if (!runtime.notice.empty()) diagLog(runtime.notice);
    return runtime.index;
}

std::string finderStatsJson(FinderRuntime& runtime) {
    std::string json = finder::statsJson(currentIndex(runtime));
    if (!runtime.notice.empty()) json.insert(json.size() - 1, ",\"notice\":" + jsonQuote(runtime.notice));
    return json;
}

bool folderInside(const std::string& a, const std::string& b) {
    const fs::path relative = fs::path(a).lexically_normal().lexically_relative(fs::path(b).lexically_normal());
    if (relative.empty()) return false;
    return *relative.begin() != "..";
}

void recordFolder(std::vector<std::string>& folders, const std::string& chosen) {
    for (const std::string& folder : folders) {
        if (folderInside(chosen, folder)) return;
    }
    std::erase_if(folders, [&](const std::string& folder) { return folderInside(folder, chosen); });
    folders.push_back(chosen);
}

std::string rebuildIndex(FinderRuntime& runtime) {
    joinWorker(runtime);
    currentIndex(runtime);
    ++runtime.rescansByHand;
    try {
        runtime.archive->rescan(runtime.folders, nullptr);
        runtime.index = runtime.archive->driverIndex();
        runtime.notice = runtime.archive->notice();
    } catch (...) {
        // The old index stays: a half-read folder list would hide sessions the user saw before.
    }
    return finderStatsJson(runtime);
}

void startFinderScan(WebView& view, FinderRuntime& runtime, const std::string& folder) {
    currentIndex(runtime);
    if (!folder.empty()) recordFolder(runtime.folders, folder);
    if (runtime.folders.empty()) return;
    joinWorker(runtime);
    runtime.lastPercent = -1;
    runtime.scanThread = std::thread([&view, &runtime, folders = runtime.folders, rescansByHand = runtime.rescansByHand] {
        try {
            const std::lock_guard<std::mutex> hold(runtime.archiveInUse);
            long reached = 0;
            const finder::RescanCounts counts = runtime.archive->rescan(
                folders,
                [&](long done, long total) {
                    reached = done;
                    return reportProgress(view, runtime, done, total);
                },
                &runtime.workerStop);
            if (runtime.stopRequested) {
                diagLog("finder scan stopped after " + std::to_string(reached) + " files");
                return;
            }
            if (!counts.complete) {
                view.dispatch([&view] { view.eval(kProgressDone); });
                return;
            }
            auto fresh = std::make_shared<finder::DriverIndex>(runtime.archive->driverIndex());
            view.dispatch([&view, &runtime, fresh, notice = runtime.archive->notice(), rescansByHand] {
                adoptScan(view, runtime, *fresh, notice, rescansByHand);
            });
        } catch (...) {
            view.dispatch([&view] { view.eval(kProgressDone); });
        }
    });
}

void stopFinderScan(FinderRuntime& runtime) {
    runtime.stopRequested = true;
    joinWorker(runtime);
}

}  // namespace ddd::app
