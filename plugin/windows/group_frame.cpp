#include "windows/group_frame.h"

#include "ui/font_engine.h"

namespace sirrel {

bool GroupFrame::CreateGroup(Oru_Window *parent, const Rect &area, const std::string &title)
{
    if (!Create(parent, area.left, area.top, area.Width(), area.Height(), false, kStyleWindowless, 0))
        return false;
    SetColors(parent->BackgroundColor(), parent->TextColor());
    SetText(title);
    return true;
}

Rect GroupFrame::Inner() const { return {6, kTitleHeight + 2, Width() - 6, Height() - 6}; }

void GroupFrame::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    const int32_t line = kTitleHeight / 2;
    // Etched: a shadow line with a light one beside it.
    canvas.FrameRect({0, line, Width() - 1, Height() - 1}, scheme.shadow);
    canvas.FrameRect({1, line + 1, Width(), Height()}, scheme.light);
    const std::string title = Text();
    if (title.empty())
        return;
    FontFace *font = Font();
    if (!font)
        return;
    // The title interrupts the frame line.
    canvas.FillRect({8, 0, 8 + font->TextWidth(title) + 6, kTitleHeight}, BackgroundColor());
    canvas.Text(font, 11, 0, title, Enabled() ? TextColor() : scheme.disabledText);
}

} // namespace sirrel
