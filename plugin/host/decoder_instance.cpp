#include "host/decoder_instance.h"

#include <algorithm>
#include <cstring>

#include "decoders/dispatch.h"
#include "host/instance_list.h"
#include "host/receiver.h"
#include "orurt.h"

namespace sirrel {

namespace {

constexpr char kProductCaption[] = "Korvanda Quillon FSK Decoder";
constexpr int32_t kDefaultWindowLeft = 10;
constexpr int32_t kDefaultWindowTop = 10;

DecoderInstance::AudioSource SourceOf(int32_t modelCode, int32_t dspKind)
{
    using Source = DecoderInstance::AudioSource;
    if (IsQvModel(modelCode))
        return Source::QvHostBlocks;
    if (dspKind == kDspExtension)
        return Source::DspExtension;
    return dspKind == kDspNone ? Source::SoundCard : Source::HostBlocks;
}

DecoderColors ColorsOf(const Configuration &c)
{
    DecoderColors colors;
    colors.background = c.colours[kColourBackground];
    colors.text = c.colours[kColourText];
    colors.l2CrcOk = c.colours[kColourCrcOk];
    colors.l2CrcFailed = c.colours[kColourCrcFailed];
    colors.l2FrameType = c.colours[kColourFrameType];
    colors.l2FramePid = c.colours[kColourFramePid];
    colors.l3Header = c.colours[kColourL3Header];
    colors.l4Header = c.colours[kColourL4Header];
    colors.info = c.colours[kColourInfo];
    return colors;
}

} // namespace

DecoderInstance::DecoderInstance(uint32_t hostId, const uint8_t *receiver, HostCallback callback, uint32_t *options,
                                 int32_t modelCode, int32_t dspKind, WindowServices &services)
    : services_(services), hostId_(hostId), callback_(callback), modelCode_(modelCode), dspKind_(dspKind),
      source_(SourceOf(modelCode, dspKind)),
      receiverKey_(ReceiverKeyOf(receiver, modelCode)), title_(WindowTitleOf(receiver, modelCode)),
      paths_(DataPathsIn(ResolveDataFolder())), protocols_(paths_.protocols, settings_),
      tables_(paths_.tables, settings_)
{
    window_ = services_.CreateMainWindow(title_);

    // The chain must be usable before any route opens; the decoders it feeds come with it.
    ChainHooks hooks;
    hooks.modelCode = modelCode_;
    hooks.dspKind = dspKind_;
    hooks.wavWantedRate = [this](uint32_t rate) { player_.SetWantedRate(rate); };
    output_ = std::make_unique<DataOutputWindow>();
    dispatcher_ = std::make_unique<Dispatcher>(settings_, *output_);
    chain_ = std::make_unique<SignalChain>(
        settings_,
        [this](const int16_t *levels, int32_t count, const DecoderParams &params) {
            dispatcher_->Dispatch(levels, count, params);
        },
        kSoundCardRate, hooks);

    if (options)
        *options = kHostOptions;

    LoadConfiguration(paths_.configuration, receiverKey_, kDefaultWindowLeft, kDefaultWindowTop, configuration_);
    configuration_.applyTo(settings_);
    output_->SetColors(ColorsOf(configuration_));
    Report(tables_.Construct(configuration_.translationTable));
    OpenLogs();

    uint32_t rate = 0;
    switch (source_) {
    case AudioSource::QvHostBlocks:
        rate = kQvRate;
        break;
    case AudioSource::DspExtension:
        if (!OpenAudioSource())
            return;
        rate = kDspExtensionRate;
        break;
    case AudioSource::SoundCard:
        LoadSoundCard(paths_.soundCard, receiverKey_, soundCard_);
        // This build has no sound-card audio: the route cannot start, and construction ends as for a failed start.
        services_.MessageBox(0, "Oru_AudioWave Wave-in Error",
                             "Sound-card audio is not supported by this build of the plug-in.", kButtonOk);
        return;
    case AudioSource::HostBlocks:
        rate = kHostBlocksStartRate;
        break;
    }
    Report(protocols_.LoadList());
    chain_->BaudrateEdited(settings_.baudrate);
    player_.SetWantedFormat({WavFile::KindPcm, rate, 16, 1});
    chain_->SetProcessingRate(rate, true);
    constructed_ = true;
}

DecoderInstance::~DecoderInstance()
{
    // Waits for a route still at work; whatever comes later is dropped.
    {
        std::lock_guard<std::recursive_mutex> hold(routeLock_);
        routesOpen_ = false;
    }
    player_.Close();
    ReleaseAudioSource();

    // What the decoder still holds back waiting for more signal belongs in the views and logs.
    dispatcher_->Finish();
    dispatcher_.reset();
    output_.reset();

    // Written even when nothing changed.
    configuration_.gatherFrom(settings_);
    SaveConfiguration(paths_.configuration, receiverKey_, configuration_);

    chain_.reset();

    const bool announce = hostCallsEnabled_.exchange(false);
    if (announce && callback_) {
        callback_(CallbackWindow(), kHostPluginClosing, 0, uint32_t(sizeof kDisplayName),
                  const_cast<char *>(kDisplayName));
    }
    instance_list::Remove(this);
    for (int users = users_.load(); users != 0; users = users_.load())
        users_.wait(users);
    services_.DestroyWindow(window_);
}

void DecoderInstance::Report(const std::string &message)
{
    if (!message.empty())
        services_.MessageBox(CallbackWindow(), kProductCaption, message, kButtonOk);
}

void DecoderInstance::OpenLogs()
{
    for (int c = 0; c < kChannelCount; ++c) {
        const std::string &name = configuration_.logFile[c];
        if (!configuration_.logEnabled[c] || name.empty())
            continue;
        const std::string path = name.front() == '/' ? name : paths_.folder + name;
        output_->Log(c).Open(path.c_str());
    }
}

bool DecoderInstance::OpenAudioSource()
{
    const int32_t handle = CallHost(kHostDspOpen, 0, kDspImageSize, dspImage_);
    if (handle == kHostRefused) {
        Report("Cannot open the DSP extension!");
        return false;
    }
    dspHandle_ = uint32_t(handle);
    CallHost(kHostDspUse, 2, 0, nullptr);
    return true;
}

void DecoderInstance::ReleaseAudioSource()
{
    if (dspHandle_ != kNoDspExtension) {
        CallHost(kHostDspStop, 0, 0, nullptr);
        CallHost(kHostDspUse, 0, 0, nullptr);
        const uint32_t handle = dspHandle_;
        dspHandle_ = kNoDspExtension;
        CallHost(kHostDspClose, handle, 0, nullptr);
    } else if (source_ == AudioSource::SoundCard) {
        SaveSoundCard(paths_.soundCard, receiverKey_, soundCard_);
    }
}

int32_t DecoderInstance::CallHost(uint32_t code, uint32_t first, uint32_t second, void *pointer)
{
    if (!hostCallsEnabled_.load() || !callback_)
        return kHostRefused;
    return callback_(CallbackWindow(), code, first, second, pointer);
}

bool DecoderInstance::Notify(uint32_t hostId, uint32_t code, uint32_t first, uint32_t second, void *data,
                             bool &close)
{
    close = false;
    if (hostId != hostId_)
        return false;
    switch (code) {
    case kNotifyCloseOnZero:
        if (first == 0 && !IsQvModel(modelCode_))
            close = services_.RequestClose(window_);
        break;
    case kNotifyClose:
        close = services_.RequestClose(window_);
        break;
    case kNotifyAudioBlock:
    case kNotifyDspAudio:
    case kNotifyDspEvent:
        if (data)
            Route(code, first, second, data);
        break;
    default:
        break;
    }
    return true;
}

void DecoderInstance::Route(uint32_t code, uint32_t first, uint32_t second, void *data)
{
    std::lock_guard<std::recursive_mutex> hold(routeLock_);
    if (!routesOpen_)
        return;
    if (code == kNotifyAudioBlock && first == kAudioBlockSubCode)
        AudioBlock(data);
    else if (code == kNotifyDspAudio && dspHandle_ != kNoDspExtension && second != 0)
        DspAudio(static_cast<const int16_t *>(data), second);
    else if (code == kNotifyDspEvent)
        DspEvent(data);
}

void DecoderInstance::ProcessFullFrame()
{
    chain_->ProcessFrame(frame_, kFrameSize * 2);
    ++framesProcessed_;
    fill_ = 0;
}

void DecoderInstance::AppendDecimated(const int16_t *samples, uint32_t count, uint32_t step)
{
    for (uint64_t i = 0; i < count; i += step) {
        frame_[fill_++] = samples[i];
        if (fill_ == kFrameSize)
            ProcessFullFrame();
    }
}

// The host's contract: the samples after the header hold frames x channels values.
void DecoderInstance::AudioBlock(void *data)
{
    AudioBlockHeader header;
    std::memcpy(&header, data, sizeof header);
    // Neither a rate nor an average can be taken from these.
    if (header.rate == 0 || header.channels == 0)
        return;
    chain_->SetProcessingRate(header.rate, false);
    if (header.bits != 16 || header.frames == 0)
        return;
    int16_t *samples = reinterpret_cast<int16_t *>(static_cast<uint8_t *>(data) + kAudioBlockHeaderSize);
    // A processing rate above the block's would give a step of 0; every sample is then kept.
    const uint32_t step = std::max<uint32_t>(1, header.rate / std::max<uint32_t>(1, chain_->ProcessingRate()));
    if (uint64_t(header.frames) * 2 > UINT32_MAX)
        return;
    const uint32_t bytes = header.frames * 2;
    const bool playing = PlaybackActive();
    if (header.channels == 1) {
        if (playing)
            AudioOutputStep(samples, bytes);
        else if (player_.IsRecording())
            player_.Record(samples, bytes);
        AppendDecimated(samples, header.frames, step);
        return;
    }
    auto *work = static_cast<int16_t *>(MemoryAlloc(bytes));
    if (!work)
        return;
    if (playing) {
        // The played audio goes into every channel of the host's block as well.
        AudioOutputStep(work, bytes);
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
    if (player_.IsRecording())
        player_.Record(work, bytes);
    AppendDecimated(work, header.frames, step);
    MemoryFree(work);
}

void DecoderInstance::DspAudio(const int16_t *samples, uint32_t byteCount)
{
    // Samples beyond a full frame start the next one rather than being lost.
    uint32_t count = byteCount / 2;
    while (count > 0) {
        const uint32_t take = std::min(count, kFrameSize - fill_);
        std::memcpy(frame_ + fill_, samples, take * sizeof(int16_t));
        fill_ += take;
        samples += take;
        count -= take;
        if (fill_ == kFrameSize)
            ProcessFullFrame();
    }
}

void DecoderInstance::DspEvent(const void *data)
{
    uint32_t key;
    std::memcpy(&key, data, sizeof key);
    if (key == kDspEventStreamStart) {
        CallHost(kHostDspStartStream, dspHandle_, 2048, nullptr);
        uint8_t command = 0x80;
        CallHost(kHostDspCommand, dspHandle_, 1, &command);
    } else if (key == kDspEventOutputTurn) {
        uint8_t command = PlaybackActive() ? 0xC1 : 0xC0;
        CallHost(kHostDspCommand, dspHandle_, 1, &command);
        AudioOutputStep(nullptr, 0);
        command = 0x00;
        CallHost(kHostDspCommand, dspHandle_, 1, &command);
    }
}

bool DecoderInstance::StartPlayback(const std::string &path)
{
    return player_.Open(path.c_str());
}

bool DecoderInstance::StartRecording(const std::string &path)
{
    return player_.OpenRecording(path.c_str(), player_.WantedFormat().rate, 16, 1);
}

void DecoderInstance::AudioOutputStep(void *destination, uint32_t byteCount)
{
    const bool audible = PlaybackActive() && !playbackPaused_.load();
    if (source_ == AudioSource::QvHostBlocks) {
        if (!destination)
            return;
        std::memset(destination, 0, byteCount);
        if (audible)
            player_.Read(destination, byteCount);
        return;
    }
    if (source_ != AudioSource::DspExtension)
        return;
    int16_t turn[1024] = {};
    if (audible)
        player_.Read(turn, sizeof turn);
    for (int attempt = 0; attempt < kOutputTurnAttempts && hostCallsEnabled_.load(); ++attempt) {
        if (CallHost(kHostDspWriteAudio, dspHandle_, sizeof turn, turn) != kHostRefused)
            return;
    }
}

} // namespace sirrel
