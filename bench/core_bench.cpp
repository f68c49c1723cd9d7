// Decoding speed of whole card downloads: a typical first-generation download of about 28 KB
// and a second-generation one whose activity buffer is full and has wrapped; and the time the
// check of their certificates and signatures takes, signed with a test PKI.
#include <benchmark/benchmark.h>

#include "core/card_file.h"
#include "core/card_signature.h"
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

ddd::TrustAnchors testAnchors(const ddd::gen::Gen1TestPki& gen1, const ddd::gen::Gen2TestPki& gen2) {
    ddd::TrustAnchors anchors;
    anchors.gen1Roots.push_back(*ddd::parseGen1RootKey(ddd::gen::rsaRootKeyFile(gen1.root)));
    anchors.gen2Roots.push_back(*ddd::parseGen2Certificate(gen2.rootCertificate).certificate);
    return anchors;
}

void verify(benchmark::State& state, Generation generation, int days) {
    const auto gen1 = ddd::gen::makeGen1TestPki();
    const auto gen2 = ddd::gen::makeGen2TestPki();
    auto card = ddd::gen::randomCard(2026, days, generation);
    if (generation != Generation::Gen2) card.gen1Signing = gen1.card;
    if (generation != Generation::Gen1) card.gen2Signing = gen2.card;
    const auto bytes = ddd::gen::writeCardDownload(card);
    const ddd::TrustAnchors anchors = testAnchors(gen1, gen2);
    if (ddd::verifyCardDownload(bytes, anchors).status != ddd::Authenticity::Valid) {
        state.SkipWithError("the signed download does not verify");
        return;
    }
    for (auto _ : state) {
        auto check = ddd::verifyCardDownload(bytes, anchors);
        benchmark::DoNotOptimize(check);
    }
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
}

// Chain of two RSA certificates and twelve file signatures.
void BM_VerifyFirstGeneration(benchmark::State& state) { verify(state, Generation::Gen1, 365); }
BENCHMARK(BM_VerifyFirstGeneration)->Unit(benchmark::kMicrosecond);

// A second-generation card's download: the first-generation part as above, and the ECDSA chain
// (brainpoolP256r1) and fourteen file signatures of the second-generation part.
void BM_VerifySecondGenerationCard(benchmark::State& state) { verify(state, Generation::Both, 800); }
BENCHMARK(BM_VerifySecondGenerationCard)->Unit(benchmark::kMicrosecond);

void BM_VerifySecondGenerationOnly(benchmark::State& state) { verify(state, Generation::Gen2, 800); }
BENCHMARK(BM_VerifySecondGenerationOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
