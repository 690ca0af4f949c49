#include "dsp/weak_signal_demodulator.h"

#include <algorithm>
#include <cmath>

#include "dsp/avx2_clones.h"

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
// Samples per stretch of the passes in ProcessStretch: their buffers stay in the first-level cache.
constexpr uint32_t kStretch = 256;

// The values of one stretch between the passes.
struct Passes {
    double re[2][kStretch];
    double im[2][kStretch];
    double envelope[2][kStretch];
    double level[2][kStretch];
    double floor[2][kStretch];
    double difference[kStretch];
};

// Puts each value into its ring of history from head on, in the ring's type, and leaves in its place the value
// less the one it replaces; the rings share their length and position, which wraps as often as needed. Always
// inlined, so that it is compiled for the instruction set of its caller.
template <typename Slot, size_t kRings>
[[gnu::always_inline]] inline void Exchange(Slot *const (&rings)[kRings], double *const (&values)[kRings],
                                            int32_t length, int32_t head, uint32_t count)
{
    for (uint32_t i = 0; i < count;) {
        const uint32_t run = std::min(count - i, uint32_t(length - head));
        for (size_t r = 0; r < kRings; ++r) {
            Slot *slots = rings[r] + head;
            double *runValues = values[r] + i;
            for (uint32_t j = 0; j < run; ++j) {
                const Slot oldest = slots[j];
                slots[j] = Slot(runValues[j]);
                runValues[j] -= double(oldest);
            }
        }
        i += run;
        head = (head + int32_t(run)) % length;
    }
}

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
    if (integration == length_ && smoothing == smoothLength_ && !tones_[0].ringRe.empty())
        return;
    length_ = integration;
    smoothLength_ = smoothing;
    Restart();
}

void WeakSignalDemodulator::Restart()
{
    for (Tone &tone : tones_) {
        tone.ringRe.assign(size_t(length_), 0.0f);
        tone.ringIm.assign(size_t(length_), 0.0f);
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
        double re = 0.0;
        double im = 0.0;
        for (size_t i = 0; i < tone.ringRe.size(); ++i) {
            re += double(tone.ringRe[i]);
            im += double(tone.ringIm[i]);
        }
        tone.sum = {re, im};
    }
    smoothSum_ = 0.0;
    for (double value : smoothRing_)
        smoothSum_ += value;
}

