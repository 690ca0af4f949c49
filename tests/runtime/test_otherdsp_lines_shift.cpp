// Delay line, LMS predictor, frequency shifter and the delay-line FSK discriminator.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "orurt.h"
#include "otherdsp_test_signals.h"

namespace {

using otherdsp_test::componentPower;
using otherdsp_test::meanSquare;
using otherdsp_test::tone;

std::vector<int16_t> noise(size_t samples, int amplitude, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<int16_t> x(samples);
    for (auto &v : x)
        v = int16_t(int(rng() % unsigned(2 * amplitude + 1)) - amplitude);
    return x;
}

// ---- OruDelayLine16 / 32 ----

void delayLineProcess(OruDelayLine *line, int16_t *out, const int16_t *in, int32_t count, int32_t step)
{
    OruDelayLine16_Process_16_16(line, out, in, count, step);
}
void delayLineProcess(OruDelayLine *line, int32_t *out, const int32_t *in, int32_t count, int32_t step)
{
    OruDelayLine32_Process_32_32(line, out, in, count, step);
}
OruDelayLine *delayLineConstruct(OruDelayLine *line, int16_t) { return OruDelayLine16_Construct(line); }
OruDelayLine *delayLineConstruct(OruDelayLine *line, int32_t) { return OruDelayLine32_Construct(line); }

template <typename Sample> void checkDelayAcrossBlocks(int32_t delay, int32_t bufferSize, std::vector<int> blocks)
{
    OruDelayLine line;
    ASSERT_EQ(delayLineConstruct(&line, Sample()), &line);
    OruDelayLine_BufferSize(&line, bufferSize);
    OruDelayLine_Delay(&line, delay);
    int total = 0;
    for (int b : blocks)
        total += b;
    std::vector<Sample> in(static_cast<size_t>(total));
    std::vector<Sample> out(static_cast<size_t>(total), Sample(-1));
    for (int n = 0; n < total; ++n)
        in[size_t(n)] = Sample(n + 1);
    int at = 0;
    for (int b : blocks) {
        delayLineProcess(&line, out.data() + at, in.data() + at, b, 1);
        at += b;
    }
    for (int n = 0; n < total; ++n)
        ASSERT_EQ(out[size_t(n)], n < delay ? 0 : n + 1 - delay)
            << "delay " << delay << " buffer " << bufferSize << " sample " << n;
    OruDelayLine_Destruct(&line, 0);
}

TEST(OruDelayLine, DelaysByExactlyItsDelayAcrossBlocks)
{
    struct Case {
        int32_t delay, bufferSize;
        std::vector<int> blocks;
    };
    const Case cases[] = {
        {1, 1024, {1, 7, 500, 3000}},   {0, 16, {5, 40}},     {37, 16, {3, 16, 17, 100}},
        {2000, 64, {1000, 1000, 1500}}, {5, 5, {5, 5, 1, 9}}, {300, 1024, {299, 1, 2}},
    };
    for (const Case &c : cases) {
        checkDelayAcrossBlocks<int16_t>(c.delay, c.bufferSize, c.blocks);
        checkDelayAcrossBlocks<int32_t>(c.delay, c.bufferSize, c.blocks);
    }
}

TEST(OruDelayLine, InPlaceStridePlacedInputAndInternalOutput)
{
    OruDelayLine *line = OruDelayLine16_Construct(nullptr);
    ASSERT_NE(line, nullptr);
    OruDelayLine_Delay(line, 2);
    int16_t x[] = {1, 2, 3, 4, 5};
    OruDelayLine16_Process_16_16(line, x, x, 5, 1);
    EXPECT_EQ(std::vector<int16_t>(x, x + 5), (std::vector<int16_t>{0, 0, 1, 2, 3}));

    // Stereo-interleaved input, first channel: count 7 with step 2 takes three samples.
    int16_t stereo[] = {10, -1, 11, -1, 12, -1, 13};
    int16_t out[3];
    OruDelayLine16_Process_16_16(line, out, stereo, 7, 2);
    EXPECT_EQ(std::vector<int16_t>(out, out + 3), (std::vector<int16_t>{4, 5, 10}));

    // Samples placed at Input, output left in OutputBuffer.
    auto *input = static_cast<int16_t *>(line->Input);
    input[0] = 20;
    input[1] = 21;
    OruDelayLine16_Process(line, nullptr, 2);
    const auto *buffer = static_cast<const int16_t *>(line->OutputBuffer);
    EXPECT_EQ(buffer[0], 11);
    EXPECT_EQ(buffer[1], 12);

    // The same delay again keeps the history; a new one clears it.
    OruDelayLine_Delay(line, 2);
    OruDelayLine16_Process_16_16(line, out, x, 1, 1);
    EXPECT_EQ(out[0], 20);
    OruDelayLine_Delay(line, -4);
    EXPECT_EQ(line->Delay, 0u);
    OruDelayLine_Delay(line, 1);
    OruDelayLine16_Process_16_16(line, out, x, 1, 1);
    EXPECT_EQ(out[0], 0);
    OruDelayLine_Destruct(line, 1);
}

TEST(OruDelayLine, BadArgumentsAreHarmless)
{
    OruDelayLine line;
    OruDelayLine32_Construct(&line);
    OruDelayLine_Delay(&line, 3);
    std::vector<int32_t> x = {1, 2, 3, 4};
    std::vector<int32_t> out(4, 9);
    OruDelayLine32_Process_32_32(&line, out.data(), nullptr, 4, 1);
    OruDelayLine32_Process_32_32(&line, out.data(), x.data(), 0, 1);
    OruDelayLine32_Process_32_32(&line, out.data(), x.data(), 4, 0);
    OruDelayLine32_Process_32_32(&line, out.data(), x.data(), 2, 3);
    OruDelayLine32_Process(&line, out.data(), -1);
    OruDelayLine16_Process_16_16(&line, nullptr, nullptr, 4, 1); // wrong width: refused
    OruDelayLine32_Process_32_32(nullptr, out.data(), x.data(), 4, 1);
    EXPECT_EQ(out, (std::vector<int32_t>(4, 9)));

    // A delay no allocation can hold is refused and the line keeps working as before.
    OruDelayLine_Delay(&line, 0x7FFFFFFF);
    EXPECT_EQ(line.Delay, 3u);
    OruDelayLine32_Process_32_32(&line, out.data(), x.data(), 4, 1);
    EXPECT_EQ(out, (std::vector<int32_t>{0, 0, 0, 1}));
    OruDelayLine_BufferSize(&line, 0);
    EXPECT_EQ(line.BufferSize, 1u);
    OruDelayLine_Destruct(&line, 0);
    OruDelayLine_Destruct(nullptr, 1);
}

// ---- OruLMS1616 ----

// Error power over the last quarter relative to the signal's.
double residualRatio(OruLMS1616 *lms, const std::vector<int16_t> &x)
{
    std::vector<int16_t> e(x.size());
    OruLMS1616_Process_16_16(lms, e.data(), x.data(), int32_t(x.size()), 1);
    const size_t from = x.size() * 3 / 4;
    return meanSquare(e, from, e.size()) / meanSquare(x, from, x.size());
}

TEST(OruLMS1616, OneStepPredictorReducesASinesError)
{
    struct Case {
        float leakage, stepSize;
        double bound;
    };
    // Leakage pulls the weights toward 0 every sample, so the residual floor rises with it.
    const Case cases[] = {{0.0f, 0.5f, 1e-5}, {0.001f, 0.5f, 1e-3}, {0.5f, 0.5f, 0.5}, {0.0f, 0.05f, 1e-3}};
    const std::vector<int16_t> x = tone(440.0, 11025.0, 8000.0, 11025);
    for (const Case &c : cases) {
        OruLMS1616 lms;
        ASSERT_EQ(OruLMS1616_Construct(&lms), &lms);
        OruLMS_DelaySize(&lms, 1);
        lms.Leakage = c.leakage;
        lms.StepSize = c.stepSize;
        lms.OutputSelect = 1;
        EXPECT_LT(residualRatio(&lms, x), c.bound) << "leakage " << c.leakage << " step " << c.stepSize;
        OruLMS_Destruct(&lms, 0);
    }
}

TEST(OruLMS1616, PredictionFollowsTheSignalAndBlocksFormOneStream)
{
    const std::vector<int16_t> x = tone(700.0, 11025.0, 6000.0, 4000);
    OruLMS1616 whole, pieces;
    for (OruLMS1616 *lms : {&whole, &pieces}) {
        OruLMS1616_Construct(lms);
        OruLMS_DelaySize(lms, 3);
        OruLMS_TapsNum(lms, 16);
        OruLMS_BufferSize(lms, 100);
        lms->Leakage = 0.0f;
    }
    std::vector<int16_t> a(x.size()), b(x.size());
    OruLMS1616_Process_16_16(&whole, a.data(), x.data(), int32_t(x.size()), 1);
    size_t at = 0;
    for (int size : {1, 99, 250, 3650}) {
        OruLMS1616_Process_16_16(&pieces, b.data() + at, x.data() + at, size, 1);
        at += size_t(size);
    }
    EXPECT_EQ(a, b);
    double error = 0.0;
    for (size_t n = 3000; n < x.size(); ++n)
        error += std::pow(double(a[n]) - double(x[n]), 2);
    EXPECT_LT(error / 1000.0, 0.01 * meanSquare(x, 3000, x.size())) << "the prediction tracks the sine";

    // Samples placed at DelayInput, output left in OutputBuffer.
    for (int i = 0; i < 4; ++i)
        whole.DelayInput[i] = x[size_t(i)];
    OruLMS1616_Process(&whole, nullptr, 4);
    EXPECT_NE(whole.OutputBuffer[3], 0);
    OruLMS_Destruct(&whole, 0);
    OruLMS_Destruct(&pieces, 0);
}

TEST(OruLMS1616, GeometryChangesRestartAdaptationAndBadArgumentsAreHarmless)
{
    OruLMS1616 *lms = OruLMS1616_Construct(nullptr);
    ASSERT_NE(lms, nullptr);
    const std::vector<int16_t> x = tone(500.0, 11025.0, 6000.0, 2000);
    std::vector<int16_t> y(x.size());
    OruLMS1616_Process_16_16(lms, y.data(), x.data(), int32_t(x.size()), 1);
    ASSERT_TRUE(std::any_of(lms->Weights, lms->Weights + lms->TapsNum, [](int16_t w) { return w != 0; }));
    OruLMS_TapsNum(lms, 31);
    EXPECT_TRUE(std::any_of(lms->Weights, lms->Weights + lms->TapsNum, [](int16_t w) { return w != 0; }))
        << "the same value changes nothing";
    OruLMS_TapsNum(lms, 0);
    EXPECT_EQ(lms->TapsNum, 1u);
    EXPECT_EQ(lms->Weights[0], 0);
    EXPECT_EQ(lms->Energy, 0);
    OruLMS_DelaySize(lms, -2);
    EXPECT_EQ(lms->DelaySize, 0u);

    std::vector<int16_t> out(4, 9);
    OruLMS1616_Process_16_16(lms, out.data(), nullptr, 4, 1);
    OruLMS1616_Process_16_16(lms, out.data(), x.data(), -4, 1);
    OruLMS1616_Process_16_16(lms, out.data(), x.data(), 4, 0);
    OruLMS1616_Process(lms, out.data(), -1);
    OruLMS1616_Process_16_16(nullptr, out.data(), x.data(), 4, 1);
    EXPECT_EQ(out, (std::vector<int16_t>(4, 9)));
    OruLMS_TapsNum(lms, 0x7FFFFFFF);
    EXPECT_EQ(lms->TapsNum, 1u) << "a size no allocation can hold is refused";
    OruLMS_Destruct(lms, 1);
    OruLMS_Destruct(nullptr, 1);
}

// ---- OruPitchShift1616 ----

TEST(OruPitchShift1616, MovesAToneByTheSetShift)
{
    struct Case {
        int32_t rate, shift;
        double in, out;
    };
    const Case cases[] = {
        {11025, 500, 1000.0, 1500.0},   {11025, -300, 1000.0, 700.0},   {11025, 0, 1000.0, 1000.0},
        {11025, 11225, 1000.0, 1200.0}, {11025, -11125, 1000.0, 900.0}, {8000, 1000, 1000.0, 2000.0},
    };
    for (const Case &c : cases) {
        OruPitchShift1616 shift;
        ASSERT_EQ(OruPitchShift1616_Construct(&shift), &shift);
        OruPitchShift1616_SamplingRate(&shift, c.rate);
        shift.Shift = c.shift;
        const std::vector<int16_t> x = tone(c.in, c.rate, 10000.0, size_t(c.rate));
        std::vector<int16_t> y(x.size());
        OruPitchShift1616_Process_16_16(&shift, y.data(), x.data(), int32_t(x.size()), 1);
        const size_t from = 200;
        const double wanted = componentPower(y, c.out, c.rate, from, y.size());
        EXPECT_NEAR(std::sqrt(wanted), 5000.0, 500.0) << c.shift << " Hz: the level is kept";
        if (c.out != c.in) {
            EXPECT_LT(componentPower(y, c.in, c.rate, from, y.size()), 0.001 * wanted) << c.shift;
            EXPECT_LT(componentPower(y, 2.0 * c.in - c.out, c.rate, from, y.size()), 0.01 * wanted)
                << c.shift << " mirror image";
        }
        OruPitchShift_Destruct(&shift, 0);
    }
}

TEST(OruPitchShift1616, TapsSetTheMatchingDelayAndBadArgumentsAreHarmless)
{
    OruPitchShift1616 *shift = OruPitchShift1616_Construct(nullptr);
    ASSERT_NE(shift, nullptr);
    EXPECT_EQ(shift->Hilbert.TapsNum, 63u);
    EXPECT_EQ(shift->DelayLine.Delay, 31u);
    OruPitchShift1616_TapsNum(shift, 30);
    EXPECT_EQ(shift->Hilbert.TapsNum, 31u);
    EXPECT_EQ(shift->DelayLine.Delay, 15u);
    OruPitchShift1616_SamplingRate(shift, 0);
    OruPitchShift1616_SamplingRate(shift, -5);
    EXPECT_EQ(shift->SamplingRate, 11025);

    std::vector<int16_t> x = tone(1000.0, 11025.0, 30000.0, 3000);
    shift->Shift = 2000;
    OruPitchShift1616_BufferSize(shift, 100);
    OruPitchShift1616_Process_16_16(shift, nullptr, x.data(), int32_t(x.size()), 1);
    EXPECT_TRUE(std::any_of(shift->OutputBuffer, shift->OutputBuffer + 100, [](int16_t v) { return v != 0; }));
    OruPitchShift1616_Process_16_16(shift, x.data(), x.data(), int32_t(x.size()), 1); // in place
    OruPitchShift1616_Process_16_16(shift, x.data(), nullptr, 10, 1);
    OruPitchShift1616_Process_16_16(shift, x.data(), x.data(), 0, 1);
    OruPitchShift1616_Process_16_16(shift, x.data(), x.data(), 10, -1);
    OruPitchShift1616_Process_16_16(nullptr, x.data(), x.data(), 10, 1);
    OruPitchShift_Destruct(shift, 1);
    OruPitchShift_Destruct(nullptr, 1);
}

// ---- OruFSKDelayDemod16 ----

double settledLevel(OruFSKDelayDemod16 *demod, const std::vector<int16_t> &x)
{
    std::vector<int16_t> y(x.size());
    OruFSKDelayDemod16_Process(demod, y.data(), x.data(), int32_t(x.size()), 1);
    double sum = 0.0;
    for (size_t n = x.size() / 2; n < x.size(); ++n)
        sum += y[n];
    return sum / double(x.size() - x.size() / 2);
}

TEST(OruFSKDelayDemod16, LevelFollowsToneFrequency)
{
    // With a one-sample delay the share of sign changes between neighbours is 2f/fs, so the mean output is
    // about 16383 (1 - 4f/fs).
    for (double hertz : {600.0, 1200.0, 1800.0, 2400.0}) {
        OruFSKDelayDemod16 demod;
        ASSERT_EQ(OruFSKDelayDemod16_Construct(&demod), &demod);
        const double level = settledLevel(&demod, tone(hertz, 11025.0, 8000.0, 11025));
        EXPECT_NEAR(level, 16383.0 * (1.0 - 4.0 * hertz / 11025.0), 500.0) << hertz << " Hz";
        OruFSKDelayDemod_Destruct(&demod, 0);
    }
}

// An offset larger than the tone leaves no sign changes; the first difference removes it.
TEST(OruFSKDelayDemod16, DifferenceRemovesAnOffsetThatHidesTheSignChanges)
{
    std::vector<int16_t> x = tone(1200.0, 11025.0, 6000.0, 11025);
    for (auto &v : x)
        v = int16_t(v + 7000);
    const double expected = 16383.0 * (1.0 - 4.0 * 1200.0 / 11025.0);
    OruFSKDelayDemod16 plain, difference;
    OruFSKDelayDemod16_Construct(&plain);
    OruFSKDelayDemod16_Construct(&difference);
    difference.Differentiate = 1;
    EXPECT_NEAR(settledLevel(&plain, x), 16383.0, 100.0);
    EXPECT_NEAR(settledLevel(&difference, x), expected, 500.0);
    OruFSKDelayDemod_Destruct(&plain, 0);
    OruFSKDelayDemod_Destruct(&difference, 0);
}

TEST(OruFSKDelayDemod16, BlocksFormOneStreamAndBadArgumentsAreHarmless)
{
    OruFSKDelayDemod16 *a = OruFSKDelayDemod16_Construct(nullptr);
    OruFSKDelayDemod16 *b = OruFSKDelayDemod16_Construct(nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    OruFSKDelayDemod16_BufferSize(b, 64);
    OruFSKDelayDemod_SamplingRate(a, 8000.0f);
    OruFSKDelayDemod_SamplingRate(b, 8000.0f);
    EXPECT_EQ(a->InputFilter.SamplingRate, 8000.0f);
    const std::vector<int16_t> x = noise(3000, 12000, 9);
    std::vector<int16_t> ya(x.size()), yb(x.size());
    OruFSKDelayDemod16_Process(a, ya.data(), x.data(), int32_t(x.size()), 1);
    size_t at = 0;
    for (int size : {1, 63, 64, 65, 2807}) {
        OruFSKDelayDemod16_Process(b, yb.data() + at, x.data() + at, size, 1);
        at += size_t(size);
    }
    EXPECT_EQ(ya, yb);
    OruFSKDelayDemod16_Process(a, nullptr, x.data(), 100, 1);
    OruFSKDelayDemod16_Process(a, ya.data(), nullptr, 100, 1);
    OruFSKDelayDemod16_Process(a, ya.data(), x.data(), 0, 1);
    OruFSKDelayDemod16_Process(a, ya.data(), x.data(), 10, 0);
    OruFSKDelayDemod16_Process(nullptr, ya.data(), x.data(), 10, 1);
    OruFSKDelayDemod16_BufferSize(a, -3);
    EXPECT_EQ(a->BufferSize, 1u);
    OruFSKDelayDemod16_Process(a, ya.data(), x.data(), 10, 1);
    OruFSKDelayDemod_Destruct(a, 1);
    OruFSKDelayDemod_Destruct(b, 1);
    OruFSKDelayDemod_Destruct(nullptr, 1);
}

} // namespace
