#include "ui/text_format.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>

#include "orurt.h"

namespace sirrel {

namespace {

struct Unit {
    double scale;
    const char *name;
};

constexpr Unit kFrequencyUnits[] = {{1e12, "THz"}, {1e9, "GHz"}, {1e6, "MHz"}, {1e3, "kHz"}, {1, "Hz"}};
constexpr Unit kTimeUnits[] = {{1, "s"}, {1e-3, "ms"}, {1e-6, "us"}, {1e-9, "ns"}};

template <size_t N> const Unit &ChooseUnit(const Unit (&units)[N], double value)
{
    const double magnitude = std::fabs(value);
    for (const Unit &unit : units) {
        if (magnitude >= unit.scale)
            return unit;
    }
    return units[N - 1];
}

std::string WithSeparator(std::string text, char separator)
{
    std::replace(text.begin(), text.end(), '.', separator);
    return text;
}

std::string Chars(double value, std::chars_format format, int32_t precision)
{
    // Wide enough for the largest double with the most decimals allowed.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
    if (result.ec != std::errc())
        return "?";
    return std::string(buffer, result.ptr);
}

int32_t Decimals(int32_t decimals) { return std::clamp(decimals, 0, 15); }

} // namespace

char DecimalSeparator()
{
    static const char separator = [] {
        locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
        if (!user)
            return '.';
        const char *radix = nl_langinfo_l(RADIXCHAR, user);
        const char found = radix && radix[0] && !radix[1] ? radix[0] : '.';
        freelocale(user);
        return found;
    }();
    return separator;
}

std::string FormatFixed(double value, int32_t decimals, char separator)
{
    return WithSeparator(Chars(value, std::chars_format::fixed, Decimals(decimals)), separator);
}

std::string FormatFrequency(double hertz, int32_t decimals, char separator)
{
    const Unit &unit = ChooseUnit(kFrequencyUnits, hertz);
    return FormatFixed(hertz / unit.scale, decimals, separator) + unit.name;
}

std::string FormatFrequencySignificant(double hertz, char separator)
{
    const Unit &unit = ChooseUnit(kFrequencyUnits, hertz);
    return WithSeparator(Chars(hertz / unit.scale, std::chars_format::general, 5), separator) + unit.name;
}

std::string FormatTime(double seconds, char separator)
{
    const Unit &unit = ChooseUnit(kTimeUnits, seconds);
    return WithSeparator(Chars(seconds / unit.scale, std::chars_format::general, 3), separator) + unit.name;
}

bool ParseNumber(const std::string &text, char separator, double &value)
{
    std::string plain = text;
    std::replace(plain.begin(), plain.end(), separator, '.');
    size_t end = 0;
    while (end < plain.size() && (std::isdigit(static_cast<unsigned char>(plain[end])) || plain[end] == '.' ||
                                  plain[end] == '-' || plain[end] == '+' || plain[end] == ' '))
        ++end;
    const std::string number = plain.substr(0, end);
    if (number.find_first_of("0123456789") == std::string::npos)
        return false;
    double parsed = double(StringToDouble(number.c_str()));
    // Five significant digits of a value beyond the largest unit come with an exponent ("1.5e+08THz").
    if (end + 1 < plain.size() && (plain[end] == 'e' || plain[end] == 'E')) {
        size_t digits = end + 1;
        if (plain[digits] == '+' || plain[digits] == '-')
            ++digits;
        size_t last = digits;
        while (last < plain.size() && std::isdigit(static_cast<unsigned char>(plain[last])))
            ++last;
        if (last > digits) {
            const int exponent = std::clamp(std::atoi(plain.substr(end + 1, last - end - 1).c_str()), -400, 400);
            parsed *= std::pow(10.0, exponent);
            end = last;
        }
    }
    const std::string unit = plain.substr(end);
    for (const Unit &u : kFrequencyUnits) {
        if (unit == u.name) {
            parsed *= u.scale;
            break;
        }
    }
    for (const Unit &u : kTimeUnits) {
        if (unit == u.name) {
            parsed *= u.scale;
            break;
        }
    }
    if (!std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

} // namespace sirrel
