#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoders/cis_decoder.h"
#include "decoders/dispatch.h"
#include "feed_bits.h"
#include "output/data_output_window.h"

namespace sirrel {
namespace {

using testing::FeedBit;

using Codes = std::vector<int32_t>;

// A valid frame for a 5-bit code: bits 7..10 close the four checks; bits 5 and 6 take part in no single check
// alone, so they are free.
uint32_t Frame(uint32_t code, uint32_t b5 = 1, uint32_t b6 = 0)
{
    const auto bit = [&](int i) { return (code >> i) & 1; };
    const uint32_t b7 = bit(1) ^ bit(3) ^ bit(4) ^ b5;
    const uint32_t b8 = bit(0) ^ bit(2) ^ bit(4);
    const uint32_t b9 = bit(0) ^ bit(1) ^ bit(3) ^ b6;
    const uint32_t b10 = bit(0) ^ bit(2) ^ bit(3) ^ b5 ^ b6;
    return (code & 31) | b5 << 5 | b6 << 6 | b7 << 7 | b8 << 8 | b9 << 9 | b10 << 10;
}

// An invalid frame: a valid one with one bit flipped.
constexpr uint32_t kBroken = 0x7FF;

struct Collector {
    CisDecoder decoder;
    Codes codes;

    explicit Collector(int32_t syncFrames = 3, int32_t maxErrors = 10)
    {
        decoder.SetMinSyncFrames(syncFrames);
        decoder.SetMaxErrors(maxErrors);
        decoder.SetSink([this](const DecodedCode &code) { codes.push_back(code.code); });
    }

