// Oru_AudioMixer: the recording source of a sound card's mixer, and the volume and mute of that source line.
// It works over a mixer back-end (the ALSA simple mixer, or a fake in tests). A card with a capture-source
// selector (an enumerated control) selects a line by its item; otherwise the line's capture switch is the
// selection. Volume is the line's capture volume, 0..65535; mute is its playback switch (the line heard on the
// card's output). Changes made elsewhere arrive as events on the back-end's poll descriptors, which the
// user-interface thread services.
#pragma once

#include <poll.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sirrel {

class MixerBackend {
public:
    // The kinds of line the fallback choice of a source looks for.
    static constexpr uint32_t kLineInput = 0x1002;

    struct Line {
        std::string name;
        uint32_t componentType = 0; // kLineInput for a line input, else 0
        bool captureSwitch = false;
        bool captureVolume = false;
        bool playbackSwitch = false;
    };

    virtual ~MixerBackend() = default;
    virtual std::vector<std::string> Devices() = 0;
    virtual bool Open(int32_t device) = 0;
    virtual void Close() = 0;
    // The lines that can be recorded, in the card's order.
    virtual std::vector<Line> Lines() = 0;
    // The capture-source selector's items, empty without a selector.
    virtual std::vector<std::string> SelectorItems() = 0;
    virtual int32_t SelectedItem() = 0;
    virtual void SelectItem(int32_t item) = 0;
    virtual bool CaptureSwitch(int32_t line) = 0;
    virtual void SetCaptureSwitch(int32_t line, bool on) = 0;
    virtual int32_t Channels(int32_t line) = 0;
    virtual int32_t Volume(int32_t line, int32_t channel) = 0;
    virtual void SetVolume(int32_t line, int32_t channel, int32_t volume) = 0;
    virtual bool Muted(int32_t line, int32_t channel) = 0;
    virtual void SetMuted(int32_t line, int32_t channel, bool muted) = 0;
    virtual std::vector<pollfd> Descriptors() = 0;
    // Takes the pending events; true when a control changed.
    virtual bool TakeEvents() = 0;
};

class Oru_AudioMixer {
public:
    using ChangeCallback = std::function<void(Oru_AudioMixer &mixer)>;

    // What the mixer is set to, kept at start and put back at close.
    struct State {
        int32_t device = -1;
        int32_t item = -1;
        std::vector<bool> captureSwitches;
        std::vector<std::vector<int32_t>> volumes;
        std::vector<std::vector<bool>> mutes;
    };

    explicit Oru_AudioMixer(std::unique_ptr<MixerBackend> backend);
    virtual ~Oru_AudioMixer();
    Oru_AudioMixer(const Oru_AudioMixer &) = delete;
    Oru_AudioMixer &operator=(const Oru_AudioMixer &) = delete;

    std::vector<std::string> Devices() { return backend_->Devices(); }
    // -1 closes the mixer.
    void SelectMixerDevice(int32_t index);
    int32_t MixerDevice() const { return device_; }
    const std::vector<std::string> &LineNames() const { return names_; }
    // By index, or by name when the index is negative; false when there is no such line.
    bool SelectSourceLine(int32_t index, const std::string &name = "");
    // The stored line, else the first line input whose name holds "Line", else line 0.
    void SelectStoredOrLineInput(const std::string &name);
    int32_t SourceLine() const { return line_; }
    std::string SourceLineName() const;

    // 0..65535; the channel -1 is every channel (get: their average).
    int32_t Volume(int32_t channel = -1);
    void SetVolume(int32_t volume, int32_t channel = -1);
    bool Mute(int32_t channel = -1);
    void SetMute(bool mute, int32_t channel = -1);

    State Remember();
    void Restore(const State &state);

    void SetSelectorChanged(ChangeCallback callback) { selectorChanged_ = std::move(callback); }
    void SetMuteChanged(ChangeCallback callback) { muteChanged_ = std::move(callback); }
    void SetVolumeChanged(ChangeCallback callback) { volumeChanged_ = std::move(callback); }
    // For the user-interface thread's loop: the descriptors to watch, and what to do when they are ready.
    std::vector<pollfd> Descriptors();
    void Service();

private:
    bool Open() const { return device_ >= 0; }
    int32_t Channels() const;

    std::unique_ptr<MixerBackend> backend_;
    int32_t device_ = -1;
    std::vector<MixerBackend::Line> lines_;
    std::vector<std::string> names_;
    std::vector<std::string> items_;
    int32_t line_ = -1;
    // Last seen, to tell which call-back a change calls.
    int32_t seenItem_ = -1;
    int32_t seenVolume_ = 0;
    bool seenMute_ = false;
    ChangeCallback selectorChanged_;
    ChangeCallback muteChanged_;
    ChangeCallback volumeChanged_;
};

} // namespace sirrel
