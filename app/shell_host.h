// What every bridge function shares: the state of the dashboard window and the host through
// which bridge code reaches the desktop (dialogs, file manager, processes, PDFs, the page).
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace ddd::app {

// One per dashboard window, owned by main for the whole run. Each worker member holds at most
// one thread; a new worker of the same kind first joins the previous one on the main thread.
struct ShellState {
    std::string currentFile;         // the card download the driver view shows; its exports use it
    std::string currentVehicleFile;  // the vehicle unit's download the vehicle view shows
    std::string startupFile;  // handed over before the page boots, consumed once by the page
    std::thread analysisThread;
    std::thread exportAllThread;
    std::thread cardReadThread;
    std::thread vehicleReportThread;
    std::thread fleetThread;            // answers the fleet overview
    std::thread fleetCompletionThread;  // computes what the overview lacks, for as long as that takes
    std::atomic<bool> fleetCompleting{false};
    std::atomic<bool> closing{false};   // set at shutdown: long workers stop at their next step
    std::string cardTempDir;  // folder of the last live card read
};

// Joins the workers still running (analysis, export-all, card read, vehicle report, fleet) and removes the
// folder of the last card read; what cannot be removed is left.
void shutdownShellState(ShellState& state);

// One line "DIAG: <message>" on standard error, flushed at once.
void diagLog(const std::string& message);

class ShellHost {
public:
    virtual ~ShellHost() = default;

    // Dialogs answer an empty path when cancelled.
    virtual std::string chooseDddFile() = 0;
    virtual std::string chooseFolder(const std::string& message, const std::string& prompt) = 0;
    virtual std::string chooseSavePath(const std::string& suggestedName) = 0;
    // Shows the file selected in the desktop's file manager; nothing for an empty path.
    virtual void revealInFinder(const std::string& path) = 0;
    // Starts the driver finder as a second process of this executable.
    virtual void launchFinder(const std::string& scanFolder) = 0;
    // Renders the HTML to a PDF file and settles the bridge call: true, or a rejection with false.
    virtual void renderReportPdfAsync(const std::string& callId, const std::string& html, const std::string& outPath) = 0;
    // The same renderer; done(ok) runs later on the main thread, exactly once.
    virtual void renderPdfAsync(const std::string& html, const std::string& outPath, std::function<void(bool)> done) = 0;
    // done receives the script's value when it is a string, otherwise an empty text.
    virtual void evaluateScript(const std::string& script, std::function<void(std::string)> done) = 0;
};

}  // namespace ddd::app
