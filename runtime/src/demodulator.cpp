// Receiver back end on a 16-bit stream. Per chunk: the input is checked for overload, mixed with a table
// oscillator at LocalFrequency into I and Q, low-pass filtered and decimated by IQDecimation (I/Q rate), the
// I/Q AGC may run, and the Mode's routine turns I/Q into audio:
//   0 envelope, 1 synchronous envelope with a carrier loop, 2 independent sidebands (left lower, right upper),
//   3 product detection against a second oscillator, 4 frequency discriminator.
// Audio is then held AudioUpsample times and low-pass filtered at the output rate (I/Q rate x AudioUpsample).
// Modes 0, 1, 3 and 4 give mono audio that first passes the high-pass and, when enabled, the audio AGC, and is
// written to both channels; mode 2 blocks DC on each channel with a one-pole filter instead.
// I/Q samples travel as int32 scaled by 65536 (the scale of the 16-bit-in, 32-bit-out filters).
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "orurt.h"
#include "otherdsp_internal.h"

using namespace otherdsp;

namespace {

constexpr double kIQScale = 65536.0;
constexpr int32_t kOverloadLevel = 31999;
constexpr double kEnvelopeScale = 0.7071067811865476;
constexpr double kSyncScale = 1.4142135623730951;
constexpr double kLoopPhaseGain = 0.01;
constexpr double kLoopFrequencyGain = 0.000025;
constexpr float kDiscriminatorScale = -341782624.0f; // -2^31 / (2 pi) in single precision
constexpr double kDCBlockPole = 0.995;
constexpr uint32_t kMaxFactor = 256; // largest IQDecimation and AudioUpsample
constexpr uint32_t kTableBits = 10;
constexpr uint32_t kTableSize = 1u << kTableBits;

// Q15 cosine over one cycle, indexed by the top bits of a 32-bit phase; the sine is the same table a quarter
// cycle later.
struct CosineTable {
    int16_t value[kTableSize];
    CosineTable()
    {
        for (uint32_t k = 0; k < kTableSize; ++k)
            value[k] = roundToInt16(32767.0 * std::cos(kTwoPi * k / kTableSize));
    }
};

const CosineTable &cosineTable()
{
    static const CosineTable table;
    return table;
}

inline int32_t tableCos(const CosineTable &t, uint32_t phase) { return t.value[phase >> (32 - kTableBits)]; }

inline int32_t tableSin(const CosineTable &t, uint32_t phase)
{
    return t.value[(phase - (1u << 30)) >> (32 - kTableBits)];
}

// Phase step per sample of an oscillator at `hertz`, 2^32 per cycle; 0 for rates that make no sense.
uint32_t phaseStep(double hertz, double rate)
{
    const double cycles = hertz / rate;
    if (!std::isfinite(cycles))
        return 0;
    return uint32_t(int64_t(std::llround((cycles - std::floor(cycles)) * 4294967296.0)));
}

double iqRate(const OruDemodulator16 *d) { return double(d->SamplingRate) / d->IQDecimation; }

// Most I/Q samples one chunk can give.
uint64_t maxIQ(const OruDemodulator16 *d)
{
    return (uint64_t(d->BufferSize) + d->IQDecimation - 1) / d->IQDecimation + 1;
}

void resetDemodState(OruDemodulator16 *d)
{
    d->ProductPhase = 0;
    d->LoopPhase = 0.0;
    d->LoopFrequency = 0.0;
    for (double &s : d->DCState)
        s = 0.0;
    d->PreviousI = d->PreviousQ = 0.0;
}

int32_t resize(OruDemodulator16 *d)
{
    const uint64_t mix = uint64_t(d->BufferSize) + d->IQDecimation;
    const uint64_t iq = maxIQ(d);
    const uint64_t up = iq * d->AudioUpsample;
    const uint64_t mixBytes = alignedArea(mix, sizeof(int16_t));
    const uint64_t wideBytes = alignedArea(iq, sizeof(int32_t));
    const uint64_t audioBytes = alignedArea(iq, sizeof(int16_t));
    const uint64_t upBytes = alignedArea(up, sizeof(int16_t));
    const uint64_t outBytes = alignedArea(2 * up, sizeof(int16_t));
    const uint64_t total = 2 * mixBytes + 4 * wideBytes + 3 * audioBytes + 2 * upBytes + outBytes;
    if (up > 0x3FFFFFFF || !reserveStorage(d->Storage, d->StorageSize, total))
        return 0;
    auto *p = static_cast<uint8_t *>(d->Storage);
    auto take = [&p](uint64_t bytes) {
        uint8_t *area = p;
        p += bytes;
        return area;
    };
    d->MixI = reinterpret_cast<int16_t *>(take(mixBytes));
    d->MixQ = reinterpret_cast<int16_t *>(take(mixBytes));
    d->BasebandI = reinterpret_cast<int32_t *>(take(wideBytes));
    d->BasebandQ = reinterpret_cast<int32_t *>(take(wideBytes));
    d->HilbertI = reinterpret_cast<int32_t *>(take(wideBytes));
    d->DelayedQ = reinterpret_cast<int32_t *>(take(wideBytes));
    d->AudioLeft = reinterpret_cast<int16_t *>(take(audioBytes));
    d->AudioRight = reinterpret_cast<int16_t *>(take(audioBytes));
    d->TestSignal = reinterpret_cast<int16_t *>(take(audioBytes));
    d->UpLeft = reinterpret_cast<int16_t *>(take(upBytes));
    d->UpRight = reinterpret_cast<int16_t *>(take(upBytes));
    d->OutputBuffer = reinterpret_cast<int16_t *>(take(outBytes));
    d->Pending = 0;
    d->LayoutBufferSize = d->BufferSize;
    d->LayoutDecimation = d->IQDecimation;
    d->LayoutUpsample = d->AudioUpsample;
    // A chunk of mixed samples is always a whole number of decimation periods, filtered in one go.
    const uint32_t decimated = uint32_t((mix + d->IQDecimation - 1) / d->IQDecimation * d->IQDecimation);
    OruFIR_BufferSize(&d->PostMixerI, int32_t(decimated));
    OruFIR_BufferSize(&d->PostMixerQ, int32_t(decimated));
    OruFIR_BufferSize(&d->ISBFilter, int32_t(iq));
    OruDelayLine_BufferSize(&d->ISBDelay, int32_t(iq));
    OruFIR_BufferSize(&d->HighPass, int32_t(iq));
    OruFIR_BufferSize(&d->AudioFilterLeft, int32_t(up));
    OruFIR_BufferSize(&d->AudioFilterRight, int32_t(up));
    return 1;
}

double sampleI(const OruDemodulator16 *d, uint32_t k) { return d->BasebandI[k] / kIQScale; }
double sampleQ(const OruDemodulator16 *d, uint32_t k) { return d->BasebandQ[k] / kIQScale; }

void envelope(OruDemodulator16 *d, uint32_t n)
{
    for (uint32_t k = 0; k < n; ++k)
        d->AudioLeft[k] = roundToInt16(std::hypot(sampleI(d, k), sampleQ(d, k)) * kEnvelopeScale);
}

// The loop turns I/Q by -LoopPhase so that the carrier lies on the Q axis: the error I'Q' / (I'^2 + Q'^2)
// vanishes there and pushes the phase toward it. The frequency term is limited to the post-mixer pass band.
void synchronous(OruDemodulator16 *d, uint32_t n)
{
    const double limit = kTwoPi * d->PostMixerCutOff / iqRate(d);
    for (uint32_t k = 0; k < n; ++k) {
        const double i = sampleI(d, k), q = sampleQ(d, k);
        const double c = std::cos(d->LoopPhase), s = std::sin(d->LoopPhase);
        const double ri = i * c + q * s;
        const double rq = q * c - i * s;
        const double power = ri * ri + rq * rq;
        const double error = power > 0.0 ? ri * rq / power : 0.0;
        d->LoopFrequency -= kLoopFrequencyGain * error;
        if (d->LoopFrequency > limit)
            d->LoopFrequency = limit;
        else if (d->LoopFrequency < -limit)
            d->LoopFrequency = -limit;
        d->LoopPhase += d->LoopFrequency - kLoopPhaseGain * error;
        d->LoopPhase = std::remainder(d->LoopPhase, kTwoPi);
        d->AudioLeft[k] = roundToInt16(kSyncScale * rq);
    }
}

// The type 5 transformer's taps are negative after its centre, so it gives -H(I): the sum then holds the lower
// and the difference the upper sideband. Halved, so that a full-scale sideband stays within int16.
void independentSidebands(OruDemodulator16 *d, uint32_t n)
{
    OruFIR1632_Process_32_32(&d->ISBFilter, d->HilbertI, d->BasebandI, int32_t(n), 1, 1);
    OruDelayLine32_Process_32_32(&d->ISBDelay, d->DelayedQ, d->BasebandQ, int32_t(n), 1);
    double *st = d->DCState; // left x[n-1], y[n-1], right x[n-1], y[n-1]
    for (uint32_t k = 0; k < n; ++k) {
        const double h = d->HilbertI[k] / kIQScale;
        const double q = d->DelayedQ[k] / kIQScale;
        const double lower = 0.5 * (h + q);
        const double upper = 0.5 * (h - q);
        st[1] = lower - st[0] + kDCBlockPole * st[1];
        st[0] = lower;
        st[3] = upper - st[2] + kDCBlockPole * st[3];
        st[2] = upper;
        d->AudioLeft[k] = roundToInt16(st[1]);
        d->AudioRight[k] = roundToInt16(st[3]);
    }
}

void product(OruDemodulator16 *d, uint32_t n)
{
    const CosineTable &table = cosineTable();
    const uint32_t step = phaseStep(d->ProductFrequency, iqRate(d));
    for (uint32_t k = 0; k < n; ++k) {
        const double c = tableCos(table, d->ProductPhase) / 32768.0;
        const double s = tableSin(table, d->ProductPhase) / 32768.0;
        d->AudioLeft[k] = roundToInt16(sampleI(d, k) * c - sampleQ(d, k) * s);
        d->ProductPhase += step;
    }
}

void discriminator(OruDemodulator16 *d, uint32_t n)
{
    for (uint32_t k = 0; k < n; ++k) {
        const double i = sampleI(d, k), q = sampleQ(d, k);
        const double angle = std::atan2(q * d->PreviousI - i * d->PreviousQ, i * d->PreviousI + q * d->PreviousQ);
        d->PreviousI = i;
        d->PreviousQ = q;
        d->AudioLeft[k] = roundToInt16(angle * double(kDiscriminatorScale) / kIQScale);
    }
}

constexpr OruDemodulatorRoutine kRoutines[] = {envelope, synchronous, independentSidebands, product, discriminator};
constexpr uint32_t kModes = sizeof(kRoutines) / sizeof(kRoutines[0]);

void holdUpsample(const int16_t *in, int16_t *out, uint32_t n, uint32_t factor)
{
    for (uint32_t k = 0; k < n; ++k)
        for (uint32_t r = 0; r < factor; ++r)
            *out++ = in[k];
}

void captureTestPoint(OruDemodulator16 *d, uint32_t n)
{
    for (uint32_t k = 0; k < n; ++k) {
        switch (d->TestPoint) {
        case ORU_DEMOD_TEST_I:
            d->TestSignal[k] = roundToInt16(sampleI(d, k));
            break;
        case ORU_DEMOD_TEST_Q:
            d->TestSignal[k] = roundToInt16(sampleQ(d, k));
            break;
        default:
            d->TestSignal[k] = d->AudioLeft[k];
            break;
        }
    }
}

// From n I/Q samples to n * AudioUpsample stereo frames in out.
void processIQ(OruDemodulator16 *d, int16_t *out, uint32_t n)
{
    if (d->IQAGCEnabled != 0)
        OruAGC_Process_Stereo32(&d->IQAGC, d->BasebandI, d->BasebandQ, int32_t(n));
    d->DemodRoutine(d, n);
    if (d->TestPoint != ORU_DEMOD_TEST_NONE)
        captureTestPoint(d, n);

    const bool stereo = d->DemodRoutine == independentSidebands;
    if (!stereo) {
        OruFIR1616_Process_16_16(&d->HighPass, d->AudioLeft, d->AudioLeft, int32_t(n), 1, 1);
        if (d->AudioAGCEnabled != 0)
            OruAGC_Process_Mono16(&d->AudioAGC, d->AudioLeft, int32_t(n), 1);
    }
    const uint32_t factor = d->AudioUpsample;
    const uint32_t frames = n * factor;
    holdUpsample(d->AudioLeft, d->UpLeft, n, factor);
    OruFIR1616_Process_16_16(&d->AudioFilterLeft, d->UpLeft, d->UpLeft, int32_t(frames), 1, 1);
    const int16_t *right = d->UpLeft;
    if (stereo) {
        holdUpsample(d->AudioRight, d->UpRight, n, factor);
        OruFIR1616_Process_16_16(&d->AudioFilterRight, d->UpRight, d->UpRight, int32_t(frames), 1, 1);
        right = d->UpRight;
    }
    for (uint32_t j = 0; j < frames; ++j) {
        out[2 * j] = d->UpLeft[j];
        out[2 * j + 1] = d->TestPoint != ORU_DEMOD_TEST_NONE ? d->TestSignal[j / factor] : right[j];
    }
}

uint32_t clampFactor(int64_t value) { return value < 1 ? 1 : value > kMaxFactor ? kMaxFactor : uint32_t(value); }

// Stores a value that shapes the buffers, lays them out again and brings the filters up to date; when the
// memory cannot be had the old value comes back.
void setGeometry(OruDemodulator16 *d, uint32_t &field, uint32_t value)
{
    if (field == value)
        return;
    const uint32_t old = field;
    field = value;
    if (d->ResizeRoutine(d) == 0)
        field = old;
    else
        OruDemodulator_DemodFiltersUpdate(d);
}

template <typename T> void setFilterValue(OruDemodulator16 *d, T &field, T value)
{
    if (field == value)
        return;
    field = value;
    OruDemodulator_DemodFiltersUpdate(d);
}

// Geometry fields written directly take effect here, so the buffers always fit what processing writes.
bool layoutCurrent(OruDemodulator16 *d)
{
    if (d->BufferSize == d->LayoutBufferSize && d->IQDecimation == d->LayoutDecimation &&
        d->AudioUpsample == d->LayoutUpsample)
        return true;
    d->BufferSize = d->BufferSize < 1 ? 1 : d->BufferSize;
    d->IQDecimation = clampFactor(d->IQDecimation);
    d->AudioUpsample = clampFactor(d->AudioUpsample);
    if (d->ResizeRoutine(d) == 0)
        return false;
    OruDemodulator_DemodFiltersUpdate(d);
    return true;
}

} // namespace

