// The phase step of the high-speed discriminator: atan2(im, re) of the product of a sample with the conjugate
// of the one before, scaled so that pi is 32768, truncated towards zero and kept at or below 32767.
//
// libm's atan2 took a large share of the demodulator's time. A table of eight arctangents with a short series
// around them is good to about 1e-14 rad, far inside one step of the scale; only a value that lies within 1e-6
// of a step is decided by atan2, so the result is always atan2's.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace sirrel {

constexpr double kPhaseScale = 10430.060040584269; // 32768 / pi

inline int16_t DiscriminatorPhase(int64_t re, int64_t im)
{
    if (re == 0 && im == 0)
        return 0;
    // atan(k / 8), k = 0 ... 8.
    static constexpr double kEighths[9] = {0.0,
                                           0.12435499454676144,
                                           0.24497866312686414,
                                           0.35877067027057225,
                                           0.4636476090008061,
                                           0.5585993153435624,
                                           0.6435011087932844,
                                           0.7188299996216245,
                                           0.7853981633974483};
    const double x = double(re);
    const double y = double(im);
    const double ax = std::fabs(x);
    const double ay = std::fabs(y);
    const bool steep = ay > ax;
    const double t = steep ? ax / ay : ay / ax;
    const int k = int(t * 8.0 + 0.5);
    const double c = k * 0.125;
    // atan(t) = atan(c) + atan(u), |u| <= 1/16: the series to u^9 leaves less than 1e-14.
    const double u = (t - c) / (1.0 + t * c);
    const double u2 = u * u;
    double angle =
        kEighths[k] + u * (1.0 + u2 * (-1.0 / 3.0 + u2 * (1.0 / 5.0 + u2 * (-1.0 / 7.0 + u2 * (1.0 / 9.0)))));
    if (steep)
        angle = M_PI / 2.0 - angle;
    if (x < 0.0)
        angle = M_PI - angle;
    if (y < 0.0)
        angle = -angle;
    const double scaled = angle * kPhaseScale;
    const double fraction = std::fabs(scaled - double(int64_t(scaled)));
    if (fraction < 1e-6 || fraction > 1.0 - 1e-6)
        return int16_t(std::min(std::atan2(y, x) * kPhaseScale, 32767.0));
    return int16_t(std::min(scaled, 32767.0));
}

} // namespace sirrel
