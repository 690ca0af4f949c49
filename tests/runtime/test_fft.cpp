// OruFFT2Float and OruFFT: sizes, windows, real, I/Q and partial transforms against a plain DFT, and the
// vector kernels against the portable one.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "kernel_choice.h"
#include "orurt.h"

namespace {

using Complex = std::complex<double>;

struct FloatFft {
    explicit FloatFft(uint32_t n, uint32_t window = ORU_FFT_RECTANGULAR) : f(OruFFT2Float_Construct(nullptr))
    {
        OruFFT2Float_BufferSize(f, n);
        OruFFT_WindowType(f, window);
    }
    ~FloatFft() { OruFFT_Destruct(f, 1); }
    FloatFft(const FloatFft &) = delete;
    FloatFft &operator=(const FloatFft &) = delete;
    OruFFT2Float *operator->() const { return f; }
    OruFFT2Float *f;
};

// The real parts, imaginary parts and powers of the last transform, in that order.
void AppendResults(const FloatFft &f, std::vector<float> &out)
{
    const uint32_t half = f->HalfSize;
    out.insert(out.end(), f->RealPart, f->RealPart + half);
    out.insert(out.end(), f->ImagPart, f->ImagPart + half);
    out.insert(out.end(), f->Module, f->Module + half);
}

struct DoubleFft {
    explicit DoubleFft(uint32_t n, uint32_t window = ORU_FFT_RECTANGULAR) : f(OruFFT_Construct(nullptr))
    {
        OruFFT_BufferSize(f, n);
        OruFFT_WindowType(f, window);
    }
    ~DoubleFft() { OruFFT_Destruct(f, 1); }
    DoubleFft(const DoubleFft &) = delete;
    DoubleFft &operator=(const DoubleFft &) = delete;
    OruFFT *operator->() const { return f; }
    OruFFT *f;
};

template <typename T> std::vector<T> RandomSamples(size_t n, uint32_t seed, int64_t amplitude)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int64_t> value(-amplitude, amplitude);
    std::vector<T> x(n);
    for (T &v : x)
        v = T(value(random));
    return x;
}

// X[k] = sum x[i] w[i] e^{-2 pi i k i / n}, samples past x.size() counting as 0.
template <typename T> std::vector<Complex> Dft(const std::vector<T> &x, const float *window, uint32_t n)
{
    std::vector<Complex> out(n);
    for (uint32_t k = 0; k < n; ++k) {
        Complex sum = 0;
        for (uint32_t i = 0; i < n && i < x.size(); ++i) {
            const double angle = -2.0 * M_PI * double((uint64_t(k) * i) % n) / n;
            sum += double(x[i]) * double(window[i]) * Complex(std::cos(angle), std::sin(angle));
        }
        out[k] = sum;
    }
    return out;
}

double Largest(const std::vector<Complex> &x)
{
    double m = 0;
    for (const Complex &v : x)
        m = std::max(m, std::abs(v));
    return m;
}

// The real transform's results: RealPart/ImagPart = 2 X[k] (X[0] itself at 0), Module = |X|^2 (|X[0]|^2 / 4).
template <typename Fft, typename T> void ExpectRealSpectrum(const Fft &f, const std::vector<T> &x, double relative)
{
    const uint32_t n = f->BufferSize;
    const std::vector<Complex> X = Dft(x, f->Window, n);
    const double scale = std::max(Largest(X), 1.0);
    EXPECT_NEAR(f->RealPart[0], X[0].real(), relative * scale);
    EXPECT_EQ(f->ImagPart[0], 0.0);
    EXPECT_NEAR(f->Module[0], std::norm(X[0]) / 4, relative * scale * scale);
    for (uint32_t k = 1; k < n / 2; ++k) {
        EXPECT_NEAR(f->RealPart[k], 2 * X[k].real(), 2 * relative * scale) << "bin " << k;
        EXPECT_NEAR(f->ImagPart[k], 2 * X[k].imag(), 2 * relative * scale) << "bin " << k;
        EXPECT_NEAR(f->Module[k], std::norm(X[k]), 4 * relative * scale * scale) << "bin " << k;
    }
}