OruDemodulator16 *OruDemodulator16_Construct(OruDemodulator16 *d)
{
    d = objectStorage(d);
    if (d == nullptr)
        return nullptr;
    std::memset(static_cast<void *>(d), 0, sizeof(*d));
    d->ResizeRoutine = resize;
    d->DemodRoutine = kRoutines[0];
    d->BufferSize = 1024;
    d->SamplingRate = 44100.0f;
    d->Mode = ORU_DEMOD_ENVELOPE;
    d->LocalFrequency = 11025.0f;
    d->IQDecimation = 4;
    d->PostMixerCutOff = 3000.0f;
    d->PostMixerLength = 63;
    d->ISBFilterLength = 63;
    d->AudioFilterCutOff = 3000.0f;
    d->AudioFilterLength = 63;
    d->AudioUpsample = 4;
    d->TestPoint = ORU_DEMOD_TEST_NONE;
    d->ProductFrequency = 1000.0f;
    d->IQAGCEnabled = 1;
    d->AudioAGCEnabled = 0;
    OruFIR1632_Construct(&d->PostMixerI);
    OruFIR1632_Construct(&d->PostMixerQ);
    OruFIR_FIRType(&d->PostMixerI, ORU_FIR_LOWPASS);
    OruFIR_FIRType(&d->PostMixerQ, ORU_FIR_LOWPASS);
    OruFIR1632_Construct(&d->ISBFilter);
    OruFIR_FIRType(&d->ISBFilter, ORU_FIR_HILBERT);
    OruDelayLine32_Construct(&d->ISBDelay);
    OruAGC_Construct(&d->IQAGC);
    d->IQAGC.TargetLevel = 16384.0 * kIQScale;
    // Fast attack, slow release: after digital silence (where the gain runs up) a signal is caught quickly.
    d->IQAGC.AttackRate = 0.001;
    OruAGC_Construct(&d->AudioAGC);
    OruFIR1616_Construct(&d->HighPass);
    OruFIR_CutOffLow(&d->HighPass, 300.0f);
    OruFIR_FIRType(&d->HighPass, ORU_FIR_HIGHPASS);
    OruFIR1616_Construct(&d->AudioFilterLeft);
    OruFIR1616_Construct(&d->AudioFilterRight);
    OruFIR_FIRType(&d->AudioFilterLeft, ORU_FIR_LOWPASS);
    OruFIR_FIRType(&d->AudioFilterRight, ORU_FIR_LOWPASS);
    d->ResizeRoutine(d);
    OruDemodulator_DemodFiltersUpdate(d);
    return d;
}

