#include "options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

#include "protocols/data_folder.h"
#include "protocols/protocol_library.h"
#include "protocols/translation_tables.h"

namespace sirrel {

namespace {

// A setting given on the command line: applied after the protocol, in the order given.
using Setter = std::function<void(SettingsModel &)>;

struct Pending {
    std::string protocol;
    std::vector<Setter> setters;
    // Mode-dependent values go to the fields of the mode in force once every option is read.
    std::vector<Setter> modeSetters;
    bool demodulatorGiven = false;
    bool rateGiven = false;
};

constexpr double kFinePacketBaud = 1000.0;
constexpr uint32_t kFinePacketRate = 22050;

// The decoders for which the weak-signal demodulator decodes more at low signal-to-noise ratios than the
// specified ones (measured with a known bit rate: ITA2 text, FEC, ARQ, ARQ-M, CIS, 1200-baud packet).
bool WeakSignalIsBetter(const SettingsModel &s)
{
    // 300-baud packet decoded fewer frames with it than with the plain tone filters.
    const bool fastPacket = s.mode == kModePacket && s.baudrate >= kFinePacketBaud;
    // 7- and 8-bit text lost its first characters of a short burst from another transmitter; ITA2 did not.
    const bool synchronous = s.mode == kModeFec || s.mode == kModeArq || s.mode == kModeArqm || s.mode == kModeCis;
    return !s.baudAuto && (s.mode == kModeIta2 || synchronous || fastPacket);
}

double NumberIn(const std::string &text, double low, double high)
{
    errno = 0;
    char *end = nullptr;
    const double value = text.empty() ? 0 : std::strtod(text.c_str(), &end);
    if (text.empty() || errno != 0 || *end != 0 || !std::isfinite(value) || value < low || value > high) {
        char range[64];
        std::snprintf(range, sizeof range, "a number from %g to %g", low, high);
        throw cli::BadValue{range};
    }
    return value;
}

long IntegerIn(const std::string &text, long low, long high)
{
    errno = 0;
    char *end = nullptr;
    const long value = text.empty() ? 0 : std::strtol(text.c_str(), &end, 0);
    if (text.empty() || errno != 0 || *end != 0 || value < low || value > high)
        throw cli::BadValue{"a whole number from " + std::to_string(low) + " to " + std::to_string(high)};
    return value;
}

template <typename T> using Choices = std::vector<std::pair<std::string, T>>;

const Choices<int32_t> kModes = {
    {"ita2", kModeIta2}, {"ira", kModeIra},       {"ascii8", kModeAscii8}, {"arq", kModeArq},     {"arqm", kModeArqm},
    {"fec", kModeFec},   {"packet", kModePacket}, {"cis", kModeCis},       {"raw", kModeRawBits},
};
const Choices<DemodulatorChoice> kDemodulators = {{"plain", kDemodPlain},
                                                  {"optimal", kDemodOptimal},
                                                  {"highspeed", kDemodHighSpeed},
                                                  {"correlative", kDemodCorrelative},
                                                  {"weak", kDemodWeakSignal}};
const Choices<int32_t> kShifts = {{"any", 0}, {"170", 1}, {"425", 2}, {"850", 3}};
const Choices<int32_t> kPolarities = {{"auto", 0}, {"normal", 1}, {"reversed", 2}};
const Choices<int32_t> kParities = {{"none", 0}, {"even", 1}, {"odd", 2}};
const Choices<int32_t> kCharsets = {{"ccir476", 0}, {"ita3", 1}, {"ita2p", 2}};
const Choices<bool> kAutoManual = {{"auto", true}, {"manual", false}};
const Choices<bool> kOnOff = {{"on", true}, {"off", false}};
const Choices<int32_t> kChannels = {{"1", 0}, {"2", 1}, {"4", 2}};
const Choices<int32_t> kVersions = {{"242", 0}, {"342", 1}};
const Choices<int32_t> kFrameSizes = {{"11", 0}, {"14", 1}, {"27", 2}, {"28", 3}};
const Choices<OutputColor> kColors = {
    {"auto", OutputColor::kAuto}, {"always", OutputColor::kAlways}, {"never", OutputColor::kNever}};

const cli::ProgramText &ProgramText()
{
    static const cli::ProgramText text = {
        "sirrel-decode",
        SIRREL_VERSION,
        "decode FSK data from a recording",
        "[options] FILE...|-|--device NAME",
        "Decodes FSK data from WAV files, or raw signed 16-bit little-endian mono audio on stdin (-, only alone).\n"
        "With --device it decodes what a sound card hears, live, until Ctrl-C, at the processing rate.\n"
        "A stored protocol (--protocol) sets everything; the single settings after it override it.\n"
        "Several files are decoded at once (--jobs), each with the same settings; each file's text is printed\n"
        "whole, in the order the files were given. With --log-dir each file's logs go to a folder of their own\n"
        "in DIR, named after the file without its extension (DIR/signal/ for a/signal.wav); files of one name\n"
        "would share it and are refused.",
        "While the text goes to a file or a pipe, a single file longer than a minute shows its progress on a\n"
        "terminal's stderr (see --quiet); several files show none.\n"
        "A file that cannot be read is reported by name on stderr and the others are still decoded.\n"
        "Exit status: 0 on success, 2 on any error.\n",
    };
    return text;
}

// The options, their handlers bound to the settings being collected. Settings are kept as setters so that they
// apply after the protocol, whatever the order on the command line.
cli::OptionTable DecodeTable(Pending &pending, DecodeOptions &options)
{
    auto set = [&pending](Setter setter) { pending.setters.push_back(std::move(setter)); };
    auto setForMode = [&pending](Setter setter) { pending.modeSetters.push_back(std::move(setter)); };
    auto tone = [set](bool space) {
        return [set, space](const std::string &v) {
            const double hz = NumberIn(v, 1, 3000);
            set([hz, space](SettingsModel &s) { (space ? s.space : s.mark) = hz; });
        };
    };
    return {
        {"", "", "", "Input and output:", "", {}},
        {"--protocol", "", "NAME", "apply a stored protocol (see --list-protocols)", "SITOR-B",
         [&pending](const std::string &v) { pending.protocol = v; }},
        {"--list-protocols", "", "", "print every protocol name (the user's, then the stock ones)", "",
         [&options](const std::string &) { options.listProtocols = true; }},
        {"--device", "", "NAME", "decode live from a sound card: default, or an ALSA device (see --list-devices)",
         "default", [&options](const std::string &v) { options.device = v; }},
        {"--list-devices", "", "", "print the sound cards' capture devices: ALSA name and description", "",
         [&options](const std::string &) { options.listDevices = true; }},
        {"--data-dir", "", "DIR", "folder of the stored protocols and tables", "/nonexistent",
         [&options](const std::string &v) { options.dataDir = v; }},
        {"--table", "", "NAME", "apply a translation table of the tables file", "",
         [&options](const std::string &v) { options.table = v; }},
        {"--rate", "", "HZ", "processing rate, 4000..192000 (default 11025; see --demod)", "8000",
         [&options, &pending](const std::string &v) {
             options.processingRate = uint32_t(IntegerIn(v, 4000, 192000));
             pending.rateGiven = true;
         }},
        {"--input-rate", "", "HZ", "rate of raw audio on stdin (default: the processing rate)", "8000",
         [&options](const std::string &v) { options.inputRate = uint32_t(IntegerIn(v, 4000, 192000)); }},
        {"--channel", "", "N", "print channel N (1..4) instead of channel 1", "2",
         [&options](const std::string &v) { options.channel = int(IntegerIn(v, 1, 4)) - 1; }},
        {"--all-channels", "", "", "print complete lines of every channel, prefixed [N]", "",
         [&options](const std::string &) { options.allChannels = true; }},
        {"--jobs", "-j", "N", "decode up to N files at once, 1..1024 (default: one per processor)", "2",
         [&options](const std::string &v) { options.jobs = unsigned(IntegerIn(v, 1, 1024)); }},
        {"--log-dir", "", "DIR", "also write the four channel logs there (several files: DIR/NAME/)", "logs",
         [&options](const std::string &v) { options.logDir = v; }},
        {"--stats", "", "", "print the character statistics at the end", "",
         [&options](const std::string &) { options.stats = true; }},
        {"--color", "", cli::ChoiceList(kColors), "colour the text as the decoder marks it (default auto)", "never",
         [&options](const std::string &v) { options.color = cli::Choose(kColors, v); }},
        {"--quiet", "-q", "", "show no progress line on stderr", "",
         [&options](const std::string &) { options.quiet = true; }},
        {"--help", "-h", "", "show this text", "", [&options](const std::string &) { options.help = true; }},
        {"--version", "", "", "show the program's name and version", "",
         [&options](const std::string &) { options.version = true; }},
        {"--man", "", "", "write the manual page in roff", "", [&options](const std::string &) { options.man = true; },
         true},

        {"", "", "", "Settings (after --protocol, whatever their order):", "", {}},
        {"--mode", "", cli::ChoiceList(kModes), "the decoder", "fec",
         [set](const std::string &v) {
             const int32_t mode = cli::Choose(kModes, v);
             set([mode](SettingsModel &s) { s.mode = mode; });
         }},
        {"--space", "", "HZ", "space tone frequency (1..3000)", "1000", tone(true)},
        {"--mark", "", "HZ", "mark tone frequency (1..3000)", "1170", tone(false)},
        {"--tune", "", cli::ChoiceList(kAutoManual), "automatic tuning from the spectrum", "manual",
         [set](const std::string &v) {
             const bool automatic = cli::Choose(kAutoManual, v);
             set([automatic](SettingsModel &s) { s.tuneAuto = automatic; });
         }},
        {"--shift", "", cli::ChoiceList(kShifts), "tone spacing the automatic tuning looks for", "170",
         [set](const std::string &v) {
             const int32_t shift = cli::Choose(kShifts, v);
             set([shift](SettingsModel &s) { s.shiftIndex = shift; });
         }},
        {"--baud", "", "B", "bit rate (1..2000)", "50",
         [set](const std::string &v) {
             const double baud = NumberIn(v, 1, 2000);
             set([baud](SettingsModel &s) { s.baudrate = baud; });
         }},
        {"--baud-mode", "", cli::ChoiceList(kAutoManual), "automatic bit rate", "manual",
         [set](const std::string &v) {
             const bool automatic = cli::Choose(kAutoManual, v);
             set([automatic](SettingsModel &s) { s.baudAuto = automatic; });
         }},
        {"--demod", "", cli::ChoiceList(kDemodulators),
         "the demodulator (default: weak at a manual bit rate for ita2, fec, arq, arqm, cis and 1200-baud packet, "
         "else the protocol's; weak runs 1200-baud packet at --rate 22050)",
         "optimal",
         [set, &pending](const std::string &v) {
             const DemodulatorChoice demod = cli::Choose(kDemodulators, v);
             pending.demodulatorGiven = true;
             set([demod](SettingsModel &s) { s.SetDemodulator(demod); });
         }},
        {"--polarity", "", cli::ChoiceList(kPolarities), "which tone is a 1: normal takes the space tone", "reversed",
         [set](const std::string &v) {
             const int32_t polarity = cli::Choose(kPolarities, v);
             set([polarity](SettingsModel &s) { s.polarity = polarity; });
         }},
        {"--mask", "", "N", "bit inversion mask (0..255)", "3",
         [set](const std::string &v) {
             const int32_t mask = int32_t(IntegerIn(v, 0, 255));
             set([mask](SettingsModel &s) { s.inversionMask = mask; });
         }},
        {"--parity", "", cli::ChoiceList(kParities), "parity bit of ira and ascii8", "even",
         [set](const std::string &v) {
             const int32_t parity = cli::Choose(kParities, v);
             set([parity](SettingsModel &s) { s.parityIndex = parity; });
         }},

        {"--unshift-on-space", "", cli::ChoiceList(kOnOff), "a space returns ITA2 text to letters (default on)", "off",
         [set](const std::string &v) {
             const bool on = cli::Choose(kOnOff, v);
             set([on](SettingsModel &s) { s.unshiftOnSpace = on; });
         }},

        {"", "", "", "ARQ, FEC and ARQ-M:", "", {}},
        {"--cycle-length", "", "N", "ARQ bits per cycle, block and gap (7..1000)", "45",
         [set](const std::string &v) {
             const double bits = double(IntegerIn(v, 7, 1000));
             set([bits](SettingsModel &s) { s.arqCycleLength = bits; });
         }},
        {"--chars-in-cycle", "", "N", "characters per block, of ARQ or FEC by --mode (1..1000)", "3",
         [setForMode](const std::string &v) {
             const double n = double(IntegerIn(v, 1, 1000));
             setForMode([n](SettingsModel &s) { (s.mode == kModeFec ? s.fecCharsInCycle : s.arqCharsInCycle) = n; });
         }},
        {"--inverting-rate", "", "N", "every N-th character inverted, of ARQ or FEC by --mode (0..1000)", "0",
         [setForMode](const std::string &v) {
             const double n = double(IntegerIn(v, 0, 1000));
             setForMode([n](SettingsModel &s) { (s.mode == kModeFec ? s.fecInvertingRate : s.arqInvertingRate) = n; });
         }},
        {"--repetition", "", "N", "repetition cycle of ARQ, or of ARQ-M with --mode arqm (1..1000; ARQ-M: 255 at most)",
         "4",
         [setForMode](const std::string &v) {
             const long n = IntegerIn(v, 1, 1000);
             setForMode([n](SettingsModel &s) {
                 if (s.mode == kModeArqm)
                     s.arqmRepetitionCycle = double(std::min(n, 255L));
                 else
                     s.arqRepetitionCycle = double(n);
             });
         }},
        {"--charset", "", cli::ChoiceList(kCharsets), "character set, of ARQ or FEC by --mode", "ita3",
         [setForMode](const std::string &v) {
             const int32_t charset = cli::Choose(kCharsets, v);
             setForMode([charset](SettingsModel &s) {
                 (s.mode == kModeFec ? s.fecCharsetIndex : s.arqCharsetIndex) = charset;
             });
         }},
        {"--fec-correction", "", cli::ChoiceList(kOnOff),
         "FEC takes each character from whichever copy checks (default on)", "off",
         [set](const std::string &v) {
             const bool on = cli::Choose(kOnOff, v);
             set([on](SettingsModel &s) { s.fecCorrection = on; });
         }},
        {"--arq-correction", "", cli::ChoiceList(kOnOff),
         "ARQ keeps the block timing once found and marks the codes that fail (default on)", "off",
         [set](const std::string &v) {
             const bool on = cli::Choose(kOnOff, v);
             set([on](SettingsModel &s) { s.arqCorrection = on; });
         }},
        {"--arqm-channels", "", cli::ChoiceList(kChannels), "ARQ-M time-multiplexed channels", "4",
         [set](const std::string &v) {
             const int32_t index = cli::Choose(kChannels, v);
             set([index](SettingsModel &s) { s.arqmChannelsIndex = index; });
         }},
        {"--arqm-version", "", cli::ChoiceList(kVersions), "ARQ-M polarity pattern", "242",
         [set](const std::string &v) {
             const int32_t index = cli::Choose(kVersions, v);
             set([index](SettingsModel &s) { s.arqmVersionIndex = index; });
         }},

        {"", "", "", "Packet and CIS:", "", {}},
        {"--crc-ignore", "", "", "show packet frames with a bad check sequence", "",
         [set](const std::string &) { set([](SettingsModel &s) { s.packetCrcIgnore = true; }); }},
        {"--frame-size", "", cli::ChoiceList(kFrameSizes), "CIS frame size", "14",
         [set](const std::string &v) {
             const int32_t index = cli::Choose(kFrameSizes, v);
             set([index](SettingsModel &s) { s.cisFrameSizeIndex = index; });
         }},
        {"--min-sync", "", "N", "CIS frames in sync before text is shown (1..255)", "2",
         [set](const std::string &v) {
             const double n = double(IntegerIn(v, 1, 255));
             set([n](SettingsModel &s) { s.cisMinSyncFrames = n; });
         }},
        {"--max-errors", "", "N", "CIS errors before sync is lost (1..255)", "3",
         [set](const std::string &v) {
             const double n = double(IntegerIn(v, 1, 255));
             set([n](SettingsModel &s) { s.cisMaxErrors = n; });
         }},
    };
}

} // namespace

std::vector<std::string> ProtocolNames(const DecodeOptions &options)
{
    const DataPaths paths = DataPathsIn(options.dataDir.empty() ? ResolveDataFolder() : options.dataDir);
    std::vector<std::string> names = StoredProtocolNames(paths.protocols);
    for (const ProtocolRecord &record : DefaultProtocols()) {
        if (std::find(names.begin(), names.end(), record.name) == names.end())
            names.push_back(record.name);
    }
    return names;
}

cli::OptionTable DecodeOptionTable()
{
    static Pending pending;
    static DecodeOptions options;
    return DecodeTable(pending, options);
}

const char *DecodeUsage()
{
    static const std::string text = cli::HelpText(DecodeOptionTable(), ProgramText());
    return text.c_str();
}

bool PrintInformation(const DecodeOptions &options)
{
    if (options.help)
        std::fputs(DecodeUsage(), stdout);
    else if (options.version)
        std::printf("%s %s\n", ProgramText().name.c_str(), ProgramText().version.c_str());
    else if (options.man)
        std::fputs(cli::ManPage(DecodeOptionTable(), ProgramText()).c_str(), stdout);
    else
        return false;
    return true;
}

std::string DecodeShortUsage() { return cli::ShortUsage(ProgramText()); }

bool ParseDecodeOptions(const std::vector<std::string> &args, SettingsModel &settings, DecodeOptions &options,
                        std::string &error)
{
    Pending pending;
    try {
        cli::ParseOptions(DecodeTable(pending, options), args, [&](const std::string &argument) {
            // Raw audio has no name to keep its text or logs apart from a file's.
            const bool stdinAmong = argument == "-" || (options.inputs.size() == 1 && options.inputs[0] == "-");
            if (!options.inputs.empty() && stdinAmong)
                throw cli::OptionError{"stdin (-) can only be the one input, not with '" +
                                       (argument == "-" ? options.inputs[0] : argument) + "'"};
            options.inputs.push_back(argument);
        });
    } catch (const cli::OptionError &failure) {
        error = failure.message;
        return false;
    }
    if (options.help || options.version || options.man)
        return true;

    // Reading a recording, the added corrections are on unless asked off.
    settings.unshiftOnSpace = true;
    settings.fecCorrection = true;
    settings.arqCorrection = true;

    const DataPaths paths = DataPathsIn(options.dataDir.empty() ? ResolveDataFolder() : options.dataDir);
    if (!pending.protocol.empty()) {
        std::optional<ProtocolRecord> record = FindProtocol(paths.protocols, pending.protocol);
        if (!record) {
            error = "unknown protocol '" + pending.protocol + "' (see --list-protocols)";
            return false;
        }
        record->ApplyTo(settings);
        // The protocol names its table; one missing from the tables file leaves the characters as received.
        if (options.table.empty())
            LoadTranslationTable(paths.tables, settings.translationTableName, settings);
    }
    if (!options.table.empty() && !LoadTranslationTable(paths.tables, options.table, settings)) {
        error = "unknown translation table '" + options.table + "' in '" + paths.tables + "'";
        return false;
    }
    for (const auto &set : pending.setters)
        set(settings);
    for (const auto &set : pending.modeSetters)
        set(settings);
    if (!pending.demodulatorGiven && WeakSignalIsBetter(settings))
        settings.SetDemodulator(kDemodWeakSignal);
    // 1200-baud packet has only nine samples a bit at 11025 Hz; at twice the rate the weak-signal demodulator
    // places its edges twice as finely (measured: 76 instead of 71 of 100 frames on a rising-noise file). Raw
    // audio on stdin still comes at the usual rate.
    if (settings.Demodulator() == kDemodWeakSignal && !pending.rateGiven && settings.mode == kModePacket &&
        settings.baudrate >= kFinePacketBaud) {
        if (options.inputRate == 0)
            options.inputRate = options.processingRate;
        options.processingRate = kFinePacketRate;
    }

    if (!options.device.empty() && !options.inputs.empty()) {
        error = "--device decodes the sound card alone, not with '" + options.inputs[0] + "'";
        return false;
    }
    if (options.inputs.empty() && options.device.empty() && !options.listProtocols && !options.listDevices) {
        error = "no input: give a WAV file, - for raw audio on stdin, or --device";
        return false;
    }
    if (options.inputRate == 0)
        options.inputRate = options.processingRate;
    return true;
}

} // namespace sirrel
