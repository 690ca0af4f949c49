// Windows waiting for a paint, each once, in the order they asked; and what a backend hands out once its posted
// messages are handled.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "ui/platform/driver.h"
#include "ui/platform/timer_queue.h"

namespace sirrel {

class PaintQueue {
public:
    // False when the window already waits.
    bool Add(uint32_t window)
    {
        if (std::find(windows_.begin(), windows_.end(), window) != windows_.end())
            return false;
        windows_.push_back(window);
        return true;
    }
    void Remove(uint32_t window) { std::erase(windows_, window); }
    bool Empty() const { return windows_.empty(); }
    std::optional<uint32_t> Take()
    {
        if (windows_.empty())
            return std::nullopt;
        const uint32_t window = windows_.front();
        windows_.erase(windows_.begin());
        return window;
    }

private:
    std::vector<uint32_t> windows_;
};

// A due timer first, so that a window repainting itself all the time cannot starve the timers; then a paint.
inline std::optional<PlatformMessage> NextIdleMessage(TimerQueue &timers, PaintQueue &paints)
{
    if (auto due = timers.TakeDue(TimerQueue::Clock::now()))
        return due;
    if (auto window = paints.Take())
        return PlatformMessage{*window, kMsgPaint, 0, 0};
    return std::nullopt;
}

} // namespace sirrel
