#include <gtest/gtest.h>

#include <string>

#include "progress.h"

namespace sirrel {
namespace {

TEST(ProgressMeter, ShownOnlyForLongInputsWithTextAwayFromTheTerminal)
{
    struct Case {
        bool quiet, stderrTerminal, stdoutTerminal;
        double duration;
        bool wanted;
    };
    const Case cases[] = {
        {false, true, false, 61, true},     {false, true, false, 60, false},  {true, true, false, 3600, false},
        {false, false, false, 3600, false}, {false, true, true, 3600, false}, {false, true, false, 0, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ProgressMeter::Wanted(c.quiet, c.stderrTerminal, c.stdoutTerminal, c.duration), c.wanted)
            << c.quiet << c.stderrTerminal << c.stdoutTerminal << " " << c.duration;
}

TEST(ProgressMeter, Clock)
{
    EXPECT_EQ(ProgressMeter::Clock(0), "0:00");
    EXPECT_EQ(ProgressMeter::Clock(5.9), "0:05");
    EXPECT_EQ(ProgressMeter::Clock(754), "12:34");
    EXPECT_EQ(ProgressMeter::Clock(3599.5), "59:59");
    EXPECT_EQ(ProgressMeter::Clock(3723), "1:02:03");
    EXPECT_EQ(ProgressMeter::Clock(-1), "0:00");
}

TEST(ProgressMeter, UpdatesAFewTimesASecondInPlace)
{
    ProgressMeter meter(600);
    EXPECT_FALSE(meter.Update(0.1, 10)); // a quick run never shows the line
    EXPECT_EQ(meter.Update(0.25, 60), "\r1:00 / 10:00   10%  240.0x real time");
    EXPECT_FALSE(meter.Update(0.3, 70));
    EXPECT_FALSE(meter.Update(0.49, 80));
    // A shorter line covers what is left of the longer one, and the end clears the widest.
    EXPECT_EQ(meter.Update(6.5, 65), "\r1:05 / 10:00   10%  10.0x real time ");
    EXPECT_EQ(meter.Update(100, 700), "\r10:00 / 10:00  100%  6.0x real time");
    EXPECT_EQ(meter.Finish(), "\r" + std::string(35, ' ') + "\r");
    EXPECT_EQ(meter.Finish(), ""); // nothing left to clear
}

TEST(ProgressMeter, NothingToClearWhenNothingWasShown)
{
    ProgressMeter meter(120);
    EXPECT_FALSE(meter.Update(0.2, 100));
    EXPECT_EQ(meter.Finish(), "");
}

} // namespace
} // namespace sirrel
