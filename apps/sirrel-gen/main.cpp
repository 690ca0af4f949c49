// sirrel-gen: makes FSK test signals. Text in (argument or standard input), 16-bit mono WAV out.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gen_options.h"
#include "siggen/arq_source.h"
#include "siggen/arqm_source.h"
#include "siggen/async_source.h"
#include "siggen/cis_source.h"
#include "siggen/fec_source.h"
#include "siggen/generator.h"
#include "siggen/packet_source.h"
#include "siggen/wav_output.h"

namespace {

using namespace sirrel::siggen;
namespace cli = sirrel::cli;

constexpr int kExitError = 2;

// A failure that ends the program with one line on standard error.
struct Failure {
    std::string message;
};

// The temporary output file, for the signal handler: what an interrupted run must not leave behind.
char temporaryPath[PATH_MAX + 64];

void RemoveTemporaryAndDie(int signal)
{
    if (temporaryPath[0])
        unlink(temporaryPath);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void WatchTemporary(const std::string &path)
{
    sigset_t all;
    sigset_t old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    const size_t length = path.size() < sizeof temporaryPath - 1 ? path.size() : sizeof temporaryPath - 1;
    std::memcpy(temporaryPath, path.data(), length);
    temporaryPath[length] = '\0';
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

void InstallSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = RemoveTemporaryAndDie;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A closed pipe on standard output becomes a write error, reported and cleaned up like any other.
    ::signal(SIGPIPE, SIG_IGN);
}

std::unique_ptr<BitSource> MakeBitSource(const GenOptions &options)
{
    struct AsyncMode {
        const char *name;
        AsyncSource::Code code;
        double defaultStopBits;
    };
    static const AsyncMode kAsyncModes[] = {
        {"ita2", AsyncSource::Code::kIta2, 1.5},
        {"ira", AsyncSource::Code::kIra, 1.0},
        {"ascii8", AsyncSource::Code::kAscii8, 1.0},
    };
    for (const AsyncMode &mode : kAsyncModes) {
        if (options.mode == mode.name)
            return std::make_unique<AsyncSource>(mode.code, options.parity,
                                                 options.stopBits.value_or(mode.defaultStopBits));
    }
    if (options.mode == "packet")
        return std::make_unique<PacketSource>();
    if (options.mode == "arqm") {
        if (options.channelTexts.size() + 1 > static_cast<size_t>(options.arqmChannels))
            throw Failure{"--channel-text: more texts than the " + std::to_string(options.arqmChannels - 1) +
                          " channel(s) besides A"};
        // One option sets the repetition cycle of both modes; ARQ-M counts it in a byte.
        if (options.repetitionCycle > 255)
            throw Failure{"bad value '" + std::to_string(options.repetitionCycle) +
                          "' for option '--repetition': expected a whole number from 1 to 255 with --mode arqm"};
        return std::make_unique<ArqmSource>(options.arqmChannels, options.repetitionCycle, options.arqmVersion,
                                            options.channelTexts);
    }
    if (options.mode == "cis")
        return std::make_unique<CisSource>();
    if (options.mode == "arq")
        return std::make_unique<ArqSource>(ArqSettings{options.sevenBitSet, options.charsInCycle, options.cycleLength,
                                                       options.invertingRate, options.phasing.value_or(4),
                                                       options.repeatEvery, options.repetitionCycle, options.arqGap});
    if (options.mode == "fec")
        return std::make_unique<FecSource>(
            FecSettings{options.sevenBitSet, options.invertingRate, options.phasing.value_or(16)});
    throw Failure{"option '--mode' is listed but not handled: '" + options.mode + "'"};
}

std::string ReadText(const GenOptions &options)
{
    if (options.text && *options.text != "-")
        return *options.text;
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got == 0)
            return text;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw Failure{std::string("cannot read standard input: ") + std::strerror(errno)};
        }
        text.append(buffer, static_cast<size_t>(got));
    }
}

int Run(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs(cli::ShortUsage(GenProgramText()).c_str(), stderr);
        return kExitError;
    }
    GenOptions options;
    try {
        options = ParseGenOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const cli::OptionError &error) {
        throw Failure{error.message};
    }
    if (options.help) {
        std::fputs(cli::HelpText(GenOptionTable(options), GenProgramText()).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", GenProgramText().name.c_str(), GenProgramText().version.c_str());
        return 0;
    }
    if (options.man) {
        std::fputs(cli::ManPage(GenOptionTable(options), GenProgramText()).c_str(), stdout);
        return 0;
    }
    if (!options.haveOutput)
        throw Failure{"no output file: give -o FILE (or -o - for standard output)"};
    const std::unique_ptr<BitSource> source = MakeBitSource(options);
    const std::string problem = options.settings.Problem();
    if (!problem.empty())
        throw Failure{problem};

    const std::string text = ReadText(options);
    if (options.mode == "packet") {
        const std::string frameProblem = PacketDescriptionProblem(text);
        if (!frameProblem.empty())
            throw Failure{frameProblem};
    }
    Keying keying;
    const size_t dropped = source->Encode(text, keying);
    Generator generator(options.settings);
    const uint64_t samples = generator.SampleCount(keying);
    if (samples > WavOutput::kMaxSamples)
        throw Failure{"the signal would take " + std::to_string(samples) + " samples, more than a WAV file holds (" +
                      std::to_string(WavOutput::kMaxSamples) + ")"};

    InstallSignalHandlers();
    WavOutput output;
    if (!output.Open(options.output, options.settings.sampleRate))
        throw Failure{output.Error()};
    WatchTemporary(output.TemporaryPath());
    const bool rendered = generator.Render(
        keying, source->IdleLevel(), [&](const int16_t *block, size_t count) { return output.Write(block, count); });
    const bool committed = rendered && output.Commit();
    WatchTemporary(std::string());
    if (!committed)
        throw Failure{output.Error()};

    if (dropped > 0)
        std::fprintf(stderr, "sirrel-gen: warning: left out %zu character%s that %s cannot send\n", dropped,
                     dropped == 1 ? "" : "s", source->CharacterSetName());
    if (generator.ClippedSamples() > 0)
        std::fprintf(stderr, "sirrel-gen: warning: %llu samples clipped; lower --amplitude or raise --snr\n",
                     static_cast<unsigned long long>(generator.ClippedSamples()));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return Run(argc, argv);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "sirrel-gen: %s\n", failure.message.c_str());
    } catch (const std::bad_alloc &) {
        std::fputs("sirrel-gen: out of memory\n", stderr);
    }
    return kExitError;
}
