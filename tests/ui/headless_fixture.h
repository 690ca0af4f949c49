// Every window test gets a display of its own, so that no message or window of another test is left over.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "ui/oru_window.h"
#include "ui/platform/headless/headless_driver.h"

namespace sirrel::test {

class HeadlessUi : public ::testing::Test {
protected:
    explicit HeadlessUi(int32_t colorDepth = 24)
    {
        auto fresh = std::make_unique<HeadlessDriver>(colorDepth);
        display = fresh.get();
        previous_ = ReplacePlatform(std::move(fresh));
    }
    ~HeadlessUi() override { ReplacePlatform(std::move(previous_)); }

    HeadlessDriver *display;

private:
    std::unique_ptr<PlatformDriver> previous_;
};

// A window that counts what the framework asks of it.
class ProbeWindow : public Oru_Window {
public:
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override
    {
        lastMouse = code;
        lastX = x;
        lastY = y;
        Oru_Window::MouseEvent(code, keys, x, y);
    }
    void SetBounds(int32_t x, int32_t y, int32_t width, int32_t height) override
    {
        ++boundsCalls;
        Oru_Window::SetBounds(x, y, width, height);
    }
    void TimerTick(uint32_t id) override { lastTimer = id; }
    void FocusChanged(int32_t gained) override { focusEvents += gained ? 1 : -1; }

    int32_t lastMouse = -1;
    int32_t lastX = -1;
    int32_t lastY = -1;
    int32_t boundsCalls = 0;
    uint32_t lastTimer = 0;
    int32_t focusEvents = 0;
};

} // namespace sirrel::test
