// WavFileSource: a WAV file as the engine's audio, converted to 16-bit mono at the processing rate as the
// player converts it for playback.
#pragma once

#include <cstdint>
#include <string>

#include "audio/wav_player.h"
#include "engine/audio_source.h"

namespace sirrel {

class WavFileSource : public AudioSource {
public:
    explicit WavFileSource(uint32_t rate) : rate_(rate) {}

    // On failure `error` names the file and the reason.
    bool Open(const std::string &path, std::string &error);

    uint32_t StartRate() const override { return rate_; }
    uint32_t Read(int16_t *samples, uint32_t count) override;

private:
    uint32_t rate_;
    WavPlayer player_;
};

} // namespace sirrel
