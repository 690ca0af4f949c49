// OruResampler32: converts a stream by L/M (insert L - 1 zeros, low-pass, keep every M-th result) as a polyphase
// filter, so that only the kept outputs are computed, each from about K/L taps.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <type_traits>

#include "orurt.h"
#include "resampler_kernels.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr uint64_t kStorageLimit = uint64_t(1) << 30;

constexpr uint64_t RoundUp64(uint64_t bytes) { return (bytes + 63) & ~uint64_t(63); }

// Sizes of the parts of Storage, each starting on a 64-byte boundary: design scratch, coefficients, delay line,
// output buffer, phase rows, split rows (a flag, then per phase the high and the low halves of its taps) and
// the high halves of the delay line for the split kernels.
struct Geometry {
    uint32_t history;
    uint32_t row;   // taps per phase row: H + 1, zero where a phase has only H, so every output sums one length
    uint32_t split; // taps per split row
    uint64_t scratchBytes;
    uint64_t coefficientBytes;
    uint64_t lineBytes;
    uint64_t outputBytes;
    uint64_t rowBytes;
    uint64_t splitBytes;
    uint64_t narrowBytes;

    uint64_t Total() const
    {
        return scratchBytes + coefficientBytes + lineBytes + outputBytes + rowBytes + splitBytes + narrowBytes;
    }
};

Geometry Measure(const OruResampler32 *r)
{
    const uint64_t taps = r->TapsNum;
    Geometry g{};
    g.history = (r->TapsNum - 1) / r->Over;
    g.row = g.history + 1;
    g.scratchBytes = RoundUp64(taps * sizeof(double));
    g.coefficientBytes = RoundUp64((taps + 15) / 16 * 16 * sizeof(int32_t));
    // The last outputs of a block read one sample past the new ones; it is zeroed.
    g.lineBytes = RoundUp64((uint64_t(r->BufferSize) + g.row) * sizeof(int32_t));
    g.outputBytes = RoundUp64((uint64_t(r->BufferSize) * r->Over / r->Under + 1) * sizeof(int32_t));
    g.rowBytes = RoundUp64(uint64_t(r->Over) * g.row * sizeof(int32_t));
    g.split = orures::SplitLength(g.row);
    g.splitBytes = 64 + RoundUp64(uint64_t(r->Over) * 2 * g.split * sizeof(int16_t));
    // A window of the last new sample reads a whole split row from there.
    g.narrowBytes = RoundUp64((uint64_t(r->BufferSize) + g.split) * sizeof(int16_t));
    return g;
}

int32_t *PhaseRows(const OruResampler32 *r, const Geometry &g)
{
    return reinterpret_cast<int32_t *>(reinterpret_cast<uint8_t *>(r->OutputBuffer) + g.outputBytes);
}

// Set where every phase row splits exactly.
int32_t *SplitExact(const OruResampler32 *r, const Geometry &g)
{
    return reinterpret_cast<int32_t *>(PhaseRows(r, g) + g.rowBytes / sizeof(int32_t));
}

int16_t *SplitRows(const OruResampler32 *r, const Geometry &g)
{
    return reinterpret_cast<int16_t *>(reinterpret_cast<uint8_t *>(SplitExact(r, g)) + 64);
}

int16_t *NarrowLine(const OruResampler32 *r, const Geometry &g)
{
    return reinterpret_cast<int16_t *>(reinterpret_cast<uint8_t *>(SplitExact(r, g)) + g.splitBytes);
}

int32_t QuantiseQ31(double h)
{
    if (std::isnan(h))
        return 0;
    if (h >= 1.0)
        return std::numeric_limits<int32_t>::max();
    if (h < -1.0)
        return std::numeric_limits<int32_t>::min();
    return int32_t(std::nearbyint(h * 2147483647.0));
}

