// The "Input/Output WAV" panel in the decoder window: play a WAV file into the decoder in place of the received
// audio, or record what the decoder hears, with pause, stop, the file name and its selector, the time read-out
// and a position control to seek while playing.
#pragma once

#include <functional>
#include <string>

#include "audio/wav_player.h"
#include "ui/controls.h"
#include "ui/edit_field.h"
#include "ui/range_controls.h"
#include "windows/group_frame.h"

namespace sirrel {

struct Configuration;

// What the panel drives, supplied by the instance: its player (time, position, seeking) and the routes'
// playback and recording switches.
struct WavDeck {
    WavPlayer *player = nullptr;
    std::function<bool(const std::string &path)> play;
    std::function<bool(const std::string &path)> record;
    std::function<void()> stop;
    std::function<void(bool paused)> pause;
    // The receiver's audio comes from the sound card, whose controls take the right part of the strip.
    bool soundCard = false;
};

class WavPanel {
public:
    static constexpr int32_t kPositionSteps = 1000;

    struct Controls {
        GroupFrame group;
        Oru_PushButton play;
        Oru_PushButton pause; // "Pause", "Resume" while paused
        Oru_PushButton stop;
        Oru_PushButton record;
        Oru_Label time;
        Oru_EditField file;
        Oru_PushButton browse; // "..."
        Oru_CheckBox playEnabled;
        Oru_CheckBox recordEnabled;
        Oru_Slider position;
    };
    enum class State { kIdle, kPlaying, kRecording };

    WavPanel(Oru_Window &window, const Rect &area, WavDeck deck, const Configuration &configuration);
    ~WavPanel();

    void Gather(Configuration &configuration) const;
    // Brings the read-out and the position up to the player, and stops at the end of the file; the decoder
    // window's refresh timer calls it.
    void Refresh();
    // Stops what plays or records.
    void Stop();

    State Current() const { return state_; }
    bool Paused() const { return paused_; }
    Controls &Parts() { return parts_; }

    // How the panel asks and tells the user: the framework's message box by default, and its file selector.
    std::function<uint32_t(const std::string &text, uint32_t codes)> messageBox;
    std::function<std::string(const std::string &initialPath)> chooseFile;

private:
    void Play();
    void Record();
    void TogglePause();
    void Browse();
    void Seek();
    // The name in the field, asked for with the selector when there is none.
    std::string FileName();
    void ShowState();

    Oru_Window &window_;
    WavDeck deck_;
    Controls parts_;
    State state_ = State::kIdle;
    bool paused_ = false;
};

} // namespace sirrel
