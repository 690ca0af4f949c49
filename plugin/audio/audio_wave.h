// Oru_AudioWave: one audio path to a sound card, capture and/or playback, over the sound system's device
// interface. It keeps a ring of input buffers that a service thread fills and hands to the input call-back one
// by one, and a ring of output buffers that the owner fills and queues and that the service thread hands back
// to the output call-back once the device has taken them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_device.h"

namespace sirrel {

class Oru_AudioWave {
public:
    enum Direction : int32_t { kNone = 0, kInput = 1, kOutput = 2, kBoth = 3 };
    static constexpr uint32_t kDefaultBufferSize = 1024;
    static constexpr uint32_t kMinOutputBuffers = 32;
    static constexpr int32_t kOpenRetries = 4;
    static constexpr int32_t kRetryDelayMs = 200;
    static constexpr char kDefaultName[] = "Windows default";
    static constexpr char kVirtualCard[] = "Korvanda Virtual Sound Card";
    static constexpr uint16_t kVirtualStreamTag = 0x1235;
    static constexpr uint16_t kVirtualQueryTag = 0x1234;
    static constexpr char kInputCaption[] = "Oru_AudioWave Wave-in Error";
    static constexpr char kOutputCaption[] = "Oru_AudioWave Wave-out Error";

    // Every filled input buffer: its data and the bytes recorded.
    using InputCallback = std::function<void(Oru_AudioWave &wave, uint8_t *data, uint32_t bytes)>;
    // Every output buffer the device has taken: its data pointer.
    using OutputCallback = std::function<void(uint8_t *data)>;
    // A message box: caption and text. Called on the thread that starts the object.
    using ErrorReporter = std::function<void(const char *caption, const std::string &text)>;
    // The device failed while running; the stream has ended. Called on the service thread.
    using EndedCallback = std::function<void(const std::string &text)>;

    Oru_AudioWave(AudioDevices &devices, uint16_t channels, uint16_t bits, uint32_t rate, int32_t direction);
    virtual ~Oru_AudioWave();
    Oru_AudioWave(const Oru_AudioWave &) = delete;
    Oru_AudioWave &operator=(const Oru_AudioWave &) = delete;

    void SetInputCallback(InputCallback callback) { inputCallback_ = std::move(callback); }
    void SetOutputCallback(OutputCallback callback) { outputCallback_ = std::move(callback); }
    void SetErrorReporter(ErrorReporter reporter) { reporter_ = std::move(reporter); }
    void SetEndedCallback(EndedCallback callback) { ended_ = std::move(callback); }
    // Tests shorten the wait between open attempts.
    void SetRetryDelay(int32_t ms) { retryDelayMs_ = ms; }

    // 0 is the system default; n the (n-1)-th device of the list. Restarts a running direction.
    void SetInputDevice(int32_t index);
    void SetOutputDevice(int32_t index);
    // Each acts only on a change (and on an accepted value) and restarts a running object.
    void SetChannels(uint16_t channels);
    void SetBitsPerSample(uint16_t bits);
    void SetSampleRate(uint32_t rate);
    void SetDirection(int32_t direction);
    void SetInputBufferCount(uint32_t count);
    void SetInputBufferSize(uint32_t bytes);
    void SetOutputBufferCount(uint32_t count);
    void SetOutputBufferSize(uint32_t bytes);

    // 1 on success, when already running or with nothing to open; 0 when a requested device could not be opened.
    int32_t Start(bool showErrors);
    void Stop();

    // The next output buffer to fill, or null when none is free.
    uint8_t *GetFreeOutputBuffer();
    // Queues a buffer from GetFreeOutputBuffer; `bytes` 0 plays it whole.
    bool WriteOutputBuffer(uint8_t *data, uint32_t bytes = 0);
    void ResetOutput();
    // Asks the virtual sound card (1 input, 2 output) for its format and adopts it; 1 when it answered.
    int32_t QueryVirtualSoundCard(int32_t which);

    int32_t InputDevice() const { return inputDevice_; }
    int32_t OutputDevice() const { return outputDevice_; }
    const std::vector<std::string> &InputNames() const { return inputNames_; }
    const std::vector<std::string> &OutputNames() const { return outputNames_; }
    bool InputIsVirtualCard() const { return inputVirtual_; }
    bool OutputIsVirtualCard() const { return outputVirtual_; }
    const WaveFormat &Format() const { return format_; }
    int32_t Direction() const { return direction_; }
    uint32_t InputBufferSize() const { return inputSize_; }
    uint32_t InputBufferCount() const { return inputCount_; }
    uint32_t OutputBufferSize() const { return outputSize_; }
    uint32_t OutputBufferCount() const { return outputCount_; }
    bool Running() const { return inputOpen_.load() || outputOpen_.load(); }
    bool Failed() const { return failed_.load(); }
    uint32_t Xruns() const { return xruns_.load(); }

private:
    struct OutputBuffer {
        uint32_t length = 0;
        bool queued = false;
    };

    void Restart(bool needed);
    void Serve();
    std::unique_ptr<AudioStream> OpenWithRetries(StreamKind kind, const std::string &id, const char *caption);
    bool ServeInput();
    bool ServeOutput();
    void CountXruns();
    void EndStream(int32_t error, const char *what);
    void WaitForWork();
    std::string DeviceId(StreamKind kind, int32_t index) const;
    WaveFormat StreamFormat() const;

    AudioDevices &devices_;
    WaveFormat format_;
    int32_t direction_;
    int32_t inputDevice_ = 0;
    int32_t outputDevice_ = 0;
    bool inputVirtual_ = false;
    bool outputVirtual_ = false;
    std::vector<AudioDeviceEntry> inputs_;
    std::vector<AudioDeviceEntry> outputs_;
    std::vector<std::string> inputNames_;
    std::vector<std::string> outputNames_;
    uint32_t inputSize_ = kDefaultBufferSize;
    uint32_t inputCount_ = 0;
    uint32_t outputSize_ = kDefaultBufferSize;
    uint32_t outputCount_ = kMinOutputBuffers;
    bool showErrors_ = true;
    int32_t retryDelayMs_ = kRetryDelayMs;

    InputCallback inputCallback_;
    OutputCallback outputCallback_;
    ErrorReporter reporter_;
    EndedCallback ended_;

    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> inputOpen_{false};
    std::atomic<bool> outputOpen_{false};
    std::atomic<uint32_t> xruns_{0};
    std::atomic<bool> discard_{false};
    std::mutex startLock_;
    std::condition_variable started_;
    bool startDone_ = false;
    bool startOpened_ = false;
    // Why the last start failed, for its message box.
    const char *openCaption_ = kInputCaption;
    std::string openError_;

    // The service thread's streams and the input ring.
    std::unique_ptr<AudioStream> input_;
    std::unique_ptr<AudioStream> output_;
    std::vector<uint8_t> inputRing_;
    uint32_t inputIndex_ = 0;
    uint32_t inputFill_ = 0;

    // The output ring, shared by the owner (hand-out, queueing) and the service thread (playing, returning).
    std::mutex outputLock_;
    std::condition_variable wake_;
    std::vector<uint8_t> outputRing_;
    std::vector<OutputBuffer> outputBuffers_;
    std::deque<uint32_t> queue_;
    uint32_t handOut_ = 0;
    // The service thread's: the buffer being played and how many of its bytes the device has taken.
    static constexpr uint32_t kNoBuffer = UINT32_MAX;
    uint32_t playing_ = kNoBuffer;
    uint32_t played_ = 0;
};

} // namespace sirrel
