// Small helpers shared by the further signal-processing families (gain control, delay line, LMS, detectors,
// demodulators): object allocation, saturating conversions and the grow-only storage block.
#ifndef ORURT_OTHERDSP_INTERNAL_H
#define ORURT_OTHERDSP_INTERNAL_H

#include <cmath>
#include <cstdint>

#include "orurt.h"

namespace otherdsp {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;

// Caller storage, or a fresh block (null when memory is short).
template <typename T> T *objectStorage(T *storage)
{
    return storage != nullptr ? storage : static_cast<T *>(MemoryAlloc(sizeof(T)));
}

// Round to nearest (ties to even) and clamp to [low, high]; NaN becomes 0.
inline double roundClamp(double value, double low, double high)
{
    if (!(value == value))
        return 0.0;
    value = std::nearbyint(value);
    return value < low ? low : value > high ? high : value;
}

inline int16_t roundToInt16(double value) { return int16_t(roundClamp(value, -32768.0, 32767.0)); }

inline int32_t roundToInt32(double value) { return int32_t(roundClamp(value, -2147483648.0, 2147483647.0)); }

inline int16_t saturate16(int64_t value)
{
    return int16_t(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

inline int32_t saturate32(int64_t value)
{
    return int32_t(value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : value);
}

// Samples a strided call takes: count / step, none for a non-positive count or step.
inline int32_t stridedCount(int32_t count, int32_t step) { return count > 0 && step > 0 ? count / step : 0; }

// Bytes of an area of `samples` samples, rounded up so that the next area starts on a 64-byte boundary.
inline uint64_t alignedArea(uint64_t samples, uint32_t sampleSize) { return (samples * sampleSize + 63) & ~63ull; }

// Makes `storage` hold at least `bytes` (it only grows). On failure, or for a size the allocator cannot take,
// the old block stays and false is returned.
inline bool reserveStorage(void *&storage, uint32_t &storageSize, uint64_t bytes)
{
    if (bytes <= storageSize && storage != nullptr)
        return true;
    if (bytes > 0x7FFFFFFFull)
        return false;
    void *block = MemoryAlloc(uint32_t(bytes));
    if (block == nullptr)
        return false;
    MemoryFree(storage);
    storage = block;
    storageSize = uint32_t(bytes);
    return true;
}

} // namespace otherdsp

#endif
