#include "decoders/fec_decoder.h"

namespace sirrel {

FecDecoder::FecDecoder() { FecDecoder::SetCharsInCycle(3); }

void FecDecoder::Configure(const DecoderParams &params)
{
    const FecParams fec = params.Fec();
    ConfigureCommon(fec.charset, params, fec.invertingRate);
    SetCharsInCycle(fec.charsInCycle);
}

void FecDecoder::Reset()
{
    SyncArqDecoder::Reset();
    alternate_ = 0;
}

int32_t FecDecoder::SetCharsInCycle(int32_t n)
{
    SyncArqDecoder::SetCharsInCycle(n);
    SetCycleLength(BlockLength());
    return CharsInCycle();
}

void FecDecoder::OnCode(int32_t code)
{
    alternate_ = 1 - alternate_;
    if (alternate_ == 1)
        SyncArqDecoder::OnCode(code);
}

} // namespace sirrel
