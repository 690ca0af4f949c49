// Integer helpers, exponentials and logarithms in extended precision, and the I/Q magnitude.
#include "orurt.h"

#include <climits>
#include <cmath>

uint64_t Mul_UI32UI32_UI64(uint32_t a, uint32_t b) { return uint64_t(a) * b; }

uint64_t Div_UI64UI32_UI32(uint32_t low, uint32_t high, uint32_t divisor) {
    // A quotient that does not fit (or a zero divisor) gives all ones: remainder >= divisor marks it.
    if (divisor == 0 || high >= divisor) return UINT64_MAX;
    uint64_t dividend = (uint64_t(high) << 32) | low;
    uint64_t quotient = dividend / divisor;
    uint64_t remainder = dividend % divisor;
    return (remainder << 32) | quotient;
}

uint32_t OneBits_QWord(uint32_t low, uint32_t high) {
    return uint32_t(__builtin_popcount(low) + __builtin_popcount(high));
}

OruExtended Exp_Float(float x) { return expl(OruExtended(x)); }

OruExtended Exp_Double(double x) { return expl(OruExtended(x)); }

OruExtended Log10_F32_Fxx(float x) { return log10l(OruExtended(x)); }

int32_t Log10_F80_I32(OruExtended x) {
    OruExtended value = log10l(x);
    // Zero, negative and NaN inputs give the x87 "integer indefinite" value.
    if (std::isnan(value) || value == -HUGE_VALL) return INT32_MIN;
    if (value == HUGE_VALL) return INT32_MAX;
    OruExtended whole = floorl(value);
    OruExtended fraction = value - whole;
    int32_t result = int32_t(whole);
    if (fraction > 0.5L || (fraction == 0.5L && (result & 1) != 0)) ++result;
    return result;
}

void ComputeIQModule_I16(const int16_t *i, const int16_t *q, int16_t *out, uint32_t count) {
    if (i == nullptr || q == nullptr || out == nullptr) return;
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t power = uint32_t(int32_t(i[k]) * i[k]) + uint32_t(int32_t(q[k]) * q[k]);
        // Integer square root with a double estimate, then rounded: n + 1 when power > n * n + n.
        uint32_t root = uint32_t(std::sqrt(double(power)));
        while (uint64_t(root) * root > power) --root;
        while (uint64_t(root + 1) * (root + 1) <= power) ++root;
        if (power - root * root > root) ++root;
        out[k] = int16_t(root > 32767 ? 32767 : root);
    }
}
