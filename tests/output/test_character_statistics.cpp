#include <gtest/gtest.h>

#include "output/character_statistics.h"

namespace sirrel {
namespace {

TEST(CharacterStatistics, CountsOnlyWithinTheSize)
{
    for (uint32_t size : {2u, 64u, 256u}) {
        CharacterStatistics stats;
        stats.SetSize(size);
        EXPECT_EQ(stats.Size(), size);
        stats.Count(int32_t(size) - 1);
        stats.Count(int32_t(size));
        stats.Count(-1);
        EXPECT_EQ(stats.Counter(size - 1), 1.0);
        EXPECT_EQ(stats.Counter(size), 0.0) << "codes at or beyond the size are not counted";
    }
    CharacterStatistics stats;
    stats.SetSize(64);
    stats.SetSize(0);
    EXPECT_EQ(stats.Size(), 64u) << "size 0 (no mode) keeps the size";
    stats.SetSize(1000);
    EXPECT_EQ(stats.Size(), CharacterStatistics::kMaxEntries);
}

TEST(CharacterStatistics, ResizeKeepsCountersAndStartsNewOnesAtZero)
{
    CharacterStatistics stats;
    stats.SetSize(128);
    stats.Count(10);
    stats.Count(100);
    stats.SetSize(64);
    stats.SetSize(128);
    EXPECT_EQ(stats.Counter(10), 1.0);
    EXPECT_EQ(stats.Counter(100), 0.0);
    stats.Reset();
    EXPECT_EQ(stats.Counter(10), 0.0);
}

TEST(CharacterStatistics, LabelShowsTextEntryAndRoundedCount)
{
    CharacterStatistics stats;
    stats.SetSize(64);
    for (int i = 0; i < 3; ++i)
        stats.Count(2);
    EXPECT_EQ(stats.Label(2, "<CR>"), "<CR> - 0x02 - 3");
    EXPECT_EQ(stats.Label(33, "3"), "3 - 0x21 - 0");
    EXPECT_EQ(stats.Label(0, ""), " - 0x00 - 0");
}

} // namespace
} // namespace sirrel
