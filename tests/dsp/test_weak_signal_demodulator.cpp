// WeakSignalDemodulator: decisions on clean and noisy keyed tones, a tone that fades on its own, silence, and
// state carried across blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
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

// The demodulator one sample at a time, the plain way; Process must give exactly its values, however it
// arranges the work.
class PlainWeakSignal {
public:
    PlainWeakSignal(double rate, int32_t length, int32_t smoothLength)
        : rate_(rate), length_(length), smoothLength_(smoothLength), smoothRing_(size_t(smoothLength))
    {
        for (Tone &t : tones_)
            t.ring.assign(size_t(length), {0.0f, 0.0f});
    }
    void SetTones(double low, double high)
    {
        tones_[0].step = std::polar(1.0, 2.0 * M_PI * low / rate_);
        tones_[1].step = std::polar(1.0, 2.0 * M_PI * high / rate_);
    }
    void Process(const int16_t *samples, size_t count, std::vector<int16_t> &soft, std::vector<int16_t> &bits)
    {
        const double follow = 1.0 / (12.0 * length_);
        for (size_t i = 0; i < count; ++i) {
            const double x = samples[i];
            double e[2];
            for (int k = 0; k < 2; ++k) {
                Tone &t = tones_[k];
                const std::complex<double> mixed(x * t.phasor.real(), -x * t.phasor.imag());
                t.phasor *= t.step;
                std::complex<float> &slot = t.ring[size_t(head_)];
                t.sum += mixed - std::complex<double>(slot);
                slot = std::complex<float>(mixed);
                e[k] = std::sqrt(t.sum.real() * t.sum.real() + t.sum.imag() * t.sum.imag()) * (1.0 / length_);
            }
            head_ = (head_ + 1) % length_;
            Tone &winner = e[0] >= e[1] ? tones_[0] : tones_[1];
            Tone &loser = e[0] >= e[1] ? tones_[1] : tones_[0];
            winner.level += (std::max(e[0], e[1]) - winner.level) * follow;
            loser.floor += (std::min(e[0], e[1]) - loser.floor) * follow;
            const double spanLow = std::max(tones_[0].level - tones_[0].floor, 0.0);
            const double spanHigh = std::max(tones_[1].level - tones_[1].floor, 0.0);
            const double widest = std::max({spanLow, spanHigh, 1e-6});
            const double meanSpan = std::max(0.5 * (spanLow + spanHigh), 1e-6);
            const double corrected = (e[0] - tones_[0].floor) / std::max(spanLow, 0.25 * widest) -
                                     (e[1] - tones_[1].floor) / std::max(spanHigh, 0.25 * widest);
            const double d = e[0] == e[1] ? 0.0 : 0.5 * corrected + 0.5 * (e[0] - e[1]) / meanSpan;
            double &oldest = smoothRing_[size_t(smoothHead_)];
            smoothSum_ += d - oldest;
            oldest = d;
            smoothHead_ = (smoothHead_ + 1) % smoothLength_;
            const double v = smoothSum_ * (1.0 / smoothLength_);
            soft.push_back(int16_t(std::clamp(v * 8000, -32767.0, 32767.0)));
            if (std::abs(v) > 1e-9)
                lastBit_ = v > 0.0 ? 1 : 0;
            bits.push_back(lastBit_);
            if (++since_ % 1024 == 0) {
                for (Tone &t : tones_)
                    t.phasor /= std::abs(t.phasor);
            }
            if (since_ == 1 << 16) {
                since_ = 0;
                for (Tone &t : tones_) {
                    t.sum = {0.0, 0.0};
                    for (const std::complex<float> &value : t.ring)
                        t.sum += std::complex<double>(value);
                }
                smoothSum_ = 0.0;
                for (double value : smoothRing_)
                    smoothSum_ += value;
            }
        }
    }
    double Level(int k) const { return tones_[k].level; }
    double Floor(int k) const { return tones_[k].floor; }

private:
    struct Tone {
        std::complex<double> phasor{1.0, 0.0}, step{1.0, 0.0}, sum{0.0, 0.0};
        std::vector<std::complex<float>> ring;
        double level = 0.0, floor = 0.0;
    };
    double rate_;
    int32_t length_, smoothLength_, head_ = 0, smoothHead_ = 0, since_ = 0;
    Tone tones_[2];
    std::vector<double> smoothRing_;
    double smoothSum_ = 0.0;
    int16_t lastBit_ = 0;
};

// Long enough for the periodic recomputation of the sums, with a retune half-way, in blocks of odd sizes.
TEST(WeakSignalDemodulator, GivesExactlyThePlainPerSampleValues)
{
    struct Case {
        Keying keying;
        int bits;
        double bitsSummed, smoothing, amplitude, lowGain, noise;
    };
    const Case cases[] = {
        {{22050, 1200, 1200, 2200}, 4000, 1.0, 0.5, 6000, 1.0, 3000},
        {{11025, 45.45, 1275, 1445}, 300, 1.0, 0.5, 3000, 0.25, 2500},
        {{11025, 100, 1000, 1170}, 800, 2.0, 0.1, 12000, 4.0, 200},
        {{8000, 300, 1600, 1800}, 3000, 0.02, 0.01, 20000, 1.0, 12000},
    };
    for (const Case &c : cases) {
        const Keying &k = c.keying;
        const Signal s = Keyed(k, c.bits, c.amplitude, c.lowGain, c.noise, 11);
        ASSERT_GT(s.samples.size(), size_t(1 << 16) + 4096) << "the sums' recomputation is not reached";
        WeakSignalDemodulator d = For(k, c.bitsSummed, c.smoothing);
        PlainWeakSignal plain(k.rate, d.Integration(), d.Smoothing());
        plain.SetTones(k.low, k.high);
        std::vector<int16_t> soft, bits;
        const uint32_t blocks[] = {4096, 1, 1023, 77, 2500};
        for (size_t at = 0, next = 0; at < s.samples.size(); ++next) {
            if (at >= s.samples.size() / 2 && d.LowTone() == k.low) {
                d.SetTones(k.low + 7.5, k.high - 3.25);
                plain.SetTones(k.low + 7.5, k.high - 3.25);
            }
            const uint32_t block = uint32_t(std::min<size_t>(blocks[next % 5], s.samples.size() - at));
            d.Process(s.samples.data() + at, block);
            soft.clear();
            bits.clear();
            plain.Process(s.samples.data() + at, block, soft, bits);
            for (uint32_t i = 0; i < block; ++i) {
                ASSERT_EQ(d.Soft()[i], soft[i]) << k.rate << " Hz, " << k.baud << " Bd, sample " << at + i;
                ASSERT_EQ(d.DecidedBits()[i], bits[i]) << k.rate << " Hz, " << k.baud << " Bd, sample " << at + i;
            }
            at += block;
        }
        for (int t = 0; t < 2; ++t) {
            EXPECT_EQ(d.Level(t), plain.Level(t)) << k.rate << " Hz, " << k.baud << " Bd";
            EXPECT_EQ(d.Floor(t), plain.Floor(t)) << k.rate << " Hz, " << k.baud << " Bd";
        }
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
