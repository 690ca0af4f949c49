#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "decoders/arqm_decoder.h"
#include "decoders/cis_decoder.h"
#include "decoders/decoder_sink.h"
#include "output/data_output_window.h"
#include "siggen/arqm_source.h"
#include "siggen/cis_source.h"

namespace sirrel::siggen {
namespace {

// One level per bit, after `lead` bits of steady line (the idle level, or the other one when the receiver's
// demodulator starts on the wrong side), optionally with every bit inverted.
std::vector<int> Bits(const BitSource &source, const Keying &keying, int lead, bool inverted = false,
                      bool otherLead = false)
{
    std::vector<int> bits(static_cast<size_t>(lead), source.IdleLevel() ^ (otherLead ? 1 : 0));
    for (const KeyElement &e : keying.Elements())
        bits.insert(bits.end(), static_cast<size_t>(std::lround(e.bits)), e.level);
    if (inverted) {
        for (int &bit : bits)
            bit ^= 1;
    }
    return bits;
}

// The ARQ-M and CIS decoders delivering through the sink in one mode, collecting the text of every channel.
struct Receiver {
    SettingsModel settings;
    DataOutputWindow window;
    DecoderSink sink{settings, window};
    ArqmDecoder arqm;
    CisDecoder cis;
    std::array<std::string, kChannelCount> text;

    explicit Receiver(int32_t mode)
    {
        sink.BeginBlock(mode);
        sink.SetRepetitionSkip(1);
        arqm.SetSink([this](const DecodedCode &code) { sink.Take(code); });
        cis.SetSink([this](const DecodedCode &code) { sink.Take(code); });
        window.SetCharacterListener([this](int32_t channel, uint8_t c, uint32_t) {
            text[static_cast<size_t>(channel)].push_back(static_cast<char>(c));
        });
    }
};

void FeedBit(Decoder &decoder, int bit)
{
    const int16_t level = static_cast<int16_t>(bit);
    decoder.Feed(&level, 1);
}

const std::array<std::string, 4> kTexts = {"CQ CQ DE ARQM 1234", "RYRYRY THE QUICK BROWN FOX", "NR 42 = 6*7",
                                           "VVV VVV"};

TEST(SiggenArqm, EveryChannelDecodesToItsTextWhereverTheSignalStarts)
{
    struct Case {
        int channels;
        int cycle;
        ArqmSource::Version version;
    };
    const Case cases[] = {
        {2, 4, ArqmSource::Version::kV342}, {2, 8, ArqmSource::Version::kV342}, {4, 4, ArqmSource::Version::kV342},
        {4, 8, ArqmSource::Version::kV342}, {2, 4, ArqmSource::Version::kV242}, {2, 8, ArqmSource::Version::kV242},
        {4, 4, ArqmSource::Version::kV242}, {4, 8, ArqmSource::Version::kV242}, {1, 4, ArqmSource::Version::kV342},
    };
    for (const Case &c : cases) {
        const ArqmSource source(c.channels, c.cycle, c.version,
                                std::vector<std::string>(kTexts.begin() + 1, kTexts.begin() + c.channels));
        Keying keying;
        ASSERT_EQ(source.Encode(kTexts[0], keying), 0u);
        for (const int lead : {0, 1, 5, 13, 60, 111}) {
            for (const int variant : {0, 1, 2, 3}) {
                const bool inverted = variant & 1;
                const bool otherLead = variant & 2;
                SCOPED_TRACE(testing::Message()
                             << c.channels << " channels, cycle " << c.cycle << ", "
                             << (c.version == ArqmSource::Version::kV342 ? "342" : "242") << ", lead " << lead
                             << (inverted ? ", inverted" : "") << (otherLead ? ", other lead level" : ""));
                Receiver receiver(kModeArqm);
                ArqmDecoder &decoder = receiver.arqm;
                decoder.SetChannels(c.channels);
                decoder.SetRepetitionCycle(c.cycle);
                decoder.SetVersion(c.version == ArqmSource::Version::kV342 ? 1 : 0);
                for (const int bit : Bits(source, keying, lead, inverted, otherLead))
                    FeedBit(decoder, bit);
                for (int ch = 0; ch < kChannelCount; ++ch)
                    EXPECT_EQ(receiver.text[static_cast<size_t>(ch)],
                              ch < c.channels ? kTexts[static_cast<size_t>(ch)] : "")
                        << "channel " << ch;
            }
        }
    }
}

TEST(SiggenArqm, MissingChannelTextsIdle)
{
    const ArqmSource source(4, 4, ArqmSource::Version::kV342, {"B ONLY"});
    Keying keying;
    source.Encode("A", keying);
    Receiver receiver(kModeArqm);
    receiver.arqm.SetChannels(4);
    for (const int bit : Bits(source, keying, 3))
        FeedBit(receiver.arqm, bit);
    EXPECT_EQ(receiver.text[0], "A");
    EXPECT_EQ(receiver.text[1], "B ONLY");
    EXPECT_EQ(receiver.text[2], "");
    EXPECT_EQ(receiver.text[3], "");
}

TEST(SiggenCis, FramesCarryTheFourChecks)
{
    for (uint8_t code = 0; code < 32; ++code)
        EXPECT_TRUE(CisDecoder::IsValidFrame(CisSource::Frame(code))) << int(code);
    EXPECT_EQ(CisSource::Frame(31), 0x79Fu);
}

TEST(SiggenCis, DecodesToTheTextAfterAnyIdleLead)
{
    const std::string text = "ZCZC CIS 11 TEST 0123456789\r\nNNNN";
    const CisSource source;
    Keying keying;
    ASSERT_EQ(source.Encode(text, keying), 0u);
    // Long leads let the decoder synchronise on the steady line first (all-zero frames, inverted).
    for (const int lead : {0, 3, 100, 400, 1000}) {
        for (const int variant : {0, 1, 2, 3}) {
            const bool inverted = variant & 1;
            const bool otherLead = variant & 2;
            SCOPED_TRACE(testing::Message() << "lead " << lead << (inverted ? ", inverted" : "")
                                            << (otherLead ? ", other lead level" : ""));
            Receiver receiver(kModeCis);
            CisDecoder &decoder = receiver.cis;
            decoder.SetMinSyncFrames(15);
            decoder.SetMaxErrors(20);
            for (const int bit : Bits(source, keying, lead, inverted, otherLead))
                FeedBit(decoder, bit);
            EXPECT_EQ(receiver.text[0], text);
            EXPECT_EQ(decoder.Inverted(), inverted);
        }
    }
}

} // namespace
} // namespace sirrel::siggen
