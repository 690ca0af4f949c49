// FecDecoder: broadcast systems that send every character twice, interleaved, without gaps (SITOR-B, NAVTEX,
// SI-FEC). It is the synchronous block decoder with a cycle of exactly 7·n bits, and it shows every second
// delivered code, counted from construction, so that one of the two copies of each character is shown.
#pragma once

#include <cstdint>

#include "decoders/sync_arq_decoder.h"

namespace sirrel {

class FecDecoder final : public SyncArqDecoder {
public:
    FecDecoder();

    // Character set, mask, block, inverting rate and polarity of mode 5.
    void Configure(const DecoderParams &params) override;
    void Reset() override;
    // Without a gap every transition is this station's.
    bool HoldsClock() const override { return false; }

    // The cycle follows the block: exactly 7·n bits, never a gap.
    int32_t SetCharsInCycle(int32_t n) override;

    // 1 when the last delivered code was shown.
    int32_t Alternate() const { return alternate_; }

protected:
    void OnCode(int32_t code) override;

private:
    int32_t alternate_ = 0;
};

} // namespace sirrel
