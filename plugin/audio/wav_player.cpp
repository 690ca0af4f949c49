#include "audio/wav_player.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/g711.h"
#include "output/exclusion_hold.h"

namespace sirrel {

namespace {

// Output frames converted per step; bounds the scratch buffers whatever the caller asks for.
constexpr uint32_t kChunkFrames = 4096;
// Input frames one step may read (a file far above the wanted rate), and the largest product of outputs and
// decimation factor the resampler's 32-bit arithmetic takes.
constexpr uint64_t kMaxChunkInputs = 1u << 20;
constexpr uint64_t kMaxPhaseSpan = 0x7FFFFFFF;

bool Grow(uint8_t **buffer, uint32_t *size, uint64_t need)
{
    if (need <= *size)
        return true;
    if (need > UINT32_MAX)
        return false;
    void *grown = MemoryReAlloc(*buffer, uint32_t(need));
    if (!grown)
        return false;
    *buffer = static_cast<uint8_t *>(grown);
    *size = uint32_t(need);
    return true;
}

bool Companded(uint32_t kind) { return kind == WavFile::kALaw || kind == WavFile::kMuLaw; }

} // namespace

WavPlayer::WavPlayer()
{
    OruThreadExclusion_Construct(&lock_);
    OruString_Construct(&path_);
    UpdateTime();
}

WavPlayer::~WavPlayer()
{
    Close();
    for (OruResampler32 *resampler : resamplers_) {
        if (resampler)
            OruResampler32_Destruct(resampler, 1);
    }
    MemoryFree(scratch_[0]);
    MemoryFree(scratch_[1]);
    OruString_Destruct(&path_, 0);
    OruThreadExclusion_Destruct(&lock_, 0);
}

void WavPlayer::SetOptions(uint32_t options)
{
    ExclusionHold hold(lock_);
    const uint32_t changed = options_ ^ options;
    options_ = options;
    if ((changed & (kConvertRate | kConvertBits | kConvertChannels)) && file_.IsOpen() && !recording_)
        MakePlan();
}

void WavPlayer::SetBufferSize(uint32_t bytes)
{
    ExclusionHold hold(lock_);
    bufferSize_ = bytes ? bytes : kDefaultBufferSize;
}

void WavPlayer::SetBatchReads(bool batch)
{
    ExclusionHold hold(lock_);
    batchReads_ = batch;
}

bool WavPlayer::SetWantedFormat(const Format &format)
{
    if ((format.bits != 8 && format.bits != 16) || (format.channels != 1 && format.channels != 2) || format.rate == 0)
        return false;
    ExclusionHold hold(lock_);
    wanted_ = format;
    if (file_.IsOpen() && !recording_)
        MakePlan();
    return true;
}

void WavPlayer::SetWantedRate(uint32_t rate)
{
    if (rate == 0)
        return;
    ExclusionHold hold(lock_);
    if (rate == wanted_.rate)
        return;
    wanted_.rate = rate;
    if (file_.IsOpen() && !recording_)
        MakePlan();
}

WavPlayer::Format WavPlayer::WantedFormat()
{
    ExclusionHold hold(lock_);
    return wanted_;
}

void WavPlayer::SetOpenedCallback(OpenedCallback callback)
{
    ExclusionHold hold(lock_);
    opened_ = std::move(callback);
}

bool WavPlayer::Open(const char *path)
{
    OpenedCallback callback;
    bool accepted;
    {
        ExclusionHold hold(lock_);
        CloseFile();
        accepted = file_.OpenRead(path, batchReads_ ? 0 : bufferSize_, batchReads_) && Accept();
        if (accepted)
            OruString_Set_String(&path_, path);
        else
            file_.Close();
        UpdateTime();
        callback = opened_;
    }
    // Outside the lock: the owner's call-back may take its own locks and read from the player.
    if (accepted && callback)
        callback();
    return accepted;
}

bool WavPlayer::Accept()
{
    if (options_ & kRequireKind) {
        while (file_.Kind() != wanted_.kind) {
            if (!file_.NextSection())
                return false;
        }
    }
    // Only mono and stereo can be played or converted.
    if (file_.Kind() == WavFile::kNone || file_.Channels() > 2)
        return false;
    const uint32_t bits = Companded(file_.Kind()) && wanted_.kind == WavFile::kPcm ? 16 : file_.Bits();
    auto refused = [this](bool differs, uint32_t require, uint32_t convert) {
        return differs && (options_ & require) && !(options_ & convert);
    };
    if (refused(file_.Rate() != wanted_.rate, kRequireRate, kConvertRate) ||
        refused(bits != wanted_.bits, kRequireBits, kConvertBits) ||
        refused(file_.Channels() != wanted_.channels, kRequireChannels, kConvertChannels))
        return false;
    return MakePlan();
}

// Decides the conversion steps for the open file and sets the resamplers up when the rate is converted.
bool WavPlayer::MakePlan()
{
    Plan plan{};
    // Companded bytes are not linear samples: they are expanded before anything else when linear is wanted.
    plan.expand = Companded(file_.Kind()) && wanted_.kind == WavFile::kPcm;
    const uint32_t bits = plan.expand ? 16 : file_.Bits();
    const uint32_t channels = file_.Channels();
    const bool convertChannels = channels != wanted_.channels && (options_ & kConvertChannels);
    const bool convertBits = bits != wanted_.bits && (options_ & kConvertBits);
    plan.mix = convertChannels && channels == 2;
    plan.duplicate = convertChannels && channels == 1;
    plan.widen = convertBits && bits == 8;
    plan.narrow = convertBits && bits == 16;
    plan.resample = file_.Rate() != wanted_.rate && (options_ & kConvertRate);
    plan.outBits = convertBits ? wanted_.bits : bits;
    plan.outChannels = convertChannels ? wanted_.channels : channels;
    plan.straight = !plan.expand && !convertChannels && !convertBits && !plan.resample;
    plan.ready = true;
    if (plan.resample) {
        const uint32_t resampled = plan.mix ? 1 : channels;
        for (uint32_t i = 0; i < resampled; ++i) {
            if (!resamplers_[i])
                resamplers_[i] = OruResampler32_Construct(nullptr);
            if (!resamplers_[i]) {
                plan.ready = false;
                break;
            }
            OruResampler32_Setup(resamplers_[i], float(file_.Rate()), float(wanted_.rate), kRateTolerance,
                                 kTapsPerPhase);
        }
    }
    plan_ = plan;
    return plan.ready;
}

bool WavPlayer::OpenRecording(const char *path, uint32_t rate, uint32_t bits, uint32_t channels)
{
    if (rate == 0 || (bits != 8 && bits != 16) || (channels != 1 && channels != 2))
        return false;
    ExclusionHold hold(lock_);
    CloseFile();
    recording_ = file_.OpenWrite(path, bufferSize_) && file_.WriteHeaderPcm(rate, bits, channels);
    if (recording_)
        OruString_Set_String(&path_, path);
    else
        file_.Close();
    UpdateTime();
    return recording_;
}

void WavPlayer::Close()
{
    ExclusionHold hold(lock_);
    CloseFile();
    UpdateTime();
}

void WavPlayer::CloseFile()
{
    file_.Close();
    recording_ = false;
    plan_ = Plan{};
    OruString_Set_String(&path_, "");
    // A resampler keeps its history when set up again for the same rates: the next file would begin with the
    // end of this one.
    for (OruResampler32 *&resampler : resamplers_) {
        if (resampler)
            OruResampler32_Destruct(resampler, 1);
        resampler = nullptr;
    }
}

bool WavPlayer::IsOpen()
{
    ExclusionHold hold(lock_);
    return file_.IsOpen();
}

bool WavPlayer::IsRecording()
{
    ExclusionHold hold(lock_);
    return recording_;
}

bool WavPlayer::Record(const void *frames, uint32_t bytes)
{
    ExclusionHold hold(lock_);
    if (!recording_)
        return false;
    const bool written = file_.WriteData(frames, bytes);
    UpdateTime();
    return written;
}

uint32_t WavPlayer::Read(void *destination, uint32_t bytes)
{
    ExclusionHold hold(lock_);
    if (!(options_ & kPlayEnabled) || recording_ || !file_.IsOpen() || !destination)
        return 0;
    uint32_t delivered;
    if (plan_.straight) {
        delivered = file_.ReadData(destination, bytes);
    } else {
        const uint32_t frameBytes = plan_.outBits / 8 * plan_.outChannels;
        delivered = Convert(static_cast<uint8_t *>(destination), bytes / frameBytes) * frameBytes;
    }
    UpdateTime();
    return delivered;
}

uint32_t WavPlayer::Convert(uint8_t *destination, uint32_t frames)
{
    if (!plan_.ready)
        return 0;
    const uint32_t frameBytes = plan_.outBits / 8 * plan_.outChannels;
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t step = frames - done < kChunkFrames ? frames - done : kChunkFrames;
        const uint32_t made = ConvertChunk(destination + uint64_t(done) * frameBytes, step);
        if (made == 0)
            break;
        done += made;
    }
    return done;
}

