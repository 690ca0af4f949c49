#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "async_line.h"
#include "decoders/character_sets.h"
#include "decoders/dispatch.h"
#include "hdlc_line.h"

namespace sirrel {
namespace {

using testing::AsyncLine;

// A window with the characters it writes collected as text per channel.
struct Engine {
    SettingsModel settings;
    DataOutputWindow window;
    Dispatcher dispatcher{settings, window};
    std::string text;

    Engine()
    {
        window.SetCharacterListener([this](int32_t channel, uint8_t c, uint32_t) {
            if (channel == 0)
                text.push_back(char(c));
        });
    }

    void run(const std::vector<int16_t> &levels, const DecoderParams &params, size_t block)
    {
        for (size_t at = 0; at < levels.size(); at += block) {
            const size_t n = std::min(block, levels.size() - at);
            dispatcher.Dispatch(levels.data() + at, int32_t(n), params);
        }
    }
};

DecoderParams Params(int32_t mode, double samplesPerBit)
{
    DecoderParams p;
    p.mode = mode;
    p.samplesPerBit = samplesPerBit;
    return p;
}

TEST(Dispatcher, PausedDropsLevelsAndKeepsTheClock)
{
    Engine e;
    const DecoderParams raw = Params(kModeRawBits, 10);
    const std::vector<int16_t> zeros(23, 0);
    e.run(zeros, raw, zeros.size()); // decisions at 5 and 15
    ASSERT_EQ(e.text, "00");
    const double phase = e.dispatcher.BitPhase();

    ASSERT_TRUE(e.dispatcher.Sink().OutputProduced());
    e.settings.paused = true;
    e.run(std::vector<int16_t>(50, 1), raw, 50);
    EXPECT_EQ(e.text, "00");
    EXPECT_EQ(e.dispatcher.BitPhase(), phase);
    EXPECT_EQ(e.dispatcher.LastLevel(), 0);
    EXPECT_TRUE(e.dispatcher.Sink().OutputProduced()) << "a paused call touches nothing";

    e.settings.paused = false;
    e.run(std::vector<int16_t>(3, 0), raw, 3); // the next instant is sample 25, the third of this block
    EXPECT_EQ(e.text, "000");
}

TEST(Dispatcher, DecisionInstantsCarryAcrossBlocks)
{
    // Ten samples per bit and no transitions: bits are decided at samples 5, 15, 25, ... whatever the blocks.
    Engine e;
    const DecoderParams raw = Params(kModeRawBits, 10);
    const int16_t zero = 0;
    for (int sample = 0; sample < 60; ++sample) {
        const size_t before = e.text.size();
        e.dispatcher.Dispatch(&zero, 1, raw);
        EXPECT_EQ(e.text.size() - before, sample % 10 == 5 ? 1u : 0u) << "sample " << sample;
    }
    e.run(std::vector<int16_t>(2048, 0), raw, 2048); // samples 60..2107: instants 65 .. 2105
    EXPECT_EQ(e.text.size(), 6u + 205u);
    EXPECT_DOUBLE_EQ(e.dispatcher.BitPhase(), 2110.0 - 2108.0);
}

TEST(Dispatcher, TransitionsPullTheClockByATenth)
{
    // After the decision at sample 5 the next bit is expected to start at 10.
    const struct {
        int transition;
        double phaseAfter20;
    } cases[] = {{10, 0.0}, {13, 0.3}, {7, -0.3}};
    for (const auto &c : cases) {
        for (int32_t mode : {int32_t(kModeRawBits), 9}) {
            Engine e;
            std::vector<int16_t> levels(20, 0);
            std::fill(levels.begin() + c.transition, levels.end(), 1);
            e.run(levels, Params(mode, 10), levels.size());
            EXPECT_NEAR(e.dispatcher.BitPhase(), c.phaseAfter20, 1e-9) << c.transition << " mode " << mode;
            EXPECT_EQ(e.dispatcher.LastLevel(), 1);
            EXPECT_EQ(e.text, mode == kModeRawBits ? "01" : "") << "mode 9 decides bits for nobody";
        }
    }
}

TEST(Dispatcher, WithSoftValuesTheSteadySystemsSlowTheirClockDown)
{
    // Bits that alternate on time, then a transition 3 samples late. With soft values the systems that keep one
    // timing for a whole transmission move the clock less the more transitions it has followed: a tenth at
    // first, a twentieth after 200, a fiftieth at last. Packet, raw bits and every mode without soft values
    // keep a tenth.
    const struct {
        int32_t mode;
        bool steady;
    } modes[] = {{kModeArq, true},  {kModeFec, true},     {kModeCis, true},
                 {kModeArqm, true}, {kModePacket, false}, {kModeRawBits, false}};
    const struct {
        int32_t onTime;
        double steadyPull;
    } runs[] = {{0, 0.3}, {200, 0.15}, {1000, 0.06}};
    for (const auto &m : modes) {
        for (const auto &r : runs) {
            for (bool withSoft : {false, true}) {
                Engine e;
                std::vector<int16_t> levels;
                for (int32_t bit = 0; bit <= r.onTime; ++bit)
                    levels.insert(levels.end(), 10, int16_t(bit % 2));
                const int16_t last = levels.back();
                levels.insert(levels.end(), 3, last);
                levels.insert(levels.end(), 7, int16_t(1 - last));
                std::vector<int16_t> soft(levels.size());
                std::transform(levels.begin(), levels.end(), soft.begin(),
                               [](int16_t l) { return int16_t(l ? 4000 : -4000); });
                e.dispatcher.Dispatch(levels.data(), int32_t(levels.size()), Params(m.mode, 10),
                                      withSoft ? soft.data() : nullptr);
                EXPECT_NEAR(e.dispatcher.BitPhase(), withSoft && m.steady ? r.steadyPull : 0.3, 1e-9)
                    << "mode " << m.mode << " after " << r.onTime << (withSoft ? " with" : " without") << " soft";
            }
        }
    }
}

TEST(Dispatcher, RawBitsGoThroughTheWholeSink)
{
    Engine e;
    e.settings.translation['0'] = 'o';
    e.settings.translation['1'] = 'i';
    std::vector<int16_t> levels;
    for (int bit : {0, 1, 1, 0, 1})
        levels.insert(levels.end(), 10, int16_t(bit));
    e.run(levels, Params(kModeRawBits, 10), 7);
    EXPECT_EQ(e.window.View(0).LineText(0), "oiioi");
    EXPECT_EQ(e.window.Statistics().Size(), 2u);
    EXPECT_EQ(e.window.Statistics().Counter(0), 2.0);
    EXPECT_EQ(e.window.Statistics().Counter(1), 3.0);
    EXPECT_GT(e.window.Redraws().views, 0u);
    EXPECT_EQ(e.window.Redraws().views, e.window.Redraws().statistics);
}

TEST(Dispatcher, AsyncModesConfigureTheDecoder)
{
    const struct {
        int32_t mode;
        double samplesPerBit;
        int32_t dataBits, wholeSamples;
    } cases[] = {{kModeIta2, 9.5, 5, 10}, {kModeIra, 9.49, 7, 9}, {kModeAscii8, 220.5, 8, 221}};
    for (const auto &c : cases) {
        Engine e;
        DecoderParams p = Params(c.mode, c.samplesPerBit);
        p.SetAsync({2});
        e.dispatcher.Dispatch(nullptr, 0, p);
        EXPECT_EQ(e.dispatcher.Async().DataBits(), c.dataBits);
        EXPECT_EQ(e.dispatcher.Async().SamplesPerBit(), c.wholeSamples);
        EXPECT_EQ(e.dispatcher.CurrentMode(), c.mode);
        EXPECT_EQ(e.dispatcher.BitPhase(), 0.0) << "the start/stop decoder keeps its own timing";
    }
}

TEST(Dispatcher, SynchronousModesSetSuppressionAndCharset)
{
    const struct {
        int32_t mode;
        std::array<int32_t, 5> words;
        int32_t skip, charset;
    } cases[] = {
        {kModeArq, {45, 3, 0, 4, 1}, 4, 1},
        {kModeFec, {3, 0, 2, 0, 0}, 1, 2},
        {kModeArqm, {2, 4, 0, 0, 0}, 3, 7},
        {kModeCis, {11, 15, 20, 0, 0}, 9, 7}, // other modes leave both alone
    };
    for (const auto &c : cases) {
        Engine e;
        e.dispatcher.Sink().SetRepetitionSkip(9);
        e.dispatcher.Sink().SetCharset(7);
        DecoderParams p = Params(c.mode, 10);
        p.SetWords(c.words);
        e.dispatcher.Dispatch(nullptr, 0, p);
        EXPECT_EQ(e.dispatcher.Sink().RepetitionSkip(), c.skip) << c.mode;
        EXPECT_EQ(e.dispatcher.Sink().Charset(), c.charset) << c.mode;
        EXPECT_EQ(e.window.Statistics().Size(), StatisticsSize(c.mode));
    }
}

TEST(Dispatcher, ShiftStateSurvivesBlocks)
{
    // Figures 1 is "3", letters 1 is "E"; the decoder frames in bursts, so shifts and their characters often
    // land in different calls.
    std::vector<unsigned> codes;
    for (int i = 0; i < 12; ++i)
        codes.insert(codes.end(), {27, 1, 31, 1});
    codes.insert(codes.end(), 30, 31);
    AsyncLine line(10, 5);
    line.idle(4).characters(codes);
    std::string expected;
    for (int i = 0; i < 12; ++i)
        expected += "3E";
    for (size_t block : {size_t(37), size_t(2048)}) {
        Engine e;
        e.run(line.levels(), Params(kModeIta2, 10), block);
        EXPECT_EQ(e.text, expected) << block;
        EXPECT_FALSE(e.settings.numbers[0]);
    }
}

// ITA2 at 50 baud and 11025 Hz, 1.5 stop bits, in frames of 2048 samples as the signal chain delivers them.
TEST(Dispatcher, DecodesItaTwoTeleprinterTextEndToEnd)
{
    enum : unsigned { R = 10, Y = 21, Sp = 4, C = 14, Q = 23, D = 9, E = 1, CR = 2, LF = 8, Figs = 27, Ltrs = 31 };
    const std::vector<unsigned> message = {
        Ltrs, R,    Y,          R,          Y,         Sp,        C,    Q,  CR, LF, D,  E,
        Sp,   Figs, 10 /* 4 */, 19 /* 2 */, 3 /* - */, 7 /* 7 */, Ltrs, Sp, E,  CR, LF,
    };
    std::vector<unsigned> codes = message;
    codes.insert(codes.end(), 20, Ltrs);
    AsyncLine line(11025.0 / 50.0, 5, 1.5);
    line.idle(50).characters(codes).idle(25);

    Engine e;
    e.run(line.levels(), Params(kModeIta2, 11025.0 / 50.0), 2048);
    EXPECT_EQ(e.text, "RYRY CQ\r\nDE 42-7 E\r\n");
    OutputTextView &view = e.window.View(0);
    ASSERT_EQ(view.LineCount(), 3u);
    EXPECT_EQ(view.LineText(0), "RYRY CQ");
    EXPECT_EQ(view.LineText(1), "DE 42-7 E");
    EXPECT_EQ(view.LineText(2), "");
}

// Without more signal the start/stop decoder holds the newest characters back; only the end of the input
// lets them out, and only while its mode is the current one.
TEST(Dispatcher, FinishDeliversWhatTheStartStopDecoderHoldsBack)
{
    AsyncLine line(10, 5);
    line.idle(4).characters({20, 6}).idle(2); // "HI"
    const struct {
        const char *what;
        bool paused;
        bool otherModeLast;
        std::string text;
    } cases[] = {
        {"start/stop mode current", false, false, "HI"},
        {"paused", true, false, ""},
        {"a clocked mode current", false, true, ""},
    };
    for (const auto &c : cases) {
        Engine e;
        e.run(line.levels(), Params(kModeIta2, 10), line.levels().size());
        ASSERT_EQ(e.text, "") << c.what << ": a short line is held back";
        if (c.otherModeLast)
            e.dispatcher.Dispatch(nullptr, 0, Params(kModeRawBits, 10));
        e.settings.paused = c.paused;
        e.dispatcher.Finish();
        EXPECT_EQ(e.text, c.text) << c.what;
    }
}

TEST(Dispatcher, ResetStartsClockDecodersAndShiftStatesAfresh)
{
    Engine e;
    std::vector<int16_t> levels(13, 0);
    levels.back() = 1;
    e.run(levels, Params(kModeRawBits, 10), levels.size());
    DecoderParams arqm = Params(kModeArqm, 10);
    arqm.SetArqm({2, 4, 1});
    e.run(std::vector<int16_t>(100, 1), arqm, 100);
    ASSERT_GT(e.dispatcher.Arqm().BitCount(), 0);
    ASSERT_NE(e.dispatcher.BitPhase(), 0.0);
    e.settings.numbers[2] = true;
    ASSERT_GT(e.window.Statistics().Counter(0), 0.0);

    e.dispatcher.Reset();
    EXPECT_EQ(e.dispatcher.BitPhase(), 0.0);
    EXPECT_EQ(e.dispatcher.LastLevel(), 0);
    EXPECT_EQ(e.dispatcher.Arqm().BitCount(), 0);
    EXPECT_EQ(e.dispatcher.Arqm().Channels(), 2) << "the configuration stays";
    EXPECT_FALSE(e.settings.numbers[2]);
    EXPECT_EQ(e.window.Statistics().Counter(0), 0.0);

    // The clock runs as from construction: the first decision falls at sample 5 again.
    const std::string before = e.text;
    e.run(std::vector<int16_t>(6, 0), Params(kModeRawBits, 10), 6);
    EXPECT_EQ(e.text, before + "0");
}

// Packet text repaints only the statistics (the views follow the deframer's own text); every other mode
// repaints both, and a block that writes nothing asks for nothing.
TEST(Dispatcher, RedrawRequestsFollowTheMode)
{
    Engine e;
    e.run(std::vector<int16_t>(4, 0), Params(kModeRawBits, 10), 4);
    EXPECT_EQ(e.window.Redraws().views, 0u) << "no bit decided yet";
    e.run(std::vector<int16_t>(10, 0), Params(kModeRawBits, 10), 10);
    EXPECT_EQ(e.window.Redraws().views, 1u);
    EXPECT_EQ(e.window.Redraws().statistics, 1u);

    test::HdlcLine line;
    using test::operator+;
    line.flags(8).frame(test::Header({"DST"}, {"SRC"}) + test::Bytes{0x03, 0xF0} + test::Text("hi")).flags(2);
    std::vector<int16_t> samples;
    for (int32_t l : line.levels())
        samples.insert(samples.end(), 8, int16_t(l));
    e.run(samples, Params(kModePacket, 8), samples.size());
    ASSERT_NE(e.text.find("hi"), std::string::npos);
    EXPECT_EQ(e.window.Redraws().views, 1u);
    EXPECT_EQ(e.window.Redraws().statistics, 2u);
}

} // namespace
} // namespace sirrel
