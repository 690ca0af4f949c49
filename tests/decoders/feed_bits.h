// Feeding a clocked decoder one decided bit at a time, as the dispatcher's bit clock does.
#pragma once

#include <cstdint>

#include "decoders/decoder.h"

namespace sirrel::testing {

inline void FeedBit(Decoder &decoder, int32_t bit)
{
    const int16_t level = int16_t(bit);
    decoder.Feed(&level, 1);
}

} // namespace sirrel::testing
