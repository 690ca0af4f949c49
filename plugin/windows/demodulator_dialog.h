// The Demodulator dialog, which the main window's "Study" button shows and hides. It holds the master copies of
// the demodulator radios ("Optimal", "High speed", "Correlative" and the added "Weak signal"; at most one on),
// and the scope over one test point of the signal chain with "Free run", "Gain", "Eye pattern" and "Reset".
//
// Every change is an engine edit. A timer brings the radios up to the published settings when they moved, and
// folds the scope's feeds into the eye pattern while it is on.
#pragma once

#include <array>

#include "protocols/settings_model.h"
#include "ui/controls.h"
#include "ui/frame.h"
#include "ui/numeric_field.h"
#include "ui/signal_display_view.h"
#include "windows/eye_pattern_view.h"
#include "windows/group_frame.h"
#include "windows/window_context.h"

namespace sirrel {

class DemodulatorDialog : public Oru_Frame {
public:
    static constexpr uint32_t kRefreshTimer = 1;
    static constexpr uint32_t kRefreshMilliseconds = 100;
    static constexpr double kMaxGain = 100.0;
    static constexpr int32_t kTestPoints = 15;

    // The radios in their order on the dialog.
    enum Radio : int32_t { kOptimal, kHighSpeed, kCorrelative, kWeakSignal, kRadioCount };

    // Built hidden at the position of the configuration block.
    explicit DemodulatorDialog(WindowContext &context);
    ~DemodulatorDialog() override;

    void Toggle();
    void Close();
    void Gather(Configuration &c) const;

    // Takes the published settings when they moved and, with the eye pattern on, the scope's new feeds; the
    // refresh timer calls it.
    void Refresh();

    Oru_CheckBox &RadioBox(Radio radio) { return radios_[size_t(radio)]; }
    Oru_NumericField &TestPoint() { return testPoint_; }
    Oru_NumericField &Gain() { return gain_; }
    Oru_CheckBox &FreeRun() { return freeRun_; }
    Oru_CheckBox &EyePattern() { return eyePattern_; }
    Oru_PushButton &ResetButton() { return reset_; }
    SignalDisplayView &ScopeView() { return scopeView_; }
    EyePatternView &EyeView() { return eyeView_; }

    intptr_t HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second) override;
    void TimerTick(uint32_t id) override;

private:
    static void RadioClicked(Oru_Window *box, void *dialog);
    static void ScaleChanged(Oru_Window *, void *dialog);
    static void StyleChanged(Oru_Window *, void *dialog);
    static void ResetClicked(Oru_Window *, void *dialog);

    void ShowRadios(const SettingsModel &settings);
    // The test point and the vertical range it is shown in (with "Gain", or the decisions' fixed range).
    void PostScale();
    // "Free run" and "Eye pattern" exclude each other; the eye pattern replaces the scope's trace.
    void ApplyStyle();

    WindowContext &context_;
    GroupFrame demodulator_;
    std::array<Oru_CheckBox, kRadioCount> radios_;
    GroupFrame scope_;
    SignalDisplayView scopeView_;
    EyePatternView eyeView_;
    Oru_Label testPointLabel_;
    Oru_NumericField testPoint_;
    Oru_Label gainLabel_;
    Oru_NumericField gain_;
    Oru_CheckBox freeRun_;
    Oru_CheckBox eyePattern_;
    Oru_PushButton reset_;
    DemodulatorChoice shown_ = kDemodPlain;
    double baudrate_ = 0.0;
    uint64_t seen_ = 0;
};

} // namespace sirrel
