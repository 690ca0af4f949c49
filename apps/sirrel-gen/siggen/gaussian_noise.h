// GaussianNoise: white Gaussian noise that a seed reproduces exactly, on every platform and library: the
// Mersenne Twister is fully specified and the normal values come from our own Box-Muller step, not from a
// standard-library distribution whose algorithm may differ between implementations.
#pragma once

#include <cstdint>
#include <random>

namespace sirrel::siggen {

class GaussianNoise {
public:
    explicit GaussianNoise(uint64_t seed) : engine_(seed) {}

    // The next value of a normal distribution with mean 0 and standard deviation 1.
    double Next();

private:
    // Uniform in (0, 1]: never 0, whose logarithm the Box-Muller step cannot take.
    double Uniform();

    std::mt19937_64 engine_;
    double spare_ = 0.0;
    bool haveSpare_ = false;
};

} // namespace sirrel::siggen
