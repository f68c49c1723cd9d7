// Decoding speed of a 90-day second-generation vehicle-unit download with eight hours of
// detailed speed per day (about 2 MB, most of it speed), and the check of its signatures.
#include <benchmark/benchmark.h>

#include "core/vu_signature.h"
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

}  // namespace
