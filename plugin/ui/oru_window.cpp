#include "ui/oru_window.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace sirrel {

namespace {

// Geometry beyond this is someone's mistake; it is cut here so that every later computation stays in range.
constexpr int32_t kLargestCoordinate = 16384;
constexpr uint32_t kFirstSharedTimer = 0x10000;

struct Registry {
    std::mutex lock;
    Oru_Window *first = nullptr;                           // the global list of all windows
    std::unordered_map<uint32_t, Oru_Window *> byHandle;   // the native window's user data
    std::map<std::thread::id, int32_t> topLevelsPerThread; // quit follows the last one
    // Timers of windowless children run on their top-level's native window under ids of their own.
    struct Timer {
        Oru_Window *window;
        uint32_t id;
    };
    std::map<std::pair<uint32_t, uint32_t>, Timer> timers;
    uint32_t nextTimer = kFirstSharedTimer;
};

Registry &Windows()
{
    static Registry registry;
    return registry;
}

Oru_Window *WindowOf(uint32_t handle)
{
    Registry &r = Windows();
    std::lock_guard<std::mutex> hold(r.lock);
    auto found = r.byHandle.find(handle);
    return found == r.byHandle.end() ? nullptr : found->second;
}

int32_t Coordinate(int32_t value) { return std::clamp(value, -kLargestCoordinate, kLargestCoordinate); }
int32_t Side(int32_t value) { return std::clamp(value, 0, kLargestCoordinate); }

} // namespace

const ColorScheme &Scheme()
{
    static const ColorScheme normal{Rgb(224, 224, 220), Rgb(255, 255, 255), Rgb(128, 128, 128), Rgb(0, 0, 0),
                                    Rgb(255, 255, 255), Rgb(51, 102, 170),  Rgb(255, 255, 255), Rgb(150, 150, 150)};
    static const ColorScheme low{Rgb(192, 192, 192), Rgb(255, 255, 255), Rgb(0, 0, 0),       Rgb(0, 0, 0),
                                 Rgb(255, 255, 255), Rgb(0, 0, 0),       Rgb(255, 255, 255), Rgb(128, 128, 128)};
    return Platform().ColorDepth() <= 8 ? low : normal;
}

Oru_Window::Oru_Window()
    : background_(Scheme().face), textColor_(Scheme().text), pen_(Pens), brush_(Brushes), font_(Fonts)
{
    OruThreadExclusion_Construct(&stateLock_);
    OruThreadExclusion_Construct(&childLock_);
    OruThreadExclusion_Construct(&paintLock_);
}

Oru_Window::~Oru_Window()
{
    Destroy();
    OruThreadExclusion_Destruct(&paintLock_, 0);
    OruThreadExclusion_Destruct(&childLock_, 0);
    OruThreadExclusion_Destruct(&stateLock_, 0);
}

bool Oru_Window::Create(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, bool ownedPopup,
                        uint32_t creationFlags, uint32_t extra)
{
    if (created_ || (parent && !parent->created_))
        return false;
    style_ = creationFlags;
    extra_ = extra;
    x_ = Coordinate(x);
    y_ = Coordinate(y);
    width_ = Side(width);
    height_ = Side(height);
    parent_ = ownedPopup ? nullptr : parent;
    owner_ = ownedPopup ? parent : nullptr;
    ownsNative_ = !parent_ || !(creationFlags & kStyleWindowless);
    if (ownsNative_) {
        NativeWindowSpec spec;
        spec.parent = parent_ ? parent_->native_ : 0;
        spec.owner = owner_ ? owner_->topLevel_->native_ : 0;
        spec.x = parent_ ? parent_->OffsetX() + x_ : x_;
        spec.y = parent_ ? parent_->OffsetY() + y_ : y_;
        spec.width = std::max(width_, 1);
        spec.height = std::max(height_, 1);
        spec.toolWindow = ownedPopup;
        native_ = Platform().CreateNativeWindow(spec);
        if (!native_)
            return false;
        topLevel_ = this;
        Platform().SetNativeTitle(native_, text_);
    } else {
        topLevel_ = parent_->topLevel_;
        native_ = topLevel_->native_;
    }
    {
        Registry &r = Windows();
        std::lock_guard<std::mutex> hold(r.lock);
        next_ = r.first;
        if (r.first)
            r.first->previous_ = this;
        r.first = this;
        if (ownsNative_)
            r.byHandle[native_] = this;
        countedTopLevel_ = ownsNative_ && !parent_ && endsLoop_;
        if (countedTopLevel_)
            ++r.topLevelsPerThread[std::this_thread::get_id()];
    }
    if (parent_) {
        LockHold hold(parent_->childLock_);
        Oru_Window **link = &parent_->firstChild_;
        while (*link)
            link = &(*link)->nextSibling_;
        *link = this;
    }
    if (owner_) {
        LockHold hold(owner_->childLock_);
        nextPopup_ = owner_->firstPopup_;
        owner_->firstPopup_ = this;
    }
    created_ = true;
    fullRepaint_ = 1;
    // Children show with their parent; top-level windows wait for a show command.
    SetState(kStateInitial | (ownsNative_ && !parent_ ? 0u : uint32_t(kStateVisible)));
    return true;
}

