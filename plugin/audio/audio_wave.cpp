#include "audio/audio_wave.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace sirrel {

namespace {

// How long the service thread sleeps without news before it looks at the stop flag again.
constexpr int32_t kWaitMs = 20;
// The device's own ring, in buffers of ours: short, so that what is queued is heard soon.
constexpr uint32_t kDevicePeriods = 4;
constexpr uint8_t kVirtualStreamId[WaveFormat::kMaxExtra] = {0x3D, 0x79, 0x2B, 0xFA, 0xA6, 0x37, 0xFB, 0x4E,
                                                             0x95, 0xC4, 0xEA, 0xF1, 0x6C, 0x98, 0x53, 0x45};
constexpr uint32_t kQueryTextAt = 22;
constexpr char kQueryRequest[] = "Korvanda Virtual Sound Card Driver Property Data";
constexpr char kQueryAnswer[] = "Answer for Korvanda Virtual Sound Card Driver Property";

uint32_t RoundUpTo4(uint32_t bytes) { return (bytes + 3) & ~3u; }

bool IsVirtualCard(const std::string &name)
{
    return name.compare(0, sizeof Oru_AudioWave::kVirtualCard - 1, Oru_AudioWave::kVirtualCard) == 0;
}

// "Windows default", then every device; the virtual card's name loses `cut` characters of its end.
void FillNames(const std::vector<AudioDeviceEntry> &entries, size_t cut, std::vector<std::string> &names)
{
    names.assign(1, Oru_AudioWave::kDefaultName);
    for (const AudioDeviceEntry &entry : entries) {
        std::string name = entry.name;
        if (IsVirtualCard(name))
            name.resize(name.size() - std::min(cut, name.size()));
        names.push_back(name);
    }
}

} // namespace

Oru_AudioWave::Oru_AudioWave(AudioDevices &devices, uint16_t channels, uint16_t bits, uint32_t rate, int32_t direction)
    : devices_(devices), direction_(direction)
{
    format_.channels = channels;
    format_.bits = bits;
    format_.rate = rate;
    format_.Derive();
    inputs_ = devices_.List(StreamKind::kCapture);
    outputs_ = devices_.List(StreamKind::kPlayback);
    FillNames(inputs_, 3, inputNames_);
    FillNames(outputs_, 4, outputNames_);
}

Oru_AudioWave::~Oru_AudioWave() { Stop(); }

void Oru_AudioWave::Restart(bool needed)
{
    if (!needed)
        return;
    Stop();
    Start(showErrors_);
}

void Oru_AudioWave::SetInputDevice(int32_t index)
{
    index = std::max(index, 0);
    const bool running = inputOpen_.load();
    if (running)
        Stop();
    inputDevice_ = index;
    inputVirtual_ = size_t(index) < inputNames_.size() && IsVirtualCard(inputNames_[size_t(index)]);
    if (running)
        Start(showErrors_);
}

void Oru_AudioWave::SetOutputDevice(int32_t index)
{
    index = std::max(index, 0);
    const bool running = outputOpen_.load();
    if (running)
        Stop();
    outputDevice_ = index;
    outputVirtual_ = size_t(index) < outputNames_.size() && IsVirtualCard(outputNames_[size_t(index)]);
    if (running)
        Start(showErrors_);
}

void Oru_AudioWave::SetChannels(uint16_t channels)
{
    if ((channels != 1 && channels != 2) || channels == format_.channels)
        return;
    const bool running = Running();
    Stop();
    format_.channels = channels;
    format_.Derive();
    Restart(running);
}

void Oru_AudioWave::SetBitsPerSample(uint16_t bits)
{
    if ((bits != 8 && bits != 16) || bits == format_.bits)
        return;
    const bool running = Running();
    Stop();
    format_.bits = bits;
    format_.Derive();
    Restart(running);
}

void Oru_AudioWave::SetSampleRate(uint32_t rate)
{
    if (rate == format_.rate)
        return;
    const bool running = Running();
    Stop();
    format_.rate = rate;
    format_.Derive();
    Restart(running);
}

