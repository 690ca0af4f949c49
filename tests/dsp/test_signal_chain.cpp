// SignalChain: majority vote, bit timing, tone search and tuning rules, and whole frames through every
// demodulator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "dsp/signal_chain.h"

namespace sirrel {
namespace {

constexpr uint32_t kRate = 11025;

// Continuous-phase FSK: bit 1 on the space tone, bit 0 on the mark tone.
std::vector<int16_t> Fsk(const std::vector<int> &bits, double baud, double space, double mark, double amplitude,
                         double rate = kRate)
{
    const double samplesPerBit = rate / baud;
    const size_t count = size_t(bits.size() * samplesPerBit);
    std::vector<int16_t> out(count);
    double phase = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const int bit = bits[size_t(double(i) / samplesPerBit)];
        phase += (bit ? space : mark) / rate;
        phase -= std::floor(phase);
        out[i] = int16_t(amplitude * std::sin(2.0 * M_PI * phase));
    }
    return out;
}

std::vector<int> RandomBits(size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<int> bits(count);
    for (int &b : bits)
        b = int(random() & 1);
    return bits;
}

// Collects what the chain hands to the decoders.
struct Capture {
    std::vector<int16_t> levels;
    std::vector<double> samplesPerBit;
    int calls = 0;
    DispatchTarget Target()
    {
        return [this](const int16_t *l, int32_t count, const DecoderParams &p, const int16_t *) {
            levels.insert(levels.end(), l, l + count);
            samplesPerBit.push_back(p.samplesPerBit);
            ++calls;
        };
    }
};

void Feed(SignalChain &chain, const std::vector<int16_t> &signal)
{
    for (size_t start = 0; start + SignalChain::kFrameSize <= signal.size(); start += SignalChain::kFrameSize)
        chain.ProcessFrame(signal.data() + start, SignalChain::kFrameSize * 2);
}

SettingsModel ManualSettings(double space, double mark, double baud)
{
    SettingsModel s;
    s.tuneAuto = false;
    s.space = space;
    s.mark = mark;
    s.baudAuto = false;
    s.baudrate = baud;
    return s;
}

// ---- majority vote ----

TEST(MajorityVote, WindowFollowsTheRate)
{
    const struct {
        uint32_t rate;
        int32_t window;
    } cases[] = {{11025, 5}, {10989, 5}, {8000, 3}, {22050, 11}, {48000, 23}, {2000, 1}, {1000, 1}};
    for (const auto &c : cases)
        EXPECT_EQ(MajorityWindowFor(c.rate), c.window) << c.rate;
}

TEST(MajorityVote, RemovesAnIsolatedOneAndDelaysRuns)
{
    int16_t history[5] = {};
    std::vector<int16_t> bits(40, 0);
    bits[5] = 1;
    for (int i = 20; i < 30; ++i)
        bits[size_t(i)] = 1;
    std::vector<int16_t> out(40);
    MajorityVote(history, 5, bits.data(), 40, out.data());
    for (int i = 0; i < 40; ++i) {
        // A run of ten ones at 20 ... 29 comes out at 23 ... 32: three of five are ones from 23 on.
        const int expected = (i >= 23 && i <= 32) ? 1 : 0;
        EXPECT_EQ(out[size_t(i)], expected) << i;
    }
}

TEST(MajorityVote, HistoryJoinsBlocksSeamlessly)
{
    std::mt19937 random(7);
    std::vector<int16_t> bits(300);
    for (auto &b : bits)
        b = int16_t(random() % 3 == 0);
    std::vector<int16_t> whole(300), pieces(300);
    int16_t h1[5] = {}, h2[5] = {};
    MajorityVote(h1, 5, bits.data(), 300, whole.data());
    uint32_t done = 0;
    for (uint32_t size : {3u, 1u, 100u, 4u, 192u}) {
        MajorityVote(h2, 5, bits.data() + done, size, pieces.data() + done);
        done += size;
    }
    EXPECT_EQ(whole, pieces);
}

// ---- bit timing ----

TEST(TransitionIntervals, IntervalsCarryAcrossBlocks)
{
    TransitionIntervals t;
    std::vector<int16_t> bits(1000);
    for (size_t i = 0; i < bits.size(); ++i)
        bits[i] = int16_t((i / 220) % 2);
    t.Feed(bits.data(), 300);
    t.Feed(bits.data() + 300, 700);
    ASSERT_EQ(t.Count(), 4u);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(t.Interval(i), 220);
    EXPECT_EQ(t.LastTransition(), 880 - 1000);
}

TEST(TransitionIntervals, The1025thIntervalDropsTheOldest)
{
    TransitionIntervals t;
    // Intervals 1, 2, 3, ...: the first interval counts from position 0 of the first block.
    std::vector<int16_t> bits;
    int16_t level = 0;
    for (int interval = 1; interval <= 1025; ++interval) {
        bits.insert(bits.end(), size_t(interval - 1), level);
        level ^= 1;
        bits.push_back(level);
    }
    bits.insert(bits.end(), 4, level);
    t.Feed(bits.data(), uint32_t(bits.size()));
    ASSERT_EQ(t.Count(), 1024u);
    EXPECT_EQ(t.Interval(0), 2);
    EXPECT_EQ(t.Interval(1023), 1025);

    int32_t counters[kRawHistogramBins];
    EXPECT_EQ(BuildRawHistogram(t, counters), 1);
    int32_t total = 0;
    for (int32_t c : counters)
        total += c;
    EXPECT_EQ(total, 1024);
    EXPECT_EQ(counters[1], 0);
}

TEST(Histogram, EnhancementWeighsMultiplesOfTheBitLength)
{
    int32_t c[kRawHistogramBins] = {};
    c[220] = 10;
    c[440] = 3;
    c[660] = 1;
    c[450] = 4;
    c[900] = 2;
    c[700] = 9;
    EXPECT_EQ(EnhanceHistogram(c), 50);
    EXPECT_EQ(c[220], (3 + 1 + 1) * 10);
    EXPECT_EQ(c[440], 3);
    EXPECT_EQ(c[450], (2 + 1) * 4);
    EXPECT_EQ(c[700], 0);
}

// ---- tone search ----

TEST(FindTones, PicksTwoPeaksApartAndAppliesTheShift)
{
    std::vector<float> m(1024, -90.0f);
    const uint32_t strong = 520; // 2799 Hz
    const uint32_t weak = 492;   // 2648 Hz
    m[strong] = -10.0f;
    m[weak] = -20.0f;
    m[strong + 10] = -15.0f; // 54 Hz from the strongest: never the second peak
    const TonePair any = FindTones(m.data(), 1024, kRate, 0);
    EXPECT_EQ(any.low, int32_t((kRate * weak) >> 11));
    EXPECT_EQ(any.high, int32_t((kRate * strong) >> 11));

    // Shift 425: 2648 + 425 passes 3000, so the pair is pushed down to end at 3000.
    const TonePair locked = FindTones(m.data(), 1024, kRate, 425);
    EXPECT_EQ(locked.low, 2575);
    EXPECT_EQ(locked.high, 3000);

    const TonePair narrow = FindTones(m.data(), 1024, kRate, 170);
    EXPECT_EQ(narrow.low, any.low);
    EXPECT_EQ(narrow.high, any.low + 170);
}

TEST(FindTones, StaysInsideTheArrayAtLowRates)
{
    std::vector<float> m(16, 0.0f);
    m[15] = 1.0f;
    const TonePair tones = FindTones(m.data(), 16, 1000, 0);
    EXPECT_EQ(tones.high, int32_t((1000u * 15) >> 11));
    EXPECT_EQ(FindTones(m.data(), 16, 0, 0).high, 0);
}

// ---- whole chain ----

// Bits of exactly 220 samples (50.1 baud): at 220.5 samples the one-bit intervals split between the bins 220
// and 221, and the measured rate is 50 or 49 depending on which bin collects more.
TEST(SignalChain, CleanFiftyBaudSignalSetsTheBaudrateToFifty)
{
    SettingsModel s = ManualSettings(1275.0, 1445.0, 75.0);
    s.baudAuto = true;
    Capture capture;
    SignalChain chain(s, capture.Target(), kRate);
    const auto bits = RandomBits(250, 3);
    Feed(chain, Fsk(bits, kRate / 220.0, 1275.0, 1445.0, 12000.0));

    EXPECT_EQ(s.baudrate, 50.0);
    const TransitionIntervals &t = chain.Intervals();
    ASSERT_GT(t.Count(), 50u);
    int nearBit = 0;
    for (uint32_t i = 0; i < t.Count(); ++i) {
        const double ratio = t.Interval(i) / 220.0;
        nearBit += std::fabs(ratio - std::round(ratio)) * 220.0 < 10.0;
    }
    EXPECT_GT(nearBit, int(t.Count()) * 9 / 10);
    // The bit-timing markers show one and two bit periods of the measured bin.
    EXPECT_NEAR(chain.BitTiming(0).TimeMarker(0), 1.0 / 50.0, 0.0005);
    EXPECT_DOUBLE_EQ(chain.BitTiming(1).TimeMarker(1), 2.0 * chain.BitTiming(1).TimeMarker(0));
    EXPECT_DOUBLE_EQ(capture.samplesPerBit.back(), 11025.0 / 50.0);
}

// White noise of the given RMS level added to a signal.
std::vector<int16_t> WithNoise(std::vector<int16_t> signal, double rms, uint32_t seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, rms);
    for (int16_t &x : signal)
        x = int16_t(std::clamp(double(x) + noise(random), -32767.0, 32767.0));
    return signal;
}

