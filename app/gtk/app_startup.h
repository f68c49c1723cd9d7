// Window start-up of the dashboard: single instance on the session bus, the window with its
// menus and page, the event loop, and the orderly shutdown.
#pragma once

#include <string>

#include "app/command_line.h"
#include "app/window_page.h"

namespace ddd::app {

inline constexpr const char* kApplicationId = "de.orvendel.VelmorantDDD";

struct DashboardLaunch {
    CommandLine line;
    std::string exePath;
    // Started by the session bus to receive an open request (desktop files that are
    // D-Bus activatable): the window opens only once a request arrives.
    bool asService = false;
};

// A second start hands its file to the running dashboard and returns 0 at once. Without a
// session bus the process runs as its own instance. Returns 1 when there is no display.
int runDashboardWindow(const DashboardLaunch& launch, const WindowPage& page);

}  // namespace ddd::app