void Oru_AudioWave::SetDirection(int32_t direction)
{
    if (direction == direction_)
        return;
    const bool running = Running();
    Stop();
    direction_ = direction;
    Restart(running);
}

void Oru_AudioWave::SetInputBufferCount(uint32_t count)
{
    if (count == inputCount_)
        return;
    const bool running = inputOpen_.load();
    Stop();
    inputCount_ = count;
    Restart(running);
}

void Oru_AudioWave::SetInputBufferSize(uint32_t bytes)
{
    bytes = RoundUpTo4(bytes);
    if (bytes == inputSize_)
        return;
    const bool running = inputOpen_.load();
    Stop();
    inputSize_ = bytes;
    Restart(running);
}

void Oru_AudioWave::SetOutputBufferCount(uint32_t count)
{
    count = std::max(count, kMinOutputBuffers);
    if (count == outputCount_)
        return;
    const bool running = outputOpen_.load();
    Stop();
    outputCount_ = count;
    Restart(running);
}

void Oru_AudioWave::SetOutputBufferSize(uint32_t bytes)
{
    bytes = RoundUpTo4(bytes);
    if (bytes == outputSize_)
        return;
    const bool running = outputOpen_.load();
    Stop();
    outputSize_ = bytes;
    Restart(running);
}

int32_t Oru_AudioWave::Start(bool showErrors)
{
    if (direction_ == kNone || Running())
        return 1;
    // A service thread that ended by itself (a failed device) is still to be collected.
    if (thread_.joinable())
        thread_.join();
    showErrors_ = showErrors;
    failed_.store(false);
    stopping_.store(false);
    {
        std::lock_guard<std::mutex> hold(startLock_);
        startDone_ = false;
    }
    thread_ = std::thread([this] { Serve(); });
    bool opened;
    {
        std::unique_lock<std::mutex> hold(startLock_);
        started_.wait(hold, [this] { return startDone_; });
        opened = startOpened_;
    }
    if (!opened) {
        thread_.join();
        if (showErrors_ && reporter_)
            reporter_(openCaption_, openError_);
        return 0;
    }
    // Audio must not wait for the user interface; without the right to a real-time class it stays as it is.
    sched_param priority{};
    priority.sched_priority = sched_get_priority_min(SCHED_RR);
    pthread_setschedparam(thread_.native_handle(), SCHED_RR, &priority);
    return 1;
}

void Oru_AudioWave::Stop()
{
    if (!thread_.joinable())
        return;
    stopping_.store(true);
    wake_.notify_all();
    if (thread_.get_id() == std::this_thread::get_id())
        return;
    thread_.join();
}

std::string Oru_AudioWave::DeviceId(StreamKind kind, int32_t index) const
{
    const std::vector<AudioDeviceEntry> &entries = kind == StreamKind::kCapture ? inputs_ : outputs_;
    if (index <= 0 || size_t(index) > entries.size())
        return {};
    return entries[size_t(index) - 1].id;
}

WaveFormat Oru_AudioWave::StreamFormat() const
{
    WaveFormat format = format_;
    if (inputVirtual_ || outputVirtual_) {
        format.tag = kVirtualStreamTag;
        format.extraSize = WaveFormat::kMaxExtra;
        std::memcpy(format.extra, kVirtualStreamId, sizeof kVirtualStreamId);
    }
    return format;
}

std::unique_ptr<AudioStream> Oru_AudioWave::OpenWithRetries(StreamKind kind, const std::string &id, const char *caption)
{
    const WaveFormat format = StreamFormat();
    const uint32_t size = kind == StreamKind::kCapture ? inputSize_ : outputSize_;
    std::string error;
    for (int32_t attempt = 0; attempt <= kOpenRetries && !stopping_.load(); ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(retryDelayMs_));
        if (auto stream = devices_.Open(kind, id, format, size, kDevicePeriods, error))
            return stream;
    }
    // Shown by Start on its own thread: a message box belongs to the thread that runs the windows.
    openCaption_ = caption;
    openError_ = error;
    return nullptr;
}

