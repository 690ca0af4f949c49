// DataOutputView: the "Data Output" window over the engine's DataOutputWindow. Four pages "Channel 1" ..
// "Channel 4" show the channels' text with their shift state and log controls; below them "Paused", "Colors",
// "Translation table", "Characters statistic" and "Help".
//
// The window never holds up the frame thread: a timer reads the line stores (they have their own lock) and what
// the engine publishes, and every change is an engine edit. Log files are written on the frame thread, so they
// are opened, filled with the display contents and closed there too; what the edit found comes back through a
// mailbox.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "engine/decoder_engine.h"
#include "ui/controls.h"
#include "ui/edit_field.h"
#include "ui/frame.h"
#include "ui/views.h"
#include "windows/colors_dialog.h"
#include "windows/edit_mailbox.h"
#include "windows/output_text_pane.h"
#include "windows/statistics_window.h"
#include "windows/window_context.h"

namespace sirrel {

struct Configuration;

// A log file name as the user gives it: a relative one lies in the data folder.
std::string LogFilePath(const std::string &dataFolder, const std::string &name);

class DataOutputView : public Oru_Frame {
public:
    static constexpr uint32_t kRefreshTimer = 3;
    static constexpr uint32_t kRefreshMilliseconds = 100;
    static constexpr size_t kMaxLogName = 1023;

    struct Channel {
        OutputTextPane text;
        Oru_RadioGroup shift; // "Letters", "Numbers"
        Oru_CheckBox log;
        Oru_EditField logName;
        Oru_PushButton browse; // "..."
        Oru_PushButton clear;
    };
    struct Controls {
        Oru_PageContainer pages;
        std::array<Channel, kChannelCount> channels;
        Oru_CheckBox paused;
        Oru_PushButton colors;
        Oru_PushButton translation;
        Oru_PushButton statistics;
        Oru_PushButton help;
    };

    explicit DataOutputView(WindowContext &context);
    ~DataOutputView() override;

    // The hidden window at the place and size of the configuration block, with its controls, its colours and
    // its statistics window; the logs the instance opened show as checked.
    bool Build();
    void ShowWindow() { ShowCommand(kShowShow); }
    // Hides the dialogs, before their state is gathered.
    void CloseDialogs();
    // Place, size, log switches and names, colours and the dialogs' places.
    void Gather(Configuration &configuration) const;

    // Takes new text, the published shift states and "Paused", and what log edits reported; the timer calls it.
    void Refresh();

    // "Translation table" opens the translation tables dialog, which the instance attaches here.
    std::function<void()> onTranslationTables;

    Controls &Parts() { return parts_; }
    ColorsDialog &Colors() { return *colorsDialog_; }
    StatisticsWindow &Statistics() { return *statisticsWindow_; }

    intptr_t HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second) override;
    void TimerTick(uint32_t id) override;

private:
    // Where the window opens: the stored place, or one clear of the decoder window on the first start.
    static std::pair<int32_t, int32_t> FirstPlace(const Configuration &c, int32_t width, int32_t height);
    // What a log edit found on the frame thread.
    struct LogReport {
        int32_t channel;
        bool opened;
    };

    void BuildChannel(int32_t channel, Oru_Window &page);
    void LogToggled(int32_t channel);
    void BrowseLog(int32_t channel);
    void ClearChannel(int32_t channel);
    void ShowLogState(int32_t channel, bool on);
    void ApplyBackground(uint32_t colour);
    void Follow(const SettingsModel &settings);
    void Post(SettingsEdit edit) { context_.engine.Post(std::move(edit)); }

    WindowContext &context_;
    Controls parts_;
    std::unique_ptr<ColorsDialog> colorsDialog_;
    std::unique_ptr<StatisticsWindow> statisticsWindow_;
    std::shared_ptr<EditMailbox<LogReport>> logReports_ = std::make_shared<EditMailbox<LogReport>>();
    // Log edits sent and not yet reported, per channel: until then the stream's state is not the box's.
    std::array<int32_t, kChannelCount> logsPending_{};
    uint64_t seenText_ = 0;
    uint64_t seenSettings_ = 0;
    bool textMoved_ = true;
};

} // namespace sirrel
