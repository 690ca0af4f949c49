#include "ita2.h"

#include "bit_source.h"

namespace sirrel::siggen {

namespace {

// The receiver's table: index 0..31 letters, 32..63 figures of the same code. 0 is the blank, 27 and 31 the
// shifts; none of them stands for a character of the text.
constexpr char kTable[64] = {
    0,   'E', '\r', 'A', ' ', 'S', 'I', 'U', '\n', 'D', 'R', 'J', 'N',  'F', 'C', 'K',  'T', 'Z', 'L',  'W', 'H', 'Y',
    'P', 'Q', 'O',  'B', 'G', 27,  'M', 'X', 'V',  31,  0,   '3', '\r', '-', ' ', '\'', '8', '7', '\n', '*', '4', ' ',
    ',', '!', ':',  '(', '5', '+', ')', '2', '#',  '6', '0', '1', '9',  '?', '&', 27,   '.', '/', '=',  31,
};

enum class Case { kUnknown, kLetters, kFigures };

bool IsCharacter(char c) { return c != 0 && c != 27 && c != 31; }

} // namespace

Ita2Codes EncodeIta2(std::string_view input)
{
    const std::string text = TeleprinterLineEnds(input);
    Ita2Codes out;
    out.codes.reserve(text.size() + text.size() / 4);
    Case state = Case::kUnknown;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        int letters = -1;
        int figures = -1;
        for (int code = 0; code < 32 && IsCharacter(c); ++code) {
            if (letters < 0 && kTable[code] == c)
                letters = code;
            if (figures < 0 && kTable[32 + code] == c)
                figures = code;
        }
        if (letters >= 0 && letters == figures) {
            out.codes.push_back(static_cast<uint8_t>(letters));
            // Some receivers return to letters at a space, others stay in figures: after a space in figures
            // both need the next shift.
            if (c == ' ' && state == Case::kFigures)
                state = Case::kUnknown;
        } else if (letters >= 0) {
            if (state != Case::kLetters)
                out.codes.push_back(kIta2LettersShift);
            state = Case::kLetters;
            out.codes.push_back(static_cast<uint8_t>(letters));
        } else if (figures >= 0) {
            if (state != Case::kFigures)
                out.codes.push_back(kIta2FiguresShift);
            state = Case::kFigures;
            out.codes.push_back(static_cast<uint8_t>(figures));
        } else if (BeginsCharacter(text, i)) {
            ++out.dropped;
        }
    }
    return out;
}

} // namespace sirrel::siggen
