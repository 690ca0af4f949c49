// Inner products of the resampler's polyphase core: one portable kernel and vector kernels that give the same
// bits. The signed 32 x 32-bit products are summed modulo 2^64, so the order of the additions does not change
// the result. Windows start at any sample and phase rows are H + 1 taps long, so neither is aligned, and
// neither may be read past its end: the vector kernels finish the last taps one at a time.
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

} // namespace orures

#endif
