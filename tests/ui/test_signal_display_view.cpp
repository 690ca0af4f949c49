// The tuning displays on screen: what they draw from a SignalDisplay and what the mouse does to its markers, with
// the tuning rules behind the markers as the decoder window wires them.
#include <chrono>
#include <cmath>
#include <set>
#include <thread>
#include <vector>

#include "dsp/tuning_rules.h"
#include "headless_fixture.h"
#include "ui/frame.h"
#include "ui/signal_display_view.h"

namespace sirrel::test {
namespace {

constexpr int32_t kPlotWidth = 301; // 10 Hz per pixel over 0 .. 3000 Hz
constexpr int32_t kPlotHeight = 100;
constexpr int32_t kScopeWidth = 201; // 0.25 ms per pixel over 10 x 5 ms
constexpr uint32_t kMarkerPixel = 0xFFFF00;
constexpr uint32_t kTracePixel = 0x00FF00;
constexpr uint32_t kLevelLinePixel = 0xA00000;
constexpr uint32_t kTimeMarkerPixels[] = {0xFFFF00, 0x00FFFF};

std::vector<int16_t> Tone(double hertz, double amplitude)
{
    std::vector<int16_t> samples(2048);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(amplitude * std::sin(2.0 * M_PI * hertz * double(i) / 11025.0));
    return samples;
}

class DisplayViews : public HeadlessUi {
protected:
    DisplayViews()
    {
        EXPECT_TRUE(frame.CreateFrame(nullptr, 0, 0, 700, 600, "Tuning", true));
        frame.ShowCommand(kShowShow);
        settings.tuneAuto = false;
        for (SignalDisplay *d : {&spectrum, &waterfall}) {
            d->SetMode(d == &spectrum ? kDisplaySpectrum : kDisplayWaterfall);
            d->SetBufferSize(2048);
            d->SetFFTWindowType(4);
            d->SetSamplingRate(11025.0f);
            d->SetMaximumFrequency(3000.0);
            d->SetMarkerCount(2);
            d->SetMarkerMoved([this](SignalDisplay &display, int32_t index) { rules.ToneMarkerMoved(display, index); });
        }
        for (SignalDisplay *d : {&rawTiming, &enhancedTiming}) {
            d->SetMode(kDisplayScope);
            d->SetBufferSize(1200);
            d->SetSamplingRate(11025.0f);
            d->SetDivisions(10);
            d->SetSecondsPerDivision(0.005);
            d->SetTimeMarkerCount(2);
            d->SetFullScale(d == &rawTiming ? 1200.0 : 4800.0);
            d->SetBottom(0.0);
            d->SetMarkerMoved(
                [this](SignalDisplay &display, int32_t index) { rules.BitTimingMarkerMoved(display, index); });
        }
    }

    uint32_t Handle() const { return frame.NativeHandle(); }
    void Drag(const Oru_Window &view, int32_t fromX, int32_t toX)
    {
        display->Drag(Handle(), view.OffsetX() + fromX, view.OffsetY() + 40, view.OffsetX() + toX, view.OffsetY() + 40);
        PumpMessages();
    }
    void Click(const Oru_Window &view, int32_t x)
    {
        display->Click(Handle(), view.OffsetX() + x, view.OffsetY() + 40);
        PumpMessages();
    }
    // What the frame shows after the views took in the displays' changes, as their timers would.
    struct Picture {
        HeadlessDriver::WindowRecord record;
        // A pixel of a view by its own coordinates, 0x00RRGGBB.
        uint32_t At(const Oru_Window &view, int32_t x, int32_t y) const
        {
            const size_t at = size_t(view.OffsetY() + y) * size_t(record.spec.width) + size_t(view.OffsetX() + x);
            return at < record.pixels.size() ? record.pixels[at] : 0xFFFFFFFF;
        }
        // The topmost row of a view's column drawn in `color`, or -1.
        int32_t TopOf(const Oru_Window &view, int32_t x, uint32_t color) const
        {
            for (int32_t y = 0; y < view.Height(); ++y)
                if (At(view, x, y) == color)
                    return y;
            return -1;
        }
    };
    Picture Shown(std::initializer_list<SignalDisplayView *> views)
    {
        for (SignalDisplayView *view : views)
            view->Refresh();
        frame.Paint();
        return {display->Record(Handle())};
    }

