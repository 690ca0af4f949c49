#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "decoders/character_sets.h"
#include "decoders/dispatch.h"
#include "decoders/fec_decoder.h"
#include "sync_blocks.h"

namespace sirrel {
namespace {

using namespace sirrel::testing;

struct FecFixture : ::testing::Test {
    FecDecoder decoder;
    CodeRecorder out;

    void SetUp() override { out.attach(decoder); }
};

TEST_F(FecFixture, StartsWithBlocksOfThreeAndNoGap)
{
    EXPECT_EQ(decoder.CharsInCycle(), 3);
    EXPECT_EQ(decoder.CycleLength(), 21);
    decoder.SetCharsInCycle(5);
    EXPECT_EQ(decoder.CycleLength(), 35);
    decoder.SetCharsInCycle(2); // shrinks with the block, unlike the ARQ cycle
    EXPECT_EQ(decoder.CycleLength(), 14);
}

TEST_F(FecFixture, TwoCharacterBlocksShowOneCharacterEach)
{
    decoder.SetCharsInCycle(2);
    const std::vector<int> sent = {kE, kA, kS, kI, kU, kD, kR, kN};
    for (size_t block = 0; block < sent.size() / 2; ++block) {
        const size_t before = out.codes.size();
        Feed(decoder, CodeBits({sent[2 * block], sent[2 * block + 1]}));
        EXPECT_EQ(out.codes.size() - before, 1u) << "block " << block;
        EXPECT_EQ(decoder.GapCount(), 0);
    }
    EXPECT_EQ(out.codes, (std::vector<int>{kE, kS, kU, kR}));
}

TEST_F(FecFixture, AlternationRunsAcrossBlocksAndLossOfSync)
{
    // Blocks of three: first and third of one block, second of the next.
    Feed(decoder, CodeBits({kE, kA, kS, kI, kU, kD}));
    EXPECT_EQ(out.codes, (std::vector<int>{kE, kS, kU}));

    // A bit error in a character loses the windows that hold it; the search takes up the next character
    // boundary, and the count of delivered codes alone decides what is shown next.
    Bits damaged = CodeBits({kY, kW, kE});
    damaged[3] ^= 1;
    Feed(decoder, Concat({damaged, CodeBits({kB, kT, kN})}));
    EXPECT_EQ(out.codes, (std::vector<int>{kE, kS, kU, kW, kB}));
    EXPECT_EQ(decoder.Alternate(), 1);
}

// SITOR-B through the dispatcher: every character twice, the repetition four characters after the first
// sending, in blocks of five. The shown copies spell the text whichever copy the alternation picks.
TEST(FecDispatch, InterleavedCopiesGiveTheText)
{
    SettingsModel settings;
    DataOutputWindow window;
    Dispatcher dispatcher(settings, window);
    std::string text;
    window.SetCharacterListener([&text](int32_t, uint8_t c, uint32_t) { text.push_back(char(c)); });

    const std::vector<int> message = {kE, kA, kS, kT, kO, kN, kRq, kS, kU, kN};
    std::vector<int> slots;
    const int lead = 3; // phasing pairs before the first character
    for (int k = -lead; k < int(message.size()) + 3; ++k) {
        const int dx = k >= 0 && k < int(message.size()) ? message[size_t(k)] : k < 0 ? kBeta : kAlpha;
        const int rxIndex = k - 2;
        const int rx = rxIndex >= 0 && rxIndex < int(message.size()) ? message[size_t(rxIndex)] : kAlpha;
        slots.push_back(dx);
        slots.push_back(rx);
    }
    DecoderParams params;
    params.mode = kModeFec;
    params.samplesPerBit = 10;
    params.SetFec({5, 0, 0});
    const std::vector<int16_t> levels = Levels(CodeBits(slots), 10);
    dispatcher.Dispatch(levels.data(), int32_t(levels.size()), params);
    // The repetition request is counted but suppresses nothing in this mode.
    EXPECT_EQ(text, "EASTONSUN");
    EXPECT_EQ(window.Statistics().Counter(0x40), 1.0);
}

// SITOR-B slots: `lead` phasing pairs (phasing signal 1 in first-sending positions, 2 in repetition positions),
// the message with each repetition five slots after its first sending, and alpha at the end.
std::vector<int> FecSlots(const std::vector<int> &message, int lead, int beta = kBeta, int alpha = kAlpha)
{
    std::vector<int> slots;
    const int count = int(message.size());
    for (int k = -lead; k < count + 3; ++k) {
        const int rx = k - 2;
        slots.push_back(k < 0 ? beta : k < count ? message[size_t(k)] : alpha);
        slots.push_back(rx >= 0 && rx < count ? message[size_t(rx)] : alpha);
    }
    return slots;
}

// Slot of the first sending and of the repetition of message character k.
size_t FirstSlot(int lead, int k) { return size_t(2 * (lead + k)); }
size_t RepeatSlot(int lead, int k) { return FirstSlot(lead, k) + 5; }

// One bit error in a slot: the code fails the three-of-seven check.
void Damage(Bits &bits, size_t slot, int bit = 2) { bits[slot * 7 + size_t(bit)] ^= 1; }

// The delivered codes without phasing and end signals.
std::vector<int> Text(const std::vector<int> &codes)
{
    std::vector<int> text;
    for (const int code : codes)
        if (code != kAlpha && code != kBeta)
            text.push_back(code);
    return text;
}

constexpr int kErrorMark = 0x04;
const std::vector<int> kMessage = {kE, kA, kS, kT, kO, kN, kI, kU, kD, kR, kW, kB, kY, kE, kS, kT};

struct FecCorrectionFixture : FecFixture {
    void SetUp() override
    {
        FecFixture::SetUp();
        decoder.SetCharsInCycle(5);
        decoder.SetCorrection(true);
    }
    std::vector<int> Decode(const Bits &bits)
    {
        Feed(decoder, bits);
        decoder.Finish();
        return Text(out.codes);
    }
};

TEST_F(FecCorrectionFixture, EachCharacterComesFromACopyThatChecks)
{
    const int lead = 10;
    struct Case {
        const char *what;
        std::vector<size_t> damaged;
        std::vector<int> expected;
    };
    std::vector<int> marked = kMessage;
    marked[4] = kErrorMark;
    marked[9] = kErrorMark;
    const Case cases[] = {
        {"clean", {}, kMessage},
        {"first copies hit",
         {FirstSlot(lead, 0), FirstSlot(lead, 3), FirstSlot(lead, 4), FirstSlot(lead, 9)},
         kMessage},
        {"repetitions hit", {RepeatSlot(lead, 1), RepeatSlot(lead, 2), RepeatSlot(lead, 15)}, kMessage},
        {"both copies of two characters hit",
         {FirstSlot(lead, 4), RepeatSlot(lead, 4), FirstSlot(lead, 9), RepeatSlot(lead, 9), FirstSlot(lead, 10)},
         marked},
    };
    for (const Case &c : cases) {
        decoder.Reset();
        out.codes.clear();
        Bits bits = CodeBits(FecSlots(kMessage, lead));
        for (const size_t slot : c.damaged)
            Damage(bits, slot);
        EXPECT_EQ(Decode(bits), c.expected) << c.what;
        EXPECT_TRUE(decoder.Grid().Locked()) << c.what;
    }
}

// Given the demodulator's confidence, two copies that both fail are read from the sum of their bits, and of two
// copies that check but differ the surer one is shown; without it they give the error mark and the first copy.
TEST_F(FecCorrectionFixture, TheConfidenceOfBothCopiesDecides)
{
    const int lead = 10;
    struct Case {
        const char *what;
        std::vector<std::pair<size_t, int>> flips; // slot and bit, each read with little confidence
        size_t character;
        int withConfidence;
        int without;
    };
    const Case cases[] = {
        {"both copies fail, in different bits", {{FirstSlot(lead, 4), 2}, {RepeatSlot(lead, 4), 5}}, 4, kO, kErrorMark},
        {"the first copy reads as another character", {{FirstSlot(lead, 0), 0}, {FirstSlot(lead, 0), 1}}, 0, kE, kR},
    };
    for (const Case &c : cases) {
        Bits bits = CodeBits(FecSlots(kMessage, lead));
        std::vector<int16_t> confidence(bits.size(), 1000);
        for (const auto &[slot, bit] : c.flips) {
            Damage(bits, slot, bit);
            confidence[slot * 7 + size_t(bit)] = 100;
        }
        std::vector<int> expected = kMessage;

        decoder.Reset();
        out.codes.clear();
        const std::vector<int16_t> levels(bits.begin(), bits.end());
        decoder.FeedSoft(levels.data(), confidence.data(), int32_t(levels.size()));
        decoder.Finish();
        expected[c.character] = c.withConfidence;
        EXPECT_EQ(Text(out.codes), expected) << c.what;

        decoder.Reset();
        out.codes.clear();
        expected[c.character] = c.without;
        EXPECT_EQ(Decode(bits), expected) << c.what;
    }
}

// Each character set has its own check, phasing signals and error mark.
TEST_F(FecCorrectionFixture, EveryCharacterSetCorrects)
{
    struct Case {
        int32_t charset;
        int beta, alpha, errorMark;
    };
    const Case cases[] = {
        {SyncArqDecoder::kCcir476, kBeta, kAlpha, 0x04},
        {SyncArqDecoder::kIta3, 0x4A, 0x1A, 0x04},
        {SyncArqDecoder::kIta2P, 0x49, 0x31, 0x48},
    };
    const std::vector<int> ita2 = {1, 3, 5, 16, 24, 12, 6, 7, 9, 10, 19, 25, 21, 1, 5, 16}; // EASTONIUDRWBYEST
    const int lead = 10;
    for (const Case &c : cases) {
        std::vector<int> message;
        for (const int code : ita2) {
            const int parity = (std::popcount(unsigned(code)) % 2 == 0) ? 0x40 : 0;
            message.push_back(c.charset == SyncArqDecoder::kCcir476 ? kCcir476Table[size_t(code)]
                              : c.charset == SyncArqDecoder::kIta3  ? kIta3Table[size_t(code)]
                                                                    : (code << 1) | parity);
        }
        Bits bits = CodeBits(FecSlots(message, lead, c.beta, c.alpha));
        for (const size_t slot : {FirstSlot(lead, 2), FirstSlot(lead, 7), RepeatSlot(lead, 7), RepeatSlot(lead, 11)})
            Damage(bits, slot, 1);

        decoder.Reset();
        decoder.SetCharset(c.charset);
        out.codes.clear();
        Feed(decoder, bits);
        decoder.Finish();
        std::vector<int> text;
        for (const int code : out.codes)
            if (code != c.beta && code != c.alpha)
                text.push_back(code);
        std::vector<int> expected = message;
        expected[7] = c.errorMark;
        EXPECT_EQ(text, expected) << "charset " << c.charset;
    }
}

// The stream is sent on, the last repetitions lost: the first copies still waiting are shown at the end.
TEST_F(FecCorrectionFixture, TheEndShowsWhatWaitsForItsRepetition)
{
    const int lead = 10;
    std::vector<int> slots = FecSlots(kMessage, lead);
    slots.resize(FirstSlot(lead, 15) + 1);
    EXPECT_EQ(Decode(CodeBits(slots)), kMessage);
}

// A bit lost or gained on the line moves the grid; the decoder follows it and reads the slots since the slip
// again, so no block is lost. The character the slip cut, and a code misread on the old grid that still
// passed the check, can stay wrong.
TEST_F(FecCorrectionFixture, ABitSlipLosesNoBlock)
{
    const int lead = 10;
    for (const int slip : {-1, 1}) {
        decoder.Reset();
        out.codes.clear();
        Bits bits = CodeBits(FecSlots(kMessage, lead));
        const size_t at = FirstSlot(lead, 6) * 7 + 3;
        if (slip < 0)
            bits.erase(bits.begin() + long(at));
        else
            bits.insert(bits.begin() + long(at), 1);
        const std::vector<int> text = Decode(bits);
        ASSERT_EQ(text.size(), kMessage.size()) << "slip " << slip;
        size_t wrong = 0;
        for (size_t k = 0; k < text.size(); ++k)
            wrong += text[k] != kMessage[k];
        EXPECT_LE(wrong, 2u) << "slip " << slip;
        EXPECT_EQ(std::vector<int>(text.begin(), text.begin() + 6),
                  std::vector<int>(kMessage.begin(), kMessage.begin() + 6));
        EXPECT_EQ(std::vector<int>(text.begin() + 10, text.end()),
                  std::vector<int>(kMessage.begin() + 10, kMessage.end()));
        EXPECT_EQ(decoder.Grid().Phase(), int32_t((bits.size() - 1) % 7)) << "slip " << slip;
    }
}

// Phasing signals 1 and 2 both end in a one-bit and begin with a zero-bit, so the grids one bit early and one
// bit late check as well as the true one all through the phasing; the message shows which is true.
TEST_F(FecCorrectionFixture, AGridShiftedByOneBitDuringPhasingGivesWayToTheTrueOne)
{
    const int lead = 16;
    const Bits bits = CodeBits(FecSlots(kMessage, lead));
    EXPECT_EQ(Decode(bits), kMessage);
    EXPECT_EQ(decoder.Grid().Phase(), int32_t((bits.size() - 1) % 7));
}

// Without phasing, copies that agree five slots apart show which positions carry first sendings.
TEST_F(FecCorrectionFixture, FirstSendingsFoundFromAgreeingCopies)
{
    std::vector<int> slots = FecSlots(kMessage, 0);
    slots.erase(slots.begin()); // the stream starts with a repetition
    Feed(decoder, CodeBits(slots));
    EXPECT_EQ(decoder.Combiner().FirstParity(), 1);
    decoder.Finish();
    const std::vector<int> text = Text(out.codes);
    ASSERT_GE(text.size(), 12u);
    EXPECT_EQ(std::vector<int>(text.end() - 12, text.end()), std::vector<int>(kMessage.end() - 12, kMessage.end()));
}

// Without correction the decoder loses every block that holds a bad character and shows every second code;
// with correction chosen in the parameter block the same damaged stream gives the whole message.
TEST(FecCorrectionChoice, FollowsTheParameterBlock)
{
    const int lead = 10;
    Bits bits = CodeBits(FecSlots(kMessage, lead));
    Damage(bits, FirstSlot(lead, 5));
    for (const bool correction : {false, true}) {
        FecDecoder decoder;
        CodeRecorder out;
        out.attach(decoder);
        DecoderParams params;
        params.mode = kModeFec;
        params.SetFec({5, 0, 0});
        params.options.fecCorrection = correction;
        decoder.Configure(params);
        Feed(decoder, bits);
        decoder.Finish();
        const std::vector<int> text = Text(out.codes);
        if (correction)
            EXPECT_EQ(text, kMessage);
        else
            EXPECT_NE(text, kMessage);
    }
}

} // namespace
} // namespace sirrel
