// What a window paints with: its top-level window's off-screen map, seen through the window's own origin and
// clipped to the window (and to the area being repainted). Colours are system values 0x00BBGGRR.
#pragma once

#include <cstdint>
#include <string_view>

#include "orurt.h"
#include "ui/geometry.h"

namespace sirrel {

class FontFace;

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return (b & 0xFF) << 16 | (g & 0xFF) << 8 | (r & 0xFF); }

class Canvas {
public:
    // `origin` is where the window's (0, 0) lies in the map; `clip` is in map coordinates.
    Canvas(OruDynamicPixMap &map, int32_t originX, int32_t originY, const Rect &clip);

    // A canvas for a child at (x, y) of this one, `width` x `height` in size.
    Canvas Child(int32_t x, int32_t y, int32_t width, int32_t height) const;
    OruDynamicPixMap &Map() const { return map_; }
    // The clip in this canvas's coordinates.
    Rect Clip() const { return clip_.Offset(-originX_, -originY_); }

    void FillRect(const Rect &r, uint32_t color);
    void FrameRect(const Rect &r, uint32_t color);
    void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);
    // The colours of lit and shaded edges (the window's colour scheme); children's canvases inherit them.
    void SetEdges(uint32_t light, uint32_t shadow);
    // A raised or sunken 3-D edge inside r around a face.
    void Bevel(const Rect &r, bool sunken, uint32_t face);
    // Text with the top of its line at y; returns the width drawn. No font, no text.
    int32_t Text(FontFace *font, int32_t x, int32_t y, std::string_view text, uint32_t color);
    // Text centred in r (vertically always, horizontally when `center`).
    void TextIn(FontFace *font, const Rect &r, std::string_view text, uint32_t color, bool center);
    // Copies a 32-bit map's pixels with their top-left corner at (x, y).
    void Image(const OruDynamicPixMap &image, int32_t x, int32_t y);

private:
    void Pixel(int32_t x, int32_t y, uint32_t rgb);

    OruDynamicPixMap &map_;
    int32_t originX_;
    int32_t originY_;
    Rect clip_;
    uint32_t light_ = 0xFFFFFF;
    uint32_t shadow_ = 0x808080;
};

} // namespace sirrel