    SettingsModel settings;
    SignalDisplay spectrum, waterfall, rawTiming, enhancedTiming;
    TuningRules rules{settings, spectrum, waterfall, rawTiming, enhancedTiming};
    Oru_Frame frame;
};

TEST_F(DisplayViews, DraggingAToneMarkerKeepsTheShiftOnBothDisplays)
{
    SignalDisplayView spectrumView, waterfallView;
    ASSERT_TRUE(spectrumView.CreateDisplayView(&frame, 10, 40, kPlotWidth, kPlotHeight, spectrum));
    ASSERT_TRUE(waterfallView.CreateDisplayView(&frame, 10, 150, kPlotWidth, kPlotHeight, waterfall));
    const struct {
        int32_t shiftIndex;
        bool onWaterfall;
        int32_t f0, f1; // before
        int32_t fromX, toX;
        int32_t space, mark; // markers after
    } cases[] = {
        {2, false, 1000, 1425, 100, 270, 2575, 3000}, // 425 Hz: the upper tone would pass 3000 Hz
        {2, true, 1000, 1425, 100, 270, 2575, 3000},
        {1, false, 1000, 1170, 117, 10, 0, 170}, // 170 Hz: the lower tone would fall below 0 Hz
        {3, true, 1000, 1850, 100, 120, 1200, 2050},
        {0, false, 1000, 1200, 120, 200, 1000, 2000}, // "Any": only the dragged marker moves
        {0, true, 1000, 1200, 100, 50, 500, 1200},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "shift " << c.shiftIndex << " from " << c.fromX << " to " << c.toX);
        settings.shiftIndex = c.shiftIndex;
        rules.SetToneMarkers(c.f0, c.f1);
        Drag(c.onWaterfall ? waterfallView : spectrumView, c.fromX, c.toX);
        for (const SignalDisplay *d : {&spectrum, &waterfall}) {
            EXPECT_EQ(d->Marker(0), c.space);
            EXPECT_EQ(d->Marker(1), c.mark);
        }
        EXPECT_EQ(settings.mark, c.mark);
        if (c.space > 0) {
            EXPECT_EQ(settings.space, c.space);
        }
    }
}

TEST_F(DisplayViews, AClickMovesTheNearerToneMarkerOnly)
{
    SignalDisplayView view;
    ASSERT_TRUE(view.CreateDisplayView(&frame, 10, 40, kPlotWidth, kPlotHeight, waterfall));
    settings.shiftIndex = 0;
    rules.SetToneMarkers(1000, 1200);
    // The pointer shows where a marker can be taken.
    const struct {
        int32_t x;
        Cursor cursor;
    } hovers[] = {{100, Cursor::SizeHorizontal}, {122, Cursor::SizeHorizontal}, {110, Cursor::Arrow}};
    for (const auto &h : hovers) {
        display->PostMessage(Handle(), kMsgMouseMove, 0, PackPoint(view.OffsetX() + h.x, view.OffsetY() + 40));
        PumpMessages();
        EXPECT_EQ(display->LastCursor(), h.cursor) << "at " << h.x;
    }
    Click(view, 150);
    EXPECT_EQ(waterfall.Marker(0), 1000.0f);
    EXPECT_EQ(waterfall.Marker(1), 1500.0f);
    Click(view, 20);
    EXPECT_EQ(waterfall.Marker(0), 200.0f);
    EXPECT_EQ(spectrum.Marker(0), 200.0f);
    // Far outside the plot the marker stops at the shown range.
    Click(view, kPlotWidth - 1);
    display->Drag(Handle(), view.OffsetX() + kPlotWidth - 1, view.OffsetY() + 40, view.OffsetX() + 5000,
                  view.OffsetY() + 40);
    PumpMessages();
    EXPECT_EQ(waterfall.Marker(1), 3000.0f);
}

TEST_F(DisplayViews, MarkersAreDrawnWhereTheRulesPutThem)
{
    SignalDisplayView spectrumView, waterfallView;
    ASSERT_TRUE(spectrumView.CreateDisplayView(&frame, 10, 40, kPlotWidth, kPlotHeight, spectrum));
    ASSERT_TRUE(waterfallView.CreateDisplayView(&frame, 10, 150, kPlotWidth, kPlotHeight, waterfall));
    rules.SetToneMarkers(1000, 1170);
    settings.shiftIndex = 3;
    rules.MarkEdited(600); // 850 Hz: Space would be below 0 Hz
    EXPECT_EQ(spectrum.Marker(0), 0.0f);
    EXPECT_EQ(spectrum.Marker(1), 850.0f);
    const Picture picture = Shown({&spectrumView, &waterfallView});
    for (const SignalDisplayView *view : {&spectrumView, &waterfallView}) {
        EXPECT_EQ(picture.At(*view, 0, 50), kMarkerPixel);
        EXPECT_EQ(picture.At(*view, 85, 50), kMarkerPixel);
        EXPECT_NE(picture.At(*view, 100, 50), kMarkerPixel);
        EXPECT_NE(picture.At(*view, 117, 50), kMarkerPixel);
    }
}

TEST_F(DisplayViews, SpectrumPeaksAtTheToneInEachStyleAndScale)
{
    SignalDisplayView view;
    ASSERT_TRUE(view.CreateDisplayView(&frame, 10, 40, kPlotWidth, kPlotHeight, spectrum));
    rules.SetToneMarkers(2500, 2900);
    const std::vector<int16_t> tone = Tone(1000.0, 16000.0);
    const struct {
        int32_t style;
        bool linear;
        float top;
    } cases[] = {
        {kStyleLine, false, 1.0f}, {kStyleBars, false, 1.0f}, {kStyleLine, true, 1.0f}, {kStyleBars, true, 0.01f}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style << " linear " << c.linear << " top " << c.top);
        spectrum.SetStyle(c.style);
        spectrum.SetLinear(c.linear);
        spectrum.SetLinearTop(c.top);
        spectrum.FeedSamples(tone.data(), uint32_t(tone.size()), 1);
        const Picture picture = Shown({&view});
        int32_t peakX = -1, peakY = kPlotHeight;
        for (int32_t x = 0; x < kPlotWidth; ++x) {
            const int32_t y = picture.TopOf(view, x, kTracePixel);
            if (y >= 0 && y < peakY) {
                peakX = x;
                peakY = y;
            }
        }
        EXPECT_NEAR(peakX, 100, 2);
        if (c.style == kStyleBars) {
            EXPECT_EQ(picture.At(view, peakX, kPlotHeight - 1), kTracePixel);
        }
        if (c.linear && c.top < 0.1f) {
            EXPECT_EQ(peakY, 0); // a gain of 100 lifts the tone past the top
        } else if (c.linear) {
            EXPECT_GT(peakY, kPlotHeight / 2);
        } else {
            EXPECT_LT(peakY, kPlotHeight / 2);
        }
    }
}

