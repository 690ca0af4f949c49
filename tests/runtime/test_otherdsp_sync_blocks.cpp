// Bit synchroniser (DPLL and slicer) and the free block functions.
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "orurt.h"
#include "otherdsp_test_signals.h"

namespace {

constexpr double kTwoPi = otherdsp_test::kTwoPi;

struct Delivery {
    int64_t sample;
    int32_t count;
    int32_t value;
};

struct Recorder {
    int64_t sample = 0;
    std::vector<Delivery> deliveries;
};

void record(void *userData, OruDataFormatter2 *, int32_t bitCount, int32_t bitValue)
{
    auto *r = static_cast<Recorder *>(userData);
    r->deliveries.push_back({r->sample, bitCount, bitValue});
}

std::vector<int> randomBits(size_t count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<int> bits(count);
    for (auto &b : bits)
        b = int(rng() & 1);
    return bits;
}

// NRZ: bit k covers the samples n with floor(n / period) == k.
std::vector<int16_t> nrz(const std::vector<int> &bits, double period, int16_t level)
{
    std::vector<int16_t> x(size_t(double(bits.size()) * period));
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = bits[size_t(double(n) / period)] != 0 ? level : int16_t(-level);
    return x;
}

// ---- OruDataFormatter2, DPLL ----

TEST(OruDataFormatter2, DPLLSamplesACleanBitStreamMidBit)
{
    struct Case {
        double rate, bitRate, loopGain;
    };
    const Case cases[] = {{8000.0, 1000.0, 0.01}, {44100.0, 1000.0, 0.01}, {11025.0, 300.0, 0.05}, {8000.0, 50.0, 0.1}};
    for (const Case &c : cases) {
        OruDataFormatter2 f;
        ASSERT_EQ(OruDataFormatter2_Construct(&f), &f);
        Recorder r;
        f.Callback = record;
        f.UserData = &r;
        f.SamplingRate = c.rate;
        f.BitRate = c.bitRate;
        f.LoopGain = c.loopGain;
        const double period = c.rate / c.bitRate;
        const std::vector<int> bits = randomBits(2000, 7);
        const std::vector<int16_t> x = nrz(bits, period, 9000);
        for (r.sample = 0; r.sample < int64_t(x.size()); ++r.sample)
            OruDataFormatter2_DPLL_16(&f, &x[size_t(r.sample)], 1, 1);

        EXPECT_NEAR(double(r.deliveries.size()), double(bits.size()), 2.0) << c.rate << "/" << c.bitRate;
        size_t checked = 0;
        for (const Delivery &d : r.deliveries) {
            const double position = double(d.sample) / period;
            const size_t bit = size_t(position);
            if (bit < bits.size() / 2)
                continue; // the loop is still pulling in
            ASSERT_EQ(d.count, 1);
            const double within = position - double(bit);
            ASSERT_GE(within, 0.3) << c.rate << "/" << c.bitRate << " bit " << bit;
            ASSERT_LE(within, 0.7) << c.rate << "/" << c.bitRate << " bit " << bit;
            ASSERT_EQ(d.value, bits[bit]) << c.rate << "/" << c.bitRate << " bit " << bit;
            ++checked;
        }
        EXPECT_GT(checked, bits.size() / 2 - 3);
        OruDataFormatter2_Destruct(&f, 0);
    }
}

TEST(OruDataFormatter2, DPLLReaimsAtSignChangesAndStepsToZero)
{
    OruDataFormatter2 f;
    OruDataFormatter2_Construct(&f);
    f.SamplingRate = 8000.0;
    f.BitRate = 1000.0; // 8 samples per bit
    f.LoopGain = 0.25;
    const int32_t x[] = {5, 5, 0, 0, -3};
    // The cleared countdown runs out on the first sample: a bit, and the instant counts as one sample ago.
    OruDataFormatter2_DPLL_32(&f, x, 1, 1);
    EXPECT_EQ(f.NextBit, 7.0);
    EXPECT_EQ(f.SinceLastBit, 1.0);
    OruDataFormatter2_DPLL_32(&f, x + 1, 1, 1);
    EXPECT_EQ(f.NextBit, 6.0);
    OruDataFormatter2_DPLL_32(&f, x + 2, 1, 1); // step to 0, 3 samples on: 8 - 3 + 0.25 (3 - 4)
    EXPECT_EQ(f.NextBit, 4.75);
    OruDataFormatter2_DPLL_32(&f, x + 3, 1, 1); // 0 after 0 is no transition
    EXPECT_EQ(f.NextBit, 3.75);
    OruDataFormatter2_DPLL_32(&f, x + 4, 1, 1); // sign change 5 samples on: 8 - 5 + 0.25 (5 - 4)
    EXPECT_EQ(f.NextBit, 3.25);
    EXPECT_EQ(f.SinceLastBit, 5.0);

    // Chunked calls deliver the same bits as sample-by-sample ones; bad calls deliver nothing.
    Recorder whole, pieces;
    OruDataFormatter2 a, b;
    for (auto [g, r] : {std::pair{&a, &whole}, std::pair{&b, &pieces}}) {
        OruDataFormatter2_Construct(g);
        g->Callback = record;
        g->UserData = r;
    }
    const std::vector<int16_t> signal = nrz(randomBits(300, 2), 44.1, 5000);
    OruDataFormatter2_DPLL_16(&a, signal.data(), int32_t(signal.size()), 1);
    OruDataFormatter2_DPLL_16(&b, signal.data(), 1000, 1);
    OruDataFormatter2_DPLL_16(&b, signal.data() + 1000, int32_t(signal.size()) - 1000, 1);
    ASSERT_EQ(whole.deliveries.size(), pieces.deliveries.size());
    for (size_t i = 0; i < whole.deliveries.size(); ++i)
        EXPECT_EQ(whole.deliveries[i].value, pieces.deliveries[i].value);
    const size_t before = whole.deliveries.size();
    OruDataFormatter2_DPLL_16(&a, nullptr, 100, 1);
    OruDataFormatter2_DPLL_16(&a, signal.data(), 100, 0);
    OruDataFormatter2_DPLL_16(&a, signal.data(), -100, 1);
    OruDataFormatter2_DPLL_16(nullptr, signal.data(), 100, 1);
    EXPECT_EQ(whole.deliveries.size(), before);
    a.Callback = nullptr;
    OruDataFormatter2_DPLL_16(&a, signal.data(), 500, 1); // no callback: runs without delivering
}

// ---- OruDataFormatter2, slicer ----

// The reported runs, expanded to bits, must equal the sent bits up to the run still open at the end, which is
// not reported.
void checkSlicerRuns(const std::vector<int> &bits, const std::vector<int16_t> &x, int32_t mask, double period)
{
    OruDataFormatter2 f;
    OruDataFormatter2_Construct(&f);
    Recorder r;
    f.Callback = record;
    f.UserData = &r;
    f.SamplingRate = 8000.0;
    f.BitRate = 8000.0 / period;
    OruDataFormatter2_Process_16(&f, x.data(), mask, int32_t(x.size()), 1);
    std::vector<int> received;
    for (const Delivery &d : r.deliveries)
        received.insert(received.end(), size_t(d.count), d.value);
    size_t firstTransition = 1;
    while (bits[firstTransition] == bits[0])
        ++firstTransition;
    size_t lastRun = bits.size() - 1;
    while (bits[lastRun - 1] == bits.back())
        --lastRun;
    // The step from the cleared state may already count as an edge, so the first run can be included.
    ASSERT_GE(received.size(), lastRun - firstTransition) << "mask " << mask;
    ASSERT_LE(received.size(), lastRun) << "mask " << mask;
    const size_t first = lastRun - received.size();
    for (size_t i = 0; i < received.size(); ++i)
        ASSERT_EQ(received[i], bits[first + i]) << "mask " << mask << " bit " << first + i;
}

TEST(OruDataFormatter2, SlicerReportsRunsOfAnNrzStream)
{
    const std::vector<int> bits = randomBits(500, 4);
    checkSlicerRuns(bits, nrz(bits, 8.0, 8000), -1, 8.0);
    checkSlicerRuns(bits, nrz(bits, 10.0, 300), 0xFFFF, 10.0);

    // Data in bit 0 only, other bits busy: the mask keeps the single data bit, which still slices.
    std::mt19937 rng(8);
    std::vector<int16_t> x = nrz(bits, 8.0, 1);
    for (auto &v : x)
        v = int16_t(((rng() % 4000) << 1) | (v > 0 ? 1 : 0));
    checkSlicerRuns(bits, x, 1, 8.0);
}

TEST(OruDataFormatter2, InitClearsState)
{
    OruDataFormatter2 *f = OruDataFormatter2_Construct(nullptr);
    ASSERT_NE(f, nullptr);
    const std::vector<int16_t> x = nrz(randomBits(50, 1), 8.0, 3000);
    OruDataFormatter2_Process_16(f, x.data(), -1, int32_t(x.size()), 1);
    OruDataFormatter2_DPLL_16(f, x.data(), int32_t(x.size()), 1);
    ASSERT_NE(f->Maximum, 0);
    OruDataFormatter2_Init(f);
    EXPECT_EQ(f->Maximum, 0);
    EXPECT_EQ(f->Minimum, 0);
    EXPECT_EQ(f->SlicerState, -1);
    EXPECT_EQ(f->SinceLastBit, 0.0);
    EXPECT_EQ(f->NextBit, 0.0);
    EXPECT_EQ(f->LastSample, 0);
    EXPECT_EQ(f->BitRate, 1000.0) << "settings stay";
    OruDataFormatter2_Process_16(f, nullptr, -1, 10, 1);
    OruDataFormatter2_Process_16(f, x.data(), -1, 10, 0);
    f->BitRate = 0.0;
    OruDataFormatter2_Process_16(f, x.data(), -1, int32_t(x.size()), 1);
    OruDataFormatter2_DPLL_16(f, x.data(), int32_t(x.size()), 1);
    OruDataFormatter2_Destruct(f, 1);
    OruDataFormatter2_Destruct(nullptr, 1);
}

// ---- Block functions ----

TEST(BlockFunctions, CorrelateFollowsItsSumLimitsAndNormalises)
{
    const float x[] = {1.0f, -2.0f, 3.0f, 0.5f, -1.0f, 2.0f, 4.0f, -3.0f, 1.0f, 2.0f};
    struct Case {
        uint32_t n, m;
    };
    for (const Case &c : {Case{10, 4}, Case{10, 15}, Case{5, 3}, Case{2, 2}}) {
        std::vector<double> expected(c.m);
        double largest = 0.0;
        for (uint32_t k = 0; k < c.m; ++k) {
            double sum = 0.0;
            for (int64_t j = 0; j < std::min<int64_t>(c.m, int64_t(c.n) - k - 1); ++j)
                sum += double(x[j]) * x[j + k];
            expected[k] = std::fabs(sum);
            largest = std::max(largest, expected[k]);
        }
        std::vector<float> out(c.m, -1.0f);
        Correlate_Float_Float(x, out.data(), c.n, c.m);
        for (uint32_t k = 0; k < c.m; ++k)
            EXPECT_NEAR(out[k], expected[k] / largest, 1e-6) << "n " << c.n << " m " << c.m << " lag " << k;
    }

    std::vector<float> zeros(8, 0.0f), out(4, -1.0f);
    Correlate_Float_Float(zeros.data(), out.data(), 8, 4);
    EXPECT_EQ(out, std::vector<float>(4, 0.0f)) << "silence gives zeros, not NaN";
    Correlate_Float_Float(nullptr, out.data(), 8, 4);
    Correlate_Float_Float(x, nullptr, 8, 4);
    Correlate_Float_Float(x, out.data(), 0, 0);
}

TEST(BlockFunctions, CorrelateShowsThePeriodOfASine)
{
    std::vector<float> x(400);
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = float(std::sin(kTwoPi * double(n) / 20.0));
    std::vector<float> out(60);
    Correlate_Float_Float(x.data(), out.data(), 400, 60);
    EXPECT_FLOAT_EQ(*std::max_element(out.begin(), out.end()), 1.0f);
    EXPECT_GT(out[20], 0.95f);
    EXPECT_GT(out[40], 0.95f);
    EXPECT_LT(out[5], 0.05f);
    EXPECT_LT(out[15], 0.05f);
}

TEST(BlockFunctions, ExtractAmplitudeNormalisesBySmallestPlusLargest)
{
    const int16_t iq[] = {3, 4, 0, -1, -6, 8};
    float out[3];
    const float mean = ExtractAmplitude_16_Float(iq, out, 3);
    EXPECT_FLOAT_EQ(out[0], 5.0f / 11.0f);
    EXPECT_FLOAT_EQ(out[1], 1.0f / 11.0f);
    EXPECT_FLOAT_EQ(out[2], 10.0f / 11.0f);
    EXPECT_FLOAT_EQ(mean, 16.0f / 33.0f);

    const int16_t silent[] = {0, 0, 0, 0};
    EXPECT_EQ(ExtractAmplitude_16_Float(silent, out, 2), 0.0f);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(ExtractAmplitude_16_Float(iq, out, 0), 0.0f);
    EXPECT_EQ(ExtractAmplitude_16_Float(nullptr, out, 3), 0.0f);
}

TEST(BlockFunctions, ExtractFrequencyRemovesTheMeanAndFollowsAStep)
{
    const double rate = 8000.0;
    // Rotation by w per sample reads as -(rate / 2 pi) sin w.
    auto reading = [rate](double hertz) { return -rate / kTwoPi * std::sin(kTwoPi * hertz / rate); };
    std::vector<int16_t> iq(2 * 2000);
    double phase = 0.0;
    for (size_t k = 0; k < 2000; ++k) {
        iq[2 * k] = int16_t(std::lrint(20000.0 * std::cos(phase)));
        iq[2 * k + 1] = int16_t(std::lrint(20000.0 * std::sin(phase)));
        phase += kTwoPi * (k < 1000 ? 500.0 : -300.0) / rate;
    }
    std::vector<float> out(2000);
    ExtractFrequency_16_Float(iq.data(), out.data(), 1000, float(rate));
    for (size_t k = 1; k < 1000; ++k)
        ASSERT_NEAR(out[k], 0.0, 1.0) << "a steady tone reads near 0 once the mean is gone, at " << k;
    EXPECT_NEAR(out[0], -reading(500.0) * 999.0 / 1000.0, 1.0) << "the first pair has a zero predecessor";

    ExtractFrequency_16_Float(iq.data(), out.data(), 2000, float(rate));
    EXPECT_NEAR(out[1500] - out[500], reading(-300.0) - reading(500.0), 1.0);
    double sum = 0.0;
    for (float v : out)
        sum += v;
    EXPECT_NEAR(sum / 2000.0, 0.0, 1e-3);

    const int16_t silent[] = {0, 0, 0, 0};
    ExtractFrequency_16_Float(silent, out.data(), 2, float(rate));
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    ExtractFrequency_16_Float(nullptr, out.data(), 2, float(rate));
    ExtractFrequency_16_Float(iq.data(), nullptr, 2, float(rate));
}

} // namespace
