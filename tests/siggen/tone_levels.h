// Reads the keyed level back from generated audio, sample by sample, without any of the generator's code.
#ifndef SIRREL_TESTS_SIGGEN_TONE_LEVELS_H
#define SIRREL_TESTS_SIGGEN_TONE_LEVELS_H

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <vector>

namespace sirrel::siggen::test {

// A pure tone of angular step w obeys x[n-1] + x[n+1] = 2 cos(w) x[n]; where |x[n]| is large enough for that
// ratio to be reliable it tells which of the two tones is on, elsewhere the previous decision stands. Decisions
// may lag a tone change by a sample or two.
inline std::vector<int> ToneLevels(const std::vector<int16_t> &x, double rate, double toneOfOne, double toneOfZero)
{
    const double cosOne = std::cos(2.0 * std::numbers::pi * toneOfOne / rate);
    const double cosZero = std::cos(2.0 * std::numbers::pi * toneOfZero / rate);
    const double middle = (cosOne + cosZero) / 2.0;
    int peak = 1;
    for (const int16_t v : x)
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    std::vector<int> levels(x.size(), 1);
    int level = 1;
    for (size_t n = 1; n + 1 < x.size(); ++n) {
        if (std::abs(x[n]) > 0.3 * peak) {
            const double c = (static_cast<double>(x[n - 1]) + x[n + 1]) / (2.0 * x[n]);
            level = (c > middle) == (cosOne > cosZero) ? 1 : 0;
        }
        levels[n] = level;
    }
    if (x.size() > 1)
        levels.back() = level;
    return levels;
}

// Sample indexes where the level falls from 1 to 0: the start edges of start/stop characters.
inline std::vector<size_t> FallingEdges(const std::vector<int> &levels)
{
    std::vector<size_t> edges;
    for (size_t n = 1; n < levels.size(); ++n) {
        if (levels[n - 1] == 1 && levels[n] == 0)
            edges.push_back(n);
    }
    return edges;
}

} // namespace sirrel::siggen::test

#endif
