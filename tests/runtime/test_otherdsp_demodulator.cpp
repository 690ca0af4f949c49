// The receiver back end: each demodulation mode on a signal built for it, the test points, streaming and
// settings.
#include <cmath>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "orurt.h"
#include "otherdsp_test_signals.h"

namespace {

using otherdsp_test::componentPower;
using otherdsp_test::kTwoPi;

constexpr double kRate = 44100.0;
constexpr double kLocal = 11025.0;

// A signal given as a function of time in seconds, sampled at kRate.
std::vector<int16_t> sampled(size_t samples, const std::function<double(double)> &signal)
{
    std::vector<int16_t> x(samples);
    for (size_t n = 0; n < samples; ++n)
        x[n] = int16_t(std::lrint(signal(double(n) / kRate)));
    return x;
}

struct Demodulator {
    OruDemodulator16 d;
    explicit Demodulator(uint32_t mode)
    {
        OruDemodulator16_Construct(&d);
        OruDemodulator_Mode(&d, mode);
        d.IQAGCEnabled = 0; // levels follow the input, so they can be checked
    }
    ~Demodulator() { OruDemodulator_Destruct(&d, 0); }
    Demodulator(const Demodulator &) = delete;
    Demodulator &operator=(const Demodulator &) = delete;

    std::vector<int16_t> run(const std::vector<int16_t> &x)
    {
        std::vector<int16_t> out(2 * (x.size() + 64));
        const int32_t frames = OruDemodulator16_Process_StereoOut_16_16(&d, out.data(), x.data(), int32_t(x.size()), 1);
        out.resize(2 * size_t(frames));
        return out;
    }
};

// Amplitude of one component on one channel (0 left, 1 right) over the second half of the output.
double amplitude(const std::vector<int16_t> &stereo, double hertz, size_t channel)
{
    const size_t frames = stereo.size() / 2;
    return 2.0 * std::sqrt(componentPower(stereo, hertz, kRate, frames / 2, frames, 2, channel));
}

TEST(OruDemodulator16, EnvelopeAndSynchronousModesRecoverAmplitudeModulation)
{
    // Carrier 200 Hz above the oscillator (20 Hz for the carrier loop), 50 % modulated at 1000 Hz.
    auto am = [](double offset) {
        return sampled(44100, [offset](double t) {
            return 10000.0 * (1.0 + 0.5 * std::cos(kTwoPi * 1000.0 * t)) * std::cos(kTwoPi * (kLocal + offset) * t);
        });
    };
    Demodulator envelope(ORU_DEMOD_ENVELOPE);
    const std::vector<int16_t> a = envelope.run(am(200.0));
    ASSERT_EQ(a.size(), 2u * 44100u) << "output rate = input rate / 4 * 4";
    const double tone = amplitude(a, 1000.0, 0);
    EXPECT_GT(tone, 1000.0);
    EXPECT_LT(amplitude(a, 2000.0, 0), 0.05 * tone);
    EXPECT_LT(amplitude(a, 200.0, 0), 0.05 * tone);
    for (size_t n = 0; n < a.size(); n += 2)
        ASSERT_EQ(a[n], a[n + 1]) << "mono audio on both channels";

    Demodulator synchronous(ORU_DEMOD_SYNCHRONOUS);
    const std::vector<int16_t> b = synchronous.run(am(20.0));
    // Envelope: |z| / sqrt 2; locked loop: sqrt 2 |z|. Same post-processing, so twice the level.
    EXPECT_NEAR(amplitude(b, 1000.0, 0) / tone, 2.0, 0.2);
    EXPECT_NEAR(synchronous.d.LoopFrequency, kTwoPi * 20.0 / 11025.0, 0.002) << "the loop found the offset";
}

TEST(OruDemodulator16, IndependentSidebandsSplitLowerLeftAndUpperRight)
{
    struct Case {
        double offset;
        size_t strong;
    };
    for (const Case &c : {Case{1000.0, 1}, Case{-1500.0, 0}}) {
        Demodulator isb(ORU_DEMOD_ISB);
        const std::vector<int16_t> y =
            isb.run(sampled(44100, [&](double t) { return 10000.0 * std::cos(kTwoPi * (kLocal + c.offset) * t); }));
        const double hertz = std::fabs(c.offset);
        const double strong = amplitude(y, hertz, c.strong);
        EXPECT_GT(strong, 2000.0) << c.offset;
        EXPECT_LT(amplitude(y, hertz, 1 - c.strong), 0.03 * strong) << c.offset;
    }
}

TEST(OruDemodulator16, ProductDetectionPlacesTheSignalAroundTheSecondOscillator)
{
    for (double offset : {300.0, -300.0}) {
        Demodulator product(ORU_DEMOD_PRODUCT);
        const std::vector<int16_t> y =
            product.run(sampled(44100, [&](double t) { return 10000.0 * std::cos(kTwoPi * (kLocal + offset) * t); }));
        const double wanted = amplitude(y, 1000.0 + offset, 0);
        EXPECT_GT(wanted, 2000.0) << offset;
        EXPECT_LT(amplitude(y, 1000.0 - offset, 0), 0.03 * wanted) << offset;
    }
}

TEST(OruDemodulator16, DiscriminatorTurnsFrequencyModulationIntoAudio)
{
    // 500 Hz deviation at 1000 Hz: the phase step at the I/Q rate is 2 pi 500 / 11025 at the peaks, scaled by
    // -2^31 / (2 pi) and then by 2^-16.
    const double deviation = 500.0;
    const std::vector<int16_t> x = sampled(44100, [&](double t) {
        return 10000.0 * std::cos(kTwoPi * kLocal * t + deviation / 1000.0 * std::sin(kTwoPi * 1000.0 * t));
    });
    Demodulator fm(ORU_DEMOD_FM);
    const std::vector<int16_t> y = fm.run(x);
    const double expected = 2147483648.0 * deviation / 11025.0 / 65536.0;
    EXPECT_NEAR(amplitude(y, 1000.0, 0), expected, 0.15 * expected);
    EXPECT_LT(amplitude(y, 2000.0, 0), 0.05 * expected);
}

TEST(OruDemodulator16, IQAGCBringsWeakAndStrongSignalsToOneLevel)
{
    for (double level : {1000.0, 20000.0}) {
        Demodulator product(ORU_DEMOD_PRODUCT);
        product.d.IQAGCEnabled = 1;
        // Digital silence first, where the gain runs up, then a steady carrier 300 Hz above the oscillator.
        const std::vector<int16_t> y = product.run(sampled(
            3 * 44100, [level](double t) { return t < 0.05 ? 0.0 : level * std::cos(kTwoPi * (kLocal + 300.0) * t); }));
        const size_t frames = y.size() / 2;
        const double settled = 2.0 * std::sqrt(componentPower(y, 1300.0, kRate, frames - 22050, frames, 2, 0));
        EXPECT_NEAR(settled, 16384.0, 0.15 * 16384.0) << level;
    }
}

TEST(OruDemodulator16, TestPointsRouteInternalSignalsToTheRightChannel)
{
    Demodulator probe(ORU_DEMOD_ENVELOPE);
    OruDemodulator16_TestPoint(&probe.d, ORU_DEMOD_TEST_Q);
    OruDemodulator16_TestPoint(&probe.d, 9); // unknown points are refused
    EXPECT_EQ(probe.d.TestPoint, ORU_DEMOD_TEST_Q);
    const std::vector<int16_t> y =
        probe.run(sampled(44100, [](double t) { return 10000.0 * std::cos(kTwoPi * (kLocal + 500.0) * t); }));
    // The mixer halves a real tone: Q is a 500 Hz sine of amplitude 5000.
    EXPECT_NEAR(amplitude(y, 500.0, 1), 5000.0, 500.0);
    EXPECT_LT(amplitude(y, 500.0, 0), 50.0) << "the left channel still carries the (steady) envelope";
}

TEST(OruDemodulator16, OverloadIsFlaggedAndCounted)
{
    Demodulator d(ORU_DEMOD_ENVELOPE);
    std::vector<int16_t> x(100, 1000);
    x[10] = 32000;
    x[20] = -32000;
    x[30] = 31999;
    d.run(x);
    EXPECT_EQ(d.d.Overload, 1u);
    EXPECT_EQ(d.d.ClipCount, 2u);
    std::vector<int16_t> quiet(100, 0);
    d.run(quiet);
    EXPECT_EQ(d.d.ClipCount, 0u);
    EXPECT_EQ(d.d.Overload, 1u) << "the flag stays until the caller clears it";
}

// Calls of any size, including ones that leave part of a decimation period pending, give one stream.
TEST(OruDemodulator16, BlocksOfAnySizeFormOneStream)
{
    for (uint32_t mode = 0; mode < 5; ++mode) {
        const std::vector<int16_t> x = sampled(6000, [](double t) {
            return 8000.0 * std::cos(kTwoPi * (kLocal + 700.0) * t) + 3000.0 * std::cos(kTwoPi * (kLocal - 1900.0) * t);
        });
        Demodulator whole(mode), pieces(mode);
        whole.d.IQAGCEnabled = pieces.d.IQAGCEnabled = 1;
        OruDemodulator_BufferSize(&pieces.d, 100);
        const std::vector<int16_t> a = whole.run(x);
        std::vector<int16_t> b;
        size_t at = 0;
        for (size_t size : {1, 7, 2, 150, 333, 5507}) {
            std::vector<int16_t> part(x.begin() + long(at), x.begin() + long(at + size));
            const std::vector<int16_t> y = pieces.run(part);
            b.insert(b.end(), y.begin(), y.end());
            at += size;
        }
        EXPECT_EQ(a, b) << "mode " << mode;
    }
}

TEST(OruDemodulator16, SettersClampAndReachTheMemberFilters)
{
    OruDemodulator16 *d = OruDemodulator16_Construct(nullptr);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->AudioFilterLeft.CutOffHigh, 3000.0f);
    EXPECT_EQ(d->HighPass.FIRType, ORU_FIR_HIGHPASS);
    EXPECT_EQ(d->HighPass.TapsNum, 31u);
    EXPECT_EQ(d->ISBFilter.FIRType, ORU_FIR_HILBERT);
    OruDemodulator_IQDecimation(d, 0);
    EXPECT_EQ(d->IQDecimation, 1u);
    OruDemodulator_IQDecimation(d, 100000);
    EXPECT_EQ(d->IQDecimation, 256u);
    OruDemodulator_IQDecimation(d, 2);
    OruDemodulator_AudioUpsample(d, 1);
    OruDemodulator_SamplingRate(d, 22050.0f);
    OruDemodulator_SamplingRate(d, -1.0f);
    EXPECT_EQ(d->SamplingRate, 22050.0f);
    EXPECT_EQ(d->PostMixerI.SamplingRate, 22050.0f);
    EXPECT_EQ(d->HighPass.SamplingRate, 11025.0f);
    EXPECT_EQ(d->AudioFilterRight.SamplingRate, 11025.0f);
    OruDemodulator_PostMixerLength(d, 40);
    EXPECT_EQ(d->PostMixerQ.TapsNum, 41u);
    EXPECT_EQ(d->PostMixerLength, 41u);
    OruDemodulator_ISBFilterLength(d, 31);
    EXPECT_EQ(d->ISBDelay.Delay, 15u);
    OruDemodulator_AudioFilterCutOff(d, 2000.0f);
    EXPECT_EQ(d->AudioFilterLeft.CutOffHigh, 2000.0f);
    OruDemodulator_Mode(d, 5);
    EXPECT_EQ(d->Mode, ORU_DEMOD_ENVELOPE);

