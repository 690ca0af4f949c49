#include "dsp/tuning_rules.h"

#include <algorithm>

#include "dsp/field_limit.h"

namespace sirrel {

namespace {

constexpr double kMinBitPeriod = 0.0005;

} // namespace

TonePair LockShift(TonePair tones, int32_t shift, bool lowerLeads)
{
    if (shift == 0)
        return tones;
    if (lowerLeads) {
        tones.high = tones.low + shift;
        if (tones.high > int32_t(kMaxTone)) {
            tones.high = int32_t(kMaxTone);
            tones.low = tones.high - shift;
        }
    } else {
        tones.low = tones.high - shift;
        if (tones.low < 0) {
            tones.low = 0;
            tones.high = shift;
        }
    }
    return tones;
}

TuningRules::TuningRules(SettingsModel &settings, SignalDisplay &spectrum, SignalDisplay &waterfall,
                         SignalDisplay &rawTiming, SignalDisplay &enhancedTiming)
    : settings_(settings), spectrum_(spectrum), waterfall_(waterfall), rawTiming_(rawTiming),
      enhancedTiming_(enhancedTiming)
{
}

int32_t TuningRules::SelectedShift() const
{
    const int32_t index = settings_.shiftIndex;
    return index >= 0 && index < int32_t(std::size(kShiftChoices)) ? kShiftChoices[index] : 0;
}

void TuningRules::SetToneMarkers(int32_t f0, int32_t f1)
{
    for (SignalDisplay *display : {&spectrum_, &waterfall_}) {
        display->SetMarker(0, f0);
        display->SetMarker(1, f1);
    }
}

void TuningRules::ToneMarkerMoved(SignalDisplay &display, int32_t which)
{
    const TonePair tones =
        LockShift({int32_t(display.Marker(0)), int32_t(display.Marker(1))}, SelectedShift(), which == 0);
    SetToneMarkers(tones.low, tones.high);
    if (!settings_.tuneAuto) {
        settings_.space = FieldLimit(waterfall_.Marker(0), 1.0, kMaxTone);
        settings_.mark = FieldLimit(waterfall_.Marker(1), 1.0, kMaxTone);
    }
}

void TuningRules::ShiftChanged() { ToneMarkerMoved(spectrum_, 0); }

void TuningRules::SpaceEdited(double hertz)
{
    settings_.space = FieldLimit(hertz, 1.0, kMaxTone);
    const int32_t typed = int32_t(settings_.space);
    const TonePair tones = LockShift({typed, int32_t(spectrum_.Marker(1))}, SelectedShift(), true);
    SetToneMarkers(tones.low, tones.high);
    settings_.mark = FieldLimit(waterfall_.Marker(1), 1.0, kMaxTone);
    // When the shift lock had to move the typed tone, the field shows where it went.
    if (tones.low != typed)
        settings_.space = FieldLimit(waterfall_.Marker(0), 1.0, kMaxTone);
}

void TuningRules::MarkEdited(double hertz)
{
    settings_.mark = FieldLimit(hertz, 1.0, kMaxTone);
    const int32_t typed = int32_t(settings_.mark);
    const TonePair tones = LockShift({int32_t(spectrum_.Marker(0)), typed}, SelectedShift(), false);
    SetToneMarkers(tones.low, tones.high);
    settings_.space = FieldLimit(waterfall_.Marker(0), 1.0, kMaxTone);
    if (tones.high != typed)
        settings_.mark = FieldLimit(waterfall_.Marker(1), 1.0, kMaxTone);
}

void TuningRules::BitTimingMarkerMoved(SignalDisplay &display, int32_t which)
{
    if (which == 1)
        display.SetTimeMarker(0, display.TimeMarker(1) / 2.0);
    else
        display.SetTimeMarker(1, display.TimeMarker(0) * 2.0);
    const double period = std::max(display.TimeMarker(0), kMinBitPeriod);
    const double m0 = enhancedTiming_.SetTimeMarker(0, period);
    const double m1 = enhancedTiming_.SetTimeMarker(1, 2.0 * period);
    rawTiming_.SetTimeMarker(0, m0);
    rawTiming_.SetTimeMarker(1, m1);
    settings_.baudrate = FieldLimit(1.0 / period, kMinBaud, kMaxBaud);
}

void TuningRules::BaudrateEdited(double baud)
{
    const double value = FieldLimit(baud, kMinBaud, kMaxBaud);
    rawTiming_.SetTimeMarker(0, 1.0 / value);
    BitTimingMarkerMoved(rawTiming_, 0);
    // The markers stop at the displays' width; the typed rate stands all the same.
    settings_.baudrate = value;
}

} // namespace sirrel
