// Inner products of the resampler's polyphase core: one portable kernel and vector kernels that give the same
// bits. The signed 32 x 32-bit products are summed modulo 2^64, so the order of the additions does not change
// the result. Windows start at any sample and phase rows are H + 1 taps long, so neither is aligned, and
// neither may be read past its end: the vector kernels finish the last taps one at a time. The split kernels for
// 16-bit input are the exception: they run over rows padded with zero taps, made when the taps are set.
// They live in a header so that the tests can run every kernel on the same data.
#ifndef ORURT_RESAMPLER_KERNELS_H
#define ORURT_RESAMPLER_KERNELS_H

#include <cstdint>

#include "cpu_variant.h"

#if ORU_VARIANT_X86
#include <immintrin.h>
#define ORU_RESAMPLER_X86 1
#endif

namespace orures {

using orurt::PickVariant;
using orurt::Variant;

using DotKernel = int64_t (*)(const int32_t *d, const int32_t *c, uint32_t n);

inline uint64_t DotTail(uint64_t acc, const int32_t *d, const int32_t *c, uint32_t from, uint32_t n)
{
    for (uint32_t j = from; j < n; ++j)
        acc += uint64_t(int64_t(d[j]) * c[j]);
    return acc;
}

inline int64_t DotPortable(const int32_t *d, const int32_t *c, uint32_t n) { return int64_t(DotTail(0, d, c, 0, n)); }

#if ORU_RESAMPLER_X86

// SSE2 only multiplies unsigned lanes. With a = ua - 2^32 [a < 0], the signed product is
// ua ub - 2^32 ([a < 0] ub + [b < 0] ua) modulo 2^64, so the correction is only needed modulo 2^32.
__attribute__((target("sse2"))) inline int64_t DotSse2(const int32_t *d, const int32_t *c, uint32_t n)
{
    __m128i even = _mm_setzero_si128(), odd = even, fix = even;
    uint32_t j = 0;
    for (; j + 4 <= n; j += 4) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + j));
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c + j));
        even = _mm_add_epi64(even, _mm_mul_epu32(x, t));
        odd = _mm_add_epi64(odd, _mm_mul_epu32(_mm_srli_epi64(x, 32), _mm_srli_epi64(t, 32)));
        fix = _mm_add_epi32(fix, _mm_add_epi32(_mm_and_si128(_mm_srai_epi32(x, 31), t),
                                               _mm_and_si128(_mm_srai_epi32(t, 31), x)));
    }
    alignas(16) uint64_t sums[2];
    alignas(16) uint32_t fixes[4];
    _mm_store_si128(reinterpret_cast<__m128i *>(sums), _mm_add_epi64(even, odd));
    _mm_store_si128(reinterpret_cast<__m128i *>(fixes), fix);
    const uint32_t correction = fixes[0] + fixes[1] + fixes[2] + fixes[3];
    return int64_t(DotTail(sums[0] + sums[1] - (uint64_t(correction) << 32), d, c, j, n));
}

// Signed 32 x 32 -> 64-bit products of eight taps: even lanes directly, odd lanes shifted down.
__attribute__((target("avx2"))) inline __m256i Products8(__m256i x, __m256i t)
{
    return _mm256_add_epi64(_mm256_mul_epi32(x, t),
                            _mm256_mul_epi32(_mm256_srli_epi64(x, 32), _mm256_srli_epi64(t, 32)));
}

__attribute__((target("avx2"))) inline int64_t DotAvx2(const int32_t *d, const int32_t *c, uint32_t n)
{
    // Two sums, so that consecutive additions do not wait for each other.
    __m256i a0 = _mm256_setzero_si256(), a1 = a0;
    uint32_t j = 0;
    for (; j + 16 <= n; j += 16) {
        a0 = _mm256_add_epi64(a0, Products8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + j)),
                                            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(c + j))));
        a1 = _mm256_add_epi64(a1, Products8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + j + 8)),
                                            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(c + j + 8))));
    }
    if (j + 8 <= n) {
        a0 = _mm256_add_epi64(a0, Products8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + j)),
                                            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(c + j))));
        j += 8;
    }
    __m128i sum = _mm_add_epi64(_mm256_castsi256_si128(a0), _mm256_extracti128_si256(a0, 1));
    sum = _mm_add_epi64(sum, _mm_add_epi64(_mm256_castsi256_si128(a1), _mm256_extracti128_si256(a1, 1)));
    if (j + 4 <= n) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + j));
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c + j));
        sum = _mm_add_epi64(sum, _mm_add_epi64(_mm_mul_epi32(x, t),
                                               _mm_mul_epi32(_mm_srli_epi64(x, 32), _mm_srli_epi64(t, 32))));
        j += 4;
    }
    alignas(16) uint64_t sums[2];
    _mm_store_si128(reinterpret_cast<__m128i *>(sums), sum);
    return int64_t(DotTail(sums[0] + sums[1], d, c, j, n));
}

#endif

// Samples of 16-bit input are x * 65536. With each tap split into signed 16-bit halves c = ch * 65536 + cl,
// d c = 2^32 x ch + 2^16 x cl, so the sum needs the x ch products only modulo 2^32 and may wrap in 32-bit lanes.
// A pair x cl + x' cl' from one madd is exact in 32 bits unless both cl are -32768 (SplitRow refuses such
// rows); its high half is again needed only modulo 2^32, and its low 16 bits are summed exactly.
constexpr uint32_t kSplitBlock = 16;
// The low sums of a lane stay below 2^32 for up to 65537 vectors of 8 taps.
constexpr uint32_t kSplitMaxTaps = 65536 * 8;

