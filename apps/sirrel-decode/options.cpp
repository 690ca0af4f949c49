#include "options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

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
};

bool parseNumber(const std::string &text, double low, double high, double &out)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != 0 || !std::isfinite(value) || value < low || value > high)
        return false;
    out = value;
    return true;
}

bool parseInteger(const std::string &text, long low, long high, long &out)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    long value = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != 0 || value < low || value > high)
        return false;
    out = value;
    return true;
}

template <typename T>
bool pick(const std::map<std::string, T> &choices, const std::string &text, T &out)
{
    auto it = choices.find(text);
    if (it == choices.end())
        return false;
    out = it->second;
    return true;
}

std::string choiceList(const std::vector<std::string> &names)
{
    std::string list;
    for (const auto &n : names)
        list += (list.empty() ? "" : "|") + n;
    return list;
}

template <typename T>
std::vector<std::string> keysOf(const std::map<std::string, T> &choices)
{
    std::vector<std::string> keys;
    for (const auto &[k, v] : choices)
        keys.push_back(k);
    return keys;
}

const std::map<std::string, int32_t> kModes = {
    {"ita2", kModeIta2}, {"ira", kModeIra},       {"ascii8", kModeAscii8}, {"arq", kModeArq}, {"arqm", kModeArqm},
    {"fec", kModeFec},   {"packet", kModePacket}, {"cis", kModeCis},       {"raw", kModeRawBits},
};
const std::map<std::string, DemodulatorChoice> kDemodulators = {
    {"plain", kDemodPlain}, {"optimal", kDemodOptimal}, {"highspeed", kDemodHighSpeed},
    {"correlative", kDemodCorrelative}};
const std::map<std::string, int32_t> kShifts = {{"any", 0}, {"170", 1}, {"425", 2}, {"850", 3}};
const std::map<std::string, int32_t> kPolarities = {{"auto", 0}, {"normal", 1}, {"reversed", 2}};
const std::map<std::string, int32_t> kParities = {{"none", 0}, {"even", 1}, {"odd", 2}};
const std::map<std::string, int32_t> kCharsets = {{"ccir476", 0}, {"ita3", 1}, {"ita2p", 2}};
const std::map<std::string, bool> kAutoManual = {{"auto", true}, {"manual", false}};
const std::map<std::string, int32_t> kChannels = {{"1", 0}, {"2", 1}, {"4", 2}};
const std::map<std::string, int32_t> kVersions = {{"242", 0}, {"342", 1}};
const std::map<std::string, int32_t> kFrameSizes = {{"11", 0}, {"14", 1}, {"27", 2}, {"28", 3}};
const std::map<std::string, OutputColor> kColors = {
    {"auto", OutputColor::Auto}, {"always", OutputColor::Always}, {"never", OutputColor::Never}};

} // namespace

const char *DecodeUsage()
{
    return "usage: sirrel-decode [options] FILE|-\n"
           "Decodes FSK data from a WAV file, or raw signed 16-bit little-endian mono audio on stdin (-).\n"
           "  --protocol NAME        apply a stored protocol (see --list-protocols)\n"
           "  --list-protocols       print every protocol name (the user's, then the stock ones)\n"
           "  --data-dir DIR         folder of the stored protocols and tables\n"
           "  --table NAME           apply a translation table of the tables file\n"
           "  --mode ita2|ira|ascii8|arq|arqm|fec|packet|cis|raw\n"
           "  --space HZ --mark HZ   tone frequencies (1..3000)\n"
           "  --tune auto|manual     automatic tuning from the spectrum\n"
           "  --shift any|170|425|850\n"
           "  --baud B               bit rate (1..2000)\n"
           "  --baud-mode auto|manual\n"
           "  --demod plain|optimal|highspeed|correlative\n"
           "  --polarity auto|normal|reversed\n"
           "  --mask N               bit inversion mask (0..255)\n"
           "  --parity none|even|odd\n"
           "  --cycle-length N --chars-in-cycle N --inverting-rate N --repetition N\n"
           "  --charset ccir476|ita3|ita2p\n"
           "  --crc-ignore           show packet frames with a bad check sequence\n"
           "  --frame-size 11|14|27|28 --min-sync N --max-errors N\n"
           "  --channels 1|2|4 --version 242|342\n"
           "  --rate HZ              processing rate (default 11025)\n"
           "  --input-rate HZ        rate of raw audio on stdin (default: the processing rate)\n"
           "  --channel N            print channel N (1..4) instead of channel 1\n"
           "  --all-channels         print complete lines of every channel, prefixed [N]\n"
           "  --log-dir DIR          also write the four channel logs there\n"
           "  --stats                print the character statistics at the end\n"
           "  --color auto|always|never\n";
}

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

