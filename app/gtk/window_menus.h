// What the application windows share: their registration as an application, and the menu bar
// with application, "Bearbeiten", "Ansicht" (dashboard only) and "Fenster" menus, German titles and Ctrl shortcuts, whose
// edit items act on the page in the web view.
#pragma once

#include <gtk/gtk.h>

#include "app/gtk/webview_gtk.h"

namespace ddd::app {

inline constexpr const char* kProductName = "VELMORANT DDD";

// Installs the actions and the menu bar on the application; `withFleet` adds the dashboard's
// "Ansicht" menu with its fleet overview. The view must outlive the application's windows.
void installWindowMenus(GtkApplication* application, DddWebView& view, bool withFleet = false);

// Registers the application; on failure logs why, releases the application and returns false.
bool registerApplication(GtkApplication* application);

}  // namespace ddd::app
