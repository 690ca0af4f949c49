#include "audio/g711.h"

namespace sirrel {

// A-law: even bits inverted; sign bit set for positive values; 3-bit segment, 4-bit step.
int16_t ALawToLinear(uint8_t code)
{
    code ^= 0x55;
    const int segment = (code >> 4) & 7;
    const int step = code & 0x0F;
    int magnitude = segment == 0 ? (step << 4) + 8 : ((step << 4) + 0x108) << (segment - 1);
    return int16_t((code & 0x80) ? magnitude : -magnitude);
}

// µ-law: all bits inverted; sign bit set for negative values; biased by 0x84.
int16_t MuLawToLinear(uint8_t code)
{
    code = uint8_t(~code);
    const int segment = (code >> 4) & 7;
    const int step = code & 0x0F;
    int magnitude = (((step << 3) + 0x84) << segment) - 0x84;
    return int16_t((code & 0x80) ? -magnitude : magnitude);
}

} // namespace sirrel
