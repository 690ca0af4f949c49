// The instance and the receiver description directly: model codes, receiver keys, and how host audio fills
// the frame buffer.
#include <gtest/gtest.h>

#include <vector>

#include "fake_host.h"
#include "host/decoder_instance.h"
#include "host/receiver.h"

namespace {

using fake::DataFolder;
using fake::kMaker;
using fake::Receiver;
using namespace sirrel;

TEST(ReceiverDescription, ModelCodesFollowTheTable)
{
    std::set<int32_t> codes;
    for (int i = 0; i < kEarlierModelCount; ++i) {
        Receiver r(kMaker, kEarlierModelNames[i], "");
        codes.insert(ModelCodeOf(r.Info()));
        EXPECT_EQ(ModelCodeOf(r.Info()), kEarlierModelCodes[i]);
    }
    EXPECT_EQ(codes.size(), 19u);
    for (int32_t never : {10, 13, 16, 19, 22})
        EXPECT_EQ(codes.count(never), 0u);

    const struct {
        const char *maker;
        const char *model;
        int32_t code;
    } cases[] = {
        {kMaker, "QvPCIv", 25},
        {kMaker, "QvSERv-2", 26},
        {kMaker, "QvUSBv II", 27},
        {kMaker, "QvUSB", 1},
        {kMaker, "kr-100", 1},
        {kMaker, "", 1},
        {"Korvanda Communications Ltd", "QvUSBv", 0},
        {"", "KR-100", 0},
    };
    for (const auto &c : cases) {
        Receiver r(c.maker, c.model, "");
        EXPECT_EQ(ModelCodeOf(r.Info()), c.code) << c.maker << " / " << c.model;
    }
}

TEST(ReceiverDescription, DspKinds)
{
    const struct {
        const char *maker;
        const char *model;
        int32_t kind;
    } cases[] = {
        {"Analog Devices", "ADSP-2105", 1},
        {"Analog Devices", "ADSP-2185", 2},
        {"Analog Devices", "ADSP-2181", 0},
        {"Analog Device", "ADSP-2105", 0},
        {"", "", 0},
    };
    for (const auto &c : cases) {
        Receiver r(kMaker, "KR-100", "", 0, c.maker, c.model);
        EXPECT_EQ(DspKindOf(r.Info()), c.kind) << c.maker << " / " << c.model;
    }
}

TEST(ReceiverDescription, KeysAndTitles)
{
    const struct {
        const char *model;
        const char *serialText;
        uint32_t serial;
        uint32_t key;
        const char *title;
    } cases[] = {
        {"KR-100", "00000000", 0, 0xFE400000u, "Quillon FSK Decoder - 00000000"},
        {"KR-100", "12345678", 0, 0x10745678u, "Quillon FSK Decoder - 12345678"},
        {"KR-100", "00L00000", 0, 0x00000000u, "Quillon FSK Decoder - 00L00000"},
        {"QvUSBv", "12345678", 4000000000u, 4000000000u, "Quillon FSK Decoder #4000000000"},
    };
    for (const auto &c : cases) {
        Receiver r(kMaker, c.model, c.serialText, c.serial);
        const int32_t code = ModelCodeOf(r.Info());
        EXPECT_EQ(ReceiverKeyOf(r.Info(), code), c.key) << c.serialText;
        EXPECT_EQ(WindowTitleOf(r.Info(), code), c.title);
    }
}

int32_t Accept(uint32_t, uint32_t code, uint32_t, uint32_t, void *) { return code == kHostDspOpen ? 5 : 0; }

class InstanceAudio : public ::testing::Test {
protected:
    std::unique_ptr<DecoderInstance> Make(const char *model, const char *dspModel)
    {
        Receiver r(kMaker, model, "12345678", 77, "Analog Devices", dspModel);
        const int32_t code = ModelCodeOf(r.Info());
        auto instance =
            std::make_unique<DecoderInstance>(1, r.Info(), &Accept, nullptr, code, DspKindOf(r.Info()), services_);
        EXPECT_TRUE(instance->Constructed());
        return instance;
    }

    void Block(DecoderInstance &instance, uint32_t rate, uint32_t bits, uint32_t channels,
               const std::vector<int16_t> &samples)
    {
        std::vector<uint8_t> block = fake::Host::AudioBlock(rate, bits, channels, samples);
        bool close = true;
        EXPECT_TRUE(instance.Notify(1, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data(), close));
        EXPECT_FALSE(close);
    }

