// The steps of the OruFFT family's real transform around the butterflies: loading the windowed block in
// bit-reversed order, and splitting the half-size complex transform into the real block's spectrum and power.
//
// The vector forms do each element's arithmetic with the operations and order of the portable form (no fused
// multiply-add: they are built for SSE2 and AVX2 alone), so every form gives the same bits.
#ifndef ORURT_FFT_GLUE_H
#define ORURT_FFT_GLUE_H

#include <cstddef>
#include <cstdint>

#include "cpu_variant.h"

#if ORU_VARIANT_X86
#include <immintrin.h>
#endif

namespace orufft {

// Pairs first .. half - 1 of the block go to their bit-reversed slots; samples past count are taken as 0.
template <typename Real, typename Sample>
inline void LoadRealPairs(Real *z, const uint32_t *reversal, const float *window, const Sample *x, uint32_t count,
                          uint32_t first, uint32_t half)
{
    for (uint32_t b = first; b < half; ++b) {
        const uint32_t i = 2 * b;
        Real *slot = z + 2 * size_t(reversal[b]);
        slot[0] = i < count ? Real(x[i]) * Real(window[i]) : Real(0);
        slot[1] = i + 1 < count ? Real(x[i + 1]) * Real(window[i + 1]) : Real(0);
    }
}

template <typename Real, typename Sample>
inline void LoadReal(Real *z, const uint32_t *reversal, const float *window, const Sample *x, uint32_t count,
                     uint32_t half)
{
    LoadRealPairs(z, reversal, window, x, count < 2 * half ? count : 2 * half, 0, half);
}

template <typename Real> inline void QuarterPower(const Real *re, const Real *im, Real *module, uint32_t half)
{
    for (uint32_t k = 0; k < half; ++k)
        module[k] = (re[k] * re[k] + im[k] * im[k]) * Real(0.25);
}

// Bins first .. half - 1 (first >= 1). Z[k] = E[k] + i O[k] holds the transforms of the even and odd samples;
// P - i W Q = 2 X[k].
template <typename Real>
inline void SplitBins(const Real *z, const float *twiddles, Real *re, Real *im, uint32_t first, uint32_t half)
{
    for (uint32_t k = first; k < half; ++k) {
        const uint32_t m = half - k;
        const Real pr = z[2 * k] + z[2 * m];
        const Real pi = z[2 * k + 1] - z[2 * m + 1];
        const Real qr = z[2 * k] - z[2 * m];
        const Real qi = z[2 * k + 1] + z[2 * m + 1];
        const Real wi = twiddles[2 * k];
        const Real wr = twiddles[2 * k + 1];
        re[k] = pr + (wr * qi + wi * qr);
        im[k] = pi - (wr * qr - wi * qi);
    }
}

// Bin 0 and the bins from first on, with their quarter powers.
template <typename Real>
inline void SplitTail(const Real *z, const float *twiddles, Real *re, Real *im, Real *module, uint32_t first,
                      uint32_t half)
{
    re[0] = z[0] + z[1];
    im[0] = 0;
    QuarterPower(re, im, module, 1);
    SplitBins(z, twiddles, re, im, first, half);
    QuarterPower(re + first, im + first, module + first, half - first);
}

template <typename Real>
inline void SplitPower(const Real *z, const float *twiddles, Real *re, Real *im, Real *module, uint32_t half)
{
    SplitTail(z, twiddles, re, im, module, 1, half);
}

#if ORU_VARIANT_X86

__attribute__((target("sse2"))) inline __m128 FourSamples(const int16_t *x)
{
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(x));
    return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
}

__attribute__((target("sse2"))) inline __m128 FourSamples(const int32_t *x)
{
    return _mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i *>(x)));
}

__attribute__((target("sse2"))) inline void StorePairs(float *z, const uint32_t *reversal, __m128 v)
{
    _mm_storel_pi(reinterpret_cast<__m64 *>(z + 2 * size_t(reversal[0])), v);
    _mm_storeh_pi(reinterpret_cast<__m64 *>(z + 2 * size_t(reversal[1])), v);
}

template <typename Sample>
__attribute__((target("sse2"))) inline void LoadRealSse2(float *z, const uint32_t *reversal, const float *window,
                                                         const Sample *x, uint32_t count, uint32_t half)
{
    if (count > 2 * half)
        count = 2 * half;
    uint32_t b = 0;
    for (; 2 * b + 4 <= count; b += 2)
        StorePairs(z, reversal + b, _mm_mul_ps(FourSamples(x + 2 * b), _mm_loadu_ps(window + 2 * b)));
    LoadRealPairs(z, reversal, window, x, count, b, half);
}

// Four complex values from two registers of two each: (re, im) of value j in lane j of each result.
__attribute__((target("sse2"))) inline void Deinterleave(__m128 low, __m128 high, __m128 &re, __m128 &im)
{
    re = _mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0));
    im = _mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1));
}

