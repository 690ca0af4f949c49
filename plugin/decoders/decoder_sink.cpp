#include "decoders/decoder_sink.h"

#include <algorithm>

#include "decoders/character_sets.h"

namespace sirrel {

DecoderSink::DecoderSink(SettingsModel &settings, DataOutputWindow &output)
    : settings_(settings), output_(output), mode_(settings.mode)
{
    output_.Statistics().SetSize(StatisticsSize(mode_));
}

void DecoderSink::BeginBlock(int32_t mode)
{
    mode_ = mode;
    outputProduced_ = false;
    output_.Statistics().SetSize(StatisticsSize(mode));
}

void DecoderSink::Reset()
{
    settings_.numbers.fill(false);
    output_.Statistics().Reset();
    suppress_.fill(0);
}

void DecoderSink::Take(const DecodedCode &code)
{
    const int32_t mode = mode_;
    const int32_t channel = code.channel >= 0 && code.channel < kChannelCount ? code.channel : 0;
    if (suppress_[channel] > 0) {
        --suppress_[channel];
        return;
    }

    const CodeDecoding decoded = DecodeCode(mode, charset_, code.code, settings_.numbers[channel]);
    if (decoded.dropped)
        return;
    if (decoded.repetitionRequest)
        suppress_[channel] = std::max(repetitionSkip_, 1) - 1;

    // Packet text outside the information field is annotation: neither counted nor translated.
    const bool userText = mode != kModePacket || code.field == FieldClass::kInformation;
    if (userText)
        output_.Statistics().Count(StatisticsEntry(mode, decoded.value));

    if (!IsShownCode(mode, decoded.value))
        return;
    uint8_t c = UsesIta2Table(mode) ? Ita2Character(decoded.value) : decoded.value;
    if (userText)
        c = settings_.translation[c];
    if (InterpretsShifts(mode)) {
        if (c == kIta2FiguresShift) {
            settings_.numbers[channel] = true;
            return;
        }
        if (c == kIta2LettersShift) {
            settings_.numbers[channel] = false;
            return;
        }
        if (c == 0)
            return;
    }
    outputProduced_ = true;
    output_.Write(channel, c, code.field == FieldClass::kText ? output_.Colors().text : Colour(code));
    // Many senders leave figures without a letters shift after a space, and in noise one false figures
    // shift would otherwise turn the rest of the line into figures.
    if (settings_.unshiftOnSpace && InterpretsShifts(mode) && (decoded.value & (kFiguresCase - 1)) == kIta2Space)
        settings_.numbers[channel] = false;
}

uint32_t DecoderSink::Colour(const DecodedCode &code) const
{
    const DecoderColors &colors = output_.Colors();
    switch (code.field) {
    case FieldClass::kAddress:
        return code.checkGood ? colors.l2CrcOk : colors.l2CrcFailed;
    case FieldClass::kFrameType:
        return colors.l2FrameType;
    case FieldClass::kPid:
        return colors.l2FramePid;
    case FieldClass::kLayer3Header:
        return colors.l3Header;
    case FieldClass::kLayer4Header:
        return colors.l4Header;
    case FieldClass::kInformation:
        return colors.info;
    case FieldClass::kText:
    case FieldClass::kCrcError:
        break;
    }
    return colors.text;
}

std::string DecoderSink::StatisticsLabel(uint32_t entry) const
{
    return output_.Statistics().Label(entry, DisplayText(mode_, entry, settings_.translation));
}

} // namespace sirrel
