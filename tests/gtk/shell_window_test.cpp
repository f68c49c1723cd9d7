// The native window around the pages on a real X display: the web view's bridge, main loop and
// window, and the desktop host's scripts and PDFs.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "app/bridge_text.h"
#include "app/gtk/pdf_renderer.h"
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
        for (int t = 0; t < 4; ++t) workers.emplace_back([&] { view.dispatch([&] { ++ran, onMain += std::this_thread::get_id() == mainThread; }); });
        EXPECT_TRUE(test::spinUntil([&] { return ran == 4; }));
        EXPECT_EQ(onMain, 4);
        view.dispatch([&view] { gtk_window_close(view.window()); });
        view.run();
        EXPECT_FALSE(view.isOpen());
        std::string after = "unset";
        view.evaluate("'x'", [&](std::string text) { after = text; });
        EXPECT_EQ(after, "") << "a closed view answers at once";
        view.dispatch([&] { lateTaskRan = true; });
    }
    for (int i = 0; i < 50; ++i) g_main_context_iteration(nullptr, FALSE);
    EXPECT_FALSE(lateTaskRan);
}

// Scripts reach the page once there is one; a PDF job that cannot start answers false at once, a
// real one answers once, later, leaves its file and is forgotten; a failed report render rejects the call.
TEST_F(ShellWindow, HostScriptsAndPdfJobs) {
    test::TempFolder folder;
    DddWebView view;
    GtkShellHost host("/nonexistent");
    std::string value = "unset";
    host.setWebView(&view);
    view.setHtml("<!doctype html><p id=p>Seite</p>");
    EXPECT_EQ(test::awaitScript(view, "document.getElementById('p') ? 'ok' : ''"), "ok");
    host.evaluateScript("document.getElementById('p').textContent", [&](std::string text) { value = text; });
    EXPECT_TRUE(test::spinUntil([&] { return value == "Seite"; }));

    const std::tuple<const char*, std::string, std::string, bool> cases[] = {
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

    view.bindAsync("savePdf", [&](const std::string& id, const std::string& request) {
        host.renderReportPdfAsync(id, "<p>Bericht</p>", folder.file(firstStringArg(request)));
    });
    view.eval("savePdf('missing/e.pdf').then(function(v){window.failed='fulfilled '+v;},function(v){window.failed='rejected '+v;})");
    EXPECT_EQ(test::awaitScript(view, "window.failed || ''", 30), "rejected false");
}

}  // namespace
}  // namespace ddd::app
