#include "windows/eye_pattern_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ui/canvas.h"

namespace sirrel {

namespace {

constexpr uint32_t kBackground = Rgb(0, 0, 0);
constexpr uint32_t kGrid = Rgb(0, 64, 0);
// Traces are shown from a dim green (hit once) to full green (hit most).
constexpr uint32_t kDimmest = 70;

} // namespace

bool EyePatternView::CreateEyeView(Oru_Window *parent, const Rect &area, SignalDisplay &scope)
{
    if (!CreateView(parent, area.left, area.top, area.Width(), area.Height()))
        return false;
    scope_ = &scope;
    columns_ = Map().Width;
    rows_ = Map().Height;
    hits_.assign(size_t(columns_) * size_t(rows_), 0);
    seenFeeds_ = scope.FeedCount();
    Render();
    return true;
}

uint32_t EyePatternView::Hits(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= columns_ || y >= rows_)
        return 0;
    return hits_[size_t(y) * size_t(columns_) + size_t(x)];
}

void EyePatternView::Reset()
{
    std::fill(hits_.begin(), hits_.end(), 0);
    mostHits_ = 0;
    traces_ = 0;
    phase_ = 0.0;
    seenFeeds_ = scope_->FeedCount();
    Render();
}

void EyePatternView::Accumulate(double samplesPerBit)
{
    const uint32_t feeds = scope_->FeedCount();
    if (feeds == seenFeeds_ || !(samplesPerBit > 0.0))
        return;
    const uint32_t missed = feeds - seenFeeds_ - 1;
    seenFeeds_ = feeds;

    std::vector<int32_t> samples;
    double top;
    double bottom;
    {
        SignalDisplay::Guard hold(*scope_);
        samples.assign(scope_->Samples(), scope_->Samples() + scope_->BufferSize());
        top = scope_->FullScale();
        bottom = scope_->Bottom();
    }
    if (samples.empty())
        return;
    const double window = 2.0 * samplesPerBit;
    phase_ = std::fmod(phase_ + double(missed) * double(samples.size()), window);

    const double range = top - bottom;
    auto column = [&](size_t i) {
        const double at = std::fmod(phase_ + double(i), window);
        return std::clamp(int32_t(at / window * columns_), 0, columns_ - 1);
    };
    auto row = [&](int32_t value) {
        const double fraction = range != 0.0 ? (top - value) / range : 0.5;
        return std::clamp(int32_t(fraction * (rows_ - 1) + 0.5), 0, rows_ - 1);
    };
    auto hit = [&](int32_t x, int32_t y) {
        uint32_t &count = hits_[size_t(y) * size_t(columns_) + size_t(x)];
        mostHits_ = std::max(mostHits_, ++count);
    };
    // Consecutive samples are joined so that a trace stays a line however few samples a bit has; the join back
    // from the end of the window to its start is left out.
    int32_t x0 = column(0);
    int32_t y0 = row(samples[0]);
    hit(x0, y0);
    for (size_t i = 1; i < samples.size(); ++i) {
        const int32_t x1 = column(i);
        const int32_t y1 = row(samples[i]);
        if (x1 >= x0) {
            const int32_t steps = std::max(x1 - x0, std::abs(y1 - y0));
            for (int32_t k = 1; k <= steps; ++k)
                hit(x0 + (x1 - x0) * k / steps, y0 + (y1 - y0) * k / steps);
            if (steps == 0)
                hit(x1, y1);
        } else {
            hit(x1, y1);
        }
        x0 = x1;
        y0 = y1;
    }
    phase_ = std::fmod(phase_ + double(samples.size()), window);
    ++traces_;
    Render();
}

void EyePatternView::Render()
{
    OruDynamicPixMap &map = Map();
    map.Fill(&map, OruDynamicPixMap_ColorToPalette(&map, kBackground));
    const uint32_t grid = OruDynamicPixMap_ColorToPalette(&map, kGrid);
    // One bit period either side of the middle line, and the centre level.
    for (int32_t k = 0; k <= 2; ++k)
        map.LineVertical(&map, std::min(k * map.Width / 2, map.Width - 1), 0, map.Height - 1, grid);
    OruDynamicPixMap_LineHorizontal(&map, 0, map.Width - 1, map.Height / 2, grid);
    if (mostHits_ > 0) {
        for (int32_t y = 0; y < map.Height; ++y) {
            for (int32_t x = 0; x < map.Width; ++x) {
                const uint32_t hit = hits_[size_t(y) * size_t(map.Width) + size_t(x)];
                if (hit == 0)
                    continue;
                const uint32_t level = kDimmest + (255 - kDimmest) * hit / mostHits_;
                map.SetPixel(&map, x, y, OruDynamicPixMap_ColorToPalette(&map, Rgb(0, level, 0)));
            }
        }
    }
    Redraw();
}

} // namespace sirrel
