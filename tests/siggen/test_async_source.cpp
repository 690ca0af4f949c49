#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "siggen/async_source.h"
#include "siggen/generator.h"
#include "siggen/ita2.h"
#include "tone_levels.h"

namespace sirrel::siggen {
namespace {

constexpr uint8_t L = kIta2LettersShift;
constexpr uint8_t F = kIta2FiguresShift;

struct Ita2Case {
    std::string text;
    std::vector<uint8_t> codes;
    size_t dropped;
};

TEST(SiggenIta2, ShiftsWhereTheCaseChangesOrAfterASpaceInFigures)
{
    const Ita2Case cases[] = {
        {"ABC", {L, 3, 25, 14}, 0},
        {"12", {F, 23, 19}, 0},
        {"A1 B", {L, 3, F, 23, 4, L, 25}, 0}, // receivers differ after a space in figures
        {"a-b", {L, 3, F, 3, L, 25}, 0},      // lower case as upper
        {" \r\n", {4, 2, 8}, 0},              // both cases: no shift at all
        {"1 2", {F, 23, 4, F, 19}, 0},        // so both shifts are sent again
        {"A B", {L, 3, 4, 25}, 0},
        {"A\nB", {L, 3, 2, 8, 25}, 0}, // line end keeps the case
        {"A\r\nB\rC", {L, 3, 2, 8, 25, 2, 8, 14}, 0},
        {"*#&=!:()+", {F, 9, 20, 26, 30, 13, 14, 15, 18, 17}, 0},
        {"A\tB~", {L, 3, 25}, 2},
        {"X\xC3\xA9Y", {L, 29, 21}, 1},          // one UTF-8 character, two bytes
        {"\xA9Q", {L, 23}, 1},                   // a stray continuation byte still counts
        {std::string("A\0B", 3), {L, 3, 25}, 1}, // NUL is a text byte without a code, not a blank
    };
    for (const Ita2Case &c : cases) {
        const Ita2Codes got = EncodeIta2(c.text);
        EXPECT_EQ(got.codes, c.codes) << c.text;
        EXPECT_EQ(got.dropped, c.dropped) << c.text;
    }
    // Escape and the unit separator share their values with the shift codes but are no shifts.
    const Ita2Codes controls = EncodeIta2("A\x1B\x1F");
    EXPECT_EQ(controls.codes, (std::vector<uint8_t>{L, 3}));
    EXPECT_EQ(controls.dropped, 2u);
}

// Half-bit levels of one character from its start edge to the next start edge.
std::string Expand(const std::vector<KeyElement> &elements)
{
    std::string halves;
    for (const KeyElement &e : elements)
        halves.append(static_cast<size_t>(std::lround(e.bits * 2)), e.level ? '1' : '0');
    return halves;
}

struct FramingCase {
    AsyncSource::Code code;
    Parity parity;
    double stop;
    std::string character;
    const char *bits; // start, data least significant first, parity, stop (one digit per bit, '.' = half)
};

std::string Halves(const char *bits)
{
    std::string halves;
    for (const char *p = bits; *p; ++p) {
        if (*p == '.')
            halves += '1';
        else if (*p != ' ')
            halves.append(2, *p);
    }
    return halves;
}

class SiggenAsyncFraming : public ::testing::TestWithParam<FramingCase> {};

// The signal itself, read back tone by tone: start bit, data least significant bit first, parity, stop length.
TEST_P(SiggenAsyncFraming, CharacterOnTheLine)
{
    const FramingCase &c = GetParam();
    const AsyncSource source(c.code, c.parity, c.stop);
    Keying keying;
    ASSERT_EQ(source.Encode(c.character + c.character, keying), 0u);
    const std::string expected = Halves(c.bits);
    const double frameBits = expected.size() / 2.0;

    GeneratorSettings s;
    s.baud = 45.45;
    s.space = 1000;
    s.mark = 2200;
    s.leadSeconds = 0.1;
    s.trailSeconds = 0.1;
    Generator generator(s);
    const std::vector<int16_t> audio = generator.Render(keying, source.IdleLevel());
    const double samplesPerBit = s.sampleRate / s.baud;
    const size_t lead = static_cast<size_t>(std::lround(s.leadSeconds * s.sampleRate));
    const std::vector<int> levels = test::ToneLevels(audio, s.sampleRate, s.space, s.mark);

    std::string read;
    for (size_t h = 0; h < expected.size(); ++h)
        read += levels[lead + static_cast<size_t>((h + 0.5) * samplesPerBit / 2)] ? '1' : '0';
    EXPECT_EQ(read, expected);

    // The second character starts exactly one frame later: the stop length is right to the sample.
    const std::vector<size_t> edges = test::FallingEdges(levels);
    ASSERT_FALSE(edges.empty());
    EXPECT_NEAR(static_cast<double>(edges.front()), lead, 2.0);
    const double secondStart = lead + frameBits * samplesPerBit;
    bool found = false;
    for (const size_t e : edges)
        found = found || std::abs(static_cast<double>(e) - secondStart) <= 2.0;
    EXPECT_TRUE(found) << "no start edge near sample " << secondStart;
    // Idle after the text again.
    EXPECT_EQ(levels[audio.size() - 10], 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, SiggenAsyncFraming,
                         ::testing::Values(
                             // ITA2 carriage return is code 2 and needs no shift; a line end is sent as CR LF.
                             FramingCase{AsyncSource::Code::kIta2, Parity::kNone, 1.5, "\r", "0 01000 1."},
                             FramingCase{AsyncSource::Code::kIta2, Parity::kEven, 1.0, "\r", "0 01000 1 1"},
                             FramingCase{AsyncSource::Code::kIta2, Parity::kOdd, 2.0, "\r", "0 01000 0 11"},
                             // IRA "C" is 0x43.
                             FramingCase{AsyncSource::Code::kIra, Parity::kNone, 1.0, "C", "0 1100001 1"},
                             FramingCase{AsyncSource::Code::kIra, Parity::kEven, 1.0, "C", "0 1100001 1 1"},
                             FramingCase{AsyncSource::Code::kIra, Parity::kOdd, 2.0, "C", "0 1100001 0 11"},
                             FramingCase{AsyncSource::Code::kAscii8, Parity::kNone, 2.0, "\xC1", "0 10000011 11"},
                             FramingCase{AsyncSource::Code::kAscii8, Parity::kOdd, 1.5, "A", "0 10000010 1 1."}));

TEST(SiggenAsyncSource, KeyingOfEachCodeAndLineEnds)
{
    struct Case {
        AsyncSource::Code code;
        const char *text;
        std::vector<KeyElement> first; // the first character's elements
        size_t characters;
        size_t dropped;
    };
    const Case cases[] = {
        // ITA2 "E" is preceded by letters shift 31: 0 11111 1.5.
        {AsyncSource::Code::kIta2, "e", {{0, 1}, {1, 6.5}}, 2, 0},
        // IRA sends lower case as it is: "a" = 0x61 = 1000011 from bit 0.
        {AsyncSource::Code::kIra, "a", {{0, 1}, {1, 1}, {0, 4}, {1, 3.5}}, 1, 0},
        // Line ends become carriage return 0x0D = 1011000 and line feed.
        {AsyncSource::Code::kIra, "\n", {{0, 1}, {1, 1}, {0, 1}, {1, 2}, {0, 3}, {1, 1.5}}, 2, 0},
        {AsyncSource::Code::kIra,
         "\xC3\xA9\xFF"
         "A",
         {{0, 1}, {1, 1}, {0, 5}, {1, 2.5}},
         1,
         2},
        {AsyncSource::Code::kAscii8, "\xFF", {{0, 1}, {1, 9.5}}, 1, 0},
    };
    for (const Case &c : cases) {
        const AsyncSource source(c.code, Parity::kNone, 1.5);
        Keying keying;
        EXPECT_EQ(source.Encode(c.text, keying), c.dropped) << c.text;
        const double frame = 1 + source.DataBits() + 1.5;
        EXPECT_DOUBLE_EQ(keying.TotalBits(), frame * c.characters) << c.text;
        ASSERT_GE(keying.Elements().size(), c.first.size()) << c.text;
        std::vector<KeyElement> first(keying.Elements().begin(), keying.Elements().begin() + c.first.size());
        EXPECT_EQ(Expand(first), Expand(c.first)) << c.text;
        EXPECT_EQ(source.IdleLevel(), 1);
    }
}

// Bit edges fall on the nearest sample of their exact time: after hundreds of characters at 45.45 baud
// (242.57 samples per bit) the start edges have not drifted.
TEST(SiggenAsyncSource, NoDriftOverALongText)
{
    const AsyncSource source(AsyncSource::Code::kIta2, Parity::kNone, 1.5);
    Keying keying;
    const size_t count = 300;
    source.Encode(std::string(count, ' '), keying);
    GeneratorSettings s;
    s.space = 1000;
    s.mark = 2200;
    s.leadSeconds = 0.05;
    Generator generator(s);
    const std::vector<int16_t> audio = generator.Render(keying, source.IdleLevel());
    ASSERT_EQ(audio.size(), generator.SampleCount(keying));
    const std::vector<size_t> edges = test::FallingEdges(test::ToneLevels(audio, s.sampleRate, s.space, s.mark));
    const double samplesPerBit = s.sampleRate / s.baud;
    const double lead = std::lround(s.leadSeconds * s.sampleRate);
    for (size_t k = 0; k < count; k += 37) {
        const double expected = lead + k * 7.5 * samplesPerBit;
        bool found = false;
        for (const size_t e : edges)
            found = found || std::abs(static_cast<double>(e) - expected) <= 2.0;
        EXPECT_TRUE(found) << "character " << k << " does not start near sample " << expected;
    }
}

} // namespace
} // namespace sirrel::siggen
