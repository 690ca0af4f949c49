// An HDLC transmitter for the packet tests, written apart from the decoder: a bit-by-bit CRC-16/X.25, flags,
// zero stuffing after five ones, and NRZI line levels (a 0 bit changes the level).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoders/hdlc_deframer.h"

namespace sirrel::test {

using Bytes = std::vector<uint8_t>;

inline uint16_t BitwiseFcs(const Bytes &data)
{
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : data)
        for (int bit = 0; bit < 8; ++bit) {
            const bool feedback = ((crc ^ (byte >> bit)) & 1) != 0;
            crc = uint16_t(crc >> 1);
            if (feedback)
                crc ^= 0x8408;
        }
    return uint16_t(~crc);
}

class HdlcLine {
public:
    HdlcLine &flags(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            raw(0x7E, 8);
        ones_ = 0;
        return *this;
    }
    // Data bits with zero stuffing, least significant bit first.
    HdlcLine &bits(uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i) {
            const int bit = (value >> i) & 1;
            level(bit);
            ones_ = bit ? ones_ + 1 : 0;
            if (ones_ == 5) {
                level(0);
                ones_ = 0;
            }
        }
        return *this;
    }
    HdlcLine &bytes(const Bytes &data)
    {
        for (uint8_t b : data)
            bits(b, 8);
        return *this;
    }
    // The data and its check sequence, low byte first; `fcsError` flips one check bit.
    HdlcLine &frame(const Bytes &data, bool fcsError = false)
    {
        const uint16_t fcs = uint16_t(BitwiseFcs(data) ^ (fcsError ? 0x0100 : 0));
        bytes(data);
        return bits(fcs, 16);
    }
    // Unstuffed bits, as a flag or an abort is sent.
    HdlcLine &raw(uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i)
            level((value >> i) & 1);
        return *this;
    }

    const std::vector<int32_t> &levels() const { return levels_; }

    // Feeds every level; returns the byte counts of the frames finished, in order.
    std::vector<int32_t> send(HdlcDeframer &deframer) const
    {
        std::vector<int32_t> finished;
        for (int32_t l : levels_) {
            const int32_t n = deframer.PushLevel(l);
            if (n >= 0)
                finished.push_back(n);
        }
        return finished;
    }

private:
    void level(int bit)
    {
        if (!bit)
            current_ ^= 1;
        levels_.push_back(current_);
    }

    std::vector<int32_t> levels_;
    int32_t current_ = 0;
    int ones_ = 0;
};

// AX.25 address field pieces: callsign padded to six characters and shifted, SSID byte with bit 7 and the
// extension bit.
struct Call {
    std::string call;
    int ssid = 0;
    bool bit7 = false;
};

inline void AppendAddress(Bytes &out, const Call &c, bool last)
{
    std::string padded = c.call;
    padded.resize(6, ' ');
    for (char ch : padded)
        out.push_back(uint8_t(uint8_t(ch) << 1));
    out.push_back(uint8_t(0x60 | (c.bit7 ? 0x80 : 0) | ((c.ssid & 0x0F) << 1) | (last ? 1 : 0)));
}

inline Bytes Header(const Call &destination, const Call &source, const std::vector<Call> &digipeaters = {})
{
    Bytes out;
    AppendAddress(out, destination, false);
    AppendAddress(out, source, digipeaters.empty());
    for (size_t i = 0; i < digipeaters.size(); ++i)
        AppendAddress(out, digipeaters[i], i + 1 == digipeaters.size());
    return out;
}

inline Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Text(const std::string &s) { return Bytes(s.begin(), s.end()); }

} // namespace sirrel::test
