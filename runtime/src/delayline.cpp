// Fixed delay line. Delay history samples sit in front of the input area; each chunk is copied behind them,
// the first chunk-length samples of the line are the output, and the last Delay samples move to the front.
#include <cstring>

#include "orurt.h"
#include "otherdsp_internal.h"

using namespace otherdsp;

namespace {

// Lays out storage for the current Delay and BufferSize: line (Delay + BufferSize samples), then the output
// buffer. The history is cleared. When the memory cannot be had nothing changes and 0 is returned.
int32_t resize(OruDelayLine *line)
{
    const uint64_t lineBytes = alignedArea(uint64_t(line->Delay) + line->BufferSize, line->SampleSize);
    const uint64_t outputBytes = alignedArea(line->BufferSize, line->SampleSize);
    if (!reserveStorage(line->Storage, line->StorageSize, lineBytes + outputBytes))
        return 0;
    auto *base = static_cast<uint8_t *>(line->Storage);
    line->DelayLine = base;
    line->Input = base + uint64_t(line->Delay) * line->SampleSize;
    line->OutputBuffer = base + lineBytes;
    std::memset(base, 0, size_t(line->Delay) * line->SampleSize);
    return 1;
}

OruDelayLine *construct(OruDelayLine *line, uint32_t sampleSize)
{
    line = objectStorage(line);
    if (line == nullptr)
        return nullptr;
    line->Input = line->OutputBuffer = line->DelayLine = nullptr;
    line->BufferSize = 1024;
    line->Delay = 1;
    line->SampleSize = sampleSize;
    line->ResizeRoutine = resize;
    line->Storage = nullptr;
    line->StorageSize = 0;
    line->ResizeRoutine(line);
    return line;
}

// Stores a new geometry value and lays out again; a layout that cannot be had leaves everything as it was.
void setGeometry(OruDelayLine *line, uint32_t &field, uint32_t value)
{
    if (field == value)
        return;
    const uint32_t old = field;
    field = value;
    if (line->ResizeRoutine(line) == 0)
        field = old;
}

// Delays the k samples at Input into out.
template <typename Sample> void runChunk(OruDelayLine *line, Sample *out, uint32_t k)
{
    auto *x = static_cast<Sample *>(line->DelayLine);
    std::memmove(out, x, size_t(k) * sizeof(Sample));
    std::memmove(x, x + k, size_t(line->Delay) * sizeof(Sample));
}

template <typename Sample> void processPlaced(OruDelayLine *line, Sample *out, int32_t count)
{
    if (line == nullptr || line->Storage == nullptr || count < 0 || line->SampleSize != sizeof(Sample))
        return;
    uint32_t k = count == 0 || uint32_t(count) > line->BufferSize ? line->BufferSize : uint32_t(count);
    runChunk(line, out != nullptr ? out : static_cast<Sample *>(line->OutputBuffer), k);
}

template <typename Sample>
void processStream(OruDelayLine *line, Sample *out, const Sample *in, int32_t count, int32_t step)
{
    if (line == nullptr || line->Storage == nullptr || in == nullptr || line->SampleSize != sizeof(Sample))
        return;
    int32_t n = stridedCount(count, step);
    while (n > 0) {
        uint32_t k = uint32_t(n) < line->BufferSize ? uint32_t(n) : line->BufferSize;
        auto *input = static_cast<Sample *>(line->Input);
        for (uint32_t i = 0; i < k; ++i)
            input[i] = in[int64_t(i) * step];
        in += int64_t(k) * step;
        n -= int32_t(k);
        if (out != nullptr) {
            runChunk(line, out, k);
            out += k;
        } else {
            runChunk(line, static_cast<Sample *>(line->OutputBuffer), k);
        }
    }
}

} // namespace

OruDelayLine *OruDelayLine16_Construct(OruDelayLine *line) { return construct(line, sizeof(int16_t)); }

OruDelayLine *OruDelayLine32_Construct(OruDelayLine *line) { return construct(line, sizeof(int32_t)); }

void OruDelayLine_Destruct(OruDelayLine *line, uint32_t flags)
{
    if (line == nullptr)
        return;
    MemoryFree(line->Storage);
    line->Storage = nullptr;
    line->StorageSize = 0;
    if ((flags & 1) != 0)
        MemoryFree(line);
}

void OruDelayLine_BufferSize(OruDelayLine *line, int32_t samples)
{
    if (line != nullptr)
        setGeometry(line, line->BufferSize, uint32_t(samples < 1 ? 1 : samples));
}

void OruDelayLine_Delay(OruDelayLine *line, int32_t samples)
{
    if (line != nullptr)
        setGeometry(line, line->Delay, uint32_t(samples < 0 ? 0 : samples));
}

void OruDelayLine16_Process(OruDelayLine *line, int16_t *out, int32_t count) { processPlaced(line, out, count); }

void OruDelayLine32_Process(OruDelayLine *line, int32_t *out, int32_t count) { processPlaced(line, out, count); }

void OruDelayLine16_Process_16_16(OruDelayLine *line, int16_t *out, const int16_t *in, int32_t count, int32_t step)
{
    processStream(line, out, in, count, step);
}

void OruDelayLine32_Process_32_32(OruDelayLine *line, int32_t *out, const int32_t *in, int32_t count, int32_t step)
{
    processStream(line, out, in, count, step);
}
