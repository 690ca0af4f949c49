// Decoder: the one shape of every protocol decoder. The dispatcher configures it from the parameter block
// before every block, feeds it, tells it when the input has ended, and may send it back to its start state.
// Every decoder delivers its results as DecodedCode events through one call-back.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "protocols/decoder_params.h"

namespace sirrel {

// What a piece of packet text is; its colour follows from it. Every other mode delivers kText.
enum class FieldClass : uint8_t {
    kText = 0,
    kAddress = 1,      // source, digipeater path, destination; coloured by the CRC result
    kFrameType = 2,    // control field
    kCrcError = 3,     // " [CRC Error]"
    kPid = 4,          // protocol identifier label
    kLayer3Header = 5, // NET/ROM network header, node list heading
    kLayer4Header = 6, // NET/ROM transport header
    kInformation = 7,  // node list entries, information field
};

struct DecodedCode {
    int32_t channel = 0; // 0..3; only ARQ-M uses more than channel 0
    uint8_t code = 0;
    FieldClass field = FieldClass::kText;
    bool checkGood = true; // the packet's check sequence passed
};

using CodeSink = std::function<void(const DecodedCode &)>;

class Decoder {
public:
    Decoder() = default;
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;
    virtual ~Decoder() = default;

    void SetSink(CodeSink sink) { sink_ = std::move(sink); }

    // Takes this mode's values from the block. Each value acts only when it changed, and only a changed
    // buffer geometry clears state.
    virtual void Configure(const DecoderParams &params) = 0;
    // The start/stop decoder takes line levels, one per sample; the clocked decoders take decided bits.
    virtual void Feed(const int16_t *input, int32_t count) = 0;
    // Clocked decoders: each decided bit with the demodulator's confidence in it; by default the bits alone.
    virtual void FeedSoft(const int16_t *bits, const int16_t *, int32_t count) { Feed(bits, count); }
    // The input has ended: deliver what is still held back waiting for more signal.
    virtual void Finish() {}
    // Back to the state of a fresh input; the configuration stays.
    virtual void Reset() = 0;
    // True while transitions on the line belong to someone else and must not pull the bit clock.
    virtual bool HoldsClock() const { return false; }

protected:
    bool HasSink() const { return bool(sink_); }
    void Deliver(const DecodedCode &code) const
    {
        if (sink_)
            sink_(code);
    }

private:
    CodeSink sink_;
};

} // namespace sirrel
