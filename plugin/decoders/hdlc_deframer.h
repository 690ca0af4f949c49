// HdlcDeframer: the packet-radio decoder. It takes one line level per bit period, undoes NRZI, finds flags,
// drops stuffed zeros, assembles bytes least significant bit first, checks the CRC-16/X.25 frame check
// sequence and hands each finished frame to the AX.25 formatter, whose text leaves through the sink one
// character at a time, each with its field class and the frame's check result.
#pragma once

#include <array>
#include <cstdint>

#include "decoders/decoder.h"
#include "decoders/frame_gate.h"
#include "orurt.h"

namespace sirrel {

class HdlcDeframer final : public Decoder {
public:
    // Frames of up to 330 bytes, check sequence included; the 331st byte abandons the frame.
    static constexpr uint32_t kFrameBytes = 331;

    HdlcDeframer();
    ~HdlcDeframer() override;

    // The "CRC ignore" flag of mode 3.
    void Configure(const DecoderParams &params) override { SetCrcIgnore(params.Packet().crcIgnore != 0); }
    // Line levels, one per bit period.
    void Feed(const int16_t *levels, int32_t count) override;
    void Reset() override;

    // One line level per bit period; only equality with the previous level matters. When the level closes a
    // frame, the frame is formatted before this returns, and the result is the frame's byte count without
    // the check sequence (its bytes stay in FrameBytes() until the next byte is assembled); otherwise -1.
    int32_t PushLevel(int32_t level)
    {
        // Most periods only lengthen the run.
        if (level != lastLevel_)
            return EndRun(level);
        if (runLength_ < kAbortRun)
            ++runLength_;
        return -1;
    }

    // Frames whose check sequence fails are still shown.
    void SetCrcIgnore(bool ignore) { crcIgnore_ = ignore ? 1 : 0; }
    // Good frames are formatted only when the gate lets them through (null: always); the byte count is
    // returned either way.
    void SetGate(FrameGate *gate) { gate_ = gate; }
    // Whether the last finished frame passed the check.
    bool CrcGood() const { return crcGood_ != 0; }
    const uint8_t *FrameBytes() const { return frame_.data(); }

private:
    // Runs of this many bit periods or more (seven ones and beyond) all mean abort; counting stops there so
    // that a level held for days cannot overflow the counter.
    static constexpr int32_t kAbortRun = 8;

    // A change of level: the run before it is decoded.
    int32_t EndRun(int32_t level);
    void ShiftIn(uint8_t bit);
    int32_t FinishFrame();
    // The AX.25 formatter (ax25_formatter.cpp); nothing is formatted without a sink.
    void FormatFrame();
    void DeliverText(FieldClass field, const char *text);

    FrameGate *gate_ = nullptr;
    int32_t crcIgnore_ = 0;
    int32_t crcGood_ = 1;
    uint32_t bitPosition_ = 0;
    std::array<uint32_t, 256> crcTable_{};
    int32_t runLength_ = 0;
    int32_t lastLevel_ = 0;
    std::array<uint8_t, kFrameBytes> frame_{};
    uint8_t shiftByte_ = 0;
    uint32_t byteCount_ = 0;
    int32_t inFrame_ = 0;
    OruString text_{};
};

} // namespace sirrel
