#include "ui/signal_display_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/text_format.h"

namespace sirrel {

namespace {

constexpr uint32_t kBackground = Rgb(0, 0, 0);
constexpr uint32_t kGrid = Rgb(64, 64, 64);
constexpr uint32_t kLabel = Rgb(176, 176, 176);
constexpr uint32_t kTrace = Rgb(0, 255, 0);
constexpr uint32_t kLevelLine = Rgb(160, 0, 0);
constexpr uint32_t kTimeMarkerColors[SignalDisplay::kMaxTimeMarkers] = {Rgb(255, 255, 0), Rgb(0, 255, 255)};
constexpr int32_t kMaxMapSide = 4096;
constexpr int32_t kDbStep = 20;
// Pixels either side of a marker where the pointer shows that it can be dragged.
constexpr int32_t kMarkerGrab = 3;
// More grid lines than this would only paint the plot grey.
constexpr int32_t kMaxGridLines = 200;

// A pixel position from a value that may be anything: NaN and the far outside end up just beyond the plot.
int32_t ToPixel(double value)
{
    if (!(value == value))
        return -1;
    return int32_t(std::lround(std::clamp(value, -1e6, 1e6)));
}

// A grid step of 1, 2 or 5 times a power of ten giving at most about six lines over the span.
double NiceStep(double span)
{
    if (!(span > 0.0) || !std::isfinite(span))
        return 0.0;
    const double raw = span / 6.0;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * decade >= raw)
            return factor * decade;
    return 10.0 * decade;
}

} // namespace

struct SignalDisplayView::Snapshot {
    int32_t mode = kDisplayScope;
    float rate = 1.0f;
    double minFrequency = 0.0;
    double maxFrequency = 0.0;
    bool linear = false;
    float top = 1.0f;
    float bottom = 0.0f;
    int32_t style = kStyleLine;
    std::vector<FrequencyMarker> markers;
    // Levels of the shown bins first ... first + levels.size() - 1; bins are (buffer size - 1) / rate per hertz.
    uint32_t firstBin = 0;
    double binsPerHertz = 0.0;
    std::vector<float> levels;

    int32_t divisions = 1;
    double secondsPerDivision = 1.0;
    std::vector<double> timeMarkers;
    double fullScale = 1.0;
    double bottomScale = 0.0;
    double levelLine = 0.0;
    std::vector<int32_t> samples; // the scope's samples inside the shown time
};

SignalDisplayView::SignalDisplayView() : waterfall_(OruDynamicPixMap_Construct(nullptr)) { BuildPalette(); }

SignalDisplayView::~SignalDisplayView()
{
    Destroy();
    OruDynamicPixMap_Destruct(waterfall_, 1);
}

