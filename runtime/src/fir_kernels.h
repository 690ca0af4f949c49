// Filtering kernels of the OruFIR family: one portable kernel per width and vector variants that give the same
// bits. They live in a header so that the tests can run every variant on the same object side by side.
//
// A kernel filters `count` samples that already sit at DelayInput, writes count/decimation outputs (to the
// object's OutputBuffer when out is null) and then moves the history to the start of the delay line. Sums of the
// 16-bit kernels wrap in 32 bits and those of the 32-bit kernel in 64 bits, so the order of the additions does
// not change the result: that is what lets the vector kernels match the portable ones exactly.
#ifndef ORURT_FIR_KERNELS_H
#define ORURT_FIR_KERNELS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "orurt.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORU_FIR_X86 1
#endif

namespace orufir {

using Kernel = void (*)(OruFIR *fir, void *out, int32_t count, int32_t decimation);

// Coefficient arrays are zero-padded to a multiple of these many taps, so vector loops need no tail.
inline constexpr uint32_t kTapGroup16 = 32;
inline constexpr uint32_t kTapGroup32 = 16;
// The vector kernels read up to this many samples past the last window; the delay line has room for them.
inline constexpr uint32_t kSpareSamples = 16;

inline uint32_t PaddedTaps(uint32_t taps, uint32_t group) { return (taps + group - 1) / group * group; }

struct Chunk {
    uint32_t count;
    uint32_t decimation;
    uint32_t outputs;
};

// The kernel field can be called directly, so it never trusts its arguments beyond the delay line's size.
inline Chunk ClampChunk(const OruFIR *fir, int32_t count, int32_t decimation)
{
    const uint32_t n = count < 0 ? 0u : std::min(uint32_t(count), fir->BufferSize);
    const uint32_t d = decimation < 1 ? 1u : uint32_t(decimation);
    return {n, d, n / d};
}

template <typename Sample> inline void KeepHistory(OruFIR *fir, const Chunk &chunk)
{
    auto *x = static_cast<Sample *>(fir->DelayLine);
    std::memmove(x, x + size_t(chunk.outputs) * chunk.decimation, size_t(fir->TapsNum - 1) * sizeof(Sample));
}

// Output scaling of each width.
struct Out1616 {
    using Type = int16_t;
    static int16_t Scale(uint32_t sum) { return int16_t(int32_t(sum) >> 15); }
};
struct Out1632 {
    using Type = int32_t;
    static int32_t Scale(uint32_t sum) { return int32_t(sum << 1); }
};
inline int32_t Scale3232(uint64_t sum) { return int32_t(uint32_t(sum >> 31)); }

template <typename Out> void Portable16(OruFIR *fir, void *out, int32_t count, int32_t decimation)
{
    const Chunk chunk = ClampChunk(fir, count, decimation);
    const auto *c = static_cast<const int16_t *>(fir->Coefficients);
    const auto *x = static_cast<const int16_t *>(fir->DelayLine);
    auto *y = static_cast<typename Out::Type *>(out ? out : fir->OutputBuffer);
    const uint32_t taps = fir->TapsNum;
    for (uint32_t i = 0; i < chunk.outputs; ++i) {
        const int16_t *window = x + size_t(i) * chunk.decimation;
        uint32_t sum = 0;
        for (uint32_t j = 0; j < taps; ++j)
            sum += uint32_t(int32_t(c[j]) * int32_t(window[j]));
        y[i] = Out::Scale(sum);
    }
    KeepHistory<int16_t>(fir, chunk);
}

inline void Portable3232(OruFIR *fir, void *out, int32_t count, int32_t decimation)
{
    const Chunk chunk = ClampChunk(fir, count, decimation);
    const auto *c = static_cast<const int32_t *>(fir->Coefficients);
    const auto *x = static_cast<const int32_t *>(fir->DelayLine);
    auto *y = static_cast<int32_t *>(out ? out : fir->OutputBuffer);
    const uint32_t taps = fir->TapsNum;
    for (uint32_t i = 0; i < chunk.outputs; ++i) {
        const int32_t *window = x + size_t(i) * chunk.decimation;
        uint64_t sum = 0;
        for (uint32_t j = 0; j < taps; ++j)
            sum += uint64_t(int64_t(c[j]) * int64_t(window[j]));
        y[i] = Scale3232(sum);
    }
    KeepHistory<int32_t>(fir, chunk);
}

#ifdef ORU_FIR_X86

// Taps are 64-byte aligned; windows start at any sample.
__attribute__((target("sse2"))) inline __m128i Aligned128(const void *p)
{
    return _mm_load_si128(static_cast<const __m128i *>(p));
}
__attribute__((target("sse2"))) inline __m128i Unaligned128(const void *p)
{
    return _mm_loadu_si128(static_cast<const __m128i *>(p));
}
__attribute__((target("avx2"))) inline __m256i Aligned256(const void *p)
{
    return _mm256_load_si256(static_cast<const __m256i *>(p));
}
__attribute__((target("avx2"))) inline __m256i Unaligned256(const void *p)
{
    return _mm256_loadu_si256(static_cast<const __m256i *>(p));
}

// Four lanes of 32-bit sums, one vector per output, folded into one vector of four totals.
__attribute__((target("sse2"))) inline __m128i Totals4(__m128i a0, __m128i a1, __m128i a2, __m128i a3)
{
    const __m128i t0 = _mm_add_epi32(_mm_unpacklo_epi32(a0, a1), _mm_unpackhi_epi32(a0, a1));
    const __m128i t1 = _mm_add_epi32(_mm_unpacklo_epi32(a2, a3), _mm_unpackhi_epi32(a2, a3));
    return _mm_add_epi32(_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1));
}

