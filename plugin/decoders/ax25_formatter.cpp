#include <array>

#include "decoders/hdlc_deframer.h"

namespace sirrel {

namespace {

constexpr size_t kMaxDigipeaters = 8;
constexpr size_t kMaxNodeEntries = 11;
constexpr uint8_t kPidNetRom = 0xCF;

// An address as the formatter keeps it: six unshifted characters and the SSID byte as received.
using Address = std::array<uint8_t, 7>;

bool IsLastAddress(const Address &a) { return (a[6] & 0x01) != 0; }
bool HasBeenRepeated(const Address &a) { return (a[6] & 0x80) != 0; }

// The callsign characters are shifted left by one; a set bit 0 in any of them means this is no address.
bool ParseAddress(const uint8_t *at, Address &out)
{
    for (int i = 0; i < 6; ++i) {
        if (at[i] & 0x01)
            return false;
        out[i] = uint8_t(at[i] >> 1);
    }
    out[6] = at[6];
    return true;
}

// NET/ROM aliases are six plain characters; a 0 SSID byte makes them text without a suffix.
Address Alias(const uint8_t *at)
{
    Address a{};
    for (int i = 0; i < 6; ++i)
        a[i] = at[i];
    return a;
}

struct NodeEntry {
    Address destination;
    Address alias;
    Address neighbour;
    uint8_t quality;
};

struct Frame {
    Address destination{};
    Address source{};
    std::array<Address, kMaxDigipeaters> digipeaters{};
    size_t digipeaterCount = 0;
    uint8_t control = 0;
    bool version2 = false;
    bool command = false;
    bool hasPid = false;
    uint8_t pid = 0;

    bool netRomI = false; // NET/ROM network and transport header of an I frame
    Address origin{};
    Address netDestination{};
    uint8_t timeToLive = 0;
    std::array<uint8_t, 4> circuit{};
    uint8_t op = 0;
    uint8_t window = 0;
    Address user{};
    Address node{};

    Address nodeAlias{}; // sender of a NODES broadcast
    std::array<NodeEntry, kMaxNodeEntries> entries{};
    size_t entryCount = 0;

    uint32_t info = 0; // first byte of the information text

