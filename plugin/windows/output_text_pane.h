// OutputTextPane: one channel's text on screen. It paints the channel's line store line by line in the translation
// table's font and character set ("Courier New" until one is set), one character cell per character, follows the newest
// line while the user has not scrolled back, and lets the user select text with the mouse and copy it (control-C or a
// right click).
//
// The line store belongs to the engine and has its own lock: the pane reads lines while the frame thread appends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/output_text_view.h"
#include "ui/views.h"

namespace sirrel {

// A stretch of cells of one colour: painting switches the colour only from one run to the next.
struct ColourRun {
    uint32_t start;
    uint32_t count;
    uint32_t colour;
};
std::vector<ColourRun> ColourRuns(const std::vector<TextCell> &cells);

// A place in the text: a line of the store and a character column.
struct TextPlace {
    int32_t line = 0;
    int32_t column = 0;
    auto operator<=>(const TextPlace &) const = default;
};

class OutputTextPane : public Oru_ScrollingView {
public:
    static constexpr int32_t kFontHeight = 14;

    bool CreatePane(Oru_Window *parent, int32_t x, int32_t y, int32_t width, int32_t height, OutputTextView &view);
    void SetBackground(uint32_t colour);
    // The table's replacement font reading the bytes in its character set; a face fontconfig does not know
    // draws as "Courier New". Nothing happens when both are unchanged.
    void SetTableFont(const std::string &face, uint8_t characterSet);
    // The face the text is drawn in and its character set.
    const std::string &FaceName() const { return faceName_; }
    uint8_t CharacterSet() const { return characterSet_; }

    // Takes the store's line count: at the newest line the pane stays there, scrolled back it stays put.
    void Refresh();
    // The store was emptied: back to the top, no selection.
    void Cleared();

    bool FollowsNewest() const;
    int32_t CellWidth() const { return cellWidth_; }
    int32_t LineHeight() const { return lineHeight_; }
    // The selection from its first to its last character; lines end with a line feed.
    std::string SelectedText();
    void Select(TextPlace from, TextPlace to);
    // Puts the selection on the clipboard; nothing happens without one.
    void Copy();

    void MouseEvent(int32_t code, uint32_t keys, int32_t x, int32_t y) override;
    int32_t KeyEvent(int32_t kind, uint32_t key) override;

private:
    static void PaintLine(Canvas &canvas, int32_t line, const Rect &area, void *pane);
    TextPlace PlaceAt(int32_t x, int32_t y) const;
    bool Selected(int32_t line, int32_t column) const;

    void ApplyFont();

    OutputTextView *view_ = nullptr;
    std::string tableFace_ = "Courier New";
    std::string faceName_ = "Courier New";
    uint8_t characterSet_ = 1;
    int32_t cellWidth_ = 8;
    int32_t lineHeight_ = 16;
    int32_t lines_ = 0;
    // The selection runs from the anchor to the caret, in either order; equal means none.
    TextPlace anchor_;
    TextPlace caret_;
    bool selecting_ = false;
};

} // namespace sirrel
