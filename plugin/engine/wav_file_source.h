// WavFileSource: a WAV file as the engine's audio, converted to 16-bit mono at the processing rate as the
// player converts it for playback.
//
// The file is read on the reading thread itself: a decode reads as fast as it can, and a read-ahead thread would
// only add a copy of every byte and a hand-off per block. The source takes the audio from the player in large
// blocks. The file is opened for reading only: a decode leaves the user's recording as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/wav_player.h"
#include "engine/audio_source.h"

namespace sirrel {

class WavFileSource : public AudioSource {
public:
    explicit WavFileSource(uint32_t rate) : rate_(rate) { player_.SetBatchReads(true); }

    // On failure `error` names the file and the reason.
    bool Open(const std::string &path, std::string &error);

    uint32_t StartRate() const override { return rate_; }
    uint32_t Read(int16_t *samples, uint32_t count) override;

private:
    static constexpr uint32_t kBlockSamples = 1u << 16;

    uint32_t rate_;
    WavPlayer player_;
    std::vector<int16_t> block_;
    size_t taken_ = 0;
};

} // namespace sirrel
