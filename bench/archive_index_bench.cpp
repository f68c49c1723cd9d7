// The kept archive index over a generated archive (warm file cache): the first full build, a
// rescan with nothing and with 1 % of the files changed, and the finder's index read back from
// the kept file, which is what the window waits for before it answers. Archive size from
// ARCHIVE_BENCH_FILES (default 10,000 downloads, 40 % cards).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>

#include "finder/archive_index.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

namespace fs = std::filesystem;

class GeneratedArchive {
public:
    GeneratedArchive() {
        const char* wanted = std::getenv("ARCHIVE_BENCH_FILES");
        const int files = wanted ? std::atoi(wanted) : 10000;
        std::string pattern = (fs::temp_directory_path() / "archive_bench_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        fs::create_directories(root_ / "data");
        // Ten downloads per driver card, twenty per vehicle unit, with an hour of detailed speed.
        ddd::gen::FleetPlan plan{.drivers = std::max(1, files / 25), .vehicles = std::max(1, files * 3 / 100), .days = 28,
                                 .cardDownloadsPerDriver = 10, .vuDownloadsPerVehicle = 20, .speedMinutes = 60};
        for (const auto& file : ddd::gen::fleetFiles(ddd::gen::makeFleet(2026, plan))) {
            const fs::path target = root_ / "data" / file.relativePath;
            fs::create_directories(target.parent_path());
            std::ofstream(target, std::ios::binary).write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
            paths_.push_back(target.string());
        }
    }
    ~GeneratedArchive() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string folder() const { return (root_ / "data").string(); }
    std::string index() const { return (root_ / "archive.sqlite").string(); }
    const std::vector<std::string>& paths() const { return paths_; }

private:
    fs::path root_;
    std::vector<std::string> paths_;
};

GeneratedArchive& archive() {
    static GeneratedArchive generated;
    return generated;
}

void peakMemory(benchmark::State& state) {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak MB"] = static_cast<double>(usage.ru_maxrss) / 1024;
}

void BM_FirstBuild(benchmark::State& state) {
    GeneratedArchive& a = archive();
    ddd::finder::DriverIndex warm;
    warm.scanDirectory(a.folder(), nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(a.index() + suffix);
        state.ResumeTiming();
        ddd::finder::ArchiveIndex index(a.index());
        index.rescan({a.folder()}, nullptr);
    }
    const double files = static_cast<double>(a.paths().size());
    state.counters["files"] = files;
    state.counters["files/s"] = benchmark::Counter(files * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes/download"] = static_cast<double>(fs::file_size(a.index())) / files;
    peakMemory(state);
}
BENCHMARK(BM_FirstBuild)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// Argument: per mille of the files touched before each rescan.
void BM_Rescan(benchmark::State& state) {
    GeneratedArchive& a = archive();
    ddd::finder::ArchiveIndex index(a.index());
    index.rescan({a.folder()}, nullptr);
    std::size_t next = 0;
    long read = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < a.paths().size() * static_cast<std::size_t>(state.range(0)) / 1000; ++i) {
            const std::string& path = a.paths()[next++ % a.paths().size()];
            fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(1));
        }
        state.ResumeTiming();
        read = index.rescan({a.folder()}, nullptr).read;
        benchmark::DoNotOptimize(index.driverIndex());
    }
    state.counters["files read"] = static_cast<double>(read);
    peakMemory(state);
}
BENCHMARK(BM_Rescan)->Arg(0)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Opening the kept file and reading the finder's index out of it, as the window does at start.
void BM_ReadyFromKeptIndex(benchmark::State& state) {
    GeneratedArchive& a = archive();
    ddd::finder::ArchiveIndex(a.index()).rescan({a.folder()}, nullptr);
    std::size_t sessions = 0;
    for (auto _ : state) {
        ddd::finder::ArchiveIndex index(a.index());
        sessions = index.driverIndex().sessions.size();
    }
    state.counters["sessions"] = static_cast<double>(sessions);
    // Heap in use while the finder holds the index read back (large blocks included).
    const auto heap = [] { return static_cast<double>(mallinfo2().uordblks + mallinfo2().hblkhd); };
    const double before = heap();
    const ddd::finder::DriverIndex held = ddd::finder::ArchiveIndex(a.index()).driverIndex();
    state.counters["index heap MB"] = (heap() - before) / 1e6;
    peakMemory(state);
}
BENCHMARK(BM_ReadyFromKeptIndex)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
