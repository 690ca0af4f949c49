#include "windows/output_text_pane.h"

#include <algorithm>

#include "ui/charsets.h"
#include "ui/draw_objects.h"
#include "ui/platform/driver.h"

namespace sirrel {

namespace {

constexpr uint32_t kControlC = 0x03;
constexpr const char *kFallbackFace = "Courier New";

} // namespace

std::vector<ColourRun> ColourRuns(const std::vector<TextCell> &cells)
{
    std::vector<ColourRun> runs;
    for (uint32_t i = 0; i < cells.size(); ++i) {
        if (runs.empty() || runs.back().colour != cells[i].colour)
            runs.push_back({i, 0, cells[i].colour});
        ++runs.back().count;
    }
    return runs;
}

bool OutputTextPane::CreatePane(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                OutputTextView &view)
{
    view_ = &view;
    ApplyFont();
    if (FontFace *font = Font())
        lineHeight_ = std::max(font->LineHeight(), 1);
    if (!CreateScrolling(parent, x, y, width, height, lineHeight_))
        return false;
    SetLinePainter(&OutputTextPane::PaintLine, this);
    Refresh();
    return true;
}

void OutputTextPane::SetBackground(uint32_t colour)
{
    SetColors(colour, TextColor());
    Redraw();
}

void OutputTextPane::SetTableFont(const std::string &face, uint8_t characterSet)
{
    if (face == tableFace_ && characterSet == characterSet_)
        return;
    tableFace_ = face;
    characterSet_ = characterSet;
    ApplyFont();
    Redraw();
}

void OutputTextPane::ApplyFont()
{
    faceName_ = FontFamilyResolves(tableFace_) ? tableFace_ : kFallbackFace;
    SetFont(FontDescription::Make(faceName_, kFontHeight).WithCharacterSet(characterSet_));
    // The rows keep their height; the cells take the new face's width.
    if (FontFace *font = Font())
        cellWidth_ = std::max(font->TextWidth("M"), 1);
}

bool OutputTextPane::FollowsNewest() const { return FirstLine() >= lines_ - VisibleLines(); }

void OutputTextPane::Refresh()
{
    const int32_t count = int32_t(view_->LineCount());
    const bool follow = FollowsNewest();
    if (count != lines_) {
        lines_ = count;
        SetLineCount(count);
    }
    if (follow)
        SetFirstLine(count);
    Redraw();
}

void OutputTextPane::Cleared()
{
    anchor_ = caret_ = {};
    lines_ = 0;
    SetLineCount(0);
    SetFirstLine(0);
}

void OutputTextPane::PaintLine(Canvas &canvas, int32_t line, const Rect &area, void *context)
{
    auto *self = static_cast<OutputTextPane *>(context);
    const std::vector<TextCell> cells = self->view_->LineCells(uint32_t(line));
    FontFace *font = self->Font();
    const int32_t w = self->cellWidth_;
    for (const ColourRun &run : ColourRuns(cells)) {
        std::string text(run.count, ' ');
        for (uint32_t i = 0; i < run.count; ++i)
            text[i] = char(cells[run.start + i].character);
        canvas.Text(font, area.left + int32_t(run.start) * w, area.top, text, run.colour);
    }
    // The selected cells again, over the selection's colour.
    const ColorScheme &scheme = Scheme();
    for (int32_t column = 0; column < int32_t(cells.size()); ++column) {
        if (!self->Selected(line, column))
            continue;
        const int32_t x = area.left + column * w;
        canvas.FillRect({x, area.top, x + w, area.bottom}, scheme.selection);
        canvas.Text(font, x, area.top, std::string(1, char(cells[size_t(column)].character)), scheme.selectionText);
    }
}

TextPlace OutputTextPane::PlaceAt(int32_t x, int32_t y) const
{
    const int32_t row = std::clamp(y, 0, std::max(Height() - 1, 0)) / lineHeight_;
    const int32_t line = std::clamp(FirstLine() + row, 0, std::max(lines_ - 1, 0));
    // A click in the right half of a cell lands after it.
    const int32_t column = std::max((x + cellWidth_ / 2) / cellWidth_, 0);
    return {line, column};
}

bool OutputTextPane::Selected(int32_t line, int32_t column) const
{
    const TextPlace place{line, column};
    const TextPlace &from = std::min(anchor_, caret_);
    const TextPlace &to = std::max(anchor_, caret_);
    return from <= place && place < to;
}

void OutputTextPane::Select(TextPlace from, TextPlace to)
{
    anchor_ = from;
    caret_ = to;
    Redraw();
}

std::string OutputTextPane::SelectedText()
{
    const TextPlace from = std::min(anchor_, caret_);
    const TextPlace to = std::max(anchor_, caret_);
    std::string text;
    for (int32_t line = from.line; line <= to.line; ++line) {
        const std::string whole = view_->LineText(uint32_t(line));
        const size_t begin = line == from.line ? std::min(size_t(from.column), whole.size()) : 0;
        const size_t end = line == to.line ? std::min(size_t(to.column), whole.size()) : whole.size();
        if (end > begin)
            text += whole.substr(begin, end - begin);
        if (line != to.line)
            text += '\n';
    }
    return text;
}

void OutputTextPane::Copy()
{
    if (anchor_ == caret_)
        return;
    // The bytes mean what the table's character set draws. A symbol font's glyph codes mean nothing to other
    // programs: its bytes go as Latin-1.
    const CharacterMap &map = characterSet_ == kSymbolCharacterSet ? Latin1Map() : CharacterMapOf(characterSet_);
    Platform().SetClipboardText(BytesToUtf8(SelectedText(), map));
}

void OutputTextPane::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    switch (code) {
    case kMouseLeftDown:
        anchor_ = caret_ = PlaceAt(x, y);
        selecting_ = true;
        Redraw();
        break;
    case kMouseMove:
        if (selecting_) {
            caret_ = PlaceAt(x, y);
            Redraw();
        }
        break;
    case kMouseLeftUp:
        if (selecting_)
            caret_ = PlaceAt(x, y);
        selecting_ = false;
        Redraw();
        break;
    case kMouseRightUp:
        Copy();
        break;
    default:
        Oru_ScrollingView::MouseEvent(code, keys, x, y);
    }
}

int32_t OutputTextPane::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind == kKeyCharacter && key == kControlC) {
        Copy();
        return 1;
    }
    return Oru_ScrollingView::KeyEvent(kind, key);
}

} // namespace sirrel
