#include "ui/charsets.h"

#include <iconv.h>

#include <initializer_list>
#include <mutex>
#include <string>

namespace sirrel {

namespace {

struct CodePage {
    uint8_t characterSet;
    std::initializer_list<const char *> names; // converter names, the first one present is used
};

// The Windows code page of each set; the double-byte sets read a single byte as their Windows code page does.
constexpr CodePage kCodePages[] = {
    {0, {"CP1252"}},
    {1, {"CP1252"}},
    {kSymbolCharacterSet, {}},
    {77, {"MACINTOSH"}},
    {128, {"CP932", "SHIFT_JIS"}},
    {129, {"CP949", "EUC-KR"}},
    {130, {"JOHAB"}},
    {134, {"GBK", "GB2312"}},
    {136, {"CP950", "BIG5"}},
    {161, {"CP1253"}},
    {162, {"CP1254"}},
    {163, {"CP1258"}},
    {177, {"CP1255"}},
    {178, {"CP1256"}},
    {186, {"CP1257"}},
    {204, {"CP1251"}},
    {222, {"CP874", "TIS-620"}},
    {238, {"CP1250"}},
    {255, {"CP437"}},
};
constexpr size_t kCodePageCount = std::size(kCodePages);

struct BuiltMap {
    std::once_flag built;
    CharacterMap map;
    bool available = false;
};

std::array<BuiltMap, kCodePageCount> &BuiltMaps()
{
    static std::array<BuiltMap, kCodePageCount> maps;
    return maps;
}

char32_t ConvertByte(iconv_t converter, uint8_t byte)
{
    // Each byte on its own: no state of the byte before it may carry over.
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char in = char(byte);
    char *inPlace = &in;
    size_t inLeft = 1;
    unsigned char out[32];
    char *outPlace = reinterpret_cast<char *>(out);
    size_t outLeft = sizeof out;
    if (iconv(converter, &inPlace, &inLeft, &outPlace, &outLeft) == size_t(-1))
        return kReplacementCharacter;
    // Vietnamese holds a letter back until it knows no combining mark follows.
    if (iconv(converter, nullptr, nullptr, &outPlace, &outLeft) == size_t(-1))
        return kReplacementCharacter;
    if (sizeof out - outLeft < 4)
        return kReplacementCharacter;
    return char32_t(out[0]) | char32_t(out[1]) << 8 | char32_t(out[2]) << 16 | char32_t(out[3]) << 24;
}

void Build(const CodePage &page, BuiltMap &built)
{
    built.map = Latin1Map();
    if (page.characterSet == kSymbolCharacterSet) {
        for (int byte = 0x20; byte < 0x100; ++byte)
            built.map[size_t(byte)] = kSymbolBase + char32_t(byte);
        built.available = true;
        return;
    }
    for (const char *name : page.names) {
        iconv_t converter = iconv_open("UTF-32LE", name);
        if (converter == iconv_t(-1))
            continue;
        for (int byte = 0; byte < 0x100; ++byte)
            built.map[size_t(byte)] = ConvertByte(converter, uint8_t(byte));
        iconv_close(converter);
        built.available = true;
        return;
    }
}

BuiltMap *MapFor(uint8_t characterSet)
{
    for (size_t i = 0; i < kCodePageCount; ++i) {
        if (kCodePages[i].characterSet == characterSet) {
            BuiltMap &built = BuiltMaps()[i];
            std::call_once(built.built, [&] { Build(kCodePages[i], built); });
            return &built;
        }
    }
    return nullptr;
}

} // namespace

const CharacterMap &Latin1Map()
{
    static const CharacterMap map = [] {
        CharacterMap m{};
        for (size_t byte = 0; byte < m.size(); ++byte)
            m[byte] = char32_t(byte);
        return m;
    }();
    return map;
}

const CharacterMap &CharacterMapOf(uint8_t characterSet)
{
    const BuiltMap *built = MapFor(characterSet);
    return built ? built->map : Latin1Map();
}

bool CharacterSetAvailable(uint8_t characterSet)
{
    const BuiltMap *built = MapFor(characterSet);
    return built && built->available;
}

std::string BytesToUtf8(std::string_view bytes, const CharacterMap &map)
{
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char byte : bytes) {
        const char32_t c = map[byte];
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Utf8ToLatin1(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out += char(lead);
            ++i;
            continue;
        }
        const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        char32_t c = length == 4 ? lead & 0x07 : length == 3 ? lead & 0x0F : lead & 0x1F;
        bool whole = length > 1 && i + length <= text.size();
        for (size_t k = 1; whole && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            whole = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        out += whole && c < 0x100 ? char(c) : '?';
        i += whole ? length : 1;
    }
    return out;
}

} // namespace sirrel
