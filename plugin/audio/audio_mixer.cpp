#include "audio/audio_mixer.h"

#include <algorithm>

namespace sirrel {

Oru_AudioMixer::Oru_AudioMixer(std::unique_ptr<MixerBackend> backend) : backend_(std::move(backend)) {}

Oru_AudioMixer::~Oru_AudioMixer() { SelectMixerDevice(-1); }

void Oru_AudioMixer::SelectMixerDevice(int32_t index)
{
    if (Open())
        backend_->Close();
    device_ = -1;
    lines_.clear();
    names_.clear();
    items_.clear();
    line_ = -1;
    if (index < 0 || !backend_->Open(index))
        return;
    device_ = index;
    lines_ = backend_->Lines();
    for (const MixerBackend::Line &line : lines_)
        names_.push_back(line.name);
    items_ = backend_->SelectorItems();
    seenItem_ = items_.empty() ? -1 : backend_->SelectedItem();
}

bool Oru_AudioMixer::SelectSourceLine(int32_t index, const std::string &name)
{
    if (index < 0) {
        const auto found = std::find(names_.begin(), names_.end(), name);
        index = found == names_.end() ? -1 : int32_t(found - names_.begin());
    }
    if (!Open() || index < 0 || size_t(index) >= lines_.size())
        return false;
    line_ = index;
    const auto item = std::find(items_.begin(), items_.end(), names_[size_t(index)]);
    if (item != items_.end()) {
        const int32_t wanted = int32_t(item - items_.begin());
        if (backend_->SelectedItem() != wanted)
            backend_->SelectItem(wanted);
        seenItem_ = wanted;
    } else if (items_.empty()) {
        // Without a selector the card records every line whose capture switch is on: only this one.
        for (size_t i = 0; i < lines_.size(); ++i) {
            if (lines_[i].captureSwitch)
                backend_->SetCaptureSwitch(int32_t(i), int32_t(i) == index);
        }
    }
    seenVolume_ = Volume();
    seenMute_ = Mute();
    return true;
}

void Oru_AudioMixer::SelectStoredOrLineInput(const std::string &name)
{
    if (!name.empty() && SelectSourceLine(-1, name))
        return;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].componentType == MixerBackend::kLineInput && lines_[i].name.find("Line") != std::string::npos) {
            SelectSourceLine(int32_t(i));
            return;
        }
    }
    SelectSourceLine(0);
}

std::string Oru_AudioMixer::SourceLineName() const
{
    return line_ >= 0 && size_t(line_) < names_.size() ? names_[size_t(line_)] : "";
}

int32_t Oru_AudioMixer::Channels() const
{
    if (!Open() || line_ < 0 || !lines_[size_t(line_)].captureVolume)
        return 0;
    return backend_->Channels(line_);
}

int32_t Oru_AudioMixer::Volume(int32_t channel)
{
    const int32_t channels = Channels();
    if (channels == 0 || channel >= channels)
        return 0;
    if (channel >= 0)
        return backend_->Volume(line_, channel);
    int64_t sum = 0;
    for (int32_t c = 0; c < channels; ++c)
        sum += backend_->Volume(line_, c);
    return int32_t(sum / channels);
}

void Oru_AudioMixer::SetVolume(int32_t volume, int32_t channel)
{
    const int32_t channels = Channels();
    volume = std::clamp(volume, 0, 65535);
    for (int32_t c = 0; c < channels; ++c) {
        if (channel < 0 || c == channel)
            backend_->SetVolume(line_, c, volume);
    }
}

bool Oru_AudioMixer::Mute(int32_t channel)
{
    if (!Open() || line_ < 0 || !lines_[size_t(line_)].playbackSwitch)
        return false;
    const int32_t channels = std::max(backend_->Channels(line_), 1);
    if (channel >= 0)
        return channel < channels && backend_->Muted(line_, channel);
    // One flag for the line: muted when every channel is.
    for (int32_t c = 0; c < channels; ++c) {
        if (!backend_->Muted(line_, c))
            return false;
    }
    return true;
}

void Oru_AudioMixer::SetMute(bool mute, int32_t channel)
{
    if (!Open() || line_ < 0 || !lines_[size_t(line_)].playbackSwitch)
        return;
    const int32_t channels = std::max(backend_->Channels(line_), 1);
    for (int32_t c = 0; c < channels; ++c) {
        if (channel < 0 || c == channel)
            backend_->SetMuted(line_, c, mute);
    }
}

Oru_AudioMixer::State Oru_AudioMixer::Remember()
{
    State state;
    state.device = device_;
    if (!Open())
        return state;
    state.item = items_.empty() ? -1 : backend_->SelectedItem();
    for (size_t i = 0; i < lines_.size(); ++i) {
        const int32_t line = int32_t(i);
        const int32_t channels = backend_->Channels(line);
        state.captureSwitches.push_back(lines_[i].captureSwitch && backend_->CaptureSwitch(line));
        state.volumes.emplace_back();
        state.mutes.emplace_back();
        for (int32_t c = 0; c < channels; ++c) {
            state.volumes.back().push_back(lines_[i].captureVolume ? backend_->Volume(line, c) : 0);
            state.mutes.back().push_back(lines_[i].playbackSwitch && backend_->Muted(line, c));
        }
    }
    return state;
}

void Oru_AudioMixer::Restore(const State &state)
{
    if (!Open() || state.device != device_ || state.volumes.size() != lines_.size())
        return;
    if (state.item >= 0)
        backend_->SelectItem(state.item);
    for (size_t i = 0; i < lines_.size(); ++i) {
        const int32_t line = int32_t(i);
        if (lines_[i].captureSwitch)
            backend_->SetCaptureSwitch(line, state.captureSwitches[i]);
        for (size_t c = 0; c < state.volumes[i].size(); ++c) {
            if (lines_[i].captureVolume)
                backend_->SetVolume(line, int32_t(c), state.volumes[i][c]);
            if (lines_[i].playbackSwitch)
                backend_->SetMuted(line, int32_t(c), state.mutes[i][c]);
        }
    }
}

std::vector<pollfd> Oru_AudioMixer::Descriptors() { return Open() ? backend_->Descriptors() : std::vector<pollfd>{}; }

void Oru_AudioMixer::Service()
{
    if (!Open() || !backend_->TakeEvents())
        return;
    const int32_t item = items_.empty() ? -1 : backend_->SelectedItem();
    const int32_t volume = Volume();
    const bool mute = Mute();
    if (item != seenItem_) {
        seenItem_ = item;
        if (selectorChanged_)
            selectorChanged_(*this);
    }
    if (mute != seenMute_) {
        seenMute_ = mute;
        if (muteChanged_)
            muteChanged_(*this);
    }
    if (volume != seenVolume_) {
        seenVolume_ = volume;
        if (volumeChanged_)
            volumeChanged_(*this);
    }
}

} // namespace sirrel
