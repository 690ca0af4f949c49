// BitSource: what one transmission mode makes of a text. Every mode is one implementation in its own file;
// all of them feed the same FSK modulator through a Keying.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "keying.h"

namespace sirrel::siggen {

class BitSource {
public:
    virtual ~BitSource() = default;

    // Appends the keying of the text. Returns how many characters the mode has no code for; they are left out.
    virtual size_t Encode(std::string_view text, Keying &keying) const = 0;
    // The level held during the idle time before and after the transmission.
    virtual int IdleLevel() const = 0;
    // The character set's name, for messages.
    virtual const char *CharacterSetName() const = 0;
};

// Teleprinter line ends: every "\n", "\r\n" and lone "\r" becomes carriage return and line feed, so that a
// receiver that starts a new line on carriage return and ignores line feed shows the lines of the text.
std::string TeleprinterLineEnds(std::string_view text);

// Whether byte i of the text begins a character, so that a UTF-8 sequence left out counts as one character.
// Only a continuation byte (10xxxxxx) after another non-ASCII byte continues one; a stray one counts itself.
bool BeginsCharacter(std::string_view text, size_t i);

} // namespace sirrel::siggen
