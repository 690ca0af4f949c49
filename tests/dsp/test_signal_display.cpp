// SignalDisplay: buffer geometry, limits of markers and scales, and the spectrum levels.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/signal_display.h"

namespace sirrel {
namespace {

std::vector<int16_t> Sine(double hertz, double rate, double amplitude, size_t count)
{
    std::vector<int16_t> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = int16_t(amplitude * std::sin(2.0 * M_PI * hertz * double(i) / rate));
    return out;
}

// A spectrum display as the decoder window has it.
void MakeSpectrum(SignalDisplay &d, double maximum)
{
    d.SetMode(kDisplaySpectrum);
    d.SetBufferSize(2048);
    d.SetFFTWindowType(4);
    d.SetSamplingRate(11025.0f);
    d.SetMaximumFrequency(maximum);
}

TEST(SignalDisplay, BufferSizeIsRoundedUpToAPowerOfTwo)
{
    const struct {
        uint32_t asked, stored;
    } cases[] = {{1000, 1024}, {2048, 2048}, {1200, 2048}, {3, 4}, {0, 1}};
    for (const auto &c : cases) {
        SignalDisplay d;
        d.SetBufferSize(c.asked);
        EXPECT_EQ(d.BufferSize(), c.stored) << c.asked;
    }
}

TEST(SignalDisplay, BufferSizeChangeClearsSamplesAndLevels)
{
    SignalDisplay d;
    MakeSpectrum(d, 3000.0);
    const auto tone = Sine(1000.0, 11025.0, 10000.0, 2048);
    d.FeedSamples(tone.data(), 2048, 1);
    d.SetBufferSize(1024);
    ASSERT_EQ(d.MagnitudeCount(), 512u);
    for (uint32_t k = 0; k < 512; ++k)
        ASSERT_EQ(d.Magnitudes()[k], 0.0f);
    for (uint32_t i = 0; i < 1024; ++i)
        ASSERT_EQ(d.Samples()[i], 0);
}

TEST(SignalDisplay, MaximumFrequencyOfZeroMovesTheMinimumBelowIt)
{
    SignalDisplay d;
    d.SetMaximumFrequency(0.0);
    EXPECT_DOUBLE_EQ(d.MaximumFrequency(), 0.001);
    EXPECT_DOUBLE_EQ(d.MinimumFrequency(), 0.999 * 0.001);
}

TEST(SignalDisplay, MarkersStayInsideTheShownRange)
{
    SignalDisplay d;
    d.SetMaximumFrequency(3000.0);
    d.SetMarkerCount(2);
    EXPECT_EQ(d.MarkerRecord(1).flags, 0x07);
    EXPECT_EQ(d.Marker(1), 0.0f);
    d.SetMarker(0, 3500.0);
    d.SetMarker(1, -20.0);
    EXPECT_EQ(d.Marker(0), 3000.0f);
    EXPECT_EQ(d.Marker(1), 0.0f);

    // A repaint is asked for only when the stored value changes; bad indices change nothing.
    const uint32_t updates = d.UpdateCount();
    d.SetMarker(0, 3000.0);
    d.SetMarker(2, 100.0);
    d.SetMarker(-1, 100.0);
    EXPECT_EQ(d.UpdateCount(), updates);
    d.SetMarker(0, 1200.5);
    EXPECT_EQ(d.Marker(0), 1200.5f);
    EXPECT_EQ(d.UpdateCount(), updates + 1);

    d.SetMaximumFrequency(1000.0);
    EXPECT_EQ(d.Marker(0), 1000.0f);
}

TEST(SignalDisplay, LinearTopIsLimitedToZeroToOne)
{
    SignalDisplay d;
    const struct {
        float asked, stored;
    } cases[] = {{2.0f, 1.0f}, {0.25f, 0.25f}, {0.0f, 1e-9f}, {-3.0f, 1e-9f}};
    for (const auto &c : cases) {
        d.SetLinearTop(c.asked);
        EXPECT_FLOAT_EQ(d.LinearTop(), c.stored) << c.asked;
    }
}

TEST(SignalDisplay, TimeMarkersStayInsideTheScopeWidth)
{
    SignalDisplay d;
    d.SetDivisions(10);
    d.SetSecondsPerDivision(0.005);
    d.SetTimeMarkerCount(5);
    EXPECT_EQ(d.TimeMarkerCount(), 2);
    EXPECT_DOUBLE_EQ(d.SetTimeMarker(0, 0.02), 0.02);
    EXPECT_DOUBLE_EQ(d.SetTimeMarker(1, 0.1), 0.05);
    EXPECT_DOUBLE_EQ(d.SetTimeMarker(1, -1.0), 0.0);
    EXPECT_DOUBLE_EQ(d.SetTimeMarker(2, 0.01), 0.0);
    d.SetDivisions(0);
    EXPECT_EQ(d.Divisions(), 1);
    EXPECT_DOUBLE_EQ(d.TimeMarker(0), 0.005);
}

TEST(SignalDisplay, LevelLineStaysBetweenBottomAndFullScale)
{
    SignalDisplay d;
    d.SetFullScale(2.0);
    d.SetBottom(-1.0);
    d.SetLevelLine(5.0);
    EXPECT_DOUBLE_EQ(d.LevelLine(), 2.0);
    d.SetLevelLine(0.5);
    d.SetFullScale(0.25);
    EXPECT_DOUBLE_EQ(d.LevelLine(), 0.25);
}

TEST(SignalDisplay, FeedTakesEveryStrideValueUpToTheBufferSize)
{
    SignalDisplay d;
    d.SetBufferSize(4);
    const int32_t counts[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    d.FeedCounters(counts, 5, 2);
    EXPECT_EQ(d.Samples()[0], 1);
    EXPECT_EQ(d.Samples()[1], 3);
    EXPECT_EQ(d.Samples()[3], 7);
}

TEST(SignalDisplay, FullScaleToneAtABinShowsNearZeroDecibels)
{
    SignalDisplay d;
    MakeSpectrum(d, 3000.0);
    const double bin = 200.0;
    const auto tone = Sine(bin * 11025.0 / 2048.0, 11025.0, 32767.0, 2048);
    d.FeedSamples(tone.data(), 2048, 1);
    const float *level = d.Magnitudes();
    EXPECT_NEAR(level[200], 0.0, 0.1);
    EXPECT_LT(level[150], -60.0);
    // Bins beyond the shown range are not computed.
    EXPECT_EQ(level[600], 0.0f);
}

TEST(SignalDisplay, NarrowRangeGivesTheSameLevelsAsTheWholeTransform)
{
    // 0 ... 100 Hz covers 19 bins, fewer than 2048 / 12: those are computed one by one.
    SignalDisplay whole;
    SignalDisplay narrow;
    MakeSpectrum(whole, 3000.0);
    MakeSpectrum(narrow, 100.0);
    const auto tone = Sine(60.0, 11025.0, 20000.0, 2048);
    whole.FeedSamples(tone.data(), 2048, 1);
    narrow.FeedSamples(tone.data(), 2048, 1);
    for (uint32_t k = 1; k <= 18; ++k)
        EXPECT_NEAR(narrow.Magnitudes()[k], whole.Magnitudes()[k], 0.05) << k;
    EXPECT_EQ(narrow.Magnitudes()[19], 0.0f);
}

TEST(SignalDisplay, AveragingMixesTheNewLevelWithThePrevious)
{
    SignalDisplay d;
    MakeSpectrum(d, 3000.0);
    d.SetLinear(true);
    const auto tone = Sine(1000.0, 11025.0, 20000.0, 2048);
    d.FeedSamples(tone.data(), 2048, 1);
    const float first = d.Magnitudes()[186];
    ASSERT_GT(first, 0.0f);
    d.SetAveraging(true, 0.25f);
    const std::vector<int16_t> silence(2048, 0);
    d.FeedSamples(silence.data(), 2048, 1);
    EXPECT_FLOAT_EQ(d.Magnitudes()[186], 0.75f * first);
}

TEST(SignalDisplay, DraggingAMarkerTellsTheCallBack)
{
    SignalDisplay d;
    d.SetMaximumFrequency(3000.0);
    d.SetMarkerCount(2);
    int calls = 0;
    int32_t moved = -1;
    d.SetMarkerMoved([&](SignalDisplay &display, int32_t index) {
        ++calls;
        moved = index;
        EXPECT_EQ(&display, &d);
        EXPECT_EQ(display.Marker(index), 1500.0f);
    });
    d.DragMarker(1, 1500.0);
    d.DragMarker(5, 1500.0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(moved, 1);
}

} // namespace
} // namespace sirrel
