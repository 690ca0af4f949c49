#include "protocols/decoder_params.h"

#include <algorithm>

#include "protocols/little_endian.h"

namespace sirrel {

namespace {

// Numeric editors hold doubles; the block takes them truncated toward zero.
int32_t Truncated(double value) { return int32_t(value); }

} // namespace

void DecoderParams::Store(uint8_t *out) const
{
    le::PutI32(out, mode);
    le::PutDouble(out + 4, samplesPerBit);
    le::PutI32(out + 12, polarity);
    le::PutI32(out + 16, inversionMask);
    for (size_t i = 0; i < words_.size(); ++i)
        le::PutI32(out + 20 + 4 * i, words_[i]);
}

DecoderParams DecoderParams::Load(const uint8_t *in)
{
    DecoderParams params;
    params.mode = le::GetI32(in);
    params.samplesPerBit = le::GetDouble(in + 4);
    params.polarity = le::GetI32(in + 12);
    params.inversionMask = le::GetI32(in + 16);
    for (size_t i = 0; i < params.words_.size(); ++i)
        params.words_[i] = le::GetI32(in + 20 + 4 * i);
    return params;
}

void FillDecoderParams(const SettingsModel &s, DecoderParams &p)
{
    p.mode = s.mode;
    p.polarity = s.polarity;
    p.inversionMask = s.inversionMask & 0xFF;
    p.options = {s.unshiftOnSpace, s.fecCorrection, s.arqCorrection};
    switch (s.mode) {
    case kModeIta2:
    case kModeIra:
    case kModeAscii8:
        p.SetAsync({(s.parityIndex == 0 || s.parityIndex == 1) ? s.parityIndex : 2});
        break;
    case kModeArq:
        p.SetArq({Truncated(s.arqCycleLength), Truncated(s.arqCharsInCycle), Truncated(s.arqInvertingRate),
                  Truncated(s.arqRepetitionCycle), s.arqCharsetIndex});
        break;
    case kModePacket:
        p.SetPacket({s.packetCrcIgnore ? 1 : 0});
        break;
    case kModeFec:
        p.SetFec({Truncated(s.fecCharsInCycle), Truncated(s.fecInvertingRate), s.fecCharsetIndex});
        break;
    case kModeCis: {
        const bool listed = s.cisFrameSizeIndex >= 0 && s.cisFrameSizeIndex < int32_t(kCisFrameSizes.size());
        p.SetCis({listed ? kCisFrameSizes[size_t(s.cisFrameSizeIndex)] : 0, Truncated(s.cisMinSyncFrames),
                  Truncated(s.cisMaxErrors)});
        break;
    }
    case kModeArqm:
        p.SetArqm({1 << (s.arqmChannelsIndex & 3), Truncated(s.arqmRepetitionCycle), s.arqmVersionIndex});
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
    switch (p.mode) {
    case kModeIta2:
    case kModeIra:
    case kModeAscii8: {
        const int32_t parity = p.Async().parity;
        s.parityIndex = (parity == 0 || parity == 1) ? parity : 2;
        break;
    }
    case kModeArq: {
        const ArqParams arq = p.Arq();
        s.arqCycleLength = arq.cycleLength;
        s.arqCharsInCycle = arq.charsInCycle;
        s.arqInvertingRate = arq.invertingRate;
        s.arqRepetitionCycle = arq.repetitionCycle;
        s.arqCharsetIndex = arq.charset;
        break;
    }
    case kModePacket:
        s.packetCrcIgnore = p.Packet().crcIgnore != 0;
        break;
    case kModeFec: {
        const FecParams fec = p.Fec();
        s.fecCharsInCycle = fec.charsInCycle;
        s.fecInvertingRate = fec.invertingRate;
        s.fecCharsetIndex = fec.charset;
        break;
    }
    case kModeCis: {
        const CisParams cis = p.Cis();
        const auto size = std::find(kCisFrameSizes.begin(), kCisFrameSizes.end(), cis.frameSize);
        s.cisFrameSizeIndex = size == kCisFrameSizes.end() ? 0 : int32_t(size - kCisFrameSizes.begin());
        s.cisMinSyncFrames = cis.minSyncFrames;
        s.cisMaxErrors = cis.maxErrors;
        break;
    }
    case kModeArqm: {
        const ArqmParams arqm = p.Arqm();
        s.arqmVersionIndex = arqm.version;
        s.arqmChannelsIndex = std::clamp(arqm.channels / 2, 0, 2);
        s.arqmRepetitionCycle = arqm.repetitionCycle;
        break;
    }
    default:
        break;
    }
}

} // namespace sirrel
