#include "output/output_text_view.h"

#include <algorithm>

#include "output/exclusion_hold.h"

namespace sirrel {

namespace {

// Cells a line starts with when the width gives no sensible size (unlimited or very wide); it grows as needed.
constexpr uint32_t kDefaultRoom = 80;
constexpr uint32_t kWidestPrealloc = 1024;
constexpr uint32_t kMaxCells = UINT32_MAX / sizeof(TextCell);

} // namespace

OutputTextView::OutputTextView(uint32_t lineWidth, uint32_t maxLines) : lineWidth_(lineWidth), maxLines_(maxLines)
{
    OruThreadExclusion_Construct(&lock_);
}

OutputTextView::~OutputTextView()
{
    DropOldest(lineCount_);
    MemoryFree(lines_);
    OruThreadExclusion_Destruct(&lock_, 0);
}

void OutputTextView::Append(uint8_t character, uint32_t colour)
{
    ExclusionHold hold(lock_);
    if (character == 10)
        return;
    if (character == 13) {
        StartLine();
        return;
    }
    if (lineCount_ == 0 || (lineWidth_ != 0 && lines_[lineCount_ - 1].count >= lineWidth_)) {
        if (!StartLine())
            return;
    }
    Line &line = lines_[lineCount_ - 1];
    if (line.count == line.room && !MakeRoom(line))
        return;
    line.cells[line.count++] = {colour, character};
}

void OutputTextView::Clear()
{
    ExclusionHold hold(lock_);
    DropOldest(lineCount_);
}

void OutputTextView::SetMaxLines(uint32_t n)
{
    ExclusionHold hold(lock_);
    maxLines_ = n;
    if (n != 0 && lineCount_ > n)
        DropOldest(lineCount_ - n);
}

void OutputTextView::SetLineWidth(uint32_t w)
{
    ExclusionHold hold(lock_);
    lineWidth_ = w;
    if (w == 0)
        return;
    for (uint32_t i = 0; i < lineCount_; ++i)
        lines_[i].count = std::min(lines_[i].count, w);
}

uint32_t OutputTextView::LineCount()
{
    ExclusionHold hold(lock_);
    return lineCount_;
}

std::vector<TextCell> OutputTextView::LineCells(uint32_t index)
{
    ExclusionHold hold(lock_);
    if (index >= lineCount_)
        return {};
    const Line &line = lines_[index];
    return std::vector<TextCell>(line.cells, line.cells + line.count);
}

std::string OutputTextView::LineText(uint32_t index)
{
    ExclusionHold hold(lock_);
    std::string text;
    if (index < lineCount_) {
        const Line &line = lines_[index];
        for (uint32_t i = 0; i < line.count; ++i)
            text.push_back(char(line.cells[i].character));
    }
    return text;
}

// A new, empty last line: the array grows while below the maximum, otherwise the oldest line makes way (its
// cells serve the new line). False only when the array cannot grow; the character is then lost, the view
// stays whole.
bool OutputTextView::StartLine()
{
    TextCell *storage = nullptr;
    uint32_t room = 0;
    if (maxLines_ != 0 && lineCount_ >= maxLines_) {
        DropOldest(lineCount_ - maxLines_);
        storage = lines_[0].cells;
        room = lines_[0].room;
        std::move(lines_ + 1, lines_ + lineCount_, lines_);
        --lineCount_;
    } else if (lineCount_ == lineRoom_) {
        uint32_t records = std::max<uint32_t>(16, lineRoom_ > UINT32_MAX / 2 ? UINT32_MAX : lineRoom_ * 2);
        if (maxLines_ != 0)
            records = std::min(records, maxLines_);
        records = std::min<uint32_t>(records, UINT32_MAX / sizeof(Line));
        if (records <= lineRoom_)
            return false;
        auto *grown = static_cast<Line *>(MemoryReAlloc(lines_, records * uint32_t(sizeof(Line))));
        if (!grown)
            return false;
        lines_ = grown;
        lineRoom_ = records;
    }
    if (!storage) {
        const uint32_t cells = (lineWidth_ != 0 && lineWidth_ <= kWidestPrealloc) ? lineWidth_ : kDefaultRoom;
        storage = static_cast<TextCell *>(MemoryAlloc(cells * uint32_t(sizeof(TextCell))));
        room = storage ? cells : 0;
    }
    lines_[lineCount_++] = {storage, 0, room};
    return true;
}

bool OutputTextView::MakeRoom(Line &line)
{
    uint32_t room = line.room < kDefaultRoom ? kDefaultRoom : (line.room > kMaxCells / 2 ? kMaxCells : line.room * 2);
    if (lineWidth_ != 0)
        room = std::min(room, lineWidth_);
    if (room <= line.room)
        return false;
    auto *grown = static_cast<TextCell *>(MemoryReAlloc(line.cells, room * uint32_t(sizeof(TextCell))));
    if (!grown)
        return false;
    line.cells = grown;
    line.room = room;
    return true;
}

void OutputTextView::DropOldest(uint32_t count)
{
    count = std::min(count, lineCount_);
    for (uint32_t i = 0; i < count; ++i)
        MemoryFree(lines_[i].cells);
    std::move(lines_ + count, lines_ + lineCount_, lines_);
    lineCount_ -= count;
}

} // namespace sirrel
