// kel-host: the receiver-control host for people. Loads the decoder plug-in, opens a decoder window per
// receiver and sends each the receiver's audio as host audio blocks, from a thread per receiver. The plug-in
// calls back from its own thread; the program ends when every window has announced its end.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/wav_file_source.h"
#include "host/receiver.h"
#include "host/receiver_description.h"
#include "host_options.h"
#include "plugin_library.h"
#include "stdin_source.h"

namespace sirrel {
namespace {

// The host version handed to kelPluginInit: the interface version the plug-in answers with.
constexpr int32_t kHostVersion = int32_t(kInterfaceVersion);
// A host hands over audio in blocks of 20 ms.
constexpr uint32_t kBlocksPerSecond = 50;

int Fail(const std::string &message)
{
    std::fprintf(stderr, "kel-host: %s\n", message.c_str());
    return 2;
}

struct Receiver {
    ReceiverArgument argument;
    uint32_t hostId;
    std::unique_ptr<ReceiverDescription> info;
    std::unique_ptr<AudioSource> source;
    std::atomic<bool> stop{false};
    std::thread feeder;
    uint32_t window = 0;
    bool open = false;
    bool ended = false; // its audio has run out
};

// What the threads share: the plug-in's announcements, the feeders' ends and the signals, under one lock.
class Host {
public:
    Host(PluginLibrary &plugin, bool realtime) : plugin_(plugin), realtime_(realtime) {}

    // The call-back takes no context: one host per process.
    static int32_t Callback(uint32_t window, uint32_t code, uint32_t, uint32_t, void *)
    {
        if (code == kHostPluginClosing && window != 0)
            active_->Closing(window);
        return 0;
    }

    bool Start(std::vector<std::unique_ptr<Receiver>> &receivers)
    {
        active_ = this;
        receivers_ = &receivers;
        char name[64] = {};
        if (plugin_.init(kHostVersion, 0, name, sizeof name - 1) == 0) {
            Fail("the plug-in refused the host's interface version");
            return false;
        }
        for (auto &r : receivers) {
            uint32_t options = 0;
            const int32_t window = plugin_.start(r->hostId, r->info->Info(), &Host::Callback, &options);
            if (window == -1) {
                std::fprintf(stderr, "kel-host: the plug-in refused the receiver '%s'\n", r->argument.text.c_str());
                return false;
            }
            std::lock_guard<std::mutex> hold(lock_);
            r->window = uint32_t(window);
            // A window closed before its handle came back here was announced already.
            r->open = !closed_.count(r->window);
            std::printf("%s:%u window %u\n", r->argument.kind.name, r->argument.serial, r->window);
            std::fflush(stdout);
        }
        // The plug-in records a sound-card receiver's audio itself.
        for (auto &r : receivers) {
            if (r->source)
                r->feeder = std::thread([this, &r] { Feed(*r); });
        }
        return true;
    }

    // Waits until every window has gone, closing them all at a signal or, when asked, at the end of the audio.
    void Run(bool exitAtEnd)
    {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            bool anyOpen = false, allEnded = true;
            for (auto &r : *receivers_) {
                anyOpen |= r->open;
                allEnded &= r->ended;
            }
            if (!anyOpen)
                break;
            if (!closing_ && (signalled_ || (exitAtEnd && allEnded))) {
                closing_ = true;
                hold.unlock();
                CloseAll();
                hold.lock();
                continue;
            }
            changed_.wait(hold);
        }
        hold.unlock();
        StopFeeders();
        plugin_.done();
    }

    // Closes the windows still open, as the host's close request does, so that each saves its settings.
    void CloseAll()
    {
        StopFeeders();
        for (auto &r : *receivers_) {
            bool open;
            {
                std::lock_guard<std::mutex> hold(lock_);
                open = r->open;
            }
            if (open)
                plugin_.notify(r->hostId, kNotifyClose, 0, 0, nullptr);
        }
    }

    void Signalled()
    {
        std::lock_guard<std::mutex> hold(lock_);
        signalled_ = true;
        changed_.notify_all();
    }

private:
    void Closing(uint32_t window)
    {
        std::lock_guard<std::mutex> hold(lock_);
        closed_.insert(window);
        for (auto &r : *receivers_) {
            if (r->window == window && r->open) {
                r->open = false;
                r->stop.store(true);
            }
        }
        changed_.notify_all();
    }

