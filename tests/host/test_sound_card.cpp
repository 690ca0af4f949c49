// The sound-card route of receivers without a DSP: the devices and the stored names, the start failure, the
// playback turns, and the whole plug-in decoding a signal captured through ALSA.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "alsa_file_capture.h"
#include "audio/alsa_device.h"
#include "audio/wav_file.h"
#include "fake_audio_device.h"
#include "fake_host.h"
#include "fake_mixer.h"
#include "host/decoder_instance.h"
#include "host/receiver.h"
#include "stored_receiver.h"

namespace {

using fake::DataFolder;
using fake::kMaker;
using fake::Receiver;
using namespace sirrel;

// The key of the serial text "12345678".
constexpr uint32_t kKey = 0x10745678;

class FakeSoundServices : public HeadlessWindowServices {
public:
    AudioDevices &SoundSystem() override { return devices; }
    std::unique_ptr<MixerBackend> MakeMixer() override { return std::make_unique<FakeMixer>(card); }
    FakeAudioDevices devices;
    FakeMixer::Card card;
};

template <typename Condition> bool Eventually(Condition condition)
{
    for (int i = 0; i < 600 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
}

class SoundCard : public ::testing::Test {
protected:
    std::unique_ptr<DecoderInstance> Make()
    {
        Receiver r(kMaker, "KR-100", "12345678");
        return std::make_unique<DecoderInstance>(1, r.Info(), nullptr, nullptr, ModelCodeOf(r.Info()),
                                                 DspKindOf(r.Info()), services_);
    }

    SoundCardConfiguration Stored()
    {
        SoundCardConfiguration names;
        LoadSoundCard(folder_.File("SoundCard_Config.dat"), kKey, names);
        return names;
    }

    DataFolder folder_;
    FakeSoundServices services_;
};

TEST_F(SoundCard, OpensTheStoredDevicesDecodesEveryBufferAndStoresTheNames)
{
    SoundCardConfiguration names;
    names.waveIn = "Card B";
    names.waveOut = "Gone Card";
    names.mixerLine = "Line";
    ASSERT_EQ(SaveSoundCard(folder_.File("SoundCard_Config.dat"), kKey, names), ChunkStatus::kFound);
    services_.devices.signal.assign(3 * 2048, 0);

    auto instance = Make();
    ASSERT_TRUE(instance->Constructed());
    EXPECT_EQ(instance->ProcessingRate(), 11025u);
    ASSERT_TRUE(Eventually([&] { return instance->FramesProcessed() == 3; }));
    const std::vector<FakeAudioDevices::Opened> opened = services_.devices.OpenedStreams();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].id, "card-b");
    EXPECT_EQ(opened[1].id, "") << "a device not found is the first of the list";
    EXPECT_EQ(opened[0].format.Describe(), "mono 16-bit 11025 Hz");

    instance.reset();
    const SoundCardConfiguration stored = Stored();
    EXPECT_EQ(stored.waveIn, "Card B");
    EXPECT_EQ(stored.waveOut, "Windows default");
    EXPECT_EQ(stored.mixerLine, "Line");
}

TEST_F(SoundCard, TheStoredMixerLineRecordsAndTheMixerIsPutBackAtClose)
{
    services_.card.lines = {{"Mic", 0, true, true, true}, {"Line", MixerBackend::kLineInput, true, true, true}};
    services_.card.items = {"Mic", "Line"};
    services_.card.item = 0;
    auto instance = Make();
    ASSERT_TRUE(instance->Constructed());
    EXPECT_EQ(services_.card.item, 1) << "without a stored line, the line input records";
    instance.reset();
    EXPECT_EQ(services_.card.item, 0);
    EXPECT_EQ(Stored().mixerLine, "Line");
    EXPECT_EQ(Stored().fourth, "Card A");
}

TEST_F(SoundCard, ACardLostWhileRunningSaysSoOnceAndTheInstanceStillCloses)
{
    services_.devices.signal.assign(8192, 0);
    services_.devices.vanishAfter = 5000;
    auto instance = Make();
    ASSERT_TRUE(instance->Constructed());
    auto *route = dynamic_cast<SoundCardRoute *>(&instance->AudioRoute());
    ASSERT_NE(route, nullptr);
    ASSERT_TRUE(Eventually([&] { return !route->Wave()->Running(); }));
    EXPECT_EQ(route->TakeFailure(), "The sound card stopped recording: No such device");
    EXPECT_EQ(route->TakeFailure(), "");
    EXPECT_EQ(instance->FramesProcessed(), 2u);
    instance.reset();
    EXPECT_EQ(Stored().waveIn, "Windows default") << "the names are saved all the same";
}

TEST_F(SoundCard, ADeviceThatCannotOpenEndsConstructionWithTheBox)
{
    services_.devices.captureFailures = 5;
    auto instance = Make();
    EXPECT_FALSE(instance->Constructed());
    const std::vector<HeadlessWindowServices::Box> boxes = services_.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Oru_AudioWave Wave-in Error");
    EXPECT_EQ(boxes[0].text, "Device or resource busy");
}

