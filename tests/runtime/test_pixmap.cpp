#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "orurt.h"
#include "png_writer.h"

namespace {

const uint32_t kDepths[] = {1, 4, 8, 15, 16, 24, 32};

// A map in caller storage, formatted and cleared.
class PixMap {
public:
    PixMap(int32_t width, int32_t height, uint32_t bits, uint8_t background = 0)
    {
        OruDynamicPixMap_Construct(&map_);
        OruDynamicPixMap_FormatUpdate(&map_, width, height, bits);
        clear(background);
    }
    ~PixMap() { OruDynamicPixMap_Destruct(&map_, 0); }
    PixMap(const PixMap &) = delete;
    PixMap &operator=(const PixMap &) = delete;

    OruDynamicPixMap *operator->() { return &map_; }
    OruDynamicPixMap &get() { return map_; }
    void clear(uint8_t byte = 0) { std::memset(map_.Pixels, byte, map_.ImageSize); }
    std::vector<uint8_t> bytes() const { return {map_.Pixels, map_.Pixels + map_.ImageSize}; }

    // The stored value of a pixel, decoded here independently of the library.
    uint32_t at(int32_t x, int32_t y) const
    {
        const uint8_t *row = map_.Pixels + size_t(y) * map_.Stride;
        switch (map_.BitsPerPixel) {
        case 1:
            return (row[x / 8] >> (x % 8)) & 1;
        case 4:
            return (row[x / 2] >> (x % 2 * 4)) & 15;
        case 8:
            return row[x];
        case 15:
        case 16:
            return row[2 * x] | row[2 * x + 1] << 8;
        case 24:
            return row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
        default:
            return row[4 * x] | row[4 * x + 1] << 8 | row[4 * x + 2] << 16 | uint32_t(row[4 * x + 3]) << 24;
        }
    }