TEST(OruFFT2Float, SizeIsAPowerOfTwoOfAtLeastFour)
{
    struct Case {
        uint32_t asked, size;
    };
    for (const Case c : {Case{1000, 1024}, {1024, 1024}, {3, 4}, {0, 4}, {1, 4}, {5, 8}, {2049, 4096}}) {
        FloatFft f(c.asked);
        EXPECT_EQ(f->BufferSize, c.size) << c.asked;
        EXPECT_EQ(f->HalfSize, c.size / 2) << c.asked;
        EXPECT_EQ(f->StorageSize, 0u);
        ASSERT_NE(f->Storage, nullptr);
    }
}

TEST(OruFFT2Float, ConstructsAt512AndRefitsOnlyOnChange)
{
    OruFFT2Float storage;
    OruFFT2Float *f = OruFFT2Float_Construct(&storage);
    ASSERT_EQ(f, &storage);
    EXPECT_EQ(f->BufferSize, 512u);
    EXPECT_EQ(f->WindowType, ORU_FFT_RECTANGULAR);
    ASSERT_NE(f->ComputeReal16, nullptr);
    ASSERT_NE(f->ComputeBins32, nullptr);

    const std::vector<int16_t> x = RandomSamples<int16_t>(512, 1, 20000);
    f->ComputeReal16(f, x.data(), 512);
    const std::vector<float> before(f->Module, f->Module + 256);
    OruFFT2Float_BufferSize(f, 500); // still 512: results stay
    EXPECT_EQ(std::vector<float>(f->Module, f->Module + 256), before);

    OruFFT2Float_BufferSize(f, 64); // new size: results cleared
    for (uint32_t k = 0; k < 32; ++k)
        EXPECT_EQ(f->Module[k] + f->RealPart[k] + f->ImagPart[k], 0.0f);
    OruFFT_Destruct(f, 0);
    OruFFT_Destruct(nullptr, 1);
}

TEST(OruFFT2Float, WindowValues)
{
    FloatFft f(8, ORU_FFT_TRIANGULAR);
    const std::vector<float> triangle(f->Window, f->Window + 8);
    EXPECT_EQ(triangle, (std::vector<float>{0, 0.25f, 0.5f, 0.75f, 0.75f, 0.5f, 0.25f, 0}));

    // Peak (at N/2 - 1) and last value of each shape; all are scaled to a mean of 1.
    struct Case {
        uint32_t type;
        double peak, last;
    };
    for (const Case c : {Case{ORU_FFT_RECTANGULAR, 1, 1},
                         {ORU_FFT_HANN, 2, 0},
                         {ORU_FFT_HAMMING, 1 + 0.46 / 0.54, 1 - 0.46 / 0.54},
                         {ORU_FFT_BLACKMAN, 1 / 0.42, 0}}) {
        for (uint32_t n : {16u, 2048u}) {
            FloatFft g(n, c.type);
            EXPECT_NEAR(g->Window[n / 2 - 1], c.peak, 1e-6) << c.type << " " << n;
            EXPECT_NEAR(g->Window[n - 1], c.last, 1e-6) << c.type << " " << n;
            double sum = 0;
            for (uint32_t i = 0; i < n; ++i)
                sum += g->Window[i];
            EXPECT_NEAR(sum / n, 1.0, 1e-6) << c.type << " " << n;
        }
    }

    // A type out of range is ignored; the window follows size changes.
    OruFFT_WindowType(f.f, 7);
    EXPECT_EQ(f->WindowType, ORU_FFT_TRIANGULAR);
    OruFFT2Float_BufferSize(f.f, 4);
    EXPECT_EQ(std::vector<float>(f->Window, f->Window + 4), (std::vector<float>{0, 0.5f, 0.5f, 0}));
}

TEST(OruFFT2Float, RealTransformMatchesTheDft)
{
    for (uint32_t n : {4u, 8u, 64u, 2048u}) {
        for (uint32_t window : {ORU_FFT_RECTANGULAR, ORU_FFT_HANN, ORU_FFT_BLACKMAN}) {
            SCOPED_TRACE(testing::Message() << "N " << n << " window " << window);
            FloatFft f(n, window);
            const std::vector<int16_t> x16 = RandomSamples<int16_t>(n, n + window, 32767);
            f->ComputeReal16(f.f, x16.data(), n);
            ExpectRealSpectrum(f, x16, 2e-6);
            const std::vector<int32_t> x32 = RandomSamples<int32_t>(n, n * 3 + window, 1 << 30);
            f->ComputeReal32(f.f, x32.data(), n);
            ExpectRealSpectrum(f, x32, 2e-6);
        }
    }
}