    bool IsIFrame() const { return (control & 0x01) == 0; }
    bool IsSFrame() const { return (control & 0x03) == 0x01; }
    bool PollFinal() const { return (control & 0x10) != 0; }
};

bool IsNodesDestination(const Address &a)
{
    static const char kNodes[] = "NODES ";
    for (int i = 0; i < 6; ++i)
        if (a[i] != uint8_t(kNodes[i]))
            return false;
    return true;
}

bool ParseNetRomIFrame(const uint8_t *f, uint32_t n, Frame &out)
{
    uint32_t p = out.info;
    if (n < p + 7 || !ParseAddress(f + p, out.origin) || IsLastAddress(out.origin))
        return false;
    if (n < p + 14 || !ParseAddress(f + p + 7, out.netDestination) || IsLastAddress(out.netDestination))
        return false;
    if (n < p + 20)
        return false;
    out.timeToLive = f[p + 14];
    for (int i = 0; i < 4; ++i)
        out.circuit[i] = f[p + 15 + i];
    out.op = f[p + 19] & 0x0F;
    p += 20;
    if (out.op == 1 || out.op == 2) {
        if (n <= p)
            return false;
        out.window = f[p++];
    }
    if (out.op == 1) {
        if (n < p + 14 || !ParseAddress(f + p, out.user) || !ParseAddress(f + p + 7, out.node))
            return false;
        p = n;
    }
    out.netRomI = true;
    out.info = p;
    return true;
}

bool ParseNodesBroadcast(const uint8_t *f, uint32_t n, Frame &out)
{
    uint32_t p = out.info;
    if (!IsNodesDestination(out.destination) || n < p + 7 || f[p] != 0xFF)
        return true;
    out.nodeAlias = Alias(f + p + 1);
    p += 7;
    while (n >= p + 21 && out.entryCount < kMaxNodeEntries) {
        NodeEntry &e = out.entries[out.entryCount];
        if (!ParseAddress(f + p, e.destination) || !ParseAddress(f + p + 13, e.neighbour))
            return false;
        e.alias = Alias(f + p + 7);
        e.quality = f[p + 20];
        ++out.entryCount;
        p += 21;
    }
    out.info = p;
    return true;
}

// The whole header, before any text is delivered: false drops the frame.
bool Parse(const uint8_t *f, uint32_t n, Frame &out)
{
    if (n < 7 || !ParseAddress(f, out.destination) || IsLastAddress(out.destination))
        return false;
    if (n < 14 || !ParseAddress(f + 7, out.source))
        return false;
    const Address *last = &out.source;
    while (!IsLastAddress(*last)) {
        const size_t k = out.digipeaterCount;
        if (k == kMaxDigipeaters || n < 21 + 7 * k || !ParseAddress(f + 14 + 7 * k, out.digipeaters[k]))
            return false;
        last = &out.digipeaters[k];
        ++out.digipeaterCount;
    }

    const uint32_t c = uint32_t(14 + 7 * out.digipeaterCount);
    if (n <= c)
        return false;
    out.control = f[c];
    uint32_t p = c + 1;
    const bool destinationBit = (out.destination[6] & 0x80) != 0;
    out.version2 = destinationBit != ((out.source[6] & 0x80) != 0);
    out.command = destinationBit;

    const bool ui = (out.control & 0xEF) == 0x03;
    out.hasPid = ui || out.IsIFrame();
    if (out.hasPid) {
        if (n <= p)
            return false;
        out.pid = f[p++];
    }
    out.info = p;

    if (out.hasPid && out.pid == kPidNetRom) {
        if (out.IsIFrame())
            return ParseNetRomIFrame(f, n, out);
        return ParseNodesBroadcast(f, n, out);
    }
    return true;
}

const char *SFrameName(uint8_t control)
{
    switch (control & 0x0F) {
    case 0x1:
        return "RR";
    case 0x5:
        return "RNR";
    case 0x9:
        return "REJ";
    default:
        return "???";
    }
}

const char *UFrameName(uint8_t control)
{
    switch (control & 0xEF) {
    case 0x03:
        return "UI";
    case 0x0F:
        return "DM";
    case 0x2F:
        return "SABM";
    case 0x43:
        return "DISC";
    case 0x63:
        return "UA";
    case 0x87:
        return "FRMR";
    default:
        return "????";
    }
}

const char *PidLabel(uint8_t pid)
{
    switch (pid) {
    case 0x01:
        return " [ISO 8208/CCITT X.25 PLP]:";
    case 0x08:
        return " [Segmentation fragment]:";
    case 0xC3:
        return " [TEXNET datagram]:";
    case 0xC4:
        return " [Link Quality]:";
    case 0xCA:
        return " [Appletalk]:";
    case 0xCB:
        return " [Appletalk ARP]:";
    case 0xCC:
        return " [ARPA Internet]:";
    case 0xCD:
        return " [ARPA Address Resolution]:";
    case 0xCE:
        return " [ARPA Reverse Address Resolution]:";
    case 0xCF:
        return " [NET/ROM]:";
    case 0xF0:
        return " :";
    default:
        return nullptr;
    }
}

// Small helpers over the reused text buffer.
void Add(OruString &s, const char *text) { OruString_Add_String(&s, text); }
void AddNumber(OruString &s, uint32_t value) { OruString_Add_Integer(&s, int32_t(value), 10, 0); }
void AddHex(OruString &s, uint32_t value) { OruString_Add_Integer(&s, int32_t(value), 16, 2); }
void AddCall(OruString &s, const Address &a) { OruString_Add_AX25CallSign(&s, a.data()); }

void AddTransport(OruString &s, const Frame &f)
{
    const auto &b = f.circuit;
    switch (f.op) {
    case 0:
        Add(s, "Protocol="), AddNumber(s, b[0]), Add(s, " Family="), AddNumber(s, b[1]);
        break;
    case 1:
        Add(s, "Conn_Req Circuit="), AddNumber(s, b[0]), Add(s, " ID="), AddNumber(s, b[1]), Add(s, " ");
        AddCall(s, f.user), Add(s, ">"), AddCall(s, f.netDestination), Add(s, " via "), AddCall(s, f.node);
        Add(s, " Window="), AddNumber(s, f.window);
        break;
    case 2:
        Add(s, "Conn_Ack DestCir="), AddNumber(s, b[0]), Add(s, " DestID="), AddNumber(s, b[1]);
        Add(s, " SourceCir="), AddNumber(s, b[2]), Add(s, " SourceID="), AddNumber(s, b[3]);
        Add(s, " Window="), AddNumber(s, f.window);
        break;
    case 3:
    case 4:
        Add(s, f.op == 3 ? "Disc_Req Circuit=" : "Disc_Ack Circuit="), AddNumber(s, b[0]);
        Add(s, " ID="), AddNumber(s, b[1]);
        break;
    case 5:
    case 6:
        Add(s, f.op == 5 ? "Info     Circuit=" : "Info_Ack Circuit="), AddNumber(s, b[0]);
        Add(s, " ID="), AddNumber(s, b[1]), Add(s, " TxSeq="), AddNumber(s, b[2]);
        Add(s, " RxSeq="), AddNumber(s, b[3]);
        break;
    default:
        Add(s, "Unknown transport 0x"), AddHex(s, f.op);
        break;
    }
}

} // namespace

void HdlcDeframer::DeliverText(FieldClass field, const char *text)
{
    if (!text)
        return;
    DecodedCode code{0, 0, field, crcGood_ != 0};
    for (; *text; ++text) {
        code.code = uint8_t(*text);
        Deliver(code);
    }
}

void HdlcDeframer::FormatFrame()
{
    if (!HasSink() || (!crcIgnore_ && !crcGood_))
        return;
    Frame f;
    const uint32_t n = byteCount_;
    if (!Parse(frame_.data(), n, f))
        return;
    OruString &s = text_;

    // The "*" follows the station heard: the source until a digipeater has repeated, else the last one that has.
    OruString_Truncate(&s, 0);
    AddCall(s, f.source);
    for (size_t i = 0; i < f.digipeaterCount; ++i) {
        if (!HasBeenRepeated(f.digipeaters[i]) && (i == 0 || HasBeenRepeated(f.digipeaters[i - 1])))
            Add(s, "*");
        Add(s, "\\"), AddCall(s, f.digipeaters[i]);
    }
    if (f.digipeaterCount > 0 && HasBeenRepeated(f.digipeaters[f.digipeaterCount - 1]))
        Add(s, "*");
    Add(s, ">"), AddCall(s, f.destination);
    DeliverText(FieldClass::kAddress, s.Text);

    OruString_Truncate(&s, 0);
    Add(s, f.version2 ? " <V2 " : " <V1 ");
    Add(s, f.IsIFrame() ? "I" : f.IsSFrame() ? SFrameName(f.control) : UFrameName(f.control));
    if (f.version2) {
        Add(s, f.command ? " C" : " R");
        if (f.PollFinal())
            Add(s, f.command ? " P" : " F");
    }
    if (f.IsIFrame())
        Add(s, " S"), AddNumber(s, (f.control >> 1) & 7);
    if (f.IsIFrame() || f.IsSFrame())
        Add(s, " R"), AddNumber(s, f.control >> 5);
    Add(s, ">");
    DeliverText(FieldClass::kFrameType, s.Text);

    if (!crcGood_)
        DeliverText(FieldClass::kCrcError, " [CRC Error]");

    if (f.hasPid) {
        if (const char *label = PidLabel(f.pid)) {
            DeliverText(FieldClass::kPid, label);
        } else {
            OruString_Truncate(&s, 0);
            Add(s, " PID=0x"), AddHex(s, f.pid);
            DeliverText(FieldClass::kPid, s.Text);
        }
    }

    if (f.netRomI) {
        OruString_Truncate(&s, 0);
        Add(s, "\r        [NET/ROM data] "), AddCall(s, f.origin), Add(s, ">"), AddCall(s, f.netDestination);
        Add(s, " LifeTime="), AddNumber(s, f.timeToLive), Add(s, "\r        ");
        DeliverText(FieldClass::kLayer3Header, s.Text);
        OruString_Truncate(&s, 0);
        AddTransport(s, f);
        DeliverText(FieldClass::kLayer4Header, s.Text);
    } else if (f.entryCount > 0) {
        OruString_Truncate(&s, 0);
        Add(s, "\rNode list from "), AddCall(s, f.nodeAlias), Add(s, " callsign "), AddCall(s, f.source);
        DeliverText(FieldClass::kLayer3Header, s.Text);
        OruString_Truncate(&s, 0);
        for (size_t i = 0; i < f.entryCount; ++i) {
            const NodeEntry &e = f.entries[i];
            Add(s, "\r    Call "), AddCall(s, e.destination), Add(s, " Name "), AddCall(s, e.alias);
            Add(s, " Path "), AddCall(s, e.neighbour), Add(s, " Quality "), AddNumber(s, e.quality);
        }
        DeliverText(FieldClass::kInformation, s.Text);
    }

    OruString_Truncate(&s, 0);
    Add(s, "\r");
    for (uint32_t i = f.info; i < n; ++i)
        if (frame_[i] != 0)
            OruString_Add_Character(&s, frame_[i]);
    if (f.info < n)
        Add(s, "\r");
    DeliverText(FieldClass::kInformation, s.Text);
}

} // namespace sirrel
