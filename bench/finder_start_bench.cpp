// The finder as the dashboard starts it: `ddd_app --finder` as a process of its own over a kept
// index (the file FINDER_BENCH_KEPT names, else none), timed from its spawn until its page has
// painted the index's counters, with the steps between and the CPU time its process tree (the
// web engine's processes included) spent until then. Beside it the floor of this machine: a
// process holding nothing but a WebKitGTK view that loads a tiny page, timed from its spawn to the
// page's load-finished and to the frame after it, once with the engine's defaults and once set up
// as the finder sets up its own. Runs alternate between the three, so that all meet the same load
// of the machine. Run under xvfb-run; FINDER_BENCH_RUNS runs each (default 11); FINDER_BENCH_FLOOR=0
// leaves the floor out.
#include <fcntl.h>
#include <gtk/gtk.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/process_tree.h"

namespace {

namespace fs = std::filesystem;

constexpr int kReadyFd = 3;

double epochMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// ---- the floor, in the child ----

struct Floor {
    std::string line;
    WebKitWebView* view = nullptr;
};

void writeLine(const std::string& line) {
    if (::write(kReadyFd, line.data(), line.size()) < 0) std::perror("floor");
}

void addMark(std::string& line, const char* step) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %.1f ", step, epochMs());
    line += text;
}

int runFloor(bool lean) {
    Floor floor;
    addMark(floor.line, "main");
    if (!gtk_init_check(nullptr, nullptr)) return 1;
    addMark(floor.line, "gtk");
    WebKitWebContext* context = lean ? webkit_web_context_new_ephemeral() : webkit_web_context_get_default();
    floor.view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context));
    if (lean) {
        webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(floor.view),
                                                         WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    }
    addMark(floor.line, "view");
    g_signal_connect(floor.view, "load-changed", G_CALLBACK(+[](WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
                         if (event != WEBKIT_LOAD_FINISHED) return;
                         addMark(static_cast<Floor*>(data)->line, "loaded");
                         webkit_web_view_call_async_javascript_function(
                             view, "await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r))); return 1;", -1,
                             nullptr, nullptr, nullptr, nullptr,
                             +[](GObject*, GAsyncResult*, gpointer data) {
                                 auto* floor = static_cast<Floor*>(data);
                                 addMark(floor->line, "painted");
                                 writeLine(floor->line + "\n");
                             },
                             data);
                     }),
                     &floor);
    webkit_web_view_load_html(floor.view, "<!doctype html><meta charset=utf-8><p>Fahrerermittlung</p>", nullptr);
    addMark(floor.line, "loading");
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 1240, 840);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(floor.view));
    gtk_widget_show_all(window);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_main();
    return 0;
}

// ---- the measuring parent ----

struct Run {
    std::vector<std::pair<std::string, double>> steps;  // since the spawn, in the child's order
    double readyMs = 0;                                    // the last step
    double cpuMs = 0;                                      // of the process tree until ready
};

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

void endTree(pid_t pid) {
    std::vector<pid_t> tree;
    ddd::bench::visitProcessTree(pid, [&tree](const std::string& folder) { tree.push_back(std::stoi(folder.substr(6))); });
    for (const pid_t member : tree) ::kill(member, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    // The engine's processes are no children of this one: they are gone once kill finds them no more.
    for (const pid_t member : tree) {
        while (::kill(member, 0) == 0) ::usleep(1000);
    }
}

Run runOnce(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> envText(extraEnv);
    envText.push_back("DDD_FINDER_READY_FD=" + std::to_string(kReadyFd));
    for (char** e = environ; *e; ++e) envText.emplace_back(*e);
    const std::vector<char*> env = ddd::bench::spawnVector(envText), argv = ddd::bench::spawnVector(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ready[1], kReadyFd);

    const double spawned = epochMs();
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(ready[1]);
    if (failed != 0) throw std::runtime_error("spawn failed: " + args[0]);

    std::string line;
    pollfd wait{ready[0], POLLIN, 0};
    char buffer[4096];
    while (line.find('\n') == std::string::npos && ::poll(&wait, 1, 60000) > 0) {
        const ssize_t got = ::read(ready[0], buffer, sizeof buffer);
        if (got <= 0) break;
        line.append(buffer, static_cast<std::size_t>(got));
    }
    Run run;
    run.cpuMs = ddd::bench::treeCpuSeconds(pid) * 1e3;
    ::close(ready[0]);
    endTree(pid);
    std::istringstream fields(line);
    std::string step;
    for (double at; fields >> step >> at;) run.steps.emplace_back(step, at - spawned);
    if (run.steps.empty()) throw std::runtime_error("no ready line from " + args[0]);
    run.readyMs = run.steps.back().second;
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char* name, const std::vector<Run>& runs) {
    std::vector<double> ready, cpu;
    for (const Run& r : runs) {
        ready.push_back(r.readyMs);
        cpu.push_back(r.cpuMs);
    }
    std::printf("%s: ready median %.0f ms (fastest %.0f, slowest %.0f), CPU of the process tree until ready median %.0f ms; steps (median ms since spawn):",
                name, median(ready), *std::min_element(ready.begin(), ready.end()), *std::max_element(ready.begin(), ready.end()),
                median(cpu));
    for (std::size_t i = 0; i < runs.front().steps.size(); ++i) {
        std::vector<double> at;
        for (const Run& r : runs) {
            if (i < r.steps.size()) at.push_back(r.steps[i].second);
        }
        std::printf(" %s %.0f", runs.front().steps[i].first.c_str(), median(at));
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--floor") == 0) return runFloor(std::strcmp(argv[2], "lean") == 0);

    const char* wanted = std::getenv("FINDER_BENCH_RUNS");
    const int runs = std::max(1, wanted ? std::atoi(wanted) : 11);
    const char* floorWanted = std::getenv("FINDER_BENCH_FLOOR");
    const bool withFloor = !floorWanted || std::strcmp(floorWanted, "0") != 0;
    std::string pattern = (fs::temp_directory_path() / "finder_start_bench_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path dataHome(pattern);
    fs::create_directories(dataHome / "Orvendel");
    std::string keptName = "none";
    if (const char* kept = std::getenv("FINDER_BENCH_KEPT")) {
        fs::create_symlink(fs::absolute(kept), dataHome / "Orvendel" / "archive.sqlite");
        keptName = kept;
    }
    const std::vector<std::string> dataEnv{"XDG_DATA_HOME=" + dataHome.string()};
    const std::string self = fs::read_symlink("/proc/self/exe").string();

    std::vector<Run> finder, floorDefault, floorLean;
    std::printf("load before: %s; kept index: %s; %d runs each\n", loadAverage().c_str(), keptName.c_str(), runs);
    // One start of each unmeasured first, so that every measured one finds the files in the cache.
    runOnce({DDD_APP_PATH, "--finder"}, dataEnv);
    runOnce({self, "--floor", "default"}, {});
    for (int i = 0; i < runs; ++i) {
        finder.push_back(runOnce({DDD_APP_PATH, "--finder"}, dataEnv));
        if (withFloor) {
            floorDefault.push_back(runOnce({self, "--floor", "default"}, {}));
            floorLean.push_back(runOnce({self, "--floor", "lean"}, {}));
        }
    }
    report("ddd_app --finder, counters painted", finder);
    if (withFloor) {
        report("floor, engine defaults, tiny page", floorDefault);
        report("floor, ephemeral context without compositing, tiny page", floorLean);
    }
    std::printf("load after: %s\n", loadAverage().c_str());
    std::error_code ignored;
    fs::remove_all(dataHome, ignored);
    return 0;
}