TEST(OruFFT2Float, ToneAtBinK)
{
    constexpr double kAmplitude = 32767;
    struct Case {
        uint32_t n, k;
        bool sine;
    };
    for (const Case c : {Case{2048, 1, false},
                         {2048, 100, false},
                         {2048, 100, true},
                         {2048, 1023, false},
                         {64, 5, true},
                         {8, 3, false}}) {
        SCOPED_TRACE(testing::Message() << "N " << c.n << " k " << c.k << (c.sine ? " sine" : " cosine"));
        std::vector<int16_t> x(c.n);
        for (uint32_t i = 0; i < c.n; ++i) {
            const double angle = 2 * M_PI * double((uint64_t(c.k) * i) % c.n) / c.n;
            x[i] = int16_t(std::lround(kAmplitude * (c.sine ? std::sin(angle) : std::cos(angle))));
        }
        FloatFft f(c.n);
        f->ComputeReal16(f.f, x.data(), c.n);
        const double peak = c.n * kAmplitude / 2;
        EXPECT_NEAR(f->Module[c.k], peak * peak, peak * peak * 1e-4);
        // 2 X[k]: a cosine is real, a sine negative imaginary.
        EXPECT_NEAR(c.sine ? -f->ImagPart[c.k] : f->RealPart[c.k], 2 * peak, 2 * peak * 1e-4);
        for (uint32_t k = 0; k < c.n / 2; ++k) {
            if (k == c.k)
                continue;
            EXPECT_LT(f->Module[k], peak * peak * 1e-8) << "bin " << k;
        }
    }

    // A constant puts everything in bin 0, as a quarter of (N value)^2; the other bins are exactly 0.
    FloatFft f(1024);
    const std::vector<int16_t> constant(1024, -1000);
    f->ComputeReal16(f.f, constant.data(), 1024);
    EXPECT_FLOAT_EQ(f->Module[0], 1024.0f * 1000 * 1024 * 1000 / 4);
    for (uint32_t k = 1; k < 512; ++k)
        ASSERT_EQ(f->Module[k], 0.0f) << k;
}

TEST(OruFFT2Float, ComplexTransformPutsZeroHertzAtAQuarter)
{
    constexpr uint32_t kN = 256, kHalf = kN / 2;
    constexpr double kAmplitude = 20000;
    for (int bin : {0, 3, -3, 63, -64}) {
        SCOPED_TRACE(testing::Message() << "tone at bin " << bin);
        std::vector<int16_t> i16(kHalf), q16(kHalf);
        std::vector<int32_t> i32(kHalf), q32(kHalf);
        for (uint32_t n = 0; n < kHalf; ++n) {
            const double angle = 2 * M_PI * bin * double(n) / kHalf;
            i16[n] = int16_t(std::lround(kAmplitude * std::cos(angle)));
            q16[n] = int16_t(std::lround(kAmplitude * std::sin(angle)));
            i32[n] = int32_t(i16[n]) << 12;
            q32[n] = int32_t(q16[n]) << 12;
        }
        const uint32_t at = uint32_t(int(kHalf / 2) + bin);
        const double peak = kHalf * kAmplitude / 2; // |Z| / 2
        FloatFft f(kN);
        OruFFT2Float_ComputeComplex_IQ_16(f.f, i16.data(), q16.data(), kHalf);
        EXPECT_NEAR(f->Module[at], peak * peak, peak * peak * 1e-4);
        for (uint32_t k = 0; k < kHalf; ++k) {
            if (k == at)
                continue;
            EXPECT_LT(f->Module[k], peak * peak * 1e-8) << k;
        }
        OruFFT2Float_ComputeComplex_IQ_32(f.f, i32.data(), q32.data(), kHalf);
        EXPECT_NEAR(f->Module[at], peak * peak * (1 << 24), peak * peak * (1 << 24) * 1e-4);

        DoubleFft d(kN);
        OruFFT_ComputeComplex_IQ_16(d.f, i16.data(), q16.data(), kHalf);
        EXPECT_NEAR(d->Module[at], peak * peak, peak * peak * 1e-4);
        // Z = M A, real: Q leads I for a positive frequency.
        EXPECT_NEAR(d->RealPart[at], kHalf * kAmplitude, kHalf * kAmplitude * 1e-4);
        EXPECT_NEAR(d->ImagPart[at], 0.0, kHalf * kAmplitude * 1e-4);
    }
}

