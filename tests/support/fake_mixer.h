// A mixer card in memory for the tests of Oru_AudioMixer and of its users.
#pragma once

#include <map>
#include <utility>

#include "audio/audio_mixer.h"

namespace sirrel {

// Lines with two channels each; a selector when the card has items.
class FakeMixer : public MixerBackend {
public:
    struct Card {
        std::vector<Line> lines;
        std::vector<std::string> items;
        int32_t item = 0;
        std::map<int32_t, bool> captures;
        std::map<std::pair<int32_t, int32_t>, int32_t> volumes;
        std::map<std::pair<int32_t, int32_t>, bool> mutes;
        bool changed = false;
    };
    explicit FakeMixer(Card &card) : card_(card) {}

    std::vector<std::string> Devices() override { return {"Card A"}; }
    bool Open(int32_t device) override { return device == 0; }
    void Close() override {}
    std::vector<Line> Lines() override { return card_.lines; }
    std::vector<std::string> SelectorItems() override { return card_.items; }
    int32_t SelectedItem() override { return card_.items.empty() ? -1 : card_.item; }
    void SelectItem(int32_t item) override { card_.item = item; }
    bool CaptureSwitch(int32_t line) override { return card_.captures[line]; }
    void SetCaptureSwitch(int32_t line, bool on) override { card_.captures[line] = on; }
    int32_t Channels(int32_t) override { return 2; }
    int32_t Volume(int32_t line, int32_t channel) override { return card_.volumes[{line, channel}]; }
    void SetVolume(int32_t line, int32_t channel, int32_t volume) override { card_.volumes[{line, channel}] = volume; }
    bool Muted(int32_t line, int32_t channel) override { return card_.mutes[{line, channel}]; }
    void SetMuted(int32_t line, int32_t channel, bool muted) override { card_.mutes[{line, channel}] = muted; }
    std::vector<pollfd> Descriptors() override { return {}; }
    bool TakeEvents() override { return std::exchange(card_.changed, false); }

private:
    Card &card_;
};

} // namespace sirrel
