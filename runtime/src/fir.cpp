// OruFIR: FIR filters that design their own taps (window method) and filter fixed-point blocks, optionally
// decimating. Three widths share one structure; the width of an object is told by its ResizeRoutine.
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "fir_kernels.h"
#include "orurt.h"

namespace {

using orufir::kSpareSamples;
using orufir::PaddedTaps;

constexpr double kPi = std::numbers::pi;

constexpr uint64_t RoundUp64(uint64_t bytes) { return (bytes + 63) & ~uint64_t(63); }

// One allocation: design scratch (T doubles), taps, delay line (plus spare samples for the vector kernels'
// reads past the last window), output buffer; each part starts on a 64-byte boundary. On failure nothing changes.
template <typename Sample, uint32_t TapGroup, typename Output> int32_t Resize(OruFIR *fir)
{
    const uint64_t taps = fir->TapsNum;
    const uint64_t scratch = RoundUp64(taps * sizeof(double));
    const uint64_t coefficients = RoundUp64(uint64_t(PaddedTaps(fir->TapsNum, TapGroup)) * sizeof(Sample));
    const uint64_t line = RoundUp64((taps - 1 + fir->BufferSize + kSpareSamples) * sizeof(Sample));
    const uint64_t output = RoundUp64(uint64_t(fir->BufferSize) * sizeof(Output));
    const uint64_t total = scratch + coefficients + line + output;
    if (total > std::numeric_limits<uint32_t>::max())
        return 0;
    if (total > fir->StorageSize) {
        void *grown = MemoryReAlloc(fir->Storage, uint32_t(total));
        if (!grown)
            return 0;
        fir->Storage = grown;
        fir->StorageSize = uint32_t(total);
    }
    auto *base = static_cast<uint8_t *>(fir->Storage);
    fir->Coefficients = base + scratch;
    fir->DelayLine = base + scratch + coefficients;
    fir->DelayInput = static_cast<Sample *>(fir->DelayLine) + (taps - 1);
    fir->OutputBuffer = base + scratch + coefficients + line;
    std::memset(fir->DelayLine, 0, line);
    return 1;
}

constexpr auto kResize1616 = Resize<int16_t, orufir::kTapGroup16, int16_t>;
constexpr auto kResize1632 = Resize<int16_t, orufir::kTapGroup16, int32_t>;
constexpr auto kResize3232 = Resize<int32_t, orufir::kTapGroup32, int32_t>;

bool IsWidth(const OruFIR *fir, int32_t (*resize)(OruFIR *))
{
    return fir && fir->Storage && fir->ResizeRoutine == resize;
}

template <typename Tap> Tap Quantise(double h)
{
    constexpr Tap kMax = std::numeric_limits<Tap>::max();
    if (std::isnan(h))
        return 0;
    if (h >= 1.0)
        return kMax;
    if (h < -1.0)
        return std::numeric_limits<Tap>::min();
    return Tap(std::lrint(h * kMax));
}

template <typename Tap, uint32_t TapGroup, typename Value> void Install(OruFIR *fir, const Value *h, int32_t count)
{
    const uint32_t taps = fir->TapsNum;
    auto *c = static_cast<Tap *>(fir->Coefficients);
    std::memset(c, 0, PaddedTaps(taps, TapGroup) * sizeof(Tap));
    const uint32_t n = count < 0 ? 0u : std::min(uint32_t(count), taps);
    for (uint32_t j = 0; j < n; ++j)
        c[j] = Quantise<Tap>(double(h[j]));
}

template <typename Tap, uint32_t TapGroup> void SetDouble(OruFIR *fir, const double *h, int32_t count)
{
    if (fir && fir->Storage && h)
        Install<Tap, TapGroup>(fir, h, count);
}

template <typename Tap, uint32_t TapGroup> void SetFloat(OruFIR *fir, const float *h, int32_t count)
{
    if (!fir || !fir->Storage || !h)
        return;
    OruFIR_TapsNum(fir, count);
    Install<Tap, TapGroup>(fir, h, count);
}

double Blackman(uint32_t k, uint32_t taps)
{
    const double theta = kPi * (1.0 - 2.0 * k / (taps - 1));
    return 0.42 - 0.5 * std::cos(theta) + 0.08 * std::cos(2.0 * theta);
}

// Windowed sinc with cut-off c (relative to half the sampling rate), normalised to unity gain at 0 Hz.
void LowPass(double *h, uint32_t taps, double c)
{
    const uint32_t m = (taps - 1) / 2;
    h[m] = c;
    for (uint32_t k = 1; k <= m; ++k)
        h[m + k] = h[m - k] = Blackman(k, taps) * std::sin(kPi * c * k) / (kPi * k);
    double sum = 0.0;
    for (uint32_t j = 0; j < taps; ++j)
        sum += h[j];
    for (uint32_t j = 0; j < taps; ++j)
        h[j] /= sum;
}

void BandPass(double *h, uint32_t taps, double b, double w0)
{
    const uint32_t m = (taps - 1) / 2;
    h[m] = 2.0 * b;
    for (uint32_t k = 1; k <= m; ++k)
        h[m + k] = h[m - k] = 2.0 * Blackman(k, taps) * std::sin(kPi * b * k) * std::cos(w0 * k) / (kPi * k);
}

void Design(OruFIR *fir)
{
    const uint32_t taps = fir->TapsNum;
    const uint32_t m = (taps - 1) / 2;
    auto *h = static_cast<double *>(fir->Storage);
    const double fs = fir->SamplingRate, fh = fir->CutOffHigh, fl = fir->CutOffLow;
    switch (fir->FIRType) {
    case ORU_FIR_LOWPASS:
        LowPass(h, taps, 2.0 * fh / fs);
        break;
    case ORU_FIR_HIGHPASS: {
        // low-pass minus a unit impulse: zero gain at 0 Hz, pass band inverted
        LowPass(h, taps, 2.0 * fl / fs);
        double side = 0.0;
        for (uint32_t j = 0; j < m; ++j)
            side += h[j];
        h[m] = -2.0 * side;
        break;
    }
    case ORU_FIR_BANDPASS:
        BandPass(h, taps, (fh - fl) / fs, kPi * (fh + fl) / fs);
        break;
    case ORU_FIR_BANDSTOP:
        BandPass(h, taps, (fh - fl) / fs, kPi * (fh + fl) / fs);
        for (uint32_t j = 0; j < taps; ++j)
            h[j] = -h[j];
        h[m] += 1.0;
        break;
    case ORU_FIR_HILBERT:
        h[m] = 0.0;
        for (uint32_t k = 1; k <= m; ++k) {
            const double v = (0.54 + 0.46 * std::cos(kPi * k / m)) * (1.0 - std::cos(kPi * k)) / (kPi * k);
            h[m + k] = v;
            h[m - k] = -v;
        }
        break;
    case ORU_FIR_AVERAGE:
        for (uint32_t j = 0; j < taps; ++j)
            h[j] = 1.0 / taps;
        break;
    default:
        for (uint32_t j = 0; j < taps; ++j)
            h[j] = 0.0;
        h[m] = 1.0;
        break;
    }
    fir->SetCoefficientsDouble(fir, h, int32_t(taps));
}

// Lays out storage again with one field changed; restores the field when the memory cannot be had.
void ChangeLayout(OruFIR *fir, uint32_t OruFIR::*field, uint32_t value)
{
    const uint32_t old = fir->*field;
    fir->*field = value;
    if (!fir->ResizeRoutine(fir))
        fir->*field = old;
}

OruFIR *Construct(OruFIR *fir, int32_t (*resize)(OruFIR *), void (*setDouble)(OruFIR *, const double *, int32_t),
                  void (*setFloat)(OruFIR *, const float *, int32_t), orufir::Width width)
{
    const bool owned = fir == nullptr;
    if (owned) {
        fir = static_cast<OruFIR *>(MemoryAlloc(sizeof(OruFIR)));
        if (!fir)
            return nullptr;
    }
    *fir = OruFIR{};
    fir->SetCoefficientsDouble = setDouble;
    fir->SetCoefficientsFloat = setFloat;
    fir->CutOffHigh = 3000.0f;
    fir->CutOffLow = 1000.0f;
    fir->SamplingRate = 11025.0f;
    fir->BufferSize = 1024;
    fir->FIRType = ORU_FIR_PASS;
    fir->ResizeRoutine = resize;
    OruFIR_TapsNum(fir, 31);
    if (!fir->Storage) {
        if (owned)
            MemoryFree(fir);
        return nullptr;
    }
    fir->Kernel = orufir::SelectKernel(width);
    return fir;
}

// One processing call: takes every step-th input in chunks of at most BufferSize into the delay line and runs
// the kernel on each. KernelOut is the kernel's output type; a narrower Out goes through OutputBuffer.
template <typename Line, typename KernelOut, typename Out, typename In, typename Convert>
void Run(OruFIR *fir, Out *out, const In *in, int32_t count, int32_t step, int32_t decimation, bool ceiling,
         Convert convert)
{
    if (!in || count <= 0)
        return;
    const uint64_t s = step < 1 ? 1u : uint32_t(step);
    const int32_t d = decimation < 1 ? 1 : decimation;
    uint64_t remaining = ceiling ? (uint64_t(count) + s - 1) / s : uint64_t(count) / s;
    size_t position = 0;
    while (remaining > 0) {
        const uint32_t k = uint32_t(std::min<uint64_t>(remaining, fir->BufferSize));
        auto *x = static_cast<Line *>(fir->DelayInput);
        for (uint32_t i = 0; i < k; ++i, position += s)
            x[i] = convert(in[position]);
        remaining -= k;
        if (!out) {
            fir->Kernel(fir, nullptr, int32_t(k), d);
            continue;
        }
        const uint32_t produced = k / uint32_t(d);
        if constexpr (sizeof(Out) < sizeof(KernelOut)) {
            fir->Kernel(fir, nullptr, int32_t(k), d);
            const auto *wide = static_cast<const KernelOut *>(fir->OutputBuffer);
            for (uint32_t i = 0; i < produced; ++i)
                out[i] = Out(wide[i] >> 16);
        } else {
            fir->Kernel(fir, out, int32_t(k), d);
        }
        out += produced;
    }
}

int16_t AsIs16(int16_t v) { return v; }
int32_t AsIs32(int32_t v) { return v; }
int16_t Upper16(int32_t v) { return int16_t(v >> 16); }
int32_t Widen16(int16_t v) { return int32_t(v) * 65536; }

} // namespace

