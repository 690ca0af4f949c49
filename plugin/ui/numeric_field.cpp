#include "ui/numeric_field.h"

#include <algorithm>
#include <cmath>

#include "ui/text_format.h"

namespace sirrel {

bool Oru_NumericField::CreateNumeric(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, Kind kind)
{
    kind_ = kind;
    separator_ = DecimalSeparator();
    if (kind_ == Kind::Integer)
        decimals_ = 0;
    if (!CreateEdit(parent, x, y, width, height, Format(value_)))
        return false;
    // Room for the widest value shown: 1e300 with fifteen decimals.
    SetMaxLength(400);
    return true;
}

double Oru_NumericField::Clamp(double value) const
{
    if (std::isnan(value))
        value = minimum_;
    if (value < minimum_)
        value = minimum_;
    if (value > maximum_)
        value = maximum_;
    return kind_ == Kind::Integer ? std::trunc(value) : value;
}

std::string Oru_NumericField::Format(double value) const
{
    switch (kind_) {
    case Kind::Integer:
        return FormatFixed(value, 0, separator_);
    case Kind::Frequency:
        return FormatFrequency(value, decimals_, separator_);
    case Kind::FrequencySignificant:
        return FormatFrequencySignificant(value, separator_);
    case Kind::Time:
        return FormatTime(value, separator_);
    default:
        return FormatFixed(value, decimals_, separator_);
    }
}

void Oru_NumericField::SetValue(double value)
{
    value_ = Clamp(value);
    SetText(Format(value_));
}

void Oru_NumericField::SetLimits(double minimum, double maximum)
{
    if (std::isnan(minimum) || std::isnan(maximum))
        return;
    if (minimum > maximum)
        std::swap(minimum, maximum);
    minimum_ = minimum;
    maximum_ = maximum;
    SetValue(value_);
}

void Oru_NumericField::SetDecimals(int32_t decimals)
{
    decimals_ = kind_ == Kind::Integer ? 0 : std::clamp(decimals, 0, 15);
    SetText(Format(value_));
}

void Oru_NumericField::SetSeparator(char separator)
{
    separator_ = separator;
    SetText(Format(value_));
}

void Oru_NumericField::Committed()
{
    double parsed = value_;
    const bool read = ParseNumber(Text(), separator_, parsed);
    const double before = value_;
    value_ = read ? Clamp(parsed) : value_;
    SetText(Format(value_));
    if (value_ != before)
        Changed();
}

} // namespace sirrel
