#include "ui/views.h"

#include <algorithm>

namespace sirrel {

namespace {

constexpr int32_t kScrollWidth = 14;

} // namespace

Oru_PixmapView::Oru_PixmapView() : map_(OruDynamicPixMap_Construct(nullptr)) {}

Oru_PixmapView::~Oru_PixmapView()
{
    Destroy();
    OruDynamicPixMap_Destruct(map_, 1);
}

bool Oru_PixmapView::CreateView(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!map_ || !Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    OruDynamicPixMap_FormatUpdate(map_, std::clamp(Width(), 1, 4096), std::clamp(Height(), 1, 4096), 32);
    map_->Fill(map_, 0);
    return true;
}

void Oru_PixmapView::PaintContent(Canvas &canvas) { canvas.Image(*map_, 0, 0); }

bool Oru_PageContainer::CreatePages(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    SetColors(parent->BackgroundColor(), parent->TextColor());
    return true;
}

Oru_Window *Oru_PageContainer::AddPage(const std::string &name)
{
    auto page = std::make_unique<Oru_Window>();
    if (!page->Create(this, 1, kTabHeight, std::max(Width() - 2, 0), std::max(Height() - kTabHeight - 1, 0), false,
                      kStyleWindowless, 0))
        return nullptr;
    page->SetColors(BackgroundColor(), TextColor());
    page->SetText(name);
    pages_.push_back(std::move(page));
    names_.push_back(name);
    if (current_ < 0)
        current_ = 0;
    else
        pages_.back()->ShowCommand(kShowHide);
    Redraw();
    return pages_.back().get();
}

Oru_Window *Oru_PageContainer::Page(int32_t index) const
{
    return index >= 0 && index < PageCount() ? pages_[index].get() : nullptr;
}

void Oru_PageContainer::ShowPage(int32_t index)
{
    if (index < 0 || index >= PageCount() || index == current_)
        return;
    pages_[current_]->ShowCommand(kShowHide);
    current_ = index;
    pages_[current_]->ShowCommand(kShowShow);
    Redraw();
}

int32_t Oru_PageContainer::TabWidth() const { return PageCount() ? std::clamp(Width() / PageCount(), 1, 120) : 1; }

void Oru_PageContainer::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    canvas.FrameRect({0, kTabHeight - 1, Width(), Height()}, scheme.shadow);
    for (int32_t i = 0; i < PageCount(); ++i) {
        const Rect tab{i * TabWidth(), i == current_ ? 0 : 3, (i + 1) * TabWidth(), kTabHeight};
        canvas.Bevel(tab, false, i == current_ ? BackgroundColor() : scheme.face);
        canvas.TextIn(Font(), tab.Inset(3), names_[i], TextColor(), true);
    }
}

void Oru_PageContainer::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    if (code == kMouseLeftDown && y < kTabHeight && x >= 0) {
        const int32_t before = current_;
        ShowPage(x / TabWidth());
        if (current_ != before)
            Changed();
    } else {
        Oru_Window::MouseEvent(code, keys, x, y);
    }
}

bool Oru_ScrollingView::CreateScrolling(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height,
                                        int32_t lineHeight)
{
    if (!Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    lineHeight_ = std::clamp(lineHeight, 1, 1000);
    SetAcceptsFocus(true);
    SetColors(Scheme().field, Scheme().text);
    scroll_.CreateScrollBar(this, std::max(Width() - kScrollWidth, 0), 0, kScrollWidth, Height(), true);
    scroll_.SetClickCallback(&Oru_ScrollingView::Scrolled, this);
    SetLineCount(0);
    return true;
}

void Oru_ScrollingView::Scrolled(Oru_Window *, void *view) { static_cast<Oru_ScrollingView *>(view)->Redraw(); }

void Oru_ScrollingView::SetLinePainter(LinePainter painter, void *context)
{
    painter_ = painter;
    context_ = context;
    Redraw();
}

int32_t Oru_ScrollingView::VisibleLines() const { return std::max(Height() / lineHeight_, 1); }

void Oru_ScrollingView::SetLineCount(int32_t count)
{
    count_ = std::max(count, 0);
    scroll_.SetRange(0, std::max(count_ - 1, 0), VisibleLines());
    Redraw();
}

void Oru_ScrollingView::SetFirstLine(int32_t line)
{
    scroll_.SetPosition(line);
    Redraw();
}

void Oru_ScrollingView::PaintContent(Canvas &canvas)
{
    const int32_t width = std::max(Width() - kScrollWidth, 0);
    for (int32_t row = 0; row < VisibleLines() + 1; ++row) {
        const int32_t line = FirstLine() + row;
        if (line >= count_ || !painter_)
            break;
        const Rect area{0, row * lineHeight_, width, (row + 1) * lineHeight_};
        Canvas lineCanvas = canvas.Child(0, 0, width, Height());
        painter_(lineCanvas, line, area, context_);
    }
}

void Oru_ScrollingView::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    if (code == kMouseWheel)
        SetFirstLine(FirstLine() - 3 * WheelTurn(keys) / kWheelNotch);
    else
        Oru_Window::MouseEvent(code, keys, x, y);
}

