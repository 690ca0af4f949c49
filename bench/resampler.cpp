// OruResampler32 through the 16-bit pull interface, as the WAV player uses it: one 2048-sample frame at
// 11025 Hz per request, 127 taps per phase; once per inner-product kernel.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "orurt.h"

namespace {

constexpr double kOutputRate = 11025.0;
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

void PullFrame(benchmark::State &state, float inputRate, Kernel kernel)
{
#if defined(__x86_64__) || defined(__i386__)
    if (kernel == Kernel::Avx2 && !__builtin_cpu_supports("avx2")) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
#endif
    OruResampler32 *r = ConstructWith(kernel);
    OruResampler32_Setup(r, inputRate, float(kOutputRate), 0.0f, 127);
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
        benchmark::Counter(kFrame / kOutputRate, benchmark::Counter::kIsIterationInvariantRate);
    OruResampler32_Destruct(r, 1);
}

BENCHMARK_CAPTURE(PullFrame, 44100_to_11025_portable, 44100.0f, Kernel::Portable);
BENCHMARK_CAPTURE(PullFrame, 44100_to_11025_sse2, 44100.0f, Kernel::Sse2);
BENCHMARK_CAPTURE(PullFrame, 44100_to_11025_avx2, 44100.0f, Kernel::Avx2);
BENCHMARK_CAPTURE(PullFrame, 48000_to_11025_portable, 48000.0f, Kernel::Portable);
BENCHMARK_CAPTURE(PullFrame, 48000_to_11025_sse2, 48000.0f, Kernel::Sse2);
BENCHMARK_CAPTURE(PullFrame, 48000_to_11025_avx2, 48000.0f, Kernel::Avx2);
BENCHMARK_CAPTURE(PullFrame, 8000_to_11025_portable, 8000.0f, Kernel::Portable);
BENCHMARK_CAPTURE(PullFrame, 8000_to_11025_avx2, 8000.0f, Kernel::Avx2);

// Setting up a conversion designs the filter (56007 taps for 8000 -> 11025).
void Setup(benchmark::State &state, float inputRate)
{
    for (auto _ : state) {
        OruResampler32 *r = OruResampler32_Construct(nullptr);
        OruResampler32_Setup(r, inputRate, float(kOutputRate), 0.0f, 127);
        benchmark::DoNotOptimize(r->Coefficients);
        OruResampler32_Destruct(r, 1);
    }
}

BENCHMARK_CAPTURE(Setup, 44100_to_11025, 44100.0f)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Setup, 8000_to_11025, 8000.0f)->Unit(benchmark::kMillisecond);

} // namespace
