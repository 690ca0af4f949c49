// OruFIR: pass-through, setters and their clamping, quantisation, chunking, decimation, frequency responses of the
// designs, bad input, and every processor variant of the kernels against the portable one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../../runtime/src/fir_kernels.h"
#include "orurt.h"

namespace {

using Samples = std::vector<int32_t>;
constexpr int32_t kSentinel = 0x5A5A;
constexpr size_t kGuard = 16;
constexpr double kFs = 11025.0;

// Runs one processing export on a buffer with room for `room` outputs plus a guard zone filled with kSentinel.
template <typename In, typename Out, void (*Process)(OruFIR *, Out *, const In *, int32_t, int32_t, int32_t)>
Samples RunForm(OruFIR *fir, const Samples &in, int32_t count, int32_t step, int32_t decimation, size_t room)
{
    std::vector<In> input(in.begin(), in.end());
    std::vector<Out> output(room + kGuard, Out(kSentinel));
    Process(fir, output.data(), input.data(), count, step, decimation);
    return Samples(output.begin(), output.end());
}

struct Form {
    const char *name;
    OruFIR *(*construct)(OruFIR *);
    orufir::Width width;
    bool input16;       // takes int16 samples
    double outputScale; // output of a unit-gain filter per unit of input
    bool ceiling;       // takes ceil(count/step) inputs
    Samples (*run)(OruFIR *, const Samples &, int32_t, int32_t, int32_t, size_t);
};

const Form kForms[] = {
    {"1616_16_16", OruFIR1616_Construct, orufir::Width::W1616, true, 1.0, false,
     RunForm<int16_t, int16_t, OruFIR1616_Process_16_16>},
    {"1632_16_32", OruFIR1632_Construct, orufir::Width::W1632, true, 65536.0, true,
     RunForm<int16_t, int32_t, OruFIR1632_Process_16_32>},
    {"1632_32_32", OruFIR1632_Construct, orufir::Width::W1632, false, 1.0, true,
     RunForm<int32_t, int32_t, OruFIR1632_Process_32_32>},
    {"3232_16_16", OruFIR3232_Construct, orufir::Width::W3232, true, 1.0, false,
     RunForm<int16_t, int16_t, OruFIR3232_Process_16_16>},
    {"3232_16_32", OruFIR3232_Construct, orufir::Width::W3232, true, 65536.0, false,
     RunForm<int16_t, int32_t, OruFIR3232_Process_16_32>},
    {"3232_32_16", OruFIR3232_Construct, orufir::Width::W3232, false, 1.0 / 65536.0, false,
     RunForm<int32_t, int16_t, OruFIR3232_Process_32_16>},
    {"3232_32_32", OruFIR3232_Construct, orufir::Width::W3232, false, 1.0, false,
     RunForm<int32_t, int32_t, OruFIR3232_Process_32_32>},
};

const Form &FormNamed(const std::string &name)
{
    for (const Form &form : kForms) {
        if (name == form.name)
            return form;
    }
    throw std::invalid_argument(name);
}

Samples Filter(const Form &form, OruFIR *fir, const Samples &in, int32_t step = 1, int32_t decimation = 1)
{
    const int32_t count = int32_t(in.size());
    Samples out = form.run(fir, in, count, step, decimation, in.size());
    out.resize(in.size());
    return out;
}

Samples RandomSamples(std::mt19937 &rng, size_t n, bool sixteenBit)
{
    std::uniform_int_distribution<int32_t> pick(sixteenBit ? -32768 : std::numeric_limits<int32_t>::min(),
                                                sixteenBit ? 32767 : std::numeric_limits<int32_t>::max());
    Samples s(n);
    for (auto &v : s)
        v = pick(rng);
    return s;
}

struct Fir {
    explicit Fir(const Form &form) : fir(form.construct(nullptr)) {}
    ~Fir() { OruFIR_Destruct(fir, 1); }
    Fir(const Fir &) = delete;
    Fir &operator=(const Fir &) = delete;
    OruFIR *operator->() const { return fir; }
    operator OruFIR *() const { return fir; }
    OruFIR *fir;
};

void SetBand(OruFIR *fir, uint32_t type, int32_t taps, float low, float high)
{
    OruFIR_TapsNum(fir, taps);
    OruFIR_FIRType(fir, type);
    OruFIR_CutOffLow(fir, 1.0f);
    OruFIR_CutOffHigh(fir, high);
    OruFIR_CutOffLow(fir, low);
}

bool Aligned64(const void *p) { return reinterpret_cast<uintptr_t>(p) % 64 == 0; }

TEST(OruFIR, ConstructsWithDefaultsInOneAlignedAllocation)
{
    OruFIR local;
    ASSERT_EQ(OruFIR1632_Construct(&local), &local);
    for (OruFIR *fir : {OruFIR1616_Construct(nullptr), &local, OruFIR3232_Construct(nullptr)}) {
        ASSERT_NE(fir, nullptr);
        EXPECT_EQ(fir->TapsNum, 31u);
        EXPECT_EQ(fir->FIRType, 0u);
        EXPECT_EQ(fir->BufferSize, 1024u);
        EXPECT_EQ(fir->CutOffHigh, 3000.0f);
        EXPECT_EQ(fir->CutOffLow, 1000.0f);
        EXPECT_EQ(fir->SamplingRate, 11025.0f);
        EXPECT_TRUE(Aligned64(fir->Coefficients) && Aligned64(fir->DelayLine) && Aligned64(fir->OutputBuffer));
        EXPECT_GT(fir->StorageSize, 0u);
        EXPECT_NE(fir->Kernel, nullptr);
        EXPECT_NE(fir->SetCoefficientsDouble, nullptr);
        EXPECT_NE(fir->SetCoefficientsFloat, nullptr);
        OruFIR_Destruct(fir, fir == &local ? 0 : 1);
    }
    EXPECT_EQ(local.Storage, nullptr);
    OruFIR_Destruct(nullptr, 1);
}

// A fresh object passes its input through 15 samples late, scaled by the quantised unit tap.
TEST(OruFIR, FreshObjectIsADelayedPassThrough)
{
    const struct {
        const char *form;
        int32_t in, out;
    } cases[] = {
        {"1616_16_16", 32767, 32766},   {"1616_16_16", 1, 0},      {"1616_16_16", -1, -1},
        {"1616_16_16", -32768, -32767}, {"1632_16_32", 1, 65534},  {"1632_16_32", -1, -65534},
        {"1632_32_32", 65536, 65534},   {"1632_32_32", 65535, 0},  {"3232_16_16", 32767, 32766},
        {"3232_16_16", 1, 0},           {"3232_16_16", -1, -1},    {"3232_16_32", 1, 65535},
        {"3232_16_32", -1, -65536},     {"3232_32_16", 131072, 1}, {"3232_32_32", 2147483647, 2147483646},
        {"3232_32_32", 1, 0},           {"3232_32_32", -1, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.form) + " " + std::to_string(c.in));
        const Form &form = FormNamed(c.form);
        Fir fir(form);
        Samples in(40, 0);
        in[3] = c.in;
        Samples expected(40, 0);
        expected[3 + 15] = c.out;
        EXPECT_EQ(Filter(form, fir, in), expected);
    }
}

