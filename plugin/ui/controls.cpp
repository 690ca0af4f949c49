#include "ui/controls.h"

#include <algorithm>

namespace sirrel {

namespace {

constexpr int32_t kMarkSize = 13;

uint32_t TextColorOf(const Oru_Window &w) { return w.Enabled() ? w.TextColor() : Scheme().disabledText; }

// A dotted rectangle around the focused control's face.
void FocusMark(Canvas &canvas, const Rect &r, uint32_t color)
{
    for (int32_t x = r.left; x < r.right; x += 2) {
        canvas.FillRect({x, r.top, x + 1, r.top + 1}, color);
        canvas.FillRect({x, r.bottom - 1, x + 1, r.bottom}, color);
    }
    for (int32_t y = r.top; y < r.bottom; y += 2) {
        canvas.FillRect({r.left, y, r.left + 1, y + 1}, color);
        canvas.FillRect({r.right - 1, y, r.right, y + 1}, color);
    }
}

} // namespace

bool Oru_Label::CreateLabel(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                            const std::string &text, bool centered)
{
    if (!Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    centered_ = centered;
    SetColors(parent->BackgroundColor(), parent->TextColor());
    SetText(text);
    return true;
}

void Oru_Label::PaintContent(Canvas &canvas)
{
    FontFace *font = Font();
    if (!font)
        return;
    const std::string text = Text();
    // One line per '\n'; lines below the label are not drawn.
    int32_t top = 0;
    size_t start = 0;
    const int32_t lines = int32_t(std::count(text.begin(), text.end(), '\n')) + 1;
    if (lines * font->LineHeight() < Height())
        top = (Height() - lines * font->LineHeight()) / 2;
    while (start <= text.size() && top < Height()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        canvas.TextIn(font, {0, top, Width(), top + font->LineHeight()},
                      std::string_view(text).substr(start, end - start), TextColorOf(*this), centered_);
        top += font->LineHeight();
        start = end + 1;
    }
}

bool Oru_PushButton::CreateButton(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                  const std::string &caption)
{
    if (!Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    SetAcceptsFocus(true);
    SetText(caption);
    return true;
}

Oru_PushButton::~Oru_PushButton()
{
    if (image_)
        OruDynamicPixMap_Destruct(image_, 1);
}

void Oru_PushButton::SetImage(const OruDynamicPixMap &image)
{
    if (image.BitsPerPixel != 32 || !image.Pixels)
        return;
    if (!image_)
        image_ = OruDynamicPixMap_Construct(nullptr);
    if (!image_)
        return;
    OruDynamicPixMap_FormatUpdate(image_, image.Width, image.Height, 32);
    if (image_->Width != image.Width || image_->Height != image.Height || image_->ImageSize != image.ImageSize) {
        OruDynamicPixMap_Destruct(image_, 1);
        image_ = nullptr;
        return;
    }
    std::copy_n(image.Pixels, image.ImageSize, image_->Pixels);
    Redraw();
}

void Oru_PushButton::PaintBackground(Canvas &canvas)
{
    canvas.Bevel(ClientRect(), (State() & kStatePressed) != 0, BackgroundColor());
}

void Oru_PushButton::PaintContent(Canvas &canvas)
{
    const int32_t shift = (State() & kStatePressed) ? 1 : 0;
    const Rect face = ClientRect().Inset(3).Offset(shift, shift);
    if (image_)
        canvas.Image(*image_, (Width() - image_->Width) / 2 + shift, (Height() - image_->Height) / 2 + shift);
    else
        canvas.TextIn(Font(), face, Text(), TextColorOf(*this), true);
    if (Focused())
        FocusMark(canvas, face, TextColor());
}

void Oru_PushButton::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    const bool inside = ClientRect().Contains(x, y);
    switch (code) {
    case kMouseLeftDown:
    case kMouseLeftDoubleClick:
        SetStateBits(kStatePressed);
        break;
    case kMouseMove:
        if (keys & kKeyStateLeft) {
            if (inside)
                SetStateBits(kStatePressed);
            else
                ClearStateBits(kStatePressed);
        }
        break;
    case kMouseLeftUp: {
        const bool pressed = (State() & kStatePressed) != 0;
        ClearStateBits(kStatePressed);
        if (pressed && inside)
            Changed();
        break;
    }
    default:
        Oru_Window::MouseEvent(code, keys, x, y);
    }
}

int32_t Oru_PushButton::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind == kKeyPressed && (key == kKeySpace || key == kKeyReturn)) {
        Changed();
        return 1;
    }
    return 0;
}

