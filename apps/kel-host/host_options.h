// Command line of kel-host: one receiver per --receiver, each with its audio.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../common/option_table.h"

namespace sirrel {

// A receiver kind that kel-host can describe to the plug-in: the name on the command line, the model name
// the host reports, and the rate of the audio blocks it sends for that receiver (0: the receiver has no DSP
// and the plug-in takes its audio from the sound card).
struct ReceiverKind {
    const char *name;
    const char *model;
    uint32_t blockRate;
};

// The SOURCE of a receiver whose audio the plug-in records from the sound card itself.
inline constexpr char kSoundCardSource[] = "sound-card";

// Every kind --receiver accepts, in the order --help lists them.
const std::vector<ReceiverKind> &ReceiverKinds();

struct ReceiverArgument {
    std::string text; // as given, for messages
    ReceiverKind kind;
    uint32_t serial;
    std::string source; // a WAV file, "-" for raw audio on stdin, or kSoundCardSource
};

struct HostOptions {
    std::vector<ReceiverArgument> receivers;
    std::string plugin; // empty: libsirrel.so in the lib folder beside the program's bin folder
    uint32_t inputRate = 44100;
    bool realtime = false;
    bool exitAtEnd = false;
    bool help = false;
    bool version = false;
    bool man = false;
};

// "KIND:SERIAL:SOURCE"; on a bad text throws cli::BadValue saying what was expected.
ReceiverArgument ParseReceiver(const std::string &text);

// Fills options from the arguments; on a bad argument returns false with a one-line reason.
bool ParseHostOptions(const std::vector<std::string> &args, HostOptions &options, std::string &error);

// Prints what --help, --version or --man ask for; false when they ask for nothing.
bool PrintHostInformation(const HostOptions &options);

std::string HostShortUsage();

} // namespace sirrel
