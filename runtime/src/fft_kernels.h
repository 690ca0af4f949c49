// Butterfly stages of the OruFFT family: an in-place radix-2 decimation-in-time FFT of `half` complex values
// (interleaved re, im) whose input is already in bit-reversed order. The twiddle table holds `half` pairs
// (sin, cos) of -2 pi k / (2 half); the butterfly of position j at span h uses entry j * half / h.
//
// Every kernel computes each butterfly as t = (br wr - bi wi, br wi + bi wr), a' = a + t, b' = a - t, with
// each product rounded before it is added. The vector kernels only do several butterflies at once, so all
// kernels give the same bits.
#ifndef ORURT_FFT_KERNELS_H
#define ORURT_FFT_KERNELS_H

#include <climits>
#include <cstdint>

#include "cpu_variant.h"

#if ORU_VARIANT_X86
#include <immintrin.h>
#define ORU_FFT_X86 1
#endif

namespace orufft {

using orurt::PickVariant;
using orurt::Variant;

template <typename Real> using StageKernel = void (*)(Real *z, const float *twiddles, uint32_t half);

template <typename Real> inline void Butterfly(Real *a, Real *b, Real wr, Real wi)
{
    const Real tr = b[0] * wr - b[1] * wi;
    const Real ti = b[0] * wi + b[1] * wr;
    const Real ar = a[0];
    const Real ai = a[1];
    a[0] = ar + tr;
    a[1] = ai + ti;
    b[0] = ar - tr;
    b[1] = ai - ti;
}

template <typename Real> inline void StagesPortable(Real *z, const float *twiddles, uint32_t half)
{
    for (uint32_t h = 1; h < half; h *= 2) {
        const uint32_t stride = half / h;
        for (uint32_t g = 0; g < half; g += 2 * h) {
            for (uint32_t j = 0; j < h; ++j) {
                const float *w = twiddles + 2 * size_t(j) * stride;
                Butterfly(z + 2 * size_t(g + j), z + 2 * size_t(g + j + h), Real(w[1]), Real(w[0]));
            }
        }
    }
}

#if ORU_FFT_X86

// b holds two complex values; w their twiddles as (sin, cos, sin, cos).
__attribute__((target("sse2"))) inline __m128 ComplexMul(__m128 b, __m128 w)
{
    const __m128 wr = _mm_shuffle_ps(w, w, _MM_SHUFFLE(3, 3, 1, 1));
    const __m128 wi = _mm_shuffle_ps(w, w, _MM_SHUFFLE(2, 2, 0, 0));
    const __m128 swapped = _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 3, 0, 1));
    // -(bi wi) added is exactly br wr - bi wi.
    const __m128 negateReal = _mm_castsi128_ps(_mm_set_epi32(0, INT_MIN, 0, INT_MIN));
    return _mm_add_ps(_mm_mul_ps(b, wr), _mm_xor_ps(_mm_mul_ps(swapped, wi), negateReal));
}

__attribute__((target("sse2"))) inline __m128 LoadTwiddles(const float *twiddles, size_t first, size_t second)
{
    const __m128 low = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64 *>(twiddles + 2 * first));
    return _mm_loadh_pi(low, reinterpret_cast<const __m64 *>(twiddles + 2 * second));
}

// Span 1: the butterflies (z0, z1) and (z2, z3) share one register pair. half >= 4.
__attribute__((target("sse2"))) inline void Span1Sse2(float *z, const float *twiddles, uint32_t half)
{
    const __m128 w = LoadTwiddles(twiddles, 0, 0);
    for (uint32_t g = 0; g < half; g += 4) {
        float *p = z + 2 * size_t(g);
        const __m128 r0 = _mm_loadu_ps(p);
        const __m128 r1 = _mm_loadu_ps(p + 4);
        const __m128 a = _mm_movelh_ps(r0, r1);
        const __m128 t = ComplexMul(_mm_movehl_ps(r1, r0), w);
        const __m128 sum = _mm_add_ps(a, t);
        const __m128 difference = _mm_sub_ps(a, t);
        _mm_storeu_ps(p, _mm_movelh_ps(sum, difference));
        _mm_storeu_ps(p + 4, _mm_movehl_ps(difference, sum));
    }
}

