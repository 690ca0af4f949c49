// Automatic gain control. One gain follows TargetLevel / envelope: it falls at AttackRate and rises at
// ReleaseRate (shares of the error per sample). Mono forms smooth |x| with a one-pole follower; stereo forms
// treat the two channels as one complex signal and use its instantaneous magnitude.
#include <cmath>

#include "orurt.h"
#include "otherdsp_internal.h"

using namespace otherdsp;

namespace {

// One gain step toward target / level; returns the gain to apply.
double steerGain(OruAGC *agc, double level)
{
    double target = agc->TargetLevel / level;
    double rate = target <= agc->Gain ? agc->AttackRate : agc->ReleaseRate;
    agc->Gain += (target - agc->Gain) * rate;
    return agc->Gain;
}

int16_t scaled(int16_t, double value) { return roundToInt16(value); }
int32_t scaled(int32_t, double value) { return roundToInt32(value); }

template <typename Sample> void processMono(OruAGC *agc, Sample *samples, int32_t count, int32_t step)
{
    if (agc == nullptr || samples == nullptr || step < 1)
        return;
    const double a = std::exp(-kTwoPi * agc->EnvelopeCutOff / agc->SamplingRate);
    const double b = 1.0 - a;
    // Every step-th sample while the remaining count stays positive.
    for (int64_t i = 0; i < count; i += step) {
        double x = samples[i];
        agc->Envelope = a * agc->Envelope + b * std::fabs(x);
        if (agc->Envelope < 1.0)
            agc->Envelope = 1.0;
        samples[i] = scaled(Sample(), steerGain(agc, agc->Envelope) * x);
    }
}

template <typename Sample> void processStereo(OruAGC *agc, Sample *left, Sample *right, int32_t count)
{
    if (agc == nullptr || left == nullptr || right == nullptr)
        return;
    for (int32_t i = 0; i < count; ++i) {
        double l = left[i];
        double r = right[i];
        double magnitude = std::sqrt(l * l + r * r);
        agc->Envelope = magnitude < 1.0 ? 1.0 : magnitude;
        double gain = steerGain(agc, agc->Envelope);
        left[i] = scaled(Sample(), gain * l);
        right[i] = scaled(Sample(), gain * r);
    }
}

} // namespace

OruAGC *OruAGC_Construct(OruAGC *agc)
{
    agc = objectStorage(agc);
    if (agc == nullptr)
        return nullptr;
    agc->AttackRate = 0.0001;
    agc->ReleaseRate = 0.0001;
    agc->EnvelopeCutOff = 200.0;
    agc->TargetLevel = 30000.0;
    agc->SamplingRate = 44100.0;
    OruAGC_Reset(agc);
    return agc;
}

void OruAGC_Destruct(OruAGC *agc, uint32_t flags)
{
    if (agc != nullptr && (flags & 1) != 0)
        MemoryFree(agc);
}

void OruAGC_Reset(OruAGC *agc)
{
    if (agc == nullptr)
        return;
    agc->Gain = 1.0;
    agc->Envelope = 0.0;
}

void OruAGC_Process_Mono16(OruAGC *agc, int16_t *samples, int32_t count, int32_t step)
{
    processMono(agc, samples, count, step);
}

void OruAGC_Process_Mono32(OruAGC *agc, int32_t *samples, int32_t count, int32_t step)
{
    processMono(agc, samples, count, step);
}

void OruAGC_ProcessBuffer_Mono32(OruAGC *agc, int32_t *samples, int32_t count, int32_t step)
{
    processMono(agc, samples, count, step);
}

void OruAGC_Process_Stereo16(OruAGC *agc, int16_t *left, int16_t *right, int32_t count)
{
    processStereo(agc, left, right, count);
}

void OruAGC_Process_Stereo32(OruAGC *agc, int32_t *left, int32_t *right, int32_t count)
{
    processStereo(agc, left, right, count);
}
