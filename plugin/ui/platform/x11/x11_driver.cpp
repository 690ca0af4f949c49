#include "ui/platform/x11/x11_driver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "ui/charsets.h"
#include "ui/geometry.h"

namespace sirrel {

namespace {

enum Atom_ { kDeleteWindow, kProtocols, kMotifHints, kClipboard, kTargets, kUtf8, kProperty, kIcon, kCount };
constexpr const char *kAtomNames[kCount] = {"WM_DELETE_WINDOW", "WM_PROTOCOLS", "_MOTIF_WM_HINTS",  "CLIPBOARD",
                                            "TARGETS",          "UTF8_STRING",  "SIRREL_SELECTION", "_NET_WM_ICON"};
constexpr unsigned long kDoubleClickMilliseconds = 400;
constexpr int32_t kDoubleClickDistance = 4;
constexpr int32_t kLargestSide = 4096;

Display *Dpy(void *display) { return static_cast<Display *>(display); }

// Protocol errors (a window already gone, focus on an unmapped window) are harmless here; the default handler
// would end the process.
int IgnoreError(Display *, XErrorEvent *) { return 0; }
int ReportIoError(Display *) { return 0; }

uint32_t KeyCodeOf(KeySym sym)
{
    switch (sym) {
    case XK_BackSpace:
        return kKeyBack;
    case XK_Tab:
    case XK_ISO_Left_Tab:
        return kKeyTab;
    case XK_Return:
    case XK_KP_Enter:
        return kKeyReturn;
    case XK_Escape:
        return kKeyEscape;
    case XK_space:
        return kKeySpace;
    case XK_End:
        return kKeyEnd;
    case XK_Home:
        return kKeyHome;
    case XK_Left:
        return kKeyLeft;
    case XK_Up:
        return kKeyUp;
    case XK_Right:
        return kKeyRight;
    case XK_Down:
        return kKeyDown;
    case XK_Delete:
        return kKeyDelete;
    case XK_Shift_L:
    case XK_Shift_R:
        return kKeyShift;
    case XK_Control_L:
    case XK_Control_R:
        return kKeyControl;
    default:
        if (sym >= XK_a && sym <= XK_z)
            return uint32_t(sym - XK_a + 'A');
        if ((sym >= XK_A && sym <= XK_Z) || (sym >= XK_0 && sym <= XK_9))
            return uint32_t(sym);
        return 0;
    }
}

uint32_t KeyState(unsigned state)
{
    return ((state & Button1Mask) ? kKeyStateLeft : 0u) | ((state & Button3Mask) ? kKeyStateRight : 0u) |
           ((state & Button2Mask) ? kKeyStateMiddle : 0u) | ((state & ShiftMask) ? kKeyStateShift : 0u) |
           ((state & ControlMask) ? kKeyStateControl : 0u);
}

} // namespace

std::unique_ptr<X11Driver> X11Driver::Open()
{
    const char *name = std::getenv("DISPLAY");
    if (!name || !*name)
        return nullptr;
    XInitThreads();
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    std::unique_ptr<X11Driver> driver(new X11Driver);
    driver->display_ = display;
    XSetErrorHandler(&IgnoreError);
    XSetIOErrorHandler(&ReportIoError);
    XSetIOErrorExitHandler(
        display, [](Display *, void *self) { static_cast<X11Driver *>(self)->Lost(); }, driver.get());
    driver->screen_ = DefaultScreen(display);
    driver->screenWidth_ = DisplayWidth(display, driver->screen_);
    driver->screenHeight_ = DisplayHeight(display, driver->screen_);
    driver->depth_ = DefaultDepth(display, driver->screen_);
    const Visual *visual = DefaultVisual(display, driver->screen_);
    driver->trueColor_ = visual->c_class == TrueColor || visual->c_class == DirectColor;
    driver->masks_[0] = visual->red_mask;
    driver->masks_[1] = visual->green_mask;
    driver->masks_[2] = visual->blue_mask;
    driver->wordsAsTheyAre_ = driver->trueColor_ && (driver->depth_ == 24 || driver->depth_ == 32) &&
                              visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
    Atom atoms[kCount];
    XInternAtoms(display, const_cast<char **>(kAtomNames), kCount, False, atoms);
    std::copy_n(atoms, kCount, driver->atoms_);
    driver->helper_ = XCreateSimpleWindow(display, RootWindow(display, driver->screen_), 0, 0, 1, 1, 0, 0, 0);
    const unsigned shapes[] = {
        XC_left_ptr,          XC_xterm, XC_sb_h_double_arrow, XC_sb_v_double_arrow, XC_bottom_right_corner,
        XC_bottom_left_corner};
    for (size_t i = 0; i < std::size(shapes); ++i)
        driver->cursors_[i] = XCreateFontCursor(display, shapes[i]);
    if (pipe2(driver->wake_, O_NONBLOCK | O_CLOEXEC) != 0)
        return nullptr;
    return driver;
}

X11Driver::~X11Driver()
{
    if (display_ && !lost_)
        XCloseDisplay(Dpy(display_));
    for (int fd : wake_) {
        if (fd >= 0)
            close(fd);
    }
}

void X11Driver::Lost()
{
    // Called from inside Xlib, perhaps with lock_ held: only the flag. Xlib may not be used again on this
    // connection, and the display structure is left as it is.
    lost_ = true;
}

uint32_t X11Driver::CreateNativeWindow(const NativeWindowSpec &spec)
{
    if (lost_)
        return 0;
    Display *d = Dpy(display_);
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;
    attributes.event_mask = ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | KeyPressMask | KeyReleaseMask | FocusChangeMask;
    const Window parent = spec.parent ? Window(spec.parent) : RootWindow(d, screen_);
    const int32_t width = std::clamp(spec.width, 1, kLargestSide);
    const int32_t height = std::clamp(spec.height, 1, kLargestSide);
    const Window window = XCreateWindow(d, parent, spec.x, spec.y, unsigned(width), unsigned(height), 0, CopyFromParent,
                                        InputOutput, CopyFromParent, CWBackPixmap | CWEventMask, &attributes);
    if (!window)
        return 0;
    if (!spec.parent) {
        Atom protocols[] = {Atom(atoms_[kDeleteWindow])};
        XSetWMProtocols(d, window, protocols, 1);
        // Frames are drawn by the framework: no decorations from the window manager.
        const long hints[5] = {2, 0, 0, 0, 0};
        XChangeProperty(d, window, Atom(atoms_[kMotifHints]), Atom(atoms_[kMotifHints]), 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(hints), 5);
        XSizeHints size{};
        size.flags = USPosition | USSize;
        size.x = spec.x;
        size.y = spec.y;
        size.width = width;
        size.height = height;
        XSetWMNormalHints(d, window, &size);
        if (spec.owner)
            XSetTransientForHint(d, window, Window(spec.owner));
    }
    std::lock_guard<std::mutex> hold(lock_);
    windows_[uint32_t(window)] = {kSizeRestored, spec.x, spec.y, width, height};
    return uint32_t(window);
}

void X11Driver::DestroyNativeWindow(uint32_t window)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        windows_.erase(window);
        timers_.KillWindow(window);
        dirty_.Remove(window);
        std::erase_if(queue_, [&](const PlatformMessage &m) { return m.window == window; });
    }
    if (!lost_) {
        XDestroyWindow(Dpy(display_), Window(window));
        XFlush(Dpy(display_));
    }
}

