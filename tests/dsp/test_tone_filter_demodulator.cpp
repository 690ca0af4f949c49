// ToneFilterDemodulator: tables, mixing, tone settings, discriminator and decisions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "dsp/discriminator_phase.h"
#include "dsp/tone_filter_demodulator.h"

namespace sirrel {
namespace {

using F = ToneFilterDemodulator;

std::vector<int16_t> Sine(double hertz, double rate, double amplitude, size_t count)
{
    std::vector<int16_t> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = int16_t(amplitude * std::sin(2.0 * M_PI * hertz * double(i) / rate));
    return out;
}

TEST(ToneFilterDemodulator, TablesHoldTruncatedSineAndCosine)
{
    F d;
    d.SetTableLength(8);
    const int16_t sine[] = {0, -23169, -32767, -23169, 0, 23169, 32767, 23169};
    const int16_t cosine[] = {32767, 23169, 0, -23169, -32767, -23169, 0, 23169};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(d.SineTable()[i], sine[i]) << i;
        EXPECT_EQ(d.CosineTable()[i], cosine[i]) << i;
    }
    d.SetTableLength(0);
    EXPECT_EQ(d.TableLength(), 1);
}

TEST(ToneFilterDemodulator, MixingUsesTheTablesAtTheRunningPhase)
{
    F d;
    d.SetBlockSize(64);
    d.SetTableLength(11025);
    d.SetTones(1000.0, 2000.0);
    const std::vector<int16_t> x(64, 20000);
    d.Process(x.data(), 64);
    for (int i = 0; i < 64; ++i) {
        const int pl = (i * 1000) % 11025;
        const int ph = (i * 2000) % 11025;
        ASSERT_EQ(d.FilterInput(F::kILow)[i], (d.CosineTable()[pl] * 20000) >> 16) << i;
        ASSERT_EQ(d.FilterInput(F::kQLow)[i], (d.SineTable()[pl] * 20000) >> 16) << i;
        ASSERT_EQ(d.FilterInput(F::kIHigh)[i], (d.CosineTable()[ph] * 20000) >> 16) << i;
        ASSERT_EQ(d.FilterInput(F::kQHigh)[i], (d.SineTable()[ph] * 20000) >> 16) << i;
    }
    EXPECT_EQ(d.LowPhase(), 64 * 1000 % 11025);
    EXPECT_EQ(d.HighPhase(), 64 * 2000 % 11025);

    // A shorter table keeps the phases inside it.
    d.SetTableLength(1000);
    EXPECT_EQ(d.LowPhase(), (64 * 1000 % 11025) % 1000);
    EXPECT_EQ(d.HighPhase(), (64 * 2000 % 11025) % 1000);
}

TEST(ToneFilterDemodulator, TonesAreOrderedAndSetTheFilterCutOff)
{
    const struct {
        double space, mark;
        bool highSpeed;
        int32_t low, high, cutOff;
    } cases[] = {
        {1000.0, 1000.0, false, 1000, 1001, 0},
        {2200.0, 1200.0, false, 1200, 2200, 500},
        {1275.9, 1445.2, false, 1275, 1445, 85},
        {1000.0, 1170.0, true, 1000, 1170, 255},
    };
    for (const auto &c : cases) {
        F d;
        d.SetHighSpeed(c.highSpeed);
        d.SetTones(c.space, c.mark);
        EXPECT_EQ(d.LowFrequency(), c.low);
        EXPECT_EQ(d.HighFrequency(), c.high);
        EXPECT_EQ(d.ToneCutOff(), c.cutOff);
        const float expected = c.cutOff < 2 ? 2.0f : float(c.cutOff); // the filters' lowest cut-off
        for (F::Filter f : {F::kILow, F::kQLow, F::kIHigh, F::kQHigh})
            EXPECT_EQ(d.FilterObject(f)->CutOffHigh, expected);
    }
}

TEST(ToneFilterDemodulator, ModeFlagsPickTheFilterTypes)
{
    F d;
    d.SetToneFilterTaps(10);
    for (F::Filter f : {F::kILow, F::kQLow, F::kIHigh, F::kQHigh}) {
        EXPECT_EQ(d.FilterObject(f)->TapsNum, 11u);
        EXPECT_EQ(d.FilterObject(f)->FIRType, ORU_FIR_LOWPASS);
    }
    d.SetOptimal(true);
    d.SetHighSpeed(true);
    EXPECT_EQ(d.FilterObject(F::kQHigh)->FIRType, ORU_FIR_AVERAGE);
    EXPECT_EQ(d.FilterObject(F::kPost)->FIRType, ORU_FIR_AVERAGE);
    d.SetOptimal(false);
    d.SetHighSpeed(false);
    EXPECT_EQ(d.FilterObject(F::kILow)->FIRType, ORU_FIR_LOWPASS);
    EXPECT_EQ(d.FilterObject(F::kPost)->FIRType, ORU_FIR_LOWPASS);
}

// A steady tone 85 Hz above the centre turns the phase by 2 pi 85 / 11025 per sample.
TEST(ToneFilterDemodulator, HighSpeedDiscriminatorMeasuresTheFrequencyOffset)
{
    F d;
    d.SetBlockSize(2048);
    d.SetTableLength(11025);
    d.SetToneFilterTaps(127);
    d.SetHighSpeed(true);
    d.SetTones(1000.0, 1170.0);
    const auto tone = Sine(1170.0, 11025.0, 16000.0, 2048);
    d.Process(tone.data(), 2048);
    const double expected = 2.0 * M_PI * 85.0 / 11025.0 * 10430.060040584269;
    // Each step wobbles with the 16-bit rounding of the mixer; the mean is the rotation.
    double sum = 0.0;
    for (int i = 500; i < 2048; ++i) {
        EXPECT_NEAR(d.FilterInput(F::kPost)[i], expected, 8.0) << i;
        sum += d.FilterInput(F::kPost)[i];
    }
    EXPECT_NEAR(sum / (2048 - 500), expected, 1.0);
}

// Low tone for one, high tone for zero; the decisions follow after the filters' delay.
// The discriminator's phase without libm's atan2 for most samples must still be atan2's, integer for integer:
// the axes and diagonals, the largest products, random I/Q pairs of every size, and values placed right at the
// steps of the scale, where the fast arctangent alone could land on the wrong side.
TEST(ToneFilterDemodulator, DiscriminatorPhaseIsAtan2Truncated)
{
    auto exact = [](int64_t re, int64_t im) {
        const double delta = (re == 0 && im == 0) ? 0.0 : std::atan2(double(im), double(re));
        return int16_t(std::min(delta * kPhaseScale, 32767.0));
    };
    std::vector<std::pair<int64_t, int64_t>> cases;
    const int64_t big = int64_t(2) * 32768 * 32768;
    for (int64_t a : {int64_t(0), int64_t(1), int64_t(-1), int64_t(7), big, -big, big - 1})
        for (int64_t b : {int64_t(0), int64_t(1), int64_t(-1), int64_t(7), big, -big, big - 1})
            cases.emplace_back(a, b);
    std::mt19937_64 random(5);
    for (int bits = 1; bits <= 15; ++bits) {
        std::uniform_int_distribution<int32_t> value(-(1 << bits), (1 << bits) - 1);
        for (int i = 0; i < 40000; ++i) {
            const int64_t i0 = value(random), q0 = value(random), i1 = value(random), q1 = value(random);
            cases.emplace_back(i0 * i1 + q0 * q1, q1 * i0 - q0 * i1);
        }
    }
    for (int32_t step = -32768; step <= 32767; step += 7) {
        const double angle = step / kPhaseScale;
        for (double radius : {1e4, 1e9}) {
            const int64_t re = std::llround(radius * std::cos(angle));
            const int64_t im = std::llround(radius * std::sin(angle));
            for (int64_t d : {-1, 0, 1})
                cases.emplace_back(re + d, im - d);
        }
    }
    int wrong = 0;
    for (const auto &[re, im] : cases)
        if (DiscriminatorPhase(re, im) != exact(re, im) && ++wrong < 5)
            ADD_FAILURE() << "re " << re << ", im " << im << ": " << DiscriminatorPhase(re, im) << " instead of "
                          << exact(re, im);
    EXPECT_EQ(wrong, 0);
}

TEST(ToneFilterDemodulator, DecisionsFollowTheTones)
{
    for (bool optimal : {false, true}) {
        F d;
        d.SetBlockSize(2048);
        d.SetTableLength(11025);
        d.SetOptimal(optimal);
        d.SetToneFilterTaps(optimal ? 110 : 127);
        d.SetPostFilterTaps(110);
        d.SetPostFilterCutOff(100.0f);
        d.SetTones(1000.0, 1850.0);
        std::vector<int16_t> signal;
        for (int repeat = 0; repeat < 4; ++repeat)
            for (double f : {1000.0, 1850.0}) {
                const auto part = Sine(f, 11025.0, 10000.0, 1024);
                signal.insert(signal.end(), part.begin(), part.end());
            }
        // Phase jumps between parts do not matter here; only settled stretches are looked at.
        for (size_t start = 0; start < signal.size(); start += 2048) {
            d.Process(signal.data() + start, 2048);
            EXPECT_EQ(d.DecidedBits()[900], 1) << optimal << " " << start;
            EXPECT_EQ(d.DecidedBits()[1950], 0) << optimal << " " << start;
        }
    }
}

// 1200 bit/s AFSK as the chain runs it (2200/1200 Hz, post-detection filter of rate / 2400 taps): a burst, a
// silent gap, and a second burst that starts mid-cycle. The dying and the starting I/Q pair turn the phase step
// to full scale; the threshold must stay near the centre of the deviation and the second burst's bits come out
// right, for gap lengths that once carried the threshold a third of the deviation away.
TEST(ToneFilterDemodulator, HighSpeedThresholdStaysCentredAcrossASilentGap)
{
    constexpr double kRate = 11025.0;
    constexpr double kBaud = 1200.0;
    constexpr double kSamplesPerBit = kRate / kBaud;
    // One tone's step from the centre frequency, 500 Hz, as the discriminator scales it.
    const double deviation = 2.0 * M_PI * 500.0 / kRate * 10430.060040584269;
    std::mt19937 random(7);
    for (double gapMs : {6.0, 10.5, 12.0, 23.5, 33.0, 50.5}) {
        F d;
        d.SetBlockSize(2048);
        d.SetTableLength(int32_t(kRate));
        d.SetToneFilterTaps(127);
        d.SetHighSpeed(true);
        d.SetPostFilterTaps(int32_t(kRate / (2 * kBaud)));
        d.SetPostFilterCutOff(float(2 * kBaud));
        d.SetTones(2200.0, 1200.0);

        std::vector<int> bits(360);
        for (int &b : bits)
            b = int(random() & 1);
        const size_t burst = size_t(bits.size() * kSamplesPerBit);
        const size_t gap = size_t(gapMs * kRate / 1000.0);
        // Silence after the second burst carries its last bits through the filters' delay.
        const size_t tail = 256;
        std::vector<int16_t> signal(2 * burst + gap + tail, 0);
        double phase = 0.0;
        for (size_t i = 0; i < burst; ++i) {
            const double hertz = bits[size_t(double(i) / kSamplesPerBit)] ? 1200.0 : 2200.0;
            phase += hertz / kRate;
            phase -= std::floor(phase);
            signal[i] = int16_t(12000.0 * std::sin(2.0 * M_PI * phase));
            signal[burst + gap + i] = int16_t(12000.0 * std::sin(2.0 * M_PI * (phase + 0.3)));
        }
        std::vector<int16_t> threshold, decided;
        for (size_t start = 0; start < signal.size(); start += 2048) {
            const uint32_t n = uint32_t(std::min<size_t>(2048, signal.size() - start));
            d.Process(signal.data() + start, n);
            threshold.insert(threshold.end(), d.Threshold(), d.Threshold() + n);
            decided.insert(decided.end(), d.DecidedBits(), d.DecidedBits() + n);
        }

        int worst = 0;
        for (size_t i = burst; i < signal.size() - tail; ++i)
            worst = std::max(worst, std::abs(int(threshold[i])));
        EXPECT_LT(worst, deviation * 0.1) << gapMs << " ms";

        // The low tone turns the phase backwards and decides 0. The filters delay the decisions by a fixed
        // number of samples; the first burst shows how many.
        const auto errorsFrom = [&](size_t begin, int delay) {
            int errors = 0;
            for (size_t k = 20; k + 2 < bits.size(); ++k) {
                const size_t at = begin + size_t((double(k) + 0.5) * kSamplesPerBit) + size_t(delay);
                errors += decided[at] == bits[k];
            }
            return errors;
        };
        int delay = 0;
        for (int candidate = 1; candidate < 100; ++candidate)
            if (errorsFrom(0, candidate) < errorsFrom(0, delay))
                delay = candidate;
        ASSERT_EQ(errorsFrom(0, delay), 0) << gapMs << " ms";
        EXPECT_EQ(errorsFrom(burst + gap, delay), 0) << gapMs << " ms, delay " << delay;
    }
}

TEST(ToneFilterDemodulator, LongInputsRunInBlocks)
{
    F d;
    d.SetBlockSize(100);
    d.SetTones(1000.0, 2000.0);
    const std::vector<int16_t> x(250, 1000);
    d.Process(x.data(), 250);
    EXPECT_EQ(d.LastBlockLength(), 50u);
    EXPECT_EQ(d.LowPhase(), 250 * 1000 % 11025);
}

} // namespace
} // namespace sirrel
