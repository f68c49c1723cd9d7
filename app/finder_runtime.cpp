#include "app/finder_runtime.h"

#include <filesystem>
#include <memory>
#include <utility>

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

// The worker's progress callback: false once the window is closing, otherwise the page hears of
// every whole percent that changed.
bool reportProgress(WebView& view, FinderRuntime& runtime, long done, long total) {
    if (runtime.stopRequested) return false;
    const int percent = total >= 1 ? static_cast<int>(static_cast<long long>(done) * 100 / total) : 100;
    if (percent == runtime.lastPercent) return true;
    runtime.lastPercent = percent;
    view.dispatch([&view, script = progressScript(done, total)] { view.eval(script); });
    return true;
}

// On the main thread, when the start-up scan has finished.
void adoptScan(WebView& view, FinderRuntime& runtime, finder::DriverIndex& fresh, const std::string& folder) {
    if (runtime.stopRequested) return;
    if (runtime.folders.empty()) {
        runtime.index = std::move(fresh);
        runtime.folders.push_back(folder);
    } else {
        // The user scanned other folders while this one was read: the index has to hold them all.
        recordFolder(runtime.folders, folder);
        rebuildIndex(runtime);
    }
    view.eval(std::string(kProgressDone) + kRefreshPage);
}

}  // namespace

FinderRuntime::~FinderRuntime() { stopFinderScan(*this); }

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
    try {
        finder::DriverIndex fresh;
        for (const std::string& folder : runtime.folders) fresh.scanDirectory(folder, nullptr);
        runtime.index = std::move(fresh);
    } catch (...) {
        // The old index stays: a half-read folder list would hide sessions the user saw before.
    }
    return finder::statsJson(runtime.index);
}

void startFinderScan(WebView& view, FinderRuntime& runtime, const std::string& folder) {
    if (folder.empty()) return;
    if (runtime.scanThread.joinable()) runtime.scanThread.join();
    runtime.lastPercent = -1;
    runtime.scanThread = std::thread([&view, &runtime, folder] {
        try {
            auto fresh = std::make_shared<finder::DriverIndex>();
            long reached = 0;
            fresh->scanDirectory(
                folder,
                [&](long done, long total) {
                    reached = done;
                    return reportProgress(view, runtime, done, total);
                },
                &runtime.stopRequested);
            if (runtime.stopRequested) {
                diagLog("finder scan stopped after " + std::to_string(reached) + " files");
                return;
            }
            view.dispatch([&view, &runtime, fresh, folder] { adoptScan(view, runtime, *fresh, folder); });
        } catch (...) {
            view.dispatch([&view] { view.eval(kProgressDone); });
        }
    });
}

void stopFinderScan(FinderRuntime& runtime) {
    runtime.stopRequested = true;
    if (runtime.scanThread.joinable()) runtime.scanThread.join();
}

}  // namespace ddd::app
