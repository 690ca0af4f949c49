// Correlative single-tone detector. Every output sample is the power of the correlation of the last N input
// samples with a cosine and a sine of ToneFrequency over the same N samples, (I^2 + Q^2) >> 45, smoothed by a
// low-pass at half the tone frequency. I and Q are exact 64-bit sums, so every kernel gives the same result.
#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define ORU_CORR_X86 1
#endif

#include "orurt.h"
#include "otherdsp_internal.h"

using namespace otherdsp;

namespace {

// Tables are zero-padded to a multiple of this, and the line has as many spare samples, so that vector kernels
// need no tail handling.
constexpr uint32_t kTableGroup = 8;
constexpr uint32_t kMinimumWindow = 4;
constexpr uint32_t kMaximumWindow = 1u << 22;

uint32_t paddedWindow(uint32_t n) { return (n + kTableGroup - 1) / kTableGroup * kTableGroup; }

int16_t power(int64_t i, int64_t q)
{
    const unsigned __int128 p = (unsigned __int128)((__int128)i * i) + (unsigned __int128)((__int128)q * q);
    const unsigned __int128 scaled = p >> 45;
    return int16_t(scaled > 32767 ? 32767 : uint32_t(scaled));
}

void plainKernel(OruToneDetectorCorr16 *t, int16_t *out, uint32_t count)
{
    const uint32_t n = t->WindowLength;
    for (uint32_t k = 0; k < count; ++k) {
        const int16_t *x = t->DelayLine + k;
        int64_t i = 0, q = 0;
        for (uint32_t j = 0; j < n; ++j) {
            i += int32_t(x[j]) * t->CosTable[j];
            q += int32_t(x[j]) * t->SinTable[j];
        }
        out[k] = power(i, q);
    }
}

#ifdef ORU_CORR_X86
// Adds the four 32-bit lanes of v, sign-extended, to the two 64-bit lanes of the accumulator.
__attribute__((target("sse2"))) inline __m128i widenAdd(__m128i accumulator, __m128i v)
{
    const __m128i sign = _mm_srai_epi32(v, 31);
    accumulator = _mm_add_epi64(accumulator, _mm_unpacklo_epi32(v, sign));
    return _mm_add_epi64(accumulator, _mm_unpackhi_epi32(v, sign));
}

__attribute__((target("sse2"))) inline int64_t lanesTotal(__m128i a)
{
    int64_t lanes[2];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(lanes), a);
    return lanes[0] + lanes[1];
}

// Pairs of 16 x 16-bit products summed in 32 bits cannot overflow: the table entries stay within +-32767.
__attribute__((target("sse2"))) void sse2Kernel(OruToneDetectorCorr16 *t, int16_t *out, uint32_t count)
{
    const uint32_t n = paddedWindow(t->WindowLength);
    for (uint32_t k = 0; k < count; ++k) {
        const int16_t *x = t->DelayLine + k;
        __m128i i = _mm_setzero_si128();
        __m128i q = _mm_setzero_si128();
        for (uint32_t j = 0; j < n; j += kTableGroup) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(x + j));
            i = widenAdd(i, _mm_madd_epi16(v, _mm_load_si128(reinterpret_cast<const __m128i *>(t->CosTable + j))));
            q = widenAdd(q, _mm_madd_epi16(v, _mm_load_si128(reinterpret_cast<const __m128i *>(t->SinTable + j))));
        }
        out[k] = power(lanesTotal(i), lanesTotal(q));
    }
}
#endif

OruToneDetectorCorrKernel selectKernel()
{
#ifdef ORU_CORR_X86
    if ((_CPU()->Features & ORU_FEATURE_SSE2) != 0)
        return sse2Kernel;
#endif
    return plainKernel;
}

// Lays out tables (padded window), line (N - 1 history, BufferSize new, spare) and work buffer for the current
// window and BufferSize, fills the tables and clears the history. Nothing changes when memory is short.
int32_t update(OruToneDetectorCorr16 *t)
{
    const double exact = std::nearbyint(double(t->ToneLength) * t->SamplingRate + 0.5);
    const uint32_t n = !(exact >= kMinimumWindow) ? kMinimumWindow
                       : exact > kMaximumWindow    ? kMaximumWindow
                                                   : uint32_t(exact);
    const uint32_t padded = paddedWindow(n);
    const uint64_t tableBytes = alignedArea(padded, sizeof(int16_t));
    const uint64_t lineBytes = alignedArea(uint64_t(n) - 1 + t->BufferSize + kTableGroup, sizeof(int16_t));
    const uint64_t workBytes = alignedArea(t->BufferSize, sizeof(int16_t));
    if (!reserveStorage(t->Storage, t->StorageSize, 2 * tableBytes + lineBytes + workBytes))
        return 0;
    auto *base = static_cast<uint8_t *>(t->Storage);
    t->WindowLength = n;
    t->CosTable = reinterpret_cast<int16_t *>(base);
    t->SinTable = reinterpret_cast<int16_t *>(base + tableBytes);
    t->DelayLine = reinterpret_cast<int16_t *>(base + 2 * tableBytes);
    t->DelayInput = t->DelayLine + (n - 1);
    t->WorkBuffer = reinterpret_cast<int16_t *>(base + 2 * tableBytes + lineBytes);
    std::memset(base, 0, size_t(2 * tableBytes + lineBytes));
    const double w = kTwoPi * double(t->ToneFrequency) / double(t->SamplingRate);
    for (uint32_t j = 0; j < n; ++j) {
        t->CosTable[j] = roundToInt16(32767.0 * std::cos(w * j));
        t->SinTable[j] = roundToInt16(32767.0 * std::sin(w * j));
    }
    OruFIR_SamplingRate(&t->Filter, t->SamplingRate);
    OruFIR_CutOffHigh(&t->Filter, t->ToneFrequency / 2.0f);
    OruFIR_BufferSize(&t->Filter, int32_t(t->BufferSize));
    return 1;
}

