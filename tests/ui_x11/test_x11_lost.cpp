// A display that goes away under the plug-in: an X server of the test's own is killed while windows are open.
// The windows are gone, nothing crashes, and the framework keeps answering.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "ui/controls.h"
#include "ui/frame.h"
#include "ui/message_box.h"
#include "ui/platform/x11/x11_driver.h"

namespace sirrel::test {
namespace {

// Starts Xvfb on a free display and connects to it; null when there is no Xvfb.
std::unique_ptr<X11Driver> StartServer(pid_t &server)
{
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0)
        return nullptr;
    int number = 90;
    while (number < 200 && (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)) ||
                            std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")))
        ++number;
    const std::string name = ":" + std::to_string(number);
    server = fork();
    if (server == 0) {
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp", nullptr);
        _exit(127);
    }
    const char *previous = std::getenv("DISPLAY");
    const std::string saved = previous ? previous : "";
    setenv("DISPLAY", name.c_str(), 1);
    std::unique_ptr<X11Driver> driver;
    for (int attempt = 0; attempt < 100 && !driver; ++attempt) {
        usleep(50000);
        driver = X11Driver::Open();
    }
    if (previous)
        setenv("DISPLAY", saved.c_str(), 1);
    else
        unsetenv("DISPLAY");
    return driver;
}

TEST(X11ConnectionLost, WindowsGoAndTheFrameworkKeepsAnswering)
{
    pid_t server = 0;
    auto driver = StartServer(server);
    if (!driver) {
        if (server > 0) {
            kill(server, SIGKILL);
            waitpid(server, nullptr, 0);
        }
        GTEST_SKIP() << "no Xvfb to kill";
    }
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

        kill(server, SIGKILL);
        waitpid(server, nullptr, 0);
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