// Span h >= 2: positions j and j + 1 of a group side by side.
__attribute__((target("sse2"))) inline void SpanSse2(float *z, const float *twiddles, uint32_t half, uint32_t h)
{
    const size_t stride = half / h;
    for (uint32_t g = 0; g < half; g += 2 * h) {
        for (uint32_t j = 0; j < h; j += 2) {
            float *a = z + 2 * size_t(g + j);
            float *b = a + 2 * size_t(h);
            const __m128 w = LoadTwiddles(twiddles, j * stride, (j + 1) * stride);
            const __m128 va = _mm_loadu_ps(a);
            const __m128 t = ComplexMul(_mm_loadu_ps(b), w);
            _mm_storeu_ps(a, _mm_add_ps(va, t));
            _mm_storeu_ps(b, _mm_sub_ps(va, t));
        }
    }
}

__attribute__((target("sse2"))) inline void StagesSse2(float *z, const float *twiddles, uint32_t half)
{
    if (half < 4) {
        StagesPortable(z, twiddles, half);
        return;
    }
    Span1Sse2(z, twiddles, half);
    for (uint32_t h = 2; h < half; h *= 2)
        SpanSse2(z, twiddles, half, h);
}

__attribute__((target("avx2"))) inline __m256 ComplexMul(__m256 b, __m256 w)
{
    const __m256 wr = _mm256_shuffle_ps(w, w, _MM_SHUFFLE(3, 3, 1, 1));
    const __m256 wi = _mm256_shuffle_ps(w, w, _MM_SHUFFLE(2, 2, 0, 0));
    const __m256 swapped = _mm256_shuffle_ps(b, b, _MM_SHUFFLE(2, 3, 0, 1));
    const __m256 negateReal = _mm256_castsi256_ps(_mm256_set_epi32(0, INT_MIN, 0, INT_MIN, 0, INT_MIN, 0, INT_MIN));
    return _mm256_add_ps(_mm256_mul_ps(b, wr), _mm256_xor_ps(_mm256_mul_ps(swapped, wi), negateReal));
}

// Span h >= 4: positions j .. j + 3 of a group side by side.
__attribute__((target("avx2"))) inline void SpanAvx2(float *z, const float *twiddles, uint32_t half, uint32_t h)
{
    const size_t stride = half / h;
    for (uint32_t g = 0; g < half; g += 2 * h) {
        for (uint32_t j = 0; j < h; j += 4) {
            float *a = z + 2 * size_t(g + j);
            float *b = a + 2 * size_t(h);
            const __m128 w01 = LoadTwiddles(twiddles, j * stride, (j + 1) * stride);
            const __m128 w23 = LoadTwiddles(twiddles, (j + 2) * stride, (j + 3) * stride);
            const __m256 w = _mm256_insertf128_ps(_mm256_castps128_ps256(w01), w23, 1);
            const __m256 va = _mm256_loadu_ps(a);
            const __m256 t = ComplexMul(_mm256_loadu_ps(b), w);
            _mm256_storeu_ps(a, _mm256_add_ps(va, t));
            _mm256_storeu_ps(b, _mm256_sub_ps(va, t));
        }
    }
}

__attribute__((target("avx2"))) inline void StagesAvx2(float *z, const float *twiddles, uint32_t half)
{
    if (half < 8) {
        StagesSse2(z, twiddles, half);
        return;
    }
    Span1Sse2(z, twiddles, half);
    SpanSse2(z, twiddles, half, 2);
    for (uint32_t h = 4; h < half; h *= 2)
        SpanAvx2(z, twiddles, half, h);
}

#endif

} // namespace orufft

#endif
