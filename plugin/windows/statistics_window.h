// The "Character statistics" window: one bar per code the current mode can deliver, labelled with what the sink
// shows for the code, its value and its count, in rows that scroll; "Reset" clears the counters, "Help" opens
// the page about it. The rows follow the mode: 64, 128, 67, 256 or 2 of them.
//
// The counters belong to the frame thread: an edit copies them with their labels into a mailbox, and the
// window shows the newest copy.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/frame.h"
#include "ui/views.h"
#include "windows/edit_mailbox.h"
#include "windows/window_context.h"

namespace sirrel {

struct Configuration;

struct StatisticsRow {
    std::string label; // "%s - 0x%02X - %d"
    double count;
};

class StatisticsWindow : public Oru_Frame {
public:
    static constexpr uint32_t kRefreshTimer = 4;
    static constexpr uint32_t kRefreshMilliseconds = 250;
    static constexpr int32_t kRowHeight = 16;

    // Built hidden at the place of the configuration block.
    explicit StatisticsWindow(WindowContext &context);
    ~StatisticsWindow() override;

    void Show();
    void Close();
    void Gather(Configuration &configuration) const;

    // Asks the frame thread for a new copy when the counters or the mode moved, and shows the newest one.
    void Refresh();

    const std::vector<StatisticsRow> &Rows() const { return entries_; }
    Oru_ScrollingView &RowView() { return rows_; }
    Oru_PushButton &ResetButton() { return reset_; }
    Oru_PushButton &HelpButton() { return help_; }

    intptr_t HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second) override;
    void TimerTick(uint32_t id) override;

private:
    static void PaintRow(Canvas &canvas, int32_t line, const Rect &area, void *window);
    void RequestCopy();

    WindowContext &context_;
    Oru_ScrollingView rows_;
    Oru_PushButton reset_;
    Oru_PushButton help_;
    std::shared_ptr<EditMailbox<std::vector<StatisticsRow>>> copies_ =
        std::make_shared<EditMailbox<std::vector<StatisticsRow>>>();
    std::vector<StatisticsRow> entries_;
    double largest_ = 1.0; // the count a full bar stands for
    uint64_t seenStatistics_ = ~uint64_t(0);
    uint64_t seenSettings_ = ~uint64_t(0);
};

} // namespace sirrel
