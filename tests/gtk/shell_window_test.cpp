// The native window around the pages on a real X display: the web view's bridge, main loop and
// window, and the desktop host's scripts, PDFs, warnings, file manager and menus.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>
#include <tuple>
#include <vector>

#include "app/bridge_text.h"
#include "app/gtk/pdf_renderer.h"
#include "app/gtk/window_menus.h"
#include "tests/gtk/gtk_test_support.h"
#include "tests/support/temp_folder.h"

namespace ddd::app {
namespace {

// The page calls each bridge function once and records, per call, how its promise settled.
constexpr const char* kTestPage = R"HTML(<!doctype html><meta charset=utf-8><h1>Brückentest</h1><script>
window.results = {};
window.pageSawInit = window.__initMark || '';
var calls = {echo: echo('Grüße "aus" C:\\Daten', 2), args: args(1, 'x', {a: [true, null]}), sum: sum('20', '22'), worker: worker('vom Arbeitsfaden'),
             rejected: rejected(), notJson: notJson(), empty: empty(), throws: throws()};
Promise.all(Object.keys(calls).map(function(name) {
  return calls[name].then(function(v) { results[name] = {ok: true, value: v === undefined ? '<undefined>' : v}; },
                          function(e) { results[name] = {ok: false, value: e instanceof Error ? e.message : e}; });
})).then(function() { window.allSettled = 'yes'; });
</script>)HTML";

class ShellWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::startGtk()) << "no display: run under xvfb-run"; }
    void TearDown() override {
        for (auto& thread : workers) thread.join();
    }
    std::vector<std::thread> workers;
};

TEST_F(ShellWindow, BridgeRoundTrips) {
    DddWebView view;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> workerOnMain{false};
    view.init("window.__initMark = 'init ran first';");
    view.bind("echo", [](const std::string& request) { return jsonQuote(firstStringArg(request) + "|" + secondStringArg(request)); });
    view.bind("args", [](const std::string& request) { return jsonQuote(request); });
    view.bind("sum", [](const std::string& request) { return std::to_string(std::stoi(firstStringArg(request)) + std::stoi(secondStringArg(request))); });
    view.bindAsync("worker", [&](const std::string& id, const std::string& request) {
        workers.emplace_back([&view, &workerOnMain, mainThread, id, text = firstStringArg(request)] {
            view.dispatch([&view, &workerOnMain, mainThread, id, text] {
                workerOnMain = std::this_thread::get_id() == mainThread;
                view.resolve(id, 0, "{\"text\":" + jsonQuote(text) + "}");
            });
        });
    });
    view.bindAsync("rejected", [&](const std::string& id, const std::string&) { view.resolve(id, 1, "false"); });
    view.bind("notJson", [](const std::string&) { return std::string("kein JSON"); });
    view.bind("empty", [](const std::string&) { return std::string(); });
    view.bind("throws", [](const std::string&) -> std::string { throw std::runtime_error("disk on fire"); });
    view.setTitle("Brückentest — VELMORANT DDD");
    view.setSize(900, 500, SizeHint::None);
    view.setHtml(kTestPage);

    ASSERT_EQ(test::awaitScript(view, "window.allSettled || ''"), "yes");
    const std::pair<const char*, const char*> cases[] = {
        {"echo", R"({"ok":true,"value":"Grüße \"aus\" C:\\Daten|"})"},
        {"args", R"({"ok":true,"value":"[1,\"x\",{\"a\":[true,null]}]"})"},
        {"sum", R"({"ok":true,"value":42})"},
        {"worker", R"({"ok":true,"value":{"text":"vom Arbeitsfaden"}})"},
        {"rejected", R"({"ok":false,"value":false})"},
        {"notJson", R"({"ok":false,"value":"Failed to parse binding result as JSON"})"},
        {"empty", R"({"ok":true,"value":"<undefined>"})"},
        {"throws", R"({"ok":false,"value":"disk on fire"})"},
    };
    for (const auto& [name, settled] : cases) EXPECT_EQ(test::evaluateNow(view, std::string("JSON.stringify(results.") + name + ")"), settled) << name;
    EXPECT_TRUE(workerOnMain);
    EXPECT_EQ(test::evaluateNow(view, "window.pageSawInit"), "init ran first");
    EXPECT_STREQ(gtk_window_get_title(view.window()), "Brückentest — VELMORANT DDD");
    EXPECT_TRUE(gtk_window_get_resizable(view.window()));
    view.eval("document.body.dataset.marked = 'eval'");
    EXPECT_EQ(test::awaitScript(view, "document.body.dataset.marked || ''"), "eval");
    EXPECT_EQ(test::evaluateNow(view, "42"), "") << "a value that is not a string";
    EXPECT_EQ(test::evaluateNow(view, "nosuchname.x"), "") << "a script error";
    EXPECT_TRUE(test::snapshotPng(view, "webview_bridge"));

    // A later bind reaches the live page and survives a reload; a name never bound is refused.
    view.bind("late", [](const std::string&) { return std::string("\"spät gebunden\""); });
    view.eval("late().then(function(v){window.lateValue=v;})");
    EXPECT_EQ(test::awaitScript(view, "window.lateValue || ''"), "spät gebunden");
    view.setHtml("<!doctype html><script>late().then(function(v){window.afterReload=v;});</script>");
    EXPECT_EQ(test::awaitScript(view, "window.afterReload || ''"), "spät gebunden");
    view.eval("window.__ddd__.bind('unbound'); unbound().catch(function(e){window.unboundError=e;})");
    EXPECT_EQ(test::awaitScript(view, "window.unboundError || ''"), "no native function named unbound");
}

