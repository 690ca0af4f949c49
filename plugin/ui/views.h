// Containers and views that other parts of the plug-in fill: a pixel map on screen, pages shown one at a time,
// a scrolling view painted line by line, a grid of cells painted cell by cell, and a bar graph.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/range_controls.h"

namespace sirrel {

// Shows a 32-bit map, top-left aligned; the view owns it and the owner draws into it.
class Oru_PixmapView : public Oru_Window {
public:
    Oru_PixmapView();
    ~Oru_PixmapView() override;
    // The map is made at the view's size.
    bool CreateView(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height);
    OruDynamicPixMap &Map() { return *map_; }

    void PaintContent(Canvas &canvas) override;

private:
    OruDynamicPixMap *map_;
};

// Named pages with a strip of tabs; the pages are windowless children shown one at a time.
class Oru_PageContainer : public Oru_Window {
public:
    static constexpr int32_t kTabHeight = 22;

    bool CreatePages(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height);
    // Returns the new page (owned by the container) to create controls on.
    Oru_Window *AddPage(const std::string &name);
    int32_t PageCount() const { return int32_t(pages_.size()); }
    Oru_Window *Page(int32_t index) const;
    void ShowPage(int32_t index);
    int32_t Current() const { return current_; }

    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;

private:
    int32_t TabWidth() const;

    std::vector<std::unique_ptr<Oru_Window>> pages_;
    std::vector<std::string> names_;
    int32_t current_ = -1;
};

// A vertical list of lines that the owner paints through a call-back; a scroll bar moves through them.
class Oru_ScrollingView : public Oru_Window {
public:
    using LinePainter = void (*)(Canvas &canvas, int32_t line, const Rect &area, void *context);

    bool CreateScrolling(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, int32_t lineHeight);
    void SetLinePainter(LinePainter painter, void *context);
    // Lines 0 .. count - 1; any thread may change the count and ask for a redraw.
    void SetLineCount(int32_t count);
    void SetFirstLine(int32_t line);
    int32_t FirstLine() const { return scroll_.Position(); }
    int32_t VisibleLines() const;

    void PaintContent(Canvas &canvas) override;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;
    // The wheel moves three lines a notch.
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;

private:
    static void Scrolled(Oru_Window *, void *view);

    int32_t lineHeight_ = 16;
    int32_t count_ = 0;
    LinePainter painter_ = nullptr;
    void *context_ = nullptr;
    Oru_ScrollBar scroll_;
};

// Rows by columns of cells, each painted by the owner; a click selects a cell and calls the click call-back.
class Oru_CellGrid : public Oru_Window {
public:
    using CellPainter = void (*)(Canvas &canvas, int32_t row, int32_t column, const Rect &cell, bool selected,
                                 void *context);

    bool CreateGrid(Oru_Window *parent, int32_t x, int32_t y, int32_t rows, int32_t columns, int32_t cellWidth,
                    int32_t cellHeight);
    void SetCellPainter(CellPainter painter, void *context);
    // Clamped into the grid; no call-back.
    void SelectCell(int32_t row, int32_t column);
    int32_t SelectedRow() const { return row_; }
    int32_t SelectedColumn() const { return column_; }

    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;

private:
    int32_t rows_ = 1;
    int32_t columns_ = 1;
    int32_t cellWidth_ = 1;
    int32_t cellHeight_ = 1;
    int32_t row_ = 0;
    int32_t column_ = 0;
    CellPainter painter_ = nullptr;
    void *context_ = nullptr;
};

// One bar per entry, scaled to the largest value, each with its label below.
class Oru_BarGraph : public Oru_Window {
public:
    bool CreateGraph(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height);
    void SetEntries(const std::vector<std::string> &labels, const std::vector<uint32_t> &values);

    void PaintContent(Canvas &canvas) override;

private:
    std::vector<std::string> labels_;
    std::vector<uint32_t> values_;
};

} // namespace sirrel
