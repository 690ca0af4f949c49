#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <string>
#include <vector>

#include "decoders/arqm_decoder.h"
#include "decoders/character_sets.h"
#include "decoders/dispatch.h"
#include "feed_bits.h"
#include "output/data_output_window.h"

namespace sirrel {
namespace {

using testing::FeedBit;

using Codes = std::vector<int32_t>;

// The decoder on its own, its codes collected with the channel each arrived on.
struct Collector {
    ArqmDecoder decoder;
    Codes codes;
    std::vector<int32_t> channels;

    Collector(int32_t channels, int32_t cycle, int32_t version)
    {
        decoder.SetChannels(channels);
        decoder.SetRepetitionCycle(cycle);
        decoder.SetVersion(version);
        decoder.SetSink([this](const DecodedCode &code) {
            codes.push_back(code.code);
            this->channels.push_back(code.channel);
        });
    }

    void put(const std::vector<int> &bits)
    {
        for (int bit : bits)
            FeedBit(decoder, bit);
    }
};

// The bits of r groups of K channels: chars[c][g] is the 7-bit character as sent, first bit in bit 0. With
// four channels, 0 and 2 share the first half of a group bit by bit, 1 and 3 the second.
std::vector<int> Window(int32_t k, const std::vector<std::vector<uint32_t>> &chars)
{
    const int32_t groupBits = 7 * k;
    const int32_t half = groupBits / 2;
    const int32_t step = k == 4 ? 2 : 1;
    const int32_t offsets[4] = {0, half, 1, half + 1};
    const size_t groups = chars[0].size();
    std::vector<int> bits(groups * size_t(groupBits));
    for (int32_t c = 0; c < k; ++c) {
        for (size_t g = 0; g < groups; ++g) {
            for (int32_t b = 0; b < 7; ++b)
                bits[g * size_t(groupBits) + size_t(offsets[c] + b * step)] = (chars[c][g] >> b) & 1;
        }
    }
    return bits;
}

std::vector<int> Inverted(std::vector<int> bits)
{
    for (int &bit : bits)
        bit ^= 1;
    return bits;
}

// Which characters of each channel's cycle are sent inverted, as a string over the groups of one window.
const char *Pattern(int32_t version, int32_t channel)
{
    static const char *const k342[4] = {"IUUUUUUU", "IUIIIIII", "UIIIIIII", "IUUUUUUU"};
    static const char *const k242[4] = {"UUUUUUUU", "IIIIIIII", "IIIIIIII", "IIIIIIII"};
    return version == ArqmDecoder::kVersion342 ? k342[channel] : k242[channel];
}

uint8_t Ita2Of(char letter)
{
    for (uint8_t code = 0; code < 32; ++code) {
        if (kIta2Table[code] == uint8_t(letter))
            return code;
    }
    ADD_FAILURE() << "no ITA2 letter " << letter;
    return 0;
}

// Consecutive windows carrying each channel's text (r characters per window), as an ARQ-M transmitter sends
// them: ITA3 codes, polarity by the version's pattern.
std::vector<int> Transmission(int32_t k, int32_t r, int32_t version, const std::vector<std::string> &texts)
{
    std::vector<int> bits;
    const size_t windows = texts[0].size() / size_t(r);
    for (size_t w = 0; w < windows; ++w) {
        std::vector<std::vector<uint32_t>> chars(size_t(k), std::vector<uint32_t>(size_t(r), 0));
        for (int32_t c = 0; c < k; ++c) {
            for (int32_t g = 0; g < r; ++g) {
                const uint32_t code = kIta3Table[Ita2Of(texts[size_t(c)][w * size_t(r) + size_t(g)])];
                chars[size_t(c)][size_t(g)] = Pattern(version, c)[g] == 'I' ? code ^ 0x7F : code;
            }
        }
        const std::vector<int> window = Window(k, chars);
        bits.insert(bits.end(), window.begin(), window.end());
    }
    return bits;
}

TEST(ArqmDecoder, SingleChannelWindowsDeliverThreeOfSevenCodes)
{
    struct Case {
        const char *what;
        int32_t version;
        std::vector<uint32_t> sent;
        Codes expected;
    };
    const Case cases[] = {
        {"242, all weight 3: unchanged", ArqmDecoder::kVersion242, {0x0E, 0x0D, 0x2C, 0x0B}, {0x0E, 0x0D, 0x2C, 0x0B}},
        {"242, all weight 4: inverted", ArqmDecoder::kVersion242, {0x71, 0x72, 0x53, 0x74}, {0x0E, 0x0D, 0x2C, 0x0B}},
        {"342, weight 4 then 3", ArqmDecoder::kVersion342, {0x71, 0x0D, 0x2C, 0x0B}, {0x0E, 0x0D, 0x2C, 0x0B}},
        {"342, inverted line", ArqmDecoder::kVersion342, {0x0E, 0x72, 0x53, 0x74}, {0x0E, 0x0D, 0x2C, 0x0B}},
        {"242, mixed weights", ArqmDecoder::kVersion242, {0x0E, 0x0D, 0x71, 0x0B}, {}},
        {"342, no complement", ArqmDecoder::kVersion342, {0x71, 0x72, 0x2C, 0x0B}, {}},
        {"first character weight 2", ArqmDecoder::kVersion242, {0x03, 0x05, 0x06, 0x09}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Collector arqm(1, 4, c.version);
        arqm.put(Window(1, {c.sent}));
        EXPECT_EQ(arqm.codes, c.expected);
    }
}

TEST(ArqmDecoder, TestsAfterAFullWindowThenSlidesBitByBitAfterAFailure)
{
    const std::vector<std::string> texts = {"ABCDEFGH", "IJKLMNOP"};
    const std::vector<int> stream = Transmission(2, 4, ArqmDecoder::kVersion342, texts);
    ASSERT_EQ(stream.size(), 112u);

    Collector aligned(2, 4, ArqmDecoder::kVersion342);
    aligned.put(std::vector<int>(stream.begin(), stream.begin() + 55));
    EXPECT_TRUE(aligned.codes.empty());
    EXPECT_EQ(aligned.decoder.BitCount(), 55);
    aligned.put({stream[55]});
    EXPECT_EQ(aligned.codes.size(), 8u);
    EXPECT_EQ(aligned.decoder.BitCount(), 0);
    aligned.put(std::vector<int>(stream.begin() + 56, stream.end() - 1));
    EXPECT_EQ(aligned.codes.size(), 8u);
    aligned.put({stream.back()});
    EXPECT_EQ(aligned.codes.size(), 16u);

    // Five stray bits in front: the first test fails and the decoder tries again at every bit until the
    // window lines up with the first group.
    const std::vector<int> stray = {1, 0, 0, 1, 0};
    Collector late(2, 4, ArqmDecoder::kVersion342);
    late.put(stray);
    late.put(std::vector<int>(stream.begin(), stream.begin() + 50));
    EXPECT_EQ(late.decoder.BitCount(), 55);
    EXPECT_TRUE(late.codes.empty());
    late.put(std::vector<int>(stream.begin() + 50, stream.begin() + 55));
    EXPECT_TRUE(late.codes.empty());
    EXPECT_EQ(late.decoder.BitCount(), 55);
    late.put({stream[55]});
    EXPECT_EQ(late.codes.size(), 8u);
    EXPECT_EQ(late.decoder.BitCount(), 0);
}

// The whole path: dispatcher, decoder, sink with a shift state per channel, one view per channel.
struct Receiver {
    SettingsModel settings;
    DataOutputWindow window;
    Dispatcher dispatcher{settings, window};
    std::array<std::string, kChannelCount> text;

    Receiver()
    {
        window.SetCharacterListener(
            [this](int32_t channel, uint8_t c, uint32_t) { text[size_t(channel)].push_back(char(c)); });
    }

    // Ten samples per bit, decided in the middle of each bit.
    void dispatch(const std::vector<int> &bits, int32_t k, int32_t r, int32_t version)
    {
        DecoderParams params;
        params.mode = kModeArqm;
        params.samplesPerBit = 10;
        params.SetArqm({k, r, version});
        std::vector<int16_t> levels;
        for (int bit : bits)
            levels.insert(levels.end(), 10, int16_t(bit));
        for (size_t at = 0; at < levels.size(); at += 2048) {
            const size_t n = std::min<size_t>(2048, levels.size() - at);
            dispatcher.Dispatch(levels.data() + at, int32_t(n), params);
        }
    }
};

TEST(ArqmDecoder, EveryChannelReachesItsOwnViewInOrder)
{
    struct Case {
        int32_t k;
        int32_t r;
        int32_t version;
        bool inverted;
    };
    const std::vector<std::string> texts = {"ABCDEFGHIJKLMNOP", "QRSTUVWXYZABCDEF", "GHIJKLMNOPQRSTUV",
                                            "WXYZWXYZABCDABCD"};
    const Case cases[] = {
        {2, 4, ArqmDecoder::kVersion342, false}, {2, 8, ArqmDecoder::kVersion342, true},
        {4, 4, ArqmDecoder::kVersion342, false}, {4, 8, ArqmDecoder::kVersion342, true},
        {2, 4, ArqmDecoder::kVersion242, false}, {4, 8, ArqmDecoder::kVersion242, true},
        {2, 1, ArqmDecoder::kVersion342, false}, {1, 4, ArqmDecoder::kVersion342, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.k << " channels, cycle " << c.r << ", version " << c.version
                                          << (c.inverted ? ", inverted" : ""));
        std::vector<std::string> sent(texts.begin(), texts.begin() + c.k);
        std::vector<int> bits = Transmission(c.k, c.r, c.version, sent);
        if (c.inverted)
            bits = Inverted(bits);
        Receiver receiver;
        receiver.dispatch({0, 0, 0, 0, 0, 0, 0}, c.k, c.r, c.version); // the clock settles on a first edge
        receiver.dispatch(bits, c.k, c.r, c.version);
        for (int32_t ch = 0; ch < kChannelCount; ++ch)
            EXPECT_EQ(receiver.text[size_t(ch)], ch < c.k ? sent[size_t(ch)] : "") << "channel " << ch;
    }
}

TEST(ArqmDecoder, ChannelsKeepTheirOwnShiftState)
{
    // Channel 1 shifts to figures ("[" stands for the figures shift, "]" for letters); channel 0 stays in
    // letters throughout.
    Receiver receiver;
    const auto send = [&](const std::vector<std::vector<uint8_t>> &ita2) {
        std::vector<std::vector<uint32_t>> chars(2);
        for (int32_t c = 0; c < 2; ++c) {
            for (int32_t g = 0; g < 4; ++g) {
                const uint32_t code = kIta3Table[ita2[size_t(c)][size_t(g)]];
                chars[size_t(c)].push_back(Pattern(ArqmDecoder::kVersion342, c)[g] == 'I' ? code ^ 0x7F : code);
            }
        }
        receiver.dispatch(Window(2, chars), 2, 4, ArqmDecoder::kVersion342);
    };
    receiver.dispatch({0, 0, 0}, 2, 4, ArqmDecoder::kVersion342);
    const uint8_t fig = 27, ltr = 31;
    send({{Ita2Of('Q'), Ita2Of('W'), Ita2Of('E'), Ita2Of('R')}, {fig, Ita2Of('Q'), Ita2Of('W'), Ita2Of('E')}});
    send({{Ita2Of('T'), Ita2Of('Y'), Ita2Of('U'), Ita2Of('I')}, {ltr, Ita2Of('T'), fig, Ita2Of('Y')}});
    EXPECT_EQ(receiver.text[0], "QWERTYUI");
    EXPECT_EQ(receiver.text[1], "123T6");
    EXPECT_TRUE(receiver.settings.numbers[1]);
    EXPECT_FALSE(receiver.settings.numbers[0]);
}

TEST(ArqmDecoder, GeometryChangesOnlyForSupportedValues)
{
    ArqmDecoder arqm;
    EXPECT_EQ(arqm.WindowBits(), 56);
    FeedBit(arqm, 1);
    FeedBit(arqm, 0);
    ASSERT_EQ(arqm.BitCount(), 2);

    for (int32_t unsupported : {3, 0, -2, 8})
        arqm.SetChannels(unsupported);
    for (int32_t unsupported : {0, -1, 256})
        arqm.SetRepetitionCycle(unsupported);
    arqm.SetChannels(2);
    arqm.SetRepetitionCycle(4);
    EXPECT_EQ(arqm.Channels(), 2);
    EXPECT_EQ(arqm.WindowBits(), 56);
    EXPECT_EQ(arqm.BitCount(), 2);

    arqm.SetChannels(4);
    EXPECT_EQ(arqm.WindowBits(), 112);
    EXPECT_EQ(arqm.BitCount(), 0);
    FeedBit(arqm, 1);
    arqm.SetRepetitionCycle(255);
    EXPECT_EQ(arqm.WindowBits(), 255 * 4 * 7);
    EXPECT_EQ(arqm.BitCount(), 0);
}

} // namespace
} // namespace sirrel
