// HdlcDeframer: the packet-radio decoder. It takes one line level per bit period, undoes NRZI, finds flags,
// drops stuffed zeros, assembles bytes least significant bit first, checks the CRC-16/X.25 frame check
// sequence and hands each finished frame to the AX.25 formatter, whose text leaves through the sink.
#pragma once

#include <array>
#include <cstdint>

#include "decoders/ax25_formatter.h"
#include "orurt.h"

namespace sirrel {

// Receives each piece of formatter text (NUL-terminated); `deframer` is the delivering HdlcDeframer, whose
// fieldClass and crcGood describe the piece while the call lasts.
using PacketSink = void (*)(void *context, const void *deframer, const char *text);

class HdlcDeframer {
public:
    // Frames of up to 330 bytes, check sequence included; the 331st byte abandons the frame.
    static constexpr uint32_t kFrameBytes = 331;

    HdlcDeframer();
    virtual ~HdlcDeframer();
    HdlcDeframer(const HdlcDeframer &) = delete;
    HdlcDeframer &operator=(const HdlcDeframer &) = delete;

    // One line level per bit period; only equality with the previous level matters. When the level closes a
    // frame, the frame is formatted before this returns, and the result is the frame's byte count without
    // the check sequence (its bytes stay in frame() until the next byte is assembled); otherwise -1.
    int32_t pushLevel(int32_t level);

    const uint8_t *frame() const { return frame_.data(); }

    // Non-zero: frames whose check sequence fails are still shown. The dispatcher sets it for every block.
    int32_t crcIgnore = 0;
    // 1 when the last finished frame passed the check, else 0.
    int32_t crcGood = 1;
    // Class of the piece being delivered (kFieldAddress..kFieldInformation); 0 before the first frame.
    uint32_t fieldClass = 0;
    // Where the formatter's text goes; nothing is formatted while sink is null.
    PacketSink sink = nullptr;
    void *sinkContext = nullptr;

private:
    void shiftIn(uint8_t bit);
    int32_t finishFrame();
    // The AX.25 formatter (ax25_formatter.cpp).
    void formatFrame();
    void deliver(uint32_t pieceClass, const char *text);

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
