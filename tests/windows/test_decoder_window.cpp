// The decoder window of an instance on the headless display: built from the stored configuration, driven with
// clicks and keys, following the engine, and saved again when the instance closes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "../ui/headless_fixture.h"
#include "fake_receiver.h"
#include "host/decoder_instance.h"
#include "host/receiver.h"
#include "ui/platform/messages.h"
#include "windows/decoder_window.h"

namespace {

using namespace sirrel;
using fake::DataFolder;
using fake::kMaker;
using fake::Receiver;

constexpr uint32_t kSerial = 4242; // a Qv receiver: its serial number is the receiver key

int32_t Accept(uint32_t, uint32_t, uint32_t, uint32_t, void *) { return 0; }

class DecoderWindowTest : public test::HeadlessUi {
protected:
    explicit DecoderWindowTest(int32_t colorDepth = 24) : HeadlessUi(colorDepth) {}

    void Start()
    {
        Receiver receiver(kMaker, "QvUSBv", "", kSerial);
        const int32_t code = ModelCodeOf(receiver.Info());
        instance_ = std::make_unique<DecoderInstance>(1, receiver.Info(), &Accept, nullptr, code,
                                                      DspKindOf(receiver.Info()), services_);
        ASSERT_TRUE(instance_->Constructed());
        ASSERT_NE(instance_->MainWindow(), nullptr);
        PumpMessages();
    }
    void Close()
    {
        instance_.reset();
        PumpMessages();
    }

    DecoderWindow &Window() { return *instance_->MainWindow(); }
    DecoderWindow::Controls &Parts() { return Window().Parts(); }
    SettingsModel Settings() { return instance_->Engine().Published(); }
    uint32_t Handle() { return Window().NativeHandle(); }

