#include "fsk_modulator.h"

#include "keying.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sirrel::siggen {

FskModulator::FskModulator(double sampleRate, double toneForZero, double toneForOne, double peak)
    : step_{toneForZero / sampleRate, toneForOne / sampleRate}, peak_(peak)
{
}

void FskModulator::Render(int level, size_t count, double *out)
{
    if (level == kSilent) {
        std::fill(out, out + count, 0.0);
        return;
    }
    const double step = step_[level ? 1 : 0];
    for (size_t i = 0; i < count; ++i) {
        // The step into a sample is that sample's tone, so a tone starts exactly where its level starts.
        phase_ += step;
        // Kept within one cycle so that hours of signal lose no phase resolution.
        if (phase_ >= 1.0)
            phase_ -= 1.0;
        out[i] = peak_ * std::sin(2.0 * std::numbers::pi * phase_);
    }
}

} // namespace sirrel::siggen