int32_t Oru_ScrollingView::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind != kKeyPressed)
        return 0;
    switch (key) {
    case kKeyUp:
        SetFirstLine(FirstLine() - 1);
        return 1;
    case kKeyDown:
        SetFirstLine(FirstLine() + 1);
        return 1;
    case kKeyHome:
        SetFirstLine(0);
        return 1;
    case kKeyEnd:
        SetFirstLine(count_);
        return 1;
    default:
        return 0;
    }
}

bool Oru_CellGrid::CreateGrid(Oru_Window *parent, int32_t x, int32_t y, int32_t rows, int32_t columns,
                              int32_t cellWidth, int32_t cellHeight)
{
    rows_ = std::clamp(rows, 1, 1024);
    columns_ = std::clamp(columns, 1, 1024);
    cellWidth_ = std::clamp(cellWidth, 1, 256);
    cellHeight_ = std::clamp(cellHeight, 1, 256);
    if (!Create(parent, x, y, columns_ * cellWidth_ + 1, rows_ * cellHeight_ + 1, false, kStyleWindowless, 0))
        return false;
    SetAcceptsFocus(true);
    SetColors(Scheme().field, Scheme().text);
    return true;
}

void Oru_CellGrid::SetCellPainter(CellPainter painter, void *context)
{
    painter_ = painter;
    context_ = context;
    Redraw();
}

void Oru_CellGrid::SelectCell(int32_t row, int32_t column)
{
    row = std::clamp(row, 0, rows_ - 1);
    column = std::clamp(column, 0, columns_ - 1);
    if (row == row_ && column == column_)
        return;
    row_ = row;
    column_ = column;
    Redraw();
}

void Oru_CellGrid::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    for (int32_t row = 0; row < rows_; ++row) {
        for (int32_t column = 0; column < columns_; ++column) {
            const Rect cell{column * cellWidth_ + 1, row * cellHeight_ + 1, (column + 1) * cellWidth_,
                            (row + 1) * cellHeight_};
            const bool selected = row == row_ && column == column_;
            if (selected)
                canvas.FillRect(cell, scheme.selection);
            if (painter_)
                painter_(canvas, row, column, cell, selected, context_);
        }
    }
    for (int32_t row = 0; row <= rows_; ++row)
        canvas.FillRect({0, row * cellHeight_, Width(), row * cellHeight_ + 1}, scheme.shadow);
    for (int32_t column = 0; column <= columns_; ++column)
        canvas.FillRect({column * cellWidth_, 0, column * cellWidth_ + 1, Height()}, scheme.shadow);
}

void Oru_CellGrid::MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y)
{
    if (code == kMouseLeftDown && ClientRect().Contains(x, y)) {
        SelectCell(y / cellHeight_, x / cellWidth_);
        Changed();
    } else {
        Oru_Window::MouseEvent(code, keys, x, y);
    }
}

int32_t Oru_CellGrid::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind != kKeyPressed)
        return 0;
    int32_t row = row_, column = column_;
    switch (key) {
    case kKeyUp:
        --row;
        break;
    case kKeyDown:
        ++row;
        break;
    case kKeyLeft:
        --column;
        break;
    case kKeyRight:
        ++column;
        break;
    case kKeyReturn:
    case kKeySpace:
        Changed();
        return 1;
    default:
        return 0;
    }
    SelectCell(row, column);
    return 1;
}

bool Oru_BarGraph::CreateGraph(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!Create(parent, x, y, width, height, false, kStyleWindowless, 0))
        return false;
    SetColors(Scheme().field, Scheme().text);
    return true;
}

void Oru_BarGraph::SetEntries(const std::vector<std::string> &labels, const std::vector<uint32_t> &values)
{
    labels_ = labels;
    values_ = values;
    values_.resize(labels_.size(), 0);
    Redraw();
}

void Oru_BarGraph::PaintContent(Canvas &canvas)
{
    const ColorScheme &scheme = Scheme();
    canvas.FrameRect(ClientRect(), scheme.shadow);
    if (values_.empty())
        return;
    FontFace *font = Font();
    const int32_t labelHeight = font ? font->LineHeight() + 2 : 0;
    const int32_t count = int32_t(values_.size());
    const int32_t slot = std::max((Width() - 2) / count, 1);
    const int32_t plot = std::max(Height() - 2 - labelHeight, 0);
    const uint32_t largest = std::max(*std::max_element(values_.begin(), values_.end()), 1u);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t left = 1 + i * slot;
        const int32_t bar = int32_t(int64_t(plot) * values_[i] / largest);
        canvas.FillRect({left + 1, 1 + plot - bar, left + std::max(slot - 1, 2), 1 + plot}, scheme.selection);
        canvas.TextIn(font, {left, 1 + plot, left + slot, Height() - 1}, labels_[i], TextColor(), true);
    }
}

} // namespace sirrel
