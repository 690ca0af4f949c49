#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoders/character_sets.h"
#include "decoders/decoder_sink.h"
#include "output/data_output_window.h"

namespace sirrel {
namespace {

// The sink on its own: codes go in as a decoder would deliver them in the given mode.
struct Sink {
    SettingsModel settings;
    DataOutputWindow window;
    DecoderSink sink{settings, window};
    std::string text;
    std::vector<uint32_t> colours;

    explicit Sink(int32_t mode, int32_t charset = 0, int32_t repetitionSkip = 1)
    {
        sink.BeginBlock(mode);
        sink.SetCharset(charset);
        sink.SetRepetitionSkip(repetitionSkip);
        window.SetCharacterListener([this](int32_t, uint8_t c, uint32_t colour) {
            text.push_back(char(c));
            colours.push_back(colour);
        });
    }

    Sink &put(const std::vector<int> &codes, FieldClass field = FieldClass::kText, bool checkGood = true)
    {
        for (int code : codes)
            sink.Take({0, uint8_t(code), field, checkGood});
        return *this;
    }

    double count(uint32_t entry) { return window.Statistics().Counter(entry); }
};

struct SinkCase {
    const char *what;
    int32_t mode;
    int32_t charset;
    std::vector<int> codes;
    std::string shown;
};

// ITA2-P data code of an ITA2 code: the code in bits 1..5, bit 6 making the count of one-bits odd.
int Ita2P(int ita2)
{
    const int code = ita2 << 1;
    return __builtin_popcount(unsigned(code)) % 2 ? code : code | 0x40;
}

const SinkCase kSinkCases[] = {
    {"ITA2 shifts", kModeIta2, 0, {27, 1, 31, 1}, "3E"},
    {"ITA2 blank dropped, CR and LF kept", kModeIta2, 0, {0, 20, 2, 8}, "H\r\n"},
    {"ITA2 figures 11 is a space", kModeIta2, 0, {27, 11, 26, 29}, " &/"},
    {"CIS like ITA2", kModeCis, 0, {17, 27, 17}, "Z+"},
    {"IRA drops NUL", kModeIra, 0, {0, 'A', 13}, "A\r"},
    {"ASCII 8 keeps NUL and high codes", kModeAscii8, 0, {0, 'A', 0xE9}, std::string("\0A\xE9", 3)},
    {"CCIR476 letters and figures", kModeArq, kCharsetCcir476, {0x29, 0x1C, 0x49, 0x29, 0x1C, 0x25, 0x15}, "EZ3+"},
    {"CCIR476 unknown code shows its low bits", kModeArq, kCharsetCcir476, {0x03}, "A"},
    {"CCIR476 service codes are never shown", kModeFec, kCharsetCcir476, {0x70, 0x4C, 0x19, 0x29}, "E"},
    {"ITA3 table", kModeFec, kCharsetIta3, {0x0E, 0x2C, 0x32, 0x0E}, "EA3"},
    {"ITA3 0x70 is code 16", kModeArq, kCharsetIta3, {0x70, 0x32, 0x70}, "T5"},
    {"ITA2-P", kModeArq, kCharsetIta2P, {Ita2P(1), Ita2P(3), Ita2P(27), Ita2P(1), 0x31, 0x49}, "EA3"},
    {"unknown charset passes codes", kModeArq, 5, {1, 0x50}, "E"},
    {"ARQ-M uses ITA3", kModeArqm, 0, {0x0E, 0x16, 0x4A, 0x1A}, "E"},
    {"packet text untouched", kModePacket, 0, {'a', 0, 10}, std::string("a\0\n", 3)},
};

TEST(DecoderSink, TranslatesCodesPerMode)
{
    for (const SinkCase &c : kSinkCases) {
        Sink sink(c.mode, c.charset);
        sink.put(c.codes);
        EXPECT_EQ(sink.text, c.shown) << c.what;
    }
}

TEST(DecoderSink, CountsWhatItReceivesUnderTheDecodedValue)
{
    Sink ita2(kModeIta2);
    ita2.put({27, 1, 31, 1, 0});
    EXPECT_EQ(ita2.count(27), 1.0);
    EXPECT_EQ(ita2.count(1 + 32), 1.0) << "figures 1 counts under 33";
    EXPECT_EQ(ita2.count(1), 1.0);
    EXPECT_EQ(ita2.count(0), 1.0) << "the blank is counted, then dropped";

    Sink ira(kModeIra);
    ira.put({0, 'A'});
    EXPECT_EQ(ira.count(0), 0.0) << "mode 1 drops NUL before counting";
    Sink ascii8(kModeAscii8);
    ascii8.put({0, 'A', 0xC1});
    EXPECT_EQ(ascii8.count(0), 1.0);
    EXPECT_EQ(ascii8.count('A'), 1.0);

    Sink arq(kModeArq, kCharsetCcir476);
    arq.put({0x70, 0x4C, 0x29});
    EXPECT_EQ(arq.count(kMarkerService1), 1.0);
    EXPECT_EQ(arq.count(kMarkerService2), 1.0);
    EXPECT_EQ(arq.count(1), 1.0);
}

TEST(DecoderSink, RepetitionRequestDiscardsTheNextCharacters)
{
    const struct {
        int32_t mode, charset, skip;
        int request;
        std::string shown;
    } cases[] = {
        {kModeArq, kCharsetCcir476, 4, 0x19, "E"}, // 0x19, three discarded, the fourth shown
        {kModeArq, kCharsetIta2P, 2, 0x07, "EEE"}, // one discarded
        {kModeFec, kCharsetIta3, 1, 0x16, "EEEE"}, // FEC discards nothing
        {kModeArqm, kCharsetIta3, 3, 0x16, "EE"},  // ARQ-M: repetition cycle 4 discards two
    };
    for (const auto &c : cases) {
        const int e = c.charset == kCharsetCcir476 ? 0x29 : c.charset == kCharsetIta2P ? Ita2P(1) : 0x0E;
        Sink sink(c.mode, c.charset, c.skip);
        sink.put({c.request, e, e, e, e});
        EXPECT_EQ(sink.text, c.shown) << c.mode << "/" << c.skip;
        EXPECT_EQ(sink.count(kMarkerRepetition), 1.0);
        EXPECT_EQ(sink.count(1), double(c.shown.size())) << "discarded codes are not counted";
    }
}

TEST(DecoderSink, UserTableSeesTheCharacterAndDrivesShifts)
{
    Sink ita2(kModeIta2);
    ita2.settings.translation['E'] = 'e';
    ita2.settings.translation['T'] = 27; // a table may turn a letter into a figures shift
    ita2.put({1, 16, 1});
    EXPECT_EQ(ita2.text, "e3");
    EXPECT_TRUE(ita2.settings.numbers[0]);

    Sink ascii8(kModeAscii8);
    ascii8.settings.translation[0xE9] = 'e';
    ascii8.settings.translation[27] = 'x';
    ascii8.put({0xE9, 27});
    EXPECT_EQ(ascii8.text, "ex") << "codes above 127 index the table by their byte value; no shifts in mode 8";
}

TEST(DecoderSink, UnshiftOnSpaceReturnsToLetters)
{
    struct Case {
        const char *what;
        int32_t mode;
        int32_t charset;
        bool unshift;
        std::vector<int> codes;
        std::string shown;
    };
    const Case cases[] = {
        {"off: figures hold past a space", kModeIta2, 0, false, {27, 1, 4, 1}, "3 3"},
        {"on: letters after a space", kModeIta2, 0, true, {27, 1, 4, 1}, "3 E"},
        {"on: figures 11 shows a space but is no space", kModeIta2, 0, true, {27, 11, 1}, " 3"},
        {"on: CIS", kModeCis, 0, true, {27, 1, 4, 1}, "3 E"},
        {"on: synchronous ITA2-P", kModeArq, kCharsetIta2P, true, {Ita2P(27), Ita2P(1), Ita2P(4), Ita2P(1)}, "3 E"},
        {"on: ASCII has no case", kModeIra, 0, true, {'1', ' ', 'E'}, "1 E"},
    };
    for (const Case &c : cases) {
        Sink sink(c.mode, c.charset);
        sink.settings.unshiftOnSpace = c.unshift;
        sink.put(c.codes);
        EXPECT_EQ(sink.text, c.shown) << c.what;
    }
}

TEST(DecoderSink, PacketTextCountsAndTranslatesOnlyTheInformationField)
{
    Sink packet(kModePacket);
    packet.settings.translation['a'] = 'A';
    packet.put({'a', 'b'}, FieldClass::kAddress);
    packet.put({'a', 'b'}, FieldClass::kInformation);
    EXPECT_EQ(packet.text, "abAb");
    EXPECT_EQ(packet.count('a'), 1.0);
    EXPECT_EQ(packet.count('b'), 1.0);
}

// Each packet field class has its colour; the address follows the check result; other modes use the text colour.
TEST(DecoderSink, ColourFollowsTheFieldClass)
{
    const DecoderColors colors{1, 2, 3, 4, 5, 6, 7, 8, 9};
    const struct {
        FieldClass field;
        bool checkGood;
        uint32_t colour;
    } cases[] = {
        {FieldClass::kAddress, true, colors.l2CrcOk},
        {FieldClass::kAddress, false, colors.l2CrcFailed},
        {FieldClass::kFrameType, true, colors.l2FrameType},
        {FieldClass::kCrcError, false, colors.text},
        {FieldClass::kPid, true, colors.l2FramePid},
        {FieldClass::kLayer3Header, true, colors.l3Header},
        {FieldClass::kLayer4Header, true, colors.l4Header},
        {FieldClass::kInformation, false, colors.info},
        {FieldClass::kText, true, colors.text},
    };
    for (const auto &c : cases) {
        Sink packet(kModePacket);
        packet.window.SetColors(colors);
        packet.put({'x'}, c.field, c.checkGood);
        ASSERT_EQ(packet.colours.size(), 1u);
        EXPECT_EQ(packet.colours[0], c.colour) << int(c.field) << " " << c.checkGood;
    }
}

// ARQ-M codes land on the channel they name, each with its own shift state and suppression.
TEST(DecoderSink, ChannelsKeepTheirOwnShiftStateAndSuppression)
{
    Sink arqm(kModeArqm, kCharsetIta3, 2);
    std::vector<std::pair<int32_t, uint8_t>> written;
    arqm.window.SetCharacterListener([&](int32_t channel, uint8_t c, uint32_t) { written.push_back({channel, c}); });
    // ITA3: 0x0E "E", 0x16 repetition request; on channel 1 the request drops one character, channel 0 goes on.
    for (const auto &[channel, code] : std::vector<std::pair<int32_t, int>>{{1, 0x16}, {0, 0x0E}, {1, 0x0E}, {1, 0x0E}})
        arqm.sink.Take({channel, uint8_t(code)});
    EXPECT_EQ(written, (std::vector<std::pair<int32_t, uint8_t>>{{0, 'E'}, {1, 'E'}}));
}

TEST(DecoderSink, ResetReturnsEveryChannelToLettersAndClearsStatistics)
{
    Sink ita2(kModeIta2);
    ita2.put({27, 1});
    ASSERT_TRUE(ita2.settings.numbers[0]);
    ita2.settings.numbers[3] = true;
    ASSERT_EQ(ita2.count(33), 1.0);
    ita2.sink.Reset();
    for (bool numbers : ita2.settings.numbers)
        EXPECT_FALSE(numbers);
    EXPECT_EQ(ita2.count(33), 0.0);
    EXPECT_EQ(ita2.window.View(0).LineText(0), "3") << "reset leaves the text";
    ita2.put({1});
    EXPECT_EQ(ita2.text, "3E");
}

TEST(DecoderSink, StatisticsSizeFollowsTheMode)
{
    const struct {
        int32_t mode;
        uint32_t size;
    } cases[] = {{kModeIta2, 64}, {kModeIra, 128}, {kModeArq, 67},  {kModePacket, 256}, {kModeRawBits, 2},
                 {kModeFec, 67},  {kModeCis, 64},  {kModeArqm, 67}, {kModeAscii8, 128}};
    for (const auto &c : cases) {
        Sink s(kModePacket);
        s.sink.BeginBlock(c.mode);
        EXPECT_EQ(s.window.Statistics().Size(), c.size) << c.mode;
    }
    Sink s(kModeIta2);
    s.sink.BeginBlock(12);
    EXPECT_EQ(s.window.Statistics().Size(), 64u) << "a number that is no mode keeps the size";
}

TEST(DecoderSink, StatisticsLabelsShowWhatTheSinkWouldShow)
{
    Sink s(kModeIta2);
    s.settings.translation['A'] = 'a';
    s.put({2, 2, 2});
    EXPECT_EQ(s.sink.StatisticsLabel(2), "<CR> - 0x02 - 3");
    EXPECT_EQ(s.sink.StatisticsLabel(8), "<LF> - 0x08 - 0");
    EXPECT_EQ(s.sink.StatisticsLabel(33), "3 - 0x21 - 0");
    EXPECT_EQ(s.sink.StatisticsLabel(0), " - 0x00 - 0");

    s.sink.BeginBlock(kModeAscii8);
    s.put({13});
    EXPECT_EQ(s.sink.StatisticsLabel(13), "<CR> - 0x0D - 1");
    EXPECT_EQ(s.sink.StatisticsLabel('A'), "a - 0x41 - 0");

    s.sink.BeginBlock(kModeArq);
    s.sink.SetCharset(kCharsetCcir476);
    s.put({0x70});
    EXPECT_EQ(s.sink.StatisticsLabel(0x41), " - 0x41 - 1") << "service markers have no display text";
    EXPECT_EQ(s.sink.StatisticsLabel(3), "a - 0x03 - 0") << "ITA2 'A', then the user table";

    s.sink.BeginBlock(kModeRawBits);
    EXPECT_EQ(s.sink.StatisticsLabel(1), "1 - 0x01 - 0");
}

} // namespace
} // namespace sirrel
