// Decoding speed of whole card downloads: a typical first-generation download of about 28 KB
// and a second-generation one whose activity buffer is full and has wrapped.
#include <benchmark/benchmark.h>

#include "core/card_file.h"
#include "tools/generator/card_generator.h"

namespace {

using ddd::gen::Generation;

std::vector<std::uint8_t> firstGenerationDownload() {
    auto card = ddd::gen::randomCard(2024, 365, Generation::Gen1);
    return ddd::gen::writeCardDownload(card);
}

std::vector<std::uint8_t> fullSecondGenerationDownload() {
    auto card = ddd::gen::randomCard(2025, 800, Generation::Both);
    card.gen2.activityStartOffset = card.gen2.activityBytes / 3;
    return ddd::gen::writeCardDownload(card);
}

void decode(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
    for (auto _ : state) {
        auto file = ddd::decodeCardFile(bytes);
        benchmark::DoNotOptimize(file);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
}

void BM_DecodeFirstGeneration(benchmark::State& state) {
    static const auto bytes = firstGenerationDownload();
    decode(state, bytes);
}
BENCHMARK(BM_DecodeFirstGeneration)->Unit(benchmark::kMicrosecond);

void BM_DecodeSecondGenerationFull(benchmark::State& state) {
    static const auto bytes = fullSecondGenerationDownload();
    decode(state, bytes);
}
BENCHMARK(BM_DecodeSecondGenerationFull)->Unit(benchmark::kMicrosecond);

}  // namespace
