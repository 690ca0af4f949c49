// OruFSKCorrDemod16: window length, the correlation against a direct per-sample model, steady tones,
// continuity across blocks, the null-output form, strides, bad input, and the vector kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kernel_choice.h"
#include "orurt.h"

namespace {

struct Settings {
    float rate = 11025, bitRate = 100, tone1 = 1000, tone2 = 1170;
    uint32_t bufferSize = 512;
};

class Demod {
public:
    explicit Demod(const Settings &s = {}, Kernel kernel = Kernel::Avx2)
    {
        KernelScope scope(kernel);
        d_ = OruFSKCorrDemod16_Construct(nullptr);
        OruFSKCorrDemod_BufferSize(d_, s.bufferSize);
        OruFSKCorrDemod_SamplingRate(d_, s.rate);
        OruFSKCorrDemod_BitRate(d_, s.bitRate);
        d_->Tone1Frequency = s.tone1;
        d_->Tone2Frequency = s.tone2;
    }
    ~Demod() { OruFSKCorrDemod_Destruct(d_, 1); }
    Demod(const Demod &) = delete;
    Demod &operator=(const Demod &) = delete;
    OruFSKCorrDemod16 *operator->() const { return d_; }
    OruFSKCorrDemod16 *get() const { return d_; }

    std::vector<int16_t> Run(const std::vector<int16_t> &in) const
    {
        std::vector<int16_t> out(in.size());
        OruFSKCorrDemod16_Process_16_16(d_, in.data(), out.data(), int32_t(in.size()), 1);
        return out;
    }

private:
    OruFSKCorrDemod16 *d_;
};

// The demodulator's state, to compare bit for bit.
struct State {
    std::vector<float> ring;
    uint32_t position;
    float phase1, phase2, sums[4];

    explicit State(const OruFSKCorrDemod16 *d)
        : ring(d->Ring, d->Ring + d->RingLength), position(d->RingPosition), phase1(d->Phase1),
          phase2(d->Phase2), sums{d->Sum1Cos, d->Sum1Sin, d->Sum2Sin, d->Sum2Cos}
    {
    }
    bool operator==(const State &o) const
    {
        return ring.size() == o.ring.size() && std::memcmp(ring.data(), o.ring.data(), ring.size() * 4) == 0 &&
               position == o.position && std::memcmp(&phase1, &o.phase1, 4) == 0 &&
               std::memcmp(&phase2, &o.phase2, 4) == 0 && std::memcmp(sums, o.sums, sizeof sums) == 0;
    }
};

// FSK at 100 bit/s with random bits and noise; a few full-scale samples.
std::vector<int16_t> FskSignal(size_t n, const Settings &s, uint32_t seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 2000.0);
    std::vector<int16_t> x(n);
    double phase = 0;
    bool bit = false;
    const size_t symbol = size_t(s.rate / s.bitRate);
    for (size_t i = 0; i < n; ++i) {
        if (i % symbol == 0)
            bit = random() & 1;
        phase += 2 * M_PI * (bit ? s.tone1 : s.tone2) / s.rate;
        const double v = 14000 * std::sin(phase) + noise(random);
        x[i] = i % 97 == 5 ? int16_t(-32768) : int16_t(std::lround(std::clamp(v, -32768.0, 32767.0)));
    }
    return x;
}

// The correlation computed directly, sample by sample, with the C library's sine and cosine, in one chunk.
class DirectModel {
public:
    explicit DirectModel(const Settings &s)
        : n_(std::max(2.0, std::nearbyint(double(s.rate) / s.bitRate + 0.5))), ring_(4 * size_t(n_)),
          w1_(2 * M_PI * s.tone1 / s.rate), w2_(2 * M_PI * s.tone2 / s.rate)
    {
    }

    int16_t Step(int16_t sample)
    {
        const double x = sample;
        const double products[4] = {x * std::cos(p1_), x * std::sin(p1_), x * std::sin(p2_), x * std::cos(p2_)};
        for (int k = 0; k < 4; ++k) {
            float &slot = ring_[g_ + k];
            sums_[k] = float((double(sums_[k]) - slot) + products[k]);
            slot = float(products[k]);
        }
        const double m1 = std::sqrt(double(sums_[0]) * sums_[0] + double(sums_[1]) * sums_[1]);
        const double m2 = std::sqrt(double(sums_[2]) * sums_[2] + double(sums_[3]) * sums_[3]);
        const double v = std::nearbyint((m1 - m2) / n_);
        p1_ += w1_;
        p2_ += w2_;
        g_ = (g_ + 4) % ring_.size();
        return int16_t(std::clamp(v, -32768.0, 32767.0));
    }

