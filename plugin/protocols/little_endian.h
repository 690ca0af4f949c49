// Stored records are little-endian and packed, whatever the host: fields are read and written byte by byte at
// their offsets, never by copying a C++ structure.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace sirrel::le {

inline void PutU32(uint8_t *out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[i] = uint8_t(v >> (8 * i));
}

inline uint32_t GetU32(const uint8_t *in)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(in[i]) << (8 * i);
    return v;
}

inline void PutI32(uint8_t *out, int32_t v) { PutU32(out, uint32_t(v)); }
inline int32_t GetI32(const uint8_t *in) { return int32_t(GetU32(in)); }

inline void PutDouble(uint8_t *out, double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    for (int i = 0; i < 8; ++i)
        out[i] = uint8_t(bits >> (8 * i));
}

inline double GetDouble(const uint8_t *in)
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= uint64_t(in[i]) << (8 * i);
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

// A text slot: cut to size − 1 so the terminator always fits (the slot is expected zeroed).
inline void PutText(uint8_t *slot, size_t size, const std::string &text)
{
    std::memcpy(slot, text.data(), std::min(text.size(), size - 1));
}

// Bounded by the slot even when the terminator is missing.
inline std::string GetText(const uint8_t *slot, size_t size)
{
    const uint8_t *end = std::find(slot, slot + size, uint8_t(0));
    return std::string(reinterpret_cast<const char *>(slot), size_t(end - slot));
}

} // namespace sirrel::le
