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
    // False when the window already waits. An exposed window stays exposed until its paint is taken.
    bool Add(uint32_t window, bool exposed = false)
    {
        if (exposed && std::find(exposed_.begin(), exposed_.end(), window) == exposed_.end())
            exposed_.push_back(window);
        if (std::find(windows_.begin(), windows_.end(), window) != windows_.end())
            return false;
        windows_.push_back(window);
        return true;
    }
    void Remove(uint32_t window)
    {
        std::erase(windows_, window);
        std::erase(exposed_, window);
    }
    bool Empty() const { return windows_.empty(); }
    std::optional<PlatformMessage> Take()
    {
        if (windows_.empty())
            return std::nullopt;
        const uint32_t window = windows_.front();
        windows_.erase(windows_.begin());
        const bool exposed = std::erase(exposed_, window) != 0;
        return PlatformMessage{window, kMsgPaint, exposed ? kPaintExposed : kPaintChanged, 0};
    }

private:
    std::vector<uint32_t> windows_;
    std::vector<uint32_t> exposed_;
};

// A due timer first, so that a window repainting itself all the time cannot starve the timers; then a paint.
inline std::optional<PlatformMessage> NextIdleMessage(TimerQueue &timers, PaintQueue &paints)
{
    if (auto due = timers.TakeDue(TimerQueue::Clock::now()))
        return due;
    return paints.Take();
}

} // namespace sirrel