    DataFolder folder_;
    HeadlessWindowServices services_;
};

TEST_F(InstanceAudio, StereoQvBlockIsAveragedAndDecimated)
{
    auto instance = Make("QvUSBv", "");
    std::vector<int16_t> samples;
    for (int f = 0; f < 2048; ++f) {
        samples.push_back(int16_t(f * 8 + 3));
        samples.push_back(int16_t(-f * 2));
    }
    Block(*instance, 44100, 16, 2, samples);
    EXPECT_EQ(instance->ProcessingRate(), 11025u);
    ASSERT_EQ(instance->FillCount(), 512u);
    for (uint32_t k = 0; k < 512; ++k) {
        const int32_t f = int32_t(k * 4);
        ASSERT_EQ(instance->FrameBuffer()[k], int16_t((f * 8 + 3 - f * 2) / 2)) << k;
    }
    // Truncation toward zero for negative sums.
    Block(*instance, 44100, 16, 2, {-3, 0, 9, 9, 9, 9, 9, 9});
    EXPECT_EQ(instance->FrameBuffer()[512], -1);
    EXPECT_EQ(instance->FillCount(), 513u);
}

TEST_F(InstanceAudio, MonoBlocksFillWholeFramesAcrossBlocks)
{
    auto instance = Make("KR-100", "ADSP-2185");
    std::vector<int16_t> samples(3000, 100);
    Block(*instance, 8000, 16, 1, samples);
    EXPECT_EQ(instance->ProcessingRate(), 8000u);
    EXPECT_EQ(instance->FramesProcessed(), 1u);
    EXPECT_EQ(instance->FillCount(), 3000u - 2048u);
    Block(*instance, 8000, 16, 1, std::vector<int16_t>(1096, 1));
    EXPECT_EQ(instance->FramesProcessed(), 2u);
    EXPECT_EQ(instance->FillCount(), 0u);
}

TEST_F(InstanceAudio, BlocksThatAddNothing)
{
    auto instance = Make("KR-100", "ADSP-2185");
    Block(*instance, 22050, 8, 1, std::vector<int16_t>(100, 1));
    EXPECT_EQ(instance->ProcessingRate(), 22050u); // the rate still follows
    EXPECT_EQ(instance->FillCount(), 0u);
    Block(*instance, 0, 16, 1, std::vector<int16_t>(100, 1));
    EXPECT_EQ(instance->ProcessingRate(), 22050u);
    EXPECT_EQ(instance->FillCount(), 0u);
    std::vector<uint8_t> block = fake::Host::AudioBlock(22050, 16, 1, std::vector<int16_t>(100, 1));
    const uint32_t noChannels = 0;
    std::memcpy(block.data() + 8, &noChannels, 4);
    bool close = false;
    instance->Notify(1, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data(), close);
    instance->Notify(1, kNotifyAudioBlock, 2, 0, fake::Host::AudioBlock(22050, 16, 1, {1, 2}).data(), close);
    EXPECT_EQ(instance->FillCount(), 0u);
    // No DSP extension is open for this receiver.
    std::vector<int16_t> dsp(512, 3);
    instance->Notify(1, kNotifyDspAudio, 0, 1024, dsp.data(), close);
    EXPECT_EQ(instance->FillCount(), 0u);
    // Not this instance's identifier.
    EXPECT_FALSE(instance->Notify(2, kNotifyClose, 0, 0, nullptr, close));
}

TEST_F(InstanceAudio, DspExtensionBlocksMakeFrames)
{
    auto instance = Make("KR-100", "ADSP-2105");
    EXPECT_EQ(instance->ProcessingRate(), 10989u);
    std::vector<int16_t> samples(512, 7);
    bool close = false;
    instance->Notify(1, kNotifyDspAudio, 0, 0, samples.data(), close);
    for (int i = 0; i < 4; ++i)
        instance->Notify(1, kNotifyDspAudio, 0, 1024, samples.data(), close);
    EXPECT_EQ(instance->FramesProcessed(), 1u);
    EXPECT_EQ(instance->FillCount(), 0u);

    // Samples past the end of a frame start the next one.
    std::vector<int16_t> longer(2100);
    for (size_t i = 0; i < longer.size(); ++i)
        longer[i] = int16_t(i);
    instance->Notify(1, kNotifyDspAudio, 0, 1000, longer.data(), close);
    instance->Notify(1, kNotifyDspAudio, 0, 2 * 2100, longer.data(), close);
    EXPECT_EQ(instance->FramesProcessed(), 2u);
    ASSERT_EQ(instance->FillCount(), 500u + 2100u - 2048u);
    EXPECT_EQ(instance->FrameBuffer()[0], int16_t(2048 - 500));
}

TEST_F(InstanceAudio, ClosingIsAskedOnce)
{
    auto instance = Make("KR-210", "ADSP-2185");
    bool close = false;
    instance->Notify(1, kNotifyClose, 0, 0, nullptr, close);
    EXPECT_TRUE(close);
    instance->Notify(1, kNotifyClose, 0, 0, nullptr, close);
    EXPECT_FALSE(close);
    EXPECT_EQ(services_.CloseRequests().size(), 2u);
}

} // namespace
