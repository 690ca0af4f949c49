// The x11 backend on a real (virtual) X server: skipped without a display; ctest runs it under xvfb-run.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "gallery.h"
#include "ui/platform/headless/headless_driver.h"
#include "ui/platform/x11/x11_driver.h"
#include "x11_platform.h"

// Last: Xlib's macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace sirrel::test {
namespace {

class X11Smoke : public ::testing::Test {
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

TEST_F(X11Smoke, WindowAppearsWithItsSizeAndAClickReachesTheButton)
{
    Gallery gallery;
    ASSERT_TRUE(gallery.Create(20, 30));
    gallery.Window().ShowCommand(kShowShow);
    Settle();
    int32_t width = 0, height = 0;
    const auto pixels = x11->Capture(gallery.Window().NativeHandle(), width, height);
    EXPECT_EQ(width, Gallery::kWidth);
    EXPECT_EQ(height, Gallery::kHeight);
    ASSERT_FALSE(pixels.empty());

    const Oru_Window &button = gallery.CountingButton();
    x11->Click(gallery.Window().NativeHandle(), button.X() + 10, button.Y() + 10);
    Settle();
    EXPECT_EQ(gallery.Clicks(), 1);
}

TEST_F(X11Smoke, ScreenshotEqualsTheHeadlessRendering)
{
    ASSERT_GE(x11->ColorDepth(), 24) << "run the server at 24 bits";
    int32_t width = 0, height = 0;
    std::vector<uint32_t> shown;
    {
        Gallery gallery;
        ASSERT_TRUE(gallery.Create(20, 30));
        gallery.Window().ShowCommand(kShowShow);
        Settle();
        shown = x11->Capture(gallery.Window().NativeHandle(), width, height);
    }
    auto headless = std::make_unique<HeadlessDriver>(x11->ColorDepth());
    HeadlessDriver *display = headless.get();
    auto x11Driver = ReplacePlatform(std::move(headless));
    std::vector<uint32_t> rendered;
    {
        Gallery gallery;
        ASSERT_TRUE(gallery.Create(20, 30));
        gallery.Window().ShowCommand(kShowShow);
        PumpMessages();
        rendered = display->Record(gallery.Window().NativeHandle()).pixels;
    }
    ReplacePlatform(std::move(x11Driver));
    ASSERT_EQ(shown.size(), rendered.size());
    size_t differing = 0;
    for (size_t i = 0; i < shown.size(); ++i)
        differing += shown[i] != rendered[i];
    EXPECT_EQ(differing, 0u) << "of " << shown.size() << " pixels";
}

// The desktop reads a window's icon from its property, as width, height and one ARGB pixel per long.
TEST_F(X11Smoke, IconReachesTheWindowProperty)
{
    Gallery gallery;
    ASSERT_TRUE(gallery.Create(20, 30));
    const uint32_t window = gallery.Window().NativeHandle();
    const std::vector<uint32_t> icon = {0xFF112233, 0x80445566, 0x00778899, 0xFFFFFFFF, 0x01020304, 0xFEDCBA98};
    x11->SetNativeIcon(window, icon, 3, 2);
    x11->Sync();

    Display *display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    ASSERT_EQ(XGetWindowProperty(display, Window(window), XInternAtom(display, "_NET_WM_ICON", False), 0, 64, False,
                                 XA_CARDINAL, &type, &format, &count, &after, &data),
              Success);
    ASSERT_NE(data, nullptr);
    std::vector<uint32_t> read;
    for (unsigned long i = 0; i < count; ++i)
        read.push_back(uint32_t(reinterpret_cast<const unsigned long *>(data)[i]));
    XFree(data);
    XCloseDisplay(display);
    EXPECT_EQ(format, 32);
    std::vector<uint32_t> expected = {3, 2};
    expected.insert(expected.end(), icon.begin(), icon.end());
    EXPECT_EQ(read, expected);
}

} // namespace
} // namespace sirrel::test