// An idle tone has no transitions but the few of the demodulator settling: the first frames must not turn the rate into
// 2000 bit/s.
TEST(SignalChain, IdleToneKeepsTheAutomaticBitRate)
{
    for (DemodulatorChoice choice : {kDemodCorrelative, kDemodPlain}) {
        SettingsModel s = ManualSettings(1275.0, 1445.0, 45.45);
        s.baudAuto = true;
        s.SetDemodulator(choice);
        Capture capture;
        SignalChain chain(s, capture.Target(), kRate);
        Feed(chain, Fsk(std::vector<int>(40, 1), 45.45, 1275.0, 1445.0, 12000.0));
        ASSERT_GT(capture.calls, 0);
        EXPECT_LT(chain.Intervals().Count(), 16u);
        EXPECT_DOUBLE_EQ(s.baudrate, 45.45) << choice;
        EXPECT_DOUBLE_EQ(capture.samplesPerBit.back(), 11025.0 / 45) << choice;
    }
}

// The automatic bit rate still moves to a clean signal of another rate, from any rate in use.
TEST(SignalChain, AutomaticBitRateMovesToACleanSignal)
{
    const struct {
        double from;
        int32_t bin; // bit length of the signal in samples
        double expected;
    } cases[] = {{50.0, 147, 75.0},   {45.45, 110, 100.0}, {100.0, 220, 50.0},
                 {2000.0, 243, 45.0}, {300.0, 220, 50.0},  {50.0, 37, 297.0}};
    for (const auto &c : cases) {
        SettingsModel s = ManualSettings(1000.0, 1850.0, c.from);
        s.baudAuto = true;
        s.SetDemodulator(kDemodCorrelative);
        Capture capture;
        SignalChain chain(s, capture.Target(), kRate);
        Feed(chain, Fsk(RandomBits(size_t(600 * 11025 / c.bin / 100), 5), kRate / c.bin, 1000.0, 1850.0, 12000.0));
        EXPECT_NEAR(s.baudrate, c.expected, c.expected * 0.03) << "from " << c.from << " to bin " << c.bin;
    }
}

