// Window start-up of the driver finder: its own window with menus, the tf_* bridge and the finder
// page, the start-up scan of the --scan folder, and the stop of that scan when the window closes.
#pragma once

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

// Runs until the window closes; 0 then, 1 when there is no display. exePath is the running
// executable, which the host needs for its process operations.
int runFinderWindow(const CommandLine& line, const std::string& exePath);

}  // namespace ddd::app
