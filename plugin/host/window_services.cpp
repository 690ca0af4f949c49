#include "host/window_services.h"

#include <cstdio>

#include "audio/alsa_device.h"
#include "audio/alsa_mixer.h"
#include "ui/message_box.h"

namespace sirrel {

uint32_t HeadlessWindowServices::MessageBox(uint32_t window, const std::string &caption, const std::string &text,
                                            uint32_t buttons)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        boxes_.push_back({window, caption, text});
    }
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    const uint32_t first = buttons & 0xF;
    return first ? first : kButtonOk;
}

uint32_t HeadlessWindowServices::CreateMainWindow(const std::string &)
{
    std::lock_guard<std::mutex> hold(lock_);
    // Never 0 (no window) nor 0xFFFFFFFF (the start-up failure).
    if (nextHandle_ == 0 || nextHandle_ == 0xFFFFFFFFu)
        nextHandle_ = 1;
    return nextHandle_++;
}

bool HeadlessWindowServices::RequestClose(uint32_t window)
{
    std::lock_guard<std::mutex> hold(lock_);
    closeRequests_.push_back(window);
    return closing_.insert(window).second;
}

void HeadlessWindowServices::DestroyWindow(uint32_t window)
{
    std::lock_guard<std::mutex> hold(lock_);
    closing_.erase(window);
}

AudioDevices &WindowServices::SoundSystem() { return SystemAudioDevices(); }

std::unique_ptr<MixerBackend> WindowServices::MakeMixer() { return std::make_unique<AlsaMixer>(); }

uint32_t HeadlessWindowServices::WaveInDeviceCount() { return CaptureDeviceCount(SoundSystem()); }

std::vector<HeadlessWindowServices::Box> HeadlessWindowServices::Boxes()
{
    std::lock_guard<std::mutex> hold(lock_);
    return boxes_;
}

std::vector<uint32_t> HeadlessWindowServices::CloseRequests()
{
    std::lock_guard<std::mutex> hold(lock_);
    return closeRequests_;
}

uint32_t FrameworkWindowServices::MessageBox(uint32_t window, const std::string &caption, const std::string &text,
                                             uint32_t buttons)
{
    HeadlessWindowServices::MessageBox(window, caption, text, buttons);
    return ShowMessageBox(nullptr, caption, text, buttons);
}

WindowServices &Services()
{
    static FrameworkWindowServices services;
    return services;
}

} // namespace sirrel
