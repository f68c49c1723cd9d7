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

// Starts the finder page in `view` over the index kept in `keptFile`: the page loads while the
// index is read (`read` runs on the reading worker when it is done). The page is painted without
// compositing, which on a machine without a graphics card costs more than the page ever gains
// from it.
void startFinderPage(DddWebView& view, FinderRuntime& runtime, ShellHost& host, const std::string& keptFile,
                     std::function<void()> read = {});

// Runs until the window closes; 0 then, 1 when there is no display. exePath is the running
// executable, which the host needs for its process operations.
int runFinderWindow(const CommandLine& line, const std::string& exePath);

}  // namespace ddd::app
