// The dashboard window of the window benchmarks: the real page with the bridge bound, loaded
// until `ready` (a script) yields a non-empty text, kept for all runs of a program.
#pragma once

#include <string>

#include "app/gtk/gtk_shell_host.h"
#include "app/window_page.h"
#include "tests/gtk/main_loop.h"

namespace ddd::bench {

struct DashboardWindow {
    app::DddWebView view;
    app::GtkShellHost host{"/proc/self/exe"};
    app::ShellState state;

    explicit DashboardWindow(const std::string& ready) {
        host.setWebView(&view);
        view.setSize(1240, 840, app::SizeHint::None);
        const app::WindowPage page = app::dashboardPage();
        page.bind(view, state, host);
        view.setHtml(page.html);
        test::spinUntil([&] { return !test::evaluateNow(view, ready).empty(); }, 30);
    }
    ~DashboardWindow() {
        app::shutdownShellState(state);
        host.setWebView(nullptr);
    }
};

}  // namespace ddd::bench
