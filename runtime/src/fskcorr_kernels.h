// Kernels of the correlative FSK demodulator: the products of each sample with both tone oscillators, and the
// output samples from the four window sums. The sliding sums themselves are one serial chain per sum and stay
// in the driver (fskcorr.cpp).
//
// Sine and cosine come from one polynomial evaluation written once over lanes of doubles and instantiated with
// 1, 2 or 4 lanes: every kernel performs the same operations in the same order, each rounded to double, with no
// fused multiply-add, so all give the same bits. Its error is below one unit in the last place of a double, as
// good as the C library's. The driver leaves phases beyond kTrigLimit to the C library.
#ifndef ORURT_FSKCORR_KERNELS_H
#define ORURT_FSKCORR_KERNELS_H

#include <cmath>
#include <cstdint>
#include <cstring>

#include "cpu_variant.h"

#if ORU_VARIANT_X86
#include <immintrin.h>
#define ORU_FSK_X86 1
#endif

namespace orufsk {

using orurt::PickVariant;
using orurt::Variant;

// Largest phase the three-part reduction handles exactly (quotient below 2^20).
inline constexpr double kTrigLimit = 1.0e6;

inline constexpr double kTwoOverPi = 6.36619772367581382433e-01;
// Adding 1.5 * 2^52 rounds a double below 2^51 to an integer, ties to even; the integer sits in the low bits.
inline constexpr double kRoundMagic = 6755399441055744.0;
// pi/2 in three parts of 33 bits each, so that q times a part is exact.
inline constexpr double kPio2A = 1.57079632673412561417e+00;
inline constexpr double kPio2B = 6.07710050630396597660e-11;
inline constexpr double kPio2C = 2.02226624871116645580e-21;
// Minimax polynomials of sine and cosine on [-pi/4, pi/4].
inline constexpr double kS1 = -1.66666666666666324348e-01;
inline constexpr double kS2 = 8.33333333332248946124e-03;
inline constexpr double kS3 = -1.98412698298579493134e-04;
inline constexpr double kS4 = 2.75573137070700676789e-06;
inline constexpr double kS5 = -2.50507602534068634195e-08;
inline constexpr double kS6 = 1.58969099521155010221e-10;
inline constexpr double kC1 = 4.16666666666666019037e-02;
inline constexpr double kC2 = -1.38888888888741095749e-03;
inline constexpr double kC3 = 2.48015872894767294178e-05;
inline constexpr double kC4 = -2.75573143513906633035e-07;
inline constexpr double kC5 = 2.08757232129817482790e-09;
inline constexpr double kC6 = -1.13596475577881948265e-11;

// Samples travel through a chunk in blocks; the arrays have room for a whole number of 4-lane steps.
inline constexpr uint32_t kBlock = 64;

struct Block {
    double x[kBlock];
    double phase1[kBlock];
    double phase2[kBlock];
    double product[4][kBlock]; // x cos p1, x sin p1, x sin p2, x cos p2: the ring's order
    float sum[4][kBlock];      // the four window sums after each sample
};

using ProductKernel = void (*)(Block &block, uint32_t count);
using OutputKernel = void (*)(const Block &block, uint32_t count, double windowLength, int16_t *dst);

template <typename Lanes> struct IntLanesOf;
typedef double Double1 __attribute__((vector_size(8)));
typedef int64_t Int1 __attribute__((vector_size(8)));
typedef double Double2 __attribute__((vector_size(16)));
typedef int64_t Int2 __attribute__((vector_size(16)));
typedef double Double4 __attribute__((vector_size(32)));
typedef int64_t Int4 __attribute__((vector_size(32)));
template <> struct IntLanesOf<Double1> { using Type = Int1; };
template <> struct IntLanesOf<Double2> { using Type = Int2; };
template <> struct IntLanesOf<Double4> { using Type = Int4; };

template <typename D> [[gnu::always_inline]] inline void SinCos(const D &p, D &sine, D &cosine)
{
    using I = typename IntLanesOf<D>::Type;
    const D t = p * kTwoOverPi + kRoundMagic;
    const D q = t - kRoundMagic;
    const I quadrant = (I)t & 3;
    D r = p - q * kPio2A;
    r = r - q * kPio2B;
    r = r - q * kPio2C;
    const D z = r * r;
    const D s = r + (z * r) * (kS1 + z * (kS2 + z * (kS3 + z * (kS4 + z * (kS5 + z * kS6)))));
    const D hz = 0.5 * z;
    const D w = 1.0 - hz;
    const D c = w + (((1.0 - w) - hz) + z * (z * (kC1 + z * (kC2 + z * (kC3 + z * (kC4 + z * (kC5 + z * kC6)))))));
    // Quadrant n gives sin = s, c, -s, -c and cos = c, -s, -c, s: swap on odd n, then flip sign bits.
    const I swap = -(quadrant & 1);
    const I negateSine = (quadrant & 2) << 62;
    const I negateCosine = ((quadrant + 1) & 2) << 62;
    sine = (D)((((I)c & swap) | ((I)s & ~swap)) ^ negateSine);
    cosine = (D)((((I)s & swap) | ((I)c & ~swap)) ^ negateCosine);
}

// count is padded by the driver to a whole number of lanes.
template <typename D> [[gnu::always_inline]] inline void ProductsLanes(Block &block, uint32_t count)
{
    constexpr uint32_t lanes = sizeof(D) / sizeof(double);
    for (uint32_t i = 0; i < count; i += lanes) {
        D x, p1, p2, s1, c1, s2, c2;
        std::memcpy(&x, block.x + i, sizeof x);
        std::memcpy(&p1, block.phase1 + i, sizeof p1);
        std::memcpy(&p2, block.phase2 + i, sizeof p2);
        SinCos(p1, s1, c1);
        SinCos(p2, s2, c2);
        const D products[4] = {x * c1, x * s1, x * s2, x * c2};
        for (int k = 0; k < 4; ++k)
            std::memcpy(block.product[k] + i, &products[k], sizeof(D));
    }
}

// Products of samples whose phase the polynomial does not cover.
inline void ProductsLibrary(Block &block, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        const double x = block.x[i];
        block.product[0][i] = x * std::cos(block.phase1[i]);
        block.product[1][i] = x * std::sin(block.phase1[i]);
        block.product[2][i] = x * std::sin(block.phase2[i]);
        block.product[3][i] = x * std::cos(block.phase2[i]);
    }
}

