// PacketSource: AX.25 packet radio. Every line of the text describes one frame (see ax25_frame.h; blank lines
// and lines starting with "#" are skipped). The frames go out in HDLC framing: a preamble of flags, each
// frame with its check sequence and zero stuffing, flags between frames and after the last, all NRZI coded
// (a 0 bit changes the level).
#pragma once

#include <string>

#include "bit_source.h"

namespace sirrel::siggen {

class PacketSource : public BitSource {
public:
    static constexpr int kPreambleFlags = 16;
    static constexpr int kFlagsBetweenFrames = 4;

    // Returns how many lines describe no frame; they are left out.
    size_t Encode(std::string_view text, Keying &keying) const override;
    int IdleLevel() const override { return 1; }
    const char *CharacterSetName() const override { return "the AX.25 frame description"; }
};

// Why the first line that describes no frame fails ("line N: ..."); empty when every line is a frame.
std::string PacketDescriptionProblem(std::string_view text);

} // namespace sirrel::siggen
