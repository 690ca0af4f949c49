#include "dsp/weak_signal_demodulator.h"

#include <algorithm>
#include <cmath>

namespace sirrel {

namespace {

// The envelope levels follow over about this many integration lengths: slow enough that noise on single bits
// does not move them much, fast enough for HF fading of a few tenths of a hertz.
constexpr double kTrackLengths = 12.0;
// A tone's span (on level less floor) counts as at least this share of the wider span: a tone that has faded
// away entirely must not blow its noise up into full-scale decisions.
constexpr double kMinSpanShare = 0.25;
// Share of the level-corrected difference in the soft value (measured: the plain difference is best in white
// noise, the corrected one when one tone fades).
constexpr double kCorrectedShare = 0.5;
constexpr int32_t kRefreshSamples = 1 << 16;
constexpr int32_t kRenormaliseSamples = 1 << 10;
constexpr double kNoDifference = 1e-9;

} // namespace

void WeakSignalDemodulator::Tune(Tone &tone, double frequency, uint32_t rate)
{
    tone.frequency = frequency;
    tone.step = std::polar(1.0, rate ? 2.0 * M_PI * frequency / rate : 0.0);
}

void WeakSignalDemodulator::SetRate(uint32_t rate)
{
    if (rate == rate_)
        return;
    rate_ = rate;
    for (Tone &tone : tones_)
        Tune(tone, tone.frequency, rate_);
}

void WeakSignalDemodulator::SetTones(double space, double mark)
{
    const double low = std::min(space, mark);
    const double high = std::max(space, mark);
    if (low == tones_[0].frequency && high == tones_[1].frequency)
        return;
    // The running sums keep their phase: a retune by a few hertz leaves no step in the envelopes.
    Tune(tones_[0], low, rate_);
    Tune(tones_[1], high, rate_);
}

void WeakSignalDemodulator::SetLengths(int32_t integration, int32_t smoothing)
{
    integration = std::max(integration, 1);
    smoothing = std::max(smoothing, 1);
    if (integration == length_ && smoothing == smoothLength_ && !tones_[0].ring.empty())
        return;
    length_ = integration;
    smoothLength_ = smoothing;
    Restart();
}

void WeakSignalDemodulator::Restart()
{
    for (Tone &tone : tones_) {
        tone.ring.assign(size_t(length_), {0.0f, 0.0f});
        tone.sum = {0.0, 0.0};
    }
    head_ = 0;
    smoothRing_.assign(size_t(smoothLength_), 0.0);
    smoothSum_ = 0.0;
    smoothHead_ = 0;
    sinceRefresh_ = 0;
}

void WeakSignalDemodulator::Refresh()
{
    for (Tone &tone : tones_) {
        std::complex<double> sum{0.0, 0.0};
        for (const std::complex<float> &value : tone.ring)
            sum += std::complex<double>(value);
        tone.sum = sum;
    }
    smoothSum_ = 0.0;
    for (double value : smoothRing_)
        smoothSum_ += value;
}

void WeakSignalDemodulator::Process(const int16_t *samples, uint32_t count)
{
    if (tones_[0].ring.empty())
        Restart();
    if (soft_.size() < count) {
        soft_.resize(count);
        bits_.resize(count);
    }
    const double follow = 1.0 / (kTrackLengths * length_);
    const double scale = 1.0 / length_;
    const double smoothScale = 1.0 / smoothLength_;
    Tone &low = tones_[0];
    Tone &high = tones_[1];
    for (uint32_t i = 0; i < count; ++i) {
        const double x = samples[i];
        double e[2];
        for (int k = 0; k < 2; ++k) {
            Tone &t = tones_[k];
            const std::complex<float> mixed(float(x * t.phasor.real()), float(-x * t.phasor.imag()));
            t.phasor *= t.step;
            std::complex<float> &slot = t.ring[size_t(head_)];
            t.sum += std::complex<double>(mixed) - std::complex<double>(slot);
            slot = mixed;
            // Not std::abs: its overflow-safe hypot costs more than the rest of the sample's work.
            e[k] = std::sqrt(t.sum.real() * t.sum.real() + t.sum.imag() * t.sum.imag()) * scale;
        }
        if (++head_ == length_)
            head_ = 0;

        // The winner's envelope is its on level, the loser's its floor.
        const bool lowWins = e[0] >= e[1];
        Tone &winner = lowWins ? low : high;
        Tone &loser = lowWins ? high : low;
        winner.level += (std::max(e[0], e[1]) - winner.level) * follow;
        loser.floor += (std::min(e[0], e[1]) - loser.floor) * follow;

        const double spanLow = std::max(low.level - low.floor, 0.0);
        const double spanHigh = std::max(high.level - high.floor, 0.0);
        const double widest = std::max({spanLow, spanHigh, 1e-6});
        const double meanSpan = std::max(0.5 * (spanLow + spanHigh), 1e-6);
        const double corrected = (e[0] - low.floor) / std::max(spanLow, kMinSpanShare * widest) -
                                 (e[1] - high.floor) / std::max(spanHigh, kMinSpanShare * widest);
        // No difference at all (silence) decides nothing, whatever the tracked floors say.
        const double d =
            e[0] == e[1] ? 0.0 : kCorrectedShare * corrected + (1.0 - kCorrectedShare) * (e[0] - e[1]) / meanSpan;

        double &oldest = smoothRing_[size_t(smoothHead_)];
        smoothSum_ += d - oldest;
        oldest = d;
        if (++smoothHead_ == smoothLength_)
            smoothHead_ = 0;
        const double v = smoothSum_ * smoothScale;

        soft_[i] = int16_t(std::clamp(v * kSoftScale, double(-INT16_MAX), double(INT16_MAX)));
        // What rounding leaves of a sum of zeros is no decision either.
        if (std::abs(v) > kNoDifference)
            lastBit_ = v > 0.0 ? 1 : 0;
        bits_[i] = lastBit_;

        // Keep the oscillators on the unit circle and the running sums exact, at the same samples however
        // the input is cut into blocks.
        if (++sinceRefresh_ % kRenormaliseSamples == 0) {
            for (Tone &tone : tones_)
                tone.phasor /= std::abs(tone.phasor);
        }
        if (sinceRefresh_ == kRefreshSamples) {
            sinceRefresh_ = 0;
            Refresh();
        }
    }
}

} // namespace sirrel
