// The plug-in as a host sees it: loaded with dlopen and driven through its four entry points.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "audio/alsa_device.h"
#include "fake_host.h"
#include "protocols/configuration.h"

namespace {

using fake::DataFolder;
using fake::Host;
using fake::kMaker;
using fake::Receiver;
using namespace sirrel;

// As the plug-in counts them: devices of the sound system that can hear something.
bool HasCaptureDevice() { return CaptureDeviceCount(SystemAudioDevices()) > 0; }

TEST(PluginEntryPoints, ExportsOnlyTheEntryPoints)
{
    Host host;
    EXPECT_TRUE(host.init && host.start && host.notify && host.done);
    EXPECT_EQ(host.Symbol("_ZN6sirrel11ModelCodeOfEPKh"), nullptr);
    EXPECT_EQ(host.Symbol("_ZN6sirrel10Dispatcher8DispatchEPKsiRKNS_13DecoderParamsE"), nullptr);
}

TEST(PluginEntryPoints, HandshakeChecksTheVersionAndCopiesTheNameBounded)
{
    Host host;
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(host.init(255, 0, buffer, sizeof buffer), 0u);
    EXPECT_EQ(buffer[0], '#');

    EXPECT_EQ(host.init(256, 0, buffer, 5), 0x300u);
    EXPECT_EQ(std::string(buffer, 6), "Quill#");

    EXPECT_EQ(host.init(0x7FFFFFFF, 0, buffer, sizeof buffer), 0x300u);
    EXPECT_STREQ(buffer, "Quillon FSK Decoder");
    EXPECT_TRUE(std::all_of(buffer + 19, buffer + 32, [](char c) { return c == 0; }));
    host.done();
}

struct Refusal {
    const char *maker;
    const char *model;
    bool needsSoundCard;
};

// Refused receivers get no instance: no call-back, no options word.
TEST(PluginEntryPoints, RefusesUnsupportedReceiversWithoutAnyCallBack)
{
    DataFolder folder;
    Host host;
    const Refusal cases[] = {
        {"Other Radio Works", "QvUSBv", false},
        {"Korvanda", "KR-100", false},
        {kMaker, "KR-100", true},
        {kMaker, "Unknown 9000", true},
    };
    for (const Refusal &c : cases) {
        if (c.needsSoundCard && HasCaptureDevice())
            continue;
        Receiver receiver(c.maker, c.model, "12345678");
        uint32_t options = 7;
        EXPECT_EQ(host.StartInstance(1, receiver, &options), -1) << c.maker << " " << c.model;
        EXPECT_EQ(options, 7u);
        EXPECT_TRUE(host.calls.empty());
    }
}

TEST(PluginEntryPoints, QvReceiverWithoutDspStartsAndClosesWithOneAnnouncement)
{
    DataFolder folder;
    Host host;
    Receiver receiver(kMaker, "QvUSBv", "ABC", 4711);
    uint32_t options = 0;
    const int32_t window = host.StartInstance(42, receiver, &options);
    ASSERT_NE(window, -1);
    EXPECT_NE(window, 0);
    EXPECT_EQ(options, 0xFFFEBFFDu);
    EXPECT_TRUE(host.calls.empty());

    host.notify(43, kNotifyClose, 0, 0, nullptr); // nobody's identifier
    host.Sync();
    EXPECT_TRUE(host.calls.empty());

    host.Close(42);
    ASSERT_EQ(host.calls.size(), 1u);
    const fake::Call &closing = host.calls[0];
    EXPECT_EQ(closing.code, kHostPluginClosing);
    EXPECT_EQ(closing.window, uint32_t(window));
    EXPECT_EQ(closing.second, 20u);
    EXPECT_STREQ(reinterpret_cast<const char *>(closing.data.data()), "Quillon FSK Decoder");

    host.Close(42);
    host.SendDspEvent(42, 255);
    EXPECT_EQ(host.calls.size(), 1u);
}

struct CloseOnZeroCase {
    const char *model;
    uint32_t first;
    bool closes;
};

TEST(PluginEntryPoints, CloseOnZeroClosesOnlyEarlierModelsOnZero)
{
    DataFolder folder;
    Host host;
    const CloseOnZeroCase cases[] = {
        {"KR-210", 0, true},  {"KR-210", 1, false},      {"QvSERv", 0, false},
        {"QvSERv", 1, false}, {"Unknown 9000", 0, true}, // code 1
    };
    for (const CloseOnZeroCase &c : cases) {
        Receiver receiver(kMaker, c.model, "00000001", 5, "Analog Devices", "ADSP-2185");
        host.calls.clear();
        ASSERT_NE(host.StartInstance(7, receiver), -1) << c.model;
        host.notify(7, kNotifyCloseOnZero, c.first, 0, nullptr);
        host.Sync();
        EXPECT_EQ(host.Codes().size(), c.closes ? 1u : 0u) << c.model << " " << c.first;
        if (!c.closes)
            host.Close(7);
        ASSERT_EQ(host.Codes(), std::vector<uint32_t>{kHostPluginClosing}) << c.model;
    }
}

TEST(PluginEntryPoints, NotificationsGoToTheInstanceWithTheIdentifier)
{
    DataFolder folder;
    Host host;
    Receiver first(kMaker, "KR-300", "00000001", 0, "Analog Devices", "ADSP-2105");
    Receiver second(kMaker, "KR-300", "00000002", 0, "Analog Devices", "ADSP-2105");
    host.dspHandle = 100;
    ASSERT_NE(host.StartInstance(1, first), -1);
    host.dspHandle = 200;
    ASSERT_NE(host.StartInstance(2, second), -1);
    host.calls.clear();
    host.SendDspEvent(2, 255);
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[0].first, 200u);
    host.Close(2);
    host.Close(1);
    host.calls.clear();
    host.SendDspEvent(1, 255);
    EXPECT_TRUE(host.calls.empty());
}

