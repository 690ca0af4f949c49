// WAV playback and recording on the host routes: played audio replaces the received audio for the decoder
// and goes back to the host.
#include <gtest/gtest.h>

#include <vector>

#include "audio/wav_file.h"
#include "fake_host.h"
#include "host/decoder_instance.h"
#include "host/receiver.h"

namespace {

using fake::DataFolder;
using fake::kMaker;
using fake::Receiver;
using namespace sirrel;

std::vector<fake::Call> g_calls;

int32_t Record(uint32_t window, uint32_t code, uint32_t first, uint32_t second, void *pointer)
{
    fake::Call call{window, code, first, second, {}};
    if (code == kHostDspWriteAudio || code == kHostDspCommand) {
        const auto *bytes = static_cast<const uint8_t *>(pointer);
        call.data.assign(bytes, bytes + second);
    }
    g_calls.push_back(call);
    return code == kHostDspOpen ? 9 : 0;
}

std::vector<int16_t> Ramp(size_t count)
{
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = int16_t(i * 3 + 1);
    return samples;
}

void WriteWav(const std::string &path, uint32_t rate, const std::vector<int16_t> &samples)
{
    WavFile file;
    ASSERT_TRUE(file.OpenWrite(path.c_str(), 0));
    ASSERT_TRUE(file.WriteHeaderPcm(rate, 16, 1));
    ASSERT_TRUE(file.WriteData(samples.data(), uint32_t(samples.size() * 2)));
    file.Close();
}

class Playback : public ::testing::Test {
protected:
    std::unique_ptr<DecoderInstance> Make(const char *model, const char *dspModel)
    {
        g_calls.clear();
        Receiver r(kMaker, model, "12345678", 77, "Analog Devices", dspModel);
        auto instance = std::make_unique<DecoderInstance>(1, r.Info(), &Record, nullptr, ModelCodeOf(r.Info()),
                                                          DspKindOf(r.Info()), services_);
        EXPECT_TRUE(instance->Constructed());
        return instance;
    }

    DataFolder folder_;
    HeadlessWindowServices services_;
};

TEST_F(Playback, QvStereoBlockIsOverwrittenWithThePlayedAudio)
{
    const std::vector<int16_t> played = Ramp(4096);
    WriteWav(folder_.File("play.wav"), 44100, played);
    auto instance = Make("QvSERv", "");
    std::vector<uint8_t> block = fake::Host::AudioBlock(44100, 16, 2, std::vector<int16_t>(2 * 1024, 5000));
    bool close = false;
    instance->Notify(1, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data(), close); // sets the rate
    ASSERT_TRUE(instance->StartPlayback(folder_.File("play.wav")));
    ASSERT_TRUE(instance->PlaybackActive());
    const uint32_t before = instance->FillCount();
    instance->Notify(1, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data(), close);
    const auto *samples = reinterpret_cast<const int16_t *>(block.data() + 16);
    for (uint32_t f = 0; f < 1024; ++f) {
        ASSERT_EQ(samples[2 * f], played[f]) << f;
        ASSERT_EQ(samples[2 * f + 1], played[f]) << f;
    }
    for (uint32_t k = 0; k < 256; ++k)
        ASSERT_EQ(instance->FrameBuffer()[before + k], played[4 * k]) << k;

    // Paused: silence for both the host and the decoder.
    instance->SetPlaybackPaused(true);
    block = fake::Host::AudioBlock(44100, 16, 1, std::vector<int16_t>(64, 5000));
    instance->Notify(1, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data(), close);
    const auto *mono = reinterpret_cast<const int16_t *>(block.data() + 16);
    EXPECT_TRUE(std::all_of(mono, mono + 64, [](int16_t s) { return s == 0; }));
}

TEST_F(Playback, RecordingKeepsTheAveragedBlocks)
{
    auto instance = Make("QvUSBv", "");
    bool close = false;
    std::vector<uint8_t> block = fake::Host::AudioBlock(22050, 16, 2, {100, 300, -7, 0, 8, 8});
    instance->Notify(1, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data(), close);
    ASSERT_TRUE(instance->StartRecording(folder_.File("rec.wav")));
    instance->Notify(1, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data(), close);
    instance->StopWav();

    WavFile file;
    ASSERT_TRUE(file.OpenRead(folder_.File("rec.wav").c_str(), 0));
    EXPECT_EQ(file.Rate(), 22050u);
    EXPECT_EQ(file.Channels(), 1u);
    int16_t got[8] = {};
    ASSERT_EQ(file.ReadData(got, sizeof got), 6u);
    EXPECT_EQ(got[0], 200);
    EXPECT_EQ(got[1], -3);
    EXPECT_EQ(got[2], 8);
}

TEST_F(Playback, DspExtensionOutputTurnSendsThePlayedAudio)
{
    const std::vector<int16_t> played = Ramp(1024);
    WriteWav(folder_.File("play.wav"), 10989, played);
    auto instance = Make("KR-100", "ADSP-2105");
    ASSERT_TRUE(instance->StartPlayback(folder_.File("play.wav")));
    g_calls.clear();
    uint32_t key = kDspEventOutputTurn;
    bool close = false;
    instance->Notify(1, kNotifyDspEvent, 0, 0, &key, close);
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[0].data, std::vector<uint8_t>{0xC1});
    ASSERT_EQ(g_calls[1].code, kHostDspWriteAudio);
    ASSERT_EQ(g_calls[1].data.size(), 2048u);
    EXPECT_EQ(std::memcmp(g_calls[1].data.data(), played.data(), 2048), 0);
    EXPECT_EQ(g_calls[2].data, std::vector<uint8_t>{0x00});
}

} // namespace
