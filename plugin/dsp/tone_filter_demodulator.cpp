// ToneFilterDemodulator: table oscillators, 16-bit fixed-point mixing, tone filters, envelope threshold.
#include "dsp/tone_filter_demodulator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/discriminator_phase.h"

namespace sirrel {

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;
constexpr double kFast = 0.01;
constexpr double kSlow = 0.0002;
// In high-speed mode the envelope trackers hold while the filtered signal is below this part of its running
// level: as a signal ends or starts, the phase of the dying I/Q pair jumps to full scale and the fast attack
// would carry the threshold far off the centre for the next preamble.
constexpr double kHoldFraction = 1.0 / 16.0;
constexpr int32_t kDefaultBlockSize = 1024;
constexpr int32_t kDefaultTableLength = 11025;
// Keeps every buffer's byte size within what the allocator can give.
constexpr int32_t kMaxBlockSize = 1 << 24;

// Phase step of a tone in table entries, in 0 ... length - 1 for any frequency.
int32_t PhaseStep(int32_t frequency, int32_t length)
{
    const int32_t step = frequency % length;
    return step < 0 ? step + length : step;
}

// Truncated toward zero; values no tone can have (and NaN) are kept to a range the phase steps can take.
int32_t WholeHertz(double hertz)
{
    constexpr double kLimit = 1e6;
    if (!(hertz > -kLimit))
        return hertz < 0 ? -int32_t(kLimit) : 0;
    return int32_t(std::min(hertz, kLimit));
}

int16_t Mix(int16_t table, int16_t x) { return int16_t((int32_t(table) * x) >> 16); }

} // namespace

ToneFilterDemodulator::ToneFilterDemodulator()
{
    for (OruFIR *&filter : filters_) {
        filter = OruFIR1616_Construct(nullptr);
        OruFIR_FIRType(filter, ORU_FIR_LOWPASS);
    }
    SetTableLength(kDefaultTableLength);
    SetBlockSize(kDefaultBlockSize);
}

ToneFilterDemodulator::~ToneFilterDemodulator()
{
    for (OruFIR *filter : filters_)
        OruFIR_Destruct(filter, 1);
}

void ToneFilterDemodulator::SetBlockSize(int32_t samples)
{
    samples = std::clamp(samples, 1, kMaxBlockSize);
    if (samples == blockSize_ || !buffers_.Resize(uint32_t(samples) * kBufferCount))
        return;
    blockSize_ = samples;
    lastBlock_ = 0;
    for (OruFIR *filter : filters_)
        OruFIR_BufferSize(filter, samples);
}

void ToneFilterDemodulator::SetTableLength(int32_t length)
{
    length = std::max(length, 1);
    if (length == tableLength_)
        return;
    BuildTables(length);
}

void ToneFilterDemodulator::BuildTables(int32_t length)
{
    OruArray<int16_t> sine;
    OruArray<int16_t> cosine;
    if (!sine.Resize(uint32_t(length)) || !cosine.Resize(uint32_t(length)))
        return;
    for (int32_t i = 0; i < length; ++i) {
        const double angle = kTwoPi * i / length;
        sine[uint32_t(i)] = int16_t(-32767.0 * std::sin(angle));
        cosine[uint32_t(i)] = int16_t(32767.0 * std::cos(angle));
    }
    sine_.Swap(sine);
    cosine_.Swap(cosine);
    tableLength_ = length;
    lowPhase_ %= length;
    highPhase_ %= length;
}

void ToneFilterDemodulator::SetHighSpeed(bool on)
{
    highSpeed_ = on;
    OruFIR_FIRType(filters_[kPost], on ? ORU_FIR_AVERAGE : ORU_FIR_LOWPASS);
}

void ToneFilterDemodulator::SetOptimal(bool on)
{
    optimal_ = on;
    for (int f = kILow; f <= kQHigh; ++f)
        OruFIR_FIRType(filters_[f], on ? ORU_FIR_AVERAGE : ORU_FIR_LOWPASS);
}

