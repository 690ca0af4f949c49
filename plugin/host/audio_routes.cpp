#include "host/audio_routes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "host/host_interface.h"
#include "host/receiver.h"
#include "orurt.h"

namespace sirrel {

// The host's contract: the samples after the header hold frames x channels values.
void HostRoute::AudioBlock(void *data)
{
    AudioBlockHeader header;
    std::memcpy(&header, data, sizeof header);
    // Neither a rate nor an average can be taken from these.
    if (header.rate == 0 || header.channels == 0)
        return;
    // The player follows the rate the audio comes at.
    player_.SetWantedRate(header.rate);
    engine_->SetDeliveredRate(header.rate, false);
    if (header.bits != 16 || header.frames == 0)
        return;
    int16_t *samples = reinterpret_cast<int16_t *>(static_cast<uint8_t *>(data) + kAudioBlockHeaderSize);
    // A processing rate above the block's would give a step of 0; every sample is then kept.
    const uint32_t step = std::max<uint32_t>(1, header.rate / std::max<uint32_t>(1, engine_->ProcessingRate()));
    if (uint64_t(header.frames) * 2 > UINT32_MAX)
        return;
    const uint32_t bytes = header.frames * 2;
    const bool playing = PlaybackActive();
    if (header.channels == 1) {
        if (playing)
            OutputStep(samples, bytes);
        else if (Recording())
            player_.Record(samples, bytes);
        engine_->Deliver(samples, header.frames, step);
        return;
    }
    auto *work = static_cast<int16_t *>(MemoryAlloc(bytes));
    if (!work)
        return;
    if (playing) {
        // The played audio goes into every channel of the host's block as well.
        OutputStep(work, bytes);
        for (uint32_t f = 0; f < header.frames; ++f) {
            int16_t *frame = samples + uint64_t(f) * header.channels;
            for (uint32_t c = 0; c < header.channels; ++c)
                frame[c] = work[f];
        }
    } else {
        for (uint32_t f = 0; f < header.frames; ++f) {
            const int16_t *frame = samples + uint64_t(f) * header.channels;
            int32_t sum = 0;
            for (uint32_t c = 0; c < header.channels; ++c)
                sum += frame[c];
            work[f] = int16_t(sum / int32_t(header.channels));
        }
    }
    if (Recording())
        player_.Record(work, bytes);
    engine_->Deliver(work, header.frames, step);
    MemoryFree(work);
}

void HostRoute::DspAudio(const int16_t *, uint32_t) {}

void HostRoute::DspEvent(const void *) {}

void HostRoute::OutputStep(void *, uint32_t) {}

uint32_t QvHostBlockRoute::ProcessingRateFor(uint32_t rate) const
{
    if (rate >= 44100)
        return rate / 4;
    if (rate > 22050)
        return rate / 2;
    return rate;
}

void QvHostBlockRoute::OutputStep(void *destination, uint32_t byteCount)
{
    if (!destination)
        return;
    std::memset(destination, 0, byteCount);
    if (Audible())
        player_.Read(destination, byteCount);
}

bool DspExtensionRoute::Open()
{
    const int32_t handle = owner_.CallHost(kHostDspOpen, 0, kImageSize, image_);
    if (handle == kHostRefused) {
        owner_.Report("Cannot open the DSP extension!");
        return false;
    }
    handle_ = uint32_t(handle);
    owner_.CallHost(kHostDspUse, 2, 0, nullptr);
    return true;
}

void DspExtensionRoute::Release()
{
    if (handle_ == kNoDspExtension)
        return;
    owner_.CallHost(kHostDspStop, 0, 0, nullptr);
    owner_.CallHost(kHostDspUse, 0, 0, nullptr);
    const uint32_t handle = handle_;
    handle_ = kNoDspExtension;
    owner_.CallHost(kHostDspClose, handle, 0, nullptr);
}

void DspExtensionRoute::DspAudio(const int16_t *samples, uint32_t byteCount)
{
    // Samples beyond a full frame start the next one rather than being lost.
    if (handle_ != kNoDspExtension && byteCount != 0)
        engine_->Deliver(samples, byteCount / 2);
}

void DspExtensionRoute::DspEvent(const void *data)
{
    uint32_t key;
    std::memcpy(&key, data, sizeof key);
    if (key == kDspEventStreamStart) {
        owner_.CallHost(kHostDspStartStream, handle_, kDspStreamBlock, nullptr);
        uint8_t command = kDspCommandStreamStarted;
        owner_.CallHost(kHostDspCommand, handle_, 1, &command);
    } else if (key == kDspEventOutputTurn) {
        uint8_t command = PlaybackActive() ? kDspCommandTurnPlaying : kDspCommandTurnSilent;
        owner_.CallHost(kHostDspCommand, handle_, 1, &command);
        OutputStep(nullptr, 0);
        command = kDspCommandTurnDone;
        owner_.CallHost(kHostDspCommand, handle_, 1, &command);
    }
}

void DspExtensionRoute::OutputStep(void *, uint32_t)
{
    int16_t turn[1024] = {};
    if (Audible())
        player_.Read(turn, sizeof turn);
    for (int attempt = 0; attempt < kOutputTurnAttempts && owner_.HostCallsEnabled(); ++attempt) {
        if (owner_.CallHost(kHostDspWriteAudio, handle_, sizeof turn, turn) != kHostRefused)
            return;
    }
}

namespace {

// The list entry whose name the chunk holds (names are stored cut to their slot), else the first.
int32_t IndexByName(const std::vector<std::string> &names, const std::string &stored)
{
    for (size_t i = 0; i < names.size() && !stored.empty(); ++i) {
        if (names[i].substr(0, SoundCardRoute::kStoredNameLength) == stored)
            return int32_t(i);
    }
    return 0;
}

std::string StoredName(const std::vector<std::string> &names, int32_t index)
{
    return size_t(index) < names.size() ? names[size_t(index)].substr(0, SoundCardRoute::kStoredNameLength) : "";
}

} // namespace

bool SoundCardRoute::Open()
{
    LoadSoundCard(path_, receiverKey_, soundCard_);
    wave_ = std::make_unique<Oru_AudioWave>(devices_, 1, 16, kRate, Oru_AudioWave::kBoth);
    wave_->SetInputBufferSize(kBufferBytes);
    wave_->SetInputBufferCount(kInputBuffers);
    wave_->SetOutputBufferSize(kBufferBytes);
    wave_->SetOutputBufferCount(kOutputBuffers);
    wave_->SetErrorReporter([this](const char *caption, const std::string &text) { owner_.Alert(caption, text); });
    wave_->SetInputCallback([this](Oru_AudioWave &, uint8_t *data, uint32_t bytes) {
        if (player_.IsRecording())
            player_.Record(data, bytes);
        Deliver(data, bytes);
    });
    wave_->SetEndedCallback([this](const std::string &text) {
        std::lock_guard<std::mutex> hold(failureLock_);
        failure_ = text;
    });
    wave_->SetOutputCallback([this](uint8_t *data) {
        OutputStep(nullptr, 0);
        Deliver(data, kBufferBytes);
    });
    wave_->SetInputDevice(IndexByName(wave_->InputNames(), soundCard_.waveIn));
    wave_->SetOutputDevice(IndexByName(wave_->OutputNames(), soundCard_.waveOut));
    OpenMixers();
    return wave_->Start(true) == 1;
}

void SoundCardRoute::OpenMixers()
{
    // The mixer is the card the fourth name holds, else the first.
    const std::vector<std::string> cards = recording_->Devices();
    if (cards.empty())
        return;
    const int32_t card = IndexByName(cards, soundCard_.fourth);
    recording_->SelectMixerDevice(card);
    playback_->SelectMixerDevice(card);
    recordingState_ = recording_->Remember();
    playbackState_ = playback_->Remember();
    recording_->SelectStoredOrLineInput(soundCard_.mixerLine);
}

void SoundCardRoute::Release()
{
    if (!wave_)
        return;
    wave_->Stop();
    soundCard_.waveIn = StoredName(wave_->InputNames(), wave_->InputDevice());
    soundCard_.waveOut = StoredName(wave_->OutputNames(), wave_->OutputDevice());
    // A card without lines keeps the line that was stored for it.
    if (recording_->SourceLine() >= 0) {
        soundCard_.mixerLine = recording_->SourceLineName();
        soundCard_.fourth = StoredName(recording_->Devices(), recording_->MixerDevice());
    }
    SaveSoundCard(path_, receiverKey_, soundCard_);
    recording_->Restore(recordingState_);
    playback_->Restore(playbackState_);
}

SoundCardControls SoundCardRoute::Controls(const SignalChain &chain)
{
    SoundCardControls controls;
    controls.waveDevice.names = [this] { return wave_->InputNames(); };
    controls.waveDevice.selected = [this] { return wave_->InputDevice(); };
    controls.waveDevice.choose = [this](int32_t index) { wave_->SetInputDevice(index); };
    controls.mixerDevice.names = [this] { return recording_->Devices(); };
    controls.mixerDevice.selected = [this] { return recording_->MixerDevice(); };
    controls.mixerDevice.choose = [this](int32_t index) {
        recording_->SelectMixerDevice(index);
        recording_->SelectStoredOrLineInput("");
    };
    controls.mixerLine.names = [this] { return recording_->LineNames(); };
    controls.mixerLine.selected = [this] { return recording_->SourceLine(); };
    controls.mixerLine.choose = [this](int32_t index) { recording_->SelectSourceLine(index); };
    controls.level = [this] { return Level(); };
    controls.clippingColour = [&chain] { return chain.ClippingColour(); };
    controls.service = [this] { recording_->Service(); };
    controls.failure = [this] { return std::make_pair(std::string(Oru_AudioWave::kInputCaption), TakeFailure()); };
    return controls;
}

std::string SoundCardRoute::TakeFailure()
{
    std::lock_guard<std::mutex> hold(failureLock_);
    return std::exchange(failure_, std::string());
}

void SoundCardRoute::Deliver(const uint8_t *data, uint32_t bytes)
{
    const auto *samples = reinterpret_cast<const int16_t *>(data);
    int32_t peak = 0;
    for (uint32_t i = 0; i < bytes / 2; ++i)
        peak = std::max(peak, std::abs(int32_t(samples[i])));
    level_.store(peak, std::memory_order_relaxed);
    engine_->Deliver(samples, bytes / 2);
}

void SoundCardRoute::OutputStep(void *, uint32_t)
{
    std::lock_guard<std::mutex> hold(turnLock_);
    if (!wave_ || !PlaybackActive() || wave_->Direction() != Oru_AudioWave::kOutput)
        return;
    uint8_t *buffer = wave_->GetFreeOutputBuffer();
    if (!buffer)
        return;
    std::memset(buffer, 0, kBufferBytes);
    if (!playbackPaused_.load())
        player_.Read(buffer, kBufferBytes);
    wave_->WriteOutputBuffer(buffer, kBufferBytes);
}

void SoundCardRoute::PlaybackStarted()
{
    if (!wave_)
        return;
    // What the receiver's line feeds to the speakers is muted while the file plays out.
    if (recording_->SourceLine() >= 0 && playback_->SelectSourceLine(-1, recording_->SourceLineName()))
        playback_->SetMute(true);
    wave_->SetDirection(Oru_AudioWave::kOutput);
    for (int turn = 0; turn < kPrimingTurns; ++turn)
        OutputStep(nullptr, 0);
}

void SoundCardRoute::PlaybackStopped()
{
    if (!wave_)
        return;
    wave_->SetDirection(Oru_AudioWave::kInput);
    if (playback_->SourceLine() >= 0)
        playback_->SetMute(false);
    recording_->SelectSourceLine(recording_->SourceLine());
}

std::unique_ptr<HostRoute> RouteFor(int32_t modelCode, int32_t dspKind, RouteOwner &owner, WavPlayer &player,
                                    const std::atomic<bool> &playbackPaused, WindowServices &services,
                                    const std::string &soundCardPath, uint32_t receiverKey)
{
    if (IsQvModel(modelCode))
        return std::make_unique<QvHostBlockRoute>(owner, player, playbackPaused);
    if (dspKind == kDspExtension)
        return std::make_unique<DspExtensionRoute>(owner, player, playbackPaused);
    if (dspKind == kDspNone)
        return std::make_unique<SoundCardRoute>(owner, player, playbackPaused, services.SoundSystem(),
                                                std::make_unique<Oru_AudioMixer>(services.MakeMixer()),
                                                std::make_unique<Oru_AudioMixer>(services.MakeMixer()), soundCardPath,
                                                receiverKey);
    return std::make_unique<HostBlockRoute>(owner, player, playbackPaused);
}

} // namespace sirrel