TEST(OruFIR, TapCountIsOddAndAtLeastThree)
{
    const std::pair<int32_t, uint32_t> cases[] = {{10, 11}, {2, 3}, {0, 3}, {-7, 3}, {31, 31}, {64, 65}};
    Fir fir(kForms[0]);
    for (auto [taps, expected] : cases) {
        OruFIR_TapsNum(fir, taps);
        EXPECT_EQ(fir->TapsNum, expected) << taps;
    }
}

TEST(OruFIR, CutOffsAndRateAreClampedAndKeptApart)
{
    struct Case {
        const char *what;
        void (*apply)(OruFIR *);
        float low, high, rate;
    };
    const Case cases[] = {
        {"high above half the rate", [](OruFIR *f) { OruFIR_CutOffHigh(f, 20000.0f); }, 1000.0f, 5512.5f, 11025.0f},
        {"high below low", [](OruFIR *f) { OruFIR_CutOffHigh(f, 500.0f); }, 499.0f, 500.0f, 11025.0f},
        {"high below 2", [](OruFIR *f) { OruFIR_CutOffHigh(f, -5.0f); }, 1.0f, 2.0f, 11025.0f},
        {"high NaN", [](OruFIR *f) { OruFIR_CutOffHigh(f, std::nanf("")); }, 1.0f, 2.0f, 11025.0f},
        {"low at half the rate", [](OruFIR *f) { OruFIR_CutOffLow(f, 5512.5f); }, 5511.5f, 5512.5f, 11025.0f},
        {"low above high", [](OruFIR *f) { OruFIR_CutOffLow(f, 4000.0f); }, 4000.0f, 4001.0f, 11025.0f},
        {"low below 1", [](OruFIR *f) { OruFIR_CutOffLow(f, 0.0f); }, 1.0f, 3000.0f, 11025.0f},
        {"rate below twice high", [](OruFIR *f) { OruFIR_SamplingRate(f, 2000.0f); }, 999.0f, 1000.0f, 2000.0f},
        {"rate below 4", [](OruFIR *f) { OruFIR_SamplingRate(f, 0.0f); }, 1.0f, 2.0f, 4.0f},
    };
    for (const Case &c : cases) {
        Fir fir(kForms[0]);
        c.apply(fir);
        EXPECT_EQ(fir->CutOffLow, c.low) << c.what;
        EXPECT_EQ(fir->CutOffHigh, c.high) << c.what;
        EXPECT_EQ(fir->SamplingRate, c.rate) << c.what;
    }
}

