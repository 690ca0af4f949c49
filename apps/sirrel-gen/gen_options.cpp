#include "gen_options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace sirrel::siggen {
namespace {

template <typename T> using Choices = std::vector<std::pair<std::string, T>>;

// Any finite number: the generator's own checks say which ones make no signal.
double Number(const std::string &value)
{
    errno = 0;
    char *end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    if (end == value.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(number))
        throw cli::BadValue{"a number"};
    return number;
}

uint64_t Unsigned(const std::string &value)
{
    errno = 0;
    char *end = nullptr;
    const unsigned long long number = std::strtoull(value.c_str(), &end, 10);
    if (value.empty() || value[0] < '0' || value[0] > '9' || *end != '\0' || errno == ERANGE)
        throw cli::BadValue{"a whole number"};
    return number;
}

int Count(const std::string &value, int lowest, int highest)
{
    const std::string range = "a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest);
    uint64_t number = 0;
    try {
        number = Unsigned(value);
    } catch (const cli::BadValue &) {
        throw cli::BadValue{range};
    }
    if (number < uint64_t(lowest) || number > uint64_t(highest))
        throw cli::BadValue{range};
    return int(number);
}

const Choices<bool> kModes = {{"ita2", true}, {"ira", true},  {"ascii8", true}, {"arq", true},
                              {"fec", true},  {"arqm", true}, {"cis", true},    {"packet", true}};
const Choices<Parity> kParities = {{"none", Parity::kNone}, {"even", Parity::kEven}, {"odd", Parity::kOdd}};
const Choices<bool> kPolarities = {{"normal", false}, {"reversed", true}};
const Choices<int> kArqmChannels = {{"1", 1}, {"2", 2}, {"4", 4}};
const Choices<ArqmSource::Version> kArqmVersions = {{"242", ArqmSource::Version::kV242},
                                                    {"342", ArqmSource::Version::kV342}};
const Choices<ArqGap> kArqGaps = {{"reversals", ArqGap::kReversals}, {"quiet", ArqGap::kQuiet}};
const Choices<SevenBitSet> kCharsets = {
    {"ccir476", SevenBitSet::kCcir476}, {"ita3", SevenBitSet::kIta3}, {"ita2p", SevenBitSet::kIta2P}};

} // namespace

const cli::ProgramText &GenProgramText()
{
    static const cli::ProgramText text = {
        "sirrel-gen",
        SIRREL_VERSION,
        "make FSK test signals",
        "[options] -o FILE [TEXT]",
        "Makes an FSK test signal of TEXT (standard input when TEXT is absent or \"-\") as a 16-bit mono WAV file.",
        "Space and Mark name the tones as the decoder's Space and Mark fields do: with \"Normal\" polarity the\n"
        "decoder takes the space tone as 1. Line ends are sent as carriage return and line feed.\n"
        "--mode cis sends CIS-11 frames of ITA2 characters; the usual rate is --baud 100.\n"
        "--mode packet sends AX.25 frames in HDLC framing with NRZI, one frame per line of TEXT:\n"
        "  SRC>DST[,DIGI[*]]... [TYPE] [C|R|V1] [P] [NS=n] [NR=n] [PID=hex] [BADFCS] [: information]\n"
        "  TYPE: UI (default) I RR RNR REJ SREJ DM SABM SABME DISC UA FRMR XID TEST; \"*\" = has been repeated;\n"
        "  NET/ROM I frame: NETROM=ORIGIN>DEST TTL=n OP=hex CIRCUIT=a/b/c/d WINDOW=n USER=CALL NODE=CALL;\n"
        "  NODES broadcast: NODES=ALIAS ENTRY=CALL/ALIAS/NEIGHBOUR/QUALITY ...; information escapes \\r \\n \\xHH.\n"
        "  AFSK 1200 bit/s: --baud 1200 --space 2200 --mark 1200; 300 bit/s: --baud 300 --space 1800 --mark 1600.\n"
        "Exit status: 0 on success, 2 on any error.\n",
    };
    return text;
}

