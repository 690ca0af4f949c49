// Delay-line FSK discriminator: the band-limited input is compared in sign with itself Delay samples earlier.
// The share of agreeing signs falls with frequency (for a delay of one sample, 1 - 4f/fs), so after the output
// low-pass the level follows the tone frequency.
#include <cstring>

#include "orurt.h"
#include "otherdsp_internal.h"

using namespace otherdsp;

namespace {

constexpr int16_t kSignsAgree = 16383;
constexpr int16_t kSignsDiffer = -16384;

// Work buffer and delayed copy, BufferSize samples each. The members follow the same chunk size; they chunk on
// their own, so a member that could not grow only costs speed.
int32_t resize(OruFSKDelayDemod16 *demod)
{
    const uint64_t area = alignedArea(demod->BufferSize, sizeof(int16_t));
    if (!reserveStorage(demod->Storage, demod->StorageSize, 2 * area))
        return 0;
    demod->WorkBuffer = static_cast<int16_t *>(demod->Storage);
    demod->DelayedBuffer = reinterpret_cast<int16_t *>(static_cast<uint8_t *>(demod->Storage) + area);
    OruFIR_BufferSize(&demod->InputFilter, int32_t(demod->BufferSize));
    OruDelayLine_BufferSize(&demod->DelayLine, int32_t(demod->BufferSize));
    OruFIR_BufferSize(&demod->OutputFilter, int32_t(demod->BufferSize));
    return 1;
}

void runChunk(OruFSKDelayDemod16 *demod, int16_t *out, int32_t k)
{
    int16_t *x = demod->WorkBuffer;
    OruFIR1616_Process_16_16(&demod->InputFilter, x, x, k, 1, 1);
    for (int32_t i = 0; i < k; ++i) {
        const int32_t v = x[i];
        if (demod->Differentiate != 0)
            x[i] = int16_t((v - demod->Previous) / 2);
        demod->Previous = v;
    }
    OruDelayLine16_Process_16_16(&demod->DelayLine, demod->DelayedBuffer, x, k, 1);
    for (int32_t i = 0; i < k; ++i)
        x[i] = int32_t(x[i]) * demod->DelayedBuffer[i] >= 0 ? kSignsAgree : kSignsDiffer;
    OruFIR1616_Process_16_16(&demod->OutputFilter, out, x, k, 1, 1);
}

} // namespace

OruFSKDelayDemod16 *OruFSKDelayDemod16_Construct(OruFSKDelayDemod16 *demod)
{
    demod = objectStorage(demod);
    if (demod == nullptr)
        return nullptr;
    demod->ResizeRoutine = resize;
    demod->WorkBuffer = demod->DelayedBuffer = nullptr;
    demod->BufferSize = 1024;
    demod->SamplingRate = 11025.0f;
    demod->Differentiate = 0;
    demod->Previous = 0;
    OruFIR1616_Construct(&demod->InputFilter);
    OruFIR_FIRType(&demod->InputFilter, ORU_FIR_LOWPASS);
    OruDelayLine16_Construct(&demod->DelayLine);
    OruFIR1616_Construct(&demod->OutputFilter);
    OruFIR_TapsNum(&demod->OutputFilter, 63);
    OruFIR_CutOffHigh(&demod->OutputFilter, 300.0f);
    OruFIR_FIRType(&demod->OutputFilter, ORU_FIR_LOWPASS);
    demod->Storage = nullptr;
    demod->StorageSize = 0;
    demod->ResizeRoutine(demod);
    return demod;
}

void OruFSKDelayDemod_Destruct(OruFSKDelayDemod16 *demod, uint32_t flags)
{
    if (demod == nullptr)
        return;
    OruFIR_Destruct(&demod->InputFilter, 0);
    OruDelayLine_Destruct(&demod->DelayLine, 0);
    OruFIR_Destruct(&demod->OutputFilter, 0);
    MemoryFree(demod->Storage);
    demod->Storage = nullptr;
    demod->StorageSize = 0;
    if ((flags & 1) != 0)
        MemoryFree(demod);
}

void OruFSKDelayDemod16_BufferSize(OruFSKDelayDemod16 *demod, int32_t samples)
{
    if (demod == nullptr)
        return;
    const uint32_t size = uint32_t(samples < 1 ? 1 : samples);
    if (size == demod->BufferSize)
        return;
    const uint32_t old = demod->BufferSize;
    demod->BufferSize = size;
    if (demod->ResizeRoutine(demod) == 0)
        demod->BufferSize = old;
}

void OruFSKDelayDemod_SamplingRate(OruFSKDelayDemod16 *demod, float hertz)
{
    if (demod == nullptr || hertz == demod->SamplingRate)
        return;
    demod->SamplingRate = hertz;
    OruFIR_SamplingRate(&demod->InputFilter, hertz);
    OruFIR_SamplingRate(&demod->OutputFilter, hertz);
}

void OruFSKDelayDemod16_Process(OruFSKDelayDemod16 *demod, int16_t *out, const int16_t *in, int32_t count,
                                int32_t step)
{
    if (demod == nullptr || demod->Storage == nullptr || in == nullptr)
        return;
    int32_t n = stridedCount(count, step);
    while (n > 0) {
        const int32_t k = n < int32_t(demod->BufferSize) ? n : int32_t(demod->BufferSize);
        for (int32_t i = 0; i < k; ++i)
            demod->WorkBuffer[i] = in[int64_t(i) * step];
        in += int64_t(k) * step;
        n -= k;
        runChunk(demod, out != nullptr ? out : demod->WorkBuffer, k);
        if (out != nullptr)
            out += k;
    }
}
