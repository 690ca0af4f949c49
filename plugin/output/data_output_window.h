// DataOutputWindow: the engine side of the "Data Output" window. It owns the decoders, the dispatcher's
// state, the four output channels (line store and log file each) and the character statistics, and it is
// the receiver of DecoderSink, through which every decoded code becomes a character on a channel. Windows
// show it; the command-line decoder reads it through the character listener.
#pragma once

#include <array>
#include <cstdint>

#include "decoders/arqm_decoder.h"
#include "decoders/async_decoder.h"
#include "decoders/cis_decoder.h"
#include "decoders/code_sink.h"
#include "decoders/fec_decoder.h"
#include "decoders/hdlc_deframer.h"
#include "decoders/sync_arq_decoder.h"
#include "output/character_statistics.h"
#include "output/log_file.h"
#include "output/output_text_view.h"
#include "protocols/settings_model.h"

namespace sirrel {

// The "Decoder Colors", 0x00BBGGRR, with the defaults of a new configuration.
struct DecoderColors {
    uint32_t background = 0x000000;
    uint32_t text = 0xFFFFFF;
    uint32_t l2CrcOk = 0x00FF00;
    uint32_t l2CrcFailed = 0x0000FF;
    uint32_t l2FrameType = 0x00FFFF;
    uint32_t l2FramePid = 0x00FF00;
    uint32_t l3Header = 0xFFFF00;
    uint32_t l4Header = 0xFFFF00;
    uint32_t info = 0xFFFFFF;
};

// Called for every character that reaches a channel, after the view and the log have taken it.
using CharacterListener = void (*)(void *context, int32_t channel, uint8_t character, uint32_t colour);

class DataOutputWindow {
public:
    explicit DataOutputWindow(SettingsModel &settings, const DecoderColors &colors = {});
    DataOutputWindow(const DataOutputWindow &) = delete;
    DataOutputWindow &operator=(const DataOutputWindow &) = delete;

    SettingsModel &settings() { return settings_; }

    // Dispatcher state (one set per instance), read and written by DispatchBits and the sink.
    int32_t currentMode;
    double bitPhase = 0.0;   // start of the next bit, in samples from the start of the next block
    int32_t lastLevel = 0;
    bool outputProduced = false;
    int32_t repetitionSkip = 0; // characters dropped after a repetition request, plus one
    int32_t charsetIndex = 0;
    std::array<int32_t, kChannelCount> suppress{};

    // Redraws the window side owes: bumped when a block wrote something.
    struct RedrawRequests {
        uint64_t views = 0;
        uint64_t statistics = 0;
    } redraws;

    AsyncDecoder &asyncDecoder() { return async_; }
    ArqmDecoder &arqmDecoder() { return arqm_; }
    CisDecoder &cisDecoder() { return cis_; }
    SyncArqDecoder &syncArqDecoder() { return syncArq_; }
    FecDecoder &fecDecoder() { return fec_; }
    // The packet decoder; while it delivers a piece of text, its field class and CRC-good flag pick the
    // colour, and only its information field is counted and translated.
    HdlcDeframer &hdlcDeframer() { return hdlc_; }

    OutputTextView &view(int32_t channel) { return views_[channel]; }
    LogFile &log(int32_t channel) { return logs_[channel]; }
    CharacterStatistics &statistics() { return statistics_; }
    DecoderColors colors;

    void setCharacterListener(CharacterListener listener, void *context)
    {
        listener_ = listener;
        listenerContext_ = context;
    }

    // The sink path for one code from `source`.
    void sink(const void *source, int8_t code);

    // "Reset" of the decoder window: every channel back to "Letters", statistics cleared.
    void reset();

private:
    // The final step: colour, view, log, listener.
    void write(int32_t channel, const HdlcDeframer *packet, uint8_t character);
    uint32_t packetColour(const HdlcDeframer &packet) const;

    SettingsModel &settings_;
    AsyncDecoder async_;
    ArqmDecoder arqm_;
    CisDecoder cis_;
    SyncArqDecoder syncArq_;
    FecDecoder fec_;
    HdlcDeframer hdlc_;
    std::array<OutputTextView, kChannelCount> views_;
    std::array<LogFile, kChannelCount> logs_;
    CharacterStatistics statistics_;
    CharacterListener listener_ = nullptr;
    void *listenerContext_ = nullptr;
};

// The decoders' sink: the context is the window, the source the delivering decoder.
void DecoderSink(void *context, const void *source, int8_t code);
// The same for the decoders that deliver int32 codes: narrows the code to 8 bits.
void WideDecoderSink(void *context, const void *source, int32_t code);

// The packet formatter's sink: every character of the NUL-terminated text through DecoderSink, in order.
void PacketTextSink(void *context, const void *deframer, const char *text);

} // namespace sirrel
