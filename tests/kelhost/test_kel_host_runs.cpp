// kel-host drives the real plug-in on the headless display: generated signals played to receivers must appear
// in each receiver's channel 1 log; windows stay open after their file until closed; a signal closes every
// receiver so that its settings are saved; unusable input is refused before any window opens.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "audio/wav_file.h"
#include "fake_receiver.h"
#include "kel_host_process.h"
#include "protocols/configuration.h"
#include "stored_receiver.h"

namespace {

using namespace sirrel;
using kelhost::Process;
using kelhost::ReadAll;

struct Station {
    uint32_t serial;
    const char *text;
    const char *protocol;  // the stock protocol the receiver is set to
    const char *generator; // sirrel-gen's options for the signal
    double baud;
};

const Station kTeleprinter{31337, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 1234567890", "Baudot",
                           "--mode ita2 --baud 50", 50};
const Station kNavtex{4242, "ZCZC FA01 NAVAREA TEST SECURITE GALE WARNING NNNN", "NAVTEX", "--mode fec --baud 100",
                      100};

std::string LogOf(const fake::DataFolder &folder, const Station &s)
{
    return folder.File(std::to_string(s.serial) + ".log");
}

// Stores the receiver's settings (the protocol, fixed tones and rate, channel 1 logged) and makes its signal.
std::string Prepare(const fake::DataFolder &folder, const Station &s)
{
    EXPECT_TRUE(
        fake::StoreFixedReceiver(folder.File("Sirrel_Config.dat"), s.serial, s.protocol, s.baud, LogOf(folder, s)));
    const std::string wav = folder.File(std::to_string(s.serial) + ".wav");
    const std::string command = std::string(SIRREL_GEN_PROGRAM) + " -o '" + wav + "' " + s.generator +
                                " --space 1000 --mark 1170 -- '" + s.text + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return wav;
}

std::string Receiver(const Station &s, const std::string &source)
{
    return "qv-usb:" + std::to_string(s.serial) + ":" + source;
}

// "qv-usb:1 window 42": the receiver and a window handle, whatever number the display gave it.
::testing::AssertionResult Announces(const std::string &line, const std::string &start)
{
    const size_t digits = line.find_first_not_of("0123456789", start.size());
    if (line.rfind(start, 0) == 0 && line.size() > start.size() && digits == std::string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "'" << line << "' does not announce '" << start << "HANDLE'";
}

bool Saved(const fake::DataFolder &folder, uint32_t serial)
{
    Configuration saved;
    return LoadConfiguration(folder.File("Sirrel_Config.dat"), serial, 0, 0, saved).status == ChunkStatus::kFound;
}

TEST(KelHost, TwoReceiversDecodeTheirFilesAndExitAtTheEnd)
{
    fake::DataFolder folder;
    const std::string first = Prepare(folder, kTeleprinter);
    const std::string second = Prepare(folder, kNavtex);
    Process host({"--exit-at-end", "-r", Receiver(kTeleprinter, first), "-r", Receiver(kNavtex, second)},
                 folder.File("stderr"));
    EXPECT_EQ(host.Wait(), 0) << ReadAll(folder.File("stderr"));

    const std::string teleprinter = ReadAll(LogOf(folder, kTeleprinter));
    const std::string navtex = ReadAll(LogOf(folder, kNavtex));
    EXPECT_NE(teleprinter.find(kTeleprinter.text), std::string::npos) << teleprinter;
    EXPECT_NE(navtex.find(kNavtex.text), std::string::npos) << navtex;
    EXPECT_EQ(teleprinter.find(kNavtex.text), std::string::npos);
}

TEST(KelHost, RawAudioOnStdinAtItsOwnRate)
{
    fake::DataFolder folder;
    const std::string wav = Prepare(folder, kTeleprinter);
    // The generator's 16-bit mono samples without the WAV header.
    const std::string raw = folder.File("signal.raw");
    {
        WavFile file;
        ASSERT_TRUE(file.OpenRead(wav.c_str(), 0));
        ASSERT_EQ(file.Rate(), 11025u);
        std::vector<uint8_t> data(file.DataLength());
        ASSERT_EQ(file.ReadData(data.data(), uint32_t(data.size())), data.size());
        std::ofstream(raw, std::ios::binary)
            .write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
    }
    Process host({"--exit-at-end", "--input-rate", "11025", "-r", Receiver(kTeleprinter, "-")}, folder.File("stderr"),
                 raw);
    EXPECT_EQ(host.Wait(), 0) << ReadAll(folder.File("stderr"));
    const std::string log = ReadAll(LogOf(folder, kTeleprinter));
    EXPECT_NE(log.find(kTeleprinter.text), std::string::npos) << log;
}

TEST(KelHost, RealtimeSendsAFileAtItsOwnPace)
{
    fake::DataFolder folder;
    const std::string wav = folder.File("short.wav");
    ASSERT_EQ(std::system((std::string(SIRREL_GEN_PROGRAM) + " -o '" + wav + "' --lead 4 --trail 0.5 -- RY").c_str()),
              0);
    WavFile file;
    ASSERT_TRUE(file.OpenRead(wav.c_str(), 0));
    const double seconds = double(file.DataLength()) / file.FrameBytes() / file.Rate();
    file.Close();
    // Long enough that starting the program (slow under the sanitizers) is a small part of it.
    ASSERT_GT(seconds, 4.5);

    for (const bool realtime : {false, true}) {
        std::vector<std::string> args{"--exit-at-end", "-r", "qv-usb:3:" + wav};
        if (realtime)
            args.insert(args.begin(), "--realtime");
        const auto start = std::chrono::steady_clock::now();
        Process host(args, folder.File("stderr"));
        EXPECT_EQ(host.Wait(), 0) << ReadAll(folder.File("stderr"));
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (realtime)
            EXPECT_GT(took, seconds * 0.95);
        else
            EXPECT_LT(took, seconds * 0.5);
    }
}

TEST(KelHost, WindowsStayOpenAfterTheirFileUntilInterrupted)
{
    fake::DataFolder folder;
    const std::string wav = Prepare(folder, kTeleprinter);
    constexpr uint32_t kQuietSerial = 555; // waits on an open, silent pipe
    ASSERT_FALSE(Saved(folder, kQuietSerial));
    Process host({"-r", Receiver(kTeleprinter, wav), "-r", "qv-ser:555:-"}, folder.File("stderr"));
    EXPECT_TRUE(Announces(host.Line(), "qv-usb:31337 window "));
    EXPECT_TRUE(Announces(host.Line(), "qv-ser:555 window "));

    EXPECT_EQ(host.Line(), "qv-usb:31337 end of audio");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(host.Running());

    host.Signal(SIGINT);
    EXPECT_EQ(host.Wait(), 0) << ReadAll(folder.File("stderr"));
    EXPECT_TRUE(Saved(folder, kTeleprinter.serial));
    EXPECT_TRUE(Saved(folder, kQuietSerial));
    const std::string log = ReadAll(LogOf(folder, kTeleprinter));
    EXPECT_NE(log.find(kTeleprinter.text), std::string::npos) << log;
}

TEST(KelHost, SigtermClosesLikeCtrlC)
{
    fake::DataFolder folder;
    Process host({"-r", "qv-usb:77:-"}, folder.File("stderr"));
    EXPECT_TRUE(Announces(host.Line(), "qv-usb:77 window "));
    host.Signal(SIGTERM);
    EXPECT_EQ(host.Wait(), 0) << ReadAll(folder.File("stderr"));
    EXPECT_TRUE(Saved(folder, 77));
}

TEST(KelHost, UnusableInputIsRefusedBeforeAnyWindowOpens)
{
    fake::DataFolder folder;
    std::ofstream(folder.File("text.wav")) << "not audio";
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"-r", "qv-usb:1:" + folder.File("absent.wav")}, "cannot open '" + folder.File("absent.wav") + "'"},
        {{"-r", "qv-usb:1:" + folder.File("text.wav")}, "'" + folder.File("text.wav") + "' is not a WAV file"},
        {{"--plugin", folder.File("libnone.so"), "-r", "qv-usb:1:-"},
         "cannot load the plug-in '" + folder.File("libnone.so") + "': No such file"},
        {{"--plugin", folder.File("text.wav"), "-r", "qv-usb:1:-"},
         "cannot load the plug-in '" + folder.File("text.wav") + "'"},
        {{"-r", "usb:1:-"}, "receiver kind of qv-usb, qv-ser, kr-100, not 'usb'"},
    };
    for (const auto &c : cases) {
        Process host(c.args, folder.File("stderr"), "/dev/null");
        EXPECT_EQ(host.Wait(), 2);
        EXPECT_EQ(host.Line(std::chrono::seconds(1)), "");
        const std::string error = ReadAll(folder.File("stderr"));
        EXPECT_EQ(error.rfind("kel-host: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    EXPECT_FALSE(std::filesystem::exists(folder.File("Sirrel_Config.dat")));
}

} // namespace