void Oru_Window::ForgetChild(Oru_Window *child)
{
    LockHold hold(childLock_);
    for (Oru_Window **link = &firstChild_; *link; link = &(*link)->nextSibling_) {
        if (*link == child) {
            *link = child->nextSibling_;
            break;
        }
    }
    for (Oru_Window **link = &firstPopup_; *link; link = &(*link)->nextPopup_) {
        if (*link == child) {
            *link = child->nextPopup_;
            break;
        }
    }
}

void Oru_Window::Destroy()
{
    if (!created_)
        return;
    while (firstChild_)
        firstChild_->Destroy();
    while (firstPopup_)
        firstPopup_->Destroy();
    bool lastTopLevel = false;
    {
        Registry &r = Windows();
        std::lock_guard<std::mutex> hold(r.lock);
        for (auto it = r.timers.begin(); it != r.timers.end();) {
            if (it->second.window == this) {
                Platform().KillTimer(it->first.first, it->first.second);
                it = r.timers.erase(it);
            } else {
                ++it;
            }
        }
        if (previous_)
            previous_->next_ = next_;
        else
            r.first = next_;
        if (next_)
            next_->previous_ = previous_;
        previous_ = next_ = nullptr;
        if (ownsNative_)
            r.byHandle.erase(native_);
        if (countedTopLevel_) {
            countedTopLevel_ = false;
            auto count = r.topLevelsPerThread.find(std::this_thread::get_id());
            if (count != r.topLevelsPerThread.end() && --count->second <= 0) {
                r.topLevelsPerThread.erase(count);
                lastTopLevel = true;
            }
        }
    }
    if (topLevel_ && topLevel_ != this) {
        if (topLevel_->captured_ == this)
            topLevel_->captured_ = nullptr;
        if (topLevel_->focused_ == this)
            topLevel_->focused_ = nullptr;
    }
    Oru_Window *parent = parent_;
    if (parent_)
        parent_->ForgetChild(this);
    if (owner_)
        owner_->ForgetChild(this);
    parent_ = owner_ = nullptr;
    nextSibling_ = nextPopup_ = nullptr;
    created_ = false;
    if (ownsNative_) {
        Platform().DestroyNativeWindow(native_);
        if (lastTopLevel)
            Platform().PostMessage(0, kMsgQuit, 0, 0);
    } else if (parent) {
        parent->Redraw();
    }
    native_ = 0;
    ownsNative_ = false;
    topLevel_ = nullptr;
    captured_ = focused_ = nullptr;
    if (offscreen_) {
        OruDynamicPixMap_Destruct(offscreen_, 1);
        offscreen_ = nullptr;
    }
    pen_.Clear();
    brush_.Clear();
    font_.Clear();
}

