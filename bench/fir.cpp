// OruFIR at the chain's sizes: frames of 2048 samples at 11025 Hz, low-pass of 127 and 255 taps, filtered in
// place as the post filter is; every kernel variant this processor runs, side by side. Counters: samples/s and
// the real-time factor (seconds of 11025 Hz audio filtered per second).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "../runtime/src/fir_kernels.h"
#include "orurt.h"

namespace {

constexpr int32_t kFrame = 2048;
constexpr double kRate = 11025.0;

std::vector<int16_t> Noise(size_t n)
{
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> pick(-16000, 16000);
    std::vector<int16_t> v(n);
    for (auto &s : v)
        s = int16_t(pick(rng));
    return v;
}

void Report(benchmark::State &state, int64_t samplesPerIteration)
{
    const double samples = double(state.iterations()) * double(samplesPerIteration);
    state.counters["samples/s"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    state.counters["x realtime"] = benchmark::Counter(samples / kRate, benchmark::Counter::kIsRate);
}

// Arguments: taps, variant.
void BM_FIR1616_Frame(benchmark::State &state)
{
    const auto variant = orufir::Variant(state.range(1));
    const orufir::Kernel kernel = orufir::KernelOf(orufir::Width::W1616, variant);
    if (!orufir::Available(variant) || !kernel) {
        state.SkipWithError("variant not available on this processor");
        return;
    }
    OruFIR *fir = OruFIR1616_Construct(nullptr);
    OruFIR_BufferSize(fir, kFrame);
    OruFIR_TapsNum(fir, int32_t(state.range(0)));
    OruFIR_FIRType(fir, ORU_FIR_LOWPASS);
    OruFIR_CutOffHigh(fir, 100.0f);
    fir->Kernel = kernel;
    // the data do not change the work, so the frame is simply filtered again and again
    std::vector<int16_t> frame = Noise(kFrame);
    state.SetLabel(orufir::VariantName(variant));
    for (auto _ : state) {
        OruFIR1616_Process_16_16(fir, frame.data(), frame.data(), kFrame, 1, 1);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    Report(state, kFrame);
    OruFIR_Destruct(fir, 1);
}

void FrameArguments(benchmark::internal::Benchmark *b)
{
    for (int64_t taps : {127, 255}) {
        for (orufir::Variant variant : orufir::kVariants)
            b->Args({taps, int64_t(variant)});
    }
}
BENCHMARK(BM_FIR1616_Frame)->Apply(FrameArguments);

// The 32-bit width on a 31-tap Hilbert transformer: the full kernel per variant against Process2, which skips the
// zero taps with exact 32-bit products.
void BM_FIR3232_Hilbert(benchmark::State &state)
{
    const auto variant = orufir::Variant(state.range(0));
    const orufir::Kernel kernel = orufir::KernelOf(orufir::Width::W3232, variant);
    if (!orufir::Available(variant)) {
        state.SkipWithError("variant not available on this processor");
        return;
    }
    OruFIR *fir = OruFIR3232_Construct(nullptr);
    OruFIR_BufferSize(fir, kFrame);
    OruFIR_FIRType(fir, ORU_FIR_HILBERT);
    fir->Kernel = kernel;
    std::vector<int32_t> in(kFrame), out(kFrame);
    for (int32_t i = 0; i < kFrame; ++i)
        in[i] = int32_t(std::lround(1e9 * std::sin(0.3 * i)));
    state.SetLabel(orufir::VariantName(variant));
    for (auto _ : state) {
        OruFIR3232_Process_32_32(fir, out.data(), in.data(), kFrame, 1, 1);
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, kFrame);
    OruFIR_Destruct(fir, 1);
}
void HilbertArguments(benchmark::internal::Benchmark *b)
{
    for (orufir::Variant variant : orufir::kVariants) {
        if (orufir::KernelOf(orufir::Width::W3232, variant))
            b->Arg(int64_t(variant));
    }
}
BENCHMARK(BM_FIR3232_Hilbert)->Apply(HilbertArguments);

void BM_FIR3232_Process2(benchmark::State &state)
{
    OruFIR *fir = OruFIR3232_Construct(nullptr);
    OruFIR_BufferSize(fir, kFrame);
    OruFIR_FIRType(fir, ORU_FIR_HILBERT);
    std::vector<int32_t> source(kFrame), out(kFrame);
    for (int32_t i = 0; i < kFrame; ++i)
        source[i] = int32_t(std::lround(1e9 * std::sin(0.3 * i)));
    for (auto _ : state) {
        std::copy(source.begin(), source.end(), static_cast<int32_t *>(fir->DelayInput));
        OruFIR3232_Process2(fir, out.data(), kFrame, 1);
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, kFrame);
    OruFIR_Destruct(fir, 1);
}
BENCHMARK(BM_FIR3232_Process2);

} // namespace
