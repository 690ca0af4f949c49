#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "decoders/sync_arq_decoder.h"
#include "sync_blocks.h"

namespace sirrel {
namespace {

using namespace sirrel::testing;

constexpr int kMark = 0x04; // the error mark of CCIR 476
const std::vector<std::vector<int>> kBlocks = {{kE, kA, kS}, {kI, kU, kD}, {kR, kN, kT},
                                               {kO, kE, kA}, {kS, kS, kD}, {kT, kO, kN}};

// The blocks at a cycle of 45 bits with the idle line in the gaps; `edit` changes the bits of block b.
template <class Edit> Bits Transmission(Edit edit)
{
    Bits bits;
    for (size_t b = 0; b < kBlocks.size(); ++b) {
        Bits block = Concat({CodeBits(kBlocks[b]), Bits(24, 1)});
        edit(b, block);
        bits.insert(bits.end(), block.begin(), block.end());
    }
    return bits;
}

std::vector<int> Sent()
{
    std::vector<int> codes;
    for (const auto &block : kBlocks)
        codes.insert(codes.end(), block.begin(), block.end());
    return codes;
}

Bits Noise(size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    Bits bits(count);
    for (int8_t &bit : bits)
        bit = int8_t(random() & 1);
    return bits;
}

void FeedWithConfidence(SyncArqDecoder &decoder, const Bits &bits, const std::vector<int16_t> &confidence)
{
    const std::vector<int16_t> levels(bits.begin(), bits.end());
    decoder.FeedSoft(levels.data(), confidence.data(), int32_t(levels.size()));
}

struct Reading {
    SyncArqDecoder decoder;
    CodeRecorder out;

