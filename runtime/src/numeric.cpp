// Integer helpers, exponentials and logarithms in extended precision, and the I/Q magnitude.
#include "orurt.h"

#include <climits>
#include <cmath>

#include "cpu_variant.h"

#if ORU_VARIANT_X86
#include <immintrin.h>
#endif

uint64_t Mul_UI32UI32_UI64(uint32_t a, uint32_t b) { return uint64_t(a) * b; }

uint64_t Div_UI64UI32_UI32(uint32_t low, uint32_t high, uint32_t divisor) {
    // A quotient that does not fit (or a zero divisor) gives all ones: remainder >= divisor marks it.
    if (divisor == 0 || high >= divisor) return UINT64_MAX;
    uint64_t dividend = (uint64_t(high) << 32) | low;
    uint64_t quotient = dividend / divisor;
    uint64_t remainder = dividend % divisor;
    return (remainder << 32) | quotient;
}

uint32_t OneBits_QWord(uint32_t low, uint32_t high) {
    return uint32_t(__builtin_popcount(low) + __builtin_popcount(high));
}

OruExtended Exp_Float(float x) { return expl(OruExtended(x)); }

OruExtended Exp_Double(double x) { return expl(OruExtended(x)); }

OruExtended Log10_F32_Fxx(float x) { return log10l(OruExtended(x)); }

int32_t Log10_F80_I32(OruExtended x) {
    OruExtended value = log10l(x);
    // Zero, negative and NaN inputs give the x87 "integer indefinite" value.
    if (std::isnan(value) || value == -HUGE_VALL) return INT32_MIN;
    if (value == HUGE_VALL) return INT32_MAX;
    OruExtended whole = floorl(value);
    OruExtended fraction = value - whole;
    int32_t result = int32_t(whole);
    if (fraction > 0.5L || (fraction == 0.5L && (result & 1) != 0)) ++result;
    return result;
}

namespace {

// Integer square root with a double estimate, then rounded: n + 1 when power > n * n + n.
void IQModulePortable(const int16_t *i, const int16_t *q, int16_t *out, uint32_t count)
{
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t power = uint32_t(int32_t(i[k]) * i[k]) + uint32_t(int32_t(q[k]) * q[k]);
        uint32_t root = uint32_t(std::sqrt(double(power)));
        while (uint64_t(root) * root > power)
            --root;
        while (uint64_t(root + 1) * (root + 1) <= power)
            ++root;
        if (power - root * root > root)
            ++root;
        out[k] = int16_t(root > 32767 ? 32767 : root);
    }
}

#if ORU_VARIANT_X86
// The vector forms give the same values as the portable one: "n + 1 when power > n * n + n" is sqrt(power)
// rounded to nearest, and for integer power <= 2^31 the correctly rounded double sqrt stays more than 1e-6 away
// from every n + 1/2, so truncating it plus 1/2 gives that rounding whatever the rounding mode. The power of
// (-32768, -32768), 2^31, wraps negative in the 32-bit sums and is taken as unsigned; results above 32767
// saturate in the pack to 16 bits.

// I and Q interleaved as (i, q) pairs: each 32-bit lane gets the power i * i + q * q less 2^31, which fits.
__attribute__((target("sse2"))) inline __m128i OffsetPowers(__m128i pairs)
{
    return _mm_xor_si128(_mm_madd_epi16(pairs, pairs), _mm_set1_epi32(INT_MIN));
}

// The rounded roots of the two low lanes of OffsetPowers.
__attribute__((target("sse2"))) inline __m128i RoundedRoots(__m128i offsetPowers)
{
    const __m128d power = _mm_add_pd(_mm_cvtepi32_pd(offsetPowers), _mm_set1_pd(2147483648.0));
    return _mm_cvttpd_epi32(_mm_add_pd(_mm_sqrt_pd(power), _mm_set1_pd(0.5)));
}

__attribute__((target("sse2"))) void IQModuleSse2(const int16_t *i, const int16_t *q, int16_t *out, uint32_t count)
{
    uint32_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m128i vi = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(i + k));
        const __m128i vq = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(q + k));
        const __m128i p = OffsetPowers(_mm_unpacklo_epi16(vi, vq));
        const __m128i roots = _mm_unpacklo_epi64(RoundedRoots(p), RoundedRoots(_mm_unpackhi_epi64(p, p)));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out + k), _mm_packs_epi32(roots, roots));
    }
    IQModulePortable(i + k, q + k, out + k, count - k);
}

__attribute__((target("avx2"))) inline __m128i RoundedRoots4(__m128i offsetPowers)
{
    const __m256d power = _mm256_add_pd(_mm256_cvtepi32_pd(offsetPowers), _mm256_set1_pd(2147483648.0));
    return _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_sqrt_pd(power), _mm256_set1_pd(0.5)));
}

__attribute__((target("avx2"))) void IQModuleAvx2(const int16_t *i, const int16_t *q, int16_t *out, uint32_t count)
{
    uint32_t k = 0;
    for (; k + 8 <= count; k += 8) {
        const __m128i vi = _mm_loadu_si128(reinterpret_cast<const __m128i *>(i + k));
        const __m128i vq = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + k));
        const __m128i low = RoundedRoots4(OffsetPowers(_mm_unpacklo_epi16(vi, vq)));
        const __m128i high = RoundedRoots4(OffsetPowers(_mm_unpackhi_epi16(vi, vq)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k), _mm_packs_epi32(low, high));
    }
    IQModuleSse2(i + k, q + k, out + k, count - k);
}
#endif

} // namespace

void ComputeIQModule_I16(const int16_t *i, const int16_t *q, int16_t *out, uint32_t count)
{
    if (i == nullptr || q == nullptr || out == nullptr)
        return;
#if ORU_VARIANT_X86
    switch (orurt::PickVariant()) {
    case orurt::Variant::Avx2:
        IQModuleAvx2(i, q, out, count);
        return;
    case orurt::Variant::Sse2:
        IQModuleSse2(i, q, out, count);
        return;
    default:
        break;
    }
#endif
    IQModulePortable(i, q, out, count);
}
