// G.711 expansion of A-law and µ-law bytes to 16-bit linear samples.
#pragma once

#include <cstdint>

namespace sirrel {

int16_t ALawToLinear(uint8_t code);
int16_t MuLawToLinear(uint8_t code);

} // namespace sirrel
