#include "app/window_page.h"

#include "app/bridge_text.h"
#include "app/dashboard_bridge.h"
#include "app/dashboard_page.h"

namespace ddd::app {

std::string takeStartupFile(ShellState& state) {
    if (state.startupFile.empty()) return "null";
    state.currentFile = state.startupFile;
    state.startupFile.clear();
    return pathForPage(state.currentFile);
}

WindowPage dashboardPage() { return WindowPage{std::string(dashboardPageHtml()), bindDashboard}; }

}  // namespace ddd::app
