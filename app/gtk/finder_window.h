// Window start-up of the driver finder: its own window with menus, the tf_* bridge and the finder
// page, the start-up scan of the --scan folder, and the stop of that scan when the window closes.
#pragma once

#include <functional>
#include <string>

#include "app/command_line.h"
#include "app/finder_runtime.h"
#include "app/gtk/webview_gtk.h"
#include "app/shell_host.h"

namespace ddd::app {

inline constexpr const char* kFinderTitle = "Fahrerermittlung — VELMORANT DDD";

// Binds the finder's functions to `view` and starts loading its page over the runtime's index (a
// kept one may still be read meanwhile). The page is painted without compositing, which on a
// machine without a graphics card costs more than the page ever gains from it.
void startFinderPage(DddWebView& view, FinderRuntime& runtime, ShellHost& host);

// A finder kept ready for the dashboard (see finder_standby.h), its window hidden until the
// request on `socket` shows it, `shown` runs then, and the refresh of the kept folders or the
// scan of the handed folder starts; the end of the socket before a request terminates the view.
// Tells the dashboard it is ready once the page holds the kept index's figures.
class StandbyFinder {
public:
    StandbyFinder(int socket, DddWebView& view, FinderRuntime& runtime, std::function<void()> shown = {});
    ~StandbyFinder();
    StandbyFinder(const StandbyFinder&) = delete;
    StandbyFinder& operator=(const StandbyFinder&) = delete;

private:
    static gboolean onSocket(gint fd, GIOCondition condition, gpointer self);
    void show(const std::string& startupId, const std::string& scanFolder);

    int socket_;
    DddWebView& view_;
    FinderRuntime& runtime_;
    std::function<void()> shown_;
    guint watch_ = 0;
    std::string pending_;
};

// Runs until the window closes; 0 then, 1 when there is no display. exePath is the running
// executable, which the host needs for its process operations.
int runFinderWindow(const CommandLine& line, const std::string& exePath);

}  // namespace ddd::app
