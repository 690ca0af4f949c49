#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "audio/audio_wave.h"
#include "fake_audio_device.h"

namespace sirrel {
namespace {

// Waits up to two seconds for a condition the service thread brings about.
template <typename Condition> bool Eventually(Condition condition)
{
    for (int i = 0; i < 400 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
}

struct Box {
    std::string caption;
    std::string text;
};

class AudioWaveTest : public ::testing::Test {
protected:
    std::unique_ptr<Oru_AudioWave> Make(int32_t direction)
    {
        auto wave = std::make_unique<Oru_AudioWave>(devices_, 1, 16, 11025, direction);
        wave->SetRetryDelay(1);
        wave->SetErrorReporter([this](const char *caption, const std::string &text) {
            std::lock_guard<std::mutex> hold(lock_);
            boxes_.push_back({caption, text});
        });
        return wave;
    }

    std::vector<Box> Boxes()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return boxes_;
    }

    FakeAudioDevices devices_;
    std::mutex lock_;
    std::vector<Box> boxes_;
};

TEST_F(AudioWaveTest, ListsStartWithTheDefaultAndShortenTheVirtualCard)
{
    devices_.captures = {{"hw:0", "Card A"}, {"hw:1", "Korvanda Virtual Sound Card (In)"}};
    devices_.playbacks = {{"hw:1", "Korvanda Virtual Sound Card (Out)"}};
    auto wave = Make(Oru_AudioWave::kBoth);
    EXPECT_EQ(wave->InputNames(),
              (std::vector<std::string>{"Windows default", "Card A", "Korvanda Virtual Sound Card ("}));
    EXPECT_EQ(wave->OutputNames(), (std::vector<std::string>{"Windows default", "Korvanda Virtual Sound Card ("}));

    struct Case {
        int32_t index;
        int32_t stored;
        bool virtualCard;
    };
    for (const Case c : {Case{2, 2, true}, Case{1, 1, false}, Case{-5, 0, false}}) {
        wave->SetInputDevice(c.index);
        EXPECT_EQ(wave->InputDevice(), c.stored) << c.index;
        EXPECT_EQ(wave->InputIsVirtualCard(), c.virtualCard) << c.index;
    }
    wave->SetOutputDevice(1);
    EXPECT_TRUE(wave->OutputIsVirtualCard());
}

TEST_F(AudioWaveTest, FormatAndBufferSettersKeepOnlyValidValues)
{
    auto wave = Make(Oru_AudioWave::kInput);
    wave->SetBitsPerSample(24);
    wave->SetChannels(3);
    EXPECT_EQ(wave->Format().bits, 16);
    EXPECT_EQ(wave->Format().channels, 1);
    wave->SetChannels(2);
    wave->SetSampleRate(8000);
    EXPECT_EQ(wave->Format().blockAlign, 4);
    EXPECT_EQ(wave->Format().averageBytes, 32000u);
    wave->SetBitsPerSample(8);
    EXPECT_EQ(wave->Format().blockAlign, 2);
    EXPECT_EQ(wave->Format().averageBytes, 16000u);

    wave->SetInputBufferSize(1021);
    EXPECT_EQ(wave->InputBufferSize(), 1024u);
    wave->SetOutputBufferSize(4094);
    EXPECT_EQ(wave->OutputBufferSize(), 4096u);
    wave->SetOutputBufferCount(16);
    EXPECT_EQ(wave->OutputBufferCount(), 32u);
    wave->SetOutputBufferCount(40);
    EXPECT_EQ(wave->OutputBufferCount(), 40u);
}

TEST_F(AudioWaveTest, CaptureHandsOutEveryBufferInOrderAroundTheRing)
{
    constexpr uint32_t kSamples = 256;
    for (int i = 0; i < int(kSamples * 5); ++i)
        devices_.signal.push_back(int16_t(i));
    auto wave = Make(Oru_AudioWave::kInput);
    wave->SetInputBufferSize(kSamples * 2);
    wave->SetInputBufferCount(2);
    std::mutex lock;
    std::vector<int16_t> heard;
    std::vector<const uint8_t *> slots;
    wave->SetInputCallback([&](Oru_AudioWave &, uint8_t *data, uint32_t bytes) {
        std::lock_guard<std::mutex> hold(lock);
        slots.push_back(data);
        const auto *samples = reinterpret_cast<const int16_t *>(data);
        heard.insert(heard.end(), samples, samples + bytes / 2);
    });
    ASSERT_EQ(wave->Start(true), 1);
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard<std::mutex> hold(lock);
        return slots.size() == 5;
    }));
    wave->Stop();
    EXPECT_FALSE(wave->Running());
    EXPECT_EQ(heard, devices_.signal);
    // Two buffers, used in turn.
    EXPECT_NE(slots[0], slots[1]);
    EXPECT_EQ(slots[0], slots[2]);
    EXPECT_EQ(slots[1], slots[3]);
}

