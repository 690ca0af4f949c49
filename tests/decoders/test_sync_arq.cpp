#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoders/dispatch.h"
#include "decoders/sync_arq_decoder.h"
#include "sync_blocks.h"

namespace sirrel {
namespace {

using namespace sirrel::testing;

struct ArqFixture : ::testing::Test {
    SyncArqDecoder decoder;
    CodeRecorder out;

    void SetUp() override { out.attach(decoder); }

    void configure(int32_t n, int32_t cycle, int32_t polarity = SyncArqDecoder::kPolarityAuto)
    {
        decoder.SetCharsInCycle(n);
        decoder.SetCycleLength(cycle);
        decoder.SetPolarityMode(polarity);
    }
};

// The other station's answer in the gap: 24 bits that hold no valid block.
const Bits kGap = Concat({CodeBits({0x7F, 0x00, 0x7F}), Bits(3, 0)});

TEST_F(ArqFixture, ThreeCodesPerCycleAndTheGapSkipped)
{
    configure(3, 45);
    const std::vector<std::vector<int>> blocks = {{kE, kA, kS}, {kI, kU, kD}, {kR, kN, kT}, {kO, kE, kA}};
    std::vector<int> expected;
    for (const auto &block : blocks) {
        const Bits cycle = Concat({CodeBits(block), kGap});
        ASSERT_EQ(cycle.size(), 45u);
        const size_t before = out.codes.size();
        for (size_t bit = 0; bit < cycle.size(); ++bit) {
            FeedBit(decoder, cycle[bit]);
            // The codes come with the block's last bit; then the gap is counted down to zero.
            EXPECT_EQ(out.codes.size() - before, bit < 20 ? 0u : 3u) << "bit " << bit;
            EXPECT_EQ(decoder.GapCount(), bit < 20 ? 0 : int32_t(44 - bit)) << "bit " << bit;
        }
        expected.insert(expected.end(), block.begin(), block.end());
    }
    EXPECT_EQ(out.codes, expected);
}

TEST_F(ArqFixture, CycleShorterThanTheBlockSkipsNothing)
{
    configure(3, 7);
    EXPECT_EQ(decoder.CycleLength(), 21);
    Feed(decoder, CodeBits({kE, kA, kS, kI, kU, kD}));
    EXPECT_EQ(decoder.GapCount(), 0);
    EXPECT_EQ(out.codes, (std::vector<int>{kE, kA, kS, kI, kU, kD}));

    decoder.SetCharsInCycle(10); // the cycle grows with the block, and stays when the block shrinks again
    EXPECT_EQ(decoder.CycleLength(), 70);
    decoder.SetCharsInCycle(3);
    EXPECT_EQ(decoder.CycleLength(), 70);
    decoder.SetCycleLength(7);
    EXPECT_EQ(decoder.CycleLength(), 21);
}

struct PolarityCase {
    const char *name;
    int32_t polarity;
    bool invertedLine;
    bool delivered;
};

TEST_F(ArqFixture, PolarityDecidedByTheFirstCharacter)
{
    const PolarityCase cases[] = {
        {"auto, straight", SyncArqDecoder::kPolarityAuto, false, true},
        {"auto, inverted", SyncArqDecoder::kPolarityAuto, true, true},
        {"normal, straight", SyncArqDecoder::kPolarityNormal, false, true},
        {"normal, inverted", SyncArqDecoder::kPolarityNormal, true, false},
        {"reversed, straight", SyncArqDecoder::kPolarityReversed, false, false},
        {"reversed, inverted", SyncArqDecoder::kPolarityReversed, true, true},
    };
    const Bits block = CodeBits({kE, kA, kS});
    for (const PolarityCase &c : cases) {
        SyncArqDecoder fresh;
        CodeRecorder got;
        got.attach(fresh);
        fresh.SetPolarityMode(c.polarity);
        if (c.invertedLine)
            Feed(fresh, Inverted(block));
        else
            Feed(fresh, block);
        const std::vector<int> expected = c.delivered ? std::vector<int>{kE, kA, kS} : std::vector<int>{};
        EXPECT_EQ(got.codes, expected) << c.name;
    }
}

struct InversionCase {
    const char *name;
    int32_t rate;
    int32_t n;
    std::vector<int> sent; // as on the line, periodic inversion included
    std::vector<int> delivered;
};

TEST_F(ArqFixture, PeriodicInversionAndItsResetCodes)
{
    const InversionCase cases[] = {
        {"every second character", 2, 3, {kE, Flip(kA), kS, Flip(kI), kU, Flip(kD)}, {kE, kA, kS, kI, kU, kD}},
        {"count runs on", 4, 2, {kE, kN, kA, Flip(kS), kI, kU}, {kE, kN, kA, kS, kI, kU}},
        // A repetition request (or alpha) restarts the count before it is counted: the fourth character after
        // it is the next inverted one.
        {"repetition request resets", 4, 2, {kE, kRq, kA, kS, Flip(kI), kU}, {kE, kRq, kA, kS, kI, kU}},
        {"alpha resets", 4, 2, {kE, kAlpha, kA, kS, Flip(kI), kU}, {kE, kAlpha, kA, kS, kI, kU}},
    };
    for (const InversionCase &c : cases) {
        SyncArqDecoder fresh;
        CodeRecorder got;
        got.attach(fresh);
        fresh.SetCharsInCycle(c.n);
        fresh.SetCycleLength(0); // no gap
        fresh.SetInvertingRate(c.rate);
        Feed(fresh, CodeBits(c.sent));
        EXPECT_EQ(got.codes, c.delivered) << c.name;
    }
}

TEST_F(ArqFixture, SingleBitErrorLosesOnlyItsBlock)
{
    configure(3, 45);
    const std::vector<std::vector<int>> blocks = {{kE, kA, kS}, {kI, kU, kD}, {kI, kN, kR}, {kS, kI, kA}, {kS, kS, kD}};
    for (size_t b = 0; b < blocks.size(); ++b) {
        Bits block = CodeBits(blocks[b]);
        if (b == 2)
            block[10] ^= 1; // second character of the third block
        Feed(decoder, Concat({block, Bits(24, 1)}));
    }
    EXPECT_EQ(out.codes, (std::vector<int>{kE, kA, kS, kI, kU, kD, kS, kI, kA, kS, kS, kD}));
}

TEST_F(ArqFixture, SearchFindsABlockAtAnyBitPosition)
{
    configure(3, 45);
    // Noise of no valid block, then cycles that begin 11 bits into the stream.
    Feed(decoder, Concat({Bits(11, 1), CodeBits({kE, kA, kS}), kGap, CodeBits({kI, kU, kD}), kGap}));
    EXPECT_EQ(out.codes, (std::vector<int>{kE, kA, kS, kI, kU, kD}));
}

struct Ita2PCase {
    int code;
    int32_t polarity;
    std::vector<int> delivered;
};

TEST(SyncArqDecoderIta2P, OddParityAndBitZeroRule)
{
    const Ita2PCase cases[] = {
        {0x02, SyncArqDecoder::kPolarityNormal, {0x02}}, // "E": ITA2 code in bits 1..5, odd parity
        {0x07, SyncArqDecoder::kPolarityNormal, {0x07}}, // the three service codes may have bit 0 set
        {0x49, SyncArqDecoder::kPolarityNormal, {0x49}}, {0x31, SyncArqDecoder::kPolarityNormal, {0x31}},
        {0x0B, SyncArqDecoder::kPolarityNormal, {}},   // odd parity, bit 0 set, no service code
        {0x03, SyncArqDecoder::kPolarityNormal, {}},   // even parity
        {0x7D, SyncArqDecoder::kPolarityAuto, {0x02}}, // even parity under "Auto": the inverted line
        {0x7D, SyncArqDecoder::kPolarityNormal, {}},
    };
    for (const Ita2PCase &c : cases) {
        SyncArqDecoder decoder;
        CodeRecorder got;
        got.attach(decoder);
        decoder.SetCharset(SyncArqDecoder::kIta2P);
        decoder.SetCharsInCycle(1);
        decoder.SetPolarityMode(c.polarity);
        Feed(decoder, CodeBits({c.code}));
        EXPECT_EQ(got.codes, c.delivered) << "code " << c.code << " polarity " << c.polarity;
    }
}

TEST(SyncArqDecoderLimits, BlocksTheBufferCannotHoldOrEmptyBlocksDecodeNothing)
{
    std::vector<int> codes;
    for (int i = 0; i < 300; ++i)
        codes.push_back(i % 2 ? kE : kT);
    const Bits stream = CodeBits(codes);
    for (const int32_t n : {74, 0, -1}) {
        SyncArqDecoder decoder;
        CodeRecorder got;
        got.attach(decoder);
        decoder.SetCharsInCycle(n);
        Feed(decoder, stream);
        EXPECT_TRUE(got.codes.empty()) << n;
        EXPECT_LE(decoder.BitCount(), SyncArqDecoder::kBufferBits) << n;
    }
    SyncArqDecoder largest;
    CodeRecorder got;
    got.attach(largest);
    largest.SetCharsInCycle(73);
    Feed(largest, stream);
    EXPECT_EQ(got.codes.size(), 4u * 73u);
}

// The dispatcher's clock during the gap: mode 2 with "SITOR-A" settings at 10 samples per bit.
struct ArqDispatch {
    SettingsModel settings;
    DecoderColors colors;
    DataOutputWindow window{colors};
    Dispatcher dispatcher{settings, window};
    std::string text;
    DecoderParams params;