TEST(OruFIR, QuantisationSaturatesAndRoundsTiesToEven)
{
    const double taps[] = {1.0, 2.0, -1.0, -1.5, 0.5, 2.5 / 32767, 3.5 / 32767, -2.5 / 32767, std::nan(""), 0.0, 0.25};
    const int16_t expected16[] = {32767, 32767, -32767, -32768, 16384, 2, 4, -2, 0, 0, 8192};
    Fir fir16(kForms[0]);
    OruFIR_TapsNum(fir16, 11);
    fir16->SetCoefficientsDouble(fir16, taps, 11);
    const auto *c16 = static_cast<const int16_t *>(fir16->Coefficients);
    for (int j = 0; j < 11; ++j)
        EXPECT_EQ(c16[j], expected16[j]) << j;
    for (int j = 11; j < 32; ++j)
        EXPECT_EQ(c16[j], 0) << "padding " << j;

    const double taps32[] = {1.0, -1.0, -1.5, 0.5, 2.5 / 2147483647, -2.5 / 2147483647, 3.5 / 2147483647};
    const int32_t expected32[] = {2147483647, -2147483647, std::numeric_limits<int32_t>::min(), 1073741824, 2, -2, 4};
    Fir fir32(kForms[6]);
    OruFIR_TapsNum(fir32, 7);
    fir32->SetCoefficientsDouble(fir32, taps32, 7);
    const auto *c32 = static_cast<const int32_t *>(fir32->Coefficients);
    for (int j = 0; j < 7; ++j)
        EXPECT_EQ(c32[j], expected32[j]) << j;
    for (int j = 7; j < 16; ++j)
        EXPECT_EQ(c32[j], 0) << "padding " << j;
}

TEST(OruFIR, FloatCoefficientsSetTheTapCount)
{
    Fir fir(kForms[0]);
    const float taps[] = {0.5f, -0.25f, 1.0f, 0.125f};
    fir->SetCoefficientsFloat(fir, taps, 4);
    ASSERT_EQ(fir->TapsNum, 5u);
    const auto *c = static_cast<const int16_t *>(fir->Coefficients);
    const int16_t expected[] = {16384, -8192, 32767, 4096, 0};
    for (int j = 0; j < 5; ++j)
        EXPECT_EQ(c[j], expected[j]) << j;
}

