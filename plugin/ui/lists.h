// Lists of texts: the list box, and the combo box whose list drops down in a pop-up window of its own (it may
// reach beyond its parent). The editable combo box types into a text of limited length.
#pragma once

#include <memory>

#include "orurt.h"
#include "ui/edit_field.h"
#include "ui/range_controls.h"

namespace sirrel {

class Oru_ListBox : public Oru_Window {
public:
    static constexpr int32_t kRowHeight = 18;

    Oru_ListBox();
    ~Oru_ListBox() override;
    bool CreateList(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height);
    void SetItems(const OruStringList &items);
    void AddItem(const std::string &item);
    int32_t Count() const { return int32_t(items_.Count); }
    std::string Item(int32_t index) const;
    // -1 = none. By program: no selection call-back.
    void Select(int32_t index);
    int32_t Selected() const { return selected_; }
    std::string SelectedText() const { return Item(selected_); }
    const OruStringList &Items() const { return items_; }

    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;
    void SetBounds(int32_t x, int32_t y, int32_t width, int32_t height) override;

private:
    static void Scrolled(Oru_Window *bar, void *list);
    void Choose(int32_t index);
    int32_t VisibleRows() const { return std::max(Height() / kRowHeight, 1); }
    void UpdateScrollBar();

    OruStringList items_;
    int32_t selected_ = -1;
    Oru_ScrollBar scroll_;
};

class Oru_ComboBox : public Oru_Window {
public:
    Oru_ComboBox();
    ~Oru_ComboBox() override;
    // `editable`: the text can be typed, up to `maxLength` bytes.
    bool CreateCombo(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, bool editable,
                     size_t maxLength = 256);
    Oru_ListBox &List() { return list_; }
    void AddItem(const std::string &item) { list_.AddItem(item); }
    void Select(int32_t index);
    int32_t Selected() const { return list_.Selected(); }
    // The selected item, or what was typed into an editable box.
    std::string SelectedText() const;
    bool Dropped() const { return popup_.NativeHandle() != 0 && popup_.Visible(); }
    void Drop(bool open);

    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;
    // The list closes when the focus goes to another control.
    void FocusChanged(int32_t gained) override;

private:
    static void Picked(Oru_Window *list, void *combo);
    static void Typed(Oru_Window *edit, void *combo);

    bool editable_ = false;
    Oru_EditField edit_;
    Oru_Window popup_;
    Oru_ListBox list_;
};

} // namespace sirrel