    void Feed(Receiver &r)
    {
        const uint32_t rate = r.source->StartRate();
        const uint32_t frames = rate / kBlocksPerSecond;
        std::vector<uint8_t> block(kAudioBlockHeaderSize + frames * 2);
        auto *samples = reinterpret_cast<int16_t *>(block.data() + kAudioBlockHeaderSize);
        const auto begin = std::chrono::steady_clock::now();
        uint64_t sent = 0;
        while (!r.stop.load()) {
            const uint32_t got = r.source->Read(samples, frames);
            if (got == 0)
                break;
            const uint32_t header[4] = {rate, 16, 1, got};
            std::memcpy(block.data(), header, sizeof header);
            plugin_.notify(r.hostId, kNotifyAudioBlock, kAudioBlockSubCode, 0, block.data());
            sent += got;
            if (realtime_) {
                const auto due = begin + std::chrono::microseconds(sent * 1000000 / rate);
                std::unique_lock<std::mutex> hold(lock_);
                changed_.wait_until(hold, due, [&r] { return r.stop.load(); });
            }
        }
        std::lock_guard<std::mutex> hold(lock_);
        r.ended = true;
        if (!r.stop.load()) {
            std::printf("%s:%u end of audio\n", r.argument.kind.name, r.argument.serial);
            std::fflush(stdout);
        }
        changed_.notify_all();
    }

    void StopFeeders()
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            for (auto &r : *receivers_)
                r->stop.store(true);
            changed_.notify_all();
        }
        for (auto &r : *receivers_) {
            if (r->feeder.joinable())
                r->feeder.join();
        }
    }

    PluginLibrary &plugin_;
    const bool realtime_;
    std::vector<std::unique_ptr<Receiver>> *receivers_ = nullptr;
    std::mutex lock_;
    std::condition_variable changed_;
    std::set<uint32_t> closed_;
    bool signalled_ = false;
    bool closing_ = false;
    static inline Host *active_ = nullptr;
};

int Main(int argc, char **argv)
{
    // Signals wait for the thread made for them: every other thread, the file readers' and the plug-in's too,
    // inherits them blocked.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    HostOptions options;
    std::string error;
    if (argc < 2) {
        std::fputs(HostShortUsage().c_str(), stderr);
        return 2;
    }
    if (!ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc), options, error))
        return Fail(error);
    if (PrintHostInformation(options))
        return 0;

    PluginLibrary plugin;
    if (!plugin.Load(options.plugin.empty() ? DefaultPluginPath() : options.plugin, error))
        return Fail(error);

    // Every file is checked before the first window opens.
    std::vector<std::unique_ptr<Receiver>> receivers;
    for (const ReceiverArgument &argument : options.receivers) {
        auto r = std::make_unique<Receiver>();
        r->argument = argument;
        r->hostId = uint32_t(receivers.size() + 1);
        std::string serial = std::to_string(argument.serial);
        // A receiver without a DSP is known by the first eight characters of its serial text.
        if (argument.source == kSoundCardSource)
            serial.insert(0, serial.size() < 8 ? 8 - serial.size() : 0, '0');
        r->info = std::make_unique<ReceiverDescription>(kMakerName, argument.kind.model, serial, argument.serial);
        if (argument.source == "-") {
            r->source = std::make_unique<StdinSource>(options.inputRate, r->stop);
        } else if (argument.source != kSoundCardSource) {
            auto file = std::make_unique<WavFileSource>(argument.kind.blockRate);
            if (!file->Open(argument.source, error))
                return Fail(error);
            r->source = std::move(file);
        }
        receivers.push_back(std::move(r));
    }

    Host host(plugin, options.realtime);
    std::atomic<bool> finished{false};
    std::thread listener([&host, &finished, signals] {
        for (int signal = 0; !finished.load();) {
            if (sigwait(&signals, &signal) == 0 && !finished.load())
                host.Signalled();
        }
    });

    const bool started = host.Start(receivers);
    if (!started)
        host.CloseAll();
    host.Run(options.exitAtEnd);
    // The listener ends at the next signal it takes: this one.
    finished.store(true);
    pthread_kill(listener.native_handle(), SIGTERM);
    listener.join();
    return started ? 0 : 1;
}

} // namespace
} // namespace sirrel

int main(int argc, char **argv) { return sirrel::Main(argc, argv); }
