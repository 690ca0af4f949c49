// Allocator and lock costs: MemoryAlloc/MemoryFree pairs of mixed sizes against the C library, one and two
// threads, and the uncontended recursive lock.
#include <cstdlib>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "orurt.h"

namespace {

// A working set of live blocks, replaced one at a time, so that the heap holds many blocks as in real use.
constexpr int kLive = 256;

std::vector<uint32_t> mixedSizes()
{
    std::mt19937 rng(7);
    std::vector<uint32_t> sizes(4096);
    for (auto &s : sizes) {
        unsigned kind = rng() % 8;
        s = kind < 5 ? 16 + rng() % 240 : kind < 7 ? 256 + rng() % 3840 : 4096 + rng() % 61440;
    }
    return sizes;
}

template <void *(*Alloc)(uint32_t), void (*Free)(void *)> void allocFreePairs(benchmark::State &state)
{
    static const std::vector<uint32_t> sizes = mixedSizes();
    std::vector<void *> live(kLive, nullptr);
    size_t i = size_t(state.thread_index()) * 977;
    for (auto _ : state) {
        size_t slot = i % kLive;
        Free(live[slot]);
        live[slot] = Alloc(sizes[i % sizes.size()]);
        benchmark::DoNotOptimize(live[slot]);
        ++i;
    }
    for (void *p : live)
        Free(p);
    state.SetItemsProcessed(state.iterations());
}

void *libcAlloc(uint32_t size) { return std::malloc(size); }
void libcFree(void *p) { std::free(p); }

void BM_OruAllocFree(benchmark::State &state) { allocFreePairs<MemoryAlloc, MemoryFree>(state); }
void BM_MallocFree(benchmark::State &state) { allocFreePairs<libcAlloc, libcFree>(state); }

void BM_ThreadExclusionEnterLeave(benchmark::State &state)
{
    OruThreadExclusion x;
    OruThreadExclusion_Construct(&x);
    for (auto _ : state) {
        OruThreadExclusion_Enter(&x);
        OruThreadExclusion_Leave(&x);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_OruAllocFree)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_MallocFree)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_ThreadExclusionEnterLeave);
