#include "windows/demodulator_dialog.h"

#include "engine/decoder_engine.h"
#include "protocols/configuration.h"
#include "ui/platform/messages.h"

namespace sirrel {

namespace {

constexpr int32_t kWidth = 620;
constexpr int32_t kHeight = 330;
constexpr int32_t kRowHeight = 22;
constexpr int32_t kColumn = 436; // left edge of the controls beside the scope
constexpr int32_t kColumnWidth = kWidth - kColumn - 8;
constexpr int32_t kFieldWidth = 64;
// Below 1 the trace would only shrink inside the 16-bit range.
constexpr double kMinGain = 1.0;

constexpr const char *kRadioNames[] = {"Optimal", "High speed", "Correlative", "Weak signal"};
constexpr DemodulatorChoice kRadioChoices[] = {kDemodOptimal, kDemodHighSpeed, kDemodCorrelative, kDemodWeakSignal};

// The chain shows a soft signal at the decision test point for these, the decided bits (0 or 1) otherwise.
bool SoftDecision(DemodulatorChoice choice) { return choice == kDemodCorrelative || choice == kDemodWeakSignal; }

} // namespace

DemodulatorDialog::DemodulatorDialog(WindowContext &context) : context_(context)
{
    // The decoder window's loop ends with the decoder window, not with this dialog.
    SetEndsLoop(false);
    const Configuration &c = context_.configuration;
    CreateFrame(nullptr, c.demodulatorLeft, c.demodulatorTop, kWidth, kHeight, "Demodulator", false);
    const int32_t top = kCaptionHeight + 4;

    scope_.CreateGroup(this, {8, top, kColumn - 8, kHeight - 8}, "Scope");
    const Rect plot = scope_.Inner();
    scopeView_.CreateDisplayView(&scope_, plot.left, plot.top, plot.Width(), plot.Height(),
                                 context_.engine.Chain().Scope());
    eyeView_.CreateEyeView(&scope_, plot, context_.engine.Chain().Scope());

    const int32_t radiosHeight = GroupFrame::kTitleHeight + 8 + kRadioCount * kRowHeight;
    demodulator_.CreateGroup(this, {kColumn, top, kColumn + kColumnWidth, top + radiosHeight}, "Demodulator");
    const Rect inner = demodulator_.Inner();
    for (int32_t r = 0; r < kRadioCount; ++r) {
        radios_[size_t(r)].CreateCheckBox(&demodulator_, inner.left, inner.top + r * kRowHeight, inner.Width(),
                                          kRowHeight, kRadioNames[r]);
        radios_[size_t(r)].SetClickCallback(&DemodulatorDialog::RadioClicked, this);
    }

    int32_t y = top + radiosHeight + 8;
    const int32_t fieldLeft = kColumn + kColumnWidth - kFieldWidth;
    testPointLabel_.CreateLabel(this, kColumn, y, kColumnWidth - kFieldWidth, kRowHeight, "Test point");
    testPoint_.CreateNumeric(this, fieldLeft, y, kFieldWidth, kRowHeight, Oru_NumericField::Kind::Integer);
    testPoint_.SetLimits(0, kTestPoints - 1);
    testPoint_.SetValue(c.testPoint);
    testPoint_.SetClickCallback(&DemodulatorDialog::ScaleChanged, this);
    y += kRowHeight + 4;
    gainLabel_.CreateLabel(this, kColumn, y, kColumnWidth - kFieldWidth, kRowHeight, "Gain");
    gain_.CreateNumeric(this, fieldLeft, y, kFieldWidth, kRowHeight, Oru_NumericField::Kind::Plain);
    gain_.SetDecimals(1);
    gain_.SetLimits(kMinGain, kMaxGain);
    gain_.SetValue(c.scopeGain);
    gain_.SetClickCallback(&DemodulatorDialog::ScaleChanged, this);
    y += kRowHeight + 8;
    freeRun_.CreateCheckBox(this, kColumn, y, kColumnWidth, kRowHeight, "Free run");
    freeRun_.SetClickCallback(&DemodulatorDialog::StyleChanged, this);
    y += kRowHeight + 2;
    eyePattern_.CreateCheckBox(this, kColumn, y, kColumnWidth, kRowHeight, "Eye pattern");
    eyePattern_.SetClickCallback(&DemodulatorDialog::StyleChanged, this);
    y += kRowHeight + 6;
    reset_.CreateButton(this, kColumn, y, 90, 24, "Reset");
    reset_.SetClickCallback(&DemodulatorDialog::ResetClicked, this);

    // Both saved on cannot be undone by the user (each disables the other): the eye pattern keeps its place.
    eyePattern_.SetChecked(c.scopeEyePattern != 0);
    freeRun_.SetChecked(c.scopeFreeRun != 0 && c.scopeEyePattern == 0);
    ApplyStyle();

    const SettingsModel published = context_.engine.Published();
    seen_ = context_.engine.Changes().settings.load();
    baudrate_ = published.baudrate;
    ShowRadios(published);
    PostScale();
    SetTimer(kRefreshTimer, kRefreshMilliseconds);
}

DemodulatorDialog::~DemodulatorDialog() { KillTimer(kRefreshTimer); }

void DemodulatorDialog::Toggle() { ShowCommand(Visible() ? kShowHide : kShowShow); }

void DemodulatorDialog::Close() { ShowCommand(kShowHide); }

void DemodulatorDialog::Gather(Configuration &c) const
{
    c.demodulatorLeft = X();
    c.demodulatorTop = Y();
    c.scopeFreeRun = freeRun_.Checked() ? 1 : 0;
    c.scopeGain = gain_.Value();
    c.scopeEyePattern = eyePattern_.Checked() ? 1 : 0;
    c.testPoint = int32_t(testPoint_.Value());
}

intptr_t DemodulatorDialog::HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second)
{
    // The caption's close button hides the dialog; it lives as long as the decoder window.
    if (message == kMsgClose) {
        Close();
        return 0;
    }
    return Oru_Frame::HandleNativeMessage(message, first, second);
}

