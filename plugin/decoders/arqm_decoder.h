// ArqmDecoder: time-division multiplex ARQ-M with one, two or four 7-bit channels in one bit stream. Each
// channel is recognised by the pattern of upright and inverted characters over its repetition cycle of r
// characters; the decoder slides a window of r cycles' worth of bits (r·K·7) until the pattern of the
// selected version ("242" or "342") fits, then delivers r characters of every channel as 3-of-7 codes.
#pragma once

#include <cstdint>

#include "decoders/decoder.h"

namespace sirrel {

class ArqmDecoder final : public Decoder {
public:
    static constexpr int32_t kMaxRepetitionCycle = 255;

    enum Version : int32_t {
        kVersion242 = 0,
        kVersion342 = 1,
    };

    ArqmDecoder();
    ~ArqmDecoder() override;

    // Version, channels and repetition cycle of mode 7.
    void Configure(const DecoderParams &params) override;
    // Decided bits; any non-zero level is a 1.
    void Feed(const int16_t *bits, int32_t count) override;
    void Reset() override;

    // Any value other than 0 ("242") selects "342", the second entry of the version list.
    void SetVersion(int32_t version) { version_ = version; }
    // K = 1, 2 or 4; anything else is ignored. A change clears the window.
    void SetChannels(int32_t channels);
    // r = 1..255; anything else is ignored. A change clears the window.
    void SetRepetitionCycle(int32_t cycle);

    int32_t Channels() const { return channels_; }
    int32_t WindowBits() const { return windowBits_; }
    int32_t BitCount() const { return bitCount_; }

private:
    void PutBit(int32_t level);
    // Reallocates the window for the current geometry; false (old window kept) when memory is short.
    bool Resize(int32_t channels, int32_t cycle);
    // The seven bits of channel c's character in group g, first bit as bit 0.
    uint32_t Character(int32_t group, int32_t channel) const;
    bool WindowFits() const;
    void DeliverWindow();

    // The window is a ring held twice over, so the last windowBits_ bits always lie contiguously at
    // cells_ + head_, oldest first; a bit costs two stores instead of a shift of the whole window.
    uint8_t *cells_ = nullptr;
    int32_t head_ = 0;
    int32_t windowBits_ = 56;
    int32_t channels_ = 2;
    int32_t repetitionCycle_ = 4;
    int32_t bitCount_ = 0;
    int32_t version_ = kVersion342;
};

} // namespace sirrel
