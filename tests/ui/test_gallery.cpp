// The gallery renders headless and its counting button answers a click; what reviewers look at keeps working.
#include "gallery.h"
#include "headless_fixture.h"

#include <algorithm>

namespace sirrel::test {
namespace {

using GalleryWindow = HeadlessUi;

TEST_F(GalleryWindow, RendersEveryControlAndTakesClicks)
{
    Gallery gallery;
    ASSERT_TRUE(gallery.Create(0, 0));
    gallery.Window().ShowCommand(kShowShow);
    PumpMessages();
    const auto record = display->Record(gallery.Window().NativeHandle());
    ASSERT_EQ(record.spec.width, Gallery::kWidth);
    // Every colour the controls use shows somewhere: face, field white, selection blue.
    auto has = [&](uint32_t rgb) {
        return std::find(record.pixels.begin(), record.pixels.end(), rgb) != record.pixels.end();
    };
    EXPECT_TRUE(has(OruDynamicPixMap_ColorToPalette(nullptr, Scheme().face)));
    EXPECT_TRUE(has(0xFFFFFF));
    EXPECT_TRUE(has(OruDynamicPixMap_ColorToPalette(nullptr, Scheme().selection)));
    // The tuning displays: a green trace and yellow markers.
    EXPECT_TRUE(has(0x00FF00));
    EXPECT_TRUE(has(0xFFFF00));

    const Oru_Window &button = gallery.CountingButton();
    display->Click(gallery.Window().NativeHandle(), button.X() + 5, button.Y() + 5);
    PumpMessages();
    EXPECT_EQ(gallery.Clicks(), 1);
}

} // namespace
} // namespace sirrel::test