    std::set<std::pair<int, int>> setPixels()
    {
        std::set<std::pair<int, int>> pixels;
        for (int32_t y = 0; y < map_.Height; ++y)
            for (int32_t x = 0; x < map_.Width; ++x)
                if (at(x, y) != 0)
                    pixels.insert({x, y});
        return pixels;
    }

private:
    OruDynamicPixMap map_;
};

using Pixels = std::set<std::pair<int, int>>;

// Every field, routines included; padding left out.
auto fieldsOf(const OruDynamicPixMap &m)
{
    return std::make_tuple(m.Width, m.Height, m.BitsPerPixel, m.PaletteSize, m.Palette, m.Pixels, m.ImageSize,
                           m.SetPixel, m.SetPixelRaw, m.LineHorizontalRaw, m.LineVertical, m.LineVerticalRaw, m.Line,
                           m.LineRaw, m.Fill, m.Rectangle, m.Stride, m.ImageCapacity);
}

// ---- construction and format ----

TEST(DynamicPixMapTest, ConstructsOneByOneAt32BitsInEitherStorage)
{
    OruDynamicPixMap local;
    std::memset(&local, 0xA5, sizeof local);
    OruDynamicPixMap *allocated = OruDynamicPixMap_Construct(nullptr);
    ASSERT_NE(allocated, nullptr);
    for (OruDynamicPixMap *map : {OruDynamicPixMap_Construct(&local), allocated}) {
        EXPECT_EQ(map->Width, 1);
        EXPECT_EQ(map->Height, 1);
        EXPECT_EQ(map->BitsPerPixel, 32u);
        EXPECT_EQ(map->Stride, 4u);
        EXPECT_EQ(map->ImageSize, 4u);
        EXPECT_EQ(map->PaletteSize, 0u);
        EXPECT_EQ(map->Palette, nullptr);
        EXPECT_EQ(map->ImageCapacity, 0u);
        EXPECT_TRUE(map->Reserved == nullptr);
        ASSERT_NE(map->Pixels, nullptr);
        map->Fill(map, 0x11223344u);
        map->SetPixel(map, 0, 0, 0xCAFEu);
        EXPECT_EQ(reinterpret_cast<uint32_t *>(map->Pixels)[0], 0xCAFEu);
    }
    OruDynamicPixMap_Destruct(&local, 0);
    allocated->Palette = static_cast<uint32_t *>(MemoryAlloc(16)); // owned: freed by Destruct
    OruDynamicPixMap_Destruct(allocated, 1);
    OruDynamicPixMap_Destruct(nullptr, 1);
}

TEST(DynamicPixMapTest, StridePadsRowsToFourBytes)
{
    struct Case {
        int32_t width;
        uint32_t bits;
        uint32_t stride;
    };
    const Case cases[] = {{3, 24, 12}, {10, 1, 4}, {32, 1, 4}, {33, 1, 8}, {7, 4, 4},       {9, 4, 8},
                          {5, 8, 8},   {3, 15, 8}, {3, 16, 8}, {1, 32, 4}, {700, 32, 2800}, {0, 8, 0}};
    for (const Case &c : cases) {
        PixMap map(c.width, 3, c.bits);
        EXPECT_EQ(map->Stride, c.stride) << c.width << " x " << c.bits;
        EXPECT_EQ(map->ImageSize, c.stride * 3) << c.width << " x " << c.bits;
    }
}

TEST(DynamicPixMapTest, BitsPerPixelAcceptsOnlyTheSetterDepths)
{
    PixMap map(10, 4, 8, 0x5A);
    const OruDynamicPixMap before = map.get();
    for (uint32_t refused : {15u, 2u, 0u, 33u, 0xFFFFFFFFu}) {
        OruDynamicPixMap_BitsPerPixel(&map.get(), refused);
        EXPECT_TRUE(fieldsOf(before) == fieldsOf(map.get())) << refused;
    }
    OruDynamicPixMap_BitsPerPixel(&map.get(), 16);
    EXPECT_EQ(map->BitsPerPixel, 16u);
    EXPECT_EQ(map->Stride, 20u);
    EXPECT_EQ(map->Width, 10);
    EXPECT_EQ(map->Height, 4);
    // 15 bits is a format of its own, reached through a format update.
    OruDynamicPixMap_FormatUpdate(&map.get(), 10, 4, 15);
    EXPECT_EQ(map->BitsPerPixel, 15u);
}

TEST(DynamicPixMapTest, FormatUpdateLeavesTheMapAloneWhenItCannotHoldTheFormat)
{
    PixMap map(6, 5, 32, 0x5A);
    const OruDynamicPixMap before = map.get();
    struct Case {
        int32_t width, height;
        uint32_t bits;
    };
    // An unlisted depth would otherwise size the buffer for one depth and draw with another.
    const Case cases[] = {{6, 5, 2}, {600, 5, 7}, {-1, 5, 32}, {6, -1, 32}, {100000, 100000, 32}, {0x7FFFFFFF, 1, 32}};
    for (const Case &c : cases) {
        OruDynamicPixMap_FormatUpdate(&map.get(), c.width, c.height, c.bits);
        EXPECT_TRUE(fieldsOf(before) == fieldsOf(map.get())) << c.width << " x " << c.height << " x " << c.bits;
    }
    OruDynamicPixMap_Width(&map.get(), -3);
    OruDynamicPixMap_Height(&map.get(), -3);
    EXPECT_TRUE(fieldsOf(before) == fieldsOf(map.get()));
    EXPECT_EQ(map.bytes(), std::vector<uint8_t>(before.ImageSize, 0x5A));
}

TEST(DynamicPixMapTest, ResizingKeepsTheBytesInPlace)
{
    PixMap map(4, 2, 32);
    for (uint32_t i = 0; i < map->ImageSize; ++i)
        map->Pixels[i] = uint8_t(i + 1);
    const std::vector<uint8_t> old = map.bytes();

    OruDynamicPixMap_Width(&map.get(), 8);
    OruDynamicPixMap_Height(&map.get(), 3);
    EXPECT_EQ(map->Width, 8);
    EXPECT_EQ(map->Height, 3);
    EXPECT_EQ(map->ImageSize, 96u);
    // Not rearranged: the old second row now sits in the right half of the first.
    EXPECT_TRUE(std::equal(old.begin(), old.end(), map->Pixels));
    EXPECT_EQ(map.at(4, 0), 0x14131211u);

    OruDynamicPixMap_BitsPerPixel(&map.get(), 8);
    OruDynamicPixMap_FormatUpdate(&map.get(), 3, 1, 8);
    EXPECT_EQ(map->ImageSize, 4u);
    EXPECT_TRUE(std::equal(old.begin(), old.begin() + 4, map->Pixels));
    EXPECT_EQ(map.at(2, 0), 3u);
}

// ---- pixel storage ----

TEST(DynamicPixMapTest, PixelsLandWhereEachDepthKeepsThem)
{
    struct Case {
        uint32_t bits;
        int32_t x;
        uint32_t color;
        uint8_t background;
        std::vector<std::pair<size_t, uint8_t>> changed; // row-0 bytes that differ from the background
    };
    const Case cases[] = {
        {1, 10, 3, 0x00, {{1, 0x04}}},
        {1, 10, 2, 0xFF, {{1, 0xFB}}}, // only colour bit 0 counts
        {1, 0, 1, 0x00, {{0, 0x01}}},
        {4, 3, 0x1A, 0x00, {{1, 0xA0}}},
        {4, 2, 0x05, 0xFF, {{1, 0xF5}}},
        {8, 2, 0x1234, 0x00, {{2, 0x34}}},
        {15, 1, 0x12345, 0x00, {{2, 0x45}, {3, 0x23}}},
        {16, 1, 0x12345, 0xFF, {{2, 0x45}, {3, 0x23}}},
        {24, 1, 0xAABBCCDD, 0x00, {{3, 0xDD}, {4, 0xCC}, {5, 0xBB}}},
        {32, 1, 0x11223344, 0x00, {{4, 0x44}, {5, 0x33}, {6, 0x22}, {7, 0x11}}},
    };
    for (const Case &c : cases) {
        for (bool raw : {false, true}) {
            PixMap map(16, 2, c.bits, c.background);
            (raw ? map->SetPixelRaw : map->SetPixel)(&map.get(), c.x, 0, c.color);
            std::vector<uint8_t> expected(map->ImageSize, c.background);
            for (auto [offset, value] : c.changed)
                expected[offset] = value;
            EXPECT_EQ(map.bytes(), expected) << c.bits << " bits, x " << c.x << (raw ? ", raw" : "");
        }
    }
}

TEST(DynamicPixMapTest, SpansAndRectanglesSetTheSamePixelsAsSinglePixels)
{
    std::mt19937 random(7);
    for (uint32_t bits : kDepths) {
        const int32_t width = 37, height = 6;
        PixMap drawn(width, height, bits, 0x96), reference(width, height, bits, 0x96);
        std::uniform_int_distribution<int32_t> column(0, width - 1), row(0, height - 1), wide(-10, width + 10);
        for (int round = 0; round < 400; ++round) {
            const uint32_t color = random();
            int32_t a = column(random), b = column(random);
            const int32_t y = row(random);
            if (a > b)
                std::swap(a, b);
            switch (round % 3) {
            case 0:
                drawn->LineHorizontalRaw(&drawn.get(), a, b, y, color);
                for (int32_t x = a; x <= b; ++x)
                    reference->SetPixelRaw(&reference.get(), x, y, color);
                break;
            case 1: {
                int32_t y1 = row(random), y2 = row(random);
                if (y1 > y2)
                    std::swap(y1, y2);
                drawn->LineVerticalRaw(&drawn.get(), a, y1, y2, color);
                for (int32_t v = y1; v <= y2; ++v)
                    reference->SetPixelRaw(&reference.get(), a, v, color);
                break;
            }
            default: {
                // Corners in any order and partly outside: clipped like SetPixel.
                const int32_t x1 = wide(random), x2 = wide(random), y1 = row(random) - 2, y2 = row(random) + 2;
                drawn->Rectangle(&drawn.get(), x1, y1, x2, y2, color);
                for (int32_t v = std::min(y1, y2); v <= std::max(y1, y2); ++v)
                    for (int32_t x = std::min(x1, x2); x <= std::max(x1, x2); ++x)
                        reference->SetPixel(&reference.get(), x, v, color);
            }
            }
            ASSERT_EQ(drawn.bytes(), reference.bytes()) << bits << " bits, round " << round;
        }
    }
}

TEST(DynamicPixMapTest, FillReplicatesTheColourOverTheImage)
{
    struct Case {
        uint32_t bits;
        uint32_t color;
        std::vector<uint8_t> rowBytes; // one row, padding included
    };
    const Case cases[] = {
        {1, 1, {0xFF, 0xFF, 0xFF, 0xFF}},
        {1, 2, {0x00, 0x00, 0x00, 0x00}},
        {4, 0x13, {0x33, 0x33, 0x33, 0x33}},
        {8, 0x1AB, {0xAB, 0xAB, 0xAB, 0xAB}},
        {16, 0x12345, {0x45, 0x23, 0x45, 0x23, 0x45, 0x23, 0x45, 0x23}},
        {15, 0x7C00, {0x00, 0x7C, 0x00, 0x7C, 0x00, 0x7C, 0x00, 0x7C}},
        {32, 0x11223344, {0x44, 0x33, 0x22, 0x11, 0x44, 0x33, 0x22, 0x11, 0x44, 0x33, 0x22, 0x11}},
        // Pixel by pixel: the padding keeps what it had.
        {24, 0xAABBCCDD, {0xDD, 0xCC, 0xBB, 0xDD, 0xCC, 0xBB, 0xDD, 0xCC, 0xBB, 0x77, 0x77, 0x77}},
    };
    for (const Case &c : cases) {
        PixMap map(3, 2, c.bits, 0x77);
        map->Fill(&map.get(), c.color);
        std::vector<uint8_t> expected = c.rowBytes;
        expected.insert(expected.end(), c.rowBytes.begin(), c.rowBytes.end());
        EXPECT_EQ(map.bytes(), expected) << c.bits << " bits";
    }
}

// ---- clipping ----

TEST(DynamicPixMapClipTest, LineHorizontalClipsToTheImage)
{
    struct Case {
        int32_t x1, x2, y;
        Pixels expected;
    };
    const Case cases[] = {
        {-5, 3, 1, {{0, 1}, {1, 1}}},
        {3, -5, 1, {{0, 1}, {1, 1}}},
        {1, 1, 0, {{1, 0}}},
        {-5, 3, 3, {}}, // y == Height
        {-5, 3, -1, {}},
        {2, 9, 1, {}},
        {-9, -1, 1, {}},
    };
    for (const Case &c : cases) {
        PixMap map(2, 3, 32);
        OruDynamicPixMap_LineHorizontal(&map.get(), c.x1, c.x2, c.y, 0xFFFFFF);
        EXPECT_EQ(map.setPixels(), c.expected) << c.x1 << ".." << c.x2 << " at " << c.y;
    }
}

TEST(DynamicPixMapClipTest, LinesAreClippedAlongTheirSlope)
{
    struct Case {
        int32_t x1, y1, x2, y2;
        Pixels expected;
    };
    const Case cases[] = {
        {0, 0, 3, 1, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {3, 1, 0, 0, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {-4, 0, 11, 15, {{0, 4}, {1, 5}, {2, 6}, {3, 7}}},
        {20, 20, -10, -10, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}}},
        {2, -5, 2, 100, {{2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}}},
        {5, 3, 5, 3, {{5, 3}}},
        {-5, -5, -1, -1, {}},
        {10, 0, 20, 5, {}},
        {0, 10, 7, 20, {}},
        {-3, 9, 9, -3, {{6, 0}, {5, 1}, {4, 2}, {3, 3}, {2, 4}, {1, 5}, {0, 6}}},
    };
    for (const Case &c : cases) {
        PixMap map(8, 8, 8);
        map->Line(&map.get(), c.x1, c.y1, c.x2, c.y2, 1);
        EXPECT_EQ(map.setPixels(), c.expected) << "(" << c.x1 << "," << c.y1 << ")-(" << c.x2 << "," << c.y2 << ")";
    }
}

TEST(DynamicPixMapClipTest, PaletteSizeStopsOnlyTheClippedRoutines)
{
    using Draw = std::function<void(OruDynamicPixMap *, uint32_t)>;
    const std::pair<const char *, Draw> clipped[] = {
        {"SetPixel", [](OruDynamicPixMap *m, uint32_t c) { m->SetPixel(m, 1, 1, c); }},
        {"LineHorizontal", [](OruDynamicPixMap *m, uint32_t c) { OruDynamicPixMap_LineHorizontal(m, 0, 3, 1, c); }},
        {"LineVertical", [](OruDynamicPixMap *m, uint32_t c) { m->LineVertical(m, 1, 0, 3, c); }},
        {"Line", [](OruDynamicPixMap *m, uint32_t c) { m->Line(m, 0, 0, 3, 3, c); }},
        {"Rectangle", [](OruDynamicPixMap *m, uint32_t c) { m->Rectangle(m, 0, 0, 2, 2, c); }},
    };
    const std::pair<const char *, Draw> trusting[] = {
        {"SetPixelRaw", [](OruDynamicPixMap *m, uint32_t c) { m->SetPixelRaw(m, 1, 1, c); }},
        {"LineHorizontalRaw", [](OruDynamicPixMap *m, uint32_t c) { m->LineHorizontalRaw(m, 0, 3, 1, c); }},
        {"LineRaw", [](OruDynamicPixMap *m, uint32_t c) { m->LineRaw(m, 0, 0, 3, 3, c); }},
        {"Fill", [](OruDynamicPixMap *m, uint32_t c) { m->Fill(m, c); }},
    };
    for (const auto &[name, draw] : clipped) {
        PixMap map(4, 4, 8);
        map->PaletteSize = 4;
        draw(&map.get(), 4);
        EXPECT_TRUE(map.setPixels().empty()) << name;
        draw(&map.get(), 3);
        EXPECT_FALSE(map.setPixels().empty()) << name;
    }
    for (const auto &[name, draw] : trusting) {
        PixMap map(4, 4, 8);
        map->PaletteSize = 4;
        draw(&map.get(), 9);
        EXPECT_FALSE(map.setPixels().empty()) << name;
    }
}

TEST(DynamicPixMapClipTest, EmptyMapsDrawNothing)
{
    const std::pair<int32_t, int32_t> sizes[] = {{0, 5}, {5, 0}, {0, 0}};
    for (uint32_t bits : kDepths) {
        for (auto [width, height] : sizes) {
            PixMap map(width, height, bits);
            OruDynamicPixMap *m = &map.get();
            ASSERT_EQ(m->ImageSize, 0u) << width << " x " << height << " x " << bits;
            // Coordinates straddling 0 reach the clamping code, which must not divide by the empty extent.
            m->SetPixel(m, 0, 0, 1);
            OruDynamicPixMap_LineHorizontal(m, -3, 0, 0, 1);
            m->LineVertical(m, 0, -3, 0, 1);
            m->Line(m, -5, -5, 0, 0, 1);
            m->Line(m, -5, 0, 0, 3, 1);
            m->Rectangle(m, -5, -5, 0, 0, 1);
            m->Fill(m, 1);
        }
    }
}

double distanceToSegment(double px, double py, double x1, double y1, double x2, double y2)
{
    const double dx = x2 - x1, dy = y2 - y1, length2 = dx * dx + dy * dy;
    const double t = length2 == 0 ? 0 : std::clamp(((px - x1) * dx + (py - y1) * dy) / length2, 0.0, 1.0);
    return std::hypot(px - (x1 + t * dx), py - (y1 + t * dy));
}

// Two guard rows below the visible height and the row padding must stay untouched whatever the coordinates;
// a line's pixels must lie on it (a wrapped or mis-clipped pixel lands far from it).
TEST(DynamicPixMapClipTest, ClippedRoutinesNeverLeaveTheImage)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int32_t> near(-40, 45);
    std::uniform_int_distribution<int32_t> far(-2000000000, 2000000000);
    for (uint32_t bits : {1u, 8u, 24u, 32u}) {
        const int32_t width = 13, height = 9;
        PixMap map(width, height + 2, bits);
        map->Height = height;
        const uint32_t visibleBytes = map->Stride * height;
        const uint32_t usedBits = uint32_t(width) * bits;
        for (int round = 0; round < 3000; ++round) {
            auto coordinate = [&] { return round % 4 == 3 ? far(random) : near(random); };
            const int32_t x1 = coordinate(), y1 = coordinate(), x2 = coordinate(), y2 = coordinate();
            map.clear();
            switch (round % 5) {
            case 0:
                map->SetPixel(&map.get(), x1, y1, 0xFFFFFFFF);
                break;
            case 1:
                OruDynamicPixMap_LineHorizontal(&map.get(), x1, x2, y1, 0xFFFFFFFF);
                break;
            case 2:
                map->LineVertical(&map.get(), x1, y1, y2, 0xFFFFFFFF);
                break;
            case 3:
                map->Rectangle(&map.get(), x1, y1, x2, y2, 0xFFFFFFFF);
                break;
            default:
                map->Line(&map.get(), x1, y1, x2, y2, 0xFFFFFFFF);
                for (auto [x, y] : map.setPixels())
                    ASSERT_LE(distanceToSegment(x, y, x1, y1, x2, y2), 2.0)
                        << bits << " bits: (" << x << "," << y << ") off (" << x1 << "," << y1 << ")-(" << x2 << ","
                        << y2 << ")";
            }
            for (uint32_t i = visibleBytes; i < map->ImageSize; ++i)
                ASSERT_EQ(map->Pixels[i], 0) << bits << " bits, round " << round << ": guard byte " << i;
            for (int32_t y = 0; y < height; ++y)
                for (uint32_t bit = usedBits; bit < map->Stride * 8; ++bit)
                    ASSERT_FALSE(map->Pixels[y * map->Stride + bit / 8] & (1 << bit % 8))
                        << bits << " bits, round " << round << ": padding of row " << y;
        }
    }
}