// The whole life of a DSP-extension receiver, call by call.
TEST(PluginEntryPoints, DspExtensionCallSequence)
{
    DataFolder folder;
    Host host;
    Receiver receiver(kMaker, "KR-100", "00000000", 0, "Analog Devices", "ADSP-2105");
    const int32_t window = host.StartInstance(9, receiver);
    ASSERT_NE(window, -1);
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[0].code, kHostDspOpen);
    EXPECT_EQ(host.calls[0].window, 0u); // still constructing
    EXPECT_EQ(host.calls[0].first, 0u);
    ASSERT_EQ(host.calls[0].data.size(), 3073u);
    EXPECT_EQ(host.calls[0].data[0], 0x7F);
    EXPECT_EQ(host.calls[1].code, kHostDspUse);
    EXPECT_EQ(host.calls[1].first, 2u);

    host.calls.clear();
    host.SendDspEvent(9, 255);
    host.SendDspEvent(9, 254);
    host.SendDspEvent(9, 17);
    const std::vector<uint32_t> turn = {kHostDspStartStream, kHostDspCommand, kHostDspCommand, kHostDspWriteAudio,
                                        kHostDspCommand};
    ASSERT_EQ(host.Codes(), turn);
    EXPECT_EQ(host.calls[1].data, std::vector<uint8_t>{0x80});
    EXPECT_EQ(host.calls[2].data, std::vector<uint8_t>{0xC0});
    EXPECT_EQ(host.calls[3].data.size(), 2048u);
    EXPECT_EQ(host.calls[4].data, std::vector<uint8_t>{0x00});
    for (const fake::Call &c : host.calls) {
        EXPECT_EQ(c.window, uint32_t(window));
        EXPECT_EQ(c.first, uint32_t(host.dspHandle));
    }

    // A host that keeps refusing the turn's audio does not hold the plug-in forever.
    host.calls.clear();
    host.refuse.insert(kHostDspWriteAudio);
    host.SendDspEvent(9, 254);
    const std::vector<uint32_t> refused = host.Codes();
    EXPECT_GT(std::count(refused.begin(), refused.end(), kHostDspWriteAudio), 1);
    host.refuse.clear();

    host.calls.clear();
    host.Close(9);
    const std::vector<uint32_t> closing = {kHostDspStop, kHostDspUse, kHostDspClose, kHostPluginClosing};
    ASSERT_EQ(host.Codes(), closing);
    EXPECT_EQ(host.calls[1].first, 0u);
    EXPECT_EQ(host.calls[2].first, uint32_t(host.dspHandle));
    host.SendDspEvent(9, 254);
    EXPECT_EQ(host.calls.size(), closing.size());
}

