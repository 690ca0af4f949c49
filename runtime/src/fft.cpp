// OruFFT2Float and OruFFT: windowed spectra of fixed-point blocks.
//
// A real block of N samples is transformed as N/2 complex values (even samples real, odd samples imaginary)
// by an in-place radix-2 decimation-in-time FFT, then split into the spectrum of the real block. The two
// precisions share the layout and every step below; only the float object has vector kernels (loading, butterflies,
// splitting), and those do each element's arithmetic in the portable order so that all kernels give the same bits.
#include <cmath>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "fft_glue.h"
#include "fft_kernels.h"
#include "orurt.h"

namespace {

using orufft::QuarterPower;
using orufft::StageKernel;

template <typename Real, typename Sample>
using LoadKernel = void (*)(Real *z, const uint32_t *reversal, const float *window, const Sample *x, uint32_t count,
                            uint32_t half);
template <typename Real>
using SplitKernel = void (*)(const Real *z, const float *twiddles, Real *re, Real *im, Real *module, uint32_t half);

constexpr double kPi = 3.141592653589793238462643383280;
// The storage of 20 N or 30 N bytes must fit the allocator's 32-bit size.
constexpr uint32_t kMaxSize = 1u << 27;

static_assert(offsetof(OruFFT, BufferSize) == offsetof(OruFFT2Float, BufferSize));
static_assert(offsetof(OruFFT, WindowType) == offsetof(OruFFT2Float, WindowType));
static_assert(offsetof(OruFFT, Storage) == offsetof(OruFFT2Float, Storage));
static_assert(offsetof(OruFFT, Window) == offsetof(OruFFT2Float, Window));
static_assert(sizeof(OruFFT) == sizeof(OruFFT2Float));

uint32_t PowerOfTwoSize(uint32_t n, uint32_t minimum)
{
    if (n > kMaxSize)
        n = kMaxSize;
    uint32_t size = minimum;
    while (size < n)
        size <<= 1;
    return size;
}

void ComputeWindow(float *window, uint32_t n, uint32_t type)
{
    const uint32_t half = n / 2;
    for (uint32_t i = 0; i < n; ++i) {
        double w = 1.0;
        switch (type) {
        case ORU_FFT_TRIANGULAR:
            w = double(i < half ? i : n - 1 - i) / half;
            break;
        case ORU_FFT_HANN:
            w = 1.0 + std::cos(2.0 * kPi * (double(half) - 1.0 - i) / n);
            break;
        case ORU_FFT_HAMMING:
            w = 1.0 - 0.8518518518518519 * std::cos(2.0 * kPi * (double(n) - 1.0 - i) / n);
            break;
        case ORU_FFT_BLACKMAN: {
            const double x = double(half) - 1.0 - i;
            w = 1.0 + 1.1904761904761905 * std::cos(2.0 * kPi * x / n) +
                0.19047619047619047 * std::cos(4.0 * kPi * x / n);
            break;
        }
        default:
            break;
        }
        window[i] = float(w);
    }
}

void ComputeTables(uint32_t *reversal, float *twiddles, uint32_t n)
{
    const uint32_t half = n / 2;
    uint32_t bits = 0;
    while ((1u << bits) < half)
        ++bits;
    for (uint32_t k = 0; k < half; ++k) {
        uint32_t r = 0;
        for (uint32_t b = 0; b < bits; ++b)
            r |= ((k >> b) & 1u) << (bits - 1 - b);
        reversal[k] = r;
        const double theta = -2.0 * kPi * k / n;
        twiddles[2 * k] = float(std::sin(theta));
        twiddles[2 * k + 1] = float(std::cos(theta));
    }
}

template <typename Real, typename Sample>
void LoadComplex(Real *z, const uint32_t *reversal, const float *window, const Sample *re, const Sample *im,
                 uint32_t pairs, uint32_t half)
{
    if (pairs > half)
        pairs = half;
    for (uint32_t b = 0; b < half; ++b) {
        Real *slot = z + 2 * size_t(reversal[b]);
        const Real w = window[2 * b];
        slot[0] = b < pairs ? Real(re[b]) * w : Real(0);
        slot[1] = b < pairs ? Real(im[b]) * w : Real(0);
    }
}

// 0 Hz moves to index N/4, the negative frequencies below it.
template <typename Real> void SwapHalves(const Real *z, Real *re, Real *im, uint32_t half)
{
    const uint32_t quarter = half / 2;
    for (uint32_t k = 0; k < half; ++k) {
        const uint32_t to = (k + quarter) & (half - 1);
        re[to] = z[2 * k];
        im[to] = z[2 * k + 1];
    }
}

// The byte offsets of the arrays in Storage, each aligned for its element type.
struct Layout {
    size_t reversal, module, imag, real, twiddles, work, window, total;
};

size_t Place(size_t &offset, size_t bytes, size_t alignment)
{
    offset = (offset + alignment - 1) / alignment * alignment;
    const size_t at = offset;
    offset += bytes;
    return at;
}

// OruFFT2Float: reversal table, Module, ImagPart, RealPart, Twiddles, WorkBuffer, Window (20 N bytes).
Layout FloatLayout(uint32_t n)
{
    const size_t half = n / 2;
    Layout l{};
    size_t at = 0;
    l.reversal = Place(at, half * 4, 4);
    l.module = Place(at, half * 4, 4);
    l.imag = Place(at, half * 4, 4);
    l.real = Place(at, half * 4, 4);
    l.twiddles = Place(at, half * 8, 4);
    l.work = Place(at, size_t(n) * 4, 4);
    l.window = Place(at, size_t(n) * 4, 4);
    l.total = at;
    return l;
}

// OruFFT: reversal table, Twiddles, WorkBuffer, Module, ImagPart, RealPart, Window (30 N bytes from N = 4).
Layout DoubleLayout(uint32_t n)
{
    const size_t half = n / 2;
    Layout l{};
    size_t at = 0;
    l.reversal = Place(at, half * 4, 4);
    l.twiddles = Place(at, half * 8, 4);
    l.work = Place(at, size_t(n) * 8, 8);
    l.module = Place(at, half * 8, 8);
    l.imag = Place(at, half * 8, 8);
    l.real = Place(at, half * 8, 8);
    l.window = Place(at, size_t(n) * 4, 4);
    l.total = at;
    return l;
}

template <typename Fft> using RealOf = std::remove_pointer_t<decltype(Fft::WorkBuffer)>;

template <typename Fft> void PointInto(Fft *f, const Layout &l, uint32_t n)
{
    using Real = RealOf<Fft>;
    auto *base = static_cast<unsigned char *>(f->Storage);
    f->BufferSize = n;
    f->HalfSize = n / 2;
    f->Module = reinterpret_cast<Real *>(base + l.module);
    f->ImagPart = reinterpret_cast<Real *>(base + l.imag);
    f->RealPart = reinterpret_cast<Real *>(base + l.real);
    f->Twiddles = reinterpret_cast<float *>(base + l.twiddles);
    f->WorkBuffer = reinterpret_cast<Real *>(base + l.work);
    f->Window = reinterpret_cast<float *>(base + l.window);
    ComputeTables(reinterpret_cast<uint32_t *>(base + l.reversal), f->Twiddles, n);
    std::memset(f->WorkBuffer, 0, sizeof(Real) * n);
    std::memset(f->Module, 0, sizeof(Real) * (n / 2));
    std::memset(f->ImagPart, 0, sizeof(Real) * (n / 2));
    std::memset(f->RealPart, 0, sizeof(Real) * (n / 2));
    ComputeWindow(f->Window, n, f->WindowType);
}

// Without storage the object stays empty and every compute call does nothing.
template <typename Fft> void Detach(Fft *f)
{
    f->Storage = nullptr;
    f->StorageSize = 0;
    f->BufferSize = f->HalfSize = 0;
    f->WorkBuffer = f->RealPart = f->ImagPart = f->Module = nullptr;
    f->Twiddles = f->Window = nullptr;
}

const uint32_t *Reversal(const void *storage) { return static_cast<const uint32_t *>(storage); }

template <typename Fft, typename Sample>
void TransformReal(Fft *f, const Sample *x, uint32_t count, LoadKernel<RealOf<Fft>, Sample> load,
                   StageKernel<RealOf<Fft>> stages, SplitKernel<RealOf<Fft>> split)
{
    if (!f || !f->Storage || !x)
        return;
    const uint32_t half = f->HalfSize;
    load(f->WorkBuffer, Reversal(f->Storage), f->Window, x, count, half);
    stages(f->WorkBuffer, f->Twiddles, half);
    split(f->WorkBuffer, f->Twiddles, f->RealPart, f->ImagPart, f->Module, half);
}

template <typename Fft, typename Sample>
void TransformComplex(Fft *f, const Sample *re, const Sample *im, uint32_t pairs, StageKernel<RealOf<Fft>> stages)
{
    if (!f || !f->Storage || !re || !im)
        return;
    const uint32_t half = f->HalfSize;
    LoadComplex(f->WorkBuffer, Reversal(f->Storage), f->Window, re, im, pairs, half);
    stages(f->WorkBuffer, f->Twiddles, half);
    SwapHalves(f->WorkBuffer, f->RealPart, f->ImagPart, half);
    QuarterPower(f->RealPart, f->ImagPart, f->Module, half);
}

// Direct DFT of the bins first..last by a rotating phasor; every other bin is left 0.
template <typename Sample> void Bins(OruFFT2Float *f, const Sample *x, uint32_t count, uint32_t first, uint32_t last)
{
    if (!f || !f->Storage || !x)
        return;
    const uint32_t n = f->BufferSize;
    const uint32_t half = f->HalfSize;
    if (count > n)
        count = n;
    float *work = f->WorkBuffer;
    for (uint32_t i = 0; i < n; ++i)
        work[i] = i < count ? float(x[i]) * f->Window[i] : 0.0f;
    std::memset(f->RealPart, 0, sizeof(float) * half);
    std::memset(f->ImagPart, 0, sizeof(float) * half);
    std::memset(f->Module, 0, sizeof(float) * half);
    if (last >= half)
        last = half - 1;
    for (uint32_t k = first; k <= last; ++k) {
        const double theta = 2.0 * kPi * k / n;
        const float cosTheta = float(std::cos(theta));
        const float sinTheta = float(std::sin(theta));
        float c = 1.0f, s = 0.0f, a = 0.0f, b = 0.0f;
        for (uint32_t i = 0; i < n; ++i) {
            a -= work[i] * s;
            b += work[i] * c;
            const float next = c * cosTheta - s * sinTheta;
            s = c * sinTheta + s * cosTheta;
            c = next;
        }
        f->RealPart[k] = a;
        f->ImagPart[k] = b;
        f->Module[k] = a * a + b * b;
    }
}

void Bins16(OruFFT2Float *f, const int16_t *x, uint32_t count, uint32_t first, uint32_t last)
{
    Bins(f, x, count, first, last);
}

void Bins32(OruFFT2Float *f, const int32_t *x, uint32_t count, uint32_t first, uint32_t last)
{
    Bins(f, x, count, first, last);
}

// The kernels of one processor variant.
struct KernelSet {
    LoadKernel<float, int16_t> load16;
    LoadKernel<float, int32_t> load32;
    StageKernel<float> stages;
    SplitKernel<float> split;
};

constexpr KernelSet kPortableKernels{orufft::LoadReal<float, int16_t>, orufft::LoadReal<float, int32_t>,
                                     orufft::StagesPortable<float>, orufft::SplitPower<float>};
#if ORU_FFT_X86
constexpr KernelSet kSse2Kernels{orufft::LoadRealSse2<int16_t>, orufft::LoadRealSse2<int32_t>, orufft::StagesSse2,
                                 orufft::SplitPowerSse2};
constexpr KernelSet kAvx2Kernels{orufft::LoadRealAvx2<int16_t>, orufft::LoadRealAvx2<int32_t>, orufft::StagesAvx2,
                                 orufft::SplitPowerAvx2};
#endif

// One routine set per kernel set; the object's ComputeReal16 tells which set it was given.
template <const KernelSet &Kernels> void Real16(OruFFT2Float *f, const int16_t *x, uint32_t count)
{
    TransformReal(f, x, count, Kernels.load16, Kernels.stages, Kernels.split);
}

template <const KernelSet &Kernels> void Real32(OruFFT2Float *f, const int32_t *x, uint32_t count)
{
    TransformReal(f, x, count, Kernels.load32, Kernels.stages, Kernels.split);
}

struct RoutineSet {
    decltype(OruFFT2Float::ComputeReal16) real16;
    decltype(OruFFT2Float::ComputeReal32) real32;
    const KernelSet *kernels;
};

template <const KernelSet &Kernels> constexpr RoutineSet kRoutines{Real16<Kernels>, Real32<Kernels>, &Kernels};

constexpr const RoutineSet &kPortable = kRoutines<kPortableKernels>;
#if ORU_FFT_X86
constexpr const RoutineSet &kSse2 = kRoutines<kSse2Kernels>;
constexpr const RoutineSet &kAvx2 = kRoutines<kAvx2Kernels>;
#endif

const RoutineSet &PickRoutines()
{
#if ORU_FFT_X86
    switch (orufft::PickVariant()) {
    case orufft::Variant::Avx2:
        return kAvx2;
    case orufft::Variant::Sse2:
        return kSse2;
    default:
        break;
    }
#endif
    return kPortable;
}

StageKernel<float> StagesOf(const OruFFT2Float *f)
{
#if ORU_FFT_X86
    for (const RoutineSet *set : {&kSse2, &kAvx2})
        if (f->ComputeReal16 == set->real16)
            return set->kernels->stages;
#endif
    return kPortableKernels.stages;
}

} // namespace