// The work of each sample in passes over the stretch: the serial chains (oscillators, running sums, tracked
// levels, moving average) are kept apart from the arithmetic that the compiler can vectorise, with AVX2 where
// the processor has it.
SIRREL_AVX2_CLONES void WeakSignalDemodulator::ProcessStretch(const int16_t *samples, uint32_t count, int16_t *soft,
                                                              int16_t *bits)
{
    Passes p;
    std::complex<double> phasor[2] = {tones_[0].phasor, tones_[1].phasor};
    for (uint32_t i = 0; i < count; ++i) {
        for (int k = 0; k < 2; ++k) {
            p.re[k][i] = phasor[k].real();
            p.im[k][i] = phasor[k].imag();
            phasor[k] *= tones_[k].step;
        }
    }
    for (int k = 0; k < 2; ++k) {
        tones_[k].phasor = phasor[k];
        for (uint32_t i = 0; i < count; ++i) {
            const double x = samples[i];
            p.re[k][i] *= x;
            p.im[k][i] *= -x;
        }
    }

    // Each tone summed over its last integration length. The sum takes each product as it is and gives back
    // the float that the ring kept of it; the periodic recomputation bounds what this leaves behind.
    Exchange({tones_[0].ringRe.data(), tones_[0].ringIm.data(), tones_[1].ringRe.data(), tones_[1].ringIm.data()},
             {p.re[0], p.im[0], p.re[1], p.im[1]}, length_, head_, count);
    head_ = int32_t((uint32_t(head_) + count) % uint32_t(length_));
    double sums[4] = {tones_[0].sum.real(), tones_[0].sum.imag(), tones_[1].sum.real(), tones_[1].sum.imag()};
    for (uint32_t i = 0; i < count; ++i) {
        p.re[0][i] = sums[0] += p.re[0][i];
        p.im[0][i] = sums[1] += p.im[0][i];
        p.re[1][i] = sums[2] += p.re[1][i];
        p.im[1][i] = sums[3] += p.im[1][i];
    }
    tones_[0].sum = {sums[0], sums[1]};
    tones_[1].sum = {sums[2], sums[3]};
    const double scale = 1.0 / length_;
    for (int k = 0; k < 2; ++k) {
        for (uint32_t i = 0; i < count; ++i) {
            // Not std::abs: its overflow-safe hypot costs more than the rest of the sample's work.
            p.envelope[k][i] = std::sqrt(p.re[k][i] * p.re[k][i] + p.im[k][i] * p.im[k][i]) * scale;
        }
    }

    // The winner's envelope is its on level, the loser's its floor. A follow factor of zero leaves a value as
    // it is, so each sample updates all four without a branch that noise makes unpredictable.
    const double follow = 1.0 / (kTrackLengths * length_);
    double level[2] = {tones_[0].level, tones_[1].level};
    double floor[2] = {tones_[0].floor, tones_[1].floor};
    for (uint32_t i = 0; i < count; ++i) {
        const double e0 = p.envelope[0][i];
        const double e1 = p.envelope[1][i];
        const bool lowWins = e0 >= e1;
        const double winnerFollow = lowWins ? follow : 0.0;
        const double loserFollow = lowWins ? 0.0 : follow;
        level[0] += (e0 - level[0]) * winnerFollow;
        floor[1] += (e1 - floor[1]) * winnerFollow;
        level[1] += (e1 - level[1]) * loserFollow;
        floor[0] += (e0 - floor[0]) * loserFollow;
        for (int k = 0; k < 2; ++k) {
            p.level[k][i] = level[k];
            p.floor[k][i] = floor[k];
        }
    }
    for (int k = 0; k < 2; ++k) {
        tones_[k].level = level[k];
        tones_[k].floor = floor[k];
    }

    for (uint32_t i = 0; i < count; ++i) {
        const double e0 = p.envelope[0][i];
        const double e1 = p.envelope[1][i];
        const double spanLow = std::max(p.level[0][i] - p.floor[0][i], 0.0);
        const double spanHigh = std::max(p.level[1][i] - p.floor[1][i], 0.0);
        const double widest = std::max(std::max(spanLow, spanHigh), 1e-6);
        const double meanSpan = std::max(0.5 * (spanLow + spanHigh), 1e-6);
        const double corrected = (e0 - p.floor[0][i]) / std::max(spanLow, kMinSpanShare * widest) -
                                 (e1 - p.floor[1][i]) / std::max(spanHigh, kMinSpanShare * widest);
        const double plain = (1.0 - kCorrectedShare) * (e0 - e1) / meanSpan;
        // No difference at all (silence) decides nothing, whatever the tracked floors say.
        p.difference[i] = e0 == e1 ? 0.0 : kCorrectedShare * corrected + plain;
    }

    Exchange({smoothRing_.data()}, {p.difference}, smoothLength_, smoothHead_, count);
    smoothHead_ = int32_t((uint32_t(smoothHead_) + count) % uint32_t(smoothLength_));
    const double smoothScale = 1.0 / smoothLength_;
    double smoothSum = smoothSum_;
    int16_t lastBit = lastBit_;
    for (uint32_t i = 0; i < count; ++i) {
        smoothSum += p.difference[i];
        const double v = smoothSum * smoothScale;
        p.difference[i] = v;
        // What rounding leaves of a sum of zeros is no decision either.
        if (std::abs(v) > kNoDifference)
            lastBit = v > 0.0 ? 1 : 0;
        bits[i] = lastBit;
    }
    smoothSum_ = smoothSum;
    lastBit_ = lastBit;
    for (uint32_t i = 0; i < count; ++i)
        soft[i] = int16_t(std::clamp(p.difference[i] * kSoftScale, double(-INT16_MAX), double(INT16_MAX)));
}

void WeakSignalDemodulator::Process(const int16_t *samples, uint32_t count)
{
    if (tones_[0].ringRe.empty())
        Restart();
    if (soft_.size() < count) {
        soft_.resize(count);
        bits_.resize(count);
    }
    for (uint32_t done = 0; done < count;) {
        // A stretch ends where the oscillators are renormalised, so that this happens at the same samples
        // however the input is cut into blocks.
        const uint32_t untilRenormalise = uint32_t(kRenormaliseSamples - sinceRefresh_ % kRenormaliseSamples);
        const uint32_t stretch = std::min({count - done, kStretch, untilRenormalise});
        ProcessStretch(samples + done, stretch, soft_.data() + done, bits_.data() + done);
        done += stretch;
        // Keep the oscillators on the unit circle and the running sums exact.
        sinceRefresh_ += int32_t(stretch);
        if (sinceRefresh_ % kRenormaliseSamples == 0) {
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