// Bins k .. k + 3 use z[k .. k + 3] and z[half - k .. half - k - 3]: the second run is read backwards.
__attribute__((target("sse2"))) inline void SplitPowerSse2(const float *z, const float *twiddles, float *re, float *im,
                                                           float *module, uint32_t half)
{
    const __m128 quarter = _mm_set1_ps(0.25f);
    uint32_t k = 1;
    for (; k + 4 <= half; k += 4) {
        __m128 kr, ki, wi, wr;
        Deinterleave(_mm_loadu_ps(z + 2 * k), _mm_loadu_ps(z + 2 * k + 4), kr, ki);
        Deinterleave(_mm_loadu_ps(twiddles + 2 * k), _mm_loadu_ps(twiddles + 2 * k + 4), wi, wr);
        const float *back = z + 2 * size_t(half - k - 3);
        const __m128 b0 = _mm_loadu_ps(back);
        const __m128 b1 = _mm_loadu_ps(back + 4);
        const __m128 mr = _mm_shuffle_ps(b1, b0, _MM_SHUFFLE(0, 2, 0, 2));
        const __m128 mi = _mm_shuffle_ps(b1, b0, _MM_SHUFFLE(1, 3, 1, 3));
        const __m128 pr = _mm_add_ps(kr, mr);
        const __m128 pi = _mm_sub_ps(ki, mi);
        const __m128 qr = _mm_sub_ps(kr, mr);
        const __m128 qi = _mm_add_ps(ki, mi);
        const __m128 r = _mm_add_ps(pr, _mm_add_ps(_mm_mul_ps(wr, qi), _mm_mul_ps(wi, qr)));
        const __m128 i = _mm_sub_ps(pi, _mm_sub_ps(_mm_mul_ps(wr, qr), _mm_mul_ps(wi, qi)));
        _mm_storeu_ps(re + k, r);
        _mm_storeu_ps(im + k, i);
        _mm_storeu_ps(module + k, _mm_mul_ps(_mm_add_ps(_mm_mul_ps(r, r), _mm_mul_ps(i, i)), quarter));
    }
    SplitTail(z, twiddles, re, im, module, k, half);
}

__attribute__((target("avx2"))) inline __m256 EightSamples(const int16_t *x)
{
    return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(x))));
}

__attribute__((target("avx2"))) inline __m256 EightSamples(const int32_t *x)
{
    return _mm256_cvtepi32_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(x)));
}

template <typename Sample>
__attribute__((target("avx2"))) inline void LoadRealAvx2(float *z, const uint32_t *reversal, const float *window,
                                                         const Sample *x, uint32_t count, uint32_t half)
{
    if (count > 2 * half)
        count = 2 * half;
    uint32_t b = 0;
    for (; 2 * b + 8 <= count; b += 4) {
        const __m256 v = _mm256_mul_ps(EightSamples(x + 2 * b), _mm256_loadu_ps(window + 2 * b));
        StorePairs(z, reversal + b, _mm256_castps256_ps128(v));
        StorePairs(z, reversal + b + 2, _mm256_extractf128_ps(v, 1));
    }
    LoadRealPairs(z, reversal, window, x, count, b, half);
}

// The order of 64-bit elements reversed: four complex values back to front.
__attribute__((target("avx2"))) inline __m256 Reversed(__m256 v)
{
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), _MM_SHUFFLE(0, 1, 2, 3)));
}

// Eight complex values from two registers of four each. Within its 128-bit half, a shuffle takes values 0, 1,
// 4, 5 | 2, 3, 6, 7; the arithmetic keeps that lane order and Ordered puts results back as 0 .. 7.
__attribute__((target("avx2"))) inline void Deinterleave(__m256 low, __m256 high, __m256 &re, __m256 &im)
{
    re = _mm256_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0));
    im = _mm256_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1));
}

__attribute__((target("avx2"))) inline __m256 Ordered(__m256 v)
{
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), _MM_SHUFFLE(3, 1, 2, 0)));
}

__attribute__((target("avx2"))) inline void SplitPowerAvx2(const float *z, const float *twiddles, float *re, float *im,
                                                           float *module, uint32_t half)
{
    const __m256 quarter = _mm256_set1_ps(0.25f);
    uint32_t k = 1;
    for (; k + 8 <= half; k += 8) {
        __m256 kr, ki, mr, mi, wi, wr;
        Deinterleave(_mm256_loadu_ps(z + 2 * k), _mm256_loadu_ps(z + 2 * k + 8), kr, ki);
        Deinterleave(_mm256_loadu_ps(twiddles + 2 * k), _mm256_loadu_ps(twiddles + 2 * k + 8), wi, wr);
        const float *back = z + 2 * size_t(half - k - 7);
        Deinterleave(Reversed(_mm256_loadu_ps(back + 8)), Reversed(_mm256_loadu_ps(back)), mr, mi);
        const __m256 pr = _mm256_add_ps(kr, mr);
        const __m256 pi = _mm256_sub_ps(ki, mi);
        const __m256 qr = _mm256_sub_ps(kr, mr);
        const __m256 qi = _mm256_add_ps(ki, mi);
        const __m256 r = _mm256_add_ps(pr, _mm256_add_ps(_mm256_mul_ps(wr, qi), _mm256_mul_ps(wi, qr)));
        const __m256 i = _mm256_sub_ps(pi, _mm256_sub_ps(_mm256_mul_ps(wr, qr), _mm256_mul_ps(wi, qi)));
        const __m256 power = _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(r, r), _mm256_mul_ps(i, i)), quarter);
        _mm256_storeu_ps(re + k, Ordered(r));
        _mm256_storeu_ps(im + k, Ordered(i));
        _mm256_storeu_ps(module + k, Ordered(power));
    }
    SplitTail(z, twiddles, re, im, module, k, half);
}

#endif

} // namespace orufft

#endif