OruFFT2Float *OruFFT2Float_Construct(OruFFT2Float *f)
{
    if (!f) {
        f = static_cast<OruFFT2Float *>(MemoryAlloc(sizeof(OruFFT2Float)));
        if (!f)
            return nullptr;
    }
    std::memset(f, 0, sizeof *f);
    const RoutineSet &set = PickRoutines();
    f->ComputeReal16 = set.real16;
    f->ComputeReal32 = set.real32;
    f->ComputeBins16 = Bins16;
    f->ComputeBins32 = Bins32;
    OruFFT2Float_BufferSize(f, 512);
    return f;
}

void OruFFT2Float_BufferSize(OruFFT2Float *f, uint32_t n)
{
    if (!f)
        return;
    n = PowerOfTwoSize(n, 4);
    if (n == f->BufferSize && f->Storage)
        return;
    MemoryFree(f->Storage);
    const Layout l = FloatLayout(n);
    f->Storage = MemoryAlloc(uint32_t(l.total));
    if (!f->Storage) {
        Detach(f);
        return;
    }
    PointInto(f, l, n);
}

void OruFFT2Float_ComputeComplex_IQ_16(OruFFT2Float *f, const int16_t *i, const int16_t *q, uint32_t pairs)
{
    if (f)
        TransformComplex(f, i, q, pairs, StagesOf(f));
}