    const std::vector<float> &Ring() const { return ring_; }
    const float *Sums() const { return sums_; }

private:
    double n_;
    std::vector<float> ring_;
    double w1_, w2_, p1_ = 0, p2_ = 0;
    float sums_[4] = {};
    size_t g_ = 0;
};

TEST(OruFSKCorrDemod16, ConstructsWithTheDocumentedDefaults)
{
    OruFSKCorrDemod16 storage;
    OruFSKCorrDemod16 *d = OruFSKCorrDemod16_Construct(&storage);
    ASSERT_EQ(d, &storage);
    EXPECT_EQ(d->BufferSize, 512u);
    EXPECT_EQ(d->SamplingRate, 22050.0f);
    EXPECT_EQ(d->Tone1Frequency, 1200.0f);
    EXPECT_EQ(d->Tone2Frequency, 2200.0f);
    EXPECT_EQ(d->BitRate, 1200.0f);
    EXPECT_EQ(d->WindowLength, 19u);
    EXPECT_EQ(d->RingLength, 76u);
    EXPECT_GE(d->RingCapacity, 76u);
    EXPECT_EQ(d->RingPosition, 0u);
    EXPECT_EQ(d->Phase1, 0.0f);
    EXPECT_EQ(d->Sum2Cos, 0.0f);
    ASSERT_NE(d->WorkBuffer, nullptr);
    ASSERT_NE(d->Ring, nullptr);
    ASSERT_NE(d->ProcessRoutine, nullptr);
    ASSERT_NE(d->UpdateRoutine, nullptr);
    ASSERT_NE(d->ResizeRoutine, nullptr);
    OruFSKCorrDemod_Destruct(d, 0);
    OruFSKCorrDemod_Destruct(nullptr, 1);
}

TEST(OruFSKCorrDemod16, WindowLengthIsRateOverBitRateRoundedHalfEven)
{
    struct Case {
        float rate, bitRate;
        uint32_t n;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const Case c : {Case{22050, 1200, 19},
                         {11025, 100, 111},
                         {8000, 50, 160},
                         {8000, 100, 80},
                         {8000, 6000, 2},
                         {8000, 8000, 2},
                         {8000, 5000, 2},
                         {8000, 3000, 3},
                         {11025, 0, 2},
                         {11025, -100, 2},
                         {0, 100, 2},
                         {-8000, 100, 2},
                         {nan, 100, 2}}) {
        Demod d;
        OruFSKCorrDemod_SamplingRate(d.get(), c.rate);
        OruFSKCorrDemod_BitRate(d.get(), c.bitRate);
        EXPECT_EQ(d->WindowLength, c.n) << c.rate << " / " << c.bitRate;
        EXPECT_EQ(d->RingLength, 4 * c.n) << c.rate << " / " << c.bitRate;
        EXPECT_GE(d->RingCapacity, 4 * c.n);
    }
}

TEST(OruFSKCorrDemod16, MatchesTheDirectCorrelation)
{
    // One chunk, so that no phase is rounded to a float in between: every output and the final state are exact.
    const Settings configurations[] = {{11025, 100, 1000, 1170, 4096},
                                       {22050, 1200, 1200, 2200, 4096},
                                       {8000, 50, 1500, 2500, 4096},
                                       {11025, 3000, 400, 5000, 4096}};
    for (const Settings &s : configurations) {
        const std::vector<int16_t> x = FskSignal(4000, s, uint32_t(s.bitRate));
        DirectModel model(s);
        std::vector<int16_t> expected;
        for (int16_t v : x)
            expected.push_back(model.Step(v));
        for (Kernel kernel : AvailableKernels()) {
            SCOPED_TRACE(testing::Message() << "bit rate " << s.bitRate << " kernel " << int(kernel));
            Demod d(s, kernel);
            EXPECT_EQ(d.Run(x), expected);
            EXPECT_EQ(std::memcmp(d->Ring, model.Ring().data(), model.Ring().size() * 4), 0);
            EXPECT_EQ(std::memcmp(&d->Sum1Cos, model.Sums(), 16), 0);
        }
    }
}

