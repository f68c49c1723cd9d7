// The page a window shows, with the bridge functions it needs, and the dashboard's page.
#pragma once

#include <functional>
#include <string>

#include "app/shell_host.h"
#include "app/webview.h"

namespace ddd::app {

// A page and the bridge functions it needs, bound before the page is loaded.
struct WindowPage {
    std::string html;
    std::function<void(WebView&, ShellState&, ShellHost&)> bind;
};

// The dashboard: the embedded page and the tacho* functions it calls.
WindowPage dashboardPage();

// tachoStartupFile: the start-up file once (then null), which becomes the current file. It is a
// path of this system, not of the page, so a backslash in it is part of a name and stays.
std::string takeStartupFile(ShellState& state);

}  // namespace ddd::app
