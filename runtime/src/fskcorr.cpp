// OruFSKCorrDemod16: correlative FSK demodulator.
//
// Each sample is correlated with both tones over a sliding window of one symbol. The four running sums are
// kept as floats and updated by adding the newest product and subtracting the oldest, so the cost per sample
// does not depend on the window length. Products, magnitudes and the division are done in double precision.
// The per-sample trigonometry and output steps have vector kernels (fskcorr_kernels.h) that give the same bits.
#include <cmath>
#include <cstring>

#include "fskcorr_kernels.h"
#include "orurt.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;
constexpr uint32_t kDefaultBufferSize = 512;
// WorkBuffer holds int16 samples and its byte size must fit the allocator's 32-bit size.
constexpr uint32_t kMaxBufferSize = 1u << 30;
// A window this long already spans minutes of audio; the cap keeps the ring's byte size in 32 bits.
constexpr uint32_t kMaxWindowLength = 1u << 22;

uint32_t WindowLengthFor(float samplingRate, float bitRate)
{
    const double n = std::nearbyint(double(samplingRate) / double(bitRate) + 0.5);
    // A zero, negative or non-finite rate gives the minimum.
    if (!(n >= 2.0) || std::isinf(n))
        return 2;
    return n > kMaxWindowLength ? kMaxWindowLength : uint32_t(n);
}

// Phase increment of one tone; a zero or non-finite rate gives no rotation instead of poisoning the phases.
double PhaseStep(float frequency, float samplingRate)
{
    const double w = kTwoPi * frequency / samplingRate;
    return std::isfinite(w) ? w : 0.0;
}

void UpdateWindow(OruFSKCorrDemod16 *d)
{
    const uint32_t n = WindowLengthFor(d->SamplingRate, d->BitRate);
    const uint32_t length = 4 * n;
    if (length > d->RingCapacity) {
        // The content is cleared anyway, so there is nothing to copy.
        MemoryFree(d->Ring);
        d->Ring = static_cast<float *>(MemoryAlloc(length * uint32_t(sizeof(float))));
        d->RingCapacity = d->Ring ? length : 0;
    }
    if (!d->Ring) {
        d->WindowLength = 0;
        d->RingLength = 0;
        d->RingPosition = 0;
        return;
    }
    d->WindowLength = n;
    d->RingLength = length;
    d->RingPosition = 0;
    std::memset(d->Ring, 0, size_t(length) * sizeof(float));
    d->Sum1Cos = d->Sum1Sin = d->Sum2Sin = d->Sum2Cos = 0.0f;
}

int32_t ResizeWorkBuffer(OruFSKCorrDemod16 *d)
{
    void *buffer = MemoryReAlloc(d->WorkBuffer, d->BufferSize * uint32_t(sizeof(int16_t)));
    if (!buffer)
        return 0;
    d->WorkBuffer = static_cast<int16_t *>(buffer);
    return 1;
}

// One sliding-sum step: drop the oldest product, add the newest, remember it for when it leaves the window.
inline float Slide(float sum, float &slot, double product)
{
    const float updated = float((double(sum) - double(slot)) + product);
    slot = float(product);
    return updated;
}

// The chunk goes through in blocks: phases (a running sum, p += w per sample), the products with
// both oscillators (kernel), the sliding sums (serial), the output samples (kernel). Every block is read before
// its outputs are written, so dst may be WorkBuffer.
template <orufsk::ProductKernel Products, orufsk::OutputKernel Outputs>
void DemodulateChunk(OruFSKCorrDemod16 *d, int16_t *dst, uint32_t count)
{
    using orufsk::kBlock;
    if (!d->WorkBuffer || !d->Ring || !dst)
        return;
    if (count > d->BufferSize)
        count = d->BufferSize;
    const double w1 = PhaseStep(d->Tone1Frequency, d->SamplingRate);
    const double w2 = PhaseStep(d->Tone2Frequency, d->SamplingRate);
    const double windowLength = d->WindowLength;
    const int16_t *src = d->WorkBuffer;
    float *ring = d->Ring;
    const uint32_t ringLength = d->RingLength;
    uint32_t g = d->RingPosition;
    double p1 = d->Phase1;
    double p2 = d->Phase2;
    float sum[4] = {d->Sum1Cos, d->Sum1Sin, d->Sum2Sin, d->Sum2Cos};
    orufsk::Block block;

    for (uint32_t first = 0; first < count; first += kBlock) {
        const uint32_t m = count - first < kBlock ? count - first : kBlock;
        bool polynomial = true;
        for (uint32_t i = 0; i < m; ++i) {
            block.x[i] = src[first + i];
            block.phase1[i] = p1;
            block.phase2[i] = p2;
            polynomial = polynomial && std::fabs(p1) <= orufsk::kTrigLimit && std::fabs(p2) <= orufsk::kTrigLimit;
            p1 += w1;
            p2 += w2;
        }
        // Whole vector steps: the lanes past the block compute on zeros and are not used.
        const uint32_t padded = (m + 3) & ~3u;
        for (uint32_t i = m; i < padded; ++i)
            block.x[i] = block.phase1[i] = block.phase2[i] = 0.0;
        if (polynomial)
            Products(block, padded);
        else
            orufsk::ProductsLibrary(block, m);

        for (uint32_t i = 0; i < m; ++i) {
            float *slot = ring + g;
            for (int k = 0; k < 4; ++k) {
                sum[k] = Slide(sum[k], slot[k], block.product[k][i]);
                block.sum[k][i] = sum[k];
            }
            g += 4;
            if (g == ringLength)
                g = 0;
        }
        Outputs(block, m, windowLength, dst + first);
    }

    d->RingPosition = g;
    d->Sum1Cos = sum[0];
    d->Sum1Sin = sum[1];
    d->Sum2Sin = sum[2];
    d->Sum2Cos = sum[3];
    // Folded into one turn before they are stored as floats: unbounded phases would lose resolution at every
    // chunk seam once they grow large (after minutes of audio), which shows as dips in the output.
    d->Phase1 = float(std::fmod(p1, kTwoPi));
    d->Phase2 = float(std::fmod(p2, kTwoPi));
}

