// The recording source of a mixer: selection by the card's selector or by capture switches, the fallback to a
// line input, volume and mute of the chosen line, change call-backs, and the state put back at close.
#include <gtest/gtest.h>

#include "audio/alsa_mixer.h"
#include "audio/audio_mixer.h"
#include "fake_mixer.h"

namespace sirrel {
namespace {

FakeMixer::Card ThreeLines(bool selector)
{
    FakeMixer::Card card;
    card.lines = {{"Mic", 0, true, true, true}, {"CD", 0, true, true, true}, {"Line", 0x1002, true, true, true}};
    if (selector)
        card.items = {"Mic", "CD", "Line"};
    return card;
}

TEST(AudioMixer, SelectsTheSourceByTheSelectorOrByCaptureSwitches)
{
    for (const bool selector : {true, false}) {
        SCOPED_TRACE(selector ? "selector" : "capture switches");
        FakeMixer::Card card = ThreeLines(selector);
        card.captures = {{0, true}, {1, true}, {2, false}};
        Oru_AudioMixer mixer(std::make_unique<FakeMixer>(card));
        mixer.SelectMixerDevice(0);
        EXPECT_EQ(mixer.LineNames(), (std::vector<std::string>{"Mic", "CD", "Line"}));
        ASSERT_TRUE(mixer.SelectSourceLine(-1, "Line"));
        EXPECT_EQ(mixer.SourceLineName(), "Line");
        if (selector) {
            EXPECT_EQ(card.item, 2);
            EXPECT_TRUE(card.captures[0]) << "switches are left alone where a selector chooses";
        } else {
            EXPECT_FALSE(card.captures[0]);
            EXPECT_FALSE(card.captures[1]);
            EXPECT_TRUE(card.captures[2]);
        }
        EXPECT_FALSE(mixer.SelectSourceLine(-1, "Aux"));
        EXPECT_FALSE(mixer.SelectSourceLine(3));
        EXPECT_EQ(mixer.SourceLineName(), "Line");
    }
}

TEST(AudioMixer, AMissingStoredLineFallsBackToTheLineInputThenToTheFirstLine)
{
    struct Case {
        std::vector<MixerBackend::Line> lines;
        std::string stored;
        std::string chosen;
    };
    const Case cases[] = {
        {{{"Mic", 0, true, true, true}, {"CD", 0, true, true, true}}, "CD", "CD"},
        {{{"Mic", 0, true, true, true}, {"Line In", 0x1002, true, true, true}}, "Gone", "Line In"},
        // A line input not named "Line", and a line named so that is no line input, do not count.
        {{{"Mic", 0, true, true, true}, {"Aux", 0x1002, true, true, true}, {"Line", 0, true, true, true}}, "", "Mic"},
    };
    for (const Case &c : cases) {
        FakeMixer::Card card;
        card.lines = c.lines;
        Oru_AudioMixer mixer(std::make_unique<FakeMixer>(card));
        mixer.SelectMixerDevice(0);
        mixer.SelectStoredOrLineInput(c.stored);
        EXPECT_EQ(mixer.SourceLineName(), c.chosen) << c.stored;
    }
}

TEST(AudioMixer, VolumeAndMuteActOnTheSelectedLineAndCallBackOnChanges)
{
    FakeMixer::Card card = ThreeLines(true);
    Oru_AudioMixer mixer(std::make_unique<FakeMixer>(card));
    EXPECT_EQ(mixer.Volume(), 0) << "no mixer: nothing is read";
    mixer.SetVolume(100);
    EXPECT_TRUE(card.volumes.empty()) << "no mixer: nothing is written";

    mixer.SelectMixerDevice(0);
    mixer.SelectSourceLine(1);
    mixer.SetVolume(1000, 0);
    mixer.SetVolume(3000, 1);
    EXPECT_EQ(mixer.Volume(), 2000) << "the average over the channels";
    EXPECT_EQ(mixer.Volume(1), 3000);
    mixer.SetVolume(70000);
    EXPECT_EQ((card.volumes[{1, 0}]), 65535);
    mixer.SetMute(true, 0);
    EXPECT_FALSE(mixer.Mute()) << "one channel still sounds";
    mixer.SetMute(true);
    EXPECT_TRUE(mixer.Mute());
    EXPECT_FALSE((card.mutes[{0, 0}])) << "other lines stay as they are";

    int selector = 0, mute = 0, volume = 0;
    mixer.SetSelectorChanged([&](Oru_AudioMixer &) { ++selector; });
    mixer.SetMuteChanged([&](Oru_AudioMixer &) { ++mute; });
    mixer.SetVolumeChanged([&](Oru_AudioMixer &) { ++volume; });
    mixer.Service();
    card.item = 0;
    card.volumes[{1, 0}] = 10;
    card.changed = true;
    mixer.Service();
    EXPECT_EQ(selector, 1);
    EXPECT_EQ(volume, 1);
    EXPECT_EQ(mute, 1) << "the line was muted by this object since it last looked";
    mixer.Service();
    EXPECT_EQ(selector + volume + mute, 3) << "no event, no call-back";
}

TEST(AudioMixer, RememberedStateIsPutBack)
{
    FakeMixer::Card card = ThreeLines(true);
    card.item = 1;
    card.volumes[{2, 0}] = 500;
    Oru_AudioMixer mixer(std::make_unique<FakeMixer>(card));
    mixer.SelectMixerDevice(0);
    const Oru_AudioMixer::State state = mixer.Remember();
    mixer.SelectSourceLine(2);
    mixer.SetVolume(40000);
    mixer.SetMute(true);
    mixer.Restore(state);
    EXPECT_EQ(card.item, 1);
    EXPECT_EQ((card.volumes[{2, 0}]), 500);
    EXPECT_FALSE((card.mutes[{2, 1}]));
}

TEST(AlsaMixer, CardsAreListedAndAMissingOneDoesNotOpen)
{
    AlsaMixer alsa;
    const size_t cards = alsa.Devices().size();
    EXPECT_FALSE(alsa.Open(int32_t(cards)));
    Oru_AudioMixer mixer(std::make_unique<AlsaMixer>());
    mixer.SelectMixerDevice(int32_t(cards));
    EXPECT_EQ(mixer.MixerDevice(), -1);
    EXPECT_TRUE(mixer.Descriptors().empty());
}

} // namespace
} // namespace sirrel
