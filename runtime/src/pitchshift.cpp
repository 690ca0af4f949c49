// Frequency shifter by single-sideband mixing: the Hilbert transform H and the input delayed to match it form
// an analytic pair that is multiplied with a table oscillator of SamplingRate entries, so that Shift (Hz) is the
// table step per sample and a positive shift moves every component up.
#include <cmath>

#include "orurt.h"
#include "otherdsp_internal.h"

using namespace otherdsp;

namespace {

// Four areas of BufferSize samples: input, Hilbert output, delayed input, output buffer. The members follow
// the same chunk size; they chunk on their own, so a member that could not grow only costs speed.
int32_t resize(OruPitchShift1616 *shift)
{
    const uint64_t area = alignedArea(shift->BufferSize, sizeof(int16_t));
    if (!reserveStorage(shift->Storage, shift->StorageSize, 4 * area))
        return 0;
    auto *base = static_cast<uint8_t *>(shift->Storage);
    shift->InputBuffer = reinterpret_cast<int16_t *>(base);
    shift->HilbertBuffer = reinterpret_cast<int16_t *>(base + area);
    shift->DelayedBuffer = reinterpret_cast<int16_t *>(base + 2 * area);
    shift->OutputBuffer = reinterpret_cast<int16_t *>(base + 3 * area);
    OruFIR_BufferSize(&shift->Hilbert, int32_t(shift->BufferSize));
    OruDelayLine_BufferSize(&shift->DelayLine, int32_t(shift->BufferSize));
    return 1;
}

// Entry k = (cos, -sin) of 2*pi*k/fs in Q15. Keeps the old table when the new one cannot be had.
bool buildOscillator(OruPitchShift1616 *shift, int32_t rate)
{
    void *table = shift->Oscillator;
    uint32_t tableSize = shift->OscillatorSize;
    if (!reserveStorage(table, tableSize, uint64_t(rate) * 2 * sizeof(int16_t)))
        return false;
    shift->Oscillator = static_cast<int16_t *>(table);
    shift->OscillatorSize = tableSize;
    for (int32_t k = 0; k < rate; ++k) {
        const double angle = kTwoPi * k / rate;
        shift->Oscillator[2 * k] = roundToInt16(32767.0 * std::cos(angle));
        shift->Oscillator[2 * k + 1] = roundToInt16(-32767.0 * std::sin(angle));
    }
    return true;
}

void runChunk(OruPitchShift1616 *shift, int16_t *out, int32_t k)
{
    OruFIR1616_Process_16_16(&shift->Hilbert, shift->HilbertBuffer, shift->InputBuffer, k, 1, 1);
    OruDelayLine16_Process_16_16(&shift->DelayLine, shift->DelayedBuffer, shift->InputBuffer, k, 1);
    const int32_t rate = shift->SamplingRate;
    // Any shift, however large or negative, becomes a step inside the table.
    const int32_t stepSize = ((shift->Shift % rate) + rate) % rate;
    uint32_t p = shift->Position % uint32_t(rate);
    for (int32_t i = 0; i < k; ++i) {
        const int64_t c = shift->Oscillator[2 * p];
        const int64_t s = shift->Oscillator[2 * p + 1];
        const int64_t sum = 2 * shift->HilbertBuffer[i] * c + 2 * shift->DelayedBuffer[i] * s;
        out[i] = saturate16(sum >> 16);
        p += uint32_t(stepSize);
        if (p >= uint32_t(rate))
            p -= uint32_t(rate);
    }
    shift->Position = p;
}

} // namespace

OruPitchShift1616 *OruPitchShift1616_Construct(OruPitchShift1616 *shift)
{
    shift = objectStorage(shift);
    if (shift == nullptr)
        return nullptr;
    shift->ResizeRoutine = resize;
    shift->InputBuffer = shift->HilbertBuffer = shift->DelayedBuffer = shift->OutputBuffer = nullptr;
    shift->Oscillator = nullptr;
    shift->OscillatorSize = 0;
    shift->BufferSize = 1024;
    shift->SamplingRate = 11025;
    shift->Shift = 0;
    shift->Position = 0;
    OruFIR1616_Construct(&shift->Hilbert);
    OruFIR_FIRType(&shift->Hilbert, ORU_FIR_HILBERT);
    OruFIR_SamplingRate(&shift->Hilbert, float(shift->SamplingRate));
    OruDelayLine16_Construct(&shift->DelayLine);
    shift->Storage = nullptr;
    shift->StorageSize = 0;
    OruPitchShift1616_TapsNum(shift, 63);
    if (!buildOscillator(shift, shift->SamplingRate))
        shift->SamplingRate = 0;
    shift->ResizeRoutine(shift);
    return shift;
}

void OruPitchShift_Destruct(OruPitchShift1616 *shift, uint32_t flags)
{
    if (shift == nullptr)
        return;
    OruFIR_Destruct(&shift->Hilbert, 0);
    OruDelayLine_Destruct(&shift->DelayLine, 0);
    MemoryFree(shift->Storage);
    MemoryFree(shift->Oscillator);
    shift->Storage = nullptr;
    shift->Oscillator = nullptr;
    shift->StorageSize = shift->OscillatorSize = 0;
    if ((flags & 1) != 0)
        MemoryFree(shift);
}

void OruPitchShift1616_BufferSize(OruPitchShift1616 *shift, int32_t samples)
{
    if (shift == nullptr)
        return;
    const uint32_t size = uint32_t(samples < 1 ? 1 : samples);
    if (size == shift->BufferSize)
        return;
    const uint32_t old = shift->BufferSize;
    shift->BufferSize = size;
    if (shift->ResizeRoutine(shift) == 0)
        shift->BufferSize = old;
}

void OruPitchShift1616_SamplingRate(OruPitchShift1616 *shift, int32_t hertz)
{
    if (shift == nullptr || hertz < 1 || hertz == shift->SamplingRate)
        return;
    if (!buildOscillator(shift, hertz))
        return;
    shift->SamplingRate = hertz;
    shift->Position = 0;
    OruFIR_SamplingRate(&shift->Hilbert, float(hertz));
}

void OruPitchShift1616_TapsNum(OruPitchShift1616 *shift, int32_t taps)
{
    if (shift == nullptr)
        return;
    OruFIR_TapsNum(&shift->Hilbert, taps);
    // The delay matches the transformer's group delay, half its (odd) tap count.
    OruDelayLine_Delay(&shift->DelayLine, int32_t((shift->Hilbert.TapsNum - 1) / 2));
}

void OruPitchShift1616_Process_16_16(OruPitchShift1616 *shift, int16_t *out, const int16_t *in, int32_t count,
                                     int32_t step)
{
    // The rate is also the table length: one written past the setter must not index beyond the table.
    if (shift == nullptr || shift->Storage == nullptr || shift->Oscillator == nullptr || shift->SamplingRate < 1 ||
        uint64_t(shift->SamplingRate) * 2 * sizeof(int16_t) > shift->OscillatorSize || in == nullptr)
        return;
    int32_t n = stridedCount(count, step);
    while (n > 0) {
        const int32_t k = n < int32_t(shift->BufferSize) ? n : int32_t(shift->BufferSize);
        for (int32_t i = 0; i < k; ++i)
            shift->InputBuffer[i] = in[int64_t(i) * step];
        in += int64_t(k) * step;
        n -= k;
        runChunk(shift, out != nullptr ? out : shift->OutputBuffer, k);
        if (out != nullptr)
            out += k;
    }
}
