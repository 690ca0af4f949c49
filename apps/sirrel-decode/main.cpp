// sirrel-decode: the decoder engine without a window. Audio from a WAV file (converted as the player does for
// a sound-card receiver) or raw samples from stdin goes through the engine in frames of 2048 samples; the
// decoded text of one input is printed as it arrives. Several files are decoded at once, each by an engine of
// its own on a thread of its own; their texts are printed whole, in the order given.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/alsa_device.h"
#include "audio/audio_wave.h"
#include "engine/decoder_engine.h"
#include "engine/wav_file_source.h"
#include "options.h"
#include "orurt.h"
#include "output/data_output_window.h"
#include "progress.h"

namespace sirrel {
namespace {

constexpr uint32_t kFrameSamples = SignalChain::kFrameSize;

int Fail(const std::string &message)
{
    std::fprintf(stderr, "sirrel-decode: %s\n", message.c_str());
    return 2;
}

// Turns what reaches the channels into text: the chosen channel as its log would hold it, or complete lines of
// every channel with their number. The text collects until the caller takes it.
class Printer {
public:
    Printer(const DecodeOptions &options, bool color, uint32_t textColour)
        : channel_(options.channel), all_(options.allChannels), color_(color), textColour_(textColour)
    {
    }

    void Listen(int32_t channel, uint8_t character, uint32_t colour) { Take(channel, character, colour); }

    // Lines still open when the audio ends are printed too: nothing decoded is lost.
    void Finish()
    {
        if (!all_)
            return;
        for (int c = 0; c < kChannelCount; ++c) {
            if (!lines_[c].empty())
                EmitLine(c);
        }
    }

    std::string &Text() { return text_; }

private:
    void Take(int32_t channel, uint8_t character, uint32_t colour)
    {
        if (character == 10 || channel < 0 || channel >= kChannelCount)
            return;
        if (all_) {
            if (character == 13)
                EmitLine(channel);
            else
                Append(lines_[channel], character, colour, lineColours_[channel]);
            return;
        }
        if (channel != channel_)
            return;
        if (character == 13) {
            if (color_ && currentColour_ != textColour_)
                text_ += "\x1b[0m";
            currentColour_ = textColour_;
            text_ += '\n';
            return;
        }
        Append(text_, character, colour, currentColour_);
    }

    void Append(std::string &out, uint8_t character, uint32_t colour, uint32_t &current)
    {
        if (color_ && colour != current) {
            if (colour == textColour_) {
                out += "\x1b[0m";
            } else {
                char escape[32];
                std::snprintf(escape, sizeof escape, "\x1b[38;2;%u;%u;%um", colour & 0xFF, (colour >> 8) & 0xFF,
                              (colour >> 16) & 0xFF);
                out += escape;
            }
            current = colour;
        }
        out += char(character);
    }

    void EmitLine(int channel)
    {
        if (color_ && lineColours_[channel] != textColour_)
            lines_[channel] += "\x1b[0m";
        text_ += "[" + std::to_string(channel + 1) + "] " + lines_[channel] + "\n";
        lines_[channel].clear();
        lineColours_[channel] = textColour_;
    }

    int channel_;
    bool all_;
    bool color_;
    uint32_t textColour_;
    uint32_t currentColour_ = textColour_;
    std::string text_;
    std::string lines_[kChannelCount];
    uint32_t lineColours_[kChannelCount] = {textColour_, textColour_, textColour_, textColour_};
};

// Raw signed 16-bit little-endian mono, converted to the processing rate when it arrives at another.
class StdinSource : public AudioSource {
public:
    StdinSource(uint32_t inputRate, uint32_t rate) : rate_(rate)
    {
        if (inputRate != rate) {
            resampler_ = OruResampler32_Construct(nullptr);
            OruResampler32_Setup(resampler_, float(inputRate), float(rate), 0.0001f, 127);
        }
    }
    ~StdinSource() override { OruResampler32_Destruct(resampler_, 1); }
    StdinSource(const StdinSource &) = delete;
    StdinSource &operator=(const StdinSource &) = delete;

    uint32_t StartRate() const override { return rate_; }

