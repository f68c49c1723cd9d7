#include <gtest/gtest.h>

#include "app/gtk/app_startup.h"
#include "app/gtk/gtk_shell_host.h"
#include "app/gtk/window_menus.h"
#include "app/window_page.h"
#include "tests/support/temp_folder.h"
#include "tests/gtk/gtk_test_support.h"
#include "tools/generator/card_generator.h"

namespace ddd::app {
namespace {

class ShellWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::startGtk()) << "no display: run under xvfb-run"; }
};

// The start-up file is analysed as the page boots; "Datei öffnen" then opens the chosen file.
TEST_F(ShellWindow, DashboardPageOpensTheStartupFileThenTheChosenOne) {
    test::TempFolder folder;
    const auto download = gen::writeCardDownload(gen::demoCard());
    const std::string startup = folder.write("Karten/demo.ddd", download).string();
    gen::CardDescription second = gen::randomCard(3, 20, gen::Generation::Both);
    second.identity.firstNames = "Erika";
    second.identity.surname = "Zweite";
    second.identity.cardNumber = "DF00000000002200";
    const std::string opened = folder.write("Andere/zweite.ddd", gen::writeCardDownload(second)).string();

    ShellState state;
    state.startupFile = startup;
    DddWebView view;
    test::DialogFreeHost host;
    host.setWebView(&view);
    host.fileAnswer = opened;
    const WindowPage page = dashboardPage();
    page.bind(view, state, host);
    view.setTitle(kProductName);
    view.setSize(1240, 840, SizeHint::None);
    view.setHtml(page.html);

    EXPECT_EQ(test::awaitScript(view, "document.getElementById('app').hidden ? '' : document.getElementById('driverName').textContent", 60),
              "Max Mustermann");
    EXPECT_EQ(test::evaluateNow(view, "document.getElementById('cardNo').textContent"), "DF00001234567801");
    EXPECT_TRUE(state.startupFile.empty()) << "consumed once";
    EXPECT_EQ(state.currentFile, startup);

    view.eval("document.getElementById('openBtn').click()");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('driverName').textContent === 'Erika Zweite' ? 'shown' : ''", 60), "shown");
    EXPECT_EQ(state.currentFile, opened);
    shutdownShellState(state);
    host.setWebView(nullptr);
}

TEST_F(ShellWindow, HostOperations) {
    test::TempFolder folder;
    DddWebView view;
    GtkShellHost host("/nonexistent");

    std::string value = "unset";
    host.evaluateScript("'x'", [&](std::string text) { value = text; });
    EXPECT_EQ(value, "") << "no web view yet";
    host.setWebView(&view);
    view.setHtml("<!doctype html><title>t</title><p id=p>Seite</p>");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('p') ? 'ok' : ''"), "ok");
    value = "unset";
    host.evaluateScript("document.getElementById('p').textContent", [&](std::string text) { value = text; });
    EXPECT_TRUE(test::spinUntil([&] { return value != "unset"; }));
    EXPECT_EQ(value, "Seite");

    // A job that cannot start (nothing to render, no target) answers at once with false; a real
    // job answers once, later, and leaves its PDF.
    struct Case {
        const char* name;
        std::string html;
        std::string out;
        bool answersAtOnce;
        bool ok;
    };
    const Case cases[] = {
        {"empty html", "", (folder.path() / "a.pdf").string(), true, false},
        {"empty path", "<p>x</p>", "", true, false},
        {"a real job", "<p>x</p>", (folder.path() / "b.pdf").string(), false, true},
        {"a missing folder", "<p>x</p>", (folder.path() / "missing" / "d.pdf").string(), true, false},
    };
    for (const auto& c : cases) {
        int calls = 0;
        bool result = !c.ok;
        host.renderPdfAsync(c.html, c.out, [&](bool ok) {
            ++calls;
            result = ok;
        });
        EXPECT_EQ(calls, c.answersAtOnce ? 1 : 0) << c.name;
        test::spinUntil([&] { return calls > 0; }, 30);
        test::spinUntil([] { return false; }, 0.1);
        EXPECT_EQ(calls, 1) << c.name;
        EXPECT_EQ(result, c.ok) << c.name;
    }
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "b.pdf"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "a.pdf"));

    view.bindAsync("savePdf", [&](const std::string& id, const std::string&) {
        host.renderReportPdfAsync(id, "<p>Bericht</p>", (folder.path() / "c.pdf").string());
    });
    view.bindAsync("savePdfNowhere", [&](const std::string& id, const std::string&) {
        host.renderReportPdfAsync(id, "<p>Bericht</p>", (folder.path() / "missing" / "e.pdf").string());
    });
    view.eval("savePdf().then(function(v){window.saved='fulfilled '+v;},function(v){window.saved='rejected '+v;})");
    EXPECT_EQ(test::awaitScript(view, "window.saved || ''", 30), "fulfilled true");
    view.eval("savePdfNowhere().then(function(v){window.failed='fulfilled '+v;},function(v){window.failed='rejected '+v;})");
    EXPECT_EQ(test::awaitScript(view, "window.failed || ''", 30), "rejected false");
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "c.pdf"));
}

