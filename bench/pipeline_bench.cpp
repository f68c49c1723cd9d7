// Opening one driver's card download in a company archive: 25 card downloads per driver and 2.5
// vehicle-unit downloads per driver in one folder tree, for 200 drivers (5,500 files) and 800
// drivers (22,000 files), with the page cache warm and cold; the cost per file of the archive is
// the difference of the two sizes divided by the difference of their file counts. And the
// analysis of one driver's two years of downloads once they are decoded. The card downloads are
// signed with a test PKI, so opening a driver pays for checking the signatures of each of its
// downloads as it would for real ones.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <fstream>

#include "analysis/pipeline.h"
#include "tests/analysis/generated_histories.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd {
namespace {

namespace fs = std::filesystem;

constexpr int kDownloadsPerDriver = 25;
constexpr int kDownloadDays = 35;
constexpr int kStepDays = 28;

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

const gen::Gen1Signing& archiveSigning() {
    static const gen::Gen1Signing signing = gen::makeGen1TestPki().card;
    return signing;
}

gen::CardDescription driverHistory(int driver) {
    auto card = gen::randomCard(7000 + driver, kDownloadsPerDriver * kStepDays + kDownloadDays, gen::Generation::Gen1);
    card.gen1Signing = archiveSigning();
    card.identity.issuingNation = 13;
    char number[17];
    std::snprintf(number, sizeof number, "DF%012d00", driver);
    card.identity.cardNumber = number;
    return card;
}

// The archive is written once per process and removed at exit.
class Archive {
public:
    explicit Archive(int drivers) : drivers_(drivers) {
        char pattern[] = "/tmp/ddd_archive_bench_XXXXXX";
        root_ = mkdtemp(pattern);
        for (int driver = 0; driver < drivers; ++driver) {
            const auto history = driverHistory(driver);
            for (int i = 0; i < kDownloadsPerDriver; ++i) {
                const auto part = test::partialCard(history, static_cast<std::size_t>(i * kStepDays), kDownloadDays);
                const fs::path file = root_ / ("driver" + std::to_string(driver)) / ("card" + std::to_string(i) + ".ddd");
                writeFile(file, gen::writeCardDownload(part));
                files_.push_back(file);
            }
        }
        gen::FleetPlan plan;
        plan.vehicles = drivers / 4;
        plan.vuDownloadsPerVehicle = 10;
        plan.days = 28;
        for (const auto& f : gen::fleetFiles(gen::makeFleet(99, plan))) {
            if (!f.relativePath.starts_with("vehicles/")) continue;
            writeFile(root_ / f.relativePath, f.bytes);
            files_.push_back(root_ / f.relativePath);
        }
    }
    ~Archive() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    const fs::path& root() const { return root_; }
    std::size_t fileCount() const { return files_.size(); }
    int drivers() const { return drivers_; }
    // The opened file: the newest download of one driver, lying at the top of the archive.
    std::string openedFile() const { return (root_ / "opened.ddd").string(); }

    void writeOpenedFile() const {
        const auto history = driverHistory(17);
        writeFile(openedFile(), gen::writeCardDownload(test::partialCard(history, history.days.size() - 30, 30)));
    }

    void evictFromPageCache() const {
        for (const auto& file : files_) {
            const int fd = ::open(file.c_str(), O_RDONLY);
            if (fd < 0) continue;
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }

private:
    int drivers_;
    fs::path root_;
    std::vector<fs::path> files_;
};

// One archive at a time lives on disk: the one of the benchmark running.
const Archive& archive(int drivers) {
    static std::unique_ptr<Archive> instance;
    if (!instance || instance->drivers() != drivers) {
        instance.reset();
        instance = std::make_unique<Archive>(drivers);
        instance->writeOpenedFile();
    }
    return *instance;
}

void BM_OpenDriverInArchiveWarm(benchmark::State& state) {
    const Archive& a = archive(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const AnalysisResult result = analyzeDriverOfFile(a.openedFile());
        if (!result.ok || result.filesMerged != kDownloadsPerDriver + 1) state.SkipWithError("wrong driver group");
        benchmark::DoNotOptimize(result);
    }
    state.counters["files"] = static_cast<double>(a.fileCount());
}

void BM_OpenDriverInArchiveCold(benchmark::State& state) {
    const Archive& a = archive(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        a.evictFromPageCache();
        state.ResumeTiming();
        benchmark::DoNotOptimize(analyzeDriverOfFile(a.openedFile()));
    }
}
// Grouped by archive size, so that each archive is written once.
BENCHMARK(BM_OpenDriverInArchiveWarm)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenDriverInArchiveCold)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OpenDriverInArchiveWarm)->Arg(800)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenDriverInArchiveCold)->Arg(800)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_AnalyzeTwoYearsOfOneDriver(benchmark::State& state) {
    static const auto downloads = [] {
        const auto history = driverHistory(3);
        std::vector<DriverCardFile> files;
        for (int i = 0; i < kDownloadsPerDriver; ++i) {
            files.push_back(test::decodeWritten(test::partialCard(history, static_cast<std::size_t>(i * kStepDays), kDownloadDays)));
        }
        return files;
    }();
    std::vector<const DriverCardFile*> cards;
    for (const auto& f : downloads) cards.push_back(&f);
    for (auto _ : state) benchmark::DoNotOptimize(analyze(cards));
}
BENCHMARK(BM_AnalyzeTwoYearsOfOneDriver)->Unit(benchmark::kMillisecond);

// A second-version card whose border-crossing and load/unload files are full (1,120 and 1,624
// records) over 56 days of history, decoded, checked and analysed into the document by a whole
// `ddd-dump --analysis` process: its time and its peak memory.
void BM_SecondVersionCardWholeProcess(benchmark::State& state) {
    // The card's folder goes with the benchmark program.
    struct Folder {
        fs::path file;
        ~Folder() {
            std::error_code ignored;
            fs::remove_all(file.parent_path(), ignored);
        }
    };
    static const Folder folder{[] {
        auto card = gen::randomCard(56, 56, gen::Generation::Both);
        gen::addSecondVersionRecords(card, 1120, 1624);
        card.gen2Signing = gen::makeGen2TestPki().card;
        const fs::path path = fs::temp_directory_path() / ("ddd_bench_v2_" + std::to_string(::getpid())) / "karte.ddd";
        writeFile(path, gen::writeCardDownload(card));
        return path;
    }()};
    const fs::path& file = folder.file;
    long peakKb = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            const int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, STDOUT_FILENO);
            ::execl(DDD_DUMP_PATH, "ddd-dump", "--analysis", file.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("ddd-dump failed");
            break;
        }
        peakKb = std::max(peakKb, usage.ru_maxrss);
        cpuSeconds += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024;
    state.counters["cpu_ms"] = benchmark::Counter(cpuSeconds * 1000, benchmark::Counter::kAvgIterations);
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(file));
}
BENCHMARK(BM_SecondVersionCardWholeProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ddd