void OruFFT2Float_ComputeComplex_IQ_32(OruFFT2Float *f, const int32_t *i, const int32_t *q, uint32_t pairs)
{
    if (f)
        TransformComplex(f, i, q, pairs, StagesOf(f));
}

void OruFFT2Float_Compute_Module(OruFFT2Float *f, const float *re, const float *im)
{
    if (f && f->Storage && re && im)
        QuarterPower(re, im, f->Module, f->HalfSize);
}

void OruFFT_WindowType(void *object, uint32_t type)
{
    // Both precisions keep the window fields at the same offsets (asserted above).
    auto *f = static_cast<OruFFT2Float *>(object);
    if (!f || type > ORU_FFT_BLACKMAN || type == f->WindowType)
        return;
    f->WindowType = type;
    if (f->Window)
        ComputeWindow(f->Window, f->BufferSize, type);
}

void OruFFT_Destruct(void *object, uint32_t flags)
{
    auto *f = static_cast<OruFFT2Float *>(object);
    if (!f)
        return;
    MemoryFree(f->Storage);
    f->Storage = nullptr;
    if (flags & 1)
        MemoryFree(f);
}

OruFFT *OruFFT_Construct(OruFFT *f)
{
    if (!f) {
        f = static_cast<OruFFT *>(MemoryAlloc(sizeof(OruFFT)));
        if (!f)
            return nullptr;
    }
    std::memset(f, 0, sizeof *f);
    OruFFT_BufferSize(f, 512);
    return f;
}

