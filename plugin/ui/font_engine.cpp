#include "ui/font_engine.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <strings.h>

#include <algorithm>
#include <utility>

#include "ui/geometry.h"

namespace sirrel {

namespace {

// One FreeType library while any face is open; creating and freeing faces goes through it under this lock. It
// goes with the last face, so that unloading the plug-in leaves nothing of it behind.
std::mutex libraryLock;
FT_Library library = nullptr;
int32_t openFaces = 0;

FT_Library Library()
{
    if (!library && FT_Init_FreeType(&library) != 0)
        library = nullptr;
    return library;
}

void ReleaseLibraryIfUnused()
{
    if (openFaces == 0 && library) {
        FT_Done_FreeType(library);
        library = nullptr;
    }
}

struct Match {
    std::string file;
    bool named = false; // one of the face's family names is the one asked for
};

// An empty family asks for fontconfig's default face.
Match MatchFont(const std::string &family, bool bold, bool italic)
{
    Match found;
    FcPattern *pattern = FcPatternCreate();
    if (!pattern)
        return found;
    if (!family.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcChar8 *text = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &text) == FcResultMatch)
        found.file = reinterpret_cast<const char *>(text);
    for (int i = 0; match && !family.empty() && FcPatternGetString(match, FC_FAMILY, i, &text) == FcResultMatch; ++i)
        found.named = found.named || strcasecmp(reinterpret_cast<const char *>(text), family.c_str()) == 0;
    if (match)
        FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return found;
}

uint32_t Blend(uint32_t under, uint32_t over, uint32_t coverage)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t a = (under >> shift) & 0xFF;
        const uint32_t b = (over >> shift) & 0xFF;
        out |= ((a * (255 - coverage) + b * coverage + 127) / 255) << shift;
    }
    return out;
}

} // namespace

std::unique_ptr<FontFace> FontFace::Open(const std::string &family, int32_t pixelHeight, bool bold, bool italic,
                                         const CharacterMap &characters)
{
    // Heights the screen cannot show are treated as the nearest sensible one.
    pixelHeight = std::clamp(pixelHeight, 4, 400);
    const std::string file = MatchFont(family.empty() ? "Arial" : family, bold, italic).file;
    if (file.empty())
        return nullptr;
    std::lock_guard<std::mutex> hold(libraryLock);
    FT_Library ft = Library();
    FT_Face face = nullptr;
    if (!ft || FT_New_Face(ft, file.c_str(), 0, &face) != 0) {
        ReleaseLibraryIfUnused();
        return nullptr;
    }
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelHeight)) != 0) {
        FT_Done_Face(face);
        ReleaseLibraryIfUnused();
        return nullptr;
    }
    // Glyphs are looked up by Unicode code point; a face without that map keeps the one FreeType chose.
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    ++openFaces;
    std::unique_ptr<FontFace> font(new FontFace(characters));
    font->face_ = face;
    font->ascent_ = int32_t(face->size->metrics.ascender >> 6);
    font->lineHeight_ = int32_t((face->size->metrics.ascender - face->size->metrics.descender) >> 6);
    return font;
}

FontFace::~FontFace()
{
    std::lock_guard<std::mutex> hold(libraryLock);
    FT_Done_Face(static_cast<FT_Face>(face_));
    --openFaces;
    ReleaseLibraryIfUnused();
}

uint32_t FontFace::GlyphIndex(char32_t codePoint)
{
    auto face = static_cast<FT_Face>(face_);
    if (const FT_UInt glyph = FT_Get_Char_Index(face, codePoint))
        return glyph;
    if (codePoint < kSymbolBase + 0x20 || codePoint > kSymbolBase + 0xFF)
        return 0;
    // A symbol font may answer only through its own map, by the code point (TrueType) or by the byte (Type 1);
    // any other font shows the byte as Latin-1.
    const FT_ULong byte = codePoint - kSymbolBase;
    const std::pair<FT_Encoding, FT_ULong> tries[] = {{FT_ENCODING_MS_SYMBOL, codePoint},
                                                      {FT_ENCODING_ADOBE_CUSTOM, byte}};
    FT_CharMap chosen = face->charmap;
    FT_UInt glyph = 0;
    for (const auto &[encoding, code] : tries) {
        if (!glyph && FT_Select_Charmap(face, encoding) == 0)
            glyph = FT_Get_Char_Index(face, code);
    }
    FT_Set_Charmap(face, chosen);
    return glyph ? glyph : FT_Get_Char_Index(face, byte);
}

void FontFace::Measure(unsigned char c)
{
    if (measured_[c])
        return;
    auto face = static_cast<FT_Face>(face_);
    glyphs_[c] = GlyphIndex(characters_[c]);
    advances_[c] = FT_Load_Glyph(face, glyphs_[c], FT_LOAD_DEFAULT) == 0 ? int32_t(face->glyph->advance.x >> 6) : 0;
    measured_[c] = true;
}

int32_t FontFace::Advance(unsigned char c)
{
    Measure(c);
    return advances_[c];
}

int32_t FontFace::TextWidth(std::string_view text)
{
    std::lock_guard<std::mutex> hold(lock_);
    int64_t width = 0;
    for (unsigned char c : text)
        width += Advance(c);
    return int32_t(std::min<int64_t>(width, INT32_MAX / 2));
}

void FontFace::Draw(OruDynamicPixMap &map, const Rect &clip, int32_t x, int32_t y, std::string_view text, uint32_t rgb)
{
    if (map.BitsPerPixel != 32 || !map.Pixels)
        return;
    const Rect area = clip.Intersect({0, 0, map.Width, map.Height});
    if (area.Empty())
        return;
    std::lock_guard<std::mutex> hold(lock_);
    auto face = static_cast<FT_Face>(face_);
    int64_t penX = x;
    const int32_t baseline = y + ascent_;
    for (unsigned char c : text) {
        if (penX >= area.right)
            break;
        // Glyphs well left of the clip are only counted.
        const int32_t advance = Advance(c);
        if (penX + 2 * advance + lineHeight_ < area.left) {
            penX += advance;
            continue;
        }
        if (FT_Load_Glyph(face, glyphs_[c], FT_LOAD_RENDER) != 0)
            continue;
        const FT_GlyphSlot glyph = face->glyph;
        const FT_Bitmap &bitmap = glyph->bitmap;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
            const int64_t left = penX + glyph->bitmap_left;
            const int64_t top = int64_t(baseline) - glyph->bitmap_top;
            for (unsigned row = 0; row < bitmap.rows; ++row) {
                const int64_t py = top + row;
                if (py < area.top || py >= area.bottom)
                    continue;
                auto *line = reinterpret_cast<uint32_t *>(map.Pixels + size_t(py) * map.Stride);
                const unsigned char *coverage = bitmap.buffer + int64_t(row) * bitmap.pitch;
                for (unsigned column = 0; column < bitmap.width; ++column) {
                    const int64_t px = left + column;
                    if (px >= area.left && px < area.right && coverage[column])
                        line[px] = Blend(line[px], rgb, coverage[column]);
                }
            }
        }
        penX += glyph->advance.x >> 6;
    }
}

bool FontFamilyResolves(const std::string &family)
{
    if (family.empty())
        return false;
    const Match match = MatchFont(family, false, false);
    // A name fontconfig does not know gets the face an unnamed request gets.
    return !match.file.empty() && (match.named || match.file != MatchFont("", false, false).file);
}

} // namespace sirrel
