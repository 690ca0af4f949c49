// ArqmSource: ARQ-M time-division multiplex with one, two or four channels of 7-bit ITA3 characters.
//
// Every group of 7·K bits carries one character of each channel: with two channels A then B; with four, A and
// C interleaved bit by bit in the first half, B and D in the second. Each channel marks its repetition cycle
// of r characters by which characters it sends inverted ("342": A inverts the first of its cycle, B sends all
// but the second inverted, C all but the first, D only the first; "242": A upright, the others inverted).
// Idle channels send fill (idle signals and shifts, never shown). The transmission opens with a bit pattern
// for the receiver's clock, then two cycles of fill in which the receiver finds the cycles.
#pragma once

#include <string>
#include <vector>

#include "bit_source.h"

namespace sirrel::siggen {

class ArqmSource : public BitSource {
public:
    enum class Version { kV242, kV342 };

    static constexpr int kSettlingPatterns = 14; // 7-bit patterns (six ones, one zero) before the first cycle
    static constexpr int kPhasingCycles = 2;     // fill cycles before the text, one after

    // channels is 1, 2 or 4; cycle 1..255. Channel A sends the text given to Encode, channels B, C, D the
    // texts given here in order (missing ones idle).
    ArqmSource(int channels, int cycle, Version version, std::vector<std::string> otherChannels);

    size_t Encode(std::string_view text, Keying &keying) const override;
    int IdleLevel() const override { return 1; }
    const char *CharacterSetName() const override { return "ITA3"; }

    // Whether character g of a cycle of the channel is sent inverted.
    bool SentInverted(int channel, int group) const;

private:
    int channels_;
    int cycle_;
    Version version_;
    std::vector<std::string> otherChannels_;
};

} // namespace sirrel::siggen