void X11Driver::SetNativeBounds(uint32_t window, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t sizeKind)
{
    width = std::clamp(width, 1, kLargestSide);
    height = std::clamp(height, 1, kLargestSide);
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto found = windows_.find(window);
        if (found == windows_.end())
            return;
        found->second.sizeKind = sizeKind;
    }
    if (!lost_)
        XMoveResizeWindow(Dpy(display_), Window(window), x, y, unsigned(width), unsigned(height));
}

void X11Driver::ShowNativeWindow(uint32_t window, bool visible)
{
    if (lost_)
        return;
    if (visible)
        XMapRaised(Dpy(display_), Window(window));
    else
        XUnmapWindow(Dpy(display_), Window(window));
    XFlush(Dpy(display_));
}

void X11Driver::SetNativeTitle(uint32_t window, const std::string &title)
{
    if (!lost_)
        XStoreName(Dpy(display_), Window(window), title.c_str());
}

void X11Driver::SetNativeIcon(uint32_t window, const std::vector<uint32_t> &pixels, int32_t width, int32_t height)
{
    if (lost_ || width <= 0 || height <= 0 || pixels.size() < size_t(width) * size_t(height))
        return;
    // The property's items are C longs, whatever their width, one pixel in each.
    using Item = unsigned long;
    std::vector<Item> data;
    data.reserve(2 + pixels.size());
    data.push_back(Item(width));
    data.push_back(Item(height));
    data.insert(data.end(), pixels.begin(), pixels.begin() + size_t(width) * size_t(height));
    XChangeProperty(Dpy(display_), Window(window), Atom(atoms_[kIcon]), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(data.data()), int(data.size()));
}