bool Oru_CheckBox::CreateCheckBox(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                  const std::string &caption)
{
    if (!Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    SetAcceptsFocus(true);
    SetColors(parent->BackgroundColor(), parent->TextColor());
    SetText(caption);
    return true;
}

void Oru_CheckBox::SetChecked(bool on)
{
    if (on)
        SetStateBits(kStateChecked);
    else
        ClearStateBits(kStateChecked);
}

void Oru_CheckBox::Toggle()
{
    SetChecked(!Checked());
    Changed();
}

void Oru_CheckBox::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    const int32_t top = (Height() - kMarkSize) / 2;
    const Rect box{0, top, kMarkSize, top + kMarkSize};
    canvas.FillRect(box, Enabled() ? scheme.field : BackgroundColor());
    canvas.FrameRect(box, scheme.shadow);
    if (Checked()) {
        const uint32_t mark = TextColorOf(*this);
        for (int32_t i = 0; i < 2; ++i) {
            canvas.Line(3, top + 6 + i, 5, top + 8 + i, mark);
            canvas.Line(5, top + 8 + i, 9, top + 4 + i, mark);
        }
    }
    const Rect label{kMarkSize + 5, 0, Width(), Height()};
    canvas.TextIn(Font(), label, Text(), TextColorOf(*this), false);
    if (Focused())
        FocusMark(canvas, label.Offset(-2, 0), TextColor());
}

void Oru_CheckBox::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    if (code == kMouseLeftUp && ClientRect().Contains(x, y))
        Toggle();
    else
        Oru_Window::MouseEvent(code, keys, x, y);
}

int32_t Oru_CheckBox::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind == kKeyPressed && key == kKeySpace) {
        Toggle();
        return 1;
    }
    return 0;
}

bool Oru_RadioGroup::CreateRadioGroup(Oru_Window *parent, int32_t x, int32_t y, int32_t width,
                                      const std::vector<std::string> &options)
{
    const int32_t rows = int32_t(std::min<size_t>(options.size(), 1000));
    if (!Create(parent, x, y, width, std::max(rows, 1) * kRowHeight, false, kStyleWindowless, 0))
        return false;
    options_.assign(options.begin(), options.begin() + rows);
    selected_ = options_.empty() ? -1 : 0;
    SetAcceptsFocus(true);
    SetColors(parent->BackgroundColor(), parent->TextColor());
    return true;
}

void Oru_RadioGroup::Select(int32_t index)
{
    if (options_.empty())
        return;
    index = std::clamp(index, 0, int32_t(options_.size()) - 1);
    if (index == selected_)
        return;
    selected_ = index;
    Redraw();
}

void Oru_RadioGroup::Choose(int32_t index)
{
    const int32_t before = selected_;
    Select(index);
    if (selected_ != before)
        Changed();
}

void Oru_RadioGroup::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    const uint32_t text = TextColorOf(*this);
    for (int32_t i = 0; i < int32_t(options_.size()); ++i) {
        const int32_t top = i * kRowHeight + (kRowHeight - kMarkSize) / 2;
        // A round mark: a filled disc drawn row by row.
        for (int32_t row = 0; row < kMarkSize; ++row) {
            const int32_t dy = 2 * row - (kMarkSize - 1);
            int32_t half = 0;
            while ((2 * half + 2) * (2 * half + 2) + dy * dy <= kMarkSize * kMarkSize)
                ++half;
            const int32_t middle = kMarkSize / 2;
            canvas.FillRect({middle - half, top + row, middle + half + 1, top + row + 1}, scheme.shadow);
            if (half > 0)
                canvas.FillRect({middle - half + 1, top + row, middle + half, top + row + 1},
                                Enabled() ? scheme.field : BackgroundColor());
        }
        if (i == selected_)
            canvas.FillRect({4, top + 4, kMarkSize - 4, top + kMarkSize - 4}, text);
        const Rect label{kMarkSize + 5, i * kRowHeight, Width(), (i + 1) * kRowHeight};
        canvas.TextIn(Font(), label, options_[i], text, false);
        if (Focused() && i == selected_)
            FocusMark(canvas, label.Offset(-2, 0), TextColor());
    }
}

void Oru_RadioGroup::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    if (code == kMouseLeftDown && ClientRect().Contains(x, y))
        Choose(y / kRowHeight);
    else
        Oru_Window::MouseEvent(code, keys, x, y);
}

int32_t Oru_RadioGroup::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind != kKeyPressed || options_.empty())
        return 0;
    if (key == kKeyUp || key == kKeyLeft) {
        Choose(selected_ - 1);
        return 1;
    }
    if (key == kKeyDown || key == kKeyRight) {
        Choose(selected_ + 1);
        return 1;
    }
    return 0;
}

} // namespace sirrel