// Idle lead, then a weak 45.45-baud signal: the rate stays near the signal's instead of running off to the
// short intervals of the noise.
// The correlative chain measuring the bit rate from `startBaud`: an idle lead, then `dataBits` random bits of a
// 45.45-baud signal at the given SNR in 3 kHz.
void RunAutomaticRate(SettingsModel &s, Capture &capture, double startBaud, size_t dataBits, double snr, uint32_t seed)
{
    s = ManualSettings(1275.0, 1445.0, startBaud);
    s.baudAuto = true;
    s.SetDemodulator(kDemodCorrelative);
    SignalChain chain(s, capture.Target(), kRate);
    std::vector<int> bits(45, 1);
    const auto data = RandomBits(dataBits, seed);
    bits.insert(bits.end(), data.begin(), data.end());
    // Noise power in 3 kHz = signal power / SNR; white noise spreads it over rate / 2.
    const double rms = 8000.0 / std::sqrt(2.0) * std::sqrt(kRate / 2.0 / 3000.0 / std::pow(10.0, snr / 10.0));
    Feed(chain, WithNoise(Fsk(bits, 45.45, 1275.0, 1445.0, 8000.0), rms, seed));
}

TEST(SignalChain, NoisySignalAfterAnIdleLeadKeepsItsBitRate)
{
    for (uint32_t seed : {1u, 2u, 3u}) {
        SettingsModel s;
        Capture capture;
        RunAutomaticRate(s, capture, 45.45, 450, 10.0, seed);
        EXPECT_GE(s.baudrate, 40.0) << seed;
        EXPECT_LE(s.baudrate, 51.0) << seed;
    }
}