void X11Driver::InvalidateNativeWindow(uint32_t window)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!windows_.count(window) || !dirty_.Add(window))
        return;
    const char wake = 1;
    (void)!write(wake_[1], &wake, 1);
}

unsigned long X11Driver::PixelOf(uint32_t rgb)
{
    const uint32_t channels[3] = {(rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF};
    if (trueColor_) {
        unsigned long pixel = 0;
        for (int i = 0; i < 3; ++i) {
            if (!masks_[i])
                continue;
            const int shift = __builtin_ctzl(masks_[i]);
            const int bits = std::min(__builtin_popcountl(masks_[i]), 8);
            pixel |= (static_cast<unsigned long>(channels[i] >> (8 - bits)) << shift) & masks_[i];
        }
        return pixel;
    }
    auto found = allocated_.find(rgb);
    if (found != allocated_.end())
        return found->second;
    Display *d = Dpy(display_);
    XColor color{};
    color.red = static_cast<unsigned short>(channels[0] * 257);
    color.green = static_cast<unsigned short>(channels[1] * 257);
    color.blue = static_cast<unsigned short>(channels[2] * 257);
    color.flags = DoRed | DoGreen | DoBlue;
    unsigned long pixel;
    if (XAllocColor(d, DefaultColormap(d, screen_), &color)) {
        pixel = color.pixel;
    } else {
        // A full colour map: black or white, whichever is nearer.
        const uint32_t light = channels[0] * 3 + channels[1] * 6 + channels[2];
        pixel = light >= 1280 ? WhitePixel(d, screen_) : BlackPixel(d, screen_);
    }
    allocated_.emplace(rgb, pixel);
    return pixel;
}

uint32_t X11Driver::RgbOf(unsigned long pixel)
{
    if (trueColor_) {
        uint32_t rgb = 0;
        for (int i = 0; i < 3; ++i) {
            if (!masks_[i])
                continue;
            const int shift = __builtin_ctzl(masks_[i]);
            const int bits = std::min(__builtin_popcountl(masks_[i]), 8);
            uint32_t value = uint32_t((pixel & masks_[i]) >> shift) << (8 - bits);
            value |= value >> bits; // spread the top bits into the ones the screen lacks
            rgb |= (value & 0xFF) << (16 - 8 * i);
        }
        return rgb;
    }
    XColor color{};
    color.pixel = pixel;
    XQueryColor(Dpy(display_), DefaultColormap(Dpy(display_), screen_), &color);
    return uint32_t(color.red >> 8) << 16 | uint32_t(color.green >> 8) << 8 | uint32_t(color.blue >> 8);
}

void X11Driver::Blit(uint32_t window, const OruDynamicPixMap &map, int32_t sourceX, int32_t sourceY, int32_t width,
                     int32_t height, int32_t x, int32_t y)
{
    if (lost_ || map.BitsPerPixel != 32 || !map.Pixels)
        return;
    // Only what the map has.
    const Rect source = {std::max(sourceX, 0), std::max(sourceY, 0), std::min(sourceX + width, map.Width),
                         std::min(sourceY + height, map.Height)};
    x += source.left - sourceX;
    y += source.top - sourceY;
    width = source.right - source.left;
    height = source.bottom - source.top;
    if (width <= 0 || height <= 0)
        return;
    Display *d = Dpy(display_);
    Visual *visual = DefaultVisual(d, screen_);
    XImage *image;
    if (wordsAsTheyAre_) {
        // The map's 0x00RRGGBB words are what the screen takes.
        image = XCreateImage(d, visual, unsigned(depth_), ZPixmap, 0, reinterpret_cast<char *>(map.Pixels),
                             unsigned(map.Width), unsigned(map.Height), 32, int(map.Stride));
        if (!image)
            return;
        image->byte_order = LSBFirst;
        XPutImage(d, Window(window), DefaultGC(d, screen_), image, source.left, source.top, x, y, unsigned(width),
                  unsigned(height));
        image->data = nullptr; // the map keeps its pixels
    } else {
        image =
            XCreateImage(d, visual, unsigned(depth_), ZPixmap, 0, nullptr, unsigned(width), unsigned(height), 32, 0);
        if (!image)
            return;
        image->data = static_cast<char *>(std::malloc(size_t(image->bytes_per_line) * size_t(height)));
        if (!image->data) {
            XDestroyImage(image);
            return;
        }
        for (int32_t row = 0; row < height; ++row) {
            const auto *line = reinterpret_cast<const uint32_t *>(map.Pixels + size_t(source.top + row) * map.Stride);
            for (int32_t column = 0; column < width; ++column)
                XPutPixel(image, column, row, PixelOf(line[source.left + column] & 0xFFFFFF));
        }
        XPutImage(d, Window(window), DefaultGC(d, screen_), image, 0, 0, x, y, unsigned(width), unsigned(height));
    }
    XDestroyImage(image);
    XFlush(d);
}

void X11Driver::SetFocus(uint32_t window)
{
    if (lost_)
        return;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(Dpy(display_), Window(window), &attributes) && attributes.map_state == IsViewable)
        XSetInputFocus(Dpy(display_), Window(window), RevertToParent, CurrentTime);
}

