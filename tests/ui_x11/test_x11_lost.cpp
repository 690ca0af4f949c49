// A display that goes away under the plug-in: an X server of the test's own is killed while windows are open.
// The windows are gone, nothing crashes, and the framework keeps answering.
#include <gtest/gtest.h>

#include <unistd.h>

#include "own_server.h"
#include "ui/controls.h"
#include "ui/frame.h"
#include "ui/message_box.h"

namespace sirrel::test {
namespace {

TEST(X11ConnectionLost, WindowsGoAndTheFrameworkKeepsAnswering)
{
    OwnServer server(24);
    if (!server.Started())
        GTEST_SKIP() << "no Xvfb to kill";
    auto driver = server.TakeDriver();
    X11Driver *x11 = driver.get();
    auto previous = ReplacePlatform(std::move(driver));
    {
        Oru_Frame frame;
        ASSERT_TRUE(frame.CreateFrame(nullptr, 0, 0, 200, 100, "Doomed", true));
        Oru_PushButton button;
        ASSERT_TRUE(button.CreateButton(&frame, 10, 30, 80, 24, "Button"));
        frame.ShowCommand(kShowShow);
        for (int i = 0; i < 10; ++i) {
            x11->Sync();
            PumpMessages();
        }
        EXPECT_TRUE(x11->Connected());

        server.Kill();
        for (int i = 0; i < 20 && x11->Connected(); ++i) {
            frame.Redraw();
            x11->Sync();
            PumpMessages();
            usleep(10000);
        }
        EXPECT_FALSE(x11->Connected());

        // Everything still answers, and does nothing harmful.
        frame.SetText("after");
        frame.SetBounds(5, 5, 300, 200);
        button.Redraw();
        frame.Paint();
        x11->SetClipboardText("text");
        EXPECT_EQ(x11->ClipboardText(), "");
        EXPECT_EQ(ShowMessageBox(&frame, "Oru_Window Fatal Error", "gone", 0x21), uint32_t(kBoxOk));
        Oru_Frame later;
        EXPECT_FALSE(later.CreateFrame(nullptr, 0, 0, 10, 10, "later", true));
        EXPECT_TRUE(PumpMessages());
    }
    ReplacePlatform(std::move(previous));
}

} // namespace
} // namespace sirrel::test
