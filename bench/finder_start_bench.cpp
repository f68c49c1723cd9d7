// The finder as the dashboard starts it: `ddd_app --finder` as a process of its own over a kept
// index (the file FINDER_BENCH_KEPT names, else none), timed from its spawn until its page has
// painted the index's counters, with the steps between and the CPU time its process tree (the
// web engine's processes included) spent until then. Then the finder the dashboard keeps ready:
// `ddd_app --finder --standby` started, waited for, left waiting (its memory and CPU measured),
// and timed from the request that shows its window until the window's page has painted. Beside
// them the floor of this machine: a process holding nothing but a WebKitGTK view that loads a tiny
// page, timed from its spawn to the page's load-finished and to the frame after it, once with the
// engine's defaults and once set up as the finder sets up its own. Runs alternate between all
// four, so that all meet the same load of the machine. Run under xvfb-run; FINDER_BENCH_RUNS runs
// each (default 11); FINDER_BENCH_FLOOR=0 leaves the floor out, FINDER_BENCH_STANDBY=0 the standby.
#include <fcntl.h>
#include <gtk/gtk.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
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

#include "app/gtk/finder_standby.h"
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
    std::vector<std::pair<std::string, double>> steps;  // since the spawn (a standby: the request), in the child's order
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

struct Spawned {
    pid_t pid = -1;
    int ready = -1;    // the read end of the child's marks pipe
    int channel = -1;  // the dashboard's end of a standby's socket
    double at = 0;     // ms since the epoch
};

// Spawns the process with its marks pipe; a standby gets its socket as standard input.
Spawned spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv, bool standby) {
    int ready[2], channel[2] = {-1, -1};
    if (::pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (standby && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) throw std::runtime_error("socketpair failed");
    std::vector<std::string> envText(extraEnv);
    envText.push_back("DDD_FINDER_READY_FD=" + std::to_string(kReadyFd));
    for (char** e = environ; *e; ++e) envText.emplace_back(*e);
    const std::vector<char*> env = ddd::bench::spawnVector(envText), argv = ddd::bench::spawnVector(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ready[1], kReadyFd);
    if (standby) posix_spawn_file_actions_adddup2(&actions, channel[1], 0);

    Spawned child;
    child.at = epochMs();
    const int failed = posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(ready[1]);
    if (standby) ::close(channel[1]);
    if (failed != 0) throw std::runtime_error("spawn failed: " + args[0]);
    child.ready = ready[0];
    child.channel = channel[0];
    return child;
}

// The first line on fd, without waiting longer than a minute for it.
std::string readLine(int fd) {
    std::string line;
    pollfd wait{fd, POLLIN, 0};
    char buffer[4096];
    while (line.find('\n') == std::string::npos && ::poll(&wait, 1, 60000) > 0) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        line.append(buffer, static_cast<std::size_t>(got));
    }
    return line;
}

// The marks of the line from `since` on, as ms after it.
void parseSteps(Run& run, const std::string& line, double since) {
    std::istringstream fields(line);
    std::string step;
    for (double at; fields >> step >> at;) {
        if (at >= since) run.steps.emplace_back(step, at - since);
    }
    if (run.steps.empty()) throw std::runtime_error("no ready line");
    run.readyMs = run.steps.back().second;
}

Run runOnce(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    const Spawned child = spawn(args, extraEnv, false);
    const std::string line = readLine(child.ready);
    Run run;
    run.cpuMs = ddd::bench::treeCpuSeconds(child.pid) * 1e3;
    ::close(child.ready);
    endTree(child.pid);
    parseSteps(run, line, child.at);
    return run;
}

struct Standby {
    Run handover;          // from the request on
    double readyMs = 0;    // from the spawn to the standby's ready line
    double pssMb = 0;      // of the waiting standby's process tree
    double idleCpuMs = 0;  // per second of waiting
};

