// A sound system in memory: capture devices play back a prepared signal, playback devices keep what they are
// given, and opens, streams and the virtual sound card's query fail or answer as a test arranges.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "audio/audio_device.h"

namespace sirrel {

class FakeAudioDevices : public AudioDevices {
public:
    struct Opened {
        StreamKind kind;
        std::string id;
        WaveFormat format;
    };

    std::vector<AudioDeviceEntry> captures{{"card-a", "Card A"}, {"card-b", "Card B"}};
    std::vector<AudioDeviceEntry> playbacks{{"card-a", "Card A"}};
    // Opens of each kind that fail before one succeeds.
    int captureFailures = 0;
    int playbackFailures = 0;
    // What capture delivers, 16-bit mono; then nothing more, or a lost device after `vanishAfter` frames.
    std::vector<int16_t> signal;
    long vanishAfter = -1;
    // Frames a playback transfer takes at most; 0 takes none (a full device).
    uint32_t playbackRoom = 1u << 20;
    std::function<bool(WaveQuery &query)> answer;
    // Over- and underruns each stream says it recovered from.
    uint32_t xruns = 0;

    std::vector<AudioDeviceEntry> List(StreamKind kind) override
    {
        return kind == StreamKind::kCapture ? captures : playbacks;
    }

    std::unique_ptr<AudioStream> Open(StreamKind kind, const std::string &id, const WaveFormat &format, uint32_t,
                                      uint32_t, std::string &error) override
    {
        std::lock_guard<std::mutex> hold(lock_);
        attempts_.push_back({kind, id, format});
        int &failures = kind == StreamKind::kCapture ? captureFailures : playbackFailures;
        if (failures > 0) {
            --failures;
            error = "Device or resource busy";
            return nullptr;
        }
        opened_.push_back({kind, id, format});
        return std::make_unique<Stream>(*this, kind, format.blockAlign);
    }

    bool Query(StreamKind, const std::string &, WaveQuery &query) override { return answer && answer(query); }

    std::vector<Opened> OpenedStreams()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return opened_;
    }
    size_t Attempts()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return attempts_.size();
    }
    std::vector<uint8_t> Played()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return played_;
    }

private:
    class Stream : public AudioStream {
    public:
        Stream(FakeAudioDevices &devices, StreamKind kind, uint32_t frameBytes)
            : devices_(devices), kind_(kind), frameBytes_(frameBytes)
        {
        }

        int32_t Wait(int32_t timeoutMs) override
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 2)));
            return 1;
        }

        int32_t Transfer(void *data, uint32_t frames) override
        {
            std::lock_guard<std::mutex> hold(devices_.lock_);
            if (kind_ == StreamKind::kPlayback) {
                frames = std::min(frames, devices_.playbackRoom);
                const auto *bytes = static_cast<const uint8_t *>(data);
                devices_.played_.insert(devices_.played_.end(), bytes, bytes + size_t(frames) * frameBytes_);
                return int32_t(frames);
            }
            if (devices_.vanishAfter >= 0 && devices_.captured_ >= size_t(devices_.vanishAfter))
                return -ENODEV;
            size_t left = devices_.signal.size() - devices_.captured_;
            if (devices_.vanishAfter >= 0)
                left = std::min(left, size_t(devices_.vanishAfter) - devices_.captured_);
            frames = uint32_t(std::min<size_t>(frames, left));
            if (frames > 0)
                std::memcpy(data, devices_.signal.data() + devices_.captured_, size_t(frames) * 2);
            devices_.captured_ += frames;
            return int32_t(frames);
        }

        void Discard() override {}
        uint32_t Xruns() const override { return devices_.xruns; }

    private:
        FakeAudioDevices &devices_;
        StreamKind kind_;
        uint32_t frameBytes_;
    };

    std::mutex lock_;
    std::vector<Opened> attempts_;
    std::vector<Opened> opened_;
    std::vector<uint8_t> played_;
    size_t captured_ = 0;
};

} // namespace sirrel
