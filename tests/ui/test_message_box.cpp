// Message boxes and the thread class's retry box, answered through the headless display's idle hook as a user
// would answer them: with the keyboard.
#include <atomic>
#include <system_error>

#include "headless_fixture.h"
#include "ui/message_box.h"
#include "ui/oru_thread.h"

namespace sirrel::test {
namespace {

using MessageBoxes = HeadlessUi;

TEST(MessageBoxButtons, ComeFromTheNibblesLowestFirst)
{
    struct Case {
        uint32_t codes;
        std::vector<uint32_t> buttons;
    };
    for (const Case &c :
         {Case{0, {1}}, Case{0x32, {2, 3}}, Case{0x4, {4}}, Case{0x0605, {5, 6}},
          Case{0x87654321, {1, 2, 3, 4, 5, 6, 7}}, Case{0xF8, {1}}, Case{0x11111111, {1, 1, 1, 1, 1, 1, 1, 1}}})
        EXPECT_EQ(MessageBoxButtons(c.codes), c.buttons) << std::hex << c.codes;
    EXPECT_STREQ(MessageBoxLabel(kBoxIgnore), "Ignore");
    EXPECT_STREQ(MessageBoxLabel(kBoxOk), "OK");
}

// Presses keys on the newest window each time the modal loop is idle.
void Answer(HeadlessDriver *display, std::vector<uint32_t> keys)
{
    display->SetIdleHandler([display, keys, next = size_t(0)]() mutable {
        const auto windows = display->Windows();
        if (windows.empty() || next >= keys.size())
            return;
        display->PressKey(windows.back(), keys[next++]);
    });
}

TEST_F(MessageBoxes, ZeroWordShowsOneOkThatReturnsOne)
{
    Answer(display, {kKeyReturn});
    EXPECT_EQ(ShowMessageBox(nullptr, "Caption", "Text", 0), 1u);
}

TEST_F(MessageBoxes, ReturnsTheCodeOfTheButtonPressed)
{
    // Tab moves from the first button to the second.
    Answer(display, {kKeyTab, kKeyReturn});
    EXPECT_EQ(ShowMessageBox(nullptr, "Korvanda Quillon FSK Decoder", "Save the changes?", 0x432), uint32_t(kBoxNo));
    Answer(display, {kKeyEscape});
    EXPECT_EQ(ShowMessageBox(nullptr, "Korvanda Quillon FSK Decoder", "Save the changes?", 0x432),
              uint32_t(kBoxCancel));
}

TEST_F(MessageBoxes, WithoutAnyoneToAnswerTheFirstButtonIsTaken)
{
    EXPECT_EQ(ShowMessageBox(nullptr, "KEL Fatal Error", "No receiver", 0x56), uint32_t(kBoxRetry));
    EXPECT_TRUE(display->Windows().empty());
    EXPECT_TRUE(PumpMessages()) << "a message box alone does not end the thread's loop";
}

TEST_F(MessageBoxes, AnyTextShowsWithoutHarm)
{
    std::string bytes;
    for (int c = 0; c < 256; ++c)
        bytes += char(c);
    const std::string texts[] = {"", bytes, std::string(100000, 'W'), std::string(5000, '\n')};
    for (const std::string &text : texts)
        EXPECT_EQ(ShowMessageBox(nullptr, text, text, 0x21), uint32_t(kBoxOk));
}

TEST_F(MessageBoxes, OwnedBoxGoesWithItsOwner)
{
    Oru_Window owner;
    ASSERT_TRUE(owner.Create(nullptr, 0, 0, 100, 100, false, 0, 0));
    uint32_t boxOwner = 0;
    display->SetIdleHandler([&] {
        const uint32_t box = display->Windows().back();
        boxOwner = display->Record(box).spec.owner;
        display->PressKey(box, kKeyReturn);
    });
    EXPECT_EQ(ShowMessageBox(&owner, "c", "t", 0x3), uint32_t(kBoxNo));
    EXPECT_EQ(boxOwner, owner.NativeHandle());
}

TEST_F(MessageBoxes, ThreadCreationIsRetriedWhileTheAnswerIsYes)
{
    int attempts = 0;
    auto failTwice = [&](std::function<void()> body) {
        if (++attempts <= 2)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    };
    Answer(display, {kKeyReturn, kKeyReturn});
    std::atomic<int> ran = 0;
    {
        Oru_Thread thread([](void *count) { ++*static_cast<std::atomic<int> *>(count); }, &ran, failTwice);
        EXPECT_TRUE(thread.Created());
        EXPECT_EQ(attempts, 3);
        EXPECT_EQ(ran, 0) << "made suspended";
        thread.Resume();
    }
    EXPECT_EQ(ran, 1);

    // "No" gives up.
    attempts = 0;
    Answer(display, {kKeyTab, kKeyReturn});
    Oru_Thread refused([](void *) {}, nullptr, failTwice);
    EXPECT_FALSE(refused.Created());
    EXPECT_EQ(attempts, 1);

    // Never resumed: ends without running.
    Oru_Thread idle([](void *count) { ++*static_cast<std::atomic<int> *>(count); }, &ran);
    EXPECT_TRUE(idle.Created());
}

} // namespace
} // namespace sirrel::test