void X11Driver::SetCursor(Cursor cursor)
{
    if (lost_ || !pointerWindow_)
        return;
    XDefineCursor(Dpy(display_), Window(pointerWindow_), ::Cursor(cursors_[size_t(cursor)]));
}

void X11Driver::Post(uint32_t window, uint32_t message, uintptr_t first, intptr_t second)
{
    queue_.push_back({window, message, first, second});
}

void X11Driver::PostMessage(uint32_t window, uint32_t message, uintptr_t first, intptr_t second)
{
    std::lock_guard<std::mutex> hold(lock_);
    Post(window, message, first, second);
    const char wake = 1;
    (void)!write(wake_[1], &wake, 1);
}

void X11Driver::Translate(void *raw)
{
    XEvent &event = *static_cast<XEvent *>(raw);
    const uint32_t window = uint32_t(event.xany.window);
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0 && windows_.count(window))
            dirty_.Add(window, true);
        break;
    case ConfigureNotify: {
        auto found = windows_.find(window);
        if (found == windows_.end())
            break;
        WindowInfo &info = found->second;
        const XConfigureEvent &c = event.xconfigure;
        if (c.x != info.x || c.y != info.y) {
            info.x = c.x;
            info.y = c.y;
            Post(window, kMsgMove, 0, PackPoint(c.x, c.y));
        }
        if (c.width != info.width || c.height != info.height) {
            info.width = c.width;
            info.height = c.height;
            Post(window, kMsgSize, info.sizeKind, PackPoint(c.width, c.height));
        }
        break;
    }
    case ButtonPress:
    case ButtonRelease: {
        const XButtonEvent &b = event.xbutton;
        // Buttons 4 and 5 are the wheel's notches away from and towards the user.
        if (b.button == Button4 || b.button == Button5) {
            if (event.type == ButtonPress) {
                const int32_t turn = b.button == Button4 ? kWheelNotch : -kWheelNotch;
                Post(window, kMsgMouseWheel, PackWheel(KeyState(b.state), turn), PackPoint(b.x, b.y));
            }
            break;
        }
        static const uint32_t downs[] = {0, kMsgLeftDown, kMsgMiddleDown, kMsgRightDown};
        static const uint32_t ups[] = {0, kMsgLeftUp, kMsgMiddleUp, kMsgRightUp};
        if (b.button < 1 || b.button > 3)
            break;
        pointerWindow_ = window;
        uint32_t message = event.type == ButtonPress ? downs[b.button] : ups[b.button];
        if (event.type == ButtonPress) {
            const bool again = b.button == lastButton_ && b.time - lastButtonTime_ < kDoubleClickMilliseconds &&
                               std::abs(b.x - lastButtonX_) <= kDoubleClickDistance &&
                               std::abs(b.y - lastButtonY_) <= kDoubleClickDistance;
            if (again)
                message += 2; // down -> double-click
            lastButton_ = again ? 0 : b.button;
            lastButtonTime_ = b.time;
            lastButtonX_ = b.x;
            lastButtonY_ = b.y;
        }
        Post(window, message, KeyState(b.state), PackPoint(b.x, b.y));
        break;
    }
    case MotionNotify:
        pointerWindow_ = window;
        Post(window, kMsgMouseMove, KeyState(event.xmotion.state), PackPoint(event.xmotion.x, event.xmotion.y));
        break;
    case KeyPress:
    case KeyRelease: {
        char text[8] = {};
        KeySym sym = NoSymbol;
        const int length = XLookupString(&event.xkey, text, sizeof text, &sym, nullptr);
        if (const uint32_t key = KeyCodeOf(sym))
            Post(window, event.type == KeyPress ? kMsgKeyDown : kMsgKeyUp, key, 0);
        if (event.type == KeyPress && length == 1)
            Post(window, kMsgChar, static_cast<unsigned char>(text[0]), 0);
        break;
    }
    case FocusIn:
        Post(window, kMsgSetFocus, 0, 0);
        break;
    case FocusOut:
        Post(window, kMsgKillFocus, 0, 0);
        break;
    case ClientMessage:
        if (Atom(event.xclient.data.l[0]) == Atom(atoms_[kDeleteWindow]))
            Post(window, kMsgClose, 0, 0);
        break;
    case SelectionRequest:
        ServeSelection(&event.xselectionrequest);
        break;
    default:
        break;
    }
}

