#include "ui/frame.h"

#include <algorithm>

namespace sirrel {

bool Oru_Frame::CreateFrame(Oru_Window *owner, int32_t x, int32_t y, int32_t width, int32_t height,
                            const std::string &caption, bool resizable)
{
    if (!Create(owner, x, y, width, height, owner != nullptr,
                kStyleCaptionDrags | (resizable ? uint32_t(kStyleResizeBorders) : 0u) | kStyleKeepBitmap, 0))
        return false;
    SetFrameMetrics(kBorder, kCaptionHeight);
    SetText(caption);
    return true;
}

Rect Oru_Frame::ContentRect() const
{
    return {kBorder, kCaptionHeight, std::max(Width() - kBorder, kBorder), std::max(Height() - kBorder, kBorder)};
}

void Oru_Frame::PaintBackground(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    canvas.Bevel(ClientRect(), false, BackgroundColor());
    const Rect caption{kBorder, kBorder, Width() - kBorder, kCaptionHeight - 2};
    canvas.FillRect(caption, scheme.selection);
    canvas.TextIn(Font(), {caption.left + 4, caption.top, caption.right - 4, caption.bottom}, Text(),
                  scheme.selectionText, false);
}

int32_t Oru_Dialog::RunModal(int32_t defaultResult)
{
    ended_ = false;
    result_ = defaultResult;
    SetBounds((Platform().ScreenWidth() - Width()) / 2, (Platform().ScreenHeight() - Height()) / 2, Width(), Height());
    ShowCommand(kShowShow);
    SetFocus();
    RunModalLoop([](void *self) { return static_cast<Oru_Dialog *>(self)->ended_; }, this);
    ShowCommand(kShowHide);
    return result_;
}

void Oru_Dialog::EndDialog(int32_t result)
{
    result_ = result;
    ended_ = true;
}

intptr_t Oru_Dialog::HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second)
{
    // Closing a dialog ends its loop; its owner destroys it.
    if (message == kMsgClose) {
        ended_ = true;
        return 0;
    }
    return Oru_Frame::HandleNativeMessage(message, first, second);
}

} // namespace sirrel