TEST_F(AudioWaveTest, OutputBuffersComeBackOnceTheDeviceTookThem)
{
    auto wave = Make(Oru_AudioWave::kOutput);
    wave->SetOutputBufferSize(64);
    EXPECT_EQ(wave->GetFreeOutputBuffer(), nullptr) << "nothing is handed out before output opens";
    devices_.playbackRoom = 0;
    std::atomic<int> returned{0};
    wave->SetOutputCallback([&](uint8_t *) { ++returned; });
    ASSERT_EQ(wave->Start(true), 1);

    // A full device keeps every buffer queued: the ring runs out after its 32 buffers.
    std::vector<uint8_t *> buffers;
    for (int i = 0; i < 40; ++i) {
        uint8_t *buffer = wave->GetFreeOutputBuffer();
        if (!buffer)
            break;
        std::memset(buffer, i, 64);
        EXPECT_TRUE(wave->WriteOutputBuffer(buffer, i == 1 ? 32 : 0));
        buffers.push_back(buffer);
    }
    EXPECT_EQ(buffers.size(), 32u);
    EXPECT_FALSE(wave->WriteOutputBuffer(buffers[0])) << "a queued buffer is not queued twice";
    EXPECT_FALSE(wave->WriteOutputBuffer(buffers[0] + 1)) << "only a buffer's start names it";

    devices_.playbackRoom = 1u << 20;
    ASSERT_TRUE(Eventually([&] { return returned.load() == 32; }));
    const std::vector<uint8_t> played = devices_.Played();
    ASSERT_EQ(played.size(), 31u * 64 + 32);
    EXPECT_EQ(played[0], 0);
    EXPECT_EQ(played[64], 1);
    EXPECT_EQ(played[64 + 32], 2) << "the short buffer plays only its length";
    // The ring wraps: the first buffer is handed out again once it came back.
    EXPECT_EQ(wave->GetFreeOutputBuffer(), buffers[0]);
}

TEST_F(AudioWaveTest, ResetOutputDropsWhatIsQueuedAndXrunsAreCounted)
{
    devices_.playbackRoom = 0;
    devices_.xruns = 2;
    auto wave = Make(Oru_AudioWave::kOutput);
    std::atomic<int> returned{0};
    wave->SetOutputCallback([&](uint8_t *) { ++returned; });
    ASSERT_EQ(wave->Start(true), 1);
    for (int i = 0; i < 32; ++i)
        ASSERT_TRUE(wave->WriteOutputBuffer(wave->GetFreeOutputBuffer()));
    EXPECT_EQ(wave->GetFreeOutputBuffer(), nullptr);
    wave->ResetOutput();
    EXPECT_NE(wave->GetFreeOutputBuffer(), nullptr) << "the dropped buffers are free again";
    devices_.playbackRoom = 1u << 20;
    EXPECT_TRUE(Eventually([&] { return wave->Xruns() == 2; })) << "the stream's recoveries are counted";
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(returned.load(), 0) << "nothing dropped is played or handed back";
    EXPECT_TRUE(devices_.Played().empty());
}

TEST_F(AudioWaveTest, OpenRetriesFourTimesThenReportsTheSystemText)
{
    struct Case {
        int32_t direction;
        int captureFailures;
        int playbackFailures;
        bool showErrors;
        int32_t started;
        const char *caption; // the box, or null for none
        size_t attempts;
    };
    const Case cases[] = {
        {Oru_AudioWave::kInput, 4, 0, true, 1, nullptr, 5},
        {Oru_AudioWave::kInput, 5, 0, true, 0, Oru_AudioWave::kInputCaption, 5},
        {Oru_AudioWave::kInput, 5, 0, false, 0, nullptr, 5},
        {Oru_AudioWave::kOutput, 0, 5, true, 0, Oru_AudioWave::kOutputCaption, 5},
        // Input failing leaves output unopened.
        {Oru_AudioWave::kBoth, 5, 0, true, 0, Oru_AudioWave::kInputCaption, 5},
        {Oru_AudioWave::kBoth, 0, 0, true, 1, nullptr, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << c.direction << ", failures " << c.captureFailures << "/"
                                        << c.playbackFailures);
        FakeAudioDevices devices;
        devices.captureFailures = c.captureFailures;
        devices.playbackFailures = c.playbackFailures;
        Oru_AudioWave wave(devices, 1, 16, 11025, c.direction);
        wave.SetRetryDelay(1);
        std::vector<Box> boxes;
        wave.SetErrorReporter([&](const char *caption, const std::string &text) { boxes.push_back({caption, text}); });
        EXPECT_EQ(wave.Start(c.showErrors), c.started);
        EXPECT_EQ(wave.Running(), c.started == 1);
        EXPECT_EQ(wave.Failed(), c.started == 0);
        EXPECT_EQ(devices.Attempts(), c.attempts);
        if (c.caption) {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].caption, c.caption);
            EXPECT_EQ(boxes[0].text, "Device or resource busy");
        } else {
            EXPECT_TRUE(boxes.empty());
        }
        if (c.direction == Oru_AudioWave::kBoth && c.started == 0) {
            for (const FakeAudioDevices::Opened &opened : devices.OpenedStreams())
                EXPECT_NE(opened.kind, StreamKind::kPlayback);
        }
    }
}

