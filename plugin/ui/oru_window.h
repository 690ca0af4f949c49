// The base of every window and control. Top-level windows, owned pop-ups and controls that need one have a
// native window; every other control is windowless and paints into its top-level window's off-screen map, which
// is then shown on the native window. Frames are drawn by the framework: a caption strip drags the window and
// resize borders size it, through the framework's own hit testing.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "orurt.h"
#include "ui/canvas.h"
#include "ui/draw_objects.h"
#include "ui/geometry.h"
#include "ui/platform/driver.h"

namespace sirrel {

// Creation and style flags.
enum : uint32_t {
    kStyleCaptionDrags = 1u << 1,
    kStyleResizeBorders = 1u << 2,
    // A child without a native window. The same bit in a child's style word makes it take hit testing: a point on
    // it belongs to the client area rather than to the caption strip.
    kStyleWindowless = 1u << 4,
    kStyleHitTestable = 1u << 4,
    kStyleKeepBitmap = 1u << 6,
};

// State flags.
enum : uint32_t {
    kStateChecked = 0x001,
    kStatePressed = 0x002,
    kStateFocused = 0x008,
    kStateVisible = 0x010,
    kStateMinimized = 0x020,
    kStateMaximized = 0x040,
    kStateHitTransparent = 0x080,
    kStatePaintLock = 0x100,
    kStateDirty = 0x400,
    kStateEnabled = 0x800,
    kStateInitial = kStateEnabled,
};

// Mouse event codes.
enum : int32_t {
    kMouseMove = 0,
    kMouseLeftDown = 1,
    kMouseLeftUp = 2,
    kMouseLeftDoubleClick = 3,
    kMouseMiddleDown = 4,
    kMouseMiddleUp = 5,
    kMouseMiddleDoubleClick = 6,
    kMouseRightDown = 7,
    kMouseRightUp = 8,
    kMouseRightDoubleClick = 9,
    // The wheel: the key-state word of MouseEvent carries the turn as the first parameter of kMsgMouseWheel does.
    kMouseWheel = 10,
};

// Key event kinds.
enum : int32_t { kKeyCharacter = 0, kKeyPressed = 1, kKeyReleased = 2 };

class Oru_Window;

// The colours controls are drawn in. A display of 8 bits or less gets silver faces, black and white.
struct ColorScheme {
    uint32_t face;
    uint32_t light;
    uint32_t shadow;
    uint32_t text;
    uint32_t field; // background of edit fields and lists
    uint32_t selection;
    uint32_t selectionText;
    uint32_t disabledText;
};
const ColorScheme &Scheme();

struct WindowCallback {
    void (*function)(Oru_Window *window, void *context) = nullptr;
    void *context = nullptr;

    void operator()(Oru_Window *window) const
    {
        if (function)
            function(window, context);
    }
};

class Oru_Window {
public:
    Oru_Window();
    // Destroys the window and its children.
    virtual ~Oru_Window();
    Oru_Window(const Oru_Window &) = delete;
    Oru_Window &operator=(const Oru_Window &) = delete;

    // Returns false when the native window cannot be made; the object then stays unlinked.
    bool Create(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, bool ownedPopup,
                uint32_t creationFlags, uint32_t extra);
    void Destroy();