// From the stock start of 96 bit/s the faster filters let more noise through, whose short intervals drew the rate
// on to 2000 bit/s: a weak 45.45-baud signal must end up measured within the band of its bit length (about 6 %,
// where noise spreads the intervals and the strongest bin wanders), and stay there.
TEST(SignalChain, WeakSignalIsMeasuredFromAFasterStartRate)
{
    for (double snr : {5.0, 0.0}) {
        for (uint32_t seed : {1u, 2u, 3u, 4u}) {
            SettingsModel s;
            Capture capture;
            RunAutomaticRate(s, capture, 96.0, 900, snr, seed);
            EXPECT_NEAR(s.baudrate, 45.45, 45.45 * 0.06) << snr << " dB, seed " << seed;
            // The second half of the signal is read at that rate.
            const size_t half = capture.samplesPerBit.size() / 2;
            for (size_t i = half; i < capture.samplesPerBit.size(); ++i)
                ASSERT_NEAR(kRate / capture.samplesPerBit[i], 45.45, 45.45 * 0.06)
                    << snr << " dB, seed " << seed << ", frame " << i;
        }
    }
}

TEST(SignalChain, TonesOutsideTheBandAreNotDecoded)
{
    const struct {
        double space, mark;
        bool decoded;
    } cases[] = {
        {200.0, 3000.0, true}, {199.5, 3000.0, false}, {1000.0, 3000.5, false},
        {3000.0, 200.0, true}, {1000.0, 150.0, false}, {NAN, 1000.0, false},
    };
    for (const auto &c : cases) {
        SettingsModel s = ManualSettings(c.space, c.mark, 50.0);
        Capture capture;
        SignalChain chain(s, capture.Target(), kRate);
        const std::vector<int16_t> frame(2048, 100);
        chain.ProcessFrame(frame.data(), 4096);
        EXPECT_EQ(capture.calls, c.decoded ? 1 : 0) << c.space << " " << c.mark;
        EXPECT_EQ(chain.Spectrum().Samples()[5], 100) << "the displays see every frame";
    }
}