// ---- line drawing rule ----

// The line rule written with divisions: Nr rows, Nc columns (negative going left), the minor coordinate of
// step i is (i * minor) / major, truncated toward zero.
Pixels divisionRuleLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (y1 > y2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    const int32_t nr = y2 - y1 + 1;
    const int32_t nc = x2 >= x1 ? x2 - x1 + 1 : x2 - x1 - 1;
    Pixels pixels;
    if (std::abs(nc) >= nr) {
        for (int32_t i = 0; i < std::abs(nc); ++i)
            pixels.insert({x1 + i * (nc > 0 ? 1 : -1), y1 + i * nr / std::abs(nc)});
    } else {
        for (int32_t i = 0; i < nr; ++i)
            pixels.insert({x1 + i * nc / nr, y1 + i});
    }
    return pixels;
}

TEST(DynamicPixMapLineTest, EveryDepthDrawsTheDivisionRulePixels)
{
    const int32_t width = 9, height = 7;
    for (uint32_t bits : kDepths) {
        PixMap map(width, height, bits);
        for (int32_t from = 0; from < width * height; ++from) {
            for (int32_t to = 0; to < width * height; ++to) {
                const int32_t x1 = from % width, y1 = from / width, x2 = to % width, y2 = to / width;
                map.clear();
                map->LineRaw(&map.get(), x1, y1, x2, y2, 1);
                ASSERT_EQ(map.setPixels(), divisionRuleLine(x1, y1, x2, y2))
                    << bits << " bits: (" << x1 << "," << y1 << ")-(" << x2 << "," << y2 << ")";
            }
        }
    }
}

