// Fonts for the framework: a family name resolved by fontconfig (so "Arial" and "Courier New" find their
// metric-compatible Liberation faces) and rendered by FreeType. Text bytes are Latin-1 code points, so any byte
// string draws something and none can fail.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "orurt.h"

namespace sirrel {

struct Rect;

class FontFace {
public:
    // Returns null when no face can be found or loaded; callers then draw no text.
    static std::unique_ptr<FontFace> Open(const std::string &family, int32_t pixelHeight, bool bold, bool italic);
    ~FontFace();
    FontFace(const FontFace &) = delete;
    FontFace &operator=(const FontFace &) = delete;

    int32_t Ascent() const { return ascent_; }
    int32_t LineHeight() const { return lineHeight_; }
    int32_t TextWidth(std::string_view text);
    // Draws with the top of the line at y into a 32-bit map, blending `rgb` (0x00RRGGBB) over the pixels by
    // coverage, inside `clip` (map coordinates).
    void Draw(OruDynamicPixMap &map, const Rect &clip, int32_t x, int32_t y, std::string_view text, uint32_t rgb);

private:
    FontFace() = default;
    int32_t Advance(unsigned char c); // with lock_ held

    std::mutex lock_; // a face renders one glyph at a time
    void *face_ = nullptr;
    int32_t ascent_ = 0;
    int32_t lineHeight_ = 0;
    // Advances of the 256 code points, measured on first use, so that long texts measure quickly.
    int32_t advances_[256];
    bool measured_[256] = {};
};

} // namespace sirrel