TEST(SignalChain, EqualTonesAreMovedOneHertzApart)
{
    SettingsModel s = ManualSettings(1000.0, 1000.0, 50.0);
    Capture capture;
    SignalChain chain(s, capture.Target(), kRate);
    const std::vector<int16_t> frame(2048, 0);
    chain.ProcessFrame(frame.data(), 4096);
    EXPECT_EQ(chain.Demodulator().LowFrequency(), 1000);
    EXPECT_EQ(chain.Demodulator().HighFrequency(), 1001);
    EXPECT_EQ(chain.Demodulator().ToneCutOff(), 0);
}

TEST(SignalChain, AutomaticTuningFollowsTheSpectrumWithTheShiftLock)
{
    SettingsModel s = ManualSettings(1000.0, 1500.0, 50.0);
    s.tuneAuto = true;
    s.shiftIndex = 2; // 425 Hz
    Capture capture;
    SignalChain chain(s, capture.Target(), kRate);
    std::vector<int16_t> signal(2048 * 3);
    for (size_t i = 0; i < signal.size(); ++i) {
        const double t = double(i) / kRate;
        signal[i] = int16_t(12000.0 * std::sin(2 * M_PI * 2800.0 * t) + 6000.0 * std::sin(2 * M_PI * 2650.0 * t));
    }
    Feed(chain, signal);
    EXPECT_EQ(s.space, 2575.0);
    EXPECT_EQ(s.mark, 3000.0);
    EXPECT_EQ(chain.Waterfall().Marker(0), 2575.0f);
    EXPECT_EQ(chain.Spectrum().Marker(1), 3000.0f);
}

// Silent pauses between ARQ blocks: automatic tuning keeps the tones of the signal, the pause is still handed to
// the decoders (their bit clock counts through it), and the search resumes when a signal returns.
TEST(SignalChain, AutomaticTuningKeepsTheTonesThroughASilentPause)
{
    SettingsModel s = ManualSettings(500.0, 2500.0, 100.0);
    s.tuneAuto = true;
    Capture capture;
    SignalChain chain(s, capture.Target(), kRate);
    Feed(chain, Fsk(RandomBits(120, 9), 100.0, 1000.0, 1170.0, 12000.0));
    const int calls = capture.calls;
    ASSERT_GT(calls, 0);
    const double space = s.space;
    const double mark = s.mark;
    EXPECT_NEAR(space, 1000.0, 50.0);
    EXPECT_NEAR(mark, 1170.0, 50.0);

    const std::vector<int16_t> silence(SignalChain::kFrameSize * 3, 0);
    Feed(chain, silence);
    EXPECT_EQ(capture.calls, calls + 3);
    EXPECT_EQ(s.space, space);
    EXPECT_EQ(s.mark, mark);
    EXPECT_EQ(chain.Demodulator().LowFrequency(), int32_t(space));

    // Mostly pause: a short burst at the start of each frame.
    std::vector<int16_t> bursts = Fsk(RandomBits(60, 4), 100.0, 1000.0, 1170.0, 12000.0);
    for (size_t i = 0; i < bursts.size(); ++i)
        if (i % SignalChain::kFrameSize > SignalChain::kFrameSize / 4)
            bursts[i] = 0;
    Feed(chain, bursts);
    EXPECT_EQ(s.space, space);
    EXPECT_EQ(s.mark, mark);

    Feed(chain, Fsk(RandomBits(120, 2), 100.0, 1500.0, 1670.0, 12000.0));
    EXPECT_NEAR(s.space, 1500.0, 50.0);
    EXPECT_NEAR(s.mark, 1670.0, 50.0);
}

