// The host plays generated teleprinter recordings to two Qv receivers at once, as interleaved stereo audio
// blocks; each text must arrive in its own instance's channel 1 log.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "audio/wav_file.h"
#include "fake_host.h"
#include "protocols/configuration.h"

#ifdef SIRREL_GEN_PROGRAM

namespace {

using namespace sirrel;

struct Station {
    uint32_t id;
    uint32_t serial;
    std::string text;
    std::string log;
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
        {5, 31337, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 1234567890", "first.log"},
        {6, 4242, "RYRYRY CQ CQ DE TEST STATION 73", "second.log"},
    };
    std::vector<std::unique_ptr<WavFile>> recordings;
    for (const Station &s : stations) {
        Configuration stored;
        stored.mode = kModeIta2;
        stored.tuneAuto = 0;
        stored.space = 1000;
        stored.mark = 1170;
        stored.baudAuto = 0;
        stored.baudrate = 50;
        stored.logEnabled[0] = 1;
        stored.logFile[0] = s.log;
        ASSERT_EQ(SaveConfiguration(folder.File("Sirrel_Config.dat"), s.serial, stored), ChunkStatus::Found);

        const std::string wav = folder.File(s.log + ".wav");
        const std::string command = std::string(SIRREL_GEN_PROGRAM) + " -o '" + wav +
                                    "' --mode ita2 --baud 50 --space 1000 --mark 1170 --rate 44100 -- '" + s.text +
                                    "'";
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
    for (bool more = true; more;) {
        more = false;
        for (size_t i = 0; i < recordings.size(); ++i) {
            int16_t mono[1024];
            const uint32_t got = recordings[i]->ReadData(mono, sizeof mono) / 2;
            if (got == 0)
                continue;
            more = true;
            std::vector<int16_t> stereo;
            for (uint32_t k = 0; k < got; ++k) {
                stereo.push_back(mono[k]);
                stereo.push_back(mono[k]);
            }
            std::vector<uint8_t> block = fake::Host::AudioBlock(44100, 16, 2, stereo);
            host.notify(stations[i].id, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data());
        }
    }
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