using ProcessRoutine = decltype(OruFSKCorrDemod16::ProcessRoutine);

ProcessRoutine PickProcessRoutine()
{
#if ORU_FSK_X86
    switch (orufsk::PickVariant()) {
    case orufsk::Variant::Avx2:
        return DemodulateChunk<orufsk::ProductsAvx2, orufsk::OutputsAvx2>;
    case orufsk::Variant::Sse2:
        return DemodulateChunk<orufsk::ProductsSse2, orufsk::OutputsSse2>;
    default:
        break;
    }
#endif
    return DemodulateChunk<orufsk::ProductsPortable, orufsk::OutputsPortable>;
}

bool SameBits(float a, float b)
{
    uint32_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

} // namespace

OruFSKCorrDemod16 *OruFSKCorrDemod16_Construct(OruFSKCorrDemod16 *d)
{
    if (!d) {
        d = static_cast<OruFSKCorrDemod16 *>(MemoryAlloc(sizeof(OruFSKCorrDemod16)));
        if (!d)
            return nullptr;
    }
    std::memset(d, 0, sizeof *d);
    d->ProcessRoutine = PickProcessRoutine();
    d->UpdateRoutine = UpdateWindow;
    d->ResizeRoutine = ResizeWorkBuffer;
    d->SamplingRate = 22050.0f;
    d->Tone1Frequency = 1200.0f;
    d->Tone2Frequency = 2200.0f;
    d->BitRate = 1200.0f;
    d->UpdateRoutine(d);
    d->BufferSize = kDefaultBufferSize;
    if (!d->ResizeRoutine(d))
        d->BufferSize = 0;
    return d;
}

void OruFSKCorrDemod_Destruct(OruFSKCorrDemod16 *d, uint32_t flags)
{
    if (!d)
        return;
    MemoryFree(d->WorkBuffer);
    MemoryFree(d->Ring);
    d->WorkBuffer = nullptr;
    d->Ring = nullptr;
    if (flags & 1)
        MemoryFree(d);
}

void OruFSKCorrDemod_BufferSize(OruFSKCorrDemod16 *d, uint32_t samples)
{
    if (!d)
        return;
    if (samples < 1)
        samples = 1;
    if (samples > kMaxBufferSize)
        samples = kMaxBufferSize;
    if (samples == d->BufferSize)
        return;
    const uint32_t previous = d->BufferSize;
    d->BufferSize = samples;
    if (!d->ResizeRoutine(d))
        d->BufferSize = previous;
}

void OruFSKCorrDemod_SamplingRate(OruFSKCorrDemod16 *d, float hertz)
{
    if (!d || SameBits(hertz, d->SamplingRate))
        return;
    d->SamplingRate = hertz;
    d->UpdateRoutine(d);
}

void OruFSKCorrDemod_BitRate(OruFSKCorrDemod16 *d, float bitsPerSecond)
{
    if (!d || SameBits(bitsPerSecond, d->BitRate))
        return;
    d->BitRate = bitsPerSecond;
    d->UpdateRoutine(d);
}

void OruFSKCorrDemod16_Process_16_16(OruFSKCorrDemod16 *d, const int16_t *in, int16_t *out, int32_t count,
                                     int32_t step)
{
    // A stride below 1 would divide by zero or walk backwards out of the caller's block.
    if (!d || !in || step < 1 || count < step)
        return;
    if (!d->WorkBuffer || !d->Ring || d->BufferSize == 0)
        return;
    uint32_t n = uint32_t(count / step);
    while (n > 0) {
        const uint32_t k = n < d->BufferSize ? n : d->BufferSize;
        for (uint32_t i = 0; i < k; ++i)
            d->WorkBuffer[i] = in[size_t(i) * size_t(step)];
        in += size_t(k) * size_t(step);
        if (!out) {
            d->ProcessRoutine(d, d->WorkBuffer, k);
            return;
        }
        d->ProcessRoutine(d, out, k);
        out += k;
        n -= k;
    }
}
