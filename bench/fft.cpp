// OruFFT2Float real transform of one frame (512, 1024 or 2048 samples at 11025 Hz, Hann window) from 16- and
// 32-bit samples with each kernel set, and the double-precision OruFFT for comparison.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "kernel_choice.h"
#include "orurt.h"

namespace {

constexpr double kRate = 11025.0;
constexpr uint32_t kFrame = 2048;

template <typename Sample> std::vector<Sample> Frame(uint32_t n, int amplitude)
{
    std::mt19937 random(3);
    std::uniform_int_distribution<int> value(-amplitude, amplitude);
    std::vector<Sample> x(n);
    for (Sample &v : x)
        v = Sample(value(random));
    return x;
}

void SetRates(benchmark::State &state, uint32_t n)
{
    const double samples = double(n) * double(state.iterations());
    state.counters["samples/s"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    state.counters["xRealTime"] = benchmark::Counter(samples / kRate, benchmark::Counter::kIsRate);
}

// Arguments: frame size, kernel.
template <typename Sample> void FloatReal(benchmark::State &state)
{
    const uint32_t n = uint32_t(state.range(0));
    const Kernel kernel = Kernel(state.range(1));
    if (!KernelAvailable(kernel)) {
        state.SkipWithError("kernel not available on this processor");
        return;
    }
    OruFFT2Float *fft;
    {
        KernelScope scope(kernel);
        fft = OruFFT2Float_Construct(nullptr);
    }
    OruFFT2Float_BufferSize(fft, n);
    OruFFT_WindowType(fft, ORU_FFT_HANN);
    const std::vector<Sample> x = Frame<Sample>(n, sizeof(Sample) == 2 ? 20000 : 20000 << 8);
    for (auto _ : state) {
        if constexpr (sizeof(Sample) == 2)
            fft->ComputeReal16(fft, x.data(), n);
        else
            fft->ComputeReal32(fft, x.data(), n);
        benchmark::DoNotOptimize(fft->Module[n / 4]);
    }
    SetRates(state, n);
    OruFFT_Destruct(fft, 1);
}

void BM_FFT2Float_Real16(benchmark::State &state) { FloatReal<int16_t>(state); }
void BM_FFT2Float_Real32(benchmark::State &state) { FloatReal<int32_t>(state); }

void FrameSizesAndKernels(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"N", "portable0_sse2_1_avx2_2"});
    for (int n : {512, 1024, 2048})
        for (Kernel k : {Kernel::Portable, Kernel::Sse2, Kernel::Avx2})
            b->Args({n, int(k)});
}
BENCHMARK(BM_FFT2Float_Real16)->Apply(FrameSizesAndKernels);
BENCHMARK(BM_FFT2Float_Real32)->Apply(FrameSizesAndKernels);

void BM_FFTDouble_Real2048(benchmark::State &state)
{
    OruFFT *fft = OruFFT_Construct(nullptr);
    OruFFT_BufferSize(fft, kFrame);
    OruFFT_WindowType(fft, ORU_FFT_HANN);
    const std::vector<int16_t> x = Frame<int16_t>(kFrame, 20000);
    for (auto _ : state) {
        OruFFT_Compute_16(fft, x.data(), kFrame);
        benchmark::DoNotOptimize(fft->Module[kFrame / 4]);
    }
    SetRates(state, kFrame);
    OruFFT_Destruct(fft, 1);
}
BENCHMARK(BM_FFTDouble_Real2048);

} // namespace
