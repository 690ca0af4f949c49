// AX.25 frames from a one-line description, for the packet-radio test signals.
//
//   SRC>DST[,DIGI[*]]... [TYPE] [FLAG...] [KEY=VALUE...] [: information]
//
// Callsigns are up to six letters or digits with an optional -SSID (0..15); up to 8 digipeaters, "*" marks
// one that has repeated the frame. TYPE is UI (default), I, RR, RNR, REJ, SREJ, DM, SABM, SABME, DISC, UA,
// FRMR, XID or TEST. Flags: C (version-2 command, default), R (version-2 response), V1 (version 1), P or F
// (poll/final bit), BADFCS (send a wrong check sequence). Keys: NS=, NR= (sequence numbers), PID= (hex; UI
// and I frames, default F0). NET/ROM I frame: NETROM=ORIGIN>DEST with TTL=, OP= (hex opcode),
// CIRCUIT=a/b/c/d, WINDOW=, USER=, NODE=. NODES broadcast: NODES=ALIAS and any number of
// ENTRY=CALL/ALIAS/NEIGHBOUR/QUALITY. Both set PID CF. The information after ": " takes the escapes \r, \n,
// \\ and \xHH.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sirrel::siggen {

struct Ax25Frame {
    std::vector<uint8_t> bytes; // address, control, PID and information, without the check sequence
    bool badFcs = false;
};

// Parses one description; on failure returns false and says why in `error`.
bool ParseAx25Frame(std::string_view line, Ax25Frame &frame, std::string &error);

// The CRC-16/X.25 frame check sequence of the bytes.
uint16_t Ax25Fcs(const std::vector<uint8_t> &bytes);

} // namespace sirrel::siggen