// A standby started as the dashboard starts it, left waiting, then handed the request to show its
// window (no folder: the refresh of the kept folders starts, as on a cold start).
Standby standbyOnce(const std::vector<std::string>& extraEnv) {
    const Spawned child = spawn({DDD_APP_PATH, "--finder", "--standby"}, extraEnv, true);
    Standby standby;
    if (readLine(child.channel) != std::string(ddd::app::kStandbyReady) + "\n") throw std::runtime_error("the standby never got ready");
    standby.readyMs = epochMs() - child.at;
    // Its page loads its pick-lists a moment after the counters, and the engine collects the
    // garbage of the start a few seconds later; the waiting is measured after.
    ::usleep(5000000);
    const double idleFrom = ddd::bench::treeCpuSeconds(child.pid);
    constexpr double kIdleSeconds = 5;
    ::usleep(static_cast<useconds_t>(kIdleSeconds * 1e6));
    const double requested = ddd::bench::treeCpuSeconds(child.pid);
    standby.idleCpuMs = (requested - idleFrom) * 1e3 / kIdleSeconds;
    standby.pssMb = ddd::bench::treePssMb(child.pid);

    const double request = epochMs();
    const std::string showWindow = std::string(ddd::app::kStandbyRequest) + "\t\t\n";
    if (::write(child.channel, showWindow.data(), showWindow.size()) != static_cast<ssize_t>(showWindow.size())) {
        throw std::runtime_error("request not sent");
    }
    const std::string line = readLine(child.ready);
    standby.handover.cpuMs = (ddd::bench::treeCpuSeconds(child.pid) - requested) * 1e3;
    ::close(child.ready);
    endTree(child.pid);
    ::close(child.channel);
    parseSteps(standby.handover, line, request);
    return standby;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char* name, const std::vector<Run>& runs, const char* since = "spawn") {
    std::vector<double> ready, cpu;
    for (const Run& r : runs) {
        ready.push_back(r.readyMs);
        cpu.push_back(r.cpuMs);
    }
    std::printf("%s: ready median %.0f ms (fastest %.0f, slowest %.0f), CPU of the process tree until ready median %.0f ms; steps (median ms since %s):",
                name, median(ready), *std::min_element(ready.begin(), ready.end()), *std::max_element(ready.begin(), ready.end()),
                median(cpu), since);
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
    const char* standbyWanted = std::getenv("FINDER_BENCH_STANDBY");
    const bool withStandby = !standbyWanted || std::strcmp(standbyWanted, "0") != 0;
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
    std::vector<Standby> standby;
    std::printf("load before: %s; kept index: %s; %d runs each\n", loadAverage().c_str(), keptName.c_str(), runs);
    // One start of each unmeasured first, so that every measured one finds the files in the cache.
    runOnce({DDD_APP_PATH, "--finder"}, dataEnv);
    runOnce({self, "--floor", "default"}, {});
    for (int i = 0; i < runs; ++i) {
        finder.push_back(runOnce({DDD_APP_PATH, "--finder"}, dataEnv));
        if (withStandby) standby.push_back(standbyOnce(dataEnv));
        if (withFloor) {
            floorDefault.push_back(runOnce({self, "--floor", "default"}, {}));
            floorLean.push_back(runOnce({self, "--floor", "lean"}, {}));
        }
    }
    report("ddd_app --finder, counters painted", finder);
    if (!standby.empty()) {
        std::vector<Run> handovers;
        std::vector<double> ready, pss, idle;
        for (const Standby& one : standby) {
            handovers.push_back(one.handover);
            ready.push_back(one.readyMs);
            pss.push_back(one.pssMb);
            idle.push_back(one.idleCpuMs);
        }
        report("ddd_app --finder --standby, from the request to the shown window's painted counters", handovers, "the request");
        std::printf("standby: ready %.0f ms after its spawn, PSS of its process tree while waiting %.0f MB, CPU while waiting %.1f ms/s (medians)\n",
                    median(ready), median(pss), median(idle));
    }
    if (withFloor) {
        report("floor, engine defaults, tiny page", floorDefault);
        report("floor, ephemeral context without compositing, tiny page", floorLean);
    }
    std::printf("load after: %s\n", loadAverage().c_str());
    std::error_code ignored;
    fs::remove_all(dataHome, ignored);
    return 0;
}
