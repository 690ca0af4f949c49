// What the plug-in derives from the host's ReceiverInfo: the model code, the DSP kind, the receiver key of its
// stored chunks and the window title.
#pragma once

#include <cstdint>
#include <string>

namespace sirrel {

constexpr char kMakerName[] = "Korvanda Communications";

enum DspKind : int32_t {
    kDspNone = 0,
    kDspExtension = 1,  // ADSP-2105: the host's DSP extension
    kDspHostBlocks = 2, // ADSP-2185: audio comes as host blocks
};

constexpr int32_t kModelQvPci = 25;
constexpr int32_t kModelQvSer = 26;
constexpr int32_t kModelQvUsb = 27;

inline bool IsQvModel(int32_t code) { return code >= kModelQvPci && code <= kModelQvUsb; }

// The maker's earlier models, in table order, and their codes.
constexpr int kEarlierModelCount = 19;
extern const char *const kEarlierModelNames[kEarlierModelCount];
extern const int32_t kEarlierModelCodes[kEarlierModelCount];

// 0 when the receiver is not supported. `receiver` points at a ReceiverInfo.
int32_t ModelCodeOf(const uint8_t *receiver);
// Only meaningful for a non-zero model code.
int32_t DspKindOf(const uint8_t *receiver);
uint32_t ReceiverKeyOf(const uint8_t *receiver, int32_t modelCode);
std::string WindowTitleOf(const uint8_t *receiver, int32_t modelCode);

} // namespace sirrel
