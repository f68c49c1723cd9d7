// Driving a web view from outside its page, for window tests and window benchmarks: GTK started
// once, the main loop turned until something happened, script results awaited, and the output
// of a command (the PDF tools) read back.
#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "app/gtk/webview_gtk.h"

namespace ddd::test {

inline bool startGtk() {
    static const bool started = gtk_init_check(nullptr, nullptr);
    return started;
}

// Turns the main loop until the condition holds or the time is up; true when it holds.
inline bool spinUntil(const std::function<bool()>& condition, double seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(2000);
    }
    return true;
}

// The string value of a script, or "<timeout>".
inline std::string evaluateNow(app::DddWebView& view, const std::string& script, double seconds = 20) {
    bool done = false;
    std::string text = "<timeout>";
    view.evaluate(script, [&](std::string value) {
        text = std::move(value);
        done = true;
    });
    spinUntil([&] { return done; }, seconds);
    return text;
}

// Waits until the script yields a non-empty string and returns it.
inline std::string awaitScript(app::DddWebView& view, const std::string& script, double seconds = 20) {
    std::string text;
    spinUntil([&] {
        text = evaluateNow(view, script);
        return !text.empty();
    }, seconds);
    return text;
}

inline std::string commandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
        ::pclose(pipe);
    }
    return out;
}

}  // namespace ddd::test
