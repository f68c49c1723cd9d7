// The state of the driver finder window and its start-up scan: the index the page searches, the
// folders scanned into it, and the worker that scans a folder while the window is already open.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/webview.h"
#include "finder/driver_index.h"

namespace ddd::app {

// One per finder window, owned by main for the whole run. Only the main thread touches `index`
// and `folders`; the scan worker builds its own index and hands it over through dispatch.
struct FinderRuntime {
    FinderRuntime() = default;
    // Stops and joins a scan still running, so that no worker outlives what it writes to.
    ~FinderRuntime();
    FinderRuntime(const FinderRuntime&) = delete;
    FinderRuntime& operator=(const FinderRuntime&) = delete;

    finder::DriverIndex index;
    std::vector<std::string> folders;  // scanned into `index`, in the order they were recorded
    std::thread scanThread;
    std::atomic<bool> stopRequested{false};  // set when the window closes
    int lastPercent = -1;                    // last percentage sent to the page; the worker's alone
};

// A lies inside B when A relative to B, both lexically normal, is not empty and does not climb
// out: a folder lies inside itself.
bool folderInside(const std::string& a, const std::string& b);

// The chosen folder joins the list: folders already inside it go, and it is appended unless it
// lies inside one that stays.
void recordFolder(std::vector<std::string>& folders, const std::string& chosen);

// Scans every recorded folder into a new index, which replaces the current one; when the scan
// throws the current index stays. Returns the statistics JSON of the index kept.
std::string rebuildIndex(FinderRuntime& runtime);

// Starts the worker that scans `folder` into a fresh index, sends throttled progress to the page
// and, unless the window closed meanwhile, makes the result the runtime's index on the main
// thread. Nothing for an empty folder.
void startFinderScan(WebView& view, FinderRuntime& runtime, const std::string& folder);

// For the end of the window's life: stops the worker at its next file and waits for it.
void stopFinderScan(FinderRuntime& runtime);

}  // namespace ddd::app
