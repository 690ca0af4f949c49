#include "host/receiver.h"

#include <cstring>

#include "host/host_interface.h"

namespace sirrel {

const char *const kEarlierModelNames[kEarlierModelCount] = {
    "KR-100", "KR-110", "KR-150", "KR-200", "KR-210", "KR-250", "KR-300", "KR-310", "KR-350", "KR-400",
    "KR-410", "KR-500", "KR-510", "KR-600", "KR-610", "KR-700", "KR-710", "KR-800", "KR-810",
};
const int32_t kEarlierModelCodes[kEarlierModelCount] = {1,  2,  3,  4,  5,  6,  7,  8,  9, 11,
                                                        12, 14, 15, 17, 18, 20, 21, 23, 24};

namespace {

// A text field of the record: up to its terminator or the end of its slot.
std::string TextAt(const uint8_t *record, uint32_t offset, uint32_t size)
{
    const char *text = reinterpret_cast<const char *>(record + offset);
    return std::string(text, strnlen(text, size));
}

const char *const kQvTags[] = {"QvPCIv", "QvSERv", "QvUSBv"};

uint32_t SerialNumberOf(const uint8_t *receiver)
{
    uint32_t serial;
    std::memcpy(&serial, receiver + kReceiverSerialNumberOffset, sizeof serial);
    return serial;
}

} // namespace

int32_t ModelCodeOf(const uint8_t *receiver)
{
    if (TextAt(receiver, kReceiverMakerOffset, kReceiverTextSize) != kMakerName)
        return 0;
    const std::string model = TextAt(receiver, kReceiverModelOffset, kReceiverTextSize);
    for (int i = 0; i < kEarlierModelCount; ++i) {
        if (model == kEarlierModelNames[i])
            return kEarlierModelCodes[i];
    }
    for (int i = 0; i < 3; ++i) {
        if (model.compare(0, 6, kQvTags[i]) == 0)
            return kModelQvPci + i;
    }
    return 1;
}

int32_t DspKindOf(const uint8_t *receiver)
{
    const uint8_t *dsp = nullptr;
    std::memcpy(&dsp, receiver + kReceiverDspOffset, sizeof dsp);
    if (!dsp || TextAt(dsp, 0, kReceiverTextSize) != "Analog Devices")
        return kDspNone;
    const std::string model = TextAt(dsp, kDspModelOffset, kReceiverTextSize);
    if (model == "ADSP-2105")
        return kDspExtension;
    if (model == "ADSP-2185")
        return kDspHostBlocks;
    return kDspNone;
}

uint32_t ReceiverKeyOf(const uint8_t *receiver, int32_t modelCode)
{
    if (IsQvModel(modelCode))
        return SerialNumberOf(receiver);
    uint32_t key = 0;
    for (int i = 0; i < 8; ++i) {
        const int32_t c = int8_t(receiver[kReceiverSerialTextOffset + i]);
        const int32_t base = i == 2 ? 'L' : '0';
        key += uint32_t(c - base) << (4 * (7 - i));
    }
    return key;
}

std::string WindowTitleOf(const uint8_t *receiver, int32_t modelCode)
{
    std::string title = kDisplayName;
    if (IsQvModel(modelCode))
        return title + " #" + std::to_string(SerialNumberOf(receiver));
    return title + " - " +
           TextAt(receiver, kReceiverSerialTextOffset, kReceiverSerialNumberOffset - kReceiverSerialTextOffset);
}

} // namespace sirrel
