#include "async_source.h"

#include <bit>
#include <string>

#include "ita2.h"

namespace sirrel::siggen {

AsyncSource::AsyncSource(Code code, Parity parity, double stopBits) : code_(code), parity_(parity), stopBits_(stopBits)
{
}

int AsyncSource::DataBits() const
{
    switch (code_) {
    case Code::kIta2:
        return 5;
    case Code::kIra:
        return 7;
    case Code::kAscii8:
        break;
    }
    return 8;
}

const char *AsyncSource::CharacterSetName() const
{
    switch (code_) {
    case Code::kIta2:
        return "ITA2";
    case Code::kIra:
        return "IRA";
    case Code::kAscii8:
        break;
    }
    return "8-bit";
}

size_t AsyncSource::Encode(std::string_view text, Keying &keying) const
{
    if (code_ == Code::kIta2) {
        const Ita2Codes ita2 = EncodeIta2(text);
        for (const uint8_t code : ita2.codes)
            AppendCharacter(code, keying);
        return ita2.dropped;
    }
    const std::string bytes = TeleprinterLineEnds(text);
    size_t dropped = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (code_ == Code::kIra && byte >= 0x80) {
            if (BeginsCharacter(bytes, i))
                ++dropped;
            continue;
        }
        AppendCharacter(byte, keying);
    }
    return dropped;
}

void AsyncSource::AppendCharacter(unsigned code, Keying &keying) const
{
    const int dataBits = DataBits();
    code &= (1u << dataBits) - 1;
    keying.Append(0, 1.0);
    keying.AppendBitsLsbFirst(code, dataBits);
    if (parity_ != Parity::kNone) {
        const unsigned odd = std::popcount(code) & 1u;
        keying.Append(parity_ == Parity::kEven ? odd : !odd, 1.0);
    }
    keying.Append(1, stopBits_);
}

} // namespace sirrel::siggen
