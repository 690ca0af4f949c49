#include "decoders/character_sets.h"

#include <algorithm>

#include "protocols/settings_model.h"

namespace sirrel {

const std::array<uint8_t, 64> kIta2Table = {
    // letters
    0,
    'E',
    13,
    'A',
    ' ',
    'S',
    'I',
    'U',
    10,
    'D',
    'R',
    'J',
    'N',
    'F',
    'C',
    'K',
    'T',
    'Z',
    'L',
    'W',
    'H',
    'Y',
    'P',
    'Q',
    'O',
    'B',
    'G',
    27,
    'M',
    'X',
    'V',
    31,
    // figures
    0,
    '3',
    13,
    '-',
    ' ',
    '\'',
    '8',
    '7',
    10,
    '*',
    '4',
    ' ',
    ',',
    '!',
    ':',
    '(',
    '5',
    '+',
    ')',
    '2',
    '#',
    '6',
    '0',
    '1',
    '9',
    '?',
    '&',
    27,
    '.',
    '/',
    '=',
    31,
};

const std::array<uint8_t, 32> kCcir476Table = {
    0x15, 0x29, 0x13, 0x38, 0x23, 0x34, 0x32, 0x31, 0x07, 0x2C, 0x2A, 0x68, 0x26, 0x64, 0x62, 0x61,
    0x0B, 0x1C, 0x1A, 0x58, 0x16, 0x54, 0x52, 0x51, 0x0E, 0x0D, 0x4A, 0x49, 0x46, 0x45, 0x43, 0x25,
};

// Code 0 (six one-bits) can never arrive as a 7-bit code with three one-bits: ITA3 has no blank.
const std::array<uint8_t, 32> kIta3Table = {
    0x7B, 0x0E, 0x0D, 0x2C, 0x0B, 0x2A, 0x07, 0x26, 0x61, 0x1C, 0x13, 0x62, 0x15, 0x64, 0x19, 0x68,
    0x51, 0x46, 0x23, 0x52, 0x25, 0x54, 0x29, 0x58, 0x31, 0x4C, 0x43, 0x32, 0x45, 0x34, 0x49, 0x38,
};

namespace {

// The received codes that become the markers 0x40 (repetition request), 0x41 and 0x42.
struct ServiceCodes {
    uint8_t repetition, service1, service2;
};
constexpr ServiceCodes kCcir476Service = {0x19, 0x70, 0x4C};
constexpr ServiceCodes kIta3Service = {0x16, 0x4A, 0x1A};
constexpr ServiceCodes kIta2PService = {0x07, 0x31, 0x49};

bool IsSynchronousCharacterMode(int32_t mode) { return mode == kModeArq || mode == kModeFec || mode == kModeArqm; }

// A service code becomes its marker; true when the code was one.
bool MatchService(const ServiceCodes &set, uint8_t code, CodeDecoding &out)
{
    if (code == set.repetition) {
        out.value = kMarkerRepetition;
        out.repetitionRequest = true;
    } else if (code == set.service1) {
        out.value = kMarkerService1;
    } else if (code == set.service2) {
        out.value = kMarkerService2;
    } else {
        return false;
    }
    return true;
}

// The ITA2 code of a 7-bit code; a code not in the table keeps its value (the caller keeps its low bits).
uint8_t SearchTable(const std::array<uint8_t, 32> &table, uint8_t code)
{
    for (uint8_t i = 0; i < table.size(); ++i) {
        if (table[i] == code)
            return i;
    }
    return code;
}

CodeDecoding DecodeSevenBit(int32_t charsetIndex, uint8_t code, bool numbers)
{
    CodeDecoding out;
    uint8_t ita2;
    switch (charsetIndex) {
    case kCharsetCcir476:
        if (MatchService(kCcir476Service, code, out))
            return out;
        ita2 = SearchTable(kCcir476Table, code);
        break;
    case kCharsetIta3:
        if (MatchService(kIta3Service, code, out))
            return out;
        ita2 = SearchTable(kIta3Table, code);
        break;
    case kCharsetIta2P:
        if (MatchService(kIta2PService, code, out))
            return out;
        ita2 = code >> 1; // bit 0 is the fixed 0, bit 6 the odd parity
        break;
    default:
        out.value = code;
        return out;
    }
    out.value = uint8_t((ita2 & 31) | (numbers ? kFiguresCase : 0));
    return out;
}

} // namespace

CodeDecoding DecodeCode(int32_t mode, int32_t charsetIndex, uint8_t code, bool numbers)
{
    CodeDecoding out;
    switch (mode) {
    case kModeIta2:
    case kModeCis:
        out.value = uint8_t(code | (numbers ? kFiguresCase : 0));
        return out;
    case kModeIra:
        out.value = code;
        out.dropped = code == 0;
        return out;
    case kModeArq:
    case kModeFec:
        return DecodeSevenBit(charsetIndex, code, numbers);
    case kModeArqm:
        return DecodeSevenBit(kCharsetIta3, code, numbers);
    default:
        out.value = code;
        return out;
    }
}

uint32_t StatisticsSize(int32_t mode)
{
    switch (mode) {
    case kModeIta2:
    case kModeCis:
        return 64;
    case kModeIra:
    case kModeAscii8:
        return 128;
    case kModeArq:
    case kModeFec:
    case kModeArqm:
        return 67;
    case kModePacket:
        return 256;
    case kModeRawBits:
        return 2;
    default:
        return 0;
    }
}

int32_t StatisticsEntry(int32_t mode, uint8_t value)
{
    // Raw bits arrive as the characters "0" and "1"; their two entries count the bit values.
    if (mode == kModeRawBits)
        return (value == '0' || value == '1') ? value - '0' : -1;
    return value;
}

bool IsShownCode(int32_t mode, uint8_t value) { return !(IsSynchronousCharacterMode(mode) && value > 63); }

bool UsesIta2Table(int32_t mode) { return mode == kModeIta2 || mode == kModeCis || IsSynchronousCharacterMode(mode); }

bool InterpretsShifts(int32_t mode) { return UsesIta2Table(mode); }

std::string DisplayText(int32_t mode, uint32_t entry, const TranslationTable &translation)
{
    if (entry > 255 || !IsShownCode(mode, uint8_t(entry)))
        return {};
    uint8_t c = uint8_t(entry);
    if (mode == kModeRawBits) {
        if (entry > 1)
            return {};
        c = uint8_t('0' + entry);
    } else if (UsesIta2Table(mode)) {
        c = Ita2Character(c);
    }
    c = translation[c];
    if (c == 10)
        return "<LF>";
    if (c == 13)
        return "<CR>";
    if (c == 0)
        return {};
    return std::string(1, char(c));
}

int32_t LikeliestConstantRatio(const std::array<int32_t, 7> &towardOne)
{
    std::array<int32_t, 7> order{0, 1, 2, 3, 4, 5, 6};
    std::stable_sort(order.begin(), order.end(),
                     [&towardOne](int32_t a, int32_t b) { return towardOne[size_t(a)] > towardOne[size_t(b)]; });
    return 1 << order[0] | 1 << order[1] | 1 << order[2];
}

} // namespace sirrel
