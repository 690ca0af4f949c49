// CisDecoder: CIS-11, one ITA2 character per 11-bit frame protected by four parity checks. It synchronises
// on a run of N consecutive valid frames, in either line polarity, then decodes frame by frame and returns to
// the search after more than "Max errors num" consecutive invalid frames. Other frame sizes decode nothing.
#pragma once

#include <cstdint>

#include "decoders/decoder.h"

namespace sirrel {

class CisDecoder final : public Decoder {
public:
    static constexpr int32_t kDecodedFrameSize = 11;
    static constexpr int32_t kMaxSyncFrames = 255;

    enum State : int32_t {
        kSearching = 0,
        kSynchronised = 1,
        kAfterError = 2, // synchronised, the last frame was invalid
    };

    CisDecoder();
    ~CisDecoder() override;

    // Frame size, maximum errors and synchronisation length of mode 6.
    void Configure(const DecoderParams &params) override;
    // Decided bits; any non-zero level is a 1.
    void Feed(const int16_t *bits, int32_t count) override;
    void Reset() override;

    // A change refills the search register with all-one frames.
    void SetFrameSize(int32_t bits);
    void SetMaxErrors(int32_t frames) { maxErrors_ = frames; }
    // N = 1..255, anything else is ignored; the newest frames of the search register are kept.
    void SetMinSyncFrames(int32_t frames);

    // The four checks, or one of the two frame values that pass without them.
    static bool IsValidFrame(uint32_t frame);

    int32_t State() const { return state_; }
    bool Inverted() const { return inverted_ != 0; }
    int32_t FrameSize() const { return frameSize_; }
    int32_t SyncFrames() const { return syncFrames_; }
    int32_t MaxErrors() const { return maxErrors_; }

private:
    void PutBit(int32_t level);
    uint32_t AllOnes() const;
    void Search(uint32_t bit);
    void DecodeFrame(uint32_t bit);
    bool AllValid(uint32_t inversion) const;
    void DeliverFrame(uint32_t frame);

    int32_t errorCount_ = 0;
    int32_t frameSize_ = kDecodedFrameSize;
    int32_t maxErrors_ = 10;
    int32_t syncFrames_ = 3;
    int32_t inverted_ = 0;
    uint32_t frameRegister_ = 0;
    int32_t bitCount_ = 0;
    int32_t state_ = kSearching;
    uint32_t *searchFrames_ = nullptr; // oldest first; together one register of N·F bits
};

} // namespace sirrel
