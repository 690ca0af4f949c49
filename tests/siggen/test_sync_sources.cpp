#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "siggen/arq_source.h"
#include "siggen/fec_source.h"
#include "siggen/generator.h"
#include "siggen/seven_bit.h"

namespace sirrel::siggen {
namespace {

constexpr int kRunInBits = 16 * 4 + 7;

// The keying as one level per half bit: the ARQ gap keys on half bits.
std::vector<int> HalfBits(const Keying &keying)
{
    std::vector<int> halves;
    for (const KeyElement &e : keying.Elements())
        halves.insert(halves.end(), size_t(std::lround(e.bits * 2)), e.level);
    return halves;
}

// The 7-bit code whose first bit starts at half-bit index `at`.
int CodeAt(const std::vector<int> &halves, size_t at)
{
    int code = 0;
    for (int k = 0; k < 7; ++k)
        code |= halves.at(at + 2 * size_t(k)) << k;
    return code;
}

TEST(SiggenSevenBit, EverySetGivesValidCodes)
{
    const std::string text = "THE QUICK BROWN FOX 0123456789 -?:().,'=/+\n";
    for (const SevenBitSet set : {SevenBitSet::kCcir476, SevenBitSet::kIta3, SevenBitSet::kIta2P}) {
        const SevenBitCodes coded = EncodeSevenBit(text, set);
        EXPECT_EQ(coded.dropped, 0u);
        for (const uint8_t code : coded.codes) {
            if (set == SevenBitSet::kIta2P)
                EXPECT_TRUE(std::popcount(unsigned(code)) % 2 == 1 && (code & 1) == 0) << int(code);
            else
                EXPECT_EQ(std::popcount(unsigned(code)), 3) << SevenBitSetName(set) << " " << int(code);
        }
    }
    EXPECT_EQ(EncodeSevenBit("E", SevenBitSet::kCcir476).codes, (std::vector<uint8_t>{0x25, 0x29}));
    EXPECT_EQ(EncodeSevenBit("E", SevenBitSet::kIta2P).codes, (std::vector<uint8_t>{0x3E, 0x02}));
}

TEST(SiggenSevenBit, PeriodicInversionRestartsOnServiceCodes)
{
    PeriodicInversion every2(SevenBitSet::kCcir476, 2);
    std::vector<int> sent;
    for (const uint8_t code : {0x29, 0x38, 0x29, 0x19, 0x38, 0x29})
        sent.push_back(every2.Next(code));
    // The repetition request restarts the count: it goes out as it is and the one after it is inverted.
    EXPECT_EQ(sent, (std::vector<int>{0x29, 0x38 ^ 0x7F, 0x29, 0x19, 0x38 ^ 0x7F, 0x29}));
}

TEST(SiggenArqSource, BlocksOfNCharactersOnTheCycleWithTheGapBetween)
{
    ArqSettings settings;
    settings.phasingBlocks = 2;
    const ArqSource source(settings);
    Keying keying;
    ASSERT_EQ(source.Encode("EA", keying), 0u);
    // Run-in, two phasing blocks, and one block of letters shift, E, A.
    ASSERT_DOUBLE_EQ(keying.TotalBits(), kRunInBits + 3 * 45.0);
    const std::vector<int> halves = HalfBits(keying);
    std::vector<int> codes;
    for (int block = 0; block < 3; ++block)
        for (int m = 0; m < 3; ++m)
            codes.push_back(CodeAt(halves, size_t(2 * (kRunInBits + 45 * block + 7 * m))));
    EXPECT_EQ(codes, (std::vector<int>{0x70, 0x25, 0x70, 0x25, 0x70, 0x25, 0x25, 0x29, 0x38}));
    // In the gap the level changes in the middle of this station's bit cells, never at their edges.
    const size_t gapStart = size_t(2 * (kRunInBits + 21));
    for (size_t cell = 0; cell + 1 < 24; ++cell) {
        EXPECT_NE(halves[gapStart + 2 * cell], halves[gapStart + 2 * cell + 1]) << cell;
        EXPECT_EQ(halves[gapStart + 2 * cell + 1], halves[gapStart + 2 * cell + 2]) << cell;
    }
}

// Out of the other station's range: the same blocks, and nothing at all in the gaps.
TEST(SiggenArqSource, AQuietGapSendsNothing)
{
    ArqSettings settings;
    settings.phasingBlocks = 2;
    settings.gap = ArqGap::kQuiet;
    const ArqSource source(settings);
    Keying keying;
    ASSERT_EQ(source.Encode("EA", keying), 0u);
    ASSERT_DOUBLE_EQ(keying.TotalBits(), kRunInBits + 3 * 45.0);
    const std::vector<int> halves = HalfBits(keying);
    EXPECT_EQ(CodeAt(halves, size_t(2 * (kRunInBits + 90 + 14))), 0x38);

    GeneratorSettings g;
    g.baud = 100;
    g.sampleRate = 10000; // 100 samples a bit
    g.leadSeconds = 0.0;
    g.trailSeconds = 0.0;
    Generator generator(g);
    const std::vector<int16_t> x = generator.Render(keying, source.IdleLevel());
    ASSERT_EQ(x.size(), size_t(100 * (kRunInBits + 3 * 45)));
    for (int block = 0; block < 3; ++block) {
        const auto begin = x.begin() + 100 * (kRunInBits + 45 * block);
        EXPECT_GT(*std::max_element(begin, begin + 100 * 21), 1000) << block;
        EXPECT_TRUE(std::all_of(begin + 100 * 21, begin + 100 * 45, [](int16_t v) { return v == 0; })) << block;
    }
}

TEST(SiggenFecSource, EveryCharacterTwiceTheRepetitionFourCharactersLater)
{
    FecSettings settings;
    settings.phasingPairs = 2;
    const FecSource source(settings);
    Keying keying;
    source.Encode("EAST", keying);
    const std::vector<int> halves = HalfBits(keying);
    std::vector<int> slots;
    for (size_t at = 2 * kRunInBits; at + 14 <= halves.size(); at += 14)
        slots.push_back(CodeAt(halves, at));
    const int l = 0x25, e = 0x29, a = 0x38, s = 0x34, t = 0x0B, beta = 0x4C, alpha = 0x70;
    const std::vector<int> expected = {beta, alpha, beta, alpha, // phasing: 1 in DX, 2 in RX
                                       l,    alpha, e,    alpha, a, l, s, e, t, a, alpha, s, alpha, t, alpha, alpha};
    EXPECT_EQ(slots, expected);
}

} // namespace
} // namespace sirrel::siggen
