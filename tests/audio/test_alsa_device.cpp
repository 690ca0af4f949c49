// Real ALSA without hardware: its "null" device opens, runs and stops like a card.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "audio/alsa_device.h"
#include "audio/audio_wave.h"

namespace sirrel {
namespace {

int32_t IndexOf(AudioDevices &devices, StreamKind kind, const std::string &id)
{
    const std::vector<AudioDeviceEntry> entries = devices.List(kind);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].id == id)
            return int32_t(i + 1);
    }
    return -1;
}

TEST(AlsaDevice, TheNullDeviceRecordsAndPlays)
{
    AudioDevices &devices = SystemAudioDevices();
    const int32_t input = IndexOf(devices, StreamKind::kCapture, "null");
    const int32_t output = IndexOf(devices, StreamKind::kPlayback, "null");
    ASSERT_GT(input, 0) << "ALSA lists its null device";
    ASSERT_GT(output, 0);
    EXPECT_EQ(CaptureDeviceCount(devices), uint32_t(devices.List(StreamKind::kCapture).size() - 1))
        << "the null device hears nothing and is no sound card";

    Oru_AudioWave wave(devices, 1, 16, 11025, Oru_AudioWave::kBoth);
    wave.SetInputDevice(input);
    wave.SetOutputDevice(output);
    wave.SetInputBufferSize(4096);
    wave.SetInputBufferCount(16);
    wave.SetOutputBufferSize(4096);
    std::atomic<int> recorded{0};
    std::atomic<int> played{0};
    wave.SetInputCallback([&](Oru_AudioWave &, uint8_t *, uint32_t bytes) {
        if (bytes == 4096)
            ++recorded;
    });
    wave.SetOutputCallback([&](uint8_t *) { ++played; });
    ASSERT_EQ(wave.Start(true), 1);
    for (int i = 0; i < 4; ++i) {
        uint8_t *buffer = wave.GetFreeOutputBuffer();
        ASSERT_NE(buffer, nullptr);
        std::fill(buffer, buffer + 4096, 0);
        ASSERT_TRUE(wave.WriteOutputBuffer(buffer));
    }
    for (int i = 0; i < 600 && (recorded.load() < 2 || played.load() < 4); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    wave.Stop();
    EXPECT_GE(recorded.load(), 2);
    EXPECT_EQ(played.load(), 4);
    EXPECT_FALSE(wave.Running());
}

TEST(AlsaDevice, FailuresNameTheDeviceAndTheFormat)
{
    AlsaDevices devices;
    std::string error;
    WaveFormat format;
    format.Derive();
    EXPECT_EQ(devices.Open(StreamKind::kCapture, "sirrel_missing", format, 4096, 4, error), nullptr);
    EXPECT_NE(error.find("'sirrel_missing'"), std::string::npos) << error;

    format.rate = 0;
    format.Derive();
    EXPECT_EQ(devices.Open(StreamKind::kCapture, "null", format, 4096, 4, error), nullptr);
    EXPECT_EQ(error.find("The device 'null' cannot take mono 16-bit 0 Hz: "), 0u) << error;
}

} // namespace
} // namespace sirrel
