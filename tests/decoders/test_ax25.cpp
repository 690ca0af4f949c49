#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "decoders/dispatch.h"
#include "decoders/hdlc_deframer.h"
#include "hdlc_line.h"

namespace sirrel {
namespace {

using test::Bytes;
using test::Call;
using test::Header;
using test::Text;
using test::operator+;

struct Piece {
    uint32_t fieldClass;
    std::string text;
    bool operator==(const Piece &) const = default;
};
using Pieces = std::vector<Piece>;

void PrintTo(const Piece &p, std::ostream *os) { *os << p.fieldClass << ":\"" << p.text << "\""; }

struct Monitor {
    HdlcDeframer deframer;
    Pieces pieces;
    std::vector<int32_t> crcFlags; // the check result each piece carried

    // Characters arrive one by one; a change of field class starts a new piece.
    Monitor()
    {
        deframer.SetSink([this](const DecodedCode &code) {
            const uint32_t field = uint32_t(code.field);
            if (pieces.empty() || pieces.back().fieldClass != field) {
                pieces.push_back({field, ""});
                crcFlags.push_back(code.checkGood ? 1 : 0);
            }
            pieces.back().text += char(code.code);
        });
    }

    Pieces show(const Bytes &frame, bool fcsError = false)
    {
        pieces.clear();
        crcFlags.clear();
        test::HdlcLine line;
        line.flags(2).frame(frame, fcsError).flags();
        line.send(deframer);
        return pieces;
    }
};

const Call kDst{"DST"};
const Call kSrc{"SRC"};
// Version 2: the destination's bit 7 set makes a command, the source's a response.
const Call kDstC{"DST", 0, true};
const Call kSrcR{"SRC", 0, true};

Bytes Ui(const Bytes &header, uint8_t pid, const std::string &info) { return header + Bytes{0x03, pid} + Text(info); }

TEST(Ax25Formatter, SpecimenUiFrameThroughADigipeater)
{
    Monitor m;
    const Bytes frame = Ui(Header(kDstC, kSrc, {{"DIGI", 0, true}}), 0xF0, "hello");
    EXPECT_EQ(m.show(frame), (Pieces{{1, "SRC\\DIGI*>DST"}, {2, " <V2 UI C>"}, {4, " :"}, {7, "\rhello\r"}}));
    EXPECT_EQ(m.crcFlags, (std::vector<int32_t>{1, 1, 1, 1}));
}

TEST(Ax25Formatter, ControlFieldTexts)
{
    const struct {
        Call dst, src;
        Bytes rest; // control, PID, information
        const char *control;
        const char *info;
    } cases[] = {
        // I frames: N(S), N(R), poll/final.
        {kDstC, kSrc, {0xB6, 0xF0, 'x'}, " <V2 I C P S3 R5>", "\rx\r"},
        {kDst, kSrcR, {0x0E, 0xF0}, " <V2 I R S7 R0>", "\r"},
        {kDst, kSrcR, {0xF2, 0xF0}, " <V2 I R F S1 R7>", "\r"},
        // S frames.
        {kDstC, kSrc, {0x51}, " <V2 RR C P R2>", "\r"},
        {kDst, kSrcR, {0xB5}, " <V2 RNR R F R5>", "\r"},
        {kDstC, kSrc, {0x29}, " <V2 REJ C R1>", "\r"},
        {kDstC, kSrc, {0x0D}, " <V2 ??? C R0>", "\r"},
        // U frames.
        {kDst, kSrcR, {0x1F}, " <V2 DM R F>", "\r"},
        {kDstC, kSrc, {0x3F}, " <V2 SABM C P>", "\r"},
        {kDstC, kSrc, {0x43}, " <V2 DISC C>", "\r"},
        {kDst, kSrcR, {0x73}, " <V2 UA R F>", "\r"},
        {kDst, kSrcR, {0x87, 'a', 0, 'b'}, " <V2 FRMR R>", "\rab\r"},
        {kDstC, kSrc, {0x6F}, " <V2 ???? C>", "\r"},
        {kDstC, kSrc, {0xAF}, " <V2 ???? C>", "\r"},
        {kDstC, kSrc, {0xE3}, " <V2 ???? C>", "\r"},
        // Version 1: equal bits 7, neither command/response nor poll/final.
        {kDst, kSrc, {0x13, 0xF0, 0, 0}, " <V1 UI>", "\r\r"},
        {kDstC, kSrcR, {0x31}, " <V1 RR R1>", "\r"},
        {kDst, kSrc, {0x3F}, " <V1 SABM>", "\r"},
    };
    for (const auto &c : cases) {
        Monitor m;
        const Pieces shown = m.show(Header(c.dst, c.src) + c.rest);
        ASSERT_GE(shown.size(), 3u) << c.control;
        EXPECT_EQ(shown[0], (Piece{1, "SRC>DST"}));
        EXPECT_EQ(shown[1], (Piece{2, c.control}));
        EXPECT_EQ(shown.back(), (Piece{7, c.info})) << c.control;
        const bool hasPid = (c.rest[0] & 1) == 0 || (c.rest[0] & 0xEF) == 0x03;
        EXPECT_EQ(shown.size(), hasPid ? 4u : 3u) << c.control;
    }
}

TEST(Ax25Formatter, PidLabels)
{
    const struct {
        uint8_t pid;
        const char *label;
    } cases[] = {
        {0x01, " [ISO 8208/CCITT X.25 PLP]:"},
        {0x08, " [Segmentation fragment]:"},
        {0xC3, " [TEXNET datagram]:"},
        {0xC4, " [Link Quality]:"},
        {0xCA, " [Appletalk]:"},
        {0xCB, " [Appletalk ARP]:"},
        {0xCC, " [ARPA Internet]:"},
        {0xCD, " [ARPA Address Resolution]:"},
        {0xCE, " [ARPA Reverse Address Resolution]:"},
        {0xCF, " [NET/ROM]:"},
        {0xF0, " :"},
        {0x0A, " PID=0x0A"},
        {0xFF, " PID=0xFF"},
    };
    for (const auto &c : cases) {
        Monitor m;
        const Pieces shown = m.show(Ui(Header(kDstC, kSrc), c.pid, "hi"));
        ASSERT_EQ(shown.size(), 4u) << int(c.pid);
        EXPECT_EQ(shown[2], (Piece{4, c.label}));
        EXPECT_EQ(shown[3], (Piece{7, "\rhi\r"}));
    }
}

TEST(Ax25Formatter, AddressPathAndHeardStation)
{
    const Call d0{"D0"}, d0r{"D0", 0, true}, d1{"D1"}, d1r{"D1", 0, true};
    const struct {
        std::vector<Call> path;
        const char *text;
    } cases[] = {
        {{}, "N0CALL-7>APRS"},
        {{d0, d1}, "N0CALL-7*\\D0\\D1>APRS"},
        {{d0r, d1}, "N0CALL-7\\D0*\\D1>APRS"},
        {{d0r, d1r}, "N0CALL-7\\D0\\D1*>APRS"},
        {{{"WIDE2", 2}}, "N0CALL-7*\\WIDE2-2>APRS"},
        {{{"A1", 15, true},
          {"A2", 0, true},
          {"A3", 0, true},
          {"A4", 0, true},
          {"A5", 0, true},
          {"A6", 0, true},
          {"A7", 0, true},
          {"A8"}},
         "N0CALL-7\\A1-15\\A2\\A3\\A4\\A5\\A6\\A7*\\A8>APRS"},
    };
    for (const auto &c : cases) {
        Monitor m;
        const Pieces shown = m.show(Ui(Header({"APRS", 0, true}, {"N0CALL", 7}, c.path), 0xF0, ""));
        ASSERT_EQ(shown.size(), 4u) << c.text;
        EXPECT_EQ(shown[0], (Piece{1, c.text}));
    }
}

TEST(Ax25Formatter, MalformedFramesAreDropped)
{
    const Bytes good = Header(kDstC, kSrc);
    std::vector<Call> nine(9, Call{"DIGI"});
    Bytes destinationEnds = good;
    destinationEnds[6] |= 1;
    Bytes badCharacter = good;
    badCharacter[9] |= 1;
    Bytes cutDigipeater = Header(kDstC, kSrc, {Call{"DIGI"}});
    cutDigipeater.pop_back();
    const struct {
        const char *what;
        Bytes frame;
    } cases[] = {
        {"shorter than one address", Text("abcdef")},
        {"no source address", Bytes(good.begin(), good.begin() + 13)},
        {"address field ends after the destination", destinationEnds + Bytes{0x03, 0xF0}},
        {"source character with bit 0", badCharacter + Bytes{0x03, 0xF0}},
        {"nine digipeaters", Header(kDstC, kSrc, nine) + Bytes{0x03, 0xF0}},
        {"digipeater cut short", cutDigipeater},
        {"no control byte", good},
        {"UI frame without PID", good + Bytes{0x03}},
        {"I frame without PID", good + Bytes{0x00}},
    };
    for (const auto &c : cases) {
        Monitor m;
        EXPECT_TRUE(m.show(c.frame).empty()) << c.what;
    }
    // The same path with eight digipeaters is fine (see above); an S frame ending at its control byte too.
    Monitor m;
    EXPECT_EQ(m.show(good + Bytes{0x01}).size(), 3u);
}

TEST(Ax25Formatter, BadCheckSequenceOnlyWhenIgnored)
{
    Monitor m;
    const Bytes frame = Ui(Header(kDstC, kSrc), 0xF0, "hello");
    EXPECT_TRUE(m.show(frame, true).empty());

    m.deframer.SetCrcIgnore(true);
    EXPECT_EQ(m.show(frame, true),
              (Pieces{{1, "SRC>DST"}, {2, " <V2 UI C>"}, {3, " [CRC Error]"}, {4, " :"}, {7, "\rhello\r"}}));
    EXPECT_EQ(m.crcFlags, (std::vector<int32_t>{0, 0, 0, 0, 0}));
    EXPECT_EQ(m.show(frame).size(), 4u) << "a good frame has no note";
}

Bytes NetRomHeader(uint8_t ttl, Bytes circuit, uint8_t opcode)
{
    Bytes out;
    test::AppendAddress(out, {"ORIGIN", 3}, false);
    test::AppendAddress(out, {"TARGET"}, false);
    out.push_back(ttl);
    out.insert(out.end(), circuit.begin(), circuit.end());
    out.push_back(opcode);
    return out;
}

TEST(Ax25Formatter, NetRomTransportHeaders)
{
    const Bytes iFrame = Header(kDstC, kSrc) + Bytes{0x00, 0xCF};
    Bytes connReqTail{4};
    test::AppendAddress(connReqTail, {"USER", 1}, false);
    test::AppendAddress(connReqTail, {"NODE"}, true);
    const struct {
        uint8_t opcode;
        Bytes tail;
        const char *transport;
        const char *info;
    } cases[] = {
        {0x00, Text("ip"), "Protocol=1 Family=2", "\rip\r"},
        {0x01, connReqTail + Text("ignored"), "Conn_Req Circuit=1 ID=2 USER-1>TARGET via NODE Window=4", "\r"},
        {0x02, {7}, "Conn_Ack DestCir=1 DestID=2 SourceCir=3 SourceID=4 Window=7", "\r"},
        {0x03, {}, "Disc_Req Circuit=1 ID=2", "\r"},
        {0x04, {}, "Disc_Ack Circuit=1 ID=2", "\r"},
        {0x85, Text("data"), "Info     Circuit=1 ID=2 TxSeq=3 RxSeq=4", "\rdata\r"},
        {0x46, {}, "Info_Ack Circuit=1 ID=2 TxSeq=3 RxSeq=4", "\r"},
        {0x07, {}, "Unknown transport 0x07", "\r"},
        {0xFF, {}, "Unknown transport 0x0F", "\r"},
    };
    for (const auto &c : cases) {
        Monitor m;
        const Pieces shown = m.show(iFrame + NetRomHeader(9, {1, 2, 3, 4}, c.opcode) + c.tail);
        EXPECT_EQ(shown, (Pieces{{1, "SRC>DST"},
                                 {2, " <V2 I C S0 R0>"},
                                 {4, " [NET/ROM]:"},
                                 {5, "\r        [NET/ROM data] ORIGIN-3>TARGET LifeTime=9\r        "},
                                 {6, c.transport},
                                 {7, c.info}}))
            << int(c.opcode);
    }

    // Short or malformed network headers drop the frame.
    Bytes endsAtOrigin = iFrame + NetRomHeader(9, {1, 2, 3, 4}, 5);
    endsAtOrigin[16 + 6] |= 1;
    Bytes noOpcode = iFrame + NetRomHeader(9, {1, 2, 3, 4}, 5);
    noOpcode.pop_back();
    const Bytes cases2[] = {
        noOpcode,
        iFrame + NetRomHeader(9, {1, 2, 3, 4}, 2),
        iFrame + NetRomHeader(9, {1, 2, 3, 4}, 1) + Bytes{4} + Text("USER"),
        endsAtOrigin,
    };
    for (const Bytes &frame : cases2) {
        Monitor m;
        EXPECT_TRUE(m.show(frame).empty());
    }
}

Bytes NodeEntry(const std::string &call, const std::string &alias, const std::string &neighbour, uint8_t quality)
{
    Bytes out;
    test::AppendAddress(out, {call}, false);
    std::string padded = alias;
    padded.resize(6, ' ');
    out.insert(out.end(), padded.begin(), padded.end());
    test::AppendAddress(out, {neighbour, 2}, false);
    out.push_back(quality);
    return out;
}

TEST(Ax25Formatter, NodesBroadcasts)
{
    const Bytes heading = Header({"NODES"}, {"N1NODE", 1}) + Bytes{0x03, 0xCF, 0xFF} + Text("MYNODE");
    const std::string entry1 = "\r    Call AB1C Name BOS Path NB1X-2 Quality 200";
    const std::string entry2 = "\r    Call XY2Z Name ALB Path NB1X-2 Quality 7";
    const Bytes two = heading + NodeEntry("AB1C", "BOS", "NB1X", 200) + NodeEntry("XY2Z", "ALB", "NB1X", 7);

    Monitor m;
    EXPECT_EQ(m.show(two + Text("tail")), (Pieces{{1, "N1NODE-1>NODES"},
                                                  {2, " <V1 UI>"},
                                                  {4, " [NET/ROM]:"},
                                                  {5, "\rNode list from MYNODE callsign N1NODE-1"},
                                                  {7, entry1 + entry2 + "\rtail\r"}}))
        << "a trailing partial entry is information text";

    // Eleven entries at most; the twelfth one's bytes are information text.
    Bytes twelve = heading;
    std::string entries;
    for (int i = 0; i < 11; ++i) {
        twelve = twelve + NodeEntry("AB1C", "BOS", "NB1X", 200);
        entries += entry1;
    }
    const Bytes extra = NodeEntry("XY2Z", "ALB", "NB1X", 7);
    twelve = twelve + extra;
    std::string extraText = "\r";
    for (uint8_t b : extra)
        extraText += char(b);
    const Pieces shown = m.show(twelve);
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[4], (Piece{7, entries + extraText + "\r"}));