TEST(OruFFT2Float, BinsAreADftOfTheAskedRangeOnly)
{
    constexpr uint32_t kN = 512;
    FloatFft f(kN, ORU_FFT_HAMMING);
    const std::vector<int16_t> x = RandomSamples<int16_t>(kN, 5, 30000);
    const std::vector<Complex> X = Dft(x, f->Window, kN);
    const double scale = Largest(X);

    struct Case {
        uint32_t first, last;
    };
    for (const Case c : {Case{10, 12}, {0, 0}, {255, 255}, {250, 0xFFFFFFFFu}, {20, 10}}) {
        SCOPED_TRACE(testing::Message() << "bins " << c.first << ".." << c.last);
        f->ComputeBins16(f.f, x.data(), kN, c.first, c.last);
        for (uint32_t k = 0; k < kN / 2; ++k) {
            if (k < c.first || k > c.last) {
                ASSERT_EQ(f->RealPart[k], 0.0f) << k;
                ASSERT_EQ(f->ImagPart[k], 0.0f) << k;
                ASSERT_EQ(f->Module[k], 0.0f) << k;
                continue;
            }
            // Sine sum first, cosine sum second, full |X|^2 (no quarter at bin 0).
            EXPECT_NEAR(f->RealPart[k], X[k].imag(), 1e-4 * scale) << k;
            EXPECT_NEAR(f->ImagPart[k], X[k].real(), 1e-4 * scale) << k;
            EXPECT_NEAR(f->Module[k], std::norm(X[k]), 2e-4 * scale * scale) << k;
        }
    }

    // Clamping the last bin kept the arrays after the results intact: the FFT still works.
    f->ComputeReal16(f.f, x.data(), kN);
    ExpectRealSpectrum(f, x, 2e-6);

    const std::vector<int32_t> x32(x.begin(), x.end());
    f->ComputeBins32(f.f, x32.data(), kN, 11, 11);
    EXPECT_NEAR(f->Module[11], std::norm(X[11]), 2e-4 * scale * scale);
}

TEST(OruFFT2Float, ShortInputsAreZeroPaddedAndLongOnesCut)
{
    constexpr uint32_t kN = 256;
    FloatFft f(kN, ORU_FFT_HANN);
    // Exactly sized vectors: any read past them shows under the address sanitizer.
    for (uint32_t count : {1u, 37u, 100u, 255u}) {
        SCOPED_TRACE(testing::Message() << "count " << count);
        const std::vector<int16_t> x = RandomSamples<int16_t>(count, count, 30000);
        f->ComputeReal16(f.f, x.data(), count);
        ExpectRealSpectrum(f, x, 2e-6);
        f->ComputeBins16(f.f, x.data(), count, 0, kN / 2 - 1);
        const std::vector<Complex> X = Dft(x, f->Window, kN);
        for (uint32_t k = 0; k < kN / 2; ++k)
            EXPECT_NEAR(f->ImagPart[k], X[k].real(), 1e-4 * std::max(Largest(X), 1.0)) << k;
    }

    const std::vector<int16_t> longer = RandomSamples<int16_t>(3 * kN, 9, 30000);
    f->ComputeReal16(f.f, longer.data(), 3 * kN);
    ExpectRealSpectrum(f, std::vector<int16_t>(longer.begin(), longer.begin() + kN), 2e-6);

    // I/Q pairs past the count are zero as well.
    const std::vector<int16_t> i = RandomSamples<int16_t>(50, 11, 30000), q = RandomSamples<int16_t>(50, 12, 30000);
    OruFFT2Float_ComputeComplex_IQ_16(f.f, i.data(), q.data(), 50);
    std::vector<Complex> z(kN / 2);
    for (uint32_t k = 0; k < kN / 2; ++k)
        for (uint32_t n = 0; n < 50; ++n)
            z[k] += Complex(i[n], q[n]) * double(f->Window[2 * n]) * std::polar(1.0, -2 * M_PI * k * n / (kN / 2));
    const double power = Largest(z) * Largest(z) / 4;
    for (uint32_t k = 0; k < kN / 2; ++k)
        EXPECT_NEAR(f->Module[(k + kN / 4) % (kN / 2)], std::norm(z[k]) / 4, 1e-5 * power) << k;

    // Null inputs do nothing.
    f->ComputeReal16(f.f, nullptr, kN);
    f->ComputeBins32(f.f, nullptr, kN, 0, 3);
    OruFFT2Float_ComputeComplex_IQ_16(f.f, nullptr, q.data(), 50);
    OruFFT2Float_Compute_Module(f.f, nullptr, nullptr);
}

