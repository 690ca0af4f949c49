// An edit field holding a number: a value kept between a minimum and a maximum (brought to the nearest limit),
// shown with a number of decimals, or as an integer, a frequency or a time. The value is taken from the text
// when return is pressed or the field loses the focus; text without a number gives the old value back.
#pragma once

#include "ui/edit_field.h"

namespace sirrel {

class Oru_NumericField : public Oru_EditField {
public:
    enum class Kind { Plain, Integer, Frequency, FrequencySignificant, Time };

    bool CreateNumeric(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, Kind kind);
    double Value() const { return value_; }
    // By program: clamped, shown, no change call-back.
    void SetValue(double value);
    void SetLimits(double minimum, double maximum);
    void SetDecimals(int32_t decimals);
    // The separator shown and read; the user's locale's by default.
    void SetSeparator(char separator);
    std::string Format(double value) const;

protected:
    void Edited() override {}
    void Committed() override;

private:
    double Clamp(double value) const;

    Kind kind_ = Kind::Plain;
    double value_ = 0;
    double minimum_ = -1e300;
    double maximum_ = 1e300;
    int32_t decimals_ = 2;
    char separator_ = '.';
};

} // namespace sirrel
