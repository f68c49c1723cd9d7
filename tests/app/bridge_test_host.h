// What the bridge tests run the bridges against instead of a window: a web view whose calls the
// test makes itself, dialogs and renders that answer as the test says, environment variables set
// for one test, the dashboard's bridge bound to them; and the generated drivers and fleets.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/bridge_text.h"
#include "app/dashboard_bridge.h"
#include "app/shell_host.h"
#include "app/webview.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd::test {

// A web view without a window: calls are made by the test, scripts and answers are recorded,
// and dispatched tasks wait until the test runs them as the main loop would.
class RecordingWebView : public app::WebView {
public:
    void bind(const std::string& name, SyncFunction function) override { sync[name] = std::move(function); }
    void bindAsync(const std::string& name, AsyncFunction function) override { async[name] = std::move(function); }
    void resolve(const std::string& id, int status, const std::string& result) override { std::lock_guard<std::mutex> lock(mutex_); resolved.push_back({id, status, result}); }
    void eval(const std::string& script) override { std::lock_guard<std::mutex> lock(mutex_); evaluated_.push_back(script); }
    void dispatch(std::function<void()> task) override { std::lock_guard<std::mutex> lock(mutex_); tasks_.push_back(std::move(task)); }
    void init(const std::string&) override {} void setHtml(const std::string&) override {} void setTitle(const std::string&) override {}
    void setSize(int, int, app::SizeHint) override {} void run() override {} void terminate() override {}

    std::string call(const std::string& name, const std::string& request = "[]") { return sync.at(name)(request); }

    struct Resolution { std::string id; int status = -1; std::string result; };
    // Starts an asynchronous call and runs dispatched tasks until it is answered.
    std::optional<Resolution> callAsync(const std::string& name, const std::string& request = "[]") {
        const std::string id = std::to_string(++calls_);
        async.at(name)(id, request);
        std::optional<Resolution> answer;
        runTasksUntil([&] {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const Resolution& r : resolved) answer = r.id == id ? r : answer;
            return answer.has_value();
        });
        return answer;
    }

    // Runs dispatched tasks until `done` holds (without one, until every task has run) or a minute is up.
    bool runTasksUntil(const std::function<bool()>& done = nullptr) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            if (done && done()) return true;
            std::function<void()> task;
            if (std::lock_guard<std::mutex> lock(mutex_); !tasks_.empty()) task = std::move(tasks_.front()), tasks_.pop_front();
            if (task) task();
            else if (!done) return true;
            else if (std::chrono::steady_clock::now() > deadline) return false;
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::vector<std::string> scripts() { std::lock_guard<std::mutex> lock(mutex_); return evaluated_; }

    std::map<std::string, SyncFunction> sync;
    std::map<std::string, AsyncFunction> async;
    std::vector<Resolution> resolved;

private:
    std::mutex mutex_;
    int calls_ = 0;
    std::vector<std::string> evaluated_;
    std::deque<std::function<void()>> tasks_;
};

// A desktop host whose dialogs answer what the test put in (each folder dialog takes the next of
// folderAnswers, then folderAnswer); revealed files and finder starts are recorded, not carried out.
template <class Host>
class ScriptedDialogs : public Host {
public:
    using Host::Host;
    std::string chooseDddFile() override { return fileAnswer; }
    std::string chooseFolder(const std::string&, const std::string&) override {
        if (folderAnswers.empty()) return folderAnswer;
        const std::string answer = folderAnswers.front();
        return folderAnswers.pop_front(), answer;
    }
    std::string chooseSavePath(const std::string& suggestedName) override { return suggestedNames.push_back(suggestedName), saveAnswer; }
    void revealInFinder(const std::string& path) override { revealed.push_back(path); }
    void launchFinder(const std::string& scanFolder) override { finderLaunches.push_back(scanFolder); }

    std::string fileAnswer, folderAnswer, saveAnswer;
    std::deque<std::string> folderAnswers;
    std::vector<std::string> suggestedNames, revealed, finderLaunches;
};

