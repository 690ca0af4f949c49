#include "audio/alsa_device.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>

namespace sirrel {

namespace {

constexpr char kDefaultDevice[] = "default";

// ALSA prints its own diagnostics on stderr; ours name the device and the format instead. The handler is set
// for this thread and only while ALSA works for us: a process-wide one would outlive an unloaded plug-in.
void Quiet(const char *, int, const char *, int, const char *, va_list) {}

// Some libasound headers declare the setter without C linkage: it is taken by its C name.
using SetLocalHandler = snd_local_error_handler_t (*)(snd_local_error_handler_t);

SetLocalHandler LocalHandlerSetter()
{
    static const auto setter = reinterpret_cast<SetLocalHandler>(dlsym(RTLD_DEFAULT, "snd_lib_error_set_local"));
    return setter;
}

class QuietAlsa {
public:
    QuietAlsa() : setter_(LocalHandlerSetter()), previous_(setter_ ? setter_(Quiet) : nullptr) {}
    ~QuietAlsa()
    {
        if (setter_)
            setter_(previous_);
    }
    QuietAlsa(const QuietAlsa &) = delete;
    QuietAlsa &operator=(const QuietAlsa &) = delete;

private:
    SetLocalHandler setter_;
    snd_local_error_handler_t previous_;
};

std::string TakeHint(void *hint, const char *field)
{
    char *text = snd_device_name_get_hint(hint, field);
    if (!text)
        return {};
    std::string value(text);
    std::free(text);
    return value;
}

class AlsaStream : public AudioStream {
public:
    AlsaStream(snd_pcm_t *pcm, StreamKind kind) : pcm_(pcm), kind_(kind) {}
    ~AlsaStream() override { snd_pcm_close(pcm_); }
    AlsaStream(const AlsaStream &) = delete;
    AlsaStream &operator=(const AlsaStream &) = delete;

    int32_t Wait(int32_t timeoutMs) override
    {
        const QuietAlsa quiet;
        const int result = snd_pcm_wait(pcm_, timeoutMs);
        if (result >= 0)
            return result > 0 ? 1 : 0;
        return Recover(result) ? 1 : result;
    }

    int32_t Transfer(void *data, uint32_t frames) override
    {
        const QuietAlsa quiet;
        if (kind_ == StreamKind::kCapture && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED)
            snd_pcm_start(pcm_);
        const snd_pcm_sframes_t moved =
            kind_ == StreamKind::kCapture ? snd_pcm_readi(pcm_, data, frames) : snd_pcm_writei(pcm_, data, frames);
        if (moved >= 0)
            return int32_t(moved);
        if (moved == -EAGAIN)
            return 0;
        return Recover(int(moved)) ? 0 : int32_t(moved);
    }

    void Discard() override
    {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }

    uint32_t Xruns() const override { return xruns_; }

private:
    // An over- or underrun, or a resume after suspension, starts the stream again without losing it.
    bool Recover(int error)
    {
        if (error == -EPIPE) {
            ++xruns_;
        } else if (error == -ESTRPIPE) {
            int resumed;
            while ((resumed = snd_pcm_resume(pcm_)) == -EAGAIN)
                snd_pcm_wait(pcm_, 10);
            if (resumed == 0)
                return true;
        } else {
            return false;
        }
        if (snd_pcm_prepare(pcm_) < 0)
            return false;
        if (kind_ == StreamKind::kCapture)
            snd_pcm_start(pcm_);
        return true;
    }

    snd_pcm_t *pcm_;
    StreamKind kind_;
    uint32_t xruns_ = 0;
};

int Configure(snd_pcm_t *pcm, StreamKind kind, const WaveFormat &format, uint32_t periodBytes, uint32_t periods)
{
    snd_pcm_hw_params_t *hw;
    snd_pcm_hw_params_alloca(&hw);
    int result = snd_pcm_hw_params_any(pcm, hw);
    if (result < 0)
        return result;
    const snd_pcm_format_t sampleFormat = format.bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    snd_pcm_uframes_t period = periodBytes / format.blockAlign;
    snd_pcm_uframes_t buffer = period * periods;
    if ((result = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
        (result = snd_pcm_hw_params_set_format(pcm, hw, sampleFormat)) < 0 ||
        (result = snd_pcm_hw_params_set_channels(pcm, hw, format.channels)) < 0 ||
        (result = snd_pcm_hw_params_set_rate(pcm, hw, format.rate, 0)) < 0)
        return result;
    // The ring sizes are wishes: a device with other limits takes the nearest it can do.
    snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr);
    snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer);
    if ((result = snd_pcm_hw_params(pcm, hw)) < 0)
        return result;
    snd_pcm_sw_params_t *sw;
    snd_pcm_sw_params_alloca(&sw);
    if ((result = snd_pcm_sw_params_current(pcm, sw)) < 0)
        return result;
    snd_pcm_sw_params_set_avail_min(pcm, sw, period);
    // Playback starts with the first buffer queued.
    if (kind == StreamKind::kPlayback)
        snd_pcm_sw_params_set_start_threshold(pcm, sw, period);
    return snd_pcm_sw_params(pcm, sw);
}

} // namespace

std::vector<AudioDeviceEntry> AlsaDevices::List(StreamKind kind)
{
    const QuietAlsa quiet;
    std::vector<AudioDeviceEntry> entries;
    void **hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0)
        return entries;
    const char *wanted = kind == StreamKind::kCapture ? "Input" : "Output";
    for (void **hint = hints; *hint; ++hint) {
        const std::string id = TakeHint(*hint, "NAME");
        const std::string direction = TakeHint(*hint, "IOID");
        if (id.empty() || (!direction.empty() && direction != wanted))
            continue;
        std::string name = TakeHint(*hint, "DESC");
        for (char &c : name) {
            if (c == '\n')
                c = ' ';
        }
        entries.push_back({id, name.empty() ? id : name});
    }
    snd_device_name_free_hint(hints);
    return entries;
}

std::unique_ptr<AudioStream> AlsaDevices::Open(StreamKind kind, const std::string &id, const WaveFormat &format,
                                               uint32_t periodBytes, uint32_t periods, std::string &error)
{
    const QuietAlsa quiet;
    const std::string device = id.empty() ? kDefaultDevice : id;
    if (format.blockAlign == 0 || periodBytes < format.blockAlign || periods == 0) {
        error = "Invalid argument";
        return nullptr;
    }
    snd_pcm_t *pcm = nullptr;
    const snd_pcm_stream_t stream = kind == StreamKind::kCapture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
    int result = snd_pcm_open(&pcm, device.c_str(), stream, SND_PCM_NONBLOCK);
    if (result < 0) {
        error = std::string("Cannot open the device '") + device + "': " + snd_strerror(result);
        return nullptr;
    }
    result = Configure(pcm, kind, format, periodBytes, periods);
    if (result >= 0)
        result = snd_pcm_prepare(pcm);
    if (result < 0) {
        snd_pcm_close(pcm);
        error = "The device '" + device + "' cannot take " + format.Describe() + ": " + snd_strerror(result);
        return nullptr;
    }
    return std::make_unique<AlsaStream>(pcm, kind);
}

bool AlsaDevices::Query(StreamKind, const std::string &, WaveQuery &) { return false; }

AudioDevices &SystemAudioDevices()
{
    static AlsaDevices devices;
    return devices;
}

uint32_t CaptureDeviceCount(AudioDevices &devices)
{
    uint32_t count = 0;
    for (const AudioDeviceEntry &entry : devices.List(StreamKind::kCapture)) {
        if (entry.id != "null")
            ++count;
    }
    return count;
}

} // namespace sirrel
