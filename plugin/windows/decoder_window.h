// DecoderWindow: the receiver's main window. It shows the tuning displays and the controls the signal chain reads
// every frame, sends every change to the engine as an edit, and follows what the engine publishes (a protocol
// applied elsewhere, automatic tuning) without sending it back. The protocol list and the decoder mode panels
// live in the two areas it leaves free for them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/decoder_engine.h"
#include "protocols/data_folder.h"
#include "ui/controls.h"
#include "ui/frame.h"
#include "ui/lists.h"
#include "ui/numeric_field.h"
#include "ui/signal_display_view.h"
#include "windows/demodulator_dialog.h"
#include "windows/edit_mailbox.h"
#include "windows/mode_panels.h"
#include "windows/protocol_list_panel.h"
#include "windows/sound_card_panel.h"
#include "windows/translation_dialog.h"
#include "windows/wav_panel.h"
#include "windows/window_context.h"

namespace sirrel {

class DecoderWindow : public Oru_Frame {
public:
    static constexpr int32_t kLeft = 10;
    static constexpr int32_t kTop = 10;
    static constexpr int32_t kWidth = 700;
    // The specified 511 rows, and below them a strip for the "Input/Output WAV" panel and the sound card's
    // controls.
    static constexpr int32_t kHeight = 621;
    static constexpr uint32_t kRefreshTimer = 2;
    static constexpr uint32_t kRefreshMilliseconds = 100;
    // Where the protocol list with its four buttons goes, and the "Decoder" group with the mode panels.
    static constexpr Rect kProtocolListArea{478, 26, 692, 110};
    static constexpr Rect kModePanelsArea{478, 116, 692, 404};
    // The WAV panel takes the whole strip unless the receiver's audio comes from the sound card, whose controls
    // then take its right part.
    static constexpr Rect kWavPanelArea{10, 510, 692, 614};
    static constexpr Rect kWavPanelBesideSoundCard{10, 510, 340, 614};
    static constexpr Rect kSoundCardArea{350, 510, 692, 614};

    // The controls, for the window's own code and for tests that drive them.
    struct Controls {
        // The frame has no decorations of the desktop's: its own caption strip carries the close button.
        Oru_PushButton close;
        SignalDisplayView spectrum;
        SignalDisplayView waterfall;
        Oru_CheckBox invertColors;
        Oru_CheckBox bar;
        Oru_CheckBox linear;
        Oru_Label gainLabel;
        Oru_NumericField gain;
        Oru_RadioGroup tuning; // "Auto", "Manual"
        Oru_Label spaceLabel;
        Oru_NumericField space;
        Oru_Label spaceUnit;
        Oru_Label markLabel;
        Oru_NumericField mark;
        Oru_Label markUnit;
        Oru_Label shiftLabel;
        Oru_ComboBox shift;
        Oru_Label averagingLabel;
        Oru_NumericField averaging;

        SignalDisplayView rawTiming;
        SignalDisplayView enhancedTiming;
        Oru_RadioGroup baudMode; // "Automatic", "Manual"
        Oru_Label baudrateLabel;
        Oru_NumericField baudrate;

        // In the order of their exclusion: a later one found on wins.
        Oru_CheckBox highSpeed;
        Oru_CheckBox optimal;
        Oru_CheckBox correlative;
        Oru_CheckBox weakSignal;
        Oru_PushButton study;

        Oru_RadioGroup polarity;           // "Normal", "Reversed", "Auto"
        std::array<Oru_Label, 8> maskBits; // the bit number above each box
        std::array<Oru_CheckBox, 8> mask;

        Oru_Label tableLabel;
        Oru_ComboBox table;
        Oru_Label cpu;
        Oru_PushButton help;
        Oru_PushButton about;
    };

    explicit DecoderWindow(WindowContext &context);
    ~DecoderWindow() override;

    // Construction: the hidden frame at 10, 10 with the title, then (once the configuration block is read) the
    // position it holds and every control from it, then shown.
    bool CreateWindow(const std::string &title);
    void BuildControls();
    void ShowWindow();

    // The window position, the display options, the protocol list's text, the mode panels and the Demodulator
    // dialog into the configuration block. What the other controls show is the engine's settings, which
    // Configuration::GatherFrom takes.
    void Gather(Configuration &configuration) const;
    // Sets the controls from what the engine published, without sending anything back.
    void Follow(const SettingsModel &settings);
    // Takes what the engine published since the last look, and shows what edits reported; the refresh timer
    // calls it.
    void Refresh();
    // A receiver that records from the sound card shows its controls in kSoundCardArea.
    void ShowSoundCard(SoundCardControls controls);
    SoundCardPanel *SoundCard() { return soundCard_.get(); }

    // "Study" shows and hides the Demodulator dialog; the caption button or a close message asks to close;
    // the instance closes the window's dialogs before it gathers their state.
    std::function<void()> onStudy;
    std::function<void()> onClose;
    std::function<void()> closeDialogs;
    // What the "Input/Output WAV" panel drives; set before BuildControls, which builds the panel when it plays.
    WavDeck wavDeck;
    WavPanel *Wav() { return wavPanel_.get(); }
    // Shows the "Character translation tables" dialog (the "Data Output" window's "Translation table").
    void ShowTranslationTables();
    // The "Translation table" list takes the tables' names and selects the one in force.
    void SetTableNames(const std::vector<std::string> &names);
    TranslationDialog *Translation() { return translationDialog_.get(); }

    Controls &Parts() { return parts_; }
    const Controls &Parts() const { return parts_; }
    // The page "Help" opens: the data folder's own copy, else the one installed with the plug-in.
    std::string HelpPage() const { return sirrel::HelpPage(DataPathsIn(context_.dataFolder), "Decoder.html"); }

    intptr_t HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second) override;
    void PaintContent(Canvas &canvas) override;
    void TimerTick(uint32_t id) override;

private:
    void BuildFrequencies();
    void BuildBaudrate();
    void BuildDemodulator();
    void BuildDecoderControls();
    void WireDisplays();
    void Post(SettingsEdit edit) { context_.engine.Post(std::move(edit)); }

    void SpectrumOptionsChanged();
    void DemodulatorChanged(Oru_Window &control);
    void ShowHelp();
    void ShowAbout();

    WindowContext &context_;
    Controls parts_;
    // What edits that ran on the frame thread have to tell the user.
    std::shared_ptr<EditMailbox<std::string>> reports_ = std::make_shared<EditMailbox<std::string>>();
    std::unique_ptr<ProtocolListPanel> protocolList_;
    std::unique_ptr<ModePanels> modePanels_;
    std::unique_ptr<DemodulatorDialog> demodulatorDialog_;
    std::unique_ptr<TranslationDialog> translationDialog_;
    std::unique_ptr<WavPanel> wavPanel_;
    std::unique_ptr<SoundCardPanel> soundCard_;
    uint64_t seenSettings_ = 0;
    uint64_t seenTones_ = 0;
    uint64_t seenBaudrate_ = 0;
};

// The demodulator the four radios leave on when several are on: examined in the order High speed, Optimal,
// Correlative, Weak signal, each found on clears the others, so the last one on wins.
DemodulatorChoice ExclusiveDemodulator(bool highSpeed, bool optimal, bool correlative, bool weakSignal);

// "Polarity" list positions ("Normal", "Reversed", "Auto") and the stored values (0 "Auto", 1 "Normal",
// 2 "Reversed").
int32_t PolarityToPosition(int32_t polarity);
int32_t PositionToPolarity(int32_t position);

} // namespace sirrel
