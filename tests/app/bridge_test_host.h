// What the bridge tests run the bridges against instead of a window: a web view whose calls the
// test makes itself, a host whose dialogs and renders answer as the test says, and environment
// variables set for one test.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/shell_host.h"
#include "app/webview.h"

namespace ddd::test {

// A web view without a window: calls are made by the test, scripts and answers are recorded,
// and dispatched tasks wait until the test runs them as the main loop would.
class RecordingWebView : public app::WebView {
public:
    void bind(const std::string& name, SyncFunction function) override {
        order.push_back(name);
        sync[name] = std::move(function);
    }
    void bindAsync(const std::string& name, AsyncFunction function) override {
        order.push_back(name);
        async[name] = std::move(function);
    }
    void resolve(const std::string& callId, int status, const std::string& result) override {
        std::lock_guard<std::mutex> lock(mutex_);
        resolved.push_back({callId, status, result});
    }
    void init(const std::string& script) override { initScripts.push_back(script); }
    void eval(const std::string& script) override {
        std::lock_guard<std::mutex> lock(mutex_);
        evaluated.push_back(script);
    }
    void setHtml(const std::string&) override {}
    void setTitle(const std::string&) override {}
    void setSize(int, int, app::SizeHint) override {}
    void dispatch(std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    void run() override {}
    void terminate() override {}

    std::string call(const std::string& name, const std::string& request = "[]") { return sync.at(name)(request); }

    // Starts an asynchronous call and runs dispatched tasks until it is answered.
    struct Resolution {
        std::string id;
        int status = -1;
        std::string result;
    };
    std::optional<Resolution> callAsync(const std::string& name, const std::string& request = "[]", double seconds = 60) {
        const std::string id = std::to_string(++calls_);
        async.at(name)(id, request);
        std::optional<Resolution> answer;
        runTasksUntil(
            [&] {
                std::lock_guard<std::mutex> lock(mutex_);
                for (const Resolution& r : resolved) {
                    if (r.id == id) answer = r;
                }
                return answer.has_value();
            },
            seconds);
        return answer;
    }

    // Runs dispatched tasks until `done` holds or the time is up.
    bool runTasksUntil(const std::function<bool()>& done, double seconds = 60) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::function<void()> task;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!tasks_.empty()) {
                    task = std::move(tasks_.front());
                    tasks_.pop_front();
                }
            }
            if (task) task();
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    void runAllTasks() {
        runTasksUntil([this] {
            std::lock_guard<std::mutex> lock(mutex_);
            return tasks_.empty();
        });
    }
    std::vector<std::string> scripts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return evaluated;
    }

    std::vector<std::string> order;
    std::map<std::string, SyncFunction> sync;
    std::map<std::string, AsyncFunction> async;
    std::vector<Resolution> resolved;
    std::vector<std::string> initScripts;

private:
    std::mutex mutex_;
    int calls_ = 0;
    std::vector<std::string> evaluated;
    std::deque<std::function<void()>> tasks_;
};

// Dialogs answer what the test put in. A render writes the HTML it was given to the path and
// reports success, unless the test makes it fail; report renders are only recorded.
class ScriptedHost : public app::ShellHost {
public:
    std::string chooseDddFile() override { return dddFileAnswer; }
    // The queued answers first, one per dialog, then folderAnswer.
    std::string chooseFolder(const std::string& message, const std::string&) override {
        folderMessages.push_back(message);
        if (folderAnswers.empty()) return folderAnswer;
        std::string answer = folderAnswers.front();
        folderAnswers.pop_front();
        return answer;
    }
    std::string chooseSavePath(const std::string& suggestedName) override {
        suggestedNames.push_back(suggestedName);
        return saveAnswer;
    }
    void revealInFinder(const std::string& path) override { revealed.push_back(path); }
    void launchFinder(const std::string& scanFolder) override { finderLaunches.push_back(scanFolder); }
    void renderReportPdfAsync(const std::string& callId, const std::string& html, const std::string& outPath) override {
        renders.push_back({callId, html, outPath});
    }
    void renderPdfAsync(const std::string& html, const std::string& outPath, std::function<void(bool)> done) override {
        log.push_back("pdf " + outPath);
        const bool fails = html.empty() || outPath.empty() || outPath.find(failingPathPart) != std::string::npos;
        if (!fails) std::ofstream(outPath, std::ios::binary) << html;
        done(!fails && std::filesystem::exists(outPath));
    }
    void evaluateScript(const std::string& script, std::function<void(std::string)> done) override {
        log.push_back("script " + script);
        done(scriptValue);
    }

    struct Render {
        std::string callId;
        std::string html;
        std::string path;
    };
    std::string dddFileAnswer;
    std::string folderAnswer;
    std::deque<std::string> folderAnswers;
    std::string saveAnswer;
    std::string scriptValue = "<!doctype html><p>Bericht</p>";
    std::string failingPathPart = "\x01never";  // a render to a path holding this fails
    std::vector<std::string> folderMessages;
    std::vector<std::string> suggestedNames;
    std::vector<std::string> revealed;
    std::vector<std::string> finderLaunches;
    std::vector<Render> renders;
    std::vector<std::string> log;  // scripts and PDF renders in the order they were asked for
};

// Sets or clears environment variables for one test and restores them afterwards.
class Environment {
public:
    void set(const char* name, const char* value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name);
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~Environment() {
        for (const auto& [name, value] : saved_) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace ddd::test
