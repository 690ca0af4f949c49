// Free functions on whole blocks: normalised autocorrelation, I/Q amplitude and instantaneous frequency.
#include <cmath>

#include "orurt.h"
#include "otherdsp_internal.h"

using namespace otherdsp;

void Correlate_Float_Float(const float *x, float *out, uint32_t n, uint32_t m)
{
    if (x == nullptr || out == nullptr || m == 0)
        return;
    float largest = 0.0f;
    for (uint32_t k = 0; k < m; ++k) {
        // Lag k sums j = 0 .. min(m, n - k - 1) - 1; lags at or beyond n - 1 have no terms.
        const int64_t terms = int64_t(n) - k - 1;
        const int64_t end = terms < int64_t(m) ? terms : int64_t(m);
        double sum = 0.0;
        for (int64_t j = 0; j < end; ++j)
            sum += double(x[j]) * double(x[j + k]);
        out[k] = float(std::fabs(sum));
        if (out[k] > largest)
            largest = out[k];
    }
    // An all-zero correlation stays zero rather than turning into NaN.
    if (largest == 0.0f)
        return;
    for (uint32_t k = 0; k < m; ++k)
        out[k] /= largest;
}

float ExtractAmplitude_16_Float(const int16_t *iq, float *out, uint32_t count)
{
    if (iq == nullptr || out == nullptr || count == 0)
        return 0.0f;
    float smallest = 0.0f;
    float largest = 0.0f;
    for (uint32_t k = 0; k < count; ++k) {
        const double i = iq[2 * size_t(k)];
        const double q = iq[2 * size_t(k) + 1];
        out[k] = float(std::sqrt(i * i + q * q));
        if (k == 0 || out[k] < smallest)
            smallest = out[k];
        if (k == 0 || out[k] > largest)
            largest = out[k];
    }
    // A silent block has no scale: it stays zero rather than turning into NaN.
    const float scale = smallest + largest;
    if (scale == 0.0f)
        return 0.0f;
    double sum = 0.0;
    for (uint32_t k = 0; k < count; ++k) {
        out[k] /= scale;
        sum += out[k];
    }
    return float(sum / count);
}

void ExtractFrequency_16_Float(const int16_t *iq, float *out, uint32_t count, float samplingRate)
{
    if (iq == nullptr || out == nullptr || count == 0)
        return;
    const double toHertz = double(samplingRate) / kTwoPi;
    double previousI = 0.0;
    double previousQ = 0.0;
    double sum = 0.0;
    for (uint32_t k = 0; k < count; ++k) {
        const double i = iq[2 * size_t(k)];
        const double q = iq[2 * size_t(k) + 1];
        const double power = i * i + q * q;
        out[k] = power == 0.0 ? 0.0f : float((previousQ * i - previousI * q) / power * toHertz);
        sum += out[k];
        previousI = i;
        previousQ = q;
    }
    const float mean = float(sum / count);
    for (uint32_t k = 0; k < count; ++k)
        out[k] -= mean;
}
