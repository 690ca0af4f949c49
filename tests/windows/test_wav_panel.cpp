// The "Input/Output WAV" panel: its switches over a stand-in deck, and in a decoder window over a real instance,
// a generated teleprinter file played into the decoder and a recording of what the decoder heard that decodes the
// same.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "audio/wav_file.h"
#include "fake_receiver.h"
#include "host/decoder_instance.h"
#include "host/host_interface.h"
#include "host/receiver.h"
#include "panels_fixture.h"
#include "siggen/async_source.h"
#include "siggen/generator.h"
#include "stored_receiver.h"
#include "ui/message_box.h"
#include "windows/wav_panel.h"

namespace sirrel::test {
namespace {

// What the panel asked of its deck.
struct DeckLog {
    std::vector<std::string> calls;
    bool accept = true;
};

class WavPanelTest : public PanelsTest {
protected:
    WavPanel &Build(std::string file = "", const Rect &area = {10, 30, 450, 134})
    {
        configuration.wavFile = std::move(file);
        WavDeck deck{&player,
                     [this](const std::string &path) {
                         log.calls.push_back("play " + path);
                         return log.accept && player.Open(path.c_str());
                     },
                     [this](const std::string &path) {
                         log.calls.push_back("record " + path);
                         return log.accept && player.OpenRecording(path.c_str(), 11025, 16, 1);
                     },
                     [this] {
                         log.calls.push_back("stop");
                         player.Close();
                     },
                     [this](bool paused) { log.calls.push_back(paused ? "pause" : "resume"); }};
        panel = std::make_unique<WavPanel>(frame, area, deck, configuration);
        panel->messageBox = [this](const std::string &text, uint32_t) {
            messages.push_back(text);
            return answer;
        };
        panel->chooseFile = [this](const std::string &initial) {
            log.calls.push_back("choose " + initial);
            return chosen;
        };
        return *panel;
    }
    WavPanel::Controls &Parts() { return panel->Parts(); }

    WavPlayer player;
    DeckLog log;
    std::unique_ptr<WavPanel> panel;
    std::vector<std::string> messages;
    uint32_t answer = kBoxYes;
    std::string chosen;
};

TEST_F(WavPanelTest, SwitchesFollowWhatPlaysOrRecords)
{
    WavFile second;
    ASSERT_TRUE(second.OpenWrite((folder + "a.wav").c_str(), 0));
    ASSERT_TRUE(second.WriteHeaderPcm(11025, 16, 1));
    ASSERT_TRUE(second.WriteData(std::vector<int16_t>(11025).data(), 11025 * 2));
    second.Close();
    Build(folder + "a.wav");
    EXPECT_TRUE(Parts().play.Enabled());
    EXPECT_FALSE(Parts().stop.Enabled());
    Click(Parts().play);
    EXPECT_EQ(panel->Current(), WavPanel::State::kPlaying);
    EXPECT_FALSE(Parts().record.Enabled()) << "one file at a time";
    EXPECT_EQ(Parts().time.Text(), "00:00:00 / 00:00:01");
    // A click in the middle of the position control seeks to the middle of the data.
    Click(Parts().position);
    EXPECT_NEAR(double(player.Position().position) / player.Position().length, 0.5, 0.05);
    EXPECT_EQ(player.Position().position % 2, 0u) << "whole frames";
    EXPECT_FALSE(Parts().browse.Enabled());
    Click(Parts().pause);
    EXPECT_EQ(Parts().pause.Text(), "Resume");
    Click(Parts().pause);
    // Stopping while paused leaves the next playback unpaused.
    Click(Parts().pause);
    Click(Parts().stop);
    EXPECT_EQ(panel->Current(), WavPanel::State::kIdle);
    EXPECT_FALSE(panel->Paused());
    EXPECT_EQ(log.calls,
              (std::vector<std::string>{"play " + folder + "a.wav", "pause", "resume", "pause", "stop", "resume"}));

    // Switching the option off while playing stops, and keeps Play off.
    Click(Parts().play);
    log.calls.clear();
    Click(Parts().playEnabled);
    EXPECT_EQ(log.calls, std::vector<std::string>{"stop"});
    EXPECT_FALSE(Parts().play.Enabled());
    Click(Parts().play);
    EXPECT_EQ(panel->Current(), WavPanel::State::kIdle);
}

TEST_F(WavPanelTest, WithoutANameTheSelectorAsksAndCancelStartsNothing)
{
    Build();
    Click(Parts().play);
    EXPECT_EQ(log.calls, std::vector<std::string>{"choose "});
    chosen = folder + "b.wav";
    Click(Parts().record);
    EXPECT_EQ(Parts().file.Text(), chosen);
    EXPECT_EQ(panel->Current(), WavPanel::State::kRecording);

    Click(Parts().stop);
    chosen = folder + "c.wav";
    log.calls.clear();
    Click(Parts().browse);
    EXPECT_EQ(log.calls, std::vector<std::string>{"choose " + folder + "b.wav"}) << "starts from the name";
    Configuration gathered;
    panel->Gather(gathered);
    EXPECT_EQ(gathered.wavFile, folder + "c.wav");
}

TEST_F(WavPanelTest, RefusalsAreExplainedAndARecordingAsksBeforeReplacingAFile)
{
    const std::string existing = folder + "kept.wav";
    std::ofstream(existing) << "data";
    Build(existing);
    log.accept = false;
    Click(Parts().play);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].substr(0, messages[0].find(':')), "Cannot play the WAV file \"" + existing + "\"");
    EXPECT_EQ(panel->Current(), WavPanel::State::kIdle);