TEST_F(DisplayViews, WaterfallAddsOneRowPerFeedAndNoneForAMarkerMove)
{
    SignalDisplayView view;
    ASSERT_TRUE(view.CreateDisplayView(&frame, 10, 40, kPlotWidth, kPlotHeight, waterfall));
    view.SetPalette(false, true); // black ground, bright peaks
    const OruDynamicPixMap &map = view.WaterfallMap();
    ASSERT_EQ(map.Width, kPlotWidth);
    ASSERT_EQ(map.Height, kPlotHeight);
    auto pixel = [&](int32_t x, int32_t row) {
        return reinterpret_cast<const uint32_t *>(map.Pixels + size_t(row) * map.Stride)[x];
    };
    const uint32_t ground = pixel(100, 0);
    const std::vector<int16_t> tone = Tone(1000.0, 16000.0);

    waterfall.FeedSamples(tone.data(), uint32_t(tone.size()), 1);
    view.Refresh();
    const uint32_t peak = pixel(100, 0);
    EXPECT_NE(peak, ground);
    EXPECT_EQ(pixel(100, 1), ground);

    waterfall.SetMarker(0, 700.0);
    view.Refresh();
    EXPECT_EQ(pixel(100, 1), ground);

    waterfall.FeedSamples(tone.data(), uint32_t(tone.size()), 1);
    waterfall.FeedSamples(tone.data(), uint32_t(tone.size()), 1);
    view.Refresh();
    EXPECT_EQ(pixel(100, 2), peak);
    EXPECT_EQ(pixel(100, 3), ground);

    // More feeds than rows between two looks fill the map and no further.
    for (int32_t i = 0; i < kPlotHeight + 5; ++i)
        waterfall.FeedSamples(tone.data(), uint32_t(tone.size()), 1);
    view.Refresh();
    EXPECT_EQ(pixel(100, kPlotHeight - 1), peak);
}

