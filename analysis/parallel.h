// Spreads independent work over the cores, for folder walks that decode many downloads.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

#include "core/folder_walk.h"

namespace ddd {

// Runs work(i) for i in [0, count) on every core; each index is handled exactly once.
template <typename Work>
void forEachIndexInParallel(std::size_t count, Work work) {
    // One item needs no pool, nor the look at the cores that a process of one file would pay for.
    if (count == 1) return work(std::size_t{0});
    const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 16);
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i = next++; i < count; i = next++) work(i);
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < std::min(threads, count); ++t) pool.emplace_back(worker);
    worker();
    for (auto& thread : pool) thread.join();
}

// Runs work(i, file) for every file i of a listing, opened relative to its folder. The files go
// to the cores in runs of neighbours, so that each run opens its folders once.
template <typename Work>
void forEachListedFileInParallel(const DownloadListing& listing, Work work) {
    constexpr std::size_t kRun = 256;
    forEachIndexInParallel((listing.size() + kRun - 1) / kRun, [&](std::size_t run) {
        ListedFileOpener opener(listing);
        for (std::size_t i = run * kRun; i < std::min(listing.size(), (run + 1) * kRun); ++i) {
            FileReader file = opener.open(i);
            work(i, file);
        }
    });
}

}  // namespace ddd