    // The virtual operations, in slot order after the destructor.
    virtual intptr_t HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second);
    virtual void SetX(int32_t x);
    virtual void SetY(int32_t y);
    virtual void SetWidth(int32_t width);
    virtual void SetHeight(int32_t height);
    virtual void SetBounds(int32_t x, int32_t y, int32_t width, int32_t height);
    virtual void SetStyle(uint32_t flags, uint32_t extra);
    virtual void SetState(uint32_t flags);
    virtual void ClearStateBits(uint32_t mask);
    virtual void SetStateBits(uint32_t mask);
    virtual void Enable(bool on);
    virtual void ShowCommand(int32_t command);
    virtual void SetText(const std::string &text);
    virtual void Redraw();
    virtual void PaintContent(Canvas &canvas);
    virtual void PaintBackground(Canvas &canvas);
    virtual void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y);
    virtual int32_t KeyEvent(int32_t kind, uint32_t key);
    virtual void SetTextColor(uint32_t color);
    virtual void FocusChanged(int32_t gained);
    virtual void TimerTick(uint32_t id);

    // Geometry and limits (-1 = no limit).
    int32_t X() const { return x_; }
    int32_t Y() const { return y_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    Rect ClientRect() const { return {0, 0, width_, height_}; }
    void SetSizeLimits(int32_t minWidth, int32_t minHeight, int32_t maxWidth, int32_t maxHeight);
    void SetFrameMetrics(int32_t borderWidth, int32_t captionHeight);

    uint32_t State() const;
    uint32_t Style() const { return style_; }
    bool Visible() const { return (State() & kStateVisible) != 0; }
    bool Enabled() const { return (State() & kStateEnabled) != 0; }
    bool Focused() const { return (State() & kStateFocused) != 0; }
    std::string Text() const;
    void SetName(const std::string &name) { name_ = name; }
    const std::string &Name() const { return name_; }

    void SetColors(uint32_t background, uint32_t text);
    uint32_t BackgroundColor() const { return background_; }
    uint32_t TextColor() const { return textColor_; }
    void SetFont(const FontDescription &font);
    FontFace *Font() const;
    const FontHolder &FontSlot() const { return font_; }
    void SetPen(const PenDescription &pen) { pen_.Set(pen); }
    const PenHolder &PenSlot() const { return pen_; }
    // A brush fills the background in place of the background colour.
    void SetBrush(const BrushDescription &brush);
    const BrushHolder &BrushSlot() const { return brush_; }
    // The canvas of the paint in progress, null between paints.
    Canvas *PaintCanvas() const { return canvas_; }

    void SetClickCallback(void (*function)(Oru_Window *, void *), void *context = nullptr);
    void SetContextCallback(void (*function)(Oru_Window *, void *), void *context = nullptr);
    void SetTimerCallback(void (*function)(Oru_Window *, void *), void *context = nullptr);
    void SetTimer(uint32_t id, uint32_t milliseconds);
    void KillTimer(uint32_t id);

    Oru_Window *Parent() const { return parent_; }
    Oru_Window *FirstChild() const { return firstChild_; }
    Oru_Window *NextSibling() const { return nextSibling_; }
    Oru_Window *TopLevel() const { return topLevel_; }
    uint32_t NativeHandle() const { return native_; }
    bool HasNativeWindow() const { return ownsNative_; }
    // Position of this window in its top-level window's client area.
    int32_t OffsetX() const;
    int32_t OffsetY() const;

    // Keyboard focus among the windowless children of a top-level window.
    void SetFocus();
    bool AcceptsFocus() const { return acceptsFocus_ && Visible() && Enabled(); }
    Oru_Window *FocusedChild() const { return focused_; }

    // Paints now, bypassing the queue (what a paint message does). Returns the area shown.
    Rect Paint();
    // Paints counted since creation; tests see what a repaint touched.
    uint32_t ContentPaints() const { return contentPaints_; }
    // The top-level window's off-screen map (kept between paints with kStyleKeepBitmap), or null.
    const OruDynamicPixMap *Offscreen() const { return offscreen_; }

protected:
    void Changed() { onClick_(this); }
    void ContextClicked() { onContext_(this); }
    void SetAcceptsFocus(bool on) { acceptsFocus_ = on; }
    // Before Create: a top-level window that does not end the thread's loop when it goes (message boxes).
    void SetEndsLoop(bool on) { endsLoop_ = on; }

private:
    friend void DispatchPlatformMessage(const PlatformMessage &message);

    Oru_Window *ChildAt(int32_t x, int32_t y, int32_t &localX, int32_t &localY);
    void RouteMouse(uint32_t message, uint32_t keys, int32_t x, int32_t y);
    void RouteKey(int32_t kind, uint32_t key);
    // Tab goes forward through the focusable children in creation order, shift-tab back.
    void MoveFocus(bool backward);
    void BeginFrameDrag(int32_t code, int32_t screenX, int32_t screenY);
    void ContinueFrameDrag(int32_t screenX, int32_t screenY);
    int32_t HitTest(int32_t screenX, int32_t screenY);
    intptr_t ClampSizing(uint32_t edge, Rect &bounds) const;
    void PushNativeBounds();
    void PaintTree(Canvas &canvas);
    void PaintDirty(Canvas &canvas, Rect &painted);
    void ReportPaintFailure(int32_t width, int32_t height);
    void ForgetChild(Oru_Window *child);
    // Tells the owned pop-ups that this window closed or opened.
    void NotifyPopups(bool opening);

    // Links.
    Oru_Window *previous_ = nullptr;
    Oru_Window *next_ = nullptr;
    Oru_Window *parent_ = nullptr;
    Oru_Window *firstChild_ = nullptr;
    Oru_Window *nextSibling_ = nullptr;
    Oru_Window *firstPopup_ = nullptr;
    Oru_Window *nextPopup_ = nullptr;
    Oru_Window *owner_ = nullptr;
    Oru_Window *topLevel_ = nullptr;

    uint32_t native_ = 0;
    bool ownsNative_ = false;
    bool created_ = false;
    bool endsLoop_ = true;
    bool countedTopLevel_ = false;
    bool sizeFromNative_ = false;
    bool hiddenWithOwner_ = false;
    Canvas *canvas_ = nullptr; // while painting

    int32_t x_ = 0;
    int32_t y_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t minWidth_ = -1;
    int32_t minHeight_ = -1;
    int32_t maxWidth_ = -1;
    int32_t maxHeight_ = -1;
    int32_t borderWidth_ = 4;
    int32_t captionHeight_ = 0;
    Rect restoreBounds_;

    std::string text_ = "Untitled";
    std::string name_;
    uint32_t style_ = 0;
    uint32_t extra_ = 0;
    uint32_t state_ = kStateInitial;

    uint32_t background_;
    uint32_t textColor_;
    PenHolder pen_;
    BrushHolder brush_;
    FontHolder font_;

    OruDynamicPixMap *offscreen_ = nullptr;
    std::atomic<uint8_t> fullRepaint_{1};
    uint32_t contentPaints_ = 0;

    WindowCallback onClick_;
    WindowCallback onContext_;
    WindowCallback onTimer_;

    // Input state of a native window: the child holding the mouse, the focused child, a frame drag.
    Oru_Window *captured_ = nullptr;
    Oru_Window *focused_ = nullptr;
    bool acceptsFocus_ = false;
    bool shiftDown_ = false;
    int32_t dragCode_ = 0;
    int32_t dragStartX_ = 0;
    int32_t dragStartY_ = 0;
    Rect dragStartBounds_;

    mutable OruThreadExclusion stateLock_;
    OruThreadExclusion childLock_;
    OruThreadExclusion paintLock_;
};

// What the "Oru_Window Fatal Error" box says when a window's off-screen map cannot be made.
std::string PaintFailureText(int32_t width, int32_t height, const std::string &name, uint32_t error);

// Message loops of the window thread.
// Runs until quit; returns the quit code.
int32_t RunMessageLoop();
// Dispatches what is pending without waiting; false when a quit was taken.
bool PumpMessages();
// Runs the loop until `done` says so, the display has nothing more to give, or quit (which stays queued).
void RunModalLoop(bool (*done)(void *), void *context);
void DispatchPlatformMessage(const PlatformMessage &message);

// Makes the framework's lifelong objects (window registry, drawing-object caches, fallback font) now. An owner
// made after this call and ending at exit (the plug-in closing what the host left open) then still finds them.
void PrepareFramework();

} // namespace sirrel
