// Controls that show or set a value in a range: scroll bar, slider, level meter, and the colour swatch that the
// level indicators sit beside.
#pragma once

#include "ui/oru_window.h"

namespace sirrel {

// A vertical or horizontal scroll bar: arrows step by one, the track pages, the thumb drags. The position stays
// within minimum .. maximum - page + 1.
class Oru_ScrollBar : public Oru_Window {
public:
    bool CreateScrollBar(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, bool vertical);
    void SetRange(int32_t minimum, int32_t maximum, int32_t page);
    // By program: clamped, no change call-back.
    void SetPosition(int32_t position);
    int32_t Position() const { return position_; }

    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;

private:
    int32_t Length() const { return vertical_ ? Height() : Width(); }
    int32_t Thickness() const { return vertical_ ? Width() : Height(); }
    int32_t Last() const;
    // Start and length of the thumb along the track, in pixels from the bar's start.
    void Thumb(int32_t &start, int32_t &length) const;
    void MoveTo(int32_t position);

    bool vertical_ = true;
    int32_t minimum_ = 0;
    int32_t maximum_ = 0;
    int32_t page_ = 1;
    int32_t position_ = 0;
    int32_t dragOffset_ = -1; // pixels from the thumb's start while dragging it
};

// A horizontal slider with a value between its limits; dragging or the arrow keys change it.
class Oru_Slider : public Oru_Window {
public:
    bool CreateSlider(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, int32_t minimum,
                      int32_t maximum);
    void SetValue(int32_t value);
    int32_t Value() const { return value_; }

    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;

private:
    void Choose(int32_t value);
    int32_t ValueAt(int32_t x) const;

    int32_t minimum_ = 0;
    int32_t maximum_ = 100;
    int32_t value_ = 0;
    bool dragging_ = false;
};

// A bar showing a level between 0 and its maximum: green, yellow above 70 %, red above 90 %.
class Oru_LevelMeter : public Oru_Window {
public:
    bool CreateMeter(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, int32_t maximum);
    // Any thread may set the level.
    void SetLevel(int32_t level);
    int32_t Level() const { return level_; }

    void PaintContent(Canvas &canvas) override;

private:
    int32_t maximum_ = 100;
    std::atomic<int32_t> level_{0};
};

// A rectangle of one colour, with an optional text on it ("Clipping"); a click calls the click call-back.
class Oru_ColorSwatch : public Oru_Window {
public:
    bool CreateSwatch(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t color);
    void SetColor(uint32_t color);
    uint32_t Color() const { return color_; }

    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;

private:
    std::atomic<uint32_t> color_{0};
};

} // namespace sirrel
