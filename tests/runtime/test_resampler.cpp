#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "../../runtime/src/resampler_kernels.h"
#include "kernel_choice.h"
#include "orurt.h"

namespace {

class Resampler {
public:
    Resampler() : r_(OruResampler32_Construct(nullptr)) {}
    ~Resampler() { OruResampler32_Destruct(r_, 1); }
    Resampler(const Resampler &) = delete;
    Resampler &operator=(const Resampler &) = delete;
    OruResampler32 *get() const { return r_; }
    OruResampler32 *operator->() const { return r_; }

private:
    OruResampler32 *r_;
};

// A test stream: two tones and a little deterministic noise, well inside 16 bits.
std::vector<int16_t> TestSignal(size_t n, double rate)
{
    std::vector<int16_t> x(n);
    uint32_t seed = 12345;
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double t = double(i) / rate;
        const double v = 9000.0 * std::sin(2 * std::numbers::pi * 440.0 * t) +
                         6000.0 * std::sin(2 * std::numbers::pi * 1234.5 * t) + double(int32_t(seed >> 20) - 2048);
        x[i] = int16_t(std::lround(v));
    }
    return x;
}

std::vector<int16_t> Tone(size_t n, double frequency, double rate, double amplitude)
{
    std::vector<int16_t> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = int16_t(std::lround(amplitude * std::sin(2 * std::numbers::pi * frequency * double(i) / rate)));
    return x;
}

std::vector<int16_t> PushAll16(OruResampler32 *r, const std::vector<int16_t> &in, size_t block)
{
    std::vector<int16_t> out;
    for (size_t at = 0; at < in.size(); at += block) {
        const size_t n = std::min(block, in.size() - at);
        std::vector<int16_t> chunk(n * r->Over / r->Under + 2);
        const int32_t written = OruResampler32_ProcessIn_16_16(r, chunk.data(), in.data() + at, int32_t(n), 1);
        out.insert(out.end(), chunk.begin(), chunk.begin() + written);
    }
    return out;
}

// Pulls the way the WAV player does: asks how many inputs a request needs and hands over exactly that many,
// each request in a buffer of its own size so that a read past it is caught under the sanitizers.
std::vector<int16_t> Pull16(OruResampler32 *r, const std::vector<int16_t> &stream, size_t &consumed,
                            const std::vector<int32_t> &requests)
{
    constexpr int16_t kGuard = 0x5A5A;
    std::vector<int16_t> pulled;
    for (const int32_t count : requests) {
        const uint32_t need = OruResampler32_InSamples(r, uint32_t(count));
        if (consumed + need > stream.size()) {
            ADD_FAILURE() << "test stream too short";
            break;
        }
        const std::vector<int16_t> in(stream.begin() + consumed, stream.begin() + consumed + need);
        consumed += need;
        std::vector<int16_t> out(size_t(count) + 8, kGuard);
        OruResampler32_ProcessOut_16_16(r, out.data(), in.data(), count, 1);
        for (size_t i = size_t(count); i < out.size(); ++i)
            EXPECT_EQ(out[i], kGuard) << "wrote past the request of " << count;
        pulled.insert(pulled.end(), out.begin(), out.begin() + count);
    }
    return pulled;
}

struct Measured {
    double amplitude; // of the tone at the expected output frequency
    double residual;  // RMS of everything else
};

// Least-squares fit over a whole number of periods of the output tone.
Measured MeasureTone(const int16_t *y, size_t n, double frequency, double rate)
{
    double a = 0, b = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 2 * std::numbers::pi * frequency * double(i) / rate;
        a += y[i] * std::cos(w);
        b += y[i] * std::sin(w);
    }
    a *= 2.0 / double(n);
    b *= 2.0 / double(n);
    double rest = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 2 * std::numbers::pi * frequency * double(i) / rate;
        const double e = y[i] - a * std::cos(w) - b * std::sin(w);
        rest += e * e;
    }
    return {std::hypot(a, b), std::sqrt(rest / double(n))};
}

TEST(ResamplerSetup, RateSearchTakesTheFirstFactorsWithinTolerance)
{
    struct Case {
        float in, out, tolerance;
        uint32_t over, under;
    };
    const Case cases[] = {
        {11025, 44100, 0.001f, 4, 1}, // L = 1 and 2 round M to 0, L = 3 misses by a third
        {8000, 11025, 0.0f, 441, 320},  {44100, 11025, 0.0f, 1, 4},  {11025, 22050, 0.0f, 2, 1},
        {44100, 48000, 0.0f, 160, 147}, {8000, 11025, 0.01f, 11, 8}, {22050, 22050, 0.0f, 1, 1},
        {8000, 11025, -1.0f, 441, 320}, // a negative tolerance searches for the exact ratio
        {11025, 44100, 1.0f, 1, 1},     // M = 0 is accepted by such a tolerance, then raised to 1
    };
    for (const Case &c : cases) {
        Resampler r;
        OruResampler32_Setup(r.get(), c.in, c.out, c.tolerance, 127);
        EXPECT_EQ(r->Over, c.over) << c.in << " -> " << c.out;
        EXPECT_EQ(r->Under, c.under) << c.in << " -> " << c.out;
        EXPECT_EQ(r->TapsNum, (c.over * 127) | 1) << c.in << " -> " << c.out;
        EXPECT_EQ(r->HistoryLength, (r->TapsNum - 1) / r->Over);
    }
}

TEST(ResamplerSetup, RatesThatAreNotPositiveGiveOneToOne)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float rates[][2] = {{0, 11025}, {-8000, 11025}, {8000, 0}, {nan, 11025}, {8000, inf}, {8000, -1}};
    for (const auto &rate : rates) {
        Resampler r;
        OruResampler32_Setup(r.get(), 44100, 11025, 0, 127);
        OruResampler32_Setup(r.get(), rate[0], rate[1], 0, 127);
        EXPECT_EQ(r->Over, 1u) << rate[0] << " -> " << rate[1];
        EXPECT_EQ(r->Under, 1u) << rate[0] << " -> " << rate[1];
    }
}