    messages.clear();
    log.calls.clear();
    answer = kBoxNo;
    Click(Parts().record);
    EXPECT_EQ(messages, std::vector<std::string>{"The file \"" + existing + "\" exists already. Replace it?"});
    EXPECT_TRUE(log.calls.empty()) << "not touched";

    messages.clear();
    answer = kBoxYes;
    Click(Parts().record);
    EXPECT_EQ(log.calls, std::vector<std::string>{"record " + existing});
    EXPECT_EQ(messages.back(), "Cannot record into the WAV file \"" + existing + "\".");
}

TEST_F(WavPanelTest, BesideTheSoundCardTheReadOutMovesBesideTheName)
{
    // The strip's part beside the sound card's controls.
    Build(folder + "a.wav", {10, 30, 340, 134});
    EXPECT_LE(Parts().file.X() + Parts().file.Width(), Parts().browse.X());
    EXPECT_LE(Parts().browse.X() + Parts().browse.Width(), Parts().time.X());
    EXPECT_LE(Parts().time.X() + Parts().time.Width(), Parts().group.Width());
    SaveFramePng("windows-wav-panel-narrow.png");
}

// A teleprinter at 50 Bd on 1000/1170 Hz, as the stored receiver expects it.
std::vector<int16_t> Teleprinter(const std::string &text, uint32_t rate)
{
    siggen::GeneratorSettings g;
    g.sampleRate = rate;
    g.baud = 50;
    g.space = 1000;
    g.mark = 1170;
    siggen::AsyncSource source(siggen::AsyncSource::Code::kIta2, siggen::Parity::kNone, 1.5);
    siggen::Keying keying;
    source.Encode(text, keying);
    return siggen::Generator(g).Render(keying, source.IdleLevel());
}

std::vector<uint8_t> AudioBlock(uint32_t rate, const int16_t *samples, uint32_t count)
{
    const uint32_t header[4] = {rate, 16, 1, count};
    std::vector<uint8_t> block(16 + count * 2);
    std::memcpy(block.data(), header, 16);
    std::memcpy(block.data() + 16, samples, count * 2);
    return block;
}

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

int32_t Accept(uint32_t, uint32_t, uint32_t, uint32_t, void *) { return 0; }

class WavPanelInWindow : public HeadlessUi {
protected:
    static constexpr uint32_t kSerial = 4242;
    static constexpr uint32_t kRate = 44100;
    static constexpr uint32_t kBlock = 1024;

    WavPanelInWindow()
    {
        EXPECT_TRUE(fake::StoreFixedReceiver(folder_.File("Sirrel_Config.dat"), kSerial, "Baudot", 50, "panel.log"));
    }
    void Start()
    {
        fake::Receiver receiver(fake::kMaker, "QvUSBv", "", kSerial);
        instance_ = std::make_unique<DecoderInstance>(
            1, receiver.Info(), &Accept, nullptr, ModelCodeOf(receiver.Info()), DspKindOf(receiver.Info()), services_);
        ASSERT_TRUE(instance_->Constructed());
        ASSERT_NE(instance_->MainWindow()->Wav(), nullptr);
        PumpMessages();
    }
    WavPanel &Panel() { return *instance_->MainWindow()->Wav(); }
    void Click(Oru_Window &control)
    {
        display->Click(control.TopLevel()->NativeHandle(), control.OffsetX() + control.Width() / 2,
                       control.OffsetY() + control.Height() / 2);
        PumpMessages();
    }
    void Deliver(const int16_t *samples, uint32_t count)
    {
        std::vector<uint8_t> block = AudioBlock(kRate, samples, count);
        bool close = false;
        instance_->Notify(1, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data(), close);
    }
    // The host keeps sending its (silent) audio; the panel stops at the end of the file.
    void PlayToTheEnd()
    {
        const std::vector<int16_t> silence(kBlock, 0);
        for (int guard = 0; Panel().Current() == WavPanel::State::kPlaying && guard < 100000; ++guard) {
            Deliver(silence.data(), kBlock);
            instance_->MainWindow()->Refresh();
        }
        EXPECT_EQ(Panel().Current(), WavPanel::State::kIdle);
    }
    std::string Log()
    {
        instance_.reset();
        return ReadAll(folder_.File("panel.log"));
    }

