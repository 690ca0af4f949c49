#include <gtest/gtest.h>

#include <random>

#include "decoders/hdlc_deframer.h"
#include "hdlc_line.h"

namespace sirrel {
namespace {

using test::Bytes;
using test::HdlcLine;

Bytes RandomBytes(std::mt19937 &rng, size_t count)
{
    // Many 0xFF and 0x7E bytes, so that stuffing and flag-like data occur everywhere.
    std::uniform_int_distribution<int> pick(0, 3);
    std::uniform_int_distribution<int> any(0, 255);
    Bytes out(count);
    for (auto &b : out) {
        const int kind = pick(rng);
        b = uint8_t(kind == 0 ? 0xFF : kind == 1 ? 0x7E : any(rng));
    }
    return out;
}

Bytes Delivered(const HdlcDeframer &d, int32_t n) { return Bytes(d.FrameBytes(), d.FrameBytes() + n); }

TEST(HdlcDeframer, IndependentCheckRoutineGivesThePublishedCheckValue)
{
    EXPECT_EQ(test::BitwiseFcs(test::Text("123456789")), 0x906E);
}

TEST(HdlcDeframer, RandomFramesArriveIntactWithTheirCheckVerdict)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<size_t> length(1, 328);
    for (int i = 0; i < 200; ++i) {
        const Bytes data = RandomBytes(rng, length(rng));
        const bool bad = i % 5 == 0;
        HdlcDeframer d;
        HdlcLine line;
        line.flags(2).frame(data, bad).flags();
        // Deliver the frame and inspect it while its bytes are still in the buffer.
        int32_t n = -1;
        for (int32_t l : line.levels()) {
            n = d.PushLevel(l);
            if (n >= 0)
                break;
        }
        ASSERT_EQ(n, int32_t(data.size())) << "frame " << i;
        EXPECT_EQ(Delivered(d, n), data) << "frame " << i;
        EXPECT_EQ(d.CrcGood(), !bad) << "frame " << i;
    }
}

TEST(HdlcDeframer, IdleFlagsKeepCollectingAndOneFlagSeparatesFrames)
{
    HdlcDeframer d;
    HdlcLine line;
    line.flags(100);
    EXPECT_TRUE(line.send(d).empty()) << "idle flags are no frames";

    HdlcDeframer d2;
    HdlcLine two;
    two.flags(50).frame(test::Text("first")).flags(1).frame(test::Text("second frame")).flags(1);
    EXPECT_EQ(two.send(d2), (std::vector<int32_t>{5, 12})) << "the flag that closes a frame opens the next";
}

TEST(HdlcDeframer, FrameLengthLimits)
{
    const struct {
        size_t withFcs;
        int32_t delivered; // -1: not delivered
    } cases[] = {{2, -1}, {3, 1}, {4, 2}, {330, 328}, {331, -1}, {400, -1}};
    std::mt19937 rng(3);
    for (const auto &c : cases) {
        const Bytes data = RandomBytes(rng, c.withFcs - 2);
        HdlcDeframer d;
        HdlcLine line;
        // Whatever happened to the first frame, the next one after a flag is received.
        line.flags().frame(data).flags().frame(test::Text("ok")).flags();
        std::vector<int32_t> expected;
        if (c.delivered >= 0)
            expected.push_back(c.delivered);
        expected.push_back(2);
        EXPECT_EQ(line.send(d), expected) << c.withFcs << " bytes with the check sequence";
    }
}

TEST(HdlcDeframer, FramesWithPartialBytesAreDropped)
{
    for (int extra = 1; extra < 8; ++extra) {
        HdlcDeframer d;
        HdlcLine line;
        line.flags().frame(test::Text("abcdef")).bits(0x55, extra).flags();
        EXPECT_TRUE(line.send(d).empty()) << extra << " extra bits";
    }
}

TEST(HdlcDeframer, SevenOnesAbortUntilTheNextFlag)
{
    HdlcDeframer d;
    HdlcLine line;
    line.flags().bytes(test::Text("half a frame")).raw(0x7F, 7).bytes(test::Text("junk")).flags();
    line.frame(test::Text("after")).flags();
    EXPECT_EQ(line.send(d), std::vector<int32_t>{5});

    // A line held for a long time is one long abort; the next flag starts again.
    HdlcDeframer held;
    for (int i = 0; i < 5'000'000; ++i)
        held.PushLevel(1);
    HdlcLine after;
    after.flags(2).frame(test::Text("woken")).flags();
    EXPECT_EQ(after.send(held), std::vector<int32_t>{5});
}

TEST(HdlcDeframer, AnyTwoValuedLevelWorks)
{
    HdlcLine line;
    line.flags().frame(test::Text("levels")).flags();
    HdlcDeframer d;
    std::vector<int32_t> finished;
    for (int32_t l : line.levels()) {
        const int32_t n = d.PushLevel(l ? -3 : 5);
        if (n >= 0)
            finished.push_back(n);
    }
    EXPECT_EQ(finished, std::vector<int32_t>{6});
    EXPECT_TRUE(d.CrcGood());
}

} // namespace
} // namespace sirrel
