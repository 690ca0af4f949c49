#include "windows/sound_card_panel.h"

#include "orurt.h"
#include "ui/message_box.h"

namespace sirrel {

namespace {

constexpr int32_t kRowHeight = 20;
constexpr int32_t kGap = 4;
constexpr int32_t kLabelWidth = 124;
constexpr int32_t kClippingWidth = 70;
constexpr uint32_t kNoClipping = 0x000080;

} // namespace

SoundCardPanel::SoundCardPanel(Oru_Window &parent, Rect area, SoundCardControls controls)
    : controls_(std::move(controls))
{
    Create(&parent, area.left, area.top, area.Width(), area.Height(), false, kStyleWindowless, 0);
    SetColors(parent.BackgroundColor(), parent.TextColor());
    const int32_t width = area.Width();
    const char *const labels[kLists] = {"Wave device in use", "Mixer device in use", "Mixer line in use"};
    SoundCardChoice *const choices[kLists] = {&controls_.waveDevice, &controls_.mixerDevice, &controls_.mixerLine};
    for (int i = 0; i < kLists; ++i) {
        List &list = lists_[i];
        const int32_t top = i * (kRowHeight + kGap);
        list.choice = choices[i];
        list.label.CreateLabel(this, 0, top, kLabelWidth, kRowHeight, labels[i]);
        list.combo.CreateCombo(this, kLabelWidth, top, width - kLabelWidth, kRowHeight, false);
        list.combo.SetClickCallback(&SoundCardPanel::Picked, this);
        Fill(list);
    }
    const int32_t top = kLists * (kRowHeight + kGap);
    levelLabel_.CreateLabel(this, 0, top, kLabelWidth, kRowHeight, "Audio level");
    level_.CreateMeter(this, kLabelWidth, top, width - kLabelWidth - kClippingWidth - kGap, kRowHeight, kFullScale);
    clipping_.CreateSwatch(this, width - kClippingWidth, top, kClippingWidth, kRowHeight, kNoClipping);
    clipping_.SetText("Clipping");
}

SoundCardPanel::~SoundCardPanel() { Destroy(); }

void SoundCardPanel::Fill(List &list)
{
    SoundCardChoice &choice = *list.choice;
    list.shown = choice.names ? choice.names() : std::vector<std::string>{};
    OruStringList names;
    OruStringList_Construct(&names);
    for (const std::string &name : list.shown)
        OruStringList_Add_String(&names, name.c_str());
    list.combo.List().SetItems(names);
    OruStringList_Destruct(&names, 0);
    list.combo.Select(choice.selected ? choice.selected() : -1);
}

void SoundCardPanel::Picked(Oru_Window *combo, void *context)
{
    auto *panel = static_cast<SoundCardPanel *>(context);
    for (List &list : panel->lists_) {
        if (&list.combo != combo)
            continue;
        if (list.choice->choose)
            list.choice->choose(list.combo.Selected());
        // A new mixer brings its own lines.
        panel->Refresh();
        return;
    }
}

void SoundCardPanel::Refresh()
{
    if (controls_.service)
        controls_.service();
    for (List &list : lists_) {
        const std::vector<std::string> names = list.choice->names ? list.choice->names() : std::vector<std::string>{};
        const int32_t selected = list.choice->selected ? list.choice->selected() : -1;
        if (names != list.shown)
            Fill(list);
        else if (selected != list.combo.Selected())
            list.combo.Select(selected);
    }
    if (controls_.level)
        level_.SetLevel(controls_.level());
    if (controls_.clippingColour)
        clipping_.SetColor(controls_.clippingColour());
    if (controls_.failure) {
        const auto [caption, text] = controls_.failure();
        if (!text.empty())
            ShowMessageBox(TopLevel(), caption, text, kBoxOk);
    }
}

} // namespace sirrel
