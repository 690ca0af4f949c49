#include "gaussian_noise.h"

#include <cmath>
#include <numbers>

namespace sirrel::siggen {

double GaussianNoise::Uniform() { return (static_cast<double>(engine_() >> 11) + 1.0) * 0x1.0p-53; }

double GaussianNoise::Next()
{
    if (haveSpare_) {
        haveSpare_ = false;
        return spare_;
    }
    const double radius = std::sqrt(-2.0 * std::log(Uniform()));
    const double angle = 2.0 * std::numbers::pi * Uniform();
    spare_ = radius * std::sin(angle);
    haveSpare_ = true;
    return radius * std::cos(angle);
}

} // namespace sirrel::siggen
