// Which processor-specific kernels an object gets at construction (the FFT, the correlative demodulator and the
// resampler).
#ifndef ORURT_CPU_VARIANT_H
#define ORURT_CPU_VARIANT_H

#include <cstdint>

#include "orurt.h"

#if defined(__x86_64__) || defined(__i386__)
#define ORU_VARIANT_X86 1
#endif

namespace orurt {

enum class Variant { Portable, Sse2, Avx2 };

// Read from the library's processor record, so that editing the record steers the choice: SSE2 needs feature
// bit 26; AVX2 also needs the AVX bit of Features2 (CPUID leaf 1 ECX bit 28) and AVX2 itself, which the record
// predates and which is therefore asked of the processor.
inline Variant PickVariant()
{
#if ORU_VARIANT_X86
    const OruCPUInfo *cpu = _CPU();
    if (!cpu || !(cpu->Features & ORU_FEATURE_SSE2))
        return Variant::Portable;
    __builtin_cpu_init();
    if ((cpu->Features2 & ORU_FEATURE2_AVX) && __builtin_cpu_supports("avx2"))
        return Variant::Avx2;
    return Variant::Sse2;
#else
    return Variant::Portable;
#endif
}

} // namespace orurt

#endif
