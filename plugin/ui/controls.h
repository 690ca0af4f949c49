// The simple controls: label, push button (text or image), check box and radio group. Each is a windowless child
// that overrides paint content and, as it needs, the mouse, key and focus events.
#pragma once

#include <string>
#include <vector>

#include "ui/oru_window.h"

namespace sirrel {

class Oru_Label : public Oru_Window {
public:
    bool CreateLabel(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, const std::string &text,
                     bool centered = false);
    void PaintContent(Canvas &canvas) override;

private:
    bool centered_ = false;
};

// Clicked by the left button released over it, or by space or return while focused.
class Oru_PushButton : public Oru_Window {
public:
    bool CreateButton(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                      const std::string &caption);
    // The image variant: the map (32 bits) is drawn centred in place of the caption. The button keeps a copy.
    void SetImage(const OruDynamicPixMap &image);
    ~Oru_PushButton() override;

    void PaintContent(Canvas &canvas) override;
    void PaintBackground(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;

private:
    OruDynamicPixMap *image_ = nullptr;
};

class Oru_CheckBox : public Oru_Window {
public:
    bool CreateCheckBox(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                        const std::string &caption);
    bool Checked() const { return (State() & kStateChecked) != 0; }
    // By program: no change call-back.
    void SetChecked(bool on);

    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;

private:
    void Toggle();
};

// Options of one group, one per row; exactly one is selected whenever there are any.
class Oru_RadioGroup : public Oru_Window {
public:
    static constexpr int32_t kRowHeight = 20;

    bool CreateRadioGroup(Oru_Window *parent, int32_t x, int32_t y, int32_t width,
                          const std::vector<std::string> &options);
    int32_t Selected() const { return selected_; }
    // By program, clamped to the options; no change call-back.
    void Select(int32_t index);

    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;

private:
    void Choose(int32_t index);

    std::vector<std::string> options_;
    int32_t selected_ = -1;
};

} // namespace sirrel