void OruDemodulator_Destruct(OruDemodulator16 *d, uint32_t flags)
{
    if (d == nullptr)
        return;
    OruFIR_Destruct(&d->PostMixerI, 0);
    OruFIR_Destruct(&d->PostMixerQ, 0);
    OruFIR_Destruct(&d->ISBFilter, 0);
    OruDelayLine_Destruct(&d->ISBDelay, 0);
    OruAGC_Destruct(&d->IQAGC, 0);
    OruAGC_Destruct(&d->AudioAGC, 0);
    OruFIR_Destruct(&d->HighPass, 0);
    OruFIR_Destruct(&d->AudioFilterLeft, 0);
    OruFIR_Destruct(&d->AudioFilterRight, 0);
    MemoryFree(d->Storage);
    d->Storage = nullptr;
    d->StorageSize = 0;
    if ((flags & 1) != 0)
        MemoryFree(d);
}

void OruDemodulator_DemodFiltersUpdate(OruDemodulator16 *d)
{
    if (d == nullptr)
        return;
    const float rate = d->SamplingRate;
    const float iq = float(iqRate(d));
    const float out = iq * float(d->AudioUpsample);
    for (OruFIR *fir : {&d->PostMixerI, &d->PostMixerQ}) {
        OruFIR_SamplingRate(fir, rate);
        OruFIR_TapsNum(fir, int32_t(d->PostMixerLength));
        OruFIR_CutOffHigh(fir, d->PostMixerCutOff);
    }
    d->PostMixerLength = d->PostMixerI.TapsNum;
    OruFIR_SamplingRate(&d->ISBFilter, iq);
    OruFIR_TapsNum(&d->ISBFilter, int32_t(d->ISBFilterLength));
    d->ISBFilterLength = d->ISBFilter.TapsNum;
    OruDelayLine_Delay(&d->ISBDelay, int32_t((d->ISBFilter.TapsNum - 1) / 2));
    OruFIR_SamplingRate(&d->HighPass, iq);
    for (OruFIR *fir : {&d->AudioFilterLeft, &d->AudioFilterRight}) {
        OruFIR_SamplingRate(fir, out);
        OruFIR_TapsNum(fir, int32_t(d->AudioFilterLength));
        OruFIR_CutOffHigh(fir, d->AudioFilterCutOff);
    }
    d->AudioFilterLength = d->AudioFilterLeft.TapsNum;
    d->IQAGC.SamplingRate = iq;
    d->AudioAGC.SamplingRate = iq;
}