void SetCoefficientsDouble(OruResampler32 *r, const double *taps, uint32_t count)
{
    if (!r || !r->Storage)
        return;
    const Geometry g = Measure(r);
    std::memset(r->Coefficients, 0, g.coefficientBytes);
    const uint32_t given = taps ? std::min(count, r->TapsNum) : 0;
    for (uint32_t i = 0; i < given; ++i)
        r->Coefficients[i] = QuantiseQ31(taps[i]);
    // Row p holds the taps p, p + L, p + 2L, ... that meet consecutive delay-line samples.
    int32_t *rows = PhaseRows(r, g);
    for (uint64_t p = 0; p < r->Over; ++p)
        for (uint64_t j = 0; j < g.row; ++j) {
            const uint64_t tap = p + j * r->Over;
            rows[p * g.row + j] = tap < r->TapsNum ? r->Coefficients[tap] : 0;
        }
    int16_t *split = SplitRows(r, g);
    bool exact = true;
    for (uint64_t p = 0; p < r->Over; ++p) {
        int16_t *hi = split + 2 * p * g.split;
        exact = orures::SplitRow(rows + p * g.row, g.row, hi, hi + g.split) && exact;
    }
    *SplitExact(r, g) = exact;
}

// Windowed-sinc low-pass at 85 % of the lower Nyquist frequency, unity gain at 0 Hz.
void Design(OruResampler32 *r)
{
    const uint32_t taps = r->TapsNum;
    const uint32_t half = (taps - 1) / 2;
    double *h = static_cast<double *>(r->Storage);
    const double c = 0.85 / double(std::max(r->Over, r->Under));
    h[half] = c;
    for (uint32_t k = 1; k <= half; ++k) {
        const double theta = kPi * (1.0 - 2.0 * k / (taps - 1));
        const double w = 0.42 - 0.5 * std::cos(theta) + 0.08 * std::cos(2.0 * theta);
        const double v = w * std::sin(kPi * c * k) / (kPi * k);
        h[half + k] = v;
        h[half - k] = v;
    }
    double sum = 0.0;
    for (uint32_t i = 0; i < taps; ++i)
        sum += h[i];
    for (uint32_t i = 0; i < taps; ++i)
        h[i] /= sum;
    r->SetCoefficientsDouble(r, h, taps);
}

// Changes nothing unless the new layout fits the limit and its memory could be had.
int32_t Resize(OruResampler32 *r)
{
    const Geometry g = Measure(r);
    const uint64_t total = g.Total();
    if (total > kStorageLimit)
        return 0;
    if (total > r->StorageSize) {
        void *grown = MemoryAlloc(uint32_t(total));
        if (!grown)
            return 0;
        MemoryFree(r->Storage);
        r->Storage = grown;
        r->StorageSize = uint32_t(total);
    }
    auto *base = static_cast<uint8_t *>(r->Storage);
    r->Coefficients = reinterpret_cast<int32_t *>(base + g.scratchBytes);
    r->DelayLine = reinterpret_cast<int32_t *>(base + g.scratchBytes + g.coefficientBytes);
    r->OutputBuffer = reinterpret_cast<int32_t *>(base + g.scratchBytes + g.coefficientBytes + g.lineBytes);
    r->HistoryLength = g.history;
    r->InputArea = r->DelayLine + g.history;
    std::memset(r->DelayLine, 0, g.lineBytes);
    // The split rows count once SetCoefficientsDouble has made them; a routine the caller installs does not.
    *SplitExact(r, g) = 0;
    // The split kernels read past the window, under zero taps.
    std::memset(NarrowLine(r, g), 0, g.narrowBytes);
    Design(r);
    r->Phase = 0;
    r->PendingCount = 0;
    r->PendingOutput = r->OutputBuffer;
    return 1;
}

// A refused setting leaves the object as it was.
void Apply(OruResampler32 *r, uint32_t over, uint32_t under, uint32_t taps, uint32_t bufferSize)
{
    if (over == r->Over && under == r->Under && taps == r->TapsNum && bufferSize == r->BufferSize)
        return;
    const uint32_t oldOver = r->Over, oldUnder = r->Under, oldTaps = r->TapsNum, oldBufferSize = r->BufferSize;
    r->Over = over;
    r->Under = under;
    r->TapsNum = taps;
    r->BufferSize = bufferSize;
    if (r->ResizeRoutine(r))
        return;
    r->Over = oldOver;
    r->Under = oldUnder;
    r->TapsNum = oldTaps;
    r->BufferSize = oldBufferSize;
}

uint32_t AtLeastOne(int32_t value) { return uint32_t(std::max(value, 1)); }

uint32_t OddTaps(uint64_t taps)
{
    return uint32_t(std::min<uint64_t>(std::max<uint64_t>(taps, 3), std::numeric_limits<int32_t>::max()) | 1);
}