inline void ProductsPortable(Block &block, uint32_t count) { ProductsLanes<Double1>(block, count); }

// (M1 - M2) / N with M the magnitude of a tone's sums, limited to the 16-bit range, then rounded to nearest,
// ties to even. The limits catch the one in-range result that does not fit, +32768, and any drift of the sums.
inline int16_t OutputSample(const Block &block, uint32_t i, double windowLength)
{
    const double s1c = block.sum[0][i], s1s = block.sum[1][i], s2s = block.sum[2][i], s2c = block.sum[3][i];
    const double m1 = std::sqrt(s1c * s1c + s1s * s1s);
    const double m2 = std::sqrt(s2s * s2s + s2c * s2c);
    double v = (m1 - m2) / windowLength;
    v = v > -32768.0 ? v : -32768.0;
    v = v < 32767.0 ? v : 32767.0;
    return int16_t((v + kRoundMagic) - kRoundMagic);
}

inline void OutputsPortable(const Block &block, uint32_t count, double windowLength, int16_t *dst)
{
    for (uint32_t i = 0; i < count; ++i)
        dst[i] = OutputSample(block, i, windowLength);
}

#if ORU_FSK_X86

__attribute__((target("sse2"))) inline void ProductsSse2(Block &block, uint32_t count)
{
    ProductsLanes<Double2>(block, count);
}

__attribute__((target("avx2"))) inline void ProductsAvx2(Block &block, uint32_t count)
{
    ProductsLanes<Double4>(block, count);
}

// The same steps as OutputSample on two samples at a time; the conversion rounds by the default mode,
// nearest with ties to even.
__attribute__((target("sse2"))) inline __m128i OutputsTwo(const Block &block, uint32_t i, __m128d n)
{
    auto load = [&](int k) { return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(
                                 reinterpret_cast<const __m128i *>(block.sum[k] + i)))); };
    const __m128d s1c = load(0), s1s = load(1), s2s = load(2), s2c = load(3);
    const __m128d m1 = _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(s1c, s1c), _mm_mul_pd(s1s, s1s)));
    const __m128d m2 = _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(s2s, s2s), _mm_mul_pd(s2c, s2c)));
    __m128d v = _mm_div_pd(_mm_sub_pd(m1, m2), n);
    v = _mm_max_pd(v, _mm_set1_pd(-32768.0));
    v = _mm_min_pd(v, _mm_set1_pd(32767.0));
    return _mm_cvtpd_epi32(v);
}

__attribute__((target("sse2"))) inline void OutputsSse2(const Block &block, uint32_t count, double windowLength,
                                                        int16_t *dst)
{
    const __m128d n = _mm_set1_pd(windowLength);
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i both = _mm_unpacklo_epi64(OutputsTwo(block, i, n), OutputsTwo(block, i + 2, n));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(dst + i), _mm_packs_epi32(both, both));
    }
    for (; i < count; ++i)
        dst[i] = OutputSample(block, i, windowLength);
}

__attribute__((target("avx2"))) inline void OutputsAvx2(const Block &block, uint32_t count, double windowLength,
                                                        int16_t *dst)
{
    const __m256d n = _mm256_set1_pd(windowLength);
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m128i four[2];
        for (int h = 0; h < 2; ++h) {
            const uint32_t at = i + 4 * h;
            const __m256d s1c = _mm256_cvtps_pd(_mm_loadu_ps(block.sum[0] + at));
            const __m256d s1s = _mm256_cvtps_pd(_mm_loadu_ps(block.sum[1] + at));
            const __m256d s2s = _mm256_cvtps_pd(_mm_loadu_ps(block.sum[2] + at));
            const __m256d s2c = _mm256_cvtps_pd(_mm_loadu_ps(block.sum[3] + at));
            const __m256d m1 = _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(s1c, s1c), _mm256_mul_pd(s1s, s1s)));
            const __m256d m2 = _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(s2s, s2s), _mm256_mul_pd(s2c, s2c)));
            __m256d v = _mm256_div_pd(_mm256_sub_pd(m1, m2), n);
            v = _mm256_max_pd(v, _mm256_set1_pd(-32768.0));
            v = _mm256_min_pd(v, _mm256_set1_pd(32767.0));
            four[h] = _mm256_cvtpd_epi32(v);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_packs_epi32(four[0], four[1]));
    }
    for (; i < count; ++i)
        dst[i] = OutputSample(block, i, windowLength);
}

#endif

} // namespace orufsk

#endif
