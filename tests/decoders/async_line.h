// Line levels of a start/stop signal, built bit by bit: idle and stop at level 1, start at 0, data least
// significant bit first. Bit edges fall on the nearest sample of their exact position, so a fractional bit
// duration (220.5 samples at 50 baud and 11025 Hz) keeps its average.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace sirrel::testing {

class AsyncLine {
public:
    enum Parity { kNone, kEven, kOdd };

    AsyncLine(double samplesPerBit, int dataBits, double stopBits = 1.5, Parity parity = kNone)
        : samplesPerBit_(samplesPerBit), dataBits_(dataBits), stopBits_(stopBits), parity_(parity)
    {
    }

    AsyncLine &idle(double bits)
    {
        put(1, bits);
        return *this;
    }

    AsyncLine &character(unsigned code)
    {
        put(0, 1);
        int ones = 0;
        for (int i = 0; i < dataBits_; ++i) {
            const int bit = (code >> i) & 1;
            ones += bit;
            put(bit, 1);
        }
        if (parity_ != kNone) {
            const int evenBit = ones & 1;
            put(parity_ == kEven ? evenBit : 1 - evenBit, 1);
        }
        put(1, stopBits_);
        return *this;
    }

    AsyncLine &characters(const std::vector<unsigned> &codes)
    {
        for (unsigned code : codes)
            character(code);
        return *this;
    }

    // Samples of a fixed length at a given level, ignoring the bit grid (for glitches and odd timings).
    AsyncLine &samples(int level, int count)
    {
        levels_.insert(levels_.end(), size_t(count), int16_t(level));
        position_ = double(levels_.size());
        return *this;
    }

    const std::vector<int16_t> &levels() const { return levels_; }

    std::vector<int16_t> inverted() const
    {
        std::vector<int16_t> out(levels_);
        for (auto &level : out)
            level = int16_t(1 - level);
        return out;
    }

private:
    void put(int level, double bits)
    {
        position_ += bits * samplesPerBit_;
        const auto end = size_t(std::llround(position_));
        while (levels_.size() < end)
            levels_.push_back(int16_t(level));
    }

    double samplesPerBit_;
    int dataBits_;
    double stopBits_;
    Parity parity_;
    double position_ = 0.0;
    std::vector<int16_t> levels_;
};

} // namespace sirrel::testing
