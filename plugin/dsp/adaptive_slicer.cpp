#include "dsp/adaptive_slicer.h"

#include <algorithm>
#include <cmath>

namespace sirrel {

namespace {

// Samples per pass: the middles of one stretch wait in a buffer on the stack.
constexpr uint32_t kStretch = 256;

// The envelopes are whole numbers kept in doubles, so that the serial chain of each is a multiply, an add, a
// choice and a truncation, without a conversion from an integer each sample. The arithmetic is the same as on
// integers converted each sample: the products and sums of the same doubles.
template <typename Truncate>
[[gnu::always_inline]] inline void FollowEnvelopes(const int16_t *values, uint32_t count, double &upperEnvelope,
                                                   double &lowerEnvelope, int32_t *middles, Truncate truncate)
{
    double upper = upperEnvelope;
    double lower = lowerEnvelope;
    for (uint32_t i = 0; i < count; ++i) {
        const double v = values[i];
        const double fast = v * 0.01;
        const double slow = v * 0.0002;
        const double upperAttack = upper * 0.99 + fast;
        const double upperDecay = upper * 0.9998 + slow;
        const double lowerAttack = lower * 0.99 + fast;
        const double lowerDecay = lower * 0.9998 + slow;
        upper = truncate(v > upper ? upperAttack : upperDecay);
        lower = truncate(v < lower ? lowerAttack : lowerDecay);
        middles[i] = (int32_t(upper) + int32_t(lower)) / 2;
    }
    upperEnvelope = upper;
    lowerEnvelope = lower;
}

void FollowEnvelopesConverting(const int16_t *values, uint32_t count, double &upper, double &lower, int32_t *middles)
{
    FollowEnvelopes(values, count, upper, lower, middles, [](double x) { return double(int32_t(x)); });
}

#if defined(__x86_64__) || defined(__i386__)
// With SSE4.1 a truncation is one rounding instruction instead of a round trip through an integer register.
[[gnu::target("sse4.1")]] void FollowEnvelopesRounding(const int16_t *values, uint32_t count, double &upper,
                                                       double &lower, int32_t *middles)
{
    FollowEnvelopes(values, count, upper, lower, middles, [](double x) { return std::trunc(x); });
}

void FollowEnvelopesFastest(const int16_t *values, uint32_t count, double &upper, double &lower, int32_t *middles)
{
    static const bool rounding = __builtin_cpu_supports("sse4.1");
    if (rounding)
        FollowEnvelopesRounding(values, count, upper, lower, middles);
    else
        FollowEnvelopesConverting(values, count, upper, lower, middles);
}
#else
void FollowEnvelopesFastest(const int16_t *values, uint32_t count, double &upper, double &lower, int32_t *middles)
{
    FollowEnvelopesConverting(values, count, upper, lower, middles);
}
#endif

} // namespace

void AdaptiveSlicer::Process(int16_t *values, uint32_t count)
{
    // The envelopes never leave the range of the 16-bit values they follow, so every truncation fits an int32_t.
    double upper = upper_;
    double lower = lower_;
    int32_t middles[kStretch];
    for (uint32_t done = 0; done < count;) {
        const uint32_t stretch = std::min(count - done, kStretch);
        int16_t *v = values + done;
        FollowEnvelopesFastest(v, stretch, upper, lower, middles);
        for (uint32_t i = 0; i < stretch; ++i)
            v[i] = int16_t(std::clamp(int32_t(v[i]) - middles[i], int32_t(INT16_MIN), int32_t(INT16_MAX)));
        done += stretch;
    }
    upper_ = int32_t(upper);
    lower_ = int32_t(lower);
}

} // namespace sirrel
