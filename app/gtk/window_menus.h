// The menu bar of the application windows: application, "Bearbeiten" and "Fenster" menus with
// German titles and Ctrl shortcuts; the edit items act on the page in the web view.
#pragma once

#include <gtk/gtk.h>

#include "app/gtk/webview_gtk.h"

namespace ddd::app {

inline constexpr const char* kProductName = "VELMORANT DDD";

// Installs the actions and the menu bar on the application. The view must outlive the
// application's windows.
void installWindowMenus(GtkApplication* application, DddWebView& view);

}  // namespace ddd::app
