// FrameGate: when several deframers decode the same packet signal, each good frame is shown once. A deframer
// asks before formatting a frame whose check sequence passed; the gate turns away the same bytes when another
// deframer finished them a moment before.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sirrel {

class FrameGate {
public:
    // Copies close on the same closing flag, within a bit or two of each other; a sender's own repeat of a
    // frame comes at least a whole frame later and is shown again.
    static constexpr int64_t kWindowBits = 64;

    // One bit period has passed.
    void Tick() { ++now_; }
    // True when these bytes were not let through within the window; what is let through is remembered.
    bool Admit(const uint8_t *bytes, uint32_t length);
    void Reset();

private:
    struct Seen {
        uint64_t hash = 0;
        uint32_t length = 0;
        int64_t time = 0;
    };
    // More deframers than this never finish within the window.
    static constexpr size_t kRemembered = 8;

    std::array<Seen, kRemembered> seen_{};
    size_t next_ = 0;
    int64_t now_ = kWindowBits + 1; // nothing is remembered at the start
};

} // namespace sirrel
