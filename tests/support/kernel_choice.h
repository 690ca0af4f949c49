// Steers the run-time library's choice of processing kernel: objects pick theirs at construction from the
// library's processor record, so editing the record for the length of a scope selects one.
#pragma once

#include <cstdint>
#include <vector>

#include "orurt.h"

enum class Kernel { Portable, Sse2, Avx2 };

inline bool KernelAvailable(Kernel k)
{
    const OruCPUInfo *cpu = _CPU();
    switch (k) {
    case Kernel::Portable:
        return true;
    case Kernel::Sse2:
        return (cpu->Features & ORU_FEATURE_SSE2) != 0;
    case Kernel::Avx2:
#if defined(__x86_64__) || defined(__i386__)
        return (cpu->Features & ORU_FEATURE_SSE2) && (cpu->Features2 & ORU_FEATURE2_AVX) &&
               __builtin_cpu_supports("avx2");
#else
        return false;
#endif
    }
    return false;
}

// The kernels this processor runs, among `from`.
inline std::vector<Kernel> AvailableKernels(std::initializer_list<Kernel> from = {Kernel::Portable, Kernel::Sse2,
                                                                                  Kernel::Avx2})
{
    std::vector<Kernel> kernels;
    for (Kernel k : from)
        if (KernelAvailable(k))
            kernels.push_back(k);
    return kernels;
}

class KernelScope {
public:
    explicit KernelScope(Kernel k) : saved_(*_CPU())
    {
        OruCPUInfo *cpu = _CPU();
        if (k == Kernel::Portable)
            cpu->Features &= ~ORU_FEATURE_SSE2;
        if (k == Kernel::Sse2)
            cpu->Features2 &= ~ORU_FEATURE2_AVX;
    }
    ~KernelScope() { *_CPU() = saved_; }
    KernelScope(const KernelScope &) = delete;
    KernelScope &operator=(const KernelScope &) = delete;

private:
    OruCPUInfo saved_;
};
