// DecoderInstance: one decoder attached to one receiver of the host. It owns the decoder engine, the audio route
// that feeds it, the stored settings and the WAV panel, and it talks back to the host through the host's
// call-back until it announces its end.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "audio/wav_player.h"
#include "engine/decoder_engine.h"
#include "host/audio_routes.h"
#include "host/host_interface.h"
#include "host/window_services.h"
#include "protocols/configuration.h"
#include "protocols/data_folder.h"
#include "protocols/protocol_library.h"
#include "protocols/settings_model.h"
#include "protocols/translation_tables.h"
#include "windows/data_output_view.h"
#include "windows/decoder_window.h"
#include "windows/window_context.h"

namespace sirrel {

class DecoderInstance final : private RouteOwner {
public:
    static constexpr uint32_t kFrameSize = DecoderEngine::kFrameSize;

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
    // What destroys the instance when its own window asks to close (the caption button), as a host's close
    // request would; called on the user-interface thread, which must not destroy the window under itself.
    void SetCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }
    // The decoder window when the framework builds windows, else null.
    DecoderWindow *MainWindow() { return mainWindow_.get(); }
    // The "Character translation tables" dialog, for the "Data Output" window's "Translation table" button.
    void ShowTranslationTables()
    {
        if (mainWindow_)
            mainWindow_->ShowTranslationTables();
    }
    // The "Data Output" window, built with the decoder window.
    DataOutputView *DataOutput() { return dataOutput_.get(); }
    // For a host that can no longer be called: the instance then ends without announcing it.
    void DisableHostCalls() { hostCallsEnabled_.store(false); }

    // The frame buffer and what has left it.
    uint32_t FillCount() const { return engine_->FillCount(); }
    const int16_t *FrameBuffer() const { return engine_->FrameBuffer(); }
    uint64_t FramesProcessed() const { return engine_->FramesProcessed(); }
    uint32_t ProcessingRate() const { return engine_->ProcessingRate(); }

    // The "Input/Output WAV" panel's engine: playback replaces the received audio and goes out through the
    // route; recording takes the incoming audio as mono 16-bit at the rate the host delivers it.
    bool StartPlayback(const std::string &path);
    bool StartRecording(const std::string &path);
    void StopWav();
    void SetPlaybackPaused(bool paused) { playbackPaused_.store(paused); }
    bool PlaybackActive() const { return route_->PlaybackActive(); }

    // One output turn into `destination` (byte count), by audio route.
    void AudioOutputStep(void *destination, uint32_t byteCount) { route_->OutputStep(destination, byteCount); }

    DecoderEngine &Engine() { return *engine_; }
    HostRoute &AudioRoute() { return *route_; }
    // Both edit the engine's settings: use them on the frame thread, in an edit, or while no audio arrives.
    ProtocolLibrary &Protocols() { return *protocols_; }
    TranslationTables &Tables() { return *tables_; }

private:
    void OpenLogs();
    void BuildWindow();
    // The "Data Output" window over the logs already open, and at the end its state into the block.
    void BuildDataOutput();
    void CloseDataOutput();
    void GatherDataOutput();
    void RequestCloseFromWindow();
    // RouteOwner
    int32_t CallHost(uint32_t code, uint32_t first, uint32_t second, void *pointer) override;
    bool HostCallsEnabled() const override { return hostCallsEnabled_.load(); }
    void Report(const std::string &message) override;
    void Alert(const char *caption, const std::string &message) override;

    // The first argument of every call-back: no window until construction has succeeded.
    uint32_t CallbackWindow() const { return constructed_ ? window_ : 0; }
    // The audio notifications, one route at a time.
    void Route(uint32_t code, uint32_t first, uint32_t second, void *data);

    WindowServices &services_;
    uint32_t window_ = 0;
    uint32_t hostId_;
    HostCallback callback_;
    std::atomic<bool> hostCallsEnabled_{true};
    bool constructed_ = false;
    int32_t modelCode_;
    int32_t dspKind_;
    uint32_t receiverKey_;
    std::string title_;
    DataPaths paths_;
    Configuration configuration_;

    WavPlayer player_;
    std::atomic<bool> playbackPaused_{false};
    std::unique_ptr<HostRoute> route_;
    std::unique_ptr<DecoderEngine> engine_;
    std::unique_ptr<ProtocolLibrary> protocols_;
    std::unique_ptr<TranslationTables> tables_;
    std::unique_ptr<WindowContext> windowContext_;
    std::unique_ptr<DecoderWindow> mainWindow_;
    std::unique_ptr<DataOutputView> dataOutput_;
    std::function<void()> closeHandler_;
    // Held by an audio route while it works on the frame buffer; recursive because a host may send more audio
    // from inside a call-back of the route.
    std::recursive_mutex routeLock_;
    bool routesOpen_ = true;
    std::atomic<int> users_{0};
};

} // namespace sirrel
