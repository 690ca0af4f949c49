// The display without a display: windows are pixel buffers in memory, messages come from other threads and from
// tests, which press keys, click and save any window as PNG. It runs the plug-in on servers and in CI.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "ui/platform/driver.h"
#include "ui/platform/paint_queue.h"
#include "ui/platform/timer_queue.h"

namespace sirrel {

class HeadlessDriver : public PlatformDriver {
public:
    struct WindowRecord {
        NativeWindowSpec spec;
        bool visible = false;
        uint32_t sizeKind = kSizeRestored;
        std::string title;
        std::vector<uint32_t> pixels; // 0x00RRGGBB, width x height
        int32_t iconWidth = 0;
        int32_t iconHeight = 0;
    };

    explicit HeadlessDriver(int32_t colorDepth = 24) : colorDepth_(colorDepth) {}

    const char *Name() const override { return "headless"; }
    bool Connected() const override { return true; }
    uint32_t CreateNativeWindow(const NativeWindowSpec &spec) override;
    void DestroyNativeWindow(uint32_t window) override;
    void SetNativeBounds(uint32_t window, int32_t x, int32_t y, int32_t width, int32_t height,
                         uint32_t sizeKind) override;
    void ShowNativeWindow(uint32_t window, bool visible) override;
    void SetNativeTitle(uint32_t window, const std::string &title) override;
    void SetNativeIcon(uint32_t window, const std::vector<uint32_t> &pixels, int32_t width, int32_t height) override;
    void InvalidateNativeWindow(uint32_t window) override;
    void Blit(uint32_t window, const OruDynamicPixMap &map, int32_t sourceX, int32_t sourceY, int32_t width,
              int32_t height, int32_t x, int32_t y) override;
    void SetFocus(uint32_t window) override;
    void SetCursor(Cursor cursor) override;
    void PostMessage(uint32_t window, uint32_t message, uintptr_t first, intptr_t second) override;
    bool NextMessage(PlatformMessage &message, bool wait) override;
    bool Idle() override;
    void SetTimer(uint32_t window, uint32_t id, uint32_t milliseconds) override;
    void KillTimer(uint32_t window, uint32_t id) override;
    void SetClipboardText(const std::string &text) override;
    std::string ClipboardText() override;
    int32_t ScreenWidth() const override { return 1920; }
    int32_t ScreenHeight() const override { return 1080; }
    int32_t ColorDepth() const override { return colorDepth_; }

    // What a modal loop does when it has nothing to do: a test clicks its buttons here. Without a handler, modal
    // loops end at once with their default answer.
    void SetIdleHandler(std::function<void()> handler);

    // Input as a user would give it, queued for the window thread.
    void Click(uint32_t window, int32_t x, int32_t y);
    void DoubleClick(uint32_t window, int32_t x, int32_t y);
    void Drag(uint32_t window, int32_t fromX, int32_t fromY, int32_t toX, int32_t toY);
    void PressKey(uint32_t window, uint32_t key);
    void TypeText(uint32_t window, const std::string &text);

    bool Exists(uint32_t window);
    WindowRecord Record(uint32_t window);
    std::vector<uint32_t> Windows();
    uint32_t FocusWindow();
    Cursor LastCursor();
    bool SavePng(uint32_t window, const std::string &path);

private:
    // Mouse input is queued in screen coordinates and made client-relative when taken, so that a drag keeps
    // working while the window moves under the pointer.
    struct Entry {
        PlatformMessage message;
        bool screenPoint;
    };

    WindowRecord *Find(uint32_t window);
    void PostLocked(uint32_t window, uint32_t message, uintptr_t first, intptr_t second, bool screenPoint = false);
    void PostMouse(uint32_t window, uint32_t message, uint32_t keys, int32_t x, int32_t y);

    const int32_t colorDepth_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::map<uint32_t, WindowRecord> windows_;
    std::deque<Entry> queue_;
    PaintQueue dirty_;
    TimerQueue timers_;
    uint32_t nextHandle_ = 0x100;
    uint32_t focus_ = 0;
    Cursor cursor_ = Cursor::Arrow;
    std::string clipboard_;
    // Shared, so that a handler with state of its own keeps it from one call to the next.
    std::shared_ptr<std::function<void()>> idleHandler_;
};

} // namespace sirrel
