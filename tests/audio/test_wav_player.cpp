#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "audio/g711.h"
#include "audio/wav_file.h"
#include "audio/wav_player.h"
#include "output/async_file.h"
#include "wav_bytes.h"

namespace {

using namespace sirrel;

using sirrel::AsyncFile;

constexpr uint32_t kAll = WavPlayer::kPlayEnabled | WavPlayer::kRequireRate | WavPlayer::kRequireBits |
                          WavPlayer::kRequireChannels | WavPlayer::kConvertRate | WavPlayer::kConvertBits |
                          WavPlayer::kConvertChannels;

Section Make(uint16_t tag, uint32_t rate, uint16_t bits, uint16_t channels, Bytes data)
{
    Section s;
    s.tag = tag;
    s.rate = rate;
    s.bits = bits;
    s.channels = channels;
    s.blockAlignment = static_cast<uint16_t>(channels * bits / 8);
    s.data = std::move(data);
    return s;
}

Bytes Words(std::initializer_list<int16_t> values)
{
    Bytes b;
    for (int16_t v : values)
        Append16(b, static_cast<uint16_t>(v));
    return b;
}

std::vector<int16_t> AsWords(const Bytes &b)
{
    std::vector<int16_t> words(b.size() / 2);
    std::memcpy(words.data(), b.data(), words.size() * 2);
    return words;
}

class WavPlayerTest : public TempFolderTest {
protected:
    // Opens the image in a player wanting PCM of the given rate, bits and channels.
    bool Open(WavPlayer &player, const Bytes &image, uint32_t rate, uint32_t bits, uint32_t channels,
              uint32_t options = kAll)
    {
        player.SetOptions(options);
        EXPECT_TRUE(player.SetWantedFormat({WavFile::kPcm, rate, bits, channels}));
        return player.Open(Store("play.wav", image).c_str());
    }

