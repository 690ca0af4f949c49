// The host plays generated recordings (a teleprinter and a NAVTEX broadcast) to two Qv receivers at once, each
// from a thread of its own, as host audio blocks; each text must arrive in its own instance's channel 1 log.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "audio/wav_file.h"
#include "fake_host.h"
#include "stored_receiver.h"

#ifdef SIRREL_GEN_PROGRAM

namespace {

using namespace sirrel;

struct Station {
    uint32_t id;
    uint32_t serial;
    std::string text;
    std::string log;
    const char *protocol;  // the stock protocol the receiver is set to
    const char *generator; // sirrel-gen's options for that signal
    uint32_t channels;     // of the host's blocks
    double baud;
};

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

TEST(PluginEndToEnd, EachReceiverLogsItsOwnText)
{
    fake::DataFolder folder;
    const Station stations[] = {
        {5, 31337, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 1234567890", "first.log", "Baudot",
         "--mode ita2 --baud 50", 2, 50},
        {6, 4242, "ZCZC FA01 NAVAREA TEST SECURITE GALE WARNING NNNN", "second.log", "NAVTEX", "--mode fec --baud 100",
         1, 100},
    };
    std::vector<std::unique_ptr<WavFile>> recordings;
    for (const Station &s : stations) {
        ASSERT_TRUE(fake::StoreFixedReceiver(folder.File("Sirrel_Config.dat"), s.serial, s.protocol, s.baud, s.log));

        const std::string wav = folder.File(s.log + ".wav");
        const std::string command = std::string(SIRREL_GEN_PROGRAM) + " -o '" + wav + "' " + s.generator +
                                    " --space 1000 --mark 1170 --rate 44100 -- '" + s.text + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        recordings.push_back(std::make_unique<WavFile>());
        ASSERT_TRUE(recordings.back()->OpenRead(wav.c_str(), 0));
        ASSERT_EQ(recordings.back()->Bits(), 16u);
        ASSERT_EQ(recordings.back()->Channels(), 1u);
        ASSERT_EQ(recordings.back()->Rate(), 44100u);
    }

    fake::Host host;
    std::vector<std::unique_ptr<fake::Receiver>> receivers;
    for (const Station &s : stations) {
        receivers.push_back(std::make_unique<fake::Receiver>(fake::kMaker, "QvUSBv", "", s.serial));
        ASSERT_NE(host.StartInstance(s.id, *receivers.back()), -1);
    }
    std::vector<std::thread> players;
    for (size_t i = 0; i < recordings.size(); ++i) {
        players.emplace_back([&, i] {
            const Station &s = stations[i];
            int16_t mono[1024];
            for (uint32_t got; (got = recordings[i]->ReadData(mono, sizeof mono) / 2) > 0;) {
                std::vector<int16_t> samples;
                for (uint32_t k = 0; k < got; ++k)
                    samples.insert(samples.end(), s.channels, mono[k]);
                std::vector<uint8_t> block = fake::Host::AudioBlock(44100, 16, s.channels, samples);
                host.notify(s.id, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data());
            }
        });
    }
    for (std::thread &t : players)
        t.join();
    for (const Station &s : stations)
        host.Close(s.id);

    for (const Station &s : stations) {
        const std::string log = ReadAll(folder.File(s.log));
        EXPECT_NE(log.find(s.text), std::string::npos) << s.log << ":\n" << log;
        EXPECT_EQ(log.find(s.text == stations[0].text ? stations[1].text : stations[0].text), std::string::npos);
    }
}

} // namespace

#endif
