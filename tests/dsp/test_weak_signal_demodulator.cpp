// WeakSignalDemodulator: decisions on clean and noisy keyed tones, a tone that fades on its own, silence, and
// state carried across blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "dsp/weak_signal_demodulator.h"

namespace sirrel {
namespace {

struct Keying {
    double rate, baud, low, high;
};

// Random bits keyed as phase-continuous FSK, a 1 on the low tone; the low tone's amplitude is scaled by
// lowGain, and white noise of the given deviation is added.
struct Signal {
    std::vector<int> bits;
    std::vector<int16_t> samples;
};

Signal Keyed(const Keying &k, int bitCount, double amplitude, double lowGain, double noise, unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, noise);
    Signal s;
    const double perBit = k.rate / k.baud;
    double phase = 0.0;
    for (int b = 0; b < bitCount; ++b)
        s.bits.push_back(int(random() & 1));
    const size_t count = size_t(bitCount * perBit);
    for (size_t i = 0; i < count; ++i) {
        const int bit = s.bits[std::min(size_t(double(i) / perBit), s.bits.size() - 1)];
        phase += 2.0 * M_PI * (bit ? k.low : k.high) / k.rate;
        const double v = amplitude * (bit ? lowGain : 1.0) * std::sin(phase) + (noise > 0 ? gauss(random) : 0.0);
        s.samples.push_back(int16_t(std::clamp(v, -32767.0, 32767.0)));
    }
    return s;
}

// Errors over the bits after the first `skip`, each read where its sum peaks (the bit's end, plus the moving
// average's half).
int BitErrors(const WeakSignalDemodulator &d, const Signal &s, const Keying &k, int skip)
{
    const double perBit = k.rate / k.baud;
    int errors = 0;
    for (size_t b = size_t(skip); b + 1 < s.bits.size(); ++b) {
        const size_t at = size_t(double(b + 1) * perBit) + size_t(d.Smoothing() / 2);
        errors += d.DecidedBits()[at] != s.bits[b];
    }
    return errors;
}

WeakSignalDemodulator For(const Keying &k, double bits = 1.0, double smoothing = 0.5)
{
    WeakSignalDemodulator d;
    d.SetRate(uint32_t(k.rate));
    const int32_t length = int32_t(k.rate / k.baud * bits);
    d.SetLengths(length, int32_t(length * smoothing));
    d.SetTones(k.high, k.low); // either order
    return d;
}

TEST(WeakSignalDemodulator, CleanSignalsDecodeWithoutErrors)
{
    const Keying cases[] = {
        {11025, 45.45, 1275, 1445}, {11025, 50, 1000, 1425},  {11025, 100, 1000, 1170},
        {11025, 1200, 1200, 2200},  {22050, 300, 1600, 1800}, {8000, 75, 1500, 1670},
    };
    for (const Keying &k : cases) {
        const Signal s = Keyed(k, 200, 8000, 1.0, 0.0, 1);
        WeakSignalDemodulator d = For(k);
        d.Process(s.samples.data(), uint32_t(s.samples.size()));
        EXPECT_EQ(BitErrors(d, s, k, 2), 0) << k.rate << " Hz, " << k.baud << " Bd, " << k.low << "/" << k.high;
        EXPECT_DOUBLE_EQ(d.LowTone(), k.low);
        EXPECT_DOUBLE_EQ(d.HighTone(), k.high);
    }
}

// At an energy per bit 9 dB above the noise density an ideal non-coherent detector makes about 0.8 % bit
// errors; a matched filter comes close, a filter much wider than the bit rate does not.
TEST(WeakSignalDemodulator, NearTheNonCoherentLimitInWhiteNoise)
{
    const Keying k{11025, 50, 1275, 1445};
    const double amplitude = 1000.0;
    // Eb / N0 = (A^2 / 2) x (rate / baud) / (2 sigma^2) = 10^0.9 (N0 one-sided: sigma^2 over rate / 2).
    const double sigma = std::sqrt(amplitude * amplitude / 2 * (k.rate / k.baud) / (2 * std::pow(10.0, 0.9)));
    const Signal s = Keyed(k, 3000, amplitude, 1.0, sigma, 7);
    WeakSignalDemodulator d = For(k);
    d.Process(s.samples.data(), uint32_t(s.samples.size()));
    const int errors = BitErrors(d, s, k, 20);
    EXPECT_LT(errors, 36) << "bit errors of 3000";
}

// A receiver filter or a selective fade that leaves one tone 12 dB below the other: the level correction
// keeps the decision between the two tracked levels.
TEST(WeakSignalDemodulator, OneWeakToneStillDecodes)
{
    const Keying k{11025, 100, 1000, 1170};
    for (double lowGain : {0.25, 4.0}) {
        const Signal s = Keyed(k, 1500, 2000, lowGain, 900, 3);
        WeakSignalDemodulator d = For(k);
        d.Process(s.samples.data(), uint32_t(s.samples.size()));
        EXPECT_LT(BitErrors(d, s, k, 100), 1400 / 100) << "low tone gain " << lowGain;
        const int weak = lowGain < 1 ? 0 : 1;
        EXPECT_LT(d.Level(weak), d.Level(1 - weak) / 2);
    }
}

TEST(WeakSignalDemodulator, TheResultDoesNotDependOnTheBlocks)
{
    const Keying k{11025, 45.45, 1275, 1445};
    const Signal s = Keyed(k, 300, 3000, 1.0, 2500, 5);
    WeakSignalDemodulator whole = For(k);
    whole.Process(s.samples.data(), uint32_t(s.samples.size()));
    const std::vector<int16_t> expectedBits(whole.DecidedBits(), whole.DecidedBits() + s.samples.size());
    const std::vector<int16_t> expectedSoft(whole.Soft(), whole.Soft() + s.samples.size());

    WeakSignalDemodulator pieces = For(k);
    const uint32_t blocks[] = {1, 7, 2048, 333};
    for (size_t at = 0, next = 0; at < s.samples.size(); ++next) {
        const uint32_t block = uint32_t(std::min<size_t>(blocks[next % 4], s.samples.size() - at));
        pieces.Process(s.samples.data() + at, block);
        for (uint32_t i = 0; i < block; ++i) {
            ASSERT_EQ(pieces.DecidedBits()[i], expectedBits[at + i]) << "sample " << at + i;
            ASSERT_EQ(pieces.Soft()[i], expectedSoft[at + i]) << "sample " << at + i;
        }
        at += block;
    }
}

// Silence after a signal (a receiver squelch, the end of a recording) gives no difference at all: once the sums
// have emptied, the decision stays put instead of turning into a line of noise bits. (Where it settles depends
// on the rounding left in the sums as the last bit leaves them.)
TEST(WeakSignalDemodulator, SilenceHoldsTheDecision)
{
    const Keying k{11025, 100, 1000, 1170};
    Signal s = Keyed(k, 50, 8000, 1.0, 0.0, 2);
    WeakSignalDemodulator d = For(k);
    d.Process(s.samples.data(), uint32_t(s.samples.size()));
    const std::vector<int16_t> silence(4000, 0);
    d.Process(silence.data(), uint32_t(silence.size()));
    const int16_t settled = d.DecidedBits()[1000];
    for (size_t i = 1000; i < silence.size(); ++i)
        ASSERT_EQ(d.DecidedBits()[i], settled) << i;
}

TEST(WeakSignalDemodulator, LengthsAreAtLeastOneAndRestartTheSums)
{
    WeakSignalDemodulator d;
    d.SetRate(11025);
    d.SetTones(1000, 1170);
    d.SetLengths(0, -5);
    EXPECT_EQ(d.Integration(), 1);
    EXPECT_EQ(d.Smoothing(), 1);
    // A strong tone, then a new length: the old sums are gone, so silence decides nothing new.
    const Keying k{11025, 100, 1000, 1170};
    const Signal s = Keyed(k, 20, 8000, 1.0, 0.0, 4);
    d.SetLengths(110, 55);
    d.Process(s.samples.data(), uint32_t(s.samples.size()));
    d.SetLengths(100, 50);
    const std::vector<int16_t> silence(10, 0);
    d.Process(silence.data(), uint32_t(silence.size()));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(d.Soft()[i], 0) << i;
}

} // namespace
} // namespace sirrel
