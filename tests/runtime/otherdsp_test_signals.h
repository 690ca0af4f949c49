// Signal makers and measurements shared by the signal-processing object tests.
#ifndef OTHERDSP_TEST_SIGNALS_H
#define OTHERDSP_TEST_SIGNALS_H

#include <cmath>
#include <cstdint>
#include <vector>

namespace otherdsp_test {

constexpr double kTwoPi = 6.283185307179586;

inline std::vector<int16_t> tone(double hertz, double rate, double amplitude, size_t samples, double phase = 0.0)
{
    std::vector<int16_t> out(samples);
    for (size_t n = 0; n < samples; ++n)
        out[n] = int16_t(std::lrint(amplitude * std::cos(kTwoPi * hertz * double(n) / rate + phase)));
    return out;
}

// Power of one frequency component (Goertzel) over samples [first, last).
template <typename Sample>
double componentPower(const std::vector<Sample> &x, double hertz, double rate, size_t first, size_t last,
                      size_t stride = 1, size_t offset = 0)
{
    const double w = kTwoPi * hertz / rate;
    double re = 0.0, im = 0.0;
    for (size_t n = first; n < last; ++n) {
        const double v = double(x[n * stride + offset]);
        re += v * std::cos(w * double(n));
        im -= v * std::sin(w * double(n));
    }
    const double count = double(last - first);
    return (re * re + im * im) / (count * count);
}

template <typename Sample>
double meanSquare(const std::vector<Sample> &x, size_t first, size_t last, size_t stride = 1, size_t offset = 0)
{
    double sum = 0.0;
    for (size_t n = first; n < last; ++n)
        sum += double(x[n * stride + offset]) * double(x[n * stride + offset]);
    return sum / double(last - first);
}

} // namespace otherdsp_test

#endif
