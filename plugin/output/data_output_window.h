// DataOutputWindow: the engine side of the "Data Output" window: the four output channels (line store and
// log file each), the character statistics, the colours, the redraws the window side owes and the listener
// that sees every character. Windows show it; the command-line decoder reads it through the listener.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <utility>

#include "output/channels.h"
#include "output/character_statistics.h"
#include "output/log_file.h"
#include "output/output_text_view.h"

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
using CharacterListener = std::function<void(int32_t channel, uint8_t character, uint32_t colour)>;

// Redraws the window side owes: bumped when a block wrote something.
struct RedrawRequests {
    uint64_t views = 0;
    uint64_t statistics = 0;
};

class DataOutputWindow {
public:
    explicit DataOutputWindow(const DecoderColors &colors = {}) : colors_(colors) {}
    DataOutputWindow(const DataOutputWindow &) = delete;
    DataOutputWindow &operator=(const DataOutputWindow &) = delete;

    OutputTextView &View(int32_t channel) { return views_[size_t(channel)]; }
    LogFile &Log(int32_t channel) { return logs_[size_t(channel)]; }
    CharacterStatistics &Statistics() { return statistics_; }
    const CharacterStatistics &Statistics() const { return statistics_; }

    const DecoderColors &Colors() const { return colors_; }
    void SetColors(const DecoderColors &colors) { colors_ = colors; }

    void SetCharacterListener(CharacterListener listener) { listener_ = std::move(listener); }

    // One character to a channel (0..3): view, log, listener.
    void Write(int32_t channel, uint8_t character, uint32_t colour)
    {
        views_[size_t(channel)].Append(character, colour);
        // The log file drops line feeds and writes carriage returns as line ends; a failed write closes it.
        logs_[size_t(channel)].WriteCharacter(character);
        if (listener_)
            listener_(channel, character, colour);
    }

    void RequestViewsRedraw() { ++redraws_.views; }
    void RequestStatisticsRedraw() { ++redraws_.statistics; }
    const RedrawRequests &Redraws() const { return redraws_; }

private:
    std::array<OutputTextView, kChannelCount> views_;
    std::array<LogFile, kChannelCount> logs_;
    CharacterStatistics statistics_;
    DecoderColors colors_;
    RedrawRequests redraws_;
    CharacterListener listener_;
};

} // namespace sirrel
