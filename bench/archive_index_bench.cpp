// The kept archive index over a generated archive (warm file cache): the first full build, a
// rescan with nothing and with 1 % of the files changed, the finder's index read back from the
// kept file, which is what the window waits for before it answers, and opening one driver, each
// with its peak memory. Archive size from ARCHIVE_BENCH_FILES (default 10,000 downloads, 40 % cards); with ARCHIVE_BENCH_KEEP naming a
// folder, the archive is generated there once and kept for the next runs.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "analysis/pipeline.h"
#include "finder/archive_index.h"
#include "finder/finder_query.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

namespace fs = std::filesystem;

class GeneratedArchive {
public:
    GeneratedArchive() {
        const char* wanted = std::getenv("ARCHIVE_BENCH_FILES");
        const int files = wanted ? std::atoi(wanted) : 10000;
        if (const char* keep = std::getenv("ARCHIVE_BENCH_KEEP")) {
            root_ = fs::path(keep) / std::to_string(files);
            kept_ = true;
            if (fs::exists(root_ / "complete")) {
                for (const auto& entry : fs::recursive_directory_iterator(root_ / "data")) {
                    if (entry.is_regular_file()) paths_.push_back(entry.path().string());
                }
                return;
            }
            fs::remove_all(root_);
        } else {
            std::string pattern = (fs::temp_directory_path() / "archive_bench_XXXXXX").string();
            if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
            root_ = pattern;
        }
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
        std::ofstream(root_ / "complete");
    }
    ~GeneratedArchive() {
        std::error_code ignored;
        if (!kept_) fs::remove_all(root_, ignored);
    }
    std::string folder() const { return (root_ / "data").string(); }
    std::string index() const { return (root_ / "archive.sqlite").string(); }
    const std::vector<std::string>& paths() const { return paths_; }

private:
    fs::path root_;
    bool kept_ = false;
    std::vector<std::string> paths_;
};

GeneratedArchive& archive() {
    static GeneratedArchive generated;
    return generated;
}

// The peak resident memory of one benchmark: the mark is reset before it starts, so that the
// generated archive and earlier benchmarks do not count, nor memory they freed.
void resetPeakMemory() {
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

void peakMemory(benchmark::State& state) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) state.counters["peak MB"] = std::atof(line.c_str() + 6) / 1024;
    }
}

void BM_FirstBuild(benchmark::State& state) {
    GeneratedArchive& a = archive();
    ddd::finder::DriverIndex warm;
    warm.scanDirectory(a.folder(), nullptr);
    resetPeakMemory();
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
BENCHMARK(BM_FirstBuild)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime()->MeasureProcessCPUTime();

// Arguments: per mille of the files changed before each rescan; 0 touches them (same content,
// so the finder's index stays as it is), 1 adds as many copies under new names, 2 removes as
// many (both change it; the removed ones come back after the benchmark).
void BM_Rescan(benchmark::State& state) {
    GeneratedArchive& a = archive();
    ddd::finder::ArchiveIndex index(a.index());
    index.rescan({a.folder()}, nullptr);
    resetPeakMemory();
    const fs::path added = fs::path(a.folder()) / "added";
    const fs::path removed = fs::path(a.folder()).parent_path() / "removed";
    std::vector<std::pair<std::string, fs::path>> moved;
    std::size_t next = 0;
    long read = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < a.paths().size() * static_cast<std::size_t>(state.range(0)) / 1000; ++i) {
            const std::string& path = a.paths()[next++ % a.paths().size()];
            if (state.range(1) == 0) {
                fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(1));
            } else if (state.range(1) == 1) {
                fs::create_directories(added);
                fs::copy_file(path, added / (std::to_string(next) + ".ddd"));
            } else {
                fs::create_directories(removed);
                moved.emplace_back(path, removed / std::to_string(next));
                fs::rename(path, moved.back().second);
            }
        }
        state.ResumeTiming();
        read = index.rescan({a.folder()}, nullptr).read;
        benchmark::DoNotOptimize(index.driverIndex());
    }
    fs::remove_all(added);
    for (const auto& [path, aside] : moved) fs::rename(aside, path);
    state.counters["files read"] = static_cast<double>(read);
    peakMemory(state);
}
BENCHMARK(BM_Rescan)->Args({0, 0})->Args({10, 0})->Args({10, 1})->Args({10, 2})->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()->MeasureProcessCPUTime();