TEST(SignalChain, RateChangesReachEveryRateDependentPart)
{
    SettingsModel s;
    SignalChain chain(s, nullptr, 11025);
    for (uint32_t rate : {8000u, 44100u, 11025u}) {
        chain.SetProcessingRate(rate, false);
        EXPECT_EQ(chain.ProcessingRate(), rate);
        EXPECT_EQ(chain.Demodulator().TableLength(), int32_t(rate));
        EXPECT_EQ(chain.Spectrum().SamplingRate(), float(rate));
        EXPECT_EQ(chain.MajorityWindow(), MajorityWindowFor(rate));
    }
}

TEST(SignalChain, ARateOfZeroIsIgnored)
{
    SettingsModel s;
    SignalChain chain(s, nullptr, 11025);
    chain.SetProcessingRate(0, true);
    EXPECT_EQ(chain.ProcessingRate(), 11025u);
}

TEST(SignalChain, LongFramesAreTakenInFramesOfTheUsualSize)
{
    SettingsModel s = ManualSettings(1275.0, 1445.0, 50.0);
    Capture capture;
    SignalChain chain(s, capture.Target(), kRate);
    const std::vector<int16_t> frame(5000, 0);
    chain.ProcessFrame(frame.data(), 10001);
    EXPECT_EQ(capture.calls, 3);
    EXPECT_EQ(capture.levels.size(), 5000u);
}

TEST(SignalChain, ClippingWithALevelMeterAndTheCpuUsageReadOut)
{
    SettingsModel s = ManualSettings(1275.0, 1445.0, 50.0);
    SignalChain chain(s, nullptr, kRate);
    std::vector<int16_t> frame(2048, 1000);
    frame[77] = 31000;
    chain.ProcessFrame(frame.data(), 4096);
    EXPECT_EQ(chain.ClippingColour(), 0x000080u);

    chain.SetLevelMeter(true);
    frame[77] = -30001;
    chain.ProcessFrame(frame.data(), 4096);
    EXPECT_EQ(chain.ClippingColour(), 0x0000FFu);
    frame[77] = 30000;
    chain.ProcessFrame(frame.data(), 4096);
    EXPECT_EQ(chain.ClippingColour(), 0x000080u);

    // The processing time of the frames is measured: some time, and a finite share of real time.
    EXPECT_GT(chain.CpuUsage(), 0.0);
    EXPECT_TRUE(std::isfinite(chain.CpuUsage())) << chain.CpuUsage();
    // The read-out's smoothing factor 1 holds it where it was.
    s.cpuSmoothing = 1.0;
    const double held = chain.CpuUsage();
    chain.ProcessFrame(frame.data(), 4096);
    EXPECT_EQ(chain.CpuUsage(), held);
}

TEST(SignalChain, ScopeShowsTheSelectedTestPoint)
{
    SettingsModel s = ManualSettings(1275.0, 1445.0, 50.0);
    SignalChain chain(s, nullptr, kRate);
    const auto signal = Fsk(RandomBits(40, 5), 50.0, 1275.0, 1445.0, 9000.0);
    chain.ProcessFrame(signal.data(), 4096);
    for (int i = 0; i < 2048; i += 111)
        ASSERT_EQ(chain.Scope().Samples()[i], signal[size_t(i)]);

    chain.SetScopeTestPoint(kScopeDecision);
    chain.ProcessFrame(signal.data() + 2048, 4096);
    for (int i = 0; i < 2048; ++i)
        ASSERT_EQ(chain.Scope().Samples()[i], chain.Demodulator().DecidedBits()[i]);

    chain.SetScopeTestPoint(kScopeLowIIn);
    chain.ProcessFrame(signal.data() + 4096, 4096);
    for (int i = 0; i < 2048; i += 37)
        ASSERT_EQ(chain.Scope().Samples()[i], chain.Demodulator().FilterInput(ToneFilterDemodulator::kILow)[i]);
}

// ---- tuning rules ----

struct Tuning : ::testing::Test {
    SettingsModel s = ManualSettings(1000.0, 1170.0, 50.0);
    SignalChain chain{s, nullptr, kRate};

