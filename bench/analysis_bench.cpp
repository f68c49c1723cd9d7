// Two years of one driver collected as 52 overlapping 28-day downloads: merge, timeline,
// shifts with details, coverage gaps and the rule context, each alone and all together.
#include <benchmark/benchmark.h>

#include "analysis/coverage.h"
#include "analysis/rule_engine.h"
#include "analysis/shifts.h"
#include "analysis/timeline.h"
#include "tests/analysis/generated_histories.h"

namespace ddd {
namespace {

constexpr int kDownloads = 52;
constexpr int kDownloadDays = 28;
constexpr int kStepDays = 14;

const std::vector<DriverCardFile>& twoYearsOfDownloads() {
    static const std::vector<DriverCardFile> files = [] {
        const auto card = gen::randomCard(2024, kDownloads * kStepDays + kDownloadDays, gen::Generation::Gen1);
        std::vector<DriverCardFile> out;
        for (int i = 0; i < kDownloads; ++i) {
            out.push_back(test::decodeWritten(test::partialCard(card, static_cast<std::size_t>(i * kStepDays), kDownloadDays)));
        }
        return out;
    }();
    return files;
}

std::vector<const DriverCardFile*> cardList() {
    std::vector<const DriverCardFile*> cards;
    for (const auto& f : twoYearsOfDownloads()) cards.push_back(&f);
    return cards;
}

void BM_Merge(benchmark::State& state) {
    const auto cards = cardList();
    for (auto _ : state) benchmark::DoNotOptimize(mergeDownloads(cards));
}
BENCHMARK(BM_Merge)->Unit(benchmark::kMillisecond);

void BM_Timeline(benchmark::State& state) {
    const MergedCardView view = mergeDownloads(cardList());
    for (auto _ : state) benchmark::DoNotOptimize(buildTimeline(view));
}
BENCHMARK(BM_Timeline)->Unit(benchmark::kMillisecond);

void BM_ShiftsAndDetails(benchmark::State& state) {
    const MergedCardView view = mergeDownloads(cardList());
    const Timeline timeline = buildTimeline(view);
    for (auto _ : state) {
        const auto shifts = buildShifts(timeline, specificConditionCodes(view), placeCodes(view));
        benchmark::DoNotOptimize(buildShiftDetails(shifts, timeline, view.vehiclesUsed));
    }
}
BENCHMARK(BM_ShiftsAndDetails)->Unit(benchmark::kMillisecond);

void BM_RuleContext(benchmark::State& state) {
    const MergedCardView view = mergeDownloads(cardList());
    const Timeline chosen = toActivitySegments(view.chosenDaysTimeline);
    for (auto _ : state) benchmark::DoNotOptimize(evaluateRules(chosen, RuleOptions{}));
}
BENCHMARK(BM_RuleContext)->Unit(benchmark::kMillisecond);

void BM_WholeAnalysisCore(benchmark::State& state) {
    const auto cards = cardList();
    for (auto _ : state) {
        const MergedCardView view = mergeDownloads(cards);
        const Timeline timeline = buildTimeline(view);
        const auto shifts = buildShifts(timeline, specificConditionCodes(view), placeCodes(view));
        benchmark::DoNotOptimize(buildShiftDetails(shifts, timeline, view.vehiclesUsed));
        benchmark::DoNotOptimize(findCoverageGaps(timeline));
        benchmark::DoNotOptimize(evaluateRules(toActivitySegments(view.chosenDaysTimeline), RuleOptions{}));
    }
    state.counters["days"] = static_cast<double>(mergeDownloads(cards).days.size());
}
BENCHMARK(BM_WholeAnalysisCore)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ddd
