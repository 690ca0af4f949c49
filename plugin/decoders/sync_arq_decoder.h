// SyncArqDecoder: synchronous systems that send 7-bit characters in blocks of n characters, each block
// followed by a gap that fills a cycle of L bits (SITOR-A, ARQ-E, ARQ-N, POL-ARQ, SI-ARQ, ARQ6, ...). It takes
// one decided bit at a time, finds block synchronisation by trying every bit position for n valid codes,
// corrects line polarity, undoes the periodic inversion of some systems and skips the gap. The FEC decoder
// derives from it.
#pragma once

#include <array>
#include <cstdint>

#include "decoders/code_sink.h"

namespace sirrel {

class SyncArqDecoder {
public:
    static constexpr int32_t kBufferBits = 512;

    // The validity test and the reset codes follow the character set.
    enum Charset : int32_t { kCcir476 = 0, kIta3 = 1, kIta2P = 2 };
    enum Polarity : int32_t { kPolarityAuto = 0, kPolarityNormal = 1, kPolarityReversed = 2 };

    SyncArqDecoder() = default;
    SyncArqDecoder(const SyncArqDecoder &) = delete;
    SyncArqDecoder &operator=(const SyncArqDecoder &) = delete;
    virtual ~SyncArqDecoder() = default;

    void setSink(CodeSink sink, void *context)
    {
        sink_ = sink;
        sinkContext_ = context;
    }

    // Written by the dispatcher before every block.
    void setCharset(int32_t charset) { charset_ = charset; }
    void setInversionMask(int32_t mask) { inversionMask_ = mask; }
    void setInvertingRate(int32_t rate) { invertingRate_ = rate; } // 0: no periodic inversion
    void setPolarityMode(int32_t mode) { polarityMode_ = mode; }

    // n characters per block; the cycle grows to at least 7·n bits. Returns the characters per block.
    virtual int32_t setCharsInCycle(int32_t n);
    // The cycle becomes the larger of 7·n and `length`.
    void setCycleLength(int32_t length);

    // One decided bit, 0 or 1.
    void putBit(int8_t bit);

    int32_t charsInCycle() const { return charsInCycle_; }
    int32_t cycleLength() const { return cycleLength_; }
    // Gap bits still to be discarded; the dispatcher holds its bit clock while this is non-zero.
    int32_t gapCount() const { return gapCount_; }
    int32_t bitCount() const { return bitCount_; }

protected:
    // 7·n, the bits of one block, limited to the 32-bit range.
    int32_t blockLength() const;
    // Every delivered code; by default straight to the sink.
    virtual void onCode(int32_t code);

private:
    int64_t blockBits() const { return int64_t(charsInCycle_) * 7; }
    // The 7 bits from `at` as a code, first bit as bit 0; a bit counts as 1 when it differs from `flip`.
    int32_t assemble(int32_t at, int32_t flip) const;
    // Whether the whole block at `at` holds n valid codes; sets the polarity it was read with.
    bool trial(int32_t at, int32_t &flip) const;
    void emit(int32_t at, int32_t flip);
    void search();

    int32_t charset_ = kCcir476;
    int32_t inversionMask_ = 0;
    int32_t charsInCycle_ = 3;
    int32_t cycleLength_ = 45;
    int32_t gapCount_ = 0;
    std::array<int8_t, kBufferBits> bits_{};
    int32_t bitCount_ = 0;
    int32_t invertingRate_ = 0;
    int32_t invertCounter_ = 0;
    int32_t polarityMode_ = kPolarityAuto;
    int32_t skipBits_ = 0;
    CodeSink sink_ = nullptr;
    void *sinkContext_ = nullptr;
};

} // namespace sirrel
