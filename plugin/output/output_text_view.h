// OutputTextView: the line store of one output channel, coloured character by character. Lines wrap at the
// line width and the oldest lines go once the maximum is reached. Characters are appended on the dispatcher's
// thread while the user-interface thread reads lines to paint them, so the line array has its own lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "orurt.h"

namespace sirrel {

struct TextCell {
    uint32_t colour; // 0x00BBGGRR
    uint8_t character;
};

class OutputTextView {
public:
    // 0 for either limit means unlimited.
    explicit OutputTextView(uint32_t lineWidth = 80, uint32_t maxLines = 200);
    ~OutputTextView();
    OutputTextView(const OutputTextView &) = delete;
    OutputTextView &operator=(const OutputTextView &) = delete;

    // A line feed is ignored; a carriage return always starts a new line; anything else is stored, after
    // starting a new line when the last one is full.
    void Append(uint8_t character, uint32_t colour);
    void Clear();
    // Keeps the newest n lines when there are more.
    void SetMaxLines(uint32_t n);
    // Cuts longer lines to w characters.
    void SetLineWidth(uint32_t w);

    uint32_t LineCount();
    std::vector<TextCell> LineCells(uint32_t index); // empty when there is no such line
    std::string LineText(uint32_t index);

private:
    struct Line {
        TextCell *cells;
        uint32_t count;
        uint32_t room;
    };

    bool StartLine();
    bool MakeRoom(Line &line);
    void DropOldest(uint32_t count);

    OruThreadExclusion lock_;
    Line *lines_ = nullptr;
    uint32_t lineCount_ = 0;
    uint32_t lineRoom_ = 0; // records allocated in lines_
    uint32_t lineWidth_;
    uint32_t maxLines_;
};

} // namespace sirrel
