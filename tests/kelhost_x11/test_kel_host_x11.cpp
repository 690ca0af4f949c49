// On an X display (the tests run under xvfb-run): x11-snap captures a window by its title, as the screenshot
// script does, and kel-host with a generated signal runs its receiver's window and closes it cleanly when asked.
#include <gtest/gtest.h>
#include <png.h>

#include <signal.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "../kelhost/kel_host_process.h"
#include "fake_receiver.h"
#include "protocols/configuration.h"

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
#include <X11/Xlib.h>

namespace {

using namespace sirrel;

struct Pixels {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

Pixels ReadPng(const std::string &path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Pixels pixels;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return pixels;
    image.format = PNG_FORMAT_RGB;
    pixels.rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pixels.rgb.data(), 0, nullptr)) {
        pixels.width = image.width;
        pixels.height = image.height;
    }
    return pixels;
}

std::string Output(const std::string &command)
{
    std::string text;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char chunk[256];
        while (size_t got = fread(chunk, 1, sizeof chunk, pipe))
            text.append(chunk, got);
        pclose(pipe);
    }
    return text;
}

class OnDisplay : public ::testing::Test {
protected:
    void SetUp() override
    {
        display_ = XOpenDisplay(nullptr);
        if (!display_)
            GTEST_SKIP() << "no X display";
    }
    void TearDown() override
    {
        if (display_)
            XCloseDisplay(display_);
    }
    Display *display_ = nullptr;
};

TEST_F(OnDisplay, SnapCapturesAWindowByItsTitle)
{
    fake::DataFolder folder;
    const int screen = DefaultScreen(display_);
    XColor red{};
    Colormap colours = DefaultColormap(display_, screen);
    ASSERT_TRUE(XAllocNamedColor(display_, colours, "red", &red, &red));
    const Window window =
        XCreateSimpleWindow(display_, RootWindow(display_, screen), 30, 40, 200, 120, 0, 0, red.pixel);
    XStoreName(display_, window, "Snap target #7");
    XSelectInput(display_, window, StructureNotifyMask);
    XMapWindow(display_, window);
    for (XEvent event; event.type != MapNotify;)
        XNextEvent(display_, &event);
    XClearWindow(display_, window);
    XSync(display_, False);

    const std::string png = folder.File("snap.png");
    const std::string command = std::string(X11_SNAP_PROGRAM) + " --name 'target #7' --wait 5 '" + png + "'";
    EXPECT_EQ(Output(command), "200x120+30+40\n");
    const Pixels pixels = ReadPng(png);
    ASSERT_EQ(pixels.width, 200u);
    ASSERT_EQ(pixels.height, 120u);
    const size_t middle = (60 * 200 + 100) * 3;
    EXPECT_EQ(pixels.rgb[middle], 255);
    EXPECT_EQ(pixels.rgb[middle + 1], 0);
    EXPECT_EQ(pixels.rgb[middle + 2], 0);

    EXPECT_NE(
        std::system((std::string(X11_SNAP_PROGRAM) + " --name 'no such title' '" + png + "' 2>/dev/null").c_str()), 0);
    XDestroyWindow(display_, window);
}

// The plug-in takes the X display when it is there. Its window arrives with the decoder window's work; until
// then the receiver runs without one, and this checks the host's side: the window announced, the signal's
// file played, and a close request that ends every receiver with its settings saved.
TEST_F(OnDisplay, KelHostRunsAReceiverAndClosesOnRequest)
{
    fake::DataFolder folder;
    unsetenv("SIRREL_UI");
    const std::string wav = folder.File("signal.wav");
    ASSERT_EQ(std::system((std::string(SIRREL_GEN_PROGRAM) + " -o '" + wav + "' --rate 44100 -- RYRYRY").c_str()), 0);
    kelhost::Process host({"-r", "qv-usb:9:" + wav}, folder.File("stderr"));
    EXPECT_NE(host.Line().find("qv-usb:9 window "), std::string::npos) << kelhost::ReadAll(folder.File("stderr"));
    EXPECT_EQ(host.Line(), "qv-usb:9 end of audio");
    EXPECT_TRUE(host.Running());
    host.Signal(SIGTERM);
    EXPECT_EQ(host.Wait(), 0) << kelhost::ReadAll(folder.File("stderr"));
    Configuration saved;
    EXPECT_EQ(LoadConfiguration(folder.File("Sirrel_Config.dat"), 9, 0, 0, saved).status, ChunkStatus::kFound);
    setenv("SIRREL_UI", "headless", 1);
}

} // namespace
