// The synchronous ARQ and FEC decoders fed buffers of decided bits: while synchronised (one trial per block,
// which succeeds)
// and while searching (every bit makes the newest 7·n bits one trial, which fails). Bits per second are the
// items; a line at 100 baud needs 100 of them per second. The last case runs SITOR-A line levels through the
// dispatcher's bit clock and the whole sink in frames of 2048 samples.
#include <benchmark/benchmark.h>

#include <vector>

#include "decoders/dispatch.h"
#include "decoders/fec_decoder.h"
#include "decoders/sync_arq_decoder.h"

namespace {

using namespace sirrel;

constexpr int kCcir[] = {0x29, 0x38, 0x34, 0x32, 0x31, 0x2C, 0x2A, 0x26, 0x0B, 0x0E, 0x54, 0x58, 0x0D};

void AppendCode(std::vector<int8_t> &bits, int code)
{
    for (int k = 0; k < 7; ++k)
        bits.push_back(int8_t((code >> k) & 1));
}

// Blocks of n valid codes, each followed by the gap of a cycle of `cycle` bits.
std::vector<int8_t> Blocks(int n, int cycle, int blocks)
{
    std::vector<int8_t> bits;
    int next = 0;
    for (int b = 0; b < blocks; ++b) {
        for (int m = 0; m < n; ++m)
            AppendCode(bits, kCcir[next++ % 13]);
        for (int g = 7 * n; g < cycle; ++g)
            bits.push_back(int8_t(g % 2));
    }
    return bits;
}

// No seven bits of 0001... hold three or four one-bits: every trial fails at its first character.
std::vector<int8_t> NoBlocks(int count)
{
    std::vector<int8_t> bits(size_t(count), 0);
    for (size_t i = 3; i < bits.size(); i += 4)
        bits[i] = 1;
    return bits;
}

// Valid codes one bit off their block boundary in every window: trials run into later characters.
std::vector<int8_t> NearBlocks(int n, int count)
{
    std::vector<int8_t> bits;
    while (int(bits.size()) < count) {
        for (int m = 0; m + 1 < n; ++m)
            AppendCode(bits, kCcir[m % 13]);
        AppendCode(bits, 0x7F);
    }
    return bits;
}

void Feed(benchmark::State &state, SyncArqDecoder &decoder, const std::vector<int8_t> &bits)
{
    int64_t codes = 0;
    decoder.SetSink([&codes](const DecodedCode &) { ++codes; });
    const std::vector<int16_t> levels(bits.begin(), bits.end());
    for (auto _ : state) {
        decoder.Feed(levels.data(), int32_t(levels.size()));
        benchmark::DoNotOptimize(codes);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(bits.size()));
    state.counters["codes/bit"] = double(codes) / double(state.iterations() * int64_t(bits.size()));
}

void BM_ArqSynchronised(benchmark::State &state)
{
    const int n = int(state.range(0));
    const int cycle = int(state.range(1));
    SyncArqDecoder decoder;
    decoder.SetCharsInCycle(n);
    decoder.SetCycleLength(cycle);
    Feed(state, decoder, Blocks(n, cycle, 300));
}
BENCHMARK(BM_ArqSynchronised)->Args({3, 45})->Args({10, 70})->Args({73, 511});

void BM_ArqSearching(benchmark::State &state)
{
    const int n = int(state.range(0));
    SyncArqDecoder decoder;
    decoder.SetCharsInCycle(n);
    Feed(state, decoder, state.range(1) ? NearBlocks(n, 20000) : NoBlocks(20000));
}
// Second argument 0: every trial fails at once; 1: trials read up to the last character.
BENCHMARK(BM_ArqSearching)->Args({3, 0})->Args({3, 1})->Args({10, 1})->Args({73, 1});

void BM_FecSynchronised(benchmark::State &state)
{
    const int n = int(state.range(0));
    FecDecoder decoder;
    decoder.SetCharsInCycle(n);
    Feed(state, decoder, Blocks(n, 7 * n, 300));
}
BENCHMARK(BM_FecSynchronised)->Arg(1)->Arg(5);

void BM_FecSearching(benchmark::State &state)
{
    const int n = int(state.range(0));
    FecDecoder decoder;
    decoder.SetCharsInCycle(n);
    Feed(state, decoder, NearBlocks(n, 20000));
}
BENCHMARK(BM_FecSearching)->Arg(5);

// SITOR-A at 100 baud and 11025 Hz through the dispatcher and the sink; items are samples.
void BM_DispatchSitorA(benchmark::State &state)
{
    const double samplesPerBit = 110.25;
    const std::vector<int8_t> bits = Blocks(3, 45, 200);
    std::vector<int16_t> levels;
    for (size_t i = 0; i < bits.size(); ++i)
        while (double(levels.size()) < double(i + 1) * samplesPerBit)
            levels.push_back(bits[i]);
    SettingsModel settings;
    DataOutputWindow window;
    Dispatcher dispatcher(settings, window);
    DecoderParams params;
    params.mode = kModeArq;
    params.samplesPerBit = samplesPerBit;
    params.SetArq({45, 3, 0, 1, 0});
    constexpr size_t kFrame = 2048;
    for (auto _ : state) {
        for (size_t at = 0; at + kFrame <= levels.size(); at += kFrame)
            dispatcher.Dispatch(levels.data() + at, int32_t(kFrame), params);
    }
    const int64_t samples = int64_t(levels.size() / kFrame * kFrame);
    state.SetItemsProcessed(state.iterations() * samples);
    state.counters["realtime"] =
        benchmark::Counter(double(samples) / 11025.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DispatchSitorA);

} // namespace
