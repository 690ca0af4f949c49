// OruFFT2Float real transform of one frame (2048 samples at 11025 Hz, Hann window) with each butterfly kernel,
// and the double-precision OruFFT for comparison.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "orurt.h"

namespace {

constexpr double kRate = 11025.0;
constexpr uint32_t kFrame = 2048;
constexpr uint32_t kAvxBit = 1u << 28;

enum Kernel { kPortable, kSse2, kAvx2 };

// The kernel is chosen at construction from the library's processor record.
class KernelScope {
public:
    explicit KernelScope(int kernel) : saved_(*_CPU())
    {
        if (kernel == kPortable)
            _CPU()->Features &= ~ORU_FEATURE_SSE2;
        if (kernel == kSse2)
            _CPU()->Features2 &= ~kAvxBit;
    }
    ~KernelScope() { *_CPU() = saved_; }
    KernelScope(const KernelScope &) = delete;
    KernelScope &operator=(const KernelScope &) = delete;

private:
    OruCPUInfo saved_;
};

bool Available(int kernel)
{
    const OruCPUInfo *cpu = _CPU();
    if (kernel == kPortable)
        return true;
    if (!(cpu->Features & ORU_FEATURE_SSE2))
        return false;
    return kernel == kSse2 || ((cpu->Features2 & kAvxBit) && __builtin_cpu_supports("avx2"));
}

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
    const int kernel = int(state.range(0));
    if (!Available(kernel)) {
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
BENCHMARK(BM_FFT2Float_Real2048)->ArgName("portable0_sse2_1_avx2_2")->Arg(kPortable)->Arg(kSse2)->Arg(kAvx2);

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
