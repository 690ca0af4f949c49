// Top-level frames and dialogs: a custom-drawn caption strip that drags the window, resize borders, and for
// dialogs a modal loop that ends with a result.
#pragma once

#include "ui/oru_window.h"

namespace sirrel {

class Oru_Frame : public Oru_Window {
public:
    static constexpr int32_t kBorder = 4;
    static constexpr int32_t kCaptionHeight = 22;

    // An owner makes the frame an owned pop-up.
    bool CreateFrame(Oru_Window *owner, int32_t x, int32_t y, int32_t width, int32_t height, const std::string &caption,
                     bool resizable);
    // The area below the caption strip and inside the borders.
    Rect ContentRect() const;
    // The slot frames and dialogs add; the base does nothing.
    virtual void FrameHook() {}

    void PaintBackground(Canvas &canvas) override;
};

class Oru_Dialog : public Oru_Frame {
public:
    // Shows the dialog centred over the screen and runs a modal loop until EndDialog, closing, or a display
    // with nothing more to give; the last two return `defaultResult`.
    int32_t RunModal(int32_t defaultResult);
    void EndDialog(int32_t result);
    intptr_t HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second) override;

private:
    bool ended_ = false;
    int32_t result_ = 0;
};

} // namespace sirrel
