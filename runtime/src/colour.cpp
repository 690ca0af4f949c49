// Byte-wise arithmetic on packed 32-bit colours, for gradients and palettes. Every byte is worked out on its
// own; a result that leaves 0..255 (either way) saturates to 255.
#include <cstdint>

#include "orurt.h"

namespace {

uint32_t saturated(int64_t value) { return (value < 0 || value > 255) ? 255u : uint32_t(value); }

int64_t byteOf(uint32_t color, int shift) { return (color >> shift) & 0xFF; }

} // namespace

// The 64-bit products keep extreme multipliers defined; such results are out of range and saturate.
uint32_t ColorInterpolate(uint32_t a, uint32_t b, int32_t divisor, int32_t multiplier)
{
    if (divisor == 0)
        return a;
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int64_t from = byteOf(a, shift), to = byteOf(b, shift);
        result |= saturated(from + (to - from) * multiplier / divisor) << shift;
    }
    return result;
}

uint32_t ColorPonderate(uint32_t color, int32_t multiplier, int32_t divisor)
{
    if (divisor == 0)
        return color;
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8)
        result |= saturated(byteOf(color, shift) * multiplier / divisor) << shift;
    return result;
}
