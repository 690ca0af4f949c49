#include "windows/decoder_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "dsp/tuning_rules.h"
#include "protocols/configuration.h"
#include "protocols/product_name.h"
#include "protocols/translation_tables.h"
#include "ui/font_engine.h"
#include "ui/message_box.h"
#include "ui/platform/png_file.h"
#include "windows/help_page.h"

#ifndef SIRREL_VERSION
#define SIRREL_VERSION "unknown"
#endif

namespace sirrel {

namespace {

constexpr char kProductName[] = "Quillon FSK Decoder";

// Group frames: caption and area in window coordinates.
struct Group {
    const char *caption;
    Rect area;
};
constexpr Group kGroups[] = {
    {"Frequencies", {8, 26, 470, 310}},           {"Baudrate", {8, 314, 470, 404}},
    {"Demodulator", {8, 408, 226, 503}},          {"Polarity", {232, 408, 330, 503}},
    {"Bit inversion mask", {336, 408, 470, 503}},
};

constexpr int32_t kRow = 22;

template <void (DecoderWindow::*Handler)()> void Call(Oru_Window *, void *self)
{
    (static_cast<DecoderWindow *>(self)->*Handler)();
}

// Text the user is still typing stays; automatic tuning would otherwise take it away every frame.
void FollowField(Oru_NumericField &field, double value)
{
    if (!field.Focused() || field.Text() == field.Format(field.Value()))
        field.SetValue(value);
}

} // namespace

DemodulatorChoice ExclusiveDemodulator(bool highSpeed, bool optimal, bool correlative, bool weakSignal)
{
    DemodulatorChoice choice = kDemodPlain;
    if (highSpeed)
        choice = kDemodHighSpeed;
    if (optimal)
        choice = kDemodOptimal;
    if (correlative)
        choice = kDemodCorrelative;
    if (weakSignal)
        choice = kDemodWeakSignal;
    return choice;
}

int32_t PolarityToPosition(int32_t polarity) { return polarity == 1 ? 0 : polarity == 2 ? 1 : 2; }

int32_t PositionToPolarity(int32_t position) { return position == 0 ? 1 : position == 1 ? 2 : 0; }

DecoderWindow::DecoderWindow(WindowContext &context) : context_(context) {}

DecoderWindow::~DecoderWindow()
{
    KillTimer(kRefreshTimer);
    wavPanel_.reset();
    translationDialog_.reset();
    demodulatorDialog_.reset();
    soundCard_.reset();
    modePanels_.reset();
    protocolList_.reset();
    Destroy();
}

bool DecoderWindow::CreateWindow(const std::string &title)
{
    if (!CreateFrame(nullptr, kLeft, kTop, kWidth, kHeight, title, false))
        return false;
    // The icon installed with the plug-in; without it the desktop shows its own.
    std::vector<uint32_t> icon;
    int32_t width = 0;
    int32_t height = 0;
    if (ReadPng(InstalledDataFolder() + "kel-host.png", icon, width, height))
        Platform().SetNativeIcon(NativeHandle(), icon, width, height);
    return true;
}

void DecoderWindow::BuildControls()
{
    SetBounds(context_.configuration.windowLeft, context_.configuration.windowTop, kWidth, kHeight);
    parts_.close.CreateButton(this, kWidth - kBorder - 20, kBorder + 1, 18, kCaptionHeight - kBorder - 4, "X");
    parts_.close.SetClickCallback(
        [](Oru_Window *, void *self) {
            auto *w = static_cast<DecoderWindow *>(self);
            Platform().PostMessage(w->NativeHandle(), kMsgClose, 0, 0);
        },
        this);
    BuildFrequencies();
    BuildBaudrate();
    BuildDemodulator();
    BuildDecoderControls();
    protocolList_ = std::make_unique<ProtocolListPanel>(*this, kProtocolListArea, context_);
    modePanels_ = std::make_unique<ModePanels>(*this, kModePanelsArea, context_);
    demodulatorDialog_ = std::make_unique<DemodulatorDialog>(context_);
    onStudy = [this] { demodulatorDialog_->Toggle(); };
    translationDialog_ = std::make_unique<TranslationDialog>(context_);
    translationDialog_->onNamesChanged = [this](const std::vector<std::string> &names) { SetTableNames(names); };
    closeDialogs = [this] {
        demodulatorDialog_->Close();
        translationDialog_->Close();
    };
    if (wavDeck.play)
        wavPanel_ = std::make_unique<WavPanel>(*this, wavDeck.soundCard ? kWavPanelBesideSoundCard : kWavPanelArea,
                                               wavDeck, context_.configuration);
    WireDisplays();
    Post([](EngineEdit &edit) {
        SettingsModel &s = edit.settings;
        s.SetDemodulator(ExclusiveDemodulator(s.highSpeed, s.optimal, s.correlative, s.weakSignal));
    });
    Follow(context_.engine.Published());
    seenSettings_ = context_.engine.Changes().settings.load();
    seenTones_ = context_.engine.Changes().tones.load();
    seenBaudrate_ = context_.engine.Changes().baudrate.load();
    SetTimer(kRefreshTimer, kRefreshMilliseconds);
}

void DecoderWindow::ShowWindow() { ShowCommand(kShowShow); }

void DecoderWindow::BuildFrequencies()
{
    Controls &p = parts_;
    const Configuration &c = context_.configuration;
    SignalChain &chain = context_.engine.Chain();
    p.spectrum.CreateDisplayView(this, 14, 44, 450, 104, chain.Spectrum());
    p.waterfall.CreateDisplayView(this, 14, 150, 450, 80, chain.Waterfall());
    p.waterfall.SetPalette(false, c.waterfallInvert != 0);

    const int32_t options = 236;
    p.invertColors.CreateCheckBox(this, 14, options, 106, 20, "Invert colors");
    p.invertColors.SetChecked(c.waterfallInvert != 0);
    p.bar.CreateCheckBox(this, 124, options, 50, 20, "Bar");
    p.bar.SetChecked(c.spectrumBar != 0);
    p.linear.CreateCheckBox(this, 178, options, 64, 20, "Linear");
    p.linear.SetChecked(c.spectrumLinear != 0);
    p.gainLabel.CreateLabel(this, 250, options, 34, 20, "Gain");
    p.gain.CreateNumeric(this, 286, options, 60, 20, Oru_NumericField::Kind::Plain);
    p.gain.SetLimits(0.001, 1e6);
    p.gain.SetValue(c.spectrumGain);
    p.gainLabel.Enable(p.linear.Checked());
    p.gain.Enable(p.linear.Checked());
    p.averagingLabel.CreateLabel(this, 354, options, 64, 20, "Averaging");
    p.averaging.CreateNumeric(this, 420, options, 44, 20, Oru_NumericField::Kind::Plain);
    p.averaging.SetLimits(0.0, 1.0);
    p.averaging.SetValue(c.averaging);
    for (Oru_Window *w : std::initializer_list<Oru_Window *>{&p.invertColors, &p.bar, &p.linear, &p.gain, &p.averaging})
        w->SetClickCallback(Call<&DecoderWindow::SpectrumOptionsChanged>, this);

    const int32_t tones = 262;
    p.tuning.CreateRadioGroup(this, 14, tones, 80, {"Auto", "Manual"});
    p.tuning.SetClickCallback(
        [](Oru_Window *, void *self) {
            auto *w = static_cast<DecoderWindow *>(self);
            const bool automatic = w->parts_.tuning.Selected() == 0;
            w->Post([automatic](EngineEdit &edit) { edit.settings.tuneAuto = automatic; });
        },
        this);
    p.spaceLabel.CreateLabel(this, 104, tones, 44, 20, "Space");
    p.space.CreateNumeric(this, 146, tones, 64, 20, Oru_NumericField::Kind::Plain);
    p.spaceUnit.CreateLabel(this, 214, tones, 24, 20, "Hz");
    p.markLabel.CreateLabel(this, 104, tones + kRow, 44, 20, "Mark");
    p.mark.CreateNumeric(this, 146, tones + kRow, 64, 20, Oru_NumericField::Kind::Plain);
    p.markUnit.CreateLabel(this, 214, tones + kRow, 24, 20, "Hz");
    for (Oru_NumericField *field : {&p.space, &p.mark}) {
        field->SetLimits(1.0, kMaxTone);
        field->SetDecimals(0);
    }
    p.space.SetClickCallback(
        [](Oru_Window *, void *self) {
            auto *w = static_cast<DecoderWindow *>(self);
            const double value = w->parts_.space.Value();
            w->Post([value](EngineEdit &edit) { edit.tuning.SpaceEdited(value); });
        },
        this);
    p.mark.SetClickCallback(
        [](Oru_Window *, void *self) {
            auto *w = static_cast<DecoderWindow *>(self);
            const double value = w->parts_.mark.Value();
            w->Post([value](EngineEdit &edit) { edit.tuning.MarkEdited(value); });
        },
        this);

    p.shiftLabel.CreateLabel(this, 250, tones, 34, 20, "Shift");
    p.shift.CreateCombo(this, 286, tones, 80, 20, false);
    for (const char *item : {"Any", "170Hz", "425Hz", "850Hz"})
        p.shift.AddItem(item);
    p.shift.SetClickCallback(
        [](Oru_Window *, void *self) {
            auto *w = static_cast<DecoderWindow *>(self);
            const int32_t index = w->parts_.shift.Selected();
            w->Post([index](EngineEdit &edit) {
                edit.settings.shiftIndex = index;
                edit.tuning.ShiftChanged();
            });
        },
        this);
}

void DecoderWindow::BuildBaudrate()
{
    Controls &p = parts_;
    SignalChain &chain = context_.engine.Chain();
    p.rawTiming.CreateDisplayView(this, 14, 330, 150, 68, chain.BitTiming(0));
    p.enhancedTiming.CreateDisplayView(this, 170, 330, 150, 68, chain.BitTiming(1));
    p.baudMode.CreateRadioGroup(this, 328, 330, 90, {"Automatic", "Manual"});
    p.baudMode.SetClickCallback(
        [](Oru_Window *, void *self) {
            auto *w = static_cast<DecoderWindow *>(self);
            const bool automatic = w->parts_.baudMode.Selected() == 0;
            w->Post([automatic](EngineEdit &edit) {
                edit.settings.baudAuto = automatic;
                edit.settings.baudrate = std::trunc(edit.settings.baudrate);
            });
        },
        this);
    p.baudrateLabel.CreateLabel(this, 328, 376, 60, 20, "Baudrate");
    p.baudrate.CreateNumeric(this, 392, 376, 70, 20, Oru_NumericField::Kind::Plain);
    p.baudrate.SetLimits(kMinBaud, kMaxBaud);
    p.baudrate.SetDecimals(2);
    p.baudrate.SetClickCallback(
        [](Oru_Window *, void *self) {
            auto *w = static_cast<DecoderWindow *>(self);
            const double value = w->parts_.baudrate.Value();
            w->Post([value](EngineEdit &edit) { edit.tuning.BaudrateEdited(value); });
        },
        this);
}

void DecoderWindow::BuildDemodulator()
{
    Controls &p = parts_;
    const int32_t top = 426;
    p.highSpeed.CreateCheckBox(this, 14, top, 110, 18, "High speed");
    p.optimal.CreateCheckBox(this, 14, top + 18, 110, 18, "Optimal");
    p.correlative.CreateCheckBox(this, 14, top + 36, 110, 18, "Correlative");
    p.weakSignal.CreateCheckBox(this, 14, top + 54, 110, 18, "Weak signal");
    for (Oru_CheckBox *radio : {&p.highSpeed, &p.optimal, &p.correlative, &p.weakSignal}) {
        radio->SetClickCallback(
            [](Oru_Window *control, void *self) { static_cast<DecoderWindow *>(self)->DemodulatorChanged(*control); },
            this);
    }
    p.study.CreateButton(this, 136, top + 4, 80, 24, "Study");
    p.study.SetClickCallback(
        [](Oru_Window *, void *self) {
            auto *w = static_cast<DecoderWindow *>(self);
            if (w->onStudy)
                w->onStudy();
        },
        this);

    p.polarity.CreateRadioGroup(this, 238, top, 86, {"Normal", "Reversed", "Auto"});
    p.polarity.SetClickCallback(
        [](Oru_Window *, void *self) {
            auto *w = static_cast<DecoderWindow *>(self);
            const int32_t polarity = PositionToPolarity(w->parts_.polarity.Selected());
            w->Post([polarity](EngineEdit &edit) { edit.settings.polarity = polarity; });
        },
        this);

    for (int32_t k = 0; k < int32_t(p.mask.size()); ++k) {
        // Bit 0 at the right, as bits are written.
        const int32_t x = 344 + (7 - k) * 15;
        p.maskBits[k].CreateLabel(this, x, top, 15, 18, std::to_string(k), true);
        p.mask[k].CreateCheckBox(this, x, top + 20, 15, 18, "");
        p.mask[k].SetClickCallback(
            [](Oru_Window *, void *self) {
                auto *w = static_cast<DecoderWindow *>(self);
                int32_t mask = 0;
                for (int32_t bit = 0; bit < int32_t(w->parts_.mask.size()); ++bit)
                    mask |= w->parts_.mask[bit].Checked() ? 1 << bit : 0;
                w->Post([mask](EngineEdit &edit) { edit.settings.inversionMask = mask; });
            },
            this);
    }
}

void DecoderWindow::BuildDecoderControls()
{
    Controls &p = parts_;
    p.tableLabel.CreateLabel(this, 478, 410, 110, 20, "Translation table");
    p.table.CreateCombo(this, 590, 410, 102, 20, false);
    SetTableNames(context_.tables.Names());
    p.table.SetClickCallback(
        [](Oru_Window *, void *self) {
            auto *w = static_cast<DecoderWindow *>(self);
            const std::string name = w->parts_.table.SelectedText();
            TranslationTables &tables = w->context_.tables;
            std::shared_ptr<EditMailbox<std::string>> reports = w->reports_;
            w->Post([name, &tables, reports](EngineEdit &) {
                if (std::string message = tables.SelectByName(name); !message.empty())
                    reports->Put(std::move(message));
            });
        },
        this);
    p.cpu.CreateLabel(this, 478, 438, 214, 20, "CPU usage: 0%");
    p.help.CreateButton(this, 478, 472, 100, 26, "Help");
    p.help.SetClickCallback(Call<&DecoderWindow::ShowHelp>, this);
    p.about.CreateButton(this, 592, 472, 100, 26, "About");
    p.about.SetClickCallback(Call<&DecoderWindow::ShowAbout>, this);
}

void DecoderWindow::WireDisplays()
{
    const Configuration &c = context_.configuration;
    const bool bar = c.spectrumBar != 0;
    const bool linear = c.spectrumLinear != 0;
    const double gain = c.spectrumGain;
    const float averaging = float(c.averaging);
    DecoderEngine &engine = context_.engine;
    // The views drag markers on this thread; what the drag does to the other markers and the fields happens on
    // the frame thread, at the position the user left the marker. The call-backs need only the engine, which
    // outlives the window.
    Post([&engine, bar, linear, gain, averaging](EngineEdit &edit) {
        SignalChain &chain = edit.chain;
        for (SignalDisplay *display : {&chain.Spectrum(), &chain.Waterfall()}) {
            display->SetMarker(0, edit.settings.space);
            display->SetMarker(1, edit.settings.mark);
            display->SetMarkerMoved([&engine](SignalDisplay &d, int32_t which) {
                const double hertz = d.Marker(which);
                engine.Post([&d, which, hertz](EngineEdit &e) {
                    d.SetMarker(which, hertz);
                    e.tuning.ToneMarkerMoved(d, which);
                });
            });
            display->SetLinear(linear);
            display->SetAveraging(true, averaging);
        }
        for (SignalDisplay *display : {&chain.BitTiming(0), &chain.BitTiming(1)}) {
            display->SetMarkerMoved([&engine](SignalDisplay &d, int32_t which) {
                const double seconds = d.TimeMarker(which);
                engine.Post([&d, which, seconds](EngineEdit &e) {
                    d.SetTimeMarker(which, seconds);
                    e.tuning.BitTimingMarkerMoved(d, which);
                });
            });
        }
        chain.Spectrum().SetStyle(bar ? 2 : 1);
        chain.Spectrum().SetLinearTop(float(1.0 / gain));
        chain.Waterfall().SetLinearTop(chain.Spectrum().LinearTop());
    });
}

void DecoderWindow::SpectrumOptionsChanged()
{
    Controls &p = parts_;
    p.waterfall.SetPalette(p.waterfall.SmoothPalette(), p.invertColors.Checked());
    p.waterfall.Redraw();
    const bool linear = p.linear.Checked();
    p.gainLabel.Enable(linear);
    p.gain.Enable(linear);
    const bool bar = p.bar.Checked();
    const double gain = p.gain.Value();
    const float averaging = float(p.averaging.Value());
    Post([bar, linear, gain, averaging](EngineEdit &edit) {
        SignalChain &chain = edit.chain;
        chain.Spectrum().SetStyle(bar ? 2 : 1);
        for (SignalDisplay *display : {&chain.Spectrum(), &chain.Waterfall()}) {
            display->SetLinear(linear);
            display->SetAveraging(true, averaging);
        }
        chain.Spectrum().SetLinearTop(float(1.0 / gain));
        chain.Waterfall().SetLinearTop(chain.Spectrum().LinearTop());
    });
}

void DecoderWindow::DemodulatorChanged(Oru_Window &control)
{
    Controls &p = parts_;
    auto &changed = static_cast<Oru_CheckBox &>(control);
    if (changed.Checked()) {
        for (Oru_CheckBox *radio : {&p.highSpeed, &p.optimal, &p.correlative, &p.weakSignal}) {
            if (radio != &changed)
                radio->SetChecked(false);
        }
    }
    const DemodulatorChoice choice = ExclusiveDemodulator(p.highSpeed.Checked(), p.optimal.Checked(),
                                                          p.correlative.Checked(), p.weakSignal.Checked());
    Post([choice](EngineEdit &edit) { edit.settings.SetDemodulator(choice); });
}

void DecoderWindow::SetTableNames(const std::vector<std::string> &names)
{
    OruStringList items;
    OruStringList_Construct(&items);
    for (const std::string &name : names)
        OruStringList_Add_String(&items, name.c_str());
    parts_.table.List().SetItems(items);
    OruStringList_Destruct(&items, 0);
    const auto found = std::find(names.begin(), names.end(), context_.engine.Published().translationTableName);
    parts_.table.Select(found == names.end() ? -1 : int32_t(found - names.begin()));
}

void DecoderWindow::ShowTranslationTables()
{
    if (translationDialog_)
        translationDialog_->Show();
}

void DecoderWindow::Follow(const SettingsModel &s)
{
    Controls &p = parts_;
    p.tuning.Select(s.tuneAuto ? 0 : 1);
    FollowField(p.space, s.space);
    FollowField(p.mark, s.mark);
    p.shift.Select(s.shiftIndex);
    p.baudMode.Select(s.baudAuto ? 0 : 1);
    FollowField(p.baudrate, s.baudrate);
    const DemodulatorChoice choice = ExclusiveDemodulator(s.highSpeed, s.optimal, s.correlative, s.weakSignal);
    p.highSpeed.SetChecked(choice == kDemodHighSpeed);
    p.optimal.SetChecked(choice == kDemodOptimal);
    p.correlative.SetChecked(choice == kDemodCorrelative);
    p.weakSignal.SetChecked(choice == kDemodWeakSignal);
    p.polarity.Select(PolarityToPosition(s.polarity));
    for (int32_t bit = 0; bit < int32_t(p.mask.size()); ++bit)
        p.mask[bit].SetChecked((s.inversionMask >> bit) & 1);
    int32_t table = -1;
    for (int32_t i = 0; i < p.table.List().Count(); ++i) {
        if (p.table.List().Item(i) == s.translationTableName)
            table = i;
    }
    p.table.Select(table);
    Redraw();
}

void DecoderWindow::ShowSoundCard(SoundCardControls controls)
{
    soundCard_ = std::make_unique<SoundCardPanel>(*this, kSoundCardArea, std::move(controls));
}

void DecoderWindow::Refresh()
{
    if (soundCard_)
        soundCard_->Refresh();
    const EngineChanges &changes = context_.engine.Changes();
    const uint64_t settings = changes.settings.load();
    const uint64_t tones = changes.tones.load();
    const uint64_t baudrate = changes.baudrate.load();
    if (settings != seenSettings_ || tones != seenTones_ || baudrate != seenBaudrate_) {
        seenSettings_ = settings;
        seenTones_ = tones;
        seenBaudrate_ = baudrate;
        Follow(context_.engine.Published());
    }
    for (const std::string &message : reports_->Take())
        ShowMessageBox(this, kProductCaption, message, kBoxOk);
    if (wavPanel_)
        wavPanel_->Refresh();
    char usage[48];
    std::snprintf(usage, sizeof usage, "CPU usage: %.1f%%", context_.engine.Chain().CpuUsage());
    if (parts_.cpu.Text() != usage)
        parts_.cpu.SetText(usage);
}

void DecoderWindow::Gather(Configuration &c) const
{
    const Controls &p = parts_;
    c.windowLeft = X();
    c.windowTop = Y();
    c.waterfallInvert = p.invertColors.Checked() ? 1 : 0;
    c.spectrumBar = p.bar.Checked() ? 1 : 0;
    c.spectrumLinear = p.linear.Checked() ? 1 : 0;
    c.spectrumGain = p.gain.Value();
    c.averaging = p.averaging.Value();
    if (protocolList_)
        protocolList_->Gather(c);
    if (modePanels_)
        modePanels_->Gather(c);
    if (demodulatorDialog_)
        demodulatorDialog_->Gather(c);
    if (translationDialog_)
        translationDialog_->Gather(c);
    if (wavPanel_)
        wavPanel_->Gather(c);
}

void DecoderWindow::ShowHelp() { OpenHelpPage(this, HelpPage()); }

void DecoderWindow::ShowAbout()
{
    ShowMessageBox(this, kProductCaption,
                   std::string(kProductName) + "\nVersion " + SIRREL_VERSION + "\nBuilt " + __DATE__, kBoxOk);
}

intptr_t DecoderWindow::HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second)
{
    // The instance owns the window: closing is its request, not the window's own destruction.
    if (message == kMsgClose) {
        if (onClose)
            onClose();
        return 0;
    }
    return Oru_Frame::HandleNativeMessage(message, first, second);
}

void DecoderWindow::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    for (const Group &group : kGroups) {
        const Rect &a = group.area;
        canvas.FrameRect({a.left, a.top + 7, a.right, a.bottom}, scheme.shadow);
        canvas.FrameRect({a.left + 1, a.top + 8, a.right + 1, a.bottom + 1}, scheme.light);
        FontFace *font = Font();
        const int32_t width = font ? font->TextWidth(group.caption) : 0;
        canvas.FillRect({a.left + 6, a.top, a.left + 10 + width, a.top + 16}, BackgroundColor());
        canvas.Text(font, a.left + 8, a.top, group.caption, scheme.text);
    }
}

void DecoderWindow::TimerTick(uint32_t id)
{
    if (id == kRefreshTimer)
        Refresh();
    else
        Oru_Frame::TimerTick(id);
}

} // namespace sirrel
