// The plug-in builds and destroys instances on a thread of its own while the host sends audio from its
// threads: closing must wait for audio at work, nothing may reach the host after the goodbye, a host may call
// back into the plug-in from inside a call-back, and unloading closes what the host left open.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "fake_host.h"
#include "protocols/configuration.h"

namespace {

using fake::DataFolder;
using fake::Host;
using fake::kMaker;
using fake::Receiver;
using namespace sirrel;

// Everything the host heard from one window ends with the goodbye, heard once.
void ExpectNothingAfterClosing(const std::vector<uint32_t> &codes)
{
    const auto closing = std::find(codes.begin(), codes.end(), uint32_t(kHostPluginClosing));
    ASSERT_NE(closing, codes.end());
    EXPECT_EQ(closing + 1, codes.end());
}

TEST(PluginThreads, ClosingWhileTheHostKeepsSendingAudio)
{
    DataFolder folder;
    Host host;
    Receiver qv(kMaker, "QvUSBv", "", 1001);
    Receiver dsp(kMaker, "KR-100", "00000001", 0, "Analog Devices", "ADSP-2105");
    ASSERT_NE(host.StartInstance(1, qv), -1);
    ASSERT_NE(host.StartInstance(2, dsp), -1);

    std::atomic<bool> stop{false};
    std::vector<std::thread> senders;
    senders.emplace_back([&] {
        std::vector<int16_t> samples(2 * 4410, 1000);
        std::vector<uint8_t> block = Host::AudioBlock(44100, 16, 2, samples);
        while (!stop.load())
            host.notify(1, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data());
    });
    senders.emplace_back([&] {
        std::vector<int16_t> samples(700, -5);
        while (!stop.load()) {
            host.SendDspEvent(2, 254);
            host.notify(2, kNotifyDspAudio, 0, uint32_t(samples.size() * 2), samples.data());
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    host.notify(1, kNotifyClose, 0, 0, nullptr);
    host.notify(2, kNotifyCloseOnZero, 0, 0, nullptr);
    host.Sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop.store(true);
    for (std::thread &t : senders)
        t.join();

    // Both said goodbye once; the DSP receiver's output turns all came before its extension was closed.
    const std::vector<uint32_t> codes = host.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), uint32_t(kHostPluginClosing)), 2);
    std::vector<uint32_t> dspCodes;
    for (const fake::Call &c : host.calls) {
        if (c.first == uint32_t(host.dspHandle) || c.code == kHostDspUse || c.code == kHostDspStop)
            dspCodes.push_back(c.code);
    }
    ASSERT_GE(dspCodes.size(), 3u);
    const std::vector<uint32_t> tail(dspCodes.end() - 3, dspCodes.end());
    EXPECT_EQ(tail, (std::vector<uint32_t>{kHostDspStop, kHostDspUse, kHostDspClose}));
    EXPECT_EQ(codes.back(), uint32_t(kHostPluginClosing));

    Configuration saved;
    EXPECT_EQ(LoadConfiguration(folder.File("Sirrel_Config.dat"), 1001, 0, 0, saved).status, ChunkStatus::kFound);
}

TEST(PluginThreads, HostMayCallBackIntoThePluginFromACallBack)
{
    DataFolder folder;
    Host host;
    Receiver dsp(kMaker, "KR-100", "00000001", 0, "Analog Devices", "ADSP-2105");
    ASSERT_NE(host.StartInstance(4, dsp), -1);
    std::vector<int16_t> samples(1024, 3);
    std::atomic<int> reentries{0};
    // Audio and a second close request arrive while the plug-in is inside a call-back of its own.
    host.onCall = [&](const fake::Call &call) {
        if (call.code == kHostDspWriteAudio || call.code == kHostPluginClosing) {
            ++reentries;
            host.notify(4, kNotifyDspAudio, 0, uint32_t(samples.size() * 2), samples.data());
            host.notify(4, kNotifyClose, 0, 0, nullptr);
        }
    };
    host.SendDspEvent(4, 254);
    host.Sync();
    EXPECT_EQ(reentries.load(), 2); // the output turn, then the goodbye that the close brought
    host.Sync();
    ExpectNothingAfterClosing(host.Codes());
    host.onCall = nullptr;
}

TEST(PluginThreads, UnloadingClosesWhatTheHostLeftOpenWithoutCallingIt)
{
    DataFolder folder;
    const std::string path = folder.File("Sirrel_Config.dat");
    {
        Host host;
        Receiver qv(kMaker, "QvPCIv", "", 77);
        ASSERT_NE(host.StartInstance(1, qv), -1);
        host.calls.clear();
        // The host lets go of the library with the instance still open.
        host.Unload();
        EXPECT_TRUE(host.calls.empty());
    }
    Configuration saved;
    EXPECT_EQ(LoadConfiguration(path, 77, 0, 0, saved).status, ChunkStatus::kFound);

    // The library starts afresh on the next load.
    Host again;
    Receiver qv(kMaker, "QvPCIv", "", 78);
    ASSERT_NE(again.StartInstance(1, qv), -1);
    again.Close(1);
    EXPECT_EQ(again.Codes(), std::vector<uint32_t>{kHostPluginClosing});
}

} // namespace