    explicit Reading(bool keepTiming)
    {
        out.attach(decoder);
        decoder.SetCharsInCycle(3);
        decoder.SetCycleLength(45);
        decoder.SetKeepTiming(keepTiming);
    }
};

struct KeptCase {
    const char *name;
    void (*edit)(size_t block, Bits &bits);
    std::vector<int> kept; // what the kept timing shows
    bool searchLoses;      // the search alone shows less
};

TEST(ArqKeptTiming, ShowsWhatTheSearchAloneLoses)
{
    std::vector<int> marked = Sent();
    marked[7] = kMark;
    std::vector<int> weak = Sent();
    for (size_t b = 2; b < kBlocks.size(); ++b)
        weak[b * 3 + b % 3] = kMark;
    const KeptCase cases[] = {
        {"clean", [](size_t, Bits &) {}, Sent(), false},
        // Read a bit off, this block checks whole: the timing must not follow it.
        {"a failed code shows as the mark in its place",
         [](size_t b, Bits &bits) {
             if (b == 2)
                 bits[8] ^= 1;
         },
         marked, true},
        // A weak signal: blocks whose codes mostly check keep the timing, however long no block checks whole.
        {"four blocks in a row with a failed code each",
         [](size_t b, Bits &bits) {
             if (b >= 2)
                 bits[7 * (b % 3) + 1] ^= 1;
         },
         weak, true},
    };
    for (const KeptCase &c : cases) {
        Reading kept(true);
        Reading search(false);
        Feed(kept.decoder, Transmission(c.edit));
        Feed(search.decoder, Transmission(c.edit));
        kept.decoder.Finish();
        EXPECT_EQ(kept.out.codes, c.kept) << c.name;
        EXPECT_EQ(search.out.codes != c.kept, c.searchLoses) << c.name;
    }
}

// Noise before and after a transmission: the search alone shows every stretch that happens to check; the kept
// timing needs a second block one cycle later and gives up once the codes fail as noise's do. A false start in
// the noise just before the transmission may cost its first blocks, and noise that happens to check for a while
// shows, so the measure is over many noises.
TEST(ArqKeptTiming, NoiseAroundATransmissionShowsLittle)
{
    constexpr uint32_t kNoises = 100;
    const std::vector<int> sent = Sent();
    uint32_t found = 0;
    size_t keptExtra = 0;
    size_t searchExtra = 0;
    for (uint32_t seed = 1; seed <= kNoises; ++seed) {
        const Bits signal =
            Concat({Noise(45 * 20, seed), Transmission([](size_t, Bits &) {}), Noise(45 * 20, seed + 1000)});
        Reading kept(true);
        Reading search(false);
        Feed(kept.decoder, signal);
        Feed(search.decoder, signal);
        kept.decoder.Finish();

        const std::vector<int> &codes = kept.out.codes;
        found += std::search(codes.begin(), codes.end(), sent.begin() + 3, sent.end()) != codes.end();
        keptExtra += codes.size() - std::min(codes.size(), sent.size());
        searchExtra += search.out.codes.size() - std::min(search.out.codes.size(), sent.size());
    }
    EXPECT_GE(found, kNoises * 85 / 100);
    EXPECT_LE(keptExtra, kNoises * 7); // about two blocks of noise a transmission
    EXPECT_GE(searchExtra, kNoises * 30);
}

// The input ends inside a run of doubtful blocks: those that mostly check are shown, the others are not.
TEST(ArqKeptTiming, FinishShowsTheHeldBlocksThatMostlyCheck)
{
    Reading reading(true);
    const Bits signal = Transmission([](size_t b, Bits &bits) {
        if (b == 4)
            bits[3] ^= 1; // one code of three fails
        if (b == 5)
            bits[3] ^= 1, bits[10] ^= 1; // two fail
    });
    Feed(reading.decoder, signal);
    std::vector<int> expected = Sent();
    expected.resize(12);
    EXPECT_EQ(reading.out.codes, expected);
    reading.decoder.Finish();
    expected.insert(expected.end(), {kMark, kS, kD});
    EXPECT_EQ(reading.out.codes, expected);

    // Switched off, the held codes are shown as they are.
    Reading switched(true);
    Feed(switched.decoder, signal);
    switched.decoder.SetKeepTiming(false);
    EXPECT_EQ(switched.out.codes.size(), 18u);
    EXPECT_FALSE(switched.decoder.KeepsTiming());
}

// With the demodulator's confidence in each bit, a code that fails is read as the character of its three surest
// one-bits; a wrong bit that the demodulator was sure of still gives a wrong character, and no confidence gives
// the mark.
TEST(ArqKeptTiming, AFailedCodeIsCorrectedFromTheConfidenceOfItsBits)
{
    struct Case {
        const char *name;
        int16_t flippedConfidence; // of the wrong bit; the others have 1000
        int expected;              // shown in place of the second code of the third block
    };
    const Case cases[] = {
        {"the doubtful bit is the wrong one", 100, kN},
        {"no confidence at all", 0, kMark},
    };
    for (const Case &c : cases) {
        Reading reading(true);
        const Bits bits = Transmission([](size_t b, Bits &block) {
            if (b == 2)
                block[8] ^= 1;
        });
        std::vector<int16_t> confidence(bits.size(), c.flippedConfidence == 0 ? 0 : 1000);
        confidence[2 * 45 + 8] = c.flippedConfidence;
        FeedWithConfidence(reading.decoder, bits, confidence);
        reading.decoder.Finish();
        std::vector<int> expected = Sent();
        expected[7] = c.expected;
        EXPECT_EQ(reading.out.codes, expected) << c.name;
    }
}

// Given confidence, a confirmed timing reads back the blocks before its first one: a weak start whose blocks each
// lost a code to a doubtful bit shows corrected. Blocks that mostly fail are the noise before a transmission, and
// a second reader of the signal reads back nothing that the first one showed.
TEST(ArqKeptTiming, AConfirmedTimingReadsBackTheBlocksBeforeIt)
{
    struct Case {
        const char *name;
        int wrongCodes;   // in each of the first four blocks, each with one wrong bit
        int16_t wrongBit; // its confidence; the others have 1000, or none when 0
        int64_t limit;    // of the reading back, in bits
        size_t firstShown;
    };
    const Case cases[] = {
        {"a doubtful bit in each earlier block", 1, 100, -1, 0},
        {"no confidence", 1, 0, -1, 4},
        {"the earlier blocks mostly fail", 2, 1000, -1, 4},
        {"no bits to read back", 1, 100, 0, 4},
    };
    for (const Case &c : cases) {
        std::vector<int16_t> confidence;
        const Bits bits = Transmission([&](size_t b, Bits &block) {
            const size_t start = 45 * b;
            confidence.resize(start + block.size(), c.wrongBit == 0 ? 0 : 1000);
            for (int k = 0; b < 4 && k < c.wrongCodes; ++k) {
                block[size_t(7 * k + 2)] ^= 1;
                confidence[start + size_t(7 * k + 2)] = c.wrongBit;
            }
        });
        Reading reading(true);
        reading.decoder.SetReadBackLimit(c.limit);
        FeedWithConfidence(reading.decoder, bits, confidence);
        reading.decoder.Finish();
        const std::vector<int> sent = Sent();
        EXPECT_EQ(reading.out.codes, std::vector<int>(sent.begin() + long(3 * c.firstShown), sent.end())) << c.name;
    }
}

// Between two whole blocks of a kept timing, blocks that check as often as a third are signal when the
// demodulator gave confidence (noise's codes check about a quarter of the time); without it, half must check.
TEST(ArqKeptTiming, BlocksBetweenWholeOnesShowWhenAThirdOfTheirCodesCheck)
{
    const Bits bits = Transmission([](size_t b, Bits &block) {
        if (b == 2 || b == 3)
            block[1] ^= 1, block[8] ^= 1;
    });
    for (const int16_t sure : {1000, 0}) {
        Reading reading(true);
        FeedWithConfidence(reading.decoder, bits, std::vector<int16_t>(bits.size(), sure));
        const std::vector<int> &codes = reading.out.codes;
        const std::vector<int> sent = Sent();
        ASSERT_EQ(codes.size(), sure != 0 ? 18u : 12u) << sure;
        EXPECT_TRUE(std::equal(sent.end() - 6, sent.end(), codes.end() - 6)) << sure;
        if (sure != 0) {
            EXPECT_EQ(codes[8], sent[8]); // the code that checked, in the blocks between
        }
    }
}

// Read with confidence, the two whole blocks that confirm a timing wait for what follows them: a false start (two
// blocks of noise that happen to check, a cycle apart) followed by codes that fail shows nothing, a weak signal
// after them shows them. Without confidence they show at once.
TEST(ArqKeptTiming, ConfirmingBlocksWaitForWhatFollowsThem)
{
    struct Case {
        const char *name;
        int16_t sure;
        bool weakBlocksAfter; // two blocks with a failed code each between the confirming ones and the idle line
        size_t shown;
    };
    const Case cases[] = {
        {"failing codes after them, with confidence", 1000, false, 0},
        {"failing codes after them, without confidence", 0, false, 6},
        {"a weak signal after them", 1000, true, 12},
    };
    const Bits gap(24, 1);
    for (const Case &c : cases) {
        Bits weak;
        for (size_t b = 2; c.weakBlocksAfter && b < 4; ++b) {
            Bits block = CodeBits(kBlocks[b]);
            block[2] ^= 1;
            weak = Concat({weak, block, gap});
        }
        const Bits bits = Concat({CodeBits(kBlocks[0]), gap, CodeBits(kBlocks[1]), gap, weak, Bits(45 * 12, 1)});
        Reading reading(true);
        FeedWithConfidence(reading.decoder, bits, std::vector<int16_t>(bits.size(), c.sure));
        const std::vector<int> &codes = reading.out.codes;
        ASSERT_EQ(codes.size(), c.shown) << c.name;
        const std::vector<int> sent = Sent();
        EXPECT_TRUE(std::equal(codes.begin(), codes.begin() + long(std::min<size_t>(c.shown, 6)), sent.begin()))
            << c.name;
    }
}

// The other station's keying in the gap may read as a code: a first block taken a code early shows it in place of
// the block's first code, and every block of the kept timing after it. Given the demodulator's confidence, low for
// that keying on this station's clock, the reading moves on to the block itself.
TEST(ArqKeptTiming, AReadingThatTakesTheGapForACodeMovesOntoTheBlock)
{
    constexpr int16_t kSure = 1000;
    constexpr int16_t kDoubtful = 300;
    Bits bits;
    std::vector<int16_t> confidence;
    std::vector<int> sent;
    auto append = [&](const Bits &part, int16_t sure) {
        bits.insert(bits.end(), part.begin(), part.end());
        confidence.insert(confidence.end(), part.size(), sure);
    };
    for (int round = 0; round < 3; ++round) {
        for (const auto &block : kBlocks) {
            append(Concat({Bits(17, 1), CodeBits({kR})}), kDoubtful);
            append(CodeBits(block), kSure);
            sent.insert(sent.end(), block.begin(), block.end());
        }
    }
    append(Bits(45, 1), kDoubtful);

    Reading hard(true);
    Feed(hard.decoder, bits);
    hard.decoder.Finish();
    Reading soft(true);
    FeedWithConfidence(soft.decoder, bits, confidence);
    soft.decoder.Finish();

    const std::vector<int> lastBlocks(sent.end() - 18, sent.end());
    auto endsWithTheBlocks = [&lastBlocks](const std::vector<int> &codes) {
        return codes.size() >= lastBlocks.size() && std::equal(lastBlocks.begin(), lastBlocks.end(), codes.end() - 18);
    };
    EXPECT_FALSE(endsWithTheBlocks(hard.out.codes));
    EXPECT_TRUE(endsWithTheBlocks(soft.out.codes));
}

// After a weak signal's timing is given up, the clock keeps ignoring the other station's keying where the gaps
// were for a while, so that the search for the blocks starts on this station's clock.
TEST(ArqKeptTiming, TheClockKeepsIgnoringTheGapsOfATimingGivenUp)
{
    Reading reading(true);
    auto feed = [&reading](int8_t bit) {
        const int16_t level = bit;
        const int16_t confidence = 1000;
        reading.decoder.FeedSoft(&level, &confidence, 1);
    };
    for (const Bits &part : {Bits(24, 1), CodeBits(kBlocks[0]), Bits(24, 1), CodeBits(kBlocks[1]), Bits(24, 1),
                             CodeBits(kBlocks[2]), Bits(24, 1)})
        for (int8_t bit : part)
            feed(bit);
    ASSERT_TRUE(reading.decoder.KeepsTiming());
    // Codes of seven ones all fail: the score runs out within a few blocks.
    int bits = 0;
    for (; reading.decoder.KeepsTiming() && bits < 45 * 10; ++bits)
        feed(1);
    ASSERT_FALSE(reading.decoder.KeepsTiming());

    constexpr int kCycle = 45;
    std::vector<int> heldPerCycle;
    for (int cycle = 0; cycle < SyncArqDecoder::kFlywheelCycles + 2; ++cycle) {
        int held = 0;
        for (int i = 0; i < kCycle; ++i) {
            feed(1);
            held += reading.decoder.HoldsClock();
        }
        heldPerCycle.push_back(held);
    }
    // The gap of 24 bits less a bit either side, in every cycle until the flywheel stops.
    EXPECT_EQ(heldPerCycle.front(), 22);
    EXPECT_EQ(heldPerCycle[SyncArqDecoder::kFlywheelCycles - 2], 22);
    EXPECT_EQ(heldPerCycle.back(), 0);
}

// A bit gained in the gap: the blocks after it come a bit late. Without confidence the timing follows the first
// block that checks whole a bit over while few of its codes check where due. Given confidence, noise makes such a
// block now and then, so the timing moves when one of the codes still checks only once the blocks a bit over have
// checked clearly more often; the blocks read before that are lost, the timing is not.
TEST(ArqKeptTiming, GivenConfidenceASlipIsFollowedWhenTheBlocksAfterItShowIt)
{
    // Read a bit early, each of these blocks keeps exactly one code that checks.
    const std::vector<std::vector<int>> blocks = {{kE, kA, kY}, {kE, kS, kW}, {kE, kI, kY}, {kE, kU, kW}};
    Bits bits;
    std::vector<int> sent;
    for (int round = 0; round < 5; ++round) {
        for (size_t b = 0; b < blocks.size(); ++b) {
            bits = Concat({bits, CodeBits(blocks[b]), Bits(round == 1 && b == 0 ? 25 : 24, 1)});
            sent.insert(sent.end(), blocks[b].begin(), blocks[b].end());
        }
    }
    for (const int16_t sure : {0, 1000}) {
        Reading reading(true);
        FeedWithConfidence(reading.decoder, bits, std::vector<int16_t>(bits.size(), sure));
        const std::vector<int> &codes = reading.out.codes;
        ASSERT_EQ(codes.size(), sent.size()) << sure;
        EXPECT_TRUE(reading.decoder.KeepsTiming()) << sure;
        if (sure == 0) {
            EXPECT_EQ(codes, sent);
            continue;
        }
        // Blocks 0-4 came before the slip, and from block 9 on all are read right again.
        EXPECT_TRUE(std::equal(codes.begin(), codes.begin() + 15, sent.begin()));
        EXPECT_FALSE(std::equal(codes.begin() + 15, codes.begin() + 27, sent.begin() + 15));
        EXPECT_TRUE(std::equal(codes.begin() + 27, codes.end(), sent.begin() + 27));
    }
}

} // namespace
} // namespace sirrel