TEST(PluginEntryPoints, RefusedDspExtensionFailsTheStart)
{
    DataFolder folder;
    Host host;
    host.refuse.insert(kHostDspOpen);
    Receiver receiver(kMaker, "KR-100", "00000000", 0, "Analog Devices", "ADSP-2105");
    EXPECT_EQ(host.StartInstance(3, receiver), -1);
    // The half-built instance still says goodbye, from construction (window 0).
    const std::vector<uint32_t> expected = {kHostDspOpen, kHostPluginClosing};
    ASSERT_EQ(host.Codes(), expected);
    EXPECT_EQ(host.calls[1].window, 0u);
    host.calls.clear();
    host.SendDspEvent(3, 255);
    EXPECT_TRUE(host.calls.empty());
}

// Each receiver keeps its own chunk in the one file, and closing writes it even when nothing changed.
TEST(PluginEntryPoints, ReceiversKeepSeparateConfigurationChunks)
{
    DataFolder folder;
    const std::string path = folder.File("Sirrel_Config.dat");
    Configuration stored;
    stored.mode = kModeCis;
    stored.baudrate = 100.0;
    ASSERT_EQ(SaveConfiguration(path, 11, stored), ChunkStatus::kFound);

    Host host;
    Receiver first(kMaker, "QvPCIv", "", 11);
    Receiver second(kMaker, "QvSERv", "", 22);
    ASSERT_NE(host.StartInstance(1, first), -1);
    ASSERT_NE(host.StartInstance(2, second), -1);
    host.Close(1);
    host.Close(2);

    Configuration a, b;
    EXPECT_EQ(LoadConfiguration(path, 11, 0, 0, a).status, ChunkStatus::kFound);
    EXPECT_EQ(LoadConfiguration(path, 22, 0, 0, b).status, ChunkStatus::kFound);
    EXPECT_EQ(a.mode, kModeCis);
    EXPECT_EQ(a.baudrate, 100.0);
    EXPECT_EQ(b.mode, Configuration{}.mode);
    EXPECT_FALSE(std::filesystem::exists(folder.File("SoundCard_Config.dat")));
}

// The names of the folder's files that were opened, read or written while the watch was on.
std::set<std::string> TouchedFiles(int watch)
{
    std::set<std::string> names;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t got; (got = read(watch, buffer, sizeof buffer)) > 0;) {
        for (char *p = buffer; p < buffer + got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(p);
            if (event->len > 0)
                names.insert(event->name);
            p += sizeof(inotify_event) + event->len;
        }
    }
    return names;
}

// A Qv receiver gets its audio from the host: the sound-card file is neither opened nor written.
TEST(PluginEntryPoints, QvReceiverNeverTouchesTheSoundCardFile)
{
    DataFolder folder;
    std::ofstream(folder.File("SoundCard_Config.dat")) << "kept as it is";
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, folder.Path().c_str(), IN_OPEN | IN_ACCESS | IN_MODIFY), 0);

    Host host;
    Receiver receiver(kMaker, "QvSERv", "", 26);
    ASSERT_NE(host.StartInstance(1, receiver), -1);
    host.Close(1);
    const std::set<std::string> touched = TouchedFiles(watch);
    close(watch);
    EXPECT_TRUE(touched.count("Sirrel_Config.dat")); // the watch does see the plug-in's own files
    EXPECT_FALSE(touched.count("SoundCard_Config.dat"));
}

} // namespace