intptr_t Oru_Window::HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second)
{
    switch (message) {
    case kMsgMouseMove:
    case kMsgLeftDown:
    case kMsgLeftUp:
    case kMsgLeftDoubleClick:
    case kMsgMiddleDown:
    case kMsgMiddleUp:
    case kMsgMiddleDoubleClick:
    case kMsgRightDown:
    case kMsgRightUp:
    case kMsgRightDoubleClick:
    case kMsgMouseWheel:
        RouteMouse(message, uint32_t(first), PointX(second), PointY(second));
        return 0;
    case kMsgChar:
        RouteKey(kKeyCharacter, uint32_t(first));
        return 0;
    case kMsgKeyDown:
        RouteKey(kKeyPressed, uint32_t(first));
        return 0;
    case kMsgKeyUp:
        RouteKey(kKeyReleased, uint32_t(first));
        return 0;
    case kMsgSetFocus:
        FocusChanged(1);
        return 0;
    case kMsgKillFocus:
        FocusChanged(0);
        return 0;
    case kMsgMove: {
        LockHold hold(stateLock_);
        x_ = PointX(second);
        y_ = PointY(second);
        return 0;
    }
    case kMsgSize:
        if (first == kSizeMaximized)
            SetStateBits(kStateMaximized);
        else if (first == kSizeRestored)
            ClearStateBits(kStateMaximized);
        // The native window has this size already; sending it back would chase older notifications.
        sizeFromNative_ = true;
        SetBounds(x_, y_, PointX(second), PointY(second));
        sizeFromNative_ = false;
        return 0;
    case kMsgPaint:
        for (Oru_Window *w = this; w; w = w->parent_) {
            if (!w->Visible())
                return 0;
        }
        // Uncovered pixels are gone from the screen even where nothing changed.
        if (first == kPaintExposed)
            fullRepaint_ = 1;
        Paint();
        return 0;
    case kMsgEraseBackground:
        return 1;
    case kMsgSizing:
        return ClampSizing(uint32_t(first), *reinterpret_cast<Rect *>(second));
    case kMsgSystemCommand:
        switch (first & 0xFFF0) {
        case kSysCommandMaximize:
            ShowCommand(kShowMaximize);
            break;
        case kSysCommandMinimize:
            ShowCommand(kShowMinimize);
            break;
        case kSysCommandRestore:
            ShowCommand(kShowRestore);
            break;
        }
        return 0;
    case kMsgShowWindow:
        // The owner closing (1) or opening (3): only pop-ups the closing hid come back with the opening.
        if (second == 1 && Visible() && !(State() & kStateMinimized)) {
            hiddenWithOwner_ = true;
            ShowCommand(kShowMinimize);
        } else if (second == 3 && hiddenWithOwner_) {
            hiddenWithOwner_ = false;
            ShowCommand(kShowShow);
        }
        return 0;
    case kMsgNonClientHitTest:
        return HitTest(PointX(second), PointY(second));
    case kMsgTimer:
        TimerTick(uint32_t(first));
        return 0;
    case kMsgClose:
        Destroy();
        return 0;
    default:
        return 0;
    }
}

void Oru_Window::SetX(int32_t x)
{
    if (x != x_)
        SetBounds(x, y_, width_, height_);
}

void Oru_Window::SetY(int32_t y)
{
    if (y != y_)
        SetBounds(x_, y, width_, height_);
}

void Oru_Window::SetWidth(int32_t width)
{
    if (width != width_)
        SetBounds(x_, y_, width, height_);
}

void Oru_Window::SetHeight(int32_t height)
{
    if (height != height_)
        SetBounds(x_, y_, width_, height);
}

void Oru_Window::SetBounds(int32_t x, int32_t y, int32_t width, int32_t height)
{
    x = Coordinate(x);
    y = Coordinate(y);
    width = Side(width);
    height = Side(height);
    {
        LockHold hold(stateLock_);
        if (x == x_ && y == y_ && width == width_ && height == height_)
            return;
        x_ = x;
        y_ = y;
        width_ = width;
        height_ = height;
    }
    if (!created_)
        return;
    if (ownsNative_) {
        if (!sizeFromNative_)
            PushNativeBounds();
        Redraw();
    } else if (parent_) {
        // The old area shows the parent again.
        parent_->Redraw();
    }
}

void Oru_Window::PushNativeBounds()
{
    const int32_t nativeX = parent_ ? parent_->OffsetX() + x_ : x_;
    const int32_t nativeY = parent_ ? parent_->OffsetY() + y_ : y_;
    Platform().SetNativeBounds(native_, nativeX, nativeY, std::max(width_, 1), std::max(height_, 1),
                               (State() & kStateMaximized) ? kSizeMaximized : kSizeRestored);
}

void Oru_Window::SetStyle(uint32_t flags, uint32_t extra)
{
    // Whether a window has its own native window is fixed at creation.
    style_ = (flags & ~kStyleWindowless) | (style_ & kStyleWindowless);
    extra_ = extra;
    Redraw();
}

uint32_t Oru_Window::State() const
{
    LockHold hold(stateLock_);
    return state_;
}

void Oru_Window::SetState(uint32_t flags)
{
    uint32_t old;
    {
        LockHold hold(stateLock_);
        old = state_;
        state_ = flags;
    }
    const uint32_t changed = old ^ flags;
    if (!created_ || !changed)
        return;
    if (changed & (kStateVisible | kStateMinimized)) {
        if (ownsNative_) {
            const bool shown = (flags & kStateVisible) && !(flags & kStateMinimized);
            const bool wasShown = (old & kStateVisible) && !(old & kStateMinimized);
            Platform().ShowNativeWindow(native_, shown);
            if (flags & kStateVisible)
                Redraw();
            if (shown != wasShown)
                NotifyPopups(shown);
        } else if (parent_) {
            parent_->Redraw();
        }
    }
    if (changed & (kStateEnabled | kStateChecked | kStatePressed | kStateFocused))
        Redraw();
}

