// Decoding speed of a 90-day second-generation vehicle-unit download with eight hours of
// detailed speed per day (about 2 MB, most of it speed), the check of its signatures, and opening
// one vehicle in a large archive.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "core/vu_signature.h"
#include "report/vehicle_json.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

constexpr int kDays = 90;
constexpr int kDrivingMinutesPerDay = 8 * 60;

ddd::gen::VuDescription ninetyDays() {
    ddd::gen::VuDescription vu = ddd::gen::fullVuDescription(ddd::gen::VuLayout::Gen2);
    const ddd::gen::VuDay pattern = vu.days.front();
    vu.days.clear();
    vu.speed.clear();
    for (int d = 0; d < kDays; ++d) {
        ddd::gen::VuDay day = pattern;
        day.date = ddd::gen::utcDay(2024, 1, 1) + d * 86400;
        vu.days.push_back(day);
        for (int m = 0; m < kDrivingMinutesPerDay; ++m) {
            ddd::VuSpeedMinute& minute = vu.speed.emplace_back();
            minute.begin = static_cast<std::uint32_t>(day.date + 6 * 3600 + 60 * m);
            for (std::size_t s = 0; s < minute.speeds.size(); ++s) minute.speeds[s] = static_cast<std::uint8_t>(50 + (m + s) % 40);
        }
    }
    return vu;
}

void BM_DecodeVehicleUnit90Days(benchmark::State& state) {
    static const auto bytes = ddd::gen::writeVuDownload(ninetyDays());
    for (auto _ : state) {
        auto vu = ddd::decodeVuDownload(bytes);
        benchmark::DoNotOptimize(vu);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_DecodeVehicleUnit90Days)->Unit(benchmark::kMillisecond);

void BM_VerifyVehicleUnit90Days(benchmark::State& state) {
    const ddd::gen::Gen2TestPki pki = ddd::gen::makeGen2TestPki();
    ddd::gen::VuDescription description = ninetyDays();
    description.gen2Signing = pki.card;
    const auto bytes = ddd::gen::writeVuDownload(description);
    const ddd::VuDownload vu = ddd::decodeVuDownload(bytes);
    const ddd::TrustAnchors anchors{{}, {*ddd::parseGen2Certificate(pki.rootCertificate).certificate}};
    for (auto _ : state) {
        auto check = ddd::verifyVuDownload(bytes, vu, anchors);
        benchmark::DoNotOptimize(check);
    }
}
BENCHMARK(BM_VerifyVehicleUnit90Days)->Unit(benchmark::kMillisecond);

double processSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Opening one vehicle in an archive of 500 vehicle-unit downloads (250 vehicles, two overlapping
// downloads each, 90 days with an hour of detailed speed) and 50 card downloads: the walk
// identifies every file by its head and decodes and checks only the vehicle's own two, which are
// signed.
class VehicleArchive {
    static constexpr int kOpenedVehicle = 125;

public:
    VehicleArchive() {
        char pattern[] = "/tmp/ddd_vehicle_bench_XXXXXX";
        root_ = ::mkdtemp(pattern);
        const ddd::gen::Gen2TestPki pki = ddd::gen::makeGen2TestPki();
        ddd::gen::VuDescription vu = ninetyDays();
        vu.speed.resize(60);
        for (int i = 0; i < 500; ++i) {
            char vin[18];
            std::snprintf(vin, sizeof vin, "WDB96340%09d", i / 2);
            vu.vin = vin;
            vu.vuTime = ddd::gen::utcDay(2024, 4, 1) + (i % 2) * 86400 * 30;
            // Only the opened vehicle's downloads are checked, so only they need signing.
            if (i / 2 == kOpenedVehicle) vu.gen2Signing = pki.card;
            else vu.gen2Signing.reset();
            write("units/" + std::to_string(i / 2) + "_" + std::to_string(i % 2) + ".ddd", ddd::gen::writeVuDownload(vu));
        }
        for (int i = 0; i < 50; ++i) {
            ddd::gen::CardDescription card;
            card.identity.cardNumber = "DF0000000000" + std::to_string(1000 + i);
            write("cards/" + std::to_string(i) + ".ddd", ddd::gen::writeCardDownload(card));
        }
    }
    ~VehicleArchive() { std::filesystem::remove_all(root_); }
    std::string opened() const { return root_ + "/units/" + std::to_string(kOpenedVehicle) + "_1.ddd"; }

private:
    void write(const std::string& relative, const std::vector<std::uint8_t>& bytes) {
        const std::filesystem::path path = root_ + "/" + relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::string root_;
};

void BM_OpenVehicleIn500Downloads(benchmark::State& state) {
    static const VehicleArchive archive;
    const std::int64_t now = ddd::gen::utcDay(2024, 6, 1);
    // The walk spreads over the cores: the processor time of all threads tells the cost on a
    // machine that is not shared.
    const double before = processSeconds();
    for (auto _ : state) {
        const std::string document = ddd::report::vehicleDocumentOfFile(archive.opened(), now);
        benchmark::DoNotOptimize(document);
    }
    state.counters["cpu_ms_all_threads"] = 1000 * (processSeconds() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_OpenVehicleIn500Downloads)->Unit(benchmark::kMillisecond);

}  // namespace
