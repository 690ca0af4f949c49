// How numbers read on screen: frequencies with a unit chosen by magnitude (Hz to THz), times in s, ms, us or ns,
// and the user's decimal separator in place of the point.
#pragma once

#include <cstdint>
#include <string>

namespace sirrel {

// The decimal separator of the user's locale (LC_NUMERIC, LC_ALL, LANG), '.' when it names none.
char DecimalSeparator();

// A fixed number of decimals ("%.*lf").
std::string FormatFixed(double value, int32_t decimals, char separator);
// "%.*lfMHz" with the unit chosen by magnitude.
std::string FormatFrequency(double hertz, int32_t decimals, char separator);
// "%.5lgMHz": five significant digits.
std::string FormatFrequencySignificant(double hertz, char separator);
// "%.3lgms" and its siblings.
std::string FormatTime(double seconds, char separator);

// Reads what the formatting routines write back, unit and separator included; false when there is no number.
bool ParseNumber(const std::string &text, char separator, double &value);

} // namespace sirrel
