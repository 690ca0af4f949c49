// WavPlayer: the engine side of the "Input/Output WAV" panel.
//
// Plays a WAV file into the signal chain in the format it wants (kind, rate, bits, channels), converting what
// differs when allowed to, and records the frames handed to it into a WAV file. It holds at most one open
// file. The signal chain's thread reads while the user-interface thread opens files and changes the rate;
// every use of the file and the resamplers takes the player's own lock.
#pragma once

#include <cstdint>
#include <functional>

#include "audio/wav_file.h"
#include "orurt.h"

namespace sirrel {

class WavPlayer {
public:
    enum Option : uint32_t {
        kPlayEnabled = 1u << 0,
        kShowTime = 1u << 1,
        kRequireKind = 1u << 2,
        kRequireRate = 1u << 3,
        kRequireBits = 1u << 4,
        kRequireChannels = 1u << 5,
        kConvertRate = 1u << 6,
        kConvertBits = 1u << 7,
        kConvertChannels = 1u << 8,
    };
    static constexpr uint32_t kDefaultOptions = kPlayEnabled | kShowTime | kRequireRate | kRequireBits |
                                                kRequireChannels | kConvertRate | kConvertBits | kConvertChannels;
    static constexpr uint32_t kDefaultBufferSize = 0x200000;
    static constexpr uint32_t kTapsPerPhase = 127;
    // The allowed relative rate error of the resampler's set-up.
    static constexpr float kRateTolerance = 0.001f;
    static constexpr uint32_t kTimeTextSize = 40;

    struct Format {
        uint32_t kind; // WavFile::Kind
        uint32_t rate;
        uint32_t bits;     // 8 or 16
        uint32_t channels; // 1 or 2
    };

    using OpenedCallback = std::function<void()>;

    WavPlayer();
    ~WavPlayer();
    WavPlayer(const WavPlayer &) = delete;
    WavPlayer &operator=(const WavPlayer &) = delete;

    void SetOptions(uint32_t options);
    uint32_t Options() const { return options_; }
    // 0 selects the default.
    void SetBufferSize(uint32_t bytes);
    // Files opened from now on are read on the caller's thread, without the read-ahead thread and its cache, and
    // are never written (a wrong RIFF size is mended in memory only): for a caller that decodes files as fast as
    // it can, may wait for the disk and must leave them as they are.
    void SetBatchReads(bool batch);
    // Refused (false) unless bits is 8 or 16, channels 1 or 2 and the rate above 0.
    bool SetWantedFormat(const Format &format);
    // Follows the signal chain's rate; a playing file is converted to the new rate from the next read on.
    void SetWantedRate(uint32_t rate);
    Format WantedFormat();
    void SetOpenedCallback(OpenedCallback callback);

    // Opens a file for playing, closing the open one. A file that does not suit the wanted format under the
    // require and convert options is rejected and closed. Calls the opened call-back on acceptance.
    bool Open(const char *path);
    // Opens a file for recording PCM frames of the given format, closing the open one.
    bool OpenRecording(const char *path, uint32_t rate, uint32_t bits, uint32_t channels);
    void Close();
    bool IsOpen();
    bool IsRecording();

    // Delivers up to bytes of the playing file in the wanted format (whole frames); 0 at the end of the data,
    // while playing is disabled or when no file plays.
    uint32_t Read(void *destination, uint32_t bytes);
    // Writes whole frames of the recording format to the recording file.
    bool Record(const void *frames, uint32_t bytes);

    // "hh:mm:ss / hh:mm:ss": the played and the total time of the open file.
    void TimeText(char text[kTimeTextSize]);
    // The open file's data position and length in its own bytes; both 0 without a file.
    struct Progress {
        uint32_t position;
        uint32_t length;
    };
    Progress Position();
    // Moves playback to that byte of the file's data (whole frames, within the data).
    void SeekTo(uint32_t position);

private:
    struct Plan {
        bool straight;  // nothing to convert
        bool expand;    // A-law or µ-law to 16-bit linear
        bool mix;       // stereo to mono
        bool duplicate; // mono to stereo
        bool widen;     // 8 to 16 bit
        bool narrow;    // 16 to 8 bit
        bool resample;
        bool ready; // false when a resampler could not be made
        uint32_t outBits;
        uint32_t outChannels;
    };

    bool Accept();
    bool MakePlan();
    void CloseFile();
    void UpdateTime();
    uint32_t Convert(uint8_t *destination, uint32_t frames);
    uint32_t ConvertChunk(uint8_t *destination, uint32_t frames);
    uint32_t Resample(uint8_t *samples, uint32_t available, uint32_t frames, uint32_t channels, uint32_t bits);
    uint32_t InputsFor(uint32_t *frames) const;

    OruThreadExclusion lock_;
    WavFile file_;
    OruString path_;
    bool recording_ = false;
    uint32_t bufferSize_ = kDefaultBufferSize;
    bool batchReads_ = false;
    uint32_t options_ = kDefaultOptions;
    Format wanted_{WavFile::kPcm, 11025, 16, 1};
    Plan plan_{};
    // One resampler per channel being resampled; the second only for stereo.
    OruResampler32 *resamplers_[2] = {nullptr, nullptr};
    uint8_t *scratch_[2] = {nullptr, nullptr};
    uint32_t scratchSize_[2] = {0, 0};
    char time_[kTimeTextSize];
    OpenedCallback opened_;
};

} // namespace sirrel
