// kel-host opens a receiver without a DSP on the sound card: the plug-in records the stored capture device
// (a file-backed ALSA device here) and decodes it until the host is told to stop.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <thread>

#include "alsa_file_capture.h"
#include "fake_receiver.h"
#include "kel_host_process.h"
#include "protocols/configuration.h"
#include "stored_receiver.h"

namespace {

using namespace sirrel;
using kelhost::Process;
using kelhost::ReadAll;

// The key of the serial text "00000001" that kel-host gives the receiver with serial 1.
constexpr uint32_t kKey = 0xFE400001;

TEST(KelHostSoundCard, DecodesTheSoundCardUntilInterrupted)
{
    const std::string text = "RYRY THE QUICK BROWN FOX JUMPS";
    fake::DataFolder folder;
    const std::string log = folder.File("card.log");
    ASSERT_TRUE(fake::StoreFixedReceiver(folder.File("Sirrel_Config.dat"), kKey, "Baudot", 50, log));
    SoundCardConfiguration names;
    names.waveIn = sirrel::testing::kFileCaptureName;
    names.waveOut = sirrel::testing::kFileCaptureName;
    ASSERT_EQ(SaveSoundCard(folder.File("SoundCard_Config.dat"), kKey, names), ChunkStatus::kFound);
    const std::string wav = folder.File("signal.wav");
    const std::string command = std::string(SIRREL_GEN_PROGRAM) + " -o '" + wav +
                                "' --mode ita2 --baud 50 --space 1000 --mark 1170 --trail 1 -- '" + text +
                                " OVER THE LAZY DOG'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    setenv(
        "ALSA_CONFIG_PATH",
        sirrel::testing::DefineRepeatedCapture(wav, 40, folder.File("signal.raw"), folder.File("asound.conf")).c_str(),
        1);

    Process host({"-r", "kr-100:1:sound-card"}, folder.File("stderr"));
    unsetenv("ALSA_CONFIG_PATH");
    const std::string line = host.Line();
    EXPECT_EQ(line.rfind("kr-100:1 window ", 0), 0u) << line << ReadAll(folder.File("stderr"));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    host.Signal(SIGINT);
    EXPECT_EQ(host.Wait(), 0) << ReadAll(folder.File("stderr"));
    EXPECT_NE(ReadAll(log).find(text), std::string::npos) << ReadAll(log);
}

} // namespace
