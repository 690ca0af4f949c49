// The start/stop decoder with the whole sink (character set, statistics, channel view) on ITA2 line levels at
// 50 baud and 11025 Hz, fed in frames of 2048 samples as the signal chain delivers them; and the same path on
// a noisy line, where the run list fills and the framing keeps dropping runs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "decoders/dispatch.h"

namespace {

using namespace sirrel;

constexpr double kRate = 11025.0;
constexpr double kBaud = 50.0;
constexpr int kFrame = 2048;

// ITA2 text with 1.5 stop bits: idle and stop at 1, start at 0, data least significant bit first.
std::vector<int16_t> Ita2Levels(int characters)
{
    const double samplesPerBit = kRate / kBaud;
    std::vector<int16_t> levels;
    double position = 0.0;
    auto put = [&](int level, double bits) {
        position += bits * samplesPerBit;
        while (levels.size() < size_t(std::llround(position)))
            levels.push_back(int16_t(level));
    };
    put(1, 10);
    // "THE QUICK BROWN FOX " in ITA2, with a CR LF now and then.
    const unsigned text[] = {16, 20, 1, 4, 23, 7, 6, 14, 15, 4, 25, 10, 24, 19, 12, 4, 13, 24, 29, 4};
    for (int i = 0; i < characters; ++i) {
        const unsigned code = (i % 61 == 60) ? 2 : (i % 61 == 0 && i) ? 8 : text[i % 20];
        put(0, 1);
        for (int bit = 0; bit < 5; ++bit)
            put(int((code >> bit) & 1), 1);
        put(1, 1.5);
    }
    put(1, 10);
    return levels;
}

void Run(benchmark::State &state, const std::vector<int16_t> &levels, int characters)
{
    SettingsModel settings;
    DataOutputWindow window;
    Dispatcher dispatcher(settings, window);
    DecoderParams params;
    params.mode = kModeIta2;
    params.samplesPerBit = kRate / kBaud;
    for (auto _ : state) {
        for (size_t at = 0; at + kFrame <= levels.size(); at += kFrame)
            dispatcher.Dispatch(levels.data() + at, kFrame, params);
        benchmark::ClobberMemory();
    }
    const double frames = double(levels.size() / kFrame);
    if (characters > 0)
        state.SetItemsProcessed(int64_t(state.iterations()) * characters);
    state.counters["samples/s"] =
        benchmark::Counter(frames * kFrame * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["x_realtime"] =
        benchmark::Counter(frames * kFrame / kRate * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_AsyncIta2Clean(benchmark::State &state)
{
    constexpr int kCharacters = 2000;
    static const std::vector<int16_t> levels = Ita2Levels(kCharacters);
    Run(state, levels, kCharacters);
}
BENCHMARK(BM_AsyncIta2Clean)->Unit(benchmark::kMillisecond);

// Random line levels changing every few samples: hundreds of runs per frame, nothing plausible to frame.
void BM_AsyncIta2Noise(benchmark::State &state)
{
    static const std::vector<int16_t> levels = [] {
        std::mt19937 random(7);
        std::geometric_distribution<int> runLength(0.2);
        std::vector<int16_t> out;
        int16_t level = 1;
        while (out.size() < size_t(kRate * 60)) {
            out.insert(out.end(), size_t(1 + runLength(random)), level);
            level = int16_t(1 - level);
        }
        return out;
    }();
    Run(state, levels, 0);
}
BENCHMARK(BM_AsyncIta2Noise)->Unit(benchmark::kMillisecond);

} // namespace