    void putFrame(uint32_t frame, bool inverted = false)
    {
        for (int i = 0; i < 11; ++i)
            FeedBit(decoder, int32_t(((frame >> i) & 1) ^ (inverted ? 1 : 0)));
    }
    void putFrames(const std::vector<uint32_t> &frames, bool inverted = false)
    {
        for (uint32_t frame : frames)
            putFrame(frame, inverted);
    }
};

TEST(CisDecoder, FrameChecks)
{
    EXPECT_FALSE(CisDecoder::IsValidFrame(kBroken));
    for (uint32_t code = 0; code < 32; ++code) {
        for (uint32_t free = 0; free < 4; ++free) {
            const uint32_t frame = Frame(code, free & 1, free >> 1);
            ASSERT_TRUE(CisDecoder::IsValidFrame(frame)) << code;
            // Every single bit error is caught (unless it happens to make one of the two special values).
            for (int i = 0; i < 11; ++i) {
                const uint32_t damaged = frame ^ (1u << i);
                if (damaged != 0x196 && damaged != 0x415) {
                    EXPECT_FALSE(CisDecoder::IsValidFrame(damaged)) << code << " bit " << i;
                }
            }
        }
    }
    EXPECT_TRUE(CisDecoder::IsValidFrame(0x196));
    EXPECT_TRUE(CisDecoder::IsValidFrame(0x415));
}

TEST(CisDecoder, SynchronisesAfterNFramesInEitherPolarity)
{
    for (const bool inverted : {false, true}) {
        SCOPED_TRACE(inverted ? "inverted line" : "normal line");
        Collector cis;
        cis.putFrames({Frame(3), Frame(25)}, inverted);
        for (int i = 0; i < 10; ++i)
            FeedBit(cis.decoder, int32_t((Frame(14) >> i) & 1) ^ (inverted ? 1 : 0));
        EXPECT_TRUE(cis.codes.empty());
        EXPECT_EQ(cis.decoder.State(), CisDecoder::kSearching);
        FeedBit(cis.decoder, int32_t((Frame(14) >> 10) & 1) ^ (inverted ? 1 : 0));
        EXPECT_EQ(cis.codes, (Codes{3, 25, 14}));
        EXPECT_EQ(cis.decoder.State(), CisDecoder::kSynchronised);
        EXPECT_EQ(cis.decoder.Inverted(), inverted);

        cis.putFrames({Frame(1), 0x196, 0x415}, inverted);
        EXPECT_EQ(cis.codes, (Codes{3, 25, 14, 1, 22, 21}));
    }
}

TEST(CisDecoder, SearchSlidesOneBitAtATime)
{
    Collector cis;
    for (int bit : {1, 1, 0, 1})
        FeedBit(cis.decoder, bit);
    cis.putFrames({Frame(5), Frame(6), Frame(7)});
    EXPECT_EQ(cis.codes, (Codes{5, 6, 7}));
    cis.putFrame(Frame(8));
    EXPECT_EQ(cis.codes, (Codes{5, 6, 7, 8}));
}

TEST(CisDecoder, KeepsSynchronisationThroughMaxErrorsInvalidFrames)
{
    struct Case {
        const char *what;
        std::vector<uint32_t> after; // frames after synchronisation
        Codes expected;
        int32_t state;
    };
    std::vector<uint32_t> tenBad(10, kBroken);
    std::vector<uint32_t> tenBadThenGood = tenBad;
    tenBadThenGood.push_back(Frame(9));
    std::vector<uint32_t> elevenBadThenGood(11, kBroken);
    elevenBadThenGood.push_back(Frame(9));
    std::vector<uint32_t> restarted(5, kBroken);
    restarted.push_back(Frame(9));
    restarted.insert(restarted.end(), 10, kBroken);
    restarted.push_back(Frame(10));
    const Case cases[] = {
        {"ten invalid frames keep it", tenBadThenGood, {1, 2, 3, 9}, CisDecoder::kSynchronised},
        {"the eleventh loses it", elevenBadThenGood, {1, 2, 3}, CisDecoder::kSearching},
        {"a valid frame restarts the count", restarted, {1, 2, 3, 9, 10}, CisDecoder::kSynchronised},
        {"after an invalid frame", {Frame(4), kBroken}, {1, 2, 3, 4}, CisDecoder::kAfterError},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Collector cis;
        cis.putFrames({Frame(1), Frame(2), Frame(3)});
        cis.putFrames(c.after);
        EXPECT_EQ(cis.codes, c.expected);
        EXPECT_EQ(cis.decoder.State(), c.state);
    }

    // Once lost, the search waits for N fresh frames.
    Collector cis;
    cis.putFrames({Frame(1), Frame(2), Frame(3)});
    cis.putFrames(std::vector<uint32_t>(11, kBroken));
    cis.putFrames({Frame(11), Frame(12)});
    EXPECT_EQ(cis.codes, (Codes{1, 2, 3}));
    cis.putFrame(Frame(13));
    EXPECT_EQ(cis.codes, (Codes{1, 2, 3, 11, 12, 13}));
}

TEST(CisDecoder, OtherFrameSizesDecodeNothing)
{
    for (int32_t size : {14, 27, 28, 0}) {
        SCOPED_TRACE(size);
        Collector cis;
        cis.decoder.SetFrameSize(size);
        for (uint32_t code = 0; code < 32; ++code)
            cis.putFrame(Frame(code));
        EXPECT_TRUE(cis.codes.empty());
        EXPECT_EQ(cis.decoder.State(), CisDecoder::kSearching);
    }
}

TEST(CisDecoder, SyncLengthChangeKeepsTheNewestFrames)
{
    Collector cis(5);
    cis.putFrames({Frame(1), Frame(2), Frame(3), Frame(4)});
    EXPECT_TRUE(cis.codes.empty());
    cis.decoder.SetMinSyncFrames(2); // 44 bits are in: the next bit tests the newest two frames
    cis.decoder.SetMinSyncFrames(0); // ignored
    EXPECT_EQ(cis.decoder.SyncFrames(), 2);
    cis.putFrame(Frame(5));
    EXPECT_EQ(cis.codes, (Codes{4, 5}));
}

TEST(CisDecoder, DispatchedTextReachesChannelZero)
{
    SettingsModel settings;
    DataOutputWindow window;
    Dispatcher dispatcher(settings, window);
    std::string text;
    window.SetCharacterListener([&text](int32_t channel, uint8_t c, uint32_t) {
        if (channel == 0)
            text.push_back(char(c));
    });

    // "HI 5": H, I, space, figures, T (5 in figures).
    std::vector<int16_t> levels;
    for (uint32_t code : {20u, 6u, 4u, 27u, 16u}) {
        const uint32_t frame = Frame(code);
        for (int i = 0; i < 11; ++i)
            levels.insert(levels.end(), 8, int16_t(1 ^ ((frame >> i) & 1)));
    }
    DecoderParams params;
    params.mode = kModeCis;
    params.samplesPerBit = 8;
    params.SetCis({11, 3, 10});
    dispatcher.Dispatch(levels.data(), int32_t(levels.size()), params);
    EXPECT_EQ(text, "HI 5");
    EXPECT_TRUE(dispatcher.Cis().Inverted());
}

} // namespace
} // namespace sirrel
