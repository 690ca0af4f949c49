// OruFSKCorrDemod16 over one frame of the signal chain: 2048 samples at 11025 Hz, 100 bit/s, tones 170 Hz apart,
// output left in WorkBuffer as the plug-in reads it; portable, SSE2 and AVX2 kernels.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "kernel_choice.h"
#include "orurt.h"

namespace {

constexpr double kRate = 11025.0;
constexpr int kFrame = 2048;

std::vector<int16_t> FskFrame()
{
    std::vector<int16_t> frame(kFrame);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1500.0);
    double phase = 0.0;
    for (int i = 0; i < kFrame; ++i) {
        const double tone = (i / 110) % 2 ? 1000.0 : 1170.0;
        phase += 2.0 * M_PI * tone / kRate;
        frame[i] = int16_t(std::lround(12000.0 * std::sin(phase) + noise(random)));
    }
    return frame;
}

void SetRates(benchmark::State &state, int64_t samplesPerIteration)
{
    const double samples = double(samplesPerIteration) * double(state.iterations());
    state.counters["samples/s"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    state.counters["xRealTime"] = benchmark::Counter(samples / kRate, benchmark::Counter::kIsRate);
}

void BM_FSKCorrDemod16_Frame(benchmark::State &state)
{
    const Kernel kernel = Kernel(state.range(0));
    if (!KernelAvailable(kernel)) {
        state.SkipWithError("kernel not available on this processor");
        return;
    }
    const std::vector<int16_t> frame = FskFrame();
    OruFSKCorrDemod16 *demod;
    {
        KernelScope scope(kernel);
        demod = OruFSKCorrDemod16_Construct(nullptr);
    }
    OruFSKCorrDemod_BufferSize(demod, kFrame);
    OruFSKCorrDemod_SamplingRate(demod, float(kRate));
    OruFSKCorrDemod_BitRate(demod, 100.0f);
    demod->Tone1Frequency = 1170.0f;
    demod->Tone2Frequency = 1000.0f;
    for (auto _ : state) {
        OruFSKCorrDemod16_Process_16_16(demod, frame.data(), nullptr, kFrame, 1);
        benchmark::DoNotOptimize(demod->WorkBuffer[kFrame - 1]);
    }
    SetRates(state, kFrame);
    OruFSKCorrDemod_Destruct(demod, 1);
}
BENCHMARK(BM_FSKCorrDemod16_Frame)
    ->ArgName("portable0_sse2_1_avx2_2")
    ->Arg(int(Kernel::Portable))
    ->Arg(int(Kernel::Sse2))
    ->Arg(int(Kernel::Avx2));

} // namespace
