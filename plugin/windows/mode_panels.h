// The "Decoder" group: the "Mode" list and, below it, the parameter panel of the selected mode (none for raw
// bits). Every change the user makes is an engine edit. A timer brings the controls up to the engine's
// published settings when they moved (a protocol applied, a stored setting), touching only the controls whose
// values changed there, so that a field being typed in keeps its text and nothing goes back as an edit.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "protocols/settings_model.h"
#include "ui/controls.h"
#include "ui/lists.h"
#include "ui/numeric_field.h"
#include "windows/group_frame.h"
#include "windows/window_context.h"

namespace sirrel {

class ModePanels : public Oru_Window {
public:
    static constexpr uint32_t kRefreshTimer = 1;
    static constexpr uint32_t kRefreshMilliseconds = 100;

    // The parameter panels, one per group of modes.
    enum Panel : int32_t { kAsyncPanel, kArqPanel, kPacketPanel, kFecPanel, kCisPanel, kArqmPanel, kPanelCount };

    ModePanels(Oru_Window &parent, Rect area, WindowContext &context);
    ~ModePanels() override;

    void Gather(Configuration &c) const;
    // Takes the published settings when they moved; the refresh timer calls it.
    void Refresh();
    void TimerTick(uint32_t id) override;

    Oru_ComboBox &ModeList() { return mode_; }
    Oru_Window &PanelWindow(Panel panel) { return panels_[panel]; }
    // The control of a parameter by its label on a panel ("Cycle length (bits)" on the ARQ panel), or null.
    Oru_Window *Control(Panel panel, const std::string &label);

private:
    struct Row;

    static void ModePicked(Oru_Window *, void *panels);
    static void RowChanged(Oru_Window *, void *row);

    void BuildRow(size_t index, int32_t top);
    // The panel of the mode, its ITA2-only controls with it.
    void ShowMode(int32_t mode);
    void ShowRow(Row &row, const SettingsModel &settings);
    // What the controls show, over `settings`.
    void ReadControls(SettingsModel &settings) const;

    WindowContext &context_;
    GroupFrame group_;
    Oru_Label modeLabel_;
    Oru_ComboBox mode_;
    std::array<Oru_Window, kPanelCount> panels_;
    std::vector<std::unique_ptr<Row>> rows_;
    // The settings as last published, and the change count they came with.
    SettingsModel published_;
    uint64_t seen_ = 0;
};

} // namespace sirrel
