// The state of the driver finder window and its start-up scan: the index the page searches, the
// folders scanned into it, and the worker that scans a folder while the window is already open.
#pragma once

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/webview.h"
#include "finder/archive_index.h"

namespace ddd::app {

// What the start of a finder window reads of the kept index on a worker: the index itself, its
// finder's index and its folders.
struct KeptIndex {
    std::unique_ptr<finder::ArchiveIndex> archive;
    finder::DriverIndex index;
    std::vector<std::string> folders;
};

// One per finder window, owned by main for the whole run. Only the main thread touches `index`
// and `folders`; `archive` belongs to the scan worker while it runs (holding `archiveInUse`),
// else to the main thread; the worker hands the index it made over through dispatch.
struct FinderRuntime {
    FinderRuntime();  // with an archive index in memory until openKeptIndex
    // Stops and joins a scan still running, so that no worker outlives what it writes to.
    ~FinderRuntime();
    FinderRuntime(const FinderRuntime&) = delete;
    FinderRuntime& operator=(const FinderRuntime&) = delete;

    std::unique_ptr<finder::ArchiveIndex> archive;
    std::mutex archiveInUse;
    finder::DriverIndex index;  // current, like archive, folders and notice, once currentIndex has taken over `keptRead`
    std::future<KeptIndex> keptRead;  // the kept index, read while the window and its page start
    std::vector<std::string> folders;  // scanned into `index`, in the order they were recorded
    std::string notice;                // the archive index's, as of the last index adopted
    std::thread scanThread;
    std::atomic<bool> stopRequested{false};  // set when the window closes
    std::atomic<bool> workerStop{false};     // ends the worker at its next file or folder: closing, or a rescan by hand
    int rescansByHand = 0;                      // a worker's index older than the last of them is dropped
    int lastPercent = -1;                       // last percentage sent to the page; the worker's alone
    // Run once, when the page first asks for the figures: the window's start leaves the refresh
    // of the kept folders until its page has what it shows first.
    std::function<void()> firstStats;
};

// Makes the index kept at `file` the runtime's: it is opened and read on a worker, so that the
// window and its page start meanwhile. `read` runs on that worker once the index is read.
void openKeptIndex(FinderRuntime& runtime, const std::string& file, std::function<void()> read = {});

// The runtime's index, for the main thread: the kept one, with its folders and notice, once its
// reading is done (waited for).
const finder::DriverIndex& currentIndex(FinderRuntime& runtime);

// The statistics JSON of the runtime's index, with "notice" when the kept index has something to
// say (set aside, not writable).
std::string finderStatsJson(FinderRuntime& runtime);

// A lies inside B when A relative to B, both lexically normal, is not empty and does not climb
// out: a folder lies inside itself.
bool folderInside(const std::string& a, const std::string& b);

// The chosen folder joins the list: folders already inside it go, and it is appended unless it
// lies inside one that stays.
void recordFolder(std::vector<std::string>& folders, const std::string& chosen);

// Brings the archive index up to every recorded folder (a running worker stops first, its work
// kept) and makes its index the current one; when that throws the current index stays. Returns
// finderStatsJson.
std::string rebuildIndex(FinderRuntime& runtime);

// Records `folder` (when not empty) and starts the worker that brings the archive index up to the
// recorded folders, sends throttled progress to the page and, unless the window closed or a
// rescan by hand came meanwhile, makes the result the runtime's index on the main thread. Nothing
// without any folder.
void startFinderScan(WebView& view, FinderRuntime& runtime, const std::string& folder);

// For the end of the window's life: stops the worker at its next file and waits for it.
void stopFinderScan(FinderRuntime& runtime);

}  // namespace ddd::app