bool ParseDecodeOptions(const std::vector<std::string> &args, SettingsModel &settings, DecodeOptions &options,
                        std::string &error)
{
    Pending pending;
    bool haveInput = false;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto bad = [&](const std::string &text, const std::string &expected) {
            error = "bad value '" + text + "' for " + arg + ": expected " + expected;
            return false;
        };
        auto number = [&](double low, double high, double &out) {
            std::string text;
            if (!value(text))
                return false;
            if (!parseNumber(text, low, high, out)) {
                char range[64];
                std::snprintf(range, sizeof range, "a number from %g to %g", low, high);
                return bad(text, range);
            }
            return true;
        };
        auto integer = [&](long low, long high, long &out) {
            std::string text;
            if (!value(text))
                return false;
            if (!parseInteger(text, low, high, out))
                return bad(text, "a whole number from " + std::to_string(low) + " to " + std::to_string(high));
            return true;
        };
        auto choose = [&](const auto &choices, auto &out) {
            std::string text;
            if (!value(text))
                return false;
            if (!pick(choices, text, out))
                return bad(text, choiceList(keysOf(choices)));
            return true;
        };

        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--list-protocols") {
            options.listProtocols = true;
        } else if (arg == "--protocol") {
            if (!value(pending.protocol))
                return false;
        } else if (arg == "--mode") {
            int32_t mode = 0;
            if (!choose(kModes, mode))
                return false;
            pending.setters.push_back([mode](SettingsModel &s) { s.mode = mode; });
        } else if (arg == "--space" || arg == "--mark") {
            double hz = 0;
            if (!number(1, 3000, hz))
                return false;
            bool space = arg == "--space";
            pending.setters.push_back([hz, space](SettingsModel &s) { (space ? s.space : s.mark) = hz; });
        } else if (arg == "--tune") {
            bool automatic = false;
            if (!choose(kAutoManual, automatic))
                return false;
            pending.setters.push_back([automatic](SettingsModel &s) { s.tuneAuto = automatic; });
        } else if (arg == "--shift") {
            int32_t shift = 0;
            if (!choose(kShifts, shift))
                return false;
            pending.setters.push_back([shift](SettingsModel &s) { s.shiftIndex = shift; });
        } else if (arg == "--baud") {
            double baud = 0;
            if (!number(1, 2000, baud))
                return false;
            pending.setters.push_back([baud](SettingsModel &s) { s.baudrate = baud; });
        } else if (arg == "--baud-mode") {
            bool automatic = false;
            if (!choose(kAutoManual, automatic))
                return false;
            pending.setters.push_back([automatic](SettingsModel &s) { s.baudAuto = automatic; });
        } else if (arg == "--demod") {
            DemodulatorChoice demod = kDemodPlain;
            if (!choose(kDemodulators, demod))
                return false;
            pending.setters.push_back([demod](SettingsModel &s) { s.setDemodulator(demod); });
        } else if (arg == "--polarity") {
            int32_t polarity = 0;
            if (!choose(kPolarities, polarity))
                return false;
            pending.setters.push_back([polarity](SettingsModel &s) { s.polarity = polarity; });
        } else if (arg == "--mask") {
            long mask = 0;
            if (!integer(0, 255, mask))
                return false;
            pending.setters.push_back([mask](SettingsModel &s) { s.inversionMask = int32_t(mask); });
        } else if (arg == "--parity") {
            int32_t parity = 0;
            if (!choose(kParities, parity))
                return false;
            pending.setters.push_back([parity](SettingsModel &s) { s.parityIndex = parity; });
        } else if (arg == "--cycle-length") {
            long bits = 0;
            if (!integer(7, 1000, bits))
                return false;
            pending.setters.push_back([bits](SettingsModel &s) { s.arqCycleLength = double(bits); });
        } else if (arg == "--chars-in-cycle" || arg == "--inverting-rate") {
            bool chars = arg == "--chars-in-cycle";
            long n = 0;
            if (!integer(chars ? 1 : 0, 1000, n))
                return false;
            pending.modeSetters.push_back([n, chars](SettingsModel &s) {
                if (s.mode == kModeFec)
                    (chars ? s.fecCharsInCycle : s.fecInvertingRate) = double(n);
                else
                    (chars ? s.arqCharsInCycle : s.arqInvertingRate) = double(n);
            });
        } else if (arg == "--repetition") {
            long n = 0;
            if (!integer(1, 1000, n))
                return false;
            pending.modeSetters.push_back([n](SettingsModel &s) {
                if (s.mode == kModeArqm)
                    s.arqmRepetitionCycle = double(std::min(n, 255L));
                else
                    s.arqRepetitionCycle = double(n);
            });
        } else if (arg == "--charset") {
            int32_t charset = 0;
            if (!choose(kCharsets, charset))
                return false;
            pending.modeSetters.push_back([charset](SettingsModel &s) {
                (s.mode == kModeFec ? s.fecCharsetIndex : s.arqCharsetIndex) = charset;
            });
        } else if (arg == "--crc-ignore") {
            pending.setters.push_back([](SettingsModel &s) { s.packetCrcIgnore = true; });
        } else if (arg == "--frame-size") {
            int32_t index = 0;
            if (!choose(kFrameSizes, index))
                return false;
            pending.setters.push_back([index](SettingsModel &s) { s.cisFrameSizeIndex = index; });
        } else if (arg == "--min-sync" || arg == "--max-errors") {
            long n = 0;
            if (!integer(1, 255, n))
                return false;
            bool minSync = arg == "--min-sync";
            pending.setters.push_back(
                [n, minSync](SettingsModel &s) { (minSync ? s.cisMinSyncFrames : s.cisMaxErrors) = double(n); });
        } else if (arg == "--channels") {
            int32_t index = 0;
            if (!choose(kChannels, index))
                return false;
            pending.setters.push_back([index](SettingsModel &s) { s.arqmChannelsIndex = index; });
        } else if (arg == "--version") {
            int32_t index = 0;
            if (!choose(kVersions, index))
                return false;
            pending.setters.push_back([index](SettingsModel &s) { s.arqmVersionIndex = index; });
        } else if (arg == "--rate" || arg == "--input-rate") {
            long hz = 0;
            if (!integer(4000, 192000, hz))
                return false;
            (arg == "--rate" ? options.processingRate : options.inputRate) = uint32_t(hz);
        } else if (arg == "--channel") {
            long n = 0;
            if (!integer(1, 4, n))
                return false;
            options.channel = int(n) - 1;
        } else if (arg == "--all-channels") {
            options.allChannels = true;
        } else if (arg == "--data-dir") {
            if (!value(options.dataDir))
                return false;
        } else if (arg == "--table") {
            if (!value(options.table))
                return false;
        } else if (arg == "--log-dir") {
            if (!value(options.logDir))
                return false;
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--color") {
            if (!choose(kColors, options.color))
                return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg + " (see --help)";
            return false;
        } else {
            if (haveInput) {
                error = "more than one input file: '" + options.input + "' and '" + arg + "'";
                return false;
            }
            options.input = arg;
            haveInput = true;
        }
    }

    const DataPaths paths = DataPathsIn(options.dataDir.empty() ? ResolveDataFolder() : options.dataDir);
    if (!pending.protocol.empty()) {
        std::optional<ProtocolRecord> record = FindProtocol(paths.protocols, pending.protocol);
        if (!record) {
            error = "unknown protocol '" + pending.protocol + "' (see --list-protocols)";
            return false;
        }
        record->applyTo(settings);
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

    if (!haveInput && !options.listProtocols && !options.help) {
        error = "no input: give a WAV file, or - for raw audio on stdin";
        return false;
    }
    if (options.inputRate == 0)
        options.inputRate = options.processingRate;
    return true;
}

} // namespace sirrel
