#include "gallery.h"

#include <cmath>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/edit_field.h"
#include "ui/lists.h"
#include "ui/numeric_field.h"
#include "ui/signal_display_view.h"
#include "ui/views.h"

namespace sirrel {

struct Gallery::Parts {
    Oru_Frame frame;
    Oru_Label title, longText, colored;
    Oru_PushButton normal, focused, pressed, disabled, image, counting;
    Oru_CheckBox unchecked, checked, checkedDisabled;
    Oru_RadioGroup radio;
    Oru_EditField edit, selected, editDisabled;
    Oru_NumericField plain, integer, frequency, frequencyShort, time;
    Oru_ComboBox combo, editableCombo;
    Oru_ListBox list;
    Oru_ScrollBar scroll;
    Oru_Slider slider;
    Oru_LevelMeter meter;
    Oru_ColorSwatch clipping, swatch;
    Oru_PixmapView pixmap;
    Oru_BarGraph graph;
    Oru_CellGrid grid;
    Oru_PageContainer pages;
    Oru_ScrollingView lines;
    // The displays outlive their views: members go in reverse order.
    SignalDisplay spectrum, waterfall, scope;
    SignalDisplayView spectrumView, waterfallView, scopeView;
    int32_t clicks = 0;
};

Gallery::Gallery() : parts_(std::make_unique<Parts>()) {}
Gallery::~Gallery() = default;

Oru_Frame &Gallery::Window() { return parts_->frame; }
Oru_Window &Gallery::CountingButton() { return parts_->counting; }
int32_t Gallery::Clicks() const { return parts_->clicks; }

bool Gallery::Create(int32_t x, int32_t y)
{
    Parts &p = *parts_;
    if (!p.frame.CreateFrame(nullptr, x, y, kWidth, kHeight, "Window framework gallery", true))
        return false;
    p.frame.SetSizeLimits(320, 200, -1, -1);
    Oru_Frame *f = &p.frame;
    const int32_t top = Oru_Frame::kCaptionHeight + 8;

    // Column 1: labels and buttons.
    p.title.CreateLabel(f, 12, top, 160, 18, "Labels and buttons");
    p.title.SetFont(FontDescription::Make("Arial", 14, true));
    p.longText.CreateLabel(f, 12, top + 20, 160, 18, "A label with a text far too long for its place");
    p.colored.CreateLabel(f, 12, top + 40, 160, 18, "Courier New, coloured");
    p.colored.SetFont(FontDescription::Make("Courier New", 13));
    p.colored.SetColors(Rgb(0, 0, 64), Rgb(255, 255, 0));
    p.normal.CreateButton(f, 12, top + 64, 76, 24, "Normal");
    p.focused.CreateButton(f, 96, top + 64, 76, 24, "Focused");
    p.pressed.CreateButton(f, 12, top + 94, 76, 24, "Pressed");
    p.pressed.SetStateBits(kStatePressed);
    p.disabled.CreateButton(f, 96, top + 94, 76, 24, "Disabled");
    p.disabled.Enable(false);
    p.image.CreateButton(f, 12, top + 124, 32, 24, "");
    OruDynamicPixMap *icon = OruDynamicPixMap_Construct(nullptr);
    if (icon) {
        OruDynamicPixMap_FormatUpdate(icon, 16, 16, 32);
        icon->Fill(icon, 0x2060C0);
        icon->Rectangle(icon, 4, 4, 11, 11, 0xF0C020);
        icon->Line(icon, 0, 15, 15, 0, 0xFFFFFF);
        p.image.SetImage(*icon);
        OruDynamicPixMap_Destruct(icon, 1);
    }
    p.counting.CreateButton(f, 52, top + 124, 120, 24, "Click me");
    p.counting.SetClickCallback([](Oru_Window *, void *count) { ++*static_cast<int32_t *>(count); }, &p.clicks);

    // Column 2: check boxes and a radio group.
    p.unchecked.CreateCheckBox(f, 200, top, 150, 20, "Unchecked");
    p.checked.CreateCheckBox(f, 200, top + 22, 150, 20, "Checked");
    p.checked.SetChecked(true);
    p.checkedDisabled.CreateCheckBox(f, 200, top + 44, 150, 20, "Checked, disabled");
    p.checkedDisabled.SetChecked(true);
    p.checkedDisabled.Enable(false);
    p.radio.CreateRadioGroup(f, 200, top + 72, 150, {"ITA2", "ASCII", "ARQ-E", "SITOR-B"});
    p.radio.Select(2);

    // Column 3: text and numbers.
    p.edit.CreateEdit(f, 380, top, 160, 22, "Edit field");
    p.selected.CreateEdit(f, 380, top + 28, 160, 22, "Selected text here");
    p.selected.Select(0, 8);
    p.editDisabled.CreateEdit(f, 380, top + 56, 160, 22, "Disabled");
    p.editDisabled.Enable(false);
    p.plain.CreateNumeric(f, 380, top + 90, 160, 22, Oru_NumericField::Kind::Plain);
    p.plain.SetDecimals(2);
    p.plain.SetValue(45.45);
    p.integer.CreateNumeric(f, 380, top + 118, 160, 22, Oru_NumericField::Kind::Integer);
    p.integer.SetValue(170);
    p.frequency.CreateNumeric(f, 380, top + 146, 160, 22, Oru_NumericField::Kind::Frequency);
    p.frequency.SetDecimals(3);
    p.frequency.SetValue(7041000);
    p.frequencyShort.CreateNumeric(f, 380, top + 174, 160, 22, Oru_NumericField::Kind::FrequencySignificant);
    p.frequencyShort.SetValue(518000);
    p.time.CreateNumeric(f, 380, top + 202, 160, 22, Oru_NumericField::Kind::Time);
    p.time.SetValue(0.020);

    // Below: lists and ranges.
    const int32_t lower = top + 240;
    p.combo.CreateCombo(f, 12, lower, 160, 22, false);
    p.editableCombo.CreateCombo(f, 12, lower + 30, 160, 22, true, 12);
    p.list.CreateList(f, 200, lower, 150, 4 * Oru_ListBox::kRowHeight + 2);
    for (const char *rate : {"45.45", "50", "75", "96", "100", "200"}) {
        p.combo.AddItem(rate);
        p.editableCombo.AddItem(rate);
        p.list.AddItem(std::string(rate) + " Bd");
    }
    p.combo.Select(1);
    p.editableCombo.Select(4);
    p.list.Select(2);
    p.scroll.CreateScrollBar(f, 380, lower, 160, 14, false);
    p.scroll.SetRange(0, 99, 20);
    p.scroll.SetPosition(40);
    p.slider.CreateSlider(f, 380, lower + 20, 160, 22, 0, 100);
    p.slider.SetValue(65);
    p.meter.CreateMeter(f, 380, lower + 50, 160, 12, 100);
    p.meter.SetLevel(95);
    p.clipping.CreateSwatch(f, 380, lower + 68, 76, 20, Rgb(224, 0, 0));
    p.clipping.SetText("Clipping");
    p.clipping.SetTextColor(Rgb(255, 255, 255));
    p.swatch.CreateSwatch(f, 464, lower + 68, 76, 20, Rgb(0, 96, 160));

    // Right: the views that other parts fill.
    p.pixmap.CreateView(f, 572, top, 184, 90);
    OruDynamicPixMap &map = p.pixmap.Map();
    for (int32_t y = 0; y < map.Height; ++y)
        map.LineHorizontalRaw(&map, 0, map.Width - 1, y, ColorInterpolate(0x000020, 0x3060FF, map.Height, y));
    for (int32_t x = 1; x < map.Width; ++x) {
        const auto wave = [&](int32_t at) { return int32_t(45 + 35 * std::sin(at * 0.12)); };
        map.Line(&map, x - 1, wave(x - 1), x, wave(x), 0xFFFF40);
    }
    p.graph.CreateGraph(f, 572, top + 100, 184, 110);
    p.graph.SetEntries({"E", "T", "A", "O", "I", "N"}, {127, 91, 82, 75, 70, 67});
    p.grid.CreateGrid(f, 572, top + 222, 4, 8, 23, 18);
    p.grid.SetCellPainter(
        [](Canvas &canvas, int32_t row, int32_t column, const Rect &cell, bool selected, void *owner) {
            const char text[2] = {char('A' + row * 8 + column), 0};
            canvas.TextIn(static_cast<Oru_Window *>(owner)->Font(), cell, text,
                          selected ? Scheme().selectionText : Scheme().text, true);
        },
        &p.grid);
    p.grid.SelectCell(1, 2);
    AddDisplays(top + 302);

    // Bottom: pages, the first with a scrolling view.
    p.pages.CreatePages(f, 12, lower + 100, 544, 150);
    Oru_Window *first = p.pages.AddPage("Channel 1");
    for (const char *name : {"Channel 2", "Channel 3", "Channel 4"})
        p.pages.AddPage(name);
    p.lines.CreateScrolling(first, 0, 0, first->Width(), first->Height(), 16);
    p.lines.SetLinePainter(
        [](Canvas &canvas, int32_t line, const Rect &area, void *owner) {
            canvas.TextIn(static_cast<Oru_Window *>(owner)->Font(), {area.left + 4, area.top, area.right, area.bottom},
                          "ZCZC line " + std::to_string(line) + ": RYRYRYRYRY THE QUICK BROWN FOX", Scheme().text,
                          false);
        },
        &p.lines);
    p.lines.SetLineCount(200);
    p.lines.SetFirstLine(20);

    p.focused.SetFocus();
    return true;
}

void Gallery::AddDisplays(int32_t top)
{
    Parts &p = *parts_;
    // Two FSK tones in a little noise; the waterfall sees them drift upwards frame by frame.
    uint32_t noise = 12345;
    std::vector<int16_t> frame(2048);
    auto fill = [&](double space, double mark) {
        for (size_t i = 0; i < frame.size(); ++i) {
            noise = noise * 1103515245u + 12345u;
            const double t = double(i) / 11025.0;
            const double tone = (i / 240) % 2 ? mark : space;
            frame[i] = int16_t(9000.0 * std::sin(2.0 * M_PI * tone * t) + double(int32_t(noise >> 24) - 128));
        }
    };
    for (SignalDisplay *d : {&p.spectrum, &p.waterfall}) {
        d->SetMode(d == &p.spectrum ? kDisplaySpectrum : kDisplayWaterfall);
        d->SetBufferSize(2048);
        d->SetFFTWindowType(4);
        d->SetSamplingRate(11025.0f);
        d->SetMaximumFrequency(3000.0);
        d->SetAveraging(true, 0.5f);
        d->SetMarkerCount(2);
        d->SetMarker(0, 1275.0);
        d->SetMarker(1, 1445.0);
    }
    p.spectrum.SetStyle(kStyleBars);
    p.spectrumView.CreateDisplayView(&p.frame, 572, top, 184, 60, p.spectrum);
    p.waterfallView.CreateDisplayView(&p.frame, 572, top + 64, 184, 60, p.waterfall);
    p.waterfallView.SetPalette(false, true);
    for (int32_t row = 0; row < 60; ++row) {
        fill(1175.0 + 2.0 * row, 1345.0 + 2.0 * row);
        p.waterfall.FeedSamples(frame.data(), uint32_t(frame.size()), 1);
        p.waterfallView.Refresh();
        p.spectrum.FeedSamples(frame.data(), uint32_t(frame.size()), 1);
    }

    p.scope.SetBufferSize(2048);
    p.scope.SetSamplingRate(11025.0f);
    p.scope.SetDivisions(10);
    p.scope.SetSecondsPerDivision(0.002);
    p.scope.SetTimeMarkerCount(2);
    p.scope.SetTimeMarker(0, 0.004);
    p.scope.SetTimeMarker(1, 0.012);
    p.scope.FeedSamples(frame.data(), uint32_t(frame.size()), 1);
    p.scopeView.CreateDisplayView(&p.frame, 572, top + 128, 184, 60, p.scope);
}

} // namespace sirrel
