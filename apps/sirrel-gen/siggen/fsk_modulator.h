// FskModulator: continuous-phase binary FSK. The phase runs on across every change of tone, so a level change
// moves the frequency but never makes the waveform jump.
#pragma once

#include <cstddef>

namespace sirrel::siggen {

class FskModulator {
public:
    // Tones in hertz, below half the sample rate; peak in sample units.
    FskModulator(double sampleRate, double toneForZero, double toneForOne, double peak);

    // Writes count samples of the tone of the level, continuing the phase; zeros for kSilent.
    void Render(int level, size_t count, double *out);

private:
    double step_[2]; // cycles per sample of each level's tone
    double peak_;
    double phase_ = 0.0; // cycles, 0 <= phase < 1
};

} // namespace sirrel::siggen
