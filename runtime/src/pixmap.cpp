// OruDynamicPixMap: a device-independent-bitmap-shaped pixel buffer with one routine table per depth, so
// drawing never switches on the format per pixel.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "orurt.h"

namespace {

// Images are addressed with 32-bit sizes; staying below 2 GB keeps every offset and allocation in range.
constexpr uint64_t kMaxImageSize = 0x7FFFFFFFu;

// Repeats a 32-bit pattern over `bytes` bytes from `out` (bytes a multiple of 2 when the pattern is a doubled
// 16-bit word). Whole 32-byte vectors first: the plain word loop is not vectorised at -O2.
void fillPattern(uint8_t *out, size_t bytes, uint32_t pattern)
{
    typedef uint32_t Vector __attribute__((vector_size(32)));
    const Vector block = {pattern, pattern, pattern, pattern, pattern, pattern, pattern, pattern};
    for (; bytes >= sizeof block; bytes -= sizeof block, out += sizeof block)
        std::memcpy(out, &block, sizeof block);
    for (; bytes >= 4; bytes -= 4, out += 4)
        std::memcpy(out, &pattern, 4);
    std::memcpy(out, &pattern, bytes);
}

// Pixel formats. Each knows how to store one pixel, a run of pixels in one row, and the 32-bit pattern that
// Fill replicates (wordFill false: filled pixel by pixel).

struct Depth1 {
    static constexpr bool wordFill = true;
    static void put(uint8_t *row, int32_t x, uint32_t color)
    {
        uint8_t bit = uint8_t(1u << (x & 7));
        uint8_t &byte = row[x >> 3];
        byte = (color & 1) ? uint8_t(byte | bit) : uint8_t(byte & ~bit);
    }
    static void span(uint8_t *row, int32_t x1, int32_t x2, uint32_t color)
    {
        uint8_t value = (color & 1) ? 0xFF : 0x00;
        int32_t first = x1 >> 3, last = x2 >> 3;
        uint8_t firstMask = uint8_t(0xFFu << (x1 & 7));
        uint8_t lastMask = uint8_t(0xFFu >> (7 - (x2 & 7)));
        if (first == last)
            firstMask &= lastMask;
        row[first] = uint8_t((row[first] & ~firstMask) | (value & firstMask));
        if (first == last)
            return;
        std::memset(row + first + 1, value, size_t(last - first - 1));
        row[last] = uint8_t((row[last] & ~lastMask) | (value & lastMask));
    }
    static uint32_t pattern(uint32_t color) { return (color & 1) ? 0xFFFFFFFFu : 0u; }
};

struct Depth4 {
    static constexpr bool wordFill = true;
    static void put(uint8_t *row, int32_t x, uint32_t color)
    {
        uint8_t &byte = row[x >> 1];
        uint8_t nibble = uint8_t(color & 0x0F);
        byte = (x & 1) ? uint8_t((byte & 0x0F) | (nibble << 4)) : uint8_t((byte & 0xF0) | nibble);
    }
    static void span(uint8_t *row, int32_t x1, int32_t x2, uint32_t color)
    {
        if (x1 & 1)
            put(row, x1++, color);
        if (!(x2 & 1))
            put(row, x2--, color);
        // What is left starts on an even pixel and ends on an odd one: whole bytes.
        if (x1 < x2)
            std::memset(row + (x1 >> 1), int((color & 0x0F) * 0x11u), size_t((x2 - x1 + 1) >> 1));
    }
    static uint32_t pattern(uint32_t color) { return (color & 0x0F) * 0x11111111u; }
};

struct Depth8 {
    static constexpr bool wordFill = true;
    static void put(uint8_t *row, int32_t x, uint32_t color) { row[x] = uint8_t(color); }
    static void span(uint8_t *row, int32_t x1, int32_t x2, uint32_t color)
    {
        std::memset(row + x1, int(color & 0xFF), size_t(x2 - x1 + 1));
    }
    static uint32_t pattern(uint32_t color) { return (color & 0xFF) * 0x01010101u; }
};

// 15 and 16 bits share the storage: one 16-bit word per pixel.
struct Depth16 {
    static constexpr bool wordFill = true;
    static void put(uint8_t *row, int32_t x, uint32_t color)
    {
        reinterpret_cast<uint16_t *>(row)[x] = uint16_t(color);
    }
    static void span(uint8_t *row, int32_t x1, int32_t x2, uint32_t color)
    {
        fillPattern(row + 2 * size_t(x1), 2 * size_t(x2 - x1 + 1), pattern(color));
    }
    static uint32_t pattern(uint32_t color) { return (color & 0xFFFF) * 0x00010001u; }
};

struct Depth24 {
    static constexpr bool wordFill = false;
    static void put(uint8_t *row, int32_t x, uint32_t color)
    {
        uint8_t *p = row + 3 * size_t(x);
        p[0] = uint8_t(color);
        p[1] = uint8_t(color >> 8);
        p[2] = uint8_t(color >> 16);
    }
    // Long runs copy 16 ready-made pixels at a time (48 bytes, a whole number of pixels).
    static void span(uint8_t *row, int32_t x1, int32_t x2, uint32_t color)
    {
        constexpr int32_t kRun = 16;
        if (x2 - x1 < kRun) {
            for (int32_t x = x1; x <= x2; ++x)
                put(row, x, color);
            return;
        }
        uint8_t run[3 * kRun];
        for (int32_t x = 0; x < kRun; ++x)
            put(run, x, color);
        uint8_t *out = row + 3 * size_t(x1);
        size_t bytes = 3 * size_t(x2 - x1 + 1);
        for (; bytes >= sizeof run; bytes -= sizeof run, out += sizeof run)
            std::memcpy(out, run, sizeof run);
        std::memcpy(out, run, bytes);
    }
    static uint32_t pattern(uint32_t color) { return color; }
};

struct Depth32 {
    static constexpr bool wordFill = true;
    static void put(uint8_t *row, int32_t x, uint32_t color) { reinterpret_cast<uint32_t *>(row)[x] = color; }
    static void span(uint8_t *row, int32_t x1, int32_t x2, uint32_t color)
    {
        fillPattern(row + 4 * size_t(x1), 4 * size_t(x2 - x1 + 1), color);
    }
    static uint32_t pattern(uint32_t color) { return color; }
};

uint8_t *rowOf(const OruDynamicPixMap *map, int32_t y) { return map->Pixels + size_t(y) * map->Stride; }

bool colorAllowed(const OruDynamicPixMap *map, uint32_t color)
{
    return map->PaletteSize == 0 || color < map->PaletteSize;
}

// Orders a span and clamps it to 0..limit-1; false when nothing of it lies inside.
bool clipSpan(int32_t &a1, int32_t &a2, int32_t limit)
{
    if (a1 > a2)
        std::swap(a1, a2);
    if (limit <= 0 || a2 < 0 || a1 >= limit)
        return false;
    a1 = std::max(a1, 0);
    a2 = std::min(a2, limit - 1);
    return true;
}

// Orders the end points by the first coordinate (u) and moves them along the line onto 0..limit-1.
// Products of two coordinate differences need up to 65 bits; the moved coordinate always lies between the
// two original ones, so it fits again.
bool clipLineAxis(int32_t &u1, int32_t &v1, int32_t &u2, int32_t &v2, int32_t limit)
{
    __extension__ typedef __int128 Wide;
    if (u1 > u2) {
        std::swap(u1, u2);
        std::swap(v1, v2);
    }
    if (limit <= 0 || u2 < 0 || u1 >= limit)
        return false;
    if (u1 < 0) {
        v1 = int32_t(v1 + (Wide(v2) - v1) * u1 / (Wide(u1) - u2));
        u1 = 0;
    }
    if (u2 >= limit) {
        v2 = int32_t(v2 + (Wide(limit) - u2 - 1) * (Wide(v2) - v1) / (Wide(u2) - u1));
        u2 = limit - 1;
    }
    return true;
}

template <class F> void setPixelRaw(OruDynamicPixMap *map, int32_t x, int32_t y, uint32_t color)
{
    F::put(rowOf(map, y), x, color);
}

template <class F> void setPixel(OruDynamicPixMap *map, int32_t x, int32_t y, uint32_t color)
{
    if (!colorAllowed(map, color) || x < 0 || x >= map->Width || y < 0 || y >= map->Height)
        return;
    F::put(rowOf(map, y), x, color);
}

template <class F> void lineHorizontalRaw(OruDynamicPixMap *map, int32_t x1, int32_t x2, int32_t y, uint32_t color)
{
    if (x1 <= x2)
        F::span(rowOf(map, y), x1, x2, color);
}

template <class F> void lineVerticalRaw(OruDynamicPixMap *map, int32_t x, int32_t y1, int32_t y2, uint32_t color)
{
    for (int32_t y = y1; y <= y2; ++y)
        F::put(rowOf(map, y), x, color);
}

template <class F> void lineVertical(OruDynamicPixMap *map, int32_t x, int32_t y1, int32_t y2, uint32_t color)
{
    if (!colorAllowed(map, color) || x < 0 || x >= map->Width || !clipSpan(y1, y2, map->Height))
        return;
    lineVerticalRaw<F>(map, x, y1, y2, color);
}

// Pixel i along the major axis is offset on the minor axis by (i * minor) / major, truncated toward zero.
// The error accumulator walks the same pixels without a division per step.
template <class F> void lineRaw(OruDynamicPixMap *map, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color)
{
    if (y1 > y2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    const int64_t rows = int64_t(y2) - y1 + 1;
    const int64_t columns = x2 >= x1 ? int64_t(x2) - x1 + 1 : int64_t(x1) - x2 + 1;
    const int32_t xStep = x2 >= x1 ? 1 : -1;
    int32_t x = x1, y = y1;
    int64_t error = 0;
    if (columns >= rows) {
        for (int64_t i = 0; i < columns; ++i, x += xStep) {
            F::put(rowOf(map, y), x, color);
            error += rows;
            if (error >= columns) {
                error -= columns;
                ++y;
            }
        }
    } else {
        for (int64_t i = 0; i < rows; ++i, ++y) {
            F::put(rowOf(map, y), x, color);
            error += columns;
            if (error >= rows) {
                error -= rows;
                x += xStep;
            }
        }
    }
}

template <class F> void line(OruDynamicPixMap *map, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color)
{
    if (!colorAllowed(map, color) || !clipLineAxis(x1, y1, x2, y2, map->Width) ||
        !clipLineAxis(y1, x1, y2, x2, map->Height))
        return;
    lineRaw<F>(map, x1, y1, x2, y2, color);
}

template <class F> void fill(OruDynamicPixMap *map, uint32_t color)
{
    if constexpr (F::wordFill) {
        fillPattern(map->Pixels, map->ImageSize, F::pattern(color));
    } else {
        for (int32_t y = 0; y < map->Height; ++y)
            lineHorizontalRaw<F>(map, 0, map->Width - 1, y, color);
    }
}

template <class F> void rectangle(OruDynamicPixMap *map, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color)
{
    if (!colorAllowed(map, color) || !clipSpan(x1, x2, map->Width) || !clipSpan(y1, y2, map->Height))
        return;
    for (int32_t y = y1; y <= y2; ++y)
        F::span(rowOf(map, y), x1, x2, color);
}

struct RoutineTable {
    OruPixMapPixelRoutine setPixel, setPixelRaw;
    OruPixMapRowRoutine lineHorizontalRaw;
    OruPixMapColumnRoutine lineVertical, lineVerticalRaw;
    OruPixMapLineRoutine line, lineRaw;
    OruPixMapFillRoutine fill;
    OruPixMapLineRoutine rectangle;
};

template <class F> constexpr RoutineTable routinesOf()
{
    return {setPixel<F>, setPixelRaw<F>, lineHorizontalRaw<F>, lineVertical<F>, lineVerticalRaw<F>,
            line<F>,     lineRaw<F>,     fill<F>,              rectangle<F>};
}

constexpr RoutineTable kDepth1 = routinesOf<Depth1>();
constexpr RoutineTable kDepth4 = routinesOf<Depth4>();
constexpr RoutineTable kDepth8 = routinesOf<Depth8>();
constexpr RoutineTable kDepth16 = routinesOf<Depth16>();
constexpr RoutineTable kDepth24 = routinesOf<Depth24>();
constexpr RoutineTable kDepth32 = routinesOf<Depth32>();

const RoutineTable *routinesFor(uint32_t bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 1: return &kDepth1;
    case 4: return &kDepth4;
    case 8: return &kDepth8;
    case 15:
    case 16: return &kDepth16;
    case 24: return &kDepth24;
    case 32: return &kDepth32;
    default: return nullptr;
    }
}

void install(OruDynamicPixMap *map, const RoutineTable &table)
{
    map->SetPixel = table.setPixel;
    map->SetPixelRaw = table.setPixelRaw;
    map->LineHorizontalRaw = table.lineHorizontalRaw;
    map->LineVertical = table.lineVertical;
    map->LineVerticalRaw = table.lineVerticalRaw;
    map->Line = table.line;
    map->LineRaw = table.lineRaw;
    map->Fill = table.fill;
    map->Rectangle = table.rectangle;
}

} // namespace

