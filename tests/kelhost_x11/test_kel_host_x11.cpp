// On an X display (the tests run under xvfb-run): x11-snap captures a window by its title, as the screenshot
// script does, and kel-host with a generated signal shows the decoder window with the tones where they belong
// and closes it cleanly when asked.
#include <gtest/gtest.h>
#include <png.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

// Colour tests on a screenshot: markers are long vertical runs of one saturated colour; the spectrum is drawn
// in green.
bool Saturated(const uint8_t *p) { return std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > 100; }
bool SpectrumGreen(const uint8_t *p) { return p[1] > 150 && p[0] < 120 && p[2] < 120; }

// Columns crossed from top to bottom of [top, bottom) by one saturated colour, as a tone marker crosses the
// spectrum.
std::vector<uint32_t> MarkerColumns(const Pixels &image, uint32_t top, uint32_t bottom)
{
    std::vector<uint32_t> columns;
    for (uint32_t x = 0; x < image.width; ++x) {
        uint32_t run = 0, longest = 0;
        const uint8_t *previous = nullptr;
        for (uint32_t y = top; y < bottom; ++y) {
            const uint8_t *p = &image.rgb[(size_t(y) * image.width + x) * 3];
            run = Saturated(p) && !SpectrumGreen(p) && (!previous || std::equal(p, p + 3, previous)) ? run + 1 : 0;
            previous = run ? p : nullptr;
            longest = std::max(longest, run);
        }
        if (longest * 10 >= (bottom - top) * 6)
            columns.push_back(x);
    }
    return columns;
}

// The highest green pixel of each column: the spectrum's level there (smaller is louder).
std::vector<uint32_t> SpectrumTops(const Pixels &image, uint32_t bottom)
{
    std::vector<uint32_t> tops(image.width, bottom);
    for (uint32_t x = 0; x < image.width; ++x) {
        for (uint32_t y = 0; y < bottom; ++y) {
            if (SpectrumGreen(&image.rgb[(size_t(y) * image.width + x) * 3])) {
                tops[x] = y;
                break;
            }
        }
    }
    return tops;
}

// kel-host plays a teleprinter signal at 1000/1170 Hz in real time to a receiver whose stored tuning is manual
// at those tones: its decoder window appears at 700 x 621, both markers stand on peaks of the spectrum well above
// its floor, and a close request ends it with its settings saved.
TEST_F(OnDisplay, KelHostShowsTheWindowWithTheTonesAtTheMarkersAndClosesOnRequest)
{
    fake::DataFolder folder;
    unsetenv("SIRREL_UI");
    Configuration stored;
    LoadConfiguration(folder.File("Sirrel_Config.dat"), 9, 10, 10, stored);
    stored.tuneAuto = 0;
    stored.space = 1000;
    stored.mark = 1170;
    ASSERT_EQ(SaveConfiguration(folder.File("Sirrel_Config.dat"), 9, stored), ChunkStatus::kFound);
    const std::string wav = folder.File("signal.wav");
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += "RYRYRYRYRY ";
    ASSERT_EQ(std::system((std::string(SIRREL_GEN_PROGRAM) + " -o '" + wav +
                           "' --rate 44100 --lead 0.3 --space 1000 --mark 1170 -- '" + text + "'")
                              .c_str()),
              0);

    kelhost::Process host({"--realtime", "-r", "qv-usb:9:" + wav}, folder.File("stderr"));
    EXPECT_NE(host.Line().find("qv-usb:9 window "), std::string::npos) << kelhost::ReadAll(folder.File("stderr"));
    const std::string snap = std::string(X11_SNAP_PROGRAM) + " --name 'Quillon FSK Decoder #9' --wait 10 '" +
                             folder.File("window.png") + "'";
    EXPECT_FALSE(Output(snap).empty());
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const std::string geometry = Output(snap);
    EXPECT_EQ(geometry.substr(0, geometry.find('+')), "700x621") << geometry;

    const Pixels window = ReadPng(folder.File("window.png"));
    ASSERT_EQ(window.width, 700u);
    // The spectrum lies in the upper part of the window, above the waterfall.
    const uint32_t spectrumBottom = window.height / 3;
    const std::vector<uint32_t> markers = MarkerColumns(window, window.height / 12, spectrumBottom);
    ASSERT_GE(markers.size(), 2u);
    const uint32_t low = markers.front(), high = markers.back();
    EXPECT_GT(high - low, 10u);
    std::vector<uint32_t> tops = SpectrumTops(window, spectrumBottom);
    auto peakNear = [&tops](uint32_t column) {
        return *std::min_element(tops.begin() + column - 4, tops.begin() + column + 5);
    };
    const uint32_t lowPeak = peakNear(low), highPeak = peakNear(high);
    // Both tones carry the same power: each marker stands on a peak about as high as the highest one, far above
    // the noise floor (the median level of the spectrum's columns).
    std::vector<uint32_t> drawn;
    std::copy_if(tops.begin(), tops.end(), std::back_inserter(drawn), [&](uint32_t y) { return y < spectrumBottom; });
    ASSERT_FALSE(drawn.empty());
    std::nth_element(drawn.begin(), drawn.begin() + drawn.size() / 2, drawn.end());
    const uint32_t floor = drawn[drawn.size() / 2];
    const uint32_t highest = *std::min_element(drawn.begin(), drawn.end());
    ASSERT_GT(floor, highest + 20) << "no tone stands out of the noise";
    EXPECT_LT(lowPeak - highest, (floor - highest) / 4) << "space peak " << lowPeak << ", top " << highest;
    EXPECT_LT(highPeak - highest, (floor - highest) / 4) << "mark peak " << highPeak << ", top " << highest;

    EXPECT_TRUE(host.Running());
    host.Signal(SIGTERM);
    EXPECT_EQ(host.Wait(), 0) << kelhost::ReadAll(folder.File("stderr"));
    Configuration saved;
    EXPECT_EQ(LoadConfiguration(folder.File("Sirrel_Config.dat"), 9, 0, 0, saved).status, ChunkStatus::kFound);
    EXPECT_EQ(saved.space, 1000);
    EXPECT_EQ(saved.mark, 1170);
    setenv("SIRREL_UI", "headless", 1);
}