void OruFFT_BufferSize(OruFFT *f, uint32_t n)
{
    if (!f)
        return;
    n = PowerOfTwoSize(n, 2);
    if (n == f->BufferSize && f->Storage)
        return;
    const Layout l = DoubleLayout(n);
    if (l.total > f->StorageSize) {
        MemoryFree(f->Storage);
        f->Storage = MemoryAlloc(uint32_t(l.total));
        if (!f->Storage) {
            Detach(f);
            return;
        }
        f->StorageSize = uint32_t(l.total);
    }
    PointInto(f, l, n);
}

void OruFFT_Compute_16(OruFFT *f, const int16_t *samples, uint32_t count)
{
    TransformReal(f, samples, count, orufft::LoadReal<double, int16_t>, orufft::StagesPortable<double>,
                  orufft::SplitPower<double>);
}

void OruFFT_Compute_32(OruFFT *f, const int32_t *samples, uint32_t count)
{
    TransformReal(f, samples, count, orufft::LoadReal<double, int32_t>, orufft::StagesPortable<double>,
                  orufft::SplitPower<double>);
}

void OruFFT_ComputeComplex_IQ_16(OruFFT *f, const int16_t *i, const int16_t *q, uint32_t pairs)
{
    TransformComplex(f, i, q, pairs, orufft::StagesPortable<double>);
}

void OruFFT_ComputeComplex_IQ_32(OruFFT *f, const int32_t *i, const int32_t *q, uint32_t pairs)
{
    TransformComplex(f, i, q, pairs, orufft::StagesPortable<double>);
}

void OruFFT_Compute_Module(OruFFT *f, const double *re, const double *im)
{
    if (f && f->Storage && re && im)
        QuarterPower(re, im, f->Module, f->HalfSize);
}