    static Bytes ReadAll(WavPlayer &player, uint32_t piece = 1000)
    {
        Bytes all;
        Bytes buffer(piece);
        while (uint32_t got = player.Read(buffer.data(), piece))
            all.insert(all.end(), buffer.begin(), buffer.begin() + got);
        return all;
    }
};

TEST_F(WavPlayerTest, EachConversionGivesTheHandCheckedSamples)
{
    struct Case {
        const char *name;
        Section file;
        uint32_t bits;
        uint32_t channels;
        uint32_t options;
        Bytes expected;
    } cases[] = {
        {"8-bit stereo to 16-bit mono", Make(1, 8000, 8, 2, {200, 101, 0, 255, 128, 128, 10, 11}), 16, 1, kAll,
         Words({(150 - 128) * 256, (127 - 128) * 256, 0, (10 - 128) * 256})},
        {"16-bit stereo to mono", Make(1, 8000, 16, 2, Words({1000, 3000, -3, 0, 32767, 32767, -32768, -32768})), 16, 1,
         kAll, Words({2000, -1, 32767, -32768})},
        {"8-bit stereo to 8-bit mono", Make(1, 8000, 8, 2, {255, 254, 0, 1}), 8, 1, kAll, {254, 0}},
        {"8-bit to 16-bit", Make(1, 8000, 8, 1, {0, 128, 255}), 16, 1, kAll, Words({-32768, 0, 32512})},
        {"16-bit to 8-bit",
         Make(1, 8000, 16, 1, Words({0, -1, 32767, -32768, 256})),
         8,
         1,
         kAll,
         {128, 127, 255, 0, 129}},
        {"16-bit mono to stereo", Make(1, 8000, 16, 1, Words({5, -7})), 16, 2, kAll, Words({5, 5, -7, -7})},
        {"8-bit mono to stereo", Make(1, 8000, 8, 1, {1, 2}), 8, 2, kAll, {1, 1, 2, 2}},
        {"8-bit stereo to 16-bit stereo", Make(1, 8000, 8, 2, {0, 255}), 16, 2, kAll, Words({-32768, 32512})},
        {"A-law to linear", Make(6, 8000, 8, 1, {0xD5, 0x55, 0xAA, 0x2A, 0x80, 0x00}), 16, 1, kAll,
         Words({8, -8, 32256, -32256, 5504, -5504})},
        {"mu-law to linear", Make(7, 8000, 8, 1, {0xFF, 0x7F, 0x00, 0x80, 0xFE}), 16, 1, kAll,
         Words({0, 0, -32124, 32124, 8})},
        {"A-law stereo to 8-bit mono", Make(6, 8000, 8, 2, {0xAA, 0xAA, 0xD5, 0x55}), 8, 1, kAll, {254, 128}},
        {"same format passes through", Make(1, 8000, 16, 1, Words({1, -2, 3})), 16, 1, kAll, Words({1, -2, 3})},
        {"differences not converted pass through",
         Make(1, 8000, 8, 2, {1, 2, 3, 4}),
         16,
         1,
         WavPlayer::kPlayEnabled,
         {1, 2, 3, 4}},
        {"A-law expanded even with bits conversion off", Make(6, 8000, 8, 1, {0xD5}), 8, 1, WavPlayer::kPlayEnabled,
         Words({8})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WavPlayer player;
        ASSERT_TRUE(Open(player, Riff({c.file}), 8000, c.bits, c.channels, c.options));
        EXPECT_EQ(ReadAll(player, 64), c.expected);
    }
}

TEST_F(WavPlayerTest, ReadsDeliverWholeFramesOnly)
{
    WavPlayer player;
    ASSERT_TRUE(Open(player, Riff({Make(1, 8000, 8, 1, Ramp(10))}), 8000, 16, 2));
    uint8_t out[64];
    EXPECT_EQ(player.Read(out, 7), 4u);
    EXPECT_EQ(player.Read(out, 3), 0u);
    EXPECT_EQ(player.Read(out, 64), 9u * 4);
}

TEST_F(WavPlayerTest, FilesAreAcceptedOrRejectedByTheOptions)
{
    Section pcm8 = Make(1, 8000, 8, 2, Ramp(8));
    Section pcm22 = Make(1, 22050, 16, 1, Ramp(8));
    Section alaw = Make(6, 8000, 8, 1, Ramp(8));
    Section quad = Make(1, 8000, 16, 4, Ramp(16));
    Bytes notWave = Riff({pcm8});
    notWave[8] = 'X';
    const uint32_t requireAll =
        WavPlayer::kPlayEnabled | WavPlayer::kRequireRate | WavPlayer::kRequireBits | WavPlayer::kRequireChannels;
    struct Case {
        const char *name;
        Bytes image;
        uint32_t options;
        bool accepted;
    } cases[] = {
        {"rate differs, required, not converted", Riff({pcm22}), requireAll, false},
        {"rate differs, required, converted", Riff({pcm22}), requireAll | WavPlayer::kConvertRate, true},
        {"rate differs, not required", Riff({pcm22}), WavPlayer::kPlayEnabled, true},
        {"bits differ, required", Riff({pcm8}), requireAll | WavPlayer::kConvertChannels, false},
        {"channels differ, required", Riff({pcm8}), requireAll | WavPlayer::kConvertBits, false},
        {"both converted", Riff({pcm8}), requireAll | WavPlayer::kConvertBits | WavPlayer::kConvertChannels, true},
        {"A-law expands to the wanted bits", Riff({alaw}), requireAll, true},
        {"A-law with the kind required", Riff({alaw}), kAll | WavPlayer::kRequireKind, false},
        {"kind required finds a later section", Riff({alaw, pcm22}), kAll | WavPlayer::kRequireKind, true},
        {"four channels", Riff({quad}), WavPlayer::kPlayEnabled, false},
        {"not a WAV file", notWave, kAll, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WavPlayer player;
        int opened = 0;
        player.SetOpenedCallback([&opened] { ++opened; });
        EXPECT_EQ(Open(player, c.image, 8000, 16, 1, c.options), c.accepted);
        EXPECT_EQ(player.IsOpen(), c.accepted);
        EXPECT_EQ(opened, c.accepted ? 1 : 0);
        char text[WavPlayer::kTimeTextSize];
        player.TimeText(text);
        if (!c.accepted) {
            EXPECT_STREQ(text, "00:00:00 / 00:00:00");
        }
    }
    WavPlayer player;
    EXPECT_FALSE(player.Open(Path("missing.wav").c_str()));
}

// 44100 Hz stereo to 11025 Hz mono: a quarter of the frames, the tone keeps its pitch and level.
TEST_F(WavPlayerTest, RateConversionKeepsPitchAndLevel)
{
    const int frames = 88200;
    Bytes data;
    for (int i = 0; i < frames; ++i) {
        const double phase = 2 * M_PI * 1000.0 * i / 44100.0;
        Append16(data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(12000 * std::sin(phase)))));
        Append16(data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(8000 * std::sin(phase)))));
    }
    WavPlayer player;
    ASSERT_TRUE(Open(player, Riff({Make(1, 44100, 16, 2, data)}), 11025, 16, 1));
    const auto out = AsWords(ReadAll(player, 4096));
    EXPECT_NEAR(static_cast<double>(out.size()), frames / 4.0, 2);
    int crossings = 0;
    double power = 0;
    for (size_t i = 200; i < out.size() - 200; ++i) {
        crossings += (out[i - 1] < 0) != (out[i] < 0);
        power += static_cast<double>(out[i]) * out[i];
    }
    const double seconds = (out.size() - 400) / 11025.0;
    EXPECT_NEAR(crossings / seconds / 2, 1000, 5);
    EXPECT_NEAR(std::sqrt(power / (out.size() - 400)), 10000 / std::sqrt(2.0), 200);
}

