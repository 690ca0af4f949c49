// One-line text entry with a caret, a selection and the clipboard (control-C, -X, -V; control-A selects all).
// Any byte can be typed except control characters; the text is limited to a maximum length.
#pragma once

#include "ui/oru_window.h"

namespace sirrel {

class Oru_EditField : public Oru_Window {
public:
    bool CreateEdit(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, const std::string &text);
    void SetMaxLength(size_t length);
    size_t Caret() const { return caret_; }
    // The selection runs between the anchor and the caret.
    void Select(size_t anchor, size_t caret);
    std::string SelectedText() const;
    void SetText(const std::string &text) override;

    void PaintBackground(Canvas &canvas) override;
    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;
    void FocusChanged(int32_t gained) override;

protected:
    // Called when the user changed the text; the base calls the change call-back.
    virtual void Edited() { Changed(); }
    // Return pressed; the base does nothing.
    virtual void Committed() {}

private:
    static constexpr int32_t kMargin = 3;

    void Replace(const std::string &insert);
    size_t PositionAt(int32_t x);
    int32_t CaretX(const std::string &text, size_t position);

    size_t maxLength_ = 4096;
    size_t caret_ = 0;
    size_t anchor_ = 0;
    int32_t scroll_ = 0; // pixels of text hidden on the left
    bool selecting_ = false;
};

} // namespace sirrel