// Every form with a 63-tap low-pass: 3000 samples in chunks of 1024 (and in uneven calls) equal one pass.
TEST(OruFIR, ChunkedProcessingEqualsOnePass)
{
    std::mt19937 rng(1);
    for (const Form &form : kForms) {
        for (int32_t decimation : {1, 2}) {
            SCOPED_TRACE(std::string(form.name) + " decimation " + std::to_string(decimation));
            const Samples in = RandomSamples(rng, 3000, form.input16);
            Fir whole(form), chunked(form), pieces(form);
            for (OruFIR *fir : {whole.fir, chunked.fir, pieces.fir})
                SetBand(fir, ORU_FIR_LOWPASS, 63, 1.0f, 1500.0f);
            OruFIR_BufferSize(whole, 4096);
            Samples reference = Filter(form, whole, in, 1, decimation);
            reference.resize(1500 * 2 / decimation);
            Samples out = Filter(form, chunked, in, 1, decimation);
            out.resize(reference.size());
            EXPECT_EQ(out, reference);

            Samples joined;
            size_t at = 0;
            for (size_t piece : {2, 8, 500, 1490, 1000}) {
                const Samples part(in.begin() + at, in.begin() + at + piece);
                Samples got = Filter(form, pieces, part, 1, decimation);
                joined.insert(joined.end(), got.begin(), got.begin() + piece / decimation);
                at += piece;
            }
            EXPECT_EQ(joined, reference);
        }
    }
}

TEST(OruFIR, FiltersInPlace)
{
    std::mt19937 rng(2);
    Fir separate(kForms[0]), inPlace(kForms[0]);
    SetBand(separate, ORU_FIR_LOWPASS, 127, 1.0f, 1000.0f);
    SetBand(inPlace, ORU_FIR_LOWPASS, 127, 1.0f, 1000.0f);
    const Samples in = RandomSamples(rng, 3000, true);
    const Samples expected = Filter(kForms[0], separate, in);
    std::vector<int16_t> buffer(in.begin(), in.end());
    OruFIR1616_Process_16_16(inPlace, buffer.data(), buffer.data(), 3000, 1, 1);
    EXPECT_EQ(Samples(buffer.begin(), buffer.end()), expected);
}

// With only the newest tap set (0.5), each output is half the last input of its window.
TEST(OruFIR, StepAndDecimationPickTheWindows)
{
    const struct {
        const char *form;
        int32_t count, step, decimation;
        std::vector<int32_t> windowEnds; // input indices
    } cases[] = {
        {"1616_16_16", 10, 1, 2, {0, 2, 4, 6, 8}}, {"1616_16_16", 10, 1, 3, {0, 3, 6}},
        {"1616_16_16", 10, 2, 1, {0, 2, 4, 6, 8}}, {"1616_16_16", 9, 2, 1, {0, 2, 4, 6}},
        {"1632_16_32", 9, 2, 1, {0, 2, 4, 6, 8}},  {"1632_16_32", 10, 3, 2, {0, 6}},
        {"3232_16_16", 11, 2, 2, {0, 4}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.form) + " count " + std::to_string(c.count) + " step " + std::to_string(c.step) +
                     " decimation " + std::to_string(c.decimation));
        const Form &form = FormNamed(c.form);
        Fir fir(form);
        OruFIR_TapsNum(fir, 5);
        const double taps[] = {0, 0, 0, 0, 0.5};
        fir->SetCoefficientsDouble(fir, taps, 5);
        Samples in(c.count);
        for (int32_t i = 0; i < c.count; ++i)
            in[i] = 100 * (i + 1);
        const Samples out = form.run(fir, in, c.count, c.step, c.decimation, c.windowEnds.size());
        Samples expected(c.windowEnds.size() + kGuard, kSentinel);
        for (size_t i = 0; i < c.windowEnds.size(); ++i)
            expected[i] = int32_t(std::lround(in[c.windowEnds[i]] / 2.0 * form.outputScale));
        EXPECT_EQ(Samples(out.begin(), out.begin() + expected.size()), expected);
    }
}