void Oru_AudioWave::Serve()
{
    const bool wantInput = direction_ == kInput || direction_ == kBoth;
    const bool wantOutput = direction_ == kOutput || direction_ == kBoth;
    bool ok = true;
    // An input ring without buffers could hold nothing: one buffer at least.
    if (wantInput &&
        (input_ = OpenWithRetries(StreamKind::kCapture, DeviceId(StreamKind::kCapture, inputDevice_), kInputCaption))) {
        inputRing_.assign(size_t(inputSize_) * std::max(inputCount_, 1u), 0);
        inputIndex_ = 0;
        inputFill_ = 0;
        inputOpen_.store(true);
    } else if (wantInput) {
        ok = false;
    }
    if (ok && wantOutput) {
        if ((output_ = OpenWithRetries(StreamKind::kPlayback, DeviceId(StreamKind::kPlayback, outputDevice_),
                                       kOutputCaption))) {
            std::lock_guard<std::mutex> hold(outputLock_);
            outputRing_.assign(size_t(outputSize_) * outputCount_, 0);
            outputBuffers_.assign(outputCount_, OutputBuffer{});
            queue_.clear();
            handOut_ = 0;
            playing_ = kNoBuffer;
            played_ = 0;
            outputOpen_.store(true);
        } else {
            ok = false;
        }
    }
    if (!ok) {
        input_.reset();
        inputOpen_.store(false);
        failed_.store(true);
    }
    {
        std::lock_guard<std::mutex> hold(startLock_);
        startDone_ = true;
        startOpened_ = ok;
    }
    started_.notify_all();

    while (ok && !stopping_.load() && !failed_.load()) {
        const bool moved = ServeInput() | ServeOutput();
        CountXruns();
        if (!moved)
            WaitForWork();
    }

    {
        std::lock_guard<std::mutex> hold(outputLock_);
        outputOpen_.store(false);
        queue_.clear();
        for (OutputBuffer &buffer : outputBuffers_)
            buffer.queued = false;
    }
    inputOpen_.store(false);
    input_.reset();
    output_.reset();
    stopping_.store(true);
}

bool Oru_AudioWave::ServeInput()
{
    if (!input_)
        return false;
    const uint32_t block = format_.blockAlign;
    uint8_t *buffer = inputRing_.data() + size_t(inputIndex_) * inputSize_;
    // A device that leaves the buffer alone (ALSA's null device) then gives silence, not the ring's old audio.
    if (inputFill_ == 0)
        std::memset(buffer, format_.bits == 8 ? 0x80 : 0, inputSize_);
    const int32_t frames = input_->Transfer(buffer + inputFill_, (inputSize_ - inputFill_) / block);
    if (frames < 0) {
        EndStream(frames, "recording");
        return false;
    }
    if (frames == 0)
        return false;
    inputFill_ += uint32_t(frames) * block;
    if (inputFill_ + block > inputSize_) {
        const uint32_t filled = inputFill_;
        inputFill_ = 0;
        inputIndex_ = (inputIndex_ + 1) % uint32_t(inputRing_.size() / inputSize_);
        if (inputCallback_)
            inputCallback_(*this, buffer, filled);
    }
    return true;
}

bool Oru_AudioWave::ServeOutput()
{
    if (!output_)
        return false;
    if (discard_.exchange(false))
        output_->Discard();
    uint32_t index;
    uint32_t length;
    {
        std::lock_guard<std::mutex> hold(outputLock_);
        if (queue_.empty())
            return false;
        index = queue_.front();
        length = outputBuffers_[index].length;
    }
    // A reset may have taken the buffer that was partly played.
    if (index != playing_) {
        playing_ = index;
        played_ = 0;
    }
    uint8_t *data = outputRing_.data() + size_t(index) * outputSize_;
    const uint32_t block = format_.blockAlign;
    const int32_t frames =
        played_ + block <= length ? output_->Transfer(data + played_, (length - played_) / block) : 0;
    if (frames < 0) {
        EndStream(frames, "playing");
        return false;
    }
    played_ += uint32_t(frames) * block;
    if (played_ + block <= length)
        return frames > 0;
    playing_ = kNoBuffer;
    {
        std::lock_guard<std::mutex> hold(outputLock_);
        queue_.pop_front();
    }
    if (outputCallback_)
        outputCallback_(data);
    std::lock_guard<std::mutex> hold(outputLock_);
    outputBuffers_[index].queued = false;
    return true;
}

