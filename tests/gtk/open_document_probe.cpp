// The dashboard start-up with a probe page instead of the dashboard: the page reports on standard
// output what reached it (the start-up file, or a file through openPath) and then closes.
#include <cstdio>
#include <string>
#include <vector>

#include "app/bridge_text.h"
#include "app/gtk/app_startup.h"
#include "app/gtk/gtk_shell_host.h"

namespace {

constexpr const char* kProbePage = R"HTML(<!doctype html><meta charset=utf-8><body>
<script>
tachoStartupFile().then(function(path) {
  if (path) { probeReport('startup ' + path).then(probeQuit); return; }
  probeReport('startup none');
  // openPath appears a second late, as on a page still loading: the retry script must wait.
  setTimeout(function() {
    window.openPath = function(p) { probeReport('openPath ' + p).then(probeQuit); };
  }, 1000);
});
</script>)HTML";

}  // namespace

int main(int argc, char** argv) {
    using namespace ddd::app;
    const std::vector<std::string> args(argv + 1, argv + argc);
    DashboardLaunch launch{parseCommandLine(args), runningExecutable(argv[0]), false};
    for (const auto& arg : args) launch.asService = launch.asService || arg == "--gapplication-service";
    WindowPage page;
    page.html = kProbePage;
    page.bind = [](WebView& view, ShellState& state, ShellHost&) {
        view.bind("tachoStartupFile", [&state](const std::string&) { return takeStartupFile(state); });
        view.bind("probeReport", [](const std::string& request) {
            std::printf("PAGE %s\n", firstStringArg(request).c_str());
            std::fflush(stdout);
            return std::string("null");
        });
        view.bind("probeQuit", [&view](const std::string&) {
            view.terminate();
            return std::string("null");
        });
    };
    return runDashboardWindow(launch, page);
}
