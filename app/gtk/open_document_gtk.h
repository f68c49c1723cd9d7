// Files opened with the dashboard from the desktop, arriving as the application's "open" signal:
// buffered for the page's boot while there is no web view (cold), handed to the live page
// through openPath otherwise (warm).
#pragma once

#include <gio/gio.h>

#include "app/gtk/webview_gtk.h"
#include "app/shell_host.h"

namespace ddd::app {

class DddOpenHandler {
public:
    // A null state ignores every event.
    explicit DddOpenHandler(ShellState* state) : state_(state) {}
    void setWebView(DddWebView* view) { view_ = view; }

    // The first file that has a local path wins; the others are ignored.
    void open(GFile** files, int count);

private:
    ShellState* state_;
    DddWebView* view_ = nullptr;
};

}  // namespace ddd::app