TEST(ResamplerSetup, SearchStopsAtItsBoundWithTheClosestRate)
{
    Resampler r;
    // Exactly 47999/44100 needs L = 6857.
    OruResampler32_Setup(r.get(), 44100, 47999, 0, 4);
    EXPECT_LE(r->Over, uint32_t(ORU_RESAMPLER_MAX_OVER));
    EXPECT_LT(std::fabs(44100.0 * r->Over / r->Under / 47999.0 - 1.0), 1e-6);

    // No L up to the bound comes closer to 44101/44100 than 1/1.
    OruResampler32_Setup(r.get(), 44100, 44101, 0, 127);
    EXPECT_EQ(r->Over, 1u);
    EXPECT_EQ(r->Under, 1u);
}

TEST(ResamplerSetup, SameRatesRestartButKeepTheHistory)
{
    Resampler r;
    OruResampler32_Setup(r.get(), 11025, 44100, 0, 127);
    const std::vector<int16_t> level(400, 10000);
    int16_t out[4];
    OruResampler32_ProcessOut_16_16(r.get(), out, level.data(), 1, 1);
    ASSERT_EQ(r->PendingCount, 3u);
    std::vector<int16_t> fed(level.size() * 4);
    OruResampler32_ProcessIn_16_16(r.get(), fed.data(), level.data(), int32_t(level.size()), 1);

    const int32_t *taps = r->Coefficients;
    OruResampler32_Setup(r.get(), 11025, 44100, 0, 127);
    EXPECT_EQ(r->Phase, 0u);
    EXPECT_EQ(r->PendingCount, 0u);
    EXPECT_EQ(r->Coefficients, taps);

    // Silence from here on: the first outputs still carry the level that came before.
    const std::vector<int16_t> silence(8, 0);
    std::vector<int16_t> after(32);
    ASSERT_EQ(OruResampler32_ProcessIn_16_16(r.get(), after.data(), silence.data(), 8, 1), 32);
    EXPECT_GT(after[0], 9000);
}

// The polyphase core written out directly from its definition: history of zeros, and the sample after the block
// taken as 0.
std::vector<int32_t> DirectPolyphase(const int32_t *c, uint64_t taps, uint64_t over, uint64_t under,
                                     const std::vector<int32_t> &x)
{
    const int64_t history = int64_t((taps - 1) / over), n = int64_t(x.size());
    std::vector<int32_t> y;
    for (uint64_t phase = 0; phase / over < uint64_t(n); phase += under) {
        uint64_t q = phase / over, r = phase % over;
        if (r) {
            q += 1;
            r = over - r;
        }
        uint64_t acc = 0;
        for (uint64_t j = 0; r + j * over < taps; ++j) {
            const int64_t i = int64_t(q + j) - history;
            const int64_t sample = i >= 0 && i < n ? x[size_t(i)] : 0;
            acc += uint64_t(sample * c[r + j * over]);
        }
        const __int128 v = (__int128(int64_t(acc)) * int64_t(2 * over)) >> 32;
        y.push_back(int32_t(std::clamp<__int128>(v, INT32_MIN, INT32_MAX)));
    }
    return y;
}

TEST(ResamplerCore, MatchesTheDirectPolyphaseSumBitForBit)
{
    struct Case {
        int32_t over, under, taps;
    };
    const Case cases[] = {{1, 1, 127}, {1, 4, 127}, {3, 2, 31}, {4, 1, 509}, {3, 1, 9}, {7, 5, 33}, {441, 320, 56007}};
    std::mt19937 random(7);
    for (const Case &c : cases) {
        Resampler r;
        OruResampler32_Over(r.get(), c.over);
        OruResampler32_Under(r.get(), c.under);
        OruResampler32_TapsNum(r.get(), c.taps);
        // Random taps beyond +-1 too, so that sums overflow the output range and saturate.
        std::uniform_real_distribution<double> tap(-1.2, 1.2);
        std::vector<double> taps(size_t(c.taps));
        for (double &t : taps)
            t = tap(random) / std::sqrt(double(c.taps) / c.over);
        r->SetCoefficientsDouble(r.get(), taps.data(), uint32_t(taps.size()));
        std::vector<int32_t> x(700);
        for (int32_t &v : x)
            v = int32_t(random());
        std::vector<int32_t> y(x.size() * 441 / 320 * 4 + 2);
        const int32_t n = OruResampler32_ProcessIn_32_32(r.get(), y.data(), x.data(), int32_t(x.size()), 1);
        y.resize(size_t(n));
        EXPECT_EQ(y, DirectPolyphase(r->Coefficients, uint64_t(c.taps), uint64_t(c.over), uint64_t(c.under), x))
            << c.over << "/" << c.under << " with " << c.taps << " taps";
    }
}