// Dialogs as the test says; a render writes the HTML it was given to the path and reports
// success, unless the test makes it fail; report renders are only recorded.
class ScriptedHost : public ScriptedDialogs<app::ShellHost> {
public:
    void renderReportPdfAsync(const std::string& id, const std::string& html, const std::string& path) override { renders.push_back({id, html, path}); }
    void renderPdfAsync(const std::string& html, const std::string& outPath, std::function<void(bool)> done) override {
        log.push_back("pdf " + outPath);
        const bool fails = html.empty() || outPath.empty() || outPath.find(failingPathPart) != std::string::npos;
        if (!fails) std::ofstream(outPath, std::ios::binary) << html;
        done(!fails && std::filesystem::exists(outPath));
    }
    void evaluateScript(const std::string& script, std::function<void(std::string)> done) override { log.push_back("script " + script), done(scriptValue); }

    struct Render { std::string callId, html, path; };
    std::string scriptValue = "<!doctype html><p>Bericht</p>";
    std::string failingPathPart = "\x01never";  // a render to a path holding this fails
    std::vector<Render> renders;
    std::vector<std::string> log;  // scripts and PDF renders in the order they were asked for
};

// Sets or clears environment variables for one test and restores them afterwards.
class Environment {
public:
    void set(const char* name, const char* value) {
        const char* old = ::getenv(name);
        if (!saved_.count(name)) saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~Environment() { for (const auto& [name, value] : saved_) set(name.c_str(), value ? value->c_str() : nullptr); }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

// A driver's card download with one shift from 06:00 to 13:00 UTC on each of the days.
inline gen::CardDescription driverCard(const std::string& surname, const std::string& cardNumber, const std::vector<std::array<int, 3>>& shiftDays) {
    gen::CardDescription card;
    card.identity.surname = gen::Text(surname);
    card.identity.firstNames = gen::Text("");
    card.identity.cardNumber = cardNumber;
    card.identity.issuingNation = 13;
    int presence = 1;
    for (const auto& [year, month, day] : shiftDays) {
        card.days.push_back(gen::dayFromText(gen::utcDay(year, month, day),
                                             "00:00 rest 06:00 drive 10:00 break 10:45 drive 12:00 work 13:00 rest", presence++, 420));
    }
    return card;
}

// The dashboard's bridge bound to a recording view and a scripted host, with the settings in the
// test's own folder; the workers are joined when the test ends.
class DashboardBridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.set("XDG_CONFIG_HOME", folder.file("config").c_str());
        app::bindDashboard(view, state, host);
    }
    void TearDown() override { app::shutdownShellState(state); }

    // The answer of the analysis the page asks for when it opens the path.
    std::string analyze(const std::string& path) {
        const auto answer = view.callAsync("tachoAnalyze", "[" + app::jsonQuote(path) + "]");
        return answer ? answer->result : "no answer";
    }

    TempFolder folder;
    Environment env;
    RecordingWebView view;
    ScriptedHost host;
    app::ShellState state;
};

// The cards (their first 14 characters, as the finder shows them) that the fleet put into the
// vehicle at the full hour of the instant: the finder searches whole hours of German time, a
// whole number of hours off UTC.
inline std::string cardsInVehicleAtHour(const gen::Fleet& fleet, int vehicle, std::int64_t instant) {
    const std::int64_t hourStart = instant - instant % 3600;
    std::set<std::string> cards;
    for (const gen::FleetStay& s : fleet.stays) {
        if (s.vehicle == vehicle && s.start <= hourStart && hourStart < s.end) cards.insert(fleet.drivers[static_cast<std::size_t>(s.driver)].cardNumber.substr(0, 14));
    }
    std::string joined;
    for (const std::string& card : cards) joined += (joined.empty() ? "" : ",") + card;
    return joined;
}

}  // namespace ddd::test