    uint32_t Read(int16_t *samples, uint32_t count) override
    {
        if (!resampler_)
            return ReadRaw(samples, count);
        while (pending_.size() < count && !ended_) {
            int16_t raw[kFrameSamples];
            uint32_t got = ReadRaw(raw, kFrameSamples);
            if (got == 0) {
                ended_ = true;
                break;
            }
            size_t at = pending_.size();
            pending_.resize(at + got * 8 + 16);
            int32_t made = OruResampler32_ProcessIn_16_16(resampler_, pending_.data() + at, raw, int32_t(got), 1);
            pending_.resize(at + size_t(std::max(made, 0)));
        }
        uint32_t n = std::min<uint32_t>(count, uint32_t(pending_.size()));
        std::copy(pending_.begin(), pending_.begin() + n, samples);
        pending_.erase(pending_.begin(), pending_.begin() + n);
        return n;
    }

private:
    uint32_t ReadRaw(int16_t *samples, uint32_t count)
    {
        size_t got = std::fread(samples, 2, count, stdin);
        for (size_t i = 0; i < got; ++i) {
            auto *b = reinterpret_cast<const uint8_t *>(&samples[i]);
            samples[i] = int16_t(uint16_t(b[0] | (b[1] << 8)));
        }
        return uint32_t(got);
    }

    uint32_t rate_;
    OruResampler32 *resampler_ = nullptr;
    std::vector<int16_t> pending_;
    bool ended_ = false;
};

bool MakeFolder(const std::string &path, std::string &error)
{
    std::string partial;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
                error = "cannot create log folder '" + partial + "': " + std::strerror(errno);
                return false;
            }
        }
        if (i < path.size())
            partial += path[i];
    }
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = "log folder '" + path + "' is not a folder";
        return false;
    }
    return true;
}

// The sound card's audio, pushed by its service thread at the processing rate.
class LiveSource : public AudioSource {
public:
    explicit LiveSource(uint32_t rate) : rate_(rate) {}
    uint32_t StartRate() const override { return rate_; }
    bool HasLevelMeter() const override { return true; }

private:
    uint32_t rate_;
};

// The system's devices, with a device the user named that the hints do not list (plughw:1, a defined PCM).
class NamedDevices : public AudioDevices {
public:
    NamedDevices(AudioDevices &system, const std::string &name) : system_(system), name_(name) {}

    std::vector<AudioDeviceEntry> List(StreamKind kind) override
    {
        std::vector<AudioDeviceEntry> entries = system_.List(kind);
        const bool listed = std::any_of(entries.begin(), entries.end(),
                                        [this](const AudioDeviceEntry &entry) { return entry.id == name_; });
        if (!listed)
            entries.push_back({name_, name_});
        return entries;
    }
    std::unique_ptr<AudioStream> Open(StreamKind kind, const std::string &id, const WaveFormat &format,
                                      uint32_t periodBytes, uint32_t periods, std::string &error) override
    {
        return system_.Open(kind, id, format, periodBytes, periods, error);
    }
    bool Query(StreamKind kind, const std::string &id, WaveQuery &query) override
    {
        return system_.Query(kind, id, query);
    }

    // The index Oru_AudioWave selects it by.
    int32_t IndexOf(const std::string &id)
    {
        const std::vector<AudioDeviceEntry> entries = List(StreamKind::kCapture);
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].id == id)
                return int32_t(i + 1);
        }
        return 0;
    }

private:
    AudioDevices &system_;
    std::string name_;
};

int ListDevices()
{
    std::printf("default\t%s\n", Oru_AudioWave::kDefaultName);
    for (const AudioDeviceEntry &entry : SystemAudioDevices().List(StreamKind::kCapture))
        std::printf("%s\t%s\n", entry.id.c_str(), entry.name.c_str());
    return 0;
}

