// The x11 driver as the process's platform for one test, put back afterwards; x11 stays null without a display.
#pragma once

#include <chrono>
#include <memory>
#include <thread>

#include "ui/oru_window.h"
#include "ui/platform/x11/x11_driver.h"

namespace sirrel::test {

class X11Platform {
public:
    X11Platform()
    {
        if (auto driver = X11Driver::Open()) {
            x11 = driver.get();
            previous_ = ReplacePlatform(std::move(driver));
        }
    }
    ~X11Platform()
    {
        if (x11)
            ReplacePlatform(std::move(previous_));
    }
    X11Platform(const X11Platform &) = delete;
    X11Platform &operator=(const X11Platform &) = delete;

    // Lets the server map, expose and answer, and the framework paint.
    void Settle()
    {
        for (int i = 0; i < 30; ++i) {
            x11->Sync();
            PumpMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    X11Driver *x11 = nullptr;

private:
    std::unique_ptr<PlatformDriver> previous_;
};

} // namespace sirrel::test
