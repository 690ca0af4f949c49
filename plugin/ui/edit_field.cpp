#include "ui/edit_field.h"

#include <algorithm>

#include "ui/charsets.h"

namespace sirrel {

namespace {

constexpr uint32_t kControlA = 0x01;
constexpr uint32_t kControlC = 0x03;
constexpr uint32_t kControlV = 0x16;
constexpr uint32_t kControlX = 0x18;

// Pasted text keeps its first line; other control characters become spaces.
std::string OneLine(const std::string &text)
{
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    for (char &c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return line;
}

} // namespace

bool Oru_EditField::CreateEdit(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                               const std::string &text)
{
    if (!Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    SetAcceptsFocus(true);
    SetColors(Scheme().field, Scheme().text);
    SetText(text);
    return true;
}

void Oru_EditField::SetMaxLength(size_t length)
{
    maxLength_ = length;
    const std::string text = Text();
    if (text.size() > maxLength_)
        SetText(text.substr(0, maxLength_));
}

void Oru_EditField::SetText(const std::string &text)
{
    const std::string kept = OneLine(text).substr(0, maxLength_);
    caret_ = anchor_ = std::min(caret_, kept.size());
    Oru_Window::SetText(kept);
}

void Oru_EditField::Select(size_t anchor, size_t caret)
{
    const size_t length = Text().size();
    anchor_ = std::min(anchor, length);
    caret_ = std::min(caret, length);
    Redraw();
}

std::string Oru_EditField::SelectedText() const
{
    const std::string text = Text();
    const size_t from = std::min({anchor_, caret_, text.size()});
    const size_t to = std::min(std::max(anchor_, caret_), text.size());
    return text.substr(from, to - from);
}

void Oru_EditField::Replace(const std::string &insert)
{
    std::string text = Text();
    const size_t from = std::min({anchor_, caret_, text.size()});
    const size_t to = std::min(std::max(anchor_, caret_), text.size());
    text.erase(from, to - from);
    const std::string kept = OneLine(insert).substr(0, maxLength_ - std::min(maxLength_, text.size()));
    text.insert(from, kept);
    caret_ = anchor_ = from + kept.size();
    Oru_Window::SetText(text);
    Redraw();
    Edited();
}

int32_t Oru_EditField::CaretX(const std::string &text, size_t position)
{
    FontFace *font = Font();
    return font ? font->TextWidth(std::string_view(text).substr(0, position)) : 0;
}

size_t Oru_EditField::PositionAt(int32_t x)
{
    const std::string text = Text();
    const int32_t target = x - kMargin + scroll_;
    size_t position = 0;
    while (position < text.size()) {
        const int32_t left = CaretX(text, position);
        const int32_t right = CaretX(text, position + 1);
        if (target < (left + right) / 2)
            break;
        ++position;
    }
    return position;
}

void Oru_EditField::PaintBackground(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    canvas.FillRect(ClientRect(), Enabled() ? BackgroundColor() : scheme.face);
    canvas.FrameRect(ClientRect(), Focused() ? scheme.selection : scheme.shadow);
}

void Oru_EditField::PaintContent(Canvas &canvas)
{
    FontFace *font = Font();
    if (!font)
        return;
    const ColorScheme &scheme = Scheme();
    const std::string text = Text();
    const size_t caret = std::min(caret_, text.size());
    // Keep the caret in view.
    const int32_t visible = std::max(Width() - 2 * kMargin, 1);
    const int32_t caretX = CaretX(text, caret);
    if (caretX - scroll_ > visible)
        scroll_ = caretX - visible;
    if (caretX < scroll_)
        scroll_ = caretX;
    const Rect inner = ClientRect().Inset(1);
    Canvas clipped = canvas.Child(inner.left, inner.top, inner.Width(), inner.Height());
    const int32_t top = (Height() - font->LineHeight()) / 2 - 1;
    const int32_t left = kMargin - 1 - scroll_;
    const uint32_t color = Enabled() ? TextColor() : scheme.disabledText;
    clipped.Text(font, left, top, text, color);
    const size_t from = std::min({anchor_, caret, text.size()});
    const size_t to = std::min(std::max(anchor_, caret), text.size());
    if (from < to) {
        const int32_t x = left + CaretX(text, from);
        const std::string_view part = std::string_view(text).substr(from, to - from);
        clipped.FillRect({x, top, x + font->TextWidth(part), top + font->LineHeight()}, scheme.selection);
        clipped.Text(font, x, top, part, scheme.selectionText);
    }
    if (Focused())
        clipped.FillRect({left + caretX, top, left + caretX + 1, top + font->LineHeight()}, color);
}

void Oru_EditField::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    switch (code) {
    case kMouseLeftDown:
        caret_ = anchor_ = PositionAt(x);
        selecting_ = true;
        Redraw();
        break;
    case kMouseMove:
        if (selecting_ && (keys & kKeyStateLeft)) {
            caret_ = PositionAt(x);
            Redraw();
        }
        break;
    case kMouseLeftUp:
        selecting_ = false;
        break;
    case kMouseLeftDoubleClick:
        Select(0, Text().size());
        break;
    default:
        Oru_Window::MouseEvent(code, keys, x, y);
    }
}

int32_t Oru_EditField::KeyEvent(int32_t kind, uint32_t key)
{
    const size_t length = Text().size();
    if (kind == kKeyCharacter) {
        switch (key) {
        case kControlA:
            Select(0, length);
            return 1;
        // A field's text is Latin-1, the clipboard's UTF-8.
        case kControlC:
            if (anchor_ != caret_)
                Platform().SetClipboardText(BytesToUtf8(SelectedText(), Latin1Map()));
            return 1;
        case kControlX:
            if (anchor_ != caret_) {
                Platform().SetClipboardText(BytesToUtf8(SelectedText(), Latin1Map()));
                Replace("");
            }
            return 1;
        case kControlV:
            Replace(Utf8ToLatin1(Platform().ClipboardText()));
            return 1;
        default:
            if (key >= 0x20 && key != 0x7F && key <= 0xFF) {
                Replace(std::string(1, char(key)));
                return 1;
            }
            // Tab, return and escape belong to the window.
            return key == kKeyBack ? 1 : 0;
        }
    }
    if (kind != kKeyPressed)
        return 0;
    switch (key) {
    case kKeyLeft:
        caret_ = anchor_ = caret_ > 0 ? caret_ - 1 : 0;
        break;
    case kKeyRight:
        caret_ = anchor_ = std::min(caret_ + 1, length);
        break;
    case kKeyHome:
        caret_ = anchor_ = 0;
        break;
    case kKeyEnd:
        caret_ = anchor_ = length;
        break;
    case kKeyBack:
        if (anchor_ == caret_ && caret_ > 0)
            anchor_ = caret_ - 1;
        Replace("");
        return 1;
    case kKeyDelete:
        if (anchor_ == caret_ && caret_ < length)
            anchor_ = caret_ + 1;
        Replace("");
        return 1;
    case kKeyReturn:
        Committed();
        return 1;
    default:
        return 0;
    }
    Redraw();
    return 1;
}

void Oru_EditField::FocusChanged(int32_t gained)
{
    if (!gained)
        Committed();
    Redraw();
}

} // namespace sirrel
