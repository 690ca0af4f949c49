// The display on an X server through Xlib: one X window per native window, 32-bit maps shown with XPutImage
// (converted pixel by pixel on screens other than 24-bit true colour; colours allocated from the colour map on
// 8-bit screens), the CLIPBOARD selection as UTF-8 text (Latin-1 for programs that ask for STRING). Works under Xvfb.
// When the connection goes, the windows are gone and every call does nothing; posted messages and timers keep running
// so that the plug-in goes on working.
#pragma once

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "ui/platform/driver.h"
#include "ui/platform/paint_queue.h"
#include "ui/platform/timer_queue.h"

namespace sirrel {

class X11Driver : public PlatformDriver {
public:
    // Null when no display can be opened (no DISPLAY, no server).
    static std::unique_ptr<X11Driver> Open();
    ~X11Driver() override;

    const char *Name() const override { return "x11"; }
    bool Connected() const override { return !lost_; }
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
    int32_t ScreenWidth() const override { return screenWidth_; }
    int32_t ScreenHeight() const override { return screenHeight_; }
    int32_t ColorDepth() const override { return depth_; }

    // The window's pixels as 0x00RRGGBB, read back from the server; empty when it cannot be read.
    std::vector<uint32_t> Capture(uint32_t window, int32_t &width, int32_t &height);
    // Waits until the server has handled every request.
    void Sync();
    // A left click at (x, y) of the window, sent through the server as a user's would come.
    void Click(uint32_t window, int32_t x, int32_t y);

private:
    struct WindowInfo {
        uint32_t sizeKind = 0;
        int32_t x = 0, y = 0, width = 0, height = 0;
    };

    X11Driver() = default;
    void Translate(void *event);
    // The screen pixel for an 0x00RRGGBB colour, and back.
    unsigned long PixelOf(uint32_t rgb);
    uint32_t RgbOf(unsigned long pixel);
    void ServeSelection(void *request);
    // Asks the clipboard's owner for its text as `target`; false when it refuses or does not answer.
    bool ConvertSelection(unsigned long target, std::string &text);
    void Post(uint32_t window, uint32_t message, uintptr_t first, intptr_t second);
    // Blocks until the server, the wake pipe or the next timer has something; false once nothing ever will.
    bool Wait(bool untilTimer);
    void Lost();

    void *display_ = nullptr;
    int screen_ = 0;
    int32_t screenWidth_ = 0;
    int32_t screenHeight_ = 0;
    int32_t depth_ = 24;
    bool trueColor_ = true;
    bool wordsAsTheyAre_ = true;                  // 24-bit true colour with the map's byte order
    unsigned long masks_[3] = {};                 // red, green, blue
    std::map<uint32_t, unsigned long> allocated_; // colour-map cells by colour, on screens with a colour map
    std::atomic<bool> lost_{false};
    int wake_[2] = {-1, -1};
    unsigned long helper_ = 0; // owns the clipboard selection
    unsigned long atoms_[9] = {};
    unsigned long cursors_[6] = {};
    uint32_t pointerWindow_ = 0;

    std::mutex lock_;
    std::deque<PlatformMessage> queue_;
    PaintQueue dirty_;
    TimerQueue timers_;
    std::map<uint32_t, WindowInfo> windows_;
    std::string clipboard_;
    // Double-click detection.
    unsigned lastButton_ = 0;
    unsigned long lastButtonTime_ = 0;
    int32_t lastButtonX_ = 0;
    int32_t lastButtonY_ = 0;
};

} // namespace sirrel
