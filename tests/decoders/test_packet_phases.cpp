#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoders/dispatch.h"
#include "decoders/frame_gate.h"
#include "hdlc_line.h"

namespace sirrel {
namespace {

using test::Bytes;
using test::operator+;

TEST(FrameGate, LetsEachFrameThroughOnceWithinTheWindow)
{
    const Bytes a = test::Text("frame one");
    const Bytes b = test::Text("frame two");
    struct Case {
        const char *name;
        const Bytes *second;
        uint32_t secondLength;
        int64_t ticksBetween;
        bool admitted;
    };
    const Case cases[] = {
        {"same bytes at once", &a, uint32_t(a.size()), 0, false},
        {"same bytes at the window's end", &a, uint32_t(a.size()), FrameGate::kWindowBits, false},
        {"same bytes after the window", &a, uint32_t(a.size()), FrameGate::kWindowBits + 1, true},
        {"other bytes", &b, uint32_t(b.size()), 0, true},
        {"a shorter piece of the same bytes", &a, uint32_t(a.size() - 1), 0, true},
    };
    for (const Case &c : cases) {
        FrameGate gate;
        ASSERT_TRUE(gate.Admit(a.data(), uint32_t(a.size()))) << c.name;
        for (int64_t t = 0; t < c.ticksBetween; ++t)
            gate.Tick();
        EXPECT_EQ(gate.Admit(c.second->data(), c.secondLength), c.admitted) << c.name;
    }
}

TEST(FrameGate, ResetForgetsTheFramesSeen)
{
    const Bytes a = test::Text("frame");
    FrameGate gate;
    ASSERT_TRUE(gate.Admit(a.data(), uint32_t(a.size())));
    gate.Reset();
    EXPECT_TRUE(gate.Admit(a.data(), uint32_t(a.size())));
}

constexpr int32_t kSamplesPerBit = 8;

// The packet text the dispatcher writes, fed as the weak-signal demodulator's chain does (with soft values) or
// as the other demodulators' (without).
struct PacketEngine {
    SettingsModel settings;
    DataOutputWindow window;
    Dispatcher dispatcher{settings, window};
    std::string text;

    PacketEngine()
    {
        window.SetCharacterListener([this](int32_t channel, uint8_t c, uint32_t) {
            if (channel == 0)
                text.push_back(char(c));
        });
    }

    void Run(const std::vector<int16_t> &levels, bool withSoft, bool crcIgnore = false)
    {
        DecoderParams params;
        params.mode = kModePacket;
        params.samplesPerBit = kSamplesPerBit;
        params.SetPacket({crcIgnore ? 1 : 0});
        const std::vector<int16_t> soft(levels.size(), 8000);
        constexpr size_t kBlock = 100;
        for (size_t at = 0; at < levels.size(); at += kBlock) {
            const int32_t n = int32_t(std::min(kBlock, levels.size() - at));
            dispatcher.Dispatch(levels.data() + at, n, params, withSoft ? soft.data() + at : nullptr);
        }
    }

    size_t Count(const std::string &what) const
    {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }
};

Bytes Frame(const std::string &info) { return test::Header({"DST"}, {"SRC"}) + Bytes{0x03, 0xF0} + test::Text(info); }

// Clean edges at every multiple of the bit length keep the clock deciding in the middle of each bit; a single
// sample flipped at that instant in bit `spoiled` (a spike the majority vote let through) misleads the main
// deframer only.
std::vector<int16_t> Samples(const test::HdlcLine &line, size_t spoiled = SIZE_MAX)
{
    std::vector<int16_t> samples;
    for (int32_t level : line.levels())
        samples.insert(samples.end(), kSamplesPerBit, int16_t(level));
    if (spoiled != SIZE_MAX)
        samples[spoiled * kSamplesPerBit + kSamplesPerBit / 2] ^= 1;
    return samples;
}

// The spoiled bit lies in the information field of the first frame.
test::HdlcLine TwoFrames(size_t &spoiled)
{
    test::HdlcLine line;
    line.flags(8);
    spoiled = line.levels().size() + 8 * 18;
    line.frame(Frame("early")).flags(2).frame(Frame("both")).flags(2);
    return line;
}

TEST(PacketPhases, TheEarlyDeframerAddsFramesAndEachGoodFrameIsShownOnce)
{
    size_t spoiled = 0;
    const test::HdlcLine line = TwoFrames(spoiled);

    PacketEngine weak;
    weak.Run(Samples(line, spoiled), true);
    EXPECT_EQ(weak.Count("early"), 1u) << weak.text;
    EXPECT_EQ(weak.Count("both"), 1u) << weak.text;
    EXPECT_LT(weak.text.find("early"), weak.text.find("both")) << "in time order";
    EXPECT_EQ(weak.Count("SRC>DST"), 2u) << weak.text;

    // Without soft values only the main deframer runs, as before.
    PacketEngine plain;
    plain.Run(Samples(line, spoiled), false);
    EXPECT_EQ(plain.Count("early"), 0u) << plain.text;
    EXPECT_EQ(plain.Count("both"), 1u) << plain.text;
}

TEST(PacketPhases, FramesThatFailTheCheckComeFromTheMainDeframerAlone)
{
    // Both deframers finish this frame with a failing check; the early one must not show it a second time.
    test::HdlcLine line;
    line.flags(8).frame(Frame("bad"), true).flags(2);
    PacketEngine weak;
    weak.Run(Samples(line), true, true);
    EXPECT_EQ(weak.Count("SRC>DST"), 1u) << weak.text;
    EXPECT_EQ(weak.Count("[CRC Error]"), 1u) << weak.text;
}

TEST(PacketPhases, ASenderRepeatingAFrameIsShownEveryTime)
{
    test::HdlcLine line;
    line.flags(8).frame(Frame("again")).flags(1).frame(Frame("again")).flags(2);
    PacketEngine weak;
    weak.Run(Samples(line), true);
    EXPECT_EQ(weak.Count("again"), 2u) << weak.text;
}

} // namespace
} // namespace sirrel
