// The clipboard between the plug-in and other X programs: the text goes out as UTF-8 (Latin-1 to a program that
// asks for STRING) and comes in as UTF-8 whichever of the two the other program offers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "ui/oru_window.h"
#include "ui/platform/x11/x11_driver.h"
#include "x11_platform.h"

// Last: Xlib's macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace sirrel::test {
namespace {

const std::string kCyrillic = "\u0410\u0411 z"; // АБ z

// Another X program on the same display.
class OtherProgram {
public:
    OtherProgram() : display_(XOpenDisplay(nullptr))
    {
        if (!display_)
            return;
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
        utf8_ = XInternAtom(display_, "UTF8_STRING", False);
        property_ = XInternAtom(display_, "OTHER_PASTE", False);
    }
    ~OtherProgram()
    {
        if (display_)
            XCloseDisplay(display_);
    }
    bool Open() const { return display_ != nullptr; }
    Atom Utf8() const { return utf8_; }

    // Pastes the clipboard as `target`, while the plug-in's loop serves the request.
    std::string Paste(Atom target, X11Driver &plugin, Atom &type)
    {
        XConvertSelection(display_, clipboard_, target, property_, window_, CurrentTime);
        XFlush(display_);
        XEvent event;
        for (int i = 0; i < 200; ++i) {
            plugin.Sync();
            PumpMessages();
            if (XCheckTypedWindowEvent(display_, window_, SelectionNotify, &event))
                return Read(event, type);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ADD_FAILURE() << "no answer";
        return {};
    }

    // Takes the clipboard with `text`, offered only as `offered`, and answers requests until `stop`.
    void Own(const std::string &text, Atom offered, const std::atomic<bool> &stop)
    {
        XSetSelectionOwner(display_, clipboard_, window_, CurrentTime);
        XFlush(display_);
        while (!stop.load()) {
            XEvent event;
            if (!XCheckTypedWindowEvent(display_, window_, SelectionRequest, &event)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            const XSelectionRequestEvent &request = event.xselectionrequest;
            XSelectionEvent reply{};
            reply.type = SelectionNotify;
            reply.requestor = request.requestor;
            reply.selection = request.selection;
            reply.target = request.target;
            reply.time = request.time;
            reply.property = None;
            if (request.target == offered) {
                reply.property = request.property;
                XChangeProperty(display_, request.requestor, request.property, offered, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char *>(text.data()), int(text.size()));
            }
            XSendEvent(display_, request.requestor, False, 0, reinterpret_cast<XEvent *>(&reply));
            XFlush(display_);
        }
    }

private:
    std::string Read(const XEvent &event, Atom &type)
    {
        type = None;
        if (event.xselection.property == None)
            return "(refused)";
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char *data = nullptr;
        std::string text;
        if (XGetWindowProperty(display_, window_, property_, 0, 1 << 16, True, AnyPropertyType, &type, &format, &count,
                               &remaining, &data) == Success &&
            data)
            text.assign(reinterpret_cast<const char *>(data), count);
        if (data)
            XFree(data);
        return text;
    }

    Display *display_ = nullptr;
    Window window_ = 0;
    Atom clipboard_ = 0, utf8_ = 0, property_ = 0;
};

class X11Clipboard : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!x11 || !other.Open())
            GTEST_SKIP() << "no X display";
    }

    X11Platform platform_;
    X11Driver *x11 = platform_.x11;
    OtherProgram other;
};

// One test: tests that run at once may share a server, and with it the clipboard.
TEST_F(X11Clipboard, TextGoesOutAndComesInAsUtf8)
{
    {
        struct Case {
            const char *what;
            Atom target;
            std::string text;
            Atom type;
        };
        const Case cases[] = {
            {"UTF8_STRING", other.Utf8(), kCyrillic, other.Utf8()},
            {"STRING", XA_STRING, "?? z", XA_STRING}, // what Latin-1 lacks
        };
        x11->SetClipboardText(kCyrillic);
        for (const Case &c : cases) {
            Atom type = None;
            EXPECT_EQ(other.Paste(c.target, *x11, type), c.text) << c.what;
            EXPECT_EQ(type, c.type) << c.what;
        }
        x11->SetClipboardText("caf\u00E9");
        Atom type = None;
        EXPECT_EQ(other.Paste(XA_STRING, *x11, type), "caf\xE9");
    }
    // Pasted from another program.
    {
        struct Case {
            const char *what;
            Atom offered;
            std::string text;
            std::string pasted;
        };
        const Case cases[] = {
            {"UTF8_STRING", other.Utf8(), kCyrillic, kCyrillic},
            {"STRING only", XA_STRING, "caf\xE9", "caf\u00E9"},
        };
        for (const Case &c : cases) {
            x11->SetClipboardText("mine");
            std::atomic<bool> stop{false};
            std::thread owner([&] { other.Own(c.text, c.offered, stop); });
            // The other program has taken the clipboard once the plug-in no longer reads its own text.
            std::string pasted = "mine";
            for (int i = 0; i < 400 && pasted == "mine"; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                pasted = x11->ClipboardText();
            }
            stop.store(true);
            owner.join();
            EXPECT_EQ(pasted, c.pasted) << c.what;
        }
    }
}

} // namespace
} // namespace sirrel::test
