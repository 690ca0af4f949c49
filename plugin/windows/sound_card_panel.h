// SoundCardPanel: the sound card's controls of a decoder window whose receiver records from the sound card:
// "Wave device in use", "Mixer device in use" and "Mixer line in use" (each a list to choose from), the
// "Audio level" meter and the "Clipping" indicator. The window knows nothing of the sound system: the instance
// hands it what to show and what a choice does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/controls.h"
#include "ui/geometry.h"
#include "ui/lists.h"
#include "ui/range_controls.h"

namespace sirrel {

// One list of the panel: its entries, the one in use, and what choosing another does.
struct SoundCardChoice {
    std::function<std::vector<std::string>()> names;
    std::function<int32_t()> selected;
    std::function<void(int32_t index)> choose;
};

struct SoundCardControls {
    SoundCardChoice waveDevice;
    SoundCardChoice mixerDevice;
    SoundCardChoice mixerLine;
    // The largest magnitude of the latest audio, 0..32767.
    std::function<int32_t()> level;
    // "Clipping" colour, 0x00BBGGRR.
    std::function<uint32_t()> clippingColour;
    // Takes the mixer's events on the user-interface thread, before the lists are looked at.
    std::function<void()> service;
    // Why the sound card stopped since the last look (caption and text), empty while it runs.
    std::function<std::pair<std::string, std::string>()> failure;
};

class SoundCardPanel : public Oru_Window {
public:
    static constexpr int32_t kFullScale = 32767;

    SoundCardPanel(Oru_Window &parent, Rect area, SoundCardControls controls);
    ~SoundCardPanel() override;

    // Follows the level, the clipping and choices made elsewhere; the window's refresh timer calls it.
    void Refresh();

    Oru_ComboBox &WaveDevice() { return lists_[kWave].combo; }
    Oru_ComboBox &MixerDevice() { return lists_[kMixer].combo; }
    Oru_ComboBox &MixerLine() { return lists_[kLine].combo; }
    Oru_LevelMeter &Level() { return level_; }
    Oru_ColorSwatch &Clipping() { return clipping_; }

private:
    enum { kWave, kMixer, kLine, kLists };
    struct List {
        Oru_Label label;
        Oru_ComboBox combo;
        SoundCardChoice *choice = nullptr;
        std::vector<std::string> shown;
    };

    static void Picked(Oru_Window *combo, void *panel);
    void Fill(List &list);

    SoundCardControls controls_;
    List lists_[kLists];
    Oru_Label levelLabel_;
    Oru_LevelMeter level_;
    Oru_ColorSwatch clipping_;
};

} // namespace sirrel