OruFIR *OruFIR1616_Construct(OruFIR *fir)
{
    return Construct(fir, kResize1616, SetDouble<int16_t, orufir::kTapGroup16>,
                     SetFloat<int16_t, orufir::kTapGroup16>, orufir::Width::W1616);
}

OruFIR *OruFIR1632_Construct(OruFIR *fir)
{
    return Construct(fir, kResize1632, SetDouble<int16_t, orufir::kTapGroup16>,
                     SetFloat<int16_t, orufir::kTapGroup16>, orufir::Width::W1632);
}

OruFIR *OruFIR3232_Construct(OruFIR *fir)
{
    return Construct(fir, kResize3232, SetDouble<int32_t, orufir::kTapGroup32>,
                     SetFloat<int32_t, orufir::kTapGroup32>, orufir::Width::W3232);
}

void OruFIR_Destruct(OruFIR *fir, uint32_t flags)
{
    if (!fir)
        return;
    MemoryFree(fir->Storage);
    fir->Storage = nullptr;
    fir->StorageSize = 0;
    if (flags & 1)
        MemoryFree(fir);
}

void OruFIR_TapsNum(OruFIR *fir, int32_t taps)
{
    if (!fir)
        return;
    const uint32_t t = uint32_t(std::max(taps, 3)) | 1u;
    if (t == fir->TapsNum)
        return;
    ChangeLayout(fir, &OruFIR::TapsNum, t);
    if (fir->TapsNum == t)
        Design(fir);
}

