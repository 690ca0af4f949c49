// Bits per second through the ARQ-M and CIS decoders, alone (the sink only counts): synchronised on a clean
// stream, where most bits are merely stored, and searching on random bits, where every bit is a new trial.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "decoders/arqm_decoder.h"
#include "decoders/character_sets.h"
#include "decoders/cis_decoder.h"

namespace {

using namespace sirrel;

std::vector<int16_t> Levels(const std::vector<int> &bits) { return std::vector<int16_t>(bits.begin(), bits.end()); }

std::vector<int> RandomBits(size_t count)
{
    std::mt19937 random(12345);
    std::vector<int> bits(count);
    for (int &bit : bits)
        bit = int(random() & 1);
    return bits;
}

// One "342" window of K channels and r groups carrying ITA3 letters, laid out as a transmitter sends it.
std::vector<int> ArqmWindow(int32_t k, int32_t r)
{
    const int32_t groupBits = 7 * k;
    const int32_t half = groupBits / 2;
    const int32_t step = k == 4 ? 2 : 1;
    const int32_t offsets[4] = {0, half, 1, half + 1};
    std::vector<int> bits(size_t(r * groupBits));
    for (int32_t c = 0; c < k; ++c) {
        for (int32_t g = 0; g < r; ++g) {
            uint32_t code = kIta3Table[size_t((c * 7 + g) % 26 + 1) % 32];
            const bool inverted = c == 0 ? g == 0 : c == 1 ? g != 1 : c == 2 ? g != 0 : g == 0;
            if (inverted)
                code ^= 0x7F;
            for (int32_t b = 0; b < 7; ++b)
                bits[size_t(g * groupBits + offsets[c] + b * step)] = int((code >> b) & 1);
        }
    }
    return bits;
}

void BM_ArqmSynchronised(benchmark::State &state)
{
    const auto k = int32_t(state.range(0));
    const auto r = int32_t(state.range(1));
    const std::vector<int> window = ArqmWindow(k, r);
    std::vector<int> bits;
    while (bits.size() < 100000)
        bits.insert(bits.end(), window.begin(), window.end());
    ArqmDecoder decoder;
    int64_t codes = 0;
    decoder.SetSink([&codes](const DecodedCode &) { ++codes; });
    decoder.SetChannels(k);
    decoder.SetRepetitionCycle(r);
    const std::vector<int16_t> levels = Levels(bits);
    for (auto _ : state)
        decoder.Feed(levels.data(), int32_t(levels.size()));
    if (codes == 0)
        state.SkipWithError("no window fitted");
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(bits.size()));
}
BENCHMARK(BM_ArqmSynchronised)->Args({2, 4})->Args({4, 8})->Args({4, 255});

void BM_ArqmSearching(benchmark::State &state)
{
    const auto k = int32_t(state.range(0));
    const auto r = int32_t(state.range(1));
    const std::vector<int> bits = RandomBits(100000);
    ArqmDecoder decoder;
    int64_t codes = 0;
    decoder.SetSink([&codes](const DecodedCode &) { ++codes; });
    decoder.SetChannels(k);
    decoder.SetRepetitionCycle(r);
    const std::vector<int16_t> levels = Levels(bits);
    for (auto _ : state)
        decoder.Feed(levels.data(), int32_t(levels.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(bits.size()));
}
BENCHMARK(BM_ArqmSearching)->Args({2, 4})->Args({4, 8})->Args({4, 255});

uint32_t CisFrame(uint32_t code)
{
    const auto bit = [code](int i) { return (code >> i) & 1; };
    return (code & 31) | (bit(1) ^ bit(3) ^ bit(4)) << 7 | (bit(0) ^ bit(2) ^ bit(4)) << 8 |
           (bit(0) ^ bit(1) ^ bit(3)) << 9 | (bit(0) ^ bit(2) ^ bit(3)) << 10;
}

void BM_CisSynchronised(benchmark::State &state)
{
    std::vector<int> bits;
    for (uint32_t i = 0; bits.size() < 100000; ++i) {
        const uint32_t frame = CisFrame(i % 32);
        for (int b = 0; b < 11; ++b)
            bits.push_back(int((frame >> b) & 1));
    }
    CisDecoder decoder;
    int64_t codes = 0;
    decoder.SetSink([&codes](const DecodedCode &) { ++codes; });
    decoder.SetMinSyncFrames(int32_t(state.range(0)));
    decoder.SetMaxErrors(20);
    const std::vector<int16_t> levels = Levels(bits);
    for (auto _ : state)
        decoder.Feed(levels.data(), int32_t(levels.size()));
    if (decoder.State() == CisDecoder::kSearching)
        state.SkipWithError("lost synchronisation");
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(bits.size()));
}
BENCHMARK(BM_CisSynchronised)->Arg(15);

void BM_CisSearching(benchmark::State &state)
{
    const std::vector<int> bits = RandomBits(100000);
    CisDecoder decoder;
    int64_t codes = 0;
    decoder.SetSink([&codes](const DecodedCode &) { ++codes; });
    decoder.SetMinSyncFrames(int32_t(state.range(0)));
    decoder.SetMaxErrors(20);
    const std::vector<int16_t> levels = Levels(bits);
    for (auto _ : state)
        decoder.Feed(levels.data(), int32_t(levels.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(bits.size()));
}
BENCHMARK(BM_CisSearching)->Arg(3)->Arg(15)->Arg(255);

} // namespace
