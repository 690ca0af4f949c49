// Window timers for backends whose display has none of its own: due timers become kMsgTimer messages.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "ui/platform/driver.h"

namespace sirrel {

class TimerQueue {
public:
    using Clock = std::chrono::steady_clock;

    // Setting an existing (window, id) again restarts it with the new period.
    void Set(uint32_t window, uint32_t id, uint32_t milliseconds);
    void Kill(uint32_t window, uint32_t id);
    void KillWindow(uint32_t window);
    // The earliest due timer as a message, rescheduled one period later.
    std::optional<PlatformMessage> TakeDue(Clock::time_point now);
    std::optional<Clock::time_point> NextDue() const;

private:
    struct Timer {
        uint32_t window;
        uint32_t id;
        Clock::duration period;
        Clock::time_point due;
    };
    std::vector<Timer> timers_;
};

} // namespace sirrel