void OruFIR_FIRType(OruFIR *fir, uint32_t type)
{
    if (!fir || !fir->Storage || type > ORU_FIR_AVERAGE || type == fir->FIRType)
        return;
    fir->FIRType = type;
    Design(fir);
}

void OruFIR_BufferSize(OruFIR *fir, int32_t samples)
{
    if (!fir || !fir->Storage)
        return;
    const uint32_t size = uint32_t(std::max(samples, 1));
    if (size != fir->BufferSize)
        ChangeLayout(fir, &OruFIR::BufferSize, size);
}

// The comparisons are written so that a NaN argument falls to the lower limit.
void OruFIR_CutOffHigh(OruFIR *fir, float hertz)
{
    if (!fir || !fir->Storage)
        return;
    float f = hertz >= 2.0f ? hertz : 2.0f;
    if (2.0f * f > fir->SamplingRate)
        f = fir->SamplingRate / 2.0f;
    const float old = fir->CutOffHigh;
    fir->CutOffHigh = f;
    if (f == old)
        return;
    if (!(f > fir->CutOffLow))
        fir->CutOffLow = f - 1.0f;
    Design(fir);
}

void OruFIR_CutOffLow(OruFIR *fir, float hertz)
{
    if (!fir || !fir->Storage)
        return;
    float f = hertz >= 1.0f ? hertz : 1.0f;
    if (!(2.0f * f < fir->SamplingRate))
        f = fir->SamplingRate / 2.0f - 1.0f;
    const float old = fir->CutOffLow;
    fir->CutOffLow = f;
    if (f == old)
        return;
    if (!(f < fir->CutOffHigh))
        fir->CutOffHigh = f + 1.0f;
    Design(fir);
}

