// Zero-terminated string functions, number conversions and OruString.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

#include "orurt.h"

namespace {

// ---- zero-terminated strings ----

struct CompareCase {
    const char *a;
    const char *b;
    int32_t plain;
    int32_t ignoringCase;
};

TEST(StringFunctions, CompareTakesBytesSignedAndCaseFoldedUnsigned)
{
    const CompareCase cases[] = {
        {"abc", "abc", 0, 0},
        {"abc", "abd", -1, -1},
        {"abc", "ab", 'c', 'C'},
        {"", "a", -'a', -'A'},
        {"abc", "ABC", 'a' - 'A', 0},
        {"a", "B", 'a' - 'B', -1},
        {"\x80", "A", -128 - 'A', 0x80 - 'A'}, // high bytes sort below letters, unless case is ignored
        {"\xFF", "\x01", -2, 0xFE},
        {"_", "a", '_' - 'a', '_' - 'A'}, // folding goes to upper case, so '_' follows the letters
    };
    for (const CompareCase &c : cases) {
        EXPECT_EQ(StringCompare(c.a, c.b), c.plain) << c.a << " vs " << c.b;
        EXPECT_EQ(StringCompareI(c.a, c.b), c.ignoringCase) << c.a << " vs " << c.b;
    }
}

TEST(StringFunctions, ReverseInPlace)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"a", "a"}, {"ab", "ba"}, {"abc", "cba"}, {"abcd", "dcba"}};
    for (const auto &[in, out] : cases) {
        std::string buffer = in;
        EXPECT_EQ(StringReverse(buffer.data()), buffer.data());
        EXPECT_EQ(buffer, out);
    }
}

TEST(StringFunctions, StringFindsFirstOccurrence)
{
    const char *hello = "hello";
    EXPECT_EQ(StringString(hello, "ll"), hello + 2);
    EXPECT_EQ(StringString(hello, "lo"), hello + 3);
    EXPECT_EQ(StringString(hello, "hello"), hello);
    EXPECT_EQ(StringString(hello, "hellos"), nullptr);
    EXPECT_EQ(StringString(hello, "x"), nullptr);
    const char *partial = "aaab";
    EXPECT_EQ(StringString(partial, "aab"), partial + 1); // a failed partial match must restart one byte on
    EXPECT_EQ(StringString("", "a"), nullptr);
    EXPECT_EQ(StringString("", ""), nullptr);
    EXPECT_EQ(StringString(hello, ""), hello);
}

TEST(StringFunctions, CopyLengthAndDuplicate)
{
    char buffer[16];
    EXPECT_EQ(StringCopy(buffer, "copy me"), buffer);
    EXPECT_STREQ(buffer, "copy me");
    EXPECT_EQ(StringLength(buffer), 7u);
    EXPECT_EQ(StringLength(""), 0u);

    char *copy = StringDuplicate("duplicate");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "duplicate");
    EXPECT_EQ(reinterpret_cast<uintptr_t>(copy) % 64, 0u);
    MemoryFree(copy);
}

// ---- conversions ----

struct DoubleCase {
    const char *text;
    OruExtended value;
};

