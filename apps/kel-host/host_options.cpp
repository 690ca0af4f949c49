#include "host_options.h"

#include <cstdio>

namespace sirrel {

namespace {

// The Qv receivers hand their audio to the host at 44100 Hz; the plug-in keeps every fourth sample.
constexpr uint32_t kQvRate = 44100;

const cli::ProgramText &ProgramText()
{
    static const cli::ProgramText text{
        "kel-host",
        SIRREL_VERSION,
        "open decoder windows for receivers and feed them audio",
        "[options] --receiver KIND:SERIAL:FILE.wav|-|sound-card ...",
        "Loads the decoder plug-in libsirrel.so as a receiver-control host does, opens one decoder window per\n"
        "--receiver and sends it the receiver's audio: a WAV file converted to what the host delivers for that\n"
        "receiver (16-bit mono at 44100 Hz), or raw signed 16-bit little-endian mono on stdin (\"-\") at\n"
        "--input-rate. The program ends when the last window is closed.",
        "Receiver kinds: qv-usb (model QvUSBv), qv-ser (model QvSERv); both get their audio as host audio\n"
        "blocks. kr-100 (model KR-100) has no DSP: the plug-in records its audio from the sound card itself,\n"
        "its SOURCE is sound-card, and the devices are those saved for it (the system default at first);\n"
        "its audio never ends, so --exit-at-end waits for Ctrl-C.\n"
        "SERIAL is the receiver's serial number (0..4294967295): it selects the receiver's saved\n"
        "settings, so the same serial finds the window as it was left.\n"
        "When a file ends the window stays open and no more audio is sent; --exit-at-end closes every window\n"
        "once all files have ended. Ctrl-C or SIGTERM close every window the way the host does, so that each\n"
        "receiver's settings are saved, and the program then exits with status 0.\n"
        "Each opened window is announced on stdout as \"KIND:SERIAL window HANDLE\", the end of a receiver's\n"
        "audio as \"KIND:SERIAL end of audio\".\n"
        "Exit status: 0 when the windows were closed, 1 when the plug-in refused a receiver, 2 on a bad\n"
        "command line, a missing plug-in or an unreadable file.\n"
        "Example: kel-host --receiver qv-usb:1:samples/rtty-45-170.wav\n",
    };
    return text;
}

uint32_t NumberIn(const std::string &text, uint64_t low, uint64_t high, const std::string &expected)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        throw cli::BadValue{expected};
    const uint64_t value = std::stoull(text);
    if (value < low || value > high)
        throw cli::BadValue{expected};
    return uint32_t(value);
}

std::string KindList()
{
    std::string list;
    for (const ReceiverKind &kind : ReceiverKinds())
        list += (list.empty() ? "" : ", ") + std::string(kind.name);
    return list;
}

cli::OptionTable HostTable(HostOptions &options)
{
    return {
        {"--receiver", "-r", "KIND:SERIAL:SOURCE",
         "open a decoder window for a receiver (SOURCE: FILE.wav, - or sound-card)", "qv-usb:1:a.wav",
         [&options](const std::string &v) { options.receivers.push_back(ParseReceiver(v)); }},
        {"--input-rate", "", "HZ", "rate of raw audio on stdin, 4000..192000 (default 44100)", "48000",
         [&options](const std::string &v) {
             options.inputRate = NumberIn(v, 4000, 192000, "a rate of 4000..192000 Hz");
         }},
        {"--realtime", "", "", "send the files' audio at their own pace (default: as fast as it is taken)", "",
         [&options](const std::string &) { options.realtime = true; }},
        {"--exit-at-end", "", "", "close every window once all files have ended", "",
         [&options](const std::string &) { options.exitAtEnd = true; }},
        {"--plugin", "", "PATH", "the plug-in library (default: ../lib/libsirrel.so beside the program)",
         "/nonexistent/libsirrel.so", [&options](const std::string &v) { options.plugin = v; }},
        {"--help", "-h", "", "show this text", "", [&options](const std::string &) { options.help = true; }},
        {"--version", "", "", "show the program's name and version", "",
         [&options](const std::string &) { options.version = true; }},
        {"--man", "", "", "write the manual page in roff", "", [&options](const std::string &) { options.man = true; },
         true},
    };
}

} // namespace

const std::vector<ReceiverKind> &ReceiverKinds()
{
    static const std::vector<ReceiverKind> kinds = {
        {"qv-usb", "QvUSBv", kQvRate}, {"qv-ser", "QvSERv", kQvRate}, {"kr-100", "KR-100", 0}};
    return kinds;
}

ReceiverArgument ParseReceiver(const std::string &text)
{
    const std::string expected =
        "KIND:SERIAL:SOURCE with KIND one of " + KindList() + ", SERIAL 0..4294967295 and SOURCE a WAV file or -";
    const size_t first = text.find(':');
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos || second + 1 == text.size())
        throw cli::BadValue{expected};
    const std::string kindName = text.substr(0, first);
    for (const ReceiverKind &kind : ReceiverKinds()) {
        if (kindName != kind.name)
            continue;
        const std::string source = text.substr(second + 1);
        const bool soundCard = source == kSoundCardSource;
        if (soundCard != (kind.blockRate == 0))
            throw cli::BadValue{soundCard ? kindName + " gets its audio from the host: its SOURCE is a WAV file or -"
                                          : kindName + " has no DSP: its SOURCE is sound-card"};
        return {text, kind, NumberIn(text.substr(first + 1, second - first - 1), 0, 0xFFFFFFFFu, expected), source};
    }
    throw cli::BadValue{"KIND:SERIAL:SOURCE with a receiver kind of " + KindList() + ", not '" + kindName + "'"};
}

bool ParseHostOptions(const std::vector<std::string> &args, HostOptions &options, std::string &error)
{
    try {
        cli::ParseOptions(HostTable(options), args, [](const std::string &argument) {
            throw cli::OptionError{"unexpected argument '" + argument + "': receivers are given with --receiver"};
        });
    } catch (const cli::OptionError &failure) {
        error = failure.message;
        return false;
    }
    if (options.help || options.version || options.man)
        return true;
    if (options.receivers.empty()) {
        error = "no receiver: give at least one --receiver KIND:SERIAL:FILE.wav|-";
        return false;
    }
    int readers = 0;
    for (size_t i = 0; i < options.receivers.size(); ++i) {
        const ReceiverArgument &r = options.receivers[i];
        readers += r.source == "-";
        for (size_t j = 0; j < i; ++j) {
            // The serial selects the saved settings: two windows on one would overwrite each other's.
            if (options.receivers[j].serial == r.serial) {
                error = "receivers '" + options.receivers[j].text + "' and '" + r.text + "' have the same serial";
                return false;
            }
        }
    }
    if (readers > 1) {
        error = "only one receiver can read stdin (-)";
        return false;
    }
    return true;
}

bool PrintHostInformation(const HostOptions &options)
{
    HostOptions scratch;
    if (options.help)
        std::fputs(cli::HelpText(HostTable(scratch), ProgramText()).c_str(), stdout);
    else if (options.version)
        std::printf("%s %s\n", ProgramText().name.c_str(), ProgramText().version.c_str());
    else if (options.man)
        std::fputs(cli::ManPage(HostTable(scratch), ProgramText()).c_str(), stdout);
    else
        return false;
    return true;
}

std::string HostShortUsage() { return cli::ShortUsage(ProgramText()); }

} // namespace sirrel
