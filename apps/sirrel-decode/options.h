// Command line of sirrel-decode: a protocol first, then single settings that override it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../common/option_table.h"
#include "protocols/settings_model.h"

namespace sirrel {

enum class OutputColor { kAuto, kAlways, kNever };

struct DecodeOptions {
    std::vector<std::string> inputs; // WAV files, or "-" alone for raw s16le mono on stdin
    unsigned jobs = 0;               // files decoded at once; 0 = one per processor
    uint32_t processingRate = 11025;
    uint32_t inputRate = 0; // stdin only; 0 = the processing rate
    int channel = 0;        // 0-based channel printed on stdout
    bool allChannels = false;
    std::string logDir;
    bool stats = false;
    OutputColor color = OutputColor::kAuto;
    bool listProtocols = false;
    std::string device;       // live capture from this sound-card device ("default" or an ALSA name)
    bool listDevices = false; // print the capture devices
    std::string dataDir;      // empty: the data folder of the registry file, KEL_PLUGIN_PATH or the XDG fallback
    std::string table;        // translation table to apply, from the tables file
    bool quiet = false;       // no progress line
    bool help = false;
    bool version = false;
    bool man = false; // the manual page in roff, for the build
};

// Fills settings and options from the arguments. On a bad argument returns false with a one-line reason.
bool ParseDecodeOptions(const std::vector<std::string> &args, SettingsModel &settings, DecodeOptions &options,
                        std::string &error);

// The --help text.
const char *DecodeUsage();

// The usage line and where to look next, for a run without arguments.
std::string DecodeShortUsage();

// Prints what --help, --version or --man ask for; false when they ask for nothing.
bool PrintInformation(const DecodeOptions &options);

// Every option, for listing; its handlers write to throw-away state.
cli::OptionTable DecodeOptionTable();

// Every protocol --protocol accepts: the user's stored ones in file order, then the stock ones not among them.
std::vector<std::string> ProtocolNames(const DecodeOptions &options);

} // namespace sirrel
