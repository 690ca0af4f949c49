// Live decoding from a sound card: a generated signal is captured through libasound from a device backed by
// a file, and sirrel-decode --device decodes it until it is told to stop.
#include <gtest/gtest.h>

#include "alsa_file_capture.h"
#include "e2e_support.h"

namespace {

using e2e::quote;
using sirrel::testing::DefineFileCapture;
using sirrel::testing::kFileCaptureDevice;
using sirrel::testing::WavData;

constexpr char kText[] = "RYRY THE QUICK BROWN FOX JUMPS";
// The decoder gives its last characters only when the signal has really ended; a signal that goes on (the next
// repetition) keeps them back. The words after kText stand for them.
constexpr char kSent[] = "RYRY THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG";

// sirrel-decode on the file-backed device, stopped by `signal` once the text has come (or after a minute). The
// device delivers as fast as it is read: the signal is repeated so that the device still sounds at the signal.
e2e::Result DecodeLive(const e2e::TempDir &dir, const std::string &signal, const std::vector<std::string> &options)
{
    const std::string wav = dir.file("live.wav");
    if (e2e::generate(wav, kSent, {"--mode", "ita2", "--trail", "1"}).status != 0)
        return {};
    const std::vector<uint8_t> once = WavData(wav);
    std::vector<uint8_t> repeated;
    for (int i = 0; i < 40; ++i)
        repeated.insert(repeated.end(), once.begin(), once.end());
    const std::string config = DefineFileCapture(repeated, dir.file("live.raw"), dir.file("asound.conf"));
    const std::string text = dir.file("text");
    const std::string script = "ALSA_CONFIG_PATH=" + quote(config) + " " + SIRREL_DECODE_PROGRAM + e2e::args(options) +
                               " >" + quote(text) + " & pid=$!; for i in $(seq 600); do grep -q " + quote(kText) + " " +
                               quote(text) + " && break; sleep 0.1; done; kill -" + signal +
                               " $pid; wait $pid; status=$?; cat " + quote(text) + "; exit $status";
    return e2e::run("bash -c " + quote(script));
}

TEST(E2eSoundCard, DecodesTheDeviceUntilInterruptedOrTerminated)
{
    for (const char *signal : {"INT", "TERM"}) {
        SCOPED_TRACE(signal);
        e2e::TempDir dir;
        const e2e::Result out =
            DecodeLive(dir, signal,
                       {"--mode", "ita2", "--tune", "manual", "--space", "1000", "--mark", "1170", "--baud", "45.45",
                        "--log-dir", dir.file("logs"), "--device", kFileCaptureDevice});
        EXPECT_EQ(out.status, 0) << out.err;
        EXPECT_EQ(out.out.rfind(kText, 0), 0u) << out.out;
        // The logs were closed with the text in them.
        EXPECT_EQ(e2e::readFile(dir.file("logs/Sirrel1.log")).rfind(kText, 0), 0u);
    }
}

TEST(E2eSoundCard, ListsTheDevicesAndRefusesOnesThatCannotOpen)
{
    e2e::TempDir dir;
    const std::string config = DefineFileCapture({}, dir.file("empty.raw"), dir.file("asound.conf"));
    const std::string env = "ALSA_CONFIG_PATH=" + quote(config) + " ";
    const e2e::Result list = e2e::run(env + SIRREL_DECODE_PROGRAM + " --list-devices");
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out.rfind("default\tWindows default\n", 0), 0u) << list.out;
    EXPECT_NE(list.out.find(std::string(kFileCaptureDevice) + "\tSirrel file capture\n"), std::string::npos);

    const e2e::Result missing = e2e::run(env + SIRREL_DECODE_PROGRAM + " --device sirrel_no_such_card");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("'sirrel_no_such_card'"), std::string::npos) << missing.err;

    const e2e::Result rate = e2e::run(env + SIRREL_DECODE_PROGRAM + " --rate 4000 --device hw:99");
    EXPECT_EQ(rate.status, 2);
    EXPECT_NE(rate.err.find("hw:99"), std::string::npos) << rate.err;

    const e2e::Result both = e2e::decode({"--device", "default", "a.wav"});
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("--device"), std::string::npos);
}

} // namespace
