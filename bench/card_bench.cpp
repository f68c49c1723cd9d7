// Time of a whole driver-card download: through the real stack (pcsc-lite, a private pcscd, the
// virtual reader and the emulated card) and, for the reader's own share, through the download
// code alone with the emulated card answering in memory. Counters give the APDUs per download.
#include <benchmark/benchmark.h>

#include "card/card_reader.h"
#include "card/download_protocol.h"
#include "tools/card_emulator/emulated_card.h"
#include "tools/card_emulator/virtual_reader_service.h"
#include "tools/generator/card_generator.h"

#include <memory>
#include <stdexcept>

namespace {

using ddd::gen::Generation;

// A full first-generation card (its activity area is fixed at about 13.8 KB) and a second-
// generation card with both applications and a year of history.
std::vector<std::uint8_t> cardDownload(Generation generation) {
    return ddd::gen::writeCardDownload(ddd::gen::randomCard(2024, 365, generation));
}

void report(benchmark::State& state, int exchanges, std::size_t bytes) {
    state.counters["apdus"] = exchanges;
    state.counters["file_bytes"] = static_cast<double>(bytes);
}

void throughVirtualReader(benchmark::State& state, Generation generation) {
    ddd::emu::privateServiceFolder();
    ddd::emu::VirtualReaderService service;
    ddd::emu::EmulatedCard card(ddd::emu::cardImageFromDownload(cardDownload(generation)));
    if (!card.insert(service.cardPort(), std::chrono::seconds(5)) || !service.waitForCard(true, std::chrono::seconds(5))) {
        state.SkipWithError("the emulated card did not reach the service");
        return;
    }
    ddd::CardReadResult last;
    for (auto _ : state) {
        last = ddd::readDriverCard(ddd::emu::VirtualReaderService::readerName());
        if (!last.ok()) {
            state.SkipWithError(last.error.c_str());
            return;
        }
    }
    report(state, last.exchanges, last.download.size());
}

class InMemoryChannel : public ddd::CardChannel {
public:
    explicit InMemoryChannel(ddd::emu::EmulatedCard& card) : card_(card) {}
    ddd::RawExchange exchange(std::span<const std::uint8_t> command) override { return {{}, card_.respond(command)}; }

private:
    ddd::emu::EmulatedCard& card_;
};

void downloadCodeAlone(benchmark::State& state, Generation generation) {
    ddd::emu::EmulatedCard card(ddd::emu::cardImageFromDownload(cardDownload(generation)));
    InMemoryChannel channel(card);
    ddd::DownloadOutcome last;
    for (auto _ : state) {
        last = ddd::downloadDriverCard(channel);
        benchmark::DoNotOptimize(last.download.data());
    }
    report(state, last.exchanges, last.download.size());
}

void BM_DownloadFirstGenerationThroughVirtualReader(benchmark::State& state) {
    throughVirtualReader(state, Generation::Gen1);
}
BENCHMARK(BM_DownloadFirstGenerationThroughVirtualReader)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DownloadSecondGenerationThroughVirtualReader(benchmark::State& state) {
    throughVirtualReader(state, Generation::Both);
}
BENCHMARK(BM_DownloadSecondGenerationThroughVirtualReader)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DownloadCodeFirstGeneration(benchmark::State& state) { downloadCodeAlone(state, Generation::Gen1); }
BENCHMARK(BM_DownloadCodeFirstGeneration)->Unit(benchmark::kMicrosecond);

void BM_DownloadCodeSecondGeneration(benchmark::State& state) { downloadCodeAlone(state, Generation::Both); }
BENCHMARK(BM_DownloadCodeSecondGeneration)->Unit(benchmark::kMicrosecond);

} // namespace
