// AlsaDevices: the sound system over ALSA's PCM interface. Device lists come from ALSA's device hints with
// their descriptions as names; the system default is ALSA's "default".
#pragma once

#include "audio/audio_device.h"

namespace sirrel {

class AlsaDevices : public AudioDevices {
public:
    std::vector<AudioDeviceEntry> List(StreamKind kind) override;
    std::unique_ptr<AudioStream> Open(StreamKind kind, const std::string &id, const WaveFormat &format,
                                      uint32_t periodBytes, uint32_t periods, std::string &error) override;
    // ALSA has no driver that answers the virtual sound card's query.
    bool Query(StreamKind kind, const std::string &id, WaveQuery &query) override;
};

// The sound system the plug-in and the programs use.
AudioDevices &SystemAudioDevices();

// Capture devices that can hear something: every listed one except ALSA's "null", which only makes silence.
uint32_t CaptureDeviceCount(AudioDevices &devices);

} // namespace sirrel
