// The narrow seam between the window framework and the display. A backend owns native windows (top-level windows,
// owned pop-ups, and the few controls that need one), delivers their messages in the codes of messages.h, runs
// timers, shows 32-bit pixel maps and carries clipboard text. Everything else (controls, painting, hit testing,
// dragging, message boxes) lives above it and is the same on every backend.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orurt.h"
#include "ui/platform/messages.h"

namespace sirrel {

struct PlatformMessage {
    uint32_t window = 0; // 0 for a thread message (quit)
    uint32_t message = 0;
    uintptr_t first = 0;
    intptr_t second = 0;
};

struct NativeWindowSpec {
    uint32_t parent = 0; // native parent of a native child control; 0 for a top-level window or pop-up
    uint32_t owner = 0;  // owner of an owned pop-up
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 1;
    int32_t height = 1;
    bool toolWindow = false;
};

class PlatformDriver {
public:
    virtual ~PlatformDriver() = default;

    virtual const char *Name() const = 0;
    // False once the display is gone; every later call is then harmless and windows no longer exist.
    virtual bool Connected() const = 0;

    // Returns the new window's handle, 0 on failure. The window starts hidden.
    virtual uint32_t CreateNativeWindow(const NativeWindowSpec &spec) = 0;
    virtual void DestroyNativeWindow(uint32_t window) = 0;
    // `sizeKind` (kSizeRestored, kSizeMaximized) comes back in the kMsgSize that the change causes.
    virtual void SetNativeBounds(uint32_t window, int32_t x, int32_t y, int32_t width, int32_t height,
                                 uint32_t sizeKind) = 0;
    virtual void ShowNativeWindow(uint32_t window, bool visible) = 0;
    virtual void SetNativeTitle(uint32_t window, const std::string &title) = 0;
    // The picture the desktop shows for a top-level window: 0xAARRGGBB, width x height.
    virtual void SetNativeIcon(uint32_t window, const std::vector<uint32_t> &pixels, int32_t width, int32_t height) = 0;
    // Asks for a kMsgPaint, delivered once the queue is otherwise empty.
    virtual void InvalidateNativeWindow(uint32_t window) = 0;
    // Copies width x height pixels from (sourceX, sourceY) of a 32-bit map to (x, y) of the window.
    virtual void Blit(uint32_t window, const OruDynamicPixMap &map, int32_t sourceX, int32_t sourceY, int32_t width,
                      int32_t height, int32_t x, int32_t y) = 0;
    virtual void SetFocus(uint32_t window) = 0;
    virtual void SetCursor(Cursor cursor) = 0;

    // Any thread may post; only the window thread takes messages.
    virtual void PostMessage(uint32_t window, uint32_t message, uintptr_t first, intptr_t second) = 0;
    // Takes the next message; with `wait`, blocks until one arrives. Returns false when there is none to take.
    virtual bool NextMessage(PlatformMessage &message, bool wait) = 0;
    // Called by a modal loop with nothing to do: waits for something to happen. Returns false when nothing ever
    // will (a headless display without a script), and the modal loop then takes its default answer.
    virtual bool Idle() = 0;

    virtual void SetTimer(uint32_t window, uint32_t id, uint32_t milliseconds) = 0;
    virtual void KillTimer(uint32_t window, uint32_t id) = 0;

    // Clipboard text is UTF-8.
    virtual void SetClipboardText(const std::string &text) = 0;
    virtual std::string ClipboardText() = 0;

    virtual int32_t ScreenWidth() const = 0;
    virtual int32_t ScreenHeight() const = 0;
    virtual int32_t ColorDepth() const = 0;
};

// The process's driver: x11 when a display can be opened, else headless. SIRREL_UI=headless forces headless.
PlatformDriver &Platform();
// Replaces the process's driver (tests); returns the previous one. Only while no window exists.
std::unique_ptr<PlatformDriver> ReplacePlatform(std::unique_ptr<PlatformDriver> driver);

} // namespace sirrel
