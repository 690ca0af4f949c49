// The decoder parameter block: filled from the decoder controls once per frame, stored verbatim inside every
// protocol record, so its 40-byte little-endian layout is fixed.
#pragma once

#include <array>
#include <cstdint>

#include "protocols/settings_model.h"

namespace sirrel {

struct DecoderParams {
    int32_t mode = 0;
    double samplesPerBit = 0.0;
    int32_t polarity = 0;
    int32_t inversionMask = 0;
    std::array<int32_t, 5> words{}; // W1..W5, meaning by mode

    static constexpr size_t kSize = 40;
    void store(uint8_t *out) const;                // exactly kSize bytes
    static DecoderParams load(const uint8_t *in); // exactly kSize bytes
};

// Writes mode, polarity, inversion mask and the current mode's words from the controls; never samplesPerBit.
void FillDecoderParams(const SettingsModel &settings, DecoderParams &params);

// The inverse: selects the mode, polarity, inversion boxes and the mode's controls; other modes' controls stay.
void ApplyDecoderParams(SettingsModel &settings, const DecoderParams &params);

} // namespace sirrel
