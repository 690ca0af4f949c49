// SoftAsyncDecoder: start/stop text keyed as FSK, with noise, pauses and a fade, through the weak-signal
// demodulator as the chain runs it; the hard framing of the same decisions is the yardstick.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "async_line.h"
#include "decoders/async_decoder.h"
#include "decoders/soft_async_decoder.h"
#include "dsp/weak_signal_demodulator.h"

namespace sirrel {
namespace {

using testing::AsyncLine;

constexpr double kRate = 11025.0;
constexpr double kSpace = 1275.0;
constexpr double kMark = 1445.0;

struct Line {
    double baud = 45.45;
    int dataBits = 5;
    double stopBits = 1.5;
    AsyncLine::Parity parity = AsyncLine::kNone;
    double snr = 100.0;      // dB in 3 kHz
    double pauseBits = 0.0;  // up to this much mark idle before each character
    double fadePeriod = 0.0; // seconds of one fade down to a quarter of the amplitude and back, 0 for none
    bool markLow = false;    // the mark on the lower tone
};

struct Sent {
    std::vector<unsigned> codes;
    std::vector<int16_t> audio;
};

// Random codes keyed as phase-continuous FSK after a second of mark, white noise added at the given SNR.
Sent Key(const Line &l, int characters, unsigned seed)
{
    std::mt19937 random(seed);
    const double perBit = kRate / l.baud;
    AsyncLine line(perBit, l.dataBits, l.stopBits, l.parity);
    line.idle(l.baud);
    Sent sent;
    for (int c = 0; c < characters; ++c) {
        if (l.pauseBits > 0.0)
            line.idle(l.pauseBits * double(random() % 1000) / 1000.0);
        sent.codes.push_back(unsigned(random()) & ((1u << l.dataBits) - 1));
        line.character(sent.codes.back());
    }
    line.idle(l.baud);
    const double amplitude = 4000.0;
    const double sigma = std::sqrt(amplitude * amplitude / 2.0 / std::pow(10.0, l.snr / 10.0) * (kRate / 2) / 3000.0);
    std::normal_distribution<double> gauss(0.0, sigma);
    double phase = 0.0;
    for (size_t i = 0; i < line.levels().size(); ++i) {
        const bool mark = line.levels()[i] != 0;
        phase += 2.0 * M_PI * (mark == l.markLow ? kSpace : kMark) / kRate;
        double gain = 1.0;
        if (l.fadePeriod > 0.0)
            gain = 0.625 + 0.375 * std::cos(2.0 * M_PI * double(i) / kRate / l.fadePeriod);
        const double v = amplitude * gain * std::sin(phase) + gauss(random);
        sent.audio.push_back(int16_t(std::clamp(v, -32767.0, 32767.0)));
    }
    return sent;
}

// The codes each framing gets from the weak-signal demodulator, run as the chain runs it for start/stop text.
struct Received {
    std::vector<unsigned> soft, hard;
};

Received Receive(const Line &l, const Sent &sent)
{
    const double perBit = kRate / l.baud;
    WeakSignalDemodulator demodulator;
    demodulator.SetRate(uint32_t(kRate));
    demodulator.SetTones(kSpace, kMark);
    demodulator.SetLengths(int32_t(perBit), int32_t(perBit / 2));
    SoftAsyncDecoder soft;
    AsyncDecoder hard;
    Received got;
    soft.SetSink([&](const DecodedCode &code) { got.soft.push_back(code.code); });
    hard.SetSink([&](const DecodedCode &code) { got.hard.push_back(code.code); });
    const int parity = l.parity == AsyncLine::kNone ? 0 : 1;
    soft.SetGeometry(l.dataBits, perBit, parity);
    hard.SetDataBits(l.dataBits);
    hard.SetSamplesPerBit(int32_t(perBit + 0.5));
    hard.SetParity(parity);
    constexpr size_t kBlock = 512;
    for (size_t at = 0; at < sent.audio.size(); at += kBlock) {
        const auto n = int32_t(std::min(kBlock, sent.audio.size() - at));
        demodulator.Process(sent.audio.data() + at, uint32_t(n));
        soft.Feed(demodulator.Soft(), n);
        hard.Feed(demodulator.DecidedBits(), n);
    }
    soft.Finish();
    hard.Finish();
    return got;
}

// Share of the sent codes received in order (longest common subsequence): a lost or added character costs
// one, not the rest of the text.
double Share(const std::vector<unsigned> &sent, const std::vector<unsigned> &got)
{
    std::vector<size_t> row(got.size() + 1, 0);
    for (unsigned code : sent) {
        size_t diagonal = 0;
        for (size_t j = 1; j <= got.size(); ++j) {
            const size_t above = row[j];
            row[j] = code == got[j - 1] ? diagonal + 1 : std::max(row[j], row[j - 1]);
            diagonal = above;
        }
    }
    return double(row.back()) / double(sent.size());
}

struct NoisyCase {
    const char *name;
    Line line;
    double softAtLeast;
    double margin; // the soft framing is at least this much better than the hard one
};

class SoftAsyncNoise : public ::testing::TestWithParam<NoisyCase> {};

TEST_P(SoftAsyncNoise, DecodesWhereTheHardTimingLosesCharacters)
{
    const NoisyCase &c = GetParam();
    const Sent sent = Key(c.line, 300, 17);
    const Received got = Receive(c.line, sent);
    const double soft = Share(sent.codes, got.soft);
    const double hard = Share(sent.codes, got.hard);
    EXPECT_GE(soft, c.softAtLeast) << "hard " << hard;
    EXPECT_GE(soft - hard, c.margin) << "soft " << soft << " hard " << hard;
}

INSTANTIATE_TEST_SUITE_P(Lines, SoftAsyncNoise,
                         ::testing::Values(NoisyCase{"continuous9dB", {.snr = -9.0}, 0.90, 0.08},
                                           NoisyCase{"pauses6dB", {.snr = -6.0, .pauseBits = 12.0}, 0.95, 0.0},
                                           NoisyCase{"fade3dB", {.snr = 3.0, .fadePeriod = 4.0}, 0.95, 0.0},
                                           NoisyCase{"markLow9dB", {.snr = -9.0, .markLow = true}, 0.90, 0.08}),
                         [](const ::testing::TestParamInfo<NoisyCase> &info) { return info.param.name; });

struct CleanCase {
    const char *name;
    Line line;
};

class SoftAsyncClean : public ::testing::TestWithParam<CleanCase> {};

TEST_P(SoftAsyncClean, DecodesEveryCharacterExactly)
{
    const CleanCase &c = GetParam();
    const Sent sent = Key(c.line, 120, 5);
    EXPECT_EQ(Receive(c.line, sent).soft, sent.codes);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SoftAsyncClean,
    ::testing::Values(CleanCase{"ita2", {}}, CleanCase{"ita2OneStop", {.stopBits = 1.0}},
                      CleanCase{"ita2TwoStops75Bd", {.baud = 75.0, .stopBits = 2.0}},
                      CleanCase{"markLow", {.markLow = true}}, CleanCase{"pauses", {.pauseBits = 30.0}},
                      CleanCase{"ira7Parity",
                                {.baud = 110.0, .dataBits = 7, .stopBits = 1.0, .parity = AsyncLine::kEven}},
                      CleanCase{"eightBits300Bd", {.baud = 300.0, .dataBits = 8, .stopBits = 1.0}}),
    [](const ::testing::TestParamInfo<CleanCase> &info) { return info.param.name; });

TEST(SoftAsyncDecoder, AppliesTheInversionMask)
{
    const Line l;
    const Sent sent = Key(l, 40, 9);
    SoftAsyncDecoder soft;
    std::vector<unsigned> got;
    soft.SetSink([&](const DecodedCode &code) { got.push_back(code.code); });
    soft.SetGeometry(l.dataBits, kRate / l.baud, 0);
    soft.SetInversionMask(0x1F);
    WeakSignalDemodulator demodulator;
    demodulator.SetRate(uint32_t(kRate));
    demodulator.SetTones(kSpace, kMark);
    demodulator.SetLengths(int32_t(kRate / l.baud), int32_t(kRate / l.baud / 2));
    demodulator.Process(sent.audio.data(), uint32_t(sent.audio.size()));
    soft.Feed(demodulator.Soft(), int32_t(sent.audio.size()));
    soft.Finish();
    std::vector<unsigned> expected;
    for (unsigned code : sent.codes)
        expected.push_back(code ^ 0x1F);
    EXPECT_EQ(got, expected);
}

TEST(SoftAsyncDecoder, AMeasuredBitLengthThatMovesKeepsTheText)
{
    const Line l;
    const Sent sent = Key(l, 60, 11);
    const double perBit = kRate / l.baud;
    WeakSignalDemodulator demodulator;
    demodulator.SetRate(uint32_t(kRate));
    demodulator.SetTones(kSpace, kMark);
    demodulator.SetLengths(int32_t(perBit), int32_t(perBit / 2));
    demodulator.Process(sent.audio.data(), uint32_t(sent.audio.size()));
    SoftAsyncDecoder soft;
    std::vector<unsigned> got;
    soft.SetSink([&](const DecodedCode &code) { got.push_back(code.code); });
    const auto half = int32_t(sent.audio.size() / 2);
    soft.SetGeometry(l.dataBits, perBit, 0);
    soft.Feed(demodulator.Soft(), half);
    soft.SetGeometry(l.dataBits, perBit * 1.003, 0);
    soft.Feed(demodulator.Soft() + half, int32_t(sent.audio.size()) - half);
    soft.Finish();
    EXPECT_EQ(got, sent.codes);
}

TEST(SoftAsyncDecoder, SilenceAndSteadyMarkMakeNoCharacters)
{
    SoftAsyncDecoder soft;
    int count = 0;
    soft.SetSink([&](const DecodedCode &) { ++count; });
    soft.SetGeometry(5, 242.55, 0);
    const std::vector<int16_t> quiet(50000, 0);
    soft.Feed(quiet.data(), int32_t(quiet.size()));
    const std::vector<int16_t> mark(50000, 6000);
    soft.Feed(mark.data(), int32_t(mark.size()));
    soft.Finish();
    EXPECT_EQ(count, 0);
}

} // namespace
} // namespace sirrel
