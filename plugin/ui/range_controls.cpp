#include "ui/range_controls.h"

#include <algorithm>

namespace sirrel {

namespace {

// A small filled triangle pointing up, down, left or right, centred in r.
void Arrow(Canvas &canvas, const Rect &r, int32_t direction, uint32_t color)
{
    const int32_t size = std::max(std::min(r.Width(), r.Height()) / 4, 1);
    const int32_t cx = r.left + r.Width() / 2;
    const int32_t cy = r.top + r.Height() / 2;
    for (int32_t i = 0; i < size; ++i) {
        switch (direction) {
        case 0: // up
            canvas.FillRect({cx - i, cy - size / 2 + i, cx + i + 1, cy - size / 2 + i + 1}, color);
            break;
        case 1: // down
            canvas.FillRect({cx - i, cy + size / 2 - i, cx + i + 1, cy + size / 2 - i + 1}, color);
            break;
        case 2: // left
            canvas.FillRect({cx - size / 2 + i, cy - i, cx - size / 2 + i + 1, cy + i + 1}, color);
            break;
        default: // right
            canvas.FillRect({cx + size / 2 - i, cy - i, cx + size / 2 - i + 1, cy + i + 1}, color);
            break;
        }
    }
}

} // namespace

bool Oru_ScrollBar::CreateScrollBar(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                    bool vertical)
{
    vertical_ = vertical;
    return Create(parent, x, y, width, height, false, kStyleWindowless, 0);
}

int32_t Oru_ScrollBar::Last() const { return std::max(minimum_, maximum_ - page_ + 1); }

void Oru_ScrollBar::SetRange(int32_t minimum, int32_t maximum, int32_t page)
{
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    page_ = std::max(page, 1);
    position_ = std::clamp(position_, minimum_, Last());
    Redraw();
}

void Oru_ScrollBar::SetPosition(int32_t position)
{
    position = std::clamp(position, minimum_, Last());
    if (position == position_)
        return;
    position_ = position;
    Redraw();
}

void Oru_ScrollBar::MoveTo(int32_t position)
{
    const int32_t before = position_;
    SetPosition(position);
    if (position_ != before)
        Changed();
}

void Oru_ScrollBar::Thumb(int32_t &start, int32_t &length) const
{
    const int32_t track = std::max(Length() - 2 * Thickness(), 0);
    const int64_t span = int64_t(maximum_) - minimum_ + 1;
    length = std::clamp(int32_t(int64_t(track) * page_ / std::max<int64_t>(span, 1)), std::min(track, 8), track);
    const int64_t steps = int64_t(Last()) - minimum_;
    start = Thickness() + (steps > 0 ? int32_t((int64_t(track) - length) * (position_ - minimum_) / steps) : 0);
}

void Oru_ScrollBar::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    const int32_t t = Thickness();
    const int32_t l = Length();
    canvas.FillRect(ClientRect(), ColorInterpolate(scheme.face, scheme.light, 2, 1));
    const Rect first{0, 0, t, t};
    const Rect second = vertical_ ? Rect{0, l - t, t, l} : Rect{l - t, 0, l, t};
    canvas.Bevel(first, false, scheme.face);
    canvas.Bevel(second, false, scheme.face);
    const uint32_t arrow = Enabled() ? scheme.text : scheme.disabledText;
    Arrow(canvas, first, vertical_ ? 0 : 2, arrow);
    Arrow(canvas, second, vertical_ ? 1 : 3, arrow);
    int32_t start = 0, length = 0;
    Thumb(start, length);
    if (length > 0 && Last() > minimum_)
        canvas.Bevel(vertical_ ? Rect{0, start, t, start + length} : Rect{start, 0, start + length, t}, false,
                     scheme.face);
}

void Oru_ScrollBar::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    const int32_t along = vertical_ ? y : x;
    int32_t start = 0, length = 0;
    Thumb(start, length);
    if (code == kMouseLeftDown || code == kMouseLeftDoubleClick) {
        if (along < Thickness())
            MoveTo(position_ - 1);
        else if (along >= Length() - Thickness())
            MoveTo(position_ + 1);
        else if (along < start)
            MoveTo(position_ - page_);
        else if (along >= start + length)
            MoveTo(position_ + page_);
        else
            dragOffset_ = along - start;
    } else if (code == kMouseMove && dragOffset_ >= 0 && (keys & kKeyStateLeft)) {
        const int32_t track = Length() - 2 * Thickness() - length;
        if (track > 0) {
            const int64_t offset = std::clamp(along - dragOffset_ - Thickness(), 0, track);
            MoveTo(minimum_ + int32_t(offset * (int64_t(Last()) - minimum_) / track));
        }
    } else if (code == kMouseLeftUp) {
        dragOffset_ = -1;
    } else {
        Oru_Window::MouseEvent(code, keys, x, y);
    }
}