    void Click(const Oru_Window &control, int32_t x = 6, int32_t y = 8)
    {
        display->Click(Handle(), control.OffsetX() + x, control.OffsetY() + y);
        PumpMessages();
    }
    // Row `row` of a radio group.
    void ClickRow(const Oru_RadioGroup &group, int32_t row)
    {
        Click(group, 8, row * Oru_RadioGroup::kRowHeight + Oru_RadioGroup::kRowHeight / 2);
    }
    void Type(Oru_Window &field, const std::string &text)
    {
        field.SetFocus();
        display->TypeText(Handle(), "\x01" + text);
        display->PressKey(Handle(), kKeyReturn);
        PumpMessages();
    }
    void DragMarker(SignalDisplayView &view, double fromHertz, double toHertz)
    {
        const int32_t y = view.OffsetY() + view.Height() / 2;
        display->Drag(Handle(), view.OffsetX() + view.FrequencyToX(fromHertz), y,
                      view.OffsetX() + view.FrequencyToX(toHertz), y);
        PumpMessages();
    }
    // Lets the window's timers run until `done` holds or three seconds have passed.
    template <typename Done> bool WaitFor(Done done)
    {
        for (int i = 0; i < 300 && !done(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            PumpMessages();
        }
        return done();
    }
    void Edit(SettingsEdit edit) { instance_->Engine().Post(std::move(edit)); }
    float SpectrumMarker(int32_t which) { return instance_->Engine().Chain().Spectrum().Marker(which); }
    float WaterfallMarker(int32_t which) { return instance_->Engine().Chain().Waterfall().Marker(which); }

    DataFolder folder_;
    FrameworkWindowServices services_;
    std::unique_ptr<DecoderInstance> instance_;
};

Configuration Unusual()
{
    Configuration c;
    c.windowLeft = 130;
    c.windowTop = 85;
    c.space = 1275;
    c.mark = 1445;
    c.tuneAuto = 0;
    c.shiftIndex = 1;
    c.demodulator = kDemodOptimal;
    c.baudrate = 75;
    c.baudAuto = 0;
    c.polarity = 2;
    c.inversionMask = 0x05;
    c.spectrumBar = 1;
    c.spectrumLinear = 1;
    c.waterfallInvert = 1;
    c.spectrumGain = 4;
    c.averaging = 0.25;
    return c;
}

TEST_F(DecoderWindowTest, ConstructionShowsTheStoredConfiguration)
{
    ASSERT_EQ(SaveConfiguration(folder_.File("Sirrel_Config.dat"), kSerial, Unusual()), ChunkStatus::kFound);
    Start();
    DecoderWindow &w = Window();
    DecoderWindow::Controls &p = Parts();
    EXPECT_EQ(w.X(), 130);
    EXPECT_EQ(w.Y(), 85);
    EXPECT_EQ(w.Width(), DecoderWindow::kWidth);
    EXPECT_EQ(w.Height(), DecoderWindow::kHeight);
    EXPECT_TRUE(w.Visible());
    EXPECT_EQ(display->Record(Handle()).title, "Quillon FSK Decoder #4242");
    // The icon installed beside the plug-in (the build tree has the same layout).
    EXPECT_EQ(display->Record(Handle()).iconWidth, 48);
    EXPECT_EQ(display->Record(Handle()).iconHeight, 48);
    EXPECT_EQ(instance_->Window(), Handle());

    EXPECT_EQ(p.tuning.Selected(), 1);
    EXPECT_EQ(p.space.Value(), 1275);
    EXPECT_EQ(p.mark.Value(), 1445);
    EXPECT_EQ(p.shift.SelectedText(), "170Hz");
    EXPECT_EQ(p.baudMode.Selected(), 1);
    EXPECT_EQ(p.baudrate.Value(), 75);
    EXPECT_TRUE(p.optimal.Checked());
    EXPECT_FALSE(p.highSpeed.Checked() || p.correlative.Checked() || p.weakSignal.Checked());
    EXPECT_EQ(p.polarity.Selected(), 1) << "Reversed";
    for (int bit = 0; bit < 8; ++bit)
        EXPECT_EQ(p.mask[bit].Checked(), bit == 0 || bit == 2) << bit;
    EXPECT_TRUE(p.bar.Checked());
    EXPECT_TRUE(p.linear.Checked());
    EXPECT_TRUE(p.gain.Enabled());
    EXPECT_EQ(p.gain.Value(), 4);
    EXPECT_EQ(p.averaging.Value(), 0.25);
    EXPECT_TRUE(p.invertColors.Checked());
    EXPECT_TRUE(p.waterfall.InvertedPalette());

    // The displays start where the controls say.
    SignalChain &chain = instance_->Engine().Chain();
    EXPECT_EQ(SpectrumMarker(0), 1275);
    EXPECT_EQ(WaterfallMarker(1), 1445);
    EXPECT_EQ(chain.Spectrum().Style(), 2);
    EXPECT_TRUE(chain.Waterfall().Linear());
    EXPECT_FLOAT_EQ(chain.Spectrum().LinearTop(), 0.25f);
    EXPECT_NEAR(chain.BitTiming(0).TimeMarker(0), 1.0 / 75, 1e-9);
    EXPECT_NEAR(chain.BitTiming(1).TimeMarker(1), 2.0 / 75, 1e-9);
    EXPECT_TRUE(chain.DisplaysShown());
}

class LowColorDecoderWindow : public DecoderWindowTest {
protected:
    LowColorDecoderWindow() : DecoderWindowTest(8) {}
};

TEST_F(LowColorDecoderWindow, UsesThePlainScheme)
{
    Start();
    EXPECT_EQ(Window().BackgroundColor(), Rgb(192, 192, 192));
    EXPECT_EQ(Parts().help.BackgroundColor(), Rgb(192, 192, 192));
}

TEST_F(DecoderWindowTest, StoredDemodulatorsLeaveOneRadioOn)
{
    // The weak-signal choice is stored apart from the radios' byte; when both are on, it is found last and wins.
    const struct {
        uint8_t radios;
        int32_t weak;
        DemodulatorChoice shown;
    } cases[] = {
        {kDemodPlain, 0, kDemodPlain},
        {kDemodHighSpeed, 0, kDemodHighSpeed},
        {kDemodCorrelative, 0, kDemodCorrelative},
        {kDemodCorrelative, 1, kDemodWeakSignal},
    };
    for (const auto &c : cases) {
        Configuration stored;
        stored.demodulator = c.radios;
        stored.weakSignal = c.weak;
        ASSERT_EQ(SaveConfiguration(folder_.File("Sirrel_Config.dat"), kSerial, stored), ChunkStatus::kFound);
        Start();
        DecoderWindow::Controls &p = Parts();
        const SettingsModel s = Settings();
        EXPECT_EQ(s.Demodulator(), c.shown) << int(c.radios) << "/" << c.weak;
        EXPECT_EQ(ExclusiveDemodulator(p.highSpeed.Checked(), p.optimal.Checked(), p.correlative.Checked(),
                                       p.weakSignal.Checked()),
                  c.shown);
        EXPECT_LE(p.highSpeed.Checked() + p.optimal.Checked() + p.correlative.Checked() + p.weakSignal.Checked(), 1);
        Close();
    }
    EXPECT_EQ(ExclusiveDemodulator(true, true, false, false), kDemodOptimal);
    EXPECT_EQ(ExclusiveDemodulator(true, true, true, false), kDemodCorrelative);
}

TEST_F(DecoderWindowTest, ControlsEditTheEngineSettings)
{
    Start();
    DecoderWindow::Controls &p = Parts();

    ClickRow(p.tuning, 1);
    EXPECT_FALSE(Settings().tuneAuto);
    Type(p.space, "1000");
    EXPECT_EQ(Settings().space, 1000);
    Type(p.mark, "1170");
    EXPECT_EQ(Settings().mark, 1170);
    EXPECT_EQ(SpectrumMarker(1), 1170);

    ClickRow(p.baudMode, 1);
    EXPECT_FALSE(Settings().baudAuto);
    Type(p.baudrate, "100");
    EXPECT_EQ(Settings().baudrate, 100);
    EXPECT_NEAR(instance_->Engine().Chain().BitTiming(0).TimeMarker(0), 0.01, 1e-9);

    Click(p.correlative);
    EXPECT_TRUE(Settings().correlative);
    Click(p.weakSignal);
    EXPECT_EQ(Settings().Demodulator(), kDemodWeakSignal);
    EXPECT_FALSE(p.correlative.Checked()) << "the radios exclude each other";
    Click(p.weakSignal);
    EXPECT_EQ(Settings().Demodulator(), kDemodPlain) << "turning the selected one off leaves none";

    ClickRow(p.polarity, 2);
    EXPECT_EQ(Settings().polarity, 0) << "Auto";
    Click(p.mask[3], 4);
    EXPECT_EQ(Settings().inversionMask, 8);

    p.shift.SetFocus();
    display->PressKey(Handle(), kKeyDown);
    PumpMessages();
    EXPECT_EQ(Settings().shiftIndex, 1);

    Click(p.bar);
    EXPECT_EQ(instance_->Engine().Chain().Spectrum().Style(), 2);
    EXPECT_FALSE(p.gain.Enabled());
    Click(p.linear);
    EXPECT_TRUE(p.gain.Enabled());
    Type(p.gain, "2");
    EXPECT_FLOAT_EQ(instance_->Engine().Chain().Waterfall().LinearTop(), 0.5f);

    int studies = 0;
    Window().onStudy = [&] { ++studies; };
    Click(p.study, 20, 10);
    EXPECT_EQ(studies, 1);
}

TEST_F(DecoderWindowTest, MarkersFollowTheShiftLock)
{
    enum Action { kDragSpace, kDragMark, kEditMark, kEditSpace };
    const struct {
        const char *name;
        int32_t shiftIndex;
        Action action;
        double value;
        float space;
        float mark;
    } cases[] = {
        {"shift 425, marker 0 dragged to 2700", 2, kDragSpace, 2700, 2575, 3000},
        {"shift 850, Mark typed as 600", 3, kEditMark, 600, 0, 850},
        {"shift 170, Space typed as 2900", 1, kEditSpace, 2900, 2830, 3000},
        {"any shift, marker 1 dragged", 0, kDragMark, 2000, 1000, -1},
        {"any shift, marker 0 dragged", 0, kDragSpace, 500, -1, 1425},
    };
    Start();
    DecoderWindow::Controls &p = Parts();
    ClickRow(p.tuning, 1);
    for (const auto &c : cases) {
        const int32_t shift = c.shiftIndex;
        Edit([shift](EngineEdit &edit) {
            edit.settings.shiftIndex = shift;
            edit.tuning.SetToneMarkers(1000, 1425);
        });
        switch (c.action) {
        case kDragSpace:
            DragMarker(p.spectrum, 1000, c.value);
            break;
        case kDragMark:
            DragMarker(p.waterfall, 1425, c.value);
            break;
        case kEditMark:
            Type(p.mark, std::to_string(int(c.value)));
            break;
        case kEditSpace:
            Type(p.space, std::to_string(int(c.value)));
            break;
        }
        // -1: the marker the user moved, wherever the pointer left it.
        const float space = c.space >= 0 ? c.space : SpectrumMarker(0);
        const float mark = c.mark >= 0 ? c.mark : SpectrumMarker(1);
        EXPECT_NEAR(SpectrumMarker(0), c.action == kDragSpace && c.space < 0 ? c.value : space, 8) << c.name;
        EXPECT_NEAR(SpectrumMarker(1), c.action == kDragMark && c.mark < 0 ? c.value : mark, 8) << c.name;
        EXPECT_EQ(WaterfallMarker(0), SpectrumMarker(0)) << c.name;
        EXPECT_EQ(WaterfallMarker(1), SpectrumMarker(1)) << c.name;
        // With manual tuning the fields follow the markers (the Space field stops at its lowest value, 1 Hz).
        ASSERT_TRUE(WaitFor([&] { return p.mark.Value() == int32_t(SpectrumMarker(1)); })) << c.name;
        EXPECT_EQ(p.space.Value(), std::max(1, int32_t(SpectrumMarker(0)))) << c.name;
    }
}

TEST_F(DecoderWindowTest, EngineChangesShowAfterTheRefresh)
{
    Start();
    DecoderWindow::Controls &p = Parts();
    // What a protocol chosen in the list, or automatic tuning, does to the settings.
    Edit([](EngineEdit &edit) {
        edit.settings.space = 1615;
        edit.settings.mark = 1785;
        edit.settings.baudrate = 45.45;
        edit.settings.SetRadioDemodulator(kDemodHighSpeed);
        edit.settings.polarity = 0;
        edit.settings.inversionMask = 0x80;
    });
    ASSERT_TRUE(WaitFor([&] { return p.space.Value() == 1615; }));
    EXPECT_EQ(p.mark.Value(), 1785);
    EXPECT_EQ(p.baudrate.Value(), 45.45);
    EXPECT_TRUE(p.highSpeed.Checked());
    EXPECT_EQ(p.polarity.Selected(), 2);
    EXPECT_TRUE(p.mask[7].Checked());
    // Following is not editing: nothing went back to the engine.
    const uint64_t seen = instance_->Engine().Changes().settings.load();
    PumpMessages();
    EXPECT_EQ(instance_->Engine().Changes().settings.load(), seen);
}

TEST_F(DecoderWindowTest, PositionAndControlsSurviveARestart)
{
    Start();
    DecoderWindow::Controls &p = Parts();
    // Dragged by its caption strip.
    display->Drag(Handle(), 200, 10, 260, 50);
    PumpMessages();
    ClickRow(p.tuning, 1);
    Type(p.space, "1500");
    Click(p.correlative);
    Click(p.bar);
    Click(p.invertColors);
    Type(p.averaging, "0.5");
    ClickRow(p.polarity, 1);
    Click(p.mask[1], 4);
    Close();

    Start();
    DecoderWindow &w = Window();
    EXPECT_EQ(w.X(), DecoderWindow::kLeft + 60);
    EXPECT_EQ(w.Y(), DecoderWindow::kTop + 40);
    EXPECT_EQ(Parts().tuning.Selected(), 1);
    EXPECT_EQ(Parts().space.Value(), 1500);
    EXPECT_TRUE(Parts().correlative.Checked());
    EXPECT_TRUE(Parts().bar.Checked());
    EXPECT_TRUE(Parts().invertColors.Checked());
    EXPECT_EQ(Parts().averaging.Value(), 0.5);
    EXPECT_EQ(Parts().polarity.Selected(), 1);
    EXPECT_EQ(Settings().inversionMask, 2);
}

TEST_F(DecoderWindowTest, ClosingTheWindowIsACloseRequest)
{
    Start();
    int requests = 0;
    instance_->SetCloseHandler([&] { ++requests; });
    Platform().PostMessage(Handle(), kMsgClose, 0, 0);
    Platform().PostMessage(Handle(), kMsgClose, 0, 0);
    PumpMessages();
    Click(Parts().close, 8, 6);
    EXPECT_EQ(requests, 1) << "later closes are the same request";
    EXPECT_TRUE(display->Exists(Handle())) << "the instance destroys its window, not the message";
    EXPECT_EQ(services_.CloseRequests(), std::vector<uint32_t>({Handle(), Handle(), Handle()}));
}

TEST_F(DecoderWindowTest, DialogsCloseBeforeTheStateIsSaved)
{
    Start();
    const std::string chunkFile = folder_.File("Sirrel_Config.dat");
    int closed = 0;
    bool savedBefore = true;
    Window().closeDialogs = [&] {
        ++closed;
        savedBefore = std::filesystem::exists(chunkFile);
    };
    Close();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(savedBefore);
    EXPECT_TRUE(std::filesystem::exists(chunkFile));
}

TEST_F(DecoderWindowTest, HelpOpensThePageInTheBrowser)
{
    Start();
    // The data folder's own copy wins over the installed page.
    const std::string page = folder_.Path() + "/help/Decoder.html";
    std::filesystem::create_directories(folder_.Path() + "/help");
    std::ofstream(page) << "<html></html>";
    ASSERT_EQ(Window().HelpPage(), page);
    // A browser that notes what it was asked to open.
    const std::string opened = folder_.File("opened.txt");
    const std::string browser = folder_.File("browser.sh");
    std::ofstream(browser) << "#!/bin/sh\necho \"$1\" > " << opened << ".part && mv " << opened << ".part " << opened
                           << "\n";
    std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
    const char *before = getenv("BROWSER");
    const std::string kept = before ? before : "";
    setenv("BROWSER", browser.c_str(), 1);
    Click(Parts().help, 20, 10);
    if (before)
        setenv("BROWSER", kept.c_str(), 1);
    else
        unsetenv("BROWSER");
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(opened); }));
    std::string line;
    std::getline(std::ifstream(opened), line);
    EXPECT_EQ(line, page);
}