    explicit ArqDispatch(int32_t mode)
    {
        window.SetCharacterListener([this](int32_t, uint8_t c, uint32_t) { text.push_back(char(c)); });
        params.mode = mode;
        params.samplesPerBit = 10;
        if (mode == kModeArq)
            params.SetArq({45, 3, 0, 1, 0});
        else
            params.SetFec({3, 0, 0});
    }

    void run(const std::vector<int16_t> &levels) { dispatcher.Dispatch(levels.data(), int32_t(levels.size()), params); }
};

// 24 bits of another station's signal whose edges fall 3 samples off this station's bit grid.
std::vector<int16_t> OffGridGap()
{
    std::vector<int16_t> gap(240, 0);
    for (size_t i = 0; i < gap.size(); ++i)
        gap[i] = int16_t(((i + 7) / 10) % 2);
    return gap;
}

TEST(ArqDispatch, ClockHeldDuringTheGap)
{
    const std::vector<int16_t> block1 = Levels(CodeBits({kE, kA, kS}), 10);
    const std::vector<int16_t> block2 = Levels(CodeBits({kT, kO, kN}), 10);
    const std::vector<int16_t> quietGap(240, block1.back());

    ArqDispatch quiet(kModeArq), busy(kModeArq), fec(kModeFec);
    for (ArqDispatch *d : {&quiet, &busy, &fec}) {
        d->run(block1);
        d->run(d == &quiet ? quietGap : OffGridGap());
    }
    EXPECT_EQ(busy.dispatcher.SyncArq().GapCount(), 0);
    EXPECT_DOUBLE_EQ(busy.dispatcher.BitPhase(), quiet.dispatcher.BitPhase()) << "gap transitions moved the ARQ clock";
    EXPECT_NE(fec.dispatcher.BitPhase(), quiet.dispatcher.BitPhase())
        << "the same transitions move the clock without a gap";

    busy.run(block2);
    EXPECT_EQ(busy.text, "EASTON");
}

} // namespace
} // namespace sirrel
