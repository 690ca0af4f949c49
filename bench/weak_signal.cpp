// WeakSignalDemodulator alone over one second of noisy keyed tones, as the packet default runs it (22050 Hz,
// 1200 Bd) and as a slow teleprinter set-up (11025 Hz, 50 Bd), in blocks of a sound-card frame.
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "dsp/weak_signal_demodulator.h"

namespace {

constexpr uint32_t kBlock = 1024;

std::vector<int16_t> KeyedNoise(double rate, double baud, double low, double high)
{
    std::mt19937 random(1);
    std::normal_distribution<double> gauss(0.0, 3000.0);
    const size_t count = size_t(rate);
    std::vector<int16_t> x(count);
    double phase = 0.0;
    for (size_t n = 0; n < x.size(); ++n) {
        const bool mark = (size_t(double(n) * baud / rate) * 7919 % 13) & 1;
        phase += 2.0 * M_PI * (mark ? low : high) / rate;
        x[n] = int16_t(std::clamp(6000.0 * std::sin(phase) + gauss(random), -32767.0, 32767.0));
    }
    return x;
}

void BM_WeakSignal(benchmark::State &state)
{
    const double rate = double(state.range(0));
    const double baud = double(state.range(1));
    const double low = baud >= 1200 ? 1200.0 : 1275.0;
    const double high = baud >= 1200 ? 2200.0 : 1445.0;
    const std::vector<int16_t> x = KeyedNoise(rate, baud, low, high);
    sirrel::WeakSignalDemodulator d;
    d.SetRate(uint32_t(rate));
    const int32_t length = int32_t(rate / baud);
    d.SetLengths(length, std::max(length / 2, 1));
    d.SetTones(low, high);
    for (auto _ : state) {
        for (size_t at = 0; at < x.size(); at += kBlock) {
            const uint32_t count = uint32_t(std::min<size_t>(kBlock, x.size() - at));
            d.Process(x.data() + at, count);
            benchmark::DoNotOptimize(d.Soft());
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(x.size()));
    state.counters["RTF"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_WeakSignal)->ArgNames({"rate", "baud"})->Args({22050, 1200})->Args({11025, 50});
