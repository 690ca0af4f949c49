#include "ui/lists.h"

#include <algorithm>

namespace sirrel {

namespace {

constexpr int32_t kScrollWidth = 14;
constexpr int32_t kMostDroppedRows = 8;

} // namespace

Oru_ListBox::Oru_ListBox() { OruStringList_Construct(&items_); }

Oru_ListBox::~Oru_ListBox()
{
    Destroy();
    OruStringList_Destruct(&items_, 0);
}

bool Oru_ListBox::CreateList(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    SetAcceptsFocus(true);
    SetColors(Scheme().field, Scheme().text);
    scroll_.CreateScrollBar(this, std::max(Width() - kScrollWidth, 0), 0, kScrollWidth, Height(), true);
    scroll_.SetClickCallback(&Oru_ListBox::Scrolled, this);
    UpdateScrollBar();
    return true;
}

void Oru_ListBox::SetBounds(int32_t x, int32_t y, int32_t width, int32_t height)
{
    Oru_Window::SetBounds(x, y, width, height);
    scroll_.SetBounds(std::max(Width() - kScrollWidth, 0), 0, kScrollWidth, Height());
    UpdateScrollBar();
}

void Oru_ListBox::UpdateScrollBar()
{
    scroll_.SetRange(0, std::max(Count() - 1, 0), VisibleRows());
    if (Count() > VisibleRows())
        scroll_.ShowCommand(kShowShow);
    else
        scroll_.ShowCommand(kShowHide);
}

void Oru_ListBox::Scrolled(Oru_Window *, void *list) { static_cast<Oru_ListBox *>(list)->Redraw(); }

void Oru_ListBox::SetItems(const OruStringList &items)
{
    OruStringList_Set_OruStringList(&items_, &items);
    selected_ = -1;
    UpdateScrollBar();
    Redraw();
}

void Oru_ListBox::AddItem(const std::string &item)
{
    OruStringList_Add_String(&items_, item.c_str());
    UpdateScrollBar();
    Redraw();
}

std::string Oru_ListBox::Item(int32_t index) const
{
    if (index < 0 || index >= Count())
        return {};
    return items_.Items[index];
}

void Oru_ListBox::Select(int32_t index)
{
    if (index < -1 || index >= Count())
        index = -1;
    if (index == selected_)
        return;
    selected_ = index;
    if (selected_ >= 0) {
        // Bring the selection into view.
        if (selected_ < scroll_.Position())
            scroll_.SetPosition(selected_);
        else if (selected_ >= scroll_.Position() + VisibleRows())
            scroll_.SetPosition(selected_ - VisibleRows() + 1);
    }
    Redraw();
}

void Oru_ListBox::Choose(int32_t index)
{
    const int32_t before = selected_;
    Select(index);
    if (selected_ != before)
        Changed();
}

void Oru_ListBox::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    canvas.FrameRect(ClientRect(), Focused() ? scheme.selection : scheme.shadow);
    const int32_t right = scroll_.Visible() ? Width() - kScrollWidth : Width() - 1;
    for (int32_t row = 0; row < VisibleRows(); ++row) {
        const int32_t index = scroll_.Position() + row;
        if (index >= Count())
            break;
        const Rect line{1, 1 + row * kRowHeight, right, 1 + (row + 1) * kRowHeight};
        const bool chosen = index == selected_;
        if (chosen)
            canvas.FillRect(line, scheme.selection);
        canvas.TextIn(Font(), {line.left + 3, line.top, line.right - 2, line.bottom}, items_.Items[index],
                      chosen ? scheme.selectionText : (Enabled() ? TextColor() : scheme.disabledText), false);
    }
}

void Oru_ListBox::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    if (code == kMouseLeftDown && y >= 1) {
        const int32_t index = scroll_.Position() + (y - 1) / kRowHeight;
        if (index < Count())
            Choose(index);
    } else {
        Oru_Window::MouseEvent(code, keys, x, y);
    }
}

int32_t Oru_ListBox::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind != kKeyPressed || Count() == 0)
        return 0;
    switch (key) {
    case kKeyUp:
        Choose(std::max(selected_ - 1, 0));
        return 1;
    case kKeyDown:
        Choose(std::min(selected_ + 1, Count() - 1));
        return 1;
    case kKeyHome:
        Choose(0);
        return 1;
    case kKeyEnd:
        Choose(Count() - 1);
        return 1;
    default:
        return 0;
    }
}

