#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "async_line.h"
#include "decoders/async_decoder.h"

namespace sirrel {
namespace {

using testing::AsyncLine;

// Decoder with a sink that records every code.
struct Capture {
    AsyncDecoder decoder;
    std::vector<int> codes;

    Capture(int dataBits, int samplesPerBit, int parity = 0, int mask = 0)
    {
        decoder.SetSink([this](const DecodedCode &code) { codes.push_back(code.code); });
        decoder.SetDataBits(dataBits);
        decoder.SetSamplesPerBit(samplesPerBit);
        decoder.SetParity(parity);
        decoder.SetInversionMask(mask);
    }

    void feed(const std::vector<int16_t> &levels, size_t block)
    {
        for (size_t at = 0; at < levels.size(); at += block) {
            const size_t n = std::min(block, levels.size() - at);
            decoder.Feed(levels.data() + at, int32_t(n));
        }
    }
};

// The message's codes come out first; trailing padding makes sure its last character is framed.
std::vector<unsigned> Padded(std::vector<unsigned> message, unsigned pad, int count = 30)
{
    message.insert(message.end(), size_t(count), pad);
    return message;
}

void ExpectStartsWith(const std::vector<int> &codes, const std::vector<unsigned> &message, const char *what)
{
    ASSERT_GE(codes.size(), message.size()) << what;
    for (size_t i = 0; i < message.size(); ++i)
        EXPECT_EQ(unsigned(codes[i]), message[i]) << what << ", character " << i;
}

struct RoundTrip {
    const char *what;
    int dataBits;
    double lineSamplesPerBit; // the signal's true bit length
    int decoderSamplesPerBit;
    double stopBits;
    AsyncLine::Parity lineParity;
    int decoderParity;
    int mask;
};

const RoundTrip kRoundTrips[] = {
    {"ITA2 1.5 stop", 5, 10, 10, 1.5, AsyncLine::kNone, 0, 0},
    {"ITA2 at 50 baud, 11025 Hz", 5, 220.5, 221, 1.5, AsyncLine::kNone, 0, 0},
    {"ITA2 one stop bit, slow line", 5, 10.6, 10, 1.0, AsyncLine::kNone, 0, 0},
    {"IRA even parity", 7, 12, 12, 1.0, AsyncLine::kEven, 1, 0},
    {"IRA odd line read as even", 7, 12, 12, 1.0, AsyncLine::kOdd, 1, 0},
    {"IRA even line read as odd", 7, 12, 12, 1.0, AsyncLine::kEven, 2, 0},
    {"8 bit two stop bits", 8, 9, 9, 2.0, AsyncLine::kNone, 0, 0},
    {"ITA2 inversion mask", 5, 10, 10, 1.5, AsyncLine::kNone, 0, 0x15},
};

TEST(AsyncDecoder, RecoversCodesWholeAndInSmallBlocks)
{
    for (const RoundTrip &c : kRoundTrips) {
        const unsigned top = (1u << c.dataBits) - 1;
        std::vector<unsigned> message = {1, 0, top, 0x0A & top, 0x15 & top, 3, top - 1, 0x55 & top, 2, 0x80 & top};
        AsyncLine line(c.lineSamplesPerBit, c.dataBits, c.stopBits, c.lineParity);
        line.idle(3).characters(Padded(message, 1));
        std::vector<unsigned> expected;
        for (unsigned code : message)
            expected.push_back((code ^ unsigned(c.mask)) & top);

        for (size_t block : {size_t(1) << 20, size_t(37), size_t(1)}) {
            Capture capture(c.dataBits, c.decoderSamplesPerBit, c.decoderParity, c.mask);
            capture.feed(line.levels(), block);
            ExpectStartsWith(capture.codes, expected, c.what);
        }
    }
}

TEST(AsyncDecoder, InvertedLineGivesTheSameCodes)
{
    const std::vector<unsigned> message = {31, 1, 27, 10, 0, 4, 17, 30, 8, 2};
    AsyncLine line(10, 5);
    line.idle(2).characters(Padded(message, 31));
    Capture upright(5, 10), inverted(5, 10);
    upright.feed(line.levels(), 64);
    inverted.feed(line.inverted(), 64);
    ExpectStartsWith(upright.codes, message, "upright");
    EXPECT_EQ(upright.codes, inverted.codes);
}

// Characters of code 0 are two runs each: start and data at the start level, then the stop level. Their
// length from one start edge to the next is what the framing window judges. Out of the window, everything
// is dropped except what falls into the short last group at the end of the runs.
TEST(AsyncDecoder, CharacterWindowIs69To81ForTenSamplesFiveBits)
{
    const struct {
        int length;
        bool decodes;
    } cases[] = {{68, false}, {69, true}, {75, true}, {81, true}, {82, false}};
    for (const auto &c : cases) {
        AsyncLine line(10, 5);
        line.idle(3);
        for (int i = 0; i < 30; ++i)
            line.samples(0, 60).samples(1, c.length - 60);
        Capture capture(5, 10);
        capture.feed(line.levels(), line.levels().size());
        if (c.decodes) {
            EXPECT_GE(capture.codes.size(), 25u) << c.length;
            EXPECT_EQ(std::count(capture.codes.begin(), capture.codes.end(), 0), long(capture.codes.size()));
        } else {
            EXPECT_LE(capture.codes.size(), 1u) << c.length;
        }
    }
}

TEST(AsyncDecoder, ParityWidensTheWindowByOneBit)
{
    // Start, five data bits, parity and two stop bits: 90 samples, beyond 69..81 but inside 79..91.
    AsyncLine line(10, 5, 2.0, AsyncLine::kEven);
    line.idle(3).characters(Padded({1, 2, 3}, 31));
    Capture withParity(5, 10, 1), without(5, 10, 0);
    withParity.feed(line.levels(), 512);
    without.feed(line.levels(), 512);
    ExpectStartsWith(withParity.codes, {1, 2, 3}, "parity");
    EXPECT_LE(without.codes.size(), 1u);
}

TEST(AsyncDecoder, WaitsForFourDPlusTwentyRuns)
{
    for (int dataBits : {5, 7, 8}) {
        const int needed = 4 * dataBits + 20;
        // Idle run, then two runs per character of code 0: an odd count stops on a stop-level run.
        AsyncLine line(10, dataBits, 1.0);
        line.idle(2);
        for (int i = 0; i < (needed - 1) / 2; ++i)
            line.character(0);
        Capture capture(dataBits, 10);
        capture.feed(line.levels(), line.levels().size());
        EXPECT_EQ(capture.decoder.RunCount(), needed - 1) << dataBits;
        EXPECT_TRUE(capture.codes.empty()) << dataBits;

        const int16_t start = 0;
        capture.decoder.Feed(&start, 1);
        EXPECT_FALSE(capture.codes.empty()) << dataBits;
        EXPECT_LT(capture.decoder.RunCount(), needed) << "decoded runs are dropped";
    }
}

TEST(AsyncDecoder, GlitchesBeforeTheFirstCharacterAreDropped)
{
    const std::vector<unsigned> message = {20, 5, 12, 12, 24};
    AsyncLine line(10, 5);
    line.samples(1, 100).samples(0, 3).samples(1, 50).samples(0, 2).samples(1, 200).characters(Padded(message, 31));
    Capture capture(5, 10);
    capture.feed(line.levels(), 2048);
    ExpectStartsWith(capture.codes, message, "after glitches");
}

struct PauseCase {
    const char *what;
    int dataBits;
    double samplesPerBit;
    double stopBits;
    AsyncLine::Parity parity;
    std::vector<unsigned> first;
    std::vector<unsigned> second;
};

// Text, a pause of idle line, more text, a pause: every character of both comes out in order, each text as
// soon as its pause is longer than a character, whether or not it filled the runs the framing waits for.
TEST(AsyncDecoder, APauseReleasesTheCharactersStillWaitingForMoreRuns)
{
    const std::vector<unsigned> digits = {27, 22, 23, 19, 1, 10, 16, 21, 7, 6, 24};
    const PauseCase cases[] = {
        {"ITA2 text ending in ones", 5, 220.5, 1.5, AsyncLine::kNone, {20, 5, 12, 12, 24}, digits},
        {"ITA2 longer than the run window", 5, 10, 1.5, AsyncLine::kNone, Padded(digits, 1, 12), digits},
        {"ITA2 ending in a letters shift", 5, 10, 1.0, AsyncLine::kNone, {31, 1, 31}, {31, 2}},
        {"IRA with parity", 7, 12, 1.0, AsyncLine::kOdd, {0x51, 0x7F, 0x30, 0x39}, {0x41, 0x00, 0x0D}},
        {"8 bit", 8, 9, 2.0, AsyncLine::kNone, {0xFF, 0x80, 0x01}, {0x55, 0xAA}},
    };
    for (const PauseCase &c : cases) {
        AsyncLine line(c.samplesPerBit, c.dataBits, c.stopBits, c.parity);
        line.idle(40).characters(c.first);
        const size_t firstEnds = line.levels().size();
        line.idle(40).characters(c.second).idle(20);
        std::vector<int> expected(c.first.begin(), c.first.end());
        expected.insert(expected.end(), c.second.begin(), c.second.end());
        // The pause is longer than a character from this sample on.
        const size_t released = firstEnds + size_t((c.dataBits + 5) * c.samplesPerBit);
        for (bool inverted : {false, true}) {
            const std::vector<int16_t> levels = inverted ? line.inverted() : line.levels();
            for (size_t block : {size_t(1) << 20, size_t(2048), size_t(1)}) {
                Capture capture(c.dataBits, int(c.samplesPerBit + 0.5), c.parity == AsyncLine::kNone ? 0 : 1);
                capture.feed({levels.begin(), levels.begin() + long(released)}, block);
                EXPECT_EQ(capture.codes, std::vector<int>(c.first.begin(), c.first.end()))
                    << c.what << ", before the second text, block " << block << (inverted ? ", inverted" : "");
                capture.feed({levels.begin() + long(released), levels.end()}, block);
                EXPECT_EQ(capture.codes, expected) << c.what << ", block " << block << (inverted ? ", inverted" : "");
            }
        }
    }
}

// Noise that ends in a pause is no text: neither glitches nor a long break at the start level make characters,
// at the start of the line or after text, and the text after them comes out whole.
TEST(AsyncDecoder, NoiseBeforeAPauseMakesNoCharacters)
{
    const std::vector<unsigned> text = {20, 5, 12, 12, 24};
    for (bool textFirst : {false, true}) {
        AsyncLine line(10, 5);
        line.idle(10);
        if (textFirst)
            line.characters(text).idle(20);
        line.samples(0, 3).samples(1, 50).samples(0, 2).samples(1, 200);
        line.samples(0, 300).idle(20).characters(text).idle(20);
        Capture capture(5, 10);
        capture.feed(line.levels(), 64);
        std::vector<int> expected(text.begin(), text.end());
        if (textFirst)
            expected.insert(expected.end(), text.begin(), text.end());
        EXPECT_EQ(capture.codes, expected) << (textFirst ? "after text" : "at the start");
    }
}

TEST(AsyncDecoder, FullRunListLosesItsOldestRun)
{
    // Without a sensible bit length nothing is framed, so every run is kept until the list is full.
    Capture capture(5, 0);
    std::vector<int16_t> levels;
    for (int i = 0; i < 300; ++i)
        levels.insert(levels.end(), size_t(i + 1), int16_t(i & 1));
    capture.feed(levels, levels.size());
    ASSERT_EQ(capture.decoder.RunCount(), AsyncDecoder::kMaxRuns);
    EXPECT_EQ(capture.decoder.RunAt(0).length, 300 - AsyncDecoder::kMaxRuns + 1);
    EXPECT_EQ(capture.decoder.RunAt(AsyncDecoder::kMaxRuns - 1).length, 300);
    EXPECT_TRUE(capture.codes.empty());
}

} // namespace
} // namespace sirrel