void X11Driver::ServeSelection(void *raw)
{
    const XSelectionRequestEvent &request = *static_cast<XSelectionRequestEvent *>(raw);
    Display *d = Dpy(display_);
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = request.property ? request.property : request.target;
    if (request.target == Atom(atoms_[kTargets])) {
        const Atom targets[] = {Atom(atoms_[kTargets]), XA_STRING, Atom(atoms_[kUtf8])};
        XChangeProperty(d, request.requestor, reply.property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(targets), 3);
    } else if (request.target == XA_STRING || request.target == Atom(atoms_[kUtf8])) {
        const std::string text = request.target == XA_STRING ? Utf8ToLatin1(clipboard_) : clipboard_;
        XChangeProperty(d, request.requestor, reply.property, request.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(text.data()), int(text.size()));
    } else {
        reply.property = None;
    }
    XSendEvent(d, request.requestor, False, 0, reinterpret_cast<XEvent *>(&reply));
    XFlush(d);
}

bool X11Driver::Wait(bool untilTimer)
{
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {lost_ ? -1 : ConnectionNumber(Dpy(display_)), POLLIN, 0}};
    int timeout = -1;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (auto next = timers_.NextDue(); next && untilTimer) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*next - TimerQueue::Clock::now());
            timeout = int(std::clamp<int64_t>(left.count() + 1, 0, 60000));
        }
    }
    if (!untilTimer)
        timeout = 100;
    const int ready = poll(fds, 2, timeout);
    if (ready > 0 && (fds[0].revents & POLLIN)) {
        char drain[64];
        while (read(wake_[0], drain, sizeof drain) > 0) {}
    }
    if (ready > 0 && (fds[1].revents & (POLLHUP | POLLERR)))
        Lost();
    return true;
}

bool X11Driver::NextMessage(PlatformMessage &message, bool wait)
{
    for (;;) {
        if (!lost_) {
            Display *d = Dpy(display_);
            while (!lost_ && XPending(d) > 0) {
                XEvent event;
                XNextEvent(d, &event);
                std::lock_guard<std::mutex> hold(lock_);
                Translate(&event);
            }
        }
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (!queue_.empty()) {
                message = queue_.front();
                queue_.pop_front();
                return true;
            }
            if (auto idle = NextIdleMessage(timers_, dirty_)) {
                message = *idle;
                return true;
            }
        }
        if (!wait)
            return false;
        Wait(true);
    }
}

bool X11Driver::Idle()
{
    if (lost_)
        return false;
    Wait(false);
    return true;
}

