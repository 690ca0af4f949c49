// Gain control, tone detectors and the notch filter.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "orurt.h"
#include "otherdsp_test_signals.h"

namespace {

using otherdsp_test::componentPower;
using otherdsp_test::tone;

// ---- OruAGC ----

TEST(OruAGC, SquareWaveDrivesGainTowardTargetOverEnvelope)
{
    OruAGC agc;
    OruAGC_Construct(&agc);
    std::vector<int16_t> block(1000);
    double previousGain = agc.Gain;
    for (int round = 0; round < 100; ++round) {
        for (size_t n = 0; n < block.size(); ++n)
            block[n] = (n / 50) % 2 == 0 ? 1000 : -1000;
        OruAGC_Process_Mono16(&agc, block.data(), int32_t(block.size()), 1);
        ASSERT_GT(agc.Gain, previousGain) << "the gain rises without overshoot";
        ASSERT_LT(agc.Gain, 30.0);
        previousGain = agc.Gain;
        for (size_t n = 0; n < block.size(); ++n) {
            const int expected = int(std::lrint(agc.Gain * 1000.0));
            ASSERT_LE(std::abs(block[n]), expected + 50);
            ASSERT_EQ(block[n] > 0, (n / 50) % 2 == 0) << "sign kept at " << n;
        }
    }
    // 100000 samples at 0.0001 of the error each: 30 - 29 * e^-10 away from the target at most.
    EXPECT_NEAR(agc.Gain, 30.0, 0.01);
    EXPECT_NEAR(agc.Envelope, 1000.0, 1.0);
    OruAGC_Reset(&agc);
    EXPECT_EQ(agc.Gain, 1.0);
    EXPECT_EQ(agc.Envelope, 0.0);
    OruAGC_Destruct(&agc, 0);
}

TEST(OruAGC, LoudBurstAfterSilenceSaturatesWithoutWrapping)
{
    OruAGC *agc = OruAGC_Construct(nullptr);
    ASSERT_NE(agc, nullptr);
    std::vector<int16_t> quiet(44100, 0);
    OruAGC_Process_Mono16(agc, quiet.data(), int32_t(quiet.size()), 1);
    ASSERT_GT(agc->Gain, 1000.0) << "silence lets the gain rise";
    std::vector<int16_t> burst = tone(1000.0, 44100.0, 30000.0, 4410);
    const std::vector<int16_t> input = burst;
    OruAGC_Process_Mono16(agc, burst.data(), int32_t(burst.size()), 1);
    for (size_t n = 0; n < burst.size(); ++n) {
        const int expected = input[n] > 0 ? 32767 : input[n] < 0 ? -32768 : 0;
        ASSERT_EQ(burst[n], expected) << n;
    }

    std::vector<int32_t> wide = {2000000000, -2000000000};
    agc->Gain = 5.0;
    agc->AttackRate = agc->ReleaseRate = 0.0;
    OruAGC_Process_Mono32(agc, wide.data(), 2, 1);
    EXPECT_EQ(wide[0], INT32_MAX);
    EXPECT_EQ(wide[1], INT32_MIN);
    OruAGC_Destruct(agc, 1);
}

// A fixed gain of 2 (no adaptation) shows which samples a strided call touches.
TEST(OruAGC, StrideTakesEveryStepthSampleWhileCountRemains)
{
    struct Case {
        int32_t count, step;
        std::vector<int> touched;
    };
    const Case cases[] = {{5, 2, {0, 2, 4}}, {6, 2, {0, 2, 4}}, {1, 3, {0}}, {7, 3, {0, 3, 6}}, {0, 1, {}}, {4, 0, {}}};
    for (const Case &c : cases) {
        OruAGC agc;
        OruAGC_Construct(&agc);
        agc.Gain = 2.0;
        agc.AttackRate = agc.ReleaseRate = 0.0;
        std::vector<int16_t> x(8, 100);
        std::vector<int32_t> x32(8, 100);
        OruAGC_Process_Mono16(&agc, x.data(), c.count, c.step);
        OruAGC_ProcessBuffer_Mono32(&agc, x32.data(), c.count, c.step);
        for (int i = 0; i < 8; ++i) {
            const bool touched = std::find(c.touched.begin(), c.touched.end(), i) != c.touched.end();
            EXPECT_EQ(x[i], touched ? 200 : 100) << "count " << c.count << " step " << c.step << " index " << i;
            EXPECT_EQ(x32[i], touched ? 200 : 100) << "count " << c.count << " step " << c.step << " index " << i;
        }
    }
}

TEST(OruAGC, StereoAppliesOneGainFromTheComplexMagnitude)
{
    OruAGC agc;
    OruAGC_Construct(&agc);
    agc.TargetLevel = 10000.0;
    agc.AttackRate = agc.ReleaseRate = 1.0; // the gain jumps straight to target / magnitude
    int16_t left[] = {3000, -600};
    int16_t right[] = {4000, 800};
    OruAGC_Process_Stereo16(&agc, left, right, 2);
    EXPECT_EQ(left[0], 6000);
    EXPECT_EQ(right[0], 8000);
    EXPECT_EQ(left[1], -6000);
    EXPECT_EQ(right[1], 8000);
    EXPECT_DOUBLE_EQ(agc.Envelope, 1000.0);

    int32_t wideLeft[] = {0};
    int32_t wideRight[] = {0};
    OruAGC_Process_Stereo32(&agc, wideLeft, wideRight, 1);
    EXPECT_EQ(agc.Envelope, 1.0) << "silence counts as magnitude 1";
    EXPECT_EQ(agc.Gain, 10000.0);
}

TEST(OruAGC, BadArgumentsChangeNothing)
{
    OruAGC agc;
    OruAGC_Construct(&agc);
    int16_t x[4] = {1, 2, 3, 4};
    OruAGC_Process_Mono16(&agc, nullptr, 4, 1);
    OruAGC_Process_Mono16(&agc, x, -3, 1);
    OruAGC_Process_Mono16(&agc, x, 4, -1);
    OruAGC_Process_Stereo16(&agc, x, nullptr, 4);
    OruAGC_Process_Mono16(nullptr, x, 4, 1);
    OruAGC_Reset(nullptr);
    OruAGC_Destruct(nullptr, 1);
    EXPECT_EQ(agc.Gain, 1.0);
    EXPECT_EQ(x[3], 4);
}

// ---- OruToneDetector ----

double levelRatio(OruToneDetector *t, double hertz)
{
    OruToneDetector_Update(t);
    const std::vector<int16_t> x = tone(hertz, t->SamplingRate, 10000.0, 44100);
    OruToneDetector_Process_16(t, x.data(), 11025, 1); // settle
    OruToneDetector_Init(t);
    OruToneDetector_Process_16(t, x.data() + 11025, int32_t(x.size() - 11025), 1);
    return t->OutputLevel / t->InputLevel;
}

TEST(OruToneDetector, LevelRatioNearOneAtItsFrequencyAndSmallAway)
{
    struct Case {
        double hertz, low, high;
    };
    const Case cases[] = {
        {1000.0, 0.97, 1.03}, {1003.0, 0.6, 1.0}, {1100.0, 0.0, 0.08}, {700.0, 0.0, 0.04}, {3000.0, 0.0, 0.02}};
    OruToneDetector t;
    OruToneDetector_Construct(&t);
    for (const Case &c : cases) {
        const double ratio = levelRatio(&t, c.hertz);
        EXPECT_GE(ratio, c.low) << c.hertz << " Hz";
        EXPECT_LE(ratio, c.high) << c.hertz << " Hz";
    }
    OruToneDetector_Destruct(&t, 0);
}

TEST(OruToneDetector, SettersRedesignOnlyOnChange)
{
    OruToneDetector *t = OruToneDetector_Construct(nullptr);
    ASSERT_NE(t, nullptr);
    const std::vector<int16_t> x = tone(1000.0, 44100.0, 5000.0, 500);
    OruToneDetector_Process_16(t, x.data(), int32_t(x.size()), 1);
    const double sum = t->InputLevel;
    const double state = t->Y1;
    OruToneDetector_Frequency(t, 1000.0);
    OruToneDetector_Bandwidth(t, 10.0);
    OruToneDetector_SamplingRate(t, 44100.0);
    EXPECT_EQ(t->InputLevel, sum);
    EXPECT_EQ(t->Y1, state);

    OruToneDetector_Frequency(t, 2000.0);
    EXPECT_EQ(t->InputLevel, 0.0);
    EXPECT_EQ(t->OutputLevel, 0.0);
    EXPECT_EQ(t->Y1, 0.0);
    EXPECT_EQ(t->X1, 0.0);
    // The complement of a notch with unity gain at 0 Hz passes nothing there: its numerator taps sum to 0.
    EXPECT_NEAR(t->A0 + t->A1 + t->A2, 0.0, 1e-12);
    EXPECT_NEAR(t->B1, 2.0 * (1.0 - 30.0 / 44100.0) * std::cos(otherdsp_test::kTwoPi * 2000.0 / 44100.0), 1e-12);
    OruToneDetector_Destruct(t, 1);
}

TEST(OruToneDetector, CountsAndStepsAndBothSampleForms)
{
    OruToneDetector a, b;
    OruToneDetector_Construct(&a);
    OruToneDetector_Construct(&b);
    std::mt19937 rng(3);
    std::vector<int16_t> x(3000);
    std::vector<double> xd(3000);
    for (size_t n = 0; n < x.size(); ++n)
        xd[n] = x[n] = int16_t(int(rng() % 20001) - 10000);
    OruToneDetector_Process_16(&a, x.data(), 3000, 3);
    OruToneDetector_Process_double(&b, xd.data(), 3000, 3);
    EXPECT_EQ(a.OutputLevel, b.OutputLevel);
    double expectedInput = 0.0;
    for (size_t n = 0; n < x.size(); n += 3)
        expectedInput += std::abs(x[n]);
    EXPECT_EQ(a.InputLevel, expectedInput);

    OruToneDetector_Init(&a);
    int16_t single = -77;
    OruToneDetector_Process_16(&a, &single, 1, 4);
    EXPECT_EQ(a.InputLevel, 77.0) << "count below step still takes one sample";
    OruToneDetector_Process_16(&a, &single, 0, 1);
    OruToneDetector_Process_16(&a, nullptr, 5, 1);
    OruToneDetector_Process_16(&a, &single, 1, 0);
    EXPECT_EQ(a.InputLevel, 77.0) << "nothing to read, nothing read";
}

// ---- OruNotchFilter2 ----

TEST(OruNotchFilter2, SineAtItsFrequencySettlesToNearSilence)
{
    OruNotchFilter2 notch;
    OruNotchFilter2_Construct(&notch);
    std::vector<int16_t> x = tone(3000.0, 11025.0, 20000.0, 11025);
    OruNotchFilter2_Process16(&notch, x.data(), int32_t(x.size()));
    int largest = 0;
    for (size_t n = 2000; n < x.size(); ++n)
        largest = std::max(largest, std::abs(int(x[n])));
    EXPECT_LE(largest, 2);

    // Away from the notch the signal passes.
    OruNotchFilter2 other;
    OruNotchFilter2_Construct(&other);
    std::vector<int16_t> y = tone(1000.0, 11025.0, 20000.0, 11025);
    OruNotchFilter2_Process16(&other, y.data(), int32_t(y.size()));
    EXPECT_GT(componentPower(y, 1000.0, 11025.0, 2000, y.size()), 0.9 * 10000.0 * 10000.0);
}

TEST(OruNotchFilter2, BlocksOfAnySizeGiveOneStream)
{
    std::mt19937 rng(11);
    std::vector<int16_t> x(3000);
    for (auto &v : x)
        v = int16_t(int(rng() % 40001) - 20000);
    std::vector<int16_t> whole = x, pieces = x;
    OruNotchFilter2 a, b;
    OruNotchFilter2_Construct(&a);
    OruNotchFilter2_Construct(&b);
    OruNotchFilter2_Process16(&a, whole.data(), 3000);
    size_t at = 0;
    for (int size : {1, 7, 500, 2492}) {
        OruNotchFilter2_Process16(&b, pieces.data() + at, size);
        at += size_t(size);
    }
    EXPECT_EQ(whole, pieces);
    OruNotchFilter2_Process16(&b, nullptr, 10);
    OruNotchFilter2_Process16(&b, pieces.data(), 0);
    OruNotchFilter2_Process16(nullptr, pieces.data(), 10);
}

TEST(OruNotchFilter2, FullScaleInputSaturatesInsteadOfWrapping)
{
    OruNotchFilter2 notch;
    OruNotchFilter2_Construct(&notch);
    notch.Frequency = 100.0f; // the response rises above 1 toward half the sampling rate
    std::vector<int16_t> x(200);
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = n % 2 == 0 ? 32767 : -32768;
    const std::vector<int16_t> input = x;
    OruNotchFilter2_Process16(&notch, x.data(), int32_t(x.size()));
    for (size_t n = 100; n < x.size(); ++n)
        ASSERT_EQ(x[n] > 0, input[n] > 0) << n;
}

// ---- OruToneDetectorCorr16 ----

// Power after the detector's scaling for a tone of amplitude a at its own frequency.
double expectedCorrPower(double a, uint32_t n) { return std::pow(a * 32767.0 * n / 2.0, 2) / std::pow(2.0, 45); }

TEST(OruToneDetectorCorr16, PowerAtItsFrequencyAndNearZeroAway)
{
    OruToneDetectorCorr16 t;
    ASSERT_EQ(OruToneDetectorCorr16_Construct(&t), &t);
    ASSERT_EQ(t.WindowLength, 221u) << "0.01 s at 22050 Hz + 0.5, rounded";
    const double expected = expectedCorrPower(100.0, t.WindowLength);
    struct Case {
        double hertz, low, high;
    };
    const Case cases[] = {
        {1000.0, 0.9 * expected, 1.1 * expected}, {2000.0, 0.0, 0.02 * expected}, {3000.0, 0.0, 0.02 * expected}};
    for (const Case &c : cases) {
        std::vector<int16_t> x = tone(c.hertz, 22050.0, 100.0, 4000);
        std::vector<int16_t> y(x.size());
        OruToneDetectorCorr16_Process_16_16(&t, x.data(), y.data(), int32_t(x.size()), 1);
        for (size_t n = 1000; n < y.size(); ++n) {
            ASSERT_GE(y[n], c.low) << c.hertz << " Hz at " << n;
            ASSERT_LE(y[n], c.high) << c.hertz << " Hz at " << n;
        }
    }
    OruToneDetectorCorr_Destruct(&t, 0);
}

TEST(OruToneDetectorCorr16, LoudToneSaturatesAndWindowHasAFloor)
{
    OruToneDetectorCorr16 *t = OruToneDetectorCorr16_Construct(nullptr);
    ASSERT_NE(t, nullptr);
    // At 1500 Hz the smoothing low-pass's quantised taps sum to a little more than 1: full scale must not wrap.
    OruToneDetectorCorr_ToneFrequency(t, 1500.0f);
    std::vector<int16_t> x = tone(1500.0, 22050.0, 32767.0, 3000);
    OruToneDetectorCorr16_Process_16_16(t, x.data(), x.data(), int32_t(x.size()), 1);
    for (size_t n = 1000; n < x.size(); ++n)
        ASSERT_GT(x[n], 32000) << n;

    OruToneDetectorCorr_ToneLength(t, 0.00001f);
    EXPECT_EQ(t->WindowLength, 4u);
    OruToneDetectorCorr_ToneLength(t, 0.1f);
    EXPECT_EQ(t->WindowLength, 2206u);
    OruToneDetectorCorr_Destruct(t, 1);
}

// The vector kernel and the plain one give identical samples; chunking does not show in the output.
TEST(OruToneDetectorCorr16, KernelsAndChunkingAgree)
{
    OruCPUInfo *cpu = _CPU();
    const uint32_t features = cpu->Features;
    OruToneDetectorCorr16 fast, plain;
    OruToneDetectorCorr16_Construct(&fast);
    cpu->Features &= ~ORU_FEATURE_SSE2;
    OruToneDetectorCorr16_Construct(&plain);
    cpu->Features = features;
#if defined(__x86_64__)
    EXPECT_NE(fast.Kernel, plain.Kernel);
#endif
    for (OruToneDetectorCorr16 *t : {&fast, &plain}) {
        OruToneDetectorCorr_ToneFrequency(t, 1500.0f);
        OruToneDetectorCorr_ToneLength(t, 0.0031f); // a window that is no multiple of the vector width
        OruToneDetectorCorr_BufferSize(t, 100);
    }
    std::mt19937 rng(5);
    std::vector<int16_t> x(3000);
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = int16_t(std::lrint(3000.0 * std::sin(0.43 * double(n)))) + int16_t(int(rng() % 2001) - 1000);
    std::vector<int16_t> a(x.size()), b(x.size());
    OruToneDetectorCorr16_Process_16_16(&fast, x.data(), a.data(), int32_t(x.size()), 1);
    size_t at = 0;
    for (int size : {1, 250, 2749}) {
        OruToneDetectorCorr16_Process_16_16(&plain, x.data() + at, b.data() + at, size, 1);
        at += size_t(size);
    }
    EXPECT_EQ(a, b);
    OruToneDetectorCorr_Destruct(&fast, 0);
    OruToneDetectorCorr_Destruct(&plain, 0);
}

TEST(OruToneDetectorCorr16, NullOutputAndBadCountsAreSafe)
{
    OruToneDetectorCorr16 t;
    OruToneDetectorCorr16_Construct(&t);
    std::vector<int16_t> x = tone(1000.0, 22050.0, 100.0, 2000);
    OruToneDetectorCorr16_Process_16_16(&t, x.data(), nullptr, int32_t(x.size()), 1);
    EXPECT_GT(t.WorkBuffer[0], 0) << "the last chunk's result stays in WorkBuffer";
    OruToneDetectorCorr16_Process_16_16(&t, nullptr, x.data(), 10, 1);
    OruToneDetectorCorr16_Process_16_16(&t, x.data(), x.data(), 0, 1);
    OruToneDetectorCorr16_Process_16_16(&t, x.data(), x.data(), 10, 0);
    OruToneDetectorCorr16_Process_16_16(&t, x.data(), x.data(), 3, 4);
    OruToneDetectorCorr16_Process_16_16(nullptr, x.data(), x.data(), 10, 1);
    OruToneDetectorCorr_BufferSize(&t, 0);
    EXPECT_EQ(t.BufferSize, 1u);
    OruToneDetectorCorr_Destruct(&t, 0);
    OruToneDetectorCorr_Destruct(nullptr, 1);
}

} // namespace