void OruDemodulator_BufferSize(OruDemodulator16 *d, int32_t samples)
{
    if (d != nullptr)
        setGeometry(d, d->BufferSize, uint32_t(samples < 1 ? 1 : samples));
}

void OruDemodulator_SamplingRate(OruDemodulator16 *d, float hertz)
{
    if (d != nullptr && hertz > 0.0f)
        setFilterValue(d, d->SamplingRate, hertz);
}

void OruDemodulator_Mode(OruDemodulator16 *d, uint32_t mode)
{
    if (d == nullptr || mode >= kModes || mode == d->Mode)
        return;
    d->Mode = mode;
    d->DemodRoutine = kRoutines[mode];
    resetDemodState(d);
}

void OruDemodulator_LocalFrequency(OruDemodulator16 *d, float hertz)
{
    if (d != nullptr)
        d->LocalFrequency = hertz;
}

void OruDemodulator_IQDecimation(OruDemodulator16 *d, int32_t factor)
{
    if (d != nullptr)
        setGeometry(d, d->IQDecimation, clampFactor(factor));
}

void OruDemodulator_PostMixerCutOff(OruDemodulator16 *d, float hertz)
{
    if (d != nullptr)
        setFilterValue(d, d->PostMixerCutOff, hertz);
}

void OruDemodulator_PostMixerLength(OruDemodulator16 *d, int32_t taps)
{
    if (d != nullptr)
        setFilterValue(d, d->PostMixerLength, uint32_t(taps < 3 ? 3 : taps));
}

