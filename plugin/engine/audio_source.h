// AudioSource: where an engine's audio comes from. The source decides the processing rate: it says at which
// rate its audio starts and which processing rate fits the rate its audio arrives at. A push source (the
// host's blocks, a DSP, a sound card) hands its audio to the engine as it arrives; a pull source (a file, a
// pipe) is read by the engine until it ends.
#pragma once

#include <cstdint>

namespace sirrel {

class AudioSource {
public:
    virtual ~AudioSource() = default;

    // The rate of the audio before the source has said anything else.
    virtual uint32_t StartRate() const = 0;
    // The processing rate for audio that arrives at `rate`.
    virtual uint32_t ProcessingRateFor(uint32_t rate) const { return rate; }
    // A source with a level meter (a sound card) has the chain show clipping.
    virtual bool HasLevelMeter() const { return false; }
    // A pull source fills up to `count` mono samples at the processing rate and returns how many, 0 at its end.
    // A push source returns 0: its audio reaches the engine through DecoderEngine::Deliver.
    virtual uint32_t Read(int16_t *samples, uint32_t count)
    {
        (void)samples;
        (void)count;
        return 0;
    }
};

} // namespace sirrel
