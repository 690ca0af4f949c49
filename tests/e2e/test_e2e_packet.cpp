// Packet radio through the whole chain: generated AFSK in, AX.25 monitor text out.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

using e2e::decode;
using e2e::generate;
using e2e::TempDir;

// One frame of every kind, and the monitor text each gives (the decoder prints carriage returns as line ends).
const char kFrames[] = "SRC>DST,DIGI*: hello\n"
                       "N0CALL-7>APRS,WIDE1-1*,WIDE2-2 V1: !4903.50N/07201.75W-\\xFF\\x7E\n"
                       "K1ABC>W2XYZ I NS=2 NR=3 P: connected text\n"
                       "W2XYZ>K1ABC RR R F NR=3\n"
                       "K1ABC>W2XYZ SABM P\n"
                       "W2XYZ>K1ABC UA R F\n"
                       "K1ABC>W2XYZ BADFCS: damaged\n"
                       "NODE-1>NODE-2 I NETROM=ORIG>TARGET TTL=9 OP=5 CIRCUIT=1/2/3/4: netrom data\n"
                       "NODE-1>NODES V1 NODES=BOSTON ENTRY=AB1C/ALB/NB1X-2/200 ENTRY=XY2Z-3/NYC/NB1X/7\n"
                       "A>B,D1*,D2*,D3*,D4*,D5*,D6*,D7,D8 PID=CC: eight\n";

const char kMonitor[] = "SRC\\DIGI*>DST <V2 UI C> :\nhello\n"
                        "N0CALL-7\\WIDE1-1*\\WIDE2-2>APRS <V1 UI> :\n!4903.50N/07201.75W-\xFF~\n"
                        "K1ABC>W2XYZ <V2 I C P S2 R3> :\nconnected text\n"
                        "W2XYZ>K1ABC <V2 RR R F R3>\n"
                        "K1ABC>W2XYZ <V2 SABM C P>\n"
                        "W2XYZ>K1ABC <V2 UA R F>\n"
                        "NODE-1>NODE-2 <V2 I C S0 R0> [NET/ROM]:\n        [NET/ROM data] ORIG>TARGET LifeTime=9\n"
                        "        Info     Circuit=1 ID=2 TxSeq=3 RxSeq=4\nnetrom data\n"
                        "NODE-1>NODES <V1 UI> [NET/ROM]:\nNode list from BOSTON callsign NODE-1\n"
                        "    Call AB1C Name ALB Path NB1X-2 Quality 200\n"
                        "    Call XY2Z-3 Name NYC Path NB1X Quality 7\n"
                        "A\\D1\\D2\\D3\\D4\\D5\\D6*\\D7\\D8>B <V2 UI C> [ARPA Internet]:\neight\n";

struct Speed {
    const char *protocol;
    const char *baud, *space, *mark;
};

// Both stock protocols as they are, automatic tuning included.
const Speed kSpeeds[] = {
    {"Packet Radio - 1200bps", "1200", "2200", "1200"},
    {"Packet Radio - 300bps", "300", "1800", "1600"},
};

TEST(EndToEndPacket, DefaultProtocolsPrintTheExactMonitorText)
{
    TempDir dir;
    for (const Speed &s : kSpeeds) {
        const std::string wav = dir.file("packet.wav");
        auto gen = generate(wav, kFrames, {"--mode", "packet", "--baud", s.baud, "--space", s.space, "--mark", s.mark});
        ASSERT_EQ(gen.status, 0) << gen.err;
        std::vector<std::string> options = {"--protocol", s.protocol, wav};
        auto out = decode(options);
        ASSERT_EQ(out.status, 0) << out.err;
        EXPECT_EQ(out.out, kMonitor) << s.protocol;

        options.insert(options.begin(), "--crc-ignore");
        out = decode(options);
        EXPECT_NE(out.out.find("K1ABC>W2XYZ <V2 UI C> [CRC Error] :\ndamaged\n"), std::string::npos)
            << s.protocol << " with CRC ignore gave:\n"
            << out.out;
    }
}

// With noise and a tuning offset the check sequence keeps damaged frames out: every line shown is one that
// was sent, and at 20 dB nearly all frames come through.
TEST(EndToEndPacket, NoisyFramesAreShownWhole)
{
    TempDir dir;
    std::string frames, expected;
    for (int i = 0; i < 40; ++i) {
        const std::string info = "frame number " + std::to_string(i) + " of the noisy test";
        frames += "N0CALL>TEST: " + info + "\n";
        expected += "N0CALL>TEST <V2 UI C> :\n" + info + "\n";
    }
    const std::string wav = dir.file("noisy.wav");
    auto gen = generate(wav, frames,
                        {"--mode", "packet", "--baud", "1200", "--space", "2200", "--mark", "1200", "--snr", "20",
                         "--offset", "30", "--seed", "5"});
    ASSERT_EQ(gen.status, 0) << gen.err;
    auto out = decode({"--protocol", "Packet Radio - 1200bps", wav});
    ASSERT_EQ(out.status, 0) << out.err;
    size_t shown = 0;
    for (size_t at = 0; (at = out.out.find("N0CALL>TEST <V2 UI C> :\n", at)) != std::string::npos; ++at) {
        const size_t end = out.out.find('\n', out.out.find('\n', at) + 1);
        ASSERT_NE(end, std::string::npos);
        EXPECT_NE(expected.find(out.out.substr(at, end + 1 - at)), std::string::npos) << out.out.substr(at, end - at);
        ++shown;
    }
    EXPECT_GE(shown, 36u) << out.out;
}

} // namespace