TEST(ResamplerPassThrough, ThreeTapsGiveTheInputOneSampleLaterRoundedDown)
{
    Resampler r;
    OruResampler32_TapsNum(r.get(), 3);
    ASSERT_EQ(r->TapsNum, 3u);
    EXPECT_EQ(r->Coefficients[0], 0);
    EXPECT_EQ(r->Coefficients[1], std::numeric_limits<int32_t>::max());
    EXPECT_EQ(r->Coefficients[2], 0);

    const int16_t in16[] = {1000, -1000, 1, -1, 32767, -32768, 0};
    const int16_t want16[] = {0, 999, -1000, 0, -1, 32766, -32768};
    int16_t out16[7];
    ASSERT_EQ(OruResampler32_ProcessIn_16_16(r.get(), out16, in16, 7, 1), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(out16[i], want16[i]) << i;

    const uint8_t in8[] = {200, 128, 0, 255, 129, 128};
    const uint8_t want8[] = {128, 199, 128, 0, 254, 128}; // first: history of the 16-bit run ended with 0
    uint8_t out8[6];
    ASSERT_EQ(OruResampler32_ProcessIn_8_8(r.get(), out8, in8, 6, 1), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(out8[i], want8[i]) << i;
}

TEST(ResamplerTaps, InstalledTapsAreQuantisedToQ31AndUsed)
{
    struct Case {
        double tap;
        int32_t q31;
        int16_t out; // for an input of 1000 a sample earlier
    };
    const Case cases[] = {
        {0.5, 1073741824, 500}, // 1073741823.5 rounds to even
        {0.25, 536870912, 250},
        {1.5, std::numeric_limits<int32_t>::max(), 999},
        {-1.5, std::numeric_limits<int32_t>::min(), -1000},
        {-0.5, -1073741824, -500},
    };
    for (const Case &c : cases) {
        Resampler r;
        OruResampler32_TapsNum(r.get(), 3);
        const double taps[] = {0.0, c.tap, 0.0};
        r->SetCoefficientsDouble(r.get(), taps, 3);
        EXPECT_EQ(r->Coefficients[1], c.q31) << c.tap;
        const int16_t in[] = {1000, 0};
        int16_t out[2];
        OruResampler32_ProcessIn_16_16(r.get(), out, in, 2, 1);
        EXPECT_EQ(out[1], c.out) << c.tap;
    }
}

TEST(ResamplerTaps, OutputSaturatesInsteadOfWrapping)
{
    Resampler r;
    OruResampler32_TapsNum(r.get(), 3);
    const double taps[] = {1.0, 1.0, 1.0};
    r->SetCoefficientsDouble(r.get(), taps, 3);
    const int32_t high[] = {1 << 30, 1 << 30, 1 << 30, -(1 << 30), -(1 << 30), -(1 << 30)};
    int32_t out[6];
    ASSERT_EQ(OruResampler32_ProcessIn_32_32(r.get(), out, high, 6, 1), 6);
    EXPECT_EQ(out[2], std::numeric_limits<int32_t>::max());
    EXPECT_EQ(out[5], std::numeric_limits<int32_t>::min());
}

TEST(ResamplerInSamples, CountsInputsForTheOutputsNotYetPending)
{
    struct Case {
        int32_t over, under;
        uint32_t pending, outputs, inputs;
    };
    const Case cases[] = {
        {2, 1, 0, 10, 5},    {2, 1, 3, 10, 4},  {1, 4, 0, 100, 400}, {441, 320, 0, 441, 320},
        {441, 320, 0, 1, 1}, {2, 1, 10, 10, 0}, {2, 1, 12, 10, 0}, // more pending than wanted: nothing to read, not a
                                                                   // wrapped count
    };
    for (const Case &c : cases) {
        Resampler r;
        OruResampler32_Over(r.get(), c.over);
        OruResampler32_Under(r.get(), c.under);
        r->PendingCount = c.pending;
        EXPECT_EQ(OruResampler32_InSamples(r.get(), c.outputs), c.inputs)
            << c.over << "/" << c.under << " pending " << c.pending << " outputs " << c.outputs;
    }

    Resampler r;
    OruResampler32_Over(r.get(), 4);
    const int16_t one = 100;
    int16_t out;
    OruResampler32_ProcessOut_16_16(r.get(), &out, &one, 1, 1);
    EXPECT_EQ(r->PendingCount, 3u);
    EXPECT_EQ(OruResampler32_InSamples(r.get(), 10), 2u);
}

TEST(ResamplerPush, LongRunsGiveTheRatioOfTheRates)
{
    struct Case {
        float in, out;
        size_t inputs, block, outputs;
    };
    const Case cases[] = {
        {11025, 22050, 10000, 1000, 20000},
        {44100, 11025, 44100, 1024, 11025},
        {8000, 11025, 8000, 8000, 11025},
        {8000, 11025, 8000, 333, 11025},
    };
    for (const Case &c : cases) {
        Resampler r;
        OruResampler32_Setup(r.get(), c.in, c.out, 0, 127);
        const std::vector<int16_t> in(c.inputs, 1);
        EXPECT_EQ(PushAll16(r.get(), in, c.block).size(), c.outputs) << c.in << " -> " << c.out;
    }
}

TEST(ResamplerPush, BlocksOfAnySizeGiveOneStream)
{
    // Configurations whose K - 1 is a multiple of L, so no output reaches past its block.
    const float rates[][2] = {{44100, 11025}, {11025, 22050}, {11025, 44100}};
    for (const auto &rate : rates) {
        std::vector<std::vector<int32_t>> streams;
        for (const size_t block : {size_t(3000), size_t(1), size_t(7), size_t(500)}) {
            Resampler r;
            OruResampler32_Setup(r.get(), rate[0], rate[1], 0, 127);
            const std::vector<int16_t> x = TestSignal(3000, rate[0]);
            std::vector<int32_t> in(x.begin(), x.end());
            for (int32_t &v : in)
                v *= 65536;
            std::vector<int32_t> out(in.size() * 4 + 8);
            size_t written = 0;
            for (size_t at = 0; at < in.size(); at += block)
                written += size_t(OruResampler32_ProcessIn_32_32(r.get(), out.data() + written, in.data() + at,
                                                                 int32_t(std::min(block, in.size() - at)), 1));
            out.resize(written);
            streams.push_back(out);
        }
        for (size_t i = 1; i < streams.size(); ++i)
            EXPECT_EQ(streams[i], streams[0]) << rate[0] << " -> " << rate[1] << " blocking " << i;
    }
}

TEST(ResamplerPush, StrideAndCountsAreClamped)
{
    Resampler r;
    OruResampler32_TapsNum(r.get(), 3);
    const int16_t in[] = {10, 20, 30, 40, 50};
    int16_t out[8] = {7, 7, 7, 7, 7, 7, 7, 7};
    EXPECT_EQ(OruResampler32_ProcessIn_16_16(r.get(), out, in, 0, 1), 0);
    EXPECT_EQ(OruResampler32_ProcessIn_16_16(r.get(), out, in, -4, 1), 0);
    EXPECT_EQ(out[0], 7);
    // ceil(5 / 2) samples: 10, 30, 50, each one sample late.
    ASSERT_EQ(OruResampler32_ProcessIn_16_16(r.get(), out, in, 5, 2), 3);
    EXPECT_EQ(out[1], 9);
    EXPECT_EQ(out[2], 29);
    EXPECT_EQ(out[3], 7);
    // A step below 1 counts as 1.
    EXPECT_EQ(OruResampler32_ProcessIn_16_16(r.get(), out, in, 2, 0), 2);
    EXPECT_EQ(OruResampler32_ProcessIn_16_16(r.get(), out, in, 2, -3), 2);
    // No output buffer: computed and dropped.
    EXPECT_EQ(OruResampler32_ProcessIn_16_16(r.get(), nullptr, in, 5, 1), 5);
}

TEST(ResamplerPush, TheSampleAfterABlockIsNotTakenFromEarlierData)
{
    // K = 9, L = 3: K - 1 is not a multiple of L, so the last output of a block reaches one sample past it.
    // Two objects differ only in a sample of an earlier block that no longer belongs to their history.
    std::vector<std::vector<int32_t>> second;
    for (const int32_t odd : {0, 1 << 30}) {
        Resampler r;
        OruResampler32_Over(r.get(), 3);
        OruResampler32_TapsNum(r.get(), 9);
        ASSERT_EQ(r->HistoryLength, 2u);
        std::vector<int32_t> first(50, 1 << 28);
        first[10] = odd;
        std::vector<int32_t> out(200);
        OruResampler32_ProcessIn_32_32(r.get(), out.data(), first.data(), 50, 1);
        const std::vector<int32_t> next(10, -(1 << 28));
        out.assign(40, 0);
        ASSERT_EQ(OruResampler32_ProcessIn_32_32(r.get(), out.data(), next.data(), 10, 1), 30);
        second.push_back(out);
    }
    EXPECT_EQ(second[0], second[1]);
}

TEST(ResamplerPull, DeliversExactCountsFromExactlyTheInputsAnnounced)
{
    struct Case {
        float in, out;
        int32_t bufferSize;
        std::vector<int32_t> requests;
        int tolerance; // 1 where K - 1 is not a multiple of L (see the block test above)
    };
    const Case cases[] = {
        {44100, 11025, 1024, {1, 7, 100, 256, 257, 2048, 3000, 5}, 0},
        {8000, 11025, 1024, {1, 2, 441, 1000, 2048, 5000, 3}, 1},
        {8000, 11025, 1, {1, 2, 441, 100, 3}, 1},
        {11025, 22050, 100, {1, 3, 250, 1001, 2}, 0},
        {44100, 44100 / 3.0f, 1000, {400, 400, 400, 17}, 0}, // blocks of 1000 leave the phase at 1 or 2
        {11025, 44100, 7, {1, 30, 3, 64}, 0},
    };
    for (const Case &c : cases) {
        Resampler pull, push;
        for (OruResampler32 *r : {pull.get(), push.get()}) {
            OruResampler32_BufferSize(r, c.bufferSize);
            OruResampler32_Setup(r, c.in, c.out, 0, 127);
        }
        const std::vector<int16_t> stream = TestSignal(40000, c.in);
        size_t consumed = 0;
        const std::vector<int16_t> pulled = Pull16(pull.get(), stream, consumed, c.requests);
        const std::vector<int16_t> used(stream.begin(), stream.begin() + consumed);
        const std::vector<int16_t> pushed = PushAll16(push.get(), used, used.size());
        ASSERT_EQ(pushed.size(), pulled.size() + pull->PendingCount) << c.in << " -> " << c.out;
        int differing = 0;
        for (size_t i = 0; i < pulled.size(); ++i) {
            EXPECT_LE(std::abs(pulled[i] - pushed[i]), c.tolerance) << c.in << " -> " << c.out << " at " << i;
            differing += pulled[i] != pushed[i];
        }
        EXPECT_LE(differing, 3) << c.in << " -> " << c.out;
    }
}

TEST(ResamplerPull, BadArgumentsWriteNothingOrSilence)
{
    Resampler r;
    OruResampler32_Setup(r.get(), 8000, 11025, 0, 127);
    int16_t out[4] = {7, 7, 7, 7};
    const int16_t in[4] = {1000, 1000, 1000, 1000};
    OruResampler32_ProcessOut_16_16(r.get(), out, in, 0, 1);
    OruResampler32_ProcessOut_16_16(r.get(), out, in, -5, 1);
    OruResampler32_ProcessOut_16_16(r.get(), nullptr, in, 4, 1);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(r->Phase, 0u);
    OruResampler32_ProcessOut_16_16(r.get(), out, nullptr, 4, 1);
    for (const int16_t v : out)
        EXPECT_EQ(v, 0);
    out[3] = 7;
    OruResampler32_ProcessOut_16_16(r.get(), out, in, 3, 0); // step 0 counts as 1
    EXPECT_EQ(out[3], 7);
}

TEST(ResamplerEightBit, SilenceStaysSilent)
{
    for (const float outputRate : {11025.0f, 44100.0f}) {
        Resampler r;
        OruResampler32_Setup(r.get(), 8000, outputRate, 0, 127);
        const std::vector<uint8_t> in(OruResampler32_InSamples(r.get(), 3000), 128);
        std::vector<uint8_t> out(3000, 0);
        OruResampler32_ProcessOut_8_8(r.get(), out.data(), in.data(), 3000, 1);
        for (const uint8_t v : out)
            ASSERT_EQ(v, 128);
        std::vector<uint8_t> pushed(in.size() * 6 + 2, 0);
        const int32_t n = OruResampler32_ProcessIn_8_8(r.get(), pushed.data(), in.data(), int32_t(in.size()), 1);
        ASSERT_GT(n, 0);
        for (int32_t i = 0; i < n; ++i)
            ASSERT_EQ(pushed[size_t(i)], 128);
    }
}

TEST(ResamplerResponse, PassBandIsFlatAndStopBandIsDeep)
{
    struct Case {
        float in, out, frequency;
        bool pass;
    };
    const Case cases[] = {
        {44100, 11025, 200, true},    {44100, 11025, 1000, true},   {44100, 11025, 3000, true},
        {44100, 11025, 7000, false},  {44100, 11025, 10000, false}, {44100, 11025, 16000, false},
        {44100, 11025, 21000, false}, {8000, 11025, 300, true},     {8000, 11025, 1000, true},
        {8000, 11025, 3000, true},    {11025, 22050, 4000, true},
    };
    constexpr double kAmplitude = 16000;
    constexpr size_t kSettle = 400;
    for (const Case &c : cases) {
        Resampler r;
        OruResampler32_Setup(r.get(), c.in, c.out, 0, 127);
        const size_t wanted = kSettle + size_t(c.out); // one second after settling
        const std::vector<int16_t> x =
            Tone(size_t(wanted * double(c.in) / c.out) + 2000, c.frequency, c.in, kAmplitude);
        size_t consumed = 0;
        std::vector<int32_t> requests(wanted / 512, 512);
        requests.push_back(int32_t(wanted % 512));
        const std::vector<int16_t> y = Pull16(r.get(), x, consumed, requests);
        // Where a tone above the output's Nyquist frequency would land if it got through.
        double landing = std::fmod(double(c.frequency), double(c.out));
        landing = std::min(landing, double(c.out) - landing);
        const Measured m = MeasureTone(y.data() + kSettle, size_t(c.out), landing, c.out);
        if (c.pass) {
            EXPECT_NEAR(m.amplitude / kAmplitude, 1.0, 0.005) << c.in << " -> " << c.out << " at " << c.frequency;
            EXPECT_LT(m.residual / kAmplitude, 2e-4) << c.in << " -> " << c.out << " at " << c.frequency;
        } else {
            EXPECT_LT(m.amplitude / kAmplitude, 2e-4) << c.in << " -> " << c.out << " at " << c.frequency;
        }
    }
}

TEST(ResamplerSetters, ValuesAreClampedAndRepeatsChangeNothing)
{
    Resampler r;
    OruResampler32_Over(r.get(), 0);
    OruResampler32_Under(r.get(), -5);
    OruResampler32_BufferSize(r.get(), 0);
    EXPECT_EQ(r->Over, 1u);
    EXPECT_EQ(r->Under, 1u);
    EXPECT_EQ(r->BufferSize, 1u);
    const struct {
        int32_t asked;
        uint32_t taps;
    } taps[] = {{2, 3}, {10, 11}, {-7, 3}, {128, 129}, {127, 127}};
    for (const auto &t : taps) {
        OruResampler32_TapsNum(r.get(), t.asked);
        EXPECT_EQ(r->TapsNum, t.taps) << t.asked;
    }

    // A repeated value keeps the running state.
    OruResampler32_Over(r.get(), 2);
    const int16_t in[] = {500, 600};
    int16_t out[4];
    OruResampler32_ProcessOut_16_16(r.get(), out, in, 3, 1);
    ASSERT_EQ(r->PendingCount, 1u);
    OruResampler32_TapsNum(r.get(), 126);
    OruResampler32_Over(r.get(), 2);
    OruResampler32_Under(r.get(), 1);
    OruResampler32_BufferSize(r.get(), 1);
    EXPECT_EQ(r->PendingCount, 1u);
    EXPECT_EQ(r->DelayLine[r->HistoryLength - 1], 600 * 65536);
}

TEST(ResamplerSetters, SettingsTooLargeForMemoryAreRefused)
{
    Resampler r;
    OruResampler32_Setup(r.get(), 44100, 11025, 0, 127);
    OruResampler32_Over(r.get(), std::numeric_limits<int32_t>::max());
    OruResampler32_TapsNum(r.get(), std::numeric_limits<int32_t>::max());
    OruResampler32_BufferSize(r.get(), std::numeric_limits<int32_t>::max());
    OruResampler32_Setup(r.get(), 44100, 11025, 0, 0xFFFFFFFFu);
    EXPECT_EQ(r->Over, 1u);
    EXPECT_EQ(r->Under, 4u);
    EXPECT_EQ(r->TapsNum, 127u);
    EXPECT_EQ(r->BufferSize, 1024u);
    const std::vector<int16_t> in(400, 1000);
    int16_t out[100];
    OruResampler32_ProcessOut_16_16(r.get(), out, in.data(), 100, 1);
    EXPECT_NEAR(out[99], 1000, 1);
}

TEST(ResamplerCore, BlockSizeIsLimitedToTheBuffer)
{
    Resampler r;
    OruResampler32_BufferSize(r.get(), 64);
    OruResampler32_Over(r.get(), 3);
    OruResampler32_Under(r.get(), 2);
    for (uint32_t i = 0; i < 64; ++i)
        r->InputArea[i] = 1 << 24;
    EXPECT_EQ(OruResampler32_ProcessIn(r.get(), nullptr, 1000), 96u);
    EXPECT_EQ(r->Phase, 0u);
    EXPECT_EQ(OruResampler32_ProcessIn(r.get(), nullptr, 0), 96u);
}

TEST(ResamplerLifecycle, CallerStorageAndNullObjects)
{
    OruResampler32 local;
    ASSERT_EQ(OruResampler32_Construct(&local), &local);
    EXPECT_EQ(local.TapsNum, 127u);
    EXPECT_EQ(local.BufferSize, 1024u);
    EXPECT_EQ(local.InputArea, local.DelayLine + local.HistoryLength);
    OruResampler32_Destruct(&local, 0);
    OruResampler32_Destruct(&local, 0);
    EXPECT_EQ(OruResampler32_ProcessIn_16_16(&local, nullptr, nullptr, 10, 1), 0);

    int16_t out[2] = {7, 7};
    OruResampler32_Destruct(nullptr, 1);
    OruResampler32_Over(nullptr, 2);
    OruResampler32_Under(nullptr, 2);
    OruResampler32_BufferSize(nullptr, 2);
    OruResampler32_TapsNum(nullptr, 2);
    OruResampler32_Restart(nullptr);
    OruResampler32_Setup(nullptr, 8000, 11025, 0, 127);
    EXPECT_EQ(OruResampler32_InSamples(nullptr, 10), 0u);
    EXPECT_EQ(OruResampler32_ProcessIn_16_16(nullptr, out, out, 2, 1), 0);
    EXPECT_EQ(OruResampler32_ProcessIn_8_8(nullptr, nullptr, nullptr, 2, 1), 0);
    EXPECT_EQ(OruResampler32_ProcessIn_32_32(nullptr, nullptr, nullptr, 2, 1), 0);
    EXPECT_EQ(OruResampler32_ProcessIn(nullptr, nullptr, 0), 0u);
    OruResampler32_ProcessOut_16_16(nullptr, out, out, 2, 1);
    OruResampler32_ProcessOut_8_8(nullptr, nullptr, nullptr, 2, 1);
    EXPECT_EQ(out[0], 7);
}

} // namespace

namespace {

orures::Variant VariantOf(Kernel k)
{
    switch (k) {
    case Kernel::Sse2:
        return orures::Variant::Sse2;
    case Kernel::Avx2:
        return orures::Variant::Avx2;
    default:
        return orures::Variant::Portable;
    }
}

const char *KernelName(Kernel k)
{
    switch (k) {
    case Kernel::Sse2:
        return "SSE2";
    case Kernel::Avx2:
        return "AVX2";
    default:
        return "portable";
    }
}

// Each kernel on its own, against the portable sum: every length up to a few vectors and the row lengths the
// player uses, each array exactly as long as the sum so that a read past it is caught under the sanitizers,
// starting off any alignment. The extreme values make every product 2^62 or its neighbours, so sums wrap.
TEST(ResamplerKernels, EveryKernelGivesThePortableSum)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
    std::mt19937 random(11);
    std::vector<uint32_t> lengths;
    for (uint32_t n = 0; n <= 40; ++n)
        lengths.push_back(n);
    for (uint32_t n : {63u, 64u, 65u, 127u, 128u, 129u})
        lengths.push_back(n);
    const auto fill = [&](std::vector<int32_t> &v, size_t from, int kind) {
        for (size_t i = from; i < v.size(); ++i) {
            switch (kind) {
            case 0:
                v[i] = int32_t(random());
                break;
            case 1:
                v[i] = kMax;
                break;
            case 2:
                v[i] = kMin;
                break;
            default:
                v[i] = random() & 1 ? kMin : kMax;
            }
        }
    };
    for (Kernel kernel : AvailableKernels()) {
        const orures::DotKernel dot = orures::KernelOf(VariantOf(kernel));
        for (uint32_t n : lengths) {
            for (int samples = 0; samples < 4; ++samples) {
                for (int taps = 0; taps < 4; ++taps) {
                    const size_t offset = random() % 8;
                    std::vector<int32_t> d(offset + n), c(n + (offset + 3) % 8);
                    fill(d, offset, samples);
                    fill(c, c.size() - n, taps);
                    const int32_t *x = d.data() + offset, *t = c.data() + (c.size() - n);
                    ASSERT_EQ(dot(x, t, n), orures::DotPortable(x, t, n))
                        << KernelName(kernel) << ", " << n << " taps, kinds " << samples << "/" << taps;
                }
            }
        }
    }
}

constexpr Kernel kSplitKernels[] = {Kernel::Sse2, Kernel::Avx2};

// The split kernels against the portable sum of the same 16-bit samples scaled by 65536: random and full-scale
// samples, random taps and taps made of the extreme halves (low half -32768 or -32767, high half -32768 or
// 32767), every length up to a few blocks and around the usual rows. The windows start off any alignment and
// run to whole blocks, as the contract allows, over samples that must not count.
TEST(ResamplerKernels, SplitKernelsGiveThePortableSum)
{
    constexpr int32_t kExtremes[] = {INT32_MIN, 0x7FFF7FFF, int32_t(0x80008001), 0x8001, -0x7FFF, 0x7FFF, -1, 0};
    // Low half -32768: only at even taps, so that no pair of one madd holds it twice.
    constexpr int32_t kEvenExtremes[] = {int32_t(0x80008000), 0x8000, -0x8000};
    std::mt19937 random(13);
    std::vector<uint32_t> lengths;
    for (uint32_t n = 0; n <= 40; ++n)
        lengths.push_back(n);
    for (uint32_t n = 63; n <= 65; ++n)
        lengths.push_back(n);
    for (uint32_t n = 111; n <= 145; ++n)
        lengths.push_back(n);
    for (uint32_t n : {255u, 256u, 257u, 1023u})
        lengths.push_back(n);
    const auto sample = [&](int kind) -> int16_t {
        switch (kind) {
        case 0:
            return int16_t(random());
        case 1:
            return INT16_MAX;
        case 2:
            return INT16_MIN;
        default:
            return random() & 1 ? INT16_MIN : INT16_MAX;
        }
    };
    const auto tap = [&](int kind, uint32_t j) -> int32_t {
        if (kind == 0)
            return int32_t(random()) / 2; // high halves of +-16384 at most, so the split is always exact
        if (j % 2 == 0 && random() % 3 == 0)
            return kEvenExtremes[random() % std::size(kEvenExtremes)];
        return kExtremes[random() % std::size(kExtremes)];
    };
    for (Kernel kernel : AvailableKernels({Kernel::Sse2, Kernel::Avx2})) {
        const orures::SplitKernel dot = orures::SplitKernelOf(VariantOf(kernel));
        ASSERT_NE(dot, nullptr) << KernelName(kernel);
        for (uint32_t n : lengths) {
            const uint32_t padded = orures::SplitLength(n);
            for (int samples = 0; samples < 4; ++samples) {
                for (int taps = 0; taps < 2; ++taps) {
                    const size_t offset = random() % 16;
                    std::vector<int16_t> x(offset + padded);
                    std::vector<int32_t> d(n), c(n);
                    for (size_t i = 0; i < x.size(); ++i)
                        x[i] = sample(i >= offset + n ? 3 : samples);
                    for (uint32_t j = 0; j < n; ++j) {
                        d[j] = x[offset + j] * 65536;
                        c[j] = tap(taps, j);
                    }
                    std::vector<int16_t> hi(padded), lo(padded);
                    ASSERT_TRUE(orures::SplitRow(c.data(), n, hi.data(), lo.data()));
                    ASSERT_EQ(dot(x.data() + offset, hi.data(), lo.data(), n),
                              orures::DotPortable(d.data(), c.data(), n))
                        << KernelName(kernel) << ", " << n << " taps, kinds " << samples << "/" << taps;
                }
            }
        }
    }
}

// The rows the split kernels would get wrong: a high half of 32768, or a pair of taps in one madd whose low
// halves are both -32768 (their products with -32768 add up to 2^31). Longer rows than the low sums allow are
// refused too.
TEST(ResamplerKernels, RowsThatWouldNotSplitExactlyAreRefused)
{
    struct Case {
        std::vector<int32_t> row;
        bool exact;
    };
    const Case cases[] = {
        {{INT32_MAX}, false},
        {{0x7FFF8000}, false},
        {{0x7FFF7FFF}, true},
        {{0, 0, 0, 0x7FFF8000, 0}, false},
        {{0x8000, 0x8000}, false},
        {{5, 7, -0x8000, int32_t(0x80008000), 1}, false},
        {{0x8000, 0, 0x8000}, true},
        {{0, 0x8000, 0x8000}, true},
        {{INT32_MIN, INT32_MIN, INT32_MIN}, true},
    };
    std::vector<int16_t> x(16, INT16_MIN);
    std::vector<int32_t> d(16, INT16_MIN * 65536);
    for (const Case &c : cases) {
        const uint32_t n = uint32_t(c.row.size());
        std::vector<int16_t> hi(orures::SplitLength(n)), lo(orures::SplitLength(n));
        EXPECT_EQ(orures::SplitRow(c.row.data(), n, hi.data(), lo.data()), c.exact) << ::testing::PrintToString(c.row);
        // A refused row would indeed give another sum.
        for (Kernel kernel : kSplitKernels) {
            if (!c.exact && KernelAvailable(kernel)) {
                EXPECT_NE(orures::SplitKernelOf(VariantOf(kernel))(x.data(), hi.data(), lo.data(), n),
                          orures::DotPortable(d.data(), c.row.data(), n))
                    << KernelName(kernel) << " " << ::testing::PrintToString(c.row);
            }
        }
    }
    for (uint32_t n : {orures::kSplitMaxTaps, orures::kSplitMaxTaps + 1}) {
        const std::vector<int32_t> row(n);
        std::vector<int16_t> hi(orures::SplitLength(n)), lo(orures::SplitLength(n));
        EXPECT_EQ(orures::SplitRow(row.data(), n, hi.data(), lo.data()), n <= orures::kSplitMaxTaps) << n;
    }
}

enum class Taps { Designed, Random, AllMax, AllMin, Alternating };
enum class Input { Random, AllMax, AllMin };

// Taps to install; none for the designed filter. 1.0 quantises to INT32_MAX, -2.0 to INT32_MIN.
std::vector<double> TapsOf(Taps kind, uint32_t taps, std::mt19937 &random)
{
    if (kind == Taps::Designed)
        return {};
    std::vector<double> h(taps);
    std::uniform_real_distribution<double> level(-1.0, 1.0);
    for (uint32_t i = 0; i < taps; ++i) {
        switch (kind) {
        case Taps::Random:
            h[i] = level(random);
            break;
        case Taps::AllMax:
            h[i] = 1.0;
            break;
        case Taps::AllMin:
            h[i] = -2.0;
            break;
        default:
            h[i] = i % 3 == 0 ? 1.0 : -2.0;
        }
    }
    return h;
}

OruResampler32 *ConstructWith(Kernel kernel)
{
    const KernelScope scope(kernel);
    return OruResampler32_Construct(nullptr);
}

// Every kernel the processor runs, chosen the way the library chooses it, against an object with the portable
// kernel: the player's conversions with their own filters, then rows of odd lengths with full-scale taps and
// inputs whose sums wrap and whose outputs saturate. Blocks of uneven sizes cross the buffer size.
TEST(ResamplerKernels, EveryKernelGivesThePortableOutput)
{
    struct Case {
        const char *name;
        float inRate, outRate; // used when over is 0
        int32_t over, under, taps;
        Taps coefficients;
        Input input;
    };
    const Case cases[] = {
        {"44100 to 11025", 44100, 11025, 0, 0, 0, Taps::Designed, Input::Random},
        {"48000 to 11025", 48000, 11025, 0, 0, 0, Taps::Designed, Input::Random},
        {"8000 to 11025", 8000, 11025, 0, 0, 0, Taps::Designed, Input::Random},
        {"11025 to 44100", 11025, 44100, 0, 0, 0, Taps::Designed, Input::Random},
        {"22050 to 16000", 22050, 16000, 0, 0, 0, Taps::Designed, Input::Random},
        {"44100 to 11025, random taps", 44100, 11025, 0, 0, 0, Taps::Random, Input::Random},
        {"48000 to 11025, random taps", 48000, 11025, 0, 0, 0, Taps::Random, Input::Random},
        {"rows of 13, all taps max", 0, 0, 3, 2, 37, Taps::AllMax, Input::AllMax},
        {"rows of 13, all taps min", 0, 0, 3, 2, 37, Taps::AllMin, Input::AllMin},
        {"rows of 7 and 6, all taps max, input min", 0, 0, 5, 3, 33, Taps::AllMax, Input::AllMin},
        {"rows of 128, alternating full scale", 0, 0, 1, 4, 127, Taps::Alternating, Input::Random},
        {"rows of 3, random taps", 0, 0, 2, 3, 5, Taps::Random, Input::Random},
        {"rows of 9 and 8, alternating full scale", 0, 0, 7, 5, 57, Taps::Alternating, Input::AllMax},
    };
    const std::vector<Kernel> kernels = AvailableKernels();
    std::mt19937 random(5);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<OruResampler32 *> objects;
        std::set<decltype(OruResampler32::ResizeRoutine)> resizers;
        for (Kernel kernel : kernels) {
            OruResampler32 *r = ConstructWith(kernel);
            ASSERT_NE(r, nullptr);
            resizers.insert(r->ResizeRoutine);
            if (c.over) {
                OruResampler32_Over(r, c.over);
                OruResampler32_Under(r, c.under);
                OruResampler32_TapsNum(r, c.taps);
            } else {
                OruResampler32_Setup(r, c.inRate, c.outRate, 0, 127);
            }
            objects.push_back(r);
        }
        // The record steered each object to a kernel of its own.
        EXPECT_EQ(resizers.size(), kernels.size());

        const uint32_t taps = objects[0]->TapsNum;
        const std::vector<double> h = TapsOf(c.coefficients, taps, random);
        if (!h.empty()) {
            for (OruResampler32 *r : objects)
                r->SetCoefficientsDouble(r, h.data(), taps);
        }

        std::vector<int32_t> x(5000);
        for (int32_t &v : x) {
            v = c.input == Input::AllMax   ? std::numeric_limits<int32_t>::max()
                : c.input == Input::AllMin ? std::numeric_limits<int32_t>::min()
                                           : int32_t(random());
        }
        std::vector<std::vector<int32_t>> outputs;
        for (OruResampler32 *r : objects) {
            std::vector<int32_t> y;
            size_t at = 0;
            for (size_t block : {1, 7, 300, 2500, 17}) {
                std::vector<int32_t> part(block * r->Over / r->Under + 2);
                const int32_t n = OruResampler32_ProcessIn_32_32(r, part.data(), x.data() + at, int32_t(block), 1);
                y.insert(y.end(), part.begin(), part.begin() + n);
                at += block;
            }
            outputs.push_back(y);
        }
        ASSERT_FALSE(outputs[0].empty());
        for (size_t k = 1; k < objects.size(); ++k)
            EXPECT_EQ(outputs[k], outputs[0]) << KernelName(kernels[k]);
        for (OruResampler32 *r : objects)
            OruResampler32_Destruct(r, 1);
    }
}

