#include "decoders/fec_decoder.h"

namespace sirrel {

namespace {

// The phasing signals of each character set, in first-sending and in repetition position, and a code that
// fails the check and that the sink shows as a space in either case: its error mark.
struct FecCodes {
    int32_t dxPhasing, rxPhasing, errorMark;
};

FecCodes CodesOf(int32_t charset)
{
    switch (charset) {
    case SyncArqDecoder::kCcir476:
        return {0x4C, 0x70, 0x04};
    case SyncArqDecoder::kIta3:
        return {0x4A, 0x1A, 0x04};
    default:
        return {0x49, 0x31, 0x48};
    }
}

} // namespace

FecDecoder::FecDecoder()
{
    FecDecoder::SetCharsInCycle(3);
    combiner_.SetOutput([this](int32_t code) { SyncArqDecoder::OnCode(code); });
}

void FecDecoder::Configure(const DecoderParams &params)
{
    const FecParams fec = params.Fec();
    ConfigureCommon(fec.charset, params, fec.invertingRate);
    SetCharsInCycle(fec.charsInCycle);
    SetCorrection(params.options.fecCorrection);
}

void FecDecoder::Follow(bool correcting)
{
    if (correcting == correcting_)
        return;
    if (correcting_)
        combiner_.Flush();
    else
        combiner_.Reset();
    grid_.Reset();
    correcting_ = correcting;
}

void FecDecoder::Feed(const int16_t *bits, int32_t count) { Take(bits, nullptr, count); }

void FecDecoder::FeedSoft(const int16_t *bits, const int16_t *confidence, int32_t count)
{
    Take(bits, confidence, count);
}

void FecDecoder::Take(const int16_t *bits, const int16_t *confidence, int32_t count)
{
    Follow(Correcting());
    if (!correcting_) {
        SyncArqDecoder::Feed(bits, count);
        return;
    }
    grid_.Configure(Charset(), InversionMask(), PolarityMode());
    const FecCodes codes = CodesOf(Charset());
    grid_.SetPhasing(codes.dxPhasing, codes.rxPhasing);
    combiner_.SetCodes(codes.dxPhasing, codes.rxPhasing, codes.errorMark);
    combiner_.SetConstantRatio(Charset() != kIta2P);
    for (int32_t i = 0; i < count; ++i)
        grid_.PutBit(int8_t(bits[i]), confidence ? confidence[i] : int16_t(0), combiner_);
}

void FecDecoder::Finish()
{
    if (correcting_)
        combiner_.Flush();
}

void FecDecoder::Reset()
{
    SyncArqDecoder::Reset();
    alternate_ = 0;
    grid_.Reset();
    combiner_.Reset();
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
