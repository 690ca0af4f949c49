// ToneSearch: the FSK pair among steady carriers and at a narrow shift, the shift setting, and the spectrum's
// pair kept where it is the FSK pair; and automatic tuning in the chain with carriers beside the tones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "dsp/signal_chain.h"
#include "dsp/tone_search.h"

namespace sirrel {
namespace {

constexpr uint32_t kFrame = SignalChain::kFrameSize;

struct Carrier {
    double hertz;
    double amplitude;
};

const std::vector<Carrier> kNoCarriers;

// Carriers as in the recording that misled the spectrum search: lines at 900, 1000 and 1100 Hz around tones at
// 915 and 1085 Hz.
std::vector<Carrier> HundredHertzLines(double amplitude)
{
    return {{900, amplitude}, {1000, amplitude}, {1100, amplitude}};
}

// Continuous-phase FSK of random bits (the low tone for a 1) at amplitude 8000, plus steady carriers at random
// phases.
std::vector<int16_t> Signal(uint32_t rate, double baud, double low, double high, const std::vector<Carrier> &carriers,
                            int frames, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * M_PI);
    std::vector<double> carrierPhase;
    for (size_t c = 0; c < carriers.size(); ++c)
        carrierPhase.push_back(phase(random));
    std::vector<int16_t> out(size_t(kFrame) * frames);
    const double samplesPerBit = rate / baud;
    double fskPhase = 0.0;
    int bit = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        if (std::fmod(double(i), samplesPerBit) < 1.0)
            bit = int(random() & 1);
        fskPhase += 2.0 * M_PI * (bit ? low : high) / rate;
        double v = 8000.0 * std::sin(fskPhase);
        for (size_t c = 0; c < carriers.size(); ++c)
            v += carriers[c].amplitude * std::sin(2.0 * M_PI * carriers[c].hertz * double(i) / rate + carrierPhase[c]);
        out[i] = int16_t(std::lround(std::clamp(v, -32767.0, 32767.0)));
    }
    return out;
}

void Feed(ToneSearch &search, const std::vector<int16_t> &signal)
{
    for (size_t start = 0; start + kFrame <= signal.size(); start += kFrame)
        search.Feed(signal.data() + start, kFrame);
}

struct PairCase {
    std::string name;
    uint32_t rate;
    double baud;
    double low;
    double high;
    std::vector<Carrier> carriers;
    int32_t shift;
    double tolerance; // hertz, each tone
    int frames = 6;
};

class AlternatingPair : public testing::TestWithParam<PairCase> {};

