#include "windows/statistics_window.h"

#include <algorithm>

#include "decoders/character_sets.h"
#include "engine/decoder_engine.h"
#include "protocols/configuration.h"
#include "protocols/data_folder.h"
#include "ui/font_engine.h"
#include "ui/platform/messages.h"
#include "windows/help_page.h"

namespace sirrel {

namespace {

constexpr int32_t kWidth = 420;
constexpr int32_t kHeight = 440;
constexpr int32_t kLabelWidth = 170;

} // namespace

StatisticsWindow::StatisticsWindow(WindowContext &context) : context_(context)
{
    // The decoder window's loop ends with the decoder window, not with this one.
    SetEndsLoop(false);
    const Configuration &c = context_.configuration;
    CreateFrame(nullptr, c.statisticsLeft, c.statisticsTop, kWidth, kHeight, "Character statistics", false);
    const int32_t top = kCaptionHeight + 6;
    rows_.CreateScrolling(this, 8, top, kWidth - 16, kHeight - top - 44, kRowHeight);
    rows_.SetLinePainter(&StatisticsWindow::PaintRow, this);
    reset_.CreateButton(this, 8, kHeight - 34, 90, 26, "Reset");
    reset_.SetClickCallback(
        [](Oru_Window *, void *window) {
            DecoderEngine &engine = static_cast<StatisticsWindow *>(window)->context_.engine;
            engine.Post([&engine](EngineEdit &) {
                engine.Output().Statistics().Reset();
                engine.Output().RequestStatisticsRedraw();
            });
            static_cast<StatisticsWindow *>(window)->Refresh();
        },
        this);
    help_.CreateButton(this, kWidth - 98, kHeight - 34, 90, 26, "Help");
    help_.SetClickCallback(
        [](Oru_Window *, void *window) {
            auto *self = static_cast<StatisticsWindow *>(window);
            OpenHelpPage(self, HelpPage(DataPathsIn(self->context_.dataFolder), "CharStat.html"));
        },
        this);
    SetTimer(kRefreshTimer, kRefreshMilliseconds);
}

StatisticsWindow::~StatisticsWindow() { KillTimer(kRefreshTimer); }

void StatisticsWindow::Show()
{
    ShowCommand(kShowShow);
    Refresh();
}

void StatisticsWindow::Close() { ShowCommand(kShowHide); }

void StatisticsWindow::Gather(Configuration &c) const
{
    c.statisticsLeft = X();
    c.statisticsTop = Y();
}

void StatisticsWindow::RequestCopy()
{
    DecoderEngine &engine = context_.engine;
    std::shared_ptr<EditMailbox<std::vector<StatisticsRow>>> copies = copies_;
    engine.Post([&engine, copies](EngineEdit &edit) {
        const SettingsModel &s = edit.settings;
        const CharacterStatistics &statistics = engine.Output().Statistics();
        // The mode's size at once: the next block resizes the counters the same way.
        uint32_t size = StatisticsSize(s.mode);
        if (size == 0)
            size = statistics.Size();
        std::vector<StatisticsRow> entries;
        entries.reserve(size);
        for (uint32_t entry = 0; entry < size; ++entry) {
            entries.push_back(
                {statistics.Label(entry, DisplayText(s.mode, entry, s.translation)), statistics.Counter(entry)});
        }
        copies->Put(std::move(entries));
    });
}

void StatisticsWindow::Refresh()
{
    const EngineChanges &changes = context_.engine.Changes();
    const uint64_t statistics = changes.statistics.load();
    const uint64_t settings = changes.settings.load();
    if (statistics != seenStatistics_ || settings != seenSettings_) {
        seenStatistics_ = statistics;
        seenSettings_ = settings;
        RequestCopy();
    }
    std::vector<std::vector<StatisticsRow>> copies = copies_->Take();
    if (copies.empty())
        return;
    entries_ = std::move(copies.back());
    largest_ = 1.0;
    for (const StatisticsRow &entry : entries_)
        largest_ = std::max(largest_, entry.count);
    rows_.SetLineCount(int32_t(entries_.size()));
    rows_.Redraw();
}

void StatisticsWindow::PaintRow(Canvas &canvas, int32_t line, const Rect &area, void *window)
{
    auto *self = static_cast<StatisticsWindow *>(window);
    if (line < 0 || line >= int32_t(self->entries_.size()))
        return;
    const StatisticsRow &entry = self->entries_[size_t(line)];
    const ColorScheme &scheme = Scheme();
    canvas.TextIn(self->rows_.Font(), {area.left + 4, area.top, area.left + kLabelWidth, area.bottom}, entry.label,
                  scheme.text, false);
    const int32_t room = std::max(area.right - area.left - kLabelWidth - 8, 0);
    const int32_t bar = int32_t(room * (entry.count / self->largest_));
    if (bar > 0)
        canvas.FillRect({area.left + kLabelWidth, area.top + 3, area.left + kLabelWidth + bar, area.bottom - 3},
                        scheme.selection);
}

intptr_t StatisticsWindow::HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second)
{
    // The caption's close button hides the window; it lives as long as the data output window.
    if (message == kMsgClose) {
        Close();
        return 0;
    }
    return Oru_Frame::HandleNativeMessage(message, first, second);
}

void StatisticsWindow::TimerTick(uint32_t id)
{
    if (id == kRefreshTimer) {
        if (Visible())
            Refresh();
        return;
    }
    Oru_Frame::TimerTick(id);
}

} // namespace sirrel