// Converts up to frames output frames; fewer at the end of the data.
uint32_t WavPlayer::ConvertChunk(uint8_t *destination, uint32_t frames)
{
    const uint32_t fileChannels = file_.Channels();
    const uint32_t inFrames = plan_.resample ? InputsFor(&frames) : frames;
    if (frames == 0)
        return 0;
    // Room for the samples as 16-bit words, and for the resampler's interleaved and per-channel output.
    if (!Grow(&scratch_[0], &scratchSize_[0], uint64_t(inFrames) * fileChannels * 2) ||
        (plan_.resample && !Grow(&scratch_[1], &scratchSize_[1], uint64_t(frames) * fileChannels * 4)))
        return 0;

    uint8_t *bytes = scratch_[0];
    auto *words = reinterpret_cast<int16_t *>(scratch_[0]);
    const uint32_t available = file_.ReadData(bytes, inFrames * file_.FrameBytes()) / file_.FrameBytes();
    uint32_t channels = fileChannels;
    uint32_t bits = file_.Bits();
    uint32_t count = available * channels;
    if (plan_.expand) {
        const auto expand = file_.Kind() == WavFile::kALaw ? ALawToLinear : MuLawToLinear;
        for (uint32_t i = count; i-- > 0;)
            words[i] = expand(bytes[i]);
        bits = 16;
    }
    if (plan_.mix) {
        for (uint32_t i = 0; i < available; ++i) {
            if (bits == 8)
                bytes[i] = uint8_t((bytes[2 * i] + bytes[2 * i + 1]) / 2);
            else
                words[i] = int16_t((words[2 * i] + words[2 * i + 1]) / 2);
        }
        channels = 1;
        count = available;
    }
    if (plan_.widen) {
        for (uint32_t i = count; i-- > 0;)
            words[i] = int16_t((bytes[i] - 128) * 256);
        bits = 16;
    }
    uint8_t *samples = bytes;
    uint32_t produced = available;
    if (plan_.resample) {
        produced = Resample(bytes, available, frames, channels, bits);
        samples = scratch_[1];
    }
    count = produced * channels;
    if (plan_.narrow) {
        const auto *sampleWords = reinterpret_cast<const int16_t *>(samples);
        for (uint32_t i = 0; i < count; ++i)
            samples[i] = uint8_t((uint16_t(sampleWords[i]) >> 8) + 128);
        bits = 8;
    }
    const uint32_t sampleBytes = bits / 8;
    if (plan_.duplicate) {
        for (uint32_t i = 0; i < produced; ++i) {
            std::memcpy(destination + 2 * i * sampleBytes, samples + i * sampleBytes, sampleBytes);
            std::memcpy(destination + (2 * i + 1) * sampleBytes, samples + i * sampleBytes, sampleBytes);
        }
    } else {
        std::memcpy(destination, samples, size_t(count) * sampleBytes);
    }
    return produced;
}

