// The page the dashboard window shows until the full dashboard page takes its place: it asks the
// bridge for the start-up file, has it analysed on a worker and shows the summary it gets back.
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

WindowPage placeholderDashboardPage();

// tachoStartupFile: the start-up file once (then null), which becomes the current file. It is a
// path of this system, not of the page, so a backslash in it is part of a name and stays.
std::string takeStartupFile(ShellState& state);

}  // namespace ddd::app