TEST_F(ShellWindow, TasksRunOnTheMainThreadUntilTheWindowCloses) {
    bool lateTaskRan = false;
    {
        DddWebView view;
        const std::thread::id mainThread = std::this_thread::get_id();
        int ran = 0, onMain = 0;
        for (int t = 0; t < 8; ++t) {
            workers.emplace_back([&] {
                for (int i = 0; i < 50; ++i) view.dispatch([&] { ++ran, onMain += std::this_thread::get_id() == mainThread; });
            });
        }
        EXPECT_TRUE(test::spinUntil([&] { return ran == 400; }));
        EXPECT_EQ(onMain, 400);
        view.setSize(640, 400, SizeHint::Fixed);
        EXPECT_FALSE(gtk_window_get_resizable(view.window()));
        view.dispatch([&view] { gtk_window_close(view.window()); });
        view.run();
        EXPECT_FALSE(view.isOpen());
        view.eval("1");
        std::string after = "unset";
        view.evaluate("'x'", [&](std::string text) { after = text; });
        EXPECT_EQ(after, "") << "a closed view answers at once";
        view.dispatch([&] { lateTaskRan = true; });
    }
    for (int i = 0; i < 50; ++i) g_main_context_iteration(nullptr, FALSE);
    EXPECT_FALSE(lateTaskRan);
    DddWebView stopped;
    stopped.terminate();
    stopped.run();  // returns at once
}

// Scripts reach the page once there is one; a PDF job that cannot start answers false at once, a
// real one answers once, later, leaves its file and is forgotten; report renders settle the call.
TEST_F(ShellWindow, HostScriptsAndPdfJobs) {
    test::TempFolder folder;
    DddWebView view;
    GtkShellHost host("/nonexistent");
    std::string value = "unset";
    host.evaluateScript("'x'", [&](std::string text) { value = text; });
    EXPECT_EQ(value, "") << "no web view yet";
    host.setWebView(&view);
    view.setHtml("<!doctype html><p id=p>Seite</p>");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('p') ? 'ok' : ''"), "ok");
    host.evaluateScript("document.getElementById('p').textContent", [&](std::string text) { value = text; });
    EXPECT_TRUE(test::spinUntil([&] { return value == "Seite"; }));

    const std::tuple<const char*, std::string, std::string, bool> cases[] = {
        {"empty html", "", folder.file("a.pdf"), false},
        {"empty path", "<p>x</p>", "", false},
        {"a missing folder", "<p>x</p>", folder.file("missing/d.pdf"), false},
        {"a real job", "<!doctype html><body style=\"margin:0\"></body>", folder.file("b.pdf"), true},
    };
    for (const auto& [name, html, out, ok] : cases) {
        int calls = 0;
        bool result = !ok;
        host.renderPdfAsync(html, out, [&](bool answer) { ++calls, result = answer; });
        EXPECT_EQ(calls, ok ? 0 : 1) << name;
        EXPECT_EQ(livePdfJobs(), ok ? 1u : 0u) << name;
        EXPECT_TRUE(test::spinUntil([&] { return livePdfJobs() == 0; }, 30)) << name;
        EXPECT_EQ(calls, 1) << name;
        EXPECT_EQ(result, ok) << name;
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"b.pdf"});
    EXPECT_TRUE(std::regex_search(test::commandOutput("pdfinfo '" + folder.file("b.pdf") + "'"), std::regex("Pages:\\s+1\\n[\\s\\S]*Page size:\\s+595 x 842 pts")));

    view.bindAsync("savePdf", [&](const std::string& id, const std::string& request) {
        host.renderReportPdfAsync(id, "<p>Bericht</p>", folder.file(firstStringArg(request)));
    });
    view.eval("savePdf('c.pdf').then(function(v){window.saved='fulfilled '+v;},function(v){window.saved='rejected '+v;});"
              "savePdf('missing/e.pdf').then(function(v){window.failed='fulfilled '+v;},function(v){window.failed='rejected '+v;})");
    EXPECT_EQ(test::awaitScript(view, "window.saved || ''", 30), "fulfilled true");
    EXPECT_EQ(test::awaitScript(view, "window.failed || ''", 30), "rejected false");
    EXPECT_TRUE(std::filesystem::exists(folder.file("c.pdf")));
}