// The history after a chunk starts where the next decimated window would: inputs past the last full step are
// dropped. With only the oldest of 5 taps set, an output shows the input 4 places before its window's end.
TEST(OruFIR, DecimationDropsTheRemainderOfAChunk)
{
    const Form &form = kForms[0];
    Fir fir(form);
    OruFIR_TapsNum(fir, 5);
    const double taps[] = {0.5, 0, 0, 0, 0};
    fir->SetCoefficientsDouble(fir, taps, 5);
    Samples first(10);
    for (int32_t i = 0; i < 10; ++i)
        first[i] = 100 * (i + 1);
    const Samples out = Filter(form, fir, first, 1, 3);
    EXPECT_EQ(Samples(out.begin(), out.begin() + 3), (Samples{0, 0, 150}));
    const Samples next = Filter(form, fir, Samples(6, 7000), 1, 3);
    // the first call's input 9 is gone: its history ends at input 8, so the oldest taps meet inputs 5 and 8
    EXPECT_EQ(Samples(next.begin(), next.begin() + 2), (Samples{300, 450}));
}

double GainDb(const Form &form, uint32_t type, int32_t taps, float low, float high, double frequency)
{
    Fir fir(form);
    SetBand(fir, type, taps, low, high);
    const size_t n = 8192 + taps;
    Samples in(n);
    for (size_t i = 0; i < n; ++i)
        in[i] = int32_t(std::lround(16000.0 * std::sin(2 * std::numbers::pi * frequency * i / kFs)));
    const Samples out = Filter(form, fir, in);
    double inPower = 0, outPower = 0;
    for (size_t i = taps; i < n; ++i) {
        inPower += double(in[i]) * in[i];
        const double y = out[i] / form.outputScale;
        outPower += y * y;
    }
    return 10 * std::log10(std::max(outPower, 1e-30) / inPower);
}

// Swept sines against what each design promises: flat pass band, deep stop band, half amplitude at the edge.
TEST(OruFIR, FrequencyResponsesMatchTheDesigns)
{
    constexpr double kStop = -55.0;
    const struct {
        const char *what;
        uint32_t type;
        int32_t taps;
        float low, high;
        std::vector<double> pass, stop;
    } designs[] = {
        {"low-pass 1000", ORU_FIR_LOWPASS, 127, 1.0f, 1000.0f, {50, 300, 600}, {1400, 2500, 5000}},
        {"high-pass 1000", ORU_FIR_HIGHPASS, 127, 1000.0f, 3000.0f, {1400, 3000, 5000}, {50, 300, 600}},
        {"band-pass 1000-2000", ORU_FIR_BANDPASS, 127, 1000.0f, 2000.0f, {1350, 1500, 1650}, {300, 600, 2400, 4000}},
        {"band-stop 1000-2000", ORU_FIR_BANDSTOP, 127, 1000.0f, 2000.0f, {300, 600, 2400, 4000}, {1350, 1500, 1650}},
        {"average of 11", ORU_FIR_AVERAGE, 11, 1.0f, 3000.0f, {20}, {kFs / 11, 2 * kFs / 11}},
        {"Hilbert", ORU_FIR_HILBERT, 63, 1.0f, 3000.0f, {1000, 2756.25, 4500}, {}},
        {"pass-through", ORU_FIR_PASS, 31, 1.0f, 3000.0f, {100, 2000, 5000}, {}},
    };
    for (const char *name : {"1616_16_16", "1632_16_32", "3232_16_16"}) {
        const Form &form = FormNamed(name);
        for (const auto &d : designs) {
            SCOPED_TRACE(std::string(name) + " " + d.what);
            for (double f : d.pass)
                EXPECT_NEAR(GainDb(form, d.type, d.taps, d.low, d.high, f), 0.0, 0.1) << f << " Hz";
            for (double f : d.stop)
                EXPECT_LT(GainDb(form, d.type, d.taps, d.low, d.high, f), kStop) << f << " Hz";
        }
        EXPECT_NEAR(GainDb(form, ORU_FIR_LOWPASS, 127, 1.0f, 1000.0f, 1000.0), -6.02, 0.3) << name;
        EXPECT_NEAR(GainDb(form, ORU_FIR_HIGHPASS, 127, 1000.0f, 3000.0f, 1000.0), -6.02, 0.3) << name;
    }
}

