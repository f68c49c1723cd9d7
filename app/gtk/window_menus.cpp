#include "app/gtk/window_menus.h"

#include <string>

#include "app/command_line.h"
#include "app/shell_host.h"

namespace ddd::app {
namespace {

struct MenuAction {
    const char* name;
    const char* accel;  // nullptr: no shortcut
    void (*activate)(GtkApplication*, DddWebView&);
};

void forEachWindow(GtkApplication* application, void (*apply)(GtkWindow*)) {
    for (GList* item = gtk_application_get_windows(application); item; item = item->next) apply(GTK_WINDOW(item->data));
}

void editCommand(DddWebView& view, const char* command) {
    if (view.view()) webkit_web_view_execute_editing_command(view.view(), command);
}

void showAbout(GtkApplication*, DddWebView& view) {
    gtk_show_about_dialog(view.window(), "program-name", kProductName, "version", kVersion, "comments",
                          "Auswertung digitaler Fahrtenschreiber-Daten: Lenk- und Ruhezeiten nach VO (EG) 561/2006 und RL 2002/15/EG.",
                          "copyright", "© Orvendel", "logo-icon-name", "de.orvendel.VelmorantDDD", nullptr);
}

const MenuAction kActions[] = {
    {"about", nullptr, showAbout},
    {"hide", "<Primary>h", [](GtkApplication* app, DddWebView&) { forEachWindow(app, gtk_window_iconify); }},
    {"hide-others", "<Primary><Alt>h", nullptr},
    {"unhide-all", nullptr, [](GtkApplication* app, DddWebView&) {
         forEachWindow(app, gtk_window_deiconify);
         forEachWindow(app, gtk_window_present);
     }},
    {"quit", "<Primary>q", [](GtkApplication* app, DddWebView&) { forEachWindow(app, gtk_window_close); }},
    {"undo", "<Primary>z", [](GtkApplication*, DddWebView& view) { editCommand(view, WEBKIT_EDITING_COMMAND_UNDO); }},
    {"redo", "<Primary><Shift>z", [](GtkApplication*, DddWebView& view) { editCommand(view, WEBKIT_EDITING_COMMAND_REDO); }},
    {"cut", "<Primary>x", [](GtkApplication*, DddWebView& view) { editCommand(view, WEBKIT_EDITING_COMMAND_CUT); }},
    {"copy", "<Primary>c", [](GtkApplication*, DddWebView& view) { editCommand(view, WEBKIT_EDITING_COMMAND_COPY); }},
    {"paste", "<Primary>v", [](GtkApplication*, DddWebView& view) { editCommand(view, WEBKIT_EDITING_COMMAND_PASTE); }},
    {"select-all", "<Primary>a", [](GtkApplication*, DddWebView& view) { editCommand(view, WEBKIT_EDITING_COMMAND_SELECT_ALL); }},
    {"minimize", "<Primary>m", [](GtkApplication*, DddWebView& view) {
         if (view.window()) gtk_window_iconify(view.window());
     }},
    {"fleet", "<Primary><Shift>f", [](GtkApplication*, DddWebView& view) { view.eval("window.showFleet&&window.showFleet()"); }},
    {"zoom", nullptr, [](GtkApplication*, DddWebView& view) {
         if (!view.window()) return;
         if (gtk_window_is_maximized(view.window())) gtk_window_unmaximize(view.window());
         else gtk_window_maximize(view.window());
     }},
};

struct ActionTarget {
    GtkApplication* application;
    DddWebView* view;
    const MenuAction* action;
};

GMenu* section(std::initializer_list<std::pair<std::string, const char*>> items) {
    GMenu* menu = g_menu_new();
    for (const auto& [label, action] : items) g_menu_append(menu, label.c_str(), (std::string("app.") + action).c_str());
    return menu;
}

void appendSubmenu(GMenu* bar, const char* title, std::initializer_list<GMenu*> sections) {
    GMenu* menu = g_menu_new();
    for (GMenu* part : sections) {
        g_menu_append_section(menu, nullptr, G_MENU_MODEL(part));
        g_object_unref(part);
    }
    g_menu_append_submenu(bar, title, G_MENU_MODEL(menu));
    g_object_unref(menu);
}

}  // namespace

void installWindowMenus(GtkApplication* application, DddWebView& view, bool withFleet) {
    for (const MenuAction& action : kActions) {
        GSimpleAction* simple = g_simple_action_new(action.name, nullptr);
        if (action.activate) {
            g_signal_connect_data(simple, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer data) {
                                      auto* target = static_cast<ActionTarget*>(data);
                                      target->action->activate(target->application, *target->view);
                                  }),
                                  new ActionTarget{application, &view, &action},
                                  +[](gpointer data, GClosure*) { delete static_cast<ActionTarget*>(data); }, GConnectFlags(0));
        } else {
            // Hiding other applications is left to the desktop on Linux: shown, but greyed out.
            g_simple_action_set_enabled(simple, FALSE);
        }
        g_action_map_add_action(G_ACTION_MAP(application), G_ACTION(simple));
        g_object_unref(simple);
        if (action.accel) {
            const gchar* accels[] = {action.accel, nullptr};
            gtk_application_set_accels_for_action(application, (std::string("app.") + action.name).c_str(), accels);
        }
    }

    const std::string product = kProductName;
    GMenu* bar = g_menu_new();
    appendSubmenu(bar, kProductName,
                  {section({{"Über " + product, "about"}}),
                   section({{product + " ausblenden", "hide"}, {"Andere ausblenden", "hide-others"}, {"Alle einblenden", "unhide-all"}}),
                   section({{product + " beenden", "quit"}})});
    appendSubmenu(bar, "Bearbeiten",
                  {section({{"Widerrufen", "undo"}, {"Wiederholen", "redo"}}),
                   section({{"Ausschneiden", "cut"}, {"Kopieren", "copy"}, {"Einsetzen", "paste"}, {"Alles auswählen", "select-all"}})});
    if (withFleet) appendSubmenu(bar, "Ansicht", {section({{"Flotte", "fleet"}})});
    appendSubmenu(bar, "Fenster", {section({{"Im Dock ablegen", "minimize"}, {"Zoomen", "zoom"}})});
    gtk_application_set_menubar(application, G_MENU_MODEL(bar));
    g_object_unref(bar);
}

bool registerApplication(GtkApplication* application) {
    GError* error = nullptr;
    if (g_application_register(G_APPLICATION(application), nullptr, &error)) return true;
    diagLog(std::string("application registration failed: ") + (error ? error->message : "unknown error"));
    if (error) g_error_free(error);
    g_object_unref(application);
    return false;
}

}  // namespace ddd::app
