#include <gtest/gtest.h>

#include "protocols/decoder_params.h"

namespace sirrel {
namespace {

TEST(DecoderParams, FortyBytesLittleEndian)
{
    DecoderParams p;
    p.mode = 7;
    p.samplesPerBit = 114.84375;
    p.polarity = 2;
    p.inversionMask = 0xA5;
    p.SetWords({4, 8, 1, -1, 0x01020304});
    uint8_t bytes[DecoderParams::kSize + 1];
    bytes[40] = 0xEE;
    p.Store(bytes);
    EXPECT_EQ(bytes[0], 7);
    EXPECT_EQ(bytes[12], 2);
    EXPECT_EQ(bytes[16], 0xA5);
    EXPECT_EQ(bytes[20], 4);
    EXPECT_EQ(bytes[32], 0xFF);
    EXPECT_EQ(bytes[36], 0x04);
    EXPECT_EQ(bytes[39], 0x01);
    EXPECT_EQ(bytes[40], 0xEE) << "wrote past the block";
    DecoderParams q = DecoderParams::Load(bytes);
    EXPECT_EQ(q.samplesPerBit, 114.84375);
    EXPECT_EQ(q.Words(), p.Words());
}

struct FillCase {
    const char *what;
    void (*set)(SettingsModel &);
    int32_t mode;
    std::array<int32_t, 5> words;
    bool roundTrips = true; // apply then fill gives the same words
};

// Words not used by a mode must stay as they were: start from a marker value.
const FillCase kFillCases[] = {
    {"parity even",
     [](SettingsModel &s) {
         s.mode = kModeIta2;
         s.parityIndex = 1;
     },
     0,
     {1, 9, 9, 9, 9}},
    {"parity odd from other index",
     [](SettingsModel &s) {
         s.mode = kModeAscii8;
         s.parityIndex = 5;
     },
     8,
     {2, 9, 9, 9, 9}},
    {"arq truncates",
     [](SettingsModel &s) {
         s.mode = kModeArq;
         s.arqCycleLength = 45.9;
         s.arqCharsInCycle = 3;
         s.arqInvertingRate = 0;
         s.arqRepetitionCycle = 4.2;
         s.arqCharsetIndex = 2;
     },
     2,
     {45, 3, 0, 4, 2}},
    {"packet crc ignore",
     [](SettingsModel &s) {
         s.mode = kModePacket;
         s.packetCrcIgnore = true;
     },
     3,
     {1, 9, 9, 9, 9}},
    {"raw bits", [](SettingsModel &s) { s.mode = kModeRawBits; }, 4, {9, 9, 9, 9, 9}},
    {"fec",
     [](SettingsModel &s) {
         s.mode = kModeFec;
         s.fecCharsInCycle = 5;
         s.fecInvertingRate = 2;
         s.fecCharsetIndex = 1;
     },
     5,
     {5, 2, 1, 9, 9}},
    {"cis frame 28",
     [](SettingsModel &s) {
         s.mode = kModeCis;
         s.cisFrameSizeIndex = 3;
         s.cisMinSyncFrames = 15;
         s.cisMaxErrors = 20;
     },
     6,
     {28, 15, 20, 9, 9}},
    {"cis no frame size",
     [](SettingsModel &s) {
         s.mode = kModeCis;
         s.cisFrameSizeIndex = 7;
     },
     6,
     {0, 15, 20, 9, 9},
     false},
    {"arqm four channels",
     [](SettingsModel &s) {
         s.mode = kModeArqm;
         s.arqmChannelsIndex = 2;
         s.arqmRepetitionCycle = 8;
         s.arqmVersionIndex = 1;
     },
     7,
     {4, 8, 1, 9, 9}},
};

TEST(DecoderParams, FillFromControlsPerMode)
{
    for (const FillCase &c : kFillCases) {
        SettingsModel s;
        c.set(s);
        DecoderParams p;
        p.samplesPerBit = 3.5;
        p.SetWords({9, 9, 9, 9, 9});
        FillDecoderParams(s, p);
        EXPECT_EQ(p.mode, c.mode) << c.what;
        EXPECT_EQ(p.Words(), c.words) << c.what;
        EXPECT_EQ(p.samplesPerBit, 3.5) << c.what << ": fill must not touch samplesPerBit";

        if (!c.roundTrips)
            continue;
        SettingsModel back;
        ApplyDecoderParams(back, p);
        DecoderParams again;
        again.SetWords({9, 9, 9, 9, 9});
        FillDecoderParams(back, again);
        EXPECT_EQ(again.Words(), p.Words()) << c.what << ": apply then fill";
    }
}

TEST(DecoderParams, ApplyKeepsOtherModesAndIgnoresUnknownMode)
{
    SettingsModel s;
    s.arqCycleLength = 70;
    DecoderParams p;
    p.mode = kModeFec;
    p.polarity = 2;
    p.inversionMask = 0x1FF;
    p.SetWords({5, 0, 0, 0, 0});
    ApplyDecoderParams(s, p);
    EXPECT_EQ(s.mode, kModeFec);
    EXPECT_EQ(s.polarity, 2);
    EXPECT_EQ(s.inversionMask, 0xFF) << "eight boxes only";
    EXPECT_EQ(s.fecCharsInCycle, 5);
    EXPECT_EQ(s.arqCycleLength, 70);

    p.mode = kModeCis;
    p.SetWords({0, 1, 1, 0, 0});
    ApplyDecoderParams(s, p);
    EXPECT_EQ(s.cisFrameSizeIndex, 0) << "an unknown frame size selects the first entry";

    p.mode = 12;
    ApplyDecoderParams(s, p);
    EXPECT_EQ(s.mode, kModeCis) << "a mode the list does not hold selects nothing";
}

// Each mode's named view names the words at their stored offsets, and survives the stored block.
TEST(DecoderParams, NamedViewsRoundTripThroughTheStoredBlock)
{
    const struct {
        const char *what;
        void (*set)(DecoderParams &);
        ParamWords words; // as stored, the marker 9 where the mode writes nothing
        bool (*check)(const DecoderParams &);
    } cases[] = {
        {"async",
         [](DecoderParams &p) { p.SetAsync({2}); },
         {2, 9, 9, 9, 9},
         [](const DecoderParams &p) { return p.Async().parity == 2; }},
        {"arq",
         [](DecoderParams &p) {
             p.SetArq({45, 3, 7, 4, 2});
         },
         {45, 3, 7, 4, 2},
         [](const DecoderParams &p) {
             const ArqParams a = p.Arq();
             return a.cycleLength == 45 && a.charsInCycle == 3 && a.invertingRate == 7 && a.repetitionCycle == 4 &&
                    a.charset == 2;
         }},
        {"packet",
         [](DecoderParams &p) { p.SetPacket({1}); },
         {1, 9, 9, 9, 9},
         [](const DecoderParams &p) { return p.Packet().crcIgnore == 1; }},
        {"fec",
         [](DecoderParams &p) {
             p.SetFec({5, 2, 1});
         },
         {5, 2, 1, 9, 9},
         [](const DecoderParams &p) {
             const FecParams f = p.Fec();
             return f.charsInCycle == 5 && f.invertingRate == 2 && f.charset == 1;
         }},
        {"cis",
         [](DecoderParams &p) {
             p.SetCis({11, 15, 20});
         },
         {11, 15, 20, 9, 9},
         [](const DecoderParams &p) {
             const CisParams c = p.Cis();
             return c.frameSize == 11 && c.minSyncFrames == 15 && c.maxErrors == 20;
         }},
        {"arqm",
         [](DecoderParams &p) {
             p.SetArqm({4, 255, 1});
         },
         {4, 255, 1, 9, 9},
         [](const DecoderParams &p) {
             const ArqmParams a = p.Arqm();
             return a.channels == 4 && a.repetitionCycle == 255 && a.version == 1;
         }},
    };
    for (const auto &c : cases) {
        DecoderParams p;
        p.SetWords({9, 9, 9, 9, 9});
        c.set(p);
        EXPECT_EQ(p.Words(), c.words) << c.what;
        uint8_t bytes[DecoderParams::kSize];
        p.Store(bytes);
        for (size_t i = 0; i < c.words.size(); ++i)
            EXPECT_EQ(int32_t(bytes[20 + 4 * i]), c.words[i] & 0xFF) << c.what << " word " << i;
        const DecoderParams back = DecoderParams::Load(bytes);
        EXPECT_EQ(back.Words(), c.words) << c.what;
        EXPECT_TRUE(c.check(back)) << c.what;
    }
}

} // namespace
} // namespace sirrel
