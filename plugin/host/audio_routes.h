// The routes a receiver's audio takes into its engine, one per kind of receiver: host audio blocks (the Qv
// family at its high rates, or any other receiver that sends them), the host's DSP extension, and the sound
// card. Each is the engine's AudioSource and handles the host's audio notifications and the playback turns.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audio/audio_mixer.h"
#include "audio/audio_wave.h"
#include "audio/wav_player.h"
#include "engine/audio_source.h"
#include "engine/decoder_engine.h"
#include "host/host_interface.h"
#include "host/window_services.h"
#include "protocols/configuration.h"
#include "windows/sound_card_panel.h"

namespace sirrel {

// What a route needs of its decoder instance.
class RouteOwner {
public:
    virtual int32_t CallHost(uint32_t code, uint32_t first, uint32_t second, void *pointer) = 0;
    virtual bool HostCallsEnabled() const = 0;
    // A problem told in the decoder's own message box.
    virtual void Report(const std::string &message) = 0;
    // A message box with a caption of its own.
    virtual void Alert(const char *caption, const std::string &message) = 0;

protected:
    ~RouteOwner() = default;
};

class HostRoute : public AudioSource {
public:
    // The WAV panel's player: playback replaces the received audio and goes out through the route, recording
    // takes the incoming audio.
    HostRoute(RouteOwner &owner, WavPlayer &player, const std::atomic<bool> &playbackPaused)
        : owner_(owner), player_(player), playbackPaused_(playbackPaused)
    {
    }

    void Attach(DecoderEngine &engine) { engine_ = &engine; }

    // Opens what the route needs; false ends the instance's construction.
    virtual bool Open() { return true; }
    virtual void Release() {}
    // The host's close-on-zero notification applies to this receiver.
    virtual bool ClosesOnZero() const { return true; }

    // kNotifyAudioBlock with the block sub-code: header and samples.
    void AudioBlock(void *data);
    virtual void DspAudio(const int16_t *samples, uint32_t byteCount);
    virtual void DspEvent(const void *data);
    // One output turn into `destination` (byte count); routes without an output take nothing.
    virtual void OutputStep(void *destination, uint32_t byteCount);
    // The WAV panel started or stopped playing a file.
    virtual void PlaybackStarted() {}
    virtual void PlaybackStopped() {}

    bool PlaybackActive() const { return player_.IsOpen() && !player_.IsRecording(); }

protected:
    bool Audible() const { return PlaybackActive() && !playbackPaused_.load(); }
    // The panel's pause holds a recording as well.
    bool Recording() const { return player_.IsRecording() && !playbackPaused_.load(); }

    RouteOwner &owner_;
    WavPlayer &player_;
    const std::atomic<bool> &playbackPaused_;
    DecoderEngine *engine_ = nullptr;
};

class QvHostBlockRoute : public HostRoute {
public:
    static constexpr uint32_t kRate = 44100;
    using HostRoute::HostRoute;

    uint32_t StartRate() const override { return kRate; }
    // The chain need not run at the family's high rates.
    uint32_t ProcessingRateFor(uint32_t rate) const override;
    bool ClosesOnZero() const override { return false; }
    void OutputStep(void *destination, uint32_t byteCount) override;
};

class HostBlockRoute : public HostRoute {
public:
    // Until the first block sets it.
    static constexpr uint32_t kStartRate = 11025;
    using HostRoute::HostRoute;

    uint32_t StartRate() const override { return kStartRate; }
};

class DspExtensionRoute : public HostRoute {
public:
    static constexpr uint32_t kRate = 10989;
    static constexpr uint32_t kImageSize = 3073;
    // A host that keeps refusing an output turn's audio is not offered it forever.
    static constexpr int kOutputTurnAttempts = 64;
    using HostRoute::HostRoute;

    uint32_t StartRate() const override { return kRate; }
    bool Open() override;
    void Release() override;
    void DspAudio(const int16_t *samples, uint32_t byteCount) override;
    void DspEvent(const void *data) override;
    void OutputStep(void *destination, uint32_t byteCount) override;
    uint32_t Handle() const { return handle_; }

private:
    uint32_t handle_ = kNoDspExtension;
    uint8_t image_[kImageSize] = {0x7F};
};

// The sound card: every recorded buffer is one frame; while a file plays the card only plays, and every
// played buffer is decoded too.
class SoundCardRoute : public HostRoute {
public:
    static constexpr uint32_t kRate = 11025;
    static constexpr uint32_t kBufferBytes = 4096;
    static constexpr uint32_t kInputBuffers = 16;
    static constexpr uint32_t kOutputBuffers = 16;
    static constexpr int kPrimingTurns = 4;
    // The device names' room in the sound-card chunk, without the terminating NUL.
    static constexpr size_t kStoredNameLength = 31;

    // The two mixers: the first chooses the recording line, the second is the one WAV playback may mute; both
    // are put back as they were found.
    SoundCardRoute(RouteOwner &owner, WavPlayer &player, const std::atomic<bool> &playbackPaused, AudioDevices &devices,
                   std::unique_ptr<Oru_AudioMixer> recording, std::unique_ptr<Oru_AudioMixer> playback,
                   std::string path, uint32_t receiverKey)
        : HostRoute(owner, player, playbackPaused), devices_(devices), recording_(std::move(recording)),
          playback_(std::move(playback)), path_(std::move(path)), receiverKey_(receiverKey)
    {
    }

    uint32_t StartRate() const override { return kRate; }
    bool HasLevelMeter() const override { return true; }
    bool Open() override;
    void Release() override;
    void OutputStep(void *destination, uint32_t byteCount) override;
    void PlaybackStarted() override;
    void PlaybackStopped() override;

    // Null before Open; stopped, and still there for the window's last look, after Release.
    Oru_AudioWave *Wave() { return wave_.get(); }
    Oru_AudioMixer &RecordingMixer() { return *recording_; }
    // What the decoder window's sound-card controls show and change; `chain` tells the clipping.
    SoundCardControls Controls(const SignalChain &chain);
    // Why the card stopped while running, once; empty while it runs.
    std::string TakeFailure();
    // The largest magnitude of the last recorded or played buffer.
    int32_t Level() const { return level_.load(std::memory_order_relaxed); }
    const SoundCardConfiguration &Stored() const { return soundCard_; }

private:
    void Deliver(const uint8_t *data, uint32_t bytes);
    void OpenMixers();

    AudioDevices &devices_;
    std::unique_ptr<Oru_AudioMixer> recording_;
    std::unique_ptr<Oru_AudioMixer> playback_;
    Oru_AudioMixer::State recordingState_;
    Oru_AudioMixer::State playbackState_;
    std::string path_;
    uint32_t receiverKey_;
    SoundCardConfiguration soundCard_;
    std::unique_ptr<Oru_AudioWave> wave_;
    // Output turns come from the service thread and, when playback starts, from the user-interface thread.
    std::mutex turnLock_;
    std::atomic<int32_t> level_{0};
    // Set by the service thread, taken by the user-interface thread.
    std::mutex failureLock_;
    std::string failure_;
};

// The route of a receiver, by its model code and DSP kind.
std::unique_ptr<HostRoute> RouteFor(int32_t modelCode, int32_t dspKind, RouteOwner &owner, WavPlayer &player,
                                    const std::atomic<bool> &playbackPaused, WindowServices &services,
                                    const std::string &soundCardPath, uint32_t receiverKey);

} // namespace sirrel