bool Oru_Slider::CreateSlider(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, int32_t minimum,
                              int32_t maximum)
{
    minimum_ = std::min(minimum, maximum);
    maximum_ = std::max(minimum, maximum);
    value_ = minimum_;
    if (!Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    SetAcceptsFocus(true);
    SetColors(parent->BackgroundColor(), parent->TextColor());
    return true;
}

void Oru_Slider::SetValue(int32_t value)
{
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_)
        return;
    value_ = value;
    Redraw();
}

void Oru_Slider::Choose(int32_t value)
{
    const int32_t before = value_;
    SetValue(value);
    if (value_ != before)
        Changed();
}

int32_t Oru_Slider::ValueAt(int32_t x) const
{
    const int32_t track = std::max(Width() - 10, 1);
    const int64_t offset = std::clamp(x - 5, 0, track);
    return minimum_ + int32_t(offset * (int64_t(maximum_) - minimum_) / track);
}

void Oru_Slider::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    const int32_t middle = Height() / 2;
    canvas.Bevel({4, middle - 2, Width() - 4, middle + 2}, true, scheme.face);
    const int32_t track = std::max(Width() - 10, 1);
    const int64_t span = std::max<int64_t>(int64_t(maximum_) - minimum_, 1);
    const int32_t x = 5 + int32_t(int64_t(track) * (value_ - minimum_) / span);
    canvas.Bevel({x - 4, 2, x + 5, Height() - 2}, false, Enabled() ? scheme.face : BackgroundColor());
    if (Focused())
        canvas.FrameRect({x - 5, 1, x + 6, Height() - 1}, scheme.selection);
}

void Oru_Slider::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    if (code == kMouseLeftDown) {
        dragging_ = true;
        Choose(ValueAt(x));
    } else if (code == kMouseMove && dragging_ && (keys & kKeyStateLeft)) {
        Choose(ValueAt(x));
    } else if (code == kMouseLeftUp) {
        dragging_ = false;
    } else {
        Oru_Window::MouseEvent(code, keys, x, y);
    }
}

int32_t Oru_Slider::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind != kKeyPressed)
        return 0;
    if (key == kKeyLeft || key == kKeyDown)
        Choose(value_ - 1);
    else if (key == kKeyRight || key == kKeyUp)
        Choose(value_ + 1);
    else if (key == kKeyHome)
        Choose(minimum_);
    else if (key == kKeyEnd)
        Choose(maximum_);
    else
        return 0;
    return 1;
}

bool Oru_LevelMeter::CreateMeter(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                 int32_t maximum)
{
    maximum_ = std::max(maximum, 1);
    return Create(parent, x, y, width, height, false, kStyleWindowless, 0);
}

void Oru_LevelMeter::SetLevel(int32_t level)
{
    level = std::clamp(level, 0, maximum_);
    if (level_.exchange(level) != level)
        Redraw();
}

void Oru_LevelMeter::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    const Rect inner = ClientRect().Inset(1);
    canvas.FillRect(ClientRect(), scheme.field);
    canvas.FrameRect(ClientRect(), scheme.shadow);
    const int32_t lit = int32_t(int64_t(inner.Width()) * level_ / maximum_);
    const int32_t yellow = inner.Width() * 7 / 10;
    const int32_t red = inner.Width() * 9 / 10;
    const bool low = Platform().ColorDepth() <= 8;
    canvas.FillRect({inner.left, inner.top, inner.left + std::min(lit, yellow), inner.bottom},
                    low ? scheme.text : Rgb(0, 176, 0));
    if (lit > yellow)
        canvas.FillRect({inner.left + yellow, inner.top, inner.left + std::min(lit, red), inner.bottom},
                        low ? scheme.text : Rgb(224, 192, 0));
    if (lit > red)
        canvas.FillRect({inner.left + red, inner.top, inner.left + lit, inner.bottom},
                        low ? scheme.text : Rgb(224, 0, 0));
}

bool Oru_ColorSwatch::CreateSwatch(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                   uint32_t color)
{
    color_ = color;
    if (!Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    SetText("");
    return true;
}

void Oru_ColorSwatch::SetColor(uint32_t color)
{
    if (color_.exchange(color) != color)
        Redraw();
}

void Oru_ColorSwatch::PaintContent(Canvas &canvas)
{
    canvas.FillRect(ClientRect(), color_);
    canvas.FrameRect(ClientRect(), Scheme().shadow);
    const std::string text = Text();
    if (!text.empty())
        canvas.TextIn(Font(), ClientRect(), text, TextColor(), true);
}

void Oru_ColorSwatch::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    if (code == kMouseLeftUp && ClientRect().Contains(x, y))
        Changed();
    else
        Oru_Window::MouseEvent(code, keys, x, y);
}

} // namespace sirrel
