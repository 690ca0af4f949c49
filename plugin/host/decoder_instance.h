// DecoderInstance: one decoder attached to one receiver of the host. It owns the settings, the signal chain, the
// decoders with their output channels and the frame buffer that the host's audio routes fill, and it talks
// back to the host through the host's call-back until it announces its end.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audio/wav_player.h"
#include "decoders/dispatch.h"
#include "dsp/signal_chain.h"
#include "host/host_interface.h"
#include "host/window_services.h"
#include "output/data_output_window.h"
#include "protocols/configuration.h"
#include "protocols/data_folder.h"
#include "protocols/protocol_library.h"
#include "protocols/settings_model.h"
#include "protocols/translation_tables.h"

namespace sirrel {

class DecoderInstance {
public:
    static constexpr uint32_t kFrameSize = SignalChain::kFrameSize;
    static constexpr uint32_t kDspImageSize = 3073;
    static constexpr uint32_t kDspExtensionRate = 10989;
    static constexpr uint32_t kSoundCardRate = 11025;
    static constexpr uint32_t kQvRate = 44100;
    // Until the first host block sets it, a DSP kind 2 receiver works at the sound-card rate.
    static constexpr uint32_t kHostBlocksStartRate = 11025;
    // A host that keeps refusing an output turn's audio is not offered it forever.
    static constexpr int kOutputTurnAttempts = 64;

    // The route the receiver's audio takes, fixed by its model code and DSP kind.
    enum class AudioSource { QvHostBlocks, DspExtension, SoundCard, HostBlocks };

    // `receiver` points at the host's ReceiverInfo; `options` (may be null) receives the host options word.
    DecoderInstance(uint32_t hostId, const uint8_t *receiver, HostCallback callback, uint32_t *options,
                    int32_t modelCode, int32_t dspKind, WindowServices &services);
    ~DecoderInstance();
    DecoderInstance(const DecoderInstance &) = delete;
    DecoderInstance &operator=(const DecoderInstance &) = delete;

    bool Constructed() const { return constructed_; }
    uint32_t Window() const { return window_; }
    uint32_t HostId() const { return hostId_; }
    int32_t ModelCode() const { return modelCode_; }
    int32_t DspKind() const { return dspKind_; }
    uint32_t ReceiverKey() const { return receiverKey_; }
    const std::string &Title() const { return title_; }
    const DataPaths &Paths() const { return paths_; }
    uint32_t DspHandle() const { return dspHandle_; }

    // Accepts the message when the identifier is this instance's. Sets `close` when the message is the first
    // request to close the window: the caller then destroys the instance. Audio that arrives once destruction
    // has begun is accepted and dropped.
    bool Notify(uint32_t hostId, uint32_t code, uint32_t first, uint32_t second, void *data, bool &close);

    // Notification routes that looked the instance up hold it in use; destruction waits until they leave.
    void Enter() { users_.fetch_add(1); }
    void Leave()
    {
        if (users_.fetch_sub(1) == 1)
            users_.notify_all();
    }
    // For a host that can no longer be called: the instance then ends without announcing it.
    void DisableHostCalls() { hostCallsEnabled_.store(false); }

    // The frame buffer and what has left it.
    uint32_t FillCount() const { return fill_; }
    const int16_t *FrameBuffer() const { return frame_; }
    uint64_t FramesProcessed() const { return framesProcessed_; }
    uint32_t ProcessingRate() const { return chain_->ProcessingRate(); }

    // The "Input/Output WAV" panel's engine: playback replaces the received audio and goes out through the
    // route; recording takes the incoming audio as mono 16-bit at the rate the host delivers it.
    bool StartPlayback(const std::string &path);
    bool StartRecording(const std::string &path);
    void StopWav() { player_.Close(); }
    void SetPlaybackPaused(bool paused) { playbackPaused_.store(paused); }
    bool PlaybackActive() { return player_.IsOpen() && !player_.IsRecording(); }

    // One output turn into `destination` (byte count), by audio source.
    void AudioOutputStep(void *destination, uint32_t byteCount);

    SettingsModel &Settings() { return settings_; }
    DataOutputWindow &Output() { return *output_; }
    ProtocolLibrary &Protocols() { return protocols_; }
    TranslationTables &Tables() { return tables_; }

private:
    bool OpenAudioSource();
    void ReleaseAudioSource();
    void OpenLogs();
    // A stored-file problem is told in the decoder's own message box.
    void Report(const std::string &message);

    // The first argument of every call-back: no window until construction has succeeded.
    uint32_t CallbackWindow() const { return constructed_ ? window_ : 0; }
    int32_t CallHost(uint32_t code, uint32_t first, uint32_t second, void *pointer);
    // The audio notifications, one route at a time.
    void Route(uint32_t code, uint32_t first, uint32_t second, void *data);
    void AudioBlock(void *data);
    void DspAudio(const int16_t *samples, uint32_t byteCount);
    void DspEvent(const void *data);
    // Decimates `count` samples into the frame buffer, processing every full frame.
    void AppendDecimated(const int16_t *samples, uint32_t count, uint32_t step);
    void ProcessFullFrame();

    WindowServices &services_;
    uint32_t window_ = 0;
    uint32_t hostId_;
    HostCallback callback_;
    std::atomic<bool> hostCallsEnabled_{true};
    bool constructed_ = false;
    int32_t modelCode_;
    int32_t dspKind_;
    const AudioSource source_;
    uint32_t receiverKey_;
    std::string title_;
    DataPaths paths_;
    Configuration configuration_;
    SoundCardConfiguration soundCard_;
    uint32_t dspHandle_ = kNoDspExtension;
    uint8_t dspImage_[kDspImageSize] = {0x7F};

    SettingsModel settings_;
    ProtocolLibrary protocols_;
    TranslationTables tables_;
    WavPlayer player_;
    std::atomic<bool> playbackPaused_{false};
    std::unique_ptr<DataOutputWindow> output_;
    std::unique_ptr<Dispatcher> dispatcher_;
    std::unique_ptr<SignalChain> chain_;
    // Held by an audio route while it works on the frame buffer; recursive because a host may send more audio
    // from inside a call-back of the route.
    std::recursive_mutex routeLock_;
    bool routesOpen_ = true;
    std::atomic<int> users_{0};
    int16_t frame_[kFrameSize] = {};
    uint32_t fill_ = 0;
    uint64_t framesProcessed_ = 0;
};

} // namespace sirrel
