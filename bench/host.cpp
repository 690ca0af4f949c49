// The plug-in as the host drives it: libsirrel.so loaded with dlopen, one Qv receiver fed 44100 Hz stereo host
// audio blocks of 2048 frames (averaged, decimated to 11025 Hz, decoded as 50-baud ITA2 with automatic tuning),
// and one DSP-extension receiver fed 1024-byte blocks at 10989 Hz. Real time is the audio the host delivered.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "fake_receiver.h"
#include "host/host_interface.h"

namespace {

using namespace sirrel;

using Start = int32_t (*)(uint32_t, const void *, HostCallback, uint32_t *);
using Notify = void (*)(uint32_t, uint32_t, uint32_t, uint32_t, void *);

int32_t Answer(uint32_t, uint32_t code, uint32_t, uint32_t, void *) { return code == kHostDspOpen ? 1 : 0; }

std::vector<int16_t> FskSignal(uint32_t rate, size_t count)
{
    std::vector<int16_t> signal(count);
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 800.0);
    const double samplesPerBit = rate / 50.0;
    int bit = 0;
    double phase = 0.0;
    for (size_t i = 0; i < count; ++i) {
        if (std::fmod(double(i), samplesPerBit) < 1.0)
            bit = int(random() & 1);
        phase += 2.0 * M_PI * (bit ? 1000.0 : 1170.0) / rate;
        signal[i] = int16_t(std::lround(9000.0 * std::sin(phase) + noise(random)));
    }
    return signal;
}

class Plugin {
public:
    Plugin()
    {
        library_ = dlopen(SIRREL_PLUGIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (library_) {
            start = reinterpret_cast<Start>(dlsym(library_, "kelPluginStart"));
            notify = reinterpret_cast<Notify>(dlsym(library_, "kelPluginNotify"));
        }
    }
    ~Plugin()
    {
        if (library_)
            dlclose(library_);
    }
    Start start = nullptr;
    Notify notify = nullptr;

private:
    fake::DataFolder folder_; // outlives the library, which saves into it when unloaded
    void *library_ = nullptr;
};

void BM_Plugin_QvStereoHostBlocks(benchmark::State &state)
{
    Plugin plugin;
    fake::Receiver receiver(fake::kMaker, "QvUSBv", "", 99);
    uint32_t options = 0;
    if (!plugin.start || plugin.start(1, receiver.Info(), &Answer, &options) == -1) {
        state.SkipWithError("the plug-in did not start");
        return;
    }
    constexpr uint32_t kFrames = 2048, kBlocks = 32;
    const std::vector<int16_t> mono = FskSignal(44100, size_t(kFrames) * kBlocks);
    std::vector<std::vector<uint8_t>> blocks;
    for (uint32_t b = 0; b < kBlocks; ++b) {
        const uint32_t header[4] = {44100, 16, 2, kFrames};
        std::vector<uint8_t> block(16 + kFrames * 4);
        std::memcpy(block.data(), header, 16);
        auto *samples = reinterpret_cast<int16_t *>(block.data() + 16);
        for (uint32_t f = 0; f < kFrames; ++f)
            samples[2 * f] = samples[2 * f + 1] = mono[b * kFrames + f];
        blocks.push_back(block);
    }
    uint32_t next = 0;
    for (auto _ : state) {
        plugin.notify(1, kNotifyAudioBlock, kAudioBlockSubCode, 0, blocks[next].data());
        next = (next + 1) % kBlocks;
    }
    plugin.notify(1, kNotifyClose, 0, 0, nullptr);
    const double frames = double(kFrames) * double(state.iterations());
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["xRealTime"] = benchmark::Counter(frames / 44100.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Plugin_QvStereoHostBlocks);

void BM_Plugin_DspExtensionBlocks(benchmark::State &state)
{
    Plugin plugin;
    fake::Receiver receiver(fake::kMaker, "KR-100", "00000001", 0, "Analog Devices", "ADSP-2105");
    uint32_t options = 0;
    if (!plugin.start || plugin.start(2, receiver.Info(), &Answer, &options) == -1) {
        state.SkipWithError("the plug-in did not start");
        return;
    }
    std::vector<int16_t> signal = FskSignal(10989, 512 * 64);
    uint32_t next = 0;
    for (auto _ : state) {
        plugin.notify(2, kNotifyDspAudio, 0, 1024, signal.data() + size_t(next) * 512);
        next = (next + 1) % 64;
    }
    plugin.notify(2, kNotifyClose, 0, 0, nullptr);
    const double samples = 512.0 * double(state.iterations());
    state.counters["samples/s"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    state.counters["xRealTime"] = benchmark::Counter(samples / 10989.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Plugin_DspExtensionBlocks);

} // namespace
