// A receiver as a host describes it to the plug-in: the ReceiverInfo bytes at their offsets, with a DSP
// description when one is given. Header-only, so that hosts outside the library (kel-host, the tests' fake
// host) build it the same way.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "host/host_interface.h"

namespace sirrel {

class ReceiverDescription {
public:
    ReceiverDescription(const std::string &maker, const std::string &model, const std::string &serialText,
                        uint32_t serialNumber = 0, const std::string &dspMaker = "", const std::string &dspModel = "")
    {
        Put(kReceiverMakerOffset, maker);
        Put(kReceiverModelOffset, model);
        Put(kReceiverSerialTextOffset, serialText);
        std::memcpy(bytes_ + kReceiverSerialNumberOffset, &serialNumber, 4);
        if (!dspMaker.empty()) {
            Copy(dsp_, dspMaker);
            Copy(dsp_ + kDspModelOffset, dspModel);
            const char *pointer = dsp_;
            std::memcpy(bytes_ + kReceiverDspOffset, &pointer, sizeof pointer);
        }
    }
    // The DSP pointer points into the object itself.
    ReceiverDescription(const ReceiverDescription &) = delete;
    ReceiverDescription &operator=(const ReceiverDescription &) = delete;
    const uint8_t *Info() const { return bytes_; }

private:
    // Texts fill their 32-byte slot; a longer one is cut.
    static void Copy(void *slot, const std::string &text)
    {
        std::memcpy(slot, text.data(), std::min<size_t>(text.size(), kReceiverTextSize));
    }
    void Put(uint32_t offset, const std::string &text) { Copy(bytes_ + offset, text); }

    uint8_t bytes_[kReceiverInfoSize + 16] = {};
    char dsp_[64] = {};
};

} // namespace sirrel