OruDynamicPixMap *OruDynamicPixMap_Construct(OruDynamicPixMap *map)
{
    if (!map) {
        map = static_cast<OruDynamicPixMap *>(MemoryAlloc(sizeof(OruDynamicPixMap)));
        if (!map)
            return nullptr;
    }
    // An empty 0 x 0 map with valid routines first, so that a failed allocation below still leaves a map
    // that every routine can be called on.
    std::memset(static_cast<void *>(map), 0, sizeof(OruDynamicPixMap));
    map->BitsPerPixel = 32;
    install(map, kDepth32);
    OruDynamicPixMap_FormatUpdate(map, 1, 1, 32);
    return map;
}

void OruDynamicPixMap_Destruct(OruDynamicPixMap *map, uint32_t flags)
{
    if (!map)
        return;
    MemoryFree(map->Pixels);
    MemoryFree(map->Palette);
    map->Pixels = nullptr;
    map->Palette = nullptr;
    map->PaletteSize = 0;
    map->Width = 0;
    map->Height = 0;
    map->ImageSize = 0;
    if (flags & 1)
        MemoryFree(map);
}

void OruDynamicPixMap_FormatUpdate(OruDynamicPixMap *map, int32_t width, int32_t height, uint32_t bitsPerPixel)
{
    const RoutineTable *table = routinesFor(bitsPerPixel);
    if (!map || !table || width < 0 || height < 0)
        return;
    const uint64_t stride = (uint64_t(width) * bitsPerPixel + 31) / 32 * 4;
    const uint64_t imageSize = stride * uint64_t(height);
    if (imageSize > kMaxImageSize)
        return;
    if (!map->Pixels || imageSize != map->ImageSize) {
        auto *pixels = static_cast<uint8_t *>(MemoryReAlloc(map->Pixels, uint32_t(imageSize)));
        if (!pixels)
            return;
        map->Pixels = pixels;
    }
    map->Width = width;
    map->Height = height;
    map->BitsPerPixel = bitsPerPixel;
    map->Stride = uint32_t(stride);
    map->ImageSize = uint32_t(imageSize);
    install(map, *table);
}

