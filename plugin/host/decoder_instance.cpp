#include "host/decoder_instance.h"

#include <algorithm>
#include <cstring>

#include "host/instance_list.h"
#include "host/receiver.h"
#include "orurt.h"
#include "protocols/product_name.h"
#include "windows/colors_dialog.h"

namespace sirrel {

namespace {

constexpr int32_t kDefaultWindowLeft = 10;
constexpr int32_t kDefaultWindowTop = 10;

} // namespace

DecoderInstance::DecoderInstance(uint32_t hostId, const uint8_t *receiver, HostCallback callback, uint32_t *options,
                                 int32_t modelCode, int32_t dspKind, WindowServices &services)
    : services_(services), hostId_(hostId), callback_(callback), modelCode_(modelCode), dspKind_(dspKind),
      receiverKey_(ReceiverKeyOf(receiver, modelCode)), title_(WindowTitleOf(receiver, modelCode)),
      paths_(DataPathsIn(ResolveDataFolder()))
{
    // The engine must be usable before any route opens.
    route_ = RouteFor(modelCode_, dspKind_, *this, player_, playbackPaused_, services_, paths_.soundCard, receiverKey_);
    engine_ = std::make_unique<DecoderEngine>(*route_, SettingsModel{});
    route_->Attach(*engine_);
    SettingsModel &settings = engine_->Settings();
    protocols_ = std::make_unique<ProtocolLibrary>(paths_.protocols, settings);
    tables_ = std::make_unique<TranslationTables>(paths_.tables, settings);

    BuildWindow();
    if (options)
        *options = kHostOptions;

    const int32_t left = mainWindow_ ? mainWindow_->X() : kDefaultWindowLeft;
    const int32_t top = mainWindow_ ? mainWindow_->Y() : kDefaultWindowTop;
    LoadConfiguration(paths_.configuration, receiverKey_, left, top, configuration_);
    configuration_.ApplyTo(settings);
    engine_->Output().SetColors(DecoderColorsOf(configuration_.colours));
    Report(tables_->Construct(configuration_.translationTable));
    if (mainWindow_) {
        // The controls start from what the engine now holds.
        engine_->ApplyPendingEdits();
        mainWindow_->BuildControls();
    }
    OpenLogs();
    BuildDataOutput();

    // The chain is set up before the route starts: the sound card's thread runs frames from then on.
    engine_->Chain().Tuning().BaudrateEdited(settings.baudrate);
    const uint32_t rate = route_->StartRate();
    player_.SetWantedFormat({WavFile::kPcm, rate, 16, 1});
    engine_->SetDeliveredRate(rate, true);
    if (!route_->Open())
        return;
    if (auto *soundCard = dynamic_cast<SoundCardRoute *>(route_.get()); soundCard && mainWindow_)
        mainWindow_->ShowSoundCard(soundCard->Controls(engine_->Chain()));
    Report(protocols_->LoadList());
    engine_->ApplyPendingEdits();
    if (mainWindow_) {
        mainWindow_->Follow(engine_->Published());
        mainWindow_->ShowWindow();
        if (dataOutput_)
            dataOutput_->ShowWindow();
        engine_->Post([](EngineEdit &edit) { edit.chain.SetDisplaysShown(true); });
    }
    constructed_ = true;
}

void DecoderInstance::BuildWindow()
{
    // Nothing shows the displays until the window does, and without one they feed only what decoding reads.
    engine_->Post([](EngineEdit &edit) { edit.chain.SetDisplaysShown(false); });
    if (services_.BuildsWindows()) {
        windowContext_ = std::make_unique<WindowContext>(
            WindowContext{*engine_, *protocols_, *tables_, configuration_, services_, paths_.folder});
        mainWindow_ = std::make_unique<DecoderWindow>(*windowContext_);
        if (mainWindow_->CreateWindow(title_)) {
            window_ = mainWindow_->NativeHandle();
            mainWindow_->onClose = [this] { RequestCloseFromWindow(); };
            mainWindow_->wavDeck = WavDeck{&player_,
                                           [this](const std::string &path) { return StartPlayback(path); },
                                           [this](const std::string &path) { return StartRecording(path); },
                                           [this] { StopWav(); },
                                           [this](bool paused) { SetPlaybackPaused(paused); },
                                           dynamic_cast<SoundCardRoute *>(route_.get()) != nullptr};
            return;
        }
        mainWindow_.reset();
    }
    window_ = services_.CreateMainWindow(title_);
}

void DecoderInstance::BuildDataOutput()
{
    if (!mainWindow_)
        return;
    dataOutput_ = std::make_unique<DataOutputView>(*windowContext_);
    if (!dataOutput_->Build()) {
        dataOutput_.reset();
        return;
    }
    dataOutput_->onTranslationTables = [this] { ShowTranslationTables(); };
}

void DecoderInstance::CloseDataOutput()
{
    if (!dataOutput_)
        return;
    dataOutput_->CloseDialogs();
    dataOutput_->ShowCommand(kShowHide);
}

void DecoderInstance::GatherDataOutput()
{
    if (dataOutput_)
        dataOutput_->Gather(configuration_);
}

void DecoderInstance::RequestCloseFromWindow()
{
    if (services_.RequestClose(window_) && closeHandler_)
        closeHandler_();
}

DecoderInstance::~DecoderInstance()
{
    // Waits for a route still at work; whatever comes later is dropped.
    {
        std::lock_guard<std::recursive_mutex> hold(routeLock_);
        routesOpen_ = false;
    }
    player_.Close();
    route_->Release();

    // What the decoder still holds back waiting for more signal belongs in the views and logs.
    engine_->Finish();

    // The windows close before their state is gathered: what they still have queued goes first.
    if (mainWindow_) {
        engine_->Post([](EngineEdit &edit) { edit.chain.SetDisplaysShown(false); });
        if (mainWindow_->closeDialogs)
            mainWindow_->closeDialogs();
        CloseDataOutput();
        PumpMessages();
    }
    // Written even when nothing changed.
    configuration_.GatherFrom(engine_->Settings());
    GatherDataOutput();
    if (mainWindow_)
        mainWindow_->Gather(configuration_);
    SaveConfiguration(paths_.configuration, receiverKey_, configuration_);
    // The windows' views draw the engine's displays and text: they go before the engine.
    dataOutput_.reset();
    mainWindow_.reset();

    tables_.reset();
    protocols_.reset();
    engine_.reset();

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

void DecoderInstance::Alert(const char *caption, const std::string &message)
{
    services_.MessageBox(0, caption, message, kButtonOk);
}

void DecoderInstance::OpenLogs()
{
    for (int c = 0; c < kChannelCount; ++c) {
        const std::string &name = configuration_.logFile[c];
        if (!configuration_.logEnabled[c] || name.empty())
            continue;
        const std::string path = name.front() == '/' ? name : paths_.folder + name;
        engine_->Output().Log(c).Open(path.c_str());
    }
}

int32_t DecoderInstance::CallHost(uint32_t code, uint32_t first, uint32_t second, void *pointer)
{
    if (!hostCallsEnabled_.load() || !callback_)
        return kHostRefused;
    return callback_(CallbackWindow(), code, first, second, pointer);
}

bool DecoderInstance::Notify(uint32_t hostId, uint32_t code, uint32_t first, uint32_t second, void *data, bool &close)
{
    close = false;
    if (hostId != hostId_)
        return false;
    switch (code) {
    case kNotifyCloseOnZero:
        if (first == 0 && route_->ClosesOnZero())
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
        route_->AudioBlock(data);
    else if (code == kNotifyDspAudio)
        route_->DspAudio(static_cast<const int16_t *>(data), second);
    else if (code == kNotifyDspEvent)
        route_->DspEvent(data);
}

bool DecoderInstance::StartPlayback(const std::string &path)
{
    if (!player_.Open(path.c_str()))
        return false;
    route_->PlaybackStarted();
    return true;
}

void DecoderInstance::StopWav()
{
    const bool playing = route_->PlaybackActive();
    player_.Close();
    if (playing)
        route_->PlaybackStopped();
}

bool DecoderInstance::StartRecording(const std::string &path)
{
    return player_.OpenRecording(path.c_str(), player_.WantedFormat().rate, 16, 1);
}

} // namespace sirrel
