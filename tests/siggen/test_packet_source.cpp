#include <gtest/gtest.h>

#include <string>

#include "decoders/hdlc_deframer.h"
#include "siggen/ax25_frame.h"
#include "siggen/packet_source.h"

namespace sirrel::siggen {
namespace {

// The generator's line levels, bit by bit, through the decoder's deframer and formatter.
std::string Monitor(const std::string &description, bool crcIgnore = false)
{
    Keying keying;
    PacketSource source;
    EXPECT_EQ(source.Encode(description, keying), 0u);
    HdlcDeframer deframer;
    deframer.SetCrcIgnore(crcIgnore);
    std::string text;
    deframer.SetSink([&text](const DecodedCode &code) { text += static_cast<char>(code.code); });
    deframer.PushLevel(source.IdleLevel());
    for (const KeyElement &e : keying.Elements()) {
        EXPECT_EQ(e.bits, double(int(e.bits))) << "whole bit periods only";
        for (int i = 0; i < int(e.bits); ++i)
            deframer.PushLevel(e.level);
    }
    deframer.PushLevel(source.IdleLevel() ^ 1);
    deframer.PushLevel(source.IdleLevel());
    return text;
}

TEST(PacketSource, CheckSequenceIsCrc16X25)
{
    EXPECT_EQ(Ax25Fcs({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x906E);
}

TEST(PacketSource, DescriptionsBecomeTheFramesTheyDescribe)
{
    const struct {
        const char *description;
        const char *shown;
    } cases[] = {
        {"SRC>DST,DIGI*: hello", "SRC\\DIGI*>DST <V2 UI C> :\rhello\r"},
        {"N0CALL-7>APRS,WIDE1-1*,WIDE2-2 V1: \\xFF\\x7E\\x7E\\x00!",
         "N0CALL-7\\WIDE1-1*\\WIDE2-2>APRS <V1 UI> :\r\xFF~~!\r"},
        {"SRC>DST I R F NS=3 NR=5 PID=CC: x", "SRC>DST <V2 I R F S3 R5> [ARPA Internet]:\rx\r"},
        {"SRC>DST RNR P NR=6", "SRC>DST <V2 RNR C P R6>\r"},
        {"SRC>DST SREJ R", "SRC>DST <V2 ??? R R0>\r"},
        {"SRC>DST SABM P", "SRC>DST <V2 SABM C P>\r"},
        {"SRC>DST FRMR R: \\x01\\x02", "SRC>DST <V2 FRMR R>\r\x01\x02\r"},
        {"SRC>DST PID=42", "SRC>DST <V2 UI C> PID=0x42\r"},
        {"A>B,D1*,D2*,D3*,D4*,D5*,D6*,D7*,D8: 8", "A\\D1\\D2\\D3\\D4\\D5\\D6\\D7*\\D8>B <V2 UI C> :\r8\r"},
        {"SRC>DST I NETROM=ORIG-1>TARGET TTL=7 OP=1 CIRCUIT=3/4/0/0 WINDOW=4 USER=USER NODE=NODE-2",
         "SRC>DST <V2 I C S0 R0> [NET/ROM]:\r        [NET/ROM data] ORIG-1>TARGET LifeTime=7\r        "
         "Conn_Req Circuit=3 ID=4 USER>TARGET via NODE-2 Window=4\r"},
        {"SRC>DST I NS=1 NETROM=ORIG>TARGET OP=5 CIRCUIT=3/4/5/6: text",
         "SRC>DST <V2 I C S1 R0> [NET/ROM]:\r        [NET/ROM data] ORIG>TARGET LifeTime=7\r        "
         "Info     Circuit=3 ID=4 TxSeq=5 RxSeq=6\rtext\r"},
        {"N1NODE-1>NODES V1 NODES=MYNODE ENTRY=AB1C/BOS/NB1X-2/200 ENTRY=XY2Z-3/ALB/NB1X/7",
         "N1NODE-1>NODES <V1 UI> [NET/ROM]:\rNode list from MYNODE callsign N1NODE-1"
         "\r    Call AB1C Name BOS Path NB1X-2 Quality 200\r    Call XY2Z-3 Name ALB Path NB1X Quality 7\r"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Monitor(c.description), c.shown) << c.description;
}

TEST(PacketSource, StreamsOfFramesAndWrongCheckSequences)
{
    const std::string stream = "# a comment\nA>B: one\r\n\nA>B BADFCS: two\nA>B: three\n";
    EXPECT_EQ(Monitor(stream), "A>B <V2 UI C> :\rone\rA>B <V2 UI C> :\rthree\r");
    EXPECT_EQ(Monitor(stream, true),
              "A>B <V2 UI C> :\rone\rA>B <V2 UI C> [CRC Error] :\rtwo\rA>B <V2 UI C> :\rthree\r");
}

TEST(PacketSource, BadDescriptionsAreNamed)
{
    const struct {
        std::string text;
        const char *problem;
    } cases[] = {
        {"A>B\nno path here", "line 2: no SRC>DST path"},
        {"A>B,1,2,3,4,5,6,7,8,9", "line 1: more than 8 digipeaters"},
        {"TOOLONGCALL>B", "line 1: bad callsign in 'TOOLONGCALL>B'"},
        {"A-16>B", "line 1: bad callsign in 'A-16>B'"},
        {"A>B XYZ", "line 1: cannot use 'XYZ'"},
        {"A>B NS=8", "line 1: cannot use 'NS=8'"},
        {"A>B: \\q", "line 1: bad escape in the information"},
        {"A>B UA NODES=X", "line 1: NETROM= needs an I frame, NODES= a UI frame"},
        {"A>B: " + std::string(330, 'x'), "line 1: frame of 346 bytes is longer than 328"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PacketDescriptionProblem(c.text), c.problem) << c.text;
    EXPECT_EQ(PacketDescriptionProblem("A>B\n# fine\n\nC>D I: x"), "");
    EXPECT_EQ(PacketDescriptionProblem("A>B: " + std::string(312, 'x')), "") << "328 bytes and the check sequence";

    Keying keying;
    EXPECT_EQ(PacketSource().Encode("A>B\nbroken\nC>D", keying), 1u) << "bad lines are left out and counted";
}

} // namespace
} // namespace sirrel::siggen
