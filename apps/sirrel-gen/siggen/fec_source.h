// FecSource: the forward error correction broadcast of SITOR-B and NAVTEX (and SI-FEC): a continuous stream of
// 7-bit characters in which every character is sent twice. Sending positions alternate between first sendings
// (DX) and repetitions (RX); the repetition of a character follows its first sending after four other
// characters, so it lies in the RX position of the DX two characters later.
//
// The transmission opens with a bit-timing run-in and phasing: phasing signal 1 in every DX position and
// phasing signal 2 in every RX position. It ends with three signals alpha (phasing signal 2) in DX while the
// last repetitions go out in RX.
#pragma once

#include "bit_source.h"
#include "seven_bit.h"

namespace sirrel::siggen {

struct FecSettings {
    SevenBitSet set = SevenBitSet::kCcir476;
    int invertingRate = 0; // every rate-th character inverted; 0: none
    int phasingPairs = 16;
};

class FecSource : public BitSource {
public:
    explicit FecSource(const FecSettings &settings);

    size_t Encode(std::string_view text, Keying &keying) const override;
    int IdleLevel() const override { return 0; }
    const char *CharacterSetName() const override { return SevenBitSetName(settings_.set); }

private:
    FecSettings settings_;
};

} // namespace sirrel::siggen