// The high-pass is the low-pass minus the input: its output is -(input - low-pass).
TEST(OruFIR, HighPassHasInvertedPolarity)
{
    std::mt19937 rng(3);
    const Form &form = kForms[0];
    Fir low(form), high(form);
    SetBand(low, ORU_FIR_LOWPASS, 63, 1.0f, 800.0f);
    SetBand(high, ORU_FIR_HIGHPASS, 63, 800.0f, 3000.0f);
    Samples in = RandomSamples(rng, 2000, true);
    for (auto &v : in)
        v /= 2;
    const Samples lp = Filter(form, low, in), hp = Filter(form, high, in);
    for (size_t i = 31; i < in.size(); ++i)
        ASSERT_NEAR(hp[i], -(in[i - 31] - lp[i]), 4) << i;
}

// A sine comes out of the Hilbert transformer as the cosine, delayed by half the length.
TEST(OruFIR, HilbertShiftsBy90Degrees)
{
    const Form &form = kForms[0];
    Fir fir(form);
    SetBand(fir, ORU_FIR_HILBERT, 63, 1.0f, 3000.0f);
    const double w = 2 * std::numbers::pi * 2000.0 / kFs;
    Samples in(3000);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = int32_t(std::lround(16000.0 * std::sin(w * i)));
    const Samples out = Filter(form, fir, in);
    for (size_t i = 63; i < in.size(); ++i)
        ASSERT_NEAR(out[i], 16000.0 * std::cos(w * (double(i) - 31)), 80.0) << i;
}

TEST(OruFIR, OnlyLayoutChangesClearTheHistory)
{
    const struct {
        const char *what;
        void (*apply)(OruFIR *);
        bool clears;
    } cases[] = {
        {"same values again",
         [](OruFIR *f) {
             OruFIR_TapsNum(f, 31);
             OruFIR_BufferSize(f, 1024);
             OruFIR_FIRType(f, ORU_FIR_LOWPASS);
             OruFIR_CutOffHigh(f, 1000.0f);
             OruFIR_CutOffLow(f, 1.0f);
             OruFIR_SamplingRate(f, 11025.0f);
         },
         false},
        {"new cut-off", [](OruFIR *f) { OruFIR_CutOffHigh(f, 1200.0f); }, false},
        {"new type", [](OruFIR *f) { OruFIR_FIRType(f, ORU_FIR_AVERAGE); }, false},
        {"new tap count", [](OruFIR *f) { OruFIR_TapsNum(f, 33); }, true},
        {"new buffer size", [](OruFIR *f) { OruFIR_BufferSize(f, 100); }, true},
    };
    const Form &form = kForms[0];
    for (const auto &c : cases) {
        Fir fir(form);
        SetBand(fir, ORU_FIR_LOWPASS, 31, 1.0f, 1000.0f);
        Filter(form, fir, Samples(100, 20000));
        c.apply(fir);
        const Samples out = Filter(form, fir, Samples(20, 0));
        EXPECT_EQ(out == Samples(20, 0), c.clears) << c.what;
    }
}