Oru_ComboBox::Oru_ComboBox() = default;

Oru_ComboBox::~Oru_ComboBox() { Destroy(); }

bool Oru_ComboBox::CreateCombo(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, bool editable,
                               size_t maxLength)
{
    if (!Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    editable_ = editable;
    SetAcceptsFocus(!editable);
    SetColors(Scheme().field, Scheme().text);
    if (editable_) {
        edit_.CreateEdit(this, 0, 0, std::max(width - height, 0), height, "");
        edit_.SetMaxLength(maxLength);
        edit_.SetClickCallback(&Oru_ComboBox::Typed, this);
    }
    if (!popup_.Create(this, 0, 0, std::max(width, 1), Oru_ListBox::kRowHeight + 2, true, 0, 0))
        return false;
    list_.CreateList(&popup_, 0, 0, popup_.Width(), popup_.Height());
    list_.SetClickCallback(&Oru_ComboBox::Picked, this);
    return true;
}

void Oru_ComboBox::Picked(Oru_Window *, void *combo)
{
    auto *self = static_cast<Oru_ComboBox *>(combo);
    if (self->editable_)
        self->edit_.SetText(self->list_.SelectedText());
    self->Drop(false);
    self->Redraw();
    self->Changed();
}

void Oru_ComboBox::Typed(Oru_Window *, void *combo)
{
    auto *self = static_cast<Oru_ComboBox *>(combo);
    // Typed text selects the item it names, if any.
    self->list_.Select(OruStringList_IndexOf(&self->list_.Items(), self->edit_.Text().c_str()));
    self->Changed();
}

void Oru_ComboBox::Select(int32_t index)
{
    list_.Select(index);
    if (editable_)
        edit_.SetText(list_.SelectedText());
    Redraw();
}

std::string Oru_ComboBox::SelectedText() const { return editable_ ? edit_.Text() : list_.SelectedText(); }

void Oru_ComboBox::Drop(bool open)
{
    if (open == Dropped())
        return;
    if (!open) {
        popup_.ShowCommand(kShowHide);
        return;
    }
    // Below the box, in screen coordinates, tall enough for a few rows.
    const Oru_Window *top = TopLevel();
    const int32_t rows = std::clamp(list_.Count(), 1, kMostDroppedRows);
    const int32_t height = rows * Oru_ListBox::kRowHeight + 2;
    popup_.SetBounds(top->X() + OffsetX(), top->Y() + OffsetY() + Height(), Width(), height);
    list_.SetBounds(0, 0, Width(), height);
    popup_.ShowCommand(kShowShow);
}

void Oru_ComboBox::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    const int32_t button = Height();
    canvas.FillRect(ClientRect(), Enabled() ? BackgroundColor() : scheme.face);
    canvas.FrameRect(ClientRect(), Focused() ? scheme.selection : scheme.shadow);
    const Rect arrow{Width() - button, 0, Width(), Height()};
    canvas.Bevel(arrow, Dropped(), scheme.face);
    const int32_t cx = arrow.left + arrow.Width() / 2;
    const int32_t cy = arrow.top + arrow.Height() / 2 - 2;
    for (int32_t i = 0; i < 4; ++i)
        canvas.FillRect({cx - 3 + i, cy + i, cx + 4 - i, cy + i + 1}, Enabled() ? scheme.text : scheme.disabledText);
    if (!editable_)
        canvas.TextIn(Font(), {4, 0, Width() - button - 2, Height()}, list_.SelectedText(),
                      Enabled() ? TextColor() : scheme.disabledText, false);
}

void Oru_ComboBox::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    if (code == kMouseLeftDown && ClientRect().Contains(x, y)) {
        Drop(!Dropped());
        Redraw();
    } else {
        Oru_Window::MouseEvent(code, keys, x, y);
    }
}

void Oru_ComboBox::FocusChanged(int32_t gained)
{
    if (!gained)
        Drop(false);
    Redraw();
}

int32_t Oru_ComboBox::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind != kKeyPressed)
        return 0;
    if (key == kKeyEscape && Dropped()) {
        Drop(false);
        return 1;
    }
    if (key == kKeyDown || key == kKeyUp) {
        const int32_t before = list_.Selected();
        list_.KeyEvent(kind, key);
        if (list_.Selected() != before) {
            Select(list_.Selected());
            Changed();
        }
        return 1;
    }
    return 0;
}

} // namespace sirrel