    std::vector<int16_t> in(1001, 100);
    std::vector<int16_t> out(2 * 1001, 0);
    EXPECT_EQ(OruDemodulator16_Process_StereoOut_16_16(d, out.data(), in.data(), 1001, 1), 500);
    EXPECT_EQ(d->Pending, 1u);
    // Interleaved input read at a stride; a null output leaves the last chunk in OutputBuffer.
    EXPECT_EQ(OruDemodulator16_Process_StereoOut_16_16(d, nullptr, in.data(), 1000, 2), 250);
    EXPECT_EQ(OruDemodulator16_Process_StereoOut_16_16(d, out.data(), nullptr, 10, 1), 0);
    EXPECT_EQ(OruDemodulator16_Process_StereoOut_16_16(d, out.data(), in.data(), 0, 1), 0);
    EXPECT_EQ(OruDemodulator16_Process_StereoOut_16_16(d, out.data(), in.data(), 10, 0), 0);
    EXPECT_EQ(OruDemodulator16_Process_StereoOut_16_16(nullptr, out.data(), in.data(), 10, 1), 0);
    OruDemodulator_BufferSize(d, 0);
    EXPECT_EQ(d->BufferSize, 1u);
    EXPECT_EQ(OruDemodulator16_Process_StereoOut_16_16(d, out.data(), in.data(), 8, 1), 4);

    // Geometry written straight into the fields is laid out before the next block is processed.
    d->BufferSize = 500;
    d->IQDecimation = 1;
    d->AudioUpsample = 2;
    std::vector<int16_t> wide(2 * 2000);
    EXPECT_EQ(OruDemodulator16_Process_StereoOut_16_16(d, wide.data(), in.data(), 1000, 1), 2000);
    EXPECT_EQ(d->AudioFilterLeft.SamplingRate, 44100.0f);
    d->IQDecimation = 0;
    EXPECT_EQ(OruDemodulator16_Process_StereoOut_16_16(d, wide.data(), in.data(), 10, 1), 20);
    EXPECT_EQ(d->IQDecimation, 1u);
    OruDemodulator_Destruct(d, 1);
    OruDemodulator_Destruct(nullptr, 1);
}

} // namespace