TEST(OruFFT2Float, ComputeModuleIsAQuarterPower)
{
    FloatFft f(8);
    const float re[4] = {2, -4, 0, 6}, im[4] = {0, 2, -8, 8};
    OruFFT2Float_Compute_Module(f.f, re, im);
    EXPECT_EQ(std::vector<float>(f->Module, f->Module + 4), (std::vector<float>{1, 5, 16, 25}));
}

TEST(OruFFT2Float, VectorKernelsGiveThePortableBits)
{
    const std::vector<Kernel> kernels = AvailableKernels({Kernel::Sse2, Kernel::Avx2});
    if (kernels.empty())
        GTEST_SKIP() << "no vector kernel on this processor";

    for (uint32_t n : {4u, 8u, 16u, 32u, 64u, 1024u, 2048u, 8192u}) {
        for (uint32_t window : {ORU_FFT_RECTANGULAR, ORU_FFT_BLACKMAN}) {
            SCOPED_TRACE(testing::Message() << "N " << n << " window " << window);
            const std::vector<int16_t> x16 = RandomSamples<int16_t>(n, n + window, 32767);
            const std::vector<int32_t> x32 = RandomSamples<int32_t>(n, n + window + 1, INT32_MAX);
            auto run = [&](Kernel kernel, std::vector<float> &out,
                           void (**routine)(OruFFT2Float *, const int16_t *, uint32_t)) {
                KernelScope scope(kernel);
                FloatFft f(n, window);
                *routine = f->ComputeReal16;
                auto keep = [&] { AppendResults(f, out); };
                f->ComputeReal16(f.f, x16.data(), n);
                keep();
                f->ComputeReal32(f.f, x32.data(), n);
                keep();
                OruFFT2Float_ComputeComplex_IQ_16(f.f, x16.data(), x16.data() + n / 2, n / 2);
                keep();
                OruFFT2Float_ComputeComplex_IQ_32(f.f, x32.data(), x32.data() + n / 2, n / 2);
                keep();
            };
            std::vector<float> portable;
            void (*portableRoutine)(OruFFT2Float *, const int16_t *, uint32_t) = nullptr;
            run(Kernel::Portable, portable, &portableRoutine);
            for (Kernel kernel : kernels) {
                std::vector<float> vector;
                void (*routine)(OruFFT2Float *, const int16_t *, uint32_t) = nullptr;
                run(kernel, vector, &routine);
                EXPECT_NE(routine, portableRoutine) << "kernel " << int(kernel) << " was not chosen";
                ASSERT_EQ(vector.size(), portable.size());
                EXPECT_EQ(std::memcmp(vector.data(), portable.data(), portable.size() * sizeof(float)), 0)
                    << "kernel " << int(kernel);
            }
        }
    }
}

