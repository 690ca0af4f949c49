// The sound card's controls: the lists show what the instance offers and hand a choice back, follow choices
// made elsewhere (a new mixer brings new lines), and the meter and the clipping indicator follow the audio.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "fake_audio_device.h"
#include "fake_mixer.h"
#include "fake_receiver.h"
#include "host/decoder_instance.h"
#include "host/receiver.h"
#include "panels_fixture.h"
#include "windows/sound_card_panel.h"

namespace sirrel::test {
namespace {

class SoundCardPanelTest : public PanelsTest {
protected:
    SoundCardControls Controls()
    {
        SoundCardControls c;
        c.waveDevice = {[] {
                            return std::vector<std::string>{"Windows default", "Card A", "Card B"};
                        },
                        [this] { return wave; }, [this](int32_t index) { wave = index; }};
        c.mixerDevice = {
            [] {
                return std::vector<std::string>{"Card A", "Card B"};
            },
            [this] { return mixer; },
            [this](int32_t index) {
                mixer = index;
                lines = index == 0 ? std::vector<std::string>{"Mic", "Line"} : std::vector<std::string>{"Capture"};
                line = 0;
            }};
        c.mixerLine = {[this] { return lines; }, [this] { return line; }, [this](int32_t index) { line = index; }};
        c.level = [this] { return level; };
        c.clippingColour = [this] { return clipping; };
        return c;
    }

    int32_t wave = 1;
    int32_t mixer = 0;
    std::vector<std::string> lines{"Mic", "Line"};
    int32_t line = 1;
    int32_t level = 0;
    uint32_t clipping = 0x000080;
};

TEST_F(SoundCardPanelTest, ListsShowAndChangeWhatIsInUse)
{
    SoundCardPanel panel(frame, Rect{0, 0, 342, 104}, Controls());
    PumpMessages();
    EXPECT_EQ(panel.WaveDevice().SelectedText(), "Card A");
    EXPECT_EQ(panel.MixerDevice().SelectedText(), "Card A");
    EXPECT_EQ(panel.MixerLine().SelectedText(), "Line");

    Pick(panel.WaveDevice(), 2);
    EXPECT_EQ(wave, 2);
    Pick(panel.MixerDevice(), 1);
    EXPECT_EQ(mixer, 1);
    EXPECT_EQ(panel.MixerLine().List().Count(), 1) << "the new mixer's lines";
    EXPECT_EQ(panel.MixerLine().SelectedText(), "Capture");

    // Chosen elsewhere (the mixer's own events): the lists follow at the next refresh.
    wave = 0;
    panel.Refresh();
    EXPECT_EQ(panel.WaveDevice().SelectedText(), "Windows default");
}

TEST_F(SoundCardPanelTest, MeterAndClippingFollowTheAudio)
{
    SoundCardPanel panel(frame, Rect{0, 0, 342, 104}, Controls());
    struct Case {
        int32_t level;
        uint32_t clipping;
    };
    for (const Case c : {Case{12000, 0x000080}, Case{32767, 0x0000FF}, Case{0, 0x000080}}) {
        level = c.level;
        clipping = c.clipping;
        panel.Refresh();
        EXPECT_EQ(panel.Level().Level(), c.level);
        EXPECT_EQ(panel.Clipping().Color(), c.clipping);
    }
}

// The sound system and mixer the decoder window's instance finds.
class FakeSoundServices : public FrameworkWindowServices {
public:
    AudioDevices &SoundSystem() override { return devices; }
    std::unique_ptr<MixerBackend> MakeMixer() override { return std::make_unique<FakeMixer>(card); }
    FakeAudioDevices devices;
    FakeMixer::Card card;
};

int32_t Accept(uint32_t, uint32_t, uint32_t, uint32_t, void *) { return 0; }

TEST_F(PanelsTest, ASoundCardReceiversWindowShowsTheSoundCardControls)
{
    fake::DataFolder data;
    FakeSoundServices services;
    services.card.lines = {{"Mic", 0, true, true, true}, {"Line", MixerBackend::kLineInput, true, true, true}};
    services.devices.signal.assign(4096, 31000);
    fake::Receiver receiver(fake::kMaker, "KR-100", "12345678");
    DecoderInstance instance(1, receiver.Info(), &Accept, nullptr, ModelCodeOf(receiver.Info()),
                             DspKindOf(receiver.Info()), services);
    ASSERT_TRUE(instance.Constructed());
    SoundCardPanel *panel = instance.MainWindow()->SoundCard();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->OffsetX(), DecoderWindow::kSoundCardArea.left);
    EXPECT_EQ(panel->OffsetY(), DecoderWindow::kSoundCardArea.top);
    EXPECT_EQ(panel->WaveDevice().SelectedText(), "Windows default");
    EXPECT_EQ(panel->MixerDevice().SelectedText(), "Card A");
    EXPECT_EQ(panel->MixerLine().SelectedText(), "Line");
    // Two frames above the clipping level: the meter and the indicator show it once the window refreshes.
    for (int i = 0; i < 300 && panel->Clipping().Color() != 0x0000FF; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        PumpMessages();
    }
    EXPECT_EQ(panel->Clipping().Color(), 0x0000FFu);
    EXPECT_EQ(panel->Level().Level(), 31000);
    instance.MainWindow()->Paint();
    const std::string path = (std::filesystem::current_path() / "sound_card_window.png").string();
    EXPECT_TRUE(display->SavePng(instance.MainWindow()->NativeHandle(), path));
}

} // namespace
} // namespace sirrel::test
