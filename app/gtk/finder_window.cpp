#include "app/gtk/finder_window.h"

#include <gtk/gtk.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "app/bridge_text.h"
#include "app/finder_bridge.h"
#include "app/finder_page.h"
#include "app/gtk/gtk_shell_host.h"
#include "app/gtk/window_menus.h"

namespace ddd::app {
namespace {

// The page's steps of a start: its first script ran, the document was parsed, its fonts were
// ready, the counters were filled, and the frame after that was painted; then the steps go to
// native code as one text.
constexpr const char* kPageMarks = R"JS((function(){
  function now() { return (performance.timeOrigin + performance.now()).toFixed(1); }
  var marks = 'navigation ' + performance.timeOrigin.toFixed(1) + ' script ' + now();
  var fonts = '';
  document.fonts.ready.then(function () { fonts = ' fonts ' + now(); });
  document.addEventListener('DOMContentLoaded', function () {
    marks += ' parsed ' + now();
    new MutationObserver(function (changes, observer) {
      observer.disconnect();
      marks += ' counters ' + now();
      requestAnimationFrame(function () { requestAnimationFrame(function () {
        window.tf_start_marks(marks + fonts + ' painted ' + now());
      }); });
    }).observe(document.getElementById('statFiles'), {childList: true, characterData: true, subtree: true});
  });
})();)JS";

// For the start-up benchmark: with DDD_FINDER_READY_FD naming an open pipe, the finder writes
// there one line of steps with the milliseconds since the epoch at which each was reached, once
// the page has painted the kept index's counters. Nothing without it.
class StartMarks {
public:
    StartMarks() {
        if (const char* fd = std::getenv("DDD_FINDER_READY_FD")) fd_ = std::atoi(fd);
        mark("main");
    }
    void mark(const char* step) {
        if (fd_ < 0) return;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
        char text[64];
        std::snprintf(text, sizeof text, "%s %.1f ", step, ms);
        const std::lock_guard<std::mutex> hold(mutex_);
        line_ += text;
    }
    std::function<void()> marker(const char* step) {
        return [this, step] { mark(step); };
    }
    void watch(DddWebView& view) {
        if (fd_ < 0) return;
        view.init(kPageMarks);
        view.bind("tf_start_marks", [this](const std::string& request) {
            const std::lock_guard<std::mutex> hold(mutex_);
            const std::string line = line_ + firstStringArg(request) + "\n";
            if (::write(fd_, line.data(), line.size()) < 0) diagLog("start marks not written");
            return std::string("null");
        });
    }

private:
    int fd_ = -1;
    std::mutex mutex_;
    std::string line_;
};

}  // namespace

void startFinderPage(DddWebView& view, FinderRuntime& runtime, ShellHost& host) {
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view.view()), WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    bindFinder(view, runtime, host);
    view.setHtml(std::string(finderPageHtml()));
}

int runFinderWindow(const CommandLine& line, const std::string& exePath) {
    StartMarks marks;
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "ddd_app: no display to open the window on\n");
        return 1;
    }
    marks.mark("gtk");
    // Every finder is a process of its own with its own index: it never joins a running one.
    GtkApplication* application = gtk_application_new("de.orvendel.VelmorantDDD.Fahrerermittlung", G_APPLICATION_NON_UNIQUE);
    if (!registerApplication(application)) return 1;
    marks.mark("registered");
    // The finder keeps nothing in web storage and shows one page held in memory: a context that
    // stores no website data and caches for one document starts its processes with less.
    WebKitWebContext* context = webkit_web_context_new_ephemeral();
    webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    GtkShellHost host(exePath);
    {
        DddWebView view(application, context);
        marks.mark("view");
        FinderRuntime runtime;
        // The kept index is read while the page loads and the window is made; the refresh of its
        // folders (and of --scan's), which would only slow both down, waits until the page has
        // asked for the figures it shows first.
        openKeptIndex(runtime, finder::defaultArchiveIndexPath(), marks.marker("indexRead"));
        runtime.firstStats = [&view, &runtime, folder = line.scanFolder] { startFinderScan(view, runtime, folder); };
        host.setWebView(&view);
        marks.watch(view);
        startFinderPage(view, runtime, host);
        marks.mark("loading");
        view.setTitle(kFinderTitle);
        view.setSize(1240, 840, SizeHint::None);
        installWindowMenus(application, view);
        view.run();
        stopFinderScan(runtime);
        host.setWebView(nullptr);
    }
    g_object_unref(context);
    g_object_unref(application);
    return 0;
}

}  // namespace ddd::app
