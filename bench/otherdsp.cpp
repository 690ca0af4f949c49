// The further signal-processing objects, each over one second of 11025 Hz audio per iteration (the
// demodulator also in its default 44100 Hz set-up). "RTF" is the real-time factor: seconds of audio per second.
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "kernel_choice.h"
#include "orurt.h"

namespace {

constexpr int32_t kRate = 11025;

std::vector<int16_t> testAudio(size_t samples, double rate)
{
    std::mt19937 rng(1);
    std::vector<int16_t> x(samples);
    for (size_t n = 0; n < samples; ++n) {
        const double t = double(n) / rate;
        // Two tones keyed at 100 Hz plus a little noise: a busy but bounded signal.
        const double hertz = (n / 110) % 2 == 0 ? 1275.0 : 2125.0;
        x[n] = int16_t(std::lrint(12000.0 * std::sin(6.283185307179586 * hertz * t)) + int(rng() % 801) - 400);
    }
    return x;
}

const std::vector<int16_t> &oneSecond()
{
    static const std::vector<int16_t> x = testAudio(kRate, kRate);
    return x;
}

void reportSeconds(benchmark::State &state, double secondsPerIteration, size_t samplesPerIteration)
{
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(samplesPerIteration));
    state.counters["RTF"] = benchmark::Counter(secondsPerIteration, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_AGC_Mono16(benchmark::State &state)
{
    OruAGC agc;
    OruAGC_Construct(&agc);
    agc.SamplingRate = kRate;
    std::vector<int16_t> x = oneSecond();
    for (auto _ : state) {
        OruAGC_Process_Mono16(&agc, x.data(), kRate, 1);
        benchmark::DoNotOptimize(x.data());
        OruAGC_Reset(&agc);
    }
    reportSeconds(state, 1.0, kRate);
}

void BM_AGC_Stereo16(benchmark::State &state)
{
    OruAGC agc;
    OruAGC_Construct(&agc);
    std::vector<int16_t> left = oneSecond(), right = oneSecond();
    for (auto _ : state) {
        OruAGC_Process_Stereo16(&agc, left.data(), right.data(), kRate);
        benchmark::DoNotOptimize(left.data());
        OruAGC_Reset(&agc);
    }
    reportSeconds(state, 1.0, kRate);
}

void countBits(void *userData, OruDataFormatter2 *, int32_t bitCount, int32_t)
{
    *static_cast<int64_t *>(userData) += bitCount;
}

void BM_DataFormatter2_DPLL(benchmark::State &state)
{
    OruDataFormatter2 f;
    OruDataFormatter2_Construct(&f);
    int64_t bits = 0;
    f.Callback = countBits;
    f.UserData = &bits;
    f.SamplingRate = kRate;
    f.BitRate = 100.0;
    for (auto _ : state)
        OruDataFormatter2_DPLL_16(&f, oneSecond().data(), kRate, 1);
    benchmark::DoNotOptimize(bits);
    reportSeconds(state, 1.0, kRate);
}

void BM_DataFormatter2_Slicer(benchmark::State &state)
{
    OruDataFormatter2 f;
    OruDataFormatter2_Construct(&f);
    int64_t bits = 0;
    f.Callback = countBits;
    f.UserData = &bits;
    f.SamplingRate = kRate;
    f.BitRate = 100.0;
    for (auto _ : state)
        OruDataFormatter2_Process_16(&f, oneSecond().data(), -1, kRate, 1);
    benchmark::DoNotOptimize(bits);
    reportSeconds(state, 1.0, kRate);
}

void BM_DelayLine16(benchmark::State &state)
{
    OruDelayLine line;
    OruDelayLine16_Construct(&line);
    OruDelayLine_Delay(&line, int32_t(state.range(0)));
    std::vector<int16_t> out(kRate);
    for (auto _ : state) {
        OruDelayLine16_Process_16_16(&line, out.data(), oneSecond().data(), kRate, 1);
        benchmark::DoNotOptimize(out.data());
    }
    OruDelayLine_Destruct(&line, 0);
    reportSeconds(state, 1.0, kRate);
}

// Modes at 11025 Hz straight (no decimation, no upsampling).
void BM_Demodulator16_Mode(benchmark::State &state)
{
    OruDemodulator16 d;
    OruDemodulator16_Construct(&d);
    OruDemodulator_SamplingRate(&d, float(kRate));
    OruDemodulator_IQDecimation(&d, 1);
    OruDemodulator_AudioUpsample(&d, 1);
    OruDemodulator_LocalFrequency(&d, 1700.0f);
    OruDemodulator_PostMixerCutOff(&d, 1000.0f);
    OruDemodulator_Mode(&d, uint32_t(state.range(0)));
    std::vector<int16_t> out(2 * (kRate + 16));
    for (auto _ : state) {
        OruDemodulator16_Process_StereoOut_16_16(&d, out.data(), oneSecond().data(), kRate, 1);
        benchmark::DoNotOptimize(out.data());
    }
    OruDemodulator_Destruct(&d, 0);
    reportSeconds(state, 1.0, kRate);
}

// The default set-up: 44100 Hz in, decimation 4, upsampling 4.
void BM_Demodulator16_Default44100(benchmark::State &state)
{
    static const std::vector<int16_t> x = testAudio(44100, 44100.0);
    OruDemodulator16 d;
    OruDemodulator16_Construct(&d);
    OruDemodulator_Mode(&d, uint32_t(state.range(0)));
    std::vector<int16_t> out(2 * (44100 + 16));
    for (auto _ : state) {
        OruDemodulator16_Process_StereoOut_16_16(&d, out.data(), x.data(), int32_t(x.size()), 1);
        benchmark::DoNotOptimize(out.data());
    }
    OruDemodulator_Destruct(&d, 0);
    reportSeconds(state, 1.0, x.size());
}

void BM_FSKDelayDemod16(benchmark::State &state)
{
    OruFSKDelayDemod16 demod;
    OruFSKDelayDemod16_Construct(&demod);
    std::vector<int16_t> out(kRate);
    for (auto _ : state) {
        OruFSKDelayDemod16_Process(&demod, out.data(), oneSecond().data(), kRate, 1);
        benchmark::DoNotOptimize(out.data());
    }
    OruFSKDelayDemod_Destruct(&demod, 0);
    reportSeconds(state, 1.0, kRate);
}

void BM_LMS1616(benchmark::State &state)
{
    OruLMS1616 lms;
    OruLMS1616_Construct(&lms);
    OruLMS_TapsNum(&lms, int32_t(state.range(0)));
    OruLMS_DelaySize(&lms, 1);
    std::vector<int16_t> out(kRate);
    for (auto _ : state) {
        OruLMS1616_Process_16_16(&lms, out.data(), oneSecond().data(), kRate, 1);
        benchmark::DoNotOptimize(out.data());
    }
    OruLMS_Destruct(&lms, 0);
    reportSeconds(state, 1.0, kRate);
}

void BM_NotchFilter2(benchmark::State &state)
{
    OruNotchFilter2 notch;
    OruNotchFilter2_Construct(&notch);
    std::vector<int16_t> x = oneSecond();
    for (auto _ : state) {
        OruNotchFilter2_Process16(&notch, x.data(), kRate);
        benchmark::DoNotOptimize(x.data());
    }
    reportSeconds(state, 1.0, kRate);
}

void BM_PitchShift1616(benchmark::State &state)
{
    OruPitchShift1616 shift;
    OruPitchShift1616_Construct(&shift);
    shift.Shift = 300;
    std::vector<int16_t> out(kRate);
    for (auto _ : state) {
        OruPitchShift1616_Process_16_16(&shift, out.data(), oneSecond().data(), kRate, 1);
        benchmark::DoNotOptimize(out.data());
    }
    OruPitchShift_Destruct(&shift, 0);
    reportSeconds(state, 1.0, kRate);
}

void BM_ToneDetector(benchmark::State &state)
{
    OruToneDetector t;
    OruToneDetector_Construct(&t);
    OruToneDetector_SamplingRate(&t, kRate);
    for (auto _ : state) {
        OruToneDetector_Process_16(&t, oneSecond().data(), kRate, 1);
        benchmark::DoNotOptimize(t.OutputLevel);
    }
    reportSeconds(state, 1.0, kRate);
}

// Argument: 1 the processor's kernel, 0 the plain one. Window 0.01 s (111 samples at 11025 Hz).
void BM_ToneDetectorCorr16(benchmark::State &state)
{
    OruCPUInfo *cpu = _CPU();
    const uint32_t features = cpu->Features;
    if (state.range(0) == 0)
        cpu->Features &= ~ORU_FEATURE_SSE2;
    OruToneDetectorCorr16 t;
    OruToneDetectorCorr16_Construct(&t);
    cpu->Features = features;
    OruToneDetectorCorr_SamplingRate(&t, float(kRate));
    std::vector<int16_t> out(kRate);
    for (auto _ : state) {
        OruToneDetectorCorr16_Process_16_16(&t, oneSecond().data(), out.data(), kRate, 1);
        benchmark::DoNotOptimize(out.data());
    }
    OruToneDetectorCorr_Destruct(&t, 0);
    reportSeconds(state, 1.0, kRate);
}

// One second of samples, lags up to the argument.
void BM_Correlate_Float_Float(benchmark::State &state)
{
    std::vector<float> x(oneSecond().begin(), oneSecond().end());
    std::vector<float> out(size_t(state.range(0)));
    for (auto _ : state) {
        Correlate_Float_Float(x.data(), out.data(), uint32_t(x.size()), uint32_t(out.size()));
        benchmark::DoNotOptimize(out.data());
    }
    reportSeconds(state, 1.0, kRate);
}

// One second of I/Q pairs.
void BM_ExtractAmplitude_16_Float(benchmark::State &state)
{
    const std::vector<int16_t> iq = testAudio(2 * kRate, kRate);
    std::vector<float> out(kRate);
    for (auto _ : state)
        benchmark::DoNotOptimize(ExtractAmplitude_16_Float(iq.data(), out.data(), kRate));
    reportSeconds(state, 1.0, kRate);
}

void BM_ExtractFrequency_16_Float(benchmark::State &state)
{
    const std::vector<int16_t> iq = testAudio(2 * kRate, kRate);
    std::vector<float> out(kRate);
    for (auto _ : state) {
        ExtractFrequency_16_Float(iq.data(), out.data(), kRate, float(kRate));
        benchmark::DoNotOptimize(out.data());
    }
    reportSeconds(state, 1.0, kRate);
}

// I/Q magnitude of one second of pairs in calls of the first argument's length, with the kernel of the second.
void BM_ComputeIQModule_I16(benchmark::State &state)
{
    const uint32_t block = uint32_t(state.range(0));
    const Kernel kernel = Kernel(state.range(1));
    if (!KernelAvailable(kernel)) {
        state.SkipWithError("kernel not available on this processor");
        return;
    }
    KernelScope scope(kernel);
    const std::vector<int16_t> i = testAudio(kRate, kRate);
    std::vector<int16_t> q(i.rbegin(), i.rend()), out(kRate);
    for (auto _ : state) {
        for (uint32_t at = 0; at < uint32_t(kRate); at += block)
            ComputeIQModule_I16(i.data() + at, q.data() + at, out.data() + at, std::min(block, uint32_t(kRate) - at));
        benchmark::DoNotOptimize(out.data());
    }
    reportSeconds(state, 1.0, kRate);
}

} // namespace

BENCHMARK(BM_AGC_Mono16);
BENCHMARK(BM_AGC_Stereo16);
BENCHMARK(BM_DataFormatter2_DPLL);
BENCHMARK(BM_DataFormatter2_Slicer);
BENCHMARK(BM_DelayLine16)->Arg(1)->Arg(500);
BENCHMARK(BM_Demodulator16_Mode)->DenseRange(0, 4);
BENCHMARK(BM_Demodulator16_Default44100)->Arg(0)->Arg(2);
BENCHMARK(BM_FSKDelayDemod16);
BENCHMARK(BM_LMS1616)->Arg(31)->Arg(128);
BENCHMARK(BM_NotchFilter2);
BENCHMARK(BM_PitchShift1616);
BENCHMARK(BM_ToneDetector);
BENCHMARK(BM_ToneDetectorCorr16)->Arg(1)->Arg(0);
BENCHMARK(BM_Correlate_Float_Float)->Arg(64)->Arg(512);
BENCHMARK(BM_ExtractAmplitude_16_Float);
BENCHMARK(BM_ExtractFrequency_16_Float);
BENCHMARK(BM_ComputeIQModule_I16)
    ->ArgNames({"block", "portable0_sse2_1_avx2_2"})
    ->Args({256, int(Kernel::Portable)})
    ->Args({256, int(Kernel::Sse2)})
    ->Args({256, int(Kernel::Avx2)})
    ->Args({kRate, int(Kernel::Avx2)});
