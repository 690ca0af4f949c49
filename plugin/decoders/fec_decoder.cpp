#include "decoders/fec_decoder.h"

namespace sirrel {

FecDecoder::FecDecoder() { FecDecoder::setCharsInCycle(3); }

int32_t FecDecoder::setCharsInCycle(int32_t n)
{
    SyncArqDecoder::setCharsInCycle(n);
    setCycleLength(blockLength());
    return charsInCycle();
}

void FecDecoder::onCode(int32_t code)
{
    alternate_ = 1 - alternate_;
    if (alternate_ == 1)
        SyncArqDecoder::onCode(code);
}

} // namespace sirrel