// Decodes the sound card until Ctrl-C or SIGTERM, then carries the last characters out of the chain. A device
// that fails on the way ends the run with its message; what was decoded is printed and the logs are closed.
int DecodeLive(const SettingsModel &settings, const DecodeOptions &options, bool color)
{
    // The signals are taken by this thread alone: the service thread is started after the mask is set.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    NamedDevices devices(SystemAudioDevices(), options.device);
    const uint32_t rate = options.processingRate;
    LiveSource source(rate);
    DecoderColors colors;
    DecoderEngine engine(source, settings, colors);
    engine.Chain().SetDisplaysShown(false);
    DataOutputWindow &window = engine.Output();
    std::string error;
    if (!options.logDir.empty()) {
        if (!MakeFolder(options.logDir, error))
            return Fail(error);
        for (int c = 0; c < kChannelCount; ++c) {
            std::string path = options.logDir + "/Sirrel" + std::to_string(c + 1) + ".log";
            if (!window.Log(c).Open(path.c_str()))
                return Fail("cannot open log file '" + path + "': " + std::strerror(errno));
        }
    }
    Printer printer(options, color, colors.text);
    window.SetCharacterListener([&printer](int32_t channel, uint8_t character, uint32_t colour) {
        printer.Listen(channel, character, colour);
    });
    auto pass = [&printer] {
        std::fwrite(printer.Text().data(), 1, printer.Text().size(), stdout);
        std::fflush(stdout);
        printer.Text().clear();
    };

    Oru_AudioWave wave(devices, 1, 16, rate, Oru_AudioWave::kInput);
    wave.SetInputDevice(options.device == "default" ? 0 : devices.IndexOf(options.device));
    wave.SetInputBufferSize(kFrameSamples * 2);
    wave.SetInputBufferCount(16);
    wave.SetErrorReporter([&options](const char *, const std::string &text) {
        std::fprintf(stderr, "sirrel-decode: %s (device '%s')\n", text.c_str(), options.device.c_str());
    });
    std::mutex lock;
    std::string ended;
    wave.SetEndedCallback([&](const std::string &text) {
        std::lock_guard<std::mutex> hold(lock);
        ended = text;
    });
    wave.SetInputCallback([&](Oru_AudioWave &, uint8_t *data, uint32_t bytes) {
        engine.Deliver(reinterpret_cast<const int16_t *>(data), bytes / 2);
        pass();
    });
    if (!wave.Start(true))
        return 2;
    const timespec poll{0, 100 * 1000 * 1000};
    while (sigtimedwait(&stopSignals, nullptr, &poll) < 0 && wave.Running()) {}
    wave.Stop();
    if (wave.Xruns() > 0)
        std::fprintf(stderr, "sirrel-decode: the sound card dropped audio %u times (the decoder fell behind)\n",
                     wave.Xruns());
    engine.EndOfInput();
    printer.Finish();
    pass();
    std::lock_guard<std::mutex> hold(lock);
    if (!ended.empty())
        return Fail(ended + " (device '" + options.device + "')");
    return 0;
}

// What one input gave: its text, or why it could not be decoded.
struct Decoded {
    std::string text;
    std::string error;
};

// The folder of an input's logs when several inputs share --log-dir: its file name without the extension.
std::string LogFolderName(const std::string &input)
{
    const std::filesystem::path path(input);
    const std::string stem = path.stem().string();
    return stem.empty() ? path.filename().string() : stem;
}

// Decodes one input with an engine of its own. With show set, the text goes to stdout frame by frame (and is
// flushed for piped audio) and the progress line may show; otherwise it is kept for the caller.
Decoded DecodeInput(const std::string &input, const SettingsModel &settings, const DecodeOptions &options,
                    const std::string &logDir, bool color, bool show)
{
    Decoded result;
    std::unique_ptr<AudioSource> source;
    if (input == "-") {
        source = std::make_unique<StdinSource>(options.inputRate, options.processingRate);
    } else {
        auto wav = std::make_unique<WavFileSource>(options.processingRate);
        if (!wav->Open(input, result.error))
            return result;
        source = std::move(wav);
    }

    DecoderColors colors;
    DecoderEngine engine(*source, settings, colors);
    engine.Chain().SetDisplaysShown(false);
    DataOutputWindow &window = engine.Output();
    if (!logDir.empty()) {
        if (!MakeFolder(logDir, result.error))
            return result;
        for (int c = 0; c < kChannelCount; ++c) {
            std::string path = logDir + "/Sirrel" + std::to_string(c + 1) + ".log";
            if (!window.Log(c).Open(path.c_str())) {
                result.error = "cannot open log file '" + path + "': " + std::strerror(errno);
                return result;
            }
        }
    }

    Printer printer(options, color, colors.text);
    window.SetCharacterListener([&printer](int32_t channel, uint8_t character, uint32_t colour) {
        printer.Listen(channel, character, colour);
    });
    auto pass = [&printer] {
        std::fwrite(printer.Text().data(), 1, printer.Text().size(), stdout);
        printer.Text().clear();
    };

    // Piped audio is decoded as it comes: its text is shown frame by frame.
    const bool live = input == "-";
    std::optional<ProgressLine> progress;
    if (show)
        progress.emplace(options, input);
    uint64_t reported = 0;
    engine.Pump([&](uint64_t samples) {
        if (!show)
            return;
        progress->Advance(uint32_t(samples - reported));
        reported = samples;
        pass();
        if (live)
            std::fflush(stdout);
    });
    if (progress)
        progress->Finish();
    printer.Finish();

    if (options.stats) {
        printer.Text() += "\nCharacter statistics:\n";
        const CharacterStatistics &stats = window.Statistics();
        for (uint32_t entry = 0; entry < stats.Size(); ++entry) {
            if (stats.Counter(entry) > 0)
                printer.Text() += engine.Decoders().Sink().StatisticsLabel(entry) + "\n";
        }
    }
    if (show)
        pass();
    result.text = std::move(printer.Text());
    return result;
}

