#include "packet_source.h"

#include <vector>

#include "ax25_frame.h"

namespace sirrel::siggen {

namespace {

// Calls `each` for every line that should describe a frame, with its number.
template <typename Each> void ForEachFrameLine(std::string_view text, Each each)
{
    size_t number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#')
            continue;
        each(line, number);
    }
}

// HDLC bits to NRZI line levels.
class HdlcLine {
public:
    HdlcLine(Keying &keying, int level) : keying_(keying), level_(level) {}

    void Flags(int count)
    {
        for (int i = 0; i < count; ++i)
            for (int bit = 0; bit < 8; ++bit)
                Send((0x7E >> bit) & 1);
        ones_ = 0;
    }

    // Least significant bit first, a 0 stuffed after every five ones.
    void Bits(unsigned value, int count)
    {
        for (int bit = 0; bit < count; ++bit) {
            const int b = (value >> bit) & 1;
            Send(b);
            ones_ = b ? ones_ + 1 : 0;
            if (ones_ == 5) {
                Send(0);
                ones_ = 0;
            }
        }
    }

private:
    void Send(int bit)
    {
        if (!bit)
            level_ ^= 1;
        keying_.Append(level_, 1.0);
    }

    Keying &keying_;
    int level_;
    int ones_ = 0;
};

} // namespace

size_t PacketSource::Encode(std::string_view text, Keying &keying) const
{
    std::vector<Ax25Frame> frames;
    size_t leftOut = 0;
    ForEachFrameLine(text, [&](std::string_view line, size_t) {
        Ax25Frame frame;
        std::string error;
        if (ParseAx25Frame(line, frame, error))
            frames.push_back(std::move(frame));
        else
            ++leftOut;
    });
    if (frames.empty())
        return leftOut;

    HdlcLine line(keying, IdleLevel());
    line.Flags(kPreambleFlags);
    for (const Ax25Frame &frame : frames) {
        for (uint8_t b : frame.bytes)
            line.Bits(b, 8);
        // Flipping the lowest bit makes a check sequence that is wrong by exactly one bit.
        line.Bits(Ax25Fcs(frame.bytes) ^ (frame.badFcs ? 1u : 0u), 16);
        line.Flags(kFlagsBetweenFrames);
    }
    return leftOut;
}

std::string PacketDescriptionProblem(std::string_view text)
{
    std::string problem;
    ForEachFrameLine(text, [&](std::string_view line, size_t number) {
        Ax25Frame frame;
        std::string error;
        if (problem.empty() && !ParseAx25Frame(line, frame, error))
            problem = "line " + std::to_string(number) + ": " + error;
    });
    return problem;
}

} // namespace sirrel::siggen
