// AlsaMixer: the mixer back-end over ALSA's simple mixer, one card at a time.
#pragma once

#include <alsa/asoundlib.h>

#include "audio/audio_mixer.h"

namespace sirrel {

class AlsaMixer : public MixerBackend {
public:
    AlsaMixer() = default;
    ~AlsaMixer() override;
    AlsaMixer(const AlsaMixer &) = delete;
    AlsaMixer &operator=(const AlsaMixer &) = delete;

    std::vector<std::string> Devices() override;
    bool Open(int32_t device) override;
    void Close() override;
    std::vector<Line> Lines() override;
    std::vector<std::string> SelectorItems() override;
    int32_t SelectedItem() override;
    void SelectItem(int32_t item) override;
    bool CaptureSwitch(int32_t line) override;
    void SetCaptureSwitch(int32_t line, bool on) override;
    int32_t Channels(int32_t line) override;
    int32_t Volume(int32_t line, int32_t channel) override;
    void SetVolume(int32_t line, int32_t channel, int32_t volume) override;
    bool Muted(int32_t line, int32_t channel) override;
    void SetMuted(int32_t line, int32_t channel, bool muted) override;
    std::vector<pollfd> Descriptors() override;
    bool TakeEvents() override;

private:
    snd_mixer_elem_t *Element(int32_t line) const;
    snd_mixer_selem_channel_id_t Channel(int32_t line, int32_t channel) const;

    bool listed_ = false;
    std::vector<int> cards_;
    std::vector<std::string> names_;
    snd_mixer_t *mixer_ = nullptr;
    snd_mixer_elem_t *selector_ = nullptr;
    std::vector<snd_mixer_elem_t *> lines_;
};

} // namespace sirrel
