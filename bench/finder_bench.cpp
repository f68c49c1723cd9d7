// Driver finder: scanning a generated folder tree of card and vehicle-unit downloads (warm file
// cache), with second- or first-generation vehicle units, and searches against an index of a
// million sessions.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "bench/million_sessions.h"
#include "finder/finder_query.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

namespace fs = std::filesystem;

// A generated tree that lives as long as the benchmark program, removed at exit.
class GeneratedTree {
public:
    GeneratedTree(int files, bool firstGenerationUnits) {
        std::string pattern = (fs::temp_directory_path() / "finder_bench_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        // 40 % card downloads (10 per driver), 60 % vehicle-unit downloads (20 per vehicle) of a
        // 60-day period; detailed speed makes a vehicle-unit file about 80 kB.
        ddd::gen::FleetPlan plan;
        plan.drivers = std::max(1, files * 4 / 100);
        plan.vehicles = std::max(1, files * 3 / 100);
        plan.days = 60;
        plan.cardDownloadsPerDriver = 10;
        plan.vuDownloadsPerVehicle = 20;
        plan.speedMinutes = 1200;
        plan.firstGenerationVehicles = firstGenerationUnits ? plan.vehicles : 0;
        const ddd::gen::Fleet fleet = ddd::gen::makeFleet(2024, plan);
        for (const auto& file : ddd::gen::fleetFiles(fleet)) {
            const fs::path target = root_ / file.relativePath;
            fs::create_directories(target.parent_path());
            std::ofstream(target, std::ios::binary)
                .write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
            bytes_ += file.bytes.size();
            ++files_;
        }
    }
    ~GeneratedTree() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    const fs::path& root() const { return root_; }
    std::size_t bytes() const { return bytes_; }
    std::size_t files() const { return files_; }

private:
    fs::path root_;
    std::size_t bytes_ = 0;
    std::size_t files_ = 0;
};

// Second argument: 0 for a tree whose vehicle units are all second generation, 1 for first.
void BM_ScanTree(benchmark::State& state) {
    static std::unique_ptr<GeneratedTree> tree;
    static std::int64_t treeGeneration = -1;
    if (!tree || treeGeneration != state.range(1) || tree->files() < static_cast<std::size_t>(state.range(0)) * 9 / 10) {
        tree.reset();
        tree = std::make_unique<GeneratedTree>(static_cast<int>(state.range(0)), state.range(1) == 1);
        treeGeneration = state.range(1);
    }
    ddd::finder::DriverIndex warm;
    warm.scanDirectory(tree->root().string(), nullptr);  // fills the file cache
    std::size_t sessions = 0;
    for (auto _ : state) {
        ddd::finder::DriverIndex index;
        index.scanDirectory(tree->root().string(), nullptr);
        sessions = index.sessions.size();
        benchmark::DoNotOptimize(index.sessions.data());
    }
    state.counters["files"] = static_cast<double>(tree->files());
    state.counters["MB"] = static_cast<double>(tree->bytes()) / 1e6;
    state.counters["sessions"] = static_cast<double>(sessions);
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(tree->files()) * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
    if (state.range(0) >= 10000) tree.reset();
}
BENCHMARK(BM_ScanTree)->Args({10000, 0})->Args({10000, 1})->Unit(benchmark::kMillisecond)->Iterations(3);

std::vector<std::string> thousandQueries() {
    std::mt19937_64 random(8);
    std::vector<std::string> queries;
    for (int i = 0; i < 1000; ++i) {
        const int day = 1 + static_cast<int>(random() % 28);
        const int month = 1 + static_cast<int>(random() % 12);
        const std::string date = ",\"y\":2024,\"mo\":" + std::to_string(month) + ",\"d\":" + std::to_string(day);
        switch (i % 10) {
        case 8:  // a driver's name on a day
            queries.push_back("{\"name\":\"fahrer" + std::to_string(random() % 3000) + "\"" + date + "}");
            break;
        case 9:  // everyone on the road in one hour
            queries.push_back("{\"plate\":\"\"" + date + ",\"hStart\":" + std::to_string(random() % 24) + ",\"hEnd\":-1}");
            break;
        default:  // who drove this vehicle at this hour
            queries.push_back("{\"plate\":\"m vd " + std::to_string(1000 + random() % 2000) + "\"" + date +
                              ",\"hStart\":" + std::to_string(random() % 24) + ",\"hEnd\":-1}");
        }
    }
    return queries;
}

void BM_Queries(benchmark::State& state) {
    // Heap in use, including the large blocks malloc maps separately.
    auto heapInUse = [] {
        const auto info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    const std::size_t heapBefore = heapInUse();
    const ddd::finder::DriverIndex index = ddd::bench::millionSessions();
    const std::size_t heapAfter = heapInUse();
    const std::vector<std::string> queries = thousandQueries();
    for (auto _ : state) {
        for (const std::string& q : queries) benchmark::DoNotOptimize(ddd::finder::queryJson(index, q));
    }
    state.counters["s/query"] = benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(queries.size()),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["bytes/session"] = static_cast<double>(heapAfter - heapBefore) / static_cast<double>(index.sessions.size());
}
BENCHMARK(BM_Queries)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