TEST_F(DecoderWindowTest, HelpWithoutAnOwnPageTakesTheInstalledOne)
{
    Start();
    EXPECT_EQ(Window().HelpPage(), InstalledDataFolder() + "help/Decoder.html");
    EXPECT_TRUE(std::filesystem::exists(Window().HelpPage()));
}

TEST_F(DecoderWindowTest, HelpWithoutAnyPageSaysWhereItLooked)
{
    if (std::filesystem::exists(InstalledDataFolder() + "help/Decoder.html"))
        GTEST_SKIP() << "the installed page is there";
    Start();
    std::vector<std::string> boxes;
    display->SetIdleHandler([&] {
        for (uint32_t window : display->Windows()) {
            if (window != Handle() && display->Record(window).visible)
                boxes.push_back(display->Record(window).title);
        }
        display->SetIdleHandler({});
    });
    ASSERT_FALSE(std::filesystem::exists(Window().HelpPage()));
    Click(Parts().help, 20, 10);
    EXPECT_EQ(boxes, std::vector<std::string>{"Korvanda Quillon FSK Decoder"});
}

TEST_F(DecoderWindowTest, LooksRight)
{
    Start();
    // Two tones, 170 Hz apart, alternating every 20 ms, so that the displays show something.
    std::vector<int16_t> samples(11025 * 2);
    double phase = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double hertz = (i / 220) % 2 ? 1445 : 1275;
        phase += 2 * M_PI * hertz / 11025;
        samples[i] = int16_t(8000 * std::sin(phase));
    }
    for (size_t at = 0; at < samples.size(); at += 1024) {
        const size_t end = std::min(at + 1024, samples.size());
        std::vector<int16_t> part(samples.begin() + long(at), samples.begin() + long(end));
        std::vector<uint8_t> block(16 + part.size() * 2);
        const uint32_t header[4] = {11025, 16, 1, uint32_t(part.size())};
        std::memcpy(block.data(), header, 16);
        std::memcpy(block.data() + 16, part.data(), part.size() * 2);
        bool close = false;
        instance_->Notify(1, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data(), close);
        PumpMessages();
    }
    // A few refreshes, so that the waterfall has rows.
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        PumpMessages();
    }
    Window().Paint();
    const std::string path = (std::filesystem::current_path() / "decoder_window.png").string();
    EXPECT_TRUE(display->SavePng(Handle(), path));
}

} // namespace