void Oru_AudioWave::CountXruns() { xruns_.store((input_ ? input_->Xruns() : 0) + (output_ ? output_->Xruns() : 0)); }

void Oru_AudioWave::EndStream(int32_t error, const char *what)
{
    failed_.store(true);
    if (ended_)
        ended_(std::string("The sound card stopped ") + what + ": " + std::strerror(-error));
}

void Oru_AudioWave::WaitForWork()
{
    if (input_) {
        input_->Wait(kWaitMs);
        return;
    }
    std::unique_lock<std::mutex> hold(outputLock_);
    if (queue_.empty() && !stopping_.load()) {
        wake_.wait_for(hold, std::chrono::milliseconds(kWaitMs));
        return;
    }
    hold.unlock();
    output_->Wait(kWaitMs);
}

uint8_t *Oru_AudioWave::GetFreeOutputBuffer()
{
    std::lock_guard<std::mutex> hold(outputLock_);
    if (!outputOpen_.load() || stopping_.load() || outputBuffers_.empty())
        return nullptr;
    if (outputBuffers_[handOut_].queued)
        return nullptr;
    uint8_t *data = outputRing_.data() + size_t(handOut_) * outputSize_;
    handOut_ = (handOut_ + 1) % uint32_t(outputBuffers_.size());
    return data;
}

bool Oru_AudioWave::WriteOutputBuffer(uint8_t *data, uint32_t bytes)
{
    {
        std::lock_guard<std::mutex> hold(outputLock_);
        if (!outputOpen_.load() || outputRing_.empty() || data < outputRing_.data())
            return false;
        const size_t offset = size_t(data - outputRing_.data());
        if (offset % outputSize_ != 0 || offset / outputSize_ >= outputBuffers_.size())
            return false;
        const uint32_t index = uint32_t(offset / outputSize_);
        OutputBuffer &buffer = outputBuffers_[index];
        if (buffer.queued)
            return false;
        buffer.queued = true;
        buffer.length = bytes == 0 ? outputSize_ : std::min(bytes, outputSize_);
        queue_.push_back(index);
    }
    wake_.notify_all();
    return true;
}

void Oru_AudioWave::ResetOutput()
{
    // The service thread owns the stream: it drops what the device holds at its next turn.
    {
        std::lock_guard<std::mutex> hold(outputLock_);
        for (uint32_t index : queue_)
            outputBuffers_[index].queued = false;
        queue_.clear();
    }
    discard_.store(true);
    wake_.notify_all();
}

int32_t Oru_AudioWave::QueryVirtualSoundCard(int32_t which)
{
    const bool input = which == 1;
    if ((input && !inputVirtual_) || (!input && (which != 2 || !outputVirtual_)))
        return 0;
    WaveQuery query;
    query.format.tag = kVirtualQueryTag;
    query.format.extraSize = WaveQuery::kExtraSize;
    std::memcpy(query.extra + kQueryTextAt, kQueryRequest, sizeof kQueryRequest);
    query.extra[86] = 3;
    query.extra[87] = 6;
    query.extra[88] = 0;
    const StreamKind kind = input ? StreamKind::kCapture : StreamKind::kPlayback;
    const std::string id = DeviceId(kind, input ? inputDevice_ : outputDevice_);
    if (!devices_.Query(kind, id, query))
        return 0;
    if (std::memcmp(query.extra + kQueryTextAt, kQueryAnswer, sizeof kQueryAnswer - 1) != 0 || query.format.tag == 0)
        return 0;
    SetBitsPerSample(query.format.bits);
    SetChannels(query.format.channels);
    SetSampleRate(query.format.rate);
    return 1;
}

} // namespace sirrel