// Reading on the caller's thread gives what the read-ahead thread gives, across the player's chunks and the
// reader's pieces, converted or not.
TEST_F(WavPlayerTest, BatchReadsGiveWhatBufferedReadsGive)
{
    Bytes data;
    for (int i = 0; i < 3 * 4096 + 77; ++i)
        Append16(data, static_cast<uint16_t>(static_cast<int16_t>((i * 7919) % 65536 - 32768)));
    const Bytes image = Riff({Make(1, 44100, 16, 1, data)});
    for (uint32_t rate : {44100u, 11025u}) {
        SCOPED_TRACE(rate);
        Bytes expected;
        {
            WavPlayer buffered;
            ASSERT_TRUE(Open(buffered, image, rate, 16, 1));
            expected = ReadAll(buffered, 4096);
        }
        ASSERT_FALSE(expected.empty());
        for (uint32_t piece : {64u, 1000u, 65536u}) {
            WavPlayer batch;
            batch.SetBatchReads(true);
            ASSERT_TRUE(Open(batch, image, rate, 16, 1));
            EXPECT_EQ(ReadAll(batch, piece), expected) << "pieces of " << piece;
        }
    }
}

// A decode leaves the user's recording as it is: a batch reader mends a wrong RIFF size in memory only, where the
// player of the plug-in mends it in the file.
TEST_F(WavPlayerTest, BatchReadsNeverWriteTheFile)
{
    const Bytes samples = Words({100, -200, 300, -400});
    const Bytes image = Riff({Make(1, 8000, 16, 1, samples)}, 1000);
    for (const bool batch : {true, false}) {
        SCOPED_TRACE(batch);
        const std::string path = Store("wrong-size.wav", image);
        {
            WavPlayer player;
            player.SetBatchReads(batch);
            player.SetOptions(kAll);
            ASSERT_TRUE(player.SetWantedFormat({WavFile::kPcm, 8000, 16, 1}));
            ASSERT_TRUE(player.Open(path.c_str()));
            EXPECT_EQ(ReadAll(player), samples);
        }
        EXPECT_EQ(Load(path) == image, batch);
    }
}