__attribute__((target("sse2"))) inline uint32_t Total(__m128i a)
{
    a = _mm_add_epi32(a, _mm_shuffle_epi32(a, _MM_SHUFFLE(1, 0, 3, 2)));
    a = _mm_add_epi32(a, _mm_shuffle_epi32(a, _MM_SHUFFLE(2, 3, 0, 1)));
    return uint32_t(_mm_cvtsi128_si32(a));
}

template <typename Out>
__attribute__((target("sse2"))) inline void Store4(typename Out::Type *y, __m128i totals)
{
    alignas(16) uint32_t sums[4];
    _mm_store_si128(reinterpret_cast<__m128i *>(sums), totals);
    for (int k = 0; k < 4; ++k)
        y[k] = Out::Scale(sums[k]);
}

template <typename Out> __attribute__((target("sse2"))) void Sse2Kernel16(OruFIR *fir, void *out, int32_t count,
                                                                          int32_t decimation)
{
    const Chunk chunk = ClampChunk(fir, count, decimation);
    const auto *c = static_cast<const int16_t *>(fir->Coefficients);
    const auto *x = static_cast<const int16_t *>(fir->DelayLine);
    auto *y = static_cast<typename Out::Type *>(out ? out : fir->OutputBuffer);
    const uint32_t vectors = PaddedTaps(fir->TapsNum, 8) / 8;
    const size_t d = chunk.decimation;
    uint32_t i = 0;
    for (; i + 4 <= chunk.outputs; i += 4) {
        const int16_t *w0 = x + i * d, *w1 = w0 + d, *w2 = w1 + d, *w3 = w2 + d;
        __m128i a0 = _mm_setzero_si128(), a1 = a0, a2 = a0, a3 = a0;
        for (uint32_t v = 0; v < vectors; ++v) {
            const __m128i t = Aligned128(c + 8 * v);
            a0 = _mm_add_epi32(a0, _mm_madd_epi16(Unaligned128(w0 + 8 * v), t));
            a1 = _mm_add_epi32(a1, _mm_madd_epi16(Unaligned128(w1 + 8 * v), t));
            a2 = _mm_add_epi32(a2, _mm_madd_epi16(Unaligned128(w2 + 8 * v), t));
            a3 = _mm_add_epi32(a3, _mm_madd_epi16(Unaligned128(w3 + 8 * v), t));
        }
        Store4<Out>(y + i, Totals4(a0, a1, a2, a3));
    }
    for (; i < chunk.outputs; ++i) {
        const int16_t *w = x + i * d;
        __m128i a = _mm_setzero_si128();
        for (uint32_t v = 0; v < vectors; ++v)
            a = _mm_add_epi32(a, _mm_madd_epi16(Unaligned128(w + 8 * v), Aligned128(c + 8 * v)));
        y[i] = Out::Scale(Total(a));
    }
    KeepHistory<int16_t>(fir, chunk);
}

__attribute__((target("avx2"))) inline __m128i Fold(__m256i a)
{
    return _mm_add_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
}

template <typename Out> __attribute__((target("avx2"))) void Avx2Kernel16(OruFIR *fir, void *out, int32_t count,
                                                                          int32_t decimation)
{
    const Chunk chunk = ClampChunk(fir, count, decimation);
    const auto *c = static_cast<const int16_t *>(fir->Coefficients);
    const auto *x = static_cast<const int16_t *>(fir->DelayLine);
    auto *y = static_cast<typename Out::Type *>(out ? out : fir->OutputBuffer);
    const uint32_t vectors = PaddedTaps(fir->TapsNum, 16) / 16;
    const size_t d = chunk.decimation;
    uint32_t i = 0;
    for (; i + 4 <= chunk.outputs; i += 4) {
        const int16_t *w0 = x + i * d, *w1 = w0 + d, *w2 = w1 + d, *w3 = w2 + d;
        __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
        for (uint32_t v = 0; v < vectors; ++v) {
            const __m256i t = Aligned256(c + 16 * v);
            a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(Unaligned256(w0 + 16 * v), t));
            a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(Unaligned256(w1 + 16 * v), t));
            a2 = _mm256_add_epi32(a2, _mm256_madd_epi16(Unaligned256(w2 + 16 * v), t));
            a3 = _mm256_add_epi32(a3, _mm256_madd_epi16(Unaligned256(w3 + 16 * v), t));
        }
        Store4<Out>(y + i, Totals4(Fold(a0), Fold(a1), Fold(a2), Fold(a3)));
    }
    for (; i < chunk.outputs; ++i) {
        const int16_t *w = x + i * d;
        __m256i a = _mm256_setzero_si256();
        for (uint32_t v = 0; v < vectors; ++v)
            a = _mm256_add_epi32(a, _mm256_madd_epi16(Unaligned256(w + 16 * v), Aligned256(c + 16 * v)));
        y[i] = Out::Scale(Total(Fold(a)));
    }
    KeepHistory<int16_t>(fir, chunk);
}

