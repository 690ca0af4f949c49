// Second-order IIR notch, in place. Zeros on the unit circle at Frequency, poles at radius r just inside,
// scaled by K for unity gain at 0 Hz. The coefficients come from the fields at every call.
#include <cmath>

#include "orurt.h"
#include "otherdsp_internal.h"

using namespace otherdsp;

OruNotchFilter2 *OruNotchFilter2_Construct(OruNotchFilter2 *notch)
{
    notch = objectStorage(notch);
    if (notch == nullptr)
        return nullptr;
    notch->SamplingRate = 11025.0f;
    notch->Frequency = 3000.0f;
    notch->Bandwidth = 200.0f;
    notch->X1 = notch->X2 = notch->Y1 = notch->Y2 = 0.0f;
    return notch;
}

void OruNotchFilter2_Destruct(OruNotchFilter2 *notch, uint32_t flags)
{
    if (notch != nullptr && (flags & 1) != 0)
        MemoryFree(notch);
}

void OruNotchFilter2_Process16(OruNotchFilter2 *notch, int16_t *samples, int32_t count)
{
    if (notch == nullptr || samples == nullptr || count < 1)
        return;
    const double fs = notch->SamplingRate;
    const double r = 1.0 - 3.0 * double(notch->Bandwidth) / fs;
    const double c = std::cos(kTwoPi * double(notch->Frequency) / fs);
    const double k = (1.0 - 2.0 * r * c + r * r) / (2.0 - 2.0 * c);
    double x1 = notch->X1, x2 = notch->X2, y1 = notch->Y1, y2 = notch->Y2;
    for (int32_t i = 0; i < count; ++i) {
        double x = samples[i];
        double y = k * x - 2.0 * k * c * x1 + k * x2 + 2.0 * r * c * y1 - r * r * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        // The state keeps the width of its fields, so block boundaries do not change the result.
        y1 = float(y);
        samples[i] = roundToInt16(y);
    }
    notch->X1 = float(x1);
    notch->X2 = float(x2);
    notch->Y1 = float(y1);
    notch->Y2 = float(y2);
}