// Opening the kept file and reading the finder's index out of it, as the window does at start.
void BM_ReadyFromKeptIndex(benchmark::State& state) {
    GeneratedArchive& a = archive();
    ddd::finder::ArchiveIndex(a.index()).rescan({a.folder()}, nullptr);
    resetPeakMemory();
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
BENCHMARK(BM_ReadyFromKeptIndex)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime()->MeasureProcessCPUTime();

// Opening one driver's card download that lies at the top of the archive, so that its folder tree
// is the whole archive, with the index current. Argument: 0 walks the tree as without an index,
// 1 takes the driver's downloads from the index.
void BM_OpenDriver(benchmark::State& state) {
    GeneratedArchive& a = archive();
    const std::string opened = (fs::path(a.folder()) / "opened.ddd").string();
    if (!fs::exists(opened)) {
        const auto card = std::find_if(a.paths().begin(), a.paths().end(), [](const std::string& p) { return p.find("/cards/") != std::string::npos; });
        fs::copy_file(*card, opened);
    }
    ddd::finder::ArchiveIndex(a.index()).rescan({a.folder()}, nullptr);
    resetPeakMemory();
    std::size_t merged = 0;
    for (auto _ : state) {
        std::optional<ddd::DownloadWalk> candidates;
        if (state.range(0) == 1) candidates = ddd::finder::ArchiveIndex(a.index()).driverCandidates(opened);
        if (state.range(0) == 1 && !candidates) throw std::runtime_error("the index does not cover the opened file");
        const ddd::AnalysisResult result = candidates ? ddd::analyzeDriverOfFile(opened, *candidates) : ddd::analyzeDriverOfFile(opened);
        merged = static_cast<std::size_t>(result.filesMerged);
    }
    state.counters["downloads"] = static_cast<double>(merged);
    peakMemory(state);
}
BENCHMARK(BM_OpenDriver)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// A kept index of about a million sessions: vehicle units downloaded over two years, in one
// archive kept beside the others. Build (first rescan), size on disk, reading the finder's index
// back, and a search by plate and day on it.
void BM_MillionSessionIndex(benchmark::State& state) {
    const char* keep = std::getenv("ARCHIVE_BENCH_KEEP");
    const fs::path root = keep ? fs::path(keep) / "million" : fs::temp_directory_path() / "archive_bench_million";
    if (!fs::exists(root / "complete")) {
        fs::remove_all(root);
        const ddd::gen::FleetPlan plan{.drivers = 1600, .vehicles = 1400, .days = 730, .cardDownloadsPerDriver = 1, .vuDownloadsPerVehicle = 1,
                                       .speedMinutes = 0};
        for (const auto& file : ddd::gen::fleetFiles(ddd::gen::makeFleet(2027, plan))) {
            const fs::path target = root / "data" / file.relativePath;
            fs::create_directories(target.parent_path());
            std::ofstream(target, std::ios::binary).write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
        }
        std::ofstream(root / "complete");
    }
    const std::string folder = (root / "data").string(), file = (root / "archive.sqlite").string();
    resetPeakMemory();
    double build = 0, readBack = 0, search = 0;
    std::size_t sessions = 0, matches = 0;
    const auto seconds = [](auto since) { return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count(); };
    for (auto _ : state) {
        for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file + suffix);
        auto start = std::chrono::steady_clock::now();
        ddd::finder::ArchiveIndex(file).rescan({folder}, nullptr);
        build += seconds(start);
        start = std::chrono::steady_clock::now();
        const ddd::finder::DriverIndex index = ddd::finder::ArchiveIndex(file).driverIndex();
        readBack += seconds(start);
        sessions = index.sessions.size();
        start = std::chrono::steady_clock::now();
        matches = ddd::finder::queryJson(index, R"({"plate":"1","y":2024,"mo":6,"d":12,"hStart":10,"hEnd":-1})").size();
        search += seconds(start);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["sessions"] = static_cast<double>(sessions);
    state.counters["build s"] = build / n;
    state.counters["read back ms"] = readBack / n * 1000;
    state.counters["search ms"] = search / n * 1000;
    state.counters["answer bytes"] = static_cast<double>(matches);
    state.counters["index MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
    peakMemory(state);
}
BENCHMARK(BM_MillionSessionIndex)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
