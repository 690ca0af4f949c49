// File throughput: sequential reading of a 200 MB WAV file through the buffered AsyncFile against a plain read
// loop, write throughput, and the WAV player's conversion of 44100 Hz stereo to 11025 Hz mono.
//
// The files live in /tmp and are made on first use; reading runs from the page cache once they exist.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "audio/wav_file.h"
#include "audio/wav_player.h"
#include "output/async_file.h"

namespace {

using namespace sirrel;

using sirrel::AsyncFile;

constexpr uint32_t kPlayerBuffer = WavPlayer::kDefaultBufferSize;
constexpr int64_t kBigData = 200ll << 20;
constexpr int kConversionSeconds = 60;

const char *const kBigPath = "/tmp/sirrel-bench-200mb.wav";
const char *const kStereoPath = "/tmp/sirrel-bench-44100-stereo.wav";
const char *const kWritePath = "/tmp/sirrel-bench-write.dat";

// Writes a 16-bit stereo PCM file of the given data size unless it is already there with that size.
bool MakeWav(const char *path, uint32_t rate, int64_t dataBytes)
{
    struct stat info;
    if (stat(path, &info) == 0 && info.st_size == dataBytes + 46)
        return true;
    unlink(path);
    WavFile file;
    if (!file.OpenWrite(path, kPlayerBuffer) || !file.WriteHeaderPcm(rate, 16, 2))
        return false;
    std::vector<int16_t> block(2 * 4096);
    for (int64_t frame = 0; frame * 4 < dataBytes; frame += 4096) {
        for (int i = 0; i < 4096; ++i) {
            const double t = static_cast<double>(frame + i) / rate;
            block[2 * i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 1000 * t));
            block[2 * i + 1] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 1850 * t));
        }
        const int64_t left = dataBytes - frame * 4;
        if (!file.WriteData(block.data(), static_cast<uint32_t>(left < 16384 ? left : 16384)))
            return false;
    }
    return true;
}

void BM_ReadBufferedAsyncFile(benchmark::State &state)
{
    if (!MakeWav(kBigPath, 44100, kBigData)) {
        state.SkipWithError("cannot make the 200 MB file");
        return;
    }
    const uint32_t piece = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> buffer(piece);
    int64_t total = 0;
    for (auto _ : state) {
        AsyncFile file;
        if (!file.Open(kBigPath, false, kPlayerBuffer)) {
            state.SkipWithError("open failed");
            return;
        }
        while (uint32_t got = file.Read(buffer.data(), piece))
            total += got;
    }
    state.SetBytesProcessed(total);
}
BENCHMARK(BM_ReadBufferedAsyncFile)
    ->ArgName("piece")
    ->Arg(4096)
    ->Arg(65536)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ReadPlainLoop(benchmark::State &state)
{
    if (!MakeWav(kBigPath, 44100, kBigData)) {
        state.SkipWithError("cannot make the 200 MB file");
        return;
    }
    const size_t piece = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> buffer(piece);
    int64_t total = 0;
    for (auto _ : state) {
        int handle = open(kBigPath, O_RDONLY);
        ssize_t got;
        while ((got = read(handle, buffer.data(), piece)) > 0)
            total += got;
        close(handle);
    }
    state.SetBytesProcessed(total);
}
BENCHMARK(BM_ReadPlainLoop)->ArgName("piece")->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();

// 64 MB in 4096-byte writes (one frame of 2048 samples each), closing included: buffered mode, direct mode,
// and a plain write loop.
void WriteFile(benchmark::State &state, uint32_t bufferSize)
{
    constexpr int64_t kBytes = 64ll << 20;
    std::vector<uint8_t> block(4096, 0x55);
    for (auto _ : state) {
        unlink(kWritePath);
        AsyncFile file;
        if (!file.Open(kWritePath, true, bufferSize)) {
            state.SkipWithError("open failed");
            return;
        }
        for (int64_t done = 0; done < kBytes; done += 4096)
            file.Write(block.data(), 4096);
        file.Close();
    }
    unlink(kWritePath);
    state.SetBytesProcessed(kBytes * state.iterations());
}

void BM_WriteBufferedAsyncFile(benchmark::State &state) { WriteFile(state, kPlayerBuffer); }
BENCHMARK(BM_WriteBufferedAsyncFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteDirectAsyncFile(benchmark::State &state) { WriteFile(state, 0); }
BENCHMARK(BM_WriteDirectAsyncFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WritePlainLoop(benchmark::State &state)
{
    constexpr int64_t kBytes = 64ll << 20;
    std::vector<uint8_t> block(4096, 0x55);
    for (auto _ : state) {
        unlink(kWritePath);
        int handle = open(kWritePath, O_WRONLY | O_CREAT, 0666);
        for (int64_t done = 0; done < kBytes; done += 4096)
            benchmark::DoNotOptimize(write(handle, block.data(), 4096));
        close(handle);
    }
    unlink(kWritePath);
    state.SetBytesProcessed(kBytes * state.iterations());
}
BENCHMARK(BM_WritePlainLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

// A minute of 44100 Hz stereo played as 11025 Hz mono, read in frames of 2048 samples; x_realtime is seconds
// of audio per second.
void BM_PlayerConvert44100StereoTo11025Mono(benchmark::State &state)
{
    if (!MakeWav(kStereoPath, 44100, 44100ll * 4 * kConversionSeconds)) {
        state.SkipWithError("cannot make the stereo file");
        return;
    }
    std::vector<uint8_t> frame(4096);
    int64_t samples = 0;
    for (auto _ : state) {
        WavPlayer player;
        player.SetWantedFormat({WavFile::kPcm, 11025, 16, 1});
        if (!player.Open(kStereoPath)) {
            state.SkipWithError("player refused the file");
            return;
        }
        while (uint32_t got = player.Read(frame.data(), 4096))
            samples += got / 2;
    }
    state.counters["samples/s"] = benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate);
    state.counters["x_realtime"] = benchmark::Counter(samples / 11025.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlayerConvert44100StereoTo11025Mono)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
