// Numeric fields and display scales bring any value to its nearest limit.
#pragma once

namespace sirrel {

// NaN goes to the lower limit, so a bad value can never reach a marker, a scale or a filter.
inline double FieldLimit(double value, double low, double high)
{
    if (!(value >= low))
        return low;
    return value > high ? high : value;
}

} // namespace sirrel
