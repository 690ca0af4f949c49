#include "generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "fsk_modulator.h"
#include "gaussian_noise.h"

namespace sirrel::siggen {

namespace {

constexpr uint32_t kMinRate = 1000;
constexpr uint32_t kMaxRate = 384000;
constexpr double kMaxIdleSeconds = 86400.0;
constexpr double kNoiseBandHz = 3000.0;

std::string Format(const char *format, double a, double b = 0.0)
{
    char text[200];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

} // namespace

double GeneratorSettings::ToneOfLevel(int level) const
{
    const bool spaceTone = (level != 0) != reverse;
    return (spaceTone ? space : mark) + offset;
}

std::string GeneratorSettings::Problem() const
{
    if (sampleRate < kMinRate || sampleRate > kMaxRate)
        return Format("sample rate %.0f Hz is outside %.0f..384000 Hz", sampleRate, kMinRate);
    const double nyquist = sampleRate / 2.0;
    if (!std::isfinite(baud) || baud <= 0.0 || baud > nyquist)
        return Format("baud rate %g is not above 0 and at most half the sample rate (%g)", baud, nyquist);
    for (const double tone : {ToneOfLevel(1), ToneOfLevel(0)}) {
        if (!std::isfinite(tone) || tone <= 0.0 || tone >= nyquist)
            return Format("tone %g Hz (with the offset) is not between 0 and %g Hz, half the sample rate", tone,
                          nyquist);
    }
    if (space == mark)
        return Format("space and mark tones are both %g Hz", space);
    if (!(amplitude >= 0.0 && amplitude <= 1.0))
        return Format("amplitude %g is outside 0..1", amplitude);
    if (!(leadSeconds >= 0.0 && leadSeconds <= kMaxIdleSeconds))
        return Format("lead of %g s is outside 0..86400 s", leadSeconds);
    if (!(trailSeconds >= 0.0 && trailSeconds <= kMaxIdleSeconds))
        return Format("trail of %g s is outside 0..86400 s", trailSeconds);
    if (snrDb && !std::isfinite(*snrDb))
        return "signal-to-noise ratio is not a finite number";
    return {};
}

Generator::Generator(const GeneratorSettings &settings) : settings_(settings) {}

uint64_t Generator::LeadSamples() const { return std::llround(settings_.leadSeconds * settings_.sampleRate); }

uint64_t Generator::TrailSamples() const { return std::llround(settings_.trailSeconds * settings_.sampleRate); }

uint64_t Generator::SampleCount(const Keying &keying) const
{
    const double samplesPerBit = settings_.sampleRate / settings_.baud;
    return LeadSamples() + std::llround(keying.TotalBits() * samplesPerBit) + TrailSamples();
}

double Generator::NoiseSigma() const
{
    if (!settings_.snrDb)
        return 0.0;
    const double peak = settings_.amplitude * kFullScale;
    const double signalPower = peak * peak / 2.0;
    // Share of white noise that falls inside the 3 kHz band.
    const double inBand = std::min(1.0, 2.0 * kNoiseBandHz / settings_.sampleRate);
    return std::sqrt(signalPower / (inBand * std::pow(10.0, *settings_.snrDb / 10.0)));
}

bool Generator::Render(const Keying &keying, int idleLevel, const BlockSink &sink)
{
    clipped_ = 0;
    FskModulator modulator(settings_.sampleRate, settings_.ToneOfLevel(0), settings_.ToneOfLevel(1),
                           settings_.amplitude * kFullScale);
    GaussianNoise noise(settings_.seed);
    const double sigma = NoiseSigma();
    double signal[kBlockSamples];
    int16_t block[kBlockSamples];
    size_t filled = 0;

    const auto flush = [&] {
        for (size_t i = 0; i < filled; ++i) {
            double value = std::nearbyint(sigma > 0.0 ? signal[i] + sigma * noise.Next() : signal[i]);
            if (value > 32767.0 || value < -32768.0) {
                ++clipped_;
                value = value > 0.0 ? 32767.0 : -32768.0;
            }
            block[i] = static_cast<int16_t>(value);
        }
        const bool more = sink(block, filled);
        filled = 0;
        return more;
    };
    const auto emit = [&](int level, uint64_t count) {
        while (count > 0) {
            const size_t take = static_cast<size_t>(std::min<uint64_t>(count, kBlockSamples - filled));
            modulator.Render(level, take, signal + filled);
            filled += take;
            count -= take;
            if (filled == kBlockSamples && !flush())
                return false;
        }
        return true;
    };

    if (!emit(idleLevel, LeadSamples()))
        return false;
    // Edges fall on the sample nearest their exact time, so bit lengths never drift however long the text.
    const double samplesPerBit = settings_.sampleRate / settings_.baud;
    double bits = 0.0;
    uint64_t done = 0;
    for (const KeyElement &element : keying.Elements()) {
        bits += element.bits;
        const uint64_t end = std::llround(bits * samplesPerBit);
        if (!emit(element.level, end - done))
            return false;
        done = end;
    }
    if (!emit(idleLevel, TrailSamples()))
        return false;
    return filled == 0 || flush();
}

std::vector<int16_t> Generator::Render(const Keying &keying, int idleLevel)
{
    std::vector<int16_t> samples;
    samples.reserve(SampleCount(keying));
    Render(keying, idleLevel, [&](const int16_t *block, size_t count) {
        samples.insert(samples.end(), block, block + count);
        return true;
    });
    return samples;
}

} // namespace sirrel::siggen
