// The "Color Picker" dialog: red, green and blue sliders over a swatch of the colour, OK and Cancel.
#pragma once

#include <memory>

#include "ui/controls.h"
#include "ui/frame.h"
#include "ui/range_controls.h"

namespace sirrel {

class Oru_ColorPicker : public Oru_Dialog {
public:
    // Shows the dialog with `color` (0x00BBGGRR); true and the new colour when the user chose OK.
    static bool Pick(Oru_Window *owner, uint32_t &color);

    bool Build(Oru_Window *owner, uint32_t color);
    uint32_t Color() const;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;

private:
    static void Moved(Oru_Window *slider, void *picker);
    static void Ok(Oru_Window *button, void *picker);
    static void Cancel(Oru_Window *button, void *picker);

    Oru_Label names_[3];
    Oru_Slider channels_[3];
    Oru_ColorSwatch swatch_;
    Oru_PushButton ok_;
    Oru_PushButton cancel_;
};

} // namespace sirrel