// ---- colours ----

TEST(ColorTest, PaletteConversionSwapsRedAndBlueBothWays)
{
    EXPECT_EQ(OruDynamicPixMap_ColorToPalette(nullptr, 0x00123456u), 0x00563412u);
    EXPECT_EQ(OruDynamicPixMap_ColorFromPalette(nullptr, 0x00563412u), 0x00123456u);
    EXPECT_EQ(OruDynamicPixMap_ColorToPalette(nullptr, 0xAB123456u), 0xAB563412u);
    for (uint32_t color : {0x00123456u, 0xFF0000FFu, 0x80FF0001u})
        EXPECT_EQ(OruDynamicPixMap_ColorToPalette(nullptr, OruDynamicPixMap_ColorToPalette(nullptr, color)), color);
}

TEST(ColorTest, InterpolateSaturatesEachByteTo255)
{
    struct Case {
        uint32_t a, b;
        int32_t divisor, multiplier;
        uint32_t expected;
    };
    const Case cases[] = {
        {0x000000, 0x0000FF, 2, 1, 0x00007F},
        {0x000000, 0x0000FF, 2, 3, 0x0000FF},       // 382 saturates
        {0x000080, 0x000000, 2, 3, 0x0000FF},       // -64 saturates too
        {0xFF00FF00, 0x00FF00FF, 2, 1, 0x807F807F}, // four independent bytes, truncation toward zero
        {0x102030, 0x405060, 3, 0, 0x102030},
        {0x102030, 0x405060, 3, 3, 0x405060},
        {0x102030, 0x405060, -3, -3, 0x405060},
        {0x000000, 0x0000FF, 255, 128, 0x000080},
        {0x000001, 0x000002, 1, 0x7FFFFFFF, 0x0000FF}, // no overflow on extreme multipliers
        {0x000002, 0x000001, -1, int32_t(0x80000000), 0x0000FF},
        {0x00AABB, 0x00CCDD, 0, 5, 0x00AABB}, // zero divisor: the first colour
    };
    for (const Case &c : cases)
        EXPECT_EQ(ColorInterpolate(c.a, c.b, c.divisor, c.multiplier), c.expected)
            << std::hex << c.a << " " << c.b << std::dec << " " << c.multiplier << "/" << c.divisor;
}

