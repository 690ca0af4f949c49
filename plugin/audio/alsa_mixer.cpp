#include "audio/alsa_mixer.h"

#include <algorithm>

namespace sirrel {

namespace {

constexpr int32_t kFullScale = 65535;

} // namespace

AlsaMixer::~AlsaMixer() { Close(); }

// Asking a card its name opens it: the list is made once, when first asked for.
std::vector<std::string> AlsaMixer::Devices()
{
    if (listed_)
        return names_;
    listed_ = true;
    for (int card = -1; snd_card_next(&card) == 0 && card >= 0;) {
        char *name = nullptr;
        if (snd_card_get_name(card, &name) < 0)
            continue;
        cards_.push_back(card);
        names_.emplace_back(name);
        free(name);
    }
    return names_;
}

bool AlsaMixer::Open(int32_t device)
{
    Close();
    Devices();
    if (device < 0 || size_t(device) >= cards_.size())
        return false;
    const std::string name = "hw:" + std::to_string(cards_[size_t(device)]);
    if (snd_mixer_open(&mixer_, 0) < 0)
        return false;
    if (snd_mixer_attach(mixer_, name.c_str()) < 0 || snd_mixer_selem_register(mixer_, nullptr, nullptr) < 0 ||
        snd_mixer_load(mixer_) < 0) {
        snd_mixer_close(mixer_);
        mixer_ = nullptr;
        return false;
    }
    for (snd_mixer_elem_t *e = snd_mixer_first_elem(mixer_); e; e = snd_mixer_elem_next(e)) {
        if (!snd_mixer_selem_is_active(e))
            continue;
        if (snd_mixer_selem_is_enumerated(e) && snd_mixer_selem_is_enum_capture(e)) {
            if (!selector_)
                selector_ = e;
        } else if (snd_mixer_selem_has_capture_volume(e) || snd_mixer_selem_has_capture_switch(e)) {
            lines_.push_back(e);
        }
    }
    return true;
}

void AlsaMixer::Close()
{
    if (mixer_)
        snd_mixer_close(mixer_);
    mixer_ = nullptr;
    selector_ = nullptr;
    lines_.clear();
}

std::vector<MixerBackend::Line> AlsaMixer::Lines()
{
    std::vector<Line> lines;
    for (snd_mixer_elem_t *e : lines_) {
        Line line;
        line.name = snd_mixer_selem_get_name(e);
        line.componentType = line.name.rfind("Line", 0) == 0 ? kLineInput : 0;
        line.captureSwitch = snd_mixer_selem_has_capture_switch(e);
        line.captureVolume = snd_mixer_selem_has_capture_volume(e);
        line.playbackSwitch = snd_mixer_selem_has_playback_switch(e);
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> AlsaMixer::SelectorItems()
{
    std::vector<std::string> items;
    if (!selector_)
        return items;
    const int count = snd_mixer_selem_get_enum_items(selector_);
    for (int i = 0; i < count; ++i) {
        char name[64] = {};
        snd_mixer_selem_get_enum_item_name(selector_, unsigned(i), sizeof name - 1, name);
        items.emplace_back(name);
    }
    return items;
}

int32_t AlsaMixer::SelectedItem()
{
    unsigned int item = 0;
    if (!selector_ || snd_mixer_selem_get_enum_item(selector_, SND_MIXER_SCHN_FRONT_LEFT, &item) < 0)
        return -1;
    return int32_t(item);
}

void AlsaMixer::SelectItem(int32_t item)
{
    if (!selector_ || item < 0)
        return;
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c)
        snd_mixer_selem_set_enum_item(selector_, snd_mixer_selem_channel_id_t(c), unsigned(item));
}

snd_mixer_elem_t *AlsaMixer::Element(int32_t line) const
{
    return line >= 0 && size_t(line) < lines_.size() ? lines_[size_t(line)] : nullptr;
}

bool AlsaMixer::CaptureSwitch(int32_t line)
{
    snd_mixer_elem_t *e = Element(line);
    int on = 0;
    return e && snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on) == 0 && on;
}

void AlsaMixer::SetCaptureSwitch(int32_t line, bool on)
{
    if (snd_mixer_elem_t *e = Element(line))
        snd_mixer_selem_set_capture_switch_all(e, on ? 1 : 0);
}

int32_t AlsaMixer::Channels(int32_t line)
{
    snd_mixer_elem_t *e = Element(line);
    if (!e)
        return 0;
    if (snd_mixer_selem_is_capture_mono(e))
        return 1;
    int32_t channels = 0;
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c)
        channels += snd_mixer_selem_has_capture_channel(e, snd_mixer_selem_channel_id_t(c)) ? 1 : 0;
    return std::max(channels, 1);
}

// The n-th channel the element captures.
snd_mixer_selem_channel_id_t AlsaMixer::Channel(int32_t line, int32_t channel) const
{
    snd_mixer_elem_t *e = Element(line);
    for (int c = 0, n = 0; e && c <= SND_MIXER_SCHN_LAST; ++c) {
        if (snd_mixer_selem_has_capture_channel(e, snd_mixer_selem_channel_id_t(c)) && n++ == channel)
            return snd_mixer_selem_channel_id_t(c);
    }
    return SND_MIXER_SCHN_FRONT_LEFT;
}

int32_t AlsaMixer::Volume(int32_t line, int32_t channel)
{
    snd_mixer_elem_t *e = Element(line);
    long low = 0, high = 0, value = 0;
    if (!e || snd_mixer_selem_get_capture_volume_range(e, &low, &high) < 0 || high <= low ||
        snd_mixer_selem_get_capture_volume(e, Channel(line, channel), &value) < 0)
        return 0;
    return int32_t((value - low) * kFullScale / (high - low));
}

void AlsaMixer::SetVolume(int32_t line, int32_t channel, int32_t volume)
{
    snd_mixer_elem_t *e = Element(line);
    long low = 0, high = 0;
    if (!e || snd_mixer_selem_get_capture_volume_range(e, &low, &high) < 0)
        return;
    snd_mixer_selem_set_capture_volume(e, Channel(line, channel), low + (high - low) * volume / kFullScale);
}

bool AlsaMixer::Muted(int32_t line, int32_t channel)
{
    snd_mixer_elem_t *e = Element(line);
    int on = 1;
    return e && snd_mixer_selem_get_playback_switch(e, Channel(line, channel), &on) == 0 && !on;
}

void AlsaMixer::SetMuted(int32_t line, int32_t channel, bool muted)
{
    if (snd_mixer_elem_t *e = Element(line))
        snd_mixer_selem_set_playback_switch(e, Channel(line, channel), muted ? 0 : 1);
}

std::vector<pollfd> AlsaMixer::Descriptors()
{
    std::vector<pollfd> descriptors;
    if (!mixer_)
        return descriptors;
    descriptors.resize(size_t(std::max(snd_mixer_poll_descriptors_count(mixer_), 0)));
    const int filled = snd_mixer_poll_descriptors(mixer_, descriptors.data(), unsigned(descriptors.size()));
    descriptors.resize(size_t(std::max(filled, 0)));
    return descriptors;
}

bool AlsaMixer::TakeEvents()
{
    std::vector<pollfd> descriptors = Descriptors();
    if (descriptors.empty() || poll(descriptors.data(), descriptors.size(), 0) <= 0)
        return false;
    return snd_mixer_handle_events(mixer_) > 0;
}

} // namespace sirrel
