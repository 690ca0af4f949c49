// G.711 expansion of A-law and µ-law bytes to 16-bit linear samples.
#ifndef SIRREL_AUDIO_G711_H
#define SIRREL_AUDIO_G711_H

#include <cstdint>

int16_t ALawToLinear(uint8_t code);
int16_t MuLawToLinear(uint8_t code);

#endif
