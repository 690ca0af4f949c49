#include "windows/wav_panel.h"

#include <algorithm>
#include <filesystem>

#include "protocols/configuration.h"
#include "protocols/product_name.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"

namespace sirrel {

namespace {

// Bits of Configuration::wavOptionsOff.
constexpr int32_t kPlayOff = 1;
constexpr int32_t kRecordOff = 2;
constexpr int32_t kRow = 22;
constexpr int32_t kRowStep = 26;
constexpr int32_t kButtonWidth = 50;
constexpr int32_t kGap = 4;

template <void (WavPanel::*Handler)()> void Call(Oru_Window *, void *self)
{
    (static_cast<WavPanel *>(self)->*Handler)();
}

} // namespace

WavPanel::WavPanel(Oru_Window &window, const Rect &area, WavDeck deck, const Configuration &configuration)
    : window_(window), deck_(std::move(deck))
{
    messageBox = [this](const std::string &text, uint32_t codes) {
        return ShowMessageBox(window_.TopLevel(), kProductCaption, text, codes);
    };
    chooseFile = [this](const std::string &initialPath) {
        FileDialogOptions options;
        options.title = "Select the WAV File Name";
        options.filterName = "Windows PCM/A-Law/u-Law (*.wav)";
        options.pattern = "*.wav";
        options.initialPath = initialPath;
        options.defaultExtension = "wav";
        return ShowFileDialog(window_.TopLevel(), options);
    };

    Controls &p = parts_;
    p.group.CreateGroup(&window_, area, "Input/Output WAV");
    const Rect inner = p.group.Inner();
    int32_t x = inner.left;
    int32_t y = inner.top;
    const auto button = [&](Oru_PushButton &b, const char *caption, void (*handler)(Oru_Window *, void *)) {
        b.CreateButton(&p.group, x, y, kButtonWidth, kRow, caption);
        b.SetClickCallback(handler, this);
        x += kButtonWidth + kGap;
    };
    button(p.play, "Play", Call<&WavPanel::Play>);
    button(p.pause, "Pause", Call<&WavPanel::TogglePause>);
    button(p.stop, "Stop", Call<&WavPanel::Stop>);
    button(p.record, "Record", Call<&WavPanel::Record>);
    // Beside the sound card's controls the read-out goes after the file name, where it has room.
    constexpr int32_t kTimeWidth = 140;
    const bool narrow = inner.right - x < kTimeWidth + kGap;
    const int32_t timeLeft = narrow ? inner.right - kTimeWidth : x + kGap;
    const int32_t timeTop = narrow ? y + kRowStep : y;
    p.time.CreateLabel(&p.group, timeLeft, timeTop + 3, inner.right - timeLeft, kRow - 3, "00:00:00 / 00:00:00");
    p.time.SetFont(FontDescription::Make("Courier New", 12));

    y += kRowStep;
    const int32_t browseWidth = 30;
    const int32_t browseRight = narrow ? timeLeft - kGap : inner.right;
    p.file.CreateEdit(&p.group, inner.left, y, browseRight - browseWidth - kGap - inner.left, kRow,
                      configuration.wavFile);
    p.browse.CreateButton(&p.group, browseRight - browseWidth, y, browseWidth, kRow, "...");
    p.browse.SetClickCallback(Call<&WavPanel::Browse>, this);

    y += kRowStep;
    x = inner.left;
    p.playEnabled.CreateCheckBox(&p.group, x, y, 96, kRow, "Play enabled");
    x += 96 + kGap;
    p.recordEnabled.CreateCheckBox(&p.group, x, y, 112, kRow, "Record enabled");
    x += 112 + kGap;
    p.position.CreateSlider(&p.group, x, y, std::max(inner.right - x, 40), kRow, 0, kPositionSteps);
    p.position.SetClickCallback(Call<&WavPanel::Seek>, this);
    p.playEnabled.SetChecked((configuration.wavOptionsOff & kPlayOff) == 0);
    p.recordEnabled.SetChecked((configuration.wavOptionsOff & kRecordOff) == 0);
    for (Oru_CheckBox *box : {&p.playEnabled, &p.recordEnabled}) {
        box->SetClickCallback(
            [](Oru_Window *, void *self) {
                auto *panel = static_cast<WavPanel *>(self);
                // Switching an option off ends what it allowed.
                const bool playOff = panel->state_ == State::kPlaying && !panel->parts_.playEnabled.Checked();
                const bool recordOff = panel->state_ == State::kRecording && !panel->parts_.recordEnabled.Checked();
                if (playOff || recordOff)
                    panel->Stop();
                panel->ShowState();
            },
            this);
    }
    ShowState();
}

WavPanel::~WavPanel() = default;

void WavPanel::Gather(Configuration &configuration) const
{
    configuration.wavFile = parts_.file.Text();
    configuration.wavOptionsOff =
        (parts_.playEnabled.Checked() ? 0 : kPlayOff) | (parts_.recordEnabled.Checked() ? 0 : kRecordOff);
}

std::string WavPanel::FileName()
{
    if (parts_.file.Text().empty()) {
        const std::string chosen = chooseFile ? chooseFile("") : std::string();
        parts_.file.SetText(chosen);
    }
    return parts_.file.Text();
}

void WavPanel::Play()
{
    if (state_ != State::kIdle || !parts_.playEnabled.Checked())
        return;
    const std::string path = FileName();
    if (path.empty())
        return;
    if (!deck_.play || !deck_.play(path)) {
        messageBox("Cannot play the WAV file \"" + path +
                       "\":\nit cannot be opened, or it is no PCM, A-law or u-law WAV file.",
                   kBoxOk);
        return;
    }
    state_ = State::kPlaying;
    ShowState();
    Refresh();
}

void WavPanel::Record()
{
    if (state_ != State::kIdle || !parts_.recordEnabled.Checked())
        return;
    const std::string path = FileName();
    if (path.empty())
        return;
    // A recording starts the file afresh: what it held would be lost.
    std::error_code error;
    if (std::filesystem::exists(path, error) &&
        messageBox("The file \"" + path + "\" exists already. Replace it?", 0x32) != kBoxYes)
        return;
    if (!deck_.record || !deck_.record(path)) {
        messageBox("Cannot record into the WAV file \"" + path + "\".", kBoxOk);
        return;
    }
    state_ = State::kRecording;
    ShowState();
    Refresh();
}

void WavPanel::TogglePause()
{
    if (state_ == State::kIdle)
        return;
    paused_ = !paused_;
    if (deck_.pause)
        deck_.pause(paused_);
    ShowState();
}

void WavPanel::Stop()
{
    if (deck_.stop)
        deck_.stop();
    if (paused_ && deck_.pause)
        deck_.pause(false);
    paused_ = false;
    state_ = State::kIdle;
    parts_.position.SetValue(0);
    ShowState();
    Refresh();
}

void WavPanel::Browse()
{
    if (!chooseFile)
        return;
    const std::string chosen = chooseFile(parts_.file.Text());
    if (!chosen.empty())
        parts_.file.SetText(chosen);
}

void WavPanel::Seek()
{
    if (state_ != State::kPlaying || !deck_.player)
        return;
    const WavPlayer::Progress progress = deck_.player->Position();
    deck_.player->SeekTo(uint32_t(uint64_t(progress.length) * uint64_t(parts_.position.Value()) / kPositionSteps));
    Refresh();
}

void WavPanel::Refresh()
{
    if (!deck_.player)
        return;
    if (state_ == State::kPlaying) {
        const WavPlayer::Progress progress = deck_.player->Position();
        // The end of the file gives the decoder back the received audio.
        if (!deck_.player->IsOpen() || progress.position >= progress.length) {
            Stop();
            return;
        }
        parts_.position.SetValue(int32_t(uint64_t(progress.position) * kPositionSteps / progress.length));
    }
    char text[WavPlayer::kTimeTextSize];
    deck_.player->TimeText(text);
    if (parts_.time.Text() != text)
        parts_.time.SetText(text);
}

void WavPanel::ShowState()
{
    Controls &p = parts_;
    const bool idle = state_ == State::kIdle;
    p.play.Enable(idle && p.playEnabled.Checked());
    p.record.Enable(idle && p.recordEnabled.Checked());
    p.stop.Enable(!idle);
    p.pause.Enable(!idle);
    p.pause.SetText(paused_ ? "Resume" : "Pause");
    p.file.Enable(idle);
    p.browse.Enable(idle);
    p.position.Enable(state_ == State::kPlaying);
}

} // namespace sirrel