TEST_F(DisplayViews, PaletteHasTwentyStepsOrASmoothRampEitherWayRound)
{
    SignalDisplayView view;
    ASSERT_TRUE(view.CreateDisplayView(&frame, 10, 40, kPlotWidth, kPlotHeight, waterfall));
    const struct {
        bool smooth, inverted;
        uint32_t first, last;
        size_t distinct;
    } cases[] = {
        {false, false, 0xFFFFFF, 0x000000, 20},
        {false, true, 0x000000, 0xFFFFFF, 20},
        {true, false, 0xFFFFFF, 0x000000, 256},
        {true, true, 0x000000, 0xFFFFFF, 256},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "smooth " << c.smooth << " inverted " << c.inverted);
        view.SetPalette(c.smooth, c.inverted);
        EXPECT_EQ(view.PaletteEntry(0), c.first);
        EXPECT_EQ(view.PaletteEntry(255), c.last);
        std::set<uint32_t> seen;
        for (int32_t j = 0; j < SignalDisplayView::kPaletteSize; ++j) {
            seen.insert(view.PaletteEntry(j));
            // Grey, and never turning back on the way from one end to the other.
            const uint32_t level = view.PaletteEntry(j) & 0xFF;
            EXPECT_EQ(view.PaletteEntry(j), level * 0x010101);
            if (j > 0) {
                const uint32_t before = view.PaletteEntry(j - 1) & 0xFF;
                EXPECT_TRUE(c.inverted ? level >= before : level <= before);
            }
        }
        EXPECT_EQ(seen.size(), c.distinct);
        if (!c.smooth) { // steps of 13 entries
            EXPECT_EQ(view.PaletteEntry(12), view.PaletteEntry(0));
            EXPECT_NE(view.PaletteEntry(13), view.PaletteEntry(12));
        }
    }
}

TEST_F(DisplayViews, DraggingABitTimingMarkerSetsTheBaudrateAndTheReadout)
{
    SignalDisplayView rawView, enhancedView;
    ASSERT_TRUE(rawView.CreateDisplayView(&frame, 10, 40, kScopeWidth, kPlotHeight, rawTiming));
    ASSERT_TRUE(enhancedView.CreateDisplayView(&frame, 10, 150, kScopeWidth, kPlotHeight, enhancedTiming));
    const struct {
        bool enhanced;
        int32_t fromX, toX;
        double baud;
        const char *readout;
    } cases[] = {
        {false, 80, 40, 100.0, "1=10ms, 2=20ms, 2-1=10ms"},   // marker 0, from 20 ms (50 Bd) to 10 ms
        {true, 160, 120, 66.667, "1=15ms, 2=30ms, 2-1=15ms"}, // marker 1, from 40 ms to 30 ms
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.readout);
        rules.BaudrateEdited(50.0);
        Drag(c.enhanced ? enhancedView : rawView, c.fromX, c.toX);
        EXPECT_NEAR(settings.baudrate, c.baud, 0.01);
        EXPECT_EQ(rawView.TimeReadout(), c.readout);
        EXPECT_EQ(enhancedView.TimeReadout(), c.readout);
        const Picture picture = Shown({&rawView, &enhancedView});
        for (const SignalDisplayView *view : {&rawView, &enhancedView})
            for (int32_t i = 0; i < 2; ++i)
                EXPECT_EQ(picture.At(*view, view->TimeToX(rawTiming.TimeMarker(i)), 50), kTimeMarkerPixels[i]);
    }
}

TEST_F(DisplayViews, ScopeDrawsTheCountsBetweenBottomAndFullScale)
{
    SignalDisplayView view;
    ASSERT_TRUE(view.CreateDisplayView(&frame, 10, 40, kScopeWidth, kPlotHeight, rawTiming));
    rawTiming.SetTimeMarkerCount(0);
    // A histogram with one full bar at 10 ms and half bars at 20 ms.
    std::vector<int32_t> counts(1200, 0);
    counts[110] = 1200;
    counts[220] = 600;
    rawTiming.FeedCounters(counts.data(), uint32_t(counts.size()), 1);
    rawTiming.SetLevelLine(300.0);
    const int32_t at10ms = view.TimeToX(110 / 11025.0);
    const int32_t at20ms = view.TimeToX(220 / 11025.0);
    const Picture picture = Shown({&view});
    EXPECT_EQ(picture.TopOf(view, at10ms, kTracePixel), 0);
    EXPECT_NEAR(picture.TopOf(view, at20ms, kTracePixel), kPlotHeight / 2, 1);
    EXPECT_EQ(picture.TopOf(view, 150, kLevelLinePixel), 74); // a quarter up from the bottom row
    EXPECT_EQ(view.TimeReadout(), "");
}

