// CisSource: CIS-11, one ITA2 character per 11-bit frame, first bit first: bits 0..4 the code, bits 5 and 6
// sent as 0, bits 7..10 the four parity checks. A run of letters-shift frames before the text lets a receiver
// that synchronised on the idle line lose that and find the frames; its pattern has no valid frame at any
// other bit offset in either polarity.
#pragma once

#include <cstdint>

#include "bit_source.h"

namespace sirrel::siggen {

class CisSource : public BitSource {
public:
    static constexpr int kPhasingFrames = 40; // more than a receiver's 20 tolerated errors plus 15 sync frames
    static constexpr int kTrailingFrames = 2;

    size_t Encode(std::string_view text, Keying &keying) const override;
    int IdleLevel() const override { return 1; }
    const char *CharacterSetName() const override { return "ITA2"; }

    static uint32_t Frame(uint8_t code);
};

} // namespace sirrel::siggen
