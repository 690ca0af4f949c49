// The "Data Output" window of a decoder instance: shown with the decoder window, and what the user set there
// (place, colours, logs) is back after a restart.
#include <gtest/gtest.h>

#include "../ui/headless_fixture.h"
#include "fake_receiver.h"
#include "host/decoder_instance.h"
#include "host/receiver.h"
#include "ui/platform/messages.h"
#include "windows/data_output_view.h"

namespace sirrel::test {
namespace {

using fake::DataFolder;
using fake::kMaker;
using fake::Receiver;

int32_t Accept(uint32_t, uint32_t, uint32_t, uint32_t, void *) { return 0; }

class DataOutputInstanceTest : public HeadlessUi {
protected:
    void Start()
    {
        Receiver receiver(kMaker, "QvUSBv", "", 4243);
        const int32_t code = ModelCodeOf(receiver.Info());
        instance_ = std::make_unique<DecoderInstance>(1, receiver.Info(), &Accept, nullptr, code,
                                                      DspKindOf(receiver.Info()), services_);
        ASSERT_TRUE(instance_->Constructed());
        ASSERT_NE(instance_->DataOutput(), nullptr);
        PumpMessages();
    }
    void Close()
    {
        instance_.reset();
        PumpMessages();
    }
    DataOutputView &View() { return *instance_->DataOutput(); }

    DataFolder folder_;
    FrameworkWindowServices services_;
    std::unique_ptr<DecoderInstance> instance_;
};

TEST_F(DataOutputInstanceTest, ShownWithTheDecoderWindowAndKeptOverARestart)
{
    Start();
    EXPECT_TRUE(View().Visible());
    EXPECT_EQ(View().Width(), 685);
    EXPECT_EQ(View().Height(), 364);
    // A first start puts it below the decoder window, not over it.
    DecoderWindow &main = *instance_->MainWindow();
    EXPECT_EQ(View().X(), main.X());
    EXPECT_GE(View().Y(), main.Y() + main.Height());
    const int32_t firstX = View().X();
    const int32_t firstY = View().Y();
    display->Drag(View().NativeHandle(), 200, 10, 230, 60);
    PumpMessages();
    const int32_t x = View().X();
    const int32_t y = View().Y();
    EXPECT_EQ(x, firstX + 30);
    EXPECT_EQ(y, firstY + 50);
    View().Colors().SetColour(kColourText, 0x123456);
    DataOutputView::Channel &channel = View().Parts().channels[0];
    channel.logName.SetText("restart.log");
    // The question is answered with its first button, "Yes".
    display->Click(View().NativeHandle(), channel.log.OffsetX() + 6, channel.log.OffsetY() + 10);
    PumpMessages();
    ASSERT_TRUE(instance_->Engine().Output().Log(0).IsOpen());
    View().Parts().pages.ShowPage(2);
    Close();

    Start();
    EXPECT_EQ(View().X(), x);
    EXPECT_EQ(View().Y(), y);
    EXPECT_EQ(View().Colors().Colour(kColourText), 0x123456u);
    EXPECT_EQ(instance_->Engine().Output().Colors().text, 0x123456u);
    EXPECT_TRUE(View().Parts().channels[0].log.Checked());
    EXPECT_EQ(View().Parts().channels[0].logName.Text(), "restart.log");
    EXPECT_TRUE(instance_->Engine().Output().Log(0).IsOpen());
    EXPECT_EQ(View().Parts().pages.Current(), 2);
}

} // namespace
} // namespace sirrel::test
