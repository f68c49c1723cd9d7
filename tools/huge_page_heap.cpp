// The C++ heap of a process that lives a few milliseconds: ddd-dump. On the machines it runs on,
// the first touch of every small page costs the kernel about as much as decoding a whole card,
// and a run touches a few dozen of them; here its allocations come from one region that the
// kernel backs with huge pages, so the whole heap of a run costs a single fault. Memory is
// handed out in order and never reused: what a run over one card allocates stays far below the
// region, and a run that outgrows it (a folder of thousands of downloads, each identified and
// let go) continues on the ordinary heap, which reuses what is freed, before the clearing of
// more huge pages would cost more than the faults saved.
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr std::uintptr_t kHugePageBytes = 2u << 20;
constexpr std::uintptr_t kRegionBytes = 4u << 20;
constexpr std::uintptr_t kAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

struct Region {
    std::uintptr_t begin = 0;
    std::uintptr_t end = 0;
    std::atomic<std::uintptr_t> next{0};

    Region() {
        void* mapped = ::mmap(nullptr, kRegionBytes + kHugePageBytes, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (mapped == MAP_FAILED) return;
        begin = (reinterpret_cast<std::uintptr_t>(mapped) + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
        end = begin + kRegionBytes;
        ::madvise(reinterpret_cast<void*>(begin), kRegionBytes, MADV_HUGEPAGE);
        next = begin;
    }

    void* take(std::size_t bytes) {
        const std::uintptr_t size = (std::max<std::uintptr_t>(bytes, 1) + kAlignment - 1) & ~(kAlignment - 1);
        std::uintptr_t at = next.load(std::memory_order_relaxed);
        while (at + size <= end && at + size > at) {
            if (next.compare_exchange_weak(at, at + size, std::memory_order_relaxed)) return reinterpret_cast<void*>(at);
        }
        return nullptr;
    }
    bool holds(void* p) const {
        const auto at = reinterpret_cast<std::uintptr_t>(p);
        return at >= begin && at < end;
    }
};

Region& region() {
    static Region instance;
    return instance;
}

}  // namespace

void* operator new(std::size_t bytes) {
    if (void* p = region().take(bytes)) return p;
    if (void* p = std::malloc(bytes ? bytes : 1)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    if (!region().holds(p)) std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
