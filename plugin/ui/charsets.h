// What the bytes of text mean in each font character set of the "Character set" list: a translation table
// maps received characters onto byte values of its set's code page, and those bytes must draw as that code
// page's characters. The maps come from the C library's converters, so no code page is copied here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace sirrel {

using CharacterMap = std::array<char32_t, 256>;

constexpr char32_t kReplacementCharacter = 0xFFFD;
// Symbol fonts answer their glyphs at U+F000 plus the byte.
constexpr char32_t kSymbolBase = 0xF000;
constexpr uint8_t kSymbolCharacterSet = 2;

// Every byte as the Latin-1 code point of the same value.
const CharacterMap &Latin1Map();

// The map of a character set code, built on first use. A code the list does not hold, or whose code page the
// converters lack, reads as Latin-1. The double-byte sets map single bytes only: lead bytes read as the
// replacement character.
const CharacterMap &CharacterMapOf(uint8_t characterSet);

// Whether the code page of the set is present (Symbol has none and is always present).
bool CharacterSetAvailable(uint8_t characterSet);

// Bytes of text as UTF-8, each byte read through `map`.
std::string BytesToUtf8(std::string_view bytes, const CharacterMap &map);
// UTF-8 text as Latin-1 bytes for programs that take nothing else: what Latin-1 lacks, and broken sequences,
// become '?'.
std::string Utf8ToLatin1(std::string_view text);

} // namespace sirrel
