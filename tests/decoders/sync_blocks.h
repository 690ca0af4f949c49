// Bit streams of 7-bit codes for the synchronous decoders, and a sink that records what they deliver.
#pragma once

#include <cstdint>
#include <vector>

#include "decoders/sync_arq_decoder.h"
#include "feed_bits.h"

namespace sirrel::testing {

using Bits = std::vector<int8_t>;

// Each code's seven bits, first sent as bit 0.
inline Bits CodeBits(const std::vector<int> &codes)
{
    Bits bits;
    for (const int code : codes)
        for (int k = 0; k < 7; ++k)
            bits.push_back(int8_t((code >> k) & 1));
    return bits;
}

inline Bits Concat(std::initializer_list<Bits> parts)
{
    Bits all;
    for (const Bits &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline Bits Inverted(Bits bits)
{
    for (int8_t &bit : bits)
        bit = int8_t(1 - bit);
    return bits;
}

inline int Flip(int code) { return code ^ 0x7F; }

struct CodeRecorder {
    std::vector<int> codes;

    void attach(SyncArqDecoder &decoder)
    {
        decoder.SetSink([this](const DecodedCode &code) { codes.push_back(code.code); });
    }
};

inline void Feed(SyncArqDecoder &decoder, const Bits &bits)
{
    for (const int8_t bit : bits)
        FeedBit(decoder, bit);
}

// Line levels for the dispatcher: each bit held for a whole number of samples.
inline std::vector<int16_t> Levels(const Bits &bits, int samplesPerBit)
{
    std::vector<int16_t> levels;
    for (const int8_t bit : bits)
        levels.insert(levels.end(), size_t(samplesPerBit), int16_t(bit));
    return levels;
}

// Some CCIR476-5 codes (three one-bits of seven): letters of ITA2 and the service codes.
constexpr int kE = 0x29, kA = 0x38, kS = 0x34, kI = 0x32, kU = 0x31, kD = 0x2C, kR = 0x2A, kN = 0x26;
constexpr int kT = 0x0B, kO = 0x0E, kY = 0x54, kW = 0x58, kB = 0x0D;
constexpr int kRq = 0x19, kAlpha = 0x70, kBeta = 0x4C;

} // namespace sirrel::testing
