// FecGrid: the 7-bit character grid of a continuous FEC stream, kept once found. Every bit position is scored
// as the end of a code, for each line polarity the settings allow. The grid is taken where the last eight codes
// all pass the check and kept through bad codes. It moves to another position whose last eight codes pass when
// the kept one keeps failing and a character and its repetition agree on the new one (a slipped bit, or a
// start on a wrong grid), or when the new one reads the phasing signals and the kept one does not (a start one
// bit off during the phasing). It is given up after a run of bad codes. Every code on the grid goes to a
// FecCombiner slot, checked or not.
#pragma once

#include <array>
#include <cstdint>

#include "decoders/fec_combiner.h"

namespace sirrel {

class FecGrid {
public:
    // Charset and polarity mode as in SyncArqDecoder; the mask's low 8 bits take part in the check.
    void Configure(int32_t charset, int32_t inversionMask, int32_t polarityMode);
    // The phasing signals of the character set, which mark the true grid while the grids next to it check too.
    void SetPhasing(int32_t dxPhasing, int32_t rxPhasing);
    void Reset();
    // `confidence`: the demodulator's confidence in the bit, 0 without one.
    void PutBit(int8_t bit, int16_t confidence, FecCombiner &slots);

    bool Locked() const { return locked_; }
    // The bit position (mod 7) of code ends on the kept grid, and whether the line is read inverted.
    int32_t Phase() const { return lockPhase_; }
    int32_t Flip() const { return lockFlip_; }

private:
    static constexpr int32_t kRingBits = 64;

    // The code of the seven bits ending at `end`, read with polarity `flip`, mask applied.
    int32_t CodeAt(int64_t end, int32_t flip) const;
    // The confidence in each bit of that code being a 1.
    FecCombiner::Soft SoftAt(int64_t end, int32_t flip) const;
    bool Allowed(int32_t flip) const;
    // Whether two of the last codes five slots apart, read with `flip`, are the same character: a first
    // sending and its repetition, which a wrong grid seldom reads alike.
    bool CopiesAgree(int64_t end, int32_t flip) const;
    uint32_t &History(int32_t phase, int32_t flip) { return history_[size_t(phase * 2 + flip)]; }
    void TryLock(int64_t end, int32_t phase, FecCombiner &slots);
    void TrySwitch(int64_t end, int32_t phase, FecCombiner &slots);
    // The code ending at `end` as the next slot, or as a new reading of a slot up to `maxBack` before the last.
    void Deliver(int64_t end, FecCombiner &slots, int32_t maxBack = FecCombiner::kShowDelay);

    int32_t charset_ = 0;
    int32_t mask_ = 0;
    int32_t polarityMode_ = 0;
    std::array<int8_t, kRingBits> ring_{};
    std::array<int16_t, kRingBits> confidence_{};
    int64_t bitCount_ = 0;
    // Per bit position and polarity: whether each of the last codes ending there passed, newest in bit 0.
    std::array<uint32_t, 14> history_{};
    // The same for codes that are the phasing signal of first sendings, and of repetitions.
    std::array<uint32_t, 14> dxSeen_{};
    std::array<uint32_t, 14> rxSeen_{};
    int32_t dxPhasing_ = -1;
    int32_t rxPhasing_ = -1;
    bool locked_ = false;
    int32_t lockPhase_ = 0;
    int32_t lockFlip_ = 0;
    int32_t invalidRun_ = 0;
    int64_t lastEnd_ = -1; // end of the last delivered code in this stream
};

} // namespace sirrel
