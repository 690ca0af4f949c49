#include "cis_source.h"

#include "ita2.h"

namespace sirrel::siggen {

uint32_t CisSource::Frame(uint8_t code)
{
    const auto bit = [code](int i) { return static_cast<uint32_t>((code >> i) & 1); };
    // Each check bit closes one check: b10 with b0 b2 b3 b5 b6; b9 with b0 b1 b3 b6; b8 with b0 b2 b4;
    // b7 with b1 b3 b4 b5 (b5 = b6 = 0).
    const uint32_t b7 = bit(1) ^ bit(3) ^ bit(4);
    const uint32_t b8 = bit(0) ^ bit(2) ^ bit(4);
    const uint32_t b9 = bit(0) ^ bit(1) ^ bit(3);
    const uint32_t b10 = bit(0) ^ bit(2) ^ bit(3);
    return (code & 31u) | b7 << 7 | b8 << 8 | b9 << 9 | b10 << 10;
}

size_t CisSource::Encode(std::string_view text, Keying &keying) const
{
    const Ita2Codes ita2 = EncodeIta2(text);
    for (int i = 0; i < kPhasingFrames; ++i)
        keying.AppendBitsLsbFirst(Frame(kIta2LettersShift), 11);
    for (const uint8_t code : ita2.codes)
        keying.AppendBitsLsbFirst(Frame(code), 11);
    for (int i = 0; i < kTrailingFrames; ++i)
        keying.AppendBitsLsbFirst(Frame(kIta2LettersShift), 11);
    return ita2.dropped;
}

} // namespace sirrel::siggen