// A file opened after another begins with its own samples, not with what the resampler kept of the first file.
TEST_F(WavPlayerTest, ANewFileDoesNotBeginWithTheEndOfTheLastOne)
{
    Bytes loud, quiet;
    for (int i = 0; i < 4000; ++i) {
        Append16(loud, static_cast<uint16_t>(static_cast<int16_t>(i % 2 ? 30000 : -30000)));
        Append16(quiet, 0);
    }
    WavPlayer player;
    ASSERT_TRUE(Open(player, Riff({Make(1, 44100, 16, 1, loud)}), 11025, 16, 1));
    ReadAll(player, 512);
    ASSERT_TRUE(Open(player, Riff({Make(1, 44100, 16, 1, quiet)}), 11025, 16, 1));
    const auto out = AsWords(ReadAll(player, 512));
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 0);
    EXPECT_EQ(*std::min_element(out.begin(), out.end()), 0);
}

// Each channel has its own resampler: a silent channel stays silent beside a loud one.
TEST_F(WavPlayerTest, StereoRateConversionKeepsTheChannelsApart)
{
    Bytes data;
    for (int i = 0; i < 22050; ++i) {
        Append16(data, static_cast<uint16_t>(static_cast<int16_t>(10000 * std::sin(2 * M_PI * 500.0 * i / 22050))));
        Append16(data, 0);
    }
    for (uint32_t bits : {16u, 8u}) {
        SCOPED_TRACE(bits);
        WavPlayer player;
        ASSERT_TRUE(Open(player, Riff({Make(1, 22050, 16, 2, data)}), 11025, bits, 2));
        const Bytes out = ReadAll(player, 4000);
        ASSERT_NEAR(static_cast<double>(out.size()), 11025.0 * 2 * bits / 8, 8);
        int loudLeft = 0;
        for (size_t i = 0; i + 2 * bits / 8 <= out.size(); i += 2 * bits / 8) {
            const int left = bits == 16 ? static_cast<int16_t>(out[i] | out[i + 1] << 8) : (out[i] - 128) * 256;
            const int right =
                bits == 16 ? static_cast<int16_t>(out[i + 2] | out[i + 3] << 8) : (out[i + 1] - 128) * 256;
            EXPECT_EQ(right, 0);
            loudLeft += std::abs(left) > 5000;
        }
        EXPECT_GT(loudLeft, 5000);
    }
}

TEST_F(WavPlayerTest, WantedRateChangeTakesEffectWhilePlaying)
{
    WavPlayer player;
    ASSERT_TRUE(Open(player, Riff({Make(1, 8000, 16, 1, Bytes(16000, 0))}), 8000, 16, 1));
    Bytes out(1600);
    EXPECT_EQ(player.Read(out.data(), 800), 800u);
    player.SetWantedRate(16000);
    EXPECT_EQ(player.Read(out.data(), 1600), 1600u);
    // 800 output frames at twice the rate took 400 file frames; every file byte left gives two.
    EXPECT_EQ(ReadAll(player).size(), (16000u - 800 - 800) * 2);
}

TEST_F(WavPlayerTest, TimeReadOutShowsPlayedAndTotalTime)
{
    WavPlayer player;
    char text[WavPlayer::kTimeTextSize];
    player.TimeText(text);
    EXPECT_STREQ(text, "00:00:00 / 00:00:00");
    // One 4-byte frame a second: 3725 frames last 1 h 2 min 5 s.
    ASSERT_TRUE(Open(player, Riff({Make(1, 1, 16, 2, Bytes(3725 * 4, 0))}), 1, 16, 2));
    player.TimeText(text);
    EXPECT_STREQ(text, "00:00:00 / 01:02:05");
    Bytes out(61 * 4);
    ASSERT_EQ(player.Read(out.data(), 61 * 4), 61u * 4);
    player.TimeText(text);
    EXPECT_STREQ(text, "00:01:01 / 01:02:05");
    player.Close();
    player.TimeText(text);
    EXPECT_STREQ(text, "00:00:00 / 00:00:00");
}

