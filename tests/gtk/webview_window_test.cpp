#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/bridge_text.h"
#include "tests/gtk/gtk_test_support.h"

namespace ddd::app {
namespace {

// The page calls each bridge function once and records, per call, how its promise settled.
constexpr const char* kTestPage = R"HTML(<!doctype html><meta charset=utf-8>
<title>Brückentest</title>
<style>body{font:16px sans-serif;margin:24px}td{padding:2px 10px;border-bottom:1px solid #ccc}</style>
<h1>Brückentest</h1><table id=out></table>
<script>
window.results = {};
window.pageSawInit = window.__initMark || '';
function settle(name, promise) {
  return promise.then(function(v) { return {ok: true, value: v === undefined ? '<undefined>' : v}; },
                      function(e) { return {ok: false, value: e instanceof Error ? e.message : e}; })
    .then(function(r) {
      results[name] = r;
      var row = document.createElement('tr');
      row.innerHTML = '<td>' + name + '</td><td>' + (r.ok ? 'erfüllt' : 'abgelehnt') + '</td><td></td>';
      row.lastChild.textContent = JSON.stringify(r.value);
      document.getElementById('out').appendChild(row);
    });
}
Promise.all([
  settle('echo', echo('Grüße "aus" C:\\Daten', 2)),
  settle('args', args(1, 'x', {a: [true, null]})),
  settle('sum', sum('20', '22')),
  settle('worker', worker('vom Arbeitsfaden')),
  settle('rejected', rejected()),
  settle('notJson', notJson()),
  settle('empty', empty()),
  settle('throws', throws()),
]).then(function() { window.allSettled = 'yes'; });
</script>)HTML";

class WebViewWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::startGtk()) << "no display: run under xvfb-run"; }
    void TearDown() override {
        for (auto& thread : workers_) thread.join();
    }
    std::vector<std::thread> workers_;
};

TEST_F(WebViewWindow, BridgeRoundTrips) {
    DddWebView view;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> workerOnMain{false};

    view.init("window.__initMark = 'init ran first';");
    view.bind("echo", [](const std::string& request) { return jsonQuote(firstStringArg(request) + "|" + secondStringArg(request)); });
    view.bind("args", [](const std::string& request) { return jsonQuote(request); });
    view.bind("sum", [](const std::string& request) {
        return std::to_string(std::stoi(firstStringArg(request)) + std::stoi(secondStringArg(request)));
    });
    view.bindAsync("worker", [&](const std::string& id, const std::string& request) {
        workers_.emplace_back([&view, &workerOnMain, mainThread, id, text = firstStringArg(request)] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
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
    struct Case {
        const char* name;
        const char* settled;
    };
    const Case cases[] = {
        {"echo", R"({"ok":true,"value":"Grüße \"aus\" C:\\Daten|"})"},
        {"args", R"({"ok":true,"value":"[1,\"x\",{\"a\":[true,null]}]"})"},
        {"sum", R"({"ok":true,"value":42})"},
        {"worker", R"({"ok":true,"value":{"text":"vom Arbeitsfaden"}})"},
        {"rejected", R"({"ok":false,"value":false})"},
        {"notJson", R"({"ok":false,"value":"Failed to parse binding result as JSON"})"},
        {"empty", R"({"ok":true,"value":"<undefined>"})"},
        {"throws", R"({"ok":false,"value":"disk on fire"})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(test::evaluateNow(view, std::string("JSON.stringify(results.") + c.name + ")"), c.settled) << c.name;
    }
    EXPECT_TRUE(workerOnMain);
    EXPECT_EQ(test::evaluateNow(view, "window.pageSawInit"), "init ran first");
    EXPECT_STREQ(gtk_window_get_title(view.window()), "Brückentest — VELMORANT DDD");
    EXPECT_TRUE(gtk_window_get_resizable(view.window()));

    view.eval("document.body.dataset.marked = 'eval'");
    EXPECT_EQ(test::awaitScript(view, "document.body.dataset.marked || ''"), "eval");
    EXPECT_EQ(test::evaluateNow(view, "42"), "") << "a value that is not a string";
    EXPECT_EQ(test::evaluateNow(view, "nosuchname.x"), "") << "a script error";

    const auto picture = test::artifactFolder() / "webview_bridge.png";
    ASSERT_TRUE(test::snapshotPng(view, picture));
    EXPECT_GT(std::filesystem::file_size(picture), 1000u);
}

TEST_F(WebViewWindow, BindingsSurviveReloadAndLaterBindsReachTheLivePage) {
    DddWebView view;
    view.setHtml("<!doctype html><p id=first>erste Seite</p>");
    ASSERT_EQ(test::awaitScript(view, "document.getElementById('first') ? 'loaded' : ''"), "loaded");
    view.bind("late", [](const std::string&) { return std::string("\"spät gebunden\""); });
    EXPECT_EQ(test::evaluateNow(view, "typeof window.late + typeof window.__ddd__"), "functionobject");
    view.eval("late().then(function(v){window.lateValue=v;})");
    EXPECT_EQ(test::awaitScript(view, "window.lateValue || ''"), "spät gebunden");

    view.setHtml("<!doctype html><script>late().then(function(v){window.afterReload=v;});</script>");
    EXPECT_EQ(test::awaitScript(view, "window.afterReload || ''"), "spät gebunden");

    view.eval("window.missingCall = 1; window.__ddd__.bind('unbound'); unbound().catch(function(e){window.unboundError=e;})");
    EXPECT_EQ(test::awaitScript(view, "window.unboundError || ''"), "no native function named unbound");
}

TEST_F(WebViewWindow, DispatchFromManyThreadsRunsEveryTaskOnTheMainThread) {
    DddWebView view;
    const std::thread::id mainThread = std::this_thread::get_id();
    int ran = 0;
    int onMain = 0;
    for (int t = 0; t < 8; ++t) {
        workers_.emplace_back([&] {
            for (int i = 0; i < 50; ++i) view.dispatch([&] {
                ++ran;
                onMain += std::this_thread::get_id() == mainThread;
            });
        });
    }
    EXPECT_TRUE(test::spinUntil([&] { return ran == 400; }));
    EXPECT_EQ(onMain, 400);
}

TEST_F(WebViewWindow, RunEndsWhenTheWindowClosesAndPendingTasksAreDropped) {
    bool lateTaskRan = false;
    {
        DddWebView view;
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
    test::spinUntil([] { return false; }, 0.2);
    EXPECT_FALSE(lateTaskRan);
}

TEST_F(WebViewWindow, TerminateBeforeRunReturnsAtOnce) {
    DddWebView view;
    view.terminate();
    view.run();
    SUCCEED();
}

}  // namespace
}  // namespace ddd::app