void OruFIR_SamplingRate(OruFIR *fir, float hertz)
{
    if (!fir || !fir->Storage)
        return;
    const float rate = hertz >= 4.0f ? hertz : 4.0f;
    if (rate == fir->SamplingRate)
        return;
    fir->SamplingRate = rate;
    if (2.0f * fir->CutOffHigh > rate)
        fir->CutOffHigh = rate / 2.0f;
    if (!(fir->CutOffHigh > fir->CutOffLow))
        fir->CutOffLow = fir->CutOffHigh - 1.0f;
    Design(fir);
}

void OruFIR1616_Process_16_16(OruFIR *fir, int16_t *out, const int16_t *in, int32_t count, int32_t step,
                              int32_t decimation)
{
    if (IsWidth(fir, kResize1616))
        Run<int16_t, int16_t>(fir, out, in, count, step, decimation, false, AsIs16);
}

void OruFIR1632_Process_16_32(OruFIR *fir, int32_t *out, const int16_t *in, int32_t count, int32_t step,
                              int32_t decimation)
{
    if (IsWidth(fir, kResize1632))
        Run<int16_t, int32_t>(fir, out, in, count, step, decimation, true, AsIs16);
}

void OruFIR1632_Process_32_32(OruFIR *fir, int32_t *out, const int32_t *in, int32_t count, int32_t step,
                              int32_t decimation)
{
    if (IsWidth(fir, kResize1632))
        Run<int16_t, int32_t>(fir, out, in, count, step, decimation, true, Upper16);
}

void OruFIR3232_Process_16_16(OruFIR *fir, int16_t *out, const int16_t *in, int32_t count, int32_t step,
                              int32_t decimation)
{
    if (IsWidth(fir, kResize3232))
        Run<int32_t, int32_t>(fir, out, in, count, step, decimation, false, Widen16);
}

void OruFIR3232_Process_16_32(OruFIR *fir, int32_t *out, const int16_t *in, int32_t count, int32_t step,
                              int32_t decimation)
{
    if (IsWidth(fir, kResize3232))
        Run<int32_t, int32_t>(fir, out, in, count, step, decimation, false, Widen16);
}

void OruFIR3232_Process_32_16(OruFIR *fir, int16_t *out, const int32_t *in, int32_t count, int32_t step,
                              int32_t decimation)
{
    if (IsWidth(fir, kResize3232))
        Run<int32_t, int32_t>(fir, out, in, count, step, decimation, false, AsIs32);
}

void OruFIR3232_Process_32_32(OruFIR *fir, int32_t *out, const int32_t *in, int32_t count, int32_t step,
                              int32_t decimation)
{
    if (IsWidth(fir, kResize3232))
        Run<int32_t, int32_t>(fir, out, in, count, step, decimation, false, AsIs32);
}

// Exact 32-bit products on taps 0, 2, 4, ...: a Hilbert transformer with an odd half-length has zeros at the
// odd taps, so this halves the work without changing the result.
void OruFIR3232_Process2(OruFIR *fir, int32_t *out, int32_t count, int32_t decimation)
{
    if (!IsWidth(fir, kResize3232) || count < 0)
        return;
    const orufir::Chunk chunk = orufir::ClampChunk(fir, count == 0 ? int32_t(fir->BufferSize) : count, decimation);
    const auto *c = static_cast<const int32_t *>(fir->Coefficients);
    const auto *x = static_cast<const int32_t *>(fir->DelayLine);
    int32_t *y = out ? out : static_cast<int32_t *>(fir->OutputBuffer);
    for (uint32_t i = 0; i < chunk.outputs; ++i) {
        const int32_t *window = x + size_t(i) * chunk.decimation;
        uint64_t sum = 0;
        for (uint32_t j = 0; j < fir->TapsNum; j += 2)
            sum += uint64_t(int64_t(c[j]) * int64_t(window[j]));
        y[i] = orufir::Scale3232(sum);
    }
    orufir::KeepHistory<int32_t>(fir, chunk);
}
