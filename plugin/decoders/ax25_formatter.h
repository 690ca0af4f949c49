// The AX.25 frame formatter turns every frame the HDLC deframer finishes into a few pieces of monitor text:
// the address path, the control field, the protocol identifier, NET/ROM headers and node lists, and the
// information field. It is an operation of the deframer (HdlcDeframer::formatFrame, in ax25_formatter.cpp);
// this header names the field class each piece carries, from which the data output picks its colour.
#pragma once

#include <cstdint>

namespace sirrel {

constexpr uint32_t kFieldAddress = 1;      // source, digipeater path, destination
constexpr uint32_t kFieldFrameType = 2;    // control field
constexpr uint32_t kFieldCrcError = 3;     // " [CRC Error]"
constexpr uint32_t kFieldPid = 4;          // protocol identifier label
constexpr uint32_t kFieldLayer3Header = 5; // NET/ROM network header, node list heading
constexpr uint32_t kFieldLayer4Header = 6; // NET/ROM transport header
constexpr uint32_t kFieldInformation = 7;  // node list entries, information field

} // namespace sirrel
