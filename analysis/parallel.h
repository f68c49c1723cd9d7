// Spreads independent work over the cores, for folder walks that decode many downloads.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

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

}  // namespace ddd