void OruDynamicPixMap_Width(OruDynamicPixMap *map, int32_t width)
{
    if (map && width != map->Width)
        OruDynamicPixMap_FormatUpdate(map, width, map->Height, map->BitsPerPixel);
}

void OruDynamicPixMap_Height(OruDynamicPixMap *map, int32_t height)
{
    if (map && height != map->Height)
        OruDynamicPixMap_FormatUpdate(map, map->Width, height, map->BitsPerPixel);
}

void OruDynamicPixMap_BitsPerPixel(OruDynamicPixMap *map, uint32_t bitsPerPixel)
{
    if (bitsPerPixel == 15 || !routinesFor(bitsPerPixel))
        return;
    if (map && bitsPerPixel != map->BitsPerPixel)
        OruDynamicPixMap_FormatUpdate(map, map->Width, map->Height, bitsPerPixel);
}

void OruDynamicPixMap_LineHorizontal(OruDynamicPixMap *map, int32_t x1, int32_t x2, int32_t y, uint32_t color)
{
    if (!map || !colorAllowed(map, color) || y < 0 || y >= map->Height || !clipSpan(x1, x2, map->Width))
        return;
    map->LineHorizontalRaw(map, x1, x2, y, color);
}

uint32_t OruDynamicPixMap_ColorToPalette(const OruDynamicPixMap *, uint32_t color)
{
    return (color & 0xFF00FF00u) | ((color & 0xFFu) << 16) | ((color >> 16) & 0xFFu);
}

uint32_t OruDynamicPixMap_ColorFromPalette(const OruDynamicPixMap *map, uint32_t color)
{
    return OruDynamicPixMap_ColorToPalette(map, color);
}