    void ExpectMarkers(float f0, float f1)
    {
        for (SignalDisplay *d : {&chain.Spectrum(), &chain.Waterfall()}) {
            EXPECT_EQ(d->Marker(0), f0);
            EXPECT_EQ(d->Marker(1), f1);
        }
    }
};

TEST_F(Tuning, DraggingMarkerZeroWithShiftKeepsTheShiftBelow3000)
{
    s.shiftIndex = 2;
    chain.Waterfall().DragMarker(0, 2700.0);
    ExpectMarkers(2575.0f, 3000.0f);
    EXPECT_EQ(s.space, 2575.0);
    EXPECT_EQ(s.mark, 3000.0);
}

TEST_F(Tuning, DraggingMarkerOneWithShiftKeepsTheShiftAboveZero)
{
    s.shiftIndex = 3;
    chain.Spectrum().DragMarker(1, 600.5);
    ExpectMarkers(0.0f, 850.0f);
    EXPECT_EQ(s.space, 1.0); // the field's lowest value
    EXPECT_EQ(s.mark, 850.0);
}

TEST_F(Tuning, WithAnyShiftOnlyTheDraggedMarkerMoves)
{
    chain.Spectrum().DragMarker(1, 2222.7);
    ExpectMarkers(1000.0f, 2222.0f);
    EXPECT_EQ(s.mark, 2222.0);
    s.tuneAuto = true;
    chain.Spectrum().DragMarker(0, 1500.0);
    ExpectMarkers(1500.0f, 2222.0f);
    EXPECT_EQ(s.space, 1000.0) << "automatic tuning keeps the fields";
}

TEST_F(Tuning, EditingMarkWithShiftMovesSpace)
{
    s.shiftIndex = 3;
    chain.Tuning().MarkEdited(600.0);
    ExpectMarkers(0.0f, 850.0f);
    EXPECT_EQ(s.space, 1.0);
    EXPECT_EQ(s.mark, 850.0);

    chain.Tuning().MarkEdited(2000.0);
    ExpectMarkers(1150.0f, 2000.0f);
    EXPECT_EQ(s.space, 1150.0);
    EXPECT_EQ(s.mark, 2000.0);
}

TEST_F(Tuning, EditingSpaceWithShiftMovesMark)
{
    s.shiftIndex = 1;
    chain.Tuning().SpaceEdited(1275.0);
    ExpectMarkers(1275.0f, 1445.0f);
    EXPECT_EQ(s.mark, 1445.0);

    s.shiftIndex = 2;
    chain.Tuning().SpaceEdited(2800.0);
    ExpectMarkers(2575.0f, 3000.0f);
    EXPECT_EQ(s.space, 2575.0);
    EXPECT_EQ(s.mark, 3000.0);
}

TEST_F(Tuning, ChangingTheShiftAppliesTheLockToMarkerZero)
{
    s.shiftIndex = 1;
    chain.Tuning().ShiftChanged();
    ExpectMarkers(1000.0f, 1170.0f);
    s.shiftIndex = 3;
    chain.Tuning().ShiftChanged();
    ExpectMarkers(1000.0f, 1850.0f);
    EXPECT_EQ(s.mark, 1850.0);
}

TEST_F(Tuning, BitTimingMarkersStayOneAndTwoPeriodsApart)
{
    chain.BitTiming(1).DragTimeMarker(1, 0.04);
    for (int d = 0; d < 2; ++d) {
        EXPECT_DOUBLE_EQ(chain.BitTiming(d).TimeMarker(0), 0.02);
        EXPECT_DOUBLE_EQ(chain.BitTiming(d).TimeMarker(1), 0.04);
    }
    EXPECT_DOUBLE_EQ(s.baudrate, 50.0);

    chain.BitTiming(0).DragTimeMarker(0, 0.0001);
    EXPECT_DOUBLE_EQ(chain.BitTiming(1).TimeMarker(0), 0.0005);
    EXPECT_DOUBLE_EQ(s.baudrate, 2000.0);

    chain.Tuning().BaudrateEdited(100.0);
    EXPECT_DOUBLE_EQ(chain.BitTiming(0).TimeMarker(1), 0.02);
    EXPECT_DOUBLE_EQ(s.baudrate, 100.0);

    // Slower than the displays can show: the markers stop at their edge, the typed rate stands.
    chain.Tuning().BaudrateEdited(10.0);
    EXPECT_DOUBLE_EQ(chain.BitTiming(0).TimeMarker(0), 0.05);
    EXPECT_DOUBLE_EQ(s.baudrate, 10.0);
}

