// AdaptiveSlicer: centres the correlative demodulator's output between two envelopes of its peaks, each with a
// fast attack (1 % of the way each sample) and a slow decay (0.02 %), truncated to a whole number every sample.
#pragma once

#include <cstdint>

namespace sirrel {

class AdaptiveSlicer {
public:
    // Replaces each value by its distance from the middle of the envelopes, saturated to 16 bits.
    void Process(int16_t *values, uint32_t count);

    int32_t Upper() const { return upper_; }
    int32_t Lower() const { return lower_; }

private:
    int32_t upper_ = 0;
    int32_t lower_ = 0;
};

} // namespace sirrel
