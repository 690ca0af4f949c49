#include "decoders/dispatch.h"

#include <limits>

namespace sirrel {

namespace {

// Whole samples per bit for the start/stop decoder, rounded half up; nonsense gives 0, which decodes nothing.
int32_t RoundedSamplesPerBit(double samplesPerBit)
{
    const double rounded = samplesPerBit + 0.5;
    if (!(rounded >= 1.0))
        return 0;
    if (rounded >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return int32_t(rounded);
}

int32_t DataBitsOf(int32_t mode) { return mode == kModeIta2 ? 5 : mode == kModeIra ? 7 : 8; }

// The synchronous decoders know three character sets and three polarity modes; anything else is the last.
int32_t SyncCharset(int32_t index) { return index == 0 || index == 1 ? index : SyncArqDecoder::kIta2P; }
int32_t SyncPolarity(int32_t polarity)
{
    return polarity == 0 || polarity == 1 ? polarity : SyncArqDecoder::kPolarityReversed;
}

// Mode-wide values the sink reads, then the decoder's own configuration.
void Configure(DataOutputWindow &window, const DecoderParams &params)
{
    const auto &w = params.words;
    switch (params.mode) {
    case kModeArq: {
        window.repetitionSkip = w[3];
        window.charsetIndex = w[4];
        SyncArqDecoder &arq = window.syncArqDecoder();
        arq.setCharset(SyncCharset(w[4]));
        arq.setInversionMask(params.inversionMask);
        arq.setCharsInCycle(w[1]);
        arq.setCycleLength(w[0]);
        arq.setInvertingRate(w[2]);
        arq.setPolarityMode(SyncPolarity(params.polarity));
        break;
    }
    case kModeFec: {
        window.repetitionSkip = 1;
        window.charsetIndex = w[2];
        FecDecoder &fec = window.fecDecoder();
        fec.setCharset(SyncCharset(w[2]));
        fec.setInversionMask(params.inversionMask);
        fec.setCharsInCycle(w[0]);
        fec.setInvertingRate(w[1]);
        fec.setPolarityMode(SyncPolarity(params.polarity));
        break;
    }
    case kModePacket:
        window.hdlcDeframer().crcIgnore = w[0];
        break;
    case kModeArqm:
        window.repetitionSkip = w[1] > std::numeric_limits<int32_t>::min() ? w[1] - 1 : w[1];
        window.arqmDecoder().setVersion(w[2]);
        window.arqmDecoder().setChannels(w[0]);
        window.arqmDecoder().setRepetitionCycle(w[1]);
        break;
    case kModeCis:
        window.cisDecoder().setFrameSize(w[0]);
        window.cisDecoder().setMaxErrors(w[2]);
        window.cisDecoder().setMinSyncFrames(w[1]);
        break;
    default:
        break;
    }
}

// One decided bit to the decoder of the mode; modes without a bit decoder take nothing.
void FeedBit(DataOutputWindow &window, int32_t mode, int16_t level)
{
    switch (mode) {
    case kModeArq:
        window.syncArqDecoder().putBit(int8_t(level));
        break;
    case kModeFec:
        window.fecDecoder().putBit(int8_t(level));
        break;
    case kModeRawBits:
        DecoderSink(&window, &window, int8_t('0' + level));
        break;
    case kModePacket:
        window.hdlcDeframer().pushLevel(level);
        break;
    case kModeCis:
        window.cisDecoder().putBit(level);
        break;
    case kModeArqm:
        window.arqmDecoder().putBit(level);
        break;
    default:
        break;
    }
}

// Decides a bit half a bit after each expected bit start and pulls the expected start a tenth of the way
// toward every transition. The phase stays relative to the next block.
void RunBitClock(DataOutputWindow &window, const int16_t *levels, int32_t count, const DecoderParams &params)
{
    const double s = params.samplesPerBit;
    double p = window.bitPhase;
    for (int32_t i = 0; i < count; ++i) {
        if (p + s / 2 <= i) {
            FeedBit(window, params.mode, levels[i]);
            p += s;
        }
        if (levels[i] != window.lastLevel) {
            window.lastLevel = levels[i];
            // Transitions in the ARQ gap belong to the other station and must not move the clock.
            if (params.mode != kModeArq || window.syncArqDecoder().gapCount() == 0)
                p += (i - p) * 0.1;
        }
    }
    window.bitPhase = p - count;
}

} // namespace

void DispatchBits(DataOutputWindow &window, const int16_t *levels, int32_t count, const DecoderParams &params)
{
    if (window.settings().paused)
        return;
    if (!levels || count < 0)
        count = 0;

    window.outputProduced = false;
    window.currentMode = params.mode;
    window.statistics().setMode(params.mode);

    switch (params.mode) {
    case kModeIta2:
    case kModeIra:
    case kModeAscii8: {
        AsyncDecoder &decoder = window.asyncDecoder();
        decoder.setDataBits(DataBitsOf(params.mode));
        decoder.setSamplesPerBit(RoundedSamplesPerBit(params.samplesPerBit));
        decoder.setInversionMask(params.inversionMask);
        decoder.setParity(params.words[0]);
        decoder.putLevels(levels, count);
        break;
    }
    default:
        Configure(window, params);
        RunBitClock(window, levels, count, params);
        break;
    }

    if (window.outputProduced) {
        if (params.mode != kModePacket)
            ++window.redraws.views;
        ++window.redraws.statistics;
    }
}

void FinishBits(DataOutputWindow &window)
{
    const int32_t mode = window.currentMode;
    if (window.settings().paused || (mode != kModeIta2 && mode != kModeIra && mode != kModeAscii8))
        return;
    window.asyncDecoder().finish();
}

} // namespace sirrel