// The input frames the resampler needs for *frames outputs, lowering *frames so that one step stays within
// the read and arithmetic bounds.
uint32_t WavPlayer::InputsFor(uint32_t *frames) const
{
    const OruResampler32 *resampler = resamplers_[0];
    const uint64_t pending = resampler->PendingCount;
    const uint64_t over = resampler->Over;
    const uint64_t under = resampler->Under;
    if (*frames <= pending)
        return 0;
    uint64_t most = kMaxChunkInputs * over / under;
    if (most > kMaxPhaseSpan / under)
        most = kMaxPhaseSpan / under;
    if (*frames - pending > most)
        *frames = uint32_t(pending + most);
    return uint32_t(((*frames - pending) * under + over - 1) / over);
}

// Runs each channel through its resampler into the second scratch buffer, interleaved; returns the frames
// made, which the available input frames limit.
uint32_t WavPlayer::Resample(uint8_t *samples, uint32_t available, uint32_t frames, uint32_t channels, uint32_t bits)
{
    const OruResampler32 *first = resamplers_[0];
    const uint64_t most = first->PendingCount + uint64_t(available) * first->Over / first->Under;
    const uint32_t produced = frames < most ? frames : uint32_t(most);
    const uint32_t sampleBytes = bits / 8;
    uint8_t *output = scratch_[1];
    // Stereo: each channel goes to its own area behind the interleaved one first.
    uint8_t *planes = output + size_t(produced) * channels * sampleBytes;
    for (uint32_t c = 0; c < channels; ++c) {
        uint8_t *target = channels == 1 ? output : planes + size_t(c) * produced * sampleBytes;
        if (bits == 8)
            OruResampler32_ProcessOut_8_8(resamplers_[c], target, samples + c, int32_t(produced), int32_t(channels));
        else
            OruResampler32_ProcessOut_16_16(resamplers_[c], reinterpret_cast<int16_t *>(target),
                                            reinterpret_cast<const int16_t *>(samples) + c, int32_t(produced),
                                            int32_t(channels));
    }
    if (channels == 2) {
        for (uint32_t i = 0; i < produced; ++i) {
            for (uint32_t c = 0; c < 2; ++c)
                std::memcpy(output + (2 * i + c) * sampleBytes, planes + (c * produced + i) * sampleBytes, sampleBytes);
        }
    }
    return produced;
}