TEST_F(SoundCard, PlaybackPlaysTheFileOutAndDecodesWhatWasPlayed)
{
    std::vector<int16_t> samples(5 * 2048);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(i % 1000 + 1);
    WavFile file;
    ASSERT_TRUE(file.OpenWrite(folder_.File("play.wav").c_str(), 0));
    ASSERT_TRUE(file.WriteHeaderPcm(11025, 16, 1));
    ASSERT_TRUE(file.WriteData(samples.data(), uint32_t(samples.size() * 2)));
    file.Close();

    services_.card.lines = {{"Mic", 0, true, true, true}, {"Line", MixerBackend::kLineInput, true, true, true}};
    services_.card.items = {"Mic", "Line"};
    auto instance = Make();
    ASSERT_TRUE(instance->Constructed());
    ASSERT_TRUE(instance->StartPlayback(folder_.File("play.wav")));
    // The receiver's line is not heard over the file while it plays.
    EXPECT_TRUE((services_.card.mutes[{1, 0}]));
    EXPECT_TRUE((services_.card.mutes[{1, 1}]));
    // Every played buffer is one frame; the device takes them as fast as they come.
    ASSERT_TRUE(Eventually([&] { return services_.devices.Played().size() >= samples.size() * 2; }));
    ASSERT_TRUE(Eventually([&] { return instance->FramesProcessed() >= 5; }));
    const std::vector<uint8_t> played = services_.devices.Played();
    EXPECT_EQ(std::memcmp(played.data(), samples.data(), samples.size() * 2), 0)
        << "the file goes out from its start, in order";
    instance->StopWav();
    EXPECT_FALSE((services_.card.mutes[{1, 0}]));
    EXPECT_EQ(services_.card.item, 1) << "the recording line is chosen again";

    std::vector<StreamKind> kinds;
    for (const FakeAudioDevices::Opened &o : services_.devices.OpenedStreams())
        kinds.push_back(o.kind);
    const std::vector<StreamKind> expected{StreamKind::kCapture, StreamKind::kPlayback, // both while nothing plays
                                           StreamKind::kPlayback,                       // only output while playing
                                           StreamKind::kCapture};                       // only input after
    EXPECT_EQ(kinds, expected);
}

#ifdef SIRREL_GEN_PROGRAM

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// ALSA's configuration for this process while a test runs.
class AlsaConfiguration {
public:
    explicit AlsaConfiguration(const std::string &path) { setenv("ALSA_CONFIG_PATH", path.c_str(), 1); }
    ~AlsaConfiguration() { unsetenv("ALSA_CONFIG_PATH"); }
};

TEST(PluginSoundCard, DecodesASignalCapturedThroughAlsa)
{
    const std::string text = "RYRY THE QUICK BROWN FOX JUMPS";
    DataFolder folder;
    ASSERT_TRUE(fake::StoreFixedReceiver(folder.File("Sirrel_Config.dat"), kKey, "Baudot", 50, "card.log"));
    SoundCardConfiguration names;
    // The same device plays, into nothing.
    names.waveIn = sirrel::testing::kFileCaptureName;
    names.waveOut = sirrel::testing::kFileCaptureName;
    ASSERT_EQ(SaveSoundCard(folder.File("SoundCard_Config.dat"), kKey, names), ChunkStatus::kFound);

    const std::string wav = folder.File("signal.wav");
    const std::string command = std::string(SIRREL_GEN_PROGRAM) + " -o '" + wav +
                                "' --mode ita2 --baud 50 --space 1000 --mark 1170 --trail 1 -- '" + text +
                                " OVER THE LAZY DOG'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    AlsaConfiguration alsa(
        sirrel::testing::DefineRepeatedCapture(wav, 40, folder.File("signal.raw"), folder.File("asound.conf")));

    fake::Host host;
    Receiver receiver(kMaker, "KR-100", "12345678");
    ASSERT_NE(host.StartInstance(3, receiver), -1);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    host.Close(3);
    EXPECT_NE(ReadAll(folder.File("card.log")).find(text), std::string::npos);
    SoundCardConfiguration stored;
    LoadSoundCard(folder.File("SoundCard_Config.dat"), kKey, stored);
    EXPECT_EQ(stored.waveIn, sirrel::testing::kFileCaptureName);
}

#endif

TEST(PluginSoundCard, WithoutACaptureDeviceTheReceiverIsRefused)
{
    if (CaptureDeviceCount(SystemAudioDevices()) > 0)
        GTEST_SKIP() << "this machine has a sound card";
    DataFolder folder;
    fake::Host host;
    Receiver receiver(kMaker, "KR-100", "12345678");
    EXPECT_EQ(host.StartInstance(3, receiver), -1);
    EXPECT_TRUE(host.calls.empty());
}

} // namespace