    // Without a whole entry there is no list and the heading is not shown either.
    EXPECT_EQ(m.show(heading + Text("short")).back(), (Piece{7, "\rshort\r"}));
    EXPECT_EQ(m.show(heading + Text("short")).size(), 4u);
    // Another UI frame with the NET/ROM PID is just text, and so is one to NODES without the 0xFF signature.
    EXPECT_EQ(m.show(Ui(Header({"NODEZ"}, {"N1NODE"}), 0xCF, "plain")).back(), (Piece{7, "\rplain\r"}));
    Bytes unsigned_ = two;
    unsigned_[16] = 'X';
    EXPECT_EQ(m.show(unsigned_).size(), 4u);
    // An entry with a malformed callsign drops the frame.
    Bytes broken = two;
    broken[16 + 7] |= 1;
    EXPECT_TRUE(m.show(broken).empty());
}

// Random headers that pass many parsing steps (address characters with bit 0 clear, NET/ROM PIDs, NODES
// destinations) never read past the frame: run under the sanitizers, and every frame shown ends its text.
TEST(Ax25Formatter, RandomFramesStayInsideTheFrame)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<size_t> length(1, 200);
    Monitor m;
    m.deframer.SetCrcIgnore(true);
    size_t shown = 0;
    for (int i = 0; i < 3000; ++i) {
        Bytes frame(length(rng));
        for (size_t k = 0; k < frame.size(); ++k) {
            frame[k] = uint8_t(byte(rng));
            if (k % 7 != 6 && byte(rng) < 240)
                frame[k] &= 0xFE;
        }
        if (i % 2 == 0 && frame.size() >= 7) {
            Bytes nodes;
            test::AppendAddress(nodes, {"NODES"}, false);
            std::copy(nodes.begin(), nodes.end(), frame.begin());
        }
        const size_t control = 14 + 7 * size_t(byte(rng) % 3);
        if (frame.size() > control + 2 && i % 3 != 2) {
            frame[control] = i % 3 == 0 ? 0x03 : 0x00;
            frame[control + 1] = 0xCF;
            frame[control + 2] = 0xFF;
        }
        const Pieces pieces = m.show(frame, i % 4 == 0);
        if (!pieces.empty()) {
            ++shown;
            EXPECT_EQ(pieces.back().fieldClass, uint32_t(FieldClass::kInformation));
            EXPECT_EQ(pieces.back().text.front(), '\r');
        }
    }
    EXPECT_GT(shown, 100u);
}

