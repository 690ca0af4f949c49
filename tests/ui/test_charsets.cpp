// Text bytes read in the character set of a translation table: each set's code page gives known letters, the
// double-byte sets keep only their single bytes, and a face opened for a set draws the set's letter where the
// Latin-1 face draws another.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ui/charsets.h"
#include "ui/draw_objects.h"
#include "ui/font_engine.h"
#include "ui/geometry.h"

namespace sirrel {
namespace {

constexpr uint8_t kCharacterSetCodes[] = {0,   1,   2,   77,  128, 129, 130, 134, 136, 161,
                                          162, 163, 177, 178, 186, 204, 222, 238, 255};

TEST(Charsets, KnownBytesOfEachFamily)
{
    struct Case {
        uint8_t characterSet;
        uint8_t byte;
        char32_t expected;
    };
    const Case cases[] = {
        {0, 0xA4, 0x00A4},                  // ANSI: currency sign
        {1, 0x80, 0x20AC},                  // Default reads as ANSI: euro sign, not a C1 control
        {204, 0xC0, 0x0410},                // Russian: А
        {161, 0xE1, 0x03B1},                // Greek: α
        {238, 0xA3, 0x0141},                // Eastern Europe: Ł
        {162, 0xD0, 0x011E},                // Turkish: Ğ
        {177, 0xE0, 0x05D0},                // Hebrew: א
        {178, 0xC7, 0x0627},                // Arabic: ا
        {186, 0xC0, 0x0104},                // Baltic: Ą
        {163, 0xC3, 0x0102},                // Vietnamese: Ă, held back by the converter until the end of input
        {222, 0xA1, 0x0E01},                // Thai: ก
        {255, 0xB0, 0x2591},                // OEM: light shade
        {77, 0x80, 0x00C4},                 // Mac: Ä
        {2, 0x61, 0xF061},                  // Symbol: the symbol font's own place of α
        {128, 0xB1, 0xFF71},                // Shift JIS: half-width katakana
        {128, 0x81, kReplacementCharacter}, // Shift JIS lead byte
        {129, 0xB0, kReplacementCharacter}, // Hangeul lead byte
        {130, 0x84, kReplacementCharacter}, // Johab lead byte
        {134, 0xC0, kReplacementCharacter}, // GB2312 lead byte
        {136, 0xA4, kReplacementCharacter}, // Big5 lead byte
        {0, 0x81, kReplacementCharacter},   // a byte ANSI leaves undefined
        {99, 0xC0, 0x00C0},                 // no set of the list: Latin-1
    };
    for (const Case &c : cases) {
        EXPECT_TRUE(c.characterSet == 99 || CharacterSetAvailable(c.characterSet)) << int(c.characterSet);
        EXPECT_EQ(uint32_t(CharacterMapOf(c.characterSet)[c.byte]), uint32_t(c.expected))
            << "set " << int(c.characterSet) << " byte " << int(c.byte);
    }
}

TEST(Charsets, AsciiLettersAndLineEndsStayInEveryTextSet)
{
    for (uint8_t set : kCharacterSetCodes) {
        if (set == kSymbolCharacterSet)
            continue;
        const CharacterMap &map = CharacterMapOf(set);
        EXPECT_EQ(uint32_t(map['A']), uint32_t('A')) << int(set);
        EXPECT_EQ(uint32_t(map['z']), uint32_t('z')) << int(set);
        EXPECT_EQ(uint32_t(map['0']), uint32_t('0')) << int(set);
        EXPECT_EQ(uint32_t(map['\r']), uint32_t('\r')) << int(set);
    }
    // Symbol keeps the bytes below the space, which are no glyphs of it.
    EXPECT_EQ(uint32_t(CharacterMapOf(kSymbolCharacterSet)['\r']), uint32_t('\r'));
}

TEST(Charsets, MapsAreBuiltOnceWhicheverThreadAsks)
{
    std::vector<const CharacterMap *> seen(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &CharacterMapOf(186); });
    for (std::thread &t : threads)
        t.join();
    for (const CharacterMap *map : seen) {
        EXPECT_EQ(map, seen.front());
        EXPECT_EQ(uint32_t((*map)[0xC0]), 0x0104u);
    }
}

// The pixels of `text` drawn white on black by `face`.
std::vector<uint32_t> Drawn(FontFace &face, const std::string &text)
{
    OruDynamicPixMap *map = OruDynamicPixMap_Construct(nullptr);
    OruDynamicPixMap_FormatUpdate(map, 48, 32, 32);
    map->Fill(map, 0);
    face.Draw(*map, {0, 0, 48, 32}, 2, 2, text, 0xFFFFFF);
    const auto *pixels = reinterpret_cast<const uint32_t *>(map->Pixels);
    std::vector<uint32_t> copy(pixels, pixels + map->ImageSize / 4);
    OruDynamicPixMap_Destruct(map, 1);
    return copy;
}

TEST(Charsets, AFaceOpenedForASetDrawsThatSetsLetter)
{
    // The reference: the letter asked for by its code point.
    static CharacterMap cyrillicA = Latin1Map();
    cyrillicA['X'] = 0x0410;
    auto reference = FontFace::Open("Liberation Mono", 20, false, false, cyrillicA);
    auto russian = FontFace::Open("Liberation Mono", 20, false, false, CharacterMapOf(204));
    auto latin1 = FontFace::Open("Liberation Mono", 20, false, false);
    ASSERT_TRUE(reference && russian && latin1);
    const std::vector<uint32_t> expected = Drawn(*reference, "X");
    EXPECT_EQ(Drawn(*russian, "\xC0"), expected);
    EXPECT_NE(Drawn(*latin1, "\xC0"), expected);
    // Letters common to both read alike.
    EXPECT_EQ(Drawn(*russian, "Aq"), Drawn(*latin1, "Aq"));
}

TEST(Charsets, SymbolBytesInAFontWithoutSymbolsDrawAsLatin1)
{
    // Symbol fonts answer U+F000 plus the byte, or the byte itself in their own map; a text font answers neither
    // and must not draw empty boxes.
    auto symbol = FontFace::Open("Liberation Mono", 20, false, false, CharacterMapOf(kSymbolCharacterSet));
    auto latin1 = FontFace::Open("Liberation Mono", 20, false, false);
    ASSERT_TRUE(symbol && latin1);
    EXPECT_EQ(Drawn(*symbol, "a\xE9"), Drawn(*latin1, "a\xE9"));
}

TEST(Charsets, ADescriptionWithoutASetKeepsLatin1)
{
    FontHolder plain(Fonts), russian(Fonts);
    plain.Set(FontDescription::Make("Liberation Mono", 20));
    russian.Set(FontDescription::Make("Liberation Mono", 20).WithCharacterSet(204));
    ASSERT_TRUE(plain.Get() && russian.Get() && plain.Get()->face && russian.Get()->face);
    EXPECT_NE(plain.Get(), russian.Get());
    auto latin1 = FontFace::Open("Liberation Mono", 20, false, false);
    EXPECT_EQ(Drawn(*plain.Get()->face, "\xC0\xE9"), Drawn(*latin1, "\xC0\xE9"));
    EXPECT_NE(Drawn(*russian.Get()->face, "\xC0\xE9"), Drawn(*latin1, "\xC0\xE9"));
}

TEST(Charsets, TextConvertsBetweenBytesAndUtf8)
{
    // Every length of UTF-8 sequence, from a byte's map entry.
    CharacterMap map = Latin1Map();
    map[0x80] = 0xFFFD;
    map[0x81] = 0x1F600;
    EXPECT_EQ(BytesToUtf8("A\xE9\xC0\x80\x81\n", map), "A\u00E9\u00C0\uFFFD\U0001F600\n");
    EXPECT_EQ(BytesToUtf8("\xC0\xDF", CharacterMapOf(204)), "\u0410\u042F");

    struct Case {
        std::string utf8;
        std::string latin1;
    };
    const Case cases[] = {
        {"plain\n", "plain\n"},
        {"caf\u00E9 \u00FF", "caf\xE9 \xFF"},
        {"\u0410\u20AC\U0001F600x", "???x"}, // beyond Latin-1
        {"\xC3", "?"},                       // cut short
        {"\x80\xC3z", "??z"},                // a stray continuation byte, a lead byte without one
    };
    for (const Case &c : cases)
        EXPECT_EQ(Utf8ToLatin1(c.utf8), c.latin1) << c.utf8;
}

TEST(Charsets, FamiliesFontconfigKnows)
{
    struct Case {
        const char *family;
        bool resolves;
    };
    const Case cases[] = {
        {"Liberation Mono", true}, {"Courier New", true}, // an alias of an installed face
        {"Arial", true},           {"DejaVu Sans", true}, {"No Such Face Anywhere", false}, {"", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FontFamilyResolves(c.family), c.resolves) << c.family;
}

} // namespace
} // namespace sirrel
