// ddd-dump as a user runs it: one process per call, from exec to exit, on a signed first-generation
// card download of 26 KB (the largest vehicle list a first-generation card holds) lying alone in
// its folder. Prints the median CPU time (user and system, as perf's task-clock counts it), wall
// time and page faults of each mode, beside the program's floor: the same binary printing its
// usage and nothing else. With a folder as argument, the card is written there and kept, for
// `perf stat` runs of the same file.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/process_tree.h"
#include "tools/generator/card_generator.h"
#include "tools/generator/test_pki.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 41;
constexpr int kWarmUpRuns = 3;

struct Run {
    double cpuMs = 0;
    double wallMs = 0;
    double pageFaults = 0;
};

Run runOnce(const std::vector<std::string>& args) {
    const std::vector<char*> argv = ddd::bench::spawnVector(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    Run run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        run.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        run.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        run.pageFaults = static_cast<double>(usage.ru_minflt + usage.ru_majflt);
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::string pattern = (fs::temp_directory_path() / "ddd_dump_bench_XXXXXX").string();
    const bool keep = argc > 1;
    const fs::path folder = keep ? fs::path(argv[1]) : fs::path(::mkdtemp(pattern.data()));
    ddd::gen::CardDescription card = ddd::gen::randomCard(26, 28, ddd::gen::Generation::Gen1);
    card.gen1.vehicles = 200;
    card.gen1Signing = ddd::gen::makeGen1TestPki().card;
    const auto bytes = ddd::gen::writeCardDownload(card);
    const std::string file = (folder / "card.ddd").string();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

    std::printf("ddd-dump on a %zu-byte first-generation card, median of %d runs\n", bytes.size(), kRuns);
    std::printf("%-12s %10s %10s %12s\n", "mode", "cpu ms", "wall ms", "page faults");
    for (const std::string mode : {"usage", "", "--summary", "--analysis"}) {
        std::vector<std::string> args{DDD_DUMP_PATH};
        if (mode != "usage") {
            if (!mode.empty()) args.push_back(mode);
            args.push_back(file);
        }
        for (int i = 0; i < kWarmUpRuns; ++i) runOnce(args);
        std::vector<double> cpu, wall, faults;
        for (int i = 0; i < kRuns; ++i) {
            const Run run = runOnce(args);
            cpu.push_back(run.cpuMs);
            wall.push_back(run.wallMs);
            faults.push_back(run.pageFaults);
        }
        std::printf("%-12s %10.2f %10.2f %12.0f\n", mode.empty() ? "json" : mode.c_str(), median(cpu), median(wall), median(faults));
    }
    if (!keep) fs::remove_all(folder);
}
