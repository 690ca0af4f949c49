// ArqSource: what a third station hears of a synchronous ARQ link (SITOR-A, ARQ-E, ARQ-N, SI-ARQ, ...): the
// sending station's blocks of n 7-bit characters, one block per cycle of L bits, and in the rest of each
// cycle the gap in which the other station answers (see AppendGap).
//
// The transmission opens with a bit-timing run-in and phasing blocks (idle signals) in which a receiver finds
// the blocks, and the last block is filled up with idle signals.
#pragma once

#include "bit_source.h"
#include "seven_bit.h"

namespace sirrel::siggen {

// What the receiver hears of the other station in the gap.
enum class ArqGap {
    kReversals, // its keying at full level, half a bit off this station's bits: the hardest case for a bit clock
    kQuiet,     // nothing: a receiver out of the other station's range
};

struct ArqSettings {
    SevenBitSet set = SevenBitSet::kCcir476;
    int charsInBlock = 3;  // n
    int cycleBits = 45;    // L; a cycle shorter than the block leaves no gap
    int invertingRate = 0; // every rate-th character inverted; 0: none
    int phasingBlocks = 4;
    // Every repeatEvery text characters the link asks for a repetition: the request goes out, followed by
    // the last repetitionCycle - 1 characters again, which a receiver drops. 0: no repetitions.
    int repeatEvery = 0;
    int repetitionCycle = 4;
    ArqGap gap = ArqGap::kReversals;
};

class ArqSource : public BitSource {
public:
    // charsInBlock must be at least 1.
    explicit ArqSource(const ArqSettings &settings);

    size_t Encode(std::string_view text, Keying &keying) const override;
    int IdleLevel() const override { return 0; }
    const char *CharacterSetName() const override { return SevenBitSetName(settings_.set); }

private:
    ArqSettings settings_;
};

} // namespace sirrel::siggen
