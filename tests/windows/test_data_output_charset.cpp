// The translation table's font and character set on screen: the "Data Output" panes draw the bytes a table
// gives in its set, all four follow a change of table, an unknown face draws as "Courier New", and the
// translation grids show the translated codes in the chosen set.
#include <algorithm>
#include <climits>

#include "data_output_fixture.h"
#include "ui/charsets.h"
#include "ui/geometry.h"
#include "windows/translation_grids.h"

namespace sirrel::test {
namespace {

using Pixels = std::vector<uint32_t>;

// A width x height block of the window's pixels (0x00RRGGBB) at (left, top).
Pixels Block(HeadlessDriver &display, uint32_t window, int32_t left, int32_t top, int32_t width, int32_t height)
{
    const auto record = display.Record(window);
    Pixels block;
    for (int32_t y = top; y < top + height; ++y) {
        for (int32_t x = left; x < left + width; ++x)
            block.push_back(record.pixels[size_t(y * record.spec.width + x)]);
    }
    return block;
}

// `text` drawn white on black by `face` into a width x height block.
Pixels Drawn(FontFace &face, const std::string &text, int32_t width, int32_t height)
{
    OruDynamicPixMap *map = OruDynamicPixMap_Construct(nullptr);
    OruDynamicPixMap_FormatUpdate(map, width, height, 32);
    map->Fill(map, 0);
    face.Draw(*map, {0, 0, width, height}, 0, 0, text, 0xFFFFFF);
    const auto *pixels = reinterpret_cast<const uint32_t *>(map->Pixels);
    Pixels copy;
    for (int32_t y = 0; y < height; ++y)
        copy.insert(copy.end(), pixels + size_t(y) * map->Stride / 4, pixels + size_t(y) * map->Stride / 4 + width);
    OruDynamicPixMap_Destruct(map, 1);
    return copy;
}

class DataOutputCharsetTest : public DataOutputTest {
protected:
    DataOutputCharsetTest()
    {
        // White text on black, so that a glyph drawn on its own compares pixel for pixel.
        configuration.colours[kColourBackground] = 0x000000;
        configuration.colours[kColourText] = 0xFFFFFF;
        engine.Output().SetColors(DecoderColorsOf(configuration.colours));
    }

    // The fewest pixels by which the first cell of channel 1 differs from `reference`, over small shifts.
    int32_t FirstCellMismatch(const Pixels &reference)
    {
        OutputTextPane &pane = view->Parts().channels[0].text;
        view->Paint();
        int32_t fewest = INT32_MAX;
        for (int32_t dy = -2; dy <= 2; ++dy) {
            for (int32_t dx = -2; dx <= 2; ++dx) {
                const Pixels shown = Block(*display, Handle(), pane.OffsetX() + dx, pane.OffsetY() + dy,
                                           pane.CellWidth(), pane.LineHeight());
                int32_t differing = 0;
                for (size_t i = 0; i < shown.size(); ++i)
                    differing += shown[i] != reference[i];
                fewest = std::min(fewest, differing);
            }
        }
        return fewest;
    }

