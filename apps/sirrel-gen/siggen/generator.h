// Generator: turns a Keying into 16-bit audio: idle lead, the keyed tones, idle trail, optional white noise,
// rounded and clipped to the 16-bit range. Audio is delivered in blocks, so a long transmission never has to
// fit in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "keying.h"

namespace sirrel::siggen {

struct GeneratorSettings {
    uint32_t sampleRate = 11025;
    double baud = 45.45;
    double space = 1000.0;  // tone of level 1
    double mark = 1170.0;   // tone of level 0
    double offset = 0.0;    // added to both tones
    bool reverse = false;   // level 1 on the mark tone, level 0 on the space tone
    double amplitude = 0.5; // peak, as a fraction of full scale
    double leadSeconds = 1.0;
    double trailSeconds = 0.5;
    // Signal-to-noise ratio in a 3 kHz band: the noise is white over the whole band up to half the sample
    // rate, with the power that puts the stated ratio between the tone and the noise inside 3 kHz.
    std::optional<double> snrDb;
    uint64_t seed = 1;

    // Empty when the settings can be rendered, else what is wrong with them, in one line.
    std::string Problem() const;
    // The two tones after the offset, in the order level 0, level 1.
    double ToneOfLevel(int level) const;
};

class Generator {
public:
    static constexpr uint32_t kFullScale = 32767;
    static constexpr size_t kBlockSamples = 4096;

    // Receives each block; returns false to stop the rendering.
    using BlockSink = std::function<bool(const int16_t *samples, size_t count)>;

    // The settings must have no Problem().
    explicit Generator(const GeneratorSettings &settings);

    // Samples the keying takes with lead and trail.
    uint64_t SampleCount(const Keying &keying) const;
    // Renders lead, keying and trail; false when the sink stopped it.
    bool Render(const Keying &keying, int idleLevel, const BlockSink &sink);
    // The same, all in one buffer.
    std::vector<int16_t> Render(const Keying &keying, int idleLevel);

    // Samples that signal and noise drove beyond the 16-bit range in the last rendering.
    uint64_t ClippedSamples() const { return clipped_; }
    // Standard deviation of the noise in sample units; 0 without noise.
    double NoiseSigma() const;

private:
    uint64_t LeadSamples() const;
    uint64_t TrailSamples() const;

    GeneratorSettings settings_;
    uint64_t clipped_ = 0;
};

} // namespace sirrel::siggen
