#include "decoders/cis_decoder.h"

#include <bit>

#include "orurt.h"

namespace sirrel {

namespace {

constexpr uint32_t kFrameMask = 0x7FF;
constexpr uint32_t kTopBit = 0x400;

uint32_t Parity(uint32_t bits) { return uint32_t(std::popcount(bits)) & 1; }

} // namespace

CisDecoder::CisDecoder()
{
    searchFrames_ = static_cast<uint32_t *>(MemoryAlloc(uint32_t(sizeof(uint32_t)) * uint32_t(syncFrames_)));
    if (!searchFrames_) {
        syncFrames_ = 0;
        return;
    }
    for (int32_t i = 0; i < syncFrames_; ++i)
        searchFrames_[i] = kFrameMask;
}

CisDecoder::~CisDecoder() { MemoryFree(searchFrames_); }

uint32_t CisDecoder::AllOnes() const
{
    if (frameSize_ <= 0)
        return 0;
    return frameSize_ >= 32 ? ~0u : (1u << frameSize_) - 1;
}

bool CisDecoder::IsValidFrame(uint32_t frame)
{
    frame &= kFrameMask;
    if (frame == 0x196 || frame == 0x415)
        return true;
    // Bit k of each mask is frame bit b_k.
    return Parity(frame & 0b10001101101) == 0     // b0 b2 b3 b5 b6 b10
           && Parity(frame & 0b01001001011) == 0  // b0 b1 b3 b6 b9
           && Parity(frame & 0b00100010101) == 0  // b0 b2 b4 b8
           && Parity(frame & 0b00010111010) == 0; // b1 b3 b4 b5 b7
}

void CisDecoder::SetFrameSize(int32_t bits)
{
    if (bits == frameSize_)
        return;
    frameSize_ = bits;
    for (int32_t i = 0; i < syncFrames_; ++i)
        searchFrames_[i] = AllOnes();
}

void CisDecoder::SetMinSyncFrames(int32_t frames)
{
    if (frames == syncFrames_ || frames < 1 || frames > kMaxSyncFrames)
        return;
    auto *grown = static_cast<uint32_t *>(MemoryAlloc(uint32_t(sizeof(uint32_t)) * uint32_t(frames)));
    if (!grown)
        return;
    // The newest frames stay the newest; new older entries start as all-one frames.
    const int32_t kept = frames < syncFrames_ ? frames : syncFrames_;
    const int32_t added = frames - kept;
    for (int32_t i = 0; i < added; ++i)
        grown[i] = AllOnes();
    for (int32_t i = 0; i < kept; ++i)
        grown[added + i] = searchFrames_[syncFrames_ - kept + i];
    MemoryFree(searchFrames_);
    searchFrames_ = grown;
    syncFrames_ = frames;
}

void CisDecoder::Configure(const DecoderParams &params)
{
    const CisParams cis = params.Cis();
    SetFrameSize(cis.frameSize);
    SetMaxErrors(cis.maxErrors);
    SetMinSyncFrames(cis.minSyncFrames);
}

void CisDecoder::Reset()
{
    for (int32_t i = 0; i < syncFrames_; ++i)
        searchFrames_[i] = AllOnes();
    errorCount_ = 0;
    inverted_ = 0;
    frameRegister_ = 0;
    bitCount_ = 0;
    state_ = kSearching;
}

inline void CisDecoder::PutBit(int32_t level)
{
    if (frameSize_ != kDecodedFrameSize || syncFrames_ < 1)
        return;
    const uint32_t bit = level != 0;
    if (state_ == kSearching)
        Search(bit);
    else if (state_ == kSynchronised || state_ == kAfterError)
        DecodeFrame(bit);
}

void CisDecoder::Feed(const int16_t *bits, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        PutBit(bits[i]);
}

bool CisDecoder::AllValid(uint32_t inversion) const
{
    for (int32_t i = 0; i < syncFrames_; ++i) {
        if (!IsValidFrame(searchFrames_[i] ^ inversion))
            return false;
    }
    return true;
}

// The frames form one register, earliest bit lowest: each frame hands its lowest bit to the top of the frame
// before it, and the new bit enters at the top of the newest.
void CisDecoder::Search(uint32_t bit)
{
    const int32_t top = frameSize_ - 1;
    for (int32_t i = 0; i + 1 < syncFrames_; ++i)
        searchFrames_[i] = (searchFrames_[i] >> 1) | ((searchFrames_[i + 1] & 1) << top);
    searchFrames_[syncFrames_ - 1] = (searchFrames_[syncFrames_ - 1] >> 1) | (bit << top);

    // Saturates at N·F, so a long search keeps testing at every bit without the count running over.
    const int32_t needed = syncFrames_ * frameSize_;
    if (bitCount_ < needed)
        ++bitCount_;
    if (bitCount_ < needed)
        return;

    inverted_ = 0;
    if (!AllValid(0)) {
        inverted_ = 1;
        if (!AllValid(kFrameMask))
            return;
    }
    frameRegister_ = 0;
    bitCount_ = 0;
    state_ = kSynchronised;
    for (int32_t i = 0; i < syncFrames_; ++i)
        DeliverFrame(searchFrames_[i]);
}

void CisDecoder::DecodeFrame(uint32_t bit)
{
    frameRegister_ = (frameRegister_ >> 1) | (bit ? kTopBit : 0);
    if (++bitCount_ < kDecodedFrameSize)
        return;
    bitCount_ = 0;
    if (IsValidFrame(frameRegister_ ^ (inverted_ ? kFrameMask : 0))) {
        DeliverFrame(frameRegister_);
        state_ = kSynchronised;
        return;
    }
    if (state_ == kSynchronised) {
        state_ = kAfterError;
        errorCount_ = 0;
    } else if (++errorCount_ >= maxErrors_) {
        state_ = kSearching;
    }
}

// The five low bits carry the ITA2 code.
void CisDecoder::DeliverFrame(uint32_t frame)
{
    const uint32_t code = (frame ^ (inverted_ ? kFrameMask : 0)) & 31;
    Deliver({0, uint8_t(code)});
}

} // namespace sirrel
