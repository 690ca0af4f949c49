#include "seven_bit.h"

#include <bit>

#include "decoders/character_sets.h"
#include "ita2.h"

namespace sirrel::siggen {

SevenBitService ServiceCodes(SevenBitSet set)
{
    switch (set) {
    case SevenBitSet::kCcir476:
        return {0x19, 0x4C, 0x70}; // RQ, beta, alpha
    case SevenBitSet::kIta3:
        return {0x16, 0x4A, 0x1A};
    case SevenBitSet::kIta2P:
        break;
    }
    return {0x07, 0x49, 0x31};
}

const char *SevenBitSetName(SevenBitSet set)
{
    switch (set) {
    case SevenBitSet::kCcir476:
        return "CCIR476-5";
    case SevenBitSet::kIta3:
        return "ITA3";
    case SevenBitSet::kIta2P:
        break;
    }
    return "ITA2-P";
}

namespace {

uint8_t SevenBitOf(uint8_t ita2, SevenBitSet set)
{
    switch (set) {
    case SevenBitSet::kCcir476:
        return kCcir476Table[ita2 & 31];
    case SevenBitSet::kIta3:
        return kIta3Table[ita2 & 31];
    case SevenBitSet::kIta2P:
        break;
    }
    const unsigned data = unsigned(ita2 & 31) << 1;
    return uint8_t(data | (std::popcount(data) % 2 == 0 ? 0x40u : 0u));
}

} // namespace

SevenBitCodes EncodeSevenBit(std::string_view text, SevenBitSet set)
{
    const Ita2Codes ita2 = EncodeIta2(text);
    SevenBitCodes out;
    out.dropped = ita2.dropped;
    out.codes.reserve(ita2.codes.size());
    for (const uint8_t code : ita2.codes)
        out.codes.push_back(SevenBitOf(code, set));
    return out;
}

uint8_t LettersShiftCode(SevenBitSet set) { return SevenBitOf(kIta2LettersShift, set); }

void AppendRunIn(Keying &keying)
{
    constexpr int kPeriods = 16;
    for (int i = 0; i < kPeriods; ++i) {
        keying.Append(0, 3.0);
        keying.Append(1, 1.0);
    }
    keying.Append(0, 7.0);
}

bool RestartsInversion(SevenBitSet set, uint8_t code)
{
    return (set == SevenBitSet::kCcir476 && (code == 0x19 || code == 0x70)) ||
           (set == SevenBitSet::kIta2P && code == 0x31);
}

uint8_t PeriodicInversion::Next(uint8_t code)
{
    if (rate_ <= 0)
        return code;
    if (RestartsInversion(set_, code))
        counter_ = 0;
    if (++counter_ < rate_)
        return code;
    counter_ = 0;
    return uint8_t(code ^ 0x7F);
}

} // namespace sirrel::siggen
