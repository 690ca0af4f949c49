// SignalDisplayView: the window of one SignalDisplay. It draws the display in its mode (time scope, spectrum or
// waterfall) with its markers, and turns the mouse into marker positions for the display's drag calls; what a
// drag does to the other markers is the display's call-back's business (the tuning rules).
//
// The frame thread feeds the display. A timer on the window thread compares the display's counters with what it
// last saw and repaints only when they moved; the display's lock is held only to copy levels, samples and
// markers, so a paint never keeps a frame waiting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dsp/signal_display.h"
#include "ui/oru_window.h"

namespace sirrel {

class SignalDisplayView : public Oru_Window {
public:
    static constexpr uint32_t kRefreshTimer = 1;
    static constexpr uint32_t kRefreshMilliseconds = 50;
    static constexpr int32_t kPaletteSize = 256;
    static constexpr int32_t kPaletteColors = 20;
    // Levels in dB run from this floor (bottom of the display) to 0 dB (top).
    static constexpr int32_t kDbFloor = -100;

    SignalDisplayView();
    ~SignalDisplayView() override;

    // The display must outlive the view.
    bool CreateDisplayView(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                           SignalDisplay &display);

    // Waterfall colours: stepped (the default) or smooth, and "Invert colors". Rows already drawn keep theirs.
    void SetPalette(bool smooth, bool inverted);
    bool SmoothPalette() const { return smooth_; }
    bool InvertedPalette() const { return inverted_; }
    // Palette entry 0 .. 255 (low level to high) in the pixel format of the waterfall's map.
    uint32_t PaletteEntry(int32_t index) const;
    // The waterfall's rows, newest at the top.
    const OruDynamicPixMap &WaterfallMap() const { return *waterfall_; }

    // Triggered, the scope's trace starts where the signal first rises through the level line (from the start
    // when it never does, or when there is no room to show a full trace after it); free running, it starts with
    // the buffer.
    void SetTriggered(bool on) { triggered_ = on; }
    bool Triggered() const { return triggered_; }

    // Takes what the display has done since the last look: every feed adds a waterfall row, any update repaints.
    // The refresh timer calls it.
    void Refresh();

    // Pixel columns of the plot and what they stand for: frequencies in the spectrum modes, times in the scope.
    int32_t FrequencyToX(double hertz) const;
    double XToFrequency(int32_t x) const;
    int32_t TimeToX(double seconds) const;
    double XToTime(int32_t x) const;

    // "1=t0, 2=t1, 2-1=d" for as many time markers as the display has; empty without any.
    std::string TimeReadout() const;

    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;
    void TimerTick(uint32_t id) override;

private:
    struct Snapshot;

    bool FrequencyMode() const;
    // The first rising crossing of `level` at or before sample `latest`, else 0.
    static uint32_t TriggerPoint(const int32_t *samples, uint32_t latest, double level);
    void BuildPalette();
    // Copies what a paint or a waterfall row needs, under the display's lock.
    Snapshot Take() const;
    // Height of every column as a fraction of the plot height, 0 .. 1.
    std::vector<float> ColumnLevels(const Snapshot &shot, int32_t width) const;
    void AddWaterfallRows(uint32_t rows);
    void FitWaterfall();
    void PaintSpectrum(Canvas &canvas, const Snapshot &shot);
    void PaintScope(Canvas &canvas, const Snapshot &shot);
    void PaintMarkers(Canvas &canvas, const Snapshot &shot);
    // The marker nearest to column x (frequency or time marker by mode); -1 when the display has none.
    int32_t NearestMarker(int32_t x) const;
    bool OverMarker(int32_t x) const;

    SignalDisplay *display_ = nullptr;
    OruDynamicPixMap *waterfall_ = nullptr;
    uint32_t palette_[kPaletteSize] = {};
    bool smooth_ = false;
    bool inverted_ = false;
    bool triggered_ = false;
    char separator_ = '.';

    uint32_t seenUpdates_ = 0;
    uint32_t seenFeeds_ = 0;
    int32_t dragging_ = -1;
};

} // namespace sirrel
