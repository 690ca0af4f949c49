// AsyncDecoder: start/stop framing for ITA2 (5 data bits), IRA (7) and 8-bit text. It keeps the line as runs
// of equal level and frames characters from the run lengths alone, so it needs no bit clock and does not care
// which level is the start bit's.
#pragma once

#include <array>
#include <cstdint>

#include "decoders/code_sink.h"

namespace sirrel {

class AsyncDecoder {
public:
    static constexpr int32_t kMaxRuns = 256;

    struct Run {
        int32_t length; // consecutive samples
        int32_t level;
    };

    void setSink(CodeSink sink, void *context)
    {
        sink_ = sink;
        sinkContext_ = context;
    }

    // Set by the dispatcher before every block.
    void setDataBits(int32_t bits) { dataBits_ = bits; }
    void setSamplesPerBit(int32_t samples) { samplesPerBit_ = samples; }
    void setInversionMask(int32_t mask) { inversionMask_ = mask; }
    void setParity(int32_t parity) { parity_ = parity; } // non-zero: one parity bit follows the data

    int32_t dataBits() const { return dataBits_; }
    int32_t samplesPerBit() const { return samplesPerBit_; }

    // Appends the levels to the runs, then frames once (also for an empty block).
    void putLevels(const int16_t *levels, int32_t count);

    // The audio has ended: frames what is left, the newest runs and a short tail included.
    void finish();

    int32_t runCount() const { return runCount_; }
    const Run &run(int32_t index) const { return runs_[index]; }

private:
    void appendLevel(int32_t level);
    void frame(bool endOfStream = false);
    // Index of the first run that still lies within a plausible character, from the front.
    int32_t align(int64_t lo, int64_t hi) const;
    void dropFront(int32_t count);

    int32_t inversionMask_ = 0;
    int32_t samplesPerBit_ = 10;
    int32_t parity_ = 0;
    std::array<Run, kMaxRuns> runs_{};
    int32_t runCount_ = 0;
    int32_t dataBits_ = 5;
    CodeSink sink_ = nullptr;
    void *sinkContext_ = nullptr;
};

} // namespace sirrel
