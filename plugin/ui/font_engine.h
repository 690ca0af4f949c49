// Fonts for the framework: a family name resolved by fontconfig (so "Arial" and "Courier New" find their
// metric-compatible Liberation faces) and rendered by FreeType. A face reads text bytes through its character
// map (Latin-1 unless it was opened for a character set), so any byte string draws something and none can fail.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "orurt.h"
#include "ui/charsets.h"

namespace sirrel {

struct Rect;

class FontFace {
public:
    // Returns null when no face can be found or loaded; callers then draw no text.
    static std::unique_ptr<FontFace> Open(const std::string &family, int32_t pixelHeight, bool bold, bool italic,
                                          const CharacterMap &characters = Latin1Map());
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
    explicit FontFace(const CharacterMap &characters) : characters_(characters) {}
    void Measure(unsigned char c); // with lock_ held
    int32_t Advance(unsigned char c);
    uint32_t GlyphIndex(char32_t codePoint);

    std::mutex lock_; // a face renders one glyph at a time
    void *face_ = nullptr;
    const CharacterMap &characters_;
    int32_t ascent_ = 0;
    int32_t lineHeight_ = 0;
    // Glyphs and advances of the 256 bytes, found on first use, so that long texts measure quickly.
    uint32_t glyphs_[256];
    int32_t advances_[256];
    bool measured_[256] = {};
};

// Whether fontconfig knows the family, by its name or as an alias of an installed one ("Courier New"), rather
// than answering with its default face.
bool FontFamilyResolves(const std::string &family);

} // namespace sirrel
