// DecoderEngine: everything that turns one receiver's audio into text, without a window. It owns the
// settings, the frame intake, the signal chain, the decoders and the output channels, and takes its audio
// from an AudioSource.
//
// Threads. The frame thread (whoever delivers the audio) owns the settings. Any other thread changes them by
// posting an edit, which runs on the frame thread at the start of the next frame (or at once when no frame is
// being processed), and reads them from the published copy, which the engine renews after every frame and edit.
// The change counters tell a view what moved since it last looked.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "decoders/dispatch.h"
#include "dsp/signal_chain.h"
#include "engine/audio_source.h"
#include "output/data_output_window.h"
#include "protocols/settings_model.h"

namespace sirrel {

// What an edit may touch: the settings, the rules the tuning controls follow, and the chain with its displays.
struct EngineEdit {
    SettingsModel &settings;
    TuningRules &tuning;
    SignalChain &chain;
};
using SettingsEdit = std::function<void(EngineEdit &edit)>;

// Counts every published change, by what a view shows.
struct EngineChanges {
    std::atomic<uint64_t> settings{0};   // any setting
    std::atomic<uint64_t> tones{0};      // "Space" and "Mark"
    std::atomic<uint64_t> baudrate{0};   // "Baudrate"
    std::atomic<uint64_t> shiftState{0}; // a channel's "Letters" / "Numbers"
    std::atomic<uint64_t> text{0};       // characters reached a channel
    std::atomic<uint64_t> statistics{0}; // the character statistics counted
};

class DecoderEngine {
public:
    static constexpr uint32_t kFrameSize = SignalChain::kFrameSize;

    // Starts with `settings` at the source's start rate. The source must outlive the engine.
    DecoderEngine(AudioSource &source, const SettingsModel &settings, const DecoderColors &colors = {});
    ~DecoderEngine();
    DecoderEngine(const DecoderEngine &) = delete;
    DecoderEngine &operator=(const DecoderEngine &) = delete;

    // ---- the frame thread ----

    // The audio now arrives at `rate`; the source picks the processing rate from it. 0 changes nothing.
    void SetDeliveredRate(uint32_t rate, bool force);
    // Every `step`-th of `count` mono samples, from the first, into the frame buffer; every full frame is processed.
    void Deliver(const int16_t *samples, uint32_t count, uint32_t step = 1);
    // The audio has ended: a partial frame is processed as it stands.
    void FlushFrame();
    // The decoders give up what they hold back waiting for more signal.
    void Finish();
    // The input has really ended (a file, a pipe; never live audio): silence as long as the chain's delay carries
    // the last bits out of the filters, then the partial frame is processed and the decoders finish.
    void EndOfInput();
    // Reads a pull source to its end, then ends the input. `afterFrame` runs after every frame with the samples
    // so far.
    void Pump(const std::function<void(uint64_t samples)> &afterFrame = {});

    SignalChain &Chain() { return chain_; }
    Dispatcher &Decoders() { return dispatcher_; }
    DataOutputWindow &Output() { return output_; }
    uint32_t FillCount() const { return fill_; }
    const int16_t *FrameBuffer() const { return frame_; }
    uint64_t FramesProcessed() const { return framesProcessed_.load(std::memory_order_relaxed); }

    // ---- any thread ----

    void Post(SettingsEdit edit);
    SettingsModel Published() const;
    const EngineChanges &Changes() const { return changes_; }
    uint32_t ProcessingRate() const { return rate_.load(std::memory_order_relaxed); }

    // ---- the owner, while no audio can arrive (set-up and tear-down) ----

    // Runs the edits still waiting and publishes.
    void ApplyPendingEdits();
    SettingsModel &Settings() { return settings_; }

private:
    // The frame lock, with this thread noted as its holder: an edit posted from inside waits for the next frame
    // instead of taking the lock a second time.
    class FrameHold {
    public:
        explicit FrameHold(DecoderEngine &engine);
        FrameHold(DecoderEngine &engine, std::try_to_lock_t);
        ~FrameHold();
        FrameHold(const FrameHold &) = delete;
        FrameHold &operator=(const FrameHold &) = delete;
        bool Held() const { return lock_.owns_lock(); }

    private:
        DecoderEngine &engine_;
        std::unique_lock<std::mutex> lock_;
    };

    void ProcessFrame(uint32_t count);
    // Both with the frame lock held.
    void RunEdits();
    void Publish();

    AudioSource &source_;
    SettingsModel settings_;
    DataOutputWindow output_;
    Dispatcher dispatcher_;
    SignalChain chain_;
    std::atomic<uint32_t> rate_{0};

    int16_t frame_[kFrameSize] = {};
    uint32_t fill_ = 0;
    std::atomic<uint64_t> framesProcessed_{0};

    // Held while a frame or an edit runs.
    std::mutex frameLock_;
    std::atomic<std::thread::id> frameThread_{};
    std::mutex editLock_;
    std::vector<SettingsEdit> edits_;
    std::atomic<bool> editsWaiting_{false};

    mutable std::mutex publishLock_;
    SettingsModel published_;
    EngineChanges changes_;
    uint64_t seenViews_ = 0;
    uint64_t seenStatistics_ = 0;
};

} // namespace sirrel