    void UseTable(const std::string &name)
    {
        engine.Post([this, name](EngineEdit &) { tables.SelectByName(name); });
        view->Refresh();
    }
    void ExpectPanes(const std::string &face, uint8_t characterSet)
    {
        for (DataOutputView::Channel &ch : view->Parts().channels) {
            EXPECT_EQ(ch.text.FaceName(), face);
            EXPECT_EQ(int(ch.text.CharacterSet()), int(characterSet));
        }
    }
};

TEST_F(DataOutputCharsetTest, ARussianTableShowsCyrillicLetters)
{
    // The table maps the received 'A' onto the Windows-1251 byte of А.
    engine.Post([](EngineEdit &edit) {
        edit.settings.translation['A'] = 0xC0;
        edit.settings.translationCharacterSet = 204;
    });
    Build();
    Write("A");
    OutputTextPane &pane = view->Parts().channels[0].text;
    ASSERT_EQ(pane.FaceName(), "Courier New");
    const int32_t width = pane.CellWidth();
    const int32_t height = pane.LineHeight();

    // The letter by its code point, from a face that covers Cyrillic.
    static CharacterMap cyrillicA = Latin1Map();
    cyrillicA['X'] = 0x0410;
    auto cyrillic = FontFace::Open("Courier New", OutputTextPane::kFontHeight, false, false, cyrillicA);
    auto latin1 = FontFace::Open("Courier New", OutputTextPane::kFontHeight, false, false);
    ASSERT_TRUE(cyrillic && latin1);
    EXPECT_EQ(FirstCellMismatch(Drawn(*cyrillic, "X", width, height)), 0);
    EXPECT_GT(FirstCellMismatch(Drawn(*latin1, "\xC0", width, height)), 0);

    // The log keeps the byte itself.
    EXPECT_EQ(engine.Output().View(0).LineText(0), "\xC0");
}

TEST_F(DataOutputCharsetTest, CopiedTextIsUtf8InTheTablesCharacterSet)
{
    struct Case {
        uint8_t characterSet;
        std::string copied;
    };
    const Case cases[] = {
        {204, "\u0410\u0411 z"},                 // Windows-1251: Cyrillic
        {161, "\u0390\u0391 z"},                 // Windows-1253: Greek
        {1, "\u00C0\u00C1 z"},                   // the default set reads as Windows-1252
        {kSymbolCharacterSet, "\u00C0\u00C1 z"}, // glyph codes of a symbol font go as Latin-1
    };
    engine.Post([](EngineEdit &edit) {
        edit.settings.translation['A'] = 0xC0;
        edit.settings.translation['B'] = 0xC1;
    });
    Build();
    Write("AB z");
    view->Paint();
    OutputTextPane &pane = view->Parts().channels[0].text;
    ClickIn(pane, 4, 4); // the keys go to the pane
    for (const Case &c : cases) {
        engine.Post([&c](EngineEdit &edit) { edit.settings.translationCharacterSet = c.characterSet; });
        view->Refresh();
        ASSERT_EQ(int(pane.CharacterSet()), int(c.characterSet));
        pane.Select({0, 0}, {0, 4});
        display->SetClipboardText("");
        display->TypeText(Handle(), "\x03");
        PumpMessages();
        EXPECT_EQ(display->ClipboardText(), c.copied) << int(c.characterSet);
    }
}

TEST_F(DataOutputCharsetTest, AllFourPanesFollowTheTableInForce)
{
    engine.Post([this](EngineEdit &) {
        tables.SetCharacterSet(CharacterSetIndex(161));
        tables.SetFont("Liberation Sans");
        tables.Add("Greek");
        tables.SetFont("No Such Face Anywhere");
        tables.SetCharacterSet(CharacterSetIndex(204));
        tables.Add("Unknown face");
        tables.SelectByName("Default");
    });
    Build();
    ExpectPanes("Courier New", 1);

    UseTable("Greek");
    ExpectPanes("Liberation Sans", 161);
    // A face fontconfig does not know draws as "Courier New", in the table's set.
    UseTable("Unknown face");
    ExpectPanes("Courier New", 204);
    UseTable("Default");
    ExpectPanes("Courier New", 1);

    // An edit of the record in force, as from the dialog's "Character set" list, reaches the panes too.
    engine.Post([this](EngineEdit &) { tables.SetCharacterSet(CharacterSetIndex(238)); });
    view->Refresh();
    ExpectPanes("Courier New", 238);
}

TEST_F(DataOutputCharsetTest, TheGridsShowTranslatedCodesInTheChosenSet)
{
    CodeGrid translation, font;
    ASSERT_TRUE(translation.CreateCodeGrid(&frame, 0, 0, 4, CodeGrid::Kind::kTranslation));
    ASSERT_TRUE(font.CreateCodeGrid(&frame, 0, 100, 4, CodeGrid::Kind::kFont));
    std::array<uint8_t, 256> codes = SettingsModel::IdentityTranslation();
    codes['A'] = 0xC0;
    // The pair of 'A' (its source cell and its translated cell) and the font grid's cell of 0xC0.
    const Rect source = translation.CellArea(2 * 'A');
    const Rect translated = translation.CellArea(2 * 'A' + 1);
    const Rect fontCell = font.CellArea(0xC0);
    auto cells = [&](uint8_t characterSet) {
        translation.Show(codes, "Liberation Sans", characterSet);
        font.Show(codes, "Liberation Sans", characterSet);
        frame.Paint();
        std::vector<Pixels> shown;
        for (const auto &[grid, area] :
             {std::pair{&translation, source}, {&translation, translated}, {&font, fontCell}})
            shown.push_back(Block(*display, frame.NativeHandle(), grid->OffsetX() + area.left,
                                  grid->OffsetY() + area.top, area.right - area.left, area.bottom - area.top));
        return shown;
    };
    const std::vector<Pixels> ansi = cells(0);
    const std::vector<Pixels> russian = cells(204);
    EXPECT_EQ(russian[0], ansi[0]) << "the source code stays Latin-1";
    EXPECT_NE(russian[1], ansi[1]);
    EXPECT_NE(russian[2], ansi[2]);
    EXPECT_EQ(cells(0), ansi);
}

} // namespace
} // namespace sirrel::test
