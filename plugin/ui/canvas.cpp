#include "ui/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ui/font_engine.h"

namespace sirrel {

Canvas::Canvas(OruDynamicPixMap &map, int32_t originX, int32_t originY, const Rect &clip)
    : map_(map), originX_(originX), originY_(originY), clip_(clip.Intersect({0, 0, map.Width, map.Height}))
{
}

Canvas Canvas::Child(int32_t x, int32_t y, int32_t width, int32_t height) const
{
    const int32_t ox = originX_ + x;
    const int32_t oy = originY_ + y;
    Canvas child(map_, ox, oy, clip_.Intersect({ox, oy, ox + width, oy + height}));
    child.SetEdges(light_, shadow_);
    return child;
}

void Canvas::Pixel(int32_t x, int32_t y, uint32_t rgb)
{
    if (clip_.Contains(x, y))
        reinterpret_cast<uint32_t *>(map_.Pixels + size_t(y) * map_.Stride)[x] = rgb;
}

void Canvas::FillRect(const Rect &r, uint32_t color)
{
    const Rect area = r.Offset(originX_, originY_).Intersect(clip_);
    if (area.Empty() || map_.BitsPerPixel != 32)
        return;
    const uint32_t rgb = OruDynamicPixMap_ColorToPalette(&map_, color);
    for (int32_t y = area.top; y < area.bottom; ++y) {
        auto *row = reinterpret_cast<uint32_t *>(map_.Pixels + size_t(y) * map_.Stride);
        std::fill(row + area.left, row + area.right, rgb);
    }
}

void Canvas::FrameRect(const Rect &r, uint32_t color)
{
    if (r.Empty())
        return;
    FillRect({r.left, r.top, r.right, r.top + 1}, color);
    FillRect({r.left, r.bottom - 1, r.right, r.bottom}, color);
    FillRect({r.left, r.top, r.left + 1, r.bottom}, color);
    FillRect({r.right - 1, r.top, r.right, r.bottom}, color);
}

void Canvas::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color)
{
    if (map_.BitsPerPixel != 32 || clip_.Empty())
        return;
    const uint32_t rgb = OruDynamicPixMap_ColorToPalette(&map_, color);
    // Cut the line to the clip first, so that absurd end points cost no more than sensible ones.
    const double sx = double(x1) + originX_;
    const double sy = double(y1) + originY_;
    const double dx = double(x2) - x1;
    const double dy = double(y2) - y1;
    double t0 = 0;
    double t1 = 1;
    auto edge = [&](double p, double q) {
        if (p == 0)
            return q >= 0;
        const double r = q / p;
        if (p < 0) {
            if (r > t1)
                return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0)
                return false;
            t1 = std::min(t1, r);
        }
        return true;
    };
    if (!edge(-dx, sx - clip_.left) || !edge(dx, clip_.right - 1 - sx) || !edge(-dy, sy - clip_.top) ||
        !edge(dy, clip_.bottom - 1 - sy))
        return;
    int32_t x = int32_t(std::lround(sx + t0 * dx));
    int32_t y = int32_t(std::lround(sy + t0 * dy));
    const int32_t endX = int32_t(std::lround(sx + t1 * dx));
    const int32_t endY = int32_t(std::lround(sy + t1 * dy));
    const int32_t stepX = x < endX ? 1 : -1;
    const int32_t stepY = y < endY ? 1 : -1;
    const int32_t ax = std::abs(endX - x);
    const int32_t ay = -std::abs(endY - y);
    int32_t error = ax + ay;
    for (;;) {
        Pixel(x, y, rgb);
        if (x == endX && y == endY)
            break;
        const int32_t twice = 2 * error;
        if (twice >= ay) {
            error += ay;
            x += stepX;
        }
        if (twice <= ax) {
            error += ax;
            y += stepY;
        }
    }
}

void Canvas::SetEdges(uint32_t light, uint32_t shadow)
{
    light_ = light;
    shadow_ = shadow;
}

void Canvas::Bevel(const Rect &r, bool sunken, uint32_t face)
{
    const uint32_t topLeft = sunken ? shadow_ : light_;
    const uint32_t bottomRight = sunken ? light_ : shadow_;
    FillRect(r.Inset(1), face);
    FillRect({r.left, r.top, r.right, r.top + 1}, topLeft);
    FillRect({r.left, r.top, r.left + 1, r.bottom}, topLeft);
    FillRect({r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
    FillRect({r.right - 1, r.top, r.right, r.bottom}, bottomRight);
}

int32_t Canvas::Text(FontFace *font, int32_t x, int32_t y, std::string_view text, uint32_t color)
{
    if (!font || text.empty())
        return 0;
    font->Draw(map_, clip_, x + originX_, y + originY_, text, OruDynamicPixMap_ColorToPalette(&map_, color));
    return font->TextWidth(text);
}

void Canvas::TextIn(FontFace *font, const Rect &r, std::string_view text, uint32_t color, bool center)
{
    if (!font)
        return;
    const int32_t y = r.top + (r.Height() - font->LineHeight()) / 2;
    const int32_t x = center ? r.left + (r.Width() - font->TextWidth(text)) / 2 : r.left;
    const Rect saved = clip_;
    clip_ = clip_.Intersect(r.Offset(originX_, originY_));
    Text(font, x, y, text, color);
    clip_ = saved;
}

void Canvas::Image(const OruDynamicPixMap &image, int32_t x, int32_t y)
{
    if (image.BitsPerPixel != 32 || !image.Pixels || map_.BitsPerPixel != 32)
        return;
    for (int32_t row = 0; row < image.Height; ++row) {
        const auto *source = reinterpret_cast<const uint32_t *>(image.Pixels + size_t(row) * image.Stride);
        for (int32_t column = 0; column < image.Width; ++column)
            Pixel(originX_ + x + column, originY_ + y + row, source[column]);
    }
}

} // namespace sirrel