TEST(OruFIR, BadCountsStepsAndSizesAreSafe)
{
    const struct {
        const char *form;
        int32_t count, step, decimation;
        size_t outputs;
    } cases[] = {
        {"1616_16_16", 0, 1, 1, 0},  {"1616_16_16", -5, 1, 1, 0}, {"1616_16_16", 2, 3, 1, 0},
        {"3232_32_32", 2, 3, 1, 0},  {"1632_16_32", 2, 3, 1, 1},  {"1632_16_32", 0, 3, 1, 0},
        {"1616_16_16", 3, 0, 1, 3},  {"1616_16_16", 3, -2, 1, 3}, {"1616_16_16", 4, 1, 0, 4},
        {"1616_16_16", 4, 1, -3, 4}, {"1616_16_16", 5, 1, 9, 0},  {"3232_16_16", 7, 1, 2, 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.form) + " count " + std::to_string(c.count) + " step " + std::to_string(c.step) +
                     " decimation " + std::to_string(c.decimation));
        const Form &form = FormNamed(c.form);
        Fir fir(form);
        const Samples in(8, 1000);
        const Samples out = form.run(fir, in, c.count, c.step, c.decimation, 0);
        for (size_t i = c.outputs; i < out.size(); ++i)
            ASSERT_EQ(out[i], kSentinel) << "written at " << i;
        for (size_t i = 0; i < c.outputs; ++i)
            EXPECT_NE(out[i], kSentinel) << "not written at " << i;
    }

    Fir fir(kForms[0]);
    int16_t out[4] = {7, 7, 7, 7};
    OruFIR1616_Process_16_16(nullptr, out, out, 4, 1, 1);
    OruFIR1616_Process_16_16(fir, out, nullptr, 4, 1, 1);
    Fir other(kForms[6]);
    OruFIR1616_Process_16_16(other, out, out, 4, 1, 1);
    OruFIR3232_Process2(fir, reinterpret_cast<int32_t *>(out), 2, 1);
    for (int16_t v : out)
        EXPECT_EQ(v, 7) << "a process call on a wrong object wrote";
}

