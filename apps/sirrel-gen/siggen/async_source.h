// AsyncSource: start/stop framing of the asynchronous modes: ITA2 (5 data bits), IRA (7) and 8-bit.
//
// Each character is a start bit (level 0), the data bits least significant first, an optional parity bit and
// 1, 1.5 or 2 stop bits (level 1); the line idles on level 1.
#pragma once

#include "bit_source.h"

namespace sirrel::siggen {

enum class Parity { kNone, kEven, kOdd };

class AsyncSource : public BitSource {
public:
    enum class Code { kIta2, kIra, kAscii8 };

    // stopBits is 1, 1.5 or 2.
    AsyncSource(Code code, Parity parity, double stopBits);

    size_t Encode(std::string_view text, Keying &keying) const override;
    int IdleLevel() const override { return 1; }
    const char *CharacterSetName() const override;

    int DataBits() const;

private:
    void AppendCharacter(unsigned code, Keying &keying) const;

    Code code_;
    Parity parity_;
    double stopBits_;
};

} // namespace sirrel::siggen