TEST(ColorTest, PonderateSaturatesEachByteTo255)
{
    struct Case {
        uint32_t color;
        int32_t multiplier, divisor;
        uint32_t expected;
    };
    const Case cases[] = {
        {0x808080, 3, 2, 0xC0C0C0},
        {0x808080, 5, 2, 0xFFFFFF}, // 320 saturates
        {0xFFFFFF, 0, 19, 0x000000},
        {0xFFFFFF, 19, 19, 0xFFFFFF},
        {0xFFFFFF, 10, 19, 0x868686},
        {0x80000001, 1, 2, 0x40000000},
        {0x00000100, -1, 1, 0x0000FF00}, // negative bytes saturate, zero bytes stay
        {0x01000000, 0x7FFFFFFF, 1, 0xFF000000},
        {0x123456, 7, 0, 0x123456}, // zero divisor: unchanged
    };
    for (const Case &c : cases)
        EXPECT_EQ(ColorPonderate(c.color, c.multiplier, c.divisor), c.expected)
            << std::hex << c.color << std::dec << " * " << c.multiplier << "/" << c.divisor;
}

// ---- PNG output ----

class PixMapPngTest : public testing::Test {
protected:
    std::string path(const std::string &name) const
    {
        return testing::TempDir() + "pixmap_" + std::to_string(getpid()) + "_" + name + ".png";
    }

