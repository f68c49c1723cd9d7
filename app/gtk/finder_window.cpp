#include "app/gtk/finder_window.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "app/bridge_text.h"
#include "app/finder_bridge.h"
#include "app/finder_page.h"
#include "app/gtk/finder_standby.h"
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

// Calls tf_shown once, after the frame that follows the window's showing or a second later.
constexpr const char* kAfterFirstFrame = R"JS((function(){
  var once = function () { once = function () {}; tf_shown(); };
  requestAnimationFrame(function () { requestAnimationFrame(function () { once(); }); });
  setTimeout(function () { once(); }, 1000);
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
    // A standby finder's page fills its counters while hidden: only the frame after its window
    // is shown counts (paintedAfterShow).
    void watch(DddWebView& view, bool standby) {
        if (fd_ < 0) return;
        if (!standby) view.init(kPageMarks);
        view.bind("tf_start_marks", [this](const std::string& request) {
            const std::lock_guard<std::mutex> hold(mutex_);
            const std::string line = line_ + firstStringArg(request) + "\n";
            if (::write(fd_, line.data(), line.size()) < 0) diagLog("start marks not written");
            return std::string("null");
        });
    }

    void paintedAfterShow(DddWebView& view) {
        if (fd_ < 0) return;
        view.eval("requestAnimationFrame(function(){requestAnimationFrame(function(){"
                  "tf_start_marks('painted '+(performance.timeOrigin+performance.now()).toFixed(1));});});");
    }

private:
    int fd_ = -1;
    std::mutex mutex_;
    std::string line_;
};

// The socket the dashboard gave as standard input, taken off it so that the web engine's processes
// do not inherit it and the dashboard sees its end as soon as this process ends.
int takeStandbySocket() {
    const int socket = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    const int nothing = ::open("/dev/null", O_RDONLY);
    if (nothing >= 0 && nothing != STDIN_FILENO) {
        ::dup2(nothing, STDIN_FILENO);
        ::close(nothing);
    }
    return socket;
}

}  // namespace

StandbyFinder::StandbyFinder(int socket, DddWebView& view, FinderRuntime& runtime, std::function<void()> shown)
    : socket_(socket), view_(view), runtime_(runtime), shown_(std::move(shown)) {
    if (socket_ < 0) {
        view_.terminate();
        return;
    }
    // Ready once the page holds the figures it asked for: dispatched, the evaluation goes to the
    // page after the answer and runs after the page's handling of it.
    runtime_.firstStats = [this] {
        view_.dispatch([this] { view_.evaluate("''", [this](std::string) { sendLine(socket_, kStandbyReady); }); });
    };
    watch_ = g_unix_fd_add(socket_, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), &StandbyFinder::onSocket, this);
}

StandbyFinder::~StandbyFinder() {
    if (watch_) g_source_remove(watch_);
    if (socket_ >= 0) ::close(socket_);
}

gboolean StandbyFinder::onSocket(gint, GIOCondition, gpointer self) {
    auto* standby = static_cast<StandbyFinder*>(self);
    const bool open = readAvailable(standby->socket_, standby->pending_);
    const std::string prefix = std::string(kStandbyRequest) + "\t";
    for (std::string line; takeLine(standby->pending_, line);) {
        if (line.rfind(prefix, 0) != 0) continue;
        // From now on the finder lives on its own; the socket stays open only so that the
        // dashboard learns when it ends.
        standby->watch_ = 0;
        const std::string fields = line.substr(prefix.size());
        const std::size_t tab = fields.find('\t');
        standby->show(fields.substr(0, tab), tab == std::string::npos ? std::string() : fields.substr(tab + 1));
        return G_SOURCE_REMOVE;
    }
    if (open) return G_SOURCE_CONTINUE;
    standby->watch_ = 0;
    standby->view_.terminate();
    return G_SOURCE_REMOVE;
}

void StandbyFinder::show(const std::string& startupId, const std::string& scanFolder) {
    GtkWindow* window = view_.window();
    if (!startupId.empty()) gtk_window_set_startup_id(window, startupId.c_str());
    gtk_widget_show_all(GTK_WIDGET(window));
    gtk_window_present(window);
    sendLine(socket_, kStandbyShown);
    if (shown_) shown_();
    // The refresh, which would slow the first frame down, starts after it (or a moment later,
    // where the window paints none), as without standby it waits until the page has asked for
    // its figures.
    view_.bind("tf_shown", [this, scanFolder](const std::string&) {
        startFinderScan(view_, runtime_, scanFolder);
        return std::string("null");
    });
    view_.eval(kAfterFirstFrame);
}

void startFinderPage(DddWebView& view, FinderRuntime& runtime, ShellHost& host) {
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view.view()), WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    bindFinder(view, runtime, host);
    view.setHtml(std::string(finderPageHtml()));
}

int runFinderWindow(const CommandLine& line, const std::string& exePath) {
    StartMarks marks;
    const int standbySocket = line.standby ? takeStandbySocket() : -1;
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
        DddWebView view(application, context, !line.standby);
        marks.mark("view");
        FinderRuntime runtime;
        // The kept index is read while the page loads and the window is made; the refresh of its
        // folders (and of --scan's), which would only slow both down, waits until the page has
        // asked for the figures it shows first.
        openKeptIndex(runtime, finder::defaultArchiveIndexPath(), marks.marker("indexRead"));
        std::optional<StandbyFinder> standby;
        if (line.standby) {
            standby.emplace(standbySocket, view, runtime, [&view, &marks] {
                marks.mark("presented");
                marks.paintedAfterShow(view);
            });
        } else {
            runtime.firstStats = [&view, &runtime, folder = line.scanFolder] { startFinderScan(view, runtime, folder); };
        }
        host.setWebView(&view);
        marks.watch(view, line.standby);
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