// 16- and 8-bit input, which the SSE2 and AVX2 objects run through the split kernels where the taps allow,
// against the portable object: the conversions of sirrel-decode and the player, taps that split exactly at full
// scale (INT32_MIN) and taps that do not (INT32_MAX), input at full scale, requests of odd sizes across the
// buffer size. A few 32-bit samples in between leave history whose low halves are not zero.
TEST(ResamplerKernels, SixteenBitInputGivesThePortableOutput)
{
    struct Case {
        const char *name;
        float inRate, outRate;
        Taps coefficients;
    };
    const Case cases[] = {
        {"44100 to 11025", 44100, 11025, Taps::Designed},
        {"48000 to 11025", 48000, 11025, Taps::Designed},
        {"44100 to 22050", 44100, 22050, Taps::Designed},
        {"11025 to 22050", 11025, 22050, Taps::Designed},
        {"44100 to 22050, random taps", 44100, 22050, Taps::Random},
        {"48000 to 11025, all taps min", 48000, 11025, Taps::AllMin},
        {"44100 to 11025, all taps max", 44100, 11025, Taps::AllMax},
        {"11025 to 22050, alternating full scale", 11025, 22050, Taps::Alternating},
    };
    std::mt19937 random(17);
    // Runs of 500 samples: random, all -32768, all 32767, alternating between the two.
    std::vector<int16_t> wide(60000);
    for (size_t i = 0; i < wide.size(); ++i) {
        switch (i / 500 % 4) {
        case 0:
            wide[i] = int16_t(random());
            break;
        case 1:
            wide[i] = INT16_MIN;
            break;
        case 2:
            wide[i] = INT16_MAX;
            break;
        default:
            wide[i] = random() & 1 ? INT16_MIN : INT16_MAX;
        }
    }
    std::vector<uint8_t> narrow(4000);
    for (uint8_t &v : narrow)
        v = uint8_t(random());
    const int32_t stray[3] = {0x12345678, -0x0000FFFF, 0x7FFFFFFF};

    const std::vector<Kernel> kernels = AvailableKernels();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> h;
        std::vector<std::vector<int32_t>> outputs;
        for (Kernel kernel : kernels) {
            OruResampler32 *r = ConstructWith(kernel);
            ASSERT_NE(r, nullptr);
            OruResampler32_Setup(r, c.inRate, c.outRate, 0, 127);
            if (h.empty())
                h = TapsOf(c.coefficients, r->TapsNum, random);
            if (!h.empty())
                r->SetCoefficientsDouble(r, h.data(), r->TapsNum);

            std::vector<int32_t> y;
            size_t wideAt = 0, narrowAt = 0;
            const auto pull16 = [&](int32_t count) {
                std::vector<int16_t> out(count > 0 ? size_t(count) : 0);
                const uint32_t need = OruResampler32_InSamples(r, uint32_t(count));
                ASSERT_LE(wideAt + need, wide.size());
                OruResampler32_ProcessOut_16_16(r, out.data(), wide.data() + wideAt, count, 1);
                wideAt += need;
                y.insert(y.end(), out.begin(), out.end());
            };
            for (int32_t count : {1, 7, 333, 2047, 5})
                pull16(count);
            std::vector<int32_t> pushed(3 * r->Over / r->Under + 2);
            const int32_t n = OruResampler32_ProcessIn_32_32(r, pushed.data(), stray, 3, 1);
            y.insert(y.end(), pushed.begin(), pushed.begin() + n);
            for (int32_t count : {1001, 3, 640})
                pull16(count);
            for (int32_t count : {77, 500}) {
                std::vector<uint8_t> out(count > 0 ? size_t(count) : 0);
                const uint32_t need = OruResampler32_InSamples(r, uint32_t(count));
                ASSERT_LE(narrowAt + need, narrow.size());
                OruResampler32_ProcessOut_8_8(r, out.data(), narrow.data() + narrowAt, count, 1);
                narrowAt += need;
                y.insert(y.end(), out.begin(), out.end());
            }
            pull16(999);
            outputs.push_back(y);
            OruResampler32_Destruct(r, 1);
        }
        for (size_t k = 1; k < outputs.size(); ++k)
            EXPECT_EQ(outputs[k], outputs[0]) << KernelName(kernels[k]);
    }
}

} // namespace