void X11Driver::SetTimer(uint32_t window, uint32_t id, uint32_t milliseconds)
{
    std::lock_guard<std::mutex> hold(lock_);
    timers_.Set(window, id, milliseconds);
    const char wake = 1;
    (void)!write(wake_[1], &wake, 1);
}

void X11Driver::KillTimer(uint32_t window, uint32_t id)
{
    std::lock_guard<std::mutex> hold(lock_);
    timers_.Kill(window, id);
}

void X11Driver::SetClipboardText(const std::string &text)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        clipboard_ = text;
    }
    if (!lost_) {
        XSetSelectionOwner(Dpy(display_), Atom(atoms_[kClipboard]), Window(helper_), CurrentTime);
        // A round trip: a program that pastes right after the copy finds the clipboard already ours.
        XSync(Dpy(display_), False);
    }
}

std::string X11Driver::ClipboardText()
{
    if (lost_)
        return {};
    Display *d = Dpy(display_);
    const Window owner = XGetSelectionOwner(d, Atom(atoms_[kClipboard]));
    if (owner == Window(helper_) || owner == None) {
        std::lock_guard<std::mutex> hold(lock_);
        return owner == None ? std::string() : clipboard_;
    }
    // UTF-8 first; an owner that only has Latin-1 answers the second request.
    std::string text;
    if (ConvertSelection(Atom(atoms_[kUtf8]), text))
        return text;
    if (ConvertSelection(XA_STRING, text))
        return BytesToUtf8(text, Latin1Map());
    return {};
}

bool X11Driver::ConvertSelection(unsigned long target, std::string &text)
{
    Display *d = Dpy(display_);
    XConvertSelection(d, Atom(atoms_[kClipboard]), Atom(target), Atom(atoms_[kProperty]), Window(helper_), CurrentTime);
    XFlush(d);
    // Another program answers; give it a second.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    XEvent event;
    while (!lost_ && !XCheckTypedWindowEvent(d, Window(helper_), SelectionNotify, &event)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        pollfd fd{ConnectionNumber(d), POLLIN, 0};
        poll(&fd, 1, 20);
    }
    if (lost_ || event.xselection.property == None)
        return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char *data = nullptr;
    const bool read = XGetWindowProperty(d, Window(helper_), Atom(atoms_[kProperty]), 0, 1 << 20, True, AnyPropertyType,
                                         &type, &format, &count, &remaining, &data) == Success &&
                      data && format == 8;
    if (read)
        text.assign(reinterpret_cast<const char *>(data), count);
    if (data)
        XFree(data);
    // An owner may answer a UTF-8 request with Latin-1 text all the same.
    if (read && type == XA_STRING && target != XA_STRING)
        text = BytesToUtf8(text, Latin1Map());
    return read;
}

std::vector<uint32_t> X11Driver::Capture(uint32_t window, int32_t &width, int32_t &height)
{
    width = height = 0;
    if (lost_)
        return {};
    Display *d = Dpy(display_);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d, Window(window), &attributes))
        return {};
    XImage *image =
        XGetImage(d, Window(window), 0, 0, unsigned(attributes.width), unsigned(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return {};
    width = attributes.width;
    height = attributes.height;
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    std::map<unsigned long, uint32_t> colors; // one query per screen pixel value
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            auto known = colors.find(pixel);
            if (known == colors.end())
                known = colors.emplace(pixel, RgbOf(pixel)).first;
            pixels[size_t(y) * width + x] = known->second;
        }
    }
    XDestroyImage(image);
    return pixels;
}

void X11Driver::Sync()
{
    if (!lost_)
        XSync(Dpy(display_), False);
}

void X11Driver::Click(uint32_t window, int32_t x, int32_t y)
{
    if (lost_)
        return;
    Display *d = Dpy(display_);
    for (int type : {ButtonPress, ButtonRelease}) {
        XEvent event{};
        event.xbutton.type = type;
        event.xbutton.display = d;
        event.xbutton.window = Window(window);
        event.xbutton.root = RootWindow(d, screen_);
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.button = Button1;
        event.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
        event.xbutton.same_screen = True;
        XSendEvent(d, Window(window), True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
    }
    XFlush(d);
}

} // namespace sirrel