TEST(StringConversion, StringToDouble)
{
    const DoubleCase cases[] = {
        {"  -3,25x", -3.25L},
        {"1e3", 1.0L},
        {"", 0.0L},
        {"\t+12.5", 12.5L},
        {".5", 0.5L},
        {"-", 0.0L},
        {"- 5", 0.0L}, // nothing may stand between sign and digits
        {"abc", 0.0L},
        {"1.2.3", 1.2L},
        {"1,5,5", 1.5L},
        {"007", 7.0L},
        {"0.1", 0.1L},
        {"123.456", 123.456L},
        {"18446744073709551615", 18446744073709551615.0L},
    };
    for (const DoubleCase &c : cases)
        EXPECT_EQ(StringToDouble(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(StringToDouble(("0," + std::string(26, '0') + "1").c_str()), 1e-27L);

    // Digits beyond the precision of the mantissa still count for the magnitude.
    OruExtended big = StringToDouble("123456789012345678901234567890");
    EXPECT_NEAR(double(big / 1.23456789012345678901234567890e29L), 1.0, 1e-17);
}

struct IntegerCase {
    int32_t value;
    uint32_t radix;
    uint32_t minimumDigits;
    const char *text;
};

TEST(StringConversion, IntegerToString)
{
    const IntegerCase cases[] = {
        {-42, 10, 4, "-0042"},
        {-1, 16, 0, "FFFFFFFF"},
        {5, 1, 0, ""},
        {5, 37, 0, ""},
        {5, 0, 3, ""},
        {0, 10, 0, "0"},
        {0, 2, 8, "00000000"},
        {123, 10, 2, "123"},
        {7, 10, 3, "007"},
        {255, 16, 4, "00FF"},
        {35, 36, 0, "Z"},
        {-5, 8, 0, "37777777773"},
        {-1, 2, 0, "11111111111111111111111111111111"},
        {INT32_MIN, 10, 0, "-2147483648"},
        {INT32_MIN, 16, 0, "80000000"},
        {INT32_MAX, 10, 12, "002147483647"},
    };
    for (const IntegerCase &c : cases) {
        char buffer[48];
        std::fill(std::begin(buffer), std::end(buffer), 'x');
        EXPECT_EQ(IntegerToString(c.value, c.radix, buffer, c.minimumDigits), buffer);
        EXPECT_STREQ(buffer, c.text) << c.value << " radix " << c.radix;
    }
}

struct Integer64Case {
    uint64_t value;
    uint32_t radix;
    uint32_t minimumDigits;
    const char *text;
};

TEST(StringConversion, Int64ToString)
{
    const Integer64Case cases[] = {
        {0x100000000ull, 16, 0, "100000000"},
        {0x100000000ull, 10, 0, "4294967296"},
        {UINT64_MAX, 10, 0, "-1"},
        {UINT64_MAX, 16, 0, "FFFFFFFFFFFFFFFF"},
        {0x8000000000000000ull, 10, 0, "-9223372036854775808"},
        {0x7FFFFFFFFFFFFFFFull, 10, 0, "9223372036854775807"},
        {uint64_t(-42), 10, 4, "-0042"},
        {1, 2, 64, "0000000000000000000000000000000000000000000000000000000000000001"},
        {UINT64_MAX, 2, 0, "1111111111111111111111111111111111111111111111111111111111111111"},
        {12345, 37, 0, ""},
    };
    for (const Integer64Case &c : cases) {
        char buffer[80];
        EXPECT_EQ(Int64ToString(uint32_t(c.value), uint32_t(c.value >> 32), c.radix, buffer, c.minimumDigits), buffer);
        EXPECT_STREQ(buffer, c.text) << c.value << " radix " << c.radix;
    }
}

// ---- OruString ----

class OruStringTest : public ::testing::Test {
protected:
    void SetUp() override { OruString_Construct(&s); }
    void TearDown() override { OruString_Destruct(&s, 0); }

    void Set(const char *text) { OruString_Set_String(&s, text); }
    std::string Text() const { return std::string(s.Text, s.Length); }

    // Text ends at Length, Capacity is the smallest multiple of 64 seen so far that holds it.
    void ExpectSound() const
    {
        ASSERT_NE(s.Text, nullptr);
        EXPECT_EQ(s.Text[s.Length], 0);
        EXPECT_LT(s.Length, s.Capacity);
        EXPECT_EQ(s.Capacity % 64, 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(s.Text) % 64, 0u);
    }

    OruString s;
};

TEST_F(OruStringTest, ConstructGivesEmptyTextIn64Bytes)
{
    ExpectSound();
    EXPECT_EQ(s.Length, 0u);
    EXPECT_EQ(s.Capacity, 64u);
    EXPECT_STREQ(s.Text, "");

    OruString *owned = OruString_Construct(nullptr);
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(owned->Capacity, 64u);
    OruString_Destruct(owned, 1);
    OruString_Destruct(nullptr, 1);
}

TEST_F(OruStringTest, ConstructStringSizesCapacityToTheText)
{
    const std::pair<uint32_t, uint32_t> cases[] = {{0, 64}, {1, 64}, {63, 64}, {64, 128}, {127, 128}, {128, 192}};
    for (auto [length, capacity] : cases) {
        std::string text(length, 'q');
        OruString t;
        OruString_Construct_String(&t, text.c_str());
        EXPECT_EQ(t.Length, length);
        EXPECT_EQ(t.Capacity, capacity);
        EXPECT_STREQ(t.Text, text.c_str());
        OruString_Destruct(&t, 0);
    }
}

TEST_F(OruStringTest, CapacityGrowsIn64ByteStepsAndNeverShrinks)
{
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        char c = char('a' + i % 26);
        OruString_Add_Character(&s, uint8_t(c));
        expected += c;
        ASSERT_EQ(s.Capacity, (s.Length + 64) / 64 * 64) << "length " << s.Length;
    }
    ExpectSound();
    EXPECT_EQ(Text(), expected);

    Set("short");
    EXPECT_EQ(s.Capacity, 320u);
    OruString_Truncate(&s, 1);
    EXPECT_EQ(s.Capacity, 320u);
    EXPECT_EQ(Text(), "s");
}

TEST_F(OruStringTest, SetAndAddAcceptTheirOwnText)
{
    Set("0123456789012345678901234567890123456789"); // 40 bytes: doubling needs a larger block
    OruString_Set_String(&s, s.Text);
    EXPECT_EQ(Text(), "0123456789012345678901234567890123456789");

    OruString_Add_String(&s, s.Text);
    ExpectSound();
    EXPECT_EQ(Text(),
              std::string("0123456789012345678901234567890123456789") + "0123456789012345678901234567890123456789");

    OruString_Add_OruString(&s, &s);
    EXPECT_EQ(s.Length, 160u);
    EXPECT_EQ(s.Capacity, 192u);

    OruString_Set_String(&s, s.Text + 155);
    EXPECT_EQ(Text(), "56789");

    OruString_Set_OruString(&s, &s);
    EXPECT_EQ(Text(), "56789");
}

TEST_F(OruStringTest, SetAndAddOtherStrings)
{
    OruString other;
    OruString_Construct_String(&other, "other");
    OruString_Set_OruString(&s, &other);
    OruString_Add_OruString(&s, &other);
    OruString_Add_String(&s, "!");
    EXPECT_EQ(Text(), "otherother!");
    OruString_Destruct(&other, 0);

    OruString_Set_String(&s, "");
    EXPECT_EQ(Text(), "");
    ExpectSound();
}

TEST_F(OruStringTest, AddIntegerLimitsMinimumDigits)
{
    OruString_Add_Integer(&s, -42, 10, 4);
    OruString_Add_Character(&s, ' ');
    OruString_Add_Integer(&s, 1, 37, 0);
    OruString_Add_Integer64(&s, 0, 1, 16, 0);
    EXPECT_EQ(Text(), "-0042 100000000");

    Set("");
    OruString_Add_Integer(&s, 1, 2, 1000);
    EXPECT_EQ(Text(), std::string(32, '0') + "1");
    Set("");
    OruString_Add_Integer(&s, -1, 10, 1000);
    EXPECT_EQ(Text(), "-" + std::string(32, '0') + "1");
    Set("");
    OruString_Add_Integer64(&s, 1, 0, 2, 1000);
    EXPECT_EQ(Text(), std::string(64, '0') + "1");
    ExpectSound();
}

struct CallSignCase {
    const char *characters; // the six callsign bytes
    uint8_t ssidByte;
    const char *text;
};

TEST_F(OruStringTest, AX25CallSign)
{
    const CallSignCase cases[] = {
        {"ABCDEF", 0x60, "ABCDEF"},
        {"AB1   ", 0x60 | (7 << 1), "AB1-7"},
        {"DL0XYZ", 0xE0 | (15 << 1) | 1, "DL0XYZ-15"},
        {"N0CALL", 0x61, "N0CALL"}, // the extension bit is not part of the SSID
        {"A B C ", 0x62, "ABC-1"},
        {"      ", 0x00, ""},
    };
    for (const CallSignCase &c : cases) {
        uint8_t address[7];
        std::copy(c.characters, c.characters + 6, address);
        address[6] = c.ssidByte;
        Set(">");
        OruString_Add_AX25CallSign(&s, address);
        EXPECT_EQ(Text(), std::string(">") + c.text);
        ExpectSound();
    }
}

TEST_F(OruStringTest, AX25CallSignMakesRoomForTheLongestForm)
{
    const uint8_t address[7] = {'K', '1', 'A', ' ', ' ', ' ', 0x60};
    Set(std::string(54, '.').c_str());
    OruString_Add_AX25CallSign(&s, address);
    EXPECT_EQ(s.Capacity, 64u); // 54 + "XXXXXX-15" + terminator = 64
    Set(std::string(55, '.').c_str());
    OruString_Add_AX25CallSign(&s, address);
    EXPECT_EQ(s.Length, 58u);
    EXPECT_EQ(s.Capacity, 128u);
}

TEST_F(OruStringTest, InsertCharacter)
{
    const std::pair<int32_t, const char *> cases[] = {{0, "Xabc"}, {1, "aXbc"},    {2, "abXc"}, {3, "abcX"},
                                                      {4, "abcX"}, {1000, "abcX"}, {-1, "Xabc"}};
    for (auto [position, text] : cases) {
        Set("abc");
        OruString_Insert_Character(&s, position, 'X');
        EXPECT_EQ(Text(), text) << "position " << position;
        ExpectSound();
    }

    Set(std::string(63, 'a').c_str());
    OruString_Insert_Character(&s, 0, 'b');
    EXPECT_EQ(Text(), "b" + std::string(63, 'a'));
    EXPECT_EQ(s.Capacity, 128u);
}

TEST_F(OruStringTest, DeleteCharacter)
{
    const std::pair<int32_t, const char *> cases[] = {{0, "bc"}, {1, "ac"}, {2, "ab"}, {3, "abc"}, {-1, "abc"}};
    for (auto [position, text] : cases) {
        Set("abc");
        OruString_Delete_Character(&s, position);
        EXPECT_EQ(Text(), text) << "position " << position;
        ExpectSound();
    }
}

struct RangeCase {
    int32_t first;
    int32_t last;
    const char *text;
};

TEST_F(OruStringTest, DeleteRangeClampsItsEnds)
{
    const RangeCase cases[] = {
        {-5, 2, "def"}, {6, 9, "abcdef"}, {10, 12, "abcdef"}, {2, 100, "ab"},  {3, 2, "abcdef"},
        {0, 5, ""},     {1, 1, "acdef"},  {-3, -1, "abcdef"}, {5, 5, "abcde"}, {INT32_MIN, INT32_MAX, ""},
    };
    for (const RangeCase &c : cases) {
        Set("abcdef");
        OruString_Delete_Range(&s, c.first, c.last);
        EXPECT_EQ(Text(), c.text) << c.first << ".." << c.last;
        ExpectSound();
    }
}

TEST_F(OruStringTest, ReplaceAndTruncate)
{
    Set("a.b.c");
    OruString_Replace_Character(&s, '.', '/');
    EXPECT_EQ(Text(), "a/b/c");

    OruString_Truncate(&s, 10);
    EXPECT_EQ(Text(), "a/b/c");
    OruString_Truncate(&s, 5);
    EXPECT_EQ(Text(), "a/b/c");
    OruString_Truncate(&s, 3);
    EXPECT_EQ(Text(), "a/b");
    OruString_Truncate(&s, 0);
    EXPECT_EQ(Text(), "");
    ExpectSound();
}

} // namespace
