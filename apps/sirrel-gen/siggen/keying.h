// Keying: the line levels of a signal as a list of timed elements, the one format every bit source produces
// and the modulator consumes.
//
// Level 1 is the bit the decoder's chain decides as 1 and the synchronous decoders take as 1 under "Normal"
// polarity; the generator sends it on the space tone. Start/stop framing idles on level 1.
#pragma once

#include <cstddef>
#include <vector>

namespace sirrel::siggen {

// A level at which nothing is sent: the other station of an ARQ link, where the receiver does not hear it.
constexpr int kSilent = -1;

struct KeyElement {
    int level;   // 0, 1 or kSilent
    double bits; // duration in bit periods; start/stop framing needs halves
};

class Keying {
public:
    // Appends a level (0, 1, or kSilent; any other value is 1) for a duration; a level equal to the last one
    // lengthens that element.
    void Append(int level, double bits);
    // Appends one bit period per bit, first the lowest: the order of every mode that sends least significant
    // bit first.
    void AppendBitsLsbFirst(unsigned value, int count);

    const std::vector<KeyElement> &Elements() const { return elements_; }
    double TotalBits() const { return totalBits_; }
    bool Empty() const { return elements_.empty(); }

private:
    std::vector<KeyElement> elements_;
    double totalBits_ = 0.0;
};

} // namespace sirrel::siggen
