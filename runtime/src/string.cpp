// Zero-terminated byte strings and number <-> text conversion.
#include "orurt.h"

#include <cmath>

namespace {

const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

uint8_t FoldCase(uint8_t c) { return (c >= 'a' && c <= 'z') ? uint8_t(c - ('a' - 'A')) : c; }

// Writes an optional minus sign, zero padding up to minimumDigits, then the digits of magnitude.
char *FormatMagnitude(uint64_t magnitude, bool negative, uint32_t radix, char *buffer, uint32_t minimumDigits) {
    if (buffer == nullptr) return nullptr;
    if (radix < 2 || radix > 36) {
        buffer[0] = 0;
        return buffer;
    }
    char reversed[64];
    uint32_t count = 0;
    do {
        reversed[count++] = kDigits[magnitude % radix];
        magnitude /= radix;
    } while (magnitude != 0);

    char *out = buffer;
    if (negative) *out++ = '-';
    for (uint32_t pad = count; pad < minimumDigits; ++pad) *out++ = '0';
    while (count > 0) *out++ = reversed[--count];
    *out = 0;
    return buffer;
}

// 10^n for n >= 0; exact while 5^n fits the 64-bit mantissa (n <= 27).
OruExtended PowerOfTen(uint32_t n) {
    if (n > 27) return powl(10.0L, OruExtended(n));
    OruExtended p = 1.0L;
    for (uint32_t i = 0; i < n; ++i) p *= 10.0L;
    return p;
}

}  // namespace

uint32_t StringLength(const char *s) {
    if (s == nullptr) return 0;
    const char *p = s;
    while (*p) ++p;
    return uint32_t(p - s);
}

char *StringCopy(char *destination, const char *source) {
    if (destination == nullptr) return nullptr;
    if (source == nullptr) {
        destination[0] = 0;
        return destination;
    }
    MemoryCopy(destination, source, StringLength(source) + 1);
    return destination;
}

char *StringDuplicate(const char *s) {
    if (s == nullptr) return nullptr;
    uint32_t size = StringLength(s) + 1;
    char *copy = static_cast<char *>(MemoryAlloc(size));
    if (copy != nullptr) MemoryCopy(copy, s, size);
    return copy;
}

int32_t StringCompare(const char *a, const char *b) {
    if (a == nullptr || b == nullptr) return (a != nullptr) - (b != nullptr);
    // Bytes count as signed: 0x80 and above sort below plain ASCII.
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return int32_t(int8_t(*a)) - int32_t(int8_t(*b));
}

int32_t StringCompareI(const char *a, const char *b) {
    if (a == nullptr || b == nullptr) return (a != nullptr) - (b != nullptr);
    const uint8_t *pa = reinterpret_cast<const uint8_t *>(a);
    const uint8_t *pb = reinterpret_cast<const uint8_t *>(b);
    while (*pa != 0 && FoldCase(*pa) == FoldCase(*pb)) {
        ++pa;
        ++pb;
    }
    return int32_t(FoldCase(*pa)) - int32_t(FoldCase(*pb));
}

char *StringReverse(char *s) {
    if (s == nullptr) return nullptr;
    uint32_t length = StringLength(s);
    for (uint32_t i = 0, j = length; i + 1 < j; ++i, --j) {
        char t = s[i];
        s[i] = s[j - 1];
        s[j - 1] = t;
    }
    return s;
}

char *StringString(const char *haystack, const char *needle) {
    if (haystack == nullptr || needle == nullptr || haystack[0] == 0) return nullptr;
    for (const char *start = haystack; *start != 0; ++start) {
        const char *h = start;
        const char *n = needle;
        while (*n != 0 && *h == *n) {
            ++h;
            ++n;
        }
        if (*n == 0) return const_cast<char *>(start);
    }
    return nullptr;
}

OruExtended StringToDouble(const char *s) {
    if (s == nullptr) return 0.0L;
    while (*s == ' ' || *s == '\t') ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = (*s++ == '-');

    // Digits are gathered exactly while they fit 64 bits; after that integer digits only scale the value.
    uint64_t mantissa = 0;
    int64_t exponent = 0;
    bool full = false;
    auto gather = [&](char digit, bool fraction) {
        uint64_t d = uint64_t(digit - '0');
        full = full || mantissa > (UINT64_MAX - d) / 10;
        if (!full) {
            mantissa = mantissa * 10 + d;
            if (fraction) --exponent;
        } else if (!fraction) {
            ++exponent;
        }
    };
    for (; *s >= '0' && *s <= '9'; ++s) gather(*s, false);
    if (*s == '.' || *s == ',') {
        for (++s; *s >= '0' && *s <= '9'; ++s) gather(*s, true);
    }

    OruExtended value = OruExtended(mantissa);
    if (mantissa != 0) {
        // Beyond 10^6000 every result is infinite or zero.
        if (exponent > 0) value *= PowerOfTen(uint32_t(exponent > 6000 ? 6000 : exponent));
        if (exponent < 0) value /= PowerOfTen(uint32_t(exponent < -6000 ? 6000 : -exponent));
    }
    return negative ? -value : value;
}

char *IntegerToString(int32_t value, uint32_t radix, char *buffer, uint32_t minimumDigits) {
    // Only decimal is signed; other radixes show the 32-bit pattern.
    bool negative = radix == 10 && value < 0;
    uint64_t magnitude = negative ? uint64_t(-int64_t(value)) : uint64_t(uint32_t(value));
    return FormatMagnitude(magnitude, negative, radix, buffer, minimumDigits);
}

char *Int64ToString(uint32_t low, uint32_t high, uint32_t radix, char *buffer, uint32_t minimumDigits) {
    uint64_t pattern = (uint64_t(high) << 32) | low;
    bool negative = radix == 10 && (high & 0x80000000u) != 0;
    uint64_t magnitude = negative ? ~pattern + 1 : pattern;
    return FormatMagnitude(magnitude, negative, radix, buffer, minimumDigits);
}
