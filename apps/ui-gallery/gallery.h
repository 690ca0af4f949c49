// One window with every control of the framework in its states, for people to look at and tests to render.
#pragma once

#include <memory>

#include "ui/frame.h"

namespace sirrel {

class Gallery {
public:
    Gallery();
    ~Gallery();
    Gallery(const Gallery &) = delete;
    Gallery &operator=(const Gallery &) = delete;

    // Builds the window at (x, y), hidden; false when the display refuses it.
    bool Create(int32_t x, int32_t y);
    Oru_Frame &Window();
    // The push button whose clicks are counted.
    Oru_Window &CountingButton();
    int32_t Clicks() const;

    static constexpr int32_t kWidth = 770;
    static constexpr int32_t kHeight = 530;

private:
    struct Parts;
    // A spectrum, a waterfall and a time scope, fed with a made-up signal.
    void AddDisplays(int32_t top);

    std::unique_ptr<Parts> parts_;
};

} // namespace sirrel