// Signed 32 x 32 -> 64-bit products of one window slice: even lanes directly, odd lanes shifted down.
__attribute__((target("avx2"))) inline __m256i Products32(__m256i samples, __m256i taps, __m256i oddTaps)
{
    return _mm256_add_epi64(_mm256_mul_epi32(samples, taps),
                            _mm256_mul_epi32(_mm256_srli_epi64(samples, 32), oddTaps));
}

__attribute__((target("avx2"))) inline uint64_t Total64(__m256i a)
{
    alignas(32) uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i *>(lanes), a);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

__attribute__((target("avx2"))) inline void Avx2Kernel3232(OruFIR *fir, void *out, int32_t count, int32_t decimation)
{
    const Chunk chunk = ClampChunk(fir, count, decimation);
    const auto *c = static_cast<const int32_t *>(fir->Coefficients);
    const auto *x = static_cast<const int32_t *>(fir->DelayLine);
    auto *y = static_cast<int32_t *>(out ? out : fir->OutputBuffer);
    const uint32_t vectors = PaddedTaps(fir->TapsNum, 8) / 8;
    const size_t d = chunk.decimation;
    uint32_t i = 0;
    for (; i + 4 <= chunk.outputs; i += 4) {
        const int32_t *w0 = x + i * d, *w1 = w0 + d, *w2 = w1 + d, *w3 = w2 + d;
        __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
        for (uint32_t v = 0; v < vectors; ++v) {
            const __m256i t = Aligned256(c + 8 * v), odd = _mm256_srli_epi64(t, 32);
            a0 = _mm256_add_epi64(a0, Products32(Unaligned256(w0 + 8 * v), t, odd));
            a1 = _mm256_add_epi64(a1, Products32(Unaligned256(w1 + 8 * v), t, odd));
            a2 = _mm256_add_epi64(a2, Products32(Unaligned256(w2 + 8 * v), t, odd));
            a3 = _mm256_add_epi64(a3, Products32(Unaligned256(w3 + 8 * v), t, odd));
        }
        y[i] = Scale3232(Total64(a0));
        y[i + 1] = Scale3232(Total64(a1));
        y[i + 2] = Scale3232(Total64(a2));
        y[i + 3] = Scale3232(Total64(a3));
    }
    for (; i < chunk.outputs; ++i) {
        const int32_t *w = x + i * d;
        __m256i a = _mm256_setzero_si256();
        for (uint32_t v = 0; v < vectors; ++v) {
            const __m256i t = Aligned256(c + 8 * v);
            a = _mm256_add_epi64(a, Products32(Unaligned256(w + 8 * v), t, _mm256_srli_epi64(t, 32)));
        }
        y[i] = Scale3232(Total64(a));
    }
    KeepHistory<int32_t>(fir, chunk);
}

#endif

enum class Width { W1616, W1632, W3232 };
enum class Variant { Portable, Sse2, Avx2 };
inline constexpr Variant kVariants[] = {Variant::Portable, Variant::Sse2, Variant::Avx2};

inline const char *VariantName(Variant variant)
{
    switch (variant) {
    case Variant::Sse2:
        return "SSE2";
    case Variant::Avx2:
        return "AVX2";
    default:
        return "portable";
    }
}

// Whether this processor can run the variant.
inline bool Available(Variant variant)
{
#ifdef ORU_FIR_X86
    switch (variant) {
    case Variant::Sse2:
        return (_CPU()->Features & ORU_FEATURE_SSE2) != 0;
    case Variant::Avx2:
        return __builtin_cpu_supports("avx2");
    default:
        return true;
    }
#else
    return variant == Variant::Portable;
#endif
}

// The kernel of one width in one variant; null when the width has no such variant.
inline Kernel KernelOf(Width width, Variant variant)
{
    switch (variant) {
#ifdef ORU_FIR_X86
    case Variant::Sse2:
        return width == Width::W1616 ? Sse2Kernel16<Out1616> : width == Width::W1632 ? Sse2Kernel16<Out1632> : nullptr;
    case Variant::Avx2:
        return width == Width::W1616   ? Avx2Kernel16<Out1616>
               : width == Width::W1632 ? Avx2Kernel16<Out1632>
                                       : Avx2Kernel3232;
#endif
    default:
        return width == Width::W1616 ? Portable16<Out1616> : width == Width::W1632 ? Portable16<Out1632> : Portable3232;
    }
}

// The fastest kernel this processor runs for the width.
inline Kernel SelectKernel(Width width)
{
    for (Variant variant : {Variant::Avx2, Variant::Sse2}) {
        if (Available(variant) && KernelOf(width, variant))
            return KernelOf(width, variant);
    }
    return KernelOf(width, Variant::Portable);
}

} // namespace orufir

#endif
