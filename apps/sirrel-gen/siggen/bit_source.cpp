#include "bit_source.h"

namespace sirrel::siggen {

std::string TeleprinterLineEnds(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

bool BeginsCharacter(std::string_view text, size_t i)
{
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    return (byte(i) & 0xC0) != 0x80 || i == 0 || byte(i - 1) < 0x80;
}

} // namespace sirrel::siggen
