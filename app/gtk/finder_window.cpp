#include "app/gtk/finder_window.h"

#include <gtk/gtk.h>

#include <cstdio>

#include "app/finder_bridge.h"
#include "app/finder_page.h"
#include "app/gtk/gtk_shell_host.h"
#include "app/gtk/window_menus.h"

namespace ddd::app {

void startFinderPage(DddWebView& view, FinderRuntime& runtime, ShellHost& host, const std::string& keptFile) {
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view.view()), WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    openKeptIndex(runtime, keptFile);
    bindFinder(view, runtime, host);
    view.setHtml(std::string(finderPageHtml()));
}

int runFinderWindow(const CommandLine& line, const std::string& exePath) {
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "ddd_app: no display to open the window on\n");
        return 1;
    }
    // Every finder is a process of its own with its own index: it never joins a running one.
    GtkApplication* application = gtk_application_new("de.orvendel.VelmorantDDD.Fahrerermittlung", G_APPLICATION_NON_UNIQUE);
    if (!registerApplication(application)) return 1;
    GtkShellHost host(exePath);
    {
        DddWebView view(application);
        host.setWebView(&view);
        view.setTitle(kFinderTitle);
        view.setSize(1240, 840, SizeHint::None);
        installWindowMenus(application, view);
        FinderRuntime runtime;
        startFinderPage(view, runtime, host, finder::defaultArchiveIndexPath());
        startFinderScan(view, runtime, line.scanFolder);
        view.run();
        stopFinderScan(runtime);
        host.setWebView(nullptr);
    }
    g_object_unref(application);
    return 0;
}

}  // namespace ddd::app