    // Reads a PNG back as 8-bit RGBA.
    static std::vector<uint8_t> readRgba(const std::string &file, uint32_t &width, uint32_t &height, bool &hasAlpha)
    {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, file.c_str()))
            return {};
        hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
        image.format = PNG_FORMAT_RGBA;
        std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
            return {};
        width = image.width;
        height = image.height;
        return pixels;
    }
};

TEST_F(PixMapPngTest, EveryDepthReadsBackAsItsColours)
{
    struct Case {
        uint32_t bits;
        uint32_t colors[3];   // stored values drawn at (0,0), (4,1), (2,2)
        uint32_t expected[4]; // their RGB, then the background's (stored 0)
    };
    const Case cases[] = {
        {1, {1, 1, 1}, {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0x000000}},
        {4, {15, 1, 8}, {0xFFFFFF, 0x111111, 0x888888, 0x000000}},
        {8, {1, 2, 3}, {0xFF0000, 0x00FF00, 0x0000FF, 0x102030}}, // through the palette
        {15, {0x7C00, 0x03E0, 0x001F}, {0xFF0000, 0x00FF00, 0x0000FF, 0x000000}},
        {16, {0xF800, 0x07E0, 0x001F}, {0xFF0000, 0x00FF00, 0x0000FF, 0x000000}},
        {24, {0x123456, 0xABCDEF, 0xFFFFFF}, {0x123456, 0xABCDEF, 0xFFFFFF, 0x000000}},
        {32, {0x00123456, 0xFFABCDEF, 0x00FFFFFF}, {0x123456, 0xABCDEF, 0xFFFFFF, 0x000000}},
    };
    const std::pair<int, int> at[3] = {{0, 0}, {4, 1}, {2, 2}};
    for (const Case &c : cases) {
        PixMap map(5, 3, c.bits);
        if (c.bits == 8) {
            map->Palette = static_cast<uint32_t *>(MemoryAlloc(4 * sizeof(uint32_t)));
            ASSERT_NE(map->Palette, nullptr);
            const uint32_t palette[4] = {0x102030, 0xFF0000, 0x00FF00, 0x0000FF};
            std::memcpy(map->Palette, palette, sizeof palette);
            map->PaletteSize = 4;
        }
        for (int i = 0; i < 3; ++i)
            map->SetPixel(&map.get(), at[i].first, at[i].second, c.colors[i]);
        const std::string file = path(std::to_string(c.bits));
        ASSERT_TRUE(sirrel::test::WritePixMapPng(&map.get(), file)) << c.bits << " bits: " << std::strerror(errno);

        uint32_t width = 0, height = 0;
        bool hasAlpha = true;
        const std::vector<uint8_t> rgba = readRgba(file, width, height, hasAlpha);
        std::remove(file.c_str());
        ASSERT_EQ(width, 5u);
        ASSERT_EQ(height, 3u);
        EXPECT_FALSE(hasAlpha);
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t x = 0; x < 5; ++x) {
                uint32_t expected = c.expected[3];
                for (int i = 0; i < 3; ++i)
                    if (at[i] == std::make_pair(x, y))
                        expected = c.expected[i];
                const uint8_t *p = &rgba[(y * 5 + x) * 4];
                EXPECT_EQ(uint32_t(p[0] << 16 | p[1] << 8 | p[2]), expected)
                    << c.bits << " bits at (" << x << "," << y << ")";
            }
        }
    }
}

