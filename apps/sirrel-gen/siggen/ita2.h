// ITA2 (Baudot) character coding: text to 5-bit codes with the letters/figures shifts a receiver needs.
// Shared by every mode that carries ITA2 characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sirrel::siggen {

inline constexpr uint8_t kIta2FiguresShift = 27;
inline constexpr uint8_t kIta2LettersShift = 31;

struct Ita2Codes {
    std::vector<uint8_t> codes;
    size_t dropped = 0; // characters without an ITA2 code
};

// Lower case is sent as upper case; line ends become carriage return and line feed. The receiver's shift state
// is taken as unknown at the start, so the first character that depends on it is preceded by its shift.
// Space, carriage return and line feed exist in both cases and never cause a shift; after a space in figures
// the next character is preceded by its shift again, for receivers that return to letters at a space.
Ita2Codes EncodeIta2(std::string_view text);

} // namespace sirrel::siggen