TEST_P(AlternatingPair, FindsTheFskTones)
{
    const PairCase &c = GetParam();
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        ToneSearch search;
        search.SetRate(c.rate);
        Feed(search, Signal(c.rate, c.baud, c.low, c.high, c.carriers, c.frames, seed));
        const TonePair tones = search.Alternating(c.shift);
        EXPECT_NEAR(tones.low, c.low, c.tolerance);
        EXPECT_NEAR(tones.high, c.high, c.tolerance);
        if (c.shift != 0) {
            EXPECT_EQ(tones.high - tones.low, c.shift);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    ToneSearch, AlternatingPair,
    testing::Values(PairCase{"Clean100Bd", 11025, 100, 915, 1085, kNoCarriers, 0, 3},
                    PairCase{"CarriersAtHalfTheLevel", 11025, 100, 915, 1085, HundredHertzLines(4000), 0, 6},
                    PairCase{"CarriersAtAThirdBelow", 11025, 100, 915, 1085, HundredHertzLines(5600), 0, 10},
                    PairCase{"CarriersWithShift170", 11025, 100, 915, 1085, HundredHertzLines(4000), 170, 6},
                    PairCase{"Shift425", 11025, 50, 1000, 1425, {{1200, 8000}}, 425, 6},
                    PairCase{"Shift850AtAnyShift", 11025, 50, 1000, 1850, {{1500, 8000}}, 0, 6},
                    PairCase{"Rate8000", 8000, 100, 1275, 1445, HundredHertzLines(4000), 0, 8},
                    PairCase{"Fast300BdShift200", 11025, 300, 1600, 1800, kNoCarriers, 0, 12, 12}),
    [](const testing::TestParamInfo<PairCase> &info) { return info.param.name; });

TEST(ToneSearch, SteadyLinesAloneDoNotAlternate)
{
    ToneSearch search;
    search.SetRate(11025);
    EXPECT_EQ(search.Alternating(0).high, 0); // nothing fed yet
    Feed(search, Signal(11025, 100, 915, 1085, {{2650, 6000}, {2800, 12000}}, 4, 1));
    // The FSK is there too: its pair, not the two strong lines.
    EXPECT_NEAR(search.Alternating(0).low, 915, 3);

    ToneSearch lines;
    lines.SetRate(11025);
    std::vector<int16_t> steady(size_t(kFrame) * 4);
    for (size_t i = 0; i < steady.size(); ++i) {
        const double t = double(i) / 11025;
        steady[i] = int16_t(12000.0 * std::sin(2 * M_PI * 2800.0 * t) + 6000.0 * std::sin(2 * M_PI * 2650.0 * t));
    }
    Feed(lines, steady);
    EXPECT_EQ(lines.Alternating(0).high, 0);
    EXPECT_EQ(lines.Alternating(425).high, 0);
    const TonePair peaks = {2650, 2800};
    EXPECT_EQ(lines.Mend(peaks, 0).low, 2650);
    EXPECT_EQ(lines.Mend(peaks, 0).high, 2800);
}

TEST(ToneSearch, MendKeepsTheSpectrumsPairOnlyWhenItIsTheFskPair)
{
    ToneSearch search;
    search.SetRate(11025);
    Feed(search, Signal(11025, 100, 915, 1085, HundredHertzLines(4000), 6, 4));
    const TonePair alternating = search.Alternating(0);
    ASSERT_NEAR(alternating.low, 915, 6);

    // A few hertz off: the spectrum's own placing stands.
    const TonePair close = {alternating.low - 5, alternating.high + 5};
    EXPECT_EQ(search.Mend(close, 0).low, close.low);
    EXPECT_EQ(search.Mend(close, 0).high, close.high);
    // The carriers beside the tones: replaced by the alternating pair.
    const TonePair carriers = {899, 1098};
    EXPECT_EQ(search.Mend(carriers, 0).low, alternating.low);
    EXPECT_EQ(search.Mend(carriers, 0).high, alternating.high);
    // With a shift the replacement is locked like the spectrum's pair.
    const TonePair locked = search.Mend({899, 899 + 170}, 170);
    EXPECT_NEAR(locked.low, 915, 10);
    EXPECT_EQ(locked.high, locked.low + 170);
    // A new rate forgets the frames seen.
    search.SetRate(8000);
    EXPECT_EQ(search.Mend(carriers, 0).low, 899);
}

TEST(ToneSearch, ShortAndMissingFramesAreHarmless)
{
    ToneSearch search;
    search.SetRate(11025);
    const std::vector<int16_t> signal = Signal(11025, 100, 915, 1085, kNoCarriers, 1, 1);
    search.Feed(nullptr, kFrame);
    search.Feed(signal.data(), 100); // shorter than one block
    EXPECT_EQ(search.Alternating(0).high, 0);
    search.Feed(signal.data(), 700);
    EXPECT_NEAR(search.Alternating(0).low, 915, 10);

    ToneSearch noRate;
    noRate.SetRate(0);
    noRate.Feed(signal.data(), kFrame);
    EXPECT_EQ(noRate.Alternating(0).high, 0);
}

// ---- automatic tuning in the chain ----

SettingsModel AutoTuning(int32_t shiftIndex)
{
    SettingsModel s;
    s.tuneAuto = true;
    s.shiftIndex = shiftIndex;
    s.baudAuto = false;
    s.baudrate = 100;
    return s;
}

void Feed(SignalChain &chain, const std::vector<int16_t> &signal)
{
    for (size_t start = 0; start + kFrame <= signal.size(); start += kFrame)
        chain.ProcessFrame(signal.data() + start, kFrame * 2);
}

TEST(AutomaticTuning, TakesTheFskPairBesideSteadyCarriers)
{
    for (int32_t shiftIndex : {0, 1}) {
        SCOPED_TRACE(shiftIndex);
        SettingsModel s = AutoTuning(shiftIndex);
        SignalChain chain(s, nullptr, 11025);
        Feed(chain, Signal(11025, 100, 915, 1085, HundredHertzLines(4000), 8, 5));
        EXPECT_NEAR(s.space, 915, 6);
        EXPECT_NEAR(s.mark, 1085, 6);
        EXPECT_EQ(chain.Spectrum().Marker(0), float(s.space));
    }
}

// Where the spectrum's peaks lie on the tones, they are the tones taken, to the hertz.
TEST(AutomaticTuning, CleanSignalKeepsTheSpectrumsPair)
{
    SettingsModel s = AutoTuning(0);
    s.baudrate = 50;
    SignalChain chain(s, nullptr, 11025);
    const std::vector<int16_t> signal = Signal(11025, 50, 1000, 1170, kNoCarriers, 12, 6);
    int onTheTones = 0;
    for (size_t start = 0; start + kFrame <= signal.size(); start += kFrame) {
        chain.ProcessFrame(signal.data() + start, kFrame * 2);
        TonePair peaks;
        {
            SignalDisplay::Guard guard(chain.Spectrum());
            peaks = FindTones(chain.Spectrum().Magnitudes(), chain.Spectrum().MagnitudeCount(), 11025, 0);
        }
        if (std::abs(peaks.low - 1000) <= 5 && std::abs(peaks.high - 1170) <= 5) {
            ++onTheTones;
            EXPECT_EQ(s.space, peaks.low);
            EXPECT_EQ(s.mark, peaks.high);
        }
        EXPECT_NEAR(s.space, 1000, 12);
        EXPECT_NEAR(s.mark, 1170, 12);
    }
    EXPECT_GE(onTheTones, 4);
}

} // namespace
} // namespace sirrel