void Oru_Window::NotifyPopups(bool opening)
{
    std::vector<Oru_Window *> popups;
    {
        LockHold hold(childLock_);
        for (Oru_Window *popup = firstPopup_; popup; popup = popup->nextPopup_)
            popups.push_back(popup);
    }
    for (Oru_Window *popup : popups)
        popup->HandleNativeMessage(kMsgShowWindow, opening ? 1 : 0, opening ? 3 : 1);
}

void Oru_Window::ClearStateBits(uint32_t mask)
{
    uint32_t state;
    {
        LockHold hold(stateLock_);
        state = state_ & ~mask;
    }
    SetState(state);
}

void Oru_Window::SetStateBits(uint32_t mask)
{
    uint32_t state;
    {
        LockHold hold(stateLock_);
        state = state_ | mask;
    }
    SetState(state);
}

void Oru_Window::Enable(bool on)
{
    if (on)
        SetStateBits(kStateEnabled);
    else
        ClearStateBits(kStateEnabled);
}

void Oru_Window::ShowCommand(int32_t command)
{
    const uint32_t state = State();
    switch (command) {
    case kShowHide:
        ClearStateBits(kStateVisible);
        break;
    case kShowMaximize:
        if (!(state & kStateMaximized) && !parent_) {
            restoreBounds_ = {x_, y_, x_ + width_, y_ + height_};
            SetStateBits(kStateMaximized);
            SetBounds(0, 0, Platform().ScreenWidth(), Platform().ScreenHeight());
            if (created_)
                PushNativeBounds();
        }
        SetState((State() | kStateVisible) & ~kStateMinimized);
        break;
    case kShowMinimize:
        SetStateBits(kStateMinimized);
        break;
    case kShowRestore:
        if (state & kStateMinimized) {
            ClearStateBits(kStateMinimized);
        } else if (state & kStateMaximized) {
            ClearStateBits(kStateMaximized);
            SetBounds(restoreBounds_.left, restoreBounds_.top, restoreBounds_.Width(), restoreBounds_.Height());
            if (created_ && ownsNative_)
                PushNativeBounds();
        }
        SetStateBits(kStateVisible);
        break;
    default:
        SetState((state | kStateVisible) & ~kStateMinimized);
        break;
    }
}

std::string Oru_Window::Text() const
{
    LockHold hold(stateLock_);
    return text_;
}

void Oru_Window::SetText(const std::string &text)
{
    {
        LockHold hold(stateLock_);
        if (text == text_)
            return;
        text_ = text;
    }
    if (created_ && ownsNative_ && !parent_)
        Platform().SetNativeTitle(native_, text);
    Redraw();
}

void Oru_Window::Redraw()
{
    if (!created_)
        return;
    if (ownsNative_)
        fullRepaint_ = 1;
    else
        SetStateBits(kStateDirty);
    Platform().InvalidateNativeWindow(native_);
}

void Oru_Window::PaintContent(Canvas &) {}

void Oru_Window::PaintBackground(Canvas &canvas)
{
    const BrushObject *brush = brush_.Get();
    canvas.FillRect(ClientRect(), brush ? brush->description.color : background_);
}

void Oru_Window::MouseEvent(int32_t code, uint32_t, int32_t, int32_t)
{
    if (code == kMouseRightUp)
        ContextClicked();
}

int32_t Oru_Window::KeyEvent(int32_t, uint32_t) { return 0; }

void Oru_Window::SetTextColor(uint32_t color)
{
    textColor_ = color;
    Redraw();
}

void Oru_Window::FocusChanged(int32_t) {}

void Oru_Window::TimerTick(uint32_t) { onTimer_(this); }

void Oru_Window::SetSizeLimits(int32_t minWidth, int32_t minHeight, int32_t maxWidth, int32_t maxHeight)
{
    minWidth_ = minWidth < 0 ? -1 : Side(minWidth);
    minHeight_ = minHeight < 0 ? -1 : Side(minHeight);
    maxWidth_ = maxWidth < 0 ? -1 : Side(maxWidth);
    maxHeight_ = maxHeight < 0 ? -1 : Side(maxHeight);
}

void Oru_Window::SetFrameMetrics(int32_t borderWidth, int32_t captionHeight)
{
    borderWidth_ = std::clamp(borderWidth, 0, 64);
    captionHeight_ = std::clamp(captionHeight, 0, kLargestCoordinate);
}

