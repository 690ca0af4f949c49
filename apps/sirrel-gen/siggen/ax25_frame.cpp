#include "ax25_frame.h"

#include <cctype>
#include <cstdlib>
#include <optional>

namespace sirrel::siggen {

namespace {

constexpr size_t kMaxDigipeaters = 8;
// 330 bytes with the check sequence is the longest frame receivers accept.
constexpr size_t kMaxFrameBytes = 328;

struct Callsign {
    std::string call; // padded to six characters
    int ssid = 0;
};

std::vector<std::string_view> Split(std::string_view s, char separator)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = s.find(separator, start);
        parts.push_back(s.substr(start, end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

std::optional<long> Number(std::string_view text, int base, long max)
{
    const std::string s(text);
    if (s.empty())
        return std::nullopt;
    char *end = nullptr;
    const long value = std::strtol(s.c_str(), &end, base);
    if (*end != '\0' || value < 0 || value > max)
        return std::nullopt;
    return value;
}

std::optional<Callsign> ParseCall(std::string_view text)
{
    Callsign c;
    const size_t dash = text.find('-');
    const std::string_view call = text.substr(0, dash);
    if (call.empty() || call.size() > 6)
        return std::nullopt;
    for (char ch : call)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            return std::nullopt;
    if (dash != std::string_view::npos) {
        const auto ssid = Number(text.substr(dash + 1), 10, 15);
        if (!ssid)
            return std::nullopt;
        c.ssid = int(*ssid);
    }
    c.call = std::string(call);
    c.call.resize(6, ' ');
    return c;
}

// Six shifted characters and the SSID byte (reserved bits set).
void AppendAddress(std::vector<uint8_t> &out, const Callsign &c, bool bit7, bool last)
{
    for (char ch : c.call)
        out.push_back(uint8_t(static_cast<unsigned char>(ch) << 1));
    out.push_back(uint8_t(0x60 | (bit7 ? 0x80 : 0) | (c.ssid << 1) | (last ? 1 : 0)));
}

void AppendAlias(std::vector<uint8_t> &out, std::string_view alias)
{
    std::string padded(alias);
    padded.resize(6, ' ');
    out.insert(out.end(), padded.begin(), padded.end());
}

bool Unescape(std::string_view text, std::vector<uint8_t> &out)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out.push_back(uint8_t(text[i]));
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case 'r':
            out.push_back('\r');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case '\\':
            out.push_back('\\');
            break;
        case 'x': {
            const auto value = i + 2 < text.size() ? Number(text.substr(i + 1, 2), 16, 255) : std::nullopt;
            if (!value)
                return false;
            out.push_back(uint8_t(*value));
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

struct FrameType {
    const char *name;
    uint8_t control;
    bool numbered; // I and S frames carry N(R)
};

const FrameType kTypes[] = {
    {"I", 0x00, true},   {"RR", 0x01, true},    {"RNR", 0x05, true},   {"REJ", 0x09, true},    {"SREJ", 0x0D, true},
    {"UI", 0x03, false}, {"DM", 0x0F, false},   {"SABM", 0x2F, false}, {"SABME", 0x6F, false}, {"DISC", 0x43, false},
    {"UA", 0x63, false}, {"FRMR", 0x87, false}, {"XID", 0xAF, false},  {"TEST", 0xE3, false},
};

struct Description {
    Callsign source, destination;
    std::vector<std::pair<Callsign, bool>> digipeaters;
    const FrameType *type = &kTypes[5];
    enum { kCommand, kResponse, kVersion1 } kind = kCommand;
    bool pollFinal = false;
    int ns = 0, nr = 0;
    std::optional<int> pid;
    bool badFcs = false;
    std::optional<std::pair<Callsign, Callsign>> netRom;
    int ttl = 7, opcode = 5, window = 4;
    uint8_t circuit[4] = {0, 0, 0, 0};
    std::optional<Callsign> user, node;
    std::optional<std::string> nodesAlias;
    std::vector<std::vector<uint8_t>> entries;
    std::vector<uint8_t> info;
};

bool ParsePath(std::string_view path, Description &d, std::string &error)
{
    const size_t gt = path.find('>');
    if (gt == std::string_view::npos) {
        error = "no SRC>DST path";
        return false;
    }
    const auto source = ParseCall(path.substr(0, gt));
    const auto rest = Split(path.substr(gt + 1), ',');
    const auto destination = ParseCall(rest[0]);
    if (!source || !destination) {
        error = "bad callsign in '" + std::string(path) + "'";
        return false;
    }
    d.source = *source;
    d.destination = *destination;
    for (size_t i = 1; i < rest.size(); ++i) {
        std::string_view digi = rest[i];
        const bool repeated = !digi.empty() && digi.back() == '*';
        if (repeated)
            digi.remove_suffix(1);
        const auto call = ParseCall(digi);
        if (!call) {
            error = "bad digipeater '" + std::string(rest[i]) + "'";
            return false;
        }
        d.digipeaters.push_back({*call, repeated});
    }
    if (d.digipeaters.size() > kMaxDigipeaters) {
        error = "more than 8 digipeaters";
        return false;
    }
    return true;
}

bool ParseEntry(std::string_view value, Description &d)
{
    const auto parts = Split(value, '/');
    if (parts.size() != 4 || parts[1].size() > 6)
        return false;
    const auto call = ParseCall(parts[0]);
    const auto neighbour = ParseCall(parts[2]);
    const auto quality = Number(parts[3], 10, 255);
    if (!call || !neighbour || !quality)
        return false;
    std::vector<uint8_t> entry;
    AppendAddress(entry, *call, false, false);
    AppendAlias(entry, parts[1]);
    AppendAddress(entry, *neighbour, false, false);
    entry.push_back(uint8_t(*quality));
    d.entries.push_back(entry);
    return true;
}

bool ParseToken(std::string_view token, Description &d)
{
    for (const FrameType &t : kTypes)
        if (token == t.name) {
            d.type = &t;
            return true;
        }
    if (token == "C" || token == "R" || token == "V1") {
        d.kind = token == "C" ? Description::kCommand : token == "R" ? Description::kResponse : Description::kVersion1;
        return true;
    }
    if (token == "P" || token == "F")
        return d.pollFinal = true;
    if (token == "BADFCS")
        return d.badFcs = true;

    const size_t eq = token.find('=');
    if (eq == std::string_view::npos)
        return false;
    const std::string_view key = token.substr(0, eq);
    const std::string_view value = token.substr(eq + 1);
    auto set = [&](int &field, int base, long max) {
        const auto n = Number(value, base, max);
        if (n)
            field = int(*n);
        return n.has_value();
    };
    if (key == "NS")
        return set(d.ns, 10, 7);
    if (key == "NR")
        return set(d.nr, 10, 7);
    if (key == "PID") {
        int pid = 0;
        const bool ok = set(pid, 16, 255);
        d.pid = pid;
        return ok;
    }
    if (key == "TTL")
        return set(d.ttl, 10, 255);
    if (key == "OP")
        return set(d.opcode, 16, 255);
    if (key == "WINDOW")
        return set(d.window, 10, 255);
    if (key == "CIRCUIT") {
        const auto parts = Split(value, '/');
        if (parts.size() != 4)
            return false;
        for (int i = 0; i < 4; ++i) {
            const auto n = Number(parts[i], 10, 255);
            if (!n)
                return false;
            d.circuit[i] = uint8_t(*n);
        }
        return true;
    }
    if (key == "NETROM") {
        const size_t gt = value.find('>');
        const auto origin = ParseCall(value.substr(0, gt));
        const auto target = gt == std::string_view::npos ? std::nullopt : ParseCall(value.substr(gt + 1));
        if (!origin || !target)
            return false;
        d.netRom = {*origin, *target};
        return true;
    }
    if (key == "USER" || key == "NODE") {
        const auto call = ParseCall(value);
        (key == "USER" ? d.user : d.node) = call;
        return call.has_value();
    }
    if (key == "NODES") {
        d.nodesAlias = std::string(value);
        return value.size() <= 6;
    }
    if (key == "ENTRY")
        return ParseEntry(value, d);
    return false;
}

void Build(const Description &d, std::vector<uint8_t> &out)
{
    const bool command = d.kind == Description::kCommand;
    const bool response = d.kind == Description::kResponse;
    AppendAddress(out, d.destination, command, false);
    AppendAddress(out, d.source, response, d.digipeaters.empty());
    for (size_t i = 0; i < d.digipeaters.size(); ++i)
        AppendAddress(out, d.digipeaters[i].first, d.digipeaters[i].second, i + 1 == d.digipeaters.size());

    uint8_t control = d.type->control;
    if (control == 0x00)
        control = uint8_t(d.ns << 1);
    if (d.type->numbered)
        control |= uint8_t(d.nr << 5);
    if (d.pollFinal)
        control |= 0x10;
    out.push_back(control);

    const bool hasPid = d.type->control == 0x00 || d.type->control == 0x03;
    if (!hasPid)
        return;
    const bool netRom = d.netRom || d.nodesAlias;
    out.push_back(uint8_t(d.pid.value_or(netRom ? 0xCF : 0xF0)));
    if (d.netRom) {
        AppendAddress(out, d.netRom->first, false, false);
        AppendAddress(out, d.netRom->second, false, false);
        out.push_back(uint8_t(d.ttl));
        out.insert(out.end(), d.circuit, d.circuit + 4);
        out.push_back(uint8_t(d.opcode));
        const int op = d.opcode & 0x0F;
        if (op == 1 || op == 2)
            out.push_back(uint8_t(d.window));
        if (op == 1) {
            AppendAddress(out, d.user.value_or(d.source), false, false);
            AppendAddress(out, d.node.value_or(d.source), false, false);
        }
    } else if (d.nodesAlias) {
        out.push_back(0xFF);
        AppendAlias(out, *d.nodesAlias);
        for (const auto &entry : d.entries)
            out.insert(out.end(), entry.begin(), entry.end());
    }
}

} // namespace

bool ParseAx25Frame(std::string_view line, Ax25Frame &frame, std::string &error)
{
    Description d;
    const size_t colon = line.find(':');
    const std::string_view header = line.substr(0, colon);
    if (colon != std::string_view::npos) {
        std::string_view info = line.substr(colon + 1);
        if (!info.empty() && info.front() == ' ')
            info.remove_prefix(1);
        if (!Unescape(info, d.info)) {
            error = "bad escape in the information";
            return false;
        }
    }

    std::vector<std::string_view> tokens;
    for (std::string_view token : Split(header, ' '))
        if (!token.empty())
            tokens.push_back(token);
    if (tokens.empty()) {
        error = "empty frame description";
        return false;
    }
    if (!ParsePath(tokens[0], d, error))
        return false;
    for (size_t i = 1; i < tokens.size(); ++i)
        if (!ParseToken(tokens[i], d)) {
            error = "cannot use '" + std::string(tokens[i]) + "'";
            return false;
        }
    if ((d.netRom || d.nodesAlias) && d.type->control != (d.netRom ? 0x00 : 0x03)) {
        error = "NETROM= needs an I frame, NODES= a UI frame";
        return false;
    }

    frame.bytes.clear();
    Build(d, frame.bytes);
    // Any frame may carry information bytes: FRMR, XID and TEST do, and odd frames make good test cases.
    frame.bytes.insert(frame.bytes.end(), d.info.begin(), d.info.end());
    if (frame.bytes.size() > kMaxFrameBytes) {
        error = "frame of " + std::to_string(frame.bytes.size()) + " bytes is longer than 328";
        return false;
    }
    frame.badFcs = d.badFcs;
    return true;
}

uint16_t Ax25Fcs(const std::vector<uint8_t> &bytes)
{
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0x8408) : uint16_t(crc >> 1);
    }
    return uint16_t(crc ^ 0xFFFF);
}

} // namespace sirrel::siggen
