// The 7-bit character sets of the synchronous systems: CCIR476-5 and ITA3 (three one-bits of seven) and
// ITA2-P (the ITA2 code in bits 1..5, odd parity in bit 6). Codes are written first-sent bit as bit 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "keying.h"

namespace sirrel::siggen {

enum class SevenBitSet { kCcir476, kIta3, kIta2P };

// The service signals a transmission needs besides text.
struct SevenBitService {
    uint8_t repetition; // request for repetition
    uint8_t phasing1;   // idle/phasing signals: the first goes in the first-sending position of FEC
    uint8_t phasing2;
};

SevenBitService ServiceCodes(SevenBitSet set);
const char *SevenBitSetName(SevenBitSet set);

struct SevenBitCodes {
    std::vector<uint8_t> codes;
    size_t dropped = 0; // characters ITA2 has no code for
};

// Text to 7-bit codes through ITA2, with the shifts it needs.
SevenBitCodes EncodeSevenBit(std::string_view text, SevenBitSet set);
// The letters shift: idle filler that a receiver shows as nothing.
uint8_t LettersShiftCode(SevenBitSet set);

// The bit-timing run-in before the phasing: 0001 repeated, then seven 0 bits. Its edges settle the receiver's
// bit clock, and no seven bits of it hold the three or four one-bits of a valid code, so a receiver cannot
// take any of it for a block; the zeros let the first phasing signal start a block nowhere but at its start.
void AppendRunIn(Keying &keying);

// Whether a code restarts the periodic inversion count (CCIR476-5 repetition request and alpha, ITA2-P 0x31).
// A receiver's block search counts without the restart, so with periodic inversion a transmission keeps
// these out of its idle filler.
bool RestartsInversion(SevenBitSet set, uint8_t code);

// Periodic inversion as the receiver undoes it: every rate-th character goes out with all seven bits inverted;
// in CCIR476-5 a repetition request or alpha, and in ITA2-P the code 0x31, restarts the count.
class PeriodicInversion {
public:
    PeriodicInversion(SevenBitSet set, int rate) : set_(set), rate_(rate) {}
    uint8_t Next(uint8_t code);

private:
    SevenBitSet set_;
    int rate_;
    int counter_ = 0;
};

} // namespace sirrel::siggen
