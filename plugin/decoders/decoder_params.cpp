#include "decoders/decoder_params.h"

#include <algorithm>
#include <cstring>

#include "protocols/little_endian.h"

namespace sirrel {

namespace {

// Numeric editors hold doubles; the block takes them truncated toward zero.
int32_t truncated(double value) { return int32_t(value); }

constexpr int32_t kCisFrameSizes[] = {11, 14, 27, 28};

} // namespace

void DecoderParams::store(uint8_t *out) const
{
    le::PutI32(out, mode);
    le::PutDouble(out + 4, samplesPerBit);
    le::PutI32(out + 12, polarity);
    le::PutI32(out + 16, inversionMask);
    for (size_t i = 0; i < words.size(); ++i)
        le::PutI32(out + 20 + 4 * i, words[i]);
}

DecoderParams DecoderParams::load(const uint8_t *in)
{
    DecoderParams params;
    params.mode = le::GetI32(in);
    params.samplesPerBit = le::GetDouble(in + 4);
    params.polarity = le::GetI32(in + 12);
    params.inversionMask = le::GetI32(in + 16);
    for (size_t i = 0; i < params.words.size(); ++i)
        params.words[i] = le::GetI32(in + 20 + 4 * i);
    return params;
}

void FillDecoderParams(const SettingsModel &s, DecoderParams &p)
{
    p.mode = s.mode;
    p.polarity = s.polarity;
    p.inversionMask = s.inversionMask & 0xFF;
    auto &w = p.words;
    switch (s.mode) {
    case kModeIta2:
    case kModeIra:
    case kModeAscii8:
        w[0] = (s.parityIndex == 0 || s.parityIndex == 1) ? s.parityIndex : 2;
        break;
    case kModeArq:
        w[0] = truncated(s.arqCycleLength);
        w[1] = truncated(s.arqCharsInCycle);
        w[2] = truncated(s.arqInvertingRate);
        w[3] = truncated(s.arqRepetitionCycle);
        w[4] = s.arqCharsetIndex;
        break;
    case kModePacket:
        w[0] = s.packetCrcIgnore ? 1 : 0;
        break;
    case kModeFec:
        w[0] = truncated(s.fecCharsInCycle);
        w[1] = truncated(s.fecInvertingRate);
        w[2] = s.fecCharsetIndex;
        break;
    case kModeCis:
        w[0] = (s.cisFrameSizeIndex >= 0 && s.cisFrameSizeIndex < 4) ? kCisFrameSizes[s.cisFrameSizeIndex] : 0;
        w[1] = truncated(s.cisMinSyncFrames);
        w[2] = truncated(s.cisMaxErrors);
        break;
    case kModeArqm:
        w[0] = 1 << (s.arqmChannelsIndex & 3);
        w[1] = truncated(s.arqmRepetitionCycle);
        w[2] = s.arqmVersionIndex;
        break;
    default:
        break;
    }
}

void ApplyDecoderParams(SettingsModel &s, const DecoderParams &p)
{
    // The mode list holds modes 0..8 only; another number selects nothing and the current mode stays.
    if (p.mode >= 0 && p.mode <= kModeAscii8)
        s.mode = p.mode;
    s.polarity = p.polarity;
    s.inversionMask = p.inversionMask & 0xFF;
    const auto &w = p.words;
    switch (p.mode) {
    case kModeIta2:
    case kModeIra:
    case kModeAscii8:
        s.parityIndex = (w[0] == 0 || w[0] == 1) ? w[0] : 2;
        break;
    case kModeArq:
        s.arqCycleLength = w[0];
        s.arqCharsInCycle = w[1];
        s.arqInvertingRate = w[2];
        s.arqRepetitionCycle = w[3];
        s.arqCharsetIndex = w[4];
        break;
    case kModePacket:
        s.packetCrcIgnore = w[0] != 0;
        break;
    case kModeFec:
        s.fecCharsInCycle = w[0];
        s.fecInvertingRate = w[1];
        s.fecCharsetIndex = w[2];
        break;
    case kModeCis:
        s.cisFrameSizeIndex = 0;
        for (int i = 0; i < 4; ++i) {
            if (w[0] == kCisFrameSizes[i])
                s.cisFrameSizeIndex = i;
        }
        s.cisMinSyncFrames = w[1];
        s.cisMaxErrors = w[2];
        break;
    case kModeArqm:
        s.arqmVersionIndex = w[2];
        s.arqmChannelsIndex = std::clamp(w[0] / 2, 0, 2);
        s.arqmRepetitionCycle = w[1];
        break;
    default:
        break;
    }
}

} // namespace sirrel
