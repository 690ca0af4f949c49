// Drawing costs of the display pixel maps, at the size of the decoder window's waterfall.
#include <cstdint>

#include <benchmark/benchmark.h>

#include "orurt.h"

namespace {

constexpr int32_t kWidth = 700;
constexpr int32_t kHeight = 511;

class Map {
public:
    explicit Map(uint32_t bits)
    {
        OruDynamicPixMap_Construct(&map_);
        OruDynamicPixMap_FormatUpdate(&map_, kWidth, kHeight, bits);
    }
    ~Map() { OruDynamicPixMap_Destruct(&map_, 0); }
    Map(const Map &) = delete;
    Map &operator=(const Map &) = delete;
    OruDynamicPixMap *get() { return &map_; }

private:
    OruDynamicPixMap map_;
};

void finish(benchmark::State &state, const OruDynamicPixMap *map, int64_t framesPerIteration = 1)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * framesPerIteration * map->ImageSize);
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations() * framesPerIteration), benchmark::Counter::kIsRate);
}

// Fill: replicated pattern over the whole image.
void BM_Fill(benchmark::State &state)
{
    Map map(uint32_t(state.range(0)));
    OruDynamicPixMap *m = map.get();
    uint32_t color = 0;
    for (auto _ : state) {
        m->Fill(m, ++color);
        benchmark::ClobberMemory();
    }
    finish(state, m);
}
BENCHMARK(BM_Fill)->Arg(1)->Arg(8)->Arg(16)->Arg(24)->Arg(32);

// The same frame through the clipped rectangle, one row span per row.
void BM_RectangleFullFrame(benchmark::State &state)
{
    Map map(uint32_t(state.range(0)));
    OruDynamicPixMap *m = map.get();
    uint32_t color = 0;
    for (auto _ : state) {
        m->Rectangle(m, -1, -1, kWidth, kHeight, ++color & 0xFFFFFF);
        benchmark::ClobberMemory();
    }
    finish(state, m);
}
BENCHMARK(BM_RectangleFullFrame)->Arg(8)->Arg(32);

// One waterfall update: scroll the image down by one row, then colour the new top row bin by bin through a
// 256-entry palette.
void BM_WaterfallRow(benchmark::State &state)
{
    Map map(32);
    OruDynamicPixMap *m = map.get();
    m->Fill(m, 0);
    uint32_t palette[256];
    for (uint32_t j = 0; j < 256; ++j)
        palette[j] = OruDynamicPixMap_ColorToPalette(m, ColorInterpolate(0xFFFFFF, 0x000000, 255, int32_t(j)));
    uint8_t levels[kWidth];
    for (int32_t x = 0; x < kWidth; ++x)
        levels[x] = uint8_t(x * 37 + (x >> 3));
    uint32_t phase = 0;
    for (auto _ : state) {
        MemoryCopy(m->Pixels + m->Stride, m->Pixels, m->ImageSize - m->Stride);
        ++phase;
        for (int32_t x = 0; x < kWidth; ++x)
            m->SetPixelRaw(m, x, 0, palette[uint8_t(levels[x] + phase)]);
        benchmark::ClobberMemory();
    }
    state.counters["rows/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(int64_t(state.iterations()) * m->ImageSize);
}
BENCHMARK(BM_WaterfallRow);

// Spectrum-style drawing: 699 connected line segments across the frame.
void BM_SpectrumPolyline(benchmark::State &state)
{
    Map map(32);
    OruDynamicPixMap *m = map.get();
    int32_t heights[kWidth];
    for (int32_t x = 0; x < kWidth; ++x)
        heights[x] = (x * 7919) % kHeight;
    for (auto _ : state) {
        for (int32_t x = 1; x < kWidth; ++x)
            m->Line(m, x - 1, heights[x - 1], x, heights[x], 0x00FF00);
        benchmark::ClobberMemory();
    }
    state.counters["traces/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SpectrumPolyline);

} // namespace
