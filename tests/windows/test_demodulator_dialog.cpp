// The Demodulator dialog: its radios are the master copies of the demodulator choice, the test point and
// "Gain" set what the scope shows and in which vertical range, and the eye pattern folds the scope's feeds
// onto two bit periods until "Reset".
#include <cmath>

#include "panels_fixture.h"
#include "windows/demodulator_dialog.h"

namespace sirrel::test {
namespace {

class DemodulatorDialogTest : public PanelsTest {
protected:
    DemodulatorDialog &Build()
    {
        dialog = std::make_unique<DemodulatorDialog>(context);
        dialog->Toggle();
        return *dialog;
    }
    void Publish(const std::function<void(SettingsModel &)> &change)
    {
        engine.Post([change](EngineEdit &edit) { change(edit.settings); });
    }
    std::vector<bool> Radios()
    {
        std::vector<bool> on;
        for (int32_t r = 0; r < DemodulatorDialog::kRadioCount; ++r)
            on.push_back(dialog->RadioBox(DemodulatorDialog::Radio(r)).Checked());
        return on;
    }
    SignalDisplay &Scope() { return engine.Chain().Scope(); }

    std::unique_ptr<DemodulatorDialog> dialog;
};

TEST_F(DemodulatorDialogTest, RadiosAllowOneOrNoneAndReachTheEngine)
{
    using D = DemodulatorDialog;
    struct Case {
        std::vector<D::Radio> clicks;
        DemodulatorChoice choice;
        std::vector<bool> shown;
    };
    const Case cases[] = {
        {{D::kOptimal}, kDemodOptimal, {true, false, false, false}},
        {{D::kOptimal, D::kCorrelative}, kDemodCorrelative, {false, false, true, false}},
        {{D::kHighSpeed, D::kWeakSignal}, kDemodWeakSignal, {false, false, false, true}},
        {{D::kWeakSignal, D::kHighSpeed}, kDemodHighSpeed, {false, true, false, false}},
        {{D::kCorrelative, D::kCorrelative}, kDemodPlain, {false, false, false, false}},
    };
    Build();
    for (const Case &c : cases) {
        dialog->RadioBox(D::kOptimal).SetChecked(false);
        Publish([](SettingsModel &s) { s.SetDemodulator(kDemodPlain); });
        dialog->Refresh();
        for (D::Radio r : c.clicks)
            Click(dialog->RadioBox(r));
        EXPECT_EQ(engine.Settings().Demodulator(), c.choice);
        EXPECT_EQ(Radios(), c.shown);
    }
}

TEST_F(DemodulatorDialogTest, RadiosFollowTheEnginesSettings)
{
    Build();
    Publish([](SettingsModel &s) { s.SetRadioDemodulator(kDemodCorrelative); });
    dialog->Refresh();
    EXPECT_EQ(Radios(), (std::vector<bool>{false, false, true, false}));
}

TEST_F(DemodulatorDialogTest, TestPointAndGainSetTheScopesRange)
{
    Build();
    Enter(dialog->TestPoint(), "20");
    EXPECT_EQ(dialog->TestPoint().Value(), 14) << "test points run 0 to 14";
    EXPECT_EQ(engine.Chain().ScopeTestPoint(), kScopeDecision);
    EXPECT_DOUBLE_EQ(Scope().FullScale(), 2.0) << "decided bits in a fixed range";
    EXPECT_DOUBLE_EQ(Scope().Bottom(), -1.0);
    EXPECT_DOUBLE_EQ(Scope().LevelLine(), 0.5);

    Enter(dialog->Gain(), "250");
    EXPECT_EQ(dialog->Gain().Value(), DemodulatorDialog::kMaxGain);
    Click(dialog->RadioBox(DemodulatorDialog::kCorrelative));
    EXPECT_DOUBLE_EQ(Scope().FullScale(), 32767.0 / 100) << "the correlator's output follows the gain";
    EXPECT_DOUBLE_EQ(Scope().Bottom(), -32768.0 / 100);
    EXPECT_DOUBLE_EQ(Scope().LevelLine(), 0.0);

    Enter(dialog->Gain(), "2");
    Enter(dialog->TestPoint(), "3");
    EXPECT_EQ(engine.Chain().ScopeTestPoint(), 3);
    EXPECT_DOUBLE_EQ(Scope().FullScale(), 32767.0 / 2);
    EXPECT_DOUBLE_EQ(Scope().Bottom(), -32768.0 / 2);
}

TEST_F(DemodulatorDialogTest, FreeRunAndEyePatternExcludeEachOther)
{
    Build();
    EXPECT_TRUE(dialog->ScopeView().Triggered()) << "free run is off at first";
    EXPECT_FALSE(dialog->ResetButton().Enabled());
    Click(dialog->FreeRun());
    EXPECT_FALSE(dialog->ScopeView().Triggered());
    EXPECT_FALSE(dialog->EyePattern().Enabled());
    Click(dialog->FreeRun());
    Click(dialog->EyePattern());
    EXPECT_FALSE(dialog->FreeRun().Enabled());
    EXPECT_TRUE(dialog->ResetButton().Enabled());
    EXPECT_TRUE(dialog->EyeView().Visible());
    EXPECT_FALSE(dialog->ScopeView().Visible());
}

TEST_F(DemodulatorDialogTest, EyePatternFoldsOnTwoBitsAndAccumulatesUntilReset)
{
    // 10 samples per bit; alternating bits: high on the first bit of every pair, low on the second.
    const double baud = engine.ProcessingRate() / 10.0;
    Publish([baud](SettingsModel &s) { s.baudrate = baud; });
    Build();
    Click(dialog->EyePattern());
    std::vector<int16_t> bits(DecoderEngine::kFrameSize);
    // Frames follow each other without a gap: the bit clock runs on from one to the next.
    auto frame = [&](uint32_t number) {
        for (size_t i = 0; i < bits.size(); ++i)
            bits[i] = ((number * bits.size() + i) / 10) % 2 == 0 ? 20000 : -20000;
        return bits.data();
    };

    EyePatternView &eye = dialog->EyeView();
    const int32_t width = eye.Width();
    const int32_t height = eye.Height();
    auto total = [&](int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
        uint64_t sum = 0;
        for (int32_t y = y0; y < y1; ++y)
            for (int32_t x = x0; x < x1; ++x)
                sum += eye.Hits(x, y);
        return sum;
    };
    uint32_t next = 0;
    uint64_t before = 0;
    for (uint32_t frames = 1; frames <= 3; ++frames) {
        if (frames == 3)
            Scope().FeedSamples(frame(next++), uint32_t(bits.size()), 1); // a frame the view did not see
        Scope().FeedSamples(frame(next++), uint32_t(bits.size()), 1);
        dialog->Refresh();
        EXPECT_EQ(eye.Traces(), frames);
        const uint64_t now = total(0, width, 0, height);
        EXPECT_GE(now, before + bits.size()) << "every sample seen adds to the pattern";
        before = now;
        // The high-to-low edge falls between 45 % and 50 % of the window; low-to-high is the wrap, not drawn.
        EXPECT_EQ(total(width / 2 + 1, width, 0, height / 2), 0u) << "the high bit stays in the first half";
        EXPECT_EQ(total(0, width * 45 / 100, height / 2, height), 0u) << "the low bit stays in the second half";
        EXPECT_GT(total(0, width * 45 / 100, 0, height / 2), 0u);
        EXPECT_GT(total(width / 2 + 1, width, height / 2, height), 0u);
    }
    dialog->Refresh();
    EXPECT_EQ(eye.Traces(), 3u) << "nothing new fed, nothing folded";

    Click(dialog->ResetButton());
    EXPECT_EQ(eye.Traces(), 0u);
    EXPECT_EQ(total(0, width, 0, height), 0u);
}

TEST_F(DemodulatorDialogTest, ToggleAndCloseShowAndHide)
{
    dialog = std::make_unique<DemodulatorDialog>(context);
    EXPECT_FALSE(dialog->Visible()) << "built hidden";
    dialog->Toggle();
    EXPECT_TRUE(dialog->Visible());
    dialog->Toggle();
    EXPECT_FALSE(dialog->Visible());
    dialog->Toggle();
    display->PostMessage(dialog->NativeHandle(), kMsgClose, 0, 0);
    PumpMessages();
    EXPECT_FALSE(dialog->Visible()) << "the close button hides";
    dialog->Toggle();
    EXPECT_TRUE(dialog->Visible()) << "and the dialog is still there";
}

TEST_F(DemodulatorDialogTest, GatheredValuesRoundTrip)
{
    struct Case {
        int32_t left, top, freeRun;
        double gain;
        int32_t eye, testPoint;
    };
    for (const Case &c : {Case{120, 80, 1, 12.5, 0, 9}, Case{30, 40, 0, 100, 1, 14}, Case{0, 0, 0, 1, 0, 0}}) {
        configuration.demodulatorLeft = c.left;
        configuration.demodulatorTop = c.top;
        configuration.scopeFreeRun = c.freeRun;
        configuration.scopeGain = c.gain;
        configuration.scopeEyePattern = c.eye;
        configuration.testPoint = c.testPoint;
        dialog = std::make_unique<DemodulatorDialog>(context);
        Configuration gathered;
        dialog->Gather(gathered);
        EXPECT_EQ(gathered.ToBytes(), configuration.ToBytes()) << c.left;
        EXPECT_EQ(engine.Chain().ScopeTestPoint(), c.testPoint);
    }
}

TEST_F(DemodulatorDialogTest, Picture)
{
    std::vector<int16_t> tone(DecoderEngine::kFrameSize);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = int16_t(12000 * std::sin(double(i) * 0.05) + 8000 * std::sin(double(i) * 0.31));
    Build();
    Scope().FeedSamples(tone.data(), uint32_t(tone.size()), 1);
    dialog->ScopeView().Refresh();
    dialog->Paint();
    EXPECT_TRUE(display->SavePng(dialog->NativeHandle(), "windows-demodulator-dialog.png"));
    Click(dialog->EyePattern());
    for (int frame = 0; frame < 4; ++frame) {
        Scope().FeedSamples(tone.data(), uint32_t(tone.size()), 1);
        dialog->Refresh();
    }
    dialog->Paint();
    EXPECT_TRUE(display->SavePng(dialog->NativeHandle(), "windows-demodulator-eye.png"));
}

} // namespace
} // namespace sirrel::test
