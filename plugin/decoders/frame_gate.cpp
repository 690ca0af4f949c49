#include "decoders/frame_gate.h"

namespace sirrel {

namespace {

// FNV-1a over the frame: with the length, a match by chance within the window is out of the question.
uint64_t Hash(const uint8_t *bytes, uint32_t length)
{
    uint64_t h = 14695981039346656037ull;
    for (uint32_t i = 0; i < length; ++i)
        h = (h ^ bytes[i]) * 1099511628211ull;
    return h;
}

} // namespace

bool FrameGate::Admit(const uint8_t *bytes, uint32_t length)
{
    const uint64_t hash = Hash(bytes, length);
    for (const Seen &s : seen_)
        if (now_ - s.time <= kWindowBits && s.hash == hash && s.length == length)
            return false;
    seen_[next_] = {hash, length, now_};
    next_ = (next_ + 1) % kRemembered;
    return true;
}

void FrameGate::Reset()
{
    seen_ = {};
    next_ = 0;
    now_ = kWindowBits + 1;
}

} // namespace sirrel
