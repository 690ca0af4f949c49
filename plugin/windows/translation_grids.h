// The two grids of the "Character translation tables" dialog. "Current translation table": 64 rows of 8 cells,
// each pair of cells one byte (its code in "Arial", then the code shown for it in the replacement font), and a
// selection that always covers a whole pair. "Current replacement font": 32 rows of 8 cells, every code in the
// replacement font; a click there gives the selected pair that code. Both scroll through their rows.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ui/range_controls.h"

namespace sirrel {

// "0x%02X - LF", "0x%02X - CR", otherwise "0x%02X - %c".
std::string CodeCellText(uint8_t code);

class CodeGrid : public Oru_Window {
public:
    enum class Kind { kTranslation, kFont };
    static constexpr int32_t kColumns = 8;
    static constexpr int32_t kCellWidth = 62;
    static constexpr int32_t kCellHeight = 18;
    static constexpr int32_t kScrollWidth = 14;
    static constexpr int32_t kGridWidth = kColumns * kCellWidth + 1 + kScrollWidth;

    bool CreateCodeGrid(Oru_Window *parent, int32_t x, int32_t y, int32_t visibleRows, Kind kind);
    // What the cells show: the current record's codes, and its replacement font reading them in its character
    // set. The source codes stay in "Arial" as Latin-1.
    void Show(const std::array<uint8_t, 256> &codes, const std::string &font, uint8_t characterSet);
    int32_t Rows() const { return kind_ == Kind::kTranslation ? 64 : 32; }
    int32_t Cells() const { return Rows() * kColumns; }
    // Cell index = 8 · row + column. The translation grid widens a selection to its pair's even cell.
    int32_t SelectedCell() const { return selected_; }
    void SelectCell(int32_t cell);
    // The byte the selection stands for: the pair's source code, or the font grid's code.
    uint8_t SelectedCode() const { return uint8_t(kind_ == Kind::kTranslation ? selected_ / 2 : selected_); }
    // Scrolls the cell into view and returns its place in the grid's coordinates.
    Rect CellArea(int32_t cell);

    void PaintContent(Canvas &canvas) override;
    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;

private:
    static void Scrolled(Oru_Window *, void *grid) { static_cast<CodeGrid *>(grid)->Redraw(); }
    int32_t VisibleRows() const { return std::max((Height() - 1) / kCellHeight, 1); }
    void Choose(int32_t cell);

    Kind kind_ = Kind::kTranslation;
    int32_t selected_ = 0;
    std::array<uint8_t, 256> codes_{};
    FontHolder replacement_{&Fonts};
    Oru_ScrollBar scroll_;
};

} // namespace sirrel
