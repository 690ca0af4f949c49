// Two-pole band-pass tone detector. The filter is the complement of the notch with the same r and c, so its
// gain is 1 at Frequency; the sums of |x| and |y| let the caller judge tone presence by their ratio.
#include <cmath>

#include "orurt.h"
#include "otherdsp_internal.h"

using namespace otherdsp;

namespace {

template <typename Sample> void process(OruToneDetector *t, const Sample *in, int32_t count, int32_t step)
{
    if (t == nullptr || in == nullptr || count < 1 || step < 1)
        return;
    // At least one sample, even when count is below step.
    int32_t n = count / step > 0 ? count / step : 1;
    for (int32_t i = 0; i < n; ++i) {
        double x = in[int64_t(i) * step];
        double y = t->A0 * x + t->A1 * t->X1 + t->A2 * t->X2 + t->B1 * t->Y1 + t->B2 * t->Y2;
        t->X2 = t->X1;
        t->X1 = x;
        t->Y2 = t->Y1;
        t->Y1 = y;
        t->InputLevel += std::fabs(x);
        t->OutputLevel += std::fabs(y);
    }
}

void setAndUpdate(OruToneDetector *t, double &field, double value)
{
    if (field == value)
        return;
    field = value;
    OruToneDetector_Update(t);
}

} // namespace

OruToneDetector *OruToneDetector_Construct(OruToneDetector *t)
{
    t = objectStorage(t);
    if (t == nullptr)
        return nullptr;
    t->SamplingRate = 44100.0;
    t->Frequency = 1000.0;
    t->Bandwidth = 10.0;
    OruToneDetector_Update(t);
    return t;
}

void OruToneDetector_Destruct(OruToneDetector *t, uint32_t flags)
{
    if (t != nullptr && (flags & 1) != 0)
        MemoryFree(t);
}

void OruToneDetector_Init(OruToneDetector *t)
{
    if (t == nullptr)
        return;
    t->InputLevel = 0.0;
    t->OutputLevel = 0.0;
}

void OruToneDetector_Update(OruToneDetector *t)
{
    if (t == nullptr)
        return;
    double r = 1.0 - 3.0 * t->Bandwidth / t->SamplingRate;
    double c = std::cos(kTwoPi * t->Frequency / t->SamplingRate);
    double k = (1.0 - 2.0 * r * c + r * r) / (2.0 - 2.0 * c);
    t->A0 = 1.0 - k;
    t->A1 = 2.0 * (k - r) * c;
    t->A2 = r * r - k;
    t->B1 = 2.0 * r * c;
    t->B2 = -r * r;
    t->X2 = t->X1 = t->Y1 = t->Y2 = 0.0;
    OruToneDetector_Init(t);
}

void OruToneDetector_Frequency(OruToneDetector *t, double hertz)
{
    if (t != nullptr)
        setAndUpdate(t, t->Frequency, hertz);
}

void OruToneDetector_Bandwidth(OruToneDetector *t, double hertz)
{
    if (t != nullptr)
        setAndUpdate(t, t->Bandwidth, hertz);
}

void OruToneDetector_SamplingRate(OruToneDetector *t, double hertz)
{
    if (t != nullptr)
        setAndUpdate(t, t->SamplingRate, hertz);
}

void OruToneDetector_Process_16(OruToneDetector *t, const int16_t *in, int32_t count, int32_t step)
{
    process(t, in, count, step);
}

void OruToneDetector_Process_double(OruToneDetector *t, const double *in, int32_t count, int32_t step)
{
    process(t, in, count, step);
}