void OruDemodulator_ISBFilterLength(OruDemodulator16 *d, int32_t taps)
{
    if (d != nullptr)
        setFilterValue(d, d->ISBFilterLength, uint32_t(taps < 3 ? 3 : taps));
}

void OruDemodulator_AudioFilterCutOff(OruDemodulator16 *d, float hertz)
{
    if (d != nullptr)
        setFilterValue(d, d->AudioFilterCutOff, hertz);
}

void OruDemodulator_AudioFilterLength(OruDemodulator16 *d, int32_t taps)
{
    if (d != nullptr)
        setFilterValue(d, d->AudioFilterLength, uint32_t(taps < 3 ? 3 : taps));
}

void OruDemodulator_AudioUpsample(OruDemodulator16 *d, int32_t factor)
{
    if (d != nullptr)
        setGeometry(d, d->AudioUpsample, clampFactor(factor));
}

void OruDemodulator16_TestPoint(OruDemodulator16 *d, uint32_t point)
{
    if (d != nullptr && point <= ORU_DEMOD_TEST_AUDIO)
        d->TestPoint = point;
}

int32_t OruDemodulator16_Process_StereoOut_16_16(OruDemodulator16 *d, int16_t *out, const int16_t *in,
                                                 int32_t count, int32_t step)
{
    if (d == nullptr || d->Storage == nullptr || in == nullptr || !layoutCurrent(d))
        return 0;
    const CosineTable &table = cosineTable();
    const uint32_t decimation = d->IQDecimation;
    const uint32_t mixStep = phaseStep(d->LocalFrequency, d->SamplingRate);
    int32_t n = stridedCount(count, step);
    int32_t written = 0;
    d->ClipCount = 0;
    while (n > 0) {
        const uint32_t k = uint32_t(n) < d->BufferSize ? uint32_t(n) : d->BufferSize;
        int16_t *mi = d->MixI + d->Pending;
        int16_t *mq = d->MixQ + d->Pending;
        for (uint32_t i = 0; i < k; ++i) {
            const int32_t x = in[int64_t(i) * step];
            if (x > kOverloadLevel || x < -kOverloadLevel) {
                ++d->ClipCount;
                d->Overload = 1;
            }
            // Q15 products shifted back: |x * table| < 2^30, so the result stays within int16.
            mi[i] = int16_t((x * tableCos(table, d->LocalPhase)) >> 15);
            mq[i] = int16_t(-((x * tableSin(table, d->LocalPhase)) >> 15));
            d->LocalPhase += mixStep;
        }
        in += int64_t(k) * step;
        n -= int32_t(k);

        const uint32_t mixed = d->Pending + k;
        const uint32_t iq = mixed / decimation;
        const uint32_t used = iq * decimation;
        OruFIR1632_Process_16_32(&d->PostMixerI, d->BasebandI, d->MixI, int32_t(used), 1, int32_t(decimation));
        OruFIR1632_Process_16_32(&d->PostMixerQ, d->BasebandQ, d->MixQ, int32_t(used), 1, int32_t(decimation));
        d->Pending = mixed - used;
        std::memmove(d->MixI, d->MixI + used, d->Pending * sizeof(int16_t));
        std::memmove(d->MixQ, d->MixQ + used, d->Pending * sizeof(int16_t));
        if (iq == 0)
            continue;
        int16_t *target = out != nullptr ? out + 2 * int64_t(written) : d->OutputBuffer;
        processIQ(d, target, iq);
        const int32_t frames = int32_t(iq * d->AudioUpsample);
        written = out != nullptr ? written + frames : frames;
    }
    return written;
}
