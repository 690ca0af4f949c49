// What edits that ran on the frame thread hand back to a window: the edit posts, the window takes on its own
// thread. Held by a shared pointer, since an edit may run after its window is gone.
#pragma once

#include <mutex>
#include <utility>
#include <vector>

namespace sirrel {

template <typename Item> class EditMailbox {
public:
    void Put(Item item)
    {
        std::lock_guard<std::mutex> hold(lock_);
        items_.push_back(std::move(item));
    }
    std::vector<Item> Take()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return std::exchange(items_, {});
    }

private:
    std::mutex lock_;
    std::vector<Item> items_;
};

} // namespace sirrel
