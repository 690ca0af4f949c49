// The shared pens, brushes and fonts, and text drawn through them.
#include "headless_fixture.h"
#include "ui/controls.h"
#include "ui/draw_objects.h"

namespace sirrel::test {
namespace {

using DrawObjects = HeadlessUi;

TEST_F(DrawObjects, LabelsAskingForOneFontShareItUntilTheLastGoes)
{
    const size_t before = Fonts().Size();
    Oru_Window top;
    ASSERT_TRUE(top.Create(nullptr, 0, 0, 100, 100, false, 0, 0));
    auto first = std::make_unique<Oru_Label>();
    Oru_Label second, other;
    ASSERT_TRUE(first->CreateLabel(&top, 0, 0, 50, 20, "a"));
    ASSERT_TRUE(second.CreateLabel(&top, 0, 20, 50, 20, "b"));
    ASSERT_TRUE(other.CreateLabel(&top, 0, 40, 50, 20, "c"));
    first->SetFont(FontDescription::Make("Courier New", 17));
    second.SetFont(FontDescription::Make("Courier New", 17));
    other.SetFont(FontDescription::Make("Courier New", 18));
    ASSERT_NE(first->FontSlot().GetEntry(), nullptr);
    EXPECT_EQ(first->FontSlot().GetEntry(), second.FontSlot().GetEntry());
    EXPECT_EQ(first->FontSlot().GetEntry()->references, 2);
    EXPECT_NE(other.FontSlot().GetEntry(), first->FontSlot().GetEntry());
    EXPECT_EQ(Fonts().Size(), before + 2);
    FontFace *shared = first->Font();
    ASSERT_NE(shared, nullptr);

    first.reset();
    ASSERT_NE(second.FontSlot().GetEntry(), nullptr);
    EXPECT_EQ(second.FontSlot().GetEntry()->references, 1);
    EXPECT_EQ(second.Font(), shared) << "the face lives on for the other label";
    EXPECT_GT(second.Font()->TextWidth("RYRYRY"), 0);

    second.SetFont(FontDescription::Make("Courier New", 18));
    EXPECT_EQ(Fonts().Size(), before + 1) << "the last reference deleted the object";
    other.Destroy();
    second.Destroy();
    EXPECT_EQ(Fonts().Size(), before);
}

TEST_F(DrawObjects, ABrushFillsTheBackgroundInPlaceOfItsColour)
{
    Oru_Window top;
    ASSERT_TRUE(top.Create(nullptr, 0, 0, 40, 30, false, kStyleKeepBitmap, 0));
    top.ShowCommand(kShowShow);
    top.SetBrush({0, Rgb(0, 0, 255), 0});
    top.Paint();
    EXPECT_EQ(display->Record(top.NativeHandle()).pixels[5 * 40 + 5], 0x0000FFu);
}

TEST(DrawObjectCaches, PensAndBrushesShareByteEqualDescriptions)
{
    PenHolder a(Pens), b(Pens), c(Pens);
    a.Set({0, 1, Rgb(1, 2, 3)});
    b.Set({0, 1, Rgb(1, 2, 3)});
    c.Set({0, 2, Rgb(1, 2, 3)});
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_NE(a.Get(), c.Get());
    BrushHolder d(Brushes), e(Brushes);
    d.Set({0, Rgb(9, 9, 9), 0});
    e.Set({0, Rgb(9, 9, 9), 0});
    EXPECT_EQ(d.Get(), e.Get());
    EXPECT_EQ(d.GetEntry()->references, 2);
}

TEST(Fonts, FamiliesResolveToMetricCompatibleFaces)
{
    // Courier New is fixed-pitch, Arial is not.
    auto mono = FontFace::Open("Courier New", 16, false, false);
    auto sans = FontFace::Open("Arial", 16, false, false);
    ASSERT_TRUE(mono && sans);
    EXPECT_EQ(mono->TextWidth("iiii"), mono->TextWidth("WWWW"));
    EXPECT_LT(sans->TextWidth("iiii"), sans->TextWidth("WWWW"));
    EXPECT_GT(mono->LineHeight(), 12);
}

TEST(Fonts, AnyBytesDrawInsideTheClipOnly)
{
    auto font = FontFace::Open("Arial", 20, true, false);
    ASSERT_TRUE(font);
    OruDynamicPixMap *map = OruDynamicPixMap_Construct(nullptr);
    OruDynamicPixMap_FormatUpdate(map, 64, 32, 32);
    map->Fill(map, 0);
    std::string bytes;
    for (int c = 0; c < 256; ++c)
        bytes += char(c);
    font->Draw(*map, {0, 0, 64, 32}, -30, 0, bytes, 0xFFFFFF);
    font->Draw(*map, {0, 0, 64, 32}, 100000, -100000, bytes, 0xFFFFFF);
    int lit = 0;
    for (uint32_t i = 0; i < map->ImageSize / 4; ++i)
        lit += reinterpret_cast<uint32_t *>(map->Pixels)[i] != 0;
    EXPECT_GT(lit, 20);

    // Nothing outside the clip.
    map->Fill(map, 0);
    font->Draw(*map, {10, 10, 20, 20}, 0, 0, "WWWWWWWW", 0xFFFFFF);
    for (int32_t y = 0; y < 32; ++y) {
        for (int32_t x = 0; x < 64; ++x) {
            if (!Rect{10, 10, 20, 20}.Contains(x, y)) {
                ASSERT_EQ(reinterpret_cast<uint32_t *>(map->Pixels)[y * 64 + x], 0u) << x << "," << y;
            }
        }
    }
    OruDynamicPixMap_Destruct(map, 1);
}

} // namespace
} // namespace sirrel::test