void SearchRates(double in, double out, double tolerance, uint32_t &over, uint32_t &under)
{
    over = 1;
    under = 1;
    if (!(in > 0.0 && out > 0.0) || std::isinf(in) || std::isinf(out))
        return;
    if (!(tolerance >= 0.0))
        tolerance = 0.0;
    double best = std::numeric_limits<double>::infinity();
    for (uint32_t l = 1; l <= ORU_RESAMPLER_MAX_OVER; ++l) {
        const double m = std::min(std::nearbyint(in * l / out), double(std::numeric_limits<int32_t>::max()));
        const double error = std::fabs(out * m / (l * in) - 1.0);
        if (error < best) {
            best = error;
            over = l;
            under = uint32_t(m);
        }
        if (error <= tolerance)
            return;
    }
}

int32_t Scale(int64_t acc, int64_t gain)
{
    const __int128 y = (__int128(acc) * gain) >> 32;
    return int32_t(std::clamp<__int128>(y, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// The polyphase core over n new samples at InputArea; returns the outputs written. dot(first, p) is the inner
// product of phase row p with the window that starts at line sample first.
template <typename Dot> uint32_t Polyphase(OruResampler32 *r, const Geometry &g, int32_t *out, uint32_t n, Dot dot)
{
    const uint32_t over = r->Over;
    const uint32_t wholeStep = r->Under / over, partStep = r->Under % over;
    const int64_t gain = 2 * int64_t(over);
    uint64_t q = r->Phase / over;
    uint32_t rem = r->Phase % over;
    uint32_t written = 0;
    while (q < n) {
        out[written++] = Scale(rem ? dot(q + 1, over - rem) : dot(q, 0), gain);
        q += wholeStep;
        rem += partStep;
        if (rem >= over) {
            rem -= over;
            ++q;
        }
    }
    r->Phase = uint32_t((q - n) * over + rem);
    std::memmove(r->DelayLine, r->DelayLine + n, g.history * sizeof(int32_t));
    return written;
}

template <orures::DotKernel Dot> uint32_t RunWith(OruResampler32 *r, int32_t *out, uint32_t n)
{
    const Geometry g = Measure(r);
    int32_t *d = r->DelayLine;
    // Where K - 1 is not a multiple of L, the last output of a block may reach the sample after it: not known
    // yet, so it counts as 0 rather than whatever an earlier block left there.
    d[g.history + n] = 0;
    const int32_t *rows = PhaseRows(r, g);
    return Polyphase(r, g, out, n,
                     [&](uint64_t first, uint64_t p) { return Dot(d + first, rows + p * g.row, g.row); });
}

#if ORU_RESAMPLER_X86
// Samples of 16- and 8-bit input have low halves of zero, so the split kernels give the same sums, as long as
// the history came from such input too and the taps split exactly.
template <orures::DotKernel Dot, orures::SplitKernel Split>
uint32_t RunSplitWith(OruResampler32 *r, int32_t *out, uint32_t n, bool highHalves)
{
    const Geometry g = Measure(r);
    int32_t *d = r->DelayLine;
    d[g.history + n] = 0;
    int16_t *x = NarrowLine(r, g);
    if (highHalves && *SplitExact(r, g) && orures::Narrow(d, x, g.history + n + 1)) {
        const int16_t *split = SplitRows(r, g);
        return Polyphase(r, g, out, n, [&](uint64_t first, uint64_t p) {
            const int16_t *hi = split + 2 * p * g.split;
            return Split(x + first, hi, hi + g.split, g.row);
        });
    }
    return RunWith<Dot>(r, out, n);
}
#endif

// The structure has no field for the kernel: construction installs one resize routine per variant, and that
// routine names the kernel. A routine the caller installs gets the portable kernel.
template <orures::Variant> int32_t ResizeFor(OruResampler32 *r) { return Resize(r); }

decltype(OruResampler32::ResizeRoutine) PickResize()
{
    switch (orures::PickVariant()) {
    case orures::Variant::Avx2:
        return ResizeFor<orures::Variant::Avx2>;
    case orures::Variant::Sse2:
        return ResizeFor<orures::Variant::Sse2>;
    default:
        return ResizeFor<orures::Variant::Portable>;
    }
}

uint32_t Run(OruResampler32 *r, int32_t *out, uint32_t n, bool highHalves)
{
#if ORU_RESAMPLER_X86
    if (r->ResizeRoutine == ResizeFor<orures::Variant::Avx2>)
        return RunSplitWith<orures::DotAvx2, orures::DotSplitAvx2>(r, out, n, highHalves);
    if (r->ResizeRoutine == ResizeFor<orures::Variant::Sse2>)
        return RunSplitWith<orures::DotSse2, orures::DotSplitSse2>(r, out, n, highHalves);
#endif
    (void)highHalves;
    return RunWith<orures::DotPortable>(r, out, n);
}

struct Pcm8 {
    using Sample = uint8_t;
    static constexpr Sample kSilence = 128;
    static constexpr bool kHighHalves = true;
    static int32_t In(Sample x) { return int32_t(uint32_t(x ^ 0x80u) << 24); }
    static Sample Out(int32_t y) { return Sample((y >> 24) + 128); }
};

struct Pcm16 {
    using Sample = int16_t;
    static constexpr Sample kSilence = 0;
    static constexpr bool kHighHalves = true;
    static int32_t In(Sample x) { return int32_t(x) * 65536; }
    static Sample Out(int32_t y) { return Sample(y >> 16); }
};

struct Pcm32 {
    using Sample = int32_t;
    static constexpr Sample kSilence = 0;
    static constexpr bool kHighHalves = false;
    static int32_t In(Sample x) { return x; }
    static Sample Out(int32_t y) { return y; }
};

// Reads k samples at stride step, starting with sample number first; no input reads as silence.
template <typename Format>
void Load(int32_t *to, const typename Format::Sample *in, uint64_t first, uint32_t k, uint32_t step)
{
    if (!in) {
        std::memset(to, 0, k * sizeof(int32_t));
        return;
    }
    const typename Format::Sample *from = in + first * step;
    for (uint32_t i = 0; i < k; ++i)
        to[i] = Format::In(from[uint64_t(i) * step]);
}

template <typename Format> void Store(typename Format::Sample *to, const int32_t *from, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        to[i] = Format::Out(from[i]);
}

template <typename Format>
int32_t Push(OruResampler32 *r, typename Format::Sample *out, const typename Format::Sample *in, int32_t count,
             int32_t step)
{
    if (!r || !r->Storage || count <= 0)
        return 0;
    const uint32_t stride = AtLeastOne(step);
    r->PendingCount = 0;
    const uint64_t total = (uint64_t(count) + stride - 1) / stride;
    uint64_t taken = 0, written = 0;
    while (taken < total) {
        const uint32_t k = uint32_t(std::min<uint64_t>(total - taken, r->BufferSize));
        Load<Format>(r->InputArea, in, taken, k, stride);
        taken += k;
        if constexpr (std::is_same_v<Format, Pcm32>) {
            written += Run(r, out ? out + written : r->OutputBuffer, k, Format::kHighHalves);
        } else {
            const uint32_t produced = Run(r, r->OutputBuffer, k, Format::kHighHalves);
            if (out)
                Store<Format>(out + written, r->OutputBuffer, produced);
            written += produced;
        }
    }
    return int32_t(written);
}

template <typename Format>
void Pull(OruResampler32 *r, typename Format::Sample *out, const typename Format::Sample *in, int32_t count,
          int32_t step)
{
    if (!r || !out || count <= 0)
        return;
    const uint32_t wanted = uint32_t(count);
    uint32_t done = 0;
    if (r->Storage) {
        const uint32_t stride = AtLeastOne(step);
        // Exactly the inputs the caller was told to provide: reading fewer would drop samples from its stream,
        // reading more would run past its buffer.
        uint32_t inputsLeft = OruResampler32_InSamples(r, wanted);
        uint64_t taken = 0;
        for (;;) {
            const uint32_t deliver = std::min(wanted - done, r->PendingCount);
            Store<Format>(out + done, r->PendingOutput, deliver);
            r->PendingOutput += deliver;
            r->PendingCount -= deliver;
            done += deliver;
            if (inputsLeft == 0)
                break;
            // Nothing is pending here: an output beyond the request needs more than outputs * M / L inputs,
            // so it can only come from the last block.
            const uint32_t k = std::min(inputsLeft, r->BufferSize);
            Load<Format>(r->InputArea, in, taken, k, stride);
            r->PendingCount = Run(r, r->OutputBuffer, k, Format::kHighHalves);
            r->PendingOutput = r->OutputBuffer;
            taken += k;
            inputsLeft -= k;
        }
    }
    // Only a request beyond the 32-bit input count, or an object without storage, gets here short.
    std::fill(out + done, out + wanted, Format::kSilence);
}

} // namespace

OruResampler32 *OruResampler32_Construct(OruResampler32 *r)
{
    const bool owned = !r;
    if (owned) {
        r = static_cast<OruResampler32 *>(MemoryAlloc(sizeof(OruResampler32)));
        if (!r)
            return nullptr;
    }
    *r = OruResampler32{};
    r->BufferSize = 1024;
    r->Over = 1;
    r->TapsNum = 127;
    r->Under = 1;
    r->ResizeRoutine = PickResize();
    r->SetCoefficientsDouble = SetCoefficientsDouble;
    if (!r->ResizeRoutine(r)) {
        if (owned)
            MemoryFree(r);
        return nullptr;
    }
    return r;
}

void OruResampler32_Destruct(OruResampler32 *r, uint32_t flags)
{
    if (!r)
        return;
    MemoryFree(r->Storage);
    r->Storage = nullptr;
    r->StorageSize = 0;
    r->InputArea = r->OutputBuffer = r->DelayLine = r->Coefficients = r->PendingOutput = nullptr;
    r->PendingCount = 0;
    if (flags & 1)
        MemoryFree(r);
}

void OruResampler32_Over(OruResampler32 *r, int32_t over)
{
    if (r)
        Apply(r, AtLeastOne(over), r->Under, r->TapsNum, r->BufferSize);
}

void OruResampler32_Under(OruResampler32 *r, int32_t under)
{
    if (r)
        Apply(r, r->Over, AtLeastOne(under), r->TapsNum, r->BufferSize);
}

void OruResampler32_BufferSize(OruResampler32 *r, int32_t samples)
{
    if (r)
        Apply(r, r->Over, r->Under, r->TapsNum, AtLeastOne(samples));
}

void OruResampler32_TapsNum(OruResampler32 *r, int32_t taps)
{
    if (r)
        Apply(r, r->Over, r->Under, OddTaps(uint64_t(std::max(taps, 0))), r->BufferSize);
}

void OruResampler32_Restart(OruResampler32 *r)
{
    if (!r)
        return;
    r->Phase = 0;
    r->PendingCount = 0;
}

void OruResampler32_Setup(OruResampler32 *r, float inputRate, float outputRate, float tolerance,
                          uint32_t tapsPerPhase)
{
    if (!r)
        return;
    uint32_t over, under;
    SearchRates(inputRate, outputRate, tolerance, over, under);
    Apply(r, over, std::max(under, 1u), OddTaps(uint64_t(over) * tapsPerPhase), r->BufferSize);
    OruResampler32_Restart(r);
}

uint32_t OruResampler32_InSamples(const OruResampler32 *r, uint32_t outputs)
{
    if (!r || outputs <= r->PendingCount)
        return 0;
    const uint64_t needed = (uint64_t(outputs - r->PendingCount) * r->Under + r->Over - 1) / r->Over;
    return uint32_t(std::min<uint64_t>(needed, std::numeric_limits<uint32_t>::max()));
}

int32_t OruResampler32_ProcessIn_16_16(OruResampler32 *r, int16_t *out, const int16_t *in, int32_t count,
                                       int32_t step)
{
    return Push<Pcm16>(r, out, in, count, step);
}

int32_t OruResampler32_ProcessIn_8_8(OruResampler32 *r, uint8_t *out, const uint8_t *in, int32_t count,
                                     int32_t step)
{
    return Push<Pcm8>(r, out, in, count, step);
}

int32_t OruResampler32_ProcessIn_32_32(OruResampler32 *r, int32_t *out, const int32_t *in, int32_t count,
                                       int32_t step)
{
    return Push<Pcm32>(r, out, in, count, step);
}

uint32_t OruResampler32_ProcessIn(OruResampler32 *r, int32_t *out, uint32_t n)
{
    if (!r || !r->Storage)
        return 0;
    if (n == 0 || n > r->BufferSize)
        n = r->BufferSize;
    r->PendingCount = 0;
    return Run(r, out ? out : r->OutputBuffer, n, false);
}

void OruResampler32_ProcessOut_16_16(OruResampler32 *r, int16_t *out, const int16_t *in, int32_t count,
                                     int32_t step)
{
    Pull<Pcm16>(r, out, in, count, step);
}

void OruResampler32_ProcessOut_8_8(OruResampler32 *r, uint8_t *out, const uint8_t *in, int32_t count,
                                   int32_t step)
{
    Pull<Pcm8>(r, out, in, count, step);
}
