// DecoderSink: where every decoded code becomes a character on a channel. It drops the characters that
// repeat a request for repetition, decodes the code for the mode and character set, follows the channel's
// letters/figures state (with "unshift on space", a space returns it to letters), applies the translation
// table, counts statistics and hands the character with its colour to the data output.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "decoders/decoder.h"
#include "output/data_output_window.h"
#include "protocols/settings_model.h"

namespace sirrel {

class DecoderSink {
public:
    // The shift states and the translation table are read from (and the shift states written to) settings.
    DecoderSink(SettingsModel &settings, DataOutputWindow &output);
    DecoderSink(const DecoderSink &) = delete;
    DecoderSink &operator=(const DecoderSink &) = delete;

    // Start of a dispatched block in `mode`: sizes the statistics and forgets earlier output.
    void BeginBlock(int32_t mode);
    // Characters dropped after a repetition request, plus one.
    void SetRepetitionSkip(int32_t skip) { repetitionSkip_ = skip; }
    void SetCharset(int32_t charset) { charset_ = charset; }

    void Take(const DecodedCode &code);

    // "Reset" of the decoder window: every channel back to "Letters", statistics cleared, no pending drops.
    void Reset();

    // Whether a character was written since the block began.
    bool OutputProduced() const { return outputProduced_; }
    int32_t RepetitionSkip() const { return repetitionSkip_; }
    int32_t Charset() const { return charset_; }
    // The colour a code is shown in.
    uint32_t Colour(const DecodedCode &code) const;
    // "<display text> - 0x<entry> - <count>" for a statistics entry of the current mode.
    std::string StatisticsLabel(uint32_t entry) const;

private:
    SettingsModel &settings_;
    DataOutputWindow &output_;
    int32_t mode_;
    int32_t repetitionSkip_ = 0;
    int32_t charset_ = 0;
    std::array<int32_t, kChannelCount> suppress_{};
    bool outputProduced_ = false;
};

} // namespace sirrel
