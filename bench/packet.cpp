// Packet radio: frames per second through the HDLC deframer alone (no sink, so the formatter returns at
// once) and through deframer and AX.25 formatter with a sink that only counts characters.
#include <benchmark/benchmark.h>

#include "../tests/decoders/hdlc_line.h"
#include "decoders/hdlc_deframer.h"

namespace {

using namespace sirrel;
using namespace sirrel::test;

constexpr int kFrames = 64;

// A typical monitor mix: UI beacons through two digipeaters, connected I frames, NET/ROM info frames.
std::vector<int32_t> Stream()
{
    HdlcLine line;
    line.flags(16);
    for (int i = 0; i < kFrames; ++i) {
        Bytes frame;
        switch (i % 3) {
        case 0:
            frame = Header({"APRS", 0, true}, {"N0CALL", 9}, {{"WIDE1", 1, true}, {"WIDE2", 1}}) + Bytes{0x03, 0xF0} +
                    Text("!4903.50N/07201.75W-Test beacon from the packet benchmark, 60 bytes long.");
            break;
        case 1:
            frame = Header({"K1ABC", 0, true}, {"W2XYZ", 3}) + Bytes{uint8_t(0x10 | (i & 7) << 1), 0xF0} +
                    Text("Connected-mode text of a keyboard session, a typical line.\r");
            break;
        default:
            frame = Header({"NODE", 2, true}, {"NODE", 1}) + Bytes{0x00, 0xCF};
            AppendAddress(frame, {"ORIGIN", 1}, false);
            AppendAddress(frame, {"TARGET"}, false);
            frame = frame + Bytes{7, 3, 4, 5, 6, 0x05} + Text("NET/ROM carried text of moderate length.\r");
            break;
        }
        line.frame(frame).flags(2);
    }
    return line.levels();
}

void Run(benchmark::State &state, bool format)
{
    const std::vector<int32_t> levels = Stream();
    HdlcDeframer deframer;
    size_t characters = 0;
    if (format) {
        deframer.SetSink([&characters](const DecodedCode &) { ++characters; });
    }
    int64_t frames = 0;
    for (auto _ : state) {
        for (int32_t l : levels)
            frames += deframer.PushLevel(l) >= 0;
        benchmark::DoNotOptimize(characters);
    }
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["bits/s"] =
        benchmark::Counter(double(levels.size()) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["frames/iter"] = double(frames) / double(state.iterations());
}

void BM_HdlcDeframerOnly(benchmark::State &state) { Run(state, false); }
void BM_HdlcDeframerAndAx25Formatter(benchmark::State &state) { Run(state, true); }

BENCHMARK(BM_HdlcDeframerOnly);
BENCHMARK(BM_HdlcDeframerAndAx25Formatter);

} // namespace
