#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoders/character_sets.h"
#include "output/data_output_window.h"

namespace sirrel {
namespace {

// The sink on its own: codes go in as a decoder would deliver them in the given mode.
struct Sink {
    SettingsModel settings;
    DataOutputWindow window{settings};
    std::string text;

    explicit Sink(int32_t mode, int32_t charset = 0, int32_t repetitionSkip = 1)
    {
        window.currentMode = mode;
        window.statistics().setMode(mode);
        window.charsetIndex = charset;
        window.repetitionSkip = repetitionSkip;
        window.setCharacterListener([](void *context, int32_t, uint8_t c, uint32_t) {
            static_cast<Sink *>(context)->text.push_back(char(c));
        }, this);
    }

    Sink &put(const std::vector<int> &codes)
    {
        for (int code : codes)
            DecoderSink(&window, nullptr, int8_t(code));
        return *this;
    }

    double count(uint32_t entry) { return window.statistics().counter(entry); }
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
        {kModeArq, kCharsetCcir476, 4, 0x19, "E"},  // 0x19, three discarded, the fourth shown
        {kModeArq, kCharsetIta2P, 2, 0x07, "EEE"},  // one discarded
        {kModeFec, kCharsetIta3, 1, 0x16, "EEEE"},  // FEC discards nothing
        {kModeArqm, kCharsetIta3, 3, 0x16, "EE"},   // ARQ-M: repetition cycle 4 discards two
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

TEST(DecoderSink, PacketTextCountsAndTranslatesOnlyTheInformationField)
{
    Sink packet(kModePacket);
    packet.settings.translation['a'] = 'A';
    HdlcDeframer &fields = packet.window.hdlcDeframer();
    fields.fieldClass = 1;
    PacketTextSink(&packet.window, &fields, "ab");
    fields.fieldClass = kFieldInformation;
    PacketTextSink(&packet.window, &fields, "ab");
    EXPECT_EQ(packet.text, "abAb");
    EXPECT_EQ(packet.count('a'), 1.0);
    EXPECT_EQ(packet.count('b'), 1.0);
}

} // namespace
} // namespace sirrel
