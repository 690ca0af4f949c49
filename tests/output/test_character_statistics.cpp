#include <gtest/gtest.h>

#include "output/character_statistics.h"
#include "protocols/settings_model.h"

namespace sirrel {
namespace {

TEST(CharacterStatistics, SizeFollowsTheMode)
{
    const struct {
        int32_t mode;
        uint32_t size;
    } cases[] = {{kModeIta2, 64}, {kModeIra, 128}, {kModeArq, 67}, {kModePacket, 256}, {kModeRawBits, 2},
                 {kModeFec, 67}, {kModeCis, 64},   {kModeArqm, 67}, {kModeAscii8, 128}};
    for (const auto &c : cases) {
        CharacterStatistics stats(kModePacket);
        stats.setMode(c.mode);
        EXPECT_EQ(stats.size(), c.size) << c.mode;
        stats.count(int32_t(c.size) - 1);
        stats.count(int32_t(c.size));
        stats.count(-1);
        EXPECT_EQ(stats.counter(c.size - 1), 1.0);
        EXPECT_EQ(stats.counter(c.size), 0.0) << "codes at or beyond the size are not counted";
    }
    CharacterStatistics stats(kModeIta2);
    stats.setMode(12);
    EXPECT_EQ(stats.size(), 64u) << "a number that is no mode keeps the size";
}

TEST(CharacterStatistics, ResizeKeepsCountersAndStartsNewOnesAtZero)
{
    CharacterStatistics stats(kModeIra);
    stats.count(10);
    stats.count(100);
    stats.setMode(kModeIta2);
    stats.setMode(kModeIra);
    EXPECT_EQ(stats.counter(10), 1.0);
    EXPECT_EQ(stats.counter(100), 0.0);
    stats.reset();
    EXPECT_EQ(stats.counter(10), 0.0);
}

TEST(CharacterStatistics, LabelsShowWhatTheSinkWouldShow)
{
    auto table = SettingsModel::identityTranslation();
    CharacterStatistics stats(kModeIta2);
    for (int i = 0; i < 3; ++i)
        stats.count(2);
    EXPECT_EQ(stats.label(2, table), "<CR> - 0x02 - 3");
    EXPECT_EQ(stats.label(8, table), "<LF> - 0x08 - 0");
    EXPECT_EQ(stats.label(33, table), "3 - 0x21 - 0");
    EXPECT_EQ(stats.label(0, table), " - 0x00 - 0");

    stats.setMode(kModeAscii8);
    stats.count(13);
    EXPECT_EQ(stats.label(13, table), "<CR> - 0x0D - 1");
    table['A'] = 'a';
    EXPECT_EQ(stats.label('A', table), "a - 0x41 - 0");

    stats.setMode(kModeArq);
    stats.count(0x40);
    EXPECT_EQ(stats.label(0x40, table), " - 0x40 - 1") << "service markers have no display text";
    EXPECT_EQ(stats.label(3, table), "a - 0x03 - 0") << "ITA2 'A', then the user table";

    stats.setMode(kModeRawBits);
    EXPECT_EQ(stats.label(1, table), "1 - 0x01 - 0");
}

} // namespace
} // namespace sirrel
