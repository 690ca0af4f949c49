// What an instance asks of the window framework: message boxes, a 32-bit handle for its main window, closing
// it, and whether the system has a wave-in device. The headless implementation keeps a record of the requests,
// prints boxes on stderr and answers each box with its first button; the plug-in's shows its boxes as the
// framework's dialogs, which on a display without a user answer the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "audio/audio_device.h"
#include "audio/audio_mixer.h"

namespace sirrel {

// Message-box buttons as 4-bit codes, the first in the lowest nibble.
enum BoxButton : uint32_t {
    kButtonOk = 1,
    kButtonYes = 2,
    kButtonNo = 3,
    kButtonCancel = 4,
    kButtonAbort = 5,
    kButtonRetry = 6,
    kButtonIgnore = 7,
};

class WindowServices {
public:
    virtual ~WindowServices() = default;
    // Returns the code of the button pressed.
    virtual uint32_t MessageBox(uint32_t window, const std::string &caption, const std::string &text,
                                uint32_t buttons) = 0;
    virtual uint32_t CreateMainWindow(const std::string &title) = 0;
    // True for the first request on a window: the caller then destroys it. Later requests are ignored.
    virtual bool RequestClose(uint32_t window) = 0;
    virtual void DestroyWindow(uint32_t window) = 0;
    virtual uint32_t WaveInDeviceCount() = 0;
    // The sound system of the sound-card route.
    virtual AudioDevices &SoundSystem();
    // A mixer of the sound system, for one Oru_AudioMixer.
    virtual std::unique_ptr<MixerBackend> MakeMixer();
    // True when the instance's main window is the framework's decoder window; otherwise CreateMainWindow only
    // hands out a handle.
    virtual bool BuildsWindows() const { return false; }
};

class HeadlessWindowServices : public WindowServices {
public:
    struct Box {
        uint32_t window;
        std::string caption;
        std::string text;
    };

    uint32_t MessageBox(uint32_t window, const std::string &caption, const std::string &text,
                        uint32_t buttons) override;
    uint32_t CreateMainWindow(const std::string &title) override;
    bool RequestClose(uint32_t window) override;
    void DestroyWindow(uint32_t window) override;
    // Capture devices of the sound system that can hear something.
    uint32_t WaveInDeviceCount() override;

    std::vector<Box> Boxes();
    std::vector<uint32_t> CloseRequests();

private:
    std::mutex lock_;
    uint32_t nextHandle_ = 1;
    std::set<uint32_t> closing_;
    std::vector<Box> boxes_;
    std::vector<uint32_t> closeRequests_;
};

class FrameworkWindowServices : public HeadlessWindowServices {
public:
    // Keeps the record, then shows the box; called on the user-interface thread.
    uint32_t MessageBox(uint32_t window, const std::string &caption, const std::string &text,
                        uint32_t buttons) override;
    bool BuildsWindows() const override { return true; }
};

// The services the plug-in uses.
WindowServices &Services();

} // namespace sirrel
