// What the plug-in and the receiver-control host agree on: the call-back, the message codes and the
// ReceiverInfo fields the plug-in reads. Every value crossing the interface is 32 bits; pointers stay native.
#pragma once

#include <cstdint>

namespace sirrel {

// (window handle or 0, message code, first value, second value, pointer) -> result; kHostRefused is a refusal.
using HostCallback = int32_t (*)(uint32_t window, uint32_t code, uint32_t first, uint32_t second, void *pointer);

constexpr int32_t kHostRefused = int32_t(0x80000000u);
constexpr uint32_t kNoDspExtension = 0x80000000u;

constexpr char kDisplayName[] = "Quillon FSK Decoder";
constexpr uint32_t kInterfaceVersion = 0x300;
constexpr int32_t kLowestHostVersion = 0x100;
constexpr uint32_t kHostOptions = 0xFFFEBFFDu; // every bit but 1, 14 and 16

// Host -> plug-in.
enum Notification : uint32_t {
    kNotifyCloseOnZero = 0x100,
    kNotifyAudioBlock = 0xE07,
    kNotifyClose = 0x4000,
    kNotifyDspAudio = 0x4020,
    kNotifyDspEvent = 0x4022,
};
constexpr uint32_t kAudioBlockSubCode = 3;
constexpr uint32_t kDspEventStreamStart = 255;
constexpr uint32_t kDspEventOutputTurn = 254;

// Plug-in -> host.
enum HostMessage : uint32_t {
    kHostDspUse = 0x1105,
    kHostDspOpen = 0x1502,
    kHostDspClose = 0x1503,
    kHostDspWriteAudio = 0x1504,
    kHostDspStartStream = 0x1505,
    kHostDspCommand = 0x1506,
    kHostDspStop = 0x1508,
    kHostPluginClosing = 0x4000,
};

// HostDspCommand bytes: sent after the stream starts, around each output turn (playing or not), and at its end.
constexpr uint8_t kDspCommandStreamStarted = 0x80;
constexpr uint8_t kDspCommandTurnPlaying = 0xC1;
constexpr uint8_t kDspCommandTurnSilent = 0xC0;
constexpr uint8_t kDspCommandTurnDone = 0x00;
// Bytes the DSP extension's stream hands over at a time.
constexpr uint32_t kDspStreamBlock = 2048;

// Leads the samples of a kNotifyAudioBlock; all fields unsigned 32-bit little-endian.
struct AudioBlockHeader {
    uint32_t rate;
    uint32_t bits;
    uint32_t channels;
    uint32_t frames;
};
constexpr uint32_t kAudioBlockHeaderSize = 16;

// ReceiverInfo offsets.
constexpr uint32_t kReceiverMakerOffset = 0x0C;
constexpr uint32_t kReceiverModelOffset = 0x2C;
constexpr uint32_t kReceiverSerialTextOffset = 0x4C;
constexpr uint32_t kReceiverSerialNumberOffset = 0xA0;
constexpr uint32_t kReceiverDspOffset = 0x134;
constexpr uint32_t kReceiverInfoSize = kReceiverDspOffset + sizeof(void *);
constexpr uint32_t kReceiverTextSize = 32;
constexpr uint32_t kDspModelOffset = 0x20;

} // namespace sirrel
