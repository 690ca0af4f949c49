// FecDecoder: broadcast systems that send every character twice, interleaved, without gaps (SITOR-B, NAVTEX,
// SI-FEC). It is the synchronous block decoder with a cycle of exactly 7·n bits, and it shows every second
// delivered code, counted from construction, so that one of the two copies of each character is shown.
//
// With correction chosen it reads the stream differently: it keeps the character grid once found (FecGrid)
// and takes each character from whichever of its two copies checks (FecCombiner).
#pragma once

#include <cstdint>

#include "decoders/fec_combiner.h"
#include "decoders/fec_grid.h"
#include "decoders/sync_arq_decoder.h"

namespace sirrel {

class FecDecoder final : public SyncArqDecoder {
public:
    FecDecoder();

    // Character set, mask, block, inverting rate and polarity of mode 5, and the correction choice.
    void Configure(const DecoderParams &params) override;
    void Feed(const int16_t *bits, int32_t count) override;
    // With correction, the copies that fail are combined from the confidence in their bits.
    void FeedSoft(const int16_t *bits, const int16_t *confidence, int32_t count) override;
    // Shows the characters whose repetition has not come.
    void Finish() override;
    void Reset() override;
    // Without a gap every transition is this station's.
    bool HoldsClock() const override { return false; }

    // The cycle follows the block: exactly 7·n bits, never a gap.
    int32_t SetCharsInCycle(int32_t n) override;

    void SetCorrection(bool on) { correction_ = on; }
    // Correction is used when chosen and no periodic inversion is set, whose count only the block search keeps.
    bool Correcting() const { return correction_ && InvertingRate() == 0; }

    // 1 when the last delivered code was shown.
    int32_t Alternate() const { return alternate_; }
    const FecGrid &Grid() const { return grid_; }
    const FecCombiner &Combiner() const { return combiner_; }

protected:
    void OnCode(int32_t code) override;

private:
    // Takes up or leaves the correcting reading when the choice changed.
    void Follow(bool correcting);
    void Take(const int16_t *bits, const int16_t *confidence, int32_t count);

    int32_t alternate_ = 0;
    bool correction_ = false;
    bool correcting_ = false;
    FecGrid grid_;
    FecCombiner combiner_;
};

} // namespace sirrel
