// Character sets shared by every character-oriented mode: the ITA2 letters/figures table, the two 7-bit sets
// of the synchronous modes with their service codes, ITA2-P, and the sink's translation steps as pure
// functions of (mode, code). The sink itself (state, suppression, output) is DecoderSink.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace sirrel {

using TranslationTable = std::array<uint8_t, 256>;

// Character set index of the synchronous modes.
enum CharsetIndex : int32_t {
    kCharsetCcir476 = 0,
    kCharsetIta3 = 1,
    kCharsetIta2P = 2,
};

// Codes the sink gives special meaning.
constexpr uint8_t kIta2FiguresShift = 27;
constexpr uint8_t kIta2LettersShift = 31;
constexpr uint8_t kIta2Space = 4;
constexpr uint8_t kFiguresCase = 32; // added to an ITA2 code to select its figures character
constexpr uint8_t kMarkerRepetition = 0x40;
constexpr uint8_t kMarkerService1 = 0x41;
constexpr uint8_t kMarkerService2 = 0x42;

// The constant-ratio code (three one-bits of seven) likeliest from each bit's confidence that it is a 1, bit 0
// first: its three surest one-bits, the earlier bit on a tie.
int32_t LikeliestConstantRatio(const std::array<int32_t, 7> &towardOne);

// ITA2 characters: 0..31 letters case, 32..63 figures case of the same code.
extern const std::array<uint8_t, 64> kIta2Table;
// The 7-bit code of each ITA2 code, first received bit as bit 0.
extern const std::array<uint8_t, 32> kCcir476Table;
extern const std::array<uint8_t, 32> kIta3Table;

// The character of an ITA2 code with its case bit (only the low six bits take part).
inline uint8_t Ita2Character(uint8_t code) { return kIta2Table[code & 63]; }

// Step 3 of the sink: the code after mode-specific decoding.
struct CodeDecoding {
    uint8_t value = 0;
    bool dropped = false;           // the code ends here, uncounted
    bool repetitionRequest = false; // value is then the marker 0x40
};

// `numbers` is the shift state of the channel the code is for.
CodeDecoding DecodeCode(int32_t mode, int32_t charsetIndex, uint8_t code, bool numbers);

// Step 4: number of statistics entries for a mode, 0 for a number that is no mode.
uint32_t StatisticsSize(int32_t mode);
// The statistics entry that counts a decoded code, or -1 when it is counted nowhere (the caller still checks
// it against the current size).
int32_t StatisticsEntry(int32_t mode, uint8_t value);

// Step 5: in the synchronous modes a code above 63 (a service marker) is counted but never shown.
bool IsShownCode(int32_t mode, uint8_t value);

// Step 6 without the user table: modes that carry ITA2 codes turn them into characters here.
bool UsesIta2Table(int32_t mode);
// Step 7: modes in which the shift characters switch the channel's case and a blank is dropped.
bool InterpretsShifts(int32_t mode);

// What the sink would show for statistics entry `entry` of a mode: "<LF>", "<CR>", one character, or ""
// (service markers, and a NUL character).
std::string DisplayText(int32_t mode, uint32_t entry, const TranslationTable &translation);

} // namespace sirrel