TEST_F(AudioWaveTest, DirectionAndDeviceChangesRestartWithTheNewChoice)
{
    auto wave = Make(Oru_AudioWave::kBoth);
    wave->Stop(); // never started: nothing happens
    ASSERT_EQ(wave->Start(true), 1);
    wave->SetDirection(Oru_AudioWave::kOutput);
    EXPECT_TRUE(wave->Running());
    EXPECT_NE(wave->GetFreeOutputBuffer(), nullptr);
    wave->SetDirection(Oru_AudioWave::kInput);
    EXPECT_EQ(wave->GetFreeOutputBuffer(), nullptr) << "input only has no output buffers";
    wave->SetInputDevice(2);
    EXPECT_TRUE(wave->Running());
    wave->Stop();

    std::vector<std::pair<StreamKind, std::string>> opened;
    for (const FakeAudioDevices::Opened &o : devices_.OpenedStreams())
        opened.emplace_back(o.kind, o.id);
    const std::vector<std::pair<StreamKind, std::string>> expected{
        {StreamKind::kCapture, ""},       {StreamKind::kPlayback, ""}, // both, on the system default
        {StreamKind::kPlayback, ""},                                   // output only
        {StreamKind::kCapture, ""},                                    // input only
        {StreamKind::kCapture, "card-b"},                              // device 2 of the list
    };
    EXPECT_EQ(opened, expected);
}

TEST_F(AudioWaveTest, ALostDeviceEndsTheStreamWithAMessage)
{
    devices_.signal.assign(4096, 100);
    devices_.vanishAfter = 1000;
    auto wave = Make(Oru_AudioWave::kInput);
    wave->SetInputBufferSize(512);
    wave->SetInputBufferCount(4);
    std::atomic<int> buffers{0};
    std::mutex lock;
    std::string ended;
    wave->SetInputCallback([&](Oru_AudioWave &, uint8_t *, uint32_t) { ++buffers; });
    wave->SetEndedCallback([&](const std::string &text) {
        std::lock_guard<std::mutex> hold(lock);
        ended = text;
    });
    ASSERT_EQ(wave->Start(true), 1);
    ASSERT_TRUE(Eventually([&] { return !wave->Running(); }));
    EXPECT_EQ(buffers.load(), 3) << "the three whole buffers before the loss";
    EXPECT_TRUE(wave->Failed());
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_EQ(ended, "The sound card stopped recording: No such device");
    // A new start opens the device again.
    devices_.vanishAfter = -1;
    EXPECT_EQ(wave->Start(true), 1);
}

TEST_F(AudioWaveTest, VirtualCardQueryAdoptsOnlyAValidAnswer)
{
    devices_.captures = {{"hw:0", "Card A"}, {"hw:1", "Korvanda Virtual Sound Card (In)"}};
    WaveQuery asked;
    bool answerValid = true;
    devices_.answer = [&](WaveQuery &query) {
        asked = query;
        const char *text = answerValid ? "Answer for Korvanda Virtual Sound Card Driver Property Data"
                                       : "Korvanda Virtual Sound Card Driver Property Data";
        std::memcpy(query.extra + 22, text, std::strlen(text) + 1);
        query.format.bits = 8;
        query.format.channels = 2;
        query.format.rate = 48000;
        return true;
    };
    auto wave = Make(Oru_AudioWave::kInput);
    EXPECT_EQ(wave->QueryVirtualSoundCard(1), 0) << "an ordinary device is not asked";
    EXPECT_EQ(wave->Format().rate, 11025u);

    wave->SetInputDevice(2);
    answerValid = false;
    EXPECT_EQ(wave->QueryVirtualSoundCard(1), 0);
    EXPECT_EQ(wave->Format().rate, 11025u);
    EXPECT_EQ(asked.format.tag, Oru_AudioWave::kVirtualQueryTag);
    EXPECT_STREQ(reinterpret_cast<const char *>(asked.extra + 22), "Korvanda Virtual Sound Card Driver Property Data");
    EXPECT_EQ(asked.extra[86], 3);
    EXPECT_EQ(asked.extra[87], 6);

    answerValid = true;
    EXPECT_EQ(wave->QueryVirtualSoundCard(1), 1);
    EXPECT_EQ(wave->Format().bits, 8);
    EXPECT_EQ(wave->Format().channels, 2);
    EXPECT_EQ(wave->Format().rate, 48000u);
    EXPECT_EQ(wave->Format().blockAlign, 2);

    // The stream itself carries the virtual card's tag and identifier.
    ASSERT_EQ(wave->Start(true), 1);
    wave->Stop();
    const WaveFormat opened = devices_.OpenedStreams().back().format;
    EXPECT_EQ(opened.tag, Oru_AudioWave::kVirtualStreamTag);
    EXPECT_EQ(opened.extraSize, 16);
    EXPECT_EQ(opened.extra[0], 0x3D);
    EXPECT_EQ(opened.extra[15], 0x45);
}

} // namespace
} // namespace sirrel
