#include <gtest/gtest.h>

#include <string>
#include <vector>

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

} // namespace
} // namespace sirrel
