// Integer helpers, extended-precision exp/log10 and the I/Q magnitude (each kernel against the integer root).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "kernel_choice.h"
#include "orurt.h"

namespace {

TEST(NumericTest, MultiplyAndDivide)
{
    EXPECT_EQ(Mul_UI32UI32_UI64(0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFE00000001ull);
    EXPECT_EQ(Mul_UI32UI32_UI64(0x10000u, 0x10000u), 0x100000000ull);

    struct Case {
        uint64_t dividend;
        uint32_t divisor;
        uint32_t quotient, remainder;
    };
    const Case cases[] = {
        {10, 3, 3, 1},
        {0x100000000ull, 2, 0x80000000u, 0},
        {0xFFFFFFFEFFFFFFFFull, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFEu},
        {0, 7, 0, 0},
    };
    for (const Case &c : cases) {
        uint64_t r = Div_UI64UI32_UI32(uint32_t(c.dividend), uint32_t(c.dividend >> 32), c.divisor);
        EXPECT_EQ(uint32_t(r), c.quotient) << c.dividend << " / " << c.divisor;
        EXPECT_EQ(uint32_t(r >> 32), c.remainder) << c.dividend << " / " << c.divisor;
    }
    // A quotient that does not fit, or a zero divisor, gives all ones (remainder not below the divisor).
    EXPECT_EQ(Div_UI64UI32_UI32(0, 5, 5), UINT64_MAX);
    EXPECT_EQ(Div_UI64UI32_UI32(1, 0, 0), UINT64_MAX);
}

TEST(NumericTest, OneBits)
{
    EXPECT_EQ(OneBits_QWord(0, 0), 0u);
    EXPECT_EQ(OneBits_QWord(0xFFFFFFFFu, 0xFFFFFFFFu), 64u);
    EXPECT_EQ(OneBits_QWord(1, 0x80000000u), 2u);
    EXPECT_EQ(OneBits_QWord(0x0F0F0F0Fu, 0x00000003u), 18u);
}

TEST(NumericTest, ExponentialAndLogarithmInExtendedPrecision)
{
    const OruExtended e = 2.718281828459045235360287471352662498L;
    const OruExtended tolerance = 4 * std::numeric_limits<OruExtended>::epsilon();
    EXPECT_EQ(Exp_Float(0.0f), 1.0L);
    EXPECT_NEAR(double((Exp_Double(1.0) - e) / e), 0.0, double(tolerance));
    EXPECT_NEAR(double((Exp_Float(-1.0f) * e) - 1.0L), 0.0, double(tolerance));
    // The extended result keeps digits that a double would lose.
    EXPECT_NE(Exp_Double(1.0), OruExtended(std::exp(1.0)));

    EXPECT_EQ(Log10_F32_Fxx(1.0f), 0.0L);
    EXPECT_NEAR(double(Log10_F32_Fxx(1000.0f) - 3.0L), 0.0, double(tolerance));
    EXPECT_NEAR(double(Log10_F32_Fxx(0.5f) + 0.301029995663981195213738894724493026768L), 0.0, double(tolerance));
}

TEST(NumericTest, Log10RoundedToNearestInteger)
{
    struct Case {
        OruExtended x;
        int32_t result;
    };
    const Case cases[] = {
        {1.0L, 0},  {10.0L, 1}, {31.0L, 1},    {32.0L, 2},        {1e-3L, -3},
        {0.3L, -1}, {0.4L, 0},  {1e300L, 300}, {1e-4000L, -4000},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Log10_F80_I32(c.x), c.result) << double(c.x);

    EXPECT_EQ(Log10_F80_I32(0.0L), INT32_MIN);
    EXPECT_EQ(Log10_F80_I32(-1.0L), INT32_MIN);
    EXPECT_EQ(Log10_F80_I32(std::numeric_limits<OruExtended>::quiet_NaN()), INT32_MIN);
    EXPECT_EQ(Log10_F80_I32(std::numeric_limits<OruExtended>::infinity()), INT32_MAX);
}

TEST(NumericTest, Log10TiesRoundToEven)
{
    // Find inputs whose logarithm is exactly half-way and check the tie goes to the even neighbour.
    const struct {
        OruExtended half;
        int32_t even;
    } ties[] = {{0.5L, 0}, {1.5L, 2}, {2.5L, 2}, {-0.5L, 0}, {-1.5L, -2}, {-2.5L, -2}};
    int found = 0;
    for (const auto &tie : ties) {
        OruExtended x = powl(10.0L, tie.half);
        OruExtended below = x, above = x;
        for (int step = 0; step < 256; ++step) {
            if (log10l(below) == tie.half) {
                x = below;
                break;
            }
            if (log10l(above) == tie.half) {
                x = above;
                break;
            }
            below = nextafterl(below, 0.0L);
            above = nextafterl(above, HUGE_VALL);
        }
        if (log10l(x) != tie.half)
            continue;
        ++found;
        EXPECT_EQ(Log10_F80_I32(x), tie.even) << double(tie.half);
        OruExtended justAbove = x;
        while (log10l(justAbove) == tie.half)
            justAbove = nextafterl(justAbove, HUGE_VALL);
        EXPECT_EQ(Log10_F80_I32(justAbove), tie.even + (tie.half > tie.even ? 1 : 0))
            << "just above " << double(tie.half);
    }
    EXPECT_GE(found, 3);
}

int16_t ReferenceModule(int16_t i, int16_t q)
{
    long r = std::lround(std::sqrt(double(i) * i + double(q) * q));
    return int16_t(r > 32767 ? 32767 : r);
}

TEST(NumericTest, IQModuleRoundsAndSaturates)
{
    const int16_t i[] = {3, 0, 1, 1, 2, -3, 32767, -32768, 32767, -32768, 23170, 23171, 0};
    const int16_t q[] = {4, 0, 1, 2, 3, -4, 0, 0, 32767, -32768, 23170, 23171, -32768};
    const int16_t expected[] = {5, 0, 1, 2, 4, 5, 32767, 32767, 32767, 32767, 32767, 32767, 32767};
    const uint32_t n = sizeof(i) / sizeof(i[0]);
    int16_t out[n + 1];
    out[n] = 1234;
    ComputeIQModule_I16(i, q, out, n);
    for (uint32_t k = 0; k < n; ++k)
        EXPECT_EQ(out[k], expected[k]) << i[k] << ", " << q[k];
    EXPECT_EQ(out[n], 1234); // nothing past count
}

TEST(NumericTest, IQModuleMatchesReferenceOnRandomInput)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    const uint32_t n = 4096;
    std::vector<int16_t> i(n), q(n), out(n);
    for (uint32_t k = 0; k < n; ++k) {
        i[k] = int16_t(sample(random) >> (k % 12)); // all magnitudes, small ones too
        q[k] = int16_t(sample(random) >> (k % 7));
    }
    ComputeIQModule_I16(i.data(), q.data(), out.data(), n);
    for (uint32_t k = 0; k < n; ++k)
        ASSERT_EQ(out[k], ReferenceModule(i[k], q[k])) << i[k] << ", " << q[k];
}

uint32_t FloorRoot(uint64_t x)
{
    uint64_t r = uint64_t(std::sqrt(double(x)));
    while (r * r > x)
        --r;
    while ((r + 1) * (r + 1) <= x)
        ++r;
    return uint32_t(r);
}

// The integer root the library computed before it had vector forms, rounded up when power > n * n + n: the
// value every kernel must give.
int16_t IntegerRootModule(int16_t i, int16_t q)
{
    const uint32_t power = uint32_t(int32_t(i) * i) + uint32_t(int32_t(q) * q);
    uint32_t root = FloorRoot(power);
    if (power - root * root > root)
        ++root;
    return int16_t(root > 32767 ? 32767 : root);
}

// Every I against a spread of Q, and for every |I| the two Q whose powers straddle n^2 + n (where the rounding
// turns) for n from |I| up; the pairs run through the library in one call, so the vector bodies see them all.
TEST(NumericTest, IQModuleKernelsGiveTheIntegerRoot)
{
    std::vector<int16_t> is, qs;
    for (int i = -32768; i <= 32767; ++i)
        for (int q : {0, 1, -1, 2, 7, -181, 4096, 12345, 23170, -23171, 32767, -32768}) {
            is.push_back(int16_t(i));
            qs.push_back(int16_t(q));
        }
    for (int64_t i = 0; i <= 32768; ++i)
        for (int64_t offset : {0, 1, 2, 3, 10, 100, 1000, 10000, 20000}) {
            const int64_t n = i + offset;
            if (n > 46340)
                continue;
            const int64_t below = FloorRoot(uint64_t(n * n + n - i * i)); // i^2 + below^2 <= n^2 + n
            for (int64_t q : {below, below + 1}) {
                if (q > 32768)
                    continue;
                is.push_back(int16_t(i == 32768 ? -32768 : i));
                qs.push_back(int16_t(q == 32768 ? -32768 : -q));
            }
        }
    std::vector<int16_t> expected(is.size());
    for (size_t k = 0; k < is.size(); ++k)
        expected[k] = IntegerRootModule(is[k], qs[k]);

    for (Kernel kernel : AvailableKernels()) {
        SCOPED_TRACE(testing::Message() << "kernel " << int(kernel));
        KernelScope scope(kernel);
        std::vector<int16_t> out(is.size(), -1);
        ComputeIQModule_I16(is.data(), qs.data(), out.data(), uint32_t(is.size()));
        for (size_t k = 0; k < is.size(); ++k)
            ASSERT_EQ(out[k], expected[k]) << is[k] << ", " << qs[k];

        // Every count of a short call at every start: the tails past the vector bodies, nothing written past
        // the count.
        for (uint32_t start = 0; start < 8; ++start)
            for (uint32_t count = 0; count <= 19; ++count) {
                std::vector<int16_t> part(count + 1, 1234);
                ComputeIQModule_I16(is.data() + start, qs.data() + start, part.data(), count);
                for (uint32_t k = 0; k < count; ++k)
                    ASSERT_EQ(part[k], expected[start + k]) << "start " << start << " count " << count;
                ASSERT_EQ(part[count], 1234) << "start " << start << " count " << count;
            }
    }
}

} // namespace
