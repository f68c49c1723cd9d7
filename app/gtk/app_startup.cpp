#include "app/gtk/app_startup.h"

#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>

#include "app/gtk/gtk_shell_host.h"
#include "app/gtk/open_document_gtk.h"
#include "app/gtk/window_menus.h"

namespace ddd::app {
namespace {

// A service start that receives no request within this time ends, as the bus expects.
constexpr auto kServiceWait = std::chrono::seconds(10);

struct StartupEvents {
    DddOpenHandler* handler;
    DddWebView* view = nullptr;
    bool requested = false;
};

// Once the page has loaded and nothing else waits, a finder is made ready for the user's first
// request; it ends with this process unless handed one.
struct StandbyStart {
    GtkShellHost* host;
    guint idle = 0;

    static void onLoad(WebKitWebView* webView, WebKitLoadEvent event, gpointer data) {
        if (event != WEBKIT_LOAD_FINISHED) return;
        auto* start = static_cast<StandbyStart*>(data);
        g_signal_handlers_disconnect_by_data(webView, start);
        start->idle = g_idle_add_full(G_PRIORITY_LOW, &StandbyStart::onIdle, start, nullptr);
    }
    static gboolean onIdle(gpointer data) {
        auto* start = static_cast<StandbyStart*>(data);
        start->idle = 0;
        start->host->prepareFinderStandby();
        return G_SOURCE_REMOVE;
    }
    void cancel(DddWebView& view) {
        if (view.view()) g_signal_handlers_disconnect_by_data(view.view(), this);
        if (idle) g_source_remove(idle);
        idle = 0;
    }
};

void handToRunningInstance(GApplication* application, const std::string& startupFile) {
    if (startupFile.empty()) {
        g_application_activate(application);
    } else {
        GFile* file = g_file_new_for_commandline_arg(startupFile.c_str());
        g_application_open(application, &file, 1, "");
        g_object_unref(file);
    }
    if (GDBusConnection* bus = g_application_get_dbus_connection(application)) g_dbus_connection_flush_sync(bus, nullptr, nullptr);
    diagLog("handed to the running dashboard");
}

}  // namespace

int runDashboardWindow(const DashboardLaunch& launch, const WindowPage& page) {
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "ddd_app: no display to open the window on\n");
        return 1;
    }
    ShellState state;
    state.startupFile = launch.line.startupFile;

    GApplicationFlags flags = G_APPLICATION_HANDLES_OPEN;
    if (launch.asService) flags = GApplicationFlags(flags | G_APPLICATION_IS_SERVICE);
    GtkApplication* application = gtk_application_new(kApplicationId, flags);
    DddOpenHandler handler(&state);
    StartupEvents events{&handler};
    g_signal_connect(application, "open", G_CALLBACK(+[](GApplication*, GFile** files, gint count, gchar*, gpointer data) {
                         auto* events = static_cast<StartupEvents*>(data);
                         events->requested = true;
                         events->handler->open(files, count);
                     }),
                     &events);
    g_signal_connect(application, "activate", G_CALLBACK(+[](GApplication*, gpointer data) {
                         auto* events = static_cast<StartupEvents*>(data);
                         events->requested = true;
                         if (events->view && events->view->isOpen()) gtk_window_present(events->view->window());
                     }),
                     &events);

    if (!registerApplication(application)) return 1;
    if (g_application_get_is_remote(G_APPLICATION(application))) {
        handToRunningInstance(G_APPLICATION(application), state.startupFile);
        g_object_unref(application);
        return 0;
    }
    if (launch.asService) {
        // Requests that arrive before the window exists are the cold case: the handler buffers
        // the file in the state, where the page finds it at boot.
        const auto deadline = std::chrono::steady_clock::now() + kServiceWait;
        while (!events.requested && std::chrono::steady_clock::now() < deadline) {
            if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(10000);
        }
        if (!events.requested) {
            g_object_unref(application);
            return 0;
        }
    }

    GtkShellHost host(launch.exePath);
    {
        DddWebView view(application);
        host.setWebView(&view);
        handler.setWebView(&view);
        events.view = &view;
        view.setTitle(kProductName);
        view.setSize(1240, 840, SizeHint::None);
        installWindowMenus(application, view, true);
        page.bind(view, state, host);
        view.setHtml(page.html);
        StandbyStart standby{&host};
        g_signal_connect(view.view(), "load-changed", G_CALLBACK(&StandbyStart::onLoad), &standby);
        view.run();
        standby.cancel(view);
        shutdownShellState(state);
        events.view = nullptr;
        handler.setWebView(nullptr);
        host.setWebView(nullptr);
    }
    g_object_unref(application);
    return 0;
}

}  // namespace ddd::app
