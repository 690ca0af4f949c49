// TuningRules: what happens when the tuning controls change. The two tone markers of the spectrum and the
// waterfall keep the selected shift apart, the "Space"/"Mark" fields follow the markers while tuning is manual,
// and the markers of the two bit-timing displays stay one and two bit periods from the start and set the
// "Baudrate" field. The signal chain applies the same rules when automatic tuning or the automatic bit rate
// moves a marker; a window's edits reach them through the engine, on the frame thread.
#pragma once

#include <cstdint>

#include "dsp/signal_display.h"
#include "protocols/settings_model.h"

namespace sirrel {

// The shifts behind the "Shift" choices "Any", "170Hz", "425Hz", "850Hz" (0: the markers move freely).
constexpr int32_t kShiftChoices[] = {0, 170, 425, 850};

constexpr double kMinTone = 200.0;
constexpr double kMaxTone = 3000.0;
constexpr double kMinBaud = 1.0;
constexpr double kMaxBaud = 2000.0;

// Two tones `shift` apart. With `lowerLeads` the lower tone stays where it is unless the upper would pass
// 3000 Hz; otherwise the upper stays unless the lower would fall below 0 Hz. A shift of 0 changes nothing.
struct TonePair {
    int32_t low;
    int32_t high;
};
TonePair LockShift(TonePair tones, int32_t shift, bool lowerLeads);

class TuningRules {
public:
    TuningRules(SettingsModel &settings, SignalDisplay &spectrum, SignalDisplay &waterfall, SignalDisplay &rawTiming,
                SignalDisplay &enhancedTiming);
    TuningRules(const TuningRules &) = delete;
    TuningRules &operator=(const TuningRules &) = delete;

    // The user's edits.
    void ShiftChanged();
    void SpaceEdited(double hertz);
    void MarkEdited(double hertz);
    void BaudrateEdited(double baud);

    // A tone marker (0 or 1) of the spectrum or the waterfall was moved.
    void ToneMarkerMoved(SignalDisplay &display, int32_t which);
    // A time marker (0 or 1) of a bit-timing display was moved.
    void BitTimingMarkerMoved(SignalDisplay &display, int32_t which);
    // Both tone displays show these tones.
    void SetToneMarkers(int32_t f0, int32_t f1);
    int32_t SelectedShift() const;

private:
    SettingsModel &settings_;
    SignalDisplay &spectrum_;
    SignalDisplay &waterfall_;
    SignalDisplay &rawTiming_;
    SignalDisplay &enhancedTiming_;
};

} // namespace sirrel