void WavPlayer::UpdateTime()
{
    uint32_t played = 0;
    uint32_t total = 0;
    if (file_.IsOpen() && file_.Kind() != WavFile::kNone) {
        const uint32_t frameBytes = file_.FrameBytes();
        const uint32_t rate = file_.Rate();
        played = file_.DataPosition() / frameBytes / rate;
        total = file_.DataLength() / frameBytes / rate;
    }
    std::snprintf(time_, sizeof time_, "%02d:%02d:%02d / %02d:%02d:%02d", int(played / 3600), int(played % 3600 / 60),
                  int(played % 60), int(total / 3600), int(total % 3600 / 60), int(total % 60));
}

void WavPlayer::TimeText(char text[kTimeTextSize])
{
    ExclusionHold hold(lock_);
    std::memcpy(text, time_, kTimeTextSize);
}

WavPlayer::Progress WavPlayer::Position()
{
    ExclusionHold hold(lock_);
    if (!file_.IsOpen() || file_.Kind() == WavFile::kNone)
        return {0, 0};
    return {file_.DataPosition(), file_.DataLength()};
}

void WavPlayer::SeekTo(uint32_t position)
{
    ExclusionHold hold(lock_);
    if (recording_ || !file_.IsOpen() || file_.Kind() == WavFile::kNone)
        return;
    file_.SeekData(int64_t(std::min(position, file_.DataLength())) - int64_t(file_.DataPosition()));
    UpdateTime();
}

} // namespace sirrel
