// The installed fonts that can show a character set of the "Character set" list: each set is mapped to the
// languages fontconfig knows a font to cover, or to code points it must hold where no language fits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sirrel {

struct CharacterSetCoverage {
    std::vector<std::string> languages; // fontconfig language tags, all required
    std::vector<uint32_t> codePoints;   // all required
};

// What a font needs for the set of that list position; "Default" needs nothing.
CharacterSetCoverage CoverageOf(int characterSetIndex);

// Family names of the installed fonts that cover the set, sorted, each once.
std::vector<std::string> FontsForCharacterSet(int characterSetIndex);

} // namespace sirrel
