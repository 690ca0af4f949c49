// Raw signed 16-bit little-endian mono on stdin, handed on as it arrives: a host passes its receiver's audio at
// the receiver's rate and the plug-in reduces it. Reads wait at most a moment, so that a close is not held up
// by a quiet pipe.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/audio_source.h"

namespace sirrel {

class StdinSource : public AudioSource {
public:
    StdinSource(uint32_t rate, const std::atomic<bool> &stop) : rate_(rate), stop_(stop) {}

    uint32_t StartRate() const override { return rate_; }
    // 0 at the end of the input or when asked to stop.
    uint32_t Read(int16_t *samples, uint32_t count) override;

private:
    uint32_t rate_;
    const std::atomic<bool> &stop_;
    // A byte of a sample split between two reads.
    int pendingByte_ = -1;
};

} // namespace sirrel