void DemodulatorDialog::TimerTick(uint32_t id)
{
    if (id == kRefreshTimer)
        Refresh();
}

void DemodulatorDialog::Refresh()
{
    const uint64_t changes = context_.engine.Changes().settings.load();
    if (changes != seen_) {
        seen_ = changes;
        const SettingsModel published = context_.engine.Published();
        baudrate_ = published.baudrate;
        if (published.Demodulator() != shown_) {
            ShowRadios(published);
            PostScale();
        }
    }
    if (eyePattern_.Checked() && baudrate_ > 0.0)
        eyeView_.Accumulate(context_.engine.ProcessingRate() / baudrate_);
}

void DemodulatorDialog::ShowRadios(const SettingsModel &settings)
{
    shown_ = settings.Demodulator();
    for (int32_t r = 0; r < kRadioCount; ++r)
        radios_[size_t(r)].SetChecked(kRadioChoices[r] == shown_);
}

void DemodulatorDialog::RadioClicked(Oru_Window *box, void *dialog)
{
    auto *self = static_cast<DemodulatorDialog *>(dialog);
    DemodulatorChoice choice = kDemodPlain;
    for (int32_t r = 0; r < kRadioCount; ++r) {
        if (&self->radios_[size_t(r)] == box && self->radios_[size_t(r)].Checked())
            choice = kRadioChoices[r];
    }
    // Turning one on turns the others off; turning the one that was on off leaves none.
    for (int32_t r = 0; r < kRadioCount; ++r)
        self->radios_[size_t(r)].SetChecked(kRadioChoices[r] == choice);
    self->shown_ = choice;
    self->context_.engine.Post([choice](EngineEdit &edit) { edit.settings.SetDemodulator(choice); });
    self->PostScale();
}

void DemodulatorDialog::PostScale()
{
    const double gain = gain_.Value();
    const int32_t point = int32_t(testPoint_.Value());
    // Read when the edit runs: the demodulator may change between now and then.
    context_.engine.Post([gain, point](EngineEdit &edit) {
        edit.chain.SetScopeTestPoint(point);
        SignalDisplay &scope = edit.chain.Scope();
        const bool soft = SoftDecision(edit.settings.Demodulator());
        if (point != kScopeDecision || soft) {
            scope.SetFullScale(32767.0 / gain);
            scope.SetBottom(-32768.0 / gain);
        } else {
            scope.SetFullScale(2.0);
            scope.SetBottom(-1.0);
        }
        if (point == kScopeDecision)
            scope.SetLevelLine(soft ? 0.0 : 0.5);
    });
}

void DemodulatorDialog::ScaleChanged(Oru_Window *, void *dialog)
{
    auto *self = static_cast<DemodulatorDialog *>(dialog);
    self->PostScale();
    // What was folded at the old scale or test point does not belong to the new pattern.
    if (self->eyePattern_.Checked())
        self->eyeView_.Reset();
}

void DemodulatorDialog::StyleChanged(Oru_Window *box, void *dialog)
{
    auto *self = static_cast<DemodulatorDialog *>(dialog);
    if (box == &self->eyePattern_ && self->eyePattern_.Checked())
        self->eyeView_.Reset();
    self->ApplyStyle();
}

void DemodulatorDialog::ResetClicked(Oru_Window *, void *dialog)
{
    static_cast<DemodulatorDialog *>(dialog)->eyeView_.Reset();
}

void DemodulatorDialog::ApplyStyle()
{
    const bool eye = eyePattern_.Checked();
    const bool freeRun = freeRun_.Checked();
    freeRun_.Enable(!eye);
    eyePattern_.Enable(!freeRun);
    reset_.Enable(eye);
    scopeView_.SetTriggered(!freeRun);
    scopeView_.ShowCommand(eye ? kShowHide : kShowShow);
    eyeView_.ShowCommand(eye ? kShowShow : kShowHide);
    Redraw();
}

} // namespace sirrel
