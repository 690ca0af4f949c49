// Screens other than 24-bit true colour: 16-bit true colour converts each pixel, an 8-bit colour-mapped screen
// gets the low-colour scheme (silver faces, black and white) in allocated colour cells.
#include <gtest/gtest.h>

#include <cstdlib>

#include "own_server.h"
#include "ui/controls.h"
#include "ui/frame.h"

namespace sirrel::test {
namespace {

bool Near(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 8)
            return false;
    }
    return true;
}

class ScreenDepths : public ::testing::TestWithParam<int> {};

TEST_P(ScreenDepths, TheWindowShowsTheSchemeOfTheScreen)
{
    OwnServer server(GetParam());
    if (!server.Started())
        GTEST_SKIP() << "no Xvfb";
    auto driver = server.TakeDriver();
    X11Driver *x11 = driver.get();
    auto previous = ReplacePlatform(std::move(driver));
    {
        EXPECT_EQ(x11->ColorDepth(), GetParam());
        const ColorScheme &scheme = Scheme();
        EXPECT_EQ(scheme.face == Rgb(192, 192, 192), GetParam() <= 8);
        Oru_Frame frame;
        ASSERT_TRUE(frame.CreateFrame(nullptr, 10, 10, 200, 100, "Depth", true));
        Oru_PushButton button;
        ASSERT_TRUE(button.CreateButton(&frame, 20, 40, 100, 30, "OK"));
        frame.ShowCommand(kShowShow);
        for (int i = 0; i < 20; ++i) {
            x11->Sync();
            PumpMessages();
            usleep(10000);
        }
        int32_t width = 0, height = 0;
        const auto pixels = x11->Capture(frame.NativeHandle(), width, height);
        ASSERT_EQ(width, 200);
        const uint32_t face = OruDynamicPixMap_ColorToPalette(nullptr, scheme.face);
        const uint32_t caption = OruDynamicPixMap_ColorToPalette(nullptr, scheme.selection);
        EXPECT_TRUE(Near(pixels[size_t(90) * 200 + 150], face)) << std::hex << pixels[size_t(90) * 200 + 150];
        EXPECT_TRUE(Near(pixels[size_t(8) * 200 + 150], caption)) << std::hex << pixels[size_t(8) * 200 + 150];
        EXPECT_TRUE(Near(pixels[size_t(40) * 200 + 20], OruDynamicPixMap_ColorToPalette(nullptr, scheme.light)))
            << "the button's lit edge";
    }
    ReplacePlatform(std::move(previous));
}

INSTANTIATE_TEST_SUITE_P(X11, ScreenDepths, ::testing::Values(8, 16));

} // namespace
} // namespace sirrel::test
