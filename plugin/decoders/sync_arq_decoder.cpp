#include "decoders/sync_arq_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace sirrel {

namespace {

constexpr int32_t kCodeBits = 7;
constexpr int32_t kAllCodeBits = 0x7F;

int64_t ClampToInt32(int64_t value)
{
    return std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
}

} // namespace

int32_t SyncArqDecoder::setCharsInCycle(int32_t n)
{
    const int64_t block = int64_t(n) * kCodeBits;
    charsInCycle_ = n;
    if (cycleLength_ < block)
        cycleLength_ = blockLength();
    return n;
}

void SyncArqDecoder::setCycleLength(int32_t length)
{
    cycleLength_ = int32_t(ClampToInt32(std::max(blockBits(), int64_t(length))));
}

int32_t SyncArqDecoder::blockLength() const { return int32_t(ClampToInt32(blockBits())); }

void SyncArqDecoder::onCode(int32_t code)
{
    if (sink_)
        sink_(sinkContext_, this, int8_t(code));
}

void SyncArqDecoder::putBit(int8_t bit)
{
    if (skipBits_ > 0) {
        gapCount_ = --skipBits_;
        return;
    }
    if (bitCount_ == kBufferBits) {
        search();
        if (bitCount_ == kBufferBits) {
            std::memmove(bits_.data(), bits_.data() + 1, kBufferBits - 1);
            bitCount_ = kBufferBits - 1;
        }
    }
    bits_[bitCount_++] = bit;
    if (bitCount_ == blockBits())
        search();
}

int32_t SyncArqDecoder::assemble(int32_t at, int32_t flip) const
{
    int32_t code = 0;
    for (int32_t k = 0; k < kCodeBits; ++k)
        code |= int32_t(bits_[at + k] != flip) << k;
    return code;
}

bool SyncArqDecoder::trial(int32_t at, int32_t &flip) const
{
    flip = 0;
    int32_t counter = invertCounter_;
    for (int32_t m = 0; m < charsInCycle_; ++m) {
        int32_t x = assemble(at + kCodeBits * m, flip);
        x ^= inversionMask_ & 0xFF;
        // The trial counts from the delivered state without the reset codes.
        if (invertingRate_ != 0 && ++counter >= invertingRate_) {
            counter = 0;
            x ^= kAllCodeBits;
        }
        if (charset_ != kIta2P) {
            // Constant-ratio codes: three one-bits of seven, so four means the line is inverted.
            int32_t weight = std::popcount(uint32_t(x & kAllCodeBits));
            if (m == 0 && (polarityMode_ == kPolarityReversed || (polarityMode_ == kPolarityAuto && weight == 4))) {
                flip = 1;
                weight = kCodeBits - weight;
            }
            if (weight != 3)
                return false;
            continue;
        }
        // ITA2-P: odd parity over the eight low bits, so that the mask's bit 7 takes part.
        const bool odd = std::popcount(uint32_t(x & 0xFF)) & 1;
        bool parityPassed = odd;
        if (m == 0 && ((!odd && polarityMode_ != kPolarityNormal) || (odd && polarityMode_ == kPolarityReversed))) {
            flip = 1;
            x ^= kAllCodeBits;
            parityPassed = true;
        }
        if (!parityPassed)
            return false;
        if ((x & 1) != 0 && x != 0x07 && x != 0x49 && x != 0x31)
            return false;
    }
    return true;
}

void SyncArqDecoder::emit(int32_t at, int32_t flip)
{
    for (int32_t m = 0; m < charsInCycle_; ++m) {
        int32_t x = assemble(at + kCodeBits * m, flip);
        skipBits_ = gapCount_ = int32_t(cycleLength_ - blockBits());
        // The reset codes are seen as received, after polarity and before mask and inversion.
        if ((charset_ == kIta2P && x == 0x31) || (charset_ == kCcir476 && (x == 0x19 || x == 0x70)))
            invertCounter_ = 0;
        // "Reaching" the rate includes passing it: a rate lowered below the count inverts at once.
        if (invertingRate_ != 0 && ++invertCounter_ >= invertingRate_) {
            invertCounter_ = 0;
            x ^= kAllCodeBits;
        }
        onCode(x ^ inversionMask_);
    }
}

void SyncArqDecoder::search()
{
    const int64_t block = blockBits();
    int32_t p = 0;
    // A block of no characters would never advance the search.
    if (block > 0) {
        while (bitCount_ - p >= block) {
            int32_t flip = 0;
            if (!trial(p, flip)) {
                ++p;
                continue;
            }
            emit(p, flip);
            p += int32_t(block);
        }
    }
    bitCount_ -= p;
    std::memmove(bits_.data(), bits_.data() + p, size_t(bitCount_));
}

} // namespace sirrel
