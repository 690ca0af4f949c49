// Range controls, lists, the drop-down combo box, pages, the scrolling view, the cell grid, the bar graph and
// the colour picker, as a user and as the other parts of the plug-in drive them.
#include <thread>

#include "headless_fixture.h"
#include "ui/color_picker.h"
#include "ui/frame.h"
#include "ui/lists.h"
#include "ui/views.h"

namespace sirrel::test {
namespace {

class Views : public HeadlessUi {
protected:
    Views()
    {
        EXPECT_TRUE(frame.CreateFrame(nullptr, 100, 50, 500, 400, "Views", true));
        frame.ShowCommand(kShowShow);
        PumpMessages();
    }
    void Click(const Oru_Window &control, int32_t x, int32_t y)
    {
        display->Click(control.TopLevel()->NativeHandle(), control.OffsetX() + x, control.OffsetY() + y);
        PumpMessages();
    }
    void Key(uint32_t key)
    {
        display->PressKey(frame.NativeHandle(), key);
        PumpMessages();
    }
    static void Count(Oru_Window *, void *counter) { ++*static_cast<int *>(counter); }

    Oru_Frame frame;
    int changes = 0;
};

TEST_F(Views, ScrollBarStepsPagesDragsAndStaysInRange)
{
    Oru_ScrollBar bar;
    ASSERT_TRUE(bar.CreateScrollBar(&frame, 10, 30, 14, 200, true));
    bar.SetRange(0, 99, 10);
    bar.SetClickCallback(&Count, &changes);
    bar.SetPosition(500);
    EXPECT_EQ(bar.Position(), 90) << "the last page starts at maximum - page + 1";
    bar.SetPosition(-3);
    EXPECT_EQ(bar.Position(), 0);
    Click(bar, 7, 195); // lower arrow
    EXPECT_EQ(bar.Position(), 1);
    Click(bar, 7, 150); // track below the thumb
    EXPECT_EQ(bar.Position(), 11);
    Click(bar, 7, 5); // upper arrow
    EXPECT_EQ(bar.Position(), 10);
    EXPECT_EQ(changes, 3);
    // The thumb (at 10 of 90, 17 pixels from y = 31 on a 172-pixel track) dragged past the end stops at the last
    // position.
    display->Drag(frame.NativeHandle(), bar.OffsetX() + 7, bar.OffsetY() + 36, bar.OffsetX() + 7, 2000);
    PumpMessages();
    EXPECT_EQ(bar.Position(), 90);

    bar.SetRange(5, 2, 0); // nonsense: an empty range at 5
    EXPECT_EQ(bar.Position(), 5);
}

TEST_F(Views, SliderAndMeterKeepTheirLimits)
{
    Oru_Slider slider;
    ASSERT_TRUE(slider.CreateSlider(&frame, 10, 30, 110, 20, 100, -100)); // limits in either order
    slider.SetClickCallback(&Count, &changes);
    EXPECT_EQ(slider.Value(), -100);
    Click(slider, 105, 10);
    EXPECT_EQ(slider.Value(), 100);
    Key(kKeyRight);
    EXPECT_EQ(slider.Value(), 100);
    Key(kKeyHome);
    EXPECT_EQ(slider.Value(), -100);
    EXPECT_EQ(changes, 2);

    Oru_LevelMeter meter;
    ASSERT_TRUE(meter.CreateMeter(&frame, 10, 60, 100, 10, 32767));
    std::thread writer([&] {
        for (int32_t level = -40000; level < 40000; level += 97)
            meter.SetLevel(level);
    });
    for (int i = 0; i < 50; ++i)
        frame.Paint();
    writer.join();
    EXPECT_EQ(meter.Level(), 32767);
    meter.SetLevel(-1);
    EXPECT_EQ(meter.Level(), 0);
}

TEST_F(Views, ListBoxSelectsByClickKeysAndProgram)
{
    Oru_ListBox list;
    ASSERT_TRUE(list.CreateList(&frame, 10, 30, 150, 3 * Oru_ListBox::kRowHeight + 2));
    for (const char *item : {"ITA2", "ASCII", "SITOR-A", "SITOR-B", "NAVTEX"})
        list.AddItem(item);
    list.SetClickCallback(&Count, &changes);
    EXPECT_EQ(list.Selected(), -1);
    EXPECT_EQ(list.SelectedText(), "");
    Click(list, 20, 1 + Oru_ListBox::kRowHeight + 5);
    EXPECT_EQ(list.SelectedText(), "ASCII");
    Key(kKeyEnd);
    EXPECT_EQ(list.Selected(), 4);
    Key(kKeyDown);
    EXPECT_EQ(list.Selected(), 4);
    EXPECT_EQ(changes, 2);
    list.Select(17);
    EXPECT_EQ(list.Selected(), -1);
    EXPECT_EQ(changes, 2);
}

TEST_F(Views, ComboBoxDropsItsListInAPopUpAndTakesThePick)
{
    Oru_ComboBox combo;
    ASSERT_TRUE(combo.CreateCombo(&frame, 20, 40, 120, 22, false));
    for (const char *item : {"45.45", "50", "75", "100", "150", "200", "300", "600", "1200"})
        combo.AddItem(item);
    combo.SetClickCallback(&Count, &changes);
    Click(combo, 110, 10);
    ASSERT_TRUE(combo.Dropped());
    const auto popup = display->Record(combo.List().NativeHandle());
    EXPECT_TRUE(popup.visible);
    EXPECT_EQ(popup.spec.owner, frame.NativeHandle());
    EXPECT_EQ(popup.spec.y, 50 + 40 + 22) << "just below the box, on the screen";
    EXPECT_EQ(popup.spec.height, 8 * Oru_ListBox::kRowHeight + 2);

    display->Click(combo.List().NativeHandle(), 10, 1 + 3 * Oru_ListBox::kRowHeight + 4);
    PumpMessages();
    EXPECT_FALSE(combo.Dropped());
    EXPECT_EQ(combo.SelectedText(), "100");
    EXPECT_EQ(changes, 1);

    // Another control taking the focus closes the list.
    Oru_PushButton other;
    ASSERT_TRUE(other.CreateButton(&frame, 300, 100, 60, 22, "Other"));
    Click(combo, 110, 10);
    ASSERT_TRUE(combo.Dropped());
    Click(other, 5, 5);
    EXPECT_FALSE(combo.Dropped());

    Oru_ComboBox editable;
    ASSERT_TRUE(editable.CreateCombo(&frame, 200, 40, 120, 22, true, 5));
    editable.AddItem("ARQ-E");
    editable.AddItem("ARQ-N");
    Click(editable, 5, 10);
    display->TypeText(frame.NativeHandle(), "ARQ-NNNN");
    PumpMessages();
    EXPECT_EQ(editable.SelectedText(), "ARQ-N") << "typing stops at the maximum length";
    EXPECT_EQ(editable.Selected(), 1) << "the typed text names the second item";
}

TEST_F(Views, PageContainerShowsOnePageAtATime)
{
    Oru_PageContainer pages;
    ASSERT_TRUE(pages.CreatePages(&frame, 10, 30, 400, 300));
    pages.SetClickCallback(&Count, &changes);
    Oru_Window *channels[4];
    for (int i = 0; i < 4; ++i)
        channels[i] = pages.AddPage("Channel " + std::to_string(i + 1));
    Oru_Label onThird;
    ASSERT_TRUE(onThird.CreateLabel(channels[2], 5, 5, 100, 20, "third"));
    EXPECT_TRUE(channels[0]->Visible());
    EXPECT_FALSE(channels[2]->Visible());
    Click(pages, 2 * 100 + 10, 10);
    EXPECT_EQ(pages.Current(), 2);
    EXPECT_TRUE(channels[2]->Visible());
    EXPECT_FALSE(channels[0]->Visible());
    EXPECT_EQ(changes, 1);
    pages.ShowPage(9);
    EXPECT_EQ(pages.Current(), 2);
}

TEST_F(Views, ScrollingViewPaintsOnlyTheLinesInView)
{
    Oru_ScrollingView view;
    ASSERT_TRUE(view.CreateScrolling(&frame, 10, 30, 300, 160, 16));
    std::vector<int32_t> painted;
    view.SetLinePainter(
        [](Canvas &, int32_t line, const Rect &area, void *seen) {
            auto &lines = *static_cast<std::vector<int32_t> *>(seen);
            EXPECT_EQ(area.Height(), 16);
            lines.push_back(line);
        },
        &painted);
    view.SetLineCount(1000);
    view.SetFirstLine(5000);
    EXPECT_EQ(view.FirstLine(), 1000 - view.VisibleLines());
    painted.clear();
    frame.Paint();
    ASSERT_FALSE(painted.empty());
    EXPECT_EQ(painted.front(), 990);
    EXPECT_EQ(painted.back(), 999);

    view.SetLineCount(3);
    painted.clear();
    frame.Paint();
    EXPECT_EQ(painted, (std::vector<int32_t>{0, 1, 2}));
}

TEST_F(Views, CellGridPaintsEveryCellAndReportsClicks)
{
    Oru_CellGrid grid;
    ASSERT_TRUE(grid.CreateGrid(&frame, 10, 30, 4, 8, 20, 18));
    int cells = 0;
    grid.SetCellPainter(
        [](Canvas &canvas, int32_t row, int32_t column, const Rect &cell, bool, void *count) {
            ++*static_cast<int *>(count);
            EXPECT_EQ(cell.left, column * 20 + 1);
            EXPECT_EQ(cell.top, row * 18 + 1);
            canvas.FillRect(cell, Rgb(0, 255, 0));
        },
        &cells);
    grid.SetClickCallback(&Count, &changes);
    frame.Paint();
    EXPECT_EQ(cells, 32);
    Click(grid, 3 * 20 + 5, 2 * 18 + 5);
    EXPECT_EQ(grid.SelectedRow(), 2);
    EXPECT_EQ(grid.SelectedColumn(), 3);
    EXPECT_EQ(changes, 1);
    Key(kKeyDown);
    Key(kKeyDown);
    EXPECT_EQ(grid.SelectedRow(), 3);
    grid.SelectCell(-4, 99);
    EXPECT_EQ(grid.SelectedRow(), 0);
    EXPECT_EQ(grid.SelectedColumn(), 7);
}

TEST_F(Views, BarGraphScalesToTheLargestEntry)
{
    Oru_BarGraph graph;
    ASSERT_TRUE(graph.CreateGraph(&frame, 10, 30, 202, 122));
    graph.SetEntries({"A", "B"}, {0});
    frame.Paint();
    graph.SetEntries({"A", "B"}, {50, 100});
    frame.Paint();
    const auto pixels = display->Record(frame.NativeHandle()).pixels;
    auto at = [&](int32_t x, int32_t y) { return pixels[size_t(frame.Y() * 0 + 30 + y) * 500 + 10 + x]; };
    const uint32_t bar = OruDynamicPixMap_ColorToPalette(nullptr, Scheme().selection);
    const int32_t plotBottom = 120 - (graph.Font()->LineHeight() + 2);
    EXPECT_EQ(at(150, plotBottom - 5), bar) << "the largest entry's bar";
    EXPECT_EQ(at(150, 3), bar) << "reaches the top";
    EXPECT_EQ(at(50, plotBottom - 5), bar);
    EXPECT_NE(at(50, 10), bar) << "half the largest stops half way";
}

TEST_F(Views, ColorPickerReturnsTheChosenColourOnOkOnly)
{
    uint32_t color = Rgb(10, 20, 30);
    display->SetIdleHandler([this, keys = std::vector<uint32_t>{kKeyRight, kKeyRight, kKeyReturn}, next = 0]() mutable {
        if (next < int(keys.size()))
            display->PressKey(display->Windows().back(), keys[next++]);
    });
    ASSERT_TRUE(Oru_ColorPicker::Pick(&frame, color));
    EXPECT_EQ(color, Rgb(12, 20, 30));

    display->SetIdleHandler([this] { display->PressKey(display->Windows().back(), kKeyEscape); });
    EXPECT_FALSE(Oru_ColorPicker::Pick(&frame, color));
    EXPECT_EQ(color, Rgb(12, 20, 30));
}

} // namespace
} // namespace sirrel::test
