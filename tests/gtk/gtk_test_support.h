// The desktop host of the window tests with scripted dialogs; the main-loop helpers come with it.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <string>

#include "app/gtk/gtk_shell_host.h"
#include "app/gtk/webview_gtk.h"
#include "tests/app/bridge_test_host.h"
#include "tests/gtk/main_loop.h"

namespace ddd::test {

// The desktop host with scripted dialogs; PDFs, scripts and the page come from the real window.
struct DialogFreeHost : ScriptedDialogs<app::GtkShellHost> {
    DialogFreeHost() : ScriptedDialogs(DDD_APP_PATH) {}
};

}  // namespace ddd::test