void ToneFilterDemodulator::SetToneFilterTaps(int32_t taps)
{
    OruFIR_TapsNum(filters_[kILow], taps);
    const int32_t count = int32_t(filters_[kILow]->TapsNum);
    for (int f = kQLow; f <= kQHigh; ++f)
        OruFIR_TapsNum(filters_[f], count);
}

void ToneFilterDemodulator::SetPostFilterTaps(int32_t taps) { OruFIR_TapsNum(filters_[kPost], taps); }

void ToneFilterDemodulator::SetPostFilterCutOff(float hertz) { OruFIR_CutOffHigh(filters_[kPost], hertz); }

void ToneFilterDemodulator::SetTones(double space, double mark)
{
    int32_t low = WholeHertz(space);
    int32_t high = WholeHertz(mark);
    if (low == high)
        ++high;
    if (low > high)
        std::swap(low, high);
    lowFrequency_ = low;
    highFrequency_ = high;
    UpdateToneCutOff();
}

void ToneFilterDemodulator::UpdateToneCutOff()
{
    // The high-speed pair must pass both tones around the centre frequency.
    int32_t width = highFrequency_ - lowFrequency_;
    if (highSpeed_)
        width *= 3;
    toneCutOff_ = width / 2;
    for (int f = kILow; f <= kQHigh; ++f)
        OruFIR_CutOffHigh(filters_[f], float(toneCutOff_));
}

const int16_t *ToneFilterDemodulator::FilterInput(Filter which) const
{
    switch (which) {
    case kILow:
        return Buffer(kMixILow);
    case kQLow:
        return Buffer(kMixQLow);
    case kIHigh:
        return Buffer(kMixIHigh);
    case kQHigh:
        return Buffer(kMixQHigh);
    default:
        return Buffer(kPostInput);
    }
}

const int16_t *ToneFilterDemodulator::FilterOutput(Filter which) const
{
    if (which == kPost && optimal_ && !highSpeed_)
        return Buffer(kPostInput);
    return static_cast<const int16_t *>(filters_[which]->OutputBuffer);
}

void ToneFilterDemodulator::Track(int16_t value, int16_t *threshold)
{
    const double d = value;
    upper_ = d <= upper_ ? upper_ * (1.0 - kSlow) + d * kSlow : upper_ * (1.0 - kFast) + d * kFast;
    lower_ = d >= lower_ ? lower_ * (1.0 - kSlow) + d * kSlow : lower_ * (1.0 - kFast) + d * kFast;
    *threshold = int16_t((upper_ + lower_) * 0.5);
}

void ToneFilterDemodulator::Process(const int16_t *samples, uint32_t count)
{
    if (!samples || !sine_.data() || !buffers_.data())
        return;
    while (count > 0) {
        const uint32_t n = std::min(count, uint32_t(blockSize_));
        if (highSpeed_)
            ProcessHighSpeed(samples, n);
        else
            ProcessNormal(samples, n);
        const int16_t *post = FilterOutput(kPost);
        const int16_t *threshold = Buffer(kThreshold);
        int16_t *bits = Buffer(kBits);
        for (uint32_t i = 0; i < n; ++i)
            bits[i] = threshold[i] < post[i] ? 1 : 0;
        lastBlock_ = n;
        samples += n;
        count -= n;
    }
}

