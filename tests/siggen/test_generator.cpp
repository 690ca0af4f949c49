#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "siggen/async_source.h"
#include "siggen/generator.h"

namespace sirrel::siggen {
namespace {

std::vector<int16_t> Idle(const GeneratorSettings &s, int level)
{
    Generator generator(s);
    return generator.Render(Keying(), level);
}

double ZeroCrossingFrequency(const std::vector<int16_t> &x, double rate)
{
    size_t rising = 0;
    for (size_t n = 1; n < x.size(); ++n)
        rising += x[n - 1] < 0 && x[n] >= 0;
    return rising * rate / x.size();
}

TEST(SiggenGenerator, ToneOfEachLevel)
{
    struct Case {
        double space, mark, offset;
        bool reverse;
        int level;
        double expected;
    };
    const Case cases[] = {
        {1000, 1170, 0, false, 1, 1000}, // a 1, and the idle line, are on the space tone
        {1000, 1170, 0, false, 0, 1170},       {1000, 1170, 0, true, 1, 1170}, // reversed: the tones swap
        {1000, 1170, 250.5, false, 1, 1250.5}, {2125, 2295, -100, true, 0, 2025},
    };
    for (const Case &c : cases) {
        GeneratorSettings s;
        s.space = c.space;
        s.mark = c.mark;
        s.offset = c.offset;
        s.reverse = c.reverse;
        s.leadSeconds = 4.0;
        s.trailSeconds = 0.0;
        EXPECT_NEAR(ZeroCrossingFrequency(Idle(s, c.level), s.sampleRate), c.expected, 0.5)
            << c.space << "/" << c.mark << " offset " << c.offset << " reverse " << c.reverse;
    }
}

// Continuous phase: at every one of the many tone changes the waveform moves no further from one sample to
// the next than the faster tone ever does.
TEST(SiggenGenerator, PhaseContinuousAcrossBitEdges)
{
    GeneratorSettings s;
    s.baud = 300;
    s.space = 300;
    s.mark = 500;
    s.amplitude = 1.0;
    s.leadSeconds = 0.0;
    s.trailSeconds = 0.0;
    const AsyncSource source(AsyncSource::Code::kIra, Parity::kEven, 1.0);
    Keying keying;
    source.Encode("The quick brown fox jumps over the lazy dog 0123456789", keying);
    ASSERT_GT(keying.Elements().size(), 250u);
    Generator generator(s);
    const std::vector<int16_t> x = generator.Render(keying, source.IdleLevel());
    const double bound = Generator::kFullScale * 2.0 * std::sin(std::numbers::pi * s.mark / s.sampleRate) + 2.0;
    int worst = 0;
    for (size_t n = 1; n < x.size(); ++n)
        worst = std::max(worst, std::abs(x[n] - x[n - 1]));
    EXPECT_LE(worst, bound);
    // The bound is tight: the fast tone does reach it.
    EXPECT_GT(worst, 0.95 * bound);
}

// In-band noise power by a plain DFT over blocks: the share below 3 kHz of what the generator added.
double NoisePowerBelow3kHz(const std::vector<double> &noise, double rate)
{
    const size_t n = 2048;
    const size_t bins = static_cast<size_t>(3000.0 * n / rate);
    std::vector<std::complex<double>> twiddle(n);
    for (size_t i = 0; i < n; ++i)
        twiddle[i] = std::polar(1.0, -2.0 * std::numbers::pi * i / n);
    double sum = 0.0;
    size_t blocks = 0;
    for (size_t start = 0; start + n <= noise.size(); start += n, ++blocks) {
        for (size_t k = 0; k <= std::min(bins, n / 2); ++k) {
            std::complex<double> bin = 0.0;
            for (size_t i = 0, at = 0; i < n; ++i, at = (at + k) & (n - 1))
                bin += noise[start + i] * twiddle[at];
            sum += (k == 0 || 2 * k == n ? 1.0 : 2.0) * std::norm(bin);
        }
    }
    return sum / (static_cast<double>(n) * n * blocks);
}

TEST(SiggenGenerator, NoiseGivesTheSignalToNoiseRatioIn3kHz)
{
    struct Case {
        uint32_t rate;
        double snr;
    };
    const Case cases[] = {{11025, 10.0}, {11025, 0.0}, {44100, 20.0}, {8000, 3.0}};
    for (const Case &c : cases) {
        GeneratorSettings s;
        s.sampleRate = c.rate;
        s.amplitude = 0.15;
        s.leadSeconds = 3.0;
        s.trailSeconds = 0.0;
        const std::vector<int16_t> clean = Idle(s, 1);
        s.snrDb = c.snr;
        Generator noisy(s);
        const std::vector<int16_t> dirty = noisy.Render(Keying(), 1);
        ASSERT_EQ(noisy.ClippedSamples(), 0u);
        ASSERT_EQ(clean.size(), dirty.size());
        std::vector<double> noise(clean.size());
        for (size_t i = 0; i < clean.size(); ++i)
            noise[i] = static_cast<double>(dirty[i]) - clean[i];
        const double peak = s.amplitude * Generator::kFullScale;
        const double measured = 10.0 * std::log10(peak * peak / 2.0 / NoisePowerBelow3kHz(noise, c.rate));
        EXPECT_NEAR(measured, c.snr, 0.5) << "rate " << c.rate;
    }
}

TEST(SiggenGenerator, NoiseIsReproducibleBySeed)
{
    GeneratorSettings s;
    s.leadSeconds = 0.5;
    s.snrDb = 6.0;
    const std::vector<int16_t> first = Idle(s, 1);
    EXPECT_EQ(Idle(s, 1), first) << "the default seed must give the same noise every time";
    s.seed = 12345;
    const std::vector<int16_t> other = Idle(s, 1);
    EXPECT_NE(other, first);
    EXPECT_EQ(Idle(s, 1), other);
}

// Signal plus noise beyond full scale saturates; it never wraps around to the other sign.
TEST(SiggenGenerator, ClipsAtTheRails)
{
    GeneratorSettings s;
    s.amplitude = 1.0;
    s.snrDb = -5.0;
    s.leadSeconds = 1.0;
    s.trailSeconds = 0.0;
    Generator generator(s);
    const std::vector<int16_t> x = generator.Render(Keying(), 1);
    size_t atRails = 0;
    for (const int16_t v : x)
        atRails += v == 32767 || v == -32768;
    EXPECT_GT(generator.ClippedSamples(), x.size() / 10);
    // A few samples may round onto a rail without being clipped.
    EXPECT_NEAR(static_cast<double>(atRails), static_cast<double>(generator.ClippedSamples()),
                generator.ClippedSamples() / 100.0);
}

TEST(SiggenGenerator, LengthOfLeadKeyingAndTrail)
{
    GeneratorSettings s;
    s.sampleRate = 8000;
    s.baud = 75;
    s.leadSeconds = 0.25;
    s.trailSeconds = 0.125;
    Keying keying;
    keying.Append(0, 1.0);
    keying.Append(1, 2.5);
    Generator generator(s);
    // 2000 + 3.5 bits of 106.67 samples (373.3) + 1000.
    EXPECT_EQ(generator.SampleCount(keying), 3373u);
    size_t delivered = 0;
    size_t blocks = 0;
    EXPECT_TRUE(generator.Render(keying, 1, [&](const int16_t *, size_t count) {
        delivered += count;
        ++blocks;
        return true;
    }));
    EXPECT_EQ(delivered, 3373u);
    // A sink that refuses ends the rendering.
    blocks = 0;
    s.leadSeconds = 10.0;
    Generator longer(s);
    EXPECT_FALSE(longer.Render(keying, 1, [&](const int16_t *, size_t) { return ++blocks < 2; }));
    EXPECT_EQ(blocks, 2u);
}

TEST(SiggenGenerator, SettingsProblems)
{
    struct Case {
        const char *what;
        void (*change)(GeneratorSettings &);
        const char *expected; // part of the message, or "" for none
    };
    const Case cases[] = {
        {"defaults", [](GeneratorSettings &) {}, ""},
        {"baud 0", [](GeneratorSettings &s) { s.baud = 0; }, "baud rate"},
        {"baud above half the rate", [](GeneratorSettings &s) { s.baud = 6000; }, "baud rate"},
        {"space at 0 Hz", [](GeneratorSettings &s) { s.space = 0; }, "tone 0 Hz"},
        {"mark at half the rate", [](GeneratorSettings &s) { s.mark = 5512.5; }, "tone 5512.5 Hz"},
        {"offset below 0 Hz", [](GeneratorSettings &s) { s.offset = -1000; }, "tone 0 Hz"},
        {"equal tones", [](GeneratorSettings &s) { s.mark = s.space; }, "both 1000 Hz"},
        {"rate", [](GeneratorSettings &s) { s.sampleRate = 999; }, "sample rate"},
        {"amplitude", [](GeneratorSettings &s) { s.amplitude = 1.01; }, "amplitude"},
        {"amplitude NaN", [](GeneratorSettings &s) { s.amplitude = std::nan(""); }, "amplitude"},
        {"lead", [](GeneratorSettings &s) { s.leadSeconds = -0.1; }, "lead"},
        {"trail", [](GeneratorSettings &s) { s.trailSeconds = 1e6; }, "trail"},
        {"snr", [](GeneratorSettings &s) { s.snrDb = HUGE_VAL; }, "signal-to-noise"},
    };
    for (const Case &c : cases) {
        GeneratorSettings s;
        c.change(s);
        const std::string problem = s.Problem();
        if (*c.expected == '\0')
            EXPECT_EQ(problem, "") << c.what;
        else
            EXPECT_NE(problem.find(c.expected), std::string::npos) << c.what << ": " << problem;
    }
}

} // namespace
} // namespace sirrel::siggen