// The low-pass sums in 32 bits without saturation. The power entering it is capped so that its largest
// possible output, the cap meeting every positive tap, stays within int16.
int16_t powerCeiling(const OruFIR &filter)
{
    const auto *c = static_cast<const int16_t *>(filter.Coefficients);
    int64_t positive = 0;
    for (uint32_t j = 0; j < filter.TapsNum; ++j)
        positive += c[j] > 0 ? c[j] : 0;
    return positive <= 32768 ? int16_t(32767) : int16_t(32767 * 32768LL / positive);
}

void setAndUpdate(OruToneDetectorCorr16 *t, float &field, float value)
{
    if (field == value)
        return;
    const float old = field;
    field = value;
    if (t->UpdateRoutine(t) == 0)
        field = old;
}

} // namespace

OruToneDetectorCorr16 *OruToneDetectorCorr16_Construct(OruToneDetectorCorr16 *t)
{
    t = objectStorage(t);
    if (t == nullptr)
        return nullptr;
    t->Kernel = selectKernel();
    t->UpdateRoutine = update;
    t->WorkBuffer = t->CosTable = t->SinTable = t->DelayLine = t->DelayInput = nullptr;
    t->BufferSize = 512;
    t->SamplingRate = 22050.0f;
    t->ToneLength = 0.01f;
    t->ToneFrequency = 1000.0f;
    t->WindowLength = 0;
    OruFIR1616_Construct(&t->Filter);
    OruFIR_FIRType(&t->Filter, ORU_FIR_LOWPASS);
    t->Storage = nullptr;
    t->StorageSize = 0;
    t->UpdateRoutine(t);
    return t;
}

void OruToneDetectorCorr_Destruct(OruToneDetectorCorr16 *t, uint32_t flags)
{
    if (t == nullptr)
        return;
    OruFIR_Destruct(&t->Filter, 0);
    MemoryFree(t->Storage);
    t->Storage = nullptr;
    t->StorageSize = 0;
    if ((flags & 1) != 0)
        MemoryFree(t);
}

void OruToneDetectorCorr_BufferSize(OruToneDetectorCorr16 *t, int32_t samples)
{
    if (t == nullptr)
        return;
    const uint32_t size = uint32_t(samples < 1 ? 1 : samples);
    if (size == t->BufferSize)
        return;
    const uint32_t old = t->BufferSize;
    t->BufferSize = size;
    if (t->UpdateRoutine(t) == 0)
        t->BufferSize = old;
}

void OruToneDetectorCorr_SamplingRate(OruToneDetectorCorr16 *t, float hertz)
{
    if (t != nullptr)
        setAndUpdate(t, t->SamplingRate, hertz);
}

void OruToneDetectorCorr_ToneLength(OruToneDetectorCorr16 *t, float seconds)
{
    if (t != nullptr)
        setAndUpdate(t, t->ToneLength, seconds);
}

void OruToneDetectorCorr_ToneFrequency(OruToneDetectorCorr16 *t, float hertz)
{
    if (t != nullptr)
        setAndUpdate(t, t->ToneFrequency, hertz);
}

void OruToneDetectorCorr16_Process_16_16(OruToneDetectorCorr16 *t, const int16_t *in, int16_t *out, int32_t count,
                                         int32_t step)
{
    if (t == nullptr || t->Storage == nullptr || in == nullptr)
        return;
    int32_t n = stridedCount(count, step);
    const uint32_t history = t->WindowLength - 1;
    const int16_t ceiling = t->Filter.Storage != nullptr ? powerCeiling(t->Filter) : int16_t(32767);
    while (n > 0) {
        const uint32_t k = uint32_t(n) < t->BufferSize ? uint32_t(n) : t->BufferSize;
        for (uint32_t i = 0; i < k; ++i)
            t->DelayInput[i] = in[int64_t(i) * step];
        in += int64_t(k) * step;
        n -= int32_t(k);
        t->Kernel(t, t->WorkBuffer, k);
        for (uint32_t i = 0; i < k; ++i)
            t->WorkBuffer[i] = std::min(t->WorkBuffer[i], ceiling);
        std::memmove(t->DelayLine, t->DelayLine + k, size_t(history) * sizeof(int16_t));
        int16_t *y = out != nullptr ? out : t->WorkBuffer;
        OruFIR1616_Process_16_16(&t->Filter, y, t->WorkBuffer, int32_t(k), 1, 1);
        if (out != nullptr)
            out += k;
    }
}
