// CisDecoder: CIS-11, one ITA2 character per 11-bit frame protected by four parity checks. It synchronises
// on a run of N consecutive valid frames, in either line polarity, then decodes frame by frame and returns to
// the search after more than "Max errors num" consecutive invalid frames. Other frame sizes decode nothing.
#pragma once

#include <cstdint>

#include "decoders/code_sink.h"

namespace sirrel {

class CisDecoder {
public:
    static constexpr int32_t kDecodedFrameSize = 11;
    static constexpr int32_t kMaxSyncFrames = 255;

    enum State : int32_t {
        kSearching = 0,
        kSynchronised = 1,
        kAfterError = 2, // synchronised, the last frame was invalid
    };

    CisDecoder();
    ~CisDecoder();
    CisDecoder(const CisDecoder &) = delete;
    CisDecoder &operator=(const CisDecoder &) = delete;

    void setSink(WideCodeSink sink, void *context)
    {
        sink_ = sink;
        sinkContext_ = context;
    }

    // A change refills the search register with all-one frames.
    void setFrameSize(int32_t bits);
    void setMaxErrors(int32_t frames) { maxErrors_ = frames; }
    // N = 1..255, anything else is ignored; the newest frames of the search register are kept.
    void setMinSyncFrames(int32_t frames);

    // One decided bit; any non-zero level is a 1.
    void putBit(int32_t level);

    // The four checks, or one of the two frame values that pass without them.
    static bool IsValidFrame(uint32_t frame);

    int32_t state() const { return state_; }
    bool inverted() const { return inverted_ != 0; }
    int32_t errorCount() const { return errorCount_; }
    int32_t frameSize() const { return frameSize_; }
    int32_t syncFrames() const { return syncFrames_; }
    int32_t maxErrors() const { return maxErrors_; }

private:
    uint32_t allOnes() const;
    void search(uint32_t bit);
    void decodeFrame(uint32_t bit);
    bool allValid(uint32_t inversion) const;
    void deliver(uint32_t frame);

    int32_t errorCount_ = 0;
    int32_t frameSize_ = kDecodedFrameSize;
    int32_t maxErrors_ = 10;
    int32_t syncFrames_ = 3;
    int32_t inverted_ = 0;
    uint32_t frameRegister_ = 0;
    int32_t bitCount_ = 0;
    int32_t state_ = kSearching;
    uint32_t *searchFrames_ = nullptr; // oldest first; together one register of N·F bits
    WideCodeSink sink_ = nullptr;
    void *sinkContext_ = nullptr;
};

} // namespace sirrel
