// The window core on the headless display: state, geometry, the custom frame, painting, input routing, timers.
#include <chrono>
#include <thread>

#include "headless_fixture.h"
#include "ui/controls.h"
#include "ui/frame.h"

namespace sirrel::test {
namespace {

using WindowCore = HeadlessUi;

TEST_F(WindowCore, TopLevelStartsHiddenWithInitialStateAndShowsOnCommand)
{
    Oru_Frame frame;
    ASSERT_TRUE(frame.CreateFrame(nullptr, 10, 20, 300, 200, "Main", true));
    EXPECT_EQ(frame.State(), 0x800u);
    EXPECT_FALSE(display->Record(frame.NativeHandle()).visible);
    frame.ShowCommand(kShowShow);
    EXPECT_EQ(frame.State(), 0x810u);
    EXPECT_TRUE(display->Record(frame.NativeHandle()).visible);
    EXPECT_EQ(display->Record(frame.NativeHandle()).title, "Main");

    Oru_Label label;
    ASSERT_TRUE(label.CreateLabel(&frame, 10, 30, 100, 20, "child"));
    EXPECT_EQ(label.NativeHandle(), frame.NativeHandle()) << "a windowless child shares its top-level's window";
    EXPECT_FALSE(label.HasNativeWindow());
    EXPECT_TRUE(label.Visible());
}

TEST_F(WindowCore, UnchangedCoordinateSettersDoNothing)
{
    ProbeWindow window;
    ASSERT_TRUE(window.Create(nullptr, 5, 6, 70, 80, false, 0, 0));
    window.boundsCalls = 0;
    window.SetX(5);
    window.SetY(6);
    window.SetWidth(70);
    window.SetHeight(80);
    EXPECT_EQ(window.boundsCalls, 0);
    window.SetWidth(71);
    EXPECT_EQ(window.boundsCalls, 1);
    EXPECT_EQ(window.Width(), 71);
}

TEST_F(WindowCore, AbsurdGeometryIsCutAndStillPaints)
{
    struct Case {
        int32_t x, y, width, height;
    };
    for (const Case &c : {Case{-100000, -5, -20, -1}, Case{0, 0, 0, 0}, Case{100000, 100000, 100000, 100000},
                          Case{INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN}}) {
        Oru_Frame frame;
        ASSERT_TRUE(frame.CreateFrame(nullptr, c.x, c.y, c.width, c.height, "x", true));
        Oru_PushButton button;
        ASSERT_TRUE(button.CreateButton(&frame, c.x, c.y, c.width, c.height, std::string(5000, 'W')));
        EXPECT_GE(frame.Width(), 0);
        EXPECT_LE(frame.Width(), 16384);
        frame.ShowCommand(kShowShow);
        frame.Paint();
        PumpMessages();
        display->Click(frame.NativeHandle(), 5, 5);
        PumpMessages();
    }
}

TEST_F(WindowCore, MaximizeMinimizeAndRestoreFollowSystemCommandsAndDoubleClick)
{
    Oru_Frame frame;
    ASSERT_TRUE(frame.CreateFrame(nullptr, 40, 50, 300, 200, "Main", true));
    frame.ShowCommand(kShowShow);
    PumpMessages();

    frame.HandleNativeMessage(kMsgSystemCommand, kSysCommandMaximize, 0);
    PumpMessages();
    EXPECT_TRUE(frame.State() & kStateMaximized);
    EXPECT_EQ(frame.Width(), display->ScreenWidth());
    EXPECT_EQ(display->Record(frame.NativeHandle()).spec.width, display->ScreenWidth());

    // A double-click on the caption strip of the maximized window restores it.
    display->DoubleClick(frame.NativeHandle(), 100, 10);
    PumpMessages();
    EXPECT_FALSE(frame.State() & kStateMaximized);
    EXPECT_EQ(frame.X(), 40);
    EXPECT_EQ(frame.Width(), 300);
    EXPECT_EQ(frame.Height(), 200);

    frame.HandleNativeMessage(kMsgSystemCommand, kSysCommandMinimize, 0);
    EXPECT_FALSE(display->Record(frame.NativeHandle()).visible);
    frame.HandleNativeMessage(kMsgSystemCommand, kSysCommandRestore, 0);
    EXPECT_TRUE(display->Record(frame.NativeHandle()).visible);

    // The parent closing hides an owned pop-up; opening shows it again.
    Oru_Frame popup;
    ASSERT_TRUE(popup.CreateFrame(&frame, 0, 0, 100, 80, "Tool", false));
    popup.ShowCommand(kShowShow);
    popup.HandleNativeMessage(kMsgShowWindow, 0, 1);
    EXPECT_FALSE(display->Record(popup.NativeHandle()).visible);
    popup.HandleNativeMessage(kMsgShowWindow, 1, 3);
    EXPECT_TRUE(display->Record(popup.NativeHandle()).visible);

    // Minimizing the owner tells its pop-ups; only the one that was showing comes back.
    Oru_Frame neverShown;
    ASSERT_TRUE(neverShown.CreateFrame(&frame, 0, 0, 100, 80, "Hidden", false));
    frame.ShowCommand(kShowMinimize);
    EXPECT_FALSE(display->Record(popup.NativeHandle()).visible);
    frame.ShowCommand(kShowRestore);
    EXPECT_TRUE(display->Record(popup.NativeHandle()).visible);
    EXPECT_FALSE(display->Record(neverShown.NativeHandle()).visible);
}

TEST_F(WindowCore, HitTestingFindsBordersCornersCaptionAndChildren)
{
    Oru_Frame frame;
    ASSERT_TRUE(frame.CreateFrame(nullptr, 100, 100, 200, 150, "Main", true));
    Oru_PushButton inCaption;
    ASSERT_TRUE(inCaption.CreateButton(&frame, 150, 6, 30, 14, "x"));
    auto hit = [&](int32_t x, int32_t y) {
        return frame.HandleNativeMessage(kMsgNonClientHitTest, 0, PackPoint(100 + x, 100 + y));
    };
    struct Case {
        int32_t x, y;
        intptr_t code;
    };
    for (const Case &c : {Case{1, 75, kHitLeft}, Case{198, 75, kHitRight}, Case{100, 1, kHitTop},
                          Case{100, 148, kHitBottom}, Case{1, 1, kHitTopLeft}, Case{198, 1, kHitTopRight},
                          Case{1, 148, kHitBottomLeft}, Case{198, 148, kHitBottomRight}, Case{50, 10, kHitCaption},
                          Case{160, 10, kHitClient}, Case{100, 100, kHitClient}, Case{-5, 10, kHitDefault}})
        EXPECT_EQ(hit(c.x, c.y), c.code) << c.x << "," << c.y;

    // Equal minimum and maximum height: nothing sizes vertically, corners size only sideways.
    frame.SetSizeLimits(50, 150, -1, 150);
    for (const Case &c : {Case{100, 1, kHitCaption}, Case{100, 148, kHitClient}, Case{1, 1, kHitLeft},
                          Case{198, 148, kHitRight}, Case{1, 75, kHitLeft}})
        EXPECT_EQ(hit(c.x, c.y), c.code) << c.x << "," << c.y;
    display->Click(frame.NativeHandle(), 100, 148);
    display->PostMessage(frame.NativeHandle(), kMsgMouseMove, 0, PackPoint(100, 148));
    PumpMessages();
    EXPECT_EQ(display->LastCursor(), Cursor::Arrow) << "no resize cursor on the fixed bottom edge";
}

TEST_F(WindowCore, SizingClampsToLimitsMovingTheDraggedEdge)
{
    Oru_Frame frame;
    ASSERT_TRUE(frame.CreateFrame(nullptr, 100, 100, 300, 200, "Main", true));
    frame.SetSizeLimits(120, 80, 400, 300);
    frame.ShowCommand(kShowShow);
    PumpMessages();
    const uint32_t handle = frame.NativeHandle();

    // The right edge dragged far to the left stops at the minimum width; the left edge stays.
    display->Drag(handle, 298, 100, 0, 100);
    PumpMessages();
    EXPECT_EQ(frame.Width(), 120);
    EXPECT_EQ(frame.X(), 100);

    // The left edge dragged right: the right edge stays, the left stops at the minimum width.
    display->Drag(handle, 1, 100, 110, 100);
    PumpMessages();
    EXPECT_EQ(frame.Width(), 120);
    EXPECT_EQ(frame.X(), 100);

    // The bottom-right corner dragged far out stops at the maximum size.
    display->Drag(handle, 118, 198, 900, 900);
    PumpMessages();
    EXPECT_EQ(frame.Width(), 400);
    EXPECT_EQ(frame.Height(), 300);
    EXPECT_EQ(display->Record(handle).spec.width, 400);

    // The caption strip moves the window without sizing it.
    display->Drag(handle, 50, 10, 80, 40);
    PumpMessages();
    EXPECT_EQ(frame.X(), 130);
    EXPECT_EQ(frame.Y(), 130);
    EXPECT_EQ(frame.Width(), 400);
}

TEST_F(WindowCore, RepaintsOnlyDirtyChildrenOrEverythingOnFullRedraw)
{
    Oru_Frame frame;
    ASSERT_TRUE(frame.CreateFrame(nullptr, 0, 0, 200, 120, "Main", true));
    Oru_Label first;
    Oru_Label second;
    ASSERT_TRUE(first.CreateLabel(&frame, 10, 30, 50, 20, "one"));
    ASSERT_TRUE(second.CreateLabel(&frame, 100, 60, 40, 30, "two"));
    frame.ShowCommand(kShowShow);
    PumpMessages();
    const uint32_t frameBefore = frame.ContentPaints();
    const uint32_t firstBefore = first.ContentPaints();
    const uint32_t secondBefore = second.ContentPaints();
    ASSERT_GT(frameBefore, 0u);

    second.SetColors(Rgb(255, 0, 0), Rgb(0, 0, 0));
    EXPECT_TRUE(second.State() & kStateDirty);
    const Rect painted = frame.Paint();
    EXPECT_EQ(painted, (Rect{100, 60, 140, 90})) << "only the dirty child's rectangle is shown";
    EXPECT_EQ(frame.ContentPaints(), frameBefore);
    EXPECT_EQ(first.ContentPaints(), firstBefore);
    EXPECT_EQ(second.ContentPaints(), secondBefore + 1);
    EXPECT_FALSE(second.State() & kStateDirty);
    EXPECT_FALSE(frame.State() & (kStatePaintLock | kStateDirty));
    const auto record = display->Record(frame.NativeHandle());
    EXPECT_EQ(record.pixels[size_t(62) * 200 + 102], 0xFF0000u) << "the red child reached the window";

    frame.Redraw();
    EXPECT_EQ(frame.Paint(), (Rect{0, 0, 200, 120}));
    EXPECT_EQ(frame.ContentPaints(), frameBefore + 1);
    EXPECT_EQ(first.ContentPaints(), firstBefore + 1);
    EXPECT_EQ(second.ContentPaints(), secondBefore + 2);

    // Hiding a child repaints its parent so the child's area is cleared.
    second.ShowCommand(kShowHide);
    frame.Paint();
    EXPECT_NE(display->Record(frame.NativeHandle()).pixels[size_t(62) * 200 + 102], 0xFF0000u);
}

TEST_F(WindowCore, MouseGoesToTheChildUnderItAndStaysWithThePressedOne)
{
    Oru_Frame frame;
    ASSERT_TRUE(frame.CreateFrame(nullptr, 0, 0, 200, 120, "Main", true));
    int clicks = 0;
    Oru_PushButton button;
    ASSERT_TRUE(button.CreateButton(&frame, 20, 40, 60, 24, "Press"));
    button.SetClickCallback([](Oru_Window *, void *count) { ++*static_cast<int *>(count); }, &clicks);
    frame.ShowCommand(kShowShow);
    PumpMessages();

    display->Click(frame.NativeHandle(), 30, 50);
    PumpMessages();
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(button.Focused());

    // Pressed on the button, released away from it: no click.
    display->Drag(frame.NativeHandle(), 30, 50, 150, 100);
    PumpMessages();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(button.State() & kStatePressed);

    button.Enable(false);
    display->Click(frame.NativeHandle(), 30, 50);
    PumpMessages();
    EXPECT_EQ(clicks, 1) << "a disabled button takes no clicks";

    ProbeWindow probe;
    ASSERT_TRUE(probe.Create(&frame, 100, 30, 50, 50, false, kStyleWindowless, 0));
    display->PostMessage(frame.NativeHandle(), kMsgRightDown, 0, PackPoint(110, 45));
    PumpMessages();
    EXPECT_EQ(probe.lastMouse, kMouseRightDown);
    EXPECT_EQ(probe.lastX, 10);
    EXPECT_EQ(probe.lastY, 15);
}

TEST_F(WindowCore, TabMovesFocusThroughFocusableChildrenInOrder)
{
    Oru_Frame frame;
    ASSERT_TRUE(frame.CreateFrame(nullptr, 0, 0, 300, 200, "Main", true));
    Oru_PushButton a, hidden, c;
    Oru_Label label;
    Oru_CheckBox d, disabled;
    ASSERT_TRUE(a.CreateButton(&frame, 10, 30, 50, 20, "a"));
    ASSERT_TRUE(label.CreateLabel(&frame, 70, 30, 50, 20, "label"));
    ASSERT_TRUE(hidden.CreateButton(&frame, 10, 60, 50, 20, "hidden"));
    ASSERT_TRUE(c.CreateButton(&frame, 70, 60, 50, 20, "c"));
    ASSERT_TRUE(d.CreateCheckBox(&frame, 10, 90, 80, 20, "d"));
    ASSERT_TRUE(disabled.CreateCheckBox(&frame, 10, 120, 80, 20, "off"));
    hidden.ShowCommand(kShowHide);
    disabled.Enable(false);
    frame.ShowCommand(kShowShow);

    std::vector<Oru_Window *> seen;
    for (int i = 0; i < 4; ++i) {
        display->PressKey(frame.NativeHandle(), kKeyTab);
        PumpMessages();
        seen.push_back(frame.FocusedChild());
    }
    EXPECT_EQ(seen, (std::vector<Oru_Window *>{&a, &c, &d, &a}));
    EXPECT_TRUE(a.Focused());
    EXPECT_FALSE(d.Focused());

    // Shift-tab goes back, wrapping at the start.
    display->PostMessage(frame.NativeHandle(), kMsgKeyDown, kKeyShift, 0);
    display->PressKey(frame.NativeHandle(), kKeyTab);
    PumpMessages();
    EXPECT_TRUE(d.Focused());
    display->PressKey(frame.NativeHandle(), kKeyTab);
    display->PostMessage(frame.NativeHandle(), kMsgKeyUp, kKeyShift, 0);
    PumpMessages();
    EXPECT_TRUE(c.Focused());
    display->PressKey(frame.NativeHandle(), kKeyTab);
    PumpMessages();
    EXPECT_TRUE(d.Focused());
    display->PressKey(frame.NativeHandle(), kKeyTab);
    PumpMessages();
    EXPECT_TRUE(a.Focused());

    // Keys go to the focused control.
    display->PressKey(frame.NativeHandle(), kKeyTab);
    display->PressKey(frame.NativeHandle(), kKeyTab);
    display->PressKey(frame.NativeHandle(), kKeySpace);
    PumpMessages();
    EXPECT_TRUE(d.Checked());
}

TEST_F(WindowCore, TimersOfWindowlessChildrenTickThroughTheirTopLevel)
{
    Oru_Frame frame;
    ASSERT_TRUE(frame.CreateFrame(nullptr, 0, 0, 100, 100, "Main", true));
    ProbeWindow probe;
    ASSERT_TRUE(probe.Create(&frame, 0, 0, 10, 10, false, kStyleWindowless, 0));
    probe.SetTimer(7, 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    PlatformMessage message;
    while (probe.lastTimer == 0 && std::chrono::steady_clock::now() < deadline) {
        if (display->NextMessage(message, true))
            DispatchPlatformMessage(message);
    }
    EXPECT_EQ(probe.lastTimer, 7u);
    probe.KillTimer(7);
    probe.lastTimer = 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    PumpMessages();
    EXPECT_EQ(probe.lastTimer, 0u);
}

TEST_F(WindowCore, QuitFollowsTheLastTopLevelWindowOfTheThread)
{
    {
        Oru_Frame first;
        Oru_Frame second;
        ASSERT_TRUE(first.CreateFrame(nullptr, 0, 0, 100, 100, "1", true));
        ASSERT_TRUE(second.CreateFrame(nullptr, 0, 0, 100, 100, "2", true));
        first.Destroy();
        EXPECT_TRUE(PumpMessages());
    }
    EXPECT_FALSE(PumpMessages()) << "destroying the last one posts quit";
    EXPECT_TRUE(display->Windows().empty());
}

TEST_F(WindowCore, ClosingDestroysTheWindowAndItsChildren)
{
    Oru_Frame frame;
    ASSERT_TRUE(frame.CreateFrame(nullptr, 0, 0, 100, 100, "Main", true));
    Oru_Label label;
    ASSERT_TRUE(label.CreateLabel(&frame, 0, 30, 50, 20, "x"));
    const uint32_t handle = frame.NativeHandle();
    display->PostMessage(handle, kMsgClose, 0, 0);
    PumpMessages();
    EXPECT_FALSE(display->Exists(handle));
    EXPECT_EQ(frame.FirstChild(), nullptr);
    EXPECT_EQ(label.Parent(), nullptr);
    label.SetText("after");
    label.Redraw();
}

TEST(PaintFailure, NamesTheSizeTheControlAndTheErrorInEightHexDigits)
{
    EXPECT_EQ(PaintFailureText(640, 480, "Spectrum", 12),
              "Can't create compatible bitmap for painting!\nImage size: 640x480\nControl name: Spectrum\n"
              "Error code: 0x0000000C");
}

class LowColorDisplay : public HeadlessUi {
protected:
    LowColorDisplay() : HeadlessUi(8) {}
};

TEST_F(LowColorDisplay, UsesSilverFacesWithBlackAndWhite)
{
    EXPECT_EQ(Scheme().face, Rgb(192, 192, 192));
    EXPECT_EQ(Scheme().shadow, Rgb(0, 0, 0));
    EXPECT_EQ(Scheme().light, Rgb(255, 255, 255));
}

} // namespace
} // namespace sirrel::test
