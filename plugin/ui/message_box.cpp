#include "ui/message_box.h"

#include <algorithm>
#include <memory>

#include "ui/controls.h"
#include "ui/frame.h"

namespace sirrel {

namespace {

constexpr int32_t kButtonWidth = 76;
constexpr int32_t kButtonHeight = 24;
constexpr int32_t kGap = 10;
constexpr int32_t kWidestText = 640;

class Oru_MessageBox : public Oru_Dialog {
public:
    bool Build(Oru_Window *owner, const std::string &caption, const std::string &text, uint32_t codes);
    int32_t KeyEvent(int32_t kind, uint32_t key) override;
    uint32_t FirstCode() const { return codes_.front(); }

private:
    static void Pressed(Oru_Window *button, void *context);

    std::vector<uint32_t> codes_;
    Oru_Label label_;
    std::vector<std::unique_ptr<Oru_PushButton>> buttons_;
};

bool Oru_MessageBox::Build(Oru_Window *owner, const std::string &caption, const std::string &text, uint32_t codes)
{
    codes_ = MessageBoxButtons(codes);
    FontFace *font = Font();
    const int32_t lineHeight = font ? font->LineHeight() : 14;
    int32_t textWidth = 0;
    int32_t lines = 0;
    for (size_t start = 0; start <= text.size() && lines < 40; ++lines) {
        const size_t end = std::min(text.find('\n', start), text.size());
        if (font)
            textWidth = std::max(textWidth, font->TextWidth(std::string_view(text).substr(start, end - start)));
        start = end + 1;
    }
    textWidth = std::min(textWidth, kWidestText);
    const int32_t buttonsWidth = int32_t(codes_.size()) * (kButtonWidth + kGap) - kGap;
    const int32_t inner = std::max({textWidth, buttonsWidth, 160});
    const int32_t width = inner + 2 * (kGap + kBorder);
    const int32_t textHeight = lines * lineHeight;
    const int32_t height = kCaptionHeight + kGap + textHeight + kGap + kButtonHeight + kGap + kBorder;
    SetEndsLoop(false);
    if (!CreateFrame(owner, 0, 0, width, height, caption, false))
        return false;
    label_.CreateLabel(this, kBorder + kGap, kCaptionHeight + kGap, inner, textHeight, text, true);
    int32_t x = (width - buttonsWidth) / 2;
    const int32_t y = height - kBorder - kGap - kButtonHeight;
    for (uint32_t code : codes_) {
        auto button = std::make_unique<Oru_PushButton>();
        button->CreateButton(this, x, y, kButtonWidth, kButtonHeight, MessageBoxLabel(code));
        button->SetClickCallback(&Oru_MessageBox::Pressed, this);
        button->SetName(MessageBoxLabel(code));
        buttons_.push_back(std::move(button));
        x += kButtonWidth + kGap;
    }
    buttons_.front()->SetFocus();
    return true;
}

void Oru_MessageBox::Pressed(Oru_Window *button, void *context)
{
    auto *box = static_cast<Oru_MessageBox *>(context);
    for (size_t i = 0; i < box->buttons_.size(); ++i) {
        if (box->buttons_[i].get() == button)
            box->EndDialog(int32_t(box->codes_[i]));
    }
}

int32_t Oru_MessageBox::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind == kKeyPressed && key == kKeyEscape) {
        if (std::find(codes_.begin(), codes_.end(), kBoxCancel) != codes_.end())
            EndDialog(kBoxCancel);
        else if (codes_.size() == 1)
            EndDialog(int32_t(codes_.front()));
        return 1;
    }
    return 0;
}

} // namespace

std::vector<uint32_t> MessageBoxButtons(uint32_t codes)
{
    std::vector<uint32_t> buttons;
    for (int nibble = 0; nibble < 8; ++nibble) {
        const uint32_t code = (codes >> (4 * nibble)) & 0xF;
        if (code >= kBoxOk && code <= kBoxIgnore)
            buttons.push_back(code);
    }
    if (buttons.empty())
        buttons.push_back(kBoxOk);
    return buttons;
}

const char *MessageBoxLabel(uint32_t code)
{
    static const char *const labels[] = {"", "OK", "Yes", "No", "Cancel", "Abort", "Retry", "Ignore"};
    return code <= kBoxIgnore ? labels[code] : "";
}

uint32_t ShowMessageBox(Oru_Window *owner, const std::string &caption, const std::string &text, uint32_t codes)
{
    Oru_MessageBox box;
    if (!box.Build(owner, caption, text, codes))
        return MessageBoxButtons(codes).front();
    return uint32_t(box.RunModal(int32_t(box.FirstCode())));
}

} // namespace sirrel