void Oru_Window::SetColors(uint32_t background, uint32_t text)
{
    background_ = background;
    textColor_ = text;
    Redraw();
}

void Oru_Window::SetBrush(const BrushDescription &brush)
{
    brush_.Set(brush);
    Redraw();
}

void Oru_Window::SetFont(const FontDescription &font)
{
    font_.Set(font);
    Redraw();
}

FontFace *Oru_Window::Font() const
{
    for (const Oru_Window *w = this; w; w = w->parent_ ? w->parent_ : w->owner_) {
        if (const FontObject *font = w->font_.Get())
            return font->face.get();
    }
    // The cache first, so that it outlives the holder at exit.
    static FontCache &cache = Fonts();
    static FontHolder fallback(Fonts);
    (void)cache;
    if (!fallback.Get())
        fallback.Set(FontDescription::Make("Arial", 13));
    return fallback.Get()->face.get();
}

void Oru_Window::SetClickCallback(void (*function)(Oru_Window *, void *), void *context)
{
    onClick_ = {function, context ? context : this};
}

void Oru_Window::SetContextCallback(void (*function)(Oru_Window *, void *), void *context)
{
    onContext_ = {function, context ? context : this};
}

void Oru_Window::SetTimerCallback(void (*function)(Oru_Window *, void *), void *context)
{
    onTimer_ = {function, context ? context : this};
}

void Oru_Window::SetTimer(uint32_t id, uint32_t milliseconds)
{
    if (!created_)
        return;
    KillTimer(id);
    Registry &r = Windows();
    uint32_t platformId = id;
    {
        std::lock_guard<std::mutex> hold(r.lock);
        if (!ownsNative_ || id >= kFirstSharedTimer)
            platformId = r.nextTimer++ | kFirstSharedTimer;
        r.timers[{native_, platformId}] = {this, id};
    }
    Platform().SetTimer(native_, platformId, milliseconds);
}

void Oru_Window::KillTimer(uint32_t id)
{
    Registry &r = Windows();
    std::lock_guard<std::mutex> hold(r.lock);
    for (auto it = r.timers.begin(); it != r.timers.end(); ++it) {
        if (it->second.window == this && it->second.id == id) {
            Platform().KillTimer(it->first.first, it->first.second);
            r.timers.erase(it);
            return;
        }
    }
}

int32_t Oru_Window::OffsetX() const
{
    int32_t x = 0;
    for (const Oru_Window *w = this; w && w != topLevel_; w = w->parent_)
        x += w->x_;
    return x;
}

int32_t Oru_Window::OffsetY() const
{
    int32_t y = 0;
    for (const Oru_Window *w = this; w && w != topLevel_; w = w->parent_)
        y += w->y_;
    return y;
}

void DispatchPlatformMessage(const PlatformMessage &message)
{
    if (message.message == kMsgTimer) {
        Oru_Window *target = nullptr;
        uint32_t id = 0;
        {
            Registry &r = Windows();
            std::lock_guard<std::mutex> hold(r.lock);
            auto found = r.timers.find({message.window, uint32_t(message.first)});
            if (found != r.timers.end()) {
                target = found->second.window;
                id = found->second.id;
            }
        }
        if (target)
            target->HandleNativeMessage(kMsgTimer, id, 0);
        return;
    }
    if (Oru_Window *window = WindowOf(message.window))
        window->HandleNativeMessage(message.message, message.first, message.second);
}

void PrepareFramework()
{
    Windows();
    Pens();
    Brushes();
    const Oru_Window probe;
    probe.Font();
}

int32_t RunMessageLoop()
{
    PlatformMessage message;
    while (Platform().NextMessage(message, true)) {
        if (message.message == kMsgQuit && message.window == 0)
            return int32_t(message.first);
        DispatchPlatformMessage(message);
    }
    return 0;
}

bool PumpMessages()
{
    PlatformMessage message;
    while (Platform().NextMessage(message, false)) {
        if (message.message == kMsgQuit && message.window == 0)
            return false;
        DispatchPlatformMessage(message);
    }
    return true;
}

void RunModalLoop(bool (*done)(void *), void *context)
{
    PlatformMessage message;
    while (!done(context)) {
        if (Platform().NextMessage(message, false)) {
            if (message.message == kMsgQuit && message.window == 0) {
                // The outer loop must see it too.
                Platform().PostMessage(0, kMsgQuit, message.first, message.second);
                return;
            }
            DispatchPlatformMessage(message);
        } else if (!Platform().Idle()) {
            return;
        }
    }
}

} // namespace sirrel