// The real transform's vector loading and splitting against the portable bits: blocks shorter than the size
// (the vector bodies stop early, the rest is zero) and full-scale blocks, from both sample widths.
TEST(OruFFT2Float, VectorKernelsGiveThePortableBitsForShortAndFullScaleBlocks)
{
    const std::vector<Kernel> kernels = AvailableKernels({Kernel::Sse2, Kernel::Avx2});
    if (kernels.empty())
        GTEST_SKIP() << "no vector kernel on this processor";

    enum class Fill { Random, Lowest, Alternating };
    // count samples of the fill, then samples that must not be read: a kernel that reads them shows in the result.
    auto block = [](auto lowest, auto highest, Fill fill, uint32_t count, uint32_t seed) {
        using T = decltype(lowest);
        std::vector<T> x = RandomSamples<T>(count + 8, seed, int64_t(highest) + 1);
        for (uint32_t i = 0; i < count; ++i) {
            if (fill == Fill::Lowest)
                x[i] = lowest;
            if (fill == Fill::Alternating)
                x[i] = i % 2 ? lowest : highest;
        }
        for (uint32_t i = count; i < count + 8; ++i)
            x[i] = T(highest - T(i));
        return x;
    };

    for (uint32_t n = 4; n <= 8192; n *= 2) {
        for (uint32_t count : {n, n - 1, n / 2 - 1, n / 2 + 3, 7u, 1u, 0u}) {
            for (Fill fill : {Fill::Random, Fill::Lowest, Fill::Alternating}) {
                SCOPED_TRACE(testing::Message() << "N " << n << " count " << count << " fill " << int(fill));
                const std::vector<int16_t> x16 = block(int16_t(INT16_MIN), int16_t(INT16_MAX), fill, count, n + count);
                const std::vector<int32_t> x32 = block(INT32_MIN, INT32_MAX, fill, count, n + count + 1);
                auto run = [&](Kernel kernel) {
                    KernelScope scope(kernel);
                    FloatFft f(n, ORU_FFT_HAMMING);
                    std::vector<float> out;
                    auto keep = [&] { AppendResults(f, out); };
                    f->ComputeReal16(f.f, x16.data(), count);
                    keep();
                    f->ComputeReal32(f.f, x32.data(), count);
                    keep();
                    return out;
                };
                const std::vector<float> portable = run(Kernel::Portable);
                for (Kernel kernel : kernels) {
                    const std::vector<float> vector = run(kernel);
                    ASSERT_EQ(vector.size(), portable.size());
                    ASSERT_EQ(std::memcmp(vector.data(), portable.data(), portable.size() * sizeof(float)), 0)
                        << "kernel " << int(kernel);
                }
            }
        }
    }
}

TEST(OruFFT, DoublePrecisionTransforms)
{
    struct Case {
        uint32_t asked, size;
    };
    for (const Case c : {Case{0, 2}, {1, 2}, {3, 4}, {1000, 1024}}) {
        DoubleFft d(c.asked);
        EXPECT_EQ(d->BufferSize, c.size) << c.asked;
        EXPECT_GE(d->StorageSize, 30 * c.size) << c.asked;
        EXPECT_EQ(d->ComputeReal16, nullptr);
    }

    // Storage only grows.
    DoubleFft d(1024, ORU_FFT_HANN);
    const uint32_t grown = d->StorageSize;
    OruFFT_BufferSize(d.f, 16);
    EXPECT_EQ(d->StorageSize, grown);
    EXPECT_EQ(d->BufferSize, 16u);
    EXPECT_EQ(d->Window[16 / 2 - 1], 2.0f);

    for (uint32_t n : {2u, 4u, 16u, 1024u}) {
        SCOPED_TRACE(testing::Message() << "N " << n);
        OruFFT_BufferSize(d.f, n);
        const std::vector<int16_t> x16 = RandomSamples<int16_t>(n, n, 32767);
        OruFFT_Compute_16(d.f, x16.data(), n);
        ExpectRealSpectrum(d, x16, 1e-7);
        const std::vector<int32_t> x32 = RandomSamples<int32_t>(n, n + 1, INT32_MAX);
        OruFFT_Compute_32(d.f, x32.data(), n);
        ExpectRealSpectrum(d, x32, 1e-7);

        std::vector<double> re(n / 2), im(n / 2);
        for (uint32_t k = 0; k < n / 2; ++k)
            re[k] = k, im[k] = 2.0 * k;
        OruFFT_Compute_Module(d.f, re.data(), im.data());
        for (uint32_t k = 0; k < n / 2; ++k)
            EXPECT_EQ(d->Module[k], 5.0 * k * k / 4);
    }

    // Two samples: one bin, the sum. One I/Q pair: 0 Hz at index 0.
    OruFFT_BufferSize(d.f, 2);
    OruFFT_WindowType(d.f, ORU_FFT_RECTANGULAR);
    const int16_t two[2] = {300, -100};
    OruFFT_Compute_16(d.f, two, 2);
    EXPECT_EQ(d->RealPart[0], 200.0);
    EXPECT_EQ(d->Module[0], 10000.0);
    const int32_t i = 6, q = -8;
    OruFFT_ComputeComplex_IQ_32(d.f, &i, &q, 1);
    EXPECT_EQ(d->RealPart[0], 6.0);
    EXPECT_EQ(d->ImagPart[0], -8.0);
    EXPECT_EQ(d->Module[0], 25.0);
}

} // namespace
