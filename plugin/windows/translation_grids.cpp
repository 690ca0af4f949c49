#include "windows/translation_grids.h"

#include <algorithm>
#include <cstdio>

#include "ui/font_engine.h"
#include "ui/platform/messages.h"

namespace sirrel {

namespace {

constexpr uint32_t kTranslatedColor = Rgb(0, 0, 128);
constexpr int32_t kFontHeight = 11;
// A pair whose byte is shown as another one stands out.
constexpr uint32_t kChangedColor = Rgb(192, 0, 0);

} // namespace

std::string CodeCellText(uint8_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X - ", code);
    std::string cell = text;
    if (code == 0x0A)
        cell += "LF";
    else if (code == 0x0D)
        cell += "CR";
    else if (code != 0)
        cell += char(code);
    return cell;
}

bool CodeGrid::CreateCodeGrid(Oru_Window *parent, int32_t x, int32_t y, int32_t visibleRows, Kind kind)
{
    kind_ = kind;
    const int32_t height = std::clamp(visibleRows, 1, Rows()) * kCellHeight + 1;
    if (!Create(parent, x, y, kGridWidth, height, false, kStyleWindowless, 0))
        return false;
    SetAcceptsFocus(true);
    SetColors(Scheme().field, Scheme().text);
    SetFont(FontDescription::Make("Arial", kFontHeight));
    for (size_t c = 0; c < codes_.size(); ++c)
        codes_[c] = uint8_t(c);
    scroll_.CreateScrollBar(this, kColumns * kCellWidth + 1, 0, kScrollWidth, height, true);
    scroll_.SetRange(0, Rows() - 1, VisibleRows());
    scroll_.SetClickCallback(&CodeGrid::Scrolled, this);
    return true;
}

void CodeGrid::Show(const std::array<uint8_t, 256> &codes, const std::string &font, uint8_t characterSet)
{
    codes_ = codes;
    replacement_.Set(FontDescription::Make(font, kFontHeight).WithCharacterSet(characterSet));
    Redraw();
}

void CodeGrid::SelectCell(int32_t cell)
{
    cell = std::clamp(cell, 0, Cells() - 1);
    if (kind_ == Kind::kTranslation)
        cell &= ~1;
    selected_ = cell;
    const int32_t row = cell / kColumns;
    if (row < scroll_.Position())
        scroll_.SetPosition(row);
    else if (row >= scroll_.Position() + VisibleRows())
        scroll_.SetPosition(row - VisibleRows() + 1);
    Redraw();
}

Rect CodeGrid::CellArea(int32_t cell)
{
    cell = std::clamp(cell, 0, Cells() - 1);
    const int32_t row = cell / kColumns;
    if (row < scroll_.Position())
        scroll_.SetPosition(row);
    else if (row >= scroll_.Position() + VisibleRows())
        scroll_.SetPosition(row - VisibleRows() + 1);
    const int32_t column = cell % kColumns;
    const int32_t top = (row - scroll_.Position()) * kCellHeight;
    return {column * kCellWidth + 1, top + 1, (column + 1) * kCellWidth, top + kCellHeight};
}

void CodeGrid::Choose(int32_t cell)
{
    SelectCell(cell);
    Changed();
}

void CodeGrid::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    const FontObject *replacement = replacement_.Get();
    FontFace *replacementFace = replacement ? replacement->face.get() : nullptr;
    const int32_t first = scroll_.Position();
    const int32_t right = kColumns * kCellWidth + 1;
    for (int32_t row = first; row < std::min(first + VisibleRows(), Rows()); ++row) {
        for (int32_t column = 0; column < kColumns; ++column) {
            const int32_t cell = row * kColumns + column;
            const int32_t top = (row - first) * kCellHeight;
            const Rect area{column * kCellWidth + 1, top + 1, (column + 1) * kCellWidth, top + kCellHeight};
            const bool selected = kind_ == Kind::kTranslation ? cell / 2 == selected_ / 2 : cell == selected_;
            if (selected)
                canvas.FillRect(area, scheme.selection);
            const Rect text{area.left + 3, area.top, area.right - 1, area.bottom};
            if (kind_ == Kind::kFont) {
                canvas.TextIn(replacementFace, text, CodeCellText(uint8_t(cell)),
                              selected ? scheme.selectionText : TextColor(), false);
            } else if (column % 2 == 0) {
                canvas.TextIn(Font(), text, CodeCellText(uint8_t(cell / 2)),
                              selected ? scheme.selectionText : TextColor(), false);
            } else {
                const uint8_t source = uint8_t(cell / 2);
                const uint32_t color = codes_[source] != source ? kChangedColor : kTranslatedColor;
                canvas.TextIn(replacementFace, text, CodeCellText(codes_[source]),
                              selected ? scheme.selectionText : color, false);
            }
        }
    }
    const int32_t bottom = std::min(VisibleRows(), Rows() - first) * kCellHeight + 1;
    for (int32_t row = 0; row * kCellHeight < bottom; ++row)
        canvas.FillRect({0, row * kCellHeight, right, row * kCellHeight + 1}, scheme.shadow);
    for (int32_t column = 0; column <= kColumns; ++column)
        canvas.FillRect({column * kCellWidth, 0, column * kCellWidth + 1, bottom}, scheme.shadow);
}

void CodeGrid::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    if (code != kMouseLeftDown || x < 1 || y < 1 || x >= kColumns * kCellWidth) {
        Oru_Window::MouseEvent(code, keys, x, y);
        return;
    }
    const int32_t row = scroll_.Position() + (y - 1) / kCellHeight;
    if (row < Rows())
        Choose(row * kColumns + (x - 1) / kCellWidth);
}

int32_t CodeGrid::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind != kKeyPressed)
        return 0;
    const int32_t step = kind_ == Kind::kTranslation ? 2 : 1;
    switch (key) {
    case kKeyLeft:
        Choose(std::max(selected_ - step, 0));
        return 1;
    case kKeyRight:
        Choose(std::min(selected_ + step, Cells() - 1));
        return 1;
    case kKeyUp:
        Choose(std::max(selected_ - kColumns, selected_ % kColumns));
        return 1;
    case kKeyDown:
        Choose(selected_ + kColumns < Cells() ? selected_ + kColumns : selected_);
        return 1;
    case kKeyReturn:
    case kKeySpace:
        Changed();
        return 1;
    default:
        return 0;
    }
}

} // namespace sirrel