void ToneFilterDemodulator::ProcessNormal(const int16_t *x, uint32_t n)
{
    const int16_t *a = sine_.data();
    const int16_t *b = cosine_.data();
    const int32_t length = tableLength_;
    const int32_t lowStep = PhaseStep(lowFrequency_, length);
    const int32_t highStep = PhaseStep(highFrequency_, length);
    int16_t *iLow = Buffer(kMixILow);
    int16_t *qLow = Buffer(kMixQLow);
    int16_t *iHigh = Buffer(kMixIHigh);
    int16_t *qHigh = Buffer(kMixQHigh);
    int32_t pl = lowPhase_;
    int32_t ph = highPhase_;
    for (uint32_t i = 0; i < n; ++i) {
        iLow[i] = Mix(b[pl], x[i]);
        qLow[i] = Mix(a[pl], x[i]);
        iHigh[i] = Mix(b[ph], x[i]);
        qHigh[i] = Mix(a[ph], x[i]);
        pl += lowStep;
        if (pl >= length)
            pl -= length;
        ph += highStep;
        if (ph >= length)
            ph -= length;
    }
    lowPhase_ = pl;
    highPhase_ = ph;

    for (int f = kILow; f <= kQHigh; ++f)
        OruFIR1616_Process_16_16(filters_[f], nullptr, FilterInput(Filter(f)), int32_t(n), 1, 1);
    int16_t *lowMagnitude = Buffer(kLowMagnitude);
    int16_t *highMagnitude = Buffer(kHighMagnitude);
    ComputeIQModule_I16(FilterOutput(kILow), FilterOutput(kQLow), lowMagnitude, n);
    ComputeIQModule_I16(FilterOutput(kIHigh), FilterOutput(kQHigh), highMagnitude, n);

    int16_t *postInput = Buffer(kPostInput);
    int16_t *threshold = Buffer(kThreshold);
    for (uint32_t i = 0; i < n; ++i) {
        postInput[i] = int16_t(lowMagnitude[i] - highMagnitude[i]);
        Track(postInput[i], &threshold[i]);
    }
    if (!optimal_)
        OruFIR1616_Process_16_16(filters_[kPost], nullptr, postInput, int32_t(n), 1, 1);
}

void ToneFilterDemodulator::ProcessHighSpeed(const int16_t *x, uint32_t n)
{
    const int16_t *a = sine_.data();
    const int16_t *b = cosine_.data();
    const int32_t length = tableLength_;
    const int32_t step = PhaseStep((lowFrequency_ + highFrequency_) / 2, length);
    int16_t *iLow = Buffer(kMixILow);
    int16_t *qLow = Buffer(kMixQLow);
    int32_t pl = lowPhase_;
    for (uint32_t i = 0; i < n; ++i) {
        iLow[i] = Mix(b[pl], x[i]);
        qLow[i] = Mix(a[pl], x[i]);
        pl += step;
        if (pl >= length)
            pl -= length;
    }
    lowPhase_ = pl;

    OruFIR1616_Process_16_16(filters_[kILow], nullptr, iLow, int32_t(n), 1, 1);
    OruFIR1616_Process_16_16(filters_[kQLow], nullptr, qLow, int32_t(n), 1, 1);
    const int16_t *iOut = FilterOutput(kILow);
    const int16_t *qOut = FilterOutput(kQLow);
    int16_t *postInput = Buffer(kPostInput);
    int16_t *magnitude = Buffer(kLowMagnitude);
    ComputeIQModule_I16(iOut, qOut, magnitude, n);
    for (uint32_t i = 0; i < n; ++i) {
        const int64_t re = int64_t(previousI_) * iOut[i] + int64_t(previousQ_) * qOut[i];
        const int64_t im = int64_t(qOut[i]) * previousI_ - int64_t(previousQ_) * iOut[i];
        postInput[i] = DiscriminatorPhase(re, im);
        previousI_ = iOut[i];
        previousQ_ = qOut[i];
    }
    OruFIR1616_Process_16_16(filters_[kPost], nullptr, postInput, int32_t(n), 1, 1);
    int16_t *threshold = Buffer(kThreshold);
    for (uint32_t i = 0; i < n; ++i) {
        // The step spans this sample and the one before, so both must carry the signal.
        const double weakest = std::min(magnitude[i], previousMagnitude_);
        const bool hold = weakest < magnitudeLevel_ * kHoldFraction;
        const double m = magnitude[i];
        magnitudeLevel_ = m > magnitudeLevel_ ? magnitudeLevel_ * (1.0 - kFast) + m * kFast
                                              : magnitudeLevel_ * (1.0 - kSlow) + m * kSlow;
        previousMagnitude_ = magnitude[i];
        if (hold)
            threshold[i] = int16_t((upper_ + lower_) * 0.5);
        else
            Track(postInput[i], &threshold[i]);
    }
}

} // namespace sirrel