// Decodes the inputs on up to `jobs` threads and prints each one's text (or error) whole, in the order given,
// as soon as it and every input before it are done. Returns whether all could be decoded.
bool DecodeAll(const SettingsModel &settings, const DecodeOptions &options, bool color)
{
    const std::vector<std::string> &inputs = options.inputs;
    std::vector<Decoded> results(inputs.size());
    std::vector<bool> done(inputs.size(), false);
    std::mutex lock;
    std::condition_variable finished;
    std::atomic<size_t> next{0};

    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < inputs.size();) {
            const std::string logDir = options.logDir.empty() ? "" : options.logDir + "/" + LogFolderName(inputs[i]);
            Decoded result = DecodeInput(inputs[i], settings, options, logDir, color, false);
            std::lock_guard<std::mutex> hold(lock);
            results[i] = std::move(result);
            done[i] = true;
            finished.notify_one();
        }
    };
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const size_t threads = std::min<size_t>(options.jobs ? options.jobs : processors, inputs.size());
    std::vector<std::thread> workers;
    for (size_t t = 0; t < threads; ++t)
        workers.emplace_back(work);

    bool ok = true;
    for (size_t i = 0; i < inputs.size(); ++i) {
        Decoded result;
        {
            std::unique_lock<std::mutex> hold(lock);
            finished.wait(hold, [&] { return bool(done[i]); });
            result = std::move(results[i]);
        }
        if (!result.error.empty()) {
            ok = false;
            std::fflush(stdout);
            std::fprintf(stderr, "sirrel-decode: %s\n", result.error.c_str());
            continue;
        }
        std::fwrite(result.text.data(), 1, result.text.size(), stdout);
        std::fflush(stdout);
    }
    for (std::thread &worker : workers)
        worker.join();
    return ok;
}

int Run(const std::vector<std::string> &args)
{
    SettingsModel settings;
    DecodeOptions options;
    std::string error;
    if (args.empty()) {
        std::fputs(DecodeShortUsage().c_str(), stderr);
        return 2;
    }
    if (!ParseDecodeOptions(args, settings, options, error))
        return Fail(error);
    if (PrintInformation(options))
        return 0;
    if (options.listProtocols) {
        for (const std::string &name : ProtocolNames(options))
            std::printf("%s\n", name.c_str());
        return 0;
    }

    if (options.listDevices)
        return ListDevices();

    const bool color =
        options.color == OutputColor::kAlways || (options.color == OutputColor::kAuto && isatty(STDOUT_FILENO));
    if (!options.device.empty())
        return DecodeLive(settings, options, color);
    int status = 0;
    if (options.inputs.size() == 1) {
        const Decoded result = DecodeInput(options.inputs[0], settings, options, options.logDir, color, true);
        if (!result.error.empty())
            return Fail(result.error);
    } else {
        // Two inputs of one name (or one input given twice) would write the same logs.
        std::map<std::string, std::string> folders;
        for (size_t i = 0; i < options.inputs.size() && !options.logDir.empty(); ++i) {
            const std::string &input = options.inputs[i];
            auto [at, added] = folders.emplace(LogFolderName(input), input);
            if (!added)
                return Fail("'" + at->second + "' and '" + input + "' would share the log folder '" + options.logDir +
                            "/" + at->first + "'");
        }
        if (!DecodeAll(settings, options, color))
            status = 2;
    }
    std::fflush(stdout);
    if (std::ferror(stdout))
        return Fail(std::string("cannot write the decoded text: ") + std::strerror(errno));
    return status;
}

} // namespace
} // namespace sirrel

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return sirrel::Run(args);
}
