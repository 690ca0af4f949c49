// The x11 backend on a real (virtual) X server: skipped without a display; ctest runs it under xvfb-run.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "gallery.h"
#include "ui/platform/headless/headless_driver.h"
#include "ui/platform/x11/x11_driver.h"

namespace sirrel::test {
namespace {

class X11Smoke : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto driver = X11Driver::Open();
        if (!driver)
            GTEST_SKIP() << "no X display";
        x11 = driver.get();
        previous_ = ReplacePlatform(std::move(driver));
        swapped_ = true;
    }
    void TearDown() override
    {
        if (swapped_)
            ReplacePlatform(std::move(previous_));
    }
    // Lets the server map, expose and answer, and the framework paint.
    void Settle()
    {
        for (int i = 0; i < 30; ++i) {
            x11->Sync();
            PumpMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    X11Driver *x11 = nullptr;

private:
    std::unique_ptr<PlatformDriver> previous_;
    bool swapped_ = false;
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

} // namespace
} // namespace sirrel::test
