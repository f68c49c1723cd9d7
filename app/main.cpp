#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/diagnostic.h"
#include "app/gtk/app_startup.h"
#include "app/gtk/finder_window.h"
#include "app/gtk/gtk_shell_host.h"
#include "app/gtk/pdf_renderer.h"
#include "app/window_page.h"

int main(int argc, char** argv) {
    using namespace ddd::app;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const CommandLine line = parseCommandLine(args);
    switch (line.action) {
    case StartAction::PrintVersion:
        std::printf("ddd_app %s\n", kVersion);
        return 0;
    case StartAction::PrintUsage:
        std::printf("%s\n", kUsage);
        return 0;
    case StartAction::Diagnose:
        return runDiagnostic(line.diagnoseFile, renderHtmlToPdf);
    case StartAction::Window:
        if (line.finderMode) return runFinderWindow(line, runningExecutable(argv[0]));
        DashboardLaunch launch{line, runningExecutable(argv[0]), false};
        // The session bus starts a D-Bus activatable application with this option.
        for (const std::string& arg : args) launch.asService = launch.asService || arg == "--gapplication-service";
        return runDashboardWindow(launch, dashboardPage());
    }
    return 1;
}
