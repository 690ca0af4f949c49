#include "ui/platform/timer_queue.h"

#include <algorithm>

namespace sirrel {

void TimerQueue::Set(uint32_t window, uint32_t id, uint32_t milliseconds)
{
    // A zero period would starve every other message.
    const Clock::duration period = std::chrono::milliseconds(std::max<uint32_t>(milliseconds, 1));
    Kill(window, id);
    timers_.push_back({window, id, period, Clock::now() + period});
}

void TimerQueue::Kill(uint32_t window, uint32_t id)
{
    std::erase_if(timers_, [&](const Timer &t) { return t.window == window && t.id == id; });
}

void TimerQueue::KillWindow(uint32_t window)
{
    std::erase_if(timers_, [&](const Timer &t) { return t.window == window; });
}

std::optional<PlatformMessage> TimerQueue::TakeDue(Clock::time_point now)
{
    auto earliest =
        std::min_element(timers_.begin(), timers_.end(), [](const Timer &a, const Timer &b) { return a.due < b.due; });
    if (earliest == timers_.end() || earliest->due > now)
        return std::nullopt;
    // A late timer fires once, not once per missed period.
    earliest->due = std::max(earliest->due + earliest->period, now);
    return PlatformMessage{earliest->window, kMsgTimer, earliest->id, 0};
}

std::optional<TimerQueue::Clock::time_point> TimerQueue::NextDue() const
{
    auto earliest =
        std::min_element(timers_.begin(), timers_.end(), [](const Timer &a, const Timer &b) { return a.due < b.due; });
    if (earliest == timers_.end())
        return std::nullopt;
    return earliest->due;
}

} // namespace sirrel
