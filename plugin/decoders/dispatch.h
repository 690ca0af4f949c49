// DispatchBits: the door between the signal chain and the decoders. Once per frame it configures the decoder
// of the selected mode, recovers the bit clock for the bit-synchronous modes and feeds that decoder.
#pragma once

#include <cstdint>

#include "decoders/decoder_params.h"
#include "output/data_output_window.h"

namespace sirrel {

// `levels` holds `count` line levels (0 or 1), one per sample; params.samplesPerBit is set by the chain.
void DispatchBits(DataOutputWindow &window, const int16_t *levels, int32_t count, const DecoderParams &params);

// The audio has ended (a file decoded to its end): lets the decoder of the current mode deliver what it still
// holds back waiting for more signal.
void FinishBits(DataOutputWindow &window);

} // namespace sirrel