TEST_F(ShellWindow, LaunchFinderFailureShowsTheModalWarning) {
    DddWebView view;
    GtkShellHost host("/nonexistent/ddd_app");
    host.setWebView(&view);
    std::string primary, secondary;
    bool modal = false;
    std::tuple<std::string*, std::string*, bool*> found(&primary, &secondary, &modal);
    // The warning runs its own loop; a timer reads it and answers it like a user.
    const guint timer = g_timeout_add(300, +[](gpointer data) -> gboolean {
        auto* found = static_cast<std::tuple<std::string*, std::string*, bool*>*>(data);
        GList* windows = gtk_window_list_toplevels();
        for (GList* item = windows; item; item = item->next) {
            if (!GTK_IS_MESSAGE_DIALOG(item->data) || !gtk_widget_get_visible(GTK_WIDGET(item->data))) continue;
            gchar* text = nullptr;
            gchar* detail = nullptr;
            g_object_get(item->data, "text", &text, "secondary-text", &detail, nullptr);
            *std::get<0>(*found) = text ? text : "";
            *std::get<1>(*found) = detail ? detail : "";
            *std::get<2>(*found) = gtk_window_get_modal(GTK_WINDOW(item->data));
            g_free(text);
            g_free(detail);
            gtk_dialog_response(GTK_DIALOG(item->data), GTK_RESPONSE_OK);
            g_list_free(windows);
            return G_SOURCE_REMOVE;
        }
        g_list_free(windows);
        return G_SOURCE_CONTINUE;
    }, &found);
    host.launchFinder("");
    if (primary.empty()) g_source_remove(timer);
    EXPECT_EQ(primary, "Fahrerermittlung konnte nicht geöffnet werden.");
    EXPECT_EQ(secondary, "Das Fenster konnte nicht gestartet werden. Bitte starten Sie die App neu und versuchen Sie es erneut.");
    EXPECT_TRUE(modal);
}

// A file manager on the test's private session bus that records what it was asked to show.
TEST_F(ShellWindow, RevealAsksTheFileManagerToSelectTheFile) {
    static const char* kInterface =
        "<node><interface name='org.freedesktop.FileManager1'><method name='ShowItems'><arg type='as' direction='in'/>"
        "<arg type='s' direction='in'/></method></interface></node>";
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kInterface, nullptr);
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_NE(bus, nullptr);
    std::vector<std::string> shown;
    static const GDBusInterfaceVTable vtable{
        +[](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters, GDBusMethodInvocation* invocation,
            gpointer data) {
            GVariantIter* uris = nullptr;
            const gchar* startup = nullptr;
            g_variant_get(parameters, "(as&s)", &uris, &startup);
            const gchar* uri = nullptr;
            while (g_variant_iter_next(uris, "&s", &uri)) static_cast<std::vector<std::string>*>(data)->push_back(uri);
            g_variant_iter_free(uris);
            g_dbus_method_invocation_return_value(invocation, nullptr);
        },
        nullptr, nullptr, {}};
    const guint object = g_dbus_connection_register_object(bus, "/org/freedesktop/FileManager1", node->interfaces[0], &vtable, &shown, nullptr, nullptr);
    bool named = false;
    const guint owner = g_bus_own_name_on_connection(bus, "org.freedesktop.FileManager1", G_BUS_NAME_OWNER_FLAGS_NONE,
                                                     +[](GDBusConnection*, const gchar*, gpointer data) { *static_cast<bool*>(data) = true; }, nullptr,
                                                     &named, nullptr);
    ASSERT_TRUE(test::spinUntil([&] { return named; }));

    GtkShellHost host("/nonexistent");
    host.revealInFinder("");
    host.revealInFinder("/srv/Daten 2024/Fahrer ä.ddd");
    EXPECT_TRUE(test::spinUntil([&] { return !shown.empty(); }));
    test::spinUntil([] { return false; }, 0.2);
    EXPECT_EQ(shown, std::vector<std::string>{"file:///srv/Daten%202024/Fahrer%20%C3%A4.ddd"});

    g_bus_unown_name(owner);
    g_dbus_connection_unregister_object(bus, object);
    g_dbus_node_info_unref(node);
    g_object_unref(bus);
}

// The menu bar's edit and quit commands reach the page and the window.
TEST_F(ShellWindow, MenuCommandsReachThePageAndTheWindow) {
    GtkApplication* application = gtk_application_new("de.orvendel.VelmorantDDD.MenuTest", G_APPLICATION_NON_UNIQUE);
    ASSERT_TRUE(g_application_register(G_APPLICATION(application), nullptr, nullptr));
    {
        DddWebView view(application);
        installWindowMenus(application, view);
        ASSERT_NE(gtk_application_get_menubar(application), nullptr);
        view.setHtml("<!doctype html><p id=p>Auswahl per Menü</p>");
        ASSERT_EQ(test::awaitScript(view, "document.getElementById('p') ? 'ok' : ''"), "ok");
        g_action_group_activate_action(G_ACTION_GROUP(application), "select-all", nullptr);
        EXPECT_EQ(test::awaitScript(view, "window.getSelection().toString()"), "Auswahl per Menü");

        g_action_group_activate_action(G_ACTION_GROUP(application), "quit", nullptr);
        EXPECT_TRUE(test::spinUntil([&] { return !view.isOpen(); }));
    }
    g_object_unref(application);
}

}  // namespace
}  // namespace ddd::app
