// sirrel-decode's path in-process: a WAV file of ten minutes read and converted to the processing rate, the
// signal chain, the decoder of a stock protocol and the decoded text, without a window. The files are made
// once by the generator, at 44100 Hz (converted) and at 11025 Hz (read as they are).
//
// The counter x_realtime is audio seconds per second of user CPU of the whole process (the file's read-ahead
// thread included). Of the three repetitions, "min" holds the best time and "max" the best x_realtime.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/decoder_engine.h"
#include "engine/wav_file_source.h"
#include "options.h"
#include "siggen/async_source.h"
#include "siggen/fec_source.h"
#include "siggen/generator.h"
#include "siggen/packet_source.h"
#include "siggen/wav_output.h"

namespace {

using namespace sirrel;

constexpr double kSeconds = 600;

enum class Signal { kPacket1200, kBaudot, kNavtex };

struct Recording {
    std::string path;
    double seconds = 0;
};

// The made files, removed with their folder when the program ends.
class Recordings {
public:
    ~Recordings()
    {
        if (!folder_.empty())
            std::filesystem::remove_all(folder_);
    }

    const Recording &Get(Signal signal, uint32_t rate)
    {
        auto key = std::make_pair(signal, rate);
        auto found = made_.find(key);
        if (found == made_.end())
            found = made_.emplace(key, Make(signal, rate)).first;
        return found->second;
    }

private:
    Recording Make(Signal signal, uint32_t rate)
    {
        if (folder_.empty()) {
            std::string pattern = (std::filesystem::temp_directory_path() / "sirrel-bench-XXXXXX").string();
            folder_ = mkdtemp(pattern.data());
        }
        siggen::GeneratorSettings g;
        g.sampleRate = rate;
        std::string line;
        siggen::AsyncSource baudot(siggen::AsyncSource::Code::kIta2, siggen::Parity::kNone, 1.5);
        siggen::FecSource navtex{siggen::FecSettings{}};
        siggen::PacketSource packet;
        const siggen::BitSource *source = nullptr;
        switch (signal) {
        case Signal::kPacket1200:
            g.baud = 1200, g.space = 2200, g.mark = 1200;
            line = "N0CALL>TEST,WIDE1-1*: a frame of the end-to-end benchmark, 0123456789\n";
            source = &packet;
            break;
        case Signal::kBaudot:
            g.baud = 50, g.space = 1275, g.mark = 1445;
            line = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789\n";
            source = &baudot;
            break;
        case Signal::kNavtex:
            g.baud = 100, g.space = 1000, g.mark = 1170;
            line = "ZCZC FA01 NAVTEX GALE WARNING FOR THE END TO END BENCHMARK NNNN\n";
            source = &navtex;
            break;
        }
        // As many lines as fill the ten minutes; the idle trail makes up the rest.
        auto bitsOf = [&](int lines) {
            std::string text;
            for (int i = 0; i < lines; ++i)
                text += line;
            siggen::Keying keying;
            source->Encode(text, keying);
            return std::make_pair(keying, text);
        };
        const double perLine = (bitsOf(20).first.TotalBits() - bitsOf(10).first.TotalBits()) / 10;
        const int lines = int((kSeconds - g.leadSeconds - 5) * g.baud / perLine);
        const siggen::Keying keying = bitsOf(lines).first;
        g.trailSeconds = kSeconds - g.leadSeconds - keying.TotalBits() / g.baud;

        Recording recording;
        recording.path = folder_ + "/" + std::to_string(int(signal)) + "-" + std::to_string(rate) + ".wav";
        siggen::Generator generator(g);
        recording.seconds = double(generator.SampleCount(keying)) / rate;
        siggen::WavOutput output;
        bool written = output.Open(recording.path, rate);
        written = written && generator.Render(keying, source->IdleLevel(),
                                              [&output](const int16_t *s, size_t n) { return output.Write(s, n); });
        if (!written || !output.Commit())
            recording.path.clear();
        return recording;
    }

    std::string folder_;
    std::map<std::pair<Signal, uint32_t>, Recording> made_;
};

Recordings &Made()
{
    static Recordings recordings;
    return recordings;
}

double UserSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) / 1e6;
}

void Decode(benchmark::State &state, Signal signal, const char *protocol)
{
    const Recording &recording = Made().Get(signal, uint32_t(state.range(0)));
    if (recording.path.empty()) {
        state.SkipWithError("the recording could not be made");
        return;
    }
    double user = 0;
    size_t characters = 0;
    for (auto _ : state) {
        const double start = UserSeconds();
        // The command line as sirrel-decode takes it; only the stock protocols are seen.
        SettingsModel settings;
        DecodeOptions options;
        std::string error;
        if (!ParseDecodeOptions({"--data-dir", "/nonexistent/sirrel-bench", "--protocol", protocol, recording.path},
                                settings, options, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        WavFileSource source(options.processingRate);
        if (!source.Open(recording.path, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        DecoderEngine engine(source, settings);
        engine.Chain().SetDisplaysShown(false);
        std::string text;
        engine.Output().SetCharacterListener([&text](int32_t channel, uint8_t character, uint32_t) {
            if (channel == 0 && character != 10)
                text += char(character == 13 ? '\n' : character);
        });
        engine.Pump();
        characters = text.size();
        benchmark::DoNotOptimize(text.data());
        user += UserSeconds() - start;
    }
    if (characters == 0)
        state.SkipWithError("nothing was decoded");
    state.counters["x_realtime"] = recording.seconds * double(state.iterations()) / user;
    state.counters["characters"] = double(characters);
}

double Best(const std::vector<double> &values) { return *std::min_element(values.begin(), values.end()); }
double Most(const std::vector<double> &values) { return *std::max_element(values.begin(), values.end()); }

void Configure(benchmark::internal::Benchmark *b)
{
    b->Arg(44100)->Arg(11025)->Iterations(1)->Repetitions(3)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
    b->ComputeStatistics("min", Best);
    b->ComputeStatistics("max", Most);
}

BENCHMARK_CAPTURE(Decode, packet_1200, Signal::kPacket1200, "Packet Radio - 1200bps")->Apply(Configure);
BENCHMARK_CAPTURE(Decode, baudot, Signal::kBaudot, "Baudot")->Apply(Configure);
BENCHMARK_CAPTURE(Decode, navtex, Signal::kNavtex, "NAVTEX")->Apply(Configure);

} // namespace
