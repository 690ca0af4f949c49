// Bit synchroniser in two forms.
// DPLL: a countdown to the next sampling instant, re-aimed at every transition so that sampling drifts toward
// the middle between transitions by the loop gain; each instant delivers one bit. Time since the last bit is
// kept with its fraction, measured from the sampling instant itself.
// Slicer: the masked input is differentiated and smoothed over three differences; trackers hold the extremes
// of that signal and a hysteresis slicer switching at half of them rebuilds the level from its edges. Each
// switch delivers the run that ended as a number of bits of one value.
#include <cmath>

#include "orurt.h"
#include "otherdsp_internal.h"

using namespace otherdsp;

namespace {

// Tracker and smoothed-difference values carry 8 fraction bits so that small inputs (a single masked bit)
// survive the three-sample average and the trackers keep relaxing.
constexpr int32_t kFractionScale = 256;

void deliver(OruDataFormatter2 *f, int32_t bits, int32_t value)
{
    if (f->Callback != nullptr)
        f->Callback(f->UserData, f, bits, value);
}

template <typename Sample> void dpll(OruDataFormatter2 *f, const Sample *in, int32_t count, int32_t step)
{
    if (f == nullptr || in == nullptr)
        return;
    const int32_t n = stridedCount(count, step);
    const double period = f->SamplingRate / f->BitRate;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t x = in[int64_t(i) * step];
        const int32_t last = f->LastSample;
        f->LastSample = x;
        f->SinceLastBit += 1.0;
        f->NextBit -= 1.0;
        if ((x < 0) != (last < 0) || (x == 0 && last != 0)) {
            const double s = f->SinceLastBit;
            f->NextBit = period - s + f->LoopGain * (s - period / 2.0);
        }
        if (f->NextBit <= 0.0) {
            // The instant fell -NextBit samples ago. Counting from there, not from this sample, keeps the
            // fraction: with a whole number of samples per bit the loop could not pull in otherwise.
            f->SinceLastBit = -f->NextBit;
            f->NextBit += period;
            deliver(f, 1, x >= 0 ? 1 : 0);
        }
    }
}

// One relaxation step of a tracker toward 0.
int32_t relax(int32_t tracker, double rate) { return tracker - int32_t(double(tracker) * rate); }

} // namespace

OruDataFormatter2 *OruDataFormatter2_Construct(OruDataFormatter2 *f)
{
    f = objectStorage(f);
    if (f == nullptr)
        return nullptr;
    f->Callback = nullptr;
    f->UserData = nullptr;
    f->BitRate = 1000.0;
    f->LoopGain = 0.01;
    f->TrackingRate = 0.0008;
    f->SamplingRate = 44100.0;
    OruDataFormatter2_Init(f);
    return f;
}

void OruDataFormatter2_Destruct(OruDataFormatter2 *f, uint32_t flags)
{
    if (f != nullptr && (flags & 1) != 0)
        MemoryFree(f);
}

void OruDataFormatter2_Init(OruDataFormatter2 *f)
{
    if (f == nullptr)
        return;
    f->SinceLastBit = 0.0;
    f->NextBit = 0.0;
    f->LastSample = 0;
    f->Minimum = 0;
    f->Maximum = 0;
    f->SlicerLevel = 0;
    f->SlicerState = -1;
    f->Position = 0;
    f->LastTransition = 0;
    f->Differences[0] = f->Differences[1] = f->Differences[2] = 0;
}

void OruDataFormatter2_DPLL_16(OruDataFormatter2 *f, const int16_t *in, int32_t count, int32_t step)
{
    dpll(f, in, count, step);
}

void OruDataFormatter2_DPLL_32(OruDataFormatter2 *f, const int32_t *in, int32_t count, int32_t step)
{
    dpll(f, in, count, step);
}

void OruDataFormatter2_Process_16(OruDataFormatter2 *f, const int16_t *in, int32_t mask, int32_t count,
                                  int32_t step)
{
    if (f == nullptr || in == nullptr)
        return;
    const int32_t n = stridedCount(count, step);
    const double period = f->SamplingRate / f->BitRate;
    for (int32_t i = 0; i < n; ++i) {
        // Masked as a 16-bit word, so a mask that keeps bit 15 keeps the sign.
        const int32_t x = int16_t(in[int64_t(i) * step] & mask);
        f->Differences[2] = f->Differences[1];
        f->Differences[1] = f->Differences[0];
        f->Differences[0] = x - f->LastSample;
        f->LastSample = x;
        const int32_t level = (f->Differences[0] + f->Differences[1] + f->Differences[2]) * kFractionScale / 3;
        f->SlicerLevel = level;
        f->Maximum = level > f->Maximum ? level : relax(f->Maximum, f->TrackingRate);
        f->Minimum = level < f->Minimum ? level : relax(f->Minimum, f->TrackingRate);

        int32_t state = f->SlicerState;
        if (state != 1 && level > f->Maximum / 2)
            state = 1;
        else if (state != 0 && level < f->Minimum / 2)
            state = 0;
        if (state != f->SlicerState) {
            // The level before the first switch is unknown, so that run is not reported.
            if (f->SlicerState >= 0 && period > 0.0) {
                double bits = std::floor(double(f->Position - f->LastTransition) / period + 0.5);
                if (bits >= 1.0)
                    deliver(f, bits > 2147483647.0 ? INT32_MAX : int32_t(bits), f->SlicerState);
            }
            f->SlicerState = state;
            f->LastTransition = f->Position;
        }
        ++f->Position;
    }
}