// ---- every demodulator ----

struct DemodulatorCase {
    const char *name;
    DemodulatorChoice choice;
    double baud, space, mark;
    bool inverted; // the phase discriminator gives 1 for the upper tone, the tone filters for the lower
};

class EveryDemodulator : public ::testing::TestWithParam<DemodulatorCase> {};

// Finds the delay that fits best and counts the bits that differ at bit centres after the start-up.
TEST_P(EveryDemodulator, RecoversTheBitsOfACleanSignal)
{
    const DemodulatorCase &c = GetParam();
    SettingsModel s = ManualSettings(c.space, c.mark, c.baud);
    s.SetDemodulator(c.choice);
    Capture capture;
    SignalChain chain(s, capture.Target(), kRate);
    const size_t count = size_t(c.baud * 6);
    const auto bits = RandomBits(count, 11);
    Feed(chain, Fsk(bits, c.baud, c.space, c.mark, 10000.0));

    const double samplesPerBit = kRate / c.baud;
    const size_t first = size_t(c.baud / 2); // half a second to settle
    const int maxDelay = int(samplesPerBit) + 400;
    const size_t usable = size_t((double(capture.levels.size()) - maxDelay) / samplesPerBit) - 1;
    ASSERT_GT(usable, first + 100);
    int bestErrors = INT32_MAX;
    int bestDelay = 0;
    for (int delay = 0; delay < maxDelay; ++delay) {
        int errors = 0;
        for (size_t k = first; k < usable; ++k) {
            const size_t at = size_t((double(k) + 0.5) * samplesPerBit) + size_t(delay);
            errors += capture.levels[at] != (c.inverted ? 1 - bits[k] : bits[k]);
        }
        if (errors < bestErrors) {
            bestErrors = errors;
            bestDelay = delay;
        }
    }
    EXPECT_EQ(bestErrors, 0) << c.name << " delay " << bestDelay;
    EXPECT_DOUBLE_EQ(capture.samplesPerBit.back(), samplesPerBit);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, EveryDemodulator,
    ::testing::Values(DemodulatorCase{"plain", kDemodPlain, 50.0, 1275.0, 1445.0, false},
                      DemodulatorCase{"plain425", kDemodPlain, 100.0, 1000.0, 1425.0, false},
                      DemodulatorCase{"optimal", kDemodOptimal, 50.0, 1275.0, 1445.0, false},
                      DemodulatorCase{"optimal850", kDemodOptimal, 75.0, 1000.0, 1850.0, false},
                      DemodulatorCase{"highspeed", kDemodHighSpeed, 300.0, 1000.0, 1850.0, true},
                      DemodulatorCase{"correlative", kDemodCorrelative, 50.0, 1275.0, 1445.0, false},
                      DemodulatorCase{"correlative300", kDemodCorrelative, 300.0, 1000.0, 1850.0, false},
                      DemodulatorCase{"weak", kDemodWeakSignal, 50.0, 1275.0, 1445.0, false},
                      DemodulatorCase{"weak300", kDemodWeakSignal, 300.0, 1000.0, 1850.0, false},
                      DemodulatorCase{"weak1200", kDemodWeakSignal, 1200.0, 1200.0, 2200.0, false}),
    [](const ::testing::TestParamInfo<DemodulatorCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace sirrel