TEST_F(WavPlayerTest, PlayingDisabledDeliversNothing)
{
    WavPlayer player;
    ASSERT_TRUE(Open(player, Riff({Make(1, 8000, 16, 1, Ramp(20))}), 8000, 16, 1));
    player.SetOptions(kAll & ~WavPlayer::kPlayEnabled);
    uint8_t out[20];
    EXPECT_EQ(player.Read(out, 20), 0u);
    player.SetOptions(kAll);
    EXPECT_EQ(player.Read(out, 20), 20u);
}

TEST_F(WavPlayerTest, RecordingRoundTrip)
{
    const std::string path = Path("recorded.wav");
    Bytes frames;
    for (int i = 0; i < 3 * 2048; ++i)
        Append16(frames, static_cast<uint16_t>(i * 7 - 20000));
    WavPlayer recorder;
    ASSERT_TRUE(recorder.OpenRecording(path.c_str(), 11025, 16, 1));
    EXPECT_TRUE(recorder.IsRecording());
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(recorder.Record(frames.data() + i * 4096, 4096));
    EXPECT_FALSE(recorder.Record(frames.data(), 3));
    uint8_t out[8];
    EXPECT_EQ(recorder.Read(out, 8), 0u);
    recorder.Close();
    EXPECT_FALSE(recorder.IsRecording());

    const Bytes image = Load(path);
    ASSERT_EQ(image.size(), 8u + 38u + frames.size());
    EXPECT_EQ(Word32(image, 4), image.size() - 8);
    EXPECT_EQ(Word32(image, 8 + 34), frames.size());
    WavPlayer player;
    player.SetOptions(kAll);
    ASSERT_TRUE(player.SetWantedFormat({WavFile::kPcm, 11025, 16, 1}));
    ASSERT_TRUE(player.Open(path.c_str()));
    EXPECT_EQ(ReadAll(player, 4096), frames);
}

// A recording cut short that another writer holds plays whole; the file stays as it was.
TEST_F(WavPlayerTest, LockedCutRecordingPlaysWithoutBeingWritten)
{
    Section cut = Make(1, 8000, 16, 1, Words({1, 2, 3, 4, 5}));
    cut.dataLengthField = 0;
    const Bytes image = Riff({cut}, 0);
    const std::string path = Store("held.wav", image);
    AsyncFile writer;
    ASSERT_TRUE(writer.Open(path.c_str(), false, 0));
    WavPlayer player;
    player.SetOptions(kAll);
    ASSERT_TRUE(player.SetWantedFormat({WavFile::kPcm, 8000, 16, 1}));
    ASSERT_TRUE(player.Open(path.c_str()));
    EXPECT_EQ(ReadAll(player), Words({1, 2, 3, 4, 5}));
    player.Close();
    writer.Close();
    EXPECT_EQ(Load(path), image);
}

TEST(G711, ExpansionIsOddSymmetricAndMonotonic)
{
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(ALawToLinear(static_cast<uint8_t>(code ^ 0x80)), -ALawToLinear(static_cast<uint8_t>(code)));
        EXPECT_EQ(MuLawToLinear(static_cast<uint8_t>(code ^ 0x80)), -MuLawToLinear(static_cast<uint8_t>(code)));
    }
    // Magnitudes grow with the code once the inversion of the even bits (A-law) or all bits (µ-law) is undone.
    for (int magnitude = 1; magnitude < 128; ++magnitude) {
        EXPECT_GT(ALawToLinear(static_cast<uint8_t>((0x80 | magnitude) ^ 0x55)),
                  ALawToLinear(static_cast<uint8_t>((0x80 | (magnitude - 1)) ^ 0x55)));
        EXPECT_GT(MuLawToLinear(static_cast<uint8_t>(~(0x00 | magnitude))),
                  MuLawToLinear(static_cast<uint8_t>(~(0x00 | (magnitude - 1)))));
    }
}

} // namespace
