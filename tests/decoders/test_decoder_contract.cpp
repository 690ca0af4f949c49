#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "decoders/arqm_decoder.h"
#include "decoders/async_decoder.h"
#include "decoders/cis_decoder.h"
#include "decoders/fec_decoder.h"
#include "decoders/hdlc_deframer.h"
#include "decoders/sync_arq_decoder.h"
#include "sync_blocks.h"

namespace sirrel {
namespace {

using testing::CodeBits;

std::vector<int16_t> RandomLevels(size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<int16_t> levels(count);
    for (auto &level : levels)
        level = int16_t(random() & 1);
    return levels;
}

std::vector<int16_t> Concat(std::vector<int16_t> a, const std::vector<int16_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Delivered {
    std::vector<DecodedCode> codes;
    bool operator==(const Delivered &other) const
    {
        if (codes.size() != other.codes.size())
            return false;
        for (size_t i = 0; i < codes.size(); ++i) {
            const DecodedCode &a = codes[i];
            const DecodedCode &b = other.codes[i];
            if (a.channel != b.channel || a.code != b.code || a.field != b.field || a.checkGood != b.checkGood)
                return false;
        }
        return true;
    }
};

Delivered FeedAll(Decoder &decoder, const std::vector<int16_t> &input)
{
    Delivered out;
    decoder.SetSink([&out](const DecodedCode &code) { out.codes.push_back(code); });
    for (const int16_t level : input)
        decoder.Feed(&level, 1);
    decoder.Finish();
    decoder.SetSink(nullptr);
    return out;
}

// After Reset a decoder treats the input as a fresh one would, whatever it had half received; the
// configuration stays.
TEST(DecoderContract, ResetForgetsWhatWasHalfReceived)
{
    DecoderParams params;
    params.samplesPerBit = 10;
    const std::vector<int16_t> sync = [] {
        std::vector<int16_t> bits;
        for (int8_t bit : CodeBits({testing::kE, testing::kA, testing::kS, testing::kT, testing::kO, testing::kN}))
            bits.push_back(bit);
        return bits;
    }();
    const struct {
        const char *what;
        std::function<std::unique_ptr<Decoder>()> make;
        int32_t mode;
        std::vector<int16_t> input;
    } cases[] = {
        {"sync ARQ", [] { return std::make_unique<SyncArqDecoder>(); }, kModeArq, Concat(sync, sync)},
        {"FEC", [] { return std::make_unique<FecDecoder>(); }, kModeFec, Concat(sync, sync)},
        {"ARQ-M", [] { return std::make_unique<ArqmDecoder>(); }, kModeArqm, RandomLevels(4000, 3)},
        {"CIS", [] { return std::make_unique<CisDecoder>(); }, kModeCis, RandomLevels(4000, 4)},
        {"HDLC", [] { return std::make_unique<HdlcDeframer>(); }, kModePacket, RandomLevels(4000, 5)},
        {"start/stop", [] { return std::make_unique<AsyncDecoder>(); }, kModeIta2, RandomLevels(4000, 6)},
    };
    for (const auto &c : cases) {
        params.mode = c.mode;
        params.SetWords({0, 0, 0, 0, 0});
        if (c.mode == kModeArq)
            params.SetArq({21, 3, 0, 1, 0});
        if (c.mode == kModeFec)
            params.SetFec({3, 0, 0});
        if (c.mode == kModeCis)
            params.SetCis({11, 1, 1});
        if (c.mode == kModeArqm)
            params.SetArqm({1, 1, 1});

        const auto fresh = c.make();
        fresh->Configure(params);
        const Delivered expected = FeedAll(*fresh, c.input);

        for (unsigned seed : {1u, 2u, 3u}) {
            const auto used = c.make();
            used->Configure(params);
            FeedAll(*used, RandomLevels(37 * seed, seed));
            used->Reset();
            EXPECT_TRUE(FeedAll(*used, c.input) == expected) << c.what << ", prefix seed " << seed;
        }
    }
}

// Configuration acts only on a change: the same block again keeps what a decoder holds.
TEST(DecoderContract, SameConfigurationKeepsState)
{
    DecoderParams params;
    params.mode = kModeArqm;
    params.SetArqm({4, 8, 1});
    ArqmDecoder arqm;
    arqm.Configure(params);
    const int16_t one = 1;
    for (int i = 0; i < 20; ++i)
        arqm.Feed(&one, 1);
    arqm.Configure(params);
    EXPECT_EQ(arqm.BitCount(), 20);
    params.SetArqm({4, 9, 1});
    arqm.Configure(params);
    EXPECT_EQ(arqm.BitCount(), 0) << "a changed geometry clears the window";

    params.mode = kModeCis;
    params.SetCis({11, 5, 3});
    CisDecoder cis;
    cis.Configure(params);
    EXPECT_EQ(cis.SyncFrames(), 5);
    EXPECT_EQ(cis.MaxErrors(), 3);
    params.SetCis({11, 0, 3});
    cis.Configure(params);
    EXPECT_EQ(cis.SyncFrames(), 5) << "an unsupported length is ignored";
}

} // namespace
} // namespace sirrel