    fake::DataFolder folder_;
    FrameworkWindowServices services_;
    std::unique_ptr<DecoderInstance> instance_;
    const std::string text_ = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789";
};

TEST_F(WavPanelInWindow, PlaysAFileIntoTheDecoder)
{
    const std::vector<int16_t> signal = Teleprinter(text_, kRate);
    const std::string wav = folder_.File("signal.wav");
    {
        WavFile file;
        ASSERT_TRUE(file.OpenWrite(wav.c_str(), 0));
        ASSERT_TRUE(file.WriteHeaderPcm(kRate, 16, 1));
        ASSERT_TRUE(file.WriteData(signal.data(), uint32_t(signal.size() * 2)));
        file.Close();
    }
    Start();
    Panel().Parts().file.SetText(wav);
    // Played twice into one decoder, the first transmission keeps its end when the second follows.
    for (int round = 0; round < 2; ++round) {
        Click(Panel().Parts().play);
        ASSERT_EQ(Panel().Current(), WavPanel::State::kPlaying);
        ASSERT_TRUE(instance_->PlaybackActive());
        PlayToTheEnd();
        EXPECT_FALSE(instance_->PlaybackActive()) << "the received audio is back";
        EXPECT_EQ(Panel().Parts().time.Text().substr(0, 8), "00:00:00") << "closed";
    }
    const std::string log = Log();
    EXPECT_NE(log.find(text_ + text_), std::string::npos) << log;
}

TEST_F(WavPanelInWindow, RecordsWhatTheDecoderHearsAndTheRecordingDecodesTheSame)
{
    const std::vector<int16_t> signal = Teleprinter(text_, kRate);
    const std::string wav = folder_.File("heard.wav");
    Start();
    Deliver(signal.data(), kBlock); // the host's rate reaches the player first
    Panel().Parts().file.SetText(wav);
    Click(Panel().Parts().record);
    ASSERT_EQ(Panel().Current(), WavPanel::State::kRecording);
    // Paused, the recording leaves out what arrives.
    Click(Panel().Parts().pause);
    Deliver(signal.data(), kBlock);
    Click(Panel().Parts().pause);
    uint32_t recorded = 0;
    for (size_t at = 0; at < signal.size(); at += kBlock) {
        const uint32_t count = uint32_t(std::min<size_t>(kBlock, signal.size() - at));
        Deliver(signal.data() + at, count);
        recorded += count;
    }
    Click(Panel().Parts().stop);
    {
        WavFile file;
        ASSERT_TRUE(file.OpenRead(wav.c_str(), 0));
        EXPECT_EQ(file.Rate(), kRate);
        EXPECT_EQ(file.Channels(), 1u);
        EXPECT_EQ(file.DataLength(), recorded * 2);
        std::vector<int16_t> back(recorded);
        ASSERT_EQ(file.ReadData(back.data(), recorded * 2), recorded * 2);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), signal.begin()));
    }

    const std::string heard = Log();
    EXPECT_NE(heard.find(text_), std::string::npos) << heard;

    // A decoder of its own plays the recording.
    std::filesystem::remove(folder_.File("panel.log"));
    Start();
    Panel().Parts().file.SetText(wav);
    Click(Panel().Parts().play);
    ASSERT_EQ(Panel().Current(), WavPanel::State::kPlaying);
    PlayToTheEnd();
    EXPECT_EQ(Log(), heard);
}

TEST_F(WavPanelInWindow, TheFileNameAndTheOptionsAreThereAfterARestart)
{
    for (const bool play : {false, true}) {
        Start();
        EXPECT_TRUE(Panel().Parts().recordEnabled.Checked());
        Panel().Parts().file.SetText(folder_.File("kept.wav"));
        if (Panel().Parts().playEnabled.Checked() != play)
            Click(Panel().Parts().playEnabled);
        instance_.reset();
        Start();
        EXPECT_EQ(Panel().Parts().file.Text(), folder_.File("kept.wav"));
        EXPECT_EQ(Panel().Parts().playEnabled.Checked(), play);
        // Play off leaves the play button disabled.
        EXPECT_EQ(Panel().Parts().play.Enabled(), play);
        instance_.reset();
    }
}

} // namespace
} // namespace sirrel::test