TEST_F(ShellWindow, LaunchFinderFailureShowsTheModalWarning) {
    DddWebView view;
    GtkShellHost host("/nonexistent/ddd_app");
    host.setWebView(&view);
    std::tuple<std::string, std::string, bool> seen;
    // The warning runs its own loop; a timer reads it and answers it like a user.
    const guint timer = g_timeout_add(50, +[](gpointer data) -> gboolean {
        GList* windows = gtk_window_list_toplevels();
        for (GList* item = windows; item; item = item->next) {
            if (!GTK_IS_MESSAGE_DIALOG(item->data) || !gtk_widget_get_visible(GTK_WIDGET(item->data))) continue;
            gchar *text = nullptr, *detail = nullptr;
            g_object_get(item->data, "text", &text, "secondary-text", &detail, nullptr);
            *static_cast<std::tuple<std::string, std::string, bool>*>(data) = {text ? text : "", detail ? detail : "",
                                                                               gtk_window_get_modal(GTK_WINDOW(item->data))};
            g_free(text);
            g_free(detail);
            gtk_dialog_response(GTK_DIALOG(item->data), GTK_RESPONSE_OK);
            g_list_free(windows);
            return G_SOURCE_REMOVE;
        }
        g_list_free(windows);
        return G_SOURCE_CONTINUE;
    }, &seen);
    host.launchFinder("");
    if (std::get<0>(seen).empty()) g_source_remove(timer);
    EXPECT_EQ(seen, std::make_tuple(std::string("Fahrerermittlung konnte nicht geöffnet werden."),
                                    std::string("Das Fenster konnte nicht gestartet werden. Bitte starten Sie die App neu und versuchen Sie es erneut."),
                                    true));
}

// A file manager on the test's private session bus that records what it was asked to show.
TEST_F(ShellWindow, RevealAsksTheFileManagerToSelectTheFile) {
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml("<node><interface name='org.freedesktop.FileManager1'><method name='ShowItems'>"
                                                       "<arg type='as' direction='in'/><arg type='s' direction='in'/></method></interface></node>",
                                                       nullptr);
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_NE(bus, nullptr);
    std::vector<std::string> shown;
    static const GDBusInterfaceVTable vtable{
        +[](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters, GDBusMethodInvocation* invocation,
            gpointer data) {
            GVariantIter* uris = nullptr;
            const gchar* startup = nullptr;
            g_variant_get(parameters, "(as&s)", &uris, &startup);
            for (const gchar* uri = nullptr; g_variant_iter_next(uris, "&s", &uri);) static_cast<std::vector<std::string>*>(data)->push_back(uri);
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
    host.revealInFinder("");  // asks for nothing: only the file below arrives
    host.revealInFinder("/srv/Daten 2024/Fahrer ä.ddd");
    EXPECT_TRUE(test::spinUntil([&] { return !shown.empty(); }));
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
