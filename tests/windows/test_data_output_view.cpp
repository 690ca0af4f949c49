// The "Data Output" window: text reaches the page of its channel in the colours of its fields, the pane follows
// the newest line until the user scrolls back, "Paused" and the shift radios are engine settings both ways, and
// a selection goes to the clipboard.
#include <algorithm>
#include <cstdlib>

#include "data_output_fixture.h"
#include "decoders/character_sets.h"
#include "protocols/decoder_params.h"
#include "windows/colors_dialog.h"

namespace sirrel::test {
namespace {

// Whether the cell at (row, column) of the pane shows a pixel of `colour` (0x00BBGGRR): glyph edges blend
// into the background, so the test takes any pixel close to it.
bool CellShows(HeadlessDriver &display, OutputTextPane &pane, int32_t row, int32_t column, uint32_t colour)
{
    const auto record = display.Record(pane.TopLevel()->NativeHandle());
    const int32_t width = record.spec.width;
    const int32_t left = pane.OffsetX() + column * pane.CellWidth();
    const int32_t top = pane.OffsetY() + row * pane.LineHeight();
    const int32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    for (int32_t y = top; y < top + pane.LineHeight(); ++y) {
        for (int32_t x = left; x < left + pane.CellWidth(); ++x) {
            const uint32_t p = record.pixels[size_t(y * width + x)];
            const int32_t pr = (p >> 16) & 0xFF, pg = (p >> 8) & 0xFF, pb = p & 0xFF;
            if (std::abs(pr - r) <= 24 && std::abs(pg - g) <= 24 && std::abs(pb - b) <= 24)
                return true;
        }
    }
    return false;
}

TEST_F(DataOutputTest, PacketFieldsReachTheirChannelInTheirColours)
{
    configuration.colours = {0x000000, 0xFFFFFF, 0x00FF00, 0x0000FF, 0x00FFFF, 0xFF00FF, 0xFFFF00, 0xFF0000, 0x0080FF};
    engine.Output().SetColors(DecoderColorsOf(configuration.colours));
    Build();
    struct Case {
        FieldClass field;
        bool checkGood;
        ColourIndex colour;
    };
    const Case cases[] = {
        {FieldClass::kAddress, true, kColourCrcOk},
        {FieldClass::kAddress, false, kColourCrcFailed},
        {FieldClass::kFrameType, true, kColourFrameType},
        {FieldClass::kCrcError, false, kColourText},
        {FieldClass::kText, true, kColourText},
        {FieldClass::kPid, true, kColourFramePid},
        {FieldClass::kLayer3Header, true, kColourL3Header},
        {FieldClass::kLayer4Header, true, kColourL4Header},
        {FieldClass::kInformation, true, kColourInfo},
    };
    std::vector<DecodedCode> codes;
    for (const Case &c : cases)
        codes.push_back({0, 'H', c.field, c.checkGood});
    Deliver(kModePacket, codes);
    Write("other", 2);
    view->Paint();

    OutputTextView &text = engine.Output().View(0);
    ASSERT_EQ(text.LineCount(), 1u);
    const std::vector<TextCell> cells = text.LineCells(0);
    ASSERT_EQ(cells.size(), std::size(cases));
    OutputTextPane &pane = Channel(0).text;
    for (size_t i = 0; i < cells.size(); ++i) {
        const uint32_t colour = configuration.colours[cases[i].colour];
        EXPECT_EQ(cells[i].colour, colour) << "field " << i;
        EXPECT_TRUE(CellShows(*display, pane, 0, int32_t(i), colour)) << "field " << i;
    }
    // Same colours side by side make one run: the pane switches colour only at a boundary.
    EXPECT_EQ(ColourRuns(cells).size(), std::size(cases) - 1);
    EXPECT_EQ(engine.Output().View(2).LineText(0), "other");
    EXPECT_EQ(engine.Output().View(1).LineCount(), 0u);
    EXPECT_EQ(view->Parts().pages.PageCount(), kChannelCount);
    EXPECT_TRUE(display->SavePng(Handle(), "windows-data-output.png"));
}

TEST_F(DataOutputTest, PaneFollowsTheNewestLineUntilTheUserScrollsBack)
{
    Build();
    OutputTextPane &pane = Channel(0).text;
    std::string lines;
    for (int i = 0; i < 60; ++i)
        lines += "line " + std::to_string(i) + "\r";
    Write(lines);
    const int32_t last = int32_t(engine.Output().View(0).LineCount()) - pane.VisibleLines();
    EXPECT_EQ(pane.FirstLine(), last);

    // A notch of the wheel scrolls back three lines; new text leaves the pane there.
    auto wheel = [&](int32_t notches) {
        display->PostMessage(Handle(), kMsgMouseWheel, PackWheel(0, notches * kWheelNotch),
                             PackPoint(pane.OffsetX() + 20, pane.OffsetY() + 20));
        PumpMessages();
    };
    wheel(1);
    EXPECT_EQ(pane.FirstLine(), last - 3);
    Write("more\rand more\r");
    EXPECT_EQ(pane.FirstLine(), last - 3);

    // Back at the end, it follows again.
    wheel(-2);
    Write("newest\r");
    EXPECT_EQ(pane.FirstLine(), int32_t(engine.Output().View(0).LineCount()) - pane.VisibleLines());
}

TEST_F(DataOutputTest, PausedStopsDecodingAndFollowsTheEngine)
{
    Build();
    auto decodeBits = [this] {
        engine.Post([this](EngineEdit &edit) {
            DecoderParams params;
            FillDecoderParams(edit.settings, params);
            params.mode = kModeRawBits;
            params.samplesPerBit = 4;
            std::vector<int16_t> levels;
            for (int bit = 0; bit < 16; ++bit)
                levels.insert(levels.end(), 4, int16_t(bit & 1));
            engine.Decoders().Dispatch(levels.data(), int32_t(levels.size()), params);
        });
        view->Refresh();
        return engine.Output().View(0).LineText(0).size();
    };
    Oru_CheckBox &paused = view->Parts().paused;
    ClickIn(paused, 6, 10);
    EXPECT_TRUE(engine.Settings().paused);
    EXPECT_EQ(decodeBits(), 0u);

    ClickIn(paused, 6, 10);
    EXPECT_FALSE(engine.Settings().paused);
    EXPECT_GT(decodeBits(), 0u);

    // Set elsewhere (a protocol, the command line), the box shows it.
    engine.Post([](EngineEdit &edit) { edit.settings.paused = true; });
    view->Refresh();
    EXPECT_TRUE(paused.Checked());
}

TEST_F(DataOutputTest, ShiftRadiosFollowTheDecoderAndTheUserSetsTheNextCharacter)
{
    Build();
    // A code whose letters and figures characters differ.
    uint8_t code = 0;
    while (Ita2Character(code) == Ita2Character(code + kFiguresCase) || Ita2Character(code) < 'A')
        ++code;
    Oru_RadioGroup &shift = Channel(0).shift;

    Deliver(kModeIta2, {{0, kIta2FiguresShift}});
    EXPECT_EQ(shift.Selected(), 1);
    EXPECT_EQ(view->Parts().channels[1].shift.Selected(), 0);

    ClickRow(shift, 0);
    EXPECT_FALSE(engine.Settings().numbers[0]);
    Deliver(kModeIta2, {{0, code}});
    ClickRow(shift, 1);
    EXPECT_TRUE(engine.Settings().numbers[0]);
    Deliver(kModeIta2, {{0, code}});

    const std::string shown = engine.Output().View(0).LineText(0);
    const std::string expected{char(Ita2Character(code)), char(Ita2Character(code + kFiguresCase))};
    EXPECT_EQ(shown, expected);
}

TEST_F(DataOutputTest, SelectionGoesToTheClipboard)
{
    Build();
    Write("hello world\rsecond line\rthird");
    view->Paint();
    OutputTextPane &pane = Channel(0).text;
    pane.SetFirstLine(0);
    const int32_t cw = pane.CellWidth();
    const int32_t lh = pane.LineHeight();
    auto at = [&](int32_t column, int32_t row, int32_t &x, int32_t &y) {
        x = pane.OffsetX() + column * cw + 1;
        y = pane.OffsetY() + row * lh + lh / 2;
    };
    struct Case {
        int32_t fromColumn, fromRow, toColumn, toRow;
        bool rightClick;
        std::string copied;
    };
    const Case cases[] = {
        {6, 0, 6, 1, false, "world\nsecond"},
        {3, 2, 0, 1, true, "second line\nthi"}, // dragged backwards, copied by a right click
        {0, 0, 40, 0, false, "hello world"},    // past the line's end
    };
    for (const Case &c : cases) {
        int32_t x0, y0, x1, y1;
        at(c.fromColumn, c.fromRow, x0, y0);
        at(c.toColumn, c.toRow, x1, y1);
        display->Drag(Handle(), x0, y0, x1, y1);
        PumpMessages();
        if (c.rightClick) {
            display->PostMessage(Handle(), kMsgRightDown, 0, PackPoint(x1, y1));
            display->PostMessage(Handle(), kMsgRightUp, 0, PackPoint(x1, y1));
        } else {
            display->TypeText(Handle(), "\x03");
        }
        PumpMessages();
        EXPECT_EQ(display->ClipboardText(), c.copied);
    }
    // A click without a drag selects nothing and copies nothing.
    display->SetClipboardText("kept");
    ClickIn(pane, 4, 4);
    display->TypeText(Handle(), "\x03");
    PumpMessages();
    EXPECT_EQ(display->ClipboardText(), "kept");
}

TEST_F(DataOutputTest, WindowButtonsOpenTheirWindows)
{
    Build();
    int translationTables = 0;
    view->onTranslationTables = [&] { ++translationTables; };
    DataOutputView::Controls &p = view->Parts();
    ClickIn(p.translation, 10, 10);
    EXPECT_EQ(translationTables, 1);
    ClickIn(p.statistics, 10, 10);
    EXPECT_TRUE(view->Statistics().Visible());
    ClickIn(p.colors, 10, 10);
    EXPECT_TRUE(view->Colors().Visible());
    // A second click on "Colors" puts the dialog away again.
    ClickIn(p.colors, 10, 10);
    EXPECT_FALSE(view->Colors().Visible());
    view->CloseDialogs();
    EXPECT_FALSE(view->Statistics().Visible());
}

} // namespace
} // namespace sirrel::test