TEST_F(DisplayViews, TriggeredScopeStartsWhereTheSignalRisesThroughTheLevelLine)
{
    SignalDisplayView view;
    ASSERT_TRUE(view.CreateDisplayView(&frame, 10, 40, kScopeWidth, kPlotHeight, rawTiming));
    rawTiming.SetTimeMarkerCount(0);
    rawTiming.SetLevelLine(600.0);
    // 2048 samples (the size rounded up) of which 552 are shown (10 x 5 ms): a rise at sample `rise` leaves room
    // for a full trace after it only up to sample 1496.
    struct Case {
        bool triggered;
        uint32_t rise;
        int32_t firstRow;
    };
    for (const Case &c : {Case{false, 300, kPlotHeight - 1}, Case{true, 300, 0}, Case{true, 1496, 0},
                          Case{true, 1497, kPlotHeight - 1}, Case{true, 2048, kPlotHeight - 1}}) {
        std::vector<int32_t> counts(rawTiming.BufferSize(), 0);
        for (uint32_t i = c.rise; i < counts.size(); ++i)
            counts[i] = 1200;
        rawTiming.FeedCounters(counts.data(), uint32_t(counts.size()), 1);
        view.SetTriggered(c.triggered);
        const Picture picture = Shown({&view});
        EXPECT_EQ(picture.TopOf(view, 0, kTracePixel), c.firstRow) << c.triggered << " " << c.rise;
    }
}

TEST_F(DisplayViews, RepaintsOnlyWhenTheDisplayChanged)
{
    SignalDisplayView view;
    ASSERT_TRUE(view.CreateDisplayView(&frame, 10, 40, kPlotWidth, kPlotHeight, spectrum));
    PumpMessages();
    const uint32_t before = view.ContentPaints();
    view.Refresh();
    PumpMessages();
    EXPECT_EQ(view.ContentPaints(), before);

    // The feed comes from another thread; the view's timer notices it.
    const std::vector<int16_t> tone = Tone(1000.0, 16000.0);
    std::thread([&] { spectrum.FeedSamples(tone.data(), uint32_t(tone.size()), 1); }).join();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (view.ContentPaints() == before && std::chrono::steady_clock::now() < deadline) {
        PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GT(view.ContentPaints(), before);
}

TEST_F(DisplayViews, DegenerateDisplaysAndSizesDrawAndTakeTheMouse)
{
    const struct {
        int32_t mode;
        uint32_t bufferSize;
        int32_t width, height;
        double maximum;
    } cases[] = {
        {kDisplaySpectrum, 1, 1, 1, 3000.0},    {kDisplaySpectrum, 2048, 2, 2, 0.0},
        {kDisplayWaterfall, 1, 1, 1, 3000.0},   {kDisplayWaterfall, 2048, 3, 600, 1e9},
        {kDisplayScope, 1, 1, 1, 3000.0},       {kDisplayScope, 1 << 16, 300, 2, 3000.0},
        {kDisplaySpectrum, 2048, 600, 3, 1e-6},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " size " << c.bufferSize << " " << c.width << "x"
                                        << c.height);
        SignalDisplay d;
        d.SetMode(c.mode);
        d.SetBufferSize(c.bufferSize);
        d.SetMaximumFrequency(c.maximum);
        d.SetMarkerCount(2);
        d.SetTimeMarkerCount(2);
        d.SetSecondsPerDivision(1e6); // more samples than the buffer holds
        SignalDisplayView view;
        ASSERT_TRUE(view.CreateDisplayView(&frame, 0, 30, c.width, c.height, d));
        frame.Paint();
        const std::vector<int16_t> tone = Tone(1000.0, 32767.0);
        d.FeedSamples(tone.data(), uint32_t(tone.size() / 7), 7);
        view.Refresh();
        frame.Paint();
        display->Drag(Handle(), 0, 30, 10000, 30);
        display->Drag(Handle(), 0, 30, -10000, -10000);
        PumpMessages();
        for (int32_t i = 0; i < 2; ++i) {
            EXPECT_GE(d.Marker(i), d.MinimumFrequency());
            EXPECT_LE(d.Marker(i), float(d.MaximumFrequency()));
        }
    }
}

} // namespace
} // namespace sirrel::test
