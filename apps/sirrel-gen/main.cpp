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

#include "siggen/arq_source.h"
#include "siggen/arqm_source.h"
#include "siggen/async_source.h"
#include "siggen/cis_source.h"
#include "siggen/fec_source.h"
#include "siggen/packet_source.h"
#include "siggen/generator.h"
#include "siggen/wav_output.h"

namespace {

using namespace sirrel::siggen;

constexpr int kExitError = 2;

const char kUsage[] =
    "Usage: sirrel-gen [options] -o FILE [TEXT]\n"
    "Makes an FSK test signal of TEXT (standard input when TEXT is absent or \"-\") as a 16-bit mono WAV file.\n"
    "\n"
    "  -o, --output FILE    the WAV file to write; \"-\" writes it to standard output\n"
    "  --mode MODE          ita2 (5-bit Baudot with letters/figures shifts), ira (7-bit), ascii8 (8-bit),\n"
    "                       arq, fec, arqm, cis, packet; default ita2\n"
    "  --parity P           none, even or odd (default none)\n"
    "  --stop N             stop bits: 1, 1.5 or 2 (default 1.5 for ita2, else 1)\n"
    "  --baud B             bits per second (default 45.45)\n"
    "  --space HZ           tone of a 1 bit and of the idle line (default 1000)\n"
    "  --mark HZ            tone of a 0 bit and of the start bit (default 1170)\n"
    "  --reverse            swap the tones (reversed polarity)\n"
    "  --offset HZ          shift both tones by HZ (default 0)\n"
    "  --rate HZ            sample rate (default 11025)\n"
    "  --amplitude A        peak level, 0..1 of full scale (default 0.5)\n"
    "  --lead S             seconds of idle tone before the text (default 1.0)\n"
    "  --trail S            seconds of idle tone after the text (default 0.5)\n"
    "  --snr DB             add white noise: signal-to-noise ratio in a 3 kHz band\n"
    "  --seed N             seed of the noise (default 1); the same seed gives the same noise\n"
    "  ARQ-M (--mode arqm; the usual rate is --baud 96):\n"
    "  --channels K         1, 2 or 4 time-multiplexed channels (default 2)\n"
    "  --cycle R            characters of each channel in a repetition cycle, 1..255 (default 4)\n"
    "  --version V          polarity pattern 242 or 342 (default 342)\n"
    "  --channel-text TEXT  text of the next channel, B, C, D in order (TEXT is channel A's); others idle\n"
    "  CIS (--mode cis; the usual rate is --baud 100): CIS-11 frames of ITA2 characters\n"
    "  ARQ (--mode arq; SITOR-A: --baud 100) and FEC (--mode fec; SITOR-B and NAVTEX: --baud 100):\n"
    "  --charset SET        ccir476 (default), ita3 or ita2p\n"
    "  --chars-in-cycle N   ARQ characters per block, 1..1000 (default 3)\n"
    "  --cycle-length L     ARQ bits per cycle, block and gap, 7..7000 (default 45)\n"
    "  --inverting-rate R   invert every R-th character, 0..1000 (default 0: none)\n"
    "  --phasing N          phasing blocks (ARQ, default 4) or phasing signal pairs (FEC, default 16)\n"
    "  --repeat-every K     ARQ: after every K characters a repetition request and the last characters again\n"
    "  --repetition N       ARQ: repetition cycle length, the request and the N - 1 characters (default 4)\n"
    "  -h, --help           show this text\n"
    "\n"
    "Space and Mark name the tones as the decoder's Space and Mark fields do: with \"Normal\" polarity the\n"
    "decoder takes the space tone as 1. Line ends are sent as carriage return and line feed.\n"
    "--mode packet sends AX.25 frames in HDLC framing with NRZI, one frame per line of TEXT:\n"
    "  SRC>DST[,DIGI[*]]... [TYPE] [C|R|V1] [P] [NS=n] [NR=n] [PID=hex] [BADFCS] [: information]\n"
    "  TYPE: UI (default) I RR RNR REJ SREJ DM SABM SABME DISC UA FRMR XID TEST; \"*\" = has been repeated;\n"
    "  NET/ROM I frame: NETROM=ORIGIN>DEST TTL=n OP=hex CIRCUIT=a/b/c/d WINDOW=n USER=CALL NODE=CALL;\n"
    "  NODES broadcast: NODES=ALIAS ENTRY=CALL/ALIAS/NEIGHBOUR/QUALITY ...; information escapes \\r \\n \\xHH.\n"
    "  AFSK 1200 bit/s: --baud 1200 --space 2200 --mark 1200; 300 bit/s: --baud 300 --space 1800 --mark 1600.\n"
    "Exit status: 0 on success, 2 on any error.\n";

struct Options {
    std::string output;
    bool haveOutput = false;
    std::optional<std::string> text;
    std::string mode = "ita2";
    Parity parity = Parity::None;
    std::optional<double> stopBits;
    int arqmChannels = 2;
    int arqmCycle = 4;
    ArqmSource::Version arqmVersion = ArqmSource::Version::V342;
    std::vector<std::string> channelTexts;
    SevenBitSet sevenBitSet = SevenBitSet::Ccir476;
    int charsInCycle = 3;
    int cycleLength = 45;
    int invertingRate = 0;
    std::optional<int> phasing;
    int repeatEvery = 0;
    int repetitionCycle = 4;
    GeneratorSettings settings;
    bool help = false;
};

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

double ParseNumber(const std::string &option, const char *value)
{
    errno = 0;
    char *end = nullptr;
    const double number = std::strtod(value, &end);
    if (end == value || *end != '\0' || errno == ERANGE || !std::isfinite(number))
        throw Failure{option + ": '" + value + "' is not a number"};
    return number;
}

uint64_t ParseUnsigned(const std::string &option, const char *value)
{
    errno = 0;
    char *end = nullptr;
    const unsigned long long number = std::strtoull(value, &end, 10);
    if (value[0] < '0' || value[0] > '9' || *end != '\0' || errno == ERANGE)
        throw Failure{option + ": '" + value + "' is not a whole number"};
    return number;
}

SevenBitSet ParseSevenBitSet(const char *value)
{
    const std::string_view name = value;
    if (name == "ccir476")
        return SevenBitSet::Ccir476;
    if (name == "ita3")
        return SevenBitSet::Ita3;
    if (name == "ita2p")
        return SevenBitSet::Ita2P;
    throw Failure{std::string("--charset: '") + value + "' is not ccir476, ita3 or ita2p"};
}

int ParseCount(const std::string &option, const char *value, int lowest, int highest)
{
    const uint64_t number = ParseUnsigned(option, value);
    if (number < uint64_t(lowest) || number > uint64_t(highest))
        throw Failure{option + ": '" + value + "' is not in " + std::to_string(lowest) + ".." +
                      std::to_string(highest)};
    return int(number);
}

Parity ParseParity(const char *value)
{
    const std::string_view name = value;
    if (name == "none")
        return Parity::None;
    if (name == "even")
        return Parity::Even;
    if (name == "odd")
        return Parity::Odd;
    throw Failure{std::string("--parity: '") + value + "' is not none, even or odd"};
}

double ParseStopBits(const char *value)
{
    const double stop = ParseNumber("--stop", value);
    if (stop != 1.0 && stop != 1.5 && stop != 2.0)
        throw Failure{std::string("--stop: '") + value + "' is not 1, 1.5 or 2"};
    return stop;
}

int ParseArqmChannels(const char *value)
{
    const uint64_t channels = ParseUnsigned("--channels", value);
    if (channels != 1 && channels != 2 && channels != 4)
        throw Failure{std::string("--channels: '") + value + "' is not 1, 2 or 4"};
    return static_cast<int>(channels);
}

int ParseArqmCycle(const char *value)
{
    const uint64_t cycle = ParseUnsigned("--cycle", value);
    if (cycle < 1 || cycle > 255)
        throw Failure{std::string("--cycle: '") + value + "' is not 1..255"};
    return static_cast<int>(cycle);
}

ArqmSource::Version ParseArqmVersion(const char *value)
{
    const std::string_view name = value;
    if (name == "242")
        return ArqmSource::Version::V242;
    if (name == "342")
        return ArqmSource::Version::V342;
    throw Failure{std::string("--version: '") + value + "' is not 242 or 342"};
}

Options ParseArguments(int argc, char **argv)
{
    Options options;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnd || argument == "-" || argument.empty() || argument[0] != '-') {
            if (options.text)
                throw Failure{"unexpected argument '" + argument + "': give the text as one argument (quote it)"};
            options.text = argument;
            continue;
        }
        if (argument == "--") {
            optionsEnd = true;
            continue;
        }
        std::string name = argument;
        const char *inlineValue = nullptr;
        const size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            inlineValue = argv[i] + equals + 1;
        }
        if (name == "-h" || name == "--help") {
            options.help = true;
            continue;
        }
        if (name == "--reverse") {
            if (inlineValue)
                throw Failure{"--reverse takes no value"};
            options.settings.reverse = true;
            continue;
        }
        static const char *const kValued[] = {"-o",    "--output", "--mode",  "--parity",    "--stop",
                                              "--baud", "--space", "--mark",  "--offset",    "--rate",
                                              "--amplitude", "--lead", "--trail", "--snr", "--seed", "--channels", "--cycle",
                                              "--version", "--channel-text",
                                              "--charset", "--chars-in-cycle", "--cycle-length",
                                              "--inverting-rate", "--phasing", "--repeat-every", "--repetition"};
        bool known = false;
        for (const char *valued : kValued)
            known = known || name == valued;
        if (!known)
            throw Failure{"unknown option '" + name + "' (see --help)"};
        const char *value = inlineValue;
        if (!value) {
            if (i + 1 >= argc)
                throw Failure{name + " needs a value"};
            value = argv[++i];
        }
        GeneratorSettings &s = options.settings;
        if (name == "-o" || name == "--output") {
            options.output = value;
            options.haveOutput = true;
        } else if (name == "--mode") {
            options.mode = value;
        } else if (name == "--parity") {
            options.parity = ParseParity(value);
        } else if (name == "--stop") {
            options.stopBits = ParseStopBits(value);
        } else if (name == "--baud") {
            s.baud = ParseNumber(name, value);
        } else if (name == "--space") {
            s.space = ParseNumber(name, value);
        } else if (name == "--mark") {
            s.mark = ParseNumber(name, value);
        } else if (name == "--offset") {
            s.offset = ParseNumber(name, value);
        } else if (name == "--rate") {
            const uint64_t rate = ParseUnsigned(name, value);
            s.sampleRate = rate > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(rate);
        } else if (name == "--amplitude") {
            s.amplitude = ParseNumber(name, value);
        } else if (name == "--lead") {
            s.leadSeconds = ParseNumber(name, value);
        } else if (name == "--trail") {
            s.trailSeconds = ParseNumber(name, value);
        } else if (name == "--snr") {
            s.snrDb = ParseNumber(name, value);
        } else if (name == "--channels") {
            options.arqmChannels = ParseArqmChannels(value);
        } else if (name == "--cycle") {
            options.arqmCycle = ParseArqmCycle(value);
        } else if (name == "--version") {
            options.arqmVersion = ParseArqmVersion(value);
        } else if (name == "--channel-text") {
            options.channelTexts.emplace_back(value);
        } else if (name == "--charset") {
            options.sevenBitSet = ParseSevenBitSet(value);
        } else if (name == "--chars-in-cycle") {
            options.charsInCycle = ParseCount(name, value, 1, 1000);
        } else if (name == "--cycle-length") {
            options.cycleLength = ParseCount(name, value, 7, 7000);
        } else if (name == "--inverting-rate") {
            options.invertingRate = ParseCount(name, value, 0, 1000);
        } else if (name == "--phasing") {
            options.phasing = ParseCount(name, value, 0, 10000);
        } else if (name == "--repeat-every") {
            options.repeatEvery = ParseCount(name, value, 0, 100000);
        } else if (name == "--repetition") {
            options.repetitionCycle = ParseCount(name, value, 1, 1000);
        } else {
            s.seed = ParseUnsigned(name, value);
        }
    }
    return options;
}

