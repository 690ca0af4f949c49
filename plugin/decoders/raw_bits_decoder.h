// RawBitsDecoder: every decided bit becomes the character "0" or "1".
#pragma once

#include <cstdint>

#include "decoders/decoder.h"

namespace sirrel {

class RawBitsDecoder final : public Decoder {
public:
    void Configure(const DecoderParams &) override {}
    void Feed(const int16_t *bits, int32_t count) override
    {
        for (int32_t i = 0; i < count; ++i)
            Deliver({0, uint8_t('0' + bits[i])});
    }
    void Reset() override {}
};

} // namespace sirrel
