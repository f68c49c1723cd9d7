// The web view on GTK 3 and WebKitGTK 4.1: one window with one WebKitWebView, the page's calls
// arriving as script messages and answered by evaluating script.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "app/webview.h"

namespace ddd::app {

class DddWebView final : public WebView {
public:
    // With an application the window is an application window, which shows its menu bar and
    // keeps the application alive; without one it is a plain top-level window. Without a web
    // context the view takes the default one. A window not shown waits for gtk_window_present.
    explicit DddWebView(GtkApplication* application = nullptr, WebKitWebContext* context = nullptr, bool shown = true);
    ~DddWebView() override;
    DddWebView(const DddWebView&) = delete;
    DddWebView& operator=(const DddWebView&) = delete;

    void bind(const std::string& name, SyncFunction function) override;
    void bindAsync(const std::string& name, AsyncFunction function) override;
    void resolve(const std::string& callId, int status, const std::string& result) override;
    void init(const std::string& script) override;
    void eval(const std::string& script) override;
    void setHtml(const std::string& html) override;
    void setTitle(const std::string& title) override;
    void setSize(int width, int height, SizeHint hint) override;
    void dispatch(std::function<void()> task) override;
    void run() override;
    void terminate() override;

    // Evaluates the script and hands its value to done: the text when it is a string, otherwise
    // an empty text (also on a script error or when the view is gone).
    void evaluate(const std::string& script, std::function<void(std::string)> done);

    GtkWindow* window() const { return window_; }
    WebKitWebView* view() const { return view_; }
    // False once the window has been closed.
    bool isOpen() const { return window_ != nullptr; }

private:
    struct Binding {
        SyncFunction sync;
        AsyncFunction async;
    };
    struct DispatchedTask;

    void addBinding(const std::string& name, Binding binding);
    void onScriptMessage(WebKitJavascriptResult* message);
    void onWindowDestroyed();
    void evalOnMainThread(const std::string& script);
    static gboolean runDispatched(gpointer data);
    static void freeDispatched(gpointer data);

    GtkWindow* window_ = nullptr;
    WebKitWebView* view_ = nullptr;
    WebKitUserContentManager* content_ = nullptr;
    GMainLoop* loop_ = nullptr;
    bool terminated_ = false;
    std::thread::id mainThread_;
    std::map<std::string, Binding> bindings_;

    // Sources of dispatched tasks not yet run; removed when the view goes, so no task runs later.
    std::mutex pendingMutex_;
    std::set<guint> pendingSources_;
};

}  // namespace ddd::app
