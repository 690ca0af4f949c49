#include "decoders/hdlc_deframer.h"

namespace sirrel {

namespace {

constexpr int32_t kFlagRun = 7;
constexpr int32_t kStuffedRun = 6;

} // namespace

HdlcDeframer::HdlcDeframer()
{
    // Reflected CRC-16/X.25 remainders, polynomial x^16 + x^12 + x^5 + 1.
    for (uint32_t i = 0; i < crcTable_.size(); ++i) {
        uint32_t r = i;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1) ? (r >> 1) ^ 0x8408 : r >> 1;
        crcTable_[i] = r;
    }
    OruString_Construct(&text_);
}

HdlcDeframer::~HdlcDeframer() { OruString_Destruct(&text_, 0); }

void HdlcDeframer::Feed(const int16_t *levels, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        PushLevel(levels[i]);
}

void HdlcDeframer::Reset()
{
    crcGood_ = 1;
    bitPosition_ = 0;
    runLength_ = 0;
    lastLevel_ = 0;
    shiftByte_ = 0;
    byteCount_ = 0;
    inFrame_ = 0;
}

inline void HdlcDeframer::ShiftIn(uint8_t bit)
{
    if (!inFrame_)
        return;
    shiftByte_ = uint8_t((shiftByte_ >> 1) | (bit << 7));
    if (++bitPosition_ < 8)
        return;
    bitPosition_ = 0;
    frame_[byteCount_++] = shiftByte_;
    if (byteCount_ == kFrameBytes)
        inFrame_ = 0;
}

int32_t HdlcDeframer::EndRun(int32_t level)
{
    // NRZI: the run just ended is run-1 unchanged periods (ones) and the change that ended it (a zero).
    const int32_t run = runLength_;
    int32_t finished = -1;
    if (run == kFlagRun) {
        // The closing flag's leading zero is already in, so a whole last byte leaves bit position 1.
        if (inFrame_ && byteCount_ >= 3 && bitPosition_ == 1)
            finished = FinishFrame();
        bitPosition_ = 0;
        byteCount_ = 0;
        inFrame_ = 1;
    } else if (run >= kAbortRun) {
        inFrame_ = 0;
    } else if (run >= 1 && inFrame_) {
        for (int32_t i = 1; i < run; ++i)
            ShiftIn(1);
        if (run != kStuffedRun)
            ShiftIn(0);
    }

    lastLevel_ = level;
    runLength_ = 1;
    return finished;
}

int32_t HdlcDeframer::FinishFrame()
{
    const uint32_t length = byteCount_ - 2;
    uint32_t crc = 0xFFFF;
    for (uint32_t i = 0; i < length; ++i)
        crc = (crc >> 8) ^ crcTable_[(crc ^ frame_[i]) & 0xFF];
    // The check sequence is sent low byte first.
    const uint32_t received = frame_[length] | uint32_t(frame_[length + 1]) << 8;
    crcGood_ = received == (crc ^ 0xFFFF) ? 1 : 0;
    byteCount_ = length;
    if (!crcGood_ || !gate_ || gate_->Admit(frame_.data(), length))
        FormatFrame();
    return int32_t(length);
}

} // namespace sirrel
