// The desktop behind the bridge on GTK: native file choosers, the file manager over D-Bus, the
// finder as a second process, and the page of the main web view.
#pragma once

#include <string>

#include "app/gtk/finder_standby.h"
#include "app/gtk/webview_gtk.h"
#include "app/shell_host.h"

namespace ddd::app {

class GtkShellHost : public ShellHost {
public:
    // exePath is the running executable, started again for the finder.
    explicit GtkShellHost(std::string exePath);
    void setWebView(DddWebView* view) { view_ = view; }
    // For the dashboard once it is idle: a finder made ready for the user's first request.
    void prepareFinderStandby() { standby_.prepare(); }
    bool finderStandbyReady() const { return standby_.ready(); }

    std::string chooseDddFile() override;
    std::string chooseFolder(const std::string& message, const std::string& prompt) override;
    std::string chooseSavePath(const std::string& suggestedName) override;
    void revealInFinder(const std::string& path) override;
    void launchFinder(const std::string& scanFolder) override;
    void renderReportPdfAsync(const std::string& callId, const std::string& html, const std::string& outPath) override;
    void renderPdfAsync(const std::string& html, const std::string& outPath, std::function<void(bool)> done) override;
    void evaluateScript(const std::string& script, std::function<void(std::string)> done) override;

private:
    GtkWindow* parentWindow() const { return view_ ? view_->window() : nullptr; }
    void spawnFinder(const std::string& scanFolder, const std::string& startupId);

    std::string exePath_;
    FinderStandby standby_;
    DddWebView* view_ = nullptr;
};

// The running executable as the kernel knows it, so that a second process is the same program
// even when it was started through a relative path or a link.
std::string runningExecutable(const char* argv0);

}  // namespace ddd::app
