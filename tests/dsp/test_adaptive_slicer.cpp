// AdaptiveSlicer: the same integers as the plain per-sample loop of the envelopes, whatever the input and
// however it is cut into blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "dsp/adaptive_slicer.h"

namespace sirrel {
namespace {

struct PlainSlicer {
    int32_t upper = 0;
    int32_t lower = 0;

    void Process(int16_t *values, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            const int32_t v = values[i];
            upper = v > upper ? int32_t(upper * 0.99 + v * 0.01) : int32_t(upper * 0.9998 + v * 0.0002);
            lower = v < lower ? int32_t(lower * 0.99 + v * 0.01) : int32_t(lower * 0.9998 + v * 0.0002);
            values[i] = int16_t(std::clamp(v - (upper + lower) / 2, int32_t(INT16_MIN), int32_t(INT16_MAX)));
        }
    }
};

std::vector<int16_t> Make(size_t count, const std::function<double(size_t, std::mt19937 &)> &sample)
{
    std::mt19937 random(3);
    std::vector<int16_t> x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = int16_t(std::clamp(std::lround(sample(i, random)), long(INT16_MIN), long(INT16_MAX)));
    return x;
}

TEST(AdaptiveSlicer, GivesExactlyThePlainLoopsIntegers)
{
    std::normal_distribution<double> gauss(0.0, 2500.0);
    double smoothed = 0.0;
    const struct {
        const char *name;
        std::vector<int16_t> input;
    } cases[] = {
        {"uniform noise", Make(60000, [](size_t, std::mt19937 &r) { return double(int16_t(r())); })},
        // A filtered demodulator output: keyed levels, smoothed, with noise, and a slow drift.
        {"keyed", Make(60000,
                       [&](size_t i, std::mt19937 &r) {
                           const double level = (i / 220 * 7919 % 13) & 1 ? 9000.0 : -7000.0;
                           smoothed += (level + 1500.0 * std::sin(double(i) * 1e-4) + gauss(r) - smoothed) * 0.05;
                           return smoothed;
                       })},
        // Full-scale swings: the envelopes reach the ends and the centred values saturate.
        {"full scale", Make(30000, [](size_t i, std::mt19937 &) { return (i / 3000) % 2 ? 32767.0 : -32768.0; })},
        {"rare spikes", Make(30000,
                             [](size_t i, std::mt19937 &r) {
                                 return i % 997 == 0 ? double(int16_t(r())) : double(int32_t(r() % 201) - 100);
                             })},
        {"constant", Make(5000, [](size_t, std::mt19937 &) { return -12345.0; })},
    };
    const uint32_t blocks[] = {1, 255, 4096, 256, 17, 1024, 257};
    for (const auto &c : cases) {
        AdaptiveSlicer slicer;
        PlainSlicer plain;
        std::vector<int16_t> actual = c.input;
        std::vector<int16_t> expected = c.input;
        for (size_t at = 0, next = 0; at < actual.size(); ++next) {
            const uint32_t block = uint32_t(std::min<size_t>(blocks[next % 7], actual.size() - at));
            slicer.Process(actual.data() + at, block);
            plain.Process(expected.data() + at, block);
            ASSERT_EQ(slicer.Upper(), plain.upper) << c.name << ", after sample " << at + block;
            ASSERT_EQ(slicer.Lower(), plain.lower) << c.name << ", after sample " << at + block;
            at += block;
        }
        for (size_t i = 0; i < actual.size(); ++i)
            ASSERT_EQ(actual[i], expected[i]) << c.name << ", sample " << i;
        EXPECT_NE(actual, c.input) << c.name;
    }
}

} // namespace
} // namespace sirrel
