// What a process and all its descendants (the web engine's processes run below the application)
// hold and have spent, read from /proc, for the benchmarks that drive a web view; and the vectors
// the benchmarks that spawn processes hand to posix_spawn.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace ddd::bench {

// Calls `visit` with the /proc folder of `pid` and of every descendant.
inline void visitProcessTree(pid_t pid, const std::function<void(const std::string&)>& visit) {
    const std::string folder = "/proc/" + std::to_string(pid);
    visit(folder);
    std::error_code ignored;
    for (const auto& task : std::filesystem::directory_iterator(folder + "/task", ignored)) {
        std::ifstream children(task.path() / "children");
        for (pid_t child; children >> child;) visitProcessTree(child, visit);
    }
}

// Proportional set size of the tree in MB.
inline double treePssMb(pid_t pid = getpid()) {
    long kb = 0;
    visitProcessTree(pid, [&kb](const std::string& folder) {
        std::ifstream rollup(folder + "/smaps_rollup");
        for (std::string line; std::getline(rollup, line);) {
            if (line.rfind("Pss:", 0) == 0) kb += std::stol(line.substr(4));
        }
    });
    return static_cast<double>(kb) / 1024;
}

// User and system time the tree's live processes have spent, in seconds: unlike the wall clock, it
// does not grow with the load other programs put on the machine.
inline double treeCpuSeconds(pid_t pid = getpid()) {
    long ticks = 0;
    visitProcessTree(pid, [&ticks](const std::string& folder) {
        std::ifstream stat(folder + "/stat");
        std::string line;
        std::getline(stat, line);
        // The fields after the command name, which may hold spaces, closed by the last ')'.
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string field;
        for (int index = 3; fields >> field && index <= 15; ++index) {
            if (index == 14 || index == 15) ticks += std::stol(field);
        }
    });
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// An argument or environment vector for posix_spawn: the texts, then the closing null.
inline std::vector<char*> spawnVector(const std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (const std::string& text : texts) out.push_back(const_cast<char*>(text.c_str()));
    out.push_back(nullptr);
    return out;
}

}  // namespace ddd::bench