cli::OptionTable GenOptionTable(GenOptions &o)
{
    GeneratorSettings &s = o.settings;
    auto number = [](double &field) { return [&field](const std::string &v) { field = Number(v); }; };
    auto count = [](int &field, int lowest, int highest) {
        return [&field, lowest, highest](const std::string &v) { field = Count(v, lowest, highest); };
    };
    return {
        {"--output", "-o", "FILE", "the WAV file to write; \"-\" writes it to standard output", "out.wav",
         [&o](const std::string &v) {
             o.output = v;
             o.haveOutput = true;
         }},
        {"--mode", "", cli::ChoiceList(kModes),
         "ita2 (5-bit Baudot, the default), ira (7-bit), ascii8 (8-bit) or a synchronous mode", "fec",
         [&o](const std::string &v) {
             cli::Choose(kModes, v);
             o.mode = v;
         }},
        {"--parity", "", cli::ChoiceList(kParities), "parity bit of ita2, ira and ascii8 (default none)", "odd",
         [&o](const std::string &v) { o.parity = cli::Choose(kParities, v); }},
        {"--stop", "", "N", "stop bits: 1, 1.5 or 2 (default 1.5 for ita2, else 1)", "2",
         [&o](const std::string &v) {
             double stop = 0;
             try {
                 stop = Number(v);
             } catch (const cli::BadValue &) {
             }
             if (stop != 1.0 && stop != 1.5 && stop != 2.0)
                 throw cli::BadValue{"1, 1.5 or 2"};
             o.stopBits = stop;
         }},
        {"--baud", "", "B", "bits per second (default 45.45)", "50", number(s.baud)},
        {"--space", "", "HZ", "tone of a 1 bit and of the idle line (default 1000)", "1200", number(s.space)},
        {"--mark", "", "HZ", "tone of a 0 bit and of the start bit (default 1170)", "1400", number(s.mark)},
        {"--polarity", "", cli::ChoiceList(kPolarities), "reversed swaps the tones (default normal)", "reversed",
         [&s](const std::string &v) { s.reverse = cli::Choose(kPolarities, v); }},
        {"--offset", "", "HZ", "shift both tones by HZ (default 0)", "10", number(s.offset)},
        {"--rate", "", "HZ", "sample rate (default 11025)", "8000",
         [&s](const std::string &v) {
             const uint64_t rate = Unsigned(v);
             s.sampleRate = rate > UINT32_MAX ? UINT32_MAX : uint32_t(rate);
         }},
        {"--amplitude", "", "A", "peak level, 0..1 of full scale (default 0.5)", "0.3", number(s.amplitude)},
        {"--lead", "", "S", "seconds of idle tone before the text (default 1.0)", "0.2", number(s.leadSeconds)},
        {"--trail", "", "S", "seconds of idle tone after the text (default 0.5)", "0.1", number(s.trailSeconds)},
        {"--snr", "", "DB", "add white noise: signal-to-noise ratio in a 3 kHz band", "10",
         [&s](const std::string &v) { s.snrDb = Number(v); }},
        {"--seed", "", "N", "seed of the noise (default 1); the same seed gives the same noise", "7",
         [&s](const std::string &v) { s.seed = Unsigned(v); }},
        {"--help", "-h", "", "show this text", "", [&o](const std::string &) { o.help = true; }},
        {"--version", "", "", "show the program's name and version", "",
         [&o](const std::string &) { o.version = true; }},
        {"--man", "", "", "write the manual page in roff", "", [&o](const std::string &) { o.man = true; }, true},

        {"",
         "",
         "",
         "ARQ (--mode arq; SITOR-A: --baud 100) and FEC (--mode fec; SITOR-B and NAVTEX: --baud 100):",
         "",
         {}},
        {"--charset", "", cli::ChoiceList(kCharsets), "character set (default ccir476)", "ita3",
         [&o](const std::string &v) { o.sevenBitSet = cli::Choose(kCharsets, v); }},
        {"--chars-in-cycle", "", "N", "ARQ characters per block, 1..1000 (default 3)", "6",
         count(o.charsInCycle, 1, 1000)},
        {"--cycle-length", "", "L", "ARQ bits per cycle, block and gap, 7..7000 (default 45)", "70",
         count(o.cycleLength, 7, 7000)},
        {"--gap", "", cli::ChoiceList(kArqGaps),
         "what is heard of the other station in the ARQ gap: its reversals at full level, half a bit off this "
         "station's bits (default), or nothing",
         "quiet", [&o](const std::string &v) { o.arqGap = cli::Choose(kArqGaps, v); }},
        {"--inverting-rate", "", "R", "invert every R-th character, 0..1000 (default 0: none)", "2",
         count(o.invertingRate, 0, 1000)},
        {"--phasing", "", "N", "phasing blocks (ARQ, default 4) or phasing signal pairs (FEC, default 16)", "2",
         [&o](const std::string &v) { o.phasing = Count(v, 0, 10000); }},
        {"--repeat-every", "", "K", "ARQ: after every K characters a repetition request and the last characters again",
         "9", count(o.repeatEvery, 0, 100000)},
        {"--repetition", "", "N",
         "repetition cycle: ARQ, the request and the N - 1 characters, 1..1000; ARQ-M, characters of each "
         "channel, 1..255 (default 4)",
         "5", count(o.repetitionCycle, 1, 1000)},

        {"", "", "", "ARQ-M (--mode arqm; the usual rate is --baud 96):", "", {}},
        {"--arqm-channels", "", cli::ChoiceList(kArqmChannels), "time-multiplexed channels (default 2)", "4",
         [&o](const std::string &v) { o.arqmChannels = cli::Choose(kArqmChannels, v); }},
        {"--arqm-version", "", cli::ChoiceList(kArqmVersions), "polarity pattern (default 342)", "242",
         [&o](const std::string &v) { o.arqmVersion = cli::Choose(kArqmVersions, v); }},
        {"--channel-text", "", "TEXT", "text of the next channel, B, C, D in order (TEXT is channel A's); others idle",
         "B", [&o](const std::string &v) { o.channelTexts.push_back(v); }},
    };
}

GenOptions ParseGenOptions(const std::vector<std::string> &args)
{
    GenOptions options;
    cli::ParseOptions(GenOptionTable(options), args, [&options](const std::string &argument) {
        if (options.text)
            throw cli::OptionError{"unexpected argument '" + argument + "': give the text as one argument (quote it)"};
        options.text = argument;
    });
    return options;
}

} // namespace sirrel::siggen