TEST(OruFIR, OutOfRangeSettingsKeepAWorkingFilter)
{
    std::mt19937 rng(4);
    const Form &form = kForms[0];
    const Samples in = RandomSamples(rng, 500, true);
    Fir reference(form);
    const Samples expected = Filter(form, reference, in);

    Fir fir(form);
    OruFIR_FIRType(fir, 7);
    EXPECT_EQ(fir->FIRType, 0u);
    OruFIR_TapsNum(fir, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(fir->TapsNum, 31u);
    OruFIR_BufferSize(fir, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(fir->BufferSize, 1024u);
    EXPECT_EQ(Filter(form, fir, in), expected);

    for (int32_t size : {0, -4}) {
        Fir tiny(form);
        OruFIR_BufferSize(tiny, size);
        EXPECT_EQ(tiny->BufferSize, 1u);
        EXPECT_EQ(Filter(form, tiny, in), expected);
    }
}

TEST(OruFIR, NullOutputLeavesTheLastChunkInTheObject)
{
    std::mt19937 rng(5);
    const Form &form = kForms[0];
    const Samples in = RandomSamples(rng, 300, true);
    Fir withOut(form), withoutOut(form);
    OruFIR_BufferSize(withOut, 128);
    OruFIR_BufferSize(withoutOut, 128);
    const Samples expected = Filter(form, withOut, in);
    const std::vector<int16_t> input(in.begin(), in.end());
    OruFIR1616_Process_16_16(withoutOut, nullptr, input.data(), 300, 1, 1);
    const auto *kept = static_cast<const int16_t *>(withoutOut->OutputBuffer);
    EXPECT_EQ(Samples(kept, kept + 44), Samples(expected.begin() + 256, expected.end()));
}

// Process2 on a Hilbert transformer with an odd half-length equals the full 32-bit kernel.
TEST(OruFIR, Process2MatchesTheFullKernelOnAHilbertTransformer)
{
    std::mt19937 rng(6);
    for (int32_t decimation : {1, 2}) {
        Fir full(kForms[6]), halved(kForms[6]);
        for (OruFIR *fir : {full.fir, halved.fir}) {
            OruFIR_TapsNum(fir, 31);
            OruFIR_FIRType(fir, ORU_FIR_HILBERT);
            OruFIR_BufferSize(fir, 256);
        }
        const Samples in = RandomSamples(rng, 1024, false);
        const Samples expected = Filter(kForms[6], full, in, 1, decimation);
        Samples got;
        for (size_t at = 0; at < in.size(); at += 256) {
            std::copy(in.begin() + at, in.begin() + at + 256, static_cast<int32_t *>(halved->DelayInput));
            std::vector<int32_t> out(256 + kGuard, kSentinel);
            OruFIR3232_Process2(halved, out.data(), at == 0 ? 0 : 256, decimation);
            for (size_t i = 256 / decimation; i < out.size(); ++i)
                ASSERT_EQ(out[i], kSentinel);
            got.insert(got.end(), out.begin(), out.begin() + 256 / decimation);
        }
        EXPECT_EQ(got, Samples(expected.begin(), expected.begin() + got.size())) << decimation;
    }

    Fir fir(kForms[6]);
    OruFIR_BufferSize(fir, 8);
    std::vector<int32_t> out(8 + kGuard, kSentinel);
    OruFIR3232_Process2(fir, out.data(), 1000, 1);
    EXPECT_NE(out[7], kSentinel);
    EXPECT_EQ(out[8], kSentinel) << "wrote past BufferSize";
    out.assign(out.size(), kSentinel);
    OruFIR3232_Process2(fir, out.data(), -1, 1);
    EXPECT_EQ(out[0], kSentinel);
}

// Every kernel this processor runs, and the one the library picked, against the portable kernel: random taps
// and samples over the whole range (so sums wrap), odd tap counts around the vector widths, decimation, chunking.
TEST(OruFIRVariants, EveryKernelMatchesThePortableOne)
{
    std::mt19937 rng(7);
    for (const Form &form : kForms) {
        std::vector<std::pair<std::string, orufir::Kernel>> kernels;
        for (orufir::Variant variant : orufir::kVariants) {
            if (orufir::Available(variant) && orufir::KernelOf(form.width, variant))
                kernels.emplace_back(orufir::VariantName(variant), orufir::KernelOf(form.width, variant));
        }
        {
            Fir picked(form);
            kernels.emplace_back("selected", picked->Kernel);
        }
        const bool taps16 = form.width != orufir::Width::W3232;
        for (const auto &[name, kernel] : kernels) {
            for (int32_t taps : {3, 5, 15, 31, 33, 127, 255}) {
                for (int32_t decimation : {1, 2, 3, 7}) {
                    SCOPED_TRACE(std::string(form.name) + " " + name + " taps " + std::to_string(taps) +
                                 " decimation " + std::to_string(decimation));
                    Fir reference(form), variant(form);
                    const Samples c = RandomSamples(rng, taps, taps16);
                    for (OruFIR *fir : {reference.fir, variant.fir}) {
                        OruFIR_TapsNum(fir, taps);
                        OruFIR_BufferSize(fir, 97);
                        for (int32_t j = 0; j < taps; ++j) {
                            if (taps16)
                                static_cast<int16_t *>(fir->Coefficients)[j] = int16_t(c[j]);
                            else
                                static_cast<int32_t *>(fir->Coefficients)[j] = c[j];
                        }
                    }
                    reference->Kernel = orufir::KernelOf(form.width, orufir::Variant::Portable);
                    variant->Kernel = kernel;
                    for (int call = 0; call < 4; ++call) {
                        const Samples in = RandomSamples(rng, 50 + 60 * call, form.input16);
                        ASSERT_EQ(Filter(form, variant, in, 1, decimation), Filter(form, reference, in, 1, decimation));
                    }
                    // the one sum that only wraps in the pairwise 16-bit multiply-add: every product is 2^30
                    const Samples extreme(taps + 64, form.input16 ? -32768 : std::numeric_limits<int32_t>::min());
                    for (OruFIR *fir : {reference.fir, variant.fir}) {
                        for (int32_t j = 0; j < taps; ++j) {
                            if (taps16)
                                static_cast<int16_t *>(fir->Coefficients)[j] = -32768;
                            else
                                static_cast<int32_t *>(fir->Coefficients)[j] = std::numeric_limits<int32_t>::min();
                        }
                    }
                    ASSERT_EQ(Filter(form, variant, extreme, 1, decimation),
                              Filter(form, reference, extreme, 1, decimation));
                }
            }
        }
    }
}

} // namespace