TEST(OruFSKCorrDemod16, SteadyTonesAndSilence)
{
    // 80-sample window with whole numbers of cycles of both tones: a tone gives exactly A/2 once the window is full.
    const Settings s{8000, 100, 1000, 2000, 512};
    constexpr double kAmplitude = 20000;
    struct Case {
        float frequency, amplitude;
        int expected;
    };
    for (const Case c : {Case{1000, kAmplitude, 10000}, {2000, kAmplitude, -10000}, {1000, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << c.frequency << " Hz, amplitude " << c.amplitude);
        std::vector<int16_t> x(400);
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = int16_t(std::lround(c.amplitude * std::sin(2 * M_PI * c.frequency * double(i) / s.rate)));
        Demod d(s);
        ASSERT_EQ(d->WindowLength, 80u);
        const std::vector<int16_t> out = d.Run(x);
        for (size_t i = 79; i < out.size(); ++i)
            ASSERT_NEAR(out[i], c.expected, 2) << "sample " << i;
        // Before that the cleared ring contributes zeros: the output grows from 0 towards A/2.
        for (size_t i = 0; i + 1 < 79 && c.expected != 0; ++i)
            ASSERT_LT(std::abs(out[i]), std::abs(c.expected) * double(i + 3) / 80) << "sample " << i;
    }
}

TEST(OruFSKCorrDemod16, SaturatesTheOneResultThatDoesNotFit)
{
    // A full-scale negative constant against a 0 Hz tone 1 (M1 = 32768 N) and a Nyquist tone 2 (M2 = 0) gives
    // exactly +32768, which is stored as 32767; the opposite case is -32768 and fits.
    for (bool swapped : {false, true}) {
        const Settings s{8000, 800, swapped ? 4000.0f : 0.0f, swapped ? 0.0f : 4000.0f, 512};
        Demod d(s);
        ASSERT_EQ(d->WindowLength, 10u);
        const std::vector<int16_t> out = d.Run(std::vector<int16_t>(100, -32768));
        for (size_t i = 10; i < out.size(); ++i)
            ASSERT_EQ(out[i], swapped ? -32768 : 32767) << "sample " << i;
    }
}

TEST(OruFSKCorrDemod16, OnlyAChangedRateStartsAFreshWindow)
{
    Demod d;
    const std::vector<int16_t> x = FskSignal(300, Settings{}, 3);
    d.Run(x);
    const State running(d.get());
    ASSERT_NE(running.position, 0u);
    ASSERT_NE(running.sums[0], 0.0f);

    OruFSKCorrDemod_BitRate(d.get(), 100.0f);
    OruFSKCorrDemod_SamplingRate(d.get(), 11025.0f);
    OruFSKCorrDemod_BufferSize(d.get(), 512);
    EXPECT_TRUE(State(d.get()) == running);

    for (bool bitRate : {true, false}) {
        d.Run(x);
        const float phase1 = d->Phase1;
        if (bitRate)
            OruFSKCorrDemod_BitRate(d.get(), 150.0f);
        else
            OruFSKCorrDemod_SamplingRate(d.get(), 8000.0f);
        const State fresh(d.get());
        EXPECT_EQ(fresh.position, 0u);
        EXPECT_EQ(fresh.ring, std::vector<float>(d->RingLength, 0.0f));
        EXPECT_EQ(fresh.sums[0] + fresh.sums[1] + fresh.sums[2] + fresh.sums[3], 0.0f);
        EXPECT_EQ(fresh.phase1, phase1); // phases run on
    }
}

TEST(OruFSKCorrDemod16, BlocksJoinWithoutASeam)
{
    const Settings s{11025, 100, 1000, 1170, 512};
    const std::vector<int16_t> x = FskSignal(508, s, 11);
    Demod whole(s);
    const std::vector<int16_t> expected = whole.Run(x);

    // Phases are rounded to floats at every chunk end; that may move an output by one.
    auto expectClose = [&](const std::vector<int16_t> &out) {
        ASSERT_EQ(out.size(), expected.size());
        for (size_t i = 0; i < out.size(); ++i)
            ASSERT_LE(std::abs(out[i] - expected[i]), 1) << "sample " << i;
    };
    struct Case {
        bool nullOutput;
        uint32_t bufferSize;
    };
    for (const Case c : {Case{false, 512}, {true, 512}, {false, 3}, {true, 500}}) {
        SCOPED_TRACE(testing::Message() << (c.nullOutput ? "null output" : "output") << ", buffer " << c.bufferSize);
        Demod d({s.rate, s.bitRate, s.tone1, s.tone2, c.bufferSize});
        std::vector<int16_t> out;
        size_t at = 0;
        for (int n : {1, 7, 500}) {
            std::vector<int16_t> block(static_cast<size_t>(n));
            OruFSKCorrDemod16_Process_16_16(d.get(), x.data() + at, c.nullOutput ? nullptr : block.data(), n, 1);
            if (c.nullOutput)
                block.assign(d->WorkBuffer, d->WorkBuffer + n);
            out.insert(out.end(), block.begin(), block.end());
            at += size_t(n);
        }
        expectClose(out);
    }

    // A buffer size change keeps the correlator running.
    Demod d(s);
    std::vector<int16_t> out(508);
    OruFSKCorrDemod16_Process_16_16(d.get(), x.data(), out.data(), 200, 1);
    OruFSKCorrDemod_BufferSize(d.get(), 64);
    OruFSKCorrDemod16_Process_16_16(d.get(), x.data() + 200, out.data() + 200, 308, 1);
    expectClose(out);
}

TEST(OruFSKCorrDemod16, NullOutputDemodulatesOneBufferOnly)
{
    const Settings s{11025, 100, 1000, 1170, 64};
    const std::vector<int16_t> x = FskSignal(300, s, 5);
    Demod d(s), reference(s);
    OruFSKCorrDemod16_Process_16_16(d.get(), x.data(), nullptr, 200, 1);
    std::vector<int16_t> first(64);
    OruFSKCorrDemod16_Process_16_16(reference.get(), x.data(), first.data(), 64, 1);
    EXPECT_EQ(std::vector<int16_t>(d->WorkBuffer, d->WorkBuffer + 64), first);
    EXPECT_TRUE(State(d.get()) == State(reference.get())); // samples 64..199 were not consumed
}

TEST(OruFSKCorrDemod16, StrideReadsTheFirstChannel)
{
    const Settings s{11025, 100, 1000, 1170, 512};
    const std::vector<int16_t> mono = FskSignal(300, s, 9);
    Demod reference(s);
    const std::vector<int16_t> expected = reference.Run(mono);
    for (int step : {2, 3}) {
        std::vector<int16_t> interleaved(mono.size() * size_t(step) + size_t(step) - 1, 12345);
        for (size_t i = 0; i < mono.size(); ++i)
            interleaved[i * size_t(step)] = mono[i];
        Demod d(s);
        std::vector<int16_t> out(mono.size() + 1, 777);
        // The trailing partial frame of step - 1 samples is not a sample.
        OruFSKCorrDemod16_Process_16_16(d.get(), interleaved.data(), out.data(), int32_t(interleaved.size()), step);
        EXPECT_EQ(std::vector<int16_t>(out.begin(), out.end() - 1), expected) << "step " << step;
        EXPECT_EQ(out.back(), 777) << "step " << step;
    }
}

TEST(OruFSKCorrDemod16, BadInputProcessesNothing)
{
    const Settings s;
    const std::vector<int16_t> x = FskSignal(64, s, 1);
    struct Case {
        int32_t count, step;
    };
    for (const Case c : {Case{1, 2}, {0, 1}, {-5, 1}, {10, 0}, {10, -1}, {-10, -1}, {2, 3}}) {
        Demod d(s);
        d.Run(x);
        const State before(d.get());
        std::vector<int16_t> out(4, 555);
        std::fill(d->WorkBuffer, d->WorkBuffer + 4, int16_t(444));
        OruFSKCorrDemod16_Process_16_16(d.get(), x.data(), out.data(), c.count, c.step);
        OruFSKCorrDemod16_Process_16_16(d.get(), x.data(), nullptr, c.count, c.step);
        EXPECT_TRUE(State(d.get()) == before) << c.count << " / " << c.step;
        EXPECT_EQ(out, std::vector<int16_t>(4, 555)) << c.count << " / " << c.step;
        EXPECT_EQ(std::vector<int16_t>(d->WorkBuffer, d->WorkBuffer + 4), std::vector<int16_t>(4, 444));
    }
    Demod d(s);
    OruFSKCorrDemod16_Process_16_16(d.get(), nullptr, nullptr, 10, 1);
    OruFSKCorrDemod_BufferSize(nullptr, 5);
    OruFSKCorrDemod_BitRate(nullptr, 5);
    OruFSKCorrDemod_SamplingRate(nullptr, 5);
    OruFSKCorrDemod16_Process_16_16(nullptr, x.data(), nullptr, 10, 1);
}

TEST(OruFSKCorrDemod16, OutOfRangeSettingsStaySafe)
{
    // Buffer size 0 counts as 1: chunks of one sample (each ending with its phases rounded to floats).
    const Settings s;
    const std::vector<int16_t> x = FskSignal(50, s, 2);
    Demod one(s), reference(s);
    OruFSKCorrDemod_BufferSize(one.get(), 0);
    EXPECT_EQ(one->BufferSize, 1u);
    const std::vector<int16_t> chunked = one.Run(x), expected = reference.Run(x);
    for (size_t i = 0; i < x.size(); ++i)
        EXPECT_LE(std::abs(chunked[i] - expected[i]), 1) << i;

    // A zero or negative sampling rate, or wild tones, leave outputs in range and the phases usable.
    Demod d(s);
    for (float rate : {0.0f, -11025.0f}) {
        OruFSKCorrDemod_SamplingRate(d.get(), rate);
        d->Tone1Frequency = std::numeric_limits<float>::infinity();
        d.Run(x);
        EXPECT_TRUE(std::isfinite(d->Phase1) && std::isfinite(d->Phase2)) << rate;
        EXPECT_TRUE(std::isfinite(d->Sum1Cos) && std::isfinite(d->Sum2Sin)) << rate;
    }
    OruFSKCorrDemod_SamplingRate(d.get(), s.rate);
    d->Tone1Frequency = s.tone1;
    Demod fresh(s);
    fresh->Phase1 = d->Phase1;
    fresh->Phase2 = d->Phase2;
    EXPECT_EQ(d.Run(x), fresh.Run(x));
}

TEST(OruFSKCorrDemod16, VectorKernelsGiveThePortableBits)
{
    const std::vector<Kernel> vector = AvailableKernels({Kernel::Sse2, Kernel::Avx2});
    if (vector.empty())
        GTEST_SKIP() << "no vector kernel on this processor";

    // Block tails of every length, several calls, and tones far above the rate (phases past the polynomial's range).
    const Settings configurations[] = {{11025, 100, 1000, 1170, 2048},
                                       {22050, 1200, 1200, 2200, 37},
                                       {8000, 45.45f, 1275, 1445, 61},
                                       {11025, 300, 3e6f, -2e7f, 4096},
                                       {48000, 50, 10000, 15000, 129}};
    std::mt19937 random(21);
    for (const Settings &s : configurations) {
        std::vector<int16_t> x(6000);
        for (int16_t &v : x)
            v = int16_t(random());
        auto run = [&](Kernel kernel, std::vector<int16_t> &out) {
            Demod d(s, kernel);
            out.assign(x.size(), 0);
            size_t at = 0;
            for (size_t n : {1, 2, 3, 5, 250, 1000, 4739}) {
                OruFSKCorrDemod16_Process_16_16(d.get(), x.data() + at, out.data() + at, int32_t(n), 1);
                at += n;
            }
            return std::make_pair(State(d.get()), d->ProcessRoutine);
        };
        std::vector<int16_t> portableOut;
        const auto portable = run(Kernel::Portable, portableOut);
        for (Kernel kernel : vector) {
            SCOPED_TRACE(testing::Message() << "bit rate " << s.bitRate << " kernel " << int(kernel));
            std::vector<int16_t> out;
            const auto result = run(kernel, out);
            EXPECT_NE(result.second, portable.second) << "kernel was not chosen";
            EXPECT_EQ(out, portableOut);
            EXPECT_TRUE(result.first == portable.first);
        }
    }
}

} // namespace
