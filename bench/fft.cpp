// OruFFT2Float real transform of one frame (2048 samples at 11025 Hz, Hann window) with each butterfly kernel,
// and the double-precision OruFFT for comparison.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "kernel_choice.h"
#include "orurt.h"

namespace {

constexpr double kRate = 11025.0;
constexpr uint32_t kFrame = 2048;

std::vector<int16_t> Frame()
{
    std::mt19937 random(3);
    std::uniform_int_distribution<int> value(-20000, 20000);
    std::vector<int16_t> x(kFrame);
    for (int16_t &v : x)
        v = int16_t(value(random));
    return x;
}

void SetRates(benchmark::State &state)
{
    const double samples = double(kFrame) * double(state.iterations());
    state.counters["samples/s"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    state.counters["xRealTime"] = benchmark::Counter(samples / kRate, benchmark::Counter::kIsRate);
}

void BM_FFT2Float_Real2048(benchmark::State &state)
{
    const Kernel kernel = Kernel(state.range(0));
    if (!KernelAvailable(kernel)) {
        state.SkipWithError("kernel not available on this processor");
        return;
    }
    OruFFT2Float *fft;
    {
        KernelScope scope(kernel);
        fft = OruFFT2Float_Construct(nullptr);
    }
    OruFFT2Float_BufferSize(fft, kFrame);
    OruFFT_WindowType(fft, ORU_FFT_HANN);
    const std::vector<int16_t> x = Frame();
    for (auto _ : state) {
        fft->ComputeReal16(fft, x.data(), kFrame);
        benchmark::DoNotOptimize(fft->Module[kFrame / 4]);
    }
    SetRates(state);
    OruFFT_Destruct(fft, 1);
}
BENCHMARK(BM_FFT2Float_Real2048)
    ->ArgName("portable0_sse2_1_avx2_2")
    ->Arg(int(Kernel::Portable))
    ->Arg(int(Kernel::Sse2))
    ->Arg(int(Kernel::Avx2));

void BM_FFTDouble_Real2048(benchmark::State &state)
{
    OruFFT *fft = OruFFT_Construct(nullptr);
    OruFFT_BufferSize(fft, kFrame);
    OruFFT_WindowType(fft, ORU_FFT_HANN);
    const std::vector<int16_t> x = Frame();
    for (auto _ : state) {
        OruFFT_Compute_16(fft, x.data(), kFrame);
        benchmark::DoNotOptimize(fft->Module[kFrame / 4]);
    }
    SetRates(state);
    OruFFT_Destruct(fft, 1);
}
BENCHMARK(BM_FFTDouble_Real2048);

} // namespace