TEST_F(PixMapPngTest, KeepsAlphaOnRequest)
{
    PixMap map(2, 1, 32);
    map->SetPixel(&map.get(), 0, 0, 0x80102030u);
    map->SetPixel(&map.get(), 1, 0, 0xFF405060u);
    const std::string file = path("alpha");
    ASSERT_TRUE(sirrel::test::WritePixMapPng(&map.get(), file, true));
    uint32_t width = 0, height = 0;
    bool hasAlpha = false;
    const std::vector<uint8_t> rgba = readRgba(file, width, height, hasAlpha);
    std::remove(file.c_str());
    EXPECT_TRUE(hasAlpha);
    EXPECT_EQ(rgba, (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x80, 0x40, 0x50, 0x60, 0xFF}));
}

TEST_F(PixMapPngTest, ReportsFailuresThroughErrno)
{
    PixMap map(4, 4, 32);
    errno = 0;
    EXPECT_FALSE(sirrel::test::WritePixMapPng(nullptr, path("null")));
    EXPECT_EQ(errno, EINVAL);

    OruDynamicPixMap_Width(&map.get(), 0);
    errno = 0;
    EXPECT_FALSE(sirrel::test::WritePixMapPng(&map.get(), path("empty")));
    EXPECT_EQ(errno, EINVAL);
    OruDynamicPixMap_Width(&map.get(), 4);

    map->Stride = 2; // inconsistent with the width
    errno = 0;
    EXPECT_FALSE(sirrel::test::WritePixMapPng(&map.get(), path("stride")));
    EXPECT_EQ(errno, EINVAL);
    map->Stride = 16;

    errno = 0;
    EXPECT_FALSE(sirrel::test::WritePixMapPng(&map.get(), testing::TempDir() + "no/such/folder/x.png"));
    EXPECT_EQ(errno, ENOENT);

    if (access("/dev/full", W_OK) == 0) {
        errno = 0;
        EXPECT_FALSE(sirrel::test::WritePixMapPng(&map.get(), "/dev/full"));
        EXPECT_EQ(errno, ENOSPC);
    }
}

} // namespace