// The whole path: line levels through the dispatcher into the window, colours and the CRC-ignore word.
TEST(Ax25Formatter, DispatcherFeedsTheWindowsDeframer)
{
    SettingsModel settings;
    settings.mode = kModePacket;
    DataOutputWindow window;
    Dispatcher dispatcher(settings, window);
    struct Seen {
        std::string text;
        std::vector<uint32_t> colours;
    } seen;
    window.SetCharacterListener([&seen](int32_t, uint8_t c, uint32_t colour) {
        seen.text += char(c);
        seen.colours.push_back(colour);
    });

    test::HdlcLine line;
    const Bytes frame = Ui(Header(kDstC, kSrc), 0xF0, "hi");
    line.flags(4).frame(frame, true).flags().frame(frame).flags(2);
    constexpr int kSamplesPerBit = 8;
    std::vector<int16_t> samples;
    for (int32_t l : line.levels())
        samples.insert(samples.end(), kSamplesPerBit, int16_t(l));

    DecoderParams params;
    params.mode = kModePacket;
    params.samplesPerBit = kSamplesPerBit;
    dispatcher.Dispatch(samples.data(), int32_t(samples.size()), params);
    EXPECT_EQ(seen.text, "SRC>DST <V2 UI C> :\rhi\r");
    const DecoderColors colours;
    EXPECT_EQ(seen.colours.front(), colours.l2CrcOk);
    EXPECT_EQ(seen.colours[8], colours.l2FrameType);

    seen = {};
    params.SetPacket({1});
    dispatcher.Dispatch(samples.data(), int32_t(samples.size()), params);
    EXPECT_EQ(seen.text, "SRC>DST <V2 UI C> [CRC Error] :\rhi\rSRC>DST <V2 UI C> :\rhi\r");
    EXPECT_EQ(seen.colours.front(), colours.l2CrcFailed);
}

} // namespace
} // namespace sirrel
