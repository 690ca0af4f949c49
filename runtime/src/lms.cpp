// Normalised LMS adaptive predictor on 16-bit samples with Q15 weights. The window of TapsNum samples ends
// DelaySize samples before the sample being predicted; its energy is a running sum, so the normalisation costs
// two multiplications per sample whatever the tap count.
#include <cstring>

#include "orurt.h"
#include "otherdsp_internal.h"

using namespace otherdsp;

namespace {

uint32_t historyLength(const OruLMS1616 *lms) { return lms->DelaySize + lms->TapsNum; }

// Lays out the line (D + T history samples and BufferSize new ones), the weights and the output buffer in one
// block. Adaptation starts over: history, energy and weights are cleared. When the memory cannot be had
// nothing changes and 0 is returned.
int32_t resize(OruLMS1616 *lms)
{
    const uint64_t lineSamples = uint64_t(historyLength(lms)) + lms->BufferSize;
    const uint64_t lineBytes = alignedArea(lineSamples, sizeof(int16_t));
    const uint64_t weightBytes = alignedArea(lms->TapsNum, sizeof(int16_t));
    const uint64_t outputBytes = alignedArea(lms->BufferSize, sizeof(int16_t));
    if (!reserveStorage(lms->Storage, lms->StorageSize, lineBytes + weightBytes + outputBytes))
        return 0;
    auto *base = static_cast<uint8_t *>(lms->Storage);
    lms->DelayLine = reinterpret_cast<int16_t *>(base);
    lms->DelayInput = lms->DelayLine + historyLength(lms);
    lms->Weights = reinterpret_cast<int16_t *>(base + lineBytes);
    lms->OutputBuffer = reinterpret_cast<int16_t *>(base + lineBytes + weightBytes);
    std::memset(lms->DelayLine, 0, size_t(historyLength(lms)) * sizeof(int16_t));
    std::memset(lms->Weights, 0, size_t(lms->TapsNum) * sizeof(int16_t));
    lms->Energy = 0;
    return 1;
}

void setGeometry(OruLMS1616 *lms, uint32_t &field, uint32_t value)
{
    if (field == value)
        return;
    const uint32_t old = field;
    field = value;
    if (lms->ResizeRoutine(lms) == 0)
        field = old;
}

// Predicts, adapts and writes k samples already placed at DelayInput.
void runChunk(OruLMS1616 *lms, int16_t *out, uint32_t k)
{
    const uint32_t taps = lms->TapsNum;
    const uint32_t history = historyLength(lms);
    const double keep = 1.0 - double(lms->Leakage);
    const double scale = 32767.0 * double(lms->StepSize);
    const double floor = double(lms->Regularisation) + 1.0;
    int16_t *w = lms->Weights;
    for (uint32_t i = 0; i < k; ++i) {
        const int16_t *x = lms->DelayLine + i; // x[0] leaves the window, x[history] is the current sample
        const int16_t *window = x + 1;         // ends D samples before the current one
        const int64_t entering = window[taps - 1];
        lms->Energy += entering * entering - int64_t(x[0]) * x[0];

        int64_t sum = 0;
        for (uint32_t j = 0; j < taps; ++j)
            sum += int64_t(w[j]) * window[j];
        const int64_t prediction = sum >> 15;
        const int64_t error = int64_t(x[history]) - prediction;

        const double gain = scale * double(error) / (double(lms->Energy) + floor);
        for (uint32_t j = 0; j < taps; ++j)
            w[j] = roundToInt16(double(w[j]) * keep + gain * window[j]);

        out[i] = saturate16(lms->OutputSelect == 0 ? prediction : error);
    }
    std::memmove(lms->DelayLine, lms->DelayLine + k, size_t(history) * sizeof(int16_t));
}

} // namespace

OruLMS1616 *OruLMS1616_Construct(OruLMS1616 *lms)
{
    lms = objectStorage(lms);
    if (lms == nullptr)
        return nullptr;
    lms->DelayInput = lms->Weights = lms->OutputBuffer = lms->DelayLine = nullptr;
    lms->StepSize = 0.5f;
    lms->Regularisation = 1.0f;
    lms->Leakage = 0.5f;
    lms->OutputSelect = 0;
    lms->BufferSize = 1024;
    lms->DelaySize = 0;
    lms->TapsNum = 31;
    lms->Energy = 0;
    lms->ResizeRoutine = resize;
    lms->Storage = nullptr;
    lms->StorageSize = 0;
    lms->ResizeRoutine(lms);
    return lms;
}

void OruLMS_Destruct(OruLMS1616 *lms, uint32_t flags)
{
    if (lms == nullptr)
        return;
    MemoryFree(lms->Storage);
    lms->Storage = nullptr;
    lms->StorageSize = 0;
    if ((flags & 1) != 0)
        MemoryFree(lms);
}

void OruLMS_BufferSize(OruLMS1616 *lms, int32_t samples)
{
    if (lms != nullptr)
        setGeometry(lms, lms->BufferSize, uint32_t(samples < 1 ? 1 : samples));
}

void OruLMS_DelaySize(OruLMS1616 *lms, int32_t samples)
{
    if (lms != nullptr)
        setGeometry(lms, lms->DelaySize, uint32_t(samples < 0 ? 0 : samples));
}

void OruLMS_TapsNum(OruLMS1616 *lms, int32_t taps)
{
    if (lms != nullptr)
        setGeometry(lms, lms->TapsNum, uint32_t(taps < 1 ? 1 : taps));
}

void OruLMS1616_Process(OruLMS1616 *lms, int16_t *out, int32_t count)
{
    if (lms == nullptr || lms->Storage == nullptr || count < 0)
        return;
    uint32_t k = count == 0 || uint32_t(count) > lms->BufferSize ? lms->BufferSize : uint32_t(count);
    runChunk(lms, out != nullptr ? out : lms->OutputBuffer, k);
}

void OruLMS1616_Process_16_16(OruLMS1616 *lms, int16_t *out, const int16_t *in, int32_t count, int32_t step)
{
    if (lms == nullptr || lms->Storage == nullptr || in == nullptr)
        return;
    int32_t n = stridedCount(count, step);
    while (n > 0) {
        uint32_t k = uint32_t(n) < lms->BufferSize ? uint32_t(n) : lms->BufferSize;
        for (uint32_t i = 0; i < k; ++i)
            lms->DelayInput[i] = in[int64_t(i) * step];
        in += int64_t(k) * step;
        n -= int32_t(k);
        runChunk(lms, out != nullptr ? out : lms->OutputBuffer, k);
        if (out != nullptr)
            out += k;
    }
}