// The desktop's close button (WM_DELETE_WINDOW) closes one receiver's window and kel-host carries on with the
// other; closing the last one ends kel-host by itself, every receiver's settings saved.
TEST_F(OnDisplay, KelHostEndsWhenTheDesktopClosesItsLastWindow)
{
    fake::DataFolder folder;
    unsetenv("SIRREL_UI");
    const std::string wav = folder.File("short.wav");
    ASSERT_EQ(std::system((std::string(SIRREL_GEN_PROGRAM) + " -o '" + wav + "' -- RY").c_str()), 0);
    kelhost::Process host({"-r", "qv-usb:12:-", "-r", "qv-ser:13:" + wav}, folder.File("stderr"));
    auto windowOf = [&host, &folder](const std::string &start) {
        const std::string line = host.Line();
        EXPECT_EQ(line.rfind(start, 0), 0u) << line << kelhost::ReadAll(folder.File("stderr"));
        return line.rfind(start, 0) == 0 ? Window(std::stoul(line.substr(start.size()))) : Window(0);
    };
    const Window first = windowOf("qv-usb:12 window ");
    const Window second = windowOf("qv-ser:13 window ");
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    auto closeByDesktop = [this](Window window) {
        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = window;
        close.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        close.xclient.format = 32;
        close.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, window, False, NoEventMask, &close);
        XSync(display_, False);
    };

    closeByDesktop(first);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    Configuration saved;
    while (LoadConfiguration(folder.File("Sirrel_Config.dat"), 12, 0, 0, saved).status != ChunkStatus::kFound &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(host.Running());

    closeByDesktop(second);
    EXPECT_EQ(host.Wait(), 0) << kelhost::ReadAll(folder.File("stderr"));
    EXPECT_EQ(LoadConfiguration(folder.File("Sirrel_Config.dat"), 12, 0, 0, saved).status, ChunkStatus::kFound);
    EXPECT_EQ(LoadConfiguration(folder.File("Sirrel_Config.dat"), 13, 0, 0, saved).status, ChunkStatus::kFound);
    setenv("SIRREL_UI", "headless", 1);
}

} // namespace
