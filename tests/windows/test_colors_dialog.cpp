// The "Decoder Colors" dialog: a colour chosen in the picker goes into the configuration block and to the
// engine, so new text takes it while text already shown keeps its own; the background reaches every channel.
#include "data_output_fixture.h"
#include "windows/colors_dialog.h"

namespace sirrel::test {
namespace {

class ColorsDialogTest : public DataOutputTest {
protected:
    ColorsDialog &Dialog()
    {
        ColorsDialog &dialog = view->Colors();
        if (!dialog.Visible())
            ClickIn(view->Parts().colors, 10, 10);
        EXPECT_TRUE(dialog.Visible());
        return dialog;
    }
    // Opens the picker on swatch `index` and answers it with keys: the first slider (red) is focused.
    void Pick(int32_t index, std::vector<uint32_t> keys)
    {
        ColorsDialog &dialog = Dialog();
        display->SetIdleHandler([this, keys, next = size_t(0)]() mutable {
            const auto windows = display->Windows();
            display->PressKey(windows.back(), next < keys.size() ? keys[next++] : kKeyReturn);
        });
        ClickIn(dialog.Swatch(index), 10, 5);
        display->SetIdleHandler(nullptr);
    }
};

TEST_F(ColorsDialogTest, ChosenColourTakesNewTextAndIsKept)
{
    Build();
    Write("old ");
    struct Case {
        ColourIndex index;
        std::vector<uint32_t> keys;
        uint32_t before;
        uint32_t after;
    };
    const Case cases[] = {
        {kColourText, {kKeyHome}, 0xFFFFFF, 0xFFFF00},             // red to 0
        {kColourCrcOk, {kKeyEnd}, 0x00FF00, 0x00FFFF},             // red to 255
        {kColourBackground, {kKeyEnd}, 0x000000, 0x0000FF},        // red to 255
        {kColourInfo, {kKeyHome, kKeyEscape}, 0xFFFFFF, 0xFFFFFF}, // cancelled
    };
    for (const Case &c : cases) {
        EXPECT_EQ(configuration.colours[c.index], c.before);
        Pick(c.index, c.keys);
        EXPECT_EQ(configuration.colours[c.index], c.after);
        EXPECT_EQ(view->Colors().Swatch(c.index).Color(), c.after);
    }
    const DecoderColors &engineColors = engine.Output().Colors();
    EXPECT_EQ(engineColors.text, 0xFFFF00u);
    EXPECT_EQ(engineColors.l2CrcOk, 0x00FFFFu);
    EXPECT_EQ(engineColors.info, 0xFFFFFFu);
    for (int32_t channel = 0; channel < kChannelCount; ++channel)
        EXPECT_EQ(view->Parts().channels[size_t(channel)].text.BackgroundColor(), 0x0000FFu);

    Write("new");
    const std::vector<TextCell> cells = engine.Output().View(0).LineCells(0);
    ASSERT_EQ(cells.size(), 7u);
    EXPECT_EQ(cells.front().colour, 0xFFFFFFu);
    EXPECT_EQ(cells.back().colour, 0xFFFF00u);
    view->Colors().Paint();
    EXPECT_TRUE(display->SavePng(view->Colors().NativeHandle(), "windows-decoder-colors.png"));

    // "Close" and the caption's close only hide it.
    ClickIn(view->Colors().CloseButton(), 10, 10);
    EXPECT_FALSE(view->Colors().Visible());
}

TEST_F(ColorsDialogTest, BuildsFromTheConfigurationBlock)
{
    configuration.colours[kColourBackground] = 0x102030;
    configuration.colours[kColourL4Header] = 0x405060;
    Build();
    EXPECT_EQ(view->Colors().Swatch(kColourL4Header).Color(), 0x405060u);
    EXPECT_EQ(view->Parts().channels[0].text.BackgroundColor(), 0x102030u);
}

} // namespace
} // namespace sirrel::test
