#include "windows/data_output_view.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "protocols/configuration.h"
#include "protocols/data_folder.h"
#include "protocols/product_name.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/platform/driver.h"
#include "ui/platform/messages.h"
#include "windows/decoder_window.h"
#include "windows/help_page.h"

namespace sirrel {

namespace {

constexpr int32_t kMinWidth = 560;
constexpr int32_t kMinHeight = 240;
constexpr int32_t kChannelRow = 46;   // the shift radios and the log controls below each channel's text
constexpr int32_t kWindowRow = 34;    // the window-wide controls at the bottom
constexpr int32_t kButtonHeight = 26; // the window-wide buttons

// One channel's handler: the channel number travels in the control's name.
template <void (DataOutputView::*Handler)(int32_t)> void ChannelCall(Oru_Window *control, void *view)
{
    (static_cast<DataOutputView *>(view)->*Handler)(std::stoi(control->Name()));
}

} // namespace

std::string LogFilePath(const std::string &dataFolder, const std::string &name)
{
    return !name.empty() && name.front() == '/' ? name : dataFolder + name;
}

DataOutputView::DataOutputView(WindowContext &context) : context_(context) {}

DataOutputView::~DataOutputView()
{
    KillTimer(kRefreshTimer);
    statisticsWindow_.reset();
    colorsDialog_.reset();
    Destroy();
}

std::pair<int32_t, int32_t> DataOutputView::FirstPlace(const Configuration &c, int32_t width, int32_t height)
{
    // A block that never held a place (the built-in 0, 0) would put the window over the decoder window: it goes
    // below that window when the screen has room, else beside it.
    if (c.outputLeft != 0 || c.outputTop != 0)
        return {c.outputLeft, c.outputTop};
    const int32_t below = c.windowTop + DecoderWindow::kHeight + 8;
    if (below + height <= Platform().ScreenHeight())
        return {c.windowLeft, below};
    const int32_t beside = c.windowLeft + DecoderWindow::kWidth + 8;
    if (beside + width <= Platform().ScreenWidth())
        return {beside, c.windowTop};
    return {0, 0};
}

bool DataOutputView::Build()
{
    // The decoder window's loop ends with the decoder window, not with this one.
    SetEndsLoop(false);
    const Configuration &c = context_.configuration;
    const int32_t width = std::max(c.outputWidth, kMinWidth);
    const int32_t height = std::max(c.outputHeight, kMinHeight);
    const auto [placeLeft, placeTop] = FirstPlace(c, width, height);
    if (!CreateFrame(nullptr, placeLeft, placeTop, width, height, "Data Output", false))
        return false;

    Controls &p = parts_;
    const int32_t top = kCaptionHeight + 4;
    const int32_t bottom = height - kBorder - kWindowRow;
    p.pages.CreatePages(this, 8, top, width - 16, bottom - top);
    for (int32_t channel = 0; channel < kChannelCount; ++channel) {
        if (Oru_Window *page = p.pages.AddPage("Channel " + std::to_string(channel + 1)))
            BuildChannel(channel, *page);
    }
    if (c.outputPage > 0 && c.outputPage < p.pages.PageCount())
        p.pages.ShowPage(c.outputPage);

    const int32_t row = bottom + (kWindowRow - kButtonHeight) / 2;
    p.paused.CreateCheckBox(this, 10, row + 3, 80, 20, "Paused");
    p.paused.SetClickCallback(
        [](Oru_Window *, void *view) {
            auto *self = static_cast<DataOutputView *>(view);
            const bool paused = self->parts_.paused.Checked();
            self->Post([paused](EngineEdit &edit) { edit.settings.paused = paused; });
        },
        this);
    struct Button {
        Oru_PushButton &button;
        const char *caption;
        int32_t width;
        void (*click)(Oru_Window *, void *);
    };
    const Button buttons[] = {
        {p.colors, "Colors", 80,
         [](Oru_Window *, void *view) { static_cast<DataOutputView *>(view)->colorsDialog_->Toggle(); }},
        {p.translation, "Translation table", 130,
         [](Oru_Window *, void *view) {
             auto *self = static_cast<DataOutputView *>(view);
             if (self->onTranslationTables)
                 self->onTranslationTables();
         }},
        {p.statistics, "Characters statistic", 150,
         [](Oru_Window *, void *view) { static_cast<DataOutputView *>(view)->statisticsWindow_->Show(); }},
        {p.help, "Help", 70,
         [](Oru_Window *, void *view) {
             auto *self = static_cast<DataOutputView *>(view);
             OpenHelpPage(self, HelpPage(DataPathsIn(self->context_.dataFolder), "Decoder.html"));
         }},
    };
    int32_t x = width - 8;
    for (auto it = std::rbegin(buttons); it != std::rend(buttons); ++it) {
        x -= it->width;
        it->button.CreateButton(this, x, row, it->width, kButtonHeight, it->caption);
        it->button.SetClickCallback(it->click, this);
        x -= 6;
    }

    colorsDialog_ = std::make_unique<ColorsDialog>(context_);
    colorsDialog_->onChanged = [this](const ColourSet &colours) { ApplyBackground(colours[kColourBackground]); };
    statisticsWindow_ = std::make_unique<StatisticsWindow>(context_);
    ApplyBackground(c.colours[kColourBackground]);

    Follow(context_.engine.Published());
    seenSettings_ = context_.engine.Changes().settings.load();
    SetTimer(kRefreshTimer, kRefreshMilliseconds);
    return true;
}

void DataOutputView::BuildChannel(int32_t channel, Oru_Window &page)
{
    Channel &ch = parts_.channels[size_t(channel)];
    const Configuration &c = context_.configuration;
    const std::string name = std::to_string(channel);
    const int32_t width = page.Width();
    const int32_t row = page.Height() - kChannelRow;
    ch.text.CreatePane(&page, 4, 4, width - 8, row - 6, context_.engine.Output().View(channel));

    ch.shift.CreateRadioGroup(&page, 6, row + 3, 90, {"Letters", "Numbers"});
    ch.shift.SetName(name);
    ch.shift.SetClickCallback(
        [](Oru_Window *control, void *view) {
            auto *self = static_cast<DataOutputView *>(view);
            const size_t channel = size_t(std::stoi(control->Name()));
            const bool numbers = static_cast<Oru_RadioGroup *>(control)->Selected() == 1;
            self->Post([channel, numbers](EngineEdit &edit) { edit.settings.numbers[channel] = numbers; });
        },
        this);

    const int32_t line = row + 12;
    ch.clear.CreateButton(&page, width - 104, line - 1, 100, 24, "Clear screen");
    ch.clear.SetName(name);
    ch.clear.SetClickCallback(ChannelCall<&DataOutputView::ClearChannel>, this);
    ch.browse.CreateButton(&page, width - 140, line, 28, 22, "...");
    ch.browse.SetName(name);
    ch.browse.SetClickCallback(ChannelCall<&DataOutputView::BrowseLog>, this);
    ch.log.CreateCheckBox(&page, 104, line + 1, 76, 20, "Log file");
    ch.log.SetName(name);
    ch.log.SetClickCallback(ChannelCall<&DataOutputView::LogToggled>, this);
    ch.logName.CreateEdit(&page, 182, line, width - 140 - 6 - 182, 22, c.logFile[size_t(channel)]);
    ch.logName.SetMaxLength(kMaxLogName);
    // The instance opened the logs the block had on; one that failed to open is off, without a message.
    ShowLogState(channel, context_.engine.Output().Log(channel).IsOpen());
}

void DataOutputView::ShowLogState(int32_t channel, bool on)
{
    Channel &ch = parts_.channels[size_t(channel)];
    ch.log.SetChecked(on);
    // The name of an open log cannot change under it.
    ch.logName.Enable(!on);
    ch.browse.Enable(!on);
}

void DataOutputView::LogToggled(int32_t channel)
{
    Channel &ch = parts_.channels[size_t(channel)];
    DecoderEngine &engine = context_.engine;
    std::shared_ptr<EditMailbox<LogReport>> reports = logReports_;
    ++logsPending_[size_t(channel)];
    if (!ch.log.Checked()) {
        engine.Post([&engine, channel, reports](EngineEdit &) {
            engine.Output().Log(channel).Close();
            reports->Put({channel, false});
        });
        ShowLogState(channel, false);
        Refresh();
        return;
    }
    const std::string path = LogFilePath(context_.dataFolder, ch.logName.Text());
    // The question comes before the stream opens on the frame thread, so the display contents reach the file
    // before any character decoded after the answer.
    FILE *probe = std::fopen(path.c_str(), "a");
    if (!probe) {
        --logsPending_[size_t(channel)];
        ShowMessageBox(this, kProductCaption, "Can't open the log file!", kBoxOk);
        ShowLogState(channel, false);
        return;
    }
    std::fclose(probe);
    const bool dump = ShowMessageBox(this, kProductCaption, "Do you want to write the display contents to log ?",
                                     kBoxYes | kBoxNo << 4) == kBoxYes;
    engine.Post([&engine, channel, path, dump, reports](EngineEdit &) {
        LogFile &log = engine.Output().Log(channel);
        bool opened = log.Open(path.c_str());
        OutputTextView &view = engine.Output().View(channel);
        for (uint32_t line = 0; opened && dump && line < view.LineCount(); ++line) {
            const std::string text = view.LineText(line);
            opened = log.WriteLine(text.data(), uint32_t(text.size()));
        }
        reports->Put({channel, opened});
    });
    ShowLogState(channel, true);
    Refresh();
}

void DataOutputView::BrowseLog(int32_t channel)
{
    Channel &ch = parts_.channels[size_t(channel)];
    FileDialogOptions options;
    options.title = "Select the Log File Name";
    options.filterName = "Simple text (*.txt)";
    options.pattern = "*.txt";
    options.defaultExtension = "txt";
    options.initialPath = LogFilePath(context_.dataFolder, ch.logName.Text());
    options.mustBeWritable = true;
    options.maxLength = kMaxLogName;
    const std::string chosen = ShowFileDialog(this, options);
    if (!chosen.empty())
        ch.logName.SetText(chosen);
    ShowLogState(channel, ch.log.Checked());
}

void DataOutputView::ClearChannel(int32_t channel)
{
    DecoderEngine &engine = context_.engine;
    engine.Post([&engine, channel](EngineEdit &) { engine.Output().View(channel).Clear(); });
    parts_.channels[size_t(channel)].text.Cleared();
    textMoved_ = true;
}

void DataOutputView::ApplyBackground(uint32_t colour)
{
    for (Channel &ch : parts_.channels)
        ch.text.SetBackground(colour);
}

void DataOutputView::Follow(const SettingsModel &s)
{
    parts_.paused.SetChecked(s.paused);
    for (size_t channel = 0; channel < parts_.channels.size(); ++channel) {
        Channel &ch = parts_.channels[channel];
        ch.shift.Select(s.numbers[channel] ? 1 : 0);
        ch.text.SetTableFont(s.translationFont, s.translationCharacterSet);
    }
}

void DataOutputView::Refresh()
{
    const EngineChanges &changes = context_.engine.Changes();
    const uint64_t text = changes.text.load();
    const uint64_t settings = changes.settings.load();
    if (text != seenText_ || textMoved_) {
        seenText_ = text;
        textMoved_ = false;
        for (Channel &ch : parts_.channels)
            ch.text.Refresh();
    }
    if (settings != seenSettings_) {
        seenSettings_ = settings;
        Follow(context_.engine.Published());
    }
    for (const LogReport &report : logReports_->Take()) {
        const size_t channel = size_t(report.channel);
        --logsPending_[channel];
        if (logsPending_[channel] == 0 && parts_.channels[channel].log.Checked() && !report.opened) {
            ShowMessageBox(this, kProductCaption, "Can't open the log file!", kBoxOk);
            ShowLogState(report.channel, false);
        }
    }
    // A failed write closes the log on the frame thread: the box follows once no edit of it is on its way.
    for (int32_t channel = 0; channel < kChannelCount; ++channel) {
        Channel &ch = parts_.channels[size_t(channel)];
        if (logsPending_[size_t(channel)] == 0 && ch.log.Checked() && !context_.engine.Output().Log(channel).IsOpen())
            ShowLogState(channel, false);
    }
}

void DataOutputView::CloseDialogs()
{
    colorsDialog_->Close();
    statisticsWindow_->Close();
}

void DataOutputView::Gather(Configuration &c) const
{
    c.outputLeft = X();
    c.outputTop = Y();
    c.outputWidth = Width();
    c.outputHeight = Height();
    c.outputPage = std::max(parts_.pages.Current(), 0);
    for (size_t channel = 0; channel < parts_.channels.size(); ++channel) {
        c.logEnabled[channel] = parts_.channels[channel].log.Checked() ? 1 : 0;
        c.logFile[channel] = parts_.channels[channel].logName.Text();
    }
    if (statisticsWindow_)
        statisticsWindow_->Gather(c);
}

intptr_t DataOutputView::HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second)
{
    // The window lives as long as the decoder window; the instance closes both.
    if (message == kMsgClose)
        return 0;
    return Oru_Frame::HandleNativeMessage(message, first, second);
}

void DataOutputView::TimerTick(uint32_t id)
{
    if (id == kRefreshTimer)
        Refresh();
    else
        Oru_Frame::TimerTick(id);
}

} // namespace sirrel
