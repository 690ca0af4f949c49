// OruResampler32 through the 16-bit pull interface, as the WAV player and sirrel-decode use it: one 2048-sample
// frame per request, 127 taps per phase; once per kind of object (SSE2 and AVX2 objects run the split kernels on
// this input). Then each inner-product kernel on its own, on one row of the usual length.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "../runtime/src/resampler_kernels.h"
#include "orurt.h"

namespace {

constexpr int32_t kFrame = 2048;

enum class Kernel { Portable, Sse2, Avx2 };

// The object takes its kernel from the processor record at construction: hiding SSE2 or AVX from the record
// steers it to the narrower ones.
OruResampler32 *ConstructWith(Kernel kernel)
{
    OruCPUInfo *cpu = _CPU();
    const uint32_t features = cpu->Features, features2 = cpu->Features2;
    if (kernel == Kernel::Portable)
        cpu->Features &= ~ORU_FEATURE_SSE2;
    if (kernel == Kernel::Sse2)
        cpu->Features2 &= ~ORU_FEATURE2_AVX;
    OruResampler32 *r = OruResampler32_Construct(nullptr);
    cpu->Features = features;
    cpu->Features2 = features2;
    return r;
}

bool Unavailable(benchmark::State &state, Kernel kernel)
{
#if defined(__x86_64__) || defined(__i386__)
    if (kernel == Kernel::Avx2 && !__builtin_cpu_supports("avx2")) {
        state.SkipWithError("no AVX2 on this processor");
        return true;
    }
#endif
    return false;
}

void PullFrame(benchmark::State &state, float inputRate, float outputRate, Kernel kernel)
{
    if (Unavailable(state, kernel))
        return;
    OruResampler32 *r = ConstructWith(kernel);
    OruResampler32_Setup(r, inputRate, outputRate, 0.0f, 127);
    // Enough for any request of one frame, whatever is pending.
    std::vector<int16_t> in((uint64_t(kFrame) * r->Under + r->Over - 1) / r->Over);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = int16_t(std::lround(12000.0 * std::sin(2 * std::numbers::pi * 1000.0 * double(i) / inputRate)));
    std::vector<int16_t> out(kFrame);
    uint64_t inputs = 0;
    for (auto _ : state) {
        inputs += OruResampler32_InSamples(r, kFrame);
        OruResampler32_ProcessOut_16_16(r, out.data(), in.data(), kFrame, 1);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kFrame);
    state.counters["input_samples/s"] = benchmark::Counter(double(inputs), benchmark::Counter::kIsRate);
    state.counters["realtime_x"] =
        benchmark::Counter(kFrame / double(outputRate), benchmark::Counter::kIsIterationInvariantRate);
    OruResampler32_Destruct(r, 1);
}

BENCHMARK_CAPTURE(PullFrame, 44100_to_11025_portable, 44100.0f, 11025.0f, Kernel::Portable);
BENCHMARK_CAPTURE(PullFrame, 44100_to_11025_sse2, 44100.0f, 11025.0f, Kernel::Sse2);
BENCHMARK_CAPTURE(PullFrame, 44100_to_11025_avx2, 44100.0f, 11025.0f, Kernel::Avx2);
BENCHMARK_CAPTURE(PullFrame, 48000_to_11025_portable, 48000.0f, 11025.0f, Kernel::Portable);
BENCHMARK_CAPTURE(PullFrame, 48000_to_11025_sse2, 48000.0f, 11025.0f, Kernel::Sse2);
BENCHMARK_CAPTURE(PullFrame, 48000_to_11025_avx2, 48000.0f, 11025.0f, Kernel::Avx2);
BENCHMARK_CAPTURE(PullFrame, 44100_to_22050_portable, 44100.0f, 22050.0f, Kernel::Portable);
BENCHMARK_CAPTURE(PullFrame, 44100_to_22050_sse2, 44100.0f, 22050.0f, Kernel::Sse2);
BENCHMARK_CAPTURE(PullFrame, 44100_to_22050_avx2, 44100.0f, 22050.0f, Kernel::Avx2);
BENCHMARK_CAPTURE(PullFrame, 8000_to_11025_portable, 8000.0f, 11025.0f, Kernel::Portable);
BENCHMARK_CAPTURE(PullFrame, 8000_to_11025_avx2, 8000.0f, 11025.0f, Kernel::Avx2);

// One inner product per iteration over a row of n taps at a window one sample off alignment; the split
// kernels read 16-bit samples and the row split into halves.
void Dot(benchmark::State &state, Kernel kernel, bool split)
{
    if (Unavailable(state, kernel))
        return;
    const orures::Variant variant = kernel == Kernel::Avx2   ? orures::Variant::Avx2
                                    : kernel == Kernel::Sse2 ? orures::Variant::Sse2
                                                             : orures::Variant::Portable;
    const auto n = uint32_t(state.range(0));
    const uint32_t padded = orures::SplitLength(n);
    std::mt19937 random(1);
    std::vector<int16_t> x(padded + 1);
    std::vector<int32_t> d(n + 1), c(n);
    for (uint32_t i = 0; i <= n; ++i) {
        x[i] = int16_t(random());
        d[i] = x[i] * 65536;
    }
    for (int32_t &tap : c)
        tap = int32_t(random()) / 64;
    std::vector<int16_t> hi(padded), lo(padded);
    orures::SplitRow(c.data(), n, hi.data(), lo.data());
    const orures::DotKernel dot = orures::KernelOf(variant);
    const orures::SplitKernel splitDot = orures::SplitKernelOf(variant);
    for (auto _ : state) {
        int64_t sum = split ? splitDot(x.data() + 1, hi.data(), lo.data(), n) : dot(d.data() + 1, c.data(), n);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
}

BENCHMARK_CAPTURE(Dot, portable, Kernel::Portable, false)->Arg(127);
BENCHMARK_CAPTURE(Dot, sse2, Kernel::Sse2, false)->Arg(127);
BENCHMARK_CAPTURE(Dot, avx2, Kernel::Avx2, false)->Arg(127);
BENCHMARK_CAPTURE(Dot, sse2_split, Kernel::Sse2, true)->Arg(127);
BENCHMARK_CAPTURE(Dot, avx2_split, Kernel::Avx2, true)->Arg(127);

// Setting up a conversion designs the filter (56007 taps for 8000 -> 11025).
void Setup(benchmark::State &state, float inputRate)
{
    for (auto _ : state) {
        OruResampler32 *r = OruResampler32_Construct(nullptr);
        OruResampler32_Setup(r, inputRate, 11025.0f, 0.0f, 127);
        benchmark::DoNotOptimize(r->Coefficients);
        OruResampler32_Destruct(r, 1);
    }
}

BENCHMARK_CAPTURE(Setup, 44100_to_11025, 44100.0f)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Setup, 8000_to_11025, 8000.0f)->Unit(benchmark::kMillisecond);

} // namespace