bool SignalDisplayView::CreateDisplayView(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                          SignalDisplay &display)
{
    if (!waterfall_ || !Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    display_ = &display;
    separator_ = DecimalSeparator();
    SetColors(kBackground, kLabel);
    SetFont(FontDescription::Make("Arial", 11));
    seenUpdates_ = display.UpdateCount();
    seenFeeds_ = display.FeedCount();
    FitWaterfall();
    SetTimer(kRefreshTimer, kRefreshMilliseconds);
    return true;
}

bool SignalDisplayView::FrequencyMode() const
{
    const int32_t mode = display_ ? display_->Mode() : kDisplayScope;
    return mode == kDisplaySpectrum || mode == kDisplayWaterfall;
}

void SignalDisplayView::SetPalette(bool smooth, bool inverted)
{
    if (smooth == smooth_ && inverted == inverted_)
        return;
    smooth_ = smooth;
    inverted_ = inverted;
    BuildPalette();
    Redraw();
}

void SignalDisplayView::BuildPalette()
{
    uint32_t colors[kPaletteColors];
    for (int32_t k = 0; k < kPaletteColors; ++k)
        colors[k] = ColorPonderate(0xFFFFFF, kPaletteColors - 1 - k, kPaletteColors - 1);
    const uint32_t first = inverted_ ? colors[kPaletteColors - 1] : colors[0];
    const uint32_t last = inverted_ ? colors[0] : colors[kPaletteColors - 1];
    for (int32_t j = 0; j < kPaletteSize; ++j) {
        uint32_t color;
        if (smooth_)
            color = ColorInterpolate(first, last, kPaletteSize - 1, j);
        else
            color = colors[inverted_ ? kPaletteColors - 1 - j / 13 : j / 13];
        palette_[j] = OruDynamicPixMap_ColorToPalette(waterfall_, color);
    }
}

uint32_t SignalDisplayView::PaletteEntry(int32_t index) const
{
    return palette_[std::clamp(index, 0, kPaletteSize - 1)];
}

SignalDisplayView::Snapshot SignalDisplayView::Take() const
{
    Snapshot shot;
    if (!display_)
        return shot;
    SignalDisplay &d = *display_;
    SignalDisplay::Guard guard(d);
    shot.mode = d.Mode();
    shot.rate = d.SamplingRate();
    shot.minFrequency = d.MinimumFrequency();
    shot.maxFrequency = d.MaximumFrequency();
    shot.linear = d.Linear();
    shot.top = d.LinearTop();
    shot.bottom = d.LinearBottom();
    shot.style = d.Style();
    for (int32_t i = 0; i < d.MarkerCount(); ++i)
        shot.markers.push_back(d.MarkerRecord(i));
    shot.divisions = d.Divisions();
    shot.secondsPerDivision = d.SecondsPerDivision();
    for (int32_t i = 0; i < d.TimeMarkerCount(); ++i)
        shot.timeMarkers.push_back(d.TimeMarker(i));
    shot.fullScale = d.FullScale();
    shot.bottomScale = d.Bottom();
    shot.levelLine = d.LevelLine();

    const uint32_t n = d.BufferSize();
    if (shot.mode == kDisplaySpectrum || shot.mode == kDisplayWaterfall) {
        // The bins the display computes, found as it finds them.
        const uint32_t half = std::min(n / 2, d.MagnitudeCount());
        if (half == 0)
            return shot;
        shot.binsPerHertz = double(n - 1) / shot.rate;
        const double top = half - 1;
        const uint32_t last = uint32_t(std::clamp(shot.maxFrequency * shot.binsPerHertz, 0.0, top));
        const uint32_t first = std::min(uint32_t(std::clamp(shot.minFrequency * shot.binsPerHertz, 0.0, top)), last);
        shot.firstBin = first;
        shot.levels.assign(d.Magnitudes() + first, d.Magnitudes() + last + 1);
    } else {
        const double span = shot.divisions * shot.secondsPerDivision;
        const uint32_t shown = uint32_t(std::clamp(span * shot.rate + 1.0, 0.0, double(n)));
        const uint32_t start = triggered_ ? TriggerPoint(d.Samples(), n - shown, shot.levelLine) : 0;
        shot.samples.assign(d.Samples() + start, d.Samples() + start + shown);
    }
    return shot;
}

uint32_t SignalDisplayView::TriggerPoint(const int32_t *samples, uint32_t latest, double level)
{
    for (uint32_t i = 1; i <= latest; ++i) {
        if (samples[i - 1] < level && samples[i] >= level)
            return i;
    }
    return 0;
}

std::vector<float> SignalDisplayView::ColumnLevels(const Snapshot &shot, int32_t width) const
{
    std::vector<float> columns(size_t(std::max(width, 0)), 0.0f);
    if (shot.levels.empty() || width <= 0)
        return columns;
    const uint32_t first = shot.firstBin;
    const uint32_t last = first + uint32_t(shot.levels.size()) - 1;
    const double hertzPerPixel = width > 1 ? (shot.maxFrequency - shot.minFrequency) / (width - 1) : 0.0;
    auto binAt = [&](int32_t x) {
        const double bin = (shot.minFrequency + x * hertzPerPixel) * shot.binsPerHertz;
        return uint32_t(std::clamp(bin, double(first), double(last)));
    };
    const double range = double(shot.top) - shot.bottom;
    for (int32_t x = 0; x < width; ++x) {
        // A column stands for every bin up to the next column's, so narrow peaks still show.
        const uint32_t from = binAt(x);
        const uint32_t to = std::max(from, binAt(x + 1) > from ? binAt(x + 1) - 1 : from);
        float level = shot.levels[from - first];
        for (uint32_t bin = from + 1; bin <= to; ++bin)
            level = std::max(level, shot.levels[bin - first]);
        double fraction;
        if (shot.linear)
            fraction = range > 0.0 ? (level - shot.bottom) / range : 0.0;
        else
            fraction = 1.0 - level / double(kDbFloor);
        columns[size_t(x)] = fraction == fraction ? float(std::clamp(fraction, 0.0, 1.0)) : 0.0f;
    }
    return columns;
}

void SignalDisplayView::FitWaterfall()
{
    const int32_t width = std::clamp(Width(), 1, kMaxMapSide);
    const int32_t height = std::clamp(Height(), 1, kMaxMapSide);
    if (waterfall_->Width == width && waterfall_->Height == height)
        return;
    OruDynamicPixMap_FormatUpdate(waterfall_, width, height, 32);
    waterfall_->Fill(waterfall_, palette_[0]);
}

void SignalDisplayView::AddWaterfallRows(uint32_t rows)
{
    FitWaterfall();
    const int32_t width = waterfall_->Width;
    const int32_t height = waterfall_->Height;
    rows = std::min(rows, uint32_t(height));
    if (rows == 0)
        return;
    const std::vector<float> columns = ColumnLevels(Take(), width);
    const size_t stride = waterfall_->Stride;
    uint8_t *pixels = waterfall_->Pixels;
    std::memmove(pixels + rows * stride, pixels, (size_t(height) - rows) * stride);
    auto *row = reinterpret_cast<uint32_t *>(pixels);
    for (int32_t x = 0; x < width; ++x)
        row[x] = palette_[int32_t(columns[size_t(x)] * (kPaletteSize - 1))];
    // Feeds that came between two looks share the latest levels; time still runs at one row per feed.
    for (uint32_t r = 1; r < rows; ++r)
        std::memcpy(pixels + r * stride, pixels, stride);
}

void SignalDisplayView::Refresh()
{
    if (!display_)
        return;
    const uint32_t updates = display_->UpdateCount();
    const uint32_t feeds = display_->FeedCount();
    if (feeds != seenFeeds_ && display_->Mode() == kDisplayWaterfall)
        AddWaterfallRows(feeds - seenFeeds_);
    seenFeeds_ = feeds;
    if (updates != seenUpdates_) {
        seenUpdates_ = updates;
        Redraw();
    }
}

void SignalDisplayView::TimerTick(uint32_t id)
{
    if (id == kRefreshTimer)
        Refresh();
    else
        Oru_Window::TimerTick(id);
}

int32_t SignalDisplayView::FrequencyToX(double hertz) const
{
    if (!display_ || Width() <= 1)
        return 0;
    const double minimum = display_->MinimumFrequency();
    const double span = display_->MaximumFrequency() - minimum;
    return span > 0.0 ? ToPixel((hertz - minimum) * (Width() - 1) / span) : 0;
}

double SignalDisplayView::XToFrequency(int32_t x) const
{
    if (!display_)
        return 0.0;
    const double minimum = display_->MinimumFrequency();
    if (Width() <= 1)
        return minimum;
    return minimum + double(x) * (display_->MaximumFrequency() - minimum) / (Width() - 1);
}

int32_t SignalDisplayView::TimeToX(double seconds) const
{
    if (!display_ || Width() <= 1)
        return 0;
    const double span = display_->Divisions() * display_->SecondsPerDivision();
    return ToPixel(seconds * (Width() - 1) / span);
}

double SignalDisplayView::XToTime(int32_t x) const
{
    if (!display_ || Width() <= 1)
        return 0.0;
    return double(x) * display_->Divisions() * display_->SecondsPerDivision() / (Width() - 1);
}

std::string SignalDisplayView::TimeReadout() const
{
    if (!display_ || display_->TimeMarkerCount() == 0)
        return {};
    const double t0 = display_->TimeMarker(0);
    std::string text = "1=" + FormatTime(t0, separator_);
    if (display_->TimeMarkerCount() > 1) {
        const double t1 = display_->TimeMarker(1);
        text += ", 2=" + FormatTime(t1, separator_) + ", 2-1=" + FormatTime(t1 - t0, separator_);
    }
    return text;
}

void SignalDisplayView::PaintContent(Canvas &canvas)
{
    if (!display_)
        return;
    const Snapshot shot = Take();
    if (shot.mode == kDisplayWaterfall) {
        FitWaterfall();
        canvas.Image(*waterfall_, 0, 0);
    } else if (shot.mode == kDisplaySpectrum) {
        PaintSpectrum(canvas, shot);
    } else {
        PaintScope(canvas, shot);
    }
    PaintMarkers(canvas, shot);
}

void SignalDisplayView::PaintSpectrum(Canvas &canvas, const Snapshot &shot)
{
    const int32_t width = Width();
    const int32_t height = Height();
    canvas.FillRect(ClientRect(), kBackground);
    auto levelY = [&](double fraction) { return ToPixel((height - 1) * (1.0 - fraction)); };

    // Grid lines under the trace, their labels over it so that a strong signal does not hide them.
    const double hertzStep = NiceStep(shot.maxFrequency - shot.minFrequency);
    const double firstLine = hertzStep > 0.0 ? std::ceil(shot.minFrequency / hertzStep) * hertzStep : 0.0;
    const int32_t frequencyLines =
        hertzStep > 0.0 ? std::min(kMaxGridLines, int32_t((shot.maxFrequency - firstLine) / hertzStep) + 1) : 0;
    auto frequencyGrid = [&](bool labels) {
        for (int32_t k = 0; k < frequencyLines; ++k) {
            const double hertz = firstLine + k * hertzStep;
            const int32_t x = FrequencyToX(hertz);
            if (labels)
                canvas.Text(Font(), x + 2, height - 13, std::to_string(int64_t(hertz)), kLabel);
            else
                canvas.Line(x, 0, x, height - 1, kGrid);
        }
    };
    auto levelGrid = [&](bool labels) {
        char label[32];
        if (shot.linear) {
            // Linear levels are labelled in dB too, so that "Gain" reads as the level at the top.
            for (int32_t k = 1; k <= 4; ++k) {
                const double value = shot.bottom + (double(shot.top) - shot.bottom) * k / 4.0;
                const int32_t y = levelY(k / 4.0);
                if (!labels) {
                    canvas.Line(0, y, width - 1, y, kGrid);
                } else if (value > 0.0) {
                    std::snprintf(label, sizeof label, "%.1fdB", 10.0 * std::log10(value));
                    canvas.Text(Font(), 2, y + 1, label, kLabel);
                }
            }
            return;
        }
        for (int32_t db = 0; db > kDbFloor; db -= kDbStep) {
            const int32_t y = levelY(1.0 - double(db) / kDbFloor);
            if (labels) {
                std::snprintf(label, sizeof label, "%ddB", db);
                canvas.Text(Font(), 2, y + 1, label, kLabel);
            } else {
                canvas.Line(0, y, width - 1, y, kGrid);
            }
        }
    };
    frequencyGrid(false);
    levelGrid(false);

    const std::vector<float> columns = ColumnLevels(shot, width);
    if (!shot.levels.empty()) {
        for (int32_t x = 0; x < width; ++x) {
            const int32_t y = levelY(columns[size_t(x)]);
            if (shot.style == kStyleBars)
                canvas.FillRect({x, y, x + 1, height}, kTrace);
            else if (x == 0)
                canvas.Line(x, y, x, y, kTrace);
            else
                canvas.Line(x - 1, levelY(columns[size_t(x) - 1]), x, y, kTrace);
        }
    }
    frequencyGrid(true);
    levelGrid(true);
}

void SignalDisplayView::PaintScope(Canvas &canvas, const Snapshot &shot)
{
    const int32_t width = Width();
    const int32_t height = Height();
    canvas.FillRect(ClientRect(), kBackground);
    // From the copy, not the display: a feed arriving meanwhile waits for no lock taken per sample.
    const double span = shot.divisions * shot.secondsPerDivision;
    auto timeX = [&](double seconds) { return width > 1 ? ToPixel(seconds * (width - 1) / span) : 0; };
    const double range = shot.fullScale - shot.bottomScale;
    auto valueY = [&](double value) {
        const double fraction = range != 0.0 ? (value - shot.bottomScale) / range : 0.0;
        return ToPixel((height - 1) * (1.0 - fraction));
    };

    if (shot.divisions <= kMaxGridLines)
        for (int32_t k = 0; k <= shot.divisions; ++k) {
            const int32_t x = timeX(k * shot.secondsPerDivision);
            canvas.Line(x, 0, x, height - 1, kGrid);
        }
    for (int32_t k = 0; k <= 4; ++k) {
        const int32_t y = ToPixel((height - 1) * k / 4.0);
        canvas.Line(0, y, width - 1, y, kGrid);
    }
    const int32_t level = valueY(shot.levelLine);
    canvas.Line(0, level, width - 1, level, kLevelLine);

    int32_t previousX = 0;
    int32_t previousY = 0;
    for (size_t i = 0; i < shot.samples.size(); ++i) {
        const int32_t x = timeX(double(i) / shot.rate);
        const int32_t y = valueY(shot.samples[i]);
        if (i == 0)
            canvas.Line(x, y, x, y, kTrace);
        else
            canvas.Line(previousX, previousY, x, y, kTrace);
        previousX = x;
        previousY = y;
    }

    for (size_t i = 0; i < shot.timeMarkers.size(); ++i) {
        const int32_t x = timeX(shot.timeMarkers[i]);
        canvas.Line(x, 0, x, height - 1, kTimeMarkerColors[i]);
    }
    canvas.Text(Font(), 4, 2, TimeReadout(), kLabel);
}

void SignalDisplayView::PaintMarkers(Canvas &canvas, const Snapshot &shot)
{
    if (shot.mode != kDisplaySpectrum && shot.mode != kDisplayWaterfall)
        return;
    for (const FrequencyMarker &marker : shot.markers) {
        const int32_t x = FrequencyToX(marker.position);
        canvas.Line(x, 0, x, Height() - 1, marker.colour);
    }
}

int32_t SignalDisplayView::NearestMarker(int32_t x) const
{
    const bool frequencies = FrequencyMode();
    const int32_t count = frequencies ? display_->MarkerCount() : display_->TimeMarkerCount();
    const double target = frequencies ? XToFrequency(x) : XToTime(x);
    int32_t nearest = -1;
    double distance = 0.0;
    for (int32_t i = 0; i < count; ++i) {
        const double d = std::fabs((frequencies ? display_->Marker(i) : display_->TimeMarker(i)) - target);
        if (nearest < 0 || d < distance) {
            nearest = i;
            distance = d;
        }
    }
    return nearest;
}

bool SignalDisplayView::OverMarker(int32_t x) const
{
    const int32_t nearest = NearestMarker(x);
    if (nearest < 0)
        return false;
    const int32_t at =
        FrequencyMode() ? FrequencyToX(display_->Marker(nearest)) : TimeToX(display_->TimeMarker(nearest));
    return std::abs(at - x) <= kMarkerGrab;
}

void SignalDisplayView::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    if (!display_) {
        Oru_Window::MouseEvent(code, keys, x, y);
        return;
    }
    if (code == kMouseMove)
        Platform().SetCursor(dragging_ >= 0 || OverMarker(x) ? Cursor::SizeHorizontal : Cursor::Arrow);
    if (code == kMouseLeftDown || code == kMouseLeftDoubleClick)
        dragging_ = NearestMarker(x);
    else if (code == kMouseLeftUp)
        dragging_ = -1;
    else if (code != kMouseMove || !(keys & kKeyStateLeft)) {
        Oru_Window::MouseEvent(code, keys, x, y);
        return;
    }
    if (dragging_ < 0)
        return;
    if (FrequencyMode())
        display_->DragMarker(dragging_, XToFrequency(x));
    else
        display_->DragTimeMarker(dragging_, XToTime(x));
    Redraw();
}

} // namespace sirrel
