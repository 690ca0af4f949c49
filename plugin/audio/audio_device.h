// The sound system behind Oru_AudioWave: device lists, open streams and the virtual sound card's format query.
// ALSA implements it for real use; tests give a fake of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sirrel {

enum class StreamKind { kCapture, kPlayback };

// The wave format as the wave devices take it: a PCM tag of 1, or the virtual sound card's own tag with the
// identifier in the extra bytes.
struct WaveFormat {
    static constexpr uint32_t kMaxExtra = 16;
    uint16_t tag = 1;
    uint16_t channels = 1;
    uint32_t rate = 11025;
    uint32_t averageBytes = 22050;
    uint16_t blockAlign = 2;
    uint16_t bits = 16;
    uint16_t extraSize = 0;
    uint8_t extra[kMaxExtra] = {};

    // Block alignment and average bytes per second from channels, bits and rate.
    void Derive()
    {
        blockAlign = uint16_t(channels * bits / 8);
        averageBytes = uint32_t(blockAlign) * rate;
    }
    // "mono 16-bit 11025 Hz", for messages.
    std::string Describe() const;
};

// The record of the virtual sound card's query: a format whose extra bytes carry the request and the answer.
struct WaveQuery {
    static constexpr uint32_t kExtraSize = 97;
    WaveFormat format;
    uint8_t extra[kExtraSize] = {};
};

struct AudioDeviceEntry {
    std::string id;   // what opens it
    std::string name; // what the lists show
};

// One open stream. Transfers never block; Wait does, for at most its time-out.
class AudioStream {
public:
    virtual ~AudioStream() = default;
    // 1 when a transfer can make progress, 0 on time-out, negative on a lasting error.
    virtual int32_t Wait(int32_t timeoutMs) = 0;
    // Reads (capture) or writes (playback) up to `frames` frames; returns the frames moved, 0 when none could
    // be, negative (an errno value) when the device failed for good. Over- and underruns are recovered inside.
    virtual int32_t Transfer(void *data, uint32_t frames) = 0;
    // Drops what is queued for playing.
    virtual void Discard() = 0;
    // Over- and underruns recovered so far.
    virtual uint32_t Xruns() const = 0;
};

class AudioDevices {
public:
    virtual ~AudioDevices() = default;
    // The devices the system offers for that kind of stream, in its order.
    virtual std::vector<AudioDeviceEntry> List(StreamKind kind) = 0;
    // `id` empty: the system's default device. `periodBytes` is the size of one ring buffer, `periods` how many
    // the device should hold. On failure returns null with the system's error text.
    virtual std::unique_ptr<AudioStream> Open(StreamKind kind, const std::string &id, const WaveFormat &format,
                                              uint32_t periodBytes, uint32_t periods, std::string &error) = 0;
    // The virtual sound card's format query: the driver rewrites the record; false when the device refused it.
    virtual bool Query(StreamKind kind, const std::string &id, WaveQuery &query) = 0;
};

} // namespace sirrel