std::unique_ptr<BitSource> MakeBitSource(const Options &options)
{
    struct AsyncMode {
        const char *name;
        AsyncSource::Code code;
        double defaultStopBits;
    };
    static const AsyncMode kAsyncModes[] = {
        {"ita2", AsyncSource::Code::Ita2, 1.5},
        {"ira", AsyncSource::Code::Ira, 1.0},
        {"ascii8", AsyncSource::Code::Ascii8, 1.0},
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
        return std::make_unique<ArqmSource>(options.arqmChannels, options.arqmCycle, options.arqmVersion,
                                            options.channelTexts);
    }
    if (options.mode == "cis")
        return std::make_unique<CisSource>();
    if (options.mode == "arq")
        return std::make_unique<ArqSource>(ArqSettings{options.sevenBitSet, options.charsInCycle, options.cycleLength,
                                                       options.invertingRate, options.phasing.value_or(4),
                                                       options.repeatEvery, options.repetitionCycle});
    if (options.mode == "fec")
        return std::make_unique<FecSource>(
            FecSettings{options.sevenBitSet, options.invertingRate, options.phasing.value_or(16)});
    throw Failure{"--mode: '" + options.mode + "' is not ita2, ira, ascii8, arq, fec, arqm, cis or packet"};
}

std::string ReadText(const Options &options)
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
    const Options options = ParseArguments(argc, argv);
    if (options.help) {
        std::fputs(kUsage, stdout);
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
    const bool rendered = generator.Render(keying, source->IdleLevel(), [&](const int16_t *block, size_t count) {
        return output.Write(block, count);
    });
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