// x, hi and lo are read up to SplitLength(n), and hi and lo are zero from n on.
using SplitKernel = int64_t (*)(const int16_t *x, const int16_t *hi, const int16_t *lo, uint32_t n);

inline uint32_t SplitLength(uint32_t n) { return (n + kSplitBlock - 1) / kSplitBlock * kSplitBlock; }

// Writes SplitLength(n) halves to hi and lo; false where the split kernels would not give the exact sum.
inline bool SplitRow(const int32_t *c, uint32_t n, int16_t *hi, int16_t *lo)
{
    bool exact = n <= kSplitMaxTaps;
    for (uint32_t j = 0; j < SplitLength(n); ++j) {
        const int32_t tap = j < n ? c[j] : 0;
        const int16_t low = int16_t(uint16_t(uint32_t(tap)));
        const int64_t high = (int64_t(tap) - low) / 65536;
        exact = exact && high <= INT16_MAX && !(j % 2 && low == INT16_MIN && lo[j - 1] == INT16_MIN);
        hi[j] = int16_t(high);
        lo[j] = low;
    }
    return exact;
}

#if ORU_RESAMPLER_X86

// The high halves of count samples into x; false where a sample has any of its low 16 bits set.
__attribute__((target("sse2"))) inline bool Narrow(const int32_t *d, int16_t *x, uint32_t count)
{
    const __m128i lowBits = _mm_set1_epi32(0xFFFF);
    __m128i stray = _mm_setzero_si128();
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i + 4));
        stray = _mm_or_si128(stray, _mm_and_si128(_mm_or_si128(a, b), lowBits));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(x + i),
                         _mm_packs_epi32(_mm_srai_epi32(a, 16), _mm_srai_epi32(b, 16)));
    }
    int32_t left = 0;
    for (; i < count; ++i) {
        left |= d[i] & 0xFFFF;
        x[i] = int16_t(d[i] >> 16);
    }
    return left == 0 && _mm_movemask_epi8(_mm_cmpeq_epi32(stray, _mm_setzero_si128())) == 0xFFFF;
}

// 2^32 high + 2^16 low over the 64-bit lanes, high summed modulo 2^32 and low taken as unsigned.
__attribute__((target("sse2"))) inline __m128i Combine(__m128i high, __m128i low)
{
    const __m128i upper = _mm_and_si128(high, _mm_set_epi32(-1, 0, -1, 0));
    const __m128i widened = _mm_add_epi64(_mm_and_si128(low, _mm_set_epi32(0, -1, 0, -1)), _mm_srli_epi64(low, 32));
    return _mm_add_epi64(_mm_add_epi64(_mm_slli_epi64(high, 32), upper), _mm_slli_epi64(widened, 16));
}

__attribute__((target("sse2"))) inline int64_t SumLanes(__m128i sum)
{
    alignas(16) uint64_t sums[2];
    _mm_store_si128(reinterpret_cast<__m128i *>(sums), sum);
    return int64_t(sums[0] + sums[1]);
}

__attribute__((target("sse2"))) inline int64_t DotSplitSse2(const int16_t *x, const int16_t *hi, const int16_t *lo,
                                                            uint32_t n)
{
    const __m128i lowBits = _mm_set1_epi32(0xFFFF);
    __m128i high = _mm_setzero_si128(), low = high;
    for (uint32_t j = 0; j < n; j += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(x + j));
        const __m128i pairs = _mm_madd_epi16(v, _mm_loadu_si128(reinterpret_cast<const __m128i *>(lo + j)));
        high = _mm_add_epi32(high, _mm_madd_epi16(v, _mm_loadu_si128(reinterpret_cast<const __m128i *>(hi + j))));
        high = _mm_add_epi32(high, _mm_srai_epi32(pairs, 16));
        low = _mm_add_epi32(low, _mm_and_si128(pairs, lowBits));
    }
    return SumLanes(Combine(high, low));
}

__attribute__((target("avx2"))) inline int64_t DotSplitAvx2(const int16_t *x, const int16_t *hi, const int16_t *lo,
                                                            uint32_t n)
{
    const __m256i lowBits = _mm256_set1_epi32(0xFFFF);
    __m256i high = _mm256_setzero_si256(), low = high;
    for (uint32_t j = 0; j < n; j += 16) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(x + j));
        const __m256i pairs = _mm256_madd_epi16(v, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lo + j)));
        high = _mm256_add_epi32(high,
                                _mm256_madd_epi16(v, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(hi + j))));
        high = _mm256_add_epi32(high, _mm256_srai_epi32(pairs, 16));
        low = _mm256_add_epi32(low, _mm256_and_si256(pairs, lowBits));
    }
    return SumLanes(_mm_add_epi64(Combine(_mm256_castsi256_si128(high), _mm256_castsi256_si128(low)),
                                  Combine(_mm256_extracti128_si256(high, 1), _mm256_extracti128_si256(low, 1))));
}

#endif

// The kernel of a variant; the portable one where the build has no such variant.
inline DotKernel KernelOf(Variant variant)
{
    switch (variant) {
#if ORU_RESAMPLER_X86
    case Variant::Avx2:
        return DotAvx2;
    case Variant::Sse2:
        return DotSse2;
#endif
    default:
        return DotPortable;
    }
}

// The split kernel of a variant; none for the portable one.
inline SplitKernel SplitKernelOf(Variant variant)
{
    switch (variant) {
#if ORU_RESAMPLER_X86
    case Variant::Avx2:
        return DotSplitAvx2;
    case Variant::Sse2:
        return DotSplitSse2;
#endif
    default:
        return nullptr;
    }
}

} // namespace orures

#endif
