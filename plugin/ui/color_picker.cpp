#include "ui/color_picker.h"

#include "ui/message_box.h"

namespace sirrel {

namespace {

constexpr int32_t kWidth = 300;
constexpr int32_t kHeight = 200;
constexpr const char *kChannelNames[3] = {"Red", "Green", "Blue"};

} // namespace

bool Oru_ColorPicker::Pick(Oru_Window *owner, uint32_t &color)
{
    Oru_ColorPicker picker;
    if (!picker.Build(owner, color))
        return false;
    if (picker.RunModal(kBoxCancel) != kBoxOk)
        return false;
    color = picker.Color();
    return true;
}

bool Oru_ColorPicker::Build(Oru_Window *owner, uint32_t color)
{
    SetEndsLoop(false);
    if (!CreateFrame(owner, 0, 0, kWidth, kHeight, "Color Picker", false))
        return false;
    const int32_t top = kCaptionHeight + 10;
    for (int i = 0; i < 3; ++i) {
        names_[i].CreateLabel(this, 12, top + i * 30, 50, 24, kChannelNames[i]);
        channels_[i].CreateSlider(this, 64, top + i * 30, 150, 24, 0, 255);
        channels_[i].SetValue(int32_t((color >> (8 * i)) & 0xFF));
        channels_[i].SetClickCallback(&Oru_ColorPicker::Moved, this);
    }
    swatch_.CreateSwatch(this, 226, top, 60, 84, color & 0xFFFFFF);
    ok_.CreateButton(this, kWidth - 2 * 86, kHeight - 40, 76, 24, "OK");
    ok_.SetClickCallback(&Oru_ColorPicker::Ok, this);
    cancel_.CreateButton(this, kWidth - 86, kHeight - 40, 76, 24, "Cancel");
    cancel_.SetClickCallback(&Oru_ColorPicker::Cancel, this);
    channels_[0].SetFocus();
    return true;
}

uint32_t Oru_ColorPicker::Color() const
{
    return Rgb(uint32_t(channels_[0].Value()), uint32_t(channels_[1].Value()), uint32_t(channels_[2].Value()));
}

void Oru_ColorPicker::Moved(Oru_Window *, void *picker)
{
    auto *self = static_cast<Oru_ColorPicker *>(picker);
    self->swatch_.SetColor(self->Color());
}

void Oru_ColorPicker::Ok(Oru_Window *, void *picker) { static_cast<Oru_ColorPicker *>(picker)->EndDialog(kBoxOk); }

void Oru_ColorPicker::Cancel(Oru_Window *, void *picker)
{
    static_cast<Oru_ColorPicker *>(picker)->EndDialog(kBoxCancel);
}

int32_t Oru_ColorPicker::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind != kKeyPressed)
        return 0;
    if (key == kKeyReturn)
        EndDialog(kBoxOk);
    else if (key == kKeyEscape)
        EndDialog(kBoxCancel);
    else
        return 0;
    return 1;
}

} // namespace sirrel
