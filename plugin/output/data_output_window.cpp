#include "output/data_output_window.h"

#include <algorithm>

#include "decoders/character_sets.h"

namespace sirrel {

DataOutputWindow::DataOutputWindow(SettingsModel &settings, const DecoderColors &initialColors)
    : currentMode(settings.mode), colors(initialColors), settings_(settings), statistics_(settings.mode)
{
    async_.setSink(DecoderSink, this);
    arqm_.setSink(WideDecoderSink, this);
    cis_.setSink(WideDecoderSink, this);
    syncArq_.setSink(DecoderSink, this);
    fec_.setSink(DecoderSink, this);
    hdlc_.sink = PacketTextSink;
    hdlc_.sinkContext = this;
}

void DataOutputWindow::reset()
{
    settings_.numbers.fill(false);
    statistics_.reset();
}

void DataOutputWindow::sink(const void *source, int8_t code)
{
    const int32_t mode = currentMode;
    // Only ARQ-M spreads its characters over several channels.
    const int32_t channel = mode == kModeArqm ? arqm_.currentChannel() : 0;
    if (suppress[channel] > 0) {
        --suppress[channel];
        return;
    }

    const DecodedCode decoded = DecodeCode(mode, charsetIndex, uint8_t(code), settings_.numbers[channel]);
    if (decoded.dropped)
        return;
    if (decoded.repetitionRequest)
        suppress[channel] = std::max(repetitionSkip, 1) - 1;

    // Packet text outside the information field is annotation: neither counted nor translated.
    const HdlcDeframer *packet = source == &hdlc_ ? &hdlc_ : nullptr;
    const bool userText = mode != kModePacket || (packet && packet->fieldClass == kFieldInformation);
    if (userText)
        statistics_.count(StatisticsEntry(mode, decoded.value));

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
    write(channel, packet, c);
}

void DataOutputWindow::write(int32_t channel, const HdlcDeframer *packet, uint8_t character)
{
    const uint32_t colour = packet ? packetColour(*packet) : colors.text;
    outputProduced = true;
    views_[channel].append(character, colour);
    // The log file drops line feeds and writes carriage returns as line ends; a failed write closes it.
    logs_[channel].WriteCharacter(character);
    if (listener_)
        listener_(listenerContext_, channel, character, colour);
}

uint32_t DataOutputWindow::packetColour(const HdlcDeframer &packet) const
{
    switch (packet.fieldClass) {
    case 1:
        return packet.crcGood == 0 ? colors.l2CrcFailed : colors.l2CrcOk;
    case 2:
        return colors.l2FrameType;
    case 4:
        return colors.l2FramePid;
    case 5:
        return colors.l3Header;
    case 6:
        return colors.l4Header;
    case kFieldInformation:
        return colors.info;
    default:
        return colors.text;
    }
}

void DecoderSink(void *context, const void *source, int8_t code)
{
    static_cast<DataOutputWindow *>(context)->sink(source, code);
}

void WideDecoderSink(void *context, const void *source, int32_t code) { DecoderSink(context, source, int8_t(code)); }

void PacketTextSink(void *context, const void *deframer, const char *text)
{
    if (!text)
        return;
    for (; *text; ++text)
        DecoderSink(context, deframer, int8_t(*text));
}

} // namespace sirrel
