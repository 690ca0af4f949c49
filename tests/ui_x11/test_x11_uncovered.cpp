// A window that a modal dialog covered shows its own pixels again once the dialog is answered: the server drops
// what the dialog painted and only sends an Expose, so the framework must show the whole window again.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <thread>
#include <vector>

#include "ui/controls.h"
#include "ui/file_dialog.h"
#include "ui/frame.h"
#include "ui/message_box.h"
#include "ui/platform/x11/x11_driver.h"
#include "x11_platform.h"

// Last: Xlib's macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace sirrel::test {
namespace {

constexpr uint32_t kAnswerTimer = 1;

// Presses Escape in whatever window has the keyboard focus, as a user answering the dialog would.
void PressEscape(Oru_Window *, void *)
{
    Display *d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    for (int type : {KeyPress, KeyRelease}) {
        XEvent event{};
        event.xkey.type = type;
        event.xkey.display = d;
        event.xkey.window = focus;
        event.xkey.root = DefaultRootWindow(d);
        event.xkey.keycode = XKeysymToKeycode(d, XK_Escape);
        event.xkey.same_screen = True;
        XSendEvent(d, focus, True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &event);
    }
    XCloseDisplay(d);
}

struct ModalCase {
    const char *name;
    std::function<void(Oru_Window *owner)> show;
};

void PrintTo(const ModalCase &modal, std::ostream *out) { *out << modal.name; }

class X11Uncovered : public ::testing::TestWithParam<ModalCase> {
protected:
    void SetUp() override
    {
        if (!x11)
            GTEST_SKIP() << "no X display";
    }
    void Settle() { platform_.Settle(); }

    X11Platform platform_;
    X11Driver *x11 = platform_.x11;
};

TEST_P(X11Uncovered, WindowShowsItsOwnPixelsAfterTheDialogCloses)
{
    // Dialogs open in the middle of the screen: the window lies under that spot.
    constexpr int32_t kWidth = 600, kHeight = 440;
    Oru_Frame frame;
    ASSERT_TRUE(frame.CreateFrame(nullptr, (x11->ScreenWidth() - kWidth) / 2, (x11->ScreenHeight() - kHeight) / 2,
                                  kWidth, kHeight, "Data Output", false));
    Oru_Label label;
    ASSERT_TRUE(label.CreateLabel(&frame, 20, 40, 200, 20, "Channel 1"));
    frame.ShowCommand(kShowShow);
    Settle();
    int32_t width = 0, height = 0;
    const auto before = x11->Capture(frame.NativeHandle(), width, height);
    ASSERT_EQ(width, kWidth);
    ASSERT_EQ(height, kHeight);

    frame.SetTimerCallback(&PressEscape);
    frame.SetTimer(kAnswerTimer, 300);
    GetParam().show(&frame);
    frame.KillTimer(kAnswerTimer);
    Settle();

    const auto after = x11->Capture(frame.NativeHandle(), width, height);
    ASSERT_EQ(after.size(), before.size());
    size_t differing = 0;
    for (size_t i = 0; i < before.size(); ++i)
        differing += before[i] != after[i];
    EXPECT_EQ(differing, 0u);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, X11Uncovered,
                         ::testing::Values(ModalCase{"MessageBox",
                                                     [](Oru_Window *owner) {
                                                         ShowMessageBox(owner, "Data Output",
                                                                        "The log file can't be opened.", kBoxOk);
                                                     }},
                                           ModalCase{"FileSelector",
                                                     [](Oru_Window *owner) {
                                                         FileDialogOptions options;
                                                         options.title = "Select the Log File Name";
                                                         options.filterName = "Simple text (*.txt)";
                                                         options.pattern = "*.txt";
                                                         options.initialPath = "/tmp";
                                                         ShowFileDialog(owner, options);
                                                     }}),
                         [](const ::testing::TestParamInfo<ModalCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace sirrel::test
