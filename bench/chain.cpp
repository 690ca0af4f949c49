// One frame of 2048 samples at 11025 Hz through the whole signal chain (displays, tuning, demodulation, majority
// vote, bit timing, parameter block) for each demodulator, with automatic bit rate on a 50-baud signal with
// 170 Hz shift and some noise; with the displays shown or not (a window attached or sirrel-decode), and with
// automatic or fixed tones. The dispatch target only looks at the levels.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "dsp/signal_chain.h"

namespace {

constexpr uint32_t kRate = 11025;
constexpr uint32_t kFrame = sirrel::SignalChain::kFrameSize;
constexpr int kFrames = 16;

std::vector<int16_t> FskSignal()
{
    std::vector<int16_t> signal(size_t(kFrame) * kFrames);
    std::mt19937 random(9);
    std::normal_distribution<double> noise(0.0, 1000.0);
    const double samplesPerBit = kRate / 50.0;
    int bit = 0;
    double phase = 0.0;
    for (size_t i = 0; i < signal.size(); ++i) {
        if (std::fmod(double(i), samplesPerBit) < 1.0)
            bit = int(random() & 1);
        phase += 2.0 * M_PI * (bit ? 1275.0 : 1445.0) / kRate;
        signal[i] = int16_t(std::lround(10000.0 * std::sin(phase) + noise(random)));
    }
    return signal;
}

void BM_SignalChain_Frame(benchmark::State &state)
{
    sirrel::SettingsModel settings;
    settings.SetDemodulator(sirrel::DemodulatorChoice(state.range(0)));
    settings.tuneAuto = state.range(2) != 0;
    settings.space = 1275;
    settings.mark = 1445;
    settings.baudAuto = true;
    int32_t ones = 0;
    sirrel::SignalChain chain(
        settings,
        [&](const int16_t *levels, int32_t count, const sirrel::DecoderParams &, const int16_t *) {
            ones += levels[count / 2];
        },
        kRate);
    chain.SetDisplaysShown(state.range(1) != 0);
    const std::vector<int16_t> signal = FskSignal();
    int frame = 0;
    for (auto _ : state) {
        chain.ProcessFrame(signal.data() + size_t(frame) * kFrame, kFrame * 2);
        frame = (frame + 1) % kFrames;
    }
    benchmark::DoNotOptimize(ones);
    const double samples = double(kFrame) * double(state.iterations());
    state.counters["samples/s"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    state.counters["xRealTime"] = benchmark::Counter(samples / kRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SignalChain_Frame)
    ->ArgNames({"plain0_highspeed1_optimal2_correlative3_weak4", "displays", "auto_tuning"})
    ->ArgsProduct({{sirrel::kDemodPlain, sirrel::kDemodHighSpeed, sirrel::kDemodOptimal, sirrel::kDemodCorrelative,
                    sirrel::kDemodWeakSignal},
                   {1, 0},
                   {1, 0}});

} // namespace
